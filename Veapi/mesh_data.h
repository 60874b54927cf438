// The node records of a cut level tree, as the level cache stores them:
// depth first, each node's bounds, its slot-0 shape's sub-meshes (counts,
// vertex format, texture name, vertices, 16-bit indices) and its children.
#pragma once

#include "platform/byte_cursor.h"

#include <cstdint>
#include <string>

class ShapeInstance;

namespace Shape {
// Appends the records of `node` and its descendants. A node needs a box; a
// node without one is written with zero bounds.
void WriteMeshData(trevok::ByteWriter& out, const ShapeInstance& node);
} // namespace Shape

namespace MeshData {
// Deepest node nesting a reader accepts: a cut level is a few dozen deep, and
// a damaged image must not exhaust the stack.
inline constexpr int kMaxDepth = 64;
// Rebuilds one node and its descendants from the cursor. Every count, length
// and index is checked against the image; on any inconsistency the cursor
// fails, `error` says what was wrong and null is returned.
ShapeInstance* ReadMeshData(trevok::ByteReader& in, std::string* error = nullptr, int depth = 0);
} // namespace MeshData
