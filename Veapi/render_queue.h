// The frame's queue of 3-D draws. Objects are not drawn when the game asks
// but queued: requests are grouped by render material (each applied once per
// flush) and by texture; sorted materials and translucent textures under a
// material with an alternate go to one list ordered by depth key. The display
// flushes the queue at the end of every frame; a level stop clears it.
// Game thread only.
#pragma once

#include <cstdint>

#include "app/list.h"
#include "app/ref_counted.h"

class Camera;
class HitHook;
class LightSet;
class RenderMaterial;
class TextureEntry;
class VeObject;
class DrawRequest;

// Called around the drawing of one request.
class DrawHooks : public RefCountedResource {
public:
    virtual void BeforeDraw(DrawRequest& request, TextureEntry* texture) = 0;
    virtual void AfterDraw(DrawRequest& request, TextureEntry* texture) = 0;
};

// Request flags the queue reads or sets.
namespace RequestFlag {
constexpr uint32_t kNextPassCopy = 0x80;
constexpr uint32_t kAlternate = 0x40;
constexpr uint32_t kProbeExactDepth = 0x10000000;
constexpr uint32_t kDefaultProbe = 0x40000000;
constexpr uint32_t kClearedAfterDraw = 0x22000000;
constexpr uint32_t kClearedOnCopy = 0x32000000;
} // namespace RequestFlag

class DrawRequest : public RefCountedResource {
public:
    // References on the object, the light set and the hooks are the queue's.
    DrawRequest(VeObject* object, uint64_t time, uint32_t flags, RenderMaterial* material, Camera* camera,
                LightSet* lights, HitHook* hitHook, int32_t slot, float key, DrawHooks* hooks);

    VeObject* object_;
    uint64_t time_;
    uint32_t flags_;
    RenderMaterial* material_;
    Camera* camera_;
    LightSet* lights_;
    HitHook* hitHook_;  // the caller keeps it alive for the frame
    int32_t slot_;
    float key_;  // minus the object's y: larger y (lower) draws first
    DrawHooks* hooks_;

    // The queue's references, taken when the request is first queued.
    void TakeReferencesOnce();

protected:
    ~DrawRequest() override;

private:
    bool referenced_ = false;
};

class RenderQueue {
public:
    // `textures`: the textures the object's sub-meshes use.
    static void Add(const List<TextureEntry*>* textures, DrawRequest* request);
    static void Flush();
    // Releases every request without drawing (level stop).
    static void Clear();
    // Queued requests (buckets' lists and the sorted list; a request in
    // several lists counts once in each).
    static size_t Count();
    // Time spent flushing, in processor-clock units (cycles >> 10).
    static int64_t FlushTime();
};
