// The one current level of a running game: its drawable shape, its cell grid
// of collision polygons (the base), the movers sliding over them and what
// the camera, the shadows and the interface read of it. The level loader
// builds it and makes it current; the main loop draws it each frame; both
// threads query it under its lock (see LevelGrid).
#pragma once

#include "app/list.h"
#include "world/level_grid.h"
#include "world/level_light.h"
#include "world/mover.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class Camera;
class DrawHooks;
class FogOfWar;
class LightSet;
class RenderMaterial;
class TextureEntry;
class ShapeInstance;
class VeObject;
class VeShape;

// A named marker placed in the level's model (camera focus heights, effects).
struct LevelDummy {
    std::string name;
    Vec3 position{0, 0, 0};
};

// What a client move message hands the moving object: the polygon is looked
// up by its table index (null when the index is out of range or free).
struct LevelMoveRecord {
    uint32_t value;
    Vec3 start;
    CollisionPolygon* polygon;
    Vec3 end;
};

class Level : public LevelGrid {
public:
    // `shape` is the level's drawable shape (one use is taken; null for a
    // level without drawing, as on a server). `collision` is lent: its
    // polygons are copied into the grid's first mesh, placed where the shape
    // lies. Cells are laid out later (BuildCellGrid).
    Level(VeShape* shape, const Vec3& position, const CollisionSource* collision);
    // A level without drawing (as on a server).
    Level(std::nullptr_t, const Vec3& position, const CollisionSource* collision)
        : Level(static_cast<VeShape*>(nullptr), position, collision)
    {
    }
    // The same from a loaded object (a use is taken). `collision` stands in
    // for the geometry of the first node of its tree that has a shape; the
    // other nodes give their shapes' own collision geometry.
    Level(VeObject& object, const Vec3& position, const CollisionSource* collision);
    // The level from its cut tree (as the map build cuts it or the level
    // cache stores it): the one tree that is drawn and that segment queries
    // walk. Its nodes lie in level space.
    Level(std::unique_ptr<ShapeInstance> tree, const Vec3& position, const CollisionSource* collision);
    ~Level() override;

    static Level*& Current(); // null: no level loaded
    // Per frame from the main loop; both do nothing for a null level.
    // Draw queues the level with WorldLights() and the fog's level
    // material, and flushes.
    static void Draw(Level* level);
    static void CopyGlobalLightValues(Level* level);
    // The same copy from the global light record, for the lighting pass of
    // the level's draw: values and valid flag when the record was used,
    // else only the flag cleared.
    void RefreshLightValues();
    // Switches the global fog of war on or off (nothing without one).
    void SetFogEnabled(bool on);

    void DrawShape();
    // The level's reflection: the sub-meshes with this texture are drawn a
    // second time with a reflection material after the level's own draw.
    // One use of the texture is held; null clears it.
    void SetReflectionTexture(TextureEntry* texture);
    TextureEntry* ReflectionTexture() const { return reflectionTexture_; }
    // Asks for the reflection pass in the coming level draw (once; the
    // material and camera must outlive that draw).
    void RequestReflection(RenderMaterial* material, Camera* camera, LightSet* lights);
    // The level's light set, filled from its lighting chunks; lights added
    // here light the level's drawing. The level owns it.
    LevelLight& Lights() { return *lights_; }
    // What the level's world is lit by: its own set, which also carries the
    // effects' and units' lights of the first global set, or that global set
    // itself while the level has no lights. The level and the objects
    // standing in it are drawn with it.
    LightSet* WorldLights() const;
    // Hooks for an object's draw lit by WorldLights(): before each draw, the
    // level's point lights reaching the object's position are switched on.
    DrawHooks* ObjectLightingHook() const { return objectLightingHook_; }
    // The object the level draws: the loaded one, or one over the cut tree;
    // null for a level without drawing.
    VeObject* DrawObject() const { return object_ ? object_ : treeObject_; }
    VeShape* Shape() const;
    // The root of the level object's tree, and the owner of the level's own
    // mesh; null for a level without drawing.
    ShapeInstance* GetShapeRoot() const;
    // Once the level is current: every shape of the drawn tree gets its device
    // buffers ready.
    void RebuildMeshes();

    // Objects with collision geometry: their tree's polygons at the object's
    // placement (as drawn). Adding again moves them; removing unlinks them
    // both ways. Callers hold the lock exclusively while the other thread
    // reads. Null / false for a null object or one without a tree.
    CollisionMesh* AddObjectGeometry(VeObject* object);
    bool RemoveObjectGeometry(VeObject* object);
    // The level's cut tree, every node boxed, which segment queries (line of
    // sight) walk: the tree the level was made from, or for a level made
    // from a shape, that shape cut into pieces of at most
    // kShapeTreePieceVertices; null without either.
    ShapeInstance* ShapeTree() const { return shapeTree_; }
    static constexpr uint32_t kShapeTreePieceVertices = 2048;

    // Movers. AddMover takes the body over and moves `position` to the centre
    // of the ground polygon under it, when there is one.
    Mover* AddMover(Vec3& position, std::unique_ptr<MoverBody> body, uint32_t time);
    // Slides the mover to `time`, heading for target's x and z; writes where
    // it got into `target`. False when it was stopped at an edge it cannot
    // cross (or gave up after too many polygon crossings in one call).
    bool AdvanceMover(Vec3& target, Mover& mover, uint32_t time);
    void RemoveMover(Mover* mover);
    // Callers hold the lock shared.
    LevelMoveRecord FillMoveRecord(const Vec3& start, const Vec3& end, uint32_t polygonIndex, uint32_t value) const;
    const List<Mover*>& Movers() const { return movers_; }

    // Most polygon crossings one AdvanceMover call makes before it stops the
    // mover where it is: slivers could otherwise hand it back and forth
    // without its time advancing.
    static constexpr int kMaxCrossings = 1024;

    Vec3 origin_{0, 0, 0}; // minus the position the level was placed at
    Vec3 minimum_{0, 0, 0};
    Vec3 maximum_{0, 0, 0};
    Vec3 innerMinimum_{0, 0, 0}; // 0.99 x minimum + 0.01 x maximum
    Vec3 innerMaximum_{0, 0, 0};
    uint64_t levelFileTime_ = 0;
    // The map names a shadow object: the level casts its own shadows where
    // the shadow mode draws them.
    bool staticShadows_ = false;
    bool cellsLaidOut_ = false;
    bool navigationPrepared_ = false; // links loaded or built once per level
    bool levelLightEnabled_ = false;
    Colour levelColour_{};

    // Read by the camera: bounds from the inner corners, and a pivot.
    float cameraMinX_ = 0, cameraMaxX_ = 0, cameraMinZ_ = 0, cameraMaxZ_ = 0;
    bool cameraPivotSet_ = false;
    Vec3 cameraPivot_{0, 0, 0};
    // The lowest point of the level: the largest y, as y grows downward.
    float floorHeight_ = 0;
    // A screen probe served by the draw: request, the point hit, and whether
    // the point is valid.
    bool probeRequested_ = false;
    Vec3 probePoint_{0, 0, 0};
    bool probeValid_ = false;
    std::string modelFileName_;
    std::string modelDirectory_;
    bool ready_ = false;
    uint32_t statusPolygons_ = 0; // figures the status display shows
    uint32_t statusMeshes_ = 0;
    std::vector<LevelDummy> dummies_;

    Vec3 globalLightValues_{0, 0, 0};
    bool globalLightValuesValid_ = false;
    // The record lighting the level's own drawing while the level light is
    // enabled, and where it stood when it was last used.
    LightRecord lightRecord_;
    Vec3 litPosition_{0, 0, 0};
    bool litPositionValid_ = false;
    // The static-shadow edges and cells, kept by the shadow code above this
    // folder; they go with the level.
    std::shared_ptr<void> shadowData_;

protected:
    // The movers standing on the mesh lose their ground.
    void OnMeshRemoved(CollisionMesh& mesh) override;

private:
    // The fall of a mover without ground: true when it landed within
    // `remaining` (its time advanced to the landing), false when the step
    // ends in the air or with no ground under it at all.
    bool Fall(Mover& mover, uint32_t remaining);
    // The first linked polygon the mover may enter at `point`.
    CollisionPolygon* Crossing(const CollisionPolygon& from, const Mover& mover, const Vec3& point,
                               const Vec3& velocity, int32_t crossTime) const;

    void BuildLevelMesh(const Vec3& position, const CollisionSource* collision);
    void QueueAndFlush();
    // The fog's second texture coordinates on the drawn tree, once per fog
    // mapping (a new fog or a new world area maps again).
    void MapFog(const FogOfWar& fog);
    // Drawn at once, after the level's queue flush: depth-tested against the
    // level just drawn, so only its reflecting surfaces change.
    void DrawReflection();

    VeObject* object_ = nullptr; // one use held
    // For a level made from its cut tree: the object that owns and draws it.
    VeObject* treeObject_ = nullptr;
    // For a level made from a shape or object: a cut copy of its shape.
    std::unique_ptr<ShapeInstance> queryTree_;
    ShapeInstance* shapeTree_ = nullptr; // one of the two above
    LevelLight* lights_ = nullptr;       // one reference held
    DrawHooks* lightingHook_ = nullptr;  // one reference held
    DrawHooks* objectLightingHook_ = nullptr; // one reference held
    uint32_t fogMapping_ = 0;            // the fog mapping the tree carries
    TextureEntry* reflectionTexture_ = nullptr; // one use held
    RenderMaterial* reflectionMaterial_ = nullptr; // lent, for one draw
    Camera* reflectionCamera_ = nullptr;
    LightSet* reflectionLights_ = nullptr;
    List<Mover*> movers_;      // owned; in the order added
};
