// Light sets: a list of device lights plus one material, applied together.
// One set is current on the device; shapes and objects switch between sets
// cheaply. Four global sets live from start-up to exit. The first global set
// holds the lights that effects, particles and units add to the world; the
// level's own set borrows its point and spot lights (see LevelLight), so a
// change to that set's list reaches the device at the next draw whichever
// set is current.
#pragma once

#include <cstddef>
#include <cstdint>

#include "app/list.h"
#include "app/maths.h"
#include "app/ref_counted.h"
#include "platform/gfx.h"

class Light {
public:
    explicit Light(const gfx::Light& description) : desc_(description) {}
    virtual ~Light() = default;
    // Both reach the device at the next draw (see LightSet::LightsChanged).
    virtual void SetPosition(float x, float y, float z);
    virtual void SetPosition(const Vec3& position);
    virtual void SetSpecular(float r, float g, float b, float a);

    // Sets and enables the light on that device index.
    void Enable(uint32_t index) const;
    const gfx::Light& Description() const { return desc_; }
    gfx::Light& Description() { return desc_; }

private:
    gfx::Light desc_;
};

class LightSet : public RefCountedResource {
public:
    LightSet();
    ~LightSet() override;

    virtual void Apply();
    virtual void DisableLights();
    // Shapes call this with their bounds; a set may pick lights by them.
    virtual void OnDrawBounds(const Vec3& minimum, const Vec3& maximum);
    // Null when the set already holds as many lights as the device can use.
    virtual Light* AddLight(const gfx::Light& description);
    virtual void RemoveLight(Light* light);

    Light* AddPointLight(const Colour& colour, const Colour& specular, const Vec3& position, float range);
    Light* AddSpotLight(const Colour& colour, const Colour& specular, const Vec3& position, const Vec3& direction,
                        float range);
    Light* AddDirectionalLight(const Colour& colour, const Colour& specular, const Vec3& direction);
    void Clear();
    void SetEmissive(Colour colour);
    void SetAlpha(float alpha);

    int32_t LightCount() const { return count_; }
    const gfx::Material& Material() const { return material_; }
    gfx::Material& Material() { return material_; }
    List<Light*>& Lights() { return lights_; }

    static LightSet* Current();
    // Forgets the current set (device re-created: nothing is programmed).
    static void ForgetCurrent();
    // A light was changed in place (its description written directly): the
    // render queue applies a set only when it is not current, so the current
    // one is forgotten and the next draw programs the change.
    static void LightsChanged();

    static void CreateGlobals(LightSet* handedIn);
    static void DestroyGlobals();
    // 0 and 1 are built in place, 2 is the caller's, 3 is allocated.
    static LightSet* Global(int index);

private:
    static uint32_t MaxLights();
    // The list changed: the device is programmed anew at the next draw when
    // this set is current or is borrowed by the current one.
    void ListChanged();
    List<Light*> lights_;
    int32_t count_ = 0;
    gfx::Material material_;
};

// The default ambient colour of new lights.
const Colour& DefaultLightAmbient();
