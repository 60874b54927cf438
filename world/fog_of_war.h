// The fog of war: a square grid over the level's ground holding, per cell,
// how fogged it is now (visible), the least it ever was (discovered) and
// what the fixed clearing points alone leave (fixed). The squad's units
// clear it round themselves each frame; the sum of discovered and visible
// is uploaded as the alpha of a texture the level draws over itself.
// Game thread only.
#pragma once

#include "app/list.h"
#include "app/maths.h"
#include "platform/gfx.h"

#include <cstdint>
#include <memory>
#include <vector>

class RenderMaterial;
class ShapeInstance;
class TextureEntry;

// What the fog needs of a unit that clears it round itself. The fog holds
// one reference while the unit is registered.
class FogDefogger {
public:
    virtual void HoldForFog() = 0;
    virtual void ReleaseForFog() = 0;
    virtual Vec3 FogPosition() const = 0;
    virtual float GetViewRange() const = 0;
    // A projectile clears only down to the partial value.
    virtual bool IsFogProjectile() const = 0;
    // Told with false when the fog lets go of the unit.
    virtual void SetDefogging(bool on) = 0;

protected:
    virtual ~FogDefogger() = default;
};

struct FogClearPoint {
    static constexpr uint32_t kPermanent = 0, kTimed = 1;
    Vec3 position{0, 0, 0};
    float radius = 0;
    uint32_t kind = kPermanent;
    int32_t remaining = 0; // clock ticks >> 10, timed points only
};

// Cells [x0, x1) x [y0, y1); empty when x0 >= x1 or y0 >= y1.
struct FogRect {
    int32_t x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    bool Empty() const { return x0 >= x1 || y0 >= y1; }
    void Add(const FogRect& o);
};

class FogOfWar {
public:
    static constexpr uint32_t kFogged = 127;   // nothing known
    static constexpr uint32_t kPartial = 63;   // what a clearing point reaches
    static constexpr int32_t kModeOff = 0, kModeStage = 1, kModePass = 2;

    // `maxSize` is the device's texture size limit. No texture is made
    // until CreateSurfaces.
    FogOfWar(int32_t requestedSize, int32_t maxSize);
    ~FogOfWar();
    FogOfWar(const FogOfWar&) = delete;
    FogOfWar& operator=(const FogOfWar&) = delete;

    static FogOfWar*& Global(); // null: no fog
    // The level start's fog: sized to the device's texture limit, its
    // texture in the device's best alpha format, its level and effect fog
    // materials made, and installed as the global one (any previous one is
    // destroyed). Null, and no global fog, without a device or a format.
    static FogOfWar* CreateGlobal(int32_t requestedSize);
    static void DestroyGlobal();
    // 0 no fog possible, 1 a second pass, 2 or more an extra texture stage.
    static int32_t DeviceHardwareLevel();
    // The device's texture-factor state as the fog colour last set it.
    static uint32_t& TextureFactor();

    // A material drawing `base` with the fog over it, by hardware level: 0
    // a plain copy (fog off); 1 a copy whose next pass blends the fog
    // texture over it; 2 or more a copy with the fog blended in by a second
    // stage. Sets the mode to match. One reference for the caller.
    RenderMaterial* MakeFogMaterial(const RenderMaterial& base, int32_t hardwareLevel);
    // Remakes the level and effect materials in place (their users keep
    // their pointers) for `hardwareLevel`, and compiles them again.
    void RebuildMaterials(int32_t hardwareLevel);
    // The materials the level and the level effects draw with; null until
    // CreateGlobal made them.
    RenderMaterial* LevelMaterial() const { return levelMaterial_; }
    RenderMaterial* EffectMaterial() const { return effectMaterial_; }
    // Null-safe forms the main loop and the device-loss path call.
    static void Update(FogOfWar* fog);
    static void Restore(FogOfWar* fog);

    void SetWorldArea(float x0, float z0, float x1, float z1);
    // On: the extra texture stage where the device has two stages, else a
    // second pass.
    void SetEnabled(bool on, bool twoStages = true);
    void SetColour(const Colour& colour);
    // Picks the format (most alpha bits, then fewest bits) among `formats`
    // and makes the texture; false when none fits or the device refuses.
    bool CreateSurfaces(const std::vector<gfx::FormatDesc>& formats);
    void Update();
    // `now` in clock ticks >> 10.
    void UpdateAt(uint64_t now);
    void Restore();
    // After a saved discovered layer was read back: visible rebuilt, the
    // whole grid uploaded.
    void Refresh();
    // The next Update counts elapsed time from `now`.
    void ResetClock(uint64_t now) { previous_ = now; clockStarted_ = true; }

    // Gives every vertex of the tree a second texture-coordinate set, the
    // fog texture's (u, v) under the world x and z: parts with one set (or
    // none) get a second, parts that already have two are written over.
    // `placement` places the tree's root. Parts drawn from a shared device
    // buffer are left alone; their layout belongs to the buffer.
    void MapShape(ShapeInstance& node, const Matrix34& placement) const;
    // Writes only the parts that already carry two sets.
    void MapShapeNode(ShapeInstance& node, const Matrix34& placement) const;

    void AddDefogger(FogDefogger* object);
    void RemoveDefogger(FogDefogger* object);
    // Takes ownership.
    void AddClearPoint(std::unique_ptr<FogClearPoint> point);

    // Discovered plus visible at the cell (0 to 254); 0 with the fog off.
    uint32_t VisibilityAt(const Vec3& position) const;
    // Twice the visible value; 0 with the fog off.
    uint32_t BaseVisibilityAt(const Vec3& position) const;
    void CellOf(const Vec3& position, int32_t& i, int32_t& j) const;

    // Changes whenever the world area is set (and differs between fogs), so
    // a shape mapped under one mapping knows to map again.
    uint32_t Mapping() const { return mapping_; }
    int32_t Size() const { return size_; }
    int32_t Mode() const { return mode_; }
    float CellsPerUnit() const { return cellsPerUnit_; }
    const std::vector<uint32_t>& Discovered() const { return discovered_; }
    const std::vector<uint32_t>& Visible() const { return visible_; }
    const std::vector<uint32_t>& Fixed() const { return fixed_; }
    std::vector<uint32_t>& MutableDiscovered() { return discovered_; }
    const FogRect& Dirty() const { return dirty_; }
    const List<FogClearPoint*>& ClearPoints() const { return points_; }
    gfx::Texture* VideoTexture() const;
    // The video texture as materials name it; it belongs to the fog, not to
    // the texture table, so table purges and device-loss passes leave it.
    TextureEntry* VideoEntry() const { return video_.get(); }
    const gfx::FormatDesc& Format() const { return format_; }
    uint32_t PackedColour() const { return packedColour_; }

    // Settings the FOG commands set and print; they have no effect on the grid.
    float discoveryValue_ = 0;
    float transitionDistance_ = 0;
    float transitionReciprocal_ = 0;
    float updateRate_ = 0;

private:
    void ApplyFog(RenderMaterial& material, const RenderMaterial& base, int32_t hardwareLevel);
    void Stamp(int32_t ci, int32_t cj, float radiusCells, bool partial, FogRect* stamped);
    void RebuildFixed();
    void RebuildVisible();
    void MarkAllDirty() { dirty_ = {0, 0, size_, size_}; }
    void Upload();
    void MapTree(ShapeInstance& node, const Matrix34& placement, bool addSets) const;
    int32_t Index(int32_t i, int32_t j) const { return i + j * size_; }

    float x0_ = 0, z0_ = 0, x1_ = 0, z1_ = 0;
    uint32_t mapping_ = 0;
    float scale_ = 0;
    float cellsPerUnit_ = 0;
    int32_t mode_ = kModeOff;
    std::vector<uint32_t> discovered_, visible_, fixed_;
    FogRect dirty_;
    // The defoggers' squares of the last visible rebuild: cleared cells
    // there fog again when a unit moves or leaves, so the next rebuild
    // uploads them too.
    FogRect lastStamped_;
    int32_t size_ = 0;
    uint32_t packedColour_ = 0;
    Colour colour_{};
    gfx::FormatDesc format_{};
    std::unique_ptr<TextureEntry> video_;
    RenderMaterial* levelMaterial_ = nullptr;
    RenderMaterial* effectMaterial_ = nullptr;
    List<FogClearPoint*> points_;   // owned
    List<FogDefogger*> defoggers_;  // one reference each
    uint64_t previous_ = 0;
    bool clockStarted_ = false;
};
