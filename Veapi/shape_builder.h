// Turns the integer polygon data of a shape chunk into a drawable VeShape:
// scaled, split into triangles grouped by texture, welded, cut into sub-meshes
// of at most 30000 vertices and attached to shared vertex buffers. A welded
// copy of the polygons is kept beside the shape for collision and picking.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Veapi/ve_shape.h"
#include "chunk/environment_record.h"
#include "chunk/shape_data.h"

namespace trevok {
class ShapeChunk;
}

namespace ShapeBuild {
constexpr uint32_t kVertexFormat = 0x152;  // position, normal, diffuse, one uv set: 36 bytes
constexpr uint32_t kSubMeshVertexLimit = 30000;
constexpr uint32_t kMergeTrianglePairs = 0x1;  // options: join triangle pairs into quads first
constexpr int32_t kGeometryFlagMask = 0xFFFC1;

} // namespace ShapeBuild

// A new shape with use count 1, its textures, sizes and keep counts taken from
// the environment's texture table. `tint` holds one ARGB colour per point (or
// is null). `mergeTable`, when given with the merge option, joins triangle
// pairs of `data` before anything is built. Never null; polygons naming points
// that do not exist are left out.
VeShape* BuildShape(trevok::ShapeData& data, const std::vector<uint32_t>* tint, const trevok::EnvironmentRecord& env,
                    uint32_t options, const std::vector<int32_t>* mergeTable = nullptr);

// The chunk form: with the merge option the chunk's first merge-data child is
// applied to its stored polygons and then removed from the file, so building
// the same chunk again gives the same shape.
VeShape* BuildShape(trevok::ShapeChunk& chunk, const std::vector<uint32_t>* tint, const trevok::EnvironmentRecord& env,
                    uint32_t options);
