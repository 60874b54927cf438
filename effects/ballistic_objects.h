// Debris in flight: whole objects thrown under gravity, and destroyed objects
// broken into their shape's parts, each spinning away on its own, some
// trailing smoke from a "dum exhaust" dummy. One list on the game thread,
// advanced once a frame with the game time; every record lives five seconds
// of game time (or until its part explodes on the floor). Each record holds
// exactly one reference of its object.
#pragma once

#include <cstdint>

#include "app/list.h"
#include "app/maths.h"

class EffectObject;
class ParticleEmitter;
class ShapeInstance;
namespace script {
struct Role;
}

struct BallisticObject {
    ShapeInstance* node = nullptr;
    EffectObject* owner = nullptr;      // one reference
    ParticleEmitter* emitter = nullptr; // stopped when the record goes
    Vec3 velocity{0, 0, 0};
    Vec3 spinAxis{0, 0, 0};
    float spinAngle = 0;
    float floorHeight = 0;
    Vec3 turnedOffset{0, 0, 0};
    Vec3 restOffset{0, 0, 0};
    Quaternion offset{0, 0, 0, 0};
    uint64_t lifetime = 0;              // ticks left
    bool movesOwner = false;
};

namespace BallisticObjects {
inline constexpr const char* kExhaustDummy = "dum exhaust";
inline constexpr float kBaseGravity = 9.81f;
inline constexpr float kSpinRate = 3072.0f;  // 4096ths of a turn a second

void ResetForLevel();
void Add(EffectObject* object, float speed, const Vec3& direction);
void BreakUp(EffectObject* object, float speed, bool radial);
void UpdateAll(int64_t now);
void Clear();

List<BallisticObject*>& Records();
float GravityFactor();
script::Role* DebrisRole();
} // namespace BallisticObjects
