#include "chunk/bitmap_name_chunks.h"

#include "app/hash_table.h"
#include "chunk/chunk_file.h"
#include "chunk/chunk_ids.h"

#include <algorithm>

namespace trevok {
namespace {

constexpr size_t kEntryFixed = 20;

// Strings stored one after another, each with its NUL, padded together to 4.
size_t StringsSpan(size_t fixed, const std::string* strings, size_t n)
{
    size_t size = fixed;
    for (size_t i = 0; i < n; ++i)
        size += strings[i].size() + 1;
    return (size + 3) & ~size_t{3};
}

// Skips the padding after strings read from `start`, up to the span they take.
void SkipTo(ByteReader& r, size_t start, size_t span)
{
    if (r.Ok())
        r.Seek(std::min(r.Size(), std::max(r.Position(), start + span)));
}

void ReadDescriptor(ByteReader& r, ImageDescriptor& d)
{
    size_t start = r.Position();
    d.type_ = r.I32();
    for (auto& w : d.words_)
        w = r.I32();
    for (auto& s : d.strings_)
        s = r.CString();
    SkipTo(r, start, StringsSpan(16, d.strings_.data(), 3));
}

size_t DescriptorSpan(const ImageDescriptor& d)
{
    return StringsSpan(16, d.strings_.data(), 3);
}

void WriteDescriptor(ByteWriter& out, const ImageDescriptor& d)
{
    size_t start = out.Position();
    out.I32(d.type_);
    for (auto w : d.words_)
        out.I32(w);
    for (const auto& s : d.strings_)
        out.CString(s);
    out.Zeros(DescriptorSpan(d) - (out.Position() - start));
}

} // namespace

BitmapNameEntry::BitmapNameEntry(std::string name, int32_t n)
    : name_(std::move(name)), stamp_(static_cast<uint32_t>(n) * 256 & kBitmapStampMask)
{
}

void BitmapNameEntry::ApplyDefaults()
{
    if (!(flags_ & kBitmapEntryDefaultsSet)) {
        word_ = kBitmapEntryDefaultWord;
        flags_ |= kBitmapEntryDefaultFlags;
    }
}

bool BitmapNameEntry::SameName(const BitmapNameEntry& other) const
{
    if (this == &other)
        return true;
    return !name_.empty() && CompareName(name_, other.name_);
}

// ---------------------------------------------------------------------------

bool BitmapNameListChunk::AddEntry(const BitmapNameEntry& entry)
{
    if (entries_.size() >= kMaxBitmapEntries)
        return false;
    entries_.push_back(entry);
    return true;
}

void BitmapNameListChunk::RemoveEntry(size_t i)
{
    if (i < entries_.size())
        entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(i));
}

int32_t BitmapNameListChunk::HighestBitmapNumber() const
{
    int32_t highest = 0;
    for (const auto& e : entries_)
        highest = std::max(highest, e.number_);
    return highest;
}

const BitmapNameEntry* BitmapNameListChunk::FindEntry(const std::string& name) const
{
    for (const auto& e : entries_)
        if (CompareName(e.name_, name))
            return &e;
    return nullptr;
}

void BitmapNameListChunk::ReadEntries(ByteReader& r)
{
    uint32_t header = r.U32();
    uint32_t count = header & 0xFFFF;
    if (CheckCount(r, count, kEntryFixed + 4)) {
        entries_.resize(count);
        for (auto& e : entries_) {
            e.flags_ = r.I32();
            e.number_ = r.I32();
            uint32_t stamp = r.U32();
            e.stamp_ = stamp & kBitmapStampMask;
            e.extra_ = stamp >> 20;
            e.word_ = r.I32();
            e.imageSize_ = r.I32();
            e.name_ = r.PaddedString();
        }
    }
    // Older files kept the version in the header's high half.
    if (r.Ok() && (header >> 16) != 0)
        SetSiblingVersion(static_cast<int32_t>(header >> 16));
}

size_t BitmapNameListChunk::EntriesSize() const
{
    size_t size = 4;
    for (const auto& e : entries_)
        size += kEntryFixed + ByteReader::PaddedLength(e.name_.size());
    return size;
}

void BitmapNameListChunk::WriteEntries(ByteWriter& out) const
{
    out.U32(static_cast<uint32_t>(entries_.size()));
    for (const auto& e : entries_) {
        out.I32(e.flags_);
        out.I32(e.number_);
        out.U32((e.extra_ & kBitmapExtraMask) << 20 | (e.stamp_ & kBitmapStampMask));
        out.I32(e.word_);
        out.I32(e.imageSize_);
        out.PaddedString(e.name_);
    }
}

BitmapNameVersionChunk* BitmapNameListChunk::VersionSibling()
{
    if (!parent_)
        return nullptr;
    std::vector<BitmapNameVersionChunk*> versions;
    for (Chunk* c = parent_->FirstChild(); c; c = c->Next())
        if (auto* v = c->Is(chunk_id::kBitmapNameVersion) ? dynamic_cast<BitmapNameVersionChunk*>(c) : nullptr)
            versions.push_back(v);
    if (versions.empty())
        return nullptr;
    // Keep the highest version however many there are (the first of equals).
    BitmapNameVersionChunk* keep = versions.front();
    for (auto* v : versions)
        if (v->version_ > keep->version_)
            keep = v;
    for (auto* v : versions)
        if (v != keep)
            delete v;
    return keep;
}

void BitmapNameListChunk::SetSiblingVersion(int32_t version)
{
    if (auto* v = VersionSibling())
        v->version_ = version;
    else if (parent_)
        new BitmapNameVersionChunk(parent_, version);
}

int32_t BitmapNameListChunk::GetVersion()
{
    auto* v = VersionSibling();
    return v ? v->version_ : 0;
}

void BitmapNameListChunk::SetVersion(int32_t version)
{
    SetSiblingVersion(version);
}

void BitmapNameListChunk::IncrementVersion()
{
    if (auto* v = VersionSibling())
        ++v->version_;
    else if (parent_)
        new BitmapNameVersionChunk(parent_, 1);
}

BitmapNameExtension& BitmapNameListChunk::GetExtension()
{
    if (parent_)
        if (auto* e = parent_->FindChildAs<BitmapNameExtensionChunk>(chunk_id::kBitmapNameExtension))
            return e->extension_;
    if (!parent_)
        return ownExtension_;
    return (new BitmapNameExtensionChunk(parent_))->extension_;
}

std::vector<BitmapMd5IdChunk*> BitmapNameListChunk::DigestSiblings() const
{
    std::vector<BitmapMd5IdChunk*> list;
    if (parent_)
        for (Chunk* c = parent_->FirstChild(); c; c = c->Next())
            if (auto* d = c->Is(chunk_id::kBitmapMd5Id) ? dynamic_cast<BitmapMd5IdChunk*>(c) : nullptr)
                list.push_back(d);
    return list;
}

std::optional<Md5Value> BitmapNameListChunk::GetDigest(const BitmapNameEntry& entry)
{
    auto* d = FindDigestChunk(entry.name_);
    if (d && d->stamp_ == entry.stamp_)
        return d->digest_;
    return std::nullopt;
}

void BitmapNameListChunk::SetDigest(const BitmapNameEntry& entry, const Md5Value& digest)
{
    if (auto* d = FindDigestChunk(entry.name_)) {
        if (d->stamp_ == entry.stamp_) {
            d->digest_ = digest;
            return;
        }
        delete d;
    }
    CreateDigestChunk(entry, digest);
}

void BitmapNameListChunk::RemoveDigest(const std::string& name)
{
    delete FindDigestChunk(name);
}

// ---------------------------------------------------------------------------

BitmapNamesChunk::BitmapNamesChunk(ParentChunk* parent, const ChunkBytes& bytes)
    : BitmapNameListChunk(parent, bytes.Identifier())
{
    ByteReader r(bytes.Payload());
    ReadEntries(r);
    FinishRead(r, bytes);
}

BitmapMd5IdChunk* BitmapNamesChunk::FindDigestChunk(const std::string& name) const
{
    for (auto* d : DigestSiblings())
        if (d->name_ == name && d->second_.empty() && d->third_.empty())
            return d;
    return nullptr;
}

BitmapMd5IdChunk* BitmapNamesChunk::CreateDigestChunk(const BitmapNameEntry& entry, const Md5Value& digest)
{
    if (!parent_)
        return nullptr;
    return new BitmapMd5IdChunk(parent_, entry.name_, {}, {}, digest, entry.stamp_, 0);
}

BitmapListChunk::BitmapListChunk(ParentChunk* parent, const ChunkBytes& bytes)
    : BitmapNameListChunk(parent, bytes.Identifier())
{
    ByteReader r(bytes.Payload());
    ReadEntries(r);
    FinishRead(r, bytes);
}

std::string BitmapListChunk::FileName() const
{
    const FileNameChunk* f = parent_ ? parent_->FindChildAs<FileNameChunk>(chunk_id::kFileName) : nullptr;
    return f ? f->name_ : std::string();
}

BitmapMd5IdChunk* BitmapListChunk::FindDigestChunk(const std::string& name) const
{
    std::string file = FileName();
    for (auto* d : DigestSiblings())
        if (d->name_ == name && d->second_ == file && d->third_.empty())
            return d;
    return nullptr;
}

BitmapMd5IdChunk* BitmapListChunk::CreateDigestChunk(const BitmapNameEntry& entry, const Md5Value& digest)
{
    if (!parent_)
        return nullptr;
    return new BitmapMd5IdChunk(parent_, entry.name_, FileName(), {}, digest, entry.stamp_, 0);
}

// ---------------------------------------------------------------------------

ShapeBitmapNamesChunk::ShapeBitmapNamesChunk(ParentChunk* parent, const ChunkBytes& bytes)
    : BitmapNameListChunk(parent, bytes.Identifier())
{
    ByteReader r(bytes.Payload());
    ReadEntries(r);
    size_t start = r.Position();
    first_ = r.CString();
    second_ = r.CString();
    std::string both[2] = {first_, second_};
    SkipTo(r, start, StringsSpan(0, both, 2));
    extension_.flags_ = r.I32();
    version_ = r.I32();
    r.Bytes(extension_.block_.data(), extension_.block_.size());
    FinishRead(r, bytes);
}

ShapeBitmapNamesChunk::ShapeBitmapNamesChunk(ParentChunk* parent, std::string first, std::string second)
    : BitmapNameListChunk(parent, chunk_id::kShapeBitmapNames), first_(std::move(first)), second_(std::move(second))
{
}

size_t ShapeBitmapNamesChunk::PayloadSize() const
{
    std::string both[2] = {first_, second_};
    return EntriesSize() + StringsSpan(0, both, 2) + 56;
}

void ShapeBitmapNamesChunk::WritePayload(ByteWriter& out) const
{
    WriteEntries(out);
    size_t start = out.Position();
    out.CString(first_);
    out.CString(second_);
    std::string both[2] = {first_, second_};
    out.Zeros(StringsSpan(0, both, 2) - (out.Position() - start));
    out.I32(extension_.flags_);
    out.I32(version_);
    out.Bytes(extension_.block_.data(), extension_.block_.size());
}

BitmapMd5IdChunk* ShapeBitmapNamesChunk::FindDigestChunk(const std::string& name) const
{
    int32_t bit = (extension_.flags_ >> 1) & 1;
    for (auto* d : DigestSiblings())
        if (d->name_ == name && d->second_ == first_ && d->third_ == second_ && (d->flags_ & 1) == bit)
            return d;
    return nullptr;
}

BitmapMd5IdChunk* ShapeBitmapNamesChunk::CreateDigestChunk(const BitmapNameEntry& entry, const Md5Value& digest)
{
    if (!parent_)
        return nullptr;
    return new BitmapMd5IdChunk(parent_, entry.name_, first_, second_, digest, entry.stamp_,
                                (extension_.flags_ >> 1) & 1);
}

// ---------------------------------------------------------------------------

BitmapNameVersionChunk::BitmapNameVersionChunk(ParentChunk* parent, const ChunkBytes& bytes)
    : DataChunk(parent, bytes.Identifier())
{
    ByteReader r(bytes.Payload());
    version_ = r.I32();
    FinishRead(r, bytes);
}

BitmapNameVersionChunk::BitmapNameVersionChunk(ParentChunk* parent, int32_t version)
    : DataChunk(parent, chunk_id::kBitmapNameVersion), version_(version)
{
}

BitmapNameExtensionChunk::BitmapNameExtensionChunk(ParentChunk* parent, const ChunkBytes& bytes)
    : DataChunk(parent, bytes.Identifier())
{
    ByteReader r(bytes.Payload());
    extension_.flags_ = r.I32();
    r.Bytes(extension_.block_.data(), extension_.block_.size());
    FinishRead(r, bytes);
}

void BitmapNameExtensionChunk::WritePayload(ByteWriter& out) const
{
    out.I32(extension_.flags_);
    out.Bytes(extension_.block_.data(), extension_.block_.size());
}

// ---------------------------------------------------------------------------

BitmapMd5IdChunk::BitmapMd5IdChunk(ParentChunk* parent, const ChunkBytes& bytes) : DataChunk(parent, bytes.Identifier())
{
    ByteReader r(bytes.Payload());
    headerWord_ = r.I32();
    flags_ = r.I32();
    stamp_ = r.U32();
    r.Bytes(digest_.data(), digest_.size());
    name_ = r.CString();
    second_ = r.CString();
    third_ = r.CString();
    SkipTo(r, 0, PayloadSize());
    FinishRead(r, bytes);
}

BitmapMd5IdChunk::BitmapMd5IdChunk(ParentChunk* parent, std::string name, std::string second, std::string third,
                                   const Md5Value& digest, uint32_t stamp, int32_t flags)
    : DataChunk(parent, chunk_id::kBitmapMd5Id), flags_(flags), stamp_(stamp), digest_(digest), name_(std::move(name)),
      second_(std::move(second)), third_(std::move(third))
{
}

size_t BitmapMd5IdChunk::PayloadSize() const
{
    std::string s[3] = {name_, second_, third_};
    return StringsSpan(28, s, 3);
}

void BitmapMd5IdChunk::WritePayload(ByteWriter& out) const
{
    size_t start = out.Position();
    out.I32(headerWord_);
    out.I32(flags_);
    out.U32(stamp_);
    out.Bytes(digest_.data(), digest_.size());
    out.CString(name_);
    out.CString(second_);
    out.CString(third_);
    out.Zeros(PayloadSize() - (out.Position() - start));
}

// ---------------------------------------------------------------------------

ImageDescriptor::ImageDescriptor(int32_t type, std::string a, std::string b, std::string c)
    : type_(type), strings_{std::move(a), std::move(b), std::move(c)}
{
}

bool ImageDescriptor::Matches(const ImageDescriptor& other) const
{
    if ((type_ & 0xFF) != (other.type_ & 0xFF))
        return false;
    for (size_t i = 0; i < strings_.size(); ++i)
        if (!CompareName(strings_[i], other.strings_[i]))
            return false;
    return true;
}

ImageMatchChunk::ImageMatchChunk(ParentChunk* parent, const ChunkBytes& bytes) : DataChunk(parent, bytes.Identifier())
{
    ByteReader r(bytes.Payload());
    for (auto& w : words_)
        w = r.I32();
    flags_ = r.I32();
    int32_t n = r.I32();
    // A match takes at least its three words and two 20-byte descriptors.
    if (CheckCount(r, n, 52)) {
        matches_.resize(static_cast<size_t>(n));
        for (auto& m : matches_) {
            for (auto& w : m.words_)
                w = r.I32();
            ReadDescriptor(r, m.replacement_);
            ReadDescriptor(r, m.source_);
        }
    }
    FinishRead(r, bytes);
}

const ImageDescriptor& ImageMatchChunk::FindReplacement(const ImageDescriptor& descriptor) const
{
    for (const auto& m : matches_)
        if (m.source_.Matches(descriptor))
            return m.replacement_;
    return descriptor;
}

size_t ImageMatchChunk::PayloadSize() const
{
    size_t size = 16;
    for (const auto& m : matches_)
        size += 12 + DescriptorSpan(m.replacement_) + DescriptorSpan(m.source_);
    return size;
}

void ImageMatchChunk::WritePayload(ByteWriter& out) const
{
    for (auto w : words_)
        out.I32(w);
    out.I32(flags_);
    out.I32(static_cast<int32_t>(matches_.size()));
    for (const auto& m : matches_) {
        for (auto w : m.words_)
            out.I32(w);
        WriteDescriptor(out, m.replacement_);
        WriteDescriptor(out, m.source_);
    }
}

void RegisterBitmapNameChunks()
{
    auto& reg = ChunkRegistry::Instance();
    reg.Register(chunk_id::kBitmapNames, "", BuildChunk<BitmapNamesChunk>);
    reg.Register(chunk_id::kBitmapList, "", BuildChunk<BitmapListChunk>);
    reg.Register(chunk_id::kBitmapNameVersion, "", BuildChunk<BitmapNameVersionChunk>);
    reg.Register(chunk_id::kBitmapNameExtension, "", BuildChunk<BitmapNameExtensionChunk>);
    reg.Register(chunk_id::kShapeBitmapNames, "", BuildChunk<ShapeBitmapNamesChunk>);
    reg.Register(chunk_id::kImageMatch, "", BuildChunk<ImageMatchChunk>);
    reg.Register(chunk_id::kBitmapMd5Id, "", BuildChunk<BitmapMd5IdChunk>);
}

} // namespace trevok
