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
    // A hierarchy's whole tree (one use held), from which objects are made
    // with all their parts and sequences; `shape` is then its root shape.
    std::shared_ptr<void> hierarchy;
    bool hasBox = false;
    Float3 minimum, maximum;
    bool hasCollision = false;
    // Hierarchies only.
    Float3 hotspot, alternateHotspot;
    int lowSequences = 0;   // how many of the sequences 21 to 25 it has
    int highSequences = 0;  // how many of 26 to 30
    // The walk sequence's speed factor (metres a second per unit of walking
    // speed); 0 when the hierarchy has no walk sequence.
    float walkFactor = 0;
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
    // The role's model: half its larger horizontal extent (0.5 without a
    // model), its vertical extent (1 without) and the walk sequence's factor.
    // A zero radius or height takes the model's.
    float modelHalfExtent = 0.5f, modelHeight = 1, walkFactor = 0;
    // What both object trees multiply walking speed by: the walk factor, or
    // 1 for a role whose model has no walk sequence (a plain shape), so such
    // roles still move and both trees agree on how fast.
    float MetresPerSpeedUnit() const { return walkFactor > 0.0f ? walkFactor : 1.0f; }
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

// A role's look as a carried item: the "inventory shape" (a shape or a
// hierarchy), and the string-table texts of "description" and "pickup name",
// present only for a number other than 0.
struct InventoryLook {
    ShapeRef shape;
    std::optional<std::string> description, pickupName;
};

// How a role (or one object) reacts to being shot by a given attacker.
struct VulnerabilityEntry {
    enum Kind : std::int32_t { kShutdown = 0, kPause = 1, kDestroy = 2, kRunCommand = 3 };
    const Role* attacker = nullptr;
    const Role* projectile = nullptr;  // none: any, and the shooter holds fire
    std::int32_t seconds = 0;
    std::string command;
    Kind kind = kShutdown;
    bool ownedByObject = false;  // false: the role's own entry
};

struct Role {
    ShapeRef shape;
    std::optional<std::string> hotspotName, alternateHotspotName;
    std::optional<EmitterDesc> emitter;
    // Made when any of its three keys is given.
    std::optional<InventoryLook> inventory;
    std::vector<VulnerabilityEntry> vulnerabilities;
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

    // An empty role, owned by the record tables and filed where the game
    // keeps the level's roles (which gives it its id).
    static Role* Create();
    // Frees what the role owns, dependants before what they depend on. The
    // record itself goes with the tables.
    void Destroy();
};

// Where the game files its roles: the level's role table sits above this
// layer and installs itself.
class RoleFiler {
public:
    virtual ~RoleFiler() = default;
    virtual void File(Role& role) = 0;
    // Every role is about to be destroyed (level stop).
    virtual void ForgetAll() = 0;
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

// The weapon records by (weapon type, ammunition type), 16 rows of 17. The
// first definition of a pair wins; types from saves or messages are bounds
// checked before they index anything.
class AmmoTable {
public:
    const WeaponEntry* Get(int weaponType, int ammoType) const;
    // False (nothing stored) outside the table or when the pair is taken.
    bool Store(int weaponType, int ammoType, WeaponEntry entry);
    // Frees the 17 records of one weapon type; nothing outside the table.
    void FreeRow(int weaponType);

private:
    std::array<std::unique_ptr<WeaponEntry>, kWeaponTypes * kAmmoTypes> entries_{};
};

// The ammunition as a carried item, by ammunition type; a later definition
// of a type replaces the earlier one.
class AmmoInfoTable {
public:
    const AmmoEntry* Get(int ammoType) const;
    // False outside the table.
    bool Store(int ammoType, AmmoEntry entry);
    // Gives back every entry's shape and hierarchy (level stop, before the
    // shape caches go); the texts and counts stay until the entry is freed.
    void ReleaseShapes();
    void Clear();

private:
    std::array<std::unique_ptr<AmmoEntry>, kAmmoTypes> entries_{};
};

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
    // Level stop: the ammunition's shapes, then every role (the filer first
    // forgets them), then the weapon rows in order.
    void Clear();
    // Null: roles are kept here only.
    void SetRoleFiler(RoleFiler* filer) { filer_ = filer; }

    RecordServices& Services() { return *services_; }
    void SetServices(std::unique_ptr<RecordServices> services);

    AmmoTable& Weapons() { return weapons_; }
    AmmoInfoTable& AmmoInfo() { return ammoInfo_; }
    // None outside the tables or empty.
    const WeaponEntry* Weapon(int weaponType, int ammoType) const { return weapons_.Get(weaponType, ammoType); }
    const AmmoEntry* Ammo(int ammoType) const { return ammoInfo_.Get(ammoType); }
    std::size_t RoleCount() const { return roles_.size(); }
    const Role* RoleAt(std::size_t i) const { return i < roles_.size() ? roles_[i].get() : nullptr; }

    // A new role, filed with the filer.
    std::shared_ptr<Role> NewRole();
    bool StoreWeapon(int weaponType, int ammoType, WeaponEntry entry)
    {
        return weapons_.Store(weaponType, ammoType, std::move(entry));
    }
    bool StoreAmmo(int ammoType, AmmoEntry entry) { return ammoInfo_.Store(ammoType, std::move(entry)); }
    // True for the first map build since the tables were cleared.
    bool ClaimMapBuild() { return !std::exchange(mapBuilt_, true); }

private:
    std::unique_ptr<RecordServices> services_ = std::make_unique<RecordServices>();
    AmmoTable weapons_;
    AmmoInfoTable ammoInfo_;
    std::vector<std::shared_ptr<Role>> roles_;
    RoleFiler* filer_ = nullptr;
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
