// The level's light set: directional lights shine everywhere; point lights
// are filed in the level's cell grid by position and range, and before an
// object is drawn only those reaching it are switched on, as many as the
// device allows, larger ranges first, each dimmed by the fog at its place.
// The lights that effects, particles and units add to the world live in the
// first global light set; the level's set borrows its point and spot lights
// (never owning them), so they light the level and what stands in it as the
// level's own lamps do, each once. Game thread (drawing). Like every reader and writer of the level, the
// caller holds the level lock: exclusively to add, move or remove a point
// light, shared to choose lights. The set must go before the level does.
#pragma once

#include "Veapi/light_set.h"
#include "world/level_grid.h"

#include <cfloat>
#include <string>
#include <vector>

namespace trevok {
class ParentChunk;
}

class LevelPointLight : public Light {
public:
    LevelPointLight(const gfx::Light& description, LevelGrid* grid);
    ~LevelPointLight() override;

    // Refiled only when the light leaves its 4 x 4 block of columns.
    void SetPosition(float x, float y, float z) override;
    void SetPosition(const Vec3& position) override;
    // The base colour; the device gets intensity x base.
    void SetSpecular(float r, float g, float b, float a) override;
    void SetIntensity(float factor);
    Vec3 GetPosition() const;
    float Intensity() const { return intensity_; }
    float Range() const { return Description().range; }

    FiledLight filed_;

private:
    void ApplyIntensity();
    LevelGrid* grid_; // null: not filed
    gfx::ColourF base_;
    float intensity_ = 1.0f;
};

class LevelLight : public LightSet {
public:
    explicit LevelLight(LevelGrid* grid);
    ~LevelLight() override;

    // MakeCurrent: the directional lights from index 0, then every borrowed
    // light, the rest off.
    void Apply() override;
    void DisableLights() override;
    // SelectLights for an object's box: LightsFor, programmed.
    void OnDrawBounds(const Vec3& minimum, const Vec3& maximum) override;
    // Directional lights go to the set's own list, the others are filed.
    Light* AddLight(const gfx::Light& description) override;
    void RemoveLight(Light* light) override;

    // The point lights reaching the box, dimmed by the fog, in device index
    // order after `slots` directional ones out of `deviceLights`.
    std::vector<LevelPointLight*> ChooseLights(const Vec3& minimum, const Vec3& maximum, uint32_t firstFree,
                                               uint32_t deviceLights);
    // The lights for drawing what lies in the box, in device index order, at
    // most `deviceLights`: the set's directional lights, then the borrowed
    // lights reaching the box (all of them with no box), then the level's
    // point lights chosen for it.
    std::vector<Light*> LightsFor(const Vec3* minimum, const Vec3* maximum, uint32_t deviceLights);
    // The set whose point and spot lights are borrowed: the first global
    // light set, unless that is this one.
    LightSet* Borrowed() const;
    const List<LevelPointLight*>& PointLights() const { return points_; }
    bool Empty() const { return LightCount() == 0 && points_.IsEmpty(); }
    // Deletes every light, point lights unfiled first, and forgets the grid;
    // the level calls it before it goes, so a reference held elsewhere (a
    // queued draw) never reaches its grid.
    void RemoveAll();

private:
    static uint32_t DeviceLights();
    LevelGrid* grid_;
    List<LevelPointLight*> points_; // owned
};

// The lights of a level's lighting chunks: every STDLIGHT of every LIGHTSET
// under `root` becomes a light of `lights`. A STDLIGHT's 21 words are
// {type (1 point, 2 spot, 3 directional), flags, range, falloff},
// {diffuse, specular, ambient as red, green, blue}, {position, direction,
// constant and linear attenuation}; positions and ranges are in file units,
// times `scale`. A light with an unknown type, a value that is not finite or
// a negative range is left out, with a line naming the set and the light in
// `problems`. Returns the number of lights added.
int AddChunkLights(LevelLight& lights, const trevok::ParentChunk& root, float scale,
                   std::vector<std::string>* problems);

// The engine's light record as a level uses it to light its own drawing,
// and the global light list that holds the records lighting this frame.
// Game thread.
struct LightRecord {
    bool registered = false; // in the global light list
    bool valid = false;
    bool used = false;       // set by whoever lit with it this frame
    Vec3 position{0, 0, 0};
    Vec3 direction{0, 0, 0};
    bool flag = false;
    float range = FLT_MAX;
    float attenuation[2] = {0.5f, 0.5f};
    const void* owner = nullptr;

    // Into / out of the global light list, keeping `registered` true to it.
    void Register();
    void Unregister();
};

List<LightRecord*>& GlobalLightList();
// The global light record: what the frame's main light lit, read by the
// level each frame.
LightRecord& GlobalLightRecord();
