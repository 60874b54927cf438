#include "objects/shape_cache.h"
#include "ui/hud_view.h"
#include "ui/status_window.h"
#include "ui/wheel.h"
#include "Veapi/camera.h"
#include "Veapi/hit_probe.h"
#include "Veapi/ve_object.h"
#include "Veapi/ve_shape.h"

#include <cmath>

namespace {

constexpr float kRadiansPerStep = 6.2831853f / 4096.0f;

// The probe under the pointer hit a segment's part: the segment is hovered
// (until its next draw).
class HoverHook : public HitHook {
public:
    void OnHit(HitProbe&) override
    {
        if (widget_)
            widget_->SetHovered();
    }
    WheelWidget* widget_ = nullptr;
};

// The world point the camera shows at the wheel's placement: x a fraction
// of the viewport's width, y of three quarters of its height (the
// placement counts y on a 4:3 screen, 0 to 0.75), at `depth` in front of
// the eye. False when the camera cannot place it.
bool PointAtPlacement(Camera& camera, float x, float y, float depth, Vec3& out)
{
    camera.Update();
    const gfx::Viewport& v = camera.DeviceViewport();
    if (!(camera.HalfWidth() > 0) || !(camera.HalfHeight() > 0) || !(camera.FarPlane() > camera.NearPlane()))
        return false;
    const float px = float(v.x) + x * float(v.width), py = float(v.y) + y * 4.0f / 3.0f * float(v.height);
    const float nx = (px - camera.CentreX()) / camera.HalfWidth();
    const float ny = (camera.CentreY() - py) / camera.HalfHeight();
    float a[4], b[4];
    TransformPoint4(camera.InverseCombined(), {nx, ny, 0.0f}, a);
    TransformPoint4(camera.InverseCombined(), {nx, ny, 1.0f}, b);
    if (a[3] == 0 || b[3] == 0)
        return false;
    // The ray runs from the near plane to the far plane; the distance along
    // the view axis grows evenly along it.
    const Vec3 nearPoint{a[0] / a[3], a[1] / a[3], a[2] / a[3]}, farPoint{b[0] / b[3], b[1] / b[3], b[2] / b[3]};
    const float t = (depth - camera.NearPlane()) / (camera.FarPlane() - camera.NearPlane());
    out = nearPoint + (farPoint - nearPoint) * t;
    return std::isfinite(out.x) && std::isfinite(out.y) && std::isfinite(out.z);
}

// A segment drawn as one part of the wheel model, tested against the
// default hit probe. Its placement is in screen fractions, so it is put
// into the world through the camera it is drawn with, at each draw.
class ModelShape : public WheelShape {
public:
    ModelShape(VeObject* object, Camera** camera)
        : object_(object), camera_(camera), partTurn_(object->placement_.Orientation())
    {
    }
    ~ModelShape() override { object_->Release(); }
    void Place(float x, float y, float depth) override
    {
        x_ = x;
        y_ = y;
        depth_ = depth;
    }
    void SetAngle(float angle) override { angle_ = std::isfinite(angle) ? std::fmod(angle, 4096.0f) : 0.0f; }
    void Draw(Material material, const void* pickIdentity) override
    {
        Camera* camera = camera_ ? *camera_ : nullptr;
        Vec3 at;
        if (!camera || !PointAtPlacement(*camera, x_, y_, depth_, at))
            return;
        object_->placement_.SetPosition(at);
        // The turn about the view axis, times the part's own.
        const Vec3 axis = camera->GetViewDirection();
        const float half = angle_ * kRadiansPerStep / 2, s = std::sin(half);
        object_->placement_.SetOrientation(Quaternion(axis.x * s, axis.y * s, axis.z * s, std::cos(half)) *
                                           partTurn_);
        // The identity is the segment that draws this part.
        hover_.widget_ = static_cast<WheelWidget*>(const_cast<void*>(pickIdentity));
        const InterfaceLights::Which lights[] = {InterfaceLights::kNormal, InterfaceLights::kPressed,
                                                 InterfaceLights::kWhite, InterfaceLights::kHighlighted};
        object_->QueueDraw(uint64_t(HudView::Current().RealNow()), camera, InterfaceLights::Get(lights[material]),
                           nullptr, 0, DrawFlag::kHitTest | DrawFlag::kDefaultProbe, &hover_, nullptr, nullptr);
    }

private:
    VeObject* object_;
    Camera** camera_;
    const Quaternion partTurn_;
    float x_ = 0.5f, y_ = 0.375f, depth_ = 0.5f, angle_ = 0;
    HoverHook hover_;
};

} // namespace

namespace CommandWheel {
WheelShapeFactory ModelShapes(Camera** camera)
{
    return [camera](const std::string& file, const std::string& part) -> std::unique_ptr<WheelShape> {
        VeShape* shape = ShapeCache::Get(file, part);
        if (!shape)
            return nullptr;
        VeObject* object = VeObject::FromShape(shape, true);
        shape->Release();
        return std::make_unique<ModelShape>(object, camera);
    };
}
} // namespace CommandWheel
