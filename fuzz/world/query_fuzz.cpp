// Shapes, paths and fog units as any bits could make them (NaN, infinity,
// huge and degenerate values, indices past the vertices): every collision
// query keeps its record within [0, limit] or untouched, and fog stamps and
// queries stay inside the grid.
#include "Veapi/ve_shape.h"
#include "platform/byte_cursor.h"
#include "world/collision_query.h"
#include "world/fog_of_war.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <span>

namespace {

void Check(bool ok)
{
    if (!ok)
        std::abort();
}

Vec3 ReadPoint(trevok::ByteReader& in)
{
    const float x = in.F32(), y = in.F32(), z = in.F32();
    return {x, y, z};
}

struct Unit : FogDefogger {
    Vec3 at{0, 0, 0};
    float range = 0;
    bool projectile = false;
    void HoldForFog() override {}
    void ReleaseForFog() override {}
    Vec3 FogPosition() const override { return at; }
    float GetViewRange() const override { return range; }
    bool IsFogProjectile() const override { return projectile; }
    void SetDefogging(bool) override {}
};

bool Kept(const CollisionHit& hit, float limit)
{
    return hit.fraction == limit || (hit.fraction >= 0.0f && hit.fraction <= limit);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    trevok::ByteReader in(std::span<const uint8_t>(data, size));
    const uint32_t vertexCount = in.U8() % 16;
    const uint32_t indexCount = in.U8() % 32;
    auto* shape = new VeShape;
    SubMesh* mesh = shape->AddSubMesh(vertexCount, indexCount, gfx::kFvfVertex, false);
    for (uint32_t i = 0; i < vertexCount; ++i) {
        const Vec3 p = ReadPoint(in);
        std::memcpy(mesh->Vertex(i), &p, sizeof p);
    }
    for (uint32_t i = 0; i < indexCount; ++i)
        mesh->indices[i] = in.U8() % 20; // some past the vertices
    shape->min_ = ReadPoint(in);
    shape->max_ = ReadPoint(in);
    shape->flags_ = in.U8() & VeShape::kSkipBoxTest;
    shape->sphereCentre_ = ReadPoint(in);
    shape->sphereRadius_ = in.F32();
    const Vec3 p = ReadPoint(in), v = ReadPoint(in), a = ReadPoint(in);
    const float limit = std::fabs(in.F32());
    const float start = std::isfinite(limit) ? limit : 1.0f;

    CollisionHit hit{start, {0, 0, 0}};
    CollideSegmentWithMesh(hit, shape, p, v);
    Check(Kept(hit, start));
    CollideTrajectoryWithMesh(hit, shape, p, v, a);
    Check(Kept(hit, start));
    CollideSegmentWithBox(hit, shape->min_, shape->max_, p, v);
    Check(Kept(hit, start));
    CollideTrajectoryWithBox(hit, shape->min_, shape->max_, p, v, a);
    Check(Kept(hit, start));
    shape->Release();

    FogOfWar fog(1 + in.U8() % 64, 2048);
    fog.SetWorldArea(in.F32(), in.F32(), in.F32(), in.F32());
    fog.SetEnabled(true);
    Unit units[3];
    for (Unit& u : units) {
        u.at = ReadPoint(in);
        u.range = in.F32();
        u.projectile = in.U8() & 1;
        fog.AddDefogger(&u);
    }
    fog.UpdateAt(in.U32());
    for (Unit& u : units) {
        Check(fog.VisibilityAt(u.at) <= 254);
        fog.RemoveDefogger(&u);
    }
    return 0;
}
