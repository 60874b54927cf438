#include "world/map_build.h"

#include "Veapi/hierarchy.h"
#include "Veapi/ve_object.h"
#include "Veapi/ve_shape.h"
#include "app/directories.h"
#include "app/string_table.h"
#include "chunk/loaders/environment_loader.h"
#include "chunk/loaders/hierarchy_loader.h"
#include "media/cutscene.h"
#include "media/sound_system.h"
#include "platform/data_path.h"
#include "script/compiler.h"
#include "script/kinds.h"
#include "world/level.h"
#include "world/level_cache.h"

#include <cmath>
#include <cstdlib>
#include <sstream>

namespace {

enum MapKey : int {
    kName = 0, kFile = 1, kCameraPlane = 68, kMaxCameraDistance = 69, kMaxFocus = 70, kMinFocus = 71,
    kShadowObjectRif = 72, kShadowObjectName = 73, kMaxVertices = 104,
};

std::string Line(const std::string& text, int index)
{
    std::istringstream in(text);
    std::string line;
    for (int i = 0; i <= index; ++i)
        if (!std::getline(in, line))
            return {};
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return line;
}

const trevok::ChunkObject* FindDummy(const std::vector<trevok::ChunkObject>& dummies, const char* name)
{
    if (!name)
        return nullptr;
    for (const auto& d : dummies)
        if (trevok::SameNameIgnoringCase(d.name_, name))
            return &d;
    return nullptr;
}

bool Given(const char* text)
{
    return text && *text;
}

// The level from its cache, or cut from the chunk file and cached.
Level* LoadLevel(LevelServices& s, trevok::EnvironmentRecord& record, const script::ScriptDefinition& map,
                 const std::filesystem::path& levelFile)
{
    const LevelCacheKey key{LevelCache::FileTime(levelFile),
                            static_cast<uint32_t>(std::max(map.IntValue(kMaxVertices), 1))};
    const auto cachePath = LevelCache::PathFor(levelFile, s.scriptPath);
    if (auto content = LevelCache::Read(cachePath, key)) {
        auto* level = new Level(std::move(content->tree), content->vector, &content->collision);
        level->levelFileTime_ = key.fileTime;
        s.cacheRead = true;
        return level;
    }
    Vec3 position{0, 0, 0};
    Quaternion rotation{0, 0, 0, 1};
    VeShape* shape = trevok::LoadObjectFromChunks(record, map.FieldText(kName), &position, &rotation, 0);
    if (!shape) {
        s.Warning(std::string("map: no level object '") + map.FieldText(kName) + "' in " + map.FieldText(kFile));
        return nullptr;
    }
    CollisionSource collision;
    if (shape->geometry_)
        collision = CollisionSource::FromShape(*shape->geometry_);
    std::unique_ptr<ShapeInstance> tree(ShapeInstance::FromShape(shape, true));
    shape->Release();  // the node holds it
    s.ShowLoading(s.FindString(LevelServices::kLoadingText));
    tree->SplitByVertexLimit(key.vertexLimit);
    s.SetProgress(33);
    const auto image = LevelCache::Encode(key, position, *tree, collision);
    auto* level = new Level(std::move(tree), position, &collision);
    level->levelFileTime_ = key.fileTime;
    s.SetProgress(66);
    // A cache that cannot be written leaves the level loaded.
    s.cacheWritten = key.fileTime != 0 && LevelCache::Write(cachePath, image);
    s.SetProgress(99);
    return level;
}

} // namespace

void ApplyAmbientCodes(const std::string& codes, AmbientEmitter& e)
{
    const char* p = codes.c_str();
    while (*p) {
        const char code = static_cast<char>(*p++ & ~0x20);
        if (code != 'I' && code != 'R' && code != 'V' && code != 'P')
            continue;
        char* end = nullptr;
        const double value = std::strtod(p, &end);
        if (end == p || !std::isfinite(value))
            continue;
        p = end;
        switch (code) {
        case 'I': e.inner = static_cast<float>(value); break;
        case 'R': e.outer = static_cast<float>(value); break;
        case 'V': e.volume = value <= 0 ? 0u : value >= 4294967295.0 ? 4294967295u : static_cast<uint32_t>(value); break;
        case 'P': e.pitch = static_cast<float>(value / 12.0); break;
        }
    }
}

namespace {

// A record's handle on a shape: one use, given back when the last record goes.
// Objects the player can select are hit-tested triangle by triangle under
// the pointer, which reads each shape's own copy of its positions.
bool KeepPositions(VeShape& shape)
{
    if (!shape.HasPositionBuffer())
        shape.BuildPositionBuffer();
    return false;
}

script::ShapeRef Hold(VeShape* shape)
{
    script::ShapeRef ref;
    if (!shape)
        return ref;
    KeepPositions(*shape);
    ref.shape = std::shared_ptr<void>(shape, [](void* p) { static_cast<VeShape*>(p)->Release(); });
    ref.hasBox = true;
    ref.minimum = {shape->min_.x, shape->min_.y, shape->min_.z};
    ref.maximum = {shape->max_.x, shape->max_.y, shape->max_.z};
    ref.hasCollision = shape->geometry_ != nullptr;
    return ref;
}

} // namespace

namespace {

// True when `test` holds for a shape of any slot of any node of the tree.
template <typename Test>
bool AnyNode(const Hierarchy& node, Test test)
{
    for (VeShape* shape : node.shapes_)
        if (shape && test(*shape))
            return true;
    for (const Hierarchy* child : node.children_)
        if (AnyNode(*child, test))
            return true;
    return false;
}

script::Float3 Hotspot(const Hierarchy& root, const std::optional<std::string>& name)
{
    Vec3 at{0, 0, 0};
    if (!name || !root.FindNodePosition(at, *name))
        at = {0, 0, 0};
    return {at.x, at.y, at.z};
}

} // namespace

void ReadHierarchyFacts(const Hierarchy& root, const std::optional<std::string>& hotspot,
                        const std::optional<std::string>& alternateHotspot, script::ShapeRef& out)
{
    out.hotspot = Hotspot(root, hotspot);
    out.alternateHotspot = Hotspot(root, alternateHotspot);
    out.lowSequences = out.highSequences = 0;
    for (int32_t i = 21; i <= 30; ++i)
        if (Sequences::Has(root.sequences_.get(), i))
            ++(i <= 25 ? out.lowSequences : out.highSequences);
    // Sequence 1 is the walk: its speed turns walking speed into metres.
    const bool hasWalk = root.sequences_ && root.sequences_->entries_.size() > 1 && root.speeds_.size() > 1;
    out.walkFactor = hasWalk && std::isfinite(root.speeds_[1]) ? root.speeds_[1] : 0.0f;
}

script::ShapeRef LevelServices::CachedShape(const std::string& file, const std::string& name)
{
    RecordServices::CachedShape(file, name);
    if (shapeSource)
        return Hold(shapeSource(file, name));
    auto record = trevok::LoadEnvironmentFile(levelFolder, file);
    if (!record)
        return {};
    return Hold(trevok::LoadObjectFromChunks(*record, name, nullptr, nullptr, 0));
}

script::ShapeRef LevelServices::HierarchyShape(const std::string& file, const std::string& name,
                                               const std::optional<std::string>& hotspot,
                                               const std::optional<std::string>& alternateHotspot)
{
    RecordServices::HierarchyShape(file, name, hotspot, alternateHotspot);
    trevok::EnvironmentRecordPtr record;
    HierarchyPtr tree;
    if (hierarchySource)
        tree.reset(hierarchySource(file, name));
    else if ((record = trevok::LoadEnvironmentFile(levelFolder, file)))
        // Sequence sounds get their ids from the running sound system (0 without one).
        tree = trevok::LoadHierarchyFromChunks(name, *record, SoundSystem::Global());
    if (!tree || !tree->shapes_[0])
        return {};
    VeShape* shape = tree->shapes_[0];
    shape->AddRef();
    script::ShapeRef ref = Hold(shape);
    ReadHierarchyFacts(*tree, hotspot, alternateHotspot, ref);
    if (tree->boundsValid_) {
        ref.minimum = {tree->minimum_.x, tree->minimum_.y, tree->minimum_.z};
        ref.maximum = {tree->maximum_.x, tree->maximum_.y, tree->maximum_.z};
    }
    AnyNode(*tree, KeepPositions);
    ref.hasCollision = AnyNode(*tree, [](VeShape& s) { return s.geometry_ != nullptr; });
    ref.hierarchy = std::shared_ptr<void>(tree.release(), [](void* p) { static_cast<Hierarchy*>(p)->Release(); });
    return ref;
}

VeObject* MakeRoleObject(const script::ShapeRef& ref, bool withBox)
{
    if (ref.hierarchy)
        return VeObject::FromHierarchy(static_cast<Hierarchy*>(ref.hierarchy.get()), withBox);
    if (ref.shape)
        return VeObject::FromShape(static_cast<VeShape*>(ref.shape.get()), withBox);
    return nullptr;
}

Hierarchy* RoleHierarchy(const script::ShapeRef& ref)
{
    return static_cast<Hierarchy*>(ref.hierarchy.get());
}

trevok::CutsceneReceiver& LevelCutsceneRegistry()
{
    static trevok::CutsceneRegistryReceiver receiver;
    return receiver;
}

void OnLevelStop()
{
    trevok::CutScene::ClearAll();
}

namespace {

bool LoadTrackNow(const LevelServices& services, const std::string& file, const std::string& name)
{
    auto record = trevok::LoadEnvironmentFile(services.levelFolder, file);
    Level* level = Level::Current();
    if (!record || !level || !services.cutscenes)
        return false;
    return trevok::LoadEnvironmentSpecials(*services.cutscenes, *record, name, level->origin_);
}

} // namespace

bool LevelServices::LoadCameraTrack(const std::string& file, const std::string& name)
{
    RecordServices::LoadCameraTrack(file, name);
    // A track defined ahead of the map waits for the level the map makes.
    return LoadTrackNow(*this, file, name);
}

std::string LevelServices::FindString(std::int32_t id)
{
    const char* text = id < 0 ? nullptr : StringTable::Global().Find(static_cast<uint32_t>(id));
    return text ? text : "";
}

void LevelServices::DropCollision(script::ShapeRef& ref)
{
    if (ref.shape)
        static_cast<VeShape*>(ref.shape.get())->geometry_.reset();
    // Objects made from a tree file every part's mesh, so every part lets go.
    if (Hierarchy* tree = RoleHierarchy(ref))
        AnyNode(*tree, [](VeShape& s) {
            s.geometry_.reset();
            return false;
        });
    ref.hasCollision = false;
}

int32_t LevelServices::CreateServerObject(const Placement& p)
{
    serverObjects.push_back(p);
    return -1;
}

int32_t LevelServices::CreateClientObject(const Placement& p)
{
    clientObjects.push_back(p);
    return nextObjectId++;
}

int32_t LevelServices::LoadSound(const std::string& name)
{
    sounds.push_back(name);
    SoundSystem* system = SoundSystem::Global();
    return system ? system->LoadSoundChunks(name) : 0;
}

bool AsksForStaticShadows(const script::ScriptDefinition& map)
{
    return Given(map.FieldText(kShadowObjectRif)) || Given(map.FieldText(kShadowObjectName));
}

void LevelServices::BuildMap(script::ScriptDefinition& map)
{
    RecordServices::BuildMap(map);
    if (!map.IsComplete())
        return;
    const char* fileName = map.FieldText(kFile);
    std::string error;
    auto record = trevok::LoadEnvironmentFile(levelFolder, fileName, &error);
    if (!record) {
        Warning(std::string("map: cannot load ") + fileName + (error.empty() ? "" : ": " + error));
        return;
    }
    Level* level = Level::Current();
    if (!level) {
        const auto levelFile = platform::ResolveDataPath(levelFolder, fileName);
        level = levelFile ? LoadLevel(*this, *record, map, *levelFile) : nullptr;
        if (!level)
            return;
        Level::Current() = level;
        level->RebuildMeshes();
        for (const ShapeRequest& track : cameraTracks)
            LoadTrackNow(*this, track.file, track.name);
        std::vector<std::string> problems;
        AddChunkLights(level->Lights(), *record->file_, record->scale_, &problems);
        for (const std::string& p : problems)
            Warning(std::string("map: ") + fileName + ": " + p);
    }
    level->staticShadows_ = AsksForStaticShadows(map);
    const Vec3 vector = -level->origin_;

    // The loader already applies the file's environment scale; scaling the
    // markers a second time would shrink them towards the origin.
    std::vector<trevok::ChunkObject> dummies;
    trevok::LoadDummyObjects(dummies, *record, vector);
    level->dummies_.clear();
    for (const auto& d : dummies)
        level->dummies_.push_back({d.name_, d.position_});

    for (const auto& d : dummies) {
        if (!d.hasText_ || !trevok::SameNameIgnoringCase(Line(d.text_, 0), "Sound"))
            continue;
        AmbientEmitter e;
        e.sound = LoadSound(Line(d.text_, 1));
        if (e.sound == 0)
            continue;
        e.position = d.position_;
        ApplyAmbientCodes(Line(d.text_, 2), e);
        ambientSounds.push_back(e);
    }

    camera = CameraLimits{};
    if (const auto* d = FindDummy(dummies, map.FieldText(kCameraPlane))) {
        // The plane through the marker, facing along its forward vector.
        Vec3 n = d->rotation_.Rotate(d->first_);
        const float length = std::sqrt(n.x * n.x + n.y * n.y + n.z * n.z);
        if (length > 0 && std::isfinite(length)) {
            n = n * (1 / length);
            camera.plane[0] = n.x;
            camera.plane[1] = n.y;
            camera.plane[2] = n.z;
            camera.plane[3] = -(n.x * d->position_.x + n.y * d->position_.y + n.z * d->position_.z);
        }
    }
    camera.maxDistance = static_cast<float>(map.RealValue(kMaxCameraDistance));
    if (const auto* d = FindDummy(dummies, map.FieldText(kMaxFocus)))
        camera.highestFocus = d->position_.y;
    if (const auto* d = FindDummy(dummies, map.FieldText(kMinFocus)))
        camera.lowestFocus = d->position_.y;
    else
        camera.lowestFocus = level->floorHeight_;

    LoadNavigation();

    const auto* mapDefinition = dynamic_cast<const script::MapDefinition*>(&map);
    if (restoringSavedGame || !mapDefinition)
        return;
    for (const script::ObjectAssignment* a : mapDefinition->Assignments()) {
        // Team numbers are signed in the script; a negative one has no slot.
        if (a->team < 0 || a->team >= kTeamSlots || !teamSlotInUse[a->team] || !a->role)
            continue;
        for (const auto& d : dummies) {
            if (!trevok::SameNameIgnoringCase(d.name_, a->object))
                continue;
            Placement p{script::MakeRoleRecord(*a->role), a->team, d.position_, d.rotation_};
            if (!p.role)
                continue;
            int32_t id = serverRunning ? CreateServerObject(p) : -1;
            if (clientRunning)
                id = CreateClientObject(p);
            if (a->variable)
                SetVariable(*a->variable, static_cast<float>(id));
        }
    }
}

LevelServices* BuildLevelScript(const std::filesystem::path& dataRoot, const std::filesystem::path& script,
                                std::unique_ptr<LevelServices> services)
{
    if (!services)
        services = std::make_unique<LevelServices>();
    LevelServices* s = services.get();
    s->levelFolder = dataRoot;
    s->scriptPath = script;
    script::RecordTables::Global().SetServices(std::move(services));
    auto result = script::CompileScriptFile(script, script::kLevelScriptMode);
    if (!result.list || result.errors > 0) {
        for (const auto& m : result.messages)
            s->Warning(script::FormatMessage(m));
        return nullptr;
    }
    result.list->BuildAll();
    return s;
}
