// The runtime records a compiled level script leaves behind: role records
// (object kinds with their character, light, projectile, emitter and
// destruction records), the weapon table and the ammunition table. The
// script layer sits below the 3-D engine, so shapes reach the records
// through RecordServices, which the game installs; records refer to shapes
// only by an owned handle.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace script {

class ScriptDefinition;

struct Float3 {
    float x = 0, y = 0, z = 0;
};

// A shape a record holds; the handle's deleter gives the use back.
struct ShapeRef {
    std::shared_ptr<void> shape;
    bool hasBox = false;
    Float3 minimum, maximum;
    bool hasCollision = false;
    // Hierarchies only.
    Float3 hotspot, alternateHotspot;
    int lowSequences = 0;   // how many of the sequences 21 to 25 it has
    int highSequences = 0;  // how many of 26 to 30
    explicit operator bool() const { return shape != nullptr; }
};

struct LightRecord {
    float red = 0, green = 0, blue = 0;
    float specularRed = 0, specularGreen = 0, specularBlue = 0;
    float range = 0;
};

struct ProjectileRecord {
    bool gravity = false;
    std::int32_t damage = 0;
    std::int32_t sound = 0;
    float maxRange = 0;
    std::int32_t blastDamage = 0;
    float blastRangeSquared = 0;
    std::optional<LightRecord> hitLight;
};

struct CharacterRecord {
    std::int32_t walkingSpeed = 0;  // x 65536
    std::int32_t turningSpeed = 0;  // x 4096
    std::int32_t aim = 0, sightAngle = 0, gunYawAngle = 0, elevationAngle = 0;  // 4096 per turn
    float sightRange = 0, sightRangeSquared = 0;
    float hearingRange = 0, hearingRangeSquared = 0;
    float alertRadius = 0, aggression = 0;
    float size = 0, radius = 0, height = 0;  // radius and height already times size
    float damageMultiplier = 0, shotSpeedMultiplier = 0, targetCycleTime = 0;
    float weaponCycleTime = 0, weaponCycleTime2 = 0, alarmDelay = 0;
    std::int32_t strength = 0, weapon = 0, secondaryWeapon = 0, generationLimit = 0;
    float statusU = 0, statusV = 0;
    bool canTurn = false, visionCone = false, alertable = false, latchTrigger = false, alwaysCpuControlled = false;
    std::string description;
    ShapeRef customisationShape, shadowShape;
};

struct EmitterDesc {
    std::int32_t type = 0;
    std::int32_t lifeMode = 0;
    std::int64_t lifeCount = 0;
    float rate = 0;
    Float3 position;
    float red = 0, green = 0, blue = 0, alpha = 0;
    float startScale = 0, endScale = 0, spin = 0;
    std::int64_t timeToLive = 0;  // clock ticks
};

struct Role;

enum class DestructionKind { kDestructibility, kFragData, kFragScript };

struct DestructionRecord {
    DestructionKind kind = DestructionKind::kDestructibility;
    std::int32_t type = 0;  // destructibility: 0 explode, 1 splatter
    // Frag data. The roles are owned by the record tables.
    const Role* role = nullptr;
    const Role* replaceRole = nullptr;
    std::optional<std::string> remove;
    std::int32_t scale = 0;
    bool replace = false, symmetric = false;
    std::int32_t blastDamage = 0;
    float blastRange = 0;
    // Frag script.
    std::string name;
};

struct Role {
    ShapeRef shape;
    std::optional<std::string> hotspotName, alternateHotspotName;
    std::optional<EmitterDesc> emitter;
    ShapeRef inventoryShape;
    std::string description, pickupName;
    std::optional<LightRecord> light;
    std::optional<ProjectileRecord> projectile;
    std::optional<CharacterRecord> character;
    std::vector<std::string> severPoints;
    std::int32_t aiType = 0, armour = 0, shields = 0, limit = 0;
    float rechargeRate = 0;
    std::uint8_t flags = 0;
    Float3 extent{1, 1, 1};
    std::optional<DestructionRecord> destruction;
    std::string identifier;  // the role's name; empty: it has none
    std::int32_t id = -1;    // unique within the level once the role table files it

    // Aggression x 10 rounded down from the exact product (0.7 gives 6),
    // as the game's threads round; 2 without a character record.
    std::int32_t GetRating() const;
};

// Flag bits of Role::flags.
inline constexpr std::uint8_t kRoleAlphaFogging = 0x01, kRolePerVertexFogging = 0x02,
                              kRoleDestinationSelectable = 0x04, kRoleDestroyAfterCollection = 0x08,
                              kRoleHitTestIgnore = 0x10, kRoleFragControl = 0x20, kRoleMovesOnLifts = 0x40,
                              kRoleStatusDisplay = 0x80;
inline constexpr std::int32_t kTrackObjectAi = 8;

struct WeaponEntry {
    float roundTime = 0, reloadTime = 0;
    std::int32_t lifeTimer = 0, magazineSize = 0, sound = 0, salvoSize = 0;
    std::string name, file;
    const Role* projectile = nullptr;
    float firingSpeed = 0;
};

struct AmmoEntry {
    ShapeRef hierarchyShape;  // one of the two is set
    ShapeRef shape;
    std::int32_t nameId = 0, descriptionId = 0, maxPerSlot = 0;
};

inline constexpr int kWeaponTypes = 16;
inline constexpr int kAmmoTypes = 17;
inline constexpr int kAmmoTableSize = 18;

// What the builds ask of the game. The defaults load nothing and only record
// the requests, for a game without the 3-D engine (tools, a server, tests).
class RecordServices {
public:
    struct ShapeRequest {
        std::string file, name;
        bool hierarchy = false;
    };
    virtual ~RecordServices() = default;
    // A plain shape through the shape cache.
    virtual ShapeRef CachedShape(const std::string& file, const std::string& name);
    // A hierarchy's shape with the positions of the named nodes (none: zero).
    virtual ShapeRef HierarchyShape(const std::string& file, const std::string& name,
                                    const std::optional<std::string>& hotspot,
                                    const std::optional<std::string>& alternateHotspot);
    // Frees the shape's own collision data (only track objects keep theirs).
    virtual void DropCollision(ShapeRef& shape);
    virtual std::string FindString(std::int32_t id);
    virtual void Warning(const std::string& text);
    virtual double TicksPerSecond() { return 1.0e9; }
    // Loads the cut-scene of a camera track; false when nothing was loaded.
    virtual bool LoadCameraTrack(const std::string& file, const std::string& name);
    // The level build of a complete map definition.
    virtual void BuildMap(ScriptDefinition& map);

    std::vector<ShapeRequest> shapeRequests;
    std::vector<std::string> warnings;
    std::vector<ShapeRequest> cameraTracks;
    std::vector<const ScriptDefinition*> mapBuilds;
};

// The game's record tables. Roles live here; definitions only remember
// theirs, so clearing the tables (level stop) frees every record.
class RecordTables {
public:
    static RecordTables& Global();
    void Clear();

    RecordServices& Services() { return *services_; }
    void SetServices(std::unique_ptr<RecordServices> services);

    // Index weaponType x 17 + ammoType; none outside the table or empty.
    const WeaponEntry* Weapon(int weaponType, int ammoType) const;
    const AmmoEntry* Ammo(int ammoType) const;
    std::size_t RoleCount() const { return roles_.size(); }
    const Role* RoleAt(std::size_t i) const { return i < roles_.size() ? roles_[i].get() : nullptr; }

    std::shared_ptr<Role> NewRole();
    // False (and nothing stored) outside the table or when the pair is taken.
    bool StoreWeapon(int weaponType, int ammoType, WeaponEntry entry);
    bool StoreAmmo(int ammoType, AmmoEntry entry);
    // True for the first map build since the tables were cleared.
    bool ClaimMapBuild() { return !std::exchange(mapBuilt_, true); }

private:
    std::unique_ptr<RecordServices> services_ = std::make_unique<RecordServices>();
    std::array<std::unique_ptr<WeaponEntry>, kWeaponTypes * kAmmoTypes> weapons_{};
    std::array<std::unique_ptr<AmmoEntry>, kAmmoTableSize> ammo_{};
    std::vector<std::shared_ptr<Role>> roles_;
    bool mapBuilt_ = false;
};

// What a role definition keeps of its record: made once, later calls give
// the same one until the tables are cleared.
struct RoleRecordSlot {
    std::weak_ptr<Role> record;
};

// Builds of the kinds with records of their own.
void BuildAmmo(const ScriptDefinition& ammo);
void BuildAmmoInfo(const ScriptDefinition& info);
void BuildCameraTrack(const ScriptDefinition& track);

// Record makers; each gives none for an incomplete definition or one of
// another kind.
const Role* MakeRoleRecord(ScriptDefinition& role);
std::optional<CharacterRecord> MakeCharacterRecord(const ScriptDefinition& character);
std::optional<LightRecord> MakeLightRecord(const ScriptDefinition& light);
std::optional<ProjectileRecord> MakeProjectileRecord(const ScriptDefinition& projectile);
std::optional<EmitterDesc> MakeEmitterDesc(const ScriptDefinition& generator);
std::optional<DestructionRecord> MakeDestructionRecord(ScriptDefinition& destruction);

// Scaled float to integer with the conversions' bounds; NaN gives 0.
std::int32_t ScaleToInt(double value, double scale);

} // namespace script
