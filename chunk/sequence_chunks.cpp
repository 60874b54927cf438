#include "chunk/sequence_chunks.h"

#include "app/int_math.h"
#include "chunk/chunk_ids.h"
#include "chunk/hierarchy_chunks.h"
#include "chunk/sound_chunks.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace trevok {
namespace {

// The heading constant the stored files were made with, not 2 pi to more places.
constexpr double kTurn = 6.2830556;
constexpr float kOneOver65536 = 1.52587890625e-05f;

template <class T>
T* FirstChildAs(const ParentChunk& parent, std::string_view id)
{
    return parent.FindChildAs<T>(id);
}

// Tick differences of keys read from a file: taken wide and held to 32 bits.
int32_t TickSpan(int32_t from, int32_t to)
{
    int64_t d = static_cast<int64_t>(to) - from;
    return static_cast<int32_t>(std::clamp<int64_t>(d, std::numeric_limits<int32_t>::min(),
                                                     std::numeric_limits<int32_t>::max()));
}

// The rotation matrix of q applied to v.
Vec3 Rotate(const Quaternion& q, const Vec3& v)
{
    float xx = q.x * q.x, yy = q.y * q.y, zz = q.z * q.z;
    float xy = q.x * q.y, xz = q.x * q.z, yz = q.y * q.z;
    float wx = q.w * q.x, wy = q.w * q.y, wz = q.w * q.z;
    return {(1 - 2 * (yy + zz)) * v.x + 2 * (xy - wz) * v.y + 2 * (xz + wy) * v.z,
            2 * (xy + wz) * v.x + (1 - 2 * (xx + zz)) * v.y + 2 * (yz - wx) * v.z,
            2 * (xz - wy) * v.x + 2 * (yz + wx) * v.y + (1 - 2 * (xx + yy)) * v.z};
}

SequenceBlend MakeBlend(const Quaternion& from, const Quaternion& to)
{
    float d = from.x * to.x + from.y * to.y + from.z * to.z + from.w * to.w;
    SequenceBlend b{from, to};
    if (d < 0)
        b.to_ = {-to.x, -to.y, -to.z, -to.w};
    return b;
}

void ReadValues(ByteReader& r, std::vector<int32_t>& values)
{
    int32_t count = r.I32();
    if (CheckCount(r, count, 4)) {
        values.resize(static_cast<size_t>(count));
        for (auto& v : values)
            v = r.I32();
    }
}

void WriteValues(ByteWriter& out, const std::vector<int32_t>& values)
{
    out.I32(static_cast<int32_t>(values.size()));
    for (auto v : values)
        out.I32(v);
}

} // namespace

// ---------------------------------------------------------------------------

void SequenceListChunk::GetSequences(std::vector<SequenceChunk*>& list) const
{
    list.clear();
    for (Chunk* c = FirstChild(); c; c = c->Next())
        if (auto* s = c->Is(chunk_id::kSequence) ? dynamic_cast<SequenceChunk*>(c) : nullptr)
            list.push_back(s);
}

SequenceChunk* SequenceListChunk::FindSequence(int32_t number, int32_t index) const
{
    std::vector<SequenceChunk*> list;
    GetSequences(list);
    for (auto* s : list)
        if (auto* h = s->GetHeader(); h && h->number_ == number && h->index_ == index)
            return s;
    return nullptr;
}

// ---------------------------------------------------------------------------

SequenceChunk::SequenceChunk(ParentChunk* parent, const SequenceChunk& source, const float rotation[4],
                             const int32_t position[3])
    : ParentChunk(parent, chunk_id::kSequence)
{
    auto* header = new SequenceHeaderChunk(this, -1, -1, std::string());
    if (auto* h = source.GetHeader()) {
        header->number_ = h->number_;
        header->index_ = h->index_;
        header->name_ = h->name_;
    }
    std::vector<SequenceFrameChunk*> frames;
    source.GetFrames(frames);
    bool reference = std::any_of(frames.begin(), frames.end(), [](auto* f) { return f->IsReference(); });
    new SequenceFrameChunk(this, rotation, position, 0, 0, reference ? kFrameReference : 0);
}

SequenceHeaderChunk* SequenceChunk::GetHeader() const
{
    return FirstChildAs<SequenceHeaderChunk>(*this, chunk_id::kSequenceHeader);
}

HierarchyBoundsChunk* SequenceChunk::GetBounds() const
{
    return FirstChildAs<HierarchyBoundsChunk>(*this, chunk_id::kHierarchyBounds);
}

void SequenceChunk::GetFrames(std::vector<SequenceFrameChunk*>& list) const
{
    list.clear();
    for (Chunk* c = FirstChild(); c; c = c->Next())
        if (auto* f = c->Is(chunk_id::kSequenceFrame) ? dynamic_cast<SequenceFrameChunk*>(c) : nullptr)
            list.push_back(f);
}

int32_t SequenceChunk::GetTime() const
{
    auto* t = FirstChildAs<SequenceTimeChunk>(*this, chunk_id::kSequenceTime);
    return t ? t->milliseconds_ : 0;
}

int32_t SequenceChunk::GetSpeed() const
{
    auto* s = FirstChildAs<SequenceSpeedChunk>(*this, chunk_id::kSequenceSpeed);
    return s ? s->speed_ : 0;
}

int32_t SequenceChunk::GetFlags() const
{
    auto* f = FirstChildAs<SequenceFlagsChunk>(*this, chunk_id::kSequenceFlags);
    return f ? f->flags_ : 0;
}

void SequenceChunk::SetFlags(int32_t flags)
{
    if (auto* f = FirstChildAs<SequenceFlagsChunk>(*this, chunk_id::kSequenceFlags))
        f->flags_ = flags;
    else
        new SequenceFlagsChunk(this, flags);
}

bool SequenceChunk::GetDirection(Vec3& out) const
{
    auto* s = FirstChildAs<SequenceSpeedChunk>(*this, chunk_id::kSequenceSpeed);
    if (!s) {
        out = {0, 0, 1};
        return false;
    }
    double a = s->heading_ * (1.0 / 360.0) * kTurn;
    out = {static_cast<float>(std::sin(a)), 0, static_cast<float>(std::cos(a))};
    return true;
}

// ---------------------------------------------------------------------------

SequenceHeaderChunk::SequenceHeaderChunk(ParentChunk* parent, const ChunkBytes& bytes)
    : DataChunk(parent, bytes.Identifier())
{
    ByteReader r(bytes.Payload());
    first_ = r.I32();
    number_ = r.I32();
    index_ = r.I32();
    ReadValues(r, values_);
    name_ = r.PaddedString();
    FinishRead(r, bytes);
}

SequenceHeaderChunk::SequenceHeaderChunk(ParentChunk* parent, int32_t number, int32_t index, std::string name)
    : DataChunk(parent, chunk_id::kSequenceHeader), number_(number), index_(index), name_(std::move(name))
{
}

size_t SequenceHeaderChunk::PayloadSize() const
{
    return 16 + 4 * values_.size() + ByteReader::PaddedLength(name_.size());
}

void SequenceHeaderChunk::WritePayload(ByteWriter& out) const
{
    out.I32(first_);
    out.I32(number_);
    out.I32(index_);
    WriteValues(out, values_);
    out.PaddedString(name_);
}

// ---------------------------------------------------------------------------

SequenceFrameChunk::SequenceFrameChunk(ParentChunk* parent, const ChunkBytes& bytes)
    : DataChunk(parent, bytes.Identifier())
{
    ByteReader r(bytes.Payload());
    for (auto& v : rotation_)
        v = r.F32();
    for (auto& v : position_)
        v = r.I32();
    time_ = r.I32();
    frameNumber_ = r.I32();
    flags_ = r.U32();
    ReadValues(r, values_);
    FinishRead(r, bytes);
}

SequenceFrameChunk::SequenceFrameChunk(ParentChunk* parent, const float rotation[4], const int32_t position[3],
                                       int32_t time, int32_t frameNumber, uint32_t flags)
    : DataChunk(parent, chunk_id::kSequenceFrame), time_(time), frameNumber_(frameNumber), flags_(flags)
{
    std::copy(rotation, rotation + 4, rotation_);
    std::copy(position, position + 3, position_);
}

void SequenceFrameChunk::SetSound(int32_t n)
{
    if (n < 0 || n >= kSequenceSlots)
        return;
    flags_ = (flags_ & ~(kFrameSoundMask << kFrameSoundShift)) | static_cast<uint32_t>(n) << kFrameSoundShift;
}

void SequenceFrameChunk::WritePayload(ByteWriter& out) const
{
    for (auto v : rotation_)
        out.F32(v);
    for (auto v : position_)
        out.I32(v);
    out.I32(time_);
    out.I32(frameNumber_);
    out.U32(flags_);
    WriteValues(out, values_);
}

// ---------------------------------------------------------------------------

SequenceTimeChunk::SequenceTimeChunk(ParentChunk* parent, const ChunkBytes& bytes)
    : DataChunk(parent, bytes.Identifier())
{
    ByteReader r(bytes.Payload());
    milliseconds_ = r.I32();
    FinishRead(r, bytes);
}

SequenceTimeChunk::SequenceTimeChunk(ParentChunk* parent, int32_t milliseconds)
    : DataChunk(parent, chunk_id::kSequenceTime), milliseconds_(milliseconds)
{
}

SequenceSpeedChunk::SequenceSpeedChunk(ParentChunk* parent, const ChunkBytes& bytes)
    : DataChunk(parent, bytes.Identifier())
{
    ByteReader r(bytes.Payload());
    speed_ = r.I32();
    heading_ = r.I32();
    value_ = r.I32();
    FinishRead(r, bytes);
}

SequenceSpeedChunk::SequenceSpeedChunk(ParentChunk* parent, int32_t speed, int32_t heading, int32_t value)
    : DataChunk(parent, chunk_id::kSequenceSpeed), speed_(speed), heading_(heading), value_(value)
{
}

void SequenceSpeedChunk::WritePayload(ByteWriter& out) const
{
    out.I32(speed_);
    out.I32(heading_);
    out.I32(value_);
}

SequenceFlagsChunk::SequenceFlagsChunk(ParentChunk* parent, const ChunkBytes& bytes)
    : DataChunk(parent, bytes.Identifier())
{
    ByteReader r(bytes.Payload());
    flags_ = r.I32();
    FinishRead(r, bytes);
}

SequenceFlagsChunk::SequenceFlagsChunk(ParentChunk* parent, int32_t flags)
    : DataChunk(parent, chunk_id::kSequenceFlags), flags_(flags)
{
}

// ---------------------------------------------------------------------------

AllSequencesChunk::AllSequencesChunk(ParentChunk* parent, const ChunkBytes& bytes)
    : DataChunk(parent, bytes.Identifier())
{
    ByteReader r(bytes.Payload());
    int32_t n = r.I32();
    if (CheckCount(r, n, 16)) {
        records_.resize(static_cast<size_t>(n));
        for (auto& rec : records_) {
            int32_t k = r.I32();
            for (auto& v : rec.values_)
                v = r.I32();
            if (!CheckCount(r, k, 36))
                break;
            rec.entries_.resize(static_cast<size_t>(k));
            for (auto& e : rec.entries_)
                for (auto& v : e)
                    v = r.I32();
        }
    }
    FinishRead(r, bytes);
}

size_t AllSequencesChunk::PayloadSize() const
{
    size_t size = 4;
    for (const auto& rec : records_)
        size += 16 + 36 * rec.entries_.size();
    return size;
}

void AllSequencesChunk::WritePayload(ByteWriter& out) const
{
    out.I32(static_cast<int32_t>(records_.size()));
    for (const auto& rec : records_) {
        out.I32(static_cast<int32_t>(rec.entries_.size()));
        for (auto v : rec.values_)
            out.I32(v);
        for (const auto& e : rec.entries_)
            for (auto v : e)
                out.I32(v);
    }
}

// ---------------------------------------------------------------------------

void RegisterSequenceChunks()
{
    auto& reg = ChunkRegistry::Instance();
    reg.Register(chunk_id::kSequenceFrame, "", BuildChunk<SequenceFrameChunk>);
    reg.Register(chunk_id::kSequenceHeader, "", BuildChunk<SequenceHeaderChunk>);
    reg.Register(chunk_id::kSequenceList, "", BuildChunk<SequenceListChunk>);
    reg.Register(chunk_id::kSequenceTime, "", BuildChunk<SequenceTimeChunk>);
    reg.Register(chunk_id::kSequenceSpeed, "", BuildChunk<SequenceSpeedChunk>);
    reg.Register(chunk_id::kSequenceFlags, "", BuildChunk<SequenceFlagsChunk>);
    reg.Register(chunk_id::kAllSequences, "", BuildChunk<AllSequencesChunk>);
    reg.Register(chunk_id::kSequence, "", BuildChunk<SequenceChunk>);
}

// ---------------------------------------------------------------------------

SequenceKey BuildSequenceKey(const SequenceFrameChunk& frame, SequenceBuildContext& context,
                             std::vector<SequenceSound>& sounds, float ticksPerFraction)
{
    SequenceKey key;
    key.time_ = FloorToInt(static_cast<double>(ticksPerFraction) * frame.time_);
    key.position_ = {static_cast<float>(frame.position_[0]) * context.scale_,
                     static_cast<float>(frame.position_[1]) * context.scale_,
                     static_cast<float>(frame.position_[2]) * context.scale_};
    key.rotation_ = {frame.rotation_[0], frame.rotation_[1], frame.rotation_[2], frame.rotation_[3]};
    key.flags_ = frame.IsReference() ? kKeyReference : 0;
    key.ordinal_ = frame.frameNumber_;

    int32_t s = frame.Sound();
    const IndexedSoundChunk* sound = s != 0 ? context.sounds_[static_cast<size_t>(s)] : nullptr;
    if (sound) {
        int32_t id = 0;
        if (context.soundSystem_) {
            id = context.soundSystem_->LoadSoundChunks(sound->name_);
            if (id > 0) {
                const auto& v = sound->values_;
                // Values from the file: the volume is taken wide so no value overflows.
                auto volume = static_cast<int32_t>(std::clamp<int64_t>(int64_t{v[2]} * 100 / 128, INT32_MIN, INT32_MAX));
                id = context.soundSystem_->MakeVariant(id, volume, static_cast<float>(v[3] / 128),
                                                       static_cast<float>(v[0]) * 0.001f,
                                                       static_cast<float>(v[1]) * 0.001f);
            }
        }
        SequenceSound entry{static_cast<uint32_t>(key.time_), id};
        // Before the first entry not earlier than it: of equal times the newest comes first.
        auto at = std::find_if(sounds.begin(), sounds.end(), [&](const SequenceSound& e) { return e.time_ >= entry.time_; });
        sounds.insert(at, entry);
    }
    return key;
}

std::unique_ptr<Sequence> BuildSequence(const SequenceChunk& chunk, SequenceBuildContext& context)
{
    std::vector<SequenceFrameChunk*> frames;
    chunk.GetFrames(frames);
    const SequenceHeaderChunk* header = chunk.GetHeader();
    // The tables hold 128 indexes; a sequence outside them cannot be played.
    if (frames.empty() || !header || header->index_ < 0 || header->index_ >= kSequenceSlots || !context.tables_)
        return nullptr;
    auto index = static_cast<size_t>(header->index_);
    SequenceTables& tables = *context.tables_;

    auto seq = std::make_unique<Sequence>();
    seq->index_ = header->index_;
    if (const HierarchyBoundsChunk* box = chunk.GetBounds()) {
        seq->hasBounds_ = true;
        seq->minimum_ = {box->minimum_[0] * context.scale_, box->minimum_[1] * context.scale_,
                         box->minimum_[2] * context.scale_};
        seq->maximum_ = {box->maximum_[0] * context.scale_, box->maximum_[1] * context.scale_,
                         box->maximum_[2] * context.scale_};
    }
    if (tables.length_[index] == 0) {
        int32_t length = chunk.FindChild(chunk_id::kSequenceTime)
                             ? MulDiv(chunk.GetTime(), context.ticksPerSecond_, 1000)
                             : context.ticksPerSecond_;
        // A negative time, or one too long to count in ticks, plays as no time at all.
        length = std::max(length, 0);
        tables.length_[index] = length;
        tables.ticksPerFraction_[index] = static_cast<float>(length) * kOneOver65536;
    }
    if (chunk.FindChild(chunk_id::kSequenceSpeed)) {
        tables.speed_[index] = static_cast<float>(chunk.GetSpeed()) * 0.001f;
        chunk.GetDirection(tables.direction_[index]);
    }
    seq->length_ = tables.length_[index];

    for (const SequenceFrameChunk* f : frames)
        seq->keys_.push_back(BuildSequenceKey(*f, context, seq->sounds_, tables.ticksPerFraction_[index]));
    std::stable_sort(seq->keys_.begin(), seq->keys_.end(),
                     [](const SequenceKey& a, const SequenceKey& b) { return a.ordinal_ < b.ordinal_; });

    auto ref = std::find_if(seq->keys_.begin(), seq->keys_.end(),
                            [](const SequenceKey& k) { return (k.flags_ & kKeyReference) != 0; });
    if (ref != seq->keys_.end()) {
        seq->flags_ |= kSequenceHasReference;
        Quaternion inverse = ref->rotation_;
        inverse.w = -inverse.w;
        Vec3 origin = ref->position_;
        for (auto& k : seq->keys_) {
            Vec3 d{k.position_.x - origin.x, k.position_.y - origin.y, k.position_.z - origin.z};
            k.position_ = Rotate(inverse, d);
            k.rotation_ = inverse * k.rotation_;
        }
    }

    for (size_t i = 0; i < seq->keys_.size(); ++i) {
        SequenceKey& k = seq->keys_[i];
        const SequenceKey& next = seq->keys_[(i + 1) % seq->keys_.size()];
        k.ordinal_ = static_cast<int32_t>(i);
        k.span_ = TickSpan(k.time_, next.time_);
        if (!(k.position_ == next.position_))
            k.flags_ |= kKeyMoves;
        if (!(k.rotation_ == next.rotation_))
            k.flags_ |= kKeyRotates;
        k.blend_ = MakeBlend(k.rotation_, next.rotation_);
    }
    seq->keys_.back().span_ = TickSpan(seq->keys_.back().time_, seq->length_);
    return seq;
}

std::unique_ptr<SequenceSet> BuildSequenceSet(const SequenceListChunk& list, SequenceBuildContext& context)
{
    std::vector<SequenceChunk*> chunks;
    list.GetSequences(chunks);
    std::vector<std::unique_ptr<Sequence>> built;
    for (const SequenceChunk* c : chunks)
        if (auto s = BuildSequence(*c, context))
            built.push_back(std::move(s));
    if (built.empty())
        return nullptr;
    std::stable_sort(built.begin(), built.end(), [](const auto& a, const auto& b) { return a->index_ < b->index_; });
    auto set = std::make_unique<SequenceSet>();
    for (auto& s : built) {
        auto index = static_cast<size_t>(s->index_);
        // Two sequences of one part with the same index: the first in the file plays.
        if (index < set->entries_.size())
            continue;
        set->entries_.resize(index);
        set->entries_.push_back(std::move(s));
    }
    return set;
}

} // namespace trevok
