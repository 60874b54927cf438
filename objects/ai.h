// The AI's scheduling: a role's AI type picks an object's think routine, the
// AI pass calls the routines of the objects that take part once per server
// pass, noises become short-lived records that wake listeners, and the
// remote-device table keeps the deployed remote mines and decoys for the
// keys F1 to F10. All of it runs on the server thread; the keys reach the
// device table from the game thread under the hand-over (AlertTable).
#pragma once

#include "app/maths.h"
#include "objects/game_object.h"
#include "objects/object_registry.h"

#include <array>
#include <cstdint>
#include <vector>

// AI states the status window names.
namespace AiState {
inline constexpr int32_t kInitial = 3;
inline constexpr int32_t kAggravated = 4;
inline constexpr int32_t kHeadingFor = 6;
inline constexpr int32_t kPathfinding = 8;
} // namespace AiState

namespace Ai {
// Next think, state, aggression, flags and the routine of `type`.
void SetType(GameObject& object, int32_t type, uint64_t now);
// The routines of the types whose think code lives elsewhere (combat for 0,
// 12 and 17; types 1, 2, 3, 7, 14 and 15; the type-2 event callback);
// unset ones give the object no routine. The routine of 0, 12 and 17 is
// given only to an object with a current weapon.
void SetRoutine(int32_t type, ThinkRoutine think);
void SetEventCallback(ThinkRoutine callback);
ThinkRoutine Routine(int32_t type);
// Does nothing (types 6, 13 and 16).
int32_t ThinkIdle(GameObject& object, uint64_t now);
// The words the status window shows for the object.
const char* StateText(const GameObject& object);
} // namespace Ai

namespace AiRandom {
extern const uint32_t kStartWords[ParticleRandom::kDegree];
LockedRandom& Get();
inline uint32_t Next() { return Get().Next() >> 1; }  // below 2^31
} // namespace AiRandom

// The active player slots whose teams think in the AI pass.
namespace AiPlayerSlots {
void Add(int32_t slot);
void Clear();
const std::vector<int32_t>& All();
} // namespace AiPlayerSlots

namespace AiPass {
// Once per pass with the server time; calls the think routines that take part.
void Run(uint64_t now);
// Counts passes for the every-tenth sweep of the noise list (level load).
void Reset();
// Whether a side is played by a player; the team table answers once built.
bool IsSquadSide(int32_t side);
} // namespace AiPass

// A noise: where, how loud (20 explosion, 25 impact, 30 decoy pulse), still
// (3) or moving (5), until when, and the object it follows, if any.
struct NoiseRecord {
    Vec3 first{0, 0, 0}, second{0, 0, 0};
    int32_t value = 0;
    int32_t kind = 3;
    uint64_t expiry = 0;
    GameObject* followed = nullptr;  // one reference while set
};

namespace ObjectTrackers {
// Appends a noise; living team-2 listeners of AI type 0 or 1 within hearing
// that are not attacking think at once.
void Add(int32_t value, int32_t kind, const Vec3& first, const Vec3& second, uint64_t expiry, uint64_t now);
// A noise that follows the object (value 25, kind 5) until the object goes.
void AddFollowing(GameObject& object);
// Drops every record that follows the object.
void RemoveFor(GameObject& object);
// Frees every record (level load and stop).
void Clear();
// Every tenth pass: followers take their object's position, others expire.
void Sweep(uint64_t now);
const std::vector<NoiseRecord>& All();
} // namespace ObjectTrackers

// Device kinds, from the character's "weapon" value of a type-2 object.
namespace DeviceKind {
inline constexpr int32_t kRemoteMine = 1;
inline constexpr int32_t kTimedMine = 2;
inline constexpr int32_t kDecoy = 3;
} // namespace DeviceKind

namespace RemoteDeviceTable {
inline constexpr int32_t kSlots = 12;
// The slot index, or -1 when all 12 are taken.
int32_t Add(GameObject& object);
// Keys F1 to F10: slot 0 to 9. Set off what the slot holds and empty it.
void Trigger(int32_t slot, uint64_t now);
// Every remote mine goes off; all slots empty.
void TriggerAll(uint64_t now);
void Remove(GameObject& object);
void Clear();
GameObject* At(int32_t slot);
// How a remote mine goes off; set by the device think code.
void SetDetonator(void (*detonate)(GameObject& mine, uint64_t now));
} // namespace RemoteDeviceTable

// The type-2 event: sound, device slot or timer, flag 0x100.
namespace Ai {
int32_t OnType2Event(GameObject& object, uint64_t now);
}

// What the game thread's keys call; each takes the hand-over.
namespace AlertTable {
void Answer(uint32_t key, int slot);  // F1..F10 answer slot 0..9
void ResolveAll();
// Every slot empty, nothing set off: a level begins with no alerts.
void Clear();
} // namespace AlertTable
