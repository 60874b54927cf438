// The level's timed and lasting visual effects: plain tagged records in two
// lists. Builders fill a record of one kind and insert it; one pass a frame
// advances every record, frees finished ones and queues the visible ones.
// The world list is drawn by the main loop with the scene; the late list
// (laser fences, line traces, screen fades) by the frame pass after the
// shadows and before the overlays. Game thread only: the lists have no lock.
#pragma once

#include <cstdint>
#include <vector>

#include "app/list.h"
#include "app/maths.h"

class Camera;
class EffectObject;
class Light;
class LightSet;
class ParticleEmitter;
class RenderMaterial;
class VeObject;

namespace EffectKind {
enum : int32_t {
    Flash = 0, FacingFlash = 1, LightRay = 2, Electricity = 3, LaserFence = 4, Spotlight = 5, SphereMap = 6,
    ShieldShell = 7, Dissolve = 8, Liquid = 9, Ring = 10, GroundCrackle = 11, ExplosionArea = 12,
    BeamTrace = 13, CursorTrace = 14, PulsingLight = 15, TextureAnimation = 16, Basin = 17, ScreenFade = 18,
    Count = 19
};
// Whether records of the kind belong to the late list.
bool IsLate(int32_t kind);
} // namespace EffectKind

// One effect. Times are game-clock ticks held in 64 bits, so nothing stalls
// when a 32-bit count would wrap (about 24 minutes of play). The record owns
// what it points at; destroying it releases everything in a fixed order.
struct EffectRecord {
    EffectRecord() = default;
    explicit EffectRecord(int32_t k) : kind(k) {}
    ~EffectRecord();
    EffectRecord(const EffectRecord&) = delete;
    EffectRecord& operator=(const EffectRecord&) = delete;

    int32_t kind = 0;
    float param = 0;
    int64_t hold = 0;     // ticks
    uint64_t timeA = 0;
    uint64_t timeB = 0;
    VeObject* instance = nullptr;     // one use
    List<Light*> lights;              // in the global light set; null handles never kept
    LightSet* lightSet = nullptr;     // one reference
    ParticleEmitter* emitter = nullptr;  // stopped on free; the particle system frees it
    std::vector<Vec3> points;
    EffectObject* object = nullptr;   // one reference
    RenderMaterial* material = nullptr;  // one reference
    uint8_t flag = 0;
    float size = 0;
    int32_t columns = 0;
    Colour colourA, colourB;

    // Holds the object (a new reference).
    void Attach(EffectObject* o);
    // Keeps a light handle of the global light set; a null handle (the set
    // was full) is skipped.
    void KeepLight(Light* light);
    // Releases everything the record holds, in the order instance, object,
    // lights, light set, points, emitter; safe to call twice.
    void Free();
};

using EffectList = List<EffectRecord*>;

namespace Effects {
EffectList& WorldList();
EffectList& LateList();
// The list a record of that kind goes to.
EffectList& ListFor(int32_t kind);

// Before the first record of the same kind (so a kind stays together and its
// newest record leads), else at the tail. The list takes the record.
void Insert(EffectList& list, EffectRecord* record);
// Unlinks and deletes the record under the walk's iterator.
void Remove(EffectList::Iterator& it);

// The per-frame pass over one list; the one-argument form is the world list.
void UpdateAndDrawAll(int64_t now, EffectList& list);
void UpdateAndDrawAll(int64_t now);
// Frees every record of the world list, then of the late list.
void ClearAll();

// Startup installs the level hooks: the session's level load and stop
// reach the shadows, the ballistic objects and the effect lists through them.
void Startup();
void Shutdown();
void InstallLevelHooks();

// First record of the kind in list order, or null.
EffectRecord* FindFirst(EffectList& list, int32_t kind);
int32_t CountKind(const EffectList& list, int32_t kind);

// The game clock's integer ticks per second, as effects read it.
int64_t TicksPerSecond();
// Ticks of a duration, rounded down; negative and non-finite durations are 0
// and huge ones stop at a day, so no end time overflows.
int64_t SecondsToTicks(double seconds);
// Seconds of a tick count.
double TicksToSeconds(int64_t ticks);
// How far `now` is from `start` to `end`: 0 before the start, 1 at or after
// the end, and 1 for an empty or inverted span (a 0 s effect shows its end at
// once).
float Fraction(uint64_t now, uint64_t start, uint64_t end);
// Ticks from `start` to `now`; 0 when the clock is behind the start.
uint64_t Elapsed(uint64_t now, uint64_t start);
// The clock as effects keep it (a negative game time reads as 0).
uint64_t ClockTicks(int64_t now);

// The game time builders read when their caller gives none; the game
// clock unless a test replaces it.
int64_t Now();
void SetClock(int64_t (*now)());

// The camera effects are queued with; the main camera unless replaced.
Camera* GameCamera();
void SetGameCamera(Camera* camera);
// The light set spot and point lights join (the engine's global set).
LightSet* GlobalLights();
} // namespace Effects
