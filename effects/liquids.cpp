// Water, lava, swamp and oil: flat grids whose texture scrolls or ripples
// and whose level scripts raise, lower, speed up and turn.
#include <algorithm>
#include <cmath>

#include "Veapi/VertBuff.h"
#include "Veapi/bounding_box.h"
#include "Veapi/light_set.h"
#include "Veapi/primitives.h"
#include "Veapi/texture_manager.h"
#include "Veapi/ve_object.h"
#include "Veapi/ve_shape.h"
#include "app/math_tables.h"
#include "effects/draw_hooks.h"
#include "effects/effect_builders.h"
#include "effects/effect_kinds.h"
#include "effects/effect_list.h"
#include "effects/effect_maths.h"
#include "effects/effect_object.h"
#include "world/fog_of_war.h"

namespace {

constexpr float kSpeedUnit = 0.00333f;
constexpr uint32_t kSplitLimit = 100;
constexpr float kMaxSide = 100000.0f;  // metres; keeps sizes and heights finite

RenderMaterial* LiquidMaterial(bool clear, bool fogged)
{
    const FogOfWar* fog = FogOfWar::Global();
    if (fogged && fog) {
        RenderMaterial* m = clear ? fog->EffectMaterial() : fog->LevelMaterial();
        if (m)
            return m;
    }
    return DefaultMaterial::Get(clear ? DefaultMaterial::BlendedNoZWrite : DefaultMaterial::Blended);
}

template <typename F>
void ForEachSubMesh(ShapeInstance& node, F&& f)
{
    for (VeShape* shape : node.slots_)
        if (shape)
            for (SubMesh* mesh : shape->SubMeshes())
                f(*mesh);
    for (ShapeInstance* child : node.children_)
        ForEachSubMesh(*child, f);
}

float Clean(float v, float fallback) { return std::isfinite(v) ? std::clamp(v, -kMaxSide, kMaxSide) : fallback; }

void Rewrite(EffectRecord& r, double t)
{
    ShapeInstance* root = r.instance ? r.instance->Root() : nullptr;
    if (!root || r.points.size() < 2)
        return;
    const double phase = EffectMaths::RipplePhase(t, r.points[1].x);
    EffectMaths::RipplePattern pattern(r.columns);
    const Vec3 direction = r.points[0];
    ForEachSubMesh(*root, [&](SubMesh& mesh) {
        const uint32_t stride = mesh.Stride() / sizeof(float);
        if (stride < 8)
            return;
        for (uint32_t i = 0; i < mesh.vertexCount; ++i) {
            float* v = mesh.Vertex(i);
            const EffectMaths::RippleResult out =
                EffectMaths::Ripple(v[0], v[1], phase, pattern.Next(), r.size, direction, r.flag != 0);
            if (r.size > 0.0f)
                v[2] = out.height;
            v[6] = out.u;
            v[7] = out.v;
        }
    });
}

} // namespace

namespace Effects {

void AddLiquid(int64_t now, int32_t detail, const LiquidParams& params)
{
    const Vec3 a{Clean(params.first.x, 0), Clean(params.first.y, 0), Clean(params.first.z, 0)};
    const Vec3 b{Clean(params.second.x, 0), Clean(params.second.y, 0), Clean(params.second.z, 0)};
    const Vec3 lo{std::min(a.x, b.x), 0, std::min(a.z, b.z)};
    const int32_t width = std::max(int32_t(std::floor(std::fabs(b.x - a.x))), 1);
    const int32_t depth = std::max(int32_t(std::floor(std::fabs(b.z - a.z))), 1);
    const float height = (a.y + b.y) * 0.5f;

    TextureEntry* texture = TextureManager::Find(params.texture);
    TextureManager::LoadPending();
    if (detail <= 0)
        detail = width < 20 ? 4 : 8;
    PrimitiveDesc desc;
    desc.kind = 5;
    desc.p1 = width;
    desc.p2 = depth;
    desc.p3 = detail;
    desc.texture = texture;
    const PrimitiveDesc used = Primitive::Clamped(desc);
    VeShape* shape = VeShape::FromPrimitive(desc);
    TextureManager::Unuse(texture);

    auto* r = new EffectRecord(EffectKind::Liquid);
    r->instance = VeObject::FromShape(shape, true);
    shape->Release();
    r->param = height;
    r->timeA = ClockTicks(now);
    r->timeB = 0;
    r->lightSet = new LightSet;
    Colour white;
    white.Set(1, 1, 1, 1);
    r->lightSet->SetEmissive(white);
    r->lightSet->SetAlpha(0.6f);
    r->points = {Vec3{1, 0, 0}, Vec3{kSpeedUnit, kSpeedUnit, kSpeedUnit}};
    r->material = LiquidMaterial(params.clear, params.fogged);
    if (r->material)
        r->material->AddRef();
    r->flag = params.clear ? 1 : 0;
    r->size = std::isfinite(params.rippleHeight) ? std::clamp(params.rippleHeight, 0.0f, kMaxSide) : 0.0f;
    // The grid's own vertex count a row, so the ripple pattern follows it.
    r->columns = params.ripples ? (width + used.p3 - 1) / used.p3 + 1 : -1;

    // The grid lies in its own x-y plane with ripples along z, and the scale
    // applies before the quarter turn about x: its y becomes the depth, laid
    // from the far edge back towards lo.z, and a ripple stays in metres.
    Transform& placement = r->instance->placement_;
    placement.SetScale({float(width), float(depth), 1});
    placement.SetPosition({lo.x, height, lo.z + float(depth)});
    placement.SetOrientation({SineOf(-512), 0, 0, CosineOf(-512)});
    if (ShapeInstance* root = r->instance->Root()) {
        root->SplitByVertexLimit(kSplitLimit);
        if (params.fogged)
            if (const FogOfWar* fog = FogOfWar::Global())
                fog->MapShape(*root, placement.Matrix());
        if (params.ripples)
            ForEachSubMesh(*root, [](SubMesh& mesh) {
                if (mesh.shared)
                    SharedVertexBuffer::Detach(&mesh);
            });
    }
    Insert(WorldList(), r);
}

EffectRecord* FindNearestLiquid(const Vec3& position)
{
    EffectRecord* best = nullptr;
    float bestDistance = 0;
    for (EffectRecord* r : WorldList()) {
        if (r->kind != EffectKind::Liquid || !r->instance)
            continue;
        const float d = (r->instance->placement_.Position() - position).LengthSquared();
        if (!best || d < bestDistance) {
            best = r;
            bestDistance = d;
        }
    }
    return best;
}

} // namespace Effects

namespace LiquidEffect {

void ChangeLevel(EffectRecord& r, float amount, int64_t now)
{
    if (!r.instance || !std::isfinite(amount))
        return;
    amount = std::clamp(amount, -kMaxSide, kMaxSide);
    r.param = r.instance->placement_.Position().y + amount;
    r.timeB = Effects::ClockTicks(now) + uint64_t(Effects::SecondsToTicks(std::floor(std::fabs(amount))));
}

void SetSpeed(EffectRecord& r, float value)
{
    if (r.points.size() < 2)
        return;
    const float v = std::isfinite(value) ? value * kSpeedUnit : 0.0f;
    r.points[1] = {v, v, v};
}

void SetDirection(EffectRecord& r, const Vec3& direction)
{
    if (!r.points.empty() && EffectMaths::Finite(direction))
        r.points[0] = direction;
}

} // namespace LiquidEffect

namespace EffectRules {

bool Liquid(EffectRecord& r, uint64_t now)
{
    if (!r.instance || r.points.size() < 2)
        return false;
    const double t = Effects::TicksToSeconds(int64_t(Effects::Elapsed(now, r.timeA))) * 3.0;
    const double s = t * double(r.points[1].x);
    TextureScrollHook* hook = nullptr;
    if (r.columns < 0) {
        // Keep the offset small: the texture repeats every whole unit.
        const float u = float(std::fmod(double(r.points[0].x) * s, 1.0));
        const float v = float(std::fmod(double(r.points[0].y) * s, 1.0));
        hook = new TextureScrollHook(TextureScrollHook::Scroll(std::isfinite(u) ? u : 0, std::isfinite(v) ? v : 0));
    } else {
        Rewrite(r, t);
    }
    Transform& placement = r.instance->placement_;
    float height = r.param;
    if (r.timeB != 0 && now < r.timeB) {
        const float remaining = float(Effects::TicksToSeconds(int64_t(r.timeB - now)));
        height = EffectMaths::LiquidHeight(placement.Position().y, r.param, remaining);
    } else {
        r.timeB = 0;
    }
    const Vec3 p = placement.Position();
    placement.SetPosition({p.x, height, p.z});
    r.instance->QueueDraw(now, Effects::GameCamera(), r.lightSet, r.material, 0, 0x4000000, nullptr, hook, nullptr);
    if (hook)
        hook->Release();
    return false;
}

} // namespace EffectRules
