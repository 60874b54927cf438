// Whether the straight line between two points is free of the level's drawn
// geometry: one exact segment test against the level's shape tree. Placed
// objects and the collision polygons do not block it.
#pragma once

#include "app/maths.h"

#include <cstdint>
#include <memory>

class Level;

// True when clear. When blocked and `out` is given, it receives the first
// blocking point. Geometry exactly at either end blocks. Takes the level's
// lock shared; with no level the line is clear.
bool LineOfSight(const Vec3& from, const Vec3& to, Vec3* out);
// The same on a given level; the caller holds its lock shared.
bool LineOfSight(Level& level, const Vec3& from, const Vec3& to, Vec3* out);

class ShapeInstance;
class VeShape;

// A copy of the shape's triangles cut into pieces of at most `limit`
// vertices, every node boxed by what lies below it, so segment queries
// skip whole pieces. The shape itself is not changed.
std::unique_ptr<ShapeInstance> BuildQueryTree(const VeShape& shape, uint32_t limit);
// Boxes every node of an already cut tree by the vertices below it (and
// each shape by its own), ready for segment queries from both threads.
void FitQueryBoxes(ShapeInstance& root);
