// Shape data built by hand for the sample files: polygons, normals, counts
// and bounds filled from the points, and the one square texture mapping.
#pragma once

#include "chunk/shape_data.h"
#include "sample/generator.h"

namespace trevok {
class ChunkFile;
class HierarchyChunk;
class ParentChunk;
class ShapeChunk;
} // namespace trevok

#include <initializer_list>
#include <memory>

namespace sample {

trevok::ShapePolygon Polygon(int32_t type, std::initializer_list<int32_t> vertices, int32_t uvSet, int32_t texture);
// Each point's normal: the mean of the normals of the polygons that use it.
// Lit shapes are shaded by these; without them they draw black.
void FillVertexNormals(trevok::ShapeData& d);
// Fills normals, counts and bounds from points and polygons.
void Finish(trevok::ShapeData& d);
trevok::ShapeUvSet Quad();

// A box of the given half sizes standing on y = 0 and rising 2 hy (file
// units are millimetres; y grows downward, so it spans y = -2 hy to 0),
// textured with "robot_metal.bmp".
trevok::ShapeData Box(int32_t hx, int32_t hy, int32_t hz);
// A flat piece of a ring about the origin, pointing up (toward -y) and
// facing the viewer along +z: from `inner` to `outer` millimetres out, of
// half widths `innerHalf` and `outerHalf` there; a wheel segment.
struct RingPiece {
    int32_t inner, outer;
    int32_t innerHalf, outerHalf;
};
trevok::ShapeData RingSegment(const RingPiece& piece);
// A shape and the object that places it `up` millimetres above its parent
// (stored as y = -up) at x and z, both named `name`.
trevok::ShapeChunk* AddPart(trevok::ChunkFile* file, const char* name, const trevok::ShapeData& shape, int32_t x,
                            int32_t up, int32_t z);
// A hierarchy node for the object named `object`.
trevok::HierarchyChunk* AddNode(trevok::ParentChunk* parent, const char* object);
// An empty model file whose environment names it `fileName`.
std::unique_ptr<trevok::ChunkFile> NewModelFile(const char* fileName);
// Writes a model file under rifs/; false (with a message) when it cannot.
bool SaveModelFile(const Context& ctx, const char* fileName, trevok::ChunkFile& file);

} // namespace sample
