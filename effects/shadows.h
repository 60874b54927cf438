// Shadows in the five option modes: none, footprints, blobs under each part,
// projected (stencil) shadows of the characters, and those of the level too.
// The mode switch installs two routines: the per-object callback the world
// effect list's update calls once per frame, and the frame pass the main loop
// calls once per in-game frame (which also draws the late effect list and
// the overlays). Game thread only.
#pragma once

#include "app/maths.h"
#include "effects/static_shadows.h"

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class CollisionPolygon;
class Hierarchy;
class LightSet;
class ShapeInstance;
class VeObject;
class VeShape;
class TextureEntry;

// 0 none, 1 footprints, 2 blob shadows, 3 projected character shadows,
// 4 projected character and level shadows.
extern uint32_t ShadowMode;

// Flag bit of a caster's flags word while it is in the caster list.
inline constexpr uint32_t kCasterFlag = 0x100000;

// One blob of mode 2: a sprite object following one part.
struct BlobEntry {
    VeObject* sprite = nullptr;  // one use held
    ShapeInstance* part = nullptr;
};

// One part's edges of a projected shadow, with the part they follow.
struct CasterEdgeList {
    ShapeInstance* part = nullptr;  // in the caster's own instance; null: the root's placement
    std::vector<ShadowEdge> edges;  // in the shadow node's space
};

// What the shadows need of a client object. The object owns its shadow data
// through this base; the shadows fill and free them.
class ShadowCaster {
public:
    virtual ~ShadowCaster() = default;
    // The object's drawn instance tree; null: no shape, no shadow.
    virtual ShapeInstance* ShapeRoot() = 0;
    // The shadow hierarchy its character record names; null: none.
    virtual Hierarchy* ShadowHierarchy() = 0;
    virtual bool Visible() const = 0;
    virtual bool HasRole() const { return true; }
    virtual Vec3 Position() const = 0;
    // Heading in 4096ths of a turn.
    virtual float Heading() const = 0;
    // The floor height under the object (y grows downwards).
    virtual float FloorHeight() const = 0;
    // Where the object's tree is placed in the world (row vectors).
    virtual gfx::Matrix ObjectMatrix() const { return {}; }
    // The polygon the object stands on; null: ask the level.
    virtual CollisionPolygon* CurrentPolygon() const { return nullptr; }

    uint32_t flags_ = 0;
    std::vector<BlobEntry> blobs_;
    std::vector<CasterEdgeList> edgeLists_;
    std::unique_ptr<ShapeInstance> shadowInstance_;
};

// A footprint quad's four corners (on the floor) and its texel rectangle.
struct FootprintQuad {
    std::array<Vec3, 4> corners;
};
inline constexpr float kFootprintU0 = 745.0f / 1024.0f, kFootprintU1 = 776.0f / 1024.0f;
inline constexpr float kFootprintV0 = 526.0f / 1024.0f, kFootprintV1 = 556.0f / 1024.0f;

// One vertex of the full-screen quad: pre-transformed, 32 bytes.
struct ScreenQuadVertex {
    float x, y, z, rhw;
    uint32_t diffuse, specular;
    float u, v;
};
static_assert(sizeof(ScreenQuadVertex) == 32);

namespace Shadows {

using Routine = void (*)();
// What the frame pass draws of the effects: the late list (with the game
// time) and the overlays; the upgrade screen's item lists when it is open.
// No-ops until the effects and the interface install theirs.
struct FrameHooks {
    void (*drawLateList)(int64_t gameTime) = nullptr;
    void (*drawOverlays)() = nullptr;
    bool (*normalView)() = nullptr;         // true: no overlays
    void (*drawUpgradeItems)() = nullptr;   // null: none
};
void SetFrameHooks(const FrameHooks& hooks);
// The game time the passes draw with; the shell's clock by default.
void SetGameTimeSource(int64_t (*now)());

// The two routines the mode installs; never null.
Routine ObjectCallback();
Routine FramePass();
bool LevelShadows();

// Texture, sprite, light set, then ApplyMode. `lights` is the shadow light
// set the application made (one is made when null).
void Startup(LightSet* lights = nullptr);
void Shutdown();
void ApplyMode();
void AddCaster(ShadowCaster* object);
void RemoveCaster(ShadowCaster* object);
const std::vector<ShadowCaster*>& Casters();

void DrawFootPrints();
void DrawPartShadows();
void FramePassSimple();
void FramePassProjected();

// Whether the projected pass gave up on the stencil for this run.
bool FellBackToBlobs();
// The full-screen quad for a display size, as ApplyMode makes it.
std::array<ScreenQuadVertex, 4> ScreenQuad(int width, int height);
// What the quad's vertex buffer holds now; nothing while it is not made or
// its device objects are lost.
std::optional<std::array<ScreenQuadVertex, 4>> CurrentScreenQuad();
bool ScreenQuadMade();

// Geometry the routines use, exposed for their tests.
// The footprint under a foot at `foot` (world), on the floor `floorY`.
FootprintQuad Footprint(const Vec3& foot, float floorY, float heading);
// Where the sun ray through `part` meets the plane (point, normal), lifted
// by 0.03; false when the ray runs parallel to the plane.
bool BlobPoint(const Vec3& part, const Vec3& sun, const Vec3& planePoint, const Vec3& planeNormal, Vec3& out);
// One frame's volume quads, four corners each (V1, V2, V2', V1'), sorted by
// whether they face the camera.
struct VolumeGeometry {
    std::vector<Vec3> front, back;
    void AddQuad(const Vec3& v1, const Vec3& v2, const Vec3& e2, const Vec3& e1, const Vec3& normal,
                 const Vec3& camera);
    size_t Quads() const { return (front.size() + back.size()) / 4; }
};
// The volumes of one caster edge list in world space: each edge carried by
// `world` (row-vector device matrix), tested and extruded to `floorY`.
void AddCasterVolumes(VolumeGeometry& out, const std::vector<ShadowEdge>& edges, const float world[16],
                      float floorY, const Vec3& sun, const Vec3& camera);
// The level cells the frame uses: the one under the camera, and those in view.
std::vector<const ShadowCell*> CellsInUse(const LevelShadowData& data, const Vec3& camera, bool testView);
void AddCellVolumes(VolumeGeometry& out, const ShadowCell& cell, const Vec3& sun, const Vec3& camera);

} // namespace Shadows
