// Saved games: a level-start save (level names, the squad's items and the
// level state block) or a full save of the running world after them. The
// whole file is read and checked in memory before anything of the running
// game changes; saves are written to a temporary file, synced and renamed.
// Parts of the world owned by other subsystems (client replicas, camera,
// fog, fences, triggers, doors, console state, the level itself) come and
// go through the hooks below, which those subsystems install.
#pragma once

#include "app/maths.h"
#include "platform/byte_cursor.h"
#include "session/item_snapshot.h"
#include "session/level_session.h"

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

class GameObject;
class WorldObject;

// One 104-byte record shared by the console, the command scripts and the
// level lighting; a load takes only some of its fields.
struct LevelStateBlock {
    static constexpr uint32_t kSize = 104;
    static constexpr uint32_t kPhaseLoading = 3;

    std::array<uint8_t, 16> waitDeadlines{};  // command-script waits
    uint8_t flag16 = 1, flag17 = 1, flag18 = 0, flag19 = 1;
    uint32_t word20 = 5;
    uint32_t displayMode = 1;  // the console's
    std::array<uint32_t, 5> words28{};
    uint32_t word48 = 1, word52 = 1;
    uint32_t sunWord56 = 0;
    std::array<float, 4> sunColour{0.3f, 0.3f, 0.275f, 1.0f};
    uint32_t sunWord76 = 2;
    std::array<float, 3> sunDirection{0.65f, -0.3937f, -0.65f};
    float value92 = 150.0f;
    uint32_t levelPhase = 1;  // kPhaseLoading while a save loads
    uint8_t clickWait = 0, clicked = 0;

    static LevelStateBlock& Live();
    void Write(trevok::ByteWriter& out) const;
    void Read(trevok::ByteReader& in);
    // Copies the fields a load takes from a stored block.
    void TakeLoaded(const LevelStateBlock& stored);
    bool operator==(const LevelStateBlock&) const = default;
};

namespace SavedGame {

// Stable class tags in word 0 of each object image, never addresses.
enum class ClassTag : uint32_t {
    kPlain = 1, kActor, kUnitActor, kProjectile, kKind5, kKind8, kKind9, kKind10,
    kKind11, kKind12, kKind13, kKind14, kKind16, kKind17,
    // Client replicas.
    kReplica = 101, kReplicaMoving, kReplicaUnit, kReplicaProjectile, kReplica5, kReplica8, kReplica9,
    kReplica10, kReplica11, kReplica12, kReplica13, kReplica14, kReplica16, kReplica17,
};
struct ClassInfo {
    ClassTag tag;
    uint32_t size;  // image bytes
    int32_t kind;   // AI kind class, 0 for the unkinded classes
    bool actor, unit, projectile;  // actor: a replica that moves (IsMobile)
};
// Null for a tag not in the server objects' table.
const ClassInfo* FindClass(uint32_t tag);
// The class an object saves as (its predicates and kind).
const ClassInfo& ClassOf(const GameObject& object);
// The same for client replicas.
const ClassInfo* FindReplicaClass(uint32_t tag);
const ClassInfo& ReplicaClassOf(const WorldObject& object);

inline constexpr uint32_t kItemRecordSize = 52;
inline constexpr uint32_t kTriggerImageSize = 88;
inline constexpr uint32_t kMaxNamedValueLength = 251;
inline constexpr uint32_t kMaxLineLength = 249;
inline constexpr int32_t kSides = 10;
inline constexpr int32_t kMaxOrderKind = 10;

struct ObjectRecord {
    std::vector<uint8_t> image;  // word 0 the class tag
    int32_t roleId = -1;         // -1: no role
    uint32_t objectId = 0;
    std::vector<uint8_t> state;  // the object's own state block
    const ClassInfo* info = nullptr;

    int32_t Side() const;
    Vec3 Position() const;
    Quaternion Orientation() const;
};

struct ItemOwner {
    uint32_t ownerId = 0;
    std::vector<std::array<uint8_t, kItemRecordSize>> items;
};

struct Trigger {
    std::array<uint8_t, kTriggerImageSize> image{};
    std::optional<std::string> scriptName;  // stored when the image's word at 68 is not 0
    std::vector<std::string> names;
};

struct Door {
    uint32_t number = 0;
    std::vector<uint32_t> polygons;  // indices into the level's polygon table
    bool closed = false;
};

struct Camera {
    std::array<float, 3> angles{};  // 4096ths of a turn
    Vec3 target{0, 0, 0};
    float distance = 0;
};

struct Fence {
    Vec3 start{0, 0, 0}, end{0, 0, 0};
};

// Fields 7 to 32 of a full save.
struct World {
    float gameTime = 0;
    uint32_t nextObjectId = 1;
    std::vector<ObjectRecord> serverObjects, clientObjects;
    uint32_t nextItemId = 1;
    std::vector<ItemOwner> owners;
    std::vector<std::string> lines;
    std::vector<std::pair<std::string, float>> namedValues;
    std::vector<std::string> partNames;
    std::vector<Trigger> triggers;
    std::vector<Door> doors;
    Camera camera;
    uint32_t fogSize = 0;
    std::vector<uint32_t> fogCells;  // fogSize * fogSize, row by row
    std::vector<Fence> fences;
};

struct File {
    std::string levelScript, companion;
    bool levelStart = true;
    std::vector<UnitItems> items;
    LevelStateBlock block;
    std::optional<World> world;  // full saves only
};

std::vector<uint8_t> Write(const File& file);
// Checks every count, length, index and class against the bytes; on failure
// `error` names the offset and what was wrong.
bool Parse(std::span<const uint8_t> bytes, File& out, std::string* error = nullptr);
// Reads and checks a saved game by name without changing anything.
bool CheckFile(std::string_view name, std::string* error = nullptr);
std::optional<std::vector<uint8_t>> ReadSave(std::string_view name, std::string* error = nullptr);
// Restores a saved game from its bytes (LoadSavedGame's work): nothing
// changes when they do not parse; a full load that fails after the
// running level stopped ends the session.
bool Load(std::span<const uint8_t> bytes, std::string* error = nullptr);

// The server object state block of one record: its length, checked against
// the class; 0 when it does not parse.
size_t ServerStateLength(std::span<const uint8_t> state, const ClassInfo& info, std::span<const uint8_t> image);
// The same for a client replica's record.
size_t ReplicaStateLength(std::span<const uint8_t> state, const ClassInfo& info);

// The current level's file names (written as fields 1 and 2): the
// session's own.
using LevelNames = Session::LevelNames;
LevelNames& CurrentLevel();

// What other subsystems install. A hook left empty saves nothing (count 0)
// and ignores what it is given on load.
struct Hooks {
    // The level: stop it, load it without queuing its companion file, end
    // the session and open a level's briefing.
    std::function<void()> stopLevel;
    std::function<bool(const LevelNames&)> loadLevel;
    std::function<void(int32_t)> enterBriefing;
    // A networked full load's start: every player says ready again and the
    // clocks start at `ticks`. Runs after the hand-over is left, since the
    // server thread takes the ready requests. Unset: nothing to wait for.
    std::function<bool(uint64_t ticks)> handshake;
    // The server objects' dynamic kinds (projectiles), made from their image.
    std::function<GameObject*(const ObjectRecord&, uint32_t id)> createDynamic;
    // The rest of the world, one section per owning subsystem: each fills
    // its fields of a World on save and applies them on load (after every
    // object exists and is fixed up, before any is activated). `restoring`
    // is told when a full load starts rebuilding and when it ends.
    struct Section {
        std::function<void(World&)> save;
        std::function<bool(const World&)> load;
        std::function<void(bool on)> restoring;
    };
    std::vector<Section> sections;
    std::function<float()> gameSeconds;
};
Hooks& GetHooks();
// Adds one subsystem's section (its install function calls this once).
void AddSection(Hooks::Section section);

// The sections this folder and the ones below it own: the level load and
// stop of a full load, the part names, triggers, doors and fog.
void InstallLevelSections();

} // namespace SavedGame

// Writes the save under the user's saves folder; false when any part of it
// could not be written (the old file is then unchanged).
bool SaveGame(const char* name, int full);
// False when the file is missing or damaged (nothing changed then), or when
// a full load failed after the running level stopped (the session ends).
bool LoadSavedGame(const char* name);
