// What a shape may carry besides its geometry: morph sets of sub-shapes and the
// frames between them, vertex-animation sequences with a full set of points per
// frame, connected shapes, fragment descriptions, alternative textures and small
// property records. The game's loaders read none of them; the library keeps them,
// rebuilds them from records and writes them back.
#pragma once

#include "chunk/chunk_ids.h"
#include "chunk/shape_chunks.h"

#include <array>
#include <optional>
#include <string>
#include <vector>

namespace trevok {

class SubShapeHeaderChunk;

// Runs of 32-bit words kept as they are (FRAGDATA, FRAGLOCN, ANSHCEN2).
class ShapeWordsChunk : public DataChunk {
public:
    ShapeWordsChunk(ParentChunk* parent, const ChunkBytes& bytes, size_t count);
    ShapeWordsChunk(ParentChunk* parent, std::string_view identifier, size_t count);
    std::vector<int32_t> words_;

protected:
    size_t PayloadSize() const override { return 4 * words_.size(); }
    void WritePayload(ByteWriter& out) const override;
};

class ShapeFragmentDataChunk : public ShapeWordsChunk {
public:
    ShapeFragmentDataChunk(ParentChunk* parent, const ChunkBytes& bytes) : ShapeWordsChunk(parent, bytes, 4) {}
    explicit ShapeFragmentDataChunk(ParentChunk* parent) : ShapeWordsChunk(parent, chunk_id::kShapeFragmentData, 4) {}
};

class ShapeFragmentLocationChunk : public ShapeWordsChunk {
public:
    ShapeFragmentLocationChunk(ParentChunk* parent, const ChunkBytes& bytes) : ShapeWordsChunk(parent, bytes, 7) {}
    explicit ShapeFragmentLocationChunk(ParentChunk* parent)
        : ShapeWordsChunk(parent, chunk_id::kShapeFragmentLocation, 7)
    {
    }
};

class AnimShapeCentreChunk : public ShapeWordsChunk {
public:
    AnimShapeCentreChunk(ParentChunk* parent, const ChunkBytes& bytes) : ShapeWordsChunk(parent, bytes, 5) {}
    explicit AnimShapeCentreChunk(ParentChunk* parent) : ShapeWordsChunk(parent, chunk_id::kAnimShapeCentre, 5) {}
};

class ShapeFragmentsChunk : public ParentChunk {
public:
    using ParentChunk::ParentChunk;
    explicit ShapeFragmentsChunk(ParentChunk* parent) : ParentChunk(parent, chunk_id::kShapeFragments) {}
};

class ShapeAltTexturesChunk : public ParentChunk {
public:
    using ParentChunk::ParentChunk;
    explicit ShapeAltTexturesChunk(ParentChunk* parent) : ParentChunk(parent, chunk_id::kShapeAltTextures) {}
};

class ShapeFragmentTypeChunk : public DataChunk {
public:
    ShapeFragmentTypeChunk(ParentChunk* parent, const ChunkBytes& bytes);
    ShapeFragmentTypeChunk(ParentChunk* parent, std::string name);
    std::string name_;
    int32_t words_[2] = {};

protected:
    size_t PayloadSize() const override { return ByteReader::PaddedLength(name_.size()) + 8; }
    void WritePayload(ByteWriter& out) const override;
};

class ShapeFileNameChunk : public DataChunk {
public:
    ShapeFileNameChunk(ParentChunk* parent, const ChunkBytes& bytes);
    ShapeFileNameChunk(ParentChunk* parent, std::string name);
    std::string name_;

protected:
    size_t PayloadSize() const override { return ByteReader::PaddedLength(name_.size()); }
    void WritePayload(ByteWriter& out) const override { out.PaddedString(name_); }
};

class ShapePcInfoChunk : public DataChunk {
public:
    ShapePcInfoChunk(ParentChunk* parent, const ChunkBytes& bytes);
    explicit ShapePcInfoChunk(ParentChunk* parent) : DataChunk(parent, chunk_id::kShapePcInfo) {}
    int32_t word_ = 0;
    std::vector<std::array<int32_t, 3>> triples_;

protected:
    size_t PayloadSize() const override { return 4 + CountedRecordsSize(triples_); }
    void WritePayload(ByteWriter& out) const override;
};

// CONSTYPE: the type is the low 8 bits; the whole stored word is kept.
class ConnectedShapeTypeChunk : public DataChunk {
public:
    ConnectedShapeTypeChunk(ParentChunk* parent, const ChunkBytes& bytes);
    ConnectedShapeTypeChunk(ParentChunk* parent, int32_t type);
    int32_t Type() const { return word_ & 0xFF; }
    int32_t word_ = 0;

protected:
    size_t PayloadSize() const override { return 4; }
    void WritePayload(ByteWriter& out) const override { out.I32(word_); }
};

// SHPPRPRO: an entry array whose head word chains packed links through it.
class ShapePropertiesChunk : public DataChunk {
public:
    ShapePropertiesChunk(ParentChunk* parent, const ChunkBytes& bytes);
    ShapePropertiesChunk(ParentChunk* parent, int32_t headWord, std::vector<int32_t> entries);

    // Follows the chain from the head word: each link's low 16 bits are an entry
    // offset, its high 16 bits the position of the next link (0xFFFF ends it). The
    // offsets reached, head first; none when a link points outside the entries or
    // the chain loops. The entries stay as they are, so the chunk still writes back.
    std::optional<std::vector<int32_t>> ResolveLinks() const;

    int32_t headWord_ = 0;
    std::vector<int32_t> entries_;
    std::vector<int32_t> second_;

protected:
    size_t PayloadSize() const override { return 8 + 4 * entries_.size() + CountedRecordsSize(second_); }
    void WritePayload(ByteWriter& out) const override;
};

// ---------------------------------------------------------------------------
// Sub-shapes and morph sets.

class SubShapeChunk : public ShapeChunk {
public:
    SubShapeChunk(ParentChunk* parent, const ChunkBytes& bytes);
    // Geometry children from the data, then a new header.
    SubShapeChunk(ParentChunk* parent, const ShapeData& data);

    // A copy under the same parent with a new header.
    SubShapeChunk* Clone();
    SubShapeHeaderChunk* GetHeader() const;
    std::optional<std::string> GetFileName() const;
};

// SUBSHPHD: the sub-shape's number and word; counts, radius and box live in the
// sub-shape's data as a shape header's do.
class SubShapeHeaderChunk : public DataChunk {
public:
    SubShapeHeaderChunk(ParentChunk* parent, const ChunkBytes& bytes);
    explicit SubShapeHeaderChunk(ParentChunk* parent);
    int32_t word_ = 0;
    int32_t number_ = -1;

protected:
    size_t PayloadSize() const override { return 44; }
    void WritePayload(ByteWriter& out) const override;

private:
    ShapeData own_;
    ShapeData* data_;
};

class ShapeMorphChunk : public ParentChunk {
public:
    ShapeMorphChunk(ParentChunk* parent, const ChunkBytes& bytes) : ParentChunk(parent, bytes) {}
    explicit ShapeMorphChunk(ParentChunk* parent) : ParentChunk(parent, chunk_id::kShapeMorph) {}

    // The morph set's own shape (a VQNSHAPE or SUBSHAPE parent), or none.
    ShapeChunk* OwnerShape() const;
    // The base shape morph frames name with -1: the parent when it is a VQNSHAPE.
    ShapeChunk* BaseShape() const;
    SubShapeChunk* FindSubShape(int32_t number) const;
    // A copy of the owner's shape as a new sub-shape named `fileName`; none when the
    // name is taken (ignoring case) or the morph set belongs to no shape.
    SubShapeChunk* AddSubShape(const std::string& fileName);
    // Numbers the new sub-shapes above the highest number given so far.
    void BeforeSave() override;
};

struct ShapeMorphFrame {
    // Exactly one of each pair is set once resolved: a sub-shape or the base shape.
    SubShapeChunk* startSub_ = nullptr;
    ShapeChunk* startBase_ = nullptr;
    SubShapeChunk* endSub_ = nullptr;
    ShapeChunk* endBase_ = nullptr;
    int32_t value_ = 0;
    bool Resolved() const { return (startSub_ || startBase_) && (endSub_ || endBase_); }
};

class ShapeMorphFramesChunk : public DataChunk {
public:
    ShapeMorphFramesChunk(ParentChunk* parent, const ChunkBytes& bytes);
    explicit ShapeMorphFramesChunk(ParentChunk* parent) : DataChunk(parent, chunk_id::kShapeMorphFrames) {}

    void AfterLoad() override;
    void BeforeSave() override;
    // The frames whose two ends were found.
    std::vector<ShapeMorphFrame> Frames() const;
    void AddFrame(const ShapeMorphFrame& frame);

    int32_t words_[2] = {};
    std::vector<std::array<int32_t, 3>> triples_; // start number, end number, value

private:
    ShapeMorphChunk* MorphSet() const;
    // One per triple, in order; an unresolved one keeps its triple so it is written back.
    struct Slot {
        ShapeMorphFrame frame_;
        std::array<int32_t, 3> triple_{};
    };
    std::vector<Slot> slots_;

protected:
    size_t PayloadSize() const override { return 8 + CountedRecordsSize(triples_); }
    void WritePayload(ByteWriter& out) const override;
};

// ---------------------------------------------------------------------------
// Vertex animation.

inline constexpr int32_t kAnimFrameRemoved = 4; // bit 2 of the first frame word

struct ShapeAnimFrame {
    std::string name_; // empty: none
    std::vector<ShapePoint> points_;
    std::vector<ShapeNormal> polygonNormals_;
    int32_t words_[4] = {};
    bool IsRemoved() const { return (words_[0] & kAnimFrameRemoved) != 0; }
};

struct ShapeAnimSequence {
    int32_t number_ = -1;
    std::string name_;
    std::vector<std::optional<ShapeAnimFrame>> frames_; // an entry may be none
    int32_t params_[3] = {};
    int32_t word_ = 0;
    ShapePoint minCorner_;
    ShapePoint maxCorner_;
    float radius_ = 0;
    std::vector<ShapeNormal> vertexNormals_;

    // Vertex normals summed from the frames' polygon normals over the shape's
    // polygons, and the box and radius of every frame's points. `leaveOut` lists
    // polygons whose vertices do not count towards the bounds.
    void ComputeNormalsAndBounds(const ShapeData& shape, const std::vector<int32_t>* leaveOut = nullptr);
};

class ShapeAnimSequenceChunk : public ParentChunk {
public:
    // Reads the children and assembles the record; Assembled() tells whether it could.
    ShapeAnimSequenceChunk(ParentChunk* parent, const ChunkBytes& bytes);
    ShapeAnimSequenceChunk(ParentChunk* parent, int32_t number, std::string name);
    ShapeAnimSequenceChunk(ParentChunk* parent, const ShapeAnimSequence& record);

    void AfterLoad() override;
    bool Assembled() const { return assembled_; }
    const ShapeAnimSequence& Record() const { return record_; }
    // Replaces the record and rebuilds the children from it.
    void Set(const ShapeAnimSequence& record);
    void SetFirstParameter(int32_t value)
    {
        record_.params_[0] = value;
        edited_ = true;
    }
    void SetFrameWord(int32_t frame, int32_t value);
    // Drops the frames marked removed, keeping the order (only under a shape).
    void RemoveMarkedFrames();
    // An edited record is written as children again, so the edit is saved.
    void BeforeSave() override;
    // Writes the record as children: removed and missing frames are left out and the
    // written frames are numbered without gaps, so the sequence reads back.
    void RebuildChildren();

private:
    bool Assemble();

    ShapeAnimSequence record_;
    bool assembled_ = false;
    bool edited_ = false;
};

class ShapeAnimSequenceDataChunk : public DataChunk {
public:
    ShapeAnimSequenceDataChunk(ParentChunk* parent, const ChunkBytes& bytes);
    ShapeAnimSequenceDataChunk(ParentChunk* parent, const ShapeAnimSequence& record);
    int32_t number_ = -1;
    int32_t params_[3] = {};
    int32_t word_ = 0;
    std::string name_;

protected:
    size_t PayloadSize() const override;
    void WritePayload(ByteWriter& out) const override;
};

class ShapeAnimFrameChunk : public ParentChunk {
public:
    ShapeAnimFrameChunk(ParentChunk* parent, const ChunkBytes& bytes);
    // Appends the frame's data, points and polygon normals.
    ShapeAnimFrameChunk(ParentChunk* parent, const ShapeAnimFrame& frame, int32_t index);
};

class ShapeAnimFrameDataChunk : public DataChunk {
public:
    ShapeAnimFrameDataChunk(ParentChunk* parent, const ChunkBytes& bytes);
    ShapeAnimFrameDataChunk(ParentChunk* parent, int32_t index, const int32_t words[4], std::string name);
    int32_t index_ = 0;
    int32_t words_[4] = {};
    std::string name_;

protected:
    size_t PayloadSize() const override;
    void WritePayload(ByteWriter& out) const override;
};

// ---------------------------------------------------------------------------
// Connected shapes: the parent's geometry with polygon attributes and texture
// coordinates of their own. Not registered, so files keep them as raw chunks.

class ConnectedShapeChunk : public ShapeChunk {
public:
    ConnectedShapeChunk(ParentChunk* parent, const ChunkBytes& bytes);
    ConnectedShapeChunk(ParentChunk* parent, int32_t type);

    // Takes the parent shape's data with this chunk's polygons and sets over it.
    // False when the parent is no shape or the polygon counts disagree; the caller
    // then deletes the chunk.
    bool Resolve();
    void SetShapeData(const ShapeData& data);
};

// The first CONSHAPE child of the shape whose CONSTYPE holds that type.
ConnectedShapeChunk* FindConnectedShape(const ShapeChunk& shape, int32_t type);

void RegisterShapeExtraChunks();

} // namespace trevok
