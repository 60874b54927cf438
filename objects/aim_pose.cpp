#include "objects/aim_pose.h"

#include "Veapi/sequence_player.h"
#include "Veapi/ve_object.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

constexpr float kStepsPerRadian = 4096.0f / (2.0f * std::numbers::pi_v<float>);

// The playback that holds the sweep's pose, when one does.
SequencePlayer* PoseOf(VeObject& shape, int32_t sequence)
{
    for (SequencePlayer* player : shape.Players())
        if (player->index_ == sequence && (player->mode_ & SequenceMode::kPlayTo) && player->useCount_ > 0)
            return player;
    return nullptr;
}

// A fraction of a sequence as its 16.16 position, clamped to the sequence.
int32_t SequencePosition(float fraction)
{
    if (!std::isfinite(fraction))
        return AimPoses::kMiddle;
    return static_cast<int32_t>(std::clamp(fraction, 0.0f, 1.0f) * 65536.0f);
}

} // namespace

float UnitAim::Pitch(float v, float dy, float x, bool ballistic)
{
    if (!(x > 0.0f))
        return dy > 0 ? 1024.0f : dy < 0 ? -1024.0f : 0.0f;
    float slope = dy / x;
    if (ballistic && v > 0.0f) {
        const float g = kGravity, v2 = v * v;
        const float d = std::max(0.0f, v2 * v2 + 2.0f * g * dy * v2 - g * g * x * x);
        slope = (dy - g * (dy * dy + x * x) / (v2 + g * dy + std::sqrt(d))) / x;
        if (!std::isfinite(slope))
            slope = -(v2 - std::sqrt(d)) / (g * x);
    }
    return std::atan(slope) * kStepsPerRadian;
}

int32_t AimPoses::PitchPosition(float pitch) { return SequencePosition(0.5f - pitch * 2.0f / 4096.0f); }

int32_t AimPoses::YawPosition(float difference) { return SequencePosition(difference / 4096.0f + 0.5f); }

void AimPoses::Play(VeObject* shape, int32_t sequence, int32_t to, uint64_t now, uint64_t slack, uint8_t* reached)
{
    int32_t& at = sequence == kPitchSequence ? pitchAt_ : yawAt_;
    uint64_t end = 0;
    if (shape && shape->HasSequence(sequence)) {
        SequencePlayer* holding = PoseOf(*shape, sequence);
        if (holding && at == to) {
            // Unchanged: played again "to where it is" the pose would be let
            // go of on arrival, and the gun would spring back to level.
            end = holding->end_;
        } else {
            // Without a playback the node stands as its main sequence puts
            // it: the middle.
            if (!holding)
                at = kMiddle;
            // Layered: as the front sequence a pose would hide the walk or
            // the stance, which would then be started again on every pass.
            shape->PlaySequenceTo(sequence, nullptr, &at, &to, now, &end, reached, SequenceMode::kLayered, false);
        }
    }
    at = to;
    if (reached && end <= now + slack)
        *reached = 1;
}

void AimPoses::Centre(VeObject* shape, uint64_t now)
{
    Play(shape, kPitchSequence, kMiddle, now, 0, nullptr);
    Play(shape, kYawSequence, kMiddle, now, 0, nullptr);
}

void AimPoses::HoldStance(VeObject* shape, int32_t speed, uint64_t now)
{
    if (shape && shape->HasSequence(kStanceSequence) && !shape->IsPlayingSequence(kStanceSequence))
        shape->PlaySequence(kStanceSequence, &speed, -1, now, nullptr, SequenceMode::kBlendIn, false);
}
