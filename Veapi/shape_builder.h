// Turns the integer polygon data of a shape chunk into a drawable VeShape:
// scaled, split into triangles grouped by texture, welded, cut into sub-meshes
// of at most 30000 vertices and attached to shared vertex buffers. A welded
// copy of the polygons is kept beside the shape for collision and picking.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Veapi/ve_shape.h"
#include "chunk/shape_data.h"

namespace trevok {
class ShapeChunk;
}

// One entry of a model file's texture table; an empty name is an unnamed slot.
struct ShapeBuildTexture {
    std::string name;
    uint32_t width = 0, height = 0;
};

// What the builder needs of an open model or level file.
struct ShapeBuildSetup {
    float scale = 1.0f;
    bool hasTextureTable = false;
    std::vector<ShapeBuildTexture> textures;
};

namespace ShapeBuild {
constexpr uint32_t kVertexFormat = 0x152;  // position, normal, diffuse, one uv set: 36 bytes
constexpr uint32_t kSubMeshVertexLimit = 30000;
constexpr uint32_t kMergeTrianglePairs = 0x1;  // options: join triangle pairs into quads first
constexpr int32_t kGeometryFlagMask = 0xFFFC1;

// Records of ShapeGeometry: corner fields are indices into the welded points.
struct TriangleRecord {
    int32_t corners[3];
    Vec3 normal;
    int32_t flags;
};
struct QuadRecord {
    int32_t corners[4];
    Vec3 normal;
    int32_t flags;
};
constexpr size_t kTriangleRecordSize = 28;
constexpr size_t kQuadRecordSize = 32;
constexpr size_t kPointRecordSize = 12;

// Reads the kept geometry back (first: triangles, second: quads, third: points).
std::vector<TriangleRecord> Triangles(const ShapeGeometry& g);
std::vector<QuadRecord> Quads(const ShapeGeometry& g);
std::vector<Vec3> WeldedPoints(const ShapeGeometry& g);
} // namespace ShapeBuild

// A new shape with use count 1. `tint` holds one ARGB colour per point (or is
// null). `mergeTable`, when given with the merge option, is applied to `data`
// after the draw meshes are made, so the kept geometry holds the joined quads.
// Never null; polygons naming points that do not exist are left out.
VeShape* BuildShape(trevok::ShapeData& data, const std::vector<uint32_t>* tint, const ShapeBuildSetup& setup,
                    uint32_t options, const std::vector<int32_t>* mergeTable = nullptr);

// The chunk form: with the merge option the chunk's first merge-data child is
// applied to its shape data and then removed from the file.
VeShape* BuildShape(trevok::ShapeChunk& chunk, const std::vector<uint32_t>* tint, const ShapeBuildSetup& setup,
                    uint32_t options);
