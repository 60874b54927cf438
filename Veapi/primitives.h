// The twelve procedural primitive kinds that VeShape::FromPrimitive builds:
// triangles, quads, tiles, grids, a box, a wedge, a prism, tubes and a sphere,
// all in 32-byte vertices (position, normal, one texture-coordinate set).
#pragma once

#include <cstdint>

#include "Veapi/ve_shape.h"

namespace Primitive {
constexpr int32_t kKinds = 12;
// Limits that keep every buffer within 16-bit indices and sane sizes.
constexpr int32_t kMinSegments = 3;
constexpr int32_t kMaxTubeSegments = 1024;
constexpr int32_t kMaxSphereSegments = 255;
constexpr int32_t kMaxCells = 254;  // per side of a grid or tiling

// The description with every parameter moved into its sensible range.
PrimitiveDesc Clamped(const PrimitiveDesc& desc);
} // namespace Primitive

// Fills an empty shape with the kind's sub-meshes and bounds; false (shape
// left empty) for an unknown kind.
bool BuildPrimitive(VeShape& shape, const PrimitiveDesc& desc);
