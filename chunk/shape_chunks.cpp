#include "chunk/shape_chunks.h"

#include "chunk/chunk_file.h"
#include "chunk/chunk_ids.h"
#include "chunk/object_chunks.h"

#include <algorithm>
#include <cstring>

namespace trevok {
namespace {

void ReadPoint(ByteReader& r, ShapePoint& p)
{
    p.x = r.I32();
    p.y = r.I32();
    p.z = r.I32();
}


} // namespace

ShapeData* OwningShapeData(ParentChunk* parent)
{
    if (!parent || !(parent->Is(chunk_id::kShape) || parent->Is(chunk_id::kSubShape)))
        return nullptr;
    auto* shape = dynamic_cast<ShapeChunk*>(parent);
    return shape ? &shape->Data() : nullptr;
}

// ---------------------------------------------------------------------------

ShapeChunk::ShapeChunk(ParentChunk* parent, const ChunkBytes& bytes) : ParentChunk(parent, bytes.Identifier())
{
    shape_.Clear();
    // Read here, not in the base, so the children find this shape's data.
    ReadChildren(bytes.Payload());
}

ShapeChunk::ShapeChunk(ParentChunk* parent, std::string_view identifier) : ParentChunk(parent, identifier) {}

ShapeChunk::ShapeChunk(ParentChunk* parent, std::string_view identifier, const ShapeData& data)
    : ParentChunk(parent, identifier), shape_(data)
{
    AppendGeometryChildren();
}

ShapeChunk::ShapeChunk(ParentChunk* parent, const ShapeData& data) : ShapeChunk(parent, chunk_id::kShape, data)
{
    new ShapeHeaderChunk(this);
}

ShapeChunk::~ShapeChunk()
{
    // While this is still a shape: the header's object links point back at it.
    DeleteChildren();
}

void ShapeChunk::AppendGeometryChildren()
{
    ShapeData& d = shape_;
    // The children copy the arrays; the shape data stays the one the shape reads.
    if (!d.points_.empty())
        new ShapePointsChunk(this, d.points_);
    if (!d.vertexFlags_.empty())
        new VertexFlagsChunk(this, d.vertexFlags_);
    if (!d.vertexNormals_.empty())
        new VertexNormalsChunk(this, d.vertexNormals_);
    if (!d.polygonNormals_.empty())
        new PolygonNormalsChunk(this, d.polygonNormals_);
    if (!d.polygons_.empty())
        new PolygonsChunk(this, d.polygons_);
    if (!d.uvSets_.empty())
        new UvCoordsChunk(this, d.uvSets_);
    if (!d.textureNames_.empty())
        new TextureNamesChunk(this, d.textureNames_);
    d.ComputeCentre();
    if (!FindChild(chunk_id::kShapeCentre))
        new ShapeCentreChunk(this);
    if (d.shapeFlags_ != 0 && !FindChild(chunk_id::kShapeFlags))
        new ShapeFlagsChunk(this);
}

bool ShapeChunk::Update(const ShapeData& data)
{
    for (const char* id : {chunk_id::kShapePoints, chunk_id::kVertexNormals, chunk_id::kPolygonNormals,
                           chunk_id::kPolygons, chunk_id::kUvCoords, chunk_id::kTextureNames, chunk_id::kShapeCentre,
                           chunk_id::kShapeFlags, chunk_id::kVertexFlags})
        delete FindChild(id);
    shape_ = data;
    AppendGeometryChildren();
    return true;
}

ShapeChunk* ShapeChunk::Clone()
{
    return CloneWithNewHeader<ShapeChunk, ShapeHeaderChunk>(chunk_id::kShapeHeader);
}

void ShapeChunk::StripExtras()
{
    static constexpr const char* kExtras[] = {
        chunk_id::kShapeZspData,      chunk_id::kMergeData,       chunk_id::kShapeMorph,
        chunk_id::kTextureAnimation,  chunk_id::kShapePcInfo,     chunk_id::kShapeFragments,
        chunk_id::kShapeAnimSequence, chunk_id::kAnimShapeCentre, chunk_id::kConnectedShape,
        chunk_id::kShapeAltTextures,  chunk_id::kShapeProperties, chunk_id::kVertexIntensity};
    for (Chunk* c = firstChild_; c;) {
        Chunk* next = c->Next();
        for (const char* id : kExtras)
            if (c->Is(id)) {
                delete c;
                break;
            }
        c = next;
    }
}

ShapeHeaderChunk* ShapeChunk::GetHeader() const
{
    return header_.Find(*this, chunk_id::kShapeHeader);
}

bool ShapeChunk::SetName(const std::string& name)
{
    auto* h = GetHeader();
    if (!h)
        return false;
    h->name_ = name.substr(0, kShapeNameLength);
    return true;
}

bool ShapeChunk::IncrementVersion()
{
    auto* h = GetHeader();
    if (!h)
        return false;
    ++h->version_;
    return true;
}

bool ShapeChunk::IsOlderVersionOf(const ShapeChunk& other) const
{
    auto* a = GetHeader();
    auto* b = other.GetHeader();
    return a && b && a->shapeId_ == b->shapeId_ && a->version_ < b->version_;
}

const std::vector<ObjectChunk*>& ShapeChunk::GetUsers() const
{
    static const std::vector<ObjectChunk*> kNone;
    auto* h = GetHeader();
    return h ? h->users_ : kNone;
}

bool ShapeChunk::IsSameShapeInFile(std::FILE* file) const
{
    auto* h = GetHeader();
    if (!h)
        return false;
    long start = std::ftell(file);
    std::vector<long> heads;
    ScanFileForChunks(heads, file, chunk_id::kShapeHeader);
    bool same = false;
    uint8_t b[4];
    if (heads.size() == 1 && std::fseek(file, heads[0] + 32, SEEK_SET) == 0 && std::fread(b, 1, 4, file) == 4) {
        ByteReader r({b, 4});
        same = r.I32() == h->shapeId_;
    }
    std::fseek(file, start, SEEK_SET);
    return same;
}

bool ShapeChunk::LinkObjects(ChunkFile* root)
{
    auto* h = GetHeader();
    if (!h || !root)
        return false;
    std::vector<ObjectChunk*> objects;
    root->GetObjects(objects);
    for (const auto& name : h->objectNames_) {
        auto it = std::find_if(objects.begin(), objects.end(), [&](ObjectChunk* o) { return o->Name() == name; });
        if (it == objects.end())
            return false;
        (*it)->LinkShape(this);
    }
    return true;
}

void ShapeChunk::AttachObject(ObjectChunk* object)
{
    if (object)
        object->LinkShape(this);
}

void ShapeChunk::DetachObject(ObjectChunk* object)
{
    if (object)
        object->UnlinkShape(this);
}

// ---------------------------------------------------------------------------

ShapePointsChunk::ShapePointsChunk(ParentChunk* parent, std::vector<ShapePoint> points)
    : RecordArrayChunk(parent, chunk_id::kShapePoints, std::move(points))
{
}

ShapePointsChunk::ShapePointsChunk(ParentChunk* parent, const ChunkBytes& bytes)
    : RecordArrayChunk(parent, bytes.Identifier())
{
    ShapeData* d = OwningShapeData(parent);
    ReadArray(bytes, d ? &d->points_ : nullptr);
    if (d)
        d->pointCount_ = static_cast<int32_t>(d->points_.size());
}

VertexNormalsChunk::VertexNormalsChunk(ParentChunk* parent, std::vector<ShapeNormal> normals)
    : RecordArrayChunk(parent, chunk_id::kVertexNormals, std::move(normals))
{
}

VertexNormalsChunk::VertexNormalsChunk(ParentChunk* parent, const ChunkBytes& bytes)
    : RecordArrayChunk(parent, bytes.Identifier())
{
    ShapeData* d = OwningShapeData(parent);
    ReadArray(bytes, d ? &d->vertexNormals_ : nullptr);
}

PolygonNormalsChunk::PolygonNormalsChunk(ParentChunk* parent, std::vector<ShapeNormal> normals)
    : RecordArrayChunk(parent, chunk_id::kPolygonNormals, std::move(normals))
{
}

PolygonNormalsChunk::PolygonNormalsChunk(ParentChunk* parent, const ChunkBytes& bytes)
    : RecordArrayChunk(parent, bytes.Identifier())
{
    ShapeData* d = OwningShapeData(parent);
    ReadArray(bytes, d ? &d->polygonNormals_ : nullptr);
}

VertexFlagsChunk::VertexFlagsChunk(ParentChunk* parent, std::vector<int32_t> flags)
    : RecordArrayChunk(parent, chunk_id::kVertexFlags, std::move(flags))
{
}

VertexFlagsChunk::VertexFlagsChunk(ParentChunk* parent, const ChunkBytes& bytes)
    : RecordArrayChunk(parent, bytes.Identifier())
{
    ShapeData* d = OwningShapeData(parent);
    ReadArray(bytes, d ? &d->vertexFlags_ : nullptr);
    if (d)
        d->pointCount_ = static_cast<int32_t>(d->vertexFlags_.size());
}

MergeDataChunk::MergeDataChunk(ParentChunk* parent, std::vector<int32_t> entries)
    : RecordArrayChunk(parent, chunk_id::kMergeData, std::move(entries))
{
}

MergeDataChunk::MergeDataChunk(ParentChunk* parent, const ChunkBytes& bytes)
    : RecordArrayChunk(parent, bytes.Identifier())
{
    ReadArray(bytes);
}

PolygonsChunk::PolygonsChunk(ParentChunk* parent, std::vector<ShapePolygon> polygons)
    : RecordArrayChunk(parent, chunk_id::kPolygons, std::move(polygons))
{
}

PolygonsChunk::PolygonsChunk(ParentChunk* parent, const ChunkBytes& bytes)
    : RecordArrayChunk(parent, bytes.Identifier())
{
    ShapeData* d = OwningShapeData(parent);
    ReadArray(bytes, d ? &d->polygons_ : nullptr);
    if (d)
        d->polygonCount_ = static_cast<int32_t>(d->polygons_.size());
}

UvCoordsChunk::UvCoordsChunk(ParentChunk* parent, std::vector<ShapeUvSet> sets)
    : DataChunk(parent, chunk_id::kUvCoords), sets_(std::move(sets))
{
}

UvCoordsChunk::UvCoordsChunk(ParentChunk* parent, const ChunkBytes& bytes) : DataChunk(parent, bytes.Identifier())
{
    ByteReader r(bytes.Payload());
    int32_t n = r.I32();
    if (CheckCount(r, n, 4)) {
        sets_.resize(static_cast<size_t>(n));
        for (auto& s : sets_) {
            s.count_ = r.I32();
            if (s.count_ < 0 || s.count_ > kMaxPolygonVertices) {
                ReportDamage(bytes, "texture-coordinate set with " + std::to_string(s.count_) + " pairs (at most 4)");
                return;
            }
            for (int i = 0; i < s.count_; ++i) {
                s.pairs_[i].u = r.F32();
                s.pairs_[i].v = r.F32();
            }
        }
    }
    if (!FinishRead(r, bytes))
        return;
    if (ShapeData* d = OwningShapeData(parent)) {
        d->uvSets_ = sets_;
        d->uvSetCount_ = static_cast<int32_t>(sets_.size());
    }
}

size_t UvCoordsChunk::PayloadSize() const
{
    size_t size = 4;
    for (const auto& s : sets_)
        size += 4 + 8 * static_cast<size_t>(std::clamp(s.count_, 0, kMaxPolygonVertices));
    return size;
}

void UvCoordsChunk::WritePayload(ByteWriter& out) const
{
    out.I32(static_cast<int32_t>(sets_.size()));
    for (const auto& s : sets_) {
        int n = std::clamp(s.count_, 0, kMaxPolygonVertices);
        out.I32(n);
        for (int i = 0; i < n; ++i) {
            out.F32(s.pairs_[i].u);
            out.F32(s.pairs_[i].v);
        }
    }
}

TextureNamesChunk::TextureNamesChunk(ParentChunk* parent, std::vector<std::string> names)
    : DataChunk(parent, chunk_id::kTextureNames), names_(std::move(names))
{
}

TextureNamesChunk::TextureNamesChunk(ParentChunk* parent, const ChunkBytes& bytes)
    : DataChunk(parent, bytes.Identifier())
{
    ByteReader r(bytes.Payload());
    int32_t n = r.I32();
    if (CheckCount(r, n, 1)) {
        names_.resize(static_cast<size_t>(n));
        for (auto& name : names_)
            name = r.CString();
    }
    size_t used = r.Position();
    if (r.Ok())
        r.Seek(std::min(r.Size(), (used + 3) & ~size_t{3}));
    if (!FinishRead(r, bytes))
        return;
    if (ShapeData* d = OwningShapeData(parent)) {
        d->textureNames_ = names_;
        d->textureNameCount_ = static_cast<int32_t>(names_.size());
    }
}

size_t TextureNamesChunk::PayloadSize() const
{
    size_t size = 4;
    for (const auto& n : names_)
        size += n.size() + 1;
    return (size + 3) & ~size_t{3};
}

void TextureNamesChunk::WritePayload(ByteWriter& out) const
{
    size_t start = out.Position();
    out.I32(static_cast<int32_t>(names_.size()));
    for (const auto& n : names_)
        out.CString(n);
    out.Zeros(PayloadSize() - (out.Position() - start));
}

ShapeCentreChunk::ShapeCentreChunk(ParentChunk* parent) : DataChunk(parent, chunk_id::kShapeCentre)
{
    ShapeData* d = OwningShapeData(parent);
    data_ = d ? d : &own_;
}

ShapeCentreChunk::ShapeCentreChunk(ParentChunk* parent, const ChunkBytes& bytes) : ShapeCentreChunk(parent)
{
    ByteReader r(bytes.Payload());
    ShapePoint c;
    ReadPoint(r, c);
    float radius = r.F32();
    if (!FinishRead(r, bytes))
        return;
    data_->centre_ = c;
    data_->centreRadius_ = radius;
}

void ShapeCentreChunk::WritePayload(ByteWriter& out) const
{
    out.I32(data_->centre_.x);
    out.I32(data_->centre_.y);
    out.I32(data_->centre_.z);
    // The reader takes this word as the centre radius, so that is what is written:
    // a file read and written back keeps it.
    out.F32(data_->centreRadius_);
}

ShapeFlagsChunk::ShapeFlagsChunk(ParentChunk* parent) : DataChunk(parent, chunk_id::kShapeFlags)
{
    ShapeData* d = OwningShapeData(parent);
    data_ = d ? d : &own_;
}

ShapeFlagsChunk::ShapeFlagsChunk(ParentChunk* parent, const ChunkBytes& bytes) : ShapeFlagsChunk(parent)
{
    ByteReader r(bytes.Payload());
    int32_t flags = r.I32();
    if (FinishRead(r, bytes))
        data_->shapeFlags_ = flags;
}

void ShapeFlagsChunk::WritePayload(ByteWriter& out) const
{
    out.I32(data_->shapeFlags_);
}

// ---------------------------------------------------------------------------

ShapeHeaderChunk::ShapeHeaderChunk(ParentChunk* parent) : DataChunk(parent, chunk_id::kShapeHeader)
{
    ShapeData* d = OwningShapeData(parent);
    data_ = d ? d : &own_;
}

ShapeHeaderChunk::ShapeHeaderChunk(ParentChunk* parent, const ChunkBytes& bytes) : ShapeHeaderChunk(parent)
{
    ByteReader r(bytes.Payload());
    headerWord_ = r.I32();
    name_ = r.FixedString(kShapeNameLength);
    shapeId_ = r.I32();
    int32_t points = r.I32();
    int32_t polygons = r.I32();
    float radius = r.F32();
    ShapePoint mx, mn;
    mx.x = r.I32();
    mn.x = r.I32();
    mx.y = r.I32();
    mn.y = r.I32();
    mx.z = r.I32();
    mn.z = r.I32();
    version_ = r.I32();
    int32_t n = r.I32();
    if (CheckCount(r, n, 1)) {
        objectNames_.resize(static_cast<size_t>(n));
        for (auto& name : objectNames_)
            name = r.CString();
    }
    size_t used = r.Position();
    if (r.Ok())
        r.Seek(std::min(r.Size(), (used + 3) & ~size_t{3}));
    if (!FinishRead(r, bytes))
        return;
    data_->pointCount_ = points;
    data_->polygonCount_ = polygons;
    data_->radius_ = radius;
    data_->maxCorner_ = mx;
    data_->minCorner_ = mn;
}

ShapeHeaderChunk::~ShapeHeaderChunk()
{
    // A user links to the shape holding this header; comparing with the parent
    // spares a search of the shape's children for every user.
    for (ObjectChunk* o : users_)
        if (auto* head = o->GetHeaderChunk(); head && head->shape_ && head->shape_ == parent_)
            head->shape_ = nullptr;
}

size_t ShapeHeaderChunk::PayloadSize() const
{
    size_t size = 68;
    for (const auto& n : objectNames_)
        size += n.size() + 1;
    return (size + 3) & ~size_t{3};
}

void ShapeHeaderChunk::WritePayload(ByteWriter& out) const
{
    size_t start = out.Position();
    const ShapeData& d = *data_;
    out.I32(headerWord_);
    out.FixedString(name_, kShapeNameLength);
    out.I32(shapeId_);
    out.I32(d.pointCount_);
    out.I32(d.polygonCount_);
    out.F32(d.radius_);
    out.I32(d.maxCorner_.x);
    out.I32(d.minCorner_.x);
    out.I32(d.maxCorner_.y);
    out.I32(d.minCorner_.y);
    out.I32(d.maxCorner_.z);
    out.I32(d.minCorner_.z);
    out.I32(version_);
    out.I32(static_cast<int32_t>(objectNames_.size()));
    for (const auto& n : objectNames_)
        out.CString(n);
    out.Zeros(PayloadSize() - (out.Position() - start));
}

void ShapeHeaderChunk::BeforeSave()
{
    if (shapeId_ == -1)
        shapeId_ = NextShapeNumber();
    objectNames_.clear();
    for (ObjectChunk* o : users_) {
        if (auto* head = o->GetHeaderChunk())
            head->shapeNumber_ = shapeId_;
        objectNames_.push_back(o->Name());
    }
    RaiseHighestShapeNumber(shapeId_);
    ++version_;
}

// ---------------------------------------------------------------------------

ExternalFileChunk::ExternalFileChunk(ParentChunk* parent, const std::string& fileName)
    : ParentChunk(parent, chunk_id::kExternalFile)
{
    new ExternalFileNameChunk(this, fileName);
    ParentChunk::AfterLoad();
}

std::string ExternalFileChunk::GetDisplayName() const
{
    if (auto* o = FindChildAs<ExternalObjectNameChunk>(chunk_id::kExternalObjectName))
        return o->displayName_;
    if (auto* f = FindChildAs<FileNameChunk>(chunk_id::kFileName))
        return f->name_;
    return {};
}

ExternalFileNameChunk::ExternalFileNameChunk(ParentChunk* parent, std::string name)
    : DataChunk(parent, chunk_id::kExternalFileName), name_(std::move(name))
{
}

ExternalFileNameChunk::ExternalFileNameChunk(ParentChunk* parent, const ChunkBytes& bytes)
    : DataChunk(parent, bytes.Identifier())
{
    ByteReader r(bytes.Payload());
    value_ = r.F64();
    word_ = r.I32();
    name_ = r.PaddedString();
    FinishRead(r, bytes);
}

void ExternalFileNameChunk::WritePayload(ByteWriter& out) const
{
    out.F64(value_);
    out.I32(word_);
    out.PaddedString(name_);
}

ExternalObjectNameChunk::ExternalObjectNameChunk(ParentChunk* parent, std::string name)
    : DataChunk(parent, chunk_id::kExternalObjectName), name_(std::move(name))
{
    MakeDisplayName();
}

ExternalObjectNameChunk::ExternalObjectNameChunk(ParentChunk* parent, const ChunkBytes& bytes)
    : DataChunk(parent, bytes.Identifier())
{
    ByteReader r(bytes.Payload());
    word_ = r.I32();
    name_ = r.PaddedString();
    FinishRead(r, bytes);
}

void ExternalObjectNameChunk::AfterLoad()
{
    MakeDisplayName();
}

void ExternalObjectNameChunk::MakeDisplayName()
{
    const FileNameChunk* file = parent_ ? parent_->FindChildAs<FileNameChunk>(chunk_id::kFileName) : nullptr;
    displayName_ = name_ + "@" + (file ? file->name_ : std::string("*NotFound*"));
}

void ExternalObjectNameChunk::WritePayload(ByteWriter& out) const
{
    out.I32(word_);
    out.PaddedString(name_);
}

// ---------------------------------------------------------------------------

void RegisterShapeChunks()
{
    auto& reg = ChunkRegistry::Instance();
    reg.Register(chunk_id::kShape, "", BuildChunk<ShapeChunk>);
    for (const char* parent : {chunk_id::kShape, chunk_id::kSubShape, chunk_id::kShapeAnimFrame})
        reg.Register(chunk_id::kShapePoints, parent, BuildChunk<ShapePointsChunk>);
    for (const char* parent : {chunk_id::kShape, chunk_id::kSubShape}) {
        reg.Register(chunk_id::kVertexFlags, parent, BuildChunk<VertexFlagsChunk>);
        reg.Register(chunk_id::kVertexNormals, parent, BuildChunk<VertexNormalsChunk>);
        reg.Register(chunk_id::kTextureNames, parent, BuildChunk<TextureNamesChunk>);
        reg.Register(chunk_id::kMergeData, parent, BuildChunk<MergeDataChunk>);
    }
    for (const char* parent : {chunk_id::kShape, chunk_id::kSubShape, chunk_id::kShapeAnimFrame})
        reg.Register(chunk_id::kPolygonNormals, parent, BuildChunk<PolygonNormalsChunk>);
    for (const char* parent : {chunk_id::kShape, chunk_id::kSubShape, chunk_id::kConnectedShape}) {
        reg.Register(chunk_id::kPolygons, parent, BuildChunk<PolygonsChunk>);
        reg.Register(chunk_id::kUvCoords, parent, BuildChunk<UvCoordsChunk>);
    }
    reg.Register(chunk_id::kShapeHeader, chunk_id::kShape, BuildChunk<ShapeHeaderChunk>);
    reg.Register(chunk_id::kShapeCentre, "", BuildChunk<ShapeCentreChunk>);
    reg.Register(chunk_id::kShapeFlags, "", BuildChunk<ShapeFlagsChunk>);
    reg.Register(chunk_id::kExternalFile, "", BuildChunk<ExternalFileChunk>);
    reg.Register(chunk_id::kExternalFileName, "", BuildChunk<ExternalFileNameChunk>);
    reg.Register(chunk_id::kExternalObjectName, "", BuildChunk<ExternalObjectNameChunk>);
}

} // namespace trevok
