// The level's light set: directional lights shine everywhere; point lights
// are filed in the level's cell grid by position and range, and before an
// object is drawn only those reaching it are switched on, as many as the
// device allows, larger ranges first, each dimmed by the fog at its place.
// Game thread (drawing). Like every reader and writer of the level, the
// caller holds the level lock: exclusively to add, move or remove a point
// light, shared to choose lights. The set must go before the level does.
#pragma once

#include "Veapi/light_set.h"
#include "world/level_grid.h"

#include <vector>

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

    // MakeCurrent: the directional lights from index 0, the rest off.
    void Apply() override;
    void DisableLights() override;
    // SelectLights for an object's box.
    void OnDrawBounds(const Vec3& minimum, const Vec3& maximum) override;
    // Directional lights go to the set's own list, the others are filed.
    Light* AddLight(const gfx::Light& description) override;
    void RemoveLight(Light* light) override;

    // The point lights reaching the box, dimmed by the fog, in device index
    // order after `slots` directional ones out of `deviceLights`.
    std::vector<LevelPointLight*> ChooseLights(const Vec3& minimum, const Vec3& maximum, uint32_t firstFree,
                                               uint32_t deviceLights);
    const List<LevelPointLight*>& PointLights() const { return points_; }

private:
    static uint32_t DeviceLights();
    LevelGrid* grid_;
    List<LevelPointLight*> points_; // owned
};
