// The object preview: one animated 3-D object drawn on top of the scene with
// its own camera, used for the game's mouse cursor shapes. The cursor loader
// hands it a hierarchy, the mouse moves it, screens that must not show it
// suspend it (nesting), and the display's end of frame queues its draw.
// It plays a looping idle sequence with one-shot sequences on top.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "app/maths.h"

class Camera;
class LightSet;
class RenderMaterial;
class Hierarchy;

// What the preview needs of a 3-D object made from a hierarchy.
class PreviewObject {
public:
    virtual ~PreviewObject() = default;
    virtual void Bounds(Vec3& minimum, Vec3& maximum) const = 0;
    virtual void SetBounds(const Vec3& minimum, const Vec3& maximum) = 0;
    virtual void SetPosition(const Vec3& position) = 0;
    virtual void SetOrientation(const Quaternion& orientation) = 0;
    virtual bool SequenceIsStatic(int32_t index) const = 0;
    // Speed 16.16; repeat -1 loops; `done` (may be null) is set to 1 when a
    // finite play ends.
    virtual void PlaySequence(int32_t index, int32_t speed, int32_t repeat, uint32_t mode, uint8_t* done) = 0;
    virtual void QueueDraw(uint64_t now, Camera& camera, LightSet* lights, RenderMaterial* material, int slot,
                           uint32_t flags) = 0;
};

namespace ObjectPreview {
// Draw flags of the preview: no bounding-box tests.
constexpr uint32_t kDrawFlags = 0x4000003;
constexpr int32_t kNormalSpeed = 0x10000;
constexpr uint32_t kPlayOnceStatic = 4, kPlayOnce = 8;

// How an object is made from a hierarchy (the 3-D objects install it).
using ObjectFactory = std::function<std::unique_ptr<PreviewObject>(Hierarchy*)>;
void SetObjectFactory(ObjectFactory factory);
// The factory of the 3-D objects; start-up installs it.
std::unique_ptr<PreviewObject> MakeObject(Hierarchy* hierarchy);

void Startup();
void Shutdown();
// Replaces the object; null shows none.
void SetHierarchy(Hierarchy* hierarchy);
void SetScreenPosition(int x, int y);
void SetOrientation(const Quaternion& orientation);
void UpdateScale();
void Suspend();
void Resume();
void PlayLooped(int32_t index);
void PlayOnce(int32_t index, uint8_t* done);
// Once a frame: queues the object's draw and finishes a completed one-shot.
void QueueDraw();
Camera* GetCamera();
// Light set and material the draw passes (the interface's own by default).
void SetLighting(LightSet* lights, RenderMaterial* material);

// State for the callers that ask.
PreviewObject* Current();
int32_t SuspendCount();
int32_t LoopedSequence();
} // namespace ObjectPreview
