// Opening a model or level file as an EnvironmentRecord and taking from it what
// the game asks for: one object's shape, the only shape of a shape file, the
// objects or markers of a name, a cut-scene, and at the end of a level load the
// textures its shapes named. Level loading, the game cursor and definition
// shapes call these on the main thread.
#pragma once

#include "app/maths.h"
#include "chunk/environment_record.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class VeShape;

namespace trevok {

class CutsceneChunk;
class DummyObjectChunk;
class EnvironmentChunk;
class ObjectChunk;

using EnvironmentRecordPtr = std::unique_ptr<EnvironmentRecord>;

// Texture sizes are rounded up to the device's sizes with this limit.
inline constexpr uint32_t kEnvironmentTextureLimit = 1024;

// None when the file cannot be read or is damaged; `error` (when given) then
// holds the file's message.
EnvironmentRecordPtr LoadEnvironmentFile(const std::filesystem::path& name, std::string* error = nullptr);
// A file named by the game's data (back-slashes, any letter case) inside
// `folder`; a name that resolves to nothing there, or would leave it, gives none.
EnvironmentRecordPtr LoadEnvironmentFile(const std::filesystem::path& folder, std::string_view dataName,
                                         std::string* error = nullptr);
// The same from a whole file image (tools, tests and fuzzing).
EnvironmentRecordPtr LoadEnvironmentImage(std::span<const uint8_t> image, std::string name = {},
                                          std::string* error = nullptr);
void FreeEnvironmentRecord(EnvironmentRecordPtr& record);
void GetEnvironmentScale(float& scale, const EnvironmentRecord& record);
// Scale and texture table from the file's environment chunk.
void ReadEnvironmentData(const EnvironmentChunk& environment, EnvironmentRecord& record);

// Names of the file's named top-level hierarchies, in file order; they point
// into the record's file and live as long as it does.
void FindHierarchyChunks(const EnvironmentRecord& record, std::vector<const std::string*>& list);

// The shape of the first top-level object of that name (any letter case) that
// has a shape, with its vertex tints; position and rotation as stored, the
// position scaled. None when there is no such object.
VeShape* LoadObjectFromChunks(EnvironmentRecord& record, std::string_view objectName, Vec3* position,
                              Quaternion* rotation, uint32_t options);
// The shape linked to an object, with the object's vertex tints; none
// without a linked shape.
VeShape* BuildObjectShape(ObjectChunk& object, EnvironmentRecord& record, uint32_t options);
// The shape of a file whose root holds exactly one shape; none otherwise.
VeShape* LoadOnlyShape(EnvironmentRecord& record);
// The file's top-level objects named `name`, ignoring letter case.
void FilterObjectsByName(std::vector<ObjectChunk*>& list, const EnvironmentRecord& record, std::string_view name);

// A marker of a level: a named place with an orientation and an optional text.
struct ChunkObject {
    std::string name_;
    Vec3 position_{0, 0, 0};
    Quaternion rotation_{0, 0, 0, 1};  // the four stored values, unchanged
    Vec3 first_{0, 0, 0}, second_{0, 0, 0};
    std::string text_;
    bool hasText_ = false;

    // Position, triples and rotation as stored (the position not yet scaled).
    static ChunkObject FromChunk(const DummyObjectChunk& chunk);
};
// Appends the file's top-level markers, their positions scaled and moved by -origin.
void LoadDummyObjects(std::vector<ChunkObject>& list, const EnvironmentRecord& record, const Vec3& origin);

// Loads every texture the built shapes named and purges the unused ones.
void LoadLevelTextures(const std::function<void(float)>& progress = {});

// What plays a cut-scene: the media layer hands itself in.
class CutsceneReceiver {
public:
    virtual ~CutsceneReceiver() = default;
    virtual void Load(const CutsceneChunk& cutscene, float scale, const Vec3& origin) = 0;
};
// The special-objects cut-scene of that name (any letter case), or none.
const CutsceneChunk* FindEnvironmentCutscene(const EnvironmentRecord& record, std::string_view name);
// Finds the cut-scene and hands it over; false when any step finds nothing.
bool LoadEnvironmentSpecials(CutsceneReceiver& cutscene, const EnvironmentRecord& record, std::string_view name,
                             const Vec3& origin);

// Letter case is ignored in every name the game looks up in a file.
bool SameNameIgnoringCase(std::string_view a, std::string_view b);

} // namespace trevok
