#include "chunk/hierarchy_chunks.h"

#include "chunk/bitmap_name_chunks.h"
#include "chunk/chunk_file.h"
#include "chunk/chunk_ids.h"
#include "chunk/object_chunks.h"
#include "chunk/sequence_chunks.h"
#include "chunk/shape_extra_chunks.h"
#include "chunk/sound_chunks.h"

#include <mutex>

namespace trevok {

HierarchyNameChunk* HierarchyChunk::GetName() const
{
    return FindChildAs<HierarchyNameChunk>(chunk_id::kHierarchyName);
}

HierarchyDataChunk* HierarchyChunk::GetData() const
{
    return FindChildAs<HierarchyDataChunk>(chunk_id::kHierarchyData);
}

HierarchyBoundsChunk* HierarchyChunk::GetBounds() const
{
    return FindChildAs<HierarchyBoundsChunk>(chunk_id::kHierarchyBounds);
}

SequenceListChunk* HierarchyChunk::GetSequenceList() const
{
    return FindChildAs<SequenceListChunk>(chunk_id::kSequenceList);
}

void HierarchyChunk::GetSubHierarchies(std::vector<HierarchyChunk*>& list) const
{
    list.clear();
    for (Chunk* c = FirstChild(); c; c = c->Next())
        if (auto* h = c->Is(chunk_id::kHierarchy) ? dynamic_cast<HierarchyChunk*>(c) : nullptr)
            list.push_back(h);
}

// ---------------------------------------------------------------------------

HierarchyDataChunk::HierarchyDataChunk(ParentChunk* parent, const ChunkBytes& bytes)
    : DataChunk(parent, bytes.Identifier())
{
    ByteReader r(bytes.Payload());
    int32_t count = r.I32();
    if (CheckCount(r, count, 4)) {
        values_.resize(static_cast<size_t>(count));
        for (auto& v : values_)
            v = r.I32();
    }
    objectName_ = r.PaddedString();
    // Stored parts carry four bytes after the name; they stay in the tail.
    FinishRead(r, bytes);
}

HierarchyDataChunk::HierarchyDataChunk(ParentChunk* parent, std::string objectName)
    : DataChunk(parent, chunk_id::kHierarchyData), objectName_(std::move(objectName))
{
    tail_.assign(4, 0);
    ResolveObject();
}

ObjectChunk* HierarchyDataChunk::FindObject() const
{
    if (objectName_.empty())
        return nullptr;
    Chunk* root = const_cast<HierarchyDataChunk*>(this)->GetRoot();
    auto* top = dynamic_cast<ParentChunk*>(root);
    if (!top)
        return nullptr;
    for (Chunk* c = top->FirstChild(); c; c = c->Next())
        if (auto* o = c->Is(chunk_id::kObject) ? dynamic_cast<ObjectChunk*>(c) : nullptr)
            if (o->Name() == objectName_)
                return o;
    return nullptr;
}

ObjectChunk* HierarchyDataChunk::ResolveObject()
{
    resolved_ = true;
    return FindObject();
}

ObjectChunk* HierarchyDataChunk::GetObject() const
{
    return resolved_ ? FindObject() : nullptr;
}

void HierarchyDataChunk::WritePayload(ByteWriter& out) const
{
    out.I32(static_cast<int32_t>(values_.size()));
    for (auto v : values_)
        out.I32(v);
    out.PaddedString(objectName_);
}

// ---------------------------------------------------------------------------

HierarchyNameChunk::HierarchyNameChunk(ParentChunk* parent, const ChunkBytes& bytes)
    : DataChunk(parent, bytes.Identifier())
{
    ByteReader r(bytes.Payload());
    name_ = r.PaddedString();
    FinishRead(r, bytes);
}

HierarchyNameChunk::HierarchyNameChunk(ParentChunk* parent, std::string name)
    : DataChunk(parent, chunk_id::kHierarchyName), name_(std::move(name))
{
}

// ---------------------------------------------------------------------------

ShapeSetChunk::ShapeSetChunk(ParentChunk* parent, const ChunkBytes& bytes) : DataChunk(parent, bytes.Identifier())
{
    ByteReader r(bytes.Payload());
    index_ = r.I32();
    name_ = r.PaddedString();
    int32_t pairs = r.I32();
    // Each pair takes at least two 4-byte padded strings.
    if (CheckCount(r, pairs, 8)) {
        replacements_.resize(static_cast<size_t>(pairs));
        for (auto& p : replacements_) {
            p.shape_ = r.PaddedString();
            p.replacement_ = r.PaddedString();
        }
    }
    properties_ = r.I32();
    for (auto& v : values_)
        v = r.I32();
    FinishRead(r, bytes);
}

ShapeSetChunk::ShapeSetChunk(ParentChunk* parent, int32_t index, std::string name)
    : DataChunk(parent, chunk_id::kShapeSet), index_(index), name_(std::move(name))
{
}

ShapeSetChunk::ShapeSetChunk(ParentChunk* parent, std::string name)
    : DataChunk(parent, chunk_id::kShapeSet), index_(-1), name_(std::move(name))
{
    if (!parent)
        return;
    std::vector<int32_t> used;
    for (Chunk* c = parent->FirstChild(); c; c = c->Next())
        if (auto* s = c->Is(chunk_id::kShapeSet) ? dynamic_cast<ShapeSetChunk*>(c) : nullptr; s && s != this)
            used.push_back(s->index_);
    int32_t i = 0;
    for (bool taken = true; taken;) {
        taken = false;
        for (int32_t u : used)
            if (u == i) {
                ++i;
                taken = true;
                break;
            }
    }
    index_ = i;
}

size_t ShapeSetChunk::PayloadSize() const
{
    size_t size = 4 + ByteReader::PaddedLength(name_.size()) + 4 + 16;
    for (const auto& p : replacements_)
        size += ByteReader::PaddedLength(p.shape_.size()) + ByteReader::PaddedLength(p.replacement_.size());
    return size;
}

void ShapeSetChunk::WritePayload(ByteWriter& out) const
{
    out.I32(index_);
    out.PaddedString(name_);
    out.I32(static_cast<int32_t>(replacements_.size()));
    for (const auto& p : replacements_) {
        out.PaddedString(p.shape_);
        out.PaddedString(p.replacement_);
    }
    out.I32(properties_);
    for (auto v : values_)
        out.I32(v);
}

// ---------------------------------------------------------------------------

ShapeSetCollectionChunk::ShapeSetCollectionChunk(ParentChunk* parent, const ChunkBytes& bytes)
    : DataChunk(parent, bytes.Identifier())
{
    ByteReader r(bytes.Payload());
    index_ = r.I32();
    name_ = r.PaddedString();
    int32_t count = r.I32();
    if (CheckCount(r, count, 4)) {
        setIndexes_.resize(static_cast<size_t>(count));
        for (auto& v : setIndexes_)
            v = r.I32();
    }
    voiceIndex_ = r.I32();
    value_ = r.I32();
    FinishRead(r, bytes);
}

ShapeSetCollectionChunk::ShapeSetCollectionChunk(ParentChunk* parent, int32_t index, std::string name)
    : DataChunk(parent, chunk_id::kShapeSetCollection), index_(index), name_(std::move(name))
{
}

ShapeSetChunk* ShapeSetCollectionChunk::FindShapeSet(int32_t setIndex) const
{
    if (!parent_)
        return nullptr;
    for (Chunk* c = parent_->FirstChild(); c; c = c->Next())
        if (auto* s = c->Is(chunk_id::kShapeSet) ? dynamic_cast<ShapeSetChunk*>(c) : nullptr;
            s && s->index_ == setIndex)
            return s;
    return nullptr;
}

void ShapeSetCollectionChunk::WritePayload(ByteWriter& out) const
{
    out.I32(index_);
    out.PaddedString(name_);
    out.I32(static_cast<int32_t>(setIndexes_.size()));
    for (auto v : setIndexes_)
        out.I32(v);
    out.I32(voiceIndex_);
    out.I32(value_);
}

// ---------------------------------------------------------------------------

DegradationDistancesChunk::DegradationDistancesChunk(ParentChunk* parent, const ChunkBytes& bytes)
    : DataChunk(parent, bytes.Identifier())
{
    ByteReader r(bytes.Payload());
    int32_t count = r.I32();
    if (CheckCount(r, count, 4)) {
        distances_.resize(static_cast<size_t>(count));
        for (auto& v : distances_)
            v = r.I32();
    }
    FinishRead(r, bytes);
}

DegradationDistancesChunk::DegradationDistancesChunk(ParentChunk* parent, int32_t n)
    : DataChunk(parent, chunk_id::kDegradationDistances)
{
    for (int32_t i = 0; i < n; ++i)
        distances_.push_back(kDegradationStep * i);
}

void DegradationDistancesChunk::WritePayload(ByteWriter& out) const
{
    out.I32(static_cast<int32_t>(distances_.size()));
    for (auto v : distances_)
        out.I32(v);
}

// ---------------------------------------------------------------------------

HierarchyBoundsChunk::HierarchyBoundsChunk(ParentChunk* parent, const ChunkBytes& bytes)
    : DataChunk(parent, bytes.Identifier())
{
    ByteReader r(bytes.Payload());
    for (auto& v : minimum_)
        v = r.I32();
    for (auto& v : maximum_)
        v = r.I32();
    FinishRead(r, bytes);
}

HierarchyBoundsChunk::HierarchyBoundsChunk(ParentChunk* parent, const int32_t minimum[3], const int32_t maximum[3])
    : DataChunk(parent, chunk_id::kHierarchyBounds)
{
    for (int i = 0; i < 3; ++i) {
        minimum_[i] = minimum[i];
        maximum_[i] = maximum[i];
    }
}

void HierarchyBoundsChunk::WritePayload(ByteWriter& out) const
{
    for (auto v : minimum_)
        out.I32(v);
    for (auto v : maximum_)
        out.I32(v);
}

// ---------------------------------------------------------------------------

void RegisterHierarchyChunks()
{
    auto& reg = ChunkRegistry::Instance();
    reg.Register(chunk_id::kHierarchy, "", BuildChunk<HierarchyChunk>);
    reg.Register(chunk_id::kHierarchyData, "", BuildChunk<HierarchyDataChunk>);
    reg.Register(chunk_id::kHierarchyName, "", BuildChunk<HierarchyNameChunk>);
    reg.Register(chunk_id::kShapeSet, "", BuildChunk<ShapeSetChunk>);
    reg.Register(chunk_id::kShapeSetCollection, "", BuildChunk<ShapeSetCollectionChunk>);
    reg.Register(chunk_id::kDegradationDistances, "", BuildChunk<DegradationDistancesChunk>);
    reg.Register(chunk_id::kHierarchyBounds, "", BuildChunk<HierarchyBoundsChunk>);
}

void RegisterModelChunkFamilies()
{
    static std::once_flag once;
    std::call_once(once, [] {
        RegisterSoundChunks();
        RegisterShapeExtraChunks();
        RegisterBitmapNameChunks();
        RegisterHierarchyChunks();
        RegisterSequenceChunks();
    });
}

} // namespace trevok
