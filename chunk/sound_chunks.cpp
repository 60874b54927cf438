#include "chunk/sound_chunks.h"

#include "chunk/chunk_ids.h"
#include "chunk/object_chunks.h"

#include <algorithm>

namespace trevok {
namespace {

constexpr size_t kSoundObjectFixed = 40; // point and seven values

// The stored size rule: with a second text the strings are padded to 4; without
// one an empty text follows the name and the rule may leave four spare bytes.
size_t SoundObjectPayload(size_t nameLength, size_t secondLength, bool withSecond)
{
    const size_t l = static_cast<size_t>(kChunkHeaderSize) + kSoundObjectFixed + nameLength +
                     (withSecond ? secondLength + 1 : 2);
    return (l & ~size_t{3}) + 4 - kChunkHeaderSize;
}

} // namespace

SoundObjectChunk::SoundObjectChunk(ParentChunk* parent, const ChunkBytes& bytes)
    : DataChunk(parent, bytes.Identifier())
{
    ByteReader r(bytes.Payload());
    for (auto& v : point_)
        v = r.I32();
    for (auto& v : values_)
        v = r.I32();
    name_ = r.CString();
    std::string second = r.CString();
    if (r.Ok()) {
        size_t stored = r.Size();
        if (second.empty()) {
            size_t tight = SoundObjectPayload(name_.size(), 0, true);
            emptySecondTight_ = stored == tight && tight != SoundObjectPayload(name_.size(), 0, false);
        } else {
            second_ = std::move(second);
        }
        // Padding up to the stored size rule; anything beyond it is kept as it is.
        r.Seek(std::max(r.Position(), std::min(stored, PayloadSize())));
    }
    FinishRead(r, bytes);
}

SoundObjectChunk::SoundObjectChunk(ParentChunk* parent, const int32_t point[3], std::string name)
    : DataChunk(parent, chunk_id::kSoundObject), name_(std::move(name))
{
    std::copy(point, point + 3, point_);
}

size_t SoundObjectChunk::PayloadSize() const
{
    if (second_)
        return SoundObjectPayload(name_.size(), second_->size(), true);
    return SoundObjectPayload(name_.size(), 0, emptySecondTight_);
}

void SoundObjectChunk::WritePayload(ByteWriter& out) const
{
    size_t start = out.Position();
    for (auto v : point_)
        out.I32(v);
    for (auto v : values_)
        out.I32(v);
    out.CString(name_);
    out.CString(second_ ? *second_ : std::string());
    out.Zeros(PayloadSize() - (out.Position() - start));
}

SoundExtraChunk* SoundObjectChunk::FindExtra() const
{
    if (!parent_)
        return nullptr;
    for (Chunk* c = parent_->FirstChild(); c; c = c->Next())
        if (auto* e = c->Is(chunk_id::kSoundExtra) ? dynamic_cast<SoundExtraChunk*>(c) : nullptr)
            if (auto* n = e->GetName(); n && n->name_ == name_)
                return e;
    return nullptr;
}

SoundExtraChunk* SoundObjectChunk::GetOrCreateExtra()
{
    if (auto* e = FindExtra())
        return e;
    return parent_ ? new SoundExtraChunk(parent_, *this) : nullptr;
}

AlternativeLocationsChunk* SoundObjectChunk::FindAlternativeLocations() const
{
    auto* e = FindExtra();
    return e ? e->FindChildAs<AlternativeLocationsChunk>(chunk_id::kAlternativeLocations) : nullptr;
}

AlternativeLocationsChunk* SoundObjectChunk::GetOrCreateAlternativeLocations()
{
    auto* e = GetOrCreateExtra();
    if (!e)
        return nullptr;
    if (auto* a = e->FindChildAs<AlternativeLocationsChunk>(chunk_id::kAlternativeLocations))
        return a;
    return new AlternativeLocationsChunk(e);
}

// ---------------------------------------------------------------------------

SoundNameChunk::SoundNameChunk(ParentChunk* parent, const ChunkBytes& bytes) : DataChunk(parent, bytes.Identifier())
{
    ByteReader r(bytes.Payload());
    name_ = r.PaddedString();
    FinishRead(r, bytes);
}

SoundNameChunk::SoundNameChunk(ParentChunk* parent, std::string name)
    : DataChunk(parent, chunk_id::kSoundName), name_(std::move(name))
{
}

SoundExtraChunk::SoundExtraChunk(ParentChunk* parent, const SoundObjectChunk& sound)
    : ParentChunk(parent, chunk_id::kSoundExtra)
{
    new SoundNameChunk(this, sound.name_);
}

SoundNameChunk* SoundExtraChunk::GetName() const
{
    return FindChildAs<SoundNameChunk>(chunk_id::kSoundName);
}

SoundObjectChunk* SoundExtraChunk::FindSound() const
{
    auto* n = GetName();
    if (!n || !parent_)
        return nullptr;
    for (Chunk* c = parent_->FirstChild(); c; c = c->Next())
        if (auto* s = c->Is(chunk_id::kSoundObject) ? dynamic_cast<SoundObjectChunk*>(c) : nullptr;
            s && s->name_ == n->name_)
            return s;
    return nullptr;
}

// ---------------------------------------------------------------------------

IndexedSoundChunk::IndexedSoundChunk(ParentChunk* parent, const ChunkBytes& bytes)
    : DataChunk(parent, bytes.Identifier())
{
    ByteReader r(bytes.Payload());
    index_ = r.I32();
    name_ = r.PaddedString();
    for (auto& v : values_)
        v = r.I32();
    int32_t n = r.I32();
    if (CheckCount(r, n, 4)) {
        extra_.resize(static_cast<size_t>(n));
        for (auto& v : extra_)
            v = r.I32();
    }
    FinishRead(r, bytes);
}

IndexedSoundChunk::IndexedSoundChunk(ParentChunk* parent, int32_t index, std::string name)
    : DataChunk(parent, chunk_id::kIndexedSound), index_(index), name_(std::move(name))
{
}

void IndexedSoundChunk::WritePayload(ByteWriter& out) const
{
    out.I32(index_);
    out.PaddedString(name_);
    for (auto v : values_)
        out.I32(v);
    out.I32(static_cast<int32_t>(extra_.size()));
    for (auto v : extra_)
        out.I32(v);
}

void RegisterSoundChunks()
{
    auto& reg = ChunkRegistry::Instance();
    reg.Register(chunk_id::kSoundObject, "", BuildChunk<SoundObjectChunk>);
    reg.Register(chunk_id::kSoundExtra, "", BuildChunk<SoundExtraChunk>);
    reg.Register(chunk_id::kSoundName, "", BuildChunk<SoundNameChunk>);
    reg.Register(chunk_id::kIndexedSound, "", BuildChunk<IndexedSoundChunk>);
}

} // namespace trevok
