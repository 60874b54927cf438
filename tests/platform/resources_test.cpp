// The resource library reader: a library laid out by hand from the PE
// format, our writer's libraries read back, and damaged files refused with
// the place of the damage.
#include "platform/resources.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

using platform::ResourceLibrary;

struct Bytes {
    std::vector<uint8_t> b;
    void Put16(size_t o, uint16_t v)
    {
        Grow(o + 2);
        b[o] = uint8_t(v);
        b[o + 1] = uint8_t(v >> 8);
    }
    void Put32(size_t o, uint32_t v)
    {
        Grow(o + 4);
        for (int i = 0; i < 4; ++i)
            b[o + i] = uint8_t(v >> (8 * i));
    }
    void PutText(size_t o, const char* s)
    {
        Grow(o + std::strlen(s));
        std::memcpy(&b[o], s, std::strlen(s));
    }
    void Grow(size_t n)
    {
        if (b.size() < n)
            b.resize(n, 0);
    }
};

// A 64-bit library written field by field from the layout: the PE header at
// 0x80, a code section first, the resources in the second section (RVA
// 0x2000, file offset 0x400), a named type and an icon type before the
// strings, and string block 439 (ids 7008-7023) in German and US English.
std::vector<uint8_t> HandBuiltLibrary()
{
    Bytes f;
    f.Put16(0, 0x5A4D);
    f.Put32(0x3C, 0x80);
    f.Put32(0x80, 0x00004550);
    f.Put16(0x84, 0x8664);  // x86-64
    f.Put16(0x86, 2);       // sections
    f.Put16(0x94, 240);     // optional header size (PE32+)
    f.Put16(0x96, 0x2022);
    const size_t opt = 0x98;
    f.Put16(opt, 0x20B);
    f.Put32(opt + 108, 16); // data directories
    f.Put32(opt + 112 + 16, 0x2000); // resources: RVA
    f.Put32(opt + 112 + 20, 0x200);  // size
    const size_t sections = opt + 240;
    f.PutText(sections, ".text");
    f.Put32(sections + 8, 0x10);     // virtual size
    f.Put32(sections + 12, 0x1000);  // RVA
    f.Put32(sections + 16, 0x200);   // raw size
    f.Put32(sections + 20, 0x200);   // raw offset
    f.PutText(sections + 40, ".rsrc");
    f.Put32(sections + 48, 0x200);
    f.Put32(sections + 52, 0x2000);
    f.Put32(sections + 56, 0x200);
    f.Put32(sections + 60, 0x400);

    const size_t r = 0x400; // resource directory base
    // Root: one named entry, two id entries (icon 3, strings 6).
    f.Put16(r + 12, 1);
    f.Put16(r + 14, 2);
    f.Put32(r + 16, 0x80000000u | 0x1F0); // a name (ignored)
    f.Put32(r + 20, 0x80000000u | 0x40);
    f.Put32(r + 24, 3);
    f.Put32(r + 28, 0x80000000u | 0x40);
    f.Put32(r + 32, 6);
    f.Put32(r + 36, 0x80000000u | 0x58);
    // 0x40: an empty directory for the other types.
    // 0x58: the string type: block 439.
    f.Put16(r + 0x58 + 14, 1);
    f.Put32(r + 0x58 + 16, 439);
    f.Put32(r + 0x58 + 20, 0x80000000u | 0x70);
    // 0x70: languages 0x407 then 0x409.
    f.Put16(r + 0x70 + 14, 2);
    f.Put32(r + 0x70 + 16, 0x407);
    f.Put32(r + 0x70 + 20, 0xA0);
    f.Put32(r + 0x70 + 24, 0x409);
    f.Put32(r + 0x70 + 28, 0xB0);
    // 0xA0, 0xB0: data entries (RVA, size).
    f.Put32(r + 0xA0, 0x2000 + 0xC0);
    f.Put32(r + 0xA4, 16 * 2);
    f.Put32(r + 0xB0, 0x2000 + 0x100);
    f.Put32(r + 0xB4, 0x40);
    // 0xC0: the German block: sixteen empty strings.
    // 0x100: the English block: id 7008 empty, 7009 "Grüße €5", the rest empty.
    size_t at = r + 0x100 + 2;
    const char16_t text[] = u"Gr\u00FC\u00DFe \u20AC5 \u2603";
    const size_t length = sizeof(text) / 2 - 1;
    f.Put16(at, uint16_t(length));
    at += 2;
    for (size_t i = 0; i < length; ++i, at += 2)
        f.Put16(at, text[i]);
    f.Grow(0x600);
    return f.b;
}

TEST(ResourceLibrary, ReadsAHandBuiltLibrary)
{
    const std::vector<uint8_t> bytes = HandBuiltLibrary();
    std::string error;
    auto lib = ResourceLibrary::FromBytes(bytes.data(), bytes.size(), &error);
    ASSERT_TRUE(lib) << error;
    // US English is taken over German; the snowman has no place in code page
    // 1252 and becomes '?'.
    EXPECT_EQ(lib->LoadString(7009), "Gr\xFC\xDF" "e \x80" "5 ?");
    EXPECT_EQ(lib->LoadString(7008), "");
    EXPECT_EQ(lib->LoadString(7010), "");
    EXPECT_EQ(lib->LoadString(1), "");
    EXPECT_EQ(lib->StringCount(), 1u);
}

TEST(ResourceLibrary, WriterRoundTrip)
{
    const std::map<uint32_t, std::string> texts = {
        {0, "zero"},       {15, "end of block 1"}, {16, "start of block 2"},
        {7039, "Trevok"},  {7049, "TrevokMainWindow"}, {9000, "QUIT"},
        {30002, "last"},   {6088, "caf\xC3\xA9 \xE2\x80\x94 ok"}, // café — ok
    };
    const std::vector<uint8_t> bytes = platform::BuildStringTableLibrary(texts);
    std::string error;
    auto lib = ResourceLibrary::FromBytes(bytes.data(), bytes.size(), &error);
    ASSERT_TRUE(lib) << error;
    EXPECT_EQ(lib->StringCount(), texts.size());
    for (const auto& [id, text] : texts) {
        if (id == 6088)
            EXPECT_EQ(lib->LoadString(id), "caf\xE9 \x97 ok");
        else
            EXPECT_EQ(lib->LoadString(id), text) << id;
    }
    EXPECT_FALSE(lib->HasString(14));
    EXPECT_EQ(bytes, platform::BuildStringTableLibrary(texts)) << "the writer must be deterministic";
}

TEST(ResourceLibrary, LoadStringKeepsToItsBuffer)
{
    const std::string longText(2000, 'x');
    const std::vector<uint8_t> bytes = platform::BuildStringTableLibrary({{5, longText}});
    auto lib = ResourceLibrary::FromBytes(bytes.data(), bytes.size(), nullptr);
    ASSERT_TRUE(lib);
    EXPECT_EQ(lib->LoadString(5, 1024), std::string(1023, 'x'));
    EXPECT_EQ(lib->LoadString(5, 4), "xxx");
    EXPECT_EQ(lib->LoadString(5, 1), "");
}

// Every cut of a library either fails with the place of the damage or, when
// only padding was lost, still holds every text: never a wrong text, never
// a read past the end.
TEST(ResourceLibrary, TruncatedLibrariesAreRefusedOrWhole)
{
    std::map<uint32_t, std::string> texts;
    for (uint32_t id = 7000; id < 7100; id += 3)
        texts[id] = "text " + std::to_string(id);
    const std::vector<uint8_t> bytes = platform::BuildStringTableLibrary(texts);
    int refused = 0;
    for (size_t cut = 0; cut < bytes.size(); ++cut) {
        std::vector<uint8_t> part(bytes.begin(), bytes.begin() + long(cut));
        std::string error;
        auto lib = ResourceLibrary::FromBytes(part.data(), part.size(), &error);
        if (!lib) {
            ++refused;
            EXPECT_NE(error.find("offset 0x"), std::string::npos) << cut << ": " << error;
            continue;
        }
        for (const auto& [id, text] : texts)
            ASSERT_EQ(lib->LoadString(id), text) << "cut at " << cut;
    }
    EXPECT_GT(refused, 0);
}

TEST(ResourceLibrary, DamagedHeadersNameTheFault)
{
    const std::vector<uint8_t> good = platform::BuildStringTableLibrary({{1, "one"}});
    struct Case {
        const char* name;
        size_t offset;
        uint32_t value;
        int width;
        const char* expected;
    };
    const Case cases[] = {
        {"no MZ", 0, 0x0000, 2, "no MZ header"},
        {"PE offset past the end", 0x3C, 0x7FFFFFF0, 4, "no PE signature"},
        {"PE signature", 0x40, 0x12345678, 4, "no PE signature"},
        {"optional header kind", 0x58, 0x0107, 2, "unknown optional header kind"},
        {"too few directories", 0x58 + 92, 2, 4, "no resource directory"},
        {"section count", 0x46, 0xFFFF, 2, "section table truncated"},
        {"resources outside sections", 0x58 + 96 + 16, 0x9000, 4, "outside the file's sections"},
        {"string block outside the file", 0x200 + 72, 0x7FFFFFFF, 4, "string block"},
        {"string longer than its block", 0x200 + 88 + 2, 0x4000, 2, "string longer than its block"},
        {"huge directory count", 0x200 + 0x18 + 14, 0xFFFF, 2, "entries truncated"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<uint8_t> bad = good;
        for (int i = 0; i < c.width; ++i)
            bad[c.offset + size_t(i)] = uint8_t(c.value >> (8 * i));
        std::string error;
        EXPECT_FALSE(ResourceLibrary::FromBytes(bad.data(), bad.size(), &error));
        EXPECT_NE(error.find(c.expected), std::string::npos) << error;
    }
}

TEST(ResourceLibrary, MissingFileNamesThePath)
{
    std::string error;
    EXPECT_FALSE(ResourceLibrary::Open("/nonexistent/tvres.dll", &error));
    EXPECT_NE(error.find("/nonexistent/tvres.dll"), std::string::npos) << error;
}

} // namespace
