#include "Veapi/sequence_player.h"

#include <algorithm>
#include <limits>
#include <atomic>

#include "Veapi/ve_object.h"
#include "app/clock.h"
#include "app/int_math.h"

namespace {

std::function<void(int32_t, VeObject*)>& SoundHook()
{
    static auto* hook = new std::function<void(int32_t, VeObject*)>;  // outlives the exit handlers
    return *hook;
}

std::atomic<int32_t> g_ticksPerSecond{0};

int32_t TicksPerSecond()
{
    const int32_t fixed = g_ticksPerSecond.load(std::memory_order_relaxed);
    return fixed > 0 ? fixed : Clock::GlobalTicksPerSecondInt();
}

// a + b, stopping at the 64-bit limits instead of wrapping.
int64_t SaturatingAdd(int64_t a, int64_t b)
{
    int64_t sum = 0;
    if (__builtin_add_overflow(a, b, &sum))
        return b > 0 ? std::numeric_limits<int64_t>::max() : std::numeric_limits<int64_t>::min();
    return sum;
}

// ticks x speed / 0x10000, rounded, without overflowing for long runs; a
// product beyond 64 bits (a damaged time or speed) stops at the limit.
int64_t ScaleTicks(uint64_t ticks, int32_t speed)
{
    int64_t whole = 0;
    if (__builtin_mul_overflow(int64_t(ticks >> 16), int64_t(speed), &whole))
        return speed >= 0 ? std::numeric_limits<int64_t>::max() : std::numeric_limits<int64_t>::min();
    const int64_t part = int64_t(ticks & 0xFFFF) * speed;
    return SaturatingAdd(whole, part >= 0 ? (part + 0x8000) >> 16 : -((-part + 0x8000) >> 16));
}

// 0.25 s at normal speed, shorter when faster; a stopped or backward speed
// blends over the normal quarter second.
uint32_t BlendTicks(int32_t speed)
{
    const int64_t quarter = int64_t(0x4000) * TicksPerSecond();
    const int64_t ticks = speed > 0 ? (quarter + speed / 2) / speed : quarter >> 16;
    return uint32_t(std::clamp<int64_t>(ticks, 0, 0xFFFFFFFF));
}

int64_t FloorDiv(int64_t a, int64_t b)
{
    const int64_t q = a / b;
    return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

// The key whose span holds `t`, walking from the last one found.
size_t FindKey(const std::vector<SequenceKey>& keys, size_t from, int64_t t)
{
    size_t i = std::min(from, keys.size() - 1);
    while (i > 0 && keys[i].time_ > t)
        --i;
    while (i + 1 < keys.size() && keys[i + 1].time_ <= t)
        ++i;
    return i;
}

NodePose PoseAt(SequenceEvaluator& ev, int64_t t)
{
    const auto& keys = ev.sequence_->keys_;
    const size_t i = FindKey(keys, ev.currentKey_, t);
    ev.currentKey_ = i;
    const SequenceKey& key0 = keys[i];
    const SequenceKey& key1 = keys[(i + 1) % keys.size()];
    // A key without span holds its own pose.
    const float fraction =
        key0.span_ > 0 ? std::clamp(float(t - key0.time_) / float(key0.span_), 0.0f, 1.0f) : 0.0f;
    return Pose::BetweenKeys(key0, key1, fraction);
}

NodePose LastPose(const std::vector<SequenceKey>& keys)
{
    const SequenceKey& last = keys.back();
    const SequenceKey& before = keys.size() > 1 ? keys[keys.size() - 2] : last;
    return Pose::BetweenKeys(before, last, 1.0f);
}

} // namespace

void SequencePlayer::SetSoundHook(std::function<void(int32_t, VeObject*)> hook)
{
    SoundHook() = std::move(hook);
}

int32_t SequencePlayer::TicksPerSecond()
{
    return ::TicksPerSecond();
}

void SequencePlayer::SetTicksPerSecond(int32_t ticks)
{
    g_ticksPerSecond.store(ticks, std::memory_order_relaxed);
}

void SequencePlayer::Init(uint8_t* completion, int32_t speed, uint32_t mode, int32_t repeatCount, uint64_t start,
                          int32_t index, const std::vector<trevok::SequenceSound>* sounds)
{
    start_ = start;
    index_ = index;
    completion_ = completion;
    speed_ = speed;
    mode_ = mode;
    repeatCount_ = repeatCount;
    end_ = 0;
    length_ = 0;
    from_ = to_ = 0;
    repeatsDone_ = 0;
    useCount_ = 1;
    track_ = -1;
    sounds_ = sounds && !sounds->empty() ? sounds : nullptr;
    soundCursor_ = sounds_ && (mode & SequenceMode::kReverse) ? sounds_->size() - 1 : 0;
}

void SequencePlayer::SignalDone()
{
    if (completion_)
        *completion_ = 1;
}

void SequencePlayer::Advance(uint64_t time, VeObject* object)
{
    int64_t p = time > start_ ? ScaleTicks(time - start_, speed_) : 0;
    if (end_ != 0 && time > end_) {
        SignalDone();
        p = int64_t(repeatCount_) * length_;
        if ((mode_ & SequenceMode::kRemoveAtEnd) && (mode_ & SequenceMode::kObjectHold)) {
            mode_ &= ~SequenceMode::kObjectHold;
            --useCount_;
        }
    }
    if (mode_ & (SequenceMode::kBlendIn | SequenceMode::kPlayTo))
        return;
    if (length_ == 0)
        return;
    const int64_t length = length_;
    int64_t r = p - int64_t(repeatsDone_) * length;
    const auto& hook = SoundHook();
    if (!sounds_ || !object || !hook) {
        if (r > 0)
            repeatsDone_ += uint32_t(r / length);
        return;
    }
    const auto& sounds = *sounds_;
    const uint32_t limit = uint32_t(repeatCount_);  // -1 never limits
    if (!(mode_ & SequenceMode::kReverse)) {
        while (int64_t(sounds[soundCursor_].time_) < r && repeatsDone_ < limit) {
            hook(sounds[soundCursor_].soundId_, object);
            if (soundCursor_ + 1 == sounds.size()) {
                r -= length;
                ++repeatsDone_;
            }
            soundCursor_ = (soundCursor_ + 1) % sounds.size();
        }
        return;
    }
    r = length - r;
    while (int64_t(sounds[soundCursor_].time_) > r && repeatsDone_ < limit) {
        hook(sounds[soundCursor_].soundId_, object);
        if (soundCursor_ == 0) {
            r += length;
            ++repeatsDone_;
        }
        soundCursor_ = soundCursor_ == 0 ? sounds.size() - 1 : soundCursor_ - 1;
    }
}

namespace SequenceEvaluation {

int64_t SequenceTime(const SequencePlayer& player, uint64_t time)
{
    const int64_t moved = time > player.start_ ? ScaleTicks(time - player.start_, player.speed_) : 0;
    return SaturatingAdd(int64_t(player.from_), moved);
}

EvaluatedPose Evaluate(SequenceEvaluator& ev, const NodeBlend& blend, uint64_t time)
{
    const SequencePlayer& p = *ev.player_;
    const auto& keys = ev.sequence_->keys_;
    if (keys.empty())
        return {};
    if (time < p.start_) {
        // The node's blend-in belongs to its main sequence; a layer waits on its first key.
        if (blend.state != kBlendStateSet || p.Layered())
            return {Pose::OfKey(keys.front()), false};
        const float f = time <= blend.start || blend.length == 0
                            ? 0.0f
                            : std::min(1.0f, float(time - blend.start) / float(blend.length));
        NodePose pose;
        pose.position = blend.from.position + (keys.front().position_ - blend.from.position) * f;
        pose.rotation = blend.rotation.Evaluate(f);
        return {pose, false};
    }
    const bool ended = p.end_ != 0 && time > p.end_;
    int64_t t = SequenceTime(p, time);
    if (p.mode_ & SequenceMode::kPlayTo) {
        const int64_t to = p.to_;
        if (ended)
            t = to;
        else
            t = p.speed_ >= 0 ? std::min(t, to) : std::max(t, to);
        return {PoseAt(ev, std::max<int64_t>(t, 0)), ended};
    }
    const int64_t length = ev.sequence_->length_;
    if (length <= 0)
        return {Pose::OfKey(keys.front()), ended};
    const int64_t repeats = FloorDiv(t, length);
    if (p.repeatCount_ >= 1 && repeats >= p.repeatCount_) {
        const bool reverse = (p.mode_ & SequenceMode::kReverse) != 0;
        return {reverse ? Pose::OfKey(keys.front()) : LastPose(keys), true};
    }
    int64_t r = t - repeats * length;
    if (p.mode_ & SequenceMode::kReverse)
        r = length - r;
    return {PoseAt(ev, r), ended};
}

} // namespace SequenceEvaluation

// ---- Tree operations ------------------------------------------------------------

bool ShapeInstance::AttachSequence(SequencePlayer* player, bool counted)
{
    if (const Sequence* sequence = Sequences::Find(sequences_.get(), player->index_)) {
        // A node without the sequence keeps its own pose.
        if (sequence->length_ > 0 && uint32_t(sequence->length_) > player->length_)
            player->length_ = uint32_t(sequence->length_);
        auto* ev = new SequenceEvaluator{counted ? SequenceEvaluator::kCounted : 0, player, sequence, 0};
        if (counted)
            ++player->useCount_;
        if (player->Layered()) {
            evaluators_.PushBack(ev);
        } else {
            evaluators_.PushFront(ev);
            if ((player->mode_ & SequenceMode::kBlendIn) && !sequence->keys_.empty())
                blend_.rotation.Setup(blend_.from.rotation, sequence->keys_.front().rotation_);
        }
    }
    for (ShapeInstance* child : children_)
        child->AttachSequence(player, counted);
    return true;
}

namespace {

// The evaluator a new main sequence replaces: the node's front one, when it is
// a main sequence's and moves the node. Layered evaluators sit behind the main
// one, so a node the main sequence leaves alone has none, and its layers stay.
List<SequenceEvaluator*>::Node* ReplaceableMain(List<SequenceEvaluator*>& evaluators)
{
    for (SequenceEvaluator* front : evaluators) {
        if (front->player_->Layered() || (front->sequence_->flags_ & kSequenceStatic))
            return nullptr;
        return evaluators.First();
    }
    return nullptr;
}

} // namespace

void ShapeInstance::BeginBlend(uint64_t start, uint32_t blend)
{
    if (List<SequenceEvaluator*>::Node* main = ReplaceableMain(evaluators_)) {
        SequenceEvaluator* front = *List<SequenceEvaluator*>::NodeValue(main);
        blend_.from = SequenceEvaluation::Evaluate(*front, blend_, start).pose;
        DeleteEvaluator(main);
    } else {
        blend_.from = {local_.Position(), local_.Orientation()};
    }
    blend_.start = start;
    blend_.length = blend;
    blend_.state = kBlendStateSet;
    for (ShapeInstance* child : children_)
        child->BeginBlend(start, blend);
}

bool ShapeInstance::DropMainSequence()
{
    if (List<SequenceEvaluator*>::Node* main = ReplaceableMain(evaluators_))
        DeleteEvaluator(main);
    for (ShapeInstance* child : children_)
        child->DropMainSequence();
    return true;
}

bool ShapeInstance::DetachSequence(SequencePlayer* player)
{
    for (auto* n = evaluators_.First(); n != evaluators_.End(); n = n->next)
        if ((*List<SequenceEvaluator*>::NodeValue(n))->player_ == player) {
            DeleteEvaluator(n);
            break;
        }
    for (ShapeInstance* child : children_)
        child->DetachSequence(player);
    return true;
}

void ShapeInstance::RemovePlayer(SequencePlayer* player)
{
    for (List<SequenceEvaluator*>::Iterator it(evaluators_); !it.AtEnd();) {
        if ((*it.Get())->player_ != player) {
            it.Next();
            continue;
        }
        auto* gone = it.CurrentNode();
        it.Next();
        DeleteEvaluator(gone);
    }
    for (ShapeInstance* child : children_)
        child->RemovePlayer(player);
}

// ---- Object operations -----------------------------------------------------------

const Sequence* VeObject::RootSequence(int32_t index) const
{
    return root_ ? Sequences::Find(root_->sequences_.get(), index) : nullptr;
}

bool VeObject::HasSequence(int32_t index) const
{
    return RootSequence(index) != nullptr;
}

bool VeObject::SequenceIsStatic(int32_t index) const
{
    const Sequence* s = RootSequence(index);
    return s && (s->flags_ & kSequenceStatic);
}

bool VeObject::IsPlayingSequence(int32_t index)
{
    SequencePlayer** front = players_.At(0);
    return front && !(*front)->Layered() && (*front)->index_ == index;
}

bool VeObject::IsPlayingLayeredSequence(int32_t index)
{
    if (players_.IsEmpty())
        return false;
    SequencePlayer* back = *List<SequencePlayer*>::NodeValue(players_.Last());
    return back->Layered() && back->index_ == index;
}

bool VeObject::StartMain(const Sequence& sequence, int32_t speed, uint32_t& mode, uint64_t& start, bool counted,
                         bool dropAlways)
{
    SequencePlayer** front = players_.At(0);
    SequencePlayer* f = front ? *front : nullptr;
    if ((sequence.flags_ & kSequenceStatic) || !f || f->Layered() || f->useCount_ <= 0) {
        mode &= ~SequenceMode::kBlendIn;
        return false;
    }
    if (mode & SequenceMode::kBlendIn) {
        const uint32_t blend = BlendTicks(speed);
        root_->BeginBlend(start, blend);
        start += blend;
    } else if (counted || dropAlways) {
        root_->DropMainSequence();
    }
    return true;
}

namespace {

// The object's own hold on a player it no longer plays as its main sequence.
void DropObjectHold(SequencePlayer& player)
{
    if (!(player.mode_ & SequenceMode::kObjectHold))
        return;
    player.mode_ &= ~SequenceMode::kObjectHold;
    --player.useCount_;
}

const std::vector<trevok::SequenceSound>* SoundsOf(const Sequence& s)
{
    return s.sounds_.empty() ? nullptr : &s.sounds_;
}

} // namespace

void VeObject::PlaySequence(int32_t index, const int32_t* speed, int32_t repeatCount, uint64_t start,
                            uint8_t* completion, uint32_t mode, bool counted)
{
    const Sequence* sequence = RootSequence(index);
    if (!sequence) {
        // Nothing to play: whoever waits for the end is not left waiting.
        if (completion)
            *completion = 1;
        return;
    }
    const int32_t rate = speed ? *speed : kFixedOne;
    mode &= SequenceMode::kPlayMask;
    if (!(mode & SequenceMode::kHoldLastPose))
        mode |= SequenceMode::kRemoveAtEnd;
    SequencePlayer* previous = players_.IsEmpty() ? nullptr : *players_.At(0);
    if (!(mode & SequenceMode::kLayered) && StartMain(*sequence, rate, mode, start, counted, false))
        DropObjectHold(*previous);
    else if (mode & SequenceMode::kLayered)
        mode &= ~SequenceMode::kBlendIn;
    auto* player = new SequencePlayer;
    player->Init(completion, rate, mode | SequenceMode::kObjectHold, repeatCount, start, index, SoundsOf(*sequence));
    player->soundSource_ = root_->sequences_;
    if (player->Layered())
        players_.PushBack(player);
    else
        players_.PushFront(player);
    root_->AttachSequence(player, counted);
    player->end_ = repeatCount >= 1 ? uint64_t(player->length_) * uint64_t(repeatCount) + start : 0;
    if (completion)
        *completion = 0;
}

void VeObject::PlaySequenceOnTrack(int32_t index, const int32_t* speed, int32_t repeatCount, uint64_t start,
                                   uint8_t* completion, uint32_t mode, bool counted, int32_t track)
{
    const Sequence* sequence = RootSequence(index);
    if (!sequence) {
        if (completion)
            *completion = 1;
        return;
    }
    mode &= SequenceMode::kTrackMask;
    if (!(mode & SequenceMode::kHoldLastPose))
        mode |= SequenceMode::kRemoveAtEnd;
    if (track != -1)
        for (auto* n = players_.First(); n != players_.End(); n = n->next) {
            SequencePlayer* p = *List<SequencePlayer*>::NodeValue(n);
            if (p->track_ == track && p->useCount_ > 0) {
                p->SignalDone();
                DeletePlayer(n);
                break;
            }
        }
    auto* player = new SequencePlayer;
    player->Init(completion, speed ? *speed : kFixedOne, mode | SequenceMode::kObjectHold, repeatCount, start, index,
                 SoundsOf(*sequence));
    player->soundSource_ = root_->sequences_;
    player->track_ = track;
    players_.PushBack(player);
    root_->AttachSequence(player, counted);
    player->end_ = repeatCount >= 1 ? uint64_t(player->length_) * uint64_t(repeatCount) + start : 0;
    if (completion)
        *completion = 0;
}

void VeObject::StopSequences(uint32_t flags, int32_t track)
{
    for (List<SequencePlayer*>::Iterator it(players_); !it.AtEnd();) {
        SequencePlayer* p = *it.Get();
        const bool match = (flags & kStopAll) || ((flags & kStopTrack) && p->track_ == track);
        if (p->useCount_ <= 0 || !match) {
            it.Next();
            continue;
        }
        p->SignalDone();
        auto* gone = it.CurrentNode();
        it.Next();
        DeletePlayer(gone);
    }
}

uint8_t VeObject::PlaySequenceTo(int32_t index, const int32_t* speed, const int32_t* from, const int32_t* to,
                                 uint64_t start, uint64_t* endOut, uint8_t* completion, uint32_t mode, bool counted)
{
    const Sequence* sequence = RootSequence(index);
    if (!sequence || sequence->keys_.empty() || !from || !to) {
        if (completion)
            *completion = 1;
        return 0;
    }
    const int32_t rate = speed ? *speed : kFixedOne;
    mode &= SequenceMode::kPlayToMask;
    const int32_t last = sequence->keys_.back().time_;
    SequencePlayer* front = players_.IsEmpty() ? nullptr : *players_.At(0);
    const bool sameRunning = front && (front->mode_ & SequenceMode::kPlayTo) && front->index_ == index;
    // A layered playback leaves the main sequence playing on every node, at its own time.
    if ((mode & SequenceMode::kLayered) || sameRunning || !StartMain(*sequence, rate, mode, start, counted, true))
        mode &= SequenceMode::kLayered;
    SequencePlayer* player = nullptr;
    for (SequencePlayer* p : players_)
        if (p->index_ == index && (p->mode_ & SequenceMode::kPlayTo) && p->useCount_ > 0) {
            player = p;
            break;
        }
    uint8_t result = 1;
    if (!player) {
        if (*from == *to) {
            if (completion)
                *completion = 1;
            return 1;
        }
        player = new SequencePlayer;
        player->Init(completion, rate, mode | SequenceMode::kObjectHold | SequenceMode::kPlayTo, 1, start, index,
                     SoundsOf(*sequence));
        player->soundSource_ = root_->sequences_;
        if (player->Layered())
            players_.PushBack(player);
        else
            players_.PushFront(player);
        player->from_ = MulDiv(*from, last, kFixedOne);
        result = root_->AttachSequence(player, counted) ? 1 : 0;
    } else {
        if (!(player->mode_ & SequenceMode::kFinished)) {
            if (start > player->start_) {
                if (start < player->end_) {
                    // Re-aimed from where it has got to.
                    const double f = double(start - player->start_) / double(player->end_ - player->start_);
                    const int32_t fraction = std::clamp(FloorToInt(f * 65536.0), 0, kFixedOne);
                    player->from_ += MulDiv(fraction, player->to_ - player->from_, kFixedOne);
                } else {
                    player->from_ = player->to_;
                }
            }
        } else {
            player->from_ = player->to_;
        }
        player->start_ = start;
        player->speed_ = rate;
        player->completion_ = completion;
        player->mode_ &= ~(SequenceMode::kFinished | SequenceMode::kRemoveAtEnd);
    }
    player->to_ = MulDiv(*to, last, kFixedOne);
    if (*to == *from)
        player->mode_ |= SequenceMode::kRemoveAtEnd;
    const int64_t distance = int64_t(player->to_) - player->from_;
    if (distance < 0)
        player->speed_ = -rate;
    // A stopped playback never arrives.
    player->end_ = rate > 0 ? start + uint64_t((std::abs(distance) * kFixedOne + rate / 2) / rate) : 0;
    if (endOut)
        *endOut = player->end_;
    if (completion)
        *completion = 0;
    return result;
}
