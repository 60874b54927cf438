// The think routines the AI type picks (see Ai::SetType): combat for the
// soldiers and emplacements of types 0, 12 and 17, devices (2), noise-shy
// creatures (1), homing bombs (3 and 15), spawners (14) and the type that
// only stops when idle (7). Each returns at once before the object's next
// think time. The AI pass calls them on the server thread.
#pragma once

#include "app/maths.h"

#include <array>
#include <cstdint>

class GameObject;

// AI flag bits the routines use besides those of objects/game_object.h.
inline constexpr uint32_t kAiWasHit = 0x4;
inline constexpr uint32_t kAiStayPut = 0x20;
inline constexpr uint32_t kAiAimWhileMoving = 0x40;
// A device that has gone off: it never goes off again.
inline constexpr uint32_t kObjectDetonated = 0x400;

namespace AiMessage {
inline constexpr uint32_t kAlarm = 64;         // {64, id}: an alarm is raised
inline constexpr uint32_t kSearchOver = 65;    // {65, id}: back to calm
inline constexpr uint32_t kSearching = 66;     // {66, id}: searching
inline constexpr uint32_t kBombBlast = 71;     // {71, x, y, z}
inline constexpr uint32_t kDeviceBlast = 75;   // {75, x, y, z}
inline constexpr uint32_t kChaseStarted = 115; // {115, x, y, z, radius 20.0, 0x30001}
} // namespace AiMessage

namespace Ai {
int32_t ThinkCombat(GameObject& object, uint64_t time);
int32_t ThinkType1(GameObject& object, uint64_t time);
int32_t ThinkType2(GameObject& object, uint64_t time);
int32_t ThinkType3(GameObject& object, uint64_t time);
int32_t ThinkType7(GameObject& object, uint64_t time);
int32_t ThinkType14(GameObject& object, uint64_t time);
int32_t ThinkType15(GameObject& object, uint64_t time);

// A device goes off: message 75, a noise, its removal, and its blast on
// everything within its sight range (other devices go off in turn). Once.
void Detonate(GameObject& device, uint64_t time);
// A homing bomb (type 3) starts chasing `target`.
void StartChase(GameObject& bomb, GameObject& target, uint64_t time);
// Keeps the object `margin` inside the level's bounds on x and z; a
// coordinate that was moved flips the sign of that component of `velocity`.
void ClampToLevel(GameObject& object, float margin, Vec3& velocity);

// The directions type-1 creatures take in turn: 20 entries read at a
// running index that every type-1 think advances (and wraps at 20).
struct GroupVector {
    Vec3 direction{0, 0, 0};
    std::array<float, 20> weights{};
};
inline constexpr int32_t kGroupVectors = 20;
std::array<GroupVector, kGroupVectors>& GroupVectors();
int32_t& GroupVectorIndex();
// Fills the table with 20 headings spread evenly round the turn (level load).
void ResetGroupVectors();

// Installs these routines, the type-2 event and the device detonator in
// the AI's tables (the server's start; tests that replace one restore it).
void InstallRoutines();

// The ground-plane cosine between two directions; 0 when either has no
// horizontal part (a point straight above or below).
float GroundCosine(const Vec3& a, const Vec3& b);
} // namespace Ai
