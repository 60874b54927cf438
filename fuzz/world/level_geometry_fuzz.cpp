// Collision geometry as a level file could hold it (any corner numbers, any
// float bits, any flags) built into a level and queried: grid indices stay
// inside the grid, links stay mutual, removed meshes leave no links behind,
// and movers never crash whatever the points asked.
#include "platform/byte_cursor.h"
#include "world/level.h"

#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

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

// Up to 31 records; corners may be -1 or one past the points.
template <typename Record>
void ReadRecords(trevok::ByteReader& in, std::vector<Record>& out, size_t points)
{
    for (size_t i = in.U8() % 32; i > 0 && in.Ok(); --i) {
        Record r{};
        for (int32_t& c : r.corners)
            c = static_cast<int32_t>(in.U8() % (points + 2)) - 1;
        r.normal = ReadPoint(in);
        r.flags = in.I32();
        out.push_back(r);
    }
}

void CheckLinks(const Level& level)
{
    for (uint32_t i = 0; i < level.PolygonCount(); ++i) {
        const CollisionPolygon* p = level.PolygonAt(i);
        if (!p)
            continue;
        for (uint32_t k = 0; k < p->LinkCount(); ++k) {
            const CollisionPolygon* q = p->LinkAt(k);
            Check(q != p && q->IsLinkedTo(p) && level.PolygonAt(q->tableIndex_) == q);
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    trevok::ByteReader in(std::span<const uint8_t>(data, size));
    const uint32_t cells[3] = {in.U8() % 16u + 1, in.U8() % 8u + 1, in.U8() % 16u + 1};
    CollisionSource source;
    const size_t points = in.U8() % 48;
    for (size_t i = 0; i < points && in.Ok(); ++i)
        source.points.push_back(ReadPoint(in));
    ReadRecords(in, source.triangles, source.points.size());
    ReadRecords(in, source.quads, source.points.size());
    if (!in.Ok())
        return 0;

    Level level(nullptr, {0, 0, 0}, &source);
    FiledLight light;
    light.centre = ReadPoint(in);
    light.radius = in.F32();
    level.FileLight(light);
    level.BuildCellGrid(cells[1], cells[2], cells[0]);
    level.BuildCellGrid(cells[0], cells[1], cells[2]); // laid out again: lights and polygons refiled
    level.LinkPolygons();
    int tag = 0;
    auto* owner = reinterpret_cast<ShapeInstance*>(&tag);
    Matrix34 place{1};
    place.SetTranslation(ReadPoint(in));
    level.AddMesh(owner, {{&source, Matrix34::kIdentity}}, place);
    for (uint32_t i = 0; i < level.PolygonCount(); ++i)
        level.LinkClassNeighbours(*level.PolygonAt(i));
    CheckLinks(level);

    Vec3 at = ReadPoint(in);
    Mover* mover = level.AddMover(at, std::make_unique<MoverBody>(1.8f, 0.3f), 0);
    uint32_t time = 0;
    while (in.Ok() && !in.AtEnd()) {
        const Vec3 p = ReadPoint(in);
        const CellIndex c = level.CellOf(p);
        Check(c.x >= 0 && c.y >= 0 && c.z >= 0 && uint32_t(c.x) < level.CellCount(0) &&
              uint32_t(c.y) < level.CellCount(1) && uint32_t(c.z) < level.CellCount(2));
        if (CollisionPolygon* ground = level.FindPolygonAt(p)) {
            Vec3 q = p;
            Check(ground->ProjectY(q, nullptr));
        }
        Vec3 snapped = p;
        level.SnapToPolygon(snapped);
        level.HighestPointInBox(p, p + Vec3(1, 1, 1));
        Vec3 target = p;
        time += in.U16();
        level.AdvanceMover(target, *mover, time);
        if (in.U8() & 1) {
            for (uint32_t i = 0; i < level.PolygonCount(); ++i)
                if (CollisionPolygon* polygon = level.PolygonAt(i))
                    polygon->PruneLinks();
        }
    }
    level.RemoveMesh(owner);
    CheckLinks(level);
    level.UnfileLight(light);
    for (uint32_t x = 0; x < level.CellCount(0); x += 4)
        for (uint32_t z = 0; z < level.CellCount(2); z += 4)
            Check(level.Cell({int32_t(x), 0, int32_t(z)}).lights.empty());
    return 0;
}
