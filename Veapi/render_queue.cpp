#include "Veapi/render_queue.h"

#include <algorithm>
#include <vector>

#include "Veapi/VertBuff.h"
#include "Veapi/camera.h"
#include "Veapi/hit_probe.h"
#include "Veapi/light_set.h"
#include "Veapi/texture_manager.h"
#include "Veapi/ve3d.h"
#include "Veapi/ve_object.h"
#include "platform/cpu.h"

namespace {

using RequestRef = RefPtr<DrawRequest>;

struct TextureList {
    TextureEntry* texture;
    std::vector<RequestRef> requests;  // in the order they came
};

struct Bucket {
    RenderMaterial* material;
    std::vector<TextureList> lists;
};

// Next-pass materials chain; a chain that loops back is cut here.
constexpr int kMaxPasses = 8;

struct QueueState {
    std::vector<Bucket> plain;    // newest material first
    std::vector<Bucket> blended;  // oldest material first
    std::vector<RequestRef> sorted;  // ascending key; equal keys newest first
    int64_t flushTime = 0;
};

QueueState& Q()
{
    static auto* q = new QueueState;  // outlives the exit handlers
    return *q;
}

Bucket& FindBucket(std::vector<Bucket>& buckets, RenderMaterial* material, bool appendNew)
{
    for (Bucket& b : buckets)
        if (b.material == material)
            return b;
    if (appendNew)
        return buckets.emplace_back(Bucket{material, {}});
    return *buckets.insert(buckets.begin(), Bucket{material, {}});
}

void InsertSorted(DrawRequest* request)
{
    auto& sorted = Q().sorted;
    const auto at = std::lower_bound(sorted.begin(), sorted.end(), request->key_,
                                     [](const RequestRef& r, float key) { return r->key_ < key; });
    sorted.insert(at, RequestRef(request));
}

void AddPass(const List<TextureEntry*>* textures, DrawRequest* request, int pass)
{
    request->TakeReferencesOnce();
    RenderMaterial* material = request->material_;
    if (!material)
        material = DefaultMaterial::Get(DefaultMaterial::Opaque);
    if (material && material->sorted_) {
        InsertSorted(request);
    } else {
        const bool blended = material && material->alphaBlend_;
        Bucket& bucket = FindBucket(blended ? Q().blended : Q().plain, material, blended);
        bool inSorted = false;
        // Without textures the object still draws, every sub-mesh at once.
        static const List<TextureEntry*> untextured{nullptr};
        if (!textures || textures->IsEmpty())
            textures = &untextured;
        for (TextureEntry* texture : *textures) {
            if (texture && texture->Options() != 0 && material && material->Alternate()) {
                if (!inSorted)
                    InsertSorted(request);
                inSorted = true;
                continue;
            }
            auto list = std::find_if(bucket.lists.begin(), bucket.lists.end(),
                                     [&](const TextureList& l) { return l.texture == texture; });
            if (list == bucket.lists.end())
                list = bucket.lists.insert(bucket.lists.end(), TextureList{texture, {}});
            list->requests.emplace_back(request);
        }
    }
    RenderMaterial* next = material ? material->NextPass() : nullptr;
    if (!next || pass + 1 >= kMaxPasses)
        return;
    auto* copy = new DrawRequest(request->object_, request->time_,
                                 (request->flags_ | RequestFlag::kNextPassCopy) & ~RequestFlag::kClearedOnCopy, next,
                                 request->camera_, request->lights_, nullptr, request->slot_, request->key_,
                                 request->hooks_);
    AddPass(textures, copy, pass + 1);
    copy->Release();
}

void SelectDefaultProbe(DrawRequest& r)
{
    HitProbe& probe = HitProbe::Default();
    if (r.flags_ & RequestFlag::kDefaultProbe) {
        if (!probe.active_)
            HitProbe::Register(&probe);
        probe.hook_ = r.hitHook_;
        probe.exactDepth_ = (r.flags_ & RequestFlag::kProbeExactDepth) != 0;
    } else if (probe.active_) {
        HitProbe::Unregister(&probe);
    }
}

void DrawOne(DrawRequest& r, TextureEntry* texture, bool fromSorted)
{
    if (r.camera_) {
        if (r.camera_->IsDirty())
            r.camera_->Update();
        if (Camera::Current() != r.camera_)
            r.camera_->SetCurrent();
    }
    if (fromSorted) {
        RenderMaterial*& material = r.material_;
        if (material && !material->alphaBlend_ && material->Alternate()) {
            material = material->Alternate();
            r.flags_ |= RequestFlag::kAlternate;
            if (r.lights_)
                r.lights_->SetAlpha(1.0f);
        }
        if (material && RenderMaterial::Current() != material)
            RenderMaterial::Apply(material);
    }
    if (r.lights_ && LightSet::Current() != r.lights_)
        r.lights_->Apply();
    SelectDefaultProbe(r);
    if (r.hooks_)
        r.hooks_->BeforeDraw(r, texture);
    if (r.object_)
        r.object_->Draw(r.time_, r.slot_, r.flags_ | DrawFlag::kFromQueue, texture);
    if (r.hooks_)
        r.hooks_->AfterDraw(r, texture);
    r.flags_ &= ~RequestFlag::kClearedAfterDraw;
}

void DrawBuckets(std::vector<Bucket>& buckets)
{
    // Taken out first: a draw hook may queue more for the next flush.
    std::vector<Bucket> work;
    work.swap(buckets);
    for (Bucket& bucket : work) {
        RenderMaterial::Apply(bucket.material);
        for (TextureList& list : bucket.lists)
            for (RequestRef& r : list.requests)
                DrawOne(*r, list.texture, false);
    }
}

} // namespace

DrawRequest::DrawRequest(VeObject* object, uint64_t time, uint32_t flags, RenderMaterial* material, Camera* camera,
                         LightSet* lights, HitHook* hitHook, int32_t slot, float key, DrawHooks* hooks)
    : object_(object), time_(time), flags_(flags), material_(material), camera_(camera), lights_(lights),
      hitHook_(hitHook), slot_(slot), key_(key), hooks_(hooks)
{
}

DrawRequest::~DrawRequest()
{
    if (!referenced_)
        return;
    if (object_)
        object_->Release();
    if (lights_)
        lights_->Release();
    if (hooks_)
        hooks_->Release();
}

void DrawRequest::TakeReferencesOnce()
{
    if (referenced_)
        return;
    referenced_ = true;
    if (object_)
        object_->AddRef();
    if (lights_)
        lights_->AddRef();
    if (hooks_)
        hooks_->AddRef();
}

void RenderQueue::Add(const List<TextureEntry*>* textures, DrawRequest* request)
{
    if (request)
        AddPass(textures, request, 0);
}

void RenderQueue::Flush()
{
    QueueState& q = Q();
    if (q.plain.empty() && q.blended.empty() && q.sorted.empty())
        return;
    const int64_t started = int64_t(platform::ReadCycleCounter() >> 10);
    Display::BeginScene();
    DrawBuckets(q.plain);
    DrawBuckets(q.blended);
    std::vector<RequestRef> sorted;
    sorted.swap(q.sorted);
    for (RequestRef& r : sorted)
        DrawOne(*r, nullptr, true);
    q.flushTime += int64_t(platform::ReadCycleCounter() >> 10) - started;
}

void RenderQueue::Clear()
{
    QueueState& q = Q();
    q.plain.clear();
    q.blended.clear();
    q.sorted.clear();
}

size_t RenderQueue::Count()
{
    QueueState& q = Q();
    size_t n = q.sorted.size();
    for (const auto* buckets : {&q.plain, &q.blended})
        for (const Bucket& b : *buckets)
            for (const TextureList& l : b.lists)
                n += l.requests.size();
    return n;
}

int64_t RenderQueue::FlushTime()
{
    return Q().flushTime;
}
