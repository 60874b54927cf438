// Shape data built by hand for the sample files: polygons, normals, counts
// and bounds filled from the points, and the one square texture mapping.
#pragma once

#include "chunk/shape_data.h"

#include <initializer_list>

namespace sample {

trevok::ShapePolygon Polygon(int32_t type, std::initializer_list<int32_t> vertices, int32_t uvSet, int32_t texture);
// Each point's normal: the mean of the normals of the polygons that use it.
// Lit shapes are shaded by these; without them they draw black.
void FillVertexNormals(trevok::ShapeData& d);
// Fills normals, counts and bounds from points and polygons.
void Finish(trevok::ShapeData& d);
trevok::ShapeUvSet Quad();

} // namespace sample
