// Small levels built from collision records for the grid and mover tests:
// floors, ramps, walls and platforms as the shape builder keeps them.
#pragma once

#include "world/level.h"

#include <cmath>
#include <cstdint>
#include <initializer_list>

namespace leveltest {

enum class Facing { Up, Down, AsGiven };

// A polygon over the given corners with the normal (B - A) x (C - B), wound
// to face up (ny < 0, y grows downward), down, or as given.
inline void AddPolygon(CollisionSource& s, std::initializer_list<Vec3> corners, int32_t flags = 0,
                       Facing facing = Facing::Up)
{
    Vec3 c[4];
    int n = 0;
    for (const Vec3& v : corners)
        c[n++] = v;
    Vec3 normal = (c[1] - c[0]).Cross(c[2] - c[1]).Normalised();
    if ((facing == Facing::Up && normal.y > 0) || (facing == Facing::Down && normal.y < 0)) {
        for (int i = 0; i < n / 2; ++i)
            std::swap(c[i], c[n - 1 - i]);
        normal = -normal;
    }
    int32_t index[4];
    for (int i = 0; i < n; ++i) {
        index[i] = -1;
        for (size_t k = 0; k < s.points.size(); ++k) {
            if (s.points[k] == c[i])
                index[i] = static_cast<int32_t>(k);
        }
        if (index[i] < 0) {
            index[i] = static_cast<int32_t>(s.points.size());
            s.points.push_back(c[i]);
        }
    }
    if (n == 3)
        s.triangles.push_back({{index[0], index[1], index[2]}, normal, flags});
    else
        s.quads.push_back({{index[0], index[1], index[2], index[3]}, normal, flags});
}

// A square floor at height y, cut into n x n quads of `size`.
inline void AddFloor(CollisionSource& s, float x0, float z0, float y, int n, float size, int32_t flags = 0)
{
    for (int i = 0; i < n; ++i) {
        for (int k = 0; k < n; ++k) {
            const float x = x0 + static_cast<float>(i) * size;
            const float z = z0 + static_cast<float>(k) * size;
            AddPolygon(s, {{x, y, z}, {x + size, y, z}, {x + size, y, z + size}, {x, y, z + size}}, flags);
        }
    }
}

// A grid level with the given cells, its collision lent from `source`.
inline std::unique_ptr<Level> MakeLevel(const CollisionSource& source, uint32_t nx = 8, uint32_t ny = 4,
                                        uint32_t nz = 8)
{
    auto level = std::make_unique<Level>(nullptr, Vec3(0, 0, 0), &source);
    level->BuildCellGrid(nx, ny, nz);
    level->LinkPolygons();
    return level;
}

// A deterministic generator for random levels and points.
struct Random {
    uint32_t seed;
    explicit Random(uint32_t s) : seed(s) {}
    float Unit()
    {
        seed = seed * 1664525u + 1013904223u;
        return static_cast<float>(seed >> 8) / 16777216.0f;
    }
    float Range(float lo, float hi) { return lo + (hi - lo) * Unit(); }
    int Below(int n) { return static_cast<int>(Unit() * static_cast<float>(n)) % n; }
};

// Tags that stand for an object's shape tree: the grid only compares them.
inline ShapeInstance* Owner(int& tag)
{
    return reinterpret_cast<ShapeInstance*>(&tag);
}

// A door: its polygons carry a class bit; the floor next to it is linked to
// it by position, cut from it when it closes, and never keeps a link to it
// once its mesh is removed.
struct DoorLevel {
    CollisionSource floor, door;
    std::unique_ptr<Level> level;
    int doorTag = 0;
    CollisionMesh* doorMesh = nullptr;

    static constexpr int32_t kDoorClass = 0x2000;

    // `cells` across x and z: with many, the polygons span several cells.
    explicit DoorLevel(uint32_t cells = 8)
    {
        AddFloor(floor, 0, 0, 0, 2, 2);  // 0..4 in x and z
        AddFloor(floor, 6, 0, 0, 2, 2);  // 6..10: a gap from 4 to 6
        AddPolygon(door, {{4, 0, 0}, {6, 0, 0}, {6, 0, 2}, {4, 0, 2}}, kDoorClass);
        level = MakeLevel(floor, cells, 1, cells);
        doorMesh = level->AddMesh(Owner(doorTag), {{&door, Matrix34::kIdentity}}, Matrix34::kIdentity);
    }
    CollisionPolygon& Door() const { return *doorMesh->quads_.get(); }
    void Open() const
    {
        for (CollisionMesh* mesh : level->Meshes())
            mesh->ForEachPolygon([&](CollisionPolygon& p) {
                if (!(p.flags_ & polygon_flags::kClassMask))
                    level->LinkClassNeighbours(p);
            });
    }
    void Close() const
    {
        for (CollisionMesh* mesh : level->Meshes())
            mesh->ForEachPolygon([](CollisionPolygon& p) { p.PruneLinks(); });
    }
};

} // namespace leveltest
