#include "chunk/shape_extra_chunks.h"

#include "app/hash_table.h"
#include "chunk/chunk_ids.h"

#include <algorithm>
#include <cmath>

namespace trevok {
namespace {

bool IsShapeKind(const Chunk* c)
{
    return c && (c->Is(chunk_id::kShape) || c->Is(chunk_id::kSubShape));
}

// ANISEQDT and ANIFRADT: 20 bytes of words and a NUL-terminated name, stored in
// (length + 38) & ~3 bytes with the header.
size_t NamedRecordPayload(const std::string& name)
{
    return ((name.size() + 38) & ~size_t{3}) - kChunkHeaderSize;
}

void ReadNamedRecordTail(ByteReader& r, std::string& name)
{
    name = r.CString();
    if (r.Ok())
        r.Seek(std::min(r.Size(), std::max(r.Position(), NamedRecordPayload(name))));
}

void WriteNamedRecordTail(ByteWriter& out, size_t start, const std::string& name)
{
    out.CString(name);
    out.Zeros(NamedRecordPayload(name) - (out.Position() - start));
}

} // namespace

// ---------------------------------------------------------------------------

ShapeWordsChunk::ShapeWordsChunk(ParentChunk* parent, const ChunkBytes& bytes, size_t count)
    : DataChunk(parent, bytes.Identifier())
{
    ByteReader r(bytes.Payload());
    ReadRecords(r, words_, static_cast<int64_t>(count));
    FinishRead(r, bytes);
}

ShapeWordsChunk::ShapeWordsChunk(ParentChunk* parent, std::string_view identifier, size_t count)
    : DataChunk(parent, identifier), words_(count)
{
}

void ShapeWordsChunk::WritePayload(ByteWriter& out) const
{
    WriteRecords(out, words_);
}

ShapeFragmentTypeChunk::ShapeFragmentTypeChunk(ParentChunk* parent, const ChunkBytes& bytes)
    : DataChunk(parent, bytes.Identifier())
{
    ByteReader r(bytes.Payload());
    name_ = r.PaddedString();
    for (auto& w : words_)
        w = r.I32();
    FinishRead(r, bytes);
}

ShapeFragmentTypeChunk::ShapeFragmentTypeChunk(ParentChunk* parent, std::string name)
    : DataChunk(parent, chunk_id::kShapeFragmentType), name_(std::move(name))
{
}

void ShapeFragmentTypeChunk::WritePayload(ByteWriter& out) const
{
    out.PaddedString(name_);
    for (auto w : words_)
        out.I32(w);
}

ShapeFileNameChunk::ShapeFileNameChunk(ParentChunk* parent, const ChunkBytes& bytes)
    : DataChunk(parent, bytes.Identifier())
{
    ByteReader r(bytes.Payload());
    name_ = r.PaddedString();
    FinishRead(r, bytes);
}

ShapeFileNameChunk::ShapeFileNameChunk(ParentChunk* parent, std::string name)
    : DataChunk(parent, chunk_id::kShapeFileName), name_(std::move(name))
{
}

ShapePcInfoChunk::ShapePcInfoChunk(ParentChunk* parent, const ChunkBytes& bytes) : DataChunk(parent, bytes.Identifier())
{
    ByteReader r(bytes.Payload());
    word_ = r.I32();
    ReadCountedRecords(r, triples_);
    FinishRead(r, bytes);
}

void ShapePcInfoChunk::WritePayload(ByteWriter& out) const
{
    out.I32(word_);
    WriteCountedRecords(out, triples_);
}

ConnectedShapeTypeChunk::ConnectedShapeTypeChunk(ParentChunk* parent, const ChunkBytes& bytes)
    : DataChunk(parent, bytes.Identifier())
{
    ByteReader r(bytes.Payload());
    word_ = r.I32();
    FinishRead(r, bytes);
}

ConnectedShapeTypeChunk::ConnectedShapeTypeChunk(ParentChunk* parent, int32_t type)
    : DataChunk(parent, chunk_id::kConnectedShapeType), word_(type)
{
}

ShapePropertiesChunk::ShapePropertiesChunk(ParentChunk* parent, const ChunkBytes& bytes)
    : DataChunk(parent, bytes.Identifier())
{
    ByteReader r(bytes.Payload());
    const int32_t n = r.I32();
    headWord_ = r.I32();
    if (ReadRecords(r, entries_, n))
        ReadCountedRecords(r, second_);
    FinishRead(r, bytes);
}

ShapePropertiesChunk::ShapePropertiesChunk(ParentChunk* parent, int32_t headWord, std::vector<int32_t> entries)
    : DataChunk(parent, chunk_id::kShapeProperties), headWord_(headWord), entries_(std::move(entries))
{
}

std::optional<std::vector<int32_t>> ShapePropertiesChunk::ResolveLinks() const
{
    std::vector<int32_t> offsets;
    auto link = static_cast<uint32_t>(headWord_);
    // A chain visits each position at most once; more steps mean a loop.
    for (size_t steps = 0; steps <= entries_.size(); ++steps) {
        uint32_t offset = link & 0xFFFF;
        uint32_t next = link >> 16;
        if (offset >= entries_.size())
            return std::nullopt;
        offsets.push_back(static_cast<int32_t>(offset));
        if (next == 0xFFFF)
            return offsets;
        if (next >= entries_.size())
            return std::nullopt;
        link = static_cast<uint32_t>(entries_[next]);
    }
    return std::nullopt;
}

void ShapePropertiesChunk::WritePayload(ByteWriter& out) const
{
    out.I32(static_cast<int32_t>(entries_.size()));
    out.I32(headWord_);
    WriteRecords(out, entries_);
    WriteCountedRecords(out, second_);
}

// ---------------------------------------------------------------------------

SubShapeChunk::SubShapeChunk(ParentChunk* parent, const ChunkBytes& bytes) : ShapeChunk(parent, chunk_id::kSubShape)
{
    shape_.Clear();
    // Read here so the children find this sub-shape's data.
    ReadChildren(bytes.Payload());
}

SubShapeChunk::SubShapeChunk(ParentChunk* parent, const ShapeData& data) : ShapeChunk(parent, chunk_id::kSubShape, data)
{
    new SubShapeHeaderChunk(this);
}

SubShapeChunk* SubShapeChunk::Clone()
{
    return CloneWithNewHeader<SubShapeChunk, SubShapeHeaderChunk>(chunk_id::kSubShapeHeader);
}

SubShapeHeaderChunk* SubShapeChunk::GetHeader() const
{
    return FindChildAs<SubShapeHeaderChunk>(chunk_id::kSubShapeHeader);
}

std::optional<std::string> SubShapeChunk::GetFileName() const
{
    if (auto* f = FindChildAs<ShapeFileNameChunk>(chunk_id::kShapeFileName))
        return f->name_;
    return std::nullopt;
}

SubShapeHeaderChunk::SubShapeHeaderChunk(ParentChunk* parent) : DataChunk(parent, chunk_id::kSubShapeHeader)
{
    ShapeData* d = OwningShapeData(parent);
    data_ = d ? d : &own_;
}

SubShapeHeaderChunk::SubShapeHeaderChunk(ParentChunk* parent, const ChunkBytes& bytes) : SubShapeHeaderChunk(parent)
{
    ByteReader r(bytes.Payload());
    word_ = r.I32();
    number_ = r.I32();
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
    if (!FinishRead(r, bytes))
        return;
    data_->pointCount_ = points;
    data_->polygonCount_ = polygons;
    data_->radius_ = radius;
    data_->maxCorner_ = mx;
    data_->minCorner_ = mn;
}

void SubShapeHeaderChunk::WritePayload(ByteWriter& out) const
{
    const ShapeData& d = *data_;
    out.I32(word_);
    out.I32(number_);
    out.I32(d.pointCount_);
    out.I32(d.polygonCount_);
    out.F32(d.radius_);
    out.I32(d.maxCorner_.x);
    out.I32(d.minCorner_.x);
    out.I32(d.maxCorner_.y);
    out.I32(d.minCorner_.y);
    out.I32(d.maxCorner_.z);
    out.I32(d.minCorner_.z);
}

// ---------------------------------------------------------------------------

ShapeChunk* ShapeMorphChunk::OwnerShape() const
{
    return IsShapeKind(parent_) ? dynamic_cast<ShapeChunk*>(parent_) : nullptr;
}

ShapeChunk* ShapeMorphChunk::BaseShape() const
{
    return parent_ && parent_->Is(chunk_id::kShape) ? dynamic_cast<ShapeChunk*>(parent_) : nullptr;
}

SubShapeChunk* ShapeMorphChunk::FindSubShape(int32_t number) const
{
    for (Chunk* c = FirstChild(); c; c = c->Next())
        if (auto* s = c->Is(chunk_id::kSubShape) ? dynamic_cast<SubShapeChunk*>(c) : nullptr)
            if (auto* h = s->GetHeader(); h && h->number_ == number)
                return s;
    return nullptr;
}

SubShapeChunk* ShapeMorphChunk::AddSubShape(const std::string& fileName)
{
    ShapeChunk* owner = OwnerShape();
    if (!owner)
        return nullptr;
    for (Chunk* c = FirstChild(); c; c = c->Next())
        if (auto* s = c->Is(chunk_id::kSubShape) ? dynamic_cast<SubShapeChunk*>(c) : nullptr)
            if (auto name = s->GetFileName(); name && CompareName(*name, fileName))
                return nullptr;
    auto* sub = new SubShapeChunk(this, owner->Data());
    new ShapeFileNameChunk(sub, fileName);
    // Texture animation and merge data travel as bytes: read back as children of the copy.
    for (const char* id : {chunk_id::kTextureAnimation, chunk_id::kMergeData})
        if (Chunk* extra = owner->FindChild(id)) {
            auto block = extra->BuildBlock();
            if (block.size() >= static_cast<size_t>(kChunkHeaderSize))
                sub->CreateChild(ChunkBytes{block});
        }
    return sub;
}

void ShapeMorphChunk::BeforeSave()
{
    int32_t highest = 0;
    std::vector<SubShapeHeaderChunk*> headers;
    for (Chunk* c = FirstChild(); c; c = c->Next())
        if (auto* s = c->Is(chunk_id::kSubShape) ? dynamic_cast<SubShapeChunk*>(c) : nullptr)
            if (auto* h = s->GetHeader()) {
                headers.push_back(h);
                highest = std::max(highest, h->number_);
            }
    for (auto* h : headers)
        if (h->number_ == -1)
            h->number_ = ++highest;
    ParentChunk::BeforeSave();
}

// ---------------------------------------------------------------------------

ShapeMorphFramesChunk::ShapeMorphFramesChunk(ParentChunk* parent, const ChunkBytes& bytes)
    : DataChunk(parent, bytes.Identifier())
{
    ByteReader r(bytes.Payload());
    for (auto& w : words_)
        w = r.I32();
    ReadCountedRecords(r, triples_);
    if (!FinishRead(r, bytes))
        return;
    for (const auto& t : triples_)
        slots_.push_back(Slot{ShapeMorphFrame{nullptr, nullptr, nullptr, nullptr, t[2]}, t});
}

ShapeMorphChunk* ShapeMorphFramesChunk::MorphSet() const
{
    return parent_ && parent_->Is(chunk_id::kShapeMorph) ? dynamic_cast<ShapeMorphChunk*>(parent_) : nullptr;
}

void ShapeMorphFramesChunk::AfterLoad()
{
    ShapeMorphChunk* set = MorphSet();
    ShapeChunk* base = set ? set->BaseShape() : nullptr;
    for (auto& slot : slots_) {
        ShapeMorphFrame f;
        f.value_ = slot.triple_[2];
        if (set) {
            if (slot.triple_[0] == -1)
                f.startBase_ = base;
            else
                f.startSub_ = set->FindSubShape(slot.triple_[0]);
            if (slot.triple_[1] == -1)
                f.endBase_ = base;
            else
                f.endSub_ = set->FindSubShape(slot.triple_[1]);
        }
        slot.frame_ = f.Resolved() ? f : ShapeMorphFrame{nullptr, nullptr, nullptr, nullptr, f.value_};
    }
}

std::vector<ShapeMorphFrame> ShapeMorphFramesChunk::Frames() const
{
    std::vector<ShapeMorphFrame> frames;
    for (const auto& slot : slots_)
        if (slot.frame_.Resolved())
            frames.push_back(slot.frame_);
    return frames;
}

void ShapeMorphFramesChunk::AddFrame(const ShapeMorphFrame& frame)
{
    slots_.push_back(Slot{frame, {-1, -1, frame.value_}});
}

void ShapeMorphFramesChunk::BeforeSave()
{
    ShapeMorphChunk* set = MorphSet();
    // A sub-shape is numbered only while it is still a child of the morph set.
    auto number = [&](SubShapeChunk* sub, ShapeChunk* base, int32_t kept) {
        if (base)
            return -1;
        if (set)
            for (Chunk* c = set->FirstChild(); c; c = c->Next())
                if (c == sub)
                    if (auto* h = sub->GetHeader())
                        return h->number_;
        return kept;
    };
    triples_.clear();
    for (auto& slot : slots_) {
        if (slot.frame_.Resolved()) {
            slot.triple_[0] = number(slot.frame_.startSub_, slot.frame_.startBase_, slot.triple_[0]);
            slot.triple_[1] = number(slot.frame_.endSub_, slot.frame_.endBase_, slot.triple_[1]);
            slot.triple_[2] = slot.frame_.value_;
        }
        triples_.push_back(slot.triple_);
    }
}

void ShapeMorphFramesChunk::WritePayload(ByteWriter& out) const
{
    for (auto w : words_)
        out.I32(w);
    WriteCountedRecords(out, triples_);
}

// ---------------------------------------------------------------------------

void ShapeAnimSequence::ComputeNormalsAndBounds(const ShapeData& shape, const std::vector<int32_t>* leaveOut)
{
    // The point count comes from a header; never trust it beyond the points held.
    size_t held = shape.points_.size();
    for (const auto& frame : frames_)
        if (frame)
            held = std::max(held, frame->points_.size());
    const size_t points = std::min(static_cast<size_t>(std::max(shape.pointCount_, 0)), held);
    vertexNormals_.assign(points, ShapeNormal{});
    for (size_t p = 0; p < shape.polygons_.size(); ++p) {
        const ShapePolygon& poly = shape.polygons_[p];
        int n = std::clamp(poly.vertexCount_, 0, kMaxPolygonVertices);
        for (const auto& frame : frames_) {
            if (!frame || p >= frame->polygonNormals_.size())
                continue;
            const ShapeNormal& pn = frame->polygonNormals_[p];
            for (int i = 0; i < n; ++i) {
                auto v = static_cast<size_t>(poly.vertices_[i]);
                if (poly.vertices_[i] < 0 || v >= points)
                    continue;
                vertexNormals_[v].x += pn.x;
                vertexNormals_[v].y += pn.y;
                vertexNormals_[v].z += pn.z;
            }
        }
    }
    for (auto& n : vertexNormals_) {
        float len = std::sqrt(n.x * n.x + n.y * n.y + n.z * n.z);
        if (len == 0)
            n = {1, 0, 0};
        else
            n = {n.x / len, n.y / len, n.z / len};
    }

    maxCorner_ = {-2000000000, -2000000000, -2000000000};
    minCorner_ = {2000000000, 2000000000, 2000000000};
    radius_ = 0;
    std::vector<bool> counted(points, leaveOut == nullptr);
    if (leaveOut)
        for (size_t p = 0; p < shape.polygons_.size(); ++p) {
            if (std::find(leaveOut->begin(), leaveOut->end(), static_cast<int32_t>(p)) != leaveOut->end())
                continue;
            const ShapePolygon& poly = shape.polygons_[p];
            for (int i = 0; i < std::clamp(poly.vertexCount_, 0, kMaxPolygonVertices); ++i)
                if (poly.vertices_[i] >= 0 && static_cast<size_t>(poly.vertices_[i]) < points)
                    counted[static_cast<size_t>(poly.vertices_[i])] = true;
        }
    for (const auto& frame : frames_) {
        if (!frame)
            continue;
        for (size_t v = 0; v < points && v < frame->points_.size(); ++v) {
            if (!counted[v])
                continue;
            const ShapePoint& pt = frame->points_[v];
            maxCorner_ = {std::max(maxCorner_.x, pt.x), std::max(maxCorner_.y, pt.y), std::max(maxCorner_.z, pt.z)};
            minCorner_ = {std::min(minCorner_.x, pt.x), std::min(minCorner_.y, pt.y), std::min(minCorner_.z, pt.z)};
            double d = std::sqrt(static_cast<double>(pt.x) * pt.x + static_cast<double>(pt.y) * pt.y +
                                 static_cast<double>(pt.z) * pt.z);
            radius_ = std::max(radius_, static_cast<float>(d));
        }
    }
}

ShapeAnimSequenceChunk::ShapeAnimSequenceChunk(ParentChunk* parent, const ChunkBytes& bytes)
    : ParentChunk(parent, bytes.Identifier())
{
    ReadChildren(bytes.Payload());
    assembled_ = Assemble();
}

ShapeAnimSequenceChunk::ShapeAnimSequenceChunk(ParentChunk* parent, int32_t number, std::string name)
    : ParentChunk(parent, chunk_id::kShapeAnimSequence)
{
    record_.number_ = number;
    record_.name_ = std::move(name);
    assembled_ = true;
    RebuildChildren();
}

ShapeAnimSequenceChunk::ShapeAnimSequenceChunk(ParentChunk* parent, const ShapeAnimSequence& record)
    : ParentChunk(parent, chunk_id::kShapeAnimSequence), record_(record), assembled_(true)
{
    RebuildChildren();
}

bool ShapeAnimSequenceChunk::Assemble()
{
    auto* data = FindChildAs<ShapeAnimSequenceDataChunk>(chunk_id::kShapeAnimSequenceData);
    if (!data)
        return false;
    ShapeAnimSequence rec;
    rec.number_ = data->number_;
    std::copy(std::begin(data->params_), std::end(data->params_), rec.params_);
    rec.word_ = data->word_;
    rec.name_ = data->name_;
    std::vector<Chunk*> frames;
    FindChildren(chunk_id::kShapeAnimFrame, frames);
    rec.frames_.resize(frames.size());
    for (Chunk* c : frames) {
        auto* frame = dynamic_cast<ShapeAnimFrameChunk*>(c);
        auto* fd = frame ? frame->FindChildAs<ShapeAnimFrameDataChunk>(chunk_id::kShapeAnimFrameData) : nullptr;
        auto* points = frame ? frame->FindChildAs<ShapePointsChunk>(chunk_id::kShapePoints) : nullptr;
        auto* normals = frame ? frame->FindChildAs<PolygonNormalsChunk>(chunk_id::kPolygonNormals) : nullptr;
        if (!fd || !points || !normals || fd->index_ < 0 || static_cast<size_t>(fd->index_) >= rec.frames_.size())
            return false;
        auto& slot = rec.frames_[static_cast<size_t>(fd->index_)];
        if (slot)
            return false;
        slot.emplace();
        slot->name_ = fd->name_;
        std::copy(std::begin(fd->words_), std::end(fd->words_), slot->words_);
        slot->points_ = points->Records();
        slot->polygonNormals_ = normals->Records();
    }
    record_ = std::move(rec);
    return true;
}

void ShapeAnimSequenceChunk::AfterLoad()
{
    if (auto* shape = IsShapeKind(parent_) ? dynamic_cast<ShapeChunk*>(parent_) : nullptr)
        record_.ComputeNormalsAndBounds(shape->Data());
    ParentChunk::AfterLoad();
}

void ShapeAnimSequenceChunk::Set(const ShapeAnimSequence& record)
{
    record_ = record;
    assembled_ = true;
    RebuildChildren();
}

void ShapeAnimSequenceChunk::SetFrameWord(int32_t frame, int32_t value)
{
    if (frame < 0 || static_cast<size_t>(frame) >= record_.frames_.size())
        return;
    if (auto& f = record_.frames_[static_cast<size_t>(frame)]) {
        f->words_[0] = value;
        edited_ = true;
    }
}

void ShapeAnimSequenceChunk::BeforeSave()
{
    if (edited_)
        RebuildChildren();
    ParentChunk::BeforeSave();
}

void ShapeAnimSequenceChunk::RemoveMarkedFrames()
{
    if (!IsShapeKind(parent_))
        return;
    auto& frames = record_.frames_;
    frames.erase(std::remove_if(frames.begin(), frames.end(), [](const auto& f) { return f && f->IsRemoved(); }),
                 frames.end());
    edited_ = true;
}

void ShapeAnimSequenceChunk::RebuildChildren()
{
    for (Chunk* c = FirstChild(); c;) {
        Chunk* next = c->Next();
        if (c->Is(chunk_id::kShapeAnimSequenceData) || c->Is(chunk_id::kShapeAnimFrame))
            delete c;
        c = next;
    }
    edited_ = false;
    new ShapeAnimSequenceDataChunk(this, record_);
    int32_t written = 0;
    for (const auto& f : record_.frames_)
        if (f && !f->IsRemoved())
            new ShapeAnimFrameChunk(this, *f, written++);
}

ShapeAnimSequenceDataChunk::ShapeAnimSequenceDataChunk(ParentChunk* parent, const ChunkBytes& bytes)
    : DataChunk(parent, bytes.Identifier())
{
    ByteReader r(bytes.Payload());
    number_ = r.I32();
    for (auto& p : params_)
        p = r.I32();
    word_ = r.I32();
    ReadNamedRecordTail(r, name_);
    FinishRead(r, bytes);
}

ShapeAnimSequenceDataChunk::ShapeAnimSequenceDataChunk(ParentChunk* parent, const ShapeAnimSequence& record)
    : DataChunk(parent, chunk_id::kShapeAnimSequenceData), number_(record.number_), word_(record.word_),
      name_(record.name_)
{
    std::copy(std::begin(record.params_), std::end(record.params_), params_);
}

size_t ShapeAnimSequenceDataChunk::PayloadSize() const
{
    return NamedRecordPayload(name_);
}

void ShapeAnimSequenceDataChunk::WritePayload(ByteWriter& out) const
{
    size_t start = out.Position();
    out.I32(number_);
    for (auto p : params_)
        out.I32(p);
    out.I32(word_);
    WriteNamedRecordTail(out, start, name_);
}

ShapeAnimFrameChunk::ShapeAnimFrameChunk(ParentChunk* parent, const ChunkBytes& bytes)
    : ParentChunk(parent, bytes.Identifier())
{
    ReadChildren(bytes.Payload());
}

ShapeAnimFrameChunk::ShapeAnimFrameChunk(ParentChunk* parent, const ShapeAnimFrame& frame, int32_t index)
    : ParentChunk(parent, chunk_id::kShapeAnimFrame)
{
    new ShapeAnimFrameDataChunk(this, index, frame.words_, frame.name_);
    new ShapePointsChunk(this, frame.points_);
    new PolygonNormalsChunk(this, frame.polygonNormals_);
}

ShapeAnimFrameDataChunk::ShapeAnimFrameDataChunk(ParentChunk* parent, const ChunkBytes& bytes)
    : DataChunk(parent, bytes.Identifier())
{
    ByteReader r(bytes.Payload());
    index_ = r.I32();
    for (auto& w : words_)
        w = r.I32();
    ReadNamedRecordTail(r, name_);
    FinishRead(r, bytes);
}

ShapeAnimFrameDataChunk::ShapeAnimFrameDataChunk(ParentChunk* parent, int32_t index, const int32_t words[4],
                                                 std::string name)
    : DataChunk(parent, chunk_id::kShapeAnimFrameData), index_(index), name_(std::move(name))
{
    std::copy(words, words + 4, words_);
}

size_t ShapeAnimFrameDataChunk::PayloadSize() const
{
    return NamedRecordPayload(name_);
}

void ShapeAnimFrameDataChunk::WritePayload(ByteWriter& out) const
{
    size_t start = out.Position();
    out.I32(index_);
    for (auto w : words_)
        out.I32(w);
    WriteNamedRecordTail(out, start, name_);
}

// ---------------------------------------------------------------------------

ConnectedShapeChunk::ConnectedShapeChunk(ParentChunk* parent, const ChunkBytes& bytes)
    : ShapeChunk(parent, chunk_id::kConnectedShape)
{
    shape_.Clear();
    ReadChildren(bytes.Payload());
}

ConnectedShapeChunk::ConnectedShapeChunk(ParentChunk* parent, int32_t type)
    : ShapeChunk(parent, chunk_id::kConnectedShape)
{
    new ConnectedShapeTypeChunk(this, type);
}

bool ConnectedShapeChunk::Resolve()
{
    auto* owner = IsShapeKind(parent_) ? dynamic_cast<ShapeChunk*>(parent_) : nullptr;
    if (!owner)
        return false;
    ShapeData data = owner->Data();
    if (auto* polys = FindChildAs<PolygonsChunk>(chunk_id::kPolygons)) {
        const auto& stored = polys->Records();
        if (static_cast<int32_t>(stored.size()) != data.polygonCount_ || stored.size() != data.polygons_.size())
            return false;
        for (size_t i = 0; i < data.polygons_.size(); ++i) {
            ShapePolygon p = stored[i];
            p.vertexCount_ = data.polygons_[i].vertexCount_;
            std::copy(std::begin(data.polygons_[i].vertices_), std::end(data.polygons_[i].vertices_), p.vertices_);
            data.polygons_[i] = p;
        }
    }
    if (auto* uv = FindChildAs<UvCoordsChunk>(chunk_id::kUvCoords)) {
        data.uvSets_ = uv->sets_;
        data.uvSetCount_ = static_cast<int32_t>(uv->sets_.size());
    }
    shape_ = std::move(data);
    return true;
}

void ConnectedShapeChunk::SetShapeData(const ShapeData& data)
{
    delete FindChild(chunk_id::kUvCoords);
    delete FindChild(chunk_id::kPolygons);
    shape_ = data;
    if (!shape_.polygons_.empty())
        new PolygonsChunk(this, shape_.polygons_);
    if (!shape_.uvSets_.empty())
        new UvCoordsChunk(this, shape_.uvSets_);
}

ConnectedShapeChunk* FindConnectedShape(const ShapeChunk& shape, int32_t type)
{
    for (Chunk* c = shape.FirstChild(); c; c = c->Next())
        if (auto* con = c->Is(chunk_id::kConnectedShape) ? dynamic_cast<ConnectedShapeChunk*>(c) : nullptr)
            if (auto* t = con->FindChildAs<ConnectedShapeTypeChunk>(chunk_id::kConnectedShapeType);
                t && t->Type() == type)
                return con;
    return nullptr;
}

// ---------------------------------------------------------------------------

namespace {

// A vertex-animation sequence that cannot be assembled is no use to the game, but
// its bytes are kept and written back so a save loses nothing.
Chunk* BuildAnimSequence(ParentChunk* parent, const ChunkBytes& bytes)
{
    auto* chunk = new ShapeAnimSequenceChunk(parent, bytes);
    if (chunk->Assembled())
        return chunk;
    delete chunk;
    return new UnregisteredChunk(parent, bytes);
}

} // namespace

void RegisterShapeExtraChunks()
{
    auto& reg = ChunkRegistry::Instance();
    for (const char* parent : {chunk_id::kShape, chunk_id::kSubShape})
        reg.Register(chunk_id::kShapeMorph, parent, BuildChunk<ShapeMorphChunk>);
    reg.Register(chunk_id::kShapeMorphFrames, chunk_id::kShapeMorph, BuildChunk<ShapeMorphFramesChunk>);
    reg.Register(chunk_id::kSubShapeHeader, chunk_id::kSubShape, BuildChunk<SubShapeHeaderChunk>);
    reg.Register(chunk_id::kShapeAnimFrame, chunk_id::kShapeAnimSequence, BuildChunk<ShapeAnimFrameChunk>);
    reg.Register(chunk_id::kShapeAnimSequenceData, chunk_id::kShapeAnimSequence,
                 BuildChunk<ShapeAnimSequenceDataChunk>);
    reg.Register(chunk_id::kShapeAnimFrameData, chunk_id::kShapeAnimFrame, BuildChunk<ShapeAnimFrameDataChunk>);
    reg.Register(chunk_id::kSubShape, "", BuildChunk<SubShapeChunk>);
    reg.Register(chunk_id::kShapePcInfo, "", BuildChunk<ShapePcInfoChunk>);
    reg.Register(chunk_id::kShapeFileName, "", BuildChunk<ShapeFileNameChunk>);
    reg.Register(chunk_id::kShapeFragments, "", BuildChunk<ShapeFragmentsChunk>);
    reg.Register(chunk_id::kShapeFragmentData, "", BuildChunk<ShapeFragmentDataChunk>);
    reg.Register(chunk_id::kShapeFragmentLocation, "", BuildChunk<ShapeFragmentLocationChunk>);
    reg.Register(chunk_id::kShapeFragmentType, "", BuildChunk<ShapeFragmentTypeChunk>);
    reg.Register(chunk_id::kShapeAnimSequence, "", BuildAnimSequence);
    reg.Register(chunk_id::kShapeAltTextures, "", BuildChunk<ShapeAltTexturesChunk>);
    reg.Register(chunk_id::kAnimShapeCentre, "", BuildChunk<AnimShapeCentreChunk>);
    reg.Register(chunk_id::kConnectedShapeType, "", BuildChunk<ConnectedShapeTypeChunk>);
    reg.Register(chunk_id::kShapeProperties, "", BuildChunk<ShapePropertiesChunk>);
}

} // namespace trevok
