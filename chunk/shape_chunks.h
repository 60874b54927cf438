// Shape chunks: a VQNSHAPE parent whose children carry the arrays and scalars of
// one ShapeData (points, normals, polygons, texture coordinates and names, centre,
// flags, the header with name, id and version, and the merge table).
#pragma once

#include "chunk/chunk.h"
#include "chunk/record_array.h"
#include "chunk/shape_data.h"

#include <memory>
#include <span>
#include <string>
#include <vector>

namespace trevok {

class ObjectChunk;
class ShapeHeaderChunk;
class ChunkFile;

class ShapeChunk : public ParentChunk {
public:
    ShapeChunk(ParentChunk* parent, const ChunkBytes& bytes);
    // A new shape: a copy of the data, its geometry children, then a new header.
    ShapeChunk(ParentChunk* parent, const ShapeData& data);
    ~ShapeChunk() override;

    ShapeData& Data() { return shape_; }
    const ShapeData& Data() const { return shape_; }

    // Replaces the data and rebuilds the geometry children (the header and others stay).
    bool Update(const ShapeData& data);
    // A copy under the same parent with a new header.
    ShapeChunk* Clone();
    // Drops morphs, animations, fragments and the other extras, keeping geometry and header.
    void StripExtras();

    ShapeHeaderChunk* GetHeader() const;
    bool SetName(const std::string& name);
    bool IncrementVersion();
    bool IsOlderVersionOf(const ShapeChunk& other) const;
    const std::vector<ObjectChunk*>& GetUsers() const;
    // The stored chunk at the file's position is this shape (one header with this id).
    bool IsSameShapeInFile(std::FILE* file) const;
    // Links the root's objects named in the header; false at the first name not found.
    bool LinkObjects(ChunkFile* root);
    void AttachObject(ObjectChunk* object);
    void DetachObject(ObjectChunk* object);

protected:
    // For classes sharing the shape layout under another identifier.
    ShapeChunk(ParentChunk* parent, std::string_view identifier, const ShapeData& data);
    ShapeChunk(ParentChunk* parent, std::string_view identifier);
    void AppendGeometryChildren();
    // This chunk's bytes read back as a new child of the same parent, with the copied
    // header `headerId` replaced by a new `Header`; none when they do not make a `Shape`.
    template <class Shape, class Header>
    Shape* CloneWithNewHeader(std::string_view headerId);

    ShapeData shape_;

private:
    RememberedChild<ShapeHeaderChunk> header_;
};

template <class Shape, class Header>
Shape* ShapeChunk::CloneWithNewHeader(std::string_view headerId)
{
    auto block = BuildBlock();
    if (block.size() < static_cast<size_t>(kChunkHeaderSize) || !parent_)
        return nullptr;
    Chunk* made = parent_->CreateChild(ChunkBytes{block});
    auto* copy = dynamic_cast<Shape*>(made);
    if (!copy) {
        delete made;
        return nullptr;
    }
    delete copy->FindChild(headerId);
    new Header(copy);
    copy->AfterLoad();
    return copy;
}

// The shape data a geometry chunk fills when it lies directly under a shape; none elsewhere.
ShapeData* OwningShapeData(ParentChunk* parent);

// A chunk whose payload is one array of fixed-size records. Under a shape the
// records are decoded once, into the shape's data; the chunk then keeps only
// its stored bytes (while the load's file image is held) and decodes its own
// copy when something asks for it. Saving writes the stored records either way.
template <class Record>
class RecordArrayChunk : public DataChunk {
public:
    std::vector<Record>& Records()
    {
        Decode();
        return records_;
    }
    const std::vector<Record>& Records() const
    {
        Decode();
        return records_;
    }
    // False while the records still lie only in the held file image.
    bool Decoded() const { return held_ == nullptr; }

protected:
    RecordArrayChunk(ParentChunk* parent, std::string_view identifier, std::vector<Record> records = {})
        : DataChunk(parent, identifier), records_(std::move(records))
    {
    }
    // Whole records fill the array (and `shared`, when given); a remainder stays
    // with the chunk's tail.
    void ReadArray(const ChunkBytes& bytes, std::vector<Record>* shared = nullptr)
    {
        constexpr size_t size = RecordLayout<Record>::kSize;
        ByteReader r(bytes.Payload());
        const size_t count = r.Remaining() / size;
        ChunkLoadScope* load = ChunkLoadScope::Current();
        if (shared && count > 0 && load) {
            const auto stored = r.Take(count * size);
            if (auto held = load->HolderOf(stored)) {
                ByteReader records(stored);
                ReadRecords(records, *shared, static_cast<int64_t>(count));
                held_ = std::move(held);
                stored_ = stored;
                FinishRead(r, bytes);
                return;
            }
            r = ByteReader(bytes.Payload());
        }
        ReadRecords(r, records_, static_cast<int64_t>(count));
        FinishRead(r, bytes);
        if (shared)
            *shared = records_;
    }
    size_t PayloadSize() const override
    {
        return held_ ? stored_.size() : RecordLayout<Record>::kSize * records_.size();
    }
    void WritePayload(ByteWriter& out) const override
    {
        if (!held_) {
            WriteRecords(out, records_);
            return;
        }
        // Through the record, as a decoded copy would write it.
        constexpr size_t size = RecordLayout<Record>::kSize;
        Record record;
        for (size_t at = 0; at < stored_.size(); at += size) {
            ReadRecordInto(record, stored_.data() + at);
            RecordLayout<Record>::Write(out, record);
        }
    }

private:
    void Decode() const
    {
        if (!held_)
            return;
        ByteReader r(stored_);
        ReadRecords(r, records_, static_cast<int64_t>(stored_.size() / RecordLayout<Record>::kSize));
        stored_ = {};
        held_.reset();
    }

    mutable std::vector<Record> records_;
    mutable std::span<const uint8_t> stored_;
    mutable std::shared_ptr<const void> held_;
};

// Under a shape these also fill its data.
class ShapePointsChunk : public RecordArrayChunk<ShapePoint> {
public:
    ShapePointsChunk(ParentChunk* parent, const ChunkBytes& bytes);
    ShapePointsChunk(ParentChunk* parent, std::vector<ShapePoint> points);
};

class VertexNormalsChunk : public RecordArrayChunk<ShapeNormal> {
public:
    VertexNormalsChunk(ParentChunk* parent, const ChunkBytes& bytes);
    VertexNormalsChunk(ParentChunk* parent, std::vector<ShapeNormal> normals);
};

class PolygonNormalsChunk : public RecordArrayChunk<ShapeNormal> {
public:
    PolygonNormalsChunk(ParentChunk* parent, const ChunkBytes& bytes);
    PolygonNormalsChunk(ParentChunk* parent, std::vector<ShapeNormal> normals);
};

class VertexFlagsChunk : public RecordArrayChunk<int32_t> {
public:
    VertexFlagsChunk(ParentChunk* parent, const ChunkBytes& bytes);
    VertexFlagsChunk(ParentChunk* parent, std::vector<int32_t> flags);
};

class MergeDataChunk : public RecordArrayChunk<int32_t> {
public:
    MergeDataChunk(ParentChunk* parent, const ChunkBytes& bytes);
    MergeDataChunk(ParentChunk* parent, std::vector<int32_t> entries);
};

inline constexpr size_t kPolygonRecordSize = RecordLayout<ShapePolygon>::kSize;

class PolygonsChunk : public RecordArrayChunk<ShapePolygon> {
public:
    PolygonsChunk(ParentChunk* parent, const ChunkBytes& bytes);
    PolygonsChunk(ParentChunk* parent, std::vector<ShapePolygon> polygons);
};

class UvCoordsChunk : public DataChunk {
public:
    UvCoordsChunk(ParentChunk* parent, const ChunkBytes& bytes);
    UvCoordsChunk(ParentChunk* parent, std::vector<ShapeUvSet> sets);
    std::vector<ShapeUvSet> sets_;

protected:
    size_t PayloadSize() const override;
    void WritePayload(ByteWriter& out) const override;
};

class TextureNamesChunk : public DataChunk {
public:
    TextureNamesChunk(ParentChunk* parent, const ChunkBytes& bytes);
    TextureNamesChunk(ParentChunk* parent, std::vector<std::string> names);
    std::vector<std::string> names_;

protected:
    size_t PayloadSize() const override;
    void WritePayload(ByteWriter& out) const override;
};

// SHPCENTR and SHPFLAGS read and write the shape's own fields; away from a shape
// they keep a shape data of their own.
class ShapeCentreChunk : public DataChunk {
public:
    ShapeCentreChunk(ParentChunk* parent, const ChunkBytes& bytes);
    explicit ShapeCentreChunk(ParentChunk* parent);

protected:
    size_t PayloadSize() const override { return 16; }
    void WritePayload(ByteWriter& out) const override;

private:
    ShapeData own_;
    ShapeData* data_;
};

class ShapeFlagsChunk : public DataChunk {
public:
    ShapeFlagsChunk(ParentChunk* parent, const ChunkBytes& bytes);
    explicit ShapeFlagsChunk(ParentChunk* parent);

protected:
    size_t PayloadSize() const override { return 4; }
    void WritePayload(ByteWriter& out) const override;

private:
    ShapeData own_;
    ShapeData* data_;
};

inline constexpr size_t kShapeNameLength = 16;

class ShapeHeaderChunk : public DataChunk {
public:
    ShapeHeaderChunk(ParentChunk* parent, const ChunkBytes& bytes);
    explicit ShapeHeaderChunk(ParentChunk* parent);
    ~ShapeHeaderChunk() override;

    void BeforeSave() override;

    int32_t headerWord_ = 0;
    std::string name_;
    int32_t shapeId_ = -1;
    int32_t version_ = 0;
    std::vector<std::string> objectNames_;
    std::vector<ObjectChunk*> users_;

protected:
    size_t PayloadSize() const override;
    void WritePayload(ByteWriter& out) const override;

private:
    ShapeData own_;
    ShapeData* data_;
};

class ExternalFileChunk : public ParentChunk {
public:
    ExternalFileChunk(ParentChunk* parent, const ChunkBytes& bytes) : ParentChunk(parent, bytes) {}
    ExternalFileChunk(ParentChunk* parent, const std::string& fileName);
    // The object's display name, else the RIFFNAME file name, else empty.
    std::string GetDisplayName() const;
};

class ExternalFileNameChunk : public DataChunk {
public:
    ExternalFileNameChunk(ParentChunk* parent, const ChunkBytes& bytes);
    ExternalFileNameChunk(ParentChunk* parent, std::string name);
    std::string name_;
    double value_ = 1.0;
    int32_t word_ = -1;

protected:
    size_t PayloadSize() const override { return 12 + ByteReader::PaddedLength(name_.size()); }
    void WritePayload(ByteWriter& out) const override;
};

class ExternalObjectNameChunk : public DataChunk {
public:
    ExternalObjectNameChunk(ParentChunk* parent, const ChunkBytes& bytes);
    ExternalObjectNameChunk(ParentChunk* parent, std::string name);
    void AfterLoad() override;
    int32_t word_ = 0;
    std::string name_;
    std::string displayName_;

protected:
    size_t PayloadSize() const override { return 4 + ByteReader::PaddedLength(name_.size()); }
    void WritePayload(ByteWriter& out) const override;

private:
    void MakeDisplayName();
};

void RegisterShapeChunks();

} // namespace trevok
