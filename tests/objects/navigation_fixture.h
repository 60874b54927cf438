// Levels for the path-search and navigation-cache tests: square floors laid
// out from a text map ('#' a hole, 'x' a masked floor, anything else floor),
// their corners shared so the linker joins neighbours.
#pragma once

#include "world/level.h"

#include <memory>
#include <string>
#include <vector>

namespace navtest {

inline constexpr int32_t kMasked = 0x40000;

struct GridLevel {
    CollisionSource source;
    std::unique_ptr<Level> level;
    int width = 0, depth = 0;

    std::vector<CollisionPolygon*> cells; // z major; null for a hole

    // The polygon over cell (x, z); null for a hole or outside.
    CollisionPolygon* At(int x, int z) const
    {
        return x >= 0 && z >= 0 && x < width && z < depth ? cells[static_cast<size_t>(z * width + x)] : nullptr;
    }
};

// rows[z][x]; the level is linked unless `link` is false.
inline GridLevel MakeGridLevel(const std::vector<std::string>& rows, bool link = true)
{
    GridLevel g;
    g.depth = static_cast<int>(rows.size());
    g.width = g.depth ? static_cast<int>(rows[0].size()) : 0;
    const auto corner = [&](int x, int z) { return static_cast<int32_t>(z * (g.width + 1) + x); };
    for (int z = 0; z <= g.depth; ++z)
        for (int x = 0; x <= g.width; ++x)
            g.source.points.push_back({static_cast<float>(x), 0.0f, static_cast<float>(z)});
    for (int z = 0; z < g.depth; ++z) {
        for (int x = 0; x < g.width; ++x) {
            const char c = rows[z][x];
            if (c == '#')
                continue;
            // Wound so the normal faces up (y grows downward).
            g.source.quads.push_back({{corner(x, z), corner(x + 1, z), corner(x + 1, z + 1), corner(x, z + 1)},
                                      Vec3(0, -1, 0),
                                      c == 'x' ? kMasked : 0});
        }
    }
    g.level = std::make_unique<Level>(nullptr, Vec3(0, 0, 0), &g.source);
    g.cells.assign(static_cast<size_t>(g.width * g.depth), nullptr);
    for (uint32_t i = 0; i < g.level->PolygonCount(); ++i) {
        if (CollisionPolygon* p = g.level->PolygonAt(i))
            g.cells[static_cast<size_t>(static_cast<int>(p->Centre()->z) * g.width + static_cast<int>(p->Centre()->x))] = p;
    }
    if (link) {
        g.level->BuildCellGrid(16, 1, 16);
        g.level->LinkPolygons();
    }
    return g;
}

// A width x depth map with pseudo-random holes and masked floors.
inline std::vector<std::string> HoledMap(int width, int depth, uint32_t seed)
{
    std::vector<std::string> rows(depth, std::string(width, '.'));
    for (int z = 0; z < depth; ++z) {
        for (int x = 0; x < width; ++x) {
            seed = seed * 1664525u + 1013904223u;
            const uint32_t roll = (seed >> 16) % 100;
            if (roll < 18)
                rows[z][x] = '#';
            else if (roll < 22)
                rows[z][x] = 'x';
        }
    }
    return rows;
}

// Each polygon's links as table indices, in link order.
inline std::vector<std::vector<uint32_t>> LinkTable(const LevelGrid& level)
{
    std::vector<std::vector<uint32_t>> table(level.PolygonCount());
    for (uint32_t i = 0; i < level.PolygonCount(); ++i) {
        if (const CollisionPolygon* p = level.PolygonAt(i))
            for (uint32_t k = 0; k < p->LinkCount(); ++k)
                table[i].push_back(p->LinkAt(k)->tableIndex_);
    }
    return table;
}

} // namespace navtest
