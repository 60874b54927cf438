// The aiming of an armed character, shared by the server's unit and its
// client replica: the pitch of a shot at a point, and the poses that show it
// on the model (the weapon's pitch sweep, the torso's turn and the aiming
// stance behind them).
#pragma once

#include <cstdint>

class VeObject;

namespace UnitAim {
inline constexpr float kGravity = 9.81f;
// The pitch (4096ths, positive downward) of a shot with muzzle speed `v` at
// a point `dy` below and `x` away horizontally: along the line for a
// straight projectile, on the low arc for a ballistic one (beyond reach,
// as from a zero root). Straight up or down at x = 0, and straight along the
// line at speed 0, so the answer is never NaN.
float Pitch(float v, float dy, float x, bool ballistic);
} // namespace UnitAim

// The model's aiming sequences. The pitch and yaw poses are sweeps held at a
// fraction (16.16 of the sequence; the middle points straight ahead), played
// layered behind the body's own sequence so the legs keep walking.
class AimPoses {
public:
    static constexpr int32_t kFireSequence = 2, kPitchSequence = 5, kYawSequence = 12, kStanceSequence = 13;
    static constexpr int32_t kMiddle = 32768;

    // The pitch sweep's position for a pitch in 4096ths (positive downward):
    // the gun down at 0, level in the middle, up at 65536.
    static int32_t PitchPosition(float pitch);
    // The torso sweep's position for a turn of `difference` 4096ths from the
    // body's heading (positive to the right).
    static int32_t YawPosition(float difference);

    // Plays the pitch or yaw sweep from where it last stood to `to` from
    // `now`. `reached` is set when the pose arrives within `slack` ticks (at
    // once when the model lacks the sequence), else by the playback when it
    // arrives.
    void Play(VeObject* shape, int32_t sequence, int32_t to, uint64_t now, uint64_t slack, uint8_t* reached);
    // Both sweeps back to the middle.
    void Centre(VeObject* shape, uint64_t now);
    // Starts the aiming stance, looped at `speed` (16.16), when the model has
    // it and it is not playing already.
    static void HoldStance(VeObject* shape, int32_t speed, uint64_t now);

    int32_t PitchAt() const { return pitchAt_; }
    int32_t YawAt() const { return yawAt_; }

private:
    int32_t pitchAt_ = kMiddle, yawAt_ = kMiddle;  // the poses last sent
};
