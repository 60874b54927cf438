#include "platform/resources.h"

#include "platform/byte_cursor.h"
#include "platform/os.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <fstream>

namespace platform {
namespace {

constexpr uint32_t kResourceTypeString = 6;
constexpr uint32_t kHighBit = 0x80000000u;

struct Section {
    uint32_t virtualAddress, virtualSize, rawSize, rawOffset;
};

struct Parser {
    trevok::ByteReader bytes; // read at offsets through At()
    std::string* error;
    std::vector<Section> sections;

    bool Fail(uint64_t offset, const char* what)
    {
        if (error) {
            char buf[160];
            std::snprintf(buf, sizeof buf, "offset 0x%llx: %s", static_cast<unsigned long long>(offset), what);
            *error = buf;
        }
        return false;
    }

    // File offset of `count` bytes at `rva`, all inside one section's raw data.
    std::optional<uint64_t> Map(uint32_t rva, uint64_t count) const
    {
        for (const Section& s : sections) {
            const uint64_t span = std::max(s.virtualSize, s.rawSize);
            if (rva < s.virtualAddress || rva - s.virtualAddress >= span)
                continue;
            const uint64_t delta = rva - s.virtualAddress;
            if (delta + count > s.rawSize)
                return std::nullopt;
            const uint64_t offset = s.rawOffset + delta;
            if (!bytes.At(offset).Has(count))
                return std::nullopt;
            return offset;
        }
        return std::nullopt;
    }

    // The DOS and PE headers and the section table; where the resource
    // directory lies (0 when the library has none) and the offset of its entry.
    bool ReadHeaders(uint32_t& resourceRva, uint32_t& resourceSize, uint64_t& entryAt)
    {
        const trevok::ByteReader& b = bytes;
        if (!b.At(0).Has(64) || b.At(0).U16() != 0x5A4D) {
            Fail(0, "not a program library (no MZ header)");
            return false;
        }
        const uint64_t pe = b.At(0x3C).U32();
        if (!b.At(pe).Has(24) || b.At(pe).U32() != 0x00004550) {
            Fail(pe, "no PE signature");
            return false;
        }
        const uint32_t sectionCount = b.At(pe + 6).U16();
        const uint32_t optionalSize = b.At(pe + 20).U16();
        const uint64_t optional = pe + 24;
        if (!b.At(optional).Has(optionalSize) || optionalSize < 2) {
            Fail(optional, "optional header truncated");
            return false;
        }
        uint64_t countAt = 0, directories = 0;
        switch (b.At(optional).U16()) {
        case 0x10B: countAt = 92; directories = 96; break;   // PE32
        case 0x20B: countAt = 108; directories = 112; break; // PE32+
        default:
            Fail(optional, "unknown optional header kind");
            return false;
        }
        if (optionalSize < directories || b.At(optional + countAt).U32() <= 2 ||
            optionalSize < directories + 3 * 8) {
            Fail(optional, "no resource directory entry");
            return false;
        }
        resourceRva = b.At(optional + directories + 2 * 8).U32();
        resourceSize = b.At(optional + directories + 2 * 8 + 4).U32();
        entryAt = optional + directories + 16;

        const uint64_t sectionTable = optional + optionalSize;
        if (!b.At(sectionTable).Has(uint64_t(sectionCount) * 40)) {
            Fail(sectionTable, "section table truncated");
            return false;
        }
        for (uint32_t i = 0; i < sectionCount; ++i) {
            const uint64_t s = sectionTable + uint64_t(i) * 40;
            sections.push_back({b.At(s + 12).U32(), b.At(s + 8).U32(), b.At(s + 16).U32(), b.At(s + 20).U32()});
        }
        return true;
    }

    // The string table's directories: types, blocks, languages, each block's data.
    bool ReadStringTables(uint32_t resourceRva, uint32_t resourceSize, uint64_t entryAt,
                          std::map<uint32_t, std::u16string>& strings)
    {
        const trevok::ByteReader& b = bytes;
        const auto base = Map(resourceRva, 16);
        if (!base) {
            Fail(entryAt, "resource directory lies outside the file's sections");
            return false;
        }

        // A directory at `offset` (relative to the resource base): its entries.
        struct Entry {
            uint32_t name, target;
        };
        auto readDirectory = [&](uint32_t offset, std::vector<Entry>& out) -> bool {
            const auto at = Map(resourceRva + offset, 16);
            if (!at || offset >= resourceSize)
                return Fail(*base + offset, "resource directory truncated");
            const uint32_t count = uint32_t(b.At(*at + 12).U16()) + b.At(*at + 14).U16();
            const auto entries = Map(resourceRva + offset + 16, uint64_t(count) * 8);
            if (!entries)
                return Fail(*at, "resource directory entries truncated");
            out.clear();
            for (uint32_t i = 0; i < count; ++i)
                out.push_back({b.At(*entries + i * 8).U32(), b.At(*entries + i * 8 + 4).U32()});
            return true;
        };

        std::vector<Entry> types, blocks, languages;
        if (!readDirectory(0, types))
            return false;
        auto type = std::find_if(types.begin(), types.end(), [](const Entry& e) { return e.name == kResourceTypeString; });
        if (type == types.end())
            return true;
        if (!(type->target & kHighBit)) {
            Fail(*base, "string resources are not a directory");
            return false;
        }
        if (!readDirectory(type->target & ~kHighBit, blocks))
            return false;
        for (const Entry& blockEntry : blocks) {
            if (blockEntry.name & kHighBit || blockEntry.name == 0 || blockEntry.name > 4096)
                continue; // string blocks are numbered 1..4096
            if (!(blockEntry.target & kHighBit)) {
                Fail(*base, "string block is not a directory");
                return false;
            }
            if (!readDirectory(blockEntry.target & ~kHighBit, languages))
                return false;
            if (languages.empty())
                continue;
            // Neutral first, then US English, else whatever language is there.
            const Entry* pick = &languages.front();
            for (uint32_t want : {0x0000u, 0x0409u}) {
                auto it = std::find_if(languages.begin(), languages.end(), [&](const Entry& e) { return e.name == want; });
                if (it != languages.end()) {
                    pick = &*it;
                    break;
                }
            }
            if (pick->target & kHighBit) {
                Fail(*base, "string block language entry is a directory");
                return false;
            }
            const auto dataEntry = Map(resourceRva + pick->target, 16);
            if (!dataEntry || pick->target >= resourceSize) {
                Fail(*base + pick->target, "string block data entry truncated");
                return false;
            }
            const uint32_t dataRva = b.At(*dataEntry).U32();
            const uint32_t dataSize = b.At(*dataEntry + 4).U32();
            const auto block = Map(dataRva, dataSize);
            if (!block) {
                Fail(*dataEntry, "string block lies outside the file");
                return false;
            }
            if (!ReadStringBlock(*block, dataSize, (blockEntry.name - 1) * 16, strings))
                return false;
        }
        return true;
    }

    // One block of 16 counted UTF-16 strings at file offset `block`.
    bool ReadStringBlock(uint64_t block, uint32_t dataSize, uint32_t firstId,
                         std::map<uint32_t, std::u16string>& strings)
    {
        const trevok::ByteReader& b = bytes;
        uint64_t at = block;
        const uint64_t end = block + dataSize;
        for (uint32_t i = 0; i < 16 && at + 2 <= end; ++i) {
            const uint32_t length = b.At(at).U16();
            at += 2;
            if (at + uint64_t(length) * 2 > end) {
                Fail(at, "string longer than its block");
                return false;
            }
            if (length) {
                std::u16string text(length, u'\0');
                for (uint32_t c = 0; c < length; ++c)
                    text[c] = static_cast<char16_t>(b.At(at + c * 2).U16());
                strings[firstId + i] = std::move(text);
            }
            at += uint64_t(length) * 2;
        }
        return true;
    }
};

} // namespace

std::optional<ResourceLibrary> ResourceLibrary::Open(const std::filesystem::path& path, std::string* error)
{
    const auto data = ReadWholeFile(path, kMaxLibraryBytes, error);
    if (!data)
        return std::nullopt;
    std::string why;
    auto library = FromBytes(data->data(), data->size(), &why);
    if (!library && error)
        *error = path.string() + ": " + why;
    return library;
}

std::optional<ResourceLibrary> ResourceLibrary::FromBytes(const uint8_t* data, size_t size, std::string* error)
{
    Parser p{trevok::ByteReader(std::span<const uint8_t>(data, size)), error, {}};
    uint32_t resourceRva = 0, resourceSize = 0;
    uint64_t entryAt = 0;
    if (!p.ReadHeaders(resourceRva, resourceSize, entryAt))
        return std::nullopt;
    ResourceLibrary library;
    if (resourceRva == 0 || resourceSize == 0)
        return library; // a library without resources has no texts
    if (!p.ReadStringTables(resourceRva, resourceSize, entryAt, library.strings_))
        return std::nullopt;
    return library;
}

bool ResourceLibrary::HasString(uint32_t id) const { return strings_.count(id) != 0; }

std::string ResourceLibrary::LoadString(uint32_t id, size_t bufferChars) const
{
    auto it = strings_.find(id);
    if (it == strings_.end() || bufferChars < 2)
        return {};
    std::string text = Utf16ToWindows1252(it->second);
    if (text.size() > bufferChars - 1)
        text.resize(bufferChars - 1);
    return text;
}

std::string Utf16ToWindows1252(std::u16string_view text)
{
    // 0x80..0x9F of code page 1252; 0 marks the five unassigned places.
    static const char16_t kHigh[32] = {
        0x20AC, 0, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0, 0x017D, 0, 0, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0, 0x017E, 0x0178};
    std::string out;
    out.reserve(text.size());
    for (char16_t c : text) {
        if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
            out.push_back(static_cast<char>(c));
            continue;
        }
        char mapped = '?';
        for (int i = 0; i < 32; ++i) {
            if (kHigh[i] && kHigh[i] == c) {
                mapped = static_cast<char>(0x80 + i);
                break;
            }
        }
        out.push_back(mapped);
    }
    return out;
}

std::u16string Utf8ToUtf16(std::string_view text)
{
    std::u16string out;
    for (size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        uint32_t cp = 0xFFFD;
        size_t len = 1;
        if (c < 0x80) {
            cp = c;
        } else if ((c & 0xE0) == 0xC0 && i + 1 < text.size()) {
            cp = ((c & 0x1Fu) << 6) | (static_cast<unsigned char>(text[i + 1]) & 0x3Fu);
            len = 2;
        } else if ((c & 0xF0) == 0xE0 && i + 2 < text.size()) {
            cp = ((c & 0x0Fu) << 12) | ((static_cast<unsigned char>(text[i + 1]) & 0x3Fu) << 6) |
                 (static_cast<unsigned char>(text[i + 2]) & 0x3Fu);
            len = 3;
        } else if ((c & 0xF8) == 0xF0 && i + 3 < text.size()) {
            cp = ((c & 0x07u) << 18) | ((static_cast<unsigned char>(text[i + 1]) & 0x3Fu) << 12) |
                 ((static_cast<unsigned char>(text[i + 2]) & 0x3Fu) << 6) |
                 (static_cast<unsigned char>(text[i + 3]) & 0x3Fu);
            len = 4;
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
        i += len;
    }
    return out;
}

namespace {

class Writer {
public:
    std::vector<uint8_t> bytes;
    void At(size_t offset, size_t count)
    {
        if (bytes.size() < offset + count)
            bytes.resize(offset + count, 0);
    }
    void U8(size_t o, uint8_t v) { At(o, 1); bytes[o] = v; }
    void U16(size_t o, uint16_t v) { At(o, 2); bytes[o] = uint8_t(v); bytes[o + 1] = uint8_t(v >> 8); }
    void U32(size_t o, uint32_t v)
    {
        At(o, 4);
        for (int i = 0; i < 4; ++i)
            bytes[o + i] = uint8_t(v >> (8 * i));
    }
};

size_t AlignUp(size_t v, size_t a) { return (v + a - 1) / a * a; }

} // namespace

std::vector<uint8_t> BuildStringTableLibrary(const std::map<uint32_t, std::string>& texts, uint16_t language)
{
    constexpr uint32_t kSectionRva = 0x1000;
    constexpr size_t kRawOffset = 0x200;

    // Group the texts into blocks of 16 ids.
    std::map<uint32_t, std::array<std::u16string, 16>> blocks;
    for (const auto& [id, text] : texts) {
        if (id > 0xFFFF)
            continue; // string ids are 16-bit
        blocks[id / 16 + 1][id % 16] = Utf8ToUtf16(text);
    }
    const size_t n = blocks.size();

    Writer r; // the resource section
    const size_t typeDir = 24;
    const size_t languageDirs = typeDir + 16 + 8 * n;
    const size_t dataEntries = languageDirs + 24 * n;
    size_t data = dataEntries + 16 * n;

    r.U16(14, 1); // root: one id entry
    r.U32(16, kResourceTypeString);
    r.U32(20, kHighBit | uint32_t(typeDir));
    r.U16(typeDir + 14, uint16_t(n));
    size_t i = 0;
    for (const auto& [blockId, strings] : blocks) {
        const size_t lang = languageDirs + 24 * i;
        const size_t entry = dataEntries + 16 * i;
        r.U32(typeDir + 16 + 8 * i, blockId);
        r.U32(typeDir + 16 + 8 * i + 4, kHighBit | uint32_t(lang));
        r.U16(lang + 14, 1);
        r.U32(lang + 16, language);
        r.U32(lang + 20, uint32_t(entry));
        data = AlignUp(data, 4);
        size_t at = data;
        for (const std::u16string& s : strings) {
            r.U16(at, uint16_t(s.size()));
            at += 2;
            for (char16_t c : s) {
                r.U16(at, c);
                at += 2;
            }
        }
        r.U32(entry, kSectionRva + uint32_t(data));
        r.U32(entry + 4, uint32_t(at - data));
        data = at;
        ++i;
    }
    r.At(0, 16);
    const size_t sectionSize = r.bytes.size();
    const size_t rawSize = AlignUp(sectionSize, 0x200);

    Writer f;
    f.U16(0, 0x5A4D);                 // "MZ"
    f.U32(0x3C, 0x40);                // PE header offset
    f.U32(0x40, 0x00004550);          // "PE\0\0"
    f.U16(0x44, 0x014C);              // i386
    f.U16(0x46, 1);                   // one section
    f.U16(0x54, 224);                 // optional header size
    f.U16(0x56, 0x2102);              // executable, 32-bit, DLL
    const size_t opt = 0x58;
    f.U16(opt + 0, 0x10B);            // PE32
    f.U32(opt + 8, uint32_t(rawSize)); // initialised data
    f.U32(opt + 24, kSectionRva);     // base of data
    f.U32(opt + 28, 0x10000000);      // image base
    f.U32(opt + 32, 0x1000);          // section alignment
    f.U32(opt + 36, 0x200);           // file alignment
    f.U16(opt + 40, 4);               // OS version 4.0
    f.U16(opt + 48, 4);               // subsystem version 4.0
    f.U32(opt + 56, uint32_t(kSectionRva + AlignUp(sectionSize, 0x1000)));
    f.U32(opt + 60, uint32_t(kRawOffset)); // headers
    f.U16(opt + 68, 2);               // GUI subsystem
    f.U32(opt + 72, 0x100000);
    f.U32(opt + 76, 0x1000);
    f.U32(opt + 80, 0x100000);
    f.U32(opt + 84, 0x1000);
    f.U32(opt + 92, 16);              // data directories
    f.U32(opt + 96 + 2 * 8, kSectionRva);
    f.U32(opt + 96 + 2 * 8 + 4, uint32_t(sectionSize));
    const size_t sec = opt + 224;
    const char name[8] = {'.', 'r', 's', 'r', 'c', 0, 0, 0};
    for (int k = 0; k < 8; ++k)
        f.U8(sec + k, uint8_t(name[k]));
    f.U32(sec + 8, uint32_t(sectionSize));
    f.U32(sec + 12, kSectionRva);
    f.U32(sec + 16, uint32_t(rawSize));
    f.U32(sec + 20, uint32_t(kRawOffset));
    f.U32(sec + 36, 0x40000040);      // initialised data, readable
    f.At(0, kRawOffset + rawSize);
    std::copy(r.bytes.begin(), r.bytes.end(), f.bytes.begin() + kRawOffset);
    return f.bytes;
}

bool WriteStringTableLibrary(const std::filesystem::path& path, const std::map<uint32_t, std::string>& texts,
                             std::string* error)
{
    const std::vector<uint8_t> bytes = BuildStringTableLibrary(texts);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
        if (error)
            *error = path.string() + ": cannot be written";
        return false;
    }
    return true;
}

} // namespace platform
