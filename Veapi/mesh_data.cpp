#include "Veapi/mesh_data.h"

#include "Veapi/bounding_box.h"
#include "Veapi/texture_manager.h"
#include "Veapi/ve_object.h"
#include "Veapi/ve_shape.h"

#include <memory>

namespace {

// Smallest record sizes, for checking counts against what is left.
constexpr size_t kNodeRecordBytes = 32;
constexpr size_t kSubMeshRecordBytes = 17;  // counts, format, length and at least the zero

struct NodeDeleter {
    void operator()(ShapeInstance* node) const { delete node; }
};
using NodePtr = std::unique_ptr<ShapeInstance, NodeDeleter>;

ShapeInstance* Fail(trevok::ByteReader& in, std::string* error, const char* what)
{
    in.Fail();
    if (error && error->empty())
        *error = what;
    return nullptr;
}

} // namespace

void Shape::WriteMeshData(trevok::ByteWriter& out, const ShapeInstance& node)
{
    Vec3 lo{0, 0, 0}, hi{0, 0, 0};
    if (node.box_) {
        lo = node.box_->Corner(0);
        hi = node.box_->Corner(5);
    }
    for (float v : {lo.x, lo.y, lo.z, hi.x, hi.y, hi.z})
        out.F32(v);
    VeShape* shape = node.slots_[0];
    out.U32(shape ? 1 : 0);
    out.U32(static_cast<uint32_t>(const_cast<ShapeInstance&>(node).children_.Count()));
    if (shape) {
        out.U32(static_cast<uint32_t>(shape->SubMeshes().Count()));
        for (SubMesh* m : shape->SubMeshes()) {
            const std::string name = m->texture ? m->texture->Name() : std::string();
            out.U32(m->vertexCount);
            out.U32(m->indexCount);
            out.U32(m->format);
            out.U32(static_cast<uint32_t>(name.size() + 1));
            out.Bytes(name.data(), name.size());
            out.U8(0);
            const size_t bytes = size_t(m->vertexCount) * m->Stride();
            out.Bytes(m->vertices.data(), std::min(bytes, m->vertices.size()));
            if (m->vertices.size() < bytes)
                out.Zeros(bytes - m->vertices.size());
            for (uint32_t i = 0; i < m->indexCount; ++i)
                out.U16(i < m->indices.size() ? m->indices[i] : 0);
        }
    }
    for (ShapeInstance* child : const_cast<ShapeInstance&>(node).children_)
        WriteMeshData(out, *child);
}

ShapeInstance* MeshData::ReadMeshData(trevok::ByteReader& in, std::string* error, int depth)
{
    if (depth > kMaxDepth)
        return Fail(in, error, "mesh tree nested too deep");
    float b[6];
    for (float& v : b)
        v = in.F32();
    const uint32_t hasShape = in.U32();
    const uint32_t children = in.U32();
    if (!in.Ok())
        return Fail(in, error, "mesh node record cut short");
    if (hasShape > 1)
        return Fail(in, error, "mesh node shape flag is neither 0 nor 1");
    if (children > in.Remaining() / kNodeRecordBytes)
        return Fail(in, error, "mesh node child count exceeds the image");

    VeShape* shape = nullptr;
    if (hasShape) {
        const uint32_t meshes = in.U32();
        if (!in.Ok() || meshes > in.Remaining() / kSubMeshRecordBytes)
            return Fail(in, error, "sub-mesh count exceeds the image");
        shape = new VeShape;
        shape->min_ = {b[0], b[1], b[2]};
        shape->max_ = {b[3], b[4], b[5]};
        for (uint32_t s = 0; s < meshes; ++s) {
            const uint32_t vertexCount = in.U32();
            const uint32_t indexCount = in.U32();
            const uint32_t format = in.U32();
            const uint32_t nameLength = in.U32();
            const uint32_t stride = gfx::VertexSize(format);
            if (!in.Ok() || nameLength == 0 || nameLength > in.Remaining()) {
                shape->Release();
                return Fail(in, error, "sub-mesh texture name exceeds the image");
            }
            auto name = in.Take(nameLength);
            if (name[nameLength - 1] != 0) {
                shape->Release();
                return Fail(in, error, "sub-mesh texture name is not terminated");
            }
            if (stride == 0 || vertexCount > 65536 || vertexCount > in.Remaining() / stride ||
                indexCount > (in.Remaining() - size_t(vertexCount) * stride) / 2) {
                shape->Release();
                return Fail(in, error, "sub-mesh vertex or index count exceeds the image");
            }
            SubMesh* m = shape->AddSubMesh(vertexCount, indexCount, format, false);
            if (!m->vertices.empty())
                in.Bytes(m->vertices.data(), m->vertices.size());
            m->indices.resize(indexCount);
            for (uint32_t i = 0; i < indexCount; ++i) {
                m->indices[i] = in.U16();
                if (m->indices[i] >= vertexCount) {
                    shape->Release();
                    return Fail(in, error, "sub-mesh index past its vertices");
                }
            }
            const std::string textureName(reinterpret_cast<const char*>(name.data()));
            TextureEntry* texture = TextureManager::Find(textureName);
            shape->AddTexture(texture);
            TextureManager::Unuse(texture);  // the find's own use
            m->texture = texture;
            SharedVertexBuffer::Attach(m, true);
        }
    }
    NodePtr node(ShapeInstance::FromShape(shape, true));
    if (shape)
        shape->Release();  // the node holds the only use
    node->box_ = std::make_unique<BoundingBox>(b[0], b[1], b[2], b[3], b[4], b[5]);
    for (uint32_t c = 0; c < children; ++c) {
        ShapeInstance* child = ReadMeshData(in, error, depth + 1);
        if (!child)
            return nullptr;
        node->AppendChild(child);
        for (TextureEntry* t : child->textures_)
            node->textures_.PushBack(t);
    }
    return node.release();
}
