#include "effects/effect_list.h"

#include "effects/client_effect_hooks.h"

#include <cmath>

#include "Veapi/camera.h"
#include "Veapi/light_set.h"
#include "Veapi/particles.h"
#include "Veapi/VertBuff.h"
#include "Veapi/ve_object.h"
#include "app/app_time.h"
#include "effects/ballistic_objects.h"
#include "effects/effect_kinds.h"
#include "effects/effect_object.h"
#include "effects/effect_shapes.h"
#include "effects/frame_pass.h"

namespace {
// Namespace scope: exit handlers empty them before static destruction.
EffectList g_world;
EffectList g_late;
Camera* g_gameCamera = nullptr;
int64_t (*g_clock)() = nullptr;
} // namespace

bool EffectKind::IsLate(int32_t kind)
{
    return kind == LaserFence || kind == BeamTrace || kind == CursorTrace || kind == ScreenFade;
}

EffectRecord::~EffectRecord() { Free(); }

void EffectRecord::Attach(EffectObject* o)
{
    if (o)
        o->AddRef();
    if (object)
        object->Release();
    object = o;
}

void EffectRecord::KeepLight(Light* light)
{
    if (light)
        lights.PushBack(light);
}

void EffectRecord::Free()
{
    if (VeObject* i = instance) {
        instance = nullptr;
        i->Release();
    }
    if (EffectObject* o = object) {
        object = nullptr;
        o->Release();
    }
    LightSet* global = Effects::GlobalLights();
    for (Light* light : lights) {
        if (global)
            global->RemoveLight(light);
    }
    lights.Clear();
    if (LightSet* s = lightSet) {
        lightSet = nullptr;
        s->Release();
    }
    points.clear();
    if (ParticleEmitter* e = emitter) {
        emitter = nullptr;
        e->Stop();
    }
    if (RenderMaterial* m = material) {
        material = nullptr;
        m->Release();
    }
}

namespace Effects {

EffectList& WorldList() { return g_world; }
EffectList& LateList() { return g_late; }
EffectList& ListFor(int32_t kind) { return EffectKind::IsLate(kind) ? g_late : g_world; }

void Insert(EffectList& list, EffectRecord* record)
{
    for (EffectList::Node* n = list.First(); n != list.End(); n = n->next) {
        if ((*EffectList::NodeValue(n))->kind == record->kind) {
            list.InsertBefore(n, record);
            return;
        }
    }
    list.PushBack(record);
}

void Remove(EffectList::Iterator& it)
{
    if (EffectRecord** slot = it.Get()) {
        EffectRecord* record = *slot;
        it.Erase();
        delete record;
    }
}

void UpdateAndDrawAll(int64_t now, EffectList& list)
{
    const uint64_t clock = ClockTicks(now);
    EffectList::Iterator it(list);
    while (!it.AtEnd()) {
        // Records of one kind are adjacent: one rule serves the whole run.
        const int32_t kind = (*it.Get())->kind;
        const EffectRules::Update rule = EffectRules::ForKind(kind);
        for (EffectRecord** slot = it.Get(); slot && (*slot)->kind == kind; slot = it.Get()) {
            if (rule && rule(**slot, clock))
                Remove(it);
            else
                it.Next();
        }
    }
}

void UpdateAndDrawAll(int64_t now) { UpdateAndDrawAll(now, g_world); }

void ClearAll()
{
    for (EffectList* list : {&g_world, &g_late}) {
        for (EffectRecord* record : *list)
            delete record;
        list->Clear();
    }
}

void Startup()
{
    InstallLevelHooks();
    InstallShadows();
    EffectShapes::Build();
    ShadowHooks().startup();
    SphereMap::LoadTexture();
    FramePassStandIn::Install();
    InstallClientHooks();
}

void Shutdown()
{
    ClearAll();
    BallisticObjects::Clear();
    ShadowHooks().shutdown();
    FramePassStandIn::Uninstall();
    EffectShapes::Release();
}

EffectRecord* FindFirst(EffectList& list, int32_t kind)
{
    for (EffectRecord* record : list) {
        if (record->kind == kind)
            return record;
    }
    return nullptr;
}

int32_t CountKind(const EffectList& list, int32_t kind)
{
    int32_t n = 0;
    for (EffectRecord* record : list)
        n += record->kind == kind;
    return n;
}

int64_t TicksPerSecond()
{
    const int64_t rate = AppTime::TicksPerSecond();
    return rate > 0 ? rate : 1;
}

int64_t SecondsToTicks(double seconds)
{
    if (!(seconds > 0.0))
        return 0;
    const double ticks = std::floor(std::min(seconds, 86400.0) * double(TicksPerSecond()));
    return int64_t(ticks);
}

double TicksToSeconds(int64_t ticks) { return double(ticks) / double(TicksPerSecond()); }

float Fraction(uint64_t now, uint64_t start, uint64_t end)
{
    if (end <= start || now >= end)
        return 1.0f;
    if (now <= start)
        return 0.0f;
    return float(double(now - start) / double(end - start));
}

uint64_t Elapsed(uint64_t now, uint64_t start) { return now > start ? now - start : 0; }

uint64_t ClockTicks(int64_t now) { return now > 0 ? uint64_t(now) : 0; }

int64_t Now() { return g_clock ? g_clock() : AppTime::GameNow(); }
void SetClock(int64_t (*now)()) { g_clock = now; }

Camera* GameCamera() { return g_gameCamera ? g_gameCamera : &MainCamera::Get(); }
void SetGameCamera(Camera* camera) { g_gameCamera = camera; }

LightSet* GlobalLights() { return LightSet::Global(0); }

} // namespace Effects
