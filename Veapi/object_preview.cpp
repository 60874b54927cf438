#include "Veapi/object_preview.h"

#include <algorithm>

#include "Veapi/camera.h"
#include "Veapi/light_set.h"
#include "Veapi/ve3d.h"
#include "Veapi/ve_object.h"
#include "app/clock.h"

namespace {

struct Preview {
    ObjectPreview::ObjectFactory factory;
    std::unique_ptr<PreviewObject> object, suspended;
    int32_t suspendCount = 0;
    std::unique_ptr<Camera> camera;
    bool cameraReady = false;
    int32_t x = 0, y = 0;
    float invWidth = 1.0f / 640.0f, heightFactor = 0.75f / 480.0f;
    Quaternion orientation{0, 0, 0, 1};
    int32_t looped = -1;
    bool oneShotRunning = false;
    uint8_t oneShotDone = 0;
    uint8_t* callerDone = nullptr;
    LightSet* lights = nullptr;
    RenderMaterial* material = nullptr;
};

// Outlives the exit handlers that shut the preview down.
Preview& P()
{
    static auto* p = new Preview;
    return *p;
}

Vec3 PlacedAt()
{
    const Preview& p = P();
    return {float(p.x) * p.invWidth, float(p.y) * p.heightFactor + 0.125f, 0.0f};
}

// The preview's object as a 3-D object made from the hierarchy. Plays start
// on the real-time clock the preview draws with.
class VeObjectPreview final : public PreviewObject {
public:
    explicit VeObjectPreview(Hierarchy* hierarchy) : object_(VeObject::FromHierarchy(hierarchy, false)) {}
    ~VeObjectPreview() override { object_->Release(); }
    VeObjectPreview(const VeObjectPreview&) = delete;
    VeObjectPreview& operator=(const VeObjectPreview&) = delete;

    void Bounds(Vec3& minimum, Vec3& maximum) const override
    {
        minimum = object_->minimum_;
        maximum = object_->maximum_;
    }
    void SetBounds(const Vec3& minimum, const Vec3& maximum) override
    {
        object_->minimum_ = minimum;
        object_->maximum_ = maximum;
        object_->RebuildBounds();
    }
    void SetPosition(const Vec3& position) override { object_->placement_.SetPosition(position); }
    void SetOrientation(const Quaternion& orientation) override { object_->placement_.SetOrientation(orientation); }
    bool SequenceIsStatic(int32_t index) const override { return object_->SequenceIsStatic(index); }
    void PlaySequence(int32_t index, int32_t speed, int32_t repeat, uint32_t mode, uint8_t* done) override
    {
        object_->PlaySequence(index, &speed, repeat, RealTime.Now64(), done, mode, true);
    }
    void QueueDraw(uint64_t now, Camera& camera, LightSet* lights, RenderMaterial* material, int slot,
                   uint32_t flags) override
    {
        object_->QueueDraw(now, &camera, lights, material, slot, flags, nullptr, nullptr, nullptr);
    }
private:
    VeObject* object_;
};

} // namespace

namespace ObjectPreview {

std::unique_ptr<PreviewObject> MakeObject(Hierarchy* hierarchy)
{
    return std::make_unique<VeObjectPreview>(hierarchy);
}

void SetObjectFactory(ObjectFactory factory) { P().factory = std::move(factory); }

void Startup()
{
    Preview& p = P();
    p.object.reset();
    p.suspended.reset();
    p.suspendCount = 0;
    p.camera = std::make_unique<Camera>();
    p.cameraReady = false;
    p.orientation = {0, 0, 0, 1};
    p.looped = -1;
    p.oneShotRunning = false;
    p.oneShotDone = 0;
    p.callerDone = nullptr;
    UpdateScale();
}

void Shutdown()
{
    Preview& p = P();
    p.object.reset();
    p.suspended.reset();
    p.camera.reset();
    p.callerDone = nullptr;
}

void SetHierarchy(Hierarchy* hierarchy)
{
    Preview& p = P();
    if (p.camera && !p.cameraReady) {
        p.camera->Update();
        p.cameraReady = true;
    }
    p.object.reset();
    if (hierarchy && p.factory)
        p.object = p.factory(hierarchy);
    p.oneShotRunning = false;
    p.looped = -1;
    if (!p.object)
        return;
    // Fit the object in a cube about its origin, and the camera's depth to it.
    Vec3 lo, hi;
    p.object->Bounds(lo, hi);
    const float m = std::max({hi.x, hi.y, hi.z, -lo.x, -lo.y, -lo.z});
    p.object->SetBounds({-m, -m, -m}, {m, m, m});
    if (p.camera) {
        const DepthRange& r = p.camera->RangeA();
        p.camera->SetDepthRangeA(r.minZ, r.maxZ, -m, m);
        p.camera->UpdateDepthRange();
    }
    p.object->SetPosition(PlacedAt());
    p.object->SetOrientation(p.orientation);
}

void SetScreenPosition(int x, int y)
{
    Preview& p = P();
    p.x = x;
    p.y = y;
    if (p.object)
        p.object->SetPosition(PlacedAt());
}

void SetOrientation(const Quaternion& orientation)
{
    Preview& p = P();
    p.orientation = orientation;
    if (p.object)
        p.object->SetOrientation(orientation);
}

void UpdateScale()
{
    Preview& p = P();
    const int w = Display::Width(), h = Display::Height();
    // Before the first mode the classic 640 x 480 stands in.
    p.invWidth = 1.0f / float(w > 0 ? w : 640);
    p.heightFactor = 0.75f / float(h > 0 ? h : 480);
}

void Suspend()
{
    Preview& p = P();
    if (!p.object) {
        ++p.suspendCount;
        return;
    }
    p.suspendCount = 1;
    p.suspended = std::move(p.object);
}

void Resume()
{
    Preview& p = P();
    if (--p.suspendCount > 0)
        return;
    p.suspendCount = 0;
    p.object = std::move(p.suspended);
}

void PlayLooped(int32_t index)
{
    Preview& p = P();
    if (!p.object)
        return;
    p.looped = index;
    if (!p.oneShotRunning)
        p.object->PlaySequence(index, kNormalSpeed, -1, 0, nullptr);
}

void PlayOnce(int32_t index, uint8_t* done)
{
    Preview& p = P();
    if (!p.object) {
        if (done)
            *done = 1;
        return;
    }
    if (p.object->SequenceIsStatic(index)) {
        if (done)
            *done = 0;
        p.object->PlaySequence(index, kNormalSpeed, 1, kPlayOnceStatic, done);
        return;
    }
    p.oneShotDone = 0;
    p.object->PlaySequence(index, kNormalSpeed, 1, kPlayOnce, &p.oneShotDone);
    p.oneShotRunning = true;
    p.callerDone = done;
    if (done)
        *done = p.oneShotDone;
}

void QueueDraw()
{
    Preview& p = P();
    if (p.object && p.camera)
        p.object->QueueDraw(RealTime.Now64(), *p.camera, p.lights ? p.lights : LightSet::Global(1),
                            p.material, 0, kDrawFlags);
    if (p.oneShotRunning && p.oneShotDone) {
        p.oneShotRunning = false;
        if (p.object && p.looped >= 0)
            p.object->PlaySequence(p.looped, kNormalSpeed, -1, 0, nullptr);
        if (p.callerDone)
            *p.callerDone = 1;
        p.callerDone = nullptr;
    }
}

Camera* GetCamera() { return P().camera.get(); }

void SetLighting(LightSet* lights, RenderMaterial* material)
{
    P().lights = lights;
    P().material = material;
}

PreviewObject* Current() { return P().object.get(); }
int32_t SuspendCount() { return P().suspendCount; }
int32_t LoopedSequence() { return P().looped; }

} // namespace ObjectPreview
