#include "script/kinds.h"

#include "app/directories.h"
#include "script/compiler_internal.h"
#include "script/records.h"

#include <cfloat>
#include <climits>

namespace script {

namespace {

constexpr std::int32_t kIntMin = INT32_MIN;
constexpr std::int32_t kIntMax = INT32_MAX;
constexpr double kRealMax = DBL_MAX;
constexpr bool kRequired = false;
constexpr bool kDefault = true;
constexpr bool kNoneAllowed = true;
constexpr bool kNoNone = false;

std::string Upper(const std::string& s)
{
    std::string out = s;
    for (char& c : out)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return out;
}

class HierarchyDefinition : public ScriptDefinition {
public:
    HierarchyDefinition() : ScriptDefinition(DefinitionKind::kHierarchy)
    {
        DeclareString("name", 0, kNoNone, kRequired, nullptr);
        DeclareString("file", 1, kNoNone, kRequired, nullptr);
        DeclareString("hotspot", 3, kNoneAllowed, kDefault, nullptr);
        DeclareString("alternate hotspot", 4, kNoneAllowed, kDefault, nullptr);
    }
};

class ShapeDefinition : public ScriptDefinition {
public:
    ShapeDefinition() : ScriptDefinition(DefinitionKind::kShape)
    {
        DeclareString("name", 0, kNoNone, kRequired, nullptr);
        DeclareString("file", 1, kNoNone, kRequired, nullptr);
    }
};

class CameraTrackDefinition : public ScriptDefinition {
public:
    CameraTrackDefinition() : ScriptDefinition(DefinitionKind::kCameraTrack)
    {
        DeclareString("name", 0, kNoNone, kRequired, nullptr);
        DeclareString("file", 1, kNoNone, kRequired, nullptr);
    }
    void Build() override { BuildCameraTrack(*this); }
};

class FragScriptDefinition : public ScriptDefinition {
public:
    FragScriptDefinition() : ScriptDefinition(DefinitionKind::kFragScript)
    {
        DeclareString("name", 0, kNoNone, kRequired, nullptr);
        DeclareBool("replace", 88, kDefault, false);
    }
};

class DestructibilityDefinition : public ScriptDefinition {
public:
    DestructibilityDefinition() : ScriptDefinition(DefinitionKind::kDestructibility)
    {
        DeclareInt("type", 59, 0, 1, kRequired, 0);
    }
};

class LightDefinition : public ScriptDefinition {
public:
    LightDefinition() : ScriptDefinition(DefinitionKind::kLight)
    {
        DeclareReal("red", 28, 0, kRealMax, kRequired, 0);
        DeclareReal("green", 29, 0, kRealMax, kRequired, 0);
        DeclareReal("blue", 30, 0, kRealMax, kRequired, 0);
        DeclareReal("specular red", 32, 0, kRealMax, kRequired, 0);
        DeclareReal("specular green", 33, 0, kRealMax, kRequired, 0);
        DeclareReal("specular blue", 34, 0, kRealMax, kRequired, 0);
        DeclareReal("range", 35, 0, kRealMax, kRequired, 0);
    }
};

class ProjectileDefinition : public ScriptDefinition {
public:
    ProjectileDefinition() : ScriptDefinition(DefinitionKind::kProjectile)
    {
        DeclareInt("damage", 37, kIntMin, kIntMax, kRequired, 0);
        DeclareInt("blast damage", 39, 0, kIntMax, kDefault, 0);
        DeclareReal("blast range", 35, 0, kRealMax, kDefault, 0);
        DeclareReal("max range", 40, 0, kRealMax, kDefault, 196);
        DeclareBool("gravity", 46, kRequired, false);
        DeclareReference("hit_light", 26, DefinitionKind::kLight, kNoneAllowed, kDefault);
        DeclareInt("sound", 27, 0, 256, kDefault, 3);
    }
};

class FragDataDefinition : public ScriptDefinition {
public:
    FragDataDefinition() : ScriptDefinition(DefinitionKind::kFragData)
    {
        DeclareReference("role", 80, DefinitionKind::kRole, kNoNone, kRequired);
        DeclareReference("replace role", 81, DefinitionKind::kRole, kNoneAllowed, kDefault);
        DeclareString("remove", 82, kNoneAllowed, kDefault, nullptr);
        DeclareInt("scale", 83, 1, kIntMax, kRequired, 0);
        DeclareBool("replace", 88, kDefault, true);
        DeclareBool("symmetric", 89, kDefault, false);
        DeclareInt("blast damage", 39, 0, kIntMax, kDefault, 0);
        DeclareReal("blast range", 35, 0, kRealMax, kDefault, 0);
    }
};

class AmmoDefinition : public ScriptDefinition {
public:
    AmmoDefinition() : ScriptDefinition(DefinitionKind::kAmmo)
    {
        DeclareString("name", 0, kNoNone, kRequired, nullptr);
        DeclareString("file", 1, kNoNone, kRequired, nullptr);
        DeclareInt("ammo type", 18, 0, 17, kRequired, 0);
        DeclareInt("weapon type", 19, 0, 16, kRequired, 0);
        DeclareReal("round time", 15, 0, kRealMax, kRequired, 0);
        DeclareReal("reload time", 16, 0, kRealMax, kRequired, 0);
        DeclareInt("life timer", 17, 0, kIntMax, kRequired, 0);
        DeclareInt("magazine size", 13, 0, kIntMax, kRequired, 0);
        DeclareInt("salvo size", 14, 0, kIntMax, kDefault, 0);
        DeclareInt("sound", 27, 0, 256, kDefault, 3);
        DeclareReference("projectile", 10, DefinitionKind::kRole, kNoneAllowed, kDefault);
        DeclareReal("firing speed", 41, 0, kRealMax, kRequired, 0);
    }
    void Build() override { BuildAmmo(*this); }
};

class AmmoInfoDefinition : public ScriptDefinition {
public:
    AmmoInfoDefinition() : ScriptDefinition(DefinitionKind::kAmmoInfo)
    {
        DeclareInt("ammo type", 18, 0, 17, kRequired, 0);
        DeclareReference("shape", 5, DefinitionKind::kShape, kNoneAllowed, kDefault);
        DeclareReference("shape", 5, DefinitionKind::kHierarchy, kNoneAllowed, kDefault);
        DeclareInt("description", 21, 0, kIntMax, kRequired, 0);
        DeclareInt("ammo name", 23, 0, kIntMax, kRequired, 0);
        DeclareInt("max per slot", 24, 0, kIntMax, kRequired, 0);
    }
    void Build() override { BuildAmmoInfo(*this); }
};

class CharacterDefinition : public ScriptDefinition {
public:
    CharacterDefinition() : ScriptDefinition(DefinitionKind::kCharacter)
    {
        DeclareReal("walking speed", 11, 0, kRealMax, kRequired, 0);
        DeclareReal("turning speed", 12, 0, kRealMax, kRequired, 0);
        DeclareInt("strength", 36, 1, kIntMax, kRequired, 0);
        DeclareReal("aim", 47, 0, kRealMax, kRequired, 0);
        DeclareReal("sight angle", 48, 0, 89, kRequired, 0);
        DeclareReal("sight range", 51, 0, kRealMax, kRequired, 0);
        DeclareReal("hearing range", 52, 0, kRealMax, kRequired, 0);
        DeclareReal("alert radius", 53, 0, kRealMax, kDefault, 30);
        DeclareReal("aggression", 54, 0, 1, kRequired, 0);
        DeclareReal("gun yaw angle", 49, 0, 180, kDefault, 60);
        DeclareReal("elevation angle", 50, 0, 180, kDefault, 80);
        DeclareReal("radius", 90, 0, kRealMax, kDefault, 0);
        DeclareReal("height", 91, 0, kRealMax, kDefault, 0);
        DeclareReal("size", 92, 0, kRealMax, kDefault, 1);
        DeclareReal("damage multiplier", 38, 0, kRealMax, kDefault, 1);
        DeclareReal("shot speed multiplier", 41, 0, kRealMax, kDefault, 1);
        DeclareReal("target cycle time", 42, 0, kRealMax, kDefault, 3);
        DeclareReal("weapon cycle time", 43, 0, kRealMax, kDefault, 0);
        DeclareReal("weapon cycle time2", 44, 0, kRealMax, kDefault, 0);
        DeclareReal("alarm delay", 45, 0, kRealMax, kDefault, 0);
        DeclareBool("can turn", 55, kDefault, true);
        DeclareBool("vision cone", 56, kDefault, true);
        DeclareBool("alertable", 106, kDefault, true);
        DeclareBool("always cpu controlled", 98, kDefault, false);
        DeclareBool("latch trigger", 107, kDefault, false);
        DeclareReference("customisation hierarchy", 100, DefinitionKind::kHierarchy, kNoneAllowed, kDefault);
        DeclareReference("shadow hierarchy", 101, DefinitionKind::kHierarchy, kNoneAllowed, kDefault);
        DeclareInt("weapon", 19, 0, kIntMax, kDefault, kIntMax);
        DeclareInt("secondary weapon", 20, 0, kIntMax, kDefault, kIntMax);
        DeclareInt("status window u", 57, 0, 1024, kDefault, 0);
        DeclareInt("status window v", 58, 0, 1024, kDefault, 0);
        DeclareInt("description", 21, 0, kIntMax, kDefault, 0);
        DeclareInt("generation limit", 105, 1, 10, kDefault, 5);
    }
};

class RoleDefinition : public ScriptDefinition, public RoleRecordSlot {
public:
    RoleDefinition() : ScriptDefinition(DefinitionKind::kRole)
    {
        DeclareReference("character", 9, DefinitionKind::kCharacter, kNoneAllowed, kRequired);
        DeclareReference("shape", 5, DefinitionKind::kShape, kNoneAllowed, kDefault);
        DeclareReference("shape", 5, DefinitionKind::kHierarchy, kNoneAllowed, kDefault);
        DeclareReference("shape", 5, DefinitionKind::kPGenerator, kNoneAllowed, kDefault);
        DeclareReference("inventory shape", 6, DefinitionKind::kShape, kNoneAllowed, kDefault);
        DeclareReference("inventory shape", 6, DefinitionKind::kHierarchy, kNoneAllowed, kDefault);
        DeclareReference("pgen", 7, DefinitionKind::kPGenerator, kNoneAllowed, kDefault);
        DeclareReference("light", 25, DefinitionKind::kLight, kNoneAllowed, kRequired);
        DeclareReference("projectile", 10, DefinitionKind::kProjectile, kNoneAllowed, kRequired);
        DeclareString("identifier", 65, kNoneAllowed, kRequired, nullptr);
        DeclareString("sever point", 66, kNoneAllowed, kDefault, nullptr);
        DeclareInt("description", 21, 0, kIntMax, kDefault, 0);
        DeclareInt("pickup name", 22, 0, kIntMax, kDefault, 0);
        DeclareInt("ai", 67, 0, 100, kDefault, 4);
        DeclareInt("armour", 77, 0, 100, kDefault, 0);
        DeclareInt("shields", 78, 0, kIntMax, kDefault, 0);
        DeclareReal("recharge rate", 79, -kRealMax, kRealMax, kDefault, 0);
        DeclareBool("alpha fogging", 74, kRequired, false);
        DeclareBool("per vertex fogging", 75, kRequired, false);
        DeclareReference("destructibility", 76, DefinitionKind::kDestructibility, kNoneAllowed, kRequired);
        DeclareReference("destructibility", 76, DefinitionKind::kFragData, kNoneAllowed, kRequired);
        DeclareReference("destructibility", 76, DefinitionKind::kFragScript, kNoneAllowed, kRequired);
        DeclareBool("destination selectable", 93, kDefault, false);
        DeclareBool("frag control", 99, kDefault, false);
        DeclareBool("moves on lifts", 95, kDefault, false);
        DeclareBool("hit test ignore", 97, kDefault, false);
        DeclareBool("destroy after collection", 94, kDefault, true);
        DeclareBool("status display", 96, kDefault, true);
        DeclareInt("limit", 102, 0, kIntMax, kDefault, 0);
        DeclareInt("switch size", 103, 1, kIntMax, kDefault, 100);
    }
    void Build() override { MakeRoleRecord(*this); }
};

DefinitionRef Make(DefinitionKind kind)
{
    switch (kind) {
    case DefinitionKind::kDirectory: return DefinitionRef(new DirectoryDefinition);
    case DefinitionKind::kHierarchy: return DefinitionRef(new HierarchyDefinition);
    case DefinitionKind::kShape: return DefinitionRef(new ShapeDefinition);
    case DefinitionKind::kRole: return DefinitionRef(new RoleDefinition);
    case DefinitionKind::kMap: return DefinitionRef(new MapDefinition);
    case DefinitionKind::kLight: return DefinitionRef(new LightDefinition);
    case DefinitionKind::kAmmo: return DefinitionRef(new AmmoDefinition);
    case DefinitionKind::kAmmoInfo: return DefinitionRef(new AmmoInfoDefinition);
    case DefinitionKind::kCameraTrack: return DefinitionRef(new CameraTrackDefinition);
    case DefinitionKind::kCharacter: return DefinitionRef(new CharacterDefinition);
    case DefinitionKind::kProjectile: return DefinitionRef(new ProjectileDefinition);
    case DefinitionKind::kPGenerator: return DefinitionRef(new ParticleGeneratorDefinition);
    case DefinitionKind::kDestructibility: return DefinitionRef(new DestructibilityDefinition);
    case DefinitionKind::kFragData: return DefinitionRef(new FragDataDefinition);
    case DefinitionKind::kFragScript: return DefinitionRef(new FragScriptDefinition);
    }
    return {};
}

} // namespace

DefinitionRef CreateDefinition(DefinitionKind kind)
{
    return Make(kind);
}

DirectoryDefinition::DirectoryDefinition() : ScriptDefinition(DefinitionKind::kDirectory)
{
    DeclareString("name", 0, kNoNone, kRequired, nullptr);
    DeclareString("directory", 1, kNoNone, kRequired, nullptr);
}

bool DirectoryDefinition::SuitsFileMode(int mode) const
{
    return (mode & kDirectoryListMode) != 0;
}

void DirectoryDefinition::Build()
{
    if (!ScriptDefinition::ValidateReferences())
        return;
    const char* name = FieldText(0);
    const int index = name ? app::DataDirectories::IndexOfName(name) : -1;
    if (index >= 0)
        app::DataDirectories::Global().SetPath(index, FieldText(1));
}

MapDefinition::MapDefinition() : ScriptDefinition(DefinitionKind::kMap)
{
    DeclareString("name", 0, kNoNone, kRequired, nullptr);
    DeclareString("file", 1, kNoNone, kRequired, nullptr);
    DeclareString("bitmap", 2, kNoneAllowed, kRequired, nullptr);
    DeclareString("camera plane", 68, kNoneAllowed, kRequired, nullptr);
    DeclareReal("max camera distance", 69, 10, 500, kRequired, 0);
    DeclareString("max camera focus height", 70, kNoneAllowed, kDefault, nullptr);
    DeclareString("min camera focus height", 71, kNoneAllowed, kDefault, nullptr);
    DeclareString("shadow object rif", 72, kNoneAllowed, kDefault, nullptr);
    DeclareString("shadow object name", 73, kNoneAllowed, kDefault, nullptr);
    DeclareInt("max vertices per section", 104, 700, 4096, kDefault, 200);
}

bool MapDefinition::ValidateReferences() const
{
    if (!ScriptDefinition::ValidateReferences())
        return false;
    for (const ObjectAssignment& a : assignments_)
        if (a.role && !a.role->ValidateReferences())
            return false;
    return true;
}

void MapDefinition::CopyFrom(const ScriptDefinition& parent, ScriptCompiler& sc)
{
    ScriptDefinition::CopyFrom(parent, sc);
    const auto* map = dynamic_cast<const MapDefinition*>(&parent);
    if (!map)
        return;
    for (const ObjectAssignment* a : map->Assignments()) {
        ObjectAssignment copy = *a;
        copy.inherited = true;
        Assign(std::move(copy), nullptr);
    }
}

void MapDefinition::ForEachReference(const std::function<void(ScriptDefinition&)>& visit) const
{
    ScriptDefinition::ForEachReference(visit);
    for (const ObjectAssignment& a : assignments_)
        if (a.role)
            visit(*a.role);
}

void MapDefinition::DropReferences()
{
    ScriptDefinition::DropReferences();
    for (ObjectAssignment& a : assignments_)
        a.role.reset();
}

void MapDefinition::SetValue(const ValueItem& item, ScriptCompiler& sc)
{
    if (item.form != ValueItem::Form::kUse) {
        ScriptDefinition::SetValue(item, sc);
        return;
    }
    for (const UseTarget& t : item.use.targets)
        Assign(ObjectAssignment{t.object, t.variable, item.use.role, item.use.team, false}, &sc);
}

void MapDefinition::Assign(ObjectAssignment assignment, ScriptCompiler* sc)
{
    const std::string key = Upper(assignment.object);
    auto it = byName_.find(key);
    if (it != byName_.end()) {
        ObjectAssignment& old = assignments_[it->second];
        if (!old.inherited) {
            if (sc)
                sc->Error("object '%s' has already been used", assignment.object.c_str());
            return;
        }
        old.role.reset();  // a child's own placement replaces the inherited one
    }
    byName_[key] = assignments_.size();
    assignments_.push_back(std::move(assignment));
}

void MapDefinition::Build()
{
    if (!IsComplete())
        return;
    RecordTables& tables = RecordTables::Global();
    if (!tables.ClaimMapBuild()) {
        tables.Services().Warning(std::string("map '") + (FieldText(0) ? FieldText(0) : "") +
                                  "' ignored: a level script holds one map");
        return;
    }
    tables.Services().BuildMap(*this);
}

std::vector<const ObjectAssignment*> MapDefinition::Assignments() const
{
    std::vector<const ObjectAssignment*> out;
    for (std::size_t i = 0; i < assignments_.size(); ++i) {
        auto it = byName_.find(Upper(assignments_[i].object));
        if (it != byName_.end() && it->second == i)
            out.push_back(&assignments_[i]);
    }
    return out;
}

const ObjectAssignment* MapDefinition::FindAssignment(const std::string& object) const
{
    auto it = byName_.find(Upper(object));
    return it == byName_.end() ? nullptr : &assignments_[it->second];
}

ParticleGeneratorDefinition::ParticleGeneratorDefinition() : ScriptDefinition(DefinitionKind::kPGenerator)
{
    DeclareInt("type", 59, 0, 12, kRequired, 0);
    DeclareReal("rate", 61, 0, kRealMax, kRequired, 0);
    DeclareReal("x", 62, -kRealMax, kRealMax, kRequired, 0);
    DeclareReal("y", 63, -kRealMax, kRealMax, kRequired, 0);
    DeclareReal("z", 64, -kRealMax, kRealMax, kRequired, 0);
    DeclareReal("red", 28, 0, kRealMax, kRequired, 0);
    DeclareReal("green", 29, 0, kRealMax, kRequired, 0);
    DeclareReal("blue", 30, 0, kRealMax, kRequired, 0);
    DeclareReal("alpha", 31, 0, 1, kRequired, 0);
    DeclareReal("start scale", 84, 0, kRealMax, kDefault, 1);
    DeclareReal("end scale", 85, 0, kRealMax, kDefault, 1);
    DeclareReal("particle TTL", 87, 0, kRealMax, kDefault, 0);
    DeclareReal("spin", 86, -kRealMax, kRealMax, kDefault, 0);
}

bool ParticleGeneratorDefinition::IsComplete() const
{
    return lifeGiven_ && ScriptDefinition::IsComplete();
}

void ParticleGeneratorDefinition::CopyFrom(const ScriptDefinition& parent, ScriptCompiler& sc)
{
    ScriptDefinition::CopyFrom(parent, sc);
    if (const auto* p = dynamic_cast<const ParticleGeneratorDefinition*>(&parent)) {
        life_ = p->life_;
        lifeGiven_ = p->lifeGiven_;
    }
}

void ParticleGeneratorDefinition::SetValue(const ValueItem& item, ScriptCompiler& sc)
{
    if (item.form != ValueItem::Form::kLife) {
        ScriptDefinition::SetValue(item, sc);
        return;
    }
    if (lifeSetHere_) {
        sc.Error("value for life defined more than once");
        return;
    }
    life_ = item.life;
    lifeGiven_ = true;
    lifeSetHere_ = true;
}

} // namespace script
