// Hooks that change device state around one queued draw of a shape instance
// and put it back afterwards: a texture transform, user clip planes, sphere-
// mapped texture coordinates and a placement-and-alpha override. A hook is
// queued with a reference of its own; the builder drops its reference after
// queuing. Game thread only.
#pragma once

#include <array>
#include <string>

#include "Veapi/render_queue.h"
#include "app/maths.h"
#include "platform/gfx.h"

class TextureEntry;
class VeObject;

class ShapeDrawHook : public DrawHooks {
public:
    virtual void BeforeDraw(VeObject& instance);
    virtual void AfterDraw(VeObject& instance);

    void BeforeDraw(DrawRequest& request, TextureEntry* texture) final;
    void AfterDraw(DrawRequest& request, TextureEntry* texture) final;

protected:
    ~ShapeDrawHook() override = default;
};

// Texture stage 0 transformed by a 4 x 4 matrix (two coordinates).
class TextureScrollHook : public ShapeDrawHook {
public:
    using ShapeDrawHook::AfterDraw;
    using ShapeDrawHook::BeforeDraw;
    explicit TextureScrollHook(const gfx::Matrix& matrix) : matrix_(matrix) {}
    // Identity but for the third row's first two entries.
    static gfx::Matrix Scroll(float u, float v);
    void BeforeDraw(VeObject& instance) override;
    void AfterDraw(VeObject& instance) override;
    const gfx::Matrix& Matrix() const { return matrix_; }

private:
    gfx::Matrix matrix_;
};

// One plane keeps what lies below height h (y at least h, y grows down); two
// planes keep the band between h2 and h (h2 <= y <= h).
class ClipPlaneHook : public ShapeDrawHook {
public:
    using ShapeDrawHook::AfterDraw;
    using ShapeDrawHook::BeforeDraw;
    ClipPlaneHook(float h, float h2, bool twoPlanes) : h_(h), h2_(h2), twoPlanes_(twoPlanes) {}
    void BeforeDraw(VeObject& instance) override;
    void AfterDraw(VeObject& instance) override;
    // The planes the hook sets, in device form (kept where ax+by+cz+d >= 0).
    static std::array<float, 4> Plane(float normalY, float height);

private:
    float h_, h2_;
    bool twoPlanes_;
};

// The instance drawn with a sphere-mapped texture: each vertex facing the
// camera gets texture coordinates from its view-space normal.
class SphereMapHook : public ShapeDrawHook {
public:
    using ShapeDrawHook::AfterDraw;
    using ShapeDrawHook::BeforeDraw;
    explicit SphereMapHook(const std::string& textureName);
    void BeforeDraw(VeObject& instance) override;
    void AfterDraw(VeObject& instance) override;
    // (u, v) of a view-space normal; false when it faces away.
    static bool Coordinates(const Vec3& viewNormal, float& u, float& v);

protected:
    ~SphereMapHook() override;

private:
    TextureEntry* texture_ = nullptr;
    List<TextureEntry*> saved_;
    bool applied_ = false;
};

// Position, scale and light-set alpha swapped in for one draw. Dropped
// without its draw, it still puts back what it changed.
class PlacementOverrideHook : public ShapeDrawHook {
public:
    using ShapeDrawHook::AfterDraw;
    using ShapeDrawHook::BeforeDraw;
    PlacementOverrideHook(const Vec3& position, const Vec3& scale, float alpha)
        : position_(position), scale_(scale), alpha_(alpha)
    {
    }
    void BeforeDraw(VeObject& instance) override;
    void AfterDraw(VeObject& instance) override;

protected:
    ~PlacementOverrideHook() override;

private:
    void Restore();
    Vec3 position_, scale_;
    float alpha_;
    VeObject* applied_ = nullptr;
    Vec3 savedPosition_{0, 0, 0}, savedScale_{1, 1, 1};
    float savedAlpha_ = 1.0f;
};

namespace DeviceLimits {
// User clip planes the device offers.
uint32_t ClipPlanes();
// The hardware level: 2 with two or more texture stages, else 1; 0 without a device.
int32_t HardwareLevel();
} // namespace DeviceLimits
