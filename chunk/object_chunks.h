// Object chunks: a placed model (position, orientation, name, shape, module links,
// tracks and sounds) stored as an RBOBJECT at the top of a chunk file, and the
// editing protocol it shares with the environment chunk.
#pragma once

#include "chunk/chunk.h"
#include "chunk/md5.h"

#include <array>
#include <string>
#include <vector>

namespace trevok {

class ChunkFile;
class ShapeChunk;

// A chunk a level editor can lock, edit and write back into a stored file on its own.
class EditableChunk : public ParentChunk {
public:
    using ParentChunk::ParentChunk;

    int32_t ComputePartialSize() override;
    void SerializePartial(ByteWriter& out) override;

    // The stored chunk at the file's position is this item.
    virtual bool MatchesStoredEntry(std::FILE* file) const = 0;
    // The header chunk's identifier, or none when the item has no header.
    virtual const char* GetHeaderIdentifier() const = 0;
    virtual void SetEditor(const std::string& editor) = 0;

    bool BeginEdit(ChunkFile* root);
    bool EndEdit(ChunkFile* root, bool modified);
    // Writes this item into a stored plain file in place of its stored copy (or at the end).
    bool WriteInPlace(std::FILE* file);

    int32_t writeInPartialPass_ = 0;
    int32_t modified_ = 0;
    int32_t beingEdited_ = 0;
    int32_t locked_ = 0;
    int32_t discardBeforeSave_ = 0;
};

// The 24-word header of an object; the name is held whole.
struct ObjectHeader {
    int32_t position_[3] = {};
    float orientation_[4] = {};
    int32_t mirrored_ = 0;
    std::string name_;
    int32_t tableIndex_ = -1;
    NameDigest digest_;
};

class ObjectHeaderChunk;

class ObjectChunk : public EditableChunk {
public:
    ObjectChunk(ParentChunk* parent, const ChunkBytes& bytes);
    ObjectChunk(ParentChunk* parent, const ObjectHeader& header);
    ~ObjectChunk() override;

    void AfterLoad() override;
    bool MatchesStoredEntry(std::FILE* file) const override;
    const char* GetHeaderIdentifier() const override;
    void SetEditor(const std::string& editor) override;

    ObjectHeader& Header() { return header_; }
    const ObjectHeader& Header() const { return header_; }
    const std::string& Name() const { return header_.name_; }
    ObjectHeaderChunk* GetHeaderChunk() const;
    ShapeChunk* GetShape() const;
    void SetHeader(const ObjectHeader& header);
    void ComputeNameDigest();
    void LinkShape(ShapeChunk* shape);
    void UnlinkShape(ShapeChunk* shape);
    bool LinkShapeFromFile(ChunkFile* root);
    void BumpRevision();
    bool IsOlderRevisionOf(const ObjectChunk& other) const;
    class ModuleArrayChunk* GetModuleArray() const;
    // Detaches the object from the file's module links and marks it for discarding.
    void Delete(ChunkFile* root);
    // Ten entries: this object and its levels of detail; returns 1 + the levels found.
    int GetLevelsOfDetail(std::vector<ObjectChunk*>& list);

    int32_t secondIndex_ = -1;

private:
    ObjectHeader header_;
    RememberedChild<ObjectHeaderChunk> headerChunk_;
};

class ObjectHeaderChunk : public DataChunk {
public:
    ObjectHeaderChunk(ParentChunk* parent, const ChunkBytes& bytes);
    explicit ObjectHeaderChunk(ParentChunk* parent);
    ~ObjectHeaderChunk() override;

    ObjectHeader& Header() { return *header_; }
    int32_t flags_ = 0;
    std::array<char, 16> editor_{};
    int32_t revision_ = 0;
    int32_t shapeNumber_ = 0;
    ShapeChunk* shape_ = nullptr; // the linked shape, none until linked

protected:
    size_t PayloadSize() const override;
    void WritePayload(ByteWriter& out) const override;

private:
    ObjectHeader own_;
    ObjectHeader* header_;
};

// Raw notes text.
class ObjectNotesChunk : public DataChunk {
public:
    ObjectNotesChunk(ParentChunk* parent, const ChunkBytes& bytes);
    ObjectNotesChunk(ParentChunk* parent, std::string_view text);
    std::vector<uint8_t> bytes_;

protected:
    size_t PayloadSize() const override { return (bytes_.size() + 3) & ~size_t{3}; }
    void WritePayload(ByteWriter& out) const override;
};

struct ModuleArrayEntry {
    int32_t entryIndex_ = 0;
    int32_t value1_ = 0;
    int32_t value2_ = 0;
    int32_t objectIndex_ = 0;
};

class ModuleArrayChunk : public DataChunk {
public:
    ModuleArrayChunk(ParentChunk* parent, const ChunkBytes& bytes);
    explicit ModuleArrayChunk(ParentChunk* parent);
    std::vector<ModuleArrayEntry> entries_;

protected:
    size_t PayloadSize() const override { return 4 + 16 * entries_.size(); }
    void WritePayload(ByteWriter& out) const override;
};

struct AdjacentModuleEntry {
    int32_t objectIndex_ = 0;
    int32_t values_[4] = {};
};

class AdjacentModulesChunk : public DataChunk {
public:
    AdjacentModulesChunk(ParentChunk* parent, const ChunkBytes& bytes);
    explicit AdjacentModulesChunk(ParentChunk* parent);
    std::vector<AdjacentModuleEntry> entries_;

protected:
    size_t PayloadSize() const override { return 4 + 20 * entries_.size(); }
    void WritePayload(ByteWriter& out) const override;
};

// Fixed runs of 32-bit words whose meaning belongs to their readers (MODFLAGS,
// MODZONE, MODACOUS, ENVACOUS, AMBIENCE, STDLIGHT, ...): kept bit for bit.
class WordsChunk : public DataChunk {
public:
    WordsChunk(ParentChunk* parent, const ChunkBytes& bytes, size_t wordCount);
    WordsChunk(ParentChunk* parent, std::string_view identifier, std::vector<uint32_t> words);
    std::vector<uint32_t> words_;

    int32_t Int(size_t i) const { return static_cast<int32_t>(words_[i]); }
    float Float(size_t i) const;

protected:
    size_t PayloadSize() const override { return 4 * words_.size(); }
    void WritePayload(ByteWriter& out) const override;
};

template <size_t N>
Chunk* BuildWordsChunk(ParentChunk* parent, const ChunkBytes& bytes)
{
    auto* chunk = new WordsChunk(parent, bytes, N);
    if (chunk->Damaged()) {
        delete chunk;
        return nullptr;
    }
    return chunk;
}

// MODACOUS / ENVACOUS: int32, float, int32.
WordsChunk* NewAcousticsChunk(ParentChunk* parent, std::string_view identifier, int32_t a, float b, int32_t c);

inline constexpr size_t kTrackRecordWords = 19;

struct TrackRecord {
    uint32_t words_[kTrackRecordWords] = {}; // two quaternions of four floats, then 11 values
};

class ObjectTrackChunk : public DataChunk {
public:
    ObjectTrackChunk(ParentChunk* parent, const ChunkBytes& bytes);
    explicit ObjectTrackChunk(ParentChunk* parent);
    std::vector<TrackRecord> records_;
    int32_t a_ = static_cast<int32_t>(0x80000000u);
    int32_t b_ = 0;

protected:
    size_t PayloadSize() const override { return 12 + 76 * records_.size(); }
    void WritePayload(ByteWriter& out) const override;
};

class TrackSoundChunk : public DataChunk {
public:
    TrackSoundChunk(ParentChunk* parent, const ChunkBytes& bytes);
    TrackSoundChunk(ParentChunk* parent, std::string soundName);
    int32_t values_[6] = {5000, 40000, 127, 0, 0, 0};
    std::string soundName_;

protected:
    size_t PayloadSize() const override { return 24 + ByteReader::PaddedLength(soundName_.size()); }
    void WritePayload(ByteWriter& out) const override;
};

class TrackSoundCategoryChunk : public DataChunk {
public:
    TrackSoundCategoryChunk(ParentChunk* parent, const ChunkBytes& bytes);
    TrackSoundCategoryChunk(ParentChunk* parent, std::string text);
    std::string text_;
    int32_t values_[2] = {};

protected:
    size_t PayloadSize() const override { return ByteReader::PaddedLength(text_.size()) + 8; }
    void WritePayload(ByteWriter& out) const override;
};

struct AlternativeLocation {
    uint32_t words_[9] = {};
};

class AlternativeLocationsChunk : public DataChunk {
public:
    AlternativeLocationsChunk(ParentChunk* parent, const ChunkBytes& bytes);
    explicit AlternativeLocationsChunk(ParentChunk* parent);
    int32_t values_[2] = {};
    std::vector<AlternativeLocation> locations_;

protected:
    size_t PayloadSize() const override { return 12 + 36 * locations_.size(); }
    void WritePayload(ByteWriter& out) const override;
};

void RegisterObjectChunks();

} // namespace trevok
