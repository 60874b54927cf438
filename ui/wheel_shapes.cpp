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

// A segment drawn as one part of the wheel model, tested against the
// default hit probe.
class ModelShape : public WheelShape {
public:
    ModelShape(VeObject* object, Camera** camera) : object_(object), camera_(camera) {}
    ~ModelShape() override { object_->Release(); }
    void Place(float x, float y, float depth) override { object_->placement_.SetPosition({x, y, depth}); }
    void SetAngle(float angle) override
    {
        const float half = angle * kRadiansPerStep / 2;
        object_->placement_.SetOrientation(Quaternion(0, 0, std::sin(half), std::cos(half)));
    }
    void Draw(Material material, const void* pickIdentity) override
    {
        Camera* camera = camera_ ? *camera_ : nullptr;
        if (!camera)
            return;
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
    HoverHook hover_;
};

} // namespace

namespace CommandWheel {
WheelShapeFactory ModelShapes(Camera** camera)
{
    return [camera](const std::string& part) -> std::unique_ptr<WheelShape> {
        VeShape* shape = ShapeCache::Get(kModelFile, part);
        if (!shape)
            return nullptr;
        VeObject* object = VeObject::FromShape(shape, true);
        shape->Release();
        return std::make_unique<ModelShape>(object, camera);
    };
}
} // namespace CommandWheel
