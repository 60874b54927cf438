// Playback of animation sequences on 3-D objects: a player keeps the timing
// of one playback (start, speed, repeats, end, blend-in) and starts the
// sequence's sounds at their times; every node of the object's tree poses
// itself from its evaluator of that player. Times are 64-bit clock ticks, so a
// long game never wraps them.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "Veapi/hierarchy.h"

class VeObject;

namespace SequenceMode {
constexpr uint32_t kLayered = 0x004;
constexpr uint32_t kBlendIn = 0x008;
constexpr uint32_t kHoldLastPose = 0x010;
constexpr uint32_t kPlayTo = 0x020;
constexpr uint32_t kRemoveAtEnd = 0x040;
constexpr uint32_t kObjectHold = 0x080;
constexpr uint32_t kFinished = 0x100;
constexpr uint32_t kReverse = 0x200;
// What callers may pass to each play operation.
constexpr uint32_t kPlayMask = 0x25C;
constexpr uint32_t kTrackMask = 0x254;
constexpr uint32_t kPlayToMask = 0x00C;
} // namespace SequenceMode

using trevok::kFixedOne;  // 16.16 fixed point
constexpr uint32_t kBlendStateSet = 11;

class SequencePlayer {
public:
    void Init(uint8_t* completion, int32_t speed, uint32_t mode, int32_t repeatCount, uint64_t start, int32_t index,
              const std::vector<trevok::SequenceSound>* sounds);
    void SignalDone();
    // Ends the playback when its end has passed and, given an object, starts
    // the sounds whose times were reached.
    void Advance(uint64_t time, VeObject* object);

    bool Layered() const { return (mode_ & SequenceMode::kLayered) != 0; }

    uint64_t start_ = 0;
    uint64_t end_ = 0;  // 0: no end
    uint32_t length_ = 0;
    int32_t index_ = 0;
    int32_t from_ = 0, to_ = 0;  // ticks into the sequence (play-to only)
    uint8_t* completion_ = nullptr;
    int32_t speed_ = kFixedOne;
    int32_t useCount_ = 1;
    uint32_t mode_ = 0;
    int32_t repeatCount_ = 1;  // below 1: for ever
    uint32_t repeatsDone_ = 0;
    int32_t track_ = -1;
    const std::vector<trevok::SequenceSound>* sounds_ = nullptr;  // null: no sounds
    size_t soundCursor_ = 0;
    // Keeps the set the sounds belong to while a node swaps in a copy of its own.
    std::shared_ptr<const SequenceSet> soundSource_;

    // Where sequence sounds go; unset, sounds are skipped. Set once at start-up.
    static void SetSoundHook(std::function<void(int32_t soundId, VeObject* object)> hook);
    // The clock rate blends are measured in; 0 (the default) is the global
    // clock's calibrated rate.
    static void SetTicksPerSecond(int32_t ticks);
    // The rate in use; loaders build key times in it.
    static int32_t TicksPerSecond();
};

// One node's part of a playback. The state word says whether it counts
// towards the player's use count.
struct SequenceEvaluator {
    static constexpr int32_t kCounted = 1;
    int32_t state_ = 0;
    SequencePlayer* player_ = nullptr;
    const Sequence* sequence_ = nullptr;
    size_t currentKey_ = 0;
};

// Blend-in state of a node: the pose when the new sequence was asked for.
struct NodeBlend {
    uint64_t start = 0;
    uint32_t length = 0;
    NodePose from;
    QuaternionBlend rotation;
    uint32_t state = 0;  // kBlendStateSet while a blend is set up
};

// The pose of one evaluator at a time: `ended` when a playback that does not
// keep its last pose has run out.
struct EvaluatedPose {
    NodePose pose;
    bool ended = false;
};

namespace SequenceEvaluation {
// Finds the keys around the time (walking on from the evaluator's current
// key) and poses the node; before the player's start the node blends in from
// `blend` when one is set up.
EvaluatedPose Evaluate(SequenceEvaluator& evaluator, const NodeBlend& blend, uint64_t time);
// The playback's position in the sequence at a time, in ticks from its start:
// speed and play-to offsets applied, repeats not yet wrapped.
int64_t SequenceTime(const SequencePlayer& player, uint64_t time);
} // namespace SequenceEvaluation
