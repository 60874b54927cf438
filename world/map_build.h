// The level build of a map definition, and the game's record services at
// the world layer: shapes for role records come from the chunk loaders, and
// a map loads its level (through the level cache when that is valid), its
// dummies, ambient sounds and camera limits, and places the objects its use
// clauses assign. Services of later subsystems (server and client objects,
// the loading screen, console variables, sounds) are virtual calls whose
// defaults do the least and record what they were asked.
#pragma once

#include "app/maths.h"
#include "chunk/loaders/environment_loader.h"
#include "script/records.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

// The level's cut-scenes go to the registry the camera update plays from.
trevok::CutsceneReceiver& LevelCutsceneRegistry();

// What the session's level stop calls for the level's build: forgets the
// level's cut-scenes (and the running one) so none outlives its level.
void OnLevelStop();

struct AmbientEmitter {
    int32_t sound = 0;
    Vec3 position{0, 0, 0};
    float inner = 0, outer = 0;
    uint32_t volume = 100;
    float pitch = 0;  // octaves
};

struct CameraLimits {
    float plane[4] = {0, 0, 1, 0};
    float maxDistance = 0;
    std::optional<float> highestFocus, lowestFocus;
};

class Hierarchy;
class VeObject;

class LevelServices : public script::RecordServices {
public:
    static constexpr int kTeamSlots = 8;
    static constexpr uint32_t kLoadingText = 6099;

    struct Placement {
        const script::Role* role = nullptr;
        int team = 0;
        Vec3 position{0, 0, 0};
        Quaternion rotation{0, 0, 0, 1};
    };

    void BuildMap(script::ScriptDefinition& map) override;
    // Role shapes from the chunk files named by shape and hierarchy
    // definitions (relative to levelFolder).
    script::ShapeRef CachedShape(const std::string& file, const std::string& name) override;
    script::ShapeRef HierarchyShape(const std::string& file, const std::string& name,
                                    const std::optional<std::string>& hotspot,
                                    const std::optional<std::string>& alternateHotspot) override;
    void DropCollision(script::ShapeRef& shape) override;
    // Texts from the game's string table; empty for an id without text.
    std::string FindString(std::int32_t id) override;
    // A camera track's cut-scene, handed to `cutscenes` at the level's
    // origin; nothing without a receiver. One defined before the map is
    // loaded once the map has made the level.
    bool LoadCameraTrack(const std::string& file, const std::string& name) override;

    // Seams of later subsystems; each records what it was asked.
    virtual int32_t CreateServerObject(const Placement& p);  // the id; -1 when none was made
    virtual int32_t CreateClientObject(const Placement& p);  // gives the next object id
    virtual void ShowLoading(const std::string& text) { loadingTexts.push_back(text); }
    virtual void SetProgress(int percent) { progress.push_back(percent); }
    virtual void SetVariable(const std::string& name, float value) { variables.emplace_back(name, value); }
    // A sound's index in the global sound system (0: none or no system).
    virtual int32_t LoadSound(const std::string& name);
    virtual void LoadNavigation() { ++navigationLoads; }

    // How the session stands while the map builds.
    std::filesystem::path levelFolder;  // what the map's file names are relative to
    std::filesystem::path scriptPath;   // the level script, which the cache must never replace
    trevok::CutsceneReceiver* cutscenes = &LevelCutsceneRegistry();  // null: the level's cut-scenes are not kept
    bool serverRunning = true;
    bool clientRunning = true;
    bool restoringSavedGame = false;
    bool teamSlotInUse[kTeamSlots] = {true, true, true, true, true, true, true, true};

    // Where role shapes come from, each giving the caller one use; the game
    // points these at its shared model caches. Unset: each request loads
    // the file from levelFolder afresh.
    std::function<VeShape*(const std::string& file, const std::string& name)> shapeSource;
    std::function<Hierarchy*(const std::string& file, const std::string& name)> hierarchySource;

    // What the build left.
    std::vector<AmbientEmitter> ambientSounds;
    CameraLimits camera;
    bool cacheRead = false;
    bool cacheWritten = false;

    // Recordings of the seams.
    std::vector<Placement> serverObjects, clientObjects;
    std::vector<std::string> loadingTexts, sounds;
    std::vector<int> progress;
    std::vector<std::pair<std::string, float>> variables;
    int navigationLoads = 0;
    int32_t nextObjectId = 1;
};

// What a role record keeps of a loaded model beside its shape: the positions
// of the hotspot nodes (first-key poses carried up to the root; zero for a
// name that is none or no node has) and how many of the sequences 21 to 25
// and 26 to 30 the root has.
void ReadHierarchyFacts(const Hierarchy& root, const std::optional<std::string>& hotspot,
                        const std::optional<std::string>& alternateHotspot, script::ShapeRef& out);

// The 3-D object of a role's model: from the whole tree when the record
// holds a hierarchy (every part and sequence), else from its shape; null for
// neither. One use for the caller.
VeObject* MakeRoleObject(const script::ShapeRef& ref, bool withBox);
// The tree a record holds, or null (a plain shape or nothing).
Hierarchy* RoleHierarchy(const script::ShapeRef& ref);

// What the session start does with the stored level names: installs the
// level services (fresh ones when none are given), compiles the level
// script and builds its definitions. The services stay with the record
// tables; null when the script did not compile (its messages then are the
// services' warnings).
LevelServices* BuildLevelScript(const std::filesystem::path& dataRoot, const std::filesystem::path& script,
                                std::unique_ptr<LevelServices> services = {});

// Whether a map asks for the level's own (static) shadows: it names a
// shadow object, by file or by name.
bool AsksForStaticShadows(const script::ScriptDefinition& map);

// The third line of an ambient sound dummy's text: letter codes I (inner), R
// (outer), V (volume) and P (pitch in semitones, stored in octaves), each
// followed by its number. Unknown letters and numbers without a code are
// skipped.
void ApplyAmbientCodes(const std::string& codes, AmbientEmitter& emitter);
