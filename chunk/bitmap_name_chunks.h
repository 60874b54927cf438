// Bitmap-name lists: the images a chunk file uses, by name and bitmap number, with
// the list's version, an extension block, MD5 identifiers of the images (valid
// while an entry's stamp is unchanged) and an image substitution table. The level
// loader builds its texture table from the file-level BMPNAMES list.
#pragma once

#include "chunk/chunk.h"
#include "chunk/chunk_ids.h"
#include "chunk/md5.h"

#include <array>
#include <optional>
#include <string>
#include <vector>

namespace trevok {

inline constexpr int32_t kBitmapEntryDefaultFlags = 0x10C;
inline constexpr int32_t kBitmapEntryDefaultsSet = 0x100;
inline constexpr int32_t kBitmapEntryDefaultWord = 6;
inline constexpr uint32_t kBitmapStampMask = 0xFFFFF;
inline constexpr uint32_t kBitmapExtraMask = 0xFFF;
// The entry count shares its header word with an old version field.
inline constexpr size_t kMaxBitmapEntries = 0xFFFF;

struct BitmapNameEntry {
    BitmapNameEntry() = default;
    explicit BitmapNameEntry(std::string name) : name_(std::move(name)) {}
    // The stamp starts as n x 256.
    BitmapNameEntry(std::string name, int32_t n);

    void ApplyDefaults();
    // Same image name, ignoring case.
    bool SameName(const BitmapNameEntry& other) const;
    int32_t Width() const { return imageSize_ & 0xFFFF; }
    int32_t Height() const { return static_cast<int32_t>(static_cast<uint32_t>(imageSize_) >> 16); }

    std::string name_;
    int32_t flags_ = kBitmapEntryDefaultFlags;
    int32_t number_ = 0;
    uint32_t stamp_ = 0; // 20 bits
    uint32_t extra_ = 0; // 12 bits
    int32_t word_ = kBitmapEntryDefaultWord;
    int32_t imageSize_ = 0; // width in the low 16 bits, height in the high 16
    bool operator==(const BitmapNameEntry&) const = default;
};

struct BitmapNameExtension {
    int32_t flags_ = 0;
    std::array<uint8_t, 48> block_{};
    bool operator==(const BitmapNameExtension&) const = default;
};

class BitmapMd5IdChunk;

// The entry list shared by BMPNAMES, BMPLSTST and SHBMPNAM.
class BitmapNameListChunk : public DataChunk {
public:
    // False, and nothing added, when the list already holds as many entries as its
    // count field can say.
    bool AddEntry(const BitmapNameEntry& entry);
    void RemoveEntry(size_t i);
    const std::vector<BitmapNameEntry>& Entries() const { return entries_; }
    BitmapNameEntry& Entry(size_t i) { return entries_[i]; }
    // The largest bitmap number, at least 0.
    int32_t HighestBitmapNumber() const;
    const BitmapNameEntry* FindEntry(const std::string& name) const;

    virtual int32_t GetVersion();
    virtual void SetVersion(int32_t version);
    virtual void IncrementVersion();
    virtual BitmapNameExtension& GetExtension();
    std::optional<Md5Value> GetDigest(const BitmapNameEntry& entry);
    void SetDigest(const BitmapNameEntry& entry, const Md5Value& digest);
    void RemoveDigest(const std::string& name);
    virtual BitmapMd5IdChunk* FindDigestChunk(const std::string& name) const = 0;
    virtual BitmapMd5IdChunk* CreateDigestChunk(const BitmapNameEntry& entry, const Md5Value& digest) = 0;

protected:
    using DataChunk::DataChunk;
    void ReadEntries(ByteReader& r);
    size_t EntriesSize() const;
    void WriteEntries(ByteWriter& out) const;
    // The digest chunks beside the list, in order.
    std::vector<BitmapMd5IdChunk*> DigestSiblings() const;
    // The list's version held in BMNAMVER siblings; of several, the highest is kept.
    class BitmapNameVersionChunk* VersionSibling();
    void SetSiblingVersion(int32_t version);

    std::vector<BitmapNameEntry> entries_;
    BitmapNameExtension ownExtension_; // for a list without a parent
};

// BMPNAMES: the file's list.
class BitmapNamesChunk : public BitmapNameListChunk {
public:
    BitmapNamesChunk(ParentChunk* parent, const ChunkBytes& bytes);
    explicit BitmapNamesChunk(ParentChunk* parent) : BitmapNameListChunk(parent, chunk_id::kBitmapNames) {}
    BitmapMd5IdChunk* FindDigestChunk(const std::string& name) const override;
    BitmapMd5IdChunk* CreateDigestChunk(const BitmapNameEntry& entry, const Md5Value& digest) override;

protected:
    size_t PayloadSize() const override { return EntriesSize(); }
    void WritePayload(ByteWriter& out) const override { WriteEntries(out); }
};

// BMPLSTST: the list of one file, whose name is the parent's RIFFNAME.
class BitmapListChunk : public BitmapNameListChunk {
public:
    BitmapListChunk(ParentChunk* parent, const ChunkBytes& bytes);
    explicit BitmapListChunk(ParentChunk* parent) : BitmapNameListChunk(parent, chunk_id::kBitmapList) {}
    BitmapMd5IdChunk* FindDigestChunk(const std::string& name) const override;
    BitmapMd5IdChunk* CreateDigestChunk(const BitmapNameEntry& entry, const Md5Value& digest) override;

protected:
    size_t PayloadSize() const override { return EntriesSize(); }
    void WritePayload(ByteWriter& out) const override { WriteEntries(out); }

private:
    std::string FileName() const;
};

// SHBMPNAM: the list of a shape or object, with two strings, its own version and extension.
class ShapeBitmapNamesChunk : public BitmapNameListChunk {
public:
    ShapeBitmapNamesChunk(ParentChunk* parent, const ChunkBytes& bytes);
    ShapeBitmapNamesChunk(ParentChunk* parent, std::string first, std::string second);

    int32_t GetVersion() override { return version_; }
    void SetVersion(int32_t version) override { version_ = version; }
    void IncrementVersion() override { ++version_; }
    BitmapNameExtension& GetExtension() override { return extension_; }
    BitmapMd5IdChunk* FindDigestChunk(const std::string& name) const override;
    BitmapMd5IdChunk* CreateDigestChunk(const BitmapNameEntry& entry, const Md5Value& digest) override;

    std::string first_;
    std::string second_; // empty: none
    int32_t version_ = 0;
    BitmapNameExtension extension_; // its flags word is the list's flags

protected:
    size_t PayloadSize() const override;
    void WritePayload(ByteWriter& out) const override;
};

class BitmapNameVersionChunk : public DataChunk {
public:
    BitmapNameVersionChunk(ParentChunk* parent, const ChunkBytes& bytes);
    BitmapNameVersionChunk(ParentChunk* parent, int32_t version);
    int32_t version_ = 0;

protected:
    size_t PayloadSize() const override { return 4; }
    void WritePayload(ByteWriter& out) const override { out.I32(version_); }
};

class BitmapNameExtensionChunk : public DataChunk {
public:
    BitmapNameExtensionChunk(ParentChunk* parent, const ChunkBytes& bytes);
    explicit BitmapNameExtensionChunk(ParentChunk* parent) : DataChunk(parent, chunk_id::kBitmapNameExtension) {}
    BitmapNameExtension extension_;

protected:
    size_t PayloadSize() const override { return 52; }
    void WritePayload(ByteWriter& out) const override;
};

// BMPMD5ID: the digest of one image, valid while the entry's stamp is unchanged.
class BitmapMd5IdChunk : public DataChunk {
public:
    BitmapMd5IdChunk(ParentChunk* parent, const ChunkBytes& bytes);
    BitmapMd5IdChunk(ParentChunk* parent, std::string name, std::string second, std::string third,
                     const Md5Value& digest, uint32_t stamp, int32_t flags);

    int32_t headerWord_ = 0;
    int32_t flags_ = 0;
    uint32_t stamp_ = 0;
    Md5Value digest_{};
    std::string name_;
    std::string second_;
    std::string third_;

protected:
    size_t PayloadSize() const override;
    void WritePayload(ByteWriter& out) const override;
};

struct ImageDescriptor {
    ImageDescriptor() = default;
    ImageDescriptor(int32_t type, std::string a, std::string b, std::string c);
    // Same type and the three strings equal ignoring case (none is empty).
    bool Matches(const ImageDescriptor& other) const;

    int32_t type_ = 0; // its low 8 bits are the type; the rest are kept
    std::array<std::string, 3> strings_;
    int32_t words_[3] = {};
    bool operator==(const ImageDescriptor&) const = default;
};

struct ImageMatch {
    int32_t words_[3] = {};
    ImageDescriptor replacement_;
    ImageDescriptor source_;
    bool operator==(const ImageMatch&) const = default;
};

// MATCHIMG: image substitutions.
class ImageMatchChunk : public DataChunk {
public:
    ImageMatchChunk(ParentChunk* parent, const ChunkBytes& bytes);
    explicit ImageMatchChunk(ParentChunk* parent) : DataChunk(parent, chunk_id::kImageMatch) {}

    // The replacement of the first match whose source is the descriptor, else the descriptor.
    const ImageDescriptor& FindReplacement(const ImageDescriptor& descriptor) const;

    int32_t words_[2] = {};
    int32_t flags_ = 0;
    std::vector<ImageMatch> matches_;

protected:
    size_t PayloadSize() const override;
    void WritePayload(ByteWriter& out) const override;
};

void RegisterBitmapNameChunks();

} // namespace trevok
