#include "script/records.h"

#include "app/log_file.h"
#include "script/definition.h"
#include "script/kinds.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <limits>

namespace script {

namespace {

// Key numbers of the slots the records read.
enum Key : int {
    kName = 0, kFile = 1, kHotspot = 3, kAlternateHotspot = 4, kShape = 5, kInventoryShape = 6, kPgen = 7,
    kCharacter = 9, kProjectile = 10, kWalkingSpeed = 11, kTurningSpeed = 12, kMagazineSize = 13,
    kSalvoSize = 14, kRoundTime = 15, kReloadTime = 16, kLifeTimer = 17, kAmmoType = 18, kWeapon = 19,
    kSecondaryWeapon = 20, kDescription = 21, kPickupName = 22, kAmmoName = 23, kMaxPerSlot = 24, kLight = 25,
    kHitLight = 26, kSound = 27, kRed = 28, kGreen = 29, kBlue = 30, kAlpha = 31, kSpecularRed = 32,
    kSpecularGreen = 33, kSpecularBlue = 34, kRange = 35, kStrength = 36, kDamage = 37, kDamageMultiplier = 38,
    kBlastDamage = 39, kMaxRange = 40, kFiringSpeed = 41, kTargetCycleTime = 42, kWeaponCycleTime = 43,
    kWeaponCycleTime2 = 44, kAlarmDelay = 45, kGravity = 46, kAim = 47, kSightAngle = 48, kGunYawAngle = 49,
    kElevationAngle = 50, kSightRange = 51, kHearingRange = 52, kAlertRadius = 53, kAggression = 54,
    kCanTurn = 55, kVisionCone = 56, kStatusU = 57, kStatusV = 58, kType = 59, kRate = 61, kX = 62, kY = 63,
    kZ = 64, kIdentifier = 65, kSeverPoint = 66, kAi = 67, kAlphaFogging = 74, kPerVertexFogging = 75,
    kDestructibility = 76, kArmour = 77, kShields = 78, kRechargeRate = 79, kFragRole = 80,
    kReplaceRole = 81, kRemove = 82, kScale = 83, kStartScale = 84, kEndScale = 85, kSpin = 86,
    kParticleTtl = 87, kReplace = 88, kSymmetric = 89, kRadius = 90, kHeight = 91, kSize = 92,
    kDestinationSelectable = 93, kDestroyAfterCollection = 94, kMovesOnLifts = 95, kStatusDisplay = 96,
    kHitTestIgnore = 97, kAlwaysCpu = 98, kFragControl = 99, kCustomisation = 100, kShadow = 101,
    kLimit = 102, kGenerationLimit = 105, kAlertable = 106, kLatchTrigger = 107,
};

bool Complete(const ScriptDefinition* d, DefinitionKind kind)
{
    return d && d->Kind() == kind && d->IsComplete();
}

float F(const ScriptDefinition& d, int key)
{
    return static_cast<float>(d.RealValue(key));
}

std::string Text(const ScriptDefinition& d, int key)
{
    const char* t = d.FieldText(key);
    return t ? t : "";
}

std::optional<std::string> OptionalText(const ScriptDefinition& d, int key)
{
    const char* t = d.FieldText(key);
    return t ? std::optional<std::string>(t) : std::nullopt;
}

// Degrees to the game's angle units of 4096 per turn.
std::int32_t Angle(const ScriptDefinition& d, int key)
{
    return ScaleToInt(d.RealValue(key), 4096.0 / 360.0);
}

// A shape or hierarchy definition's shape: shapes come from the shape cache,
// hierarchies are loaded for the definition with their hotspots.
ShapeRef LoadShape(const ScriptDefinition* d)
{
    if (!d || !d->IsComplete())
        return {};
    RecordServices& services = RecordTables::Global().Services();
    if (d->Kind() == DefinitionKind::kShape)
        return services.CachedShape(Text(*d, kFile), Text(*d, kName));
    if (d->Kind() == DefinitionKind::kHierarchy)
        return services.HierarchyShape(Text(*d, kFile), Text(*d, kName), OptionalText(*d, kHotspot),
                                       OptionalText(*d, kAlternateHotspot));
    return {};
}

std::vector<std::string> SplitAtCommas(const std::string& text)
{
    std::vector<std::string> out(1);
    for (char c : text) {
        if (c == ',')
            out.emplace_back();
        else
            out.back().push_back(c);
    }
    return out;
}

// A build's warning, naming the definition's file and line as the
// compiler's own messages do.
__attribute__((format(printf, 2, 3))) void Warn(const ScriptDefinition& d, const char* format, ...)
{
    char text[160];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    std::string line = text;
    if (!d.SourceFile().empty())
        line = d.SourceFile() + "(" + std::to_string(d.SourceLine()) + "): warning: " + line;
    RecordTables::Global().Services().Warning(line);
}

} // namespace

std::int32_t ScaleToInt(double value, double scale)
{
    // Clamp first: a converted value past the integer range is undefined.
    const double scaled = value * scale;
    if (std::isnan(scaled))
        return 0;
    constexpr double lo = std::numeric_limits<std::int32_t>::min();
    constexpr double hi = std::numeric_limits<std::int32_t>::max();
    const double rounded = std::nearbyint(scaled);
    if (rounded <= lo)
        return std::numeric_limits<std::int32_t>::min();
    if (rounded >= hi)
        return std::numeric_limits<std::int32_t>::max();
    return static_cast<std::int32_t>(rounded);
}

ShapeRef RecordServices::CachedShape(const std::string& file, const std::string& name)
{
    shapeRequests.push_back({file, name, false});
    return {};
}

ShapeRef RecordServices::HierarchyShape(const std::string& file, const std::string& name,
                                        const std::optional<std::string>&, const std::optional<std::string>&)
{
    shapeRequests.push_back({file, name, true});
    return {};
}

void RecordServices::DropCollision(ShapeRef& shape)
{
    shape.hasCollision = false;
}

std::string RecordServices::FindString(std::int32_t)
{
    return {};
}

void RecordServices::Warning(const std::string& text)
{
    warnings.push_back(text);
    LogFile::Write("%s\n", text.c_str());
}

bool RecordServices::LoadCameraTrack(const std::string& file, const std::string& name)
{
    cameraTracks.push_back({file, name, false});
    return false;
}

void RecordServices::BuildMap(ScriptDefinition& map)
{
    mapBuilds.push_back(&map);
}

RecordTables& RecordTables::Global()
{
    static RecordTables tables;
    return tables;
}

void RecordTables::Clear()
{
    ammoInfo_.ReleaseShapes();
    if (filer_)
        filer_->ForgetAll();
    for (const auto& role : roles_)
        role->Destroy();
    roles_.clear();
    for (int row = 0; row < kWeaponTypes; ++row)
        weapons_.FreeRow(row);
    ammoInfo_.Clear();
    mapBuilt_ = false;
}

void RecordTables::SetServices(std::unique_ptr<RecordServices> services)
{
    services_ = services ? std::move(services) : std::make_unique<RecordServices>();
}

std::shared_ptr<Role> RecordTables::NewRole()
{
    roles_.push_back(std::make_shared<Role>());
    if (filer_)
        filer_->File(*roles_.back());
    return roles_.back();
}

namespace {
bool InWeaponTable(int weaponType, int ammoType)
{
    return weaponType >= 0 && weaponType < kWeaponTypes && ammoType >= 0 && ammoType < kAmmoTypes;
}
} // namespace

const WeaponEntry* AmmoTable::Get(int weaponType, int ammoType) const
{
    if (!InWeaponTable(weaponType, ammoType))
        return nullptr;
    return entries_[static_cast<std::size_t>(weaponType * kAmmoTypes + ammoType)].get();
}

bool AmmoTable::Store(int weaponType, int ammoType, WeaponEntry entry)
{
    if (!InWeaponTable(weaponType, ammoType))
        return false;
    auto& slot = entries_[static_cast<std::size_t>(weaponType * kAmmoTypes + ammoType)];
    if (slot)
        return false;
    slot = std::make_unique<WeaponEntry>(std::move(entry));
    return true;
}

void AmmoTable::FreeRow(int weaponType)
{
    if (weaponType < 0 || weaponType >= kWeaponTypes)
        return;
    for (int ammo = 0; ammo < kAmmoTypes; ++ammo)
        entries_[static_cast<std::size_t>(weaponType * kAmmoTypes + ammo)].reset();
}

const AmmoEntry* AmmoInfoTable::Get(int ammoType) const
{
    if (ammoType < 0 || ammoType >= kAmmoTypes)
        return nullptr;
    return entries_[static_cast<std::size_t>(ammoType)].get();
}

bool AmmoInfoTable::Store(int ammoType, AmmoEntry entry)
{
    if (ammoType < 0 || ammoType >= kAmmoTypes)
        return false;
    entries_[static_cast<std::size_t>(ammoType)] = std::make_unique<AmmoEntry>(std::move(entry));
    return true;
}

void AmmoInfoTable::ReleaseShapes()
{
    for (auto& e : entries_)
        if (e) {
            e->hierarchyShape = {};
            e->shape = {};
        }
}

void AmmoInfoTable::Clear()
{
    for (auto& e : entries_)
        e.reset();
}

std::optional<LightRecord> MakeLightRecord(const ScriptDefinition& d)
{
    if (!Complete(&d, DefinitionKind::kLight))
        return std::nullopt;
    return LightRecord{F(d, kRed),           F(d, kGreen),         F(d, kBlue), F(d, kSpecularRed),
                       F(d, kSpecularGreen), F(d, kSpecularBlue), F(d, kRange)};
}

std::optional<ProjectileRecord> MakeProjectileRecord(const ScriptDefinition& d)
{
    if (!Complete(&d, DefinitionKind::kProjectile))
        return std::nullopt;
    ProjectileRecord r;
    r.gravity = d.BoolValue(kGravity);
    r.damage = d.IntValue(kDamage);
    r.sound = d.IntValue(kSound);
    r.maxRange = F(d, kMaxRange);
    r.blastDamage = d.IntValue(kBlastDamage);
    r.blastRangeSquared = static_cast<float>(d.RealValue(kRange) * d.RealValue(kRange));
    if (const ScriptDefinition* light = d.ReferenceValue(kHitLight))
        r.hitLight = MakeLightRecord(*light);
    return r;
}

std::optional<CharacterRecord> MakeCharacterRecord(const ScriptDefinition& d)
{
    if (!Complete(&d, DefinitionKind::kCharacter))
        return std::nullopt;
    CharacterRecord r;
    r.walkingSpeed = ScaleToInt(d.RealValue(kWalkingSpeed), 65536.0);
    r.turningSpeed = ScaleToInt(d.RealValue(kTurningSpeed), 4096.0);
    r.aim = Angle(d, kAim);
    r.sightAngle = Angle(d, kSightAngle);
    r.gunYawAngle = Angle(d, kGunYawAngle);
    r.elevationAngle = Angle(d, kElevationAngle);
    r.sightRange = F(d, kSightRange);
    r.sightRangeSquared = static_cast<float>(d.RealValue(kSightRange) * d.RealValue(kSightRange));
    r.hearingRange = F(d, kHearingRange);
    r.hearingRangeSquared = static_cast<float>(d.RealValue(kHearingRange) * d.RealValue(kHearingRange));
    r.alertRadius = F(d, kAlertRadius);
    r.aggression = F(d, kAggression);
    r.size = F(d, kSize);
    r.radius = static_cast<float>(d.RealValue(kRadius) * d.RealValue(kSize));
    r.height = static_cast<float>(d.RealValue(kHeight) * d.RealValue(kSize));
    r.damageMultiplier = F(d, kDamageMultiplier);
    r.shotSpeedMultiplier = F(d, kFiringSpeed);
    r.targetCycleTime = F(d, kTargetCycleTime);
    r.weaponCycleTime = F(d, kWeaponCycleTime);
    r.weaponCycleTime2 = F(d, kWeaponCycleTime2);
    r.alarmDelay = F(d, kAlarmDelay);
    r.strength = d.IntValue(kStrength);
    r.weapon = d.IntValue(kWeapon);
    r.secondaryWeapon = d.IntValue(kSecondaryWeapon);
    r.generationLimit = d.IntValue(kGenerationLimit);
    r.statusU = static_cast<float>(d.IntValue(kStatusU)) / 1024.0f;
    r.statusV = static_cast<float>(d.IntValue(kStatusV)) / 1024.0f;
    r.canTurn = d.BoolValue(kCanTurn);
    r.visionCone = d.BoolValue(kVisionCone);
    r.alertable = d.BoolValue(kAlertable);
    r.latchTrigger = d.BoolValue(kLatchTrigger);
    r.alwaysCpuControlled = d.BoolValue(kAlwaysCpu);
    r.description = RecordTables::Global().Services().FindString(d.IntValue(kDescription));
    r.customisationShape = LoadShape(d.ReferenceValue(kCustomisation));
    r.shadowShape = LoadShape(d.ReferenceValue(kShadow));
    return r;
}

std::optional<EmitterDesc> MakeEmitterDesc(const ScriptDefinition& d)
{
    if (!Complete(&d, DefinitionKind::kPGenerator))
        return std::nullopt;
    EmitterDesc r;
    r.type = d.IntValue(kType);
    if (const auto* generator = dynamic_cast<const ParticleGeneratorDefinition*>(&d)) {
        r.lifeMode = static_cast<std::int32_t>(generator->Life().mode);
        r.lifeCount = generator->Life().count;
    }
    r.rate = F(d, kRate);
    r.position = {F(d, kX), F(d, kY), F(d, kZ)};
    r.red = F(d, kRed);
    r.green = F(d, kGreen);
    r.blue = F(d, kBlue);
    r.alpha = F(d, kAlpha);
    r.startScale = F(d, kStartScale);
    r.endScale = F(d, kEndScale);
    r.spin = F(d, kSpin);
    // Clamped before scaling: a huge time to live must not wrap.
    const double ticks = d.RealValue(kParticleTtl) * RecordTables::Global().Services().TicksPerSecond();
    constexpr double kMaxTicks = 9.0e18;
    r.timeToLive = std::isnan(ticks) || ticks <= 0 ? 0
                   : ticks >= kMaxTicks         ? static_cast<std::int64_t>(kMaxTicks)
                                                : static_cast<std::int64_t>(ticks);
    return r;
}

std::optional<DestructionRecord> MakeDestructionRecord(ScriptDefinition& d)
{
    if (!d.IsComplete())
        return std::nullopt;
    DestructionRecord r;
    switch (d.Kind()) {
    case DefinitionKind::kDestructibility:
        r.kind = DestructionKind::kDestructibility;
        r.type = d.IntValue(kType);
        return r;
    case DefinitionKind::kFragData:
        r.kind = DestructionKind::kFragData;
        if (ScriptDefinition* role = d.ReferenceValue(kFragRole))
            r.role = MakeRoleRecord(*role);
        if (ScriptDefinition* role = d.ReferenceValue(kReplaceRole))
            r.replaceRole = MakeRoleRecord(*role);
        r.remove = OptionalText(d, kRemove);
        r.scale = d.IntValue(kScale);
        r.replace = d.BoolValue(kReplace);
        r.symmetric = d.BoolValue(kSymmetric);
        r.blastDamage = d.IntValue(kBlastDamage);
        r.blastRange = F(d, kRange);
        return r;
    case DefinitionKind::kFragScript:
        r.kind = DestructionKind::kFragScript;
        r.name = Text(d, kName);
        r.replace = d.BoolValue(kReplace);
        return r;
    default:
        return std::nullopt;
    }
}

namespace {
// The model's measures, and the collision size where the character gives
// none: a model without a box measures 1 each way.
void FitCharacterToModel(CharacterRecord& c, const Role& role)
{
    c.modelHalfExtent = std::max(role.extent.x, role.extent.z) * 0.5f;
    c.modelHeight = role.extent.y;
    c.walkFactor = role.shape.walkFactor;
    if (c.radius == 0)
        c.radius = c.modelHalfExtent;
    if (c.height == 0)
        c.height = c.modelHeight;
}
} // namespace

const Role* MakeRoleRecord(ScriptDefinition& d)
{
    auto* slot = dynamic_cast<RoleRecordSlot*>(&d);
    if (!slot || !Complete(&d, DefinitionKind::kRole))
        return nullptr;
    // A role reached again through its own frag data gets the record being
    // made, so a reference ring ends here.
    if (auto existing = slot->record.lock())
        return existing.get();
    std::shared_ptr<Role> role = RecordTables::Global().NewRole();
    slot->record = role;
    RecordServices& services = RecordTables::Global().Services();
    Role& r = *role;

    const ScriptDefinition* shape = d.ReferenceValue(kShape);
    const ScriptDefinition* pgen = d.ReferenceValue(kPgen);
    if (shape && shape->Kind() == DefinitionKind::kPGenerator) {
        pgen = shape;
    } else if (shape) {
        r.shape = LoadShape(shape);
        if (shape->Kind() == DefinitionKind::kHierarchy) {
            r.hotspotName = OptionalText(*shape, kHotspot);
            r.alternateHotspotName = OptionalText(*shape, kAlternateHotspot);
        }
    }
    if (pgen)
        r.emitter = MakeEmitterDesc(*pgen);
    if (d.GetSlot(kInventoryShape).given || d.GetSlot(kDescription).given || d.GetSlot(kPickupName).given) {
        InventoryLook& look = r.inventory.emplace();
        look.shape = LoadShape(d.ReferenceValue(kInventoryShape));
        if (const std::int32_t id = d.IntValue(kDescription))
            look.description = services.FindString(id);
        if (const std::int32_t id = d.IntValue(kPickupName))
            look.pickupName = services.FindString(id);
    }
    if (const ScriptDefinition* light = d.ReferenceValue(kLight))
        r.light = MakeLightRecord(*light);
    if (const ScriptDefinition* projectile = d.ReferenceValue(kProjectile))
        r.projectile = MakeProjectileRecord(*projectile);
    if (r.shape.hasBox)
        r.extent = {r.shape.maximum.x - r.shape.minimum.x, r.shape.maximum.y - r.shape.minimum.y,
                    r.shape.maximum.z - r.shape.minimum.z};
    if (const ScriptDefinition* character = d.ReferenceValue(kCharacter))
        if ((r.character = MakeCharacterRecord(*character)))
            FitCharacterToModel(*r.character, r);
    r.severPoints = SplitAtCommas(Text(d, kSeverPoint));
    r.aiType = d.IntValue(kAi);
    r.armour = d.IntValue(kArmour);
    r.shields = d.IntValue(kShields);
    r.rechargeRate = F(d, kRechargeRate);
    r.limit = d.IntValue(kLimit);
    r.identifier = Text(d, kIdentifier);
    if (r.shape.hasCollision && r.aiType != kTrackObjectAi)
        services.DropCollision(r.shape);

    const bool alpha = d.BoolValue(kAlphaFogging);
    r.flags = static_cast<std::uint8_t>(
        (alpha ? kRoleAlphaFogging : 0) | (!alpha && d.BoolValue(kPerVertexFogging) ? kRolePerVertexFogging : 0) |
        (d.BoolValue(kDestinationSelectable) ? kRoleDestinationSelectable : 0) |
        (d.BoolValue(kDestroyAfterCollection) ? kRoleDestroyAfterCollection : 0) |
        (d.BoolValue(kHitTestIgnore) ? kRoleHitTestIgnore : 0) |
        (d.BoolValue(kFragControl) ? kRoleFragControl : 0) | (d.BoolValue(kMovesOnLifts) ? kRoleMovesOnLifts : 0) |
        (d.BoolValue(kStatusDisplay) ? kRoleStatusDisplay : 0));
    if (ScriptDefinition* destruction = d.ReferenceValue(kDestructibility))
        r.destruction = MakeDestructionRecord(*destruction);
    return role.get();
}

std::int32_t Role::GetRating() const
{
    if (!character)
        return 2;
    // In double the product of a float and 10 is exact, so the floor sees
    // 6.99999988 for 0.7f where a float product would round up to 7.
    return static_cast<std::int32_t>(std::floor(double(character->aggression) * 10.0));
}

Role* Role::Create()
{
    return RecordTables::Global().NewRole().get();
}

void Role::Destroy()
{
    light.reset();
    projectile.reset();
    if (character) {
        character->customisationShape = {};
        character->shadowShape = {};
        character.reset();
    }
    if (inventory) {
        inventory->shape = {};
        inventory.reset();
    }
    shape = {};
    emitter.reset();
    hotspotName.reset();
    alternateHotspotName.reset();
    identifier.clear();
    destruction.reset();
    severPoints.clear();
    vulnerabilities.clear();
}

void BuildAmmo(const ScriptDefinition& d)
{
    if (!Complete(&d, DefinitionKind::kAmmo))
        return;
    const int weapon = d.IntValue(kWeapon);
    const int ammo = d.IntValue(kAmmoType);
    if (weapon < 0 || weapon >= kWeaponTypes || ammo < 0 || ammo >= kAmmoTypes) {
        Warn(d, "ammo for weapon type %d and ammo type %d lies outside the weapon table; ignored", weapon, ammo);
        return;
    }
    if (RecordTables::Global().Weapon(weapon, ammo))
        return;  // the first ammo definition for a pair wins
    WeaponEntry e;
    e.roundTime = F(d, kRoundTime);
    e.reloadTime = F(d, kReloadTime);
    e.lifeTimer = d.IntValue(kLifeTimer);
    e.magazineSize = d.IntValue(kMagazineSize);
    e.sound = d.IntValue(kSound);
    e.salvoSize = d.IntValue(kSalvoSize);
    e.name = Text(d, kName);
    e.file = Text(d, kFile);
    if (ScriptDefinition* projectile = d.ReferenceValue(kProjectile))
        e.projectile = MakeRoleRecord(*projectile);
    e.firingSpeed = F(d, kFiringSpeed);
    RecordTables::Global().StoreWeapon(weapon, ammo, std::move(e));
}

void BuildAmmoInfo(const ScriptDefinition& d)
{
    if (!Complete(&d, DefinitionKind::kAmmoInfo))
        return;
    const int ammo = d.IntValue(kAmmoType);
    if (ammo < 0 || ammo >= kAmmoTypes) {
        Warn(d, "ammo info for ammo type %d lies outside the %d ammunition types; ignored", ammo, kAmmoTypes);
        return;
    }
    AmmoEntry e;
    const ScriptDefinition* shape = d.ReferenceValue(kShape);
    if (shape && shape->Kind() == DefinitionKind::kHierarchy)
        e.hierarchyShape = LoadShape(shape);
    else
        e.shape = LoadShape(shape);
    e.nameId = d.IntValue(kAmmoName);
    e.descriptionId = d.IntValue(kDescription);
    e.maxPerSlot = d.IntValue(kMaxPerSlot);
    RecordTables::Global().StoreAmmo(ammo, std::move(e));
}

void BuildCameraTrack(const ScriptDefinition& d)
{
    if (!Complete(&d, DefinitionKind::kCameraTrack))
        return;
    RecordTables::Global().Services().LoadCameraTrack(Text(d, kFile), Text(d, kName));
}

} // namespace script
