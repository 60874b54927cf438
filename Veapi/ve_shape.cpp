#include "Veapi/ve_shape.h"

#include <algorithm>
#include <cstring>

#include "Veapi/VertBuff.h"
#include "Veapi/bounding_box.h"
#include "Veapi/camera.h"
#include "Veapi/hit_probe.h"
#include "Veapi/light_set.h"
#include "Veapi/primitives.h"
#include "Veapi/texture_manager.h"
#include "Veapi/ve3d.h"
#include "Veapi/ve_object.h"
#include "platform/cpu.h"

namespace {

int64_t g_drawTime = 0;
uint32_t g_lastWireIndices = 0;
std::vector<uint16_t> g_wireScratch;
gfx::Matrix g_hitMatrix;
// Positions of shapes too large for the shared transform buffer.
std::unique_ptr<gfx::VertexBuffer> g_bigTransform;

int64_t ProfileNow()
{
    return int64_t(platform::ReadCycleCounter() >> 10);
}

float ReadFloat(const uint8_t* p)
{
    float f;
    std::memcpy(&f, p, 4);
    return f;
}

} // namespace

uint32_t SubMesh::Stride() const
{
    return gfx::VertexSize(format);
}

void SubMesh::CopyToBuffer(uint8_t* destination) const
{
    const size_t bytes = size_t(Stride()) * vertexCount;
    if (destination) {
        std::memcpy(destination, vertices.data(), std::min(bytes, vertices.size()));
        return;
    }
    if (!shared || !shared->Buffer())
        return;
    uint8_t* p = shared->Buffer()->Lock();
    if (!p)
        return;
    std::memcpy(p + size_t(firstVertex) * Stride(), vertices.data(), std::min(bytes, vertices.size()));
    shared->Buffer()->Unlock();
}

void ShapeGeometry::FreeArrays()
{
    triangles = {};
    quads = {};
    points = {};
}

VeShape::VeShape() = default;

VeShape::~VeShape()
{
    geometry_.reset();
    box_.reset();
    positions_.reset();
    for (SubMesh* m : subMeshes_) {
        SharedVertexBuffer::Detach(m);
        delete m;
    }
    subMeshes_.Clear();
    for (TextureEntry* t : bound_)
        TextureManager::Unuse(t);
    bound_.Clear();
    for (TextureEntry* t : textures_)
        if (t)
            t->LowerKeep();
    textures_.Clear();
}

VeShape* VeShape::FromPrimitive(const PrimitiveDesc& desc)
{
    VeShape* shape = new VeShape;
    if (desc.texture)
        shape->AddTexture(desc.texture);
    if (!BuildPrimitive(*shape, desc))
        return shape;
    for (SubMesh* m : shape->subMeshes_)
        m->texture = desc.texture;
    for (SubMesh* m : shape->subMeshes_)
        if (m->texture)
            SharedVertexBuffer::Attach(m, false);
    return shape;
}

SubMesh* VeShape::AddSubMesh(uint32_t vertexCount, uint32_t indexCount, uint32_t format, bool fan)
{
    SubMesh* m = new SubMesh;
    m->format = format;
    m->vertexCount = vertexCount;
    m->vertices.resize(size_t(vertexCount) * m->Stride());
    m->indexCount = indexCount;
    m->indices.resize(indexCount);
    if (fan && vertexCount >= 3) {
        // Triangles (k, k + 1, n - 1) round the last vertex, written from the end.
        size_t out = indexCount;
        for (uint32_t k = 0; k + 2 < vertexCount && out >= 3; ++k) {
            out -= 3;
            m->indices[out] = uint16_t(k);
            m->indices[out + 1] = uint16_t(k + 1);
            m->indices[out + 2] = uint16_t(vertexCount - 1);
        }
    }
    subMeshes_.PushBack(m);
    return m;
}

int32_t VeShape::AddRef()
{
    if (useCount_ == 0)
        for (TextureEntry* t : textures_) {
            TextureManager::Use(t);
            bound_.PushBack(t);
        }
    RefCounted::AddRef();
    return ++useCount_;
}

int32_t VeShape::Release()
{
    const int32_t left = --useCount_;
    // The last use unbinds the textures; the last reference of either kind
    // frees the shape, textures included.
    if (left == 0 && holdCount_ > 0)
        ReleaseTextures();
    RefCounted::Release();
    return left;
}

int32_t VeShape::ReleaseHold()
{
    --holdCount_;
    return RefCounted::Release();
}

void VeShape::AddTexture(TextureEntry* entry)
{
    TextureManager::Use(entry);
    bound_.PushBack(entry);
}

void VeShape::NameTexture(TextureEntry* entry)
{
    if (entry)
        entry->RaiseKeep();
    textures_.PushBack(entry);
}

void VeShape::ReleaseTextures()
{
    for (TextureEntry* t : bound_)
        TextureManager::Unuse(t);
    bound_.Clear();
}

void VeShape::MakeBoundingBox()
{
    if (!box_)
        box_ = std::make_unique<BoundingBox>(min_.x, min_.y, min_.z, max_.x, max_.y, max_.z);
}

void VeShape::BuildPositionBuffer()
{
    positions_.reset();
    triangles_.clear();
    centroids_.clear();
    MakeBoundingBox();
    uint32_t vertices = 0, triangles = 0;
    for (SubMesh* m : subMeshes_) {
        vertices += m->vertexCount;
        triangles += m->indexCount / 3;
    }
    // Triangle corners are 16-bit: a shape beyond that keeps its first 65536 vertices' triangles.
    positionCount_ = vertices;
    positions_ = std::make_unique<gfx::VertexBuffer>(gfx::kFvfXyz, std::max(vertices, 1u),
                                                     gfx::kVbSystemMemory | gfx::kVbDoNotClip);
    uint8_t* out = positions_->Lock();
    uint32_t base = 0;
    triangles_.reserve(size_t(triangles) * 3);
    centroids_.reserve(triangles);
    for (SubMesh* m : subMeshes_) {
        const uint32_t stride = m->Stride();
        for (uint32_t i = 0; i < m->vertexCount; ++i)
            std::memcpy(out + size_t(base + i) * 12, m->vertices.data() + size_t(i) * stride, 12);
        for (uint32_t t = 0; t + 2 < m->indexCount; t += 3) {
            const uint32_t a = base + m->indices[t], b = base + m->indices[t + 1], c = base + m->indices[t + 2];
            if (a > 0xFFFF || b > 0xFFFF || c > 0xFFFF)
                continue;
            triangles_.push_back(uint16_t(a));
            triangles_.push_back(uint16_t(b));
            triangles_.push_back(uint16_t(c));
            auto pos = [&](uint32_t v) {
                const uint8_t* p = out + size_t(v) * 12;
                return Vec3{ReadFloat(p), ReadFloat(p + 4), ReadFloat(p + 8)};
            };
            centroids_.push_back((pos(a) + pos(b) + pos(c)) * (1.0f / 3.0f));
        }
        base += m->vertexCount;
    }
    positions_->Unlock();
    triangleCount_ = uint32_t(centroids_.size());
}

void VeShape::DrawSubMesh(SubMesh& mesh, uint32_t flags)
{
    gfx::Device* dev = Display::Device();
    if (!dev || mesh.indexCount == 0)
        return;
    const int64_t start = ProfileNow();
    const bool shared = mesh.shared && mesh.shared->Buffer() && mesh.sharedIndices.size() == mesh.indexCount;
    const uint16_t* indices = shared ? mesh.sharedIndices.data() : mesh.indices.data();
    uint32_t count = mesh.indexCount;
    gfx::Primitive type = gfx::Primitive::TriangleList;
    if (flags & ShapeDraw::kWireFrame) {
        // Each triangle (a, b, c) as the lines (c, a), (a, b), (b, c).
        g_wireScratch.resize(size_t(count / 3) * 6);
        size_t o = 0;
        for (uint32_t t = 0; t + 2 < count; t += 3) {
            const uint16_t a = indices[t], b = indices[t + 1], c = indices[t + 2];
            const uint16_t lines[6] = {c, a, a, b, b, c};
            std::copy(lines, lines + 6, g_wireScratch.begin() + ptrdiff_t(o));
            o += 6;
        }
        indices = g_wireScratch.data();
        count = uint32_t(o);
        type = gfx::Primitive::LineList;
        g_lastWireIndices = count;
    }
    if (shared)
        dev->DrawIndexedPrimitiveVB(type, *mesh.shared->Buffer(), indices, count);
    else
        dev->DrawIndexedPrimitive(type, mesh.format, mesh.vertices.data(), mesh.vertexCount, indices, count);
    g_drawTime += ProfileNow() - start;
}

void VeShape::Draw(const gfx::Matrix& world, TextureEntry* filter, uint32_t flags)
{
    gfx::Device* dev = Display::Device();
    if (!dev)
        return;
    dev->SetTransform(gfx::TransformType::World, world);
    LightSet* current = LightSet::Current();
    if (current && current == LightSet::Global(0))
        current->OnDrawBounds(min_, max_);
    if (filter) {
        if (!(flags & ShapeDraw::kNoTextureSet))
            Display::SetStageTexture(filter, 0);
        for (SubMesh* m : subMeshes_)
            if (m->texture == filter)
                DrawSubMesh(*m, flags);
    } else {
        for (SubMesh* m : subMeshes_) {
            if ((flags & ShapeDraw::kTranslucentOnly) && !(m->texture && m->texture->Options() != 0))
                continue;
            if (!(flags & ShapeDraw::kNoTextureSet))
                Display::SetStageTexture(m->texture ? m->texture : Display::NullTexture(), 0);
            DrawSubMesh(*m, flags);
        }
    }
    if ((flags & ShapeDraw::kHitTest) && box_ && positions_ && HitProbe::TestBoxForShape(*box_))
        TestTrianglesAgainstProbes(world);
}

void VeShape::TestTrianglesAgainstProbes(const gfx::Matrix& world)
{
    gfx::Device* dev = Display::Device();
    Camera* cam = Camera::Current();
    if (!dev || !cam || positionCount_ == 0)
        return;
    // Shapes larger than the shared transform buffer get a buffer of their own.
    gfx::VertexBuffer* out = ProcessingBuffers::Transform(1);
    if (!out || out->Count() < positionCount_) {
        if (!g_bigTransform || g_bigTransform->Count() < positionCount_)
            g_bigTransform = std::make_unique<gfx::VertexBuffer>(gfx::kFvfXyzRhw, positionCount_,
                                                                 gfx::kVbSystemMemory | gfx::kVbDoNotClip);
        out = g_bigTransform.get();
    }
    if (!dev->ProcessVertices(gfx::kProcessTransform | gfx::kProcessNoCopyData, *out, 0, positionCount_, *positions_, 0))
        return;
    g_hitMatrix = world;
    const float minRhw = cam->FarPlane() > 0 ? 1.0f / cam->FarPlane() : 0.0f;
    const float maxRhw = cam->NearPlane() > 0 ? 1.0f / cam->NearPlane() : HitProbe::kFarthest;
    const uint8_t* p = out->Data();
    auto point = [&](uint16_t v) {
        const uint8_t* q = p + size_t(v) * 16;
        return ScreenPoint{ReadFloat(q), ReadFloat(q + 4), ReadFloat(q + 8), ReadFloat(q + 12)};
    };
    for (uint32_t t = 0; t < triangleCount_; ++t) {
        const ScreenPoint tri[3] = {point(triangles_[t * 3]), point(triangles_[t * 3 + 1]), point(triangles_[t * 3 + 2])};
        bool inDepth = true;
        for (const ScreenPoint& s : tri)
            inDepth = inDepth && s.rhw >= minRhw && s.rhw <= maxRhw;
        if (!inDepth)
            continue;
        HitProbe::SetCurrentTriangle(g_hitMatrix.m.data(), &centroids_[t]);
        if (HitProbe::Enabled() && HitProbe::AnyActive())
            HitProbe::TestTriangle(tri);
    }
    HitProbe::SetCurrentTriangle(nullptr, nullptr);
}

void VeShape::OptimizeVertexBuffers()
{
    // The device draws from the buffers as they are: nothing to optimise.
}

uint32_t VeShape::LastWireIndexCount()
{
    return g_lastWireIndices;
}

int64_t VeShape::DrawTime()
{
    return g_drawTime;
}

// ---- Cutting a shape by a vertex limit -----------------------------------------------

namespace {

float Axis(const Vec3& v, int axis)
{
    return axis == 0 ? v.x : axis == 1 ? v.y : v.z;
}

void SetAxis(Vec3& v, int axis, float value)
{
    (axis == 0 ? v.x : axis == 1 ? v.y : v.z) = value;
}

Vec3 PositionOf(const SubMesh& m, uint32_t i)
{
    const uint8_t* p = m.vertices.data() + size_t(i) * m.Stride();
    return {ReadFloat(p), ReadFloat(p + 4), ReadFloat(p + 8)};
}

} // namespace

uint32_t Shape::VertexTotal(const VeShape& shape)
{
    uint32_t total = 0;
    for (SubMesh* m : const_cast<VeShape&>(shape).SubMeshes())
        total += m->vertexCount;
    return total;
}

void Shape::CopyTrianglesInBox(const VeShape& source, VeShape& out, int axis, float cut, bool upper)
{
    constexpr uint32_t kMaxVertices = 30000;
    for (SubMesh* src : const_cast<VeShape&>(source).SubMeshes()) {
        const uint32_t stride = src->Stride();
        std::vector<int32_t> remap(src->vertexCount, -1);
        SubMesh* dst = nullptr;
        for (uint32_t t = 0; t + 2 < src->indexCount; t += 3) {
            const uint16_t corner[3] = {src->indices[t], src->indices[t + 1], src->indices[t + 2]};
            if (corner[0] >= src->vertexCount || corner[1] >= src->vertexCount || corner[2] >= src->vertexCount)
                continue;
            const Vec3 centroid = (PositionOf(*src, corner[0]) + PositionOf(*src, corner[1]) +
                                   PositionOf(*src, corner[2])) * (1.0f / 3.0f);
            // One side takes the cut plane itself, so no triangle is lost or doubled.
            if ((Axis(centroid, axis) >= cut) != upper)
                continue;
            int fresh = 0;
            for (uint16_t c : corner)
                fresh += remap[c] < 0 ? 1 : 0;
            if (!dst || dst->vertexCount + uint32_t(fresh) > kMaxVertices) {
                dst = out.AddSubMesh(0, 0, src->format, false);
                dst->texture = src->texture;
                std::fill(remap.begin(), remap.end(), -1);
            }
            for (uint16_t c : corner) {
                if (remap[c] < 0) {
                    remap[c] = int32_t(dst->vertexCount++);
                    dst->vertices.insert(dst->vertices.end(), src->vertices.begin() + ptrdiff_t(size_t(c) * stride),
                                         src->vertices.begin() + ptrdiff_t(size_t(c + 1) * stride));
                }
                dst->indices.push_back(uint16_t(remap[c]));
            }
            dst->indexCount += 3;
        }
    }
}

void Shape::SplitByVertexLimit(ShapeInstance& root, uint32_t limit, int rootDepth)
{
    // A work list, not recursion: a badly spread shape may need many cuts.
    std::vector<std::pair<ShapeInstance*, int>> work{{&root, rootDepth}};
    while (!work.empty()) {
        auto [node, depth] = work.back();
        work.pop_back();
        VeShape* shape = node->slots_[0];
        if (!shape)
            continue;
        shape->geometry_.reset();
        if (VertexTotal(*shape) <= limit)
            continue;
        const Vec3 lo = shape->min_, hi = shape->max_;
        int order[3] = {0, 1, 2};
        std::stable_sort(order, order + 3, [&](int a, int b) { return Axis(hi, a) - Axis(lo, a) > Axis(hi, b) - Axis(lo, b); });
        int axis = order[std::clamp(depth, 0, 2)];
        float cut = 0.5f * (Axis(lo, axis) + Axis(hi, axis));
        if (depth >= 3) {
            axis = order[0];
            double sum = 0;
            uint32_t n = 0;
            for (SubMesh* m : shape->SubMeshes())
                for (uint32_t i = 0; i < m->vertexCount; ++i, ++n)
                    sum += Axis(PositionOf(*m, i), axis);
            cut = n ? float(sum / n) : cut;
        }
        VeShape* halves[2] = {new VeShape, new VeShape};
        for (int h = 0; h < 2; ++h) {
            halves[h]->min_ = lo;
            halves[h]->max_ = hi;
            SetAxis(h == 0 ? halves[h]->max_ : halves[h]->min_, axis, cut);
            halves[h]->flags_ = shape->flags_;
            Shape::CopyTrianglesInBox(*shape, *halves[h], axis, cut, h == 1);
            for (TextureEntry* t : shape->Textures()) {
                halves[h]->NameTexture(t);
                halves[h]->AddTexture(t);
            }
        }
        node->TakeShape()->Release();
        const bool both = halves[0]->SubMeshes().Count() > 0 && halves[1]->SubMeshes().Count() > 0;
        for (VeShape* half : halves) {
            if (half->SubMeshes().Count() == 0) {
                half->Release();
                continue;
            }
            half->MakeBoundingBox();
            ShapeInstance* child = ShapeInstance::FromShape(half, true);
            half->Release();  // the child holds it now
            if (both)
                work.push_back({child, 0});
            else if (depth < 3)
                work.push_back({child, depth + 1});
            node->AppendChild(child);
        }
    }
}
