// Hierarchy chunks: a model tree of OBJCHIER parts, each naming the object whose
// shape it shows, with the model's name, bounds, level-of-detail distances, shape
// sets and shape-set collections. The hierarchy loader and the dump tool read them.
#pragma once

#include "chunk/chunk.h"
#include "chunk/chunk_ids.h"

#include <string>
#include <vector>

namespace trevok {

class ObjectChunk;
class HierarchyNameChunk;
class HierarchyDataChunk;
class HierarchyBoundsChunk;
class SequenceListChunk;

// OBJCHIER: one part of a model; the top-level one also carries the model's name.
class HierarchyChunk : public ParentChunk {
public:
    explicit HierarchyChunk(ParentChunk* parent) : ParentChunk(parent, chunk_id::kHierarchy) {}
    HierarchyChunk(ParentChunk* parent, const ChunkBytes& bytes) : ParentChunk(parent, bytes) {}

    HierarchyNameChunk* GetName() const;
    HierarchyDataChunk* GetData() const;
    HierarchyBoundsChunk* GetBounds() const;
    SequenceListChunk* GetSequenceList() const;
    void GetSubHierarchies(std::vector<HierarchyChunk*>& list) const;
};

// OBJHIERD: the part's values and the name of the object it shows.
class HierarchyDataChunk : public DataChunk {
public:
    HierarchyDataChunk(ParentChunk* parent, const ChunkBytes& bytes);
    HierarchyDataChunk(ParentChunk* parent, std::string objectName);

    void AfterLoad() override { ResolveObject(); }
    // Looks the object up among the RBOBJECT chunks of this chunk's file; none
    // when the part shows no object or the file has none of that name.
    ObjectChunk* ResolveObject();
    // The object found by the last resolve. Looked up again by name on every call
    // so a deleted object is never handed out.
    ObjectChunk* GetObject() const;

    std::vector<int32_t> values_;
    std::string objectName_; // empty: the part shows no object

protected:
    size_t PayloadSize() const override { return 4 + 4 * values_.size() + ByteReader::PaddedLength(objectName_.size()); }
    void WritePayload(ByteWriter& out) const override;

private:
    ObjectChunk* FindObject() const;
    bool resolved_ = false;
};

// OBHIERNM: the model's name.
class HierarchyNameChunk : public DataChunk {
public:
    HierarchyNameChunk(ParentChunk* parent, const ChunkBytes& bytes);
    HierarchyNameChunk(ParentChunk* parent, std::string name);
    std::string name_;

protected:
    size_t PayloadSize() const override { return ByteReader::PaddedLength(name_.size()); }
    void WritePayload(ByteWriter& out) const override { out.PaddedString(name_); }
};

struct ShapeReplacement {
    std::string shape_;       // the shape replaced
    std::string replacement_; // the shape shown in its place
    bool operator==(const ShapeReplacement&) const = default;
};

inline constexpr int32_t kShapeSetFemale = 1;

// OBHALTSH: a named list of shape replacements.
class ShapeSetChunk : public DataChunk {
public:
    ShapeSetChunk(ParentChunk* parent, const ChunkBytes& bytes);
    ShapeSetChunk(ParentChunk* parent, int32_t index, std::string name);
    // Takes the smallest index no other shape set of the parent uses.
    ShapeSetChunk(ParentChunk* parent, std::string name);

    int32_t index_ = -1;
    std::string name_;
    std::vector<ShapeReplacement> replacements_;
    int32_t properties_ = 0;
    int32_t values_[3] = {};

protected:
    size_t PayloadSize() const override;
    void WritePayload(ByteWriter& out) const override;
};

// HSETCOLL: the shape sets one character uses, and its voice.
class ShapeSetCollectionChunk : public DataChunk {
public:
    ShapeSetCollectionChunk(ParentChunk* parent, const ChunkBytes& bytes);
    ShapeSetCollectionChunk(ParentChunk* parent, int32_t index, std::string name);

    // The parent's shape set with that index, or none.
    ShapeSetChunk* FindShapeSet(int32_t setIndex) const;

    int32_t index_ = 0;
    std::string name_;
    std::vector<int32_t> setIndexes_;
    int32_t voiceIndex_ = 0;
    int32_t value_ = 0;

protected:
    size_t PayloadSize() const override { return 16 + ByteReader::PaddedLength(name_.size()) + 4 * setIndexes_.size(); }
    void WritePayload(ByteWriter& out) const override;
};

inline constexpr int kLevelsOfDetail = 10;
inline constexpr int32_t kDegradationStep = 10000;

// HIDEGDIS: distances in file units at which the model drops to its next level of detail.
class DegradationDistancesChunk : public DataChunk {
public:
    DegradationDistancesChunk(ParentChunk* parent, const ChunkBytes& bytes);
    // n distances 0, 10000, 20000, ...
    DegradationDistancesChunk(ParentChunk* parent, int32_t n);
    std::vector<int32_t> distances_;

protected:
    size_t PayloadSize() const override { return 4 + 4 * distances_.size(); }
    void WritePayload(ByteWriter& out) const override;
};

// HIERBBOX: a box in file units, of the whole model or of the model during a sequence.
class HierarchyBoundsChunk : public DataChunk {
public:
    HierarchyBoundsChunk(ParentChunk* parent, const ChunkBytes& bytes);
    HierarchyBoundsChunk(ParentChunk* parent, const int32_t minimum[3], const int32_t maximum[3]);
    int32_t minimum_[3] = {};
    int32_t maximum_[3] = {};

protected:
    size_t PayloadSize() const override { return 24; }
    void WritePayload(ByteWriter& out) const override;
};

void RegisterHierarchyChunks();

// Registers the sound, shape-extra, bitmap-name, hierarchy and sequence families
// once. The library's family registration calls it; tests and tools may too.
void RegisterModelChunkFamilies();

} // namespace trevok
