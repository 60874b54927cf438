// The engine's drawable mesh: sub-meshes with their own vertices, 16-bit
// indices and texture, the shape's bounds, and the counts that keep its
// textures loaded while it is in use. Shapes come from the shape loaders, from
// the twelve procedural primitive kinds, or from cutting a large shape.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/list.h"
#include "app/maths.h"
#include "platform/gfx.h"
#include "platform/ref_counted.h"

class BoundingBox;
class SharedVertexBuffer;
class TextureEntry;

struct SubMesh {
    std::vector<uint8_t> vertices;
    uint32_t format = 0;
    SharedVertexBuffer* shared = nullptr;
    uint32_t firstVertex = 0;
    uint32_t vertexCount = 0;
    std::vector<uint16_t> indices;
    uint32_t indexCount = 0;
    // The indices moved by firstVertex, for drawing from the shared buffer.
    std::vector<uint16_t> sharedIndices;
    TextureEntry* texture = nullptr;

    uint32_t Stride() const;
    // Copies the vertices to `destination`, or with null into its shared buffer.
    void CopyToBuffer(uint8_t* destination) const;
    float* Vertex(uint32_t i) { return reinterpret_cast<float*>(vertices.data() + size_t(i) * Stride()); }
};

// The welded polygons the shape loaders keep beside a shape for collision and
// picking; corners are indices into `points`.
struct GeometryTriangle {
    int32_t corners[3] = {};
    Vec3 normal{0, 0, 0};
    int32_t flags = 0;
};
struct GeometryQuad {
    int32_t corners[4] = {};  // -1 past the corners of a polygon with fewer
    Vec3 normal{0, 0, 0};
    int32_t flags = 0;
};
struct ShapeGeometry {
    std::vector<GeometryTriangle> triangles;
    std::vector<GeometryQuad> quads;
    std::vector<Vec3> points;
    void FreeArrays();
};

struct PrimitiveDesc {
    int32_t kind = 0;
    int32_t p1 = 0, p2 = 0, p3 = 0;
    TextureEntry* texture = nullptr;
};

// Draw flags a shape looks at.
namespace ShapeDraw {
constexpr uint32_t kNoTextureSet = 0x80;
constexpr uint32_t kTranslucentOnly = 0x40;
constexpr uint32_t kWireFrame = 0x200000;
constexpr uint32_t kHitTest = 0x20000000;
} // namespace ShapeDraw

// The shape lives while it has uses or holds: the reference count is their
// sum. Uses keep its textures bound; a held shape without uses keeps only
// its geometry. Private base, so every count goes through the two kinds.
class VeShape : private RefCounted {
public:
    static constexpr uint32_t kSkipBoxTest = 0x2;
    static constexpr uint32_t kPrimitiveFormat = gfx::kFvfVertex;  // 0x112: 32-byte vertices

    VeShape();
    ~VeShape() override;
    VeShape(const VeShape&) = delete;
    VeShape& operator=(const VeShape&) = delete;

    // Null never: an unknown kind gives an empty shape. Parameters out of
    // their sensible range are clamped (see primitives.h).
    static VeShape* FromPrimitive(const PrimitiveDesc& desc);

    SubMesh* AddSubMesh(uint32_t vertexCount, uint32_t indexCount, uint32_t format, bool fan);
    int32_t AddRef();
    int32_t Release();
    // Returns the uses and holds left.
    int32_t ReleaseHold();
    void Hold()
    {
        ++holdCount_;
        RefCounted::AddRef();
    }
    void AddTexture(TextureEntry* entry);
    // Adds to the textures the shape names, raising the entry's keep count; the
    // destructor lowers it again, so a texture shared by shapes stays until the last goes.
    void NameTexture(TextureEntry* entry);
    void ReleaseTextures();
    void BuildPositionBuffer();
    bool HasPositionBuffer() const { return positions_ != nullptr; }
    void Draw(const gfx::Matrix& world, TextureEntry* filter, uint32_t flags);
    void OptimizeVertexBuffers();
    void MakeBoundingBox();

    List<TextureEntry*>& BoundTextures() { return bound_; }
    const List<TextureEntry*>& Textures() const { return textures_; }
    List<SubMesh*>& SubMeshes() { return subMeshes_; }
    int32_t UseCount() const { return useCount_; }
    int32_t HoldCount() const { return holdCount_; }
    BoundingBox* Box() const { return box_.get(); }
    uint32_t TriangleCount() const { return triangleCount_; }

    Vec3 min_{0, 0, 0}, max_{0, 0, 0};
    uint32_t flags_ = 0;
    Vec3 sphereCentre_{0, 0, 0};
    float sphereRadius_ = 0;
    std::unique_ptr<ShapeGeometry> geometry_;

    // Lines of the last wire-frame draw (for checks and the profiler).
    static uint32_t LastWireIndexCount();
    static int64_t DrawTime();

private:
    void DrawSubMesh(SubMesh& mesh, uint32_t flags);
    void TestTrianglesAgainstProbes(const gfx::Matrix& world);

    List<TextureEntry*> bound_;
    List<TextureEntry*> textures_;
    List<SubMesh*> subMeshes_;
    std::unique_ptr<BoundingBox> box_;
    uint32_t positionCount_ = 0;
    std::unique_ptr<gfx::VertexBuffer> positions_;
    uint32_t triangleCount_ = 0;
    std::vector<uint16_t> triangles_;
    std::vector<Vec3> centroids_;
    int32_t useCount_ = 1;
    int32_t holdCount_ = 0;
};

class ShapeInstance;

namespace Shape {
// Copies the triangles of `source` whose centroid lies on the `upper` side
// of the cut (coordinate `axis` at or above `cut`) or below it, de-duplicating
// vertices per source sub-mesh; sub-meshes stay at most 30000 vertices.
void CopyTrianglesInBox(const VeShape& source, VeShape& out, int axis, float cut, bool upper);
// Cuts the node's slot-0 shape in halves until every piece has at most
// `limit` vertices; each piece becomes a child node with a bounding box of its
// own. Every triangle ends in exactly one piece.
void SplitByVertexLimit(ShapeInstance& node, uint32_t limit, int depth = 0);
uint32_t VertexTotal(const VeShape& shape);
} // namespace Shape
