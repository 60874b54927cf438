#include "Veapi/shape_builder.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

#include "Veapi/bounding_box.h"
#include "Veapi/texture_manager.h"
#include "Veapi/ve3d.h"
#include "chunk/chunk_ids.h"
#include "chunk/shape_chunks.h"

using trevok::ShapeData;
using trevok::ShapePolygon;

namespace {

struct Vertex {
    float x, y, z, nx, ny, nz;
    uint32_t colour;
    float u, v;
};
static_assert(sizeof(Vertex) == 36);

struct Slot {
    TextureEntry* entry = nullptr;
    float width = 1, height = 1;
    bool used = false;
};

struct Group {
    uint32_t triangles = 0;
    std::vector<SubMesh*> meshes;
    size_t current = 0;
    uint32_t first = 0;  // group-array index of the current sub-mesh's first vertex
    std::vector<Vertex> vertices;
    std::vector<std::vector<uint32_t>> hash;
    Slot* slot = nullptr;  // null for the untextured group
    TextureEntry* texture = nullptr;
};

uint32_t Bits(float f)
{
    return std::bit_cast<uint32_t>(f);
}

// 2^k buckets with k from the bit width of the point count.
uint32_t HashBuckets(size_t pointCount)
{
    const int b = int(std::bit_width(pointCount));
    const int k = b >= 5 ? b - 3 : 1;
    return 1u << k;
}

uint32_t VertexHash(const Vertex& v, uint32_t mask)
{
    uint32_t h = Bits(v.x) ^ Bits(v.y) ^ Bits(v.z) ^ Bits(v.nx) ^ Bits(v.ny) ^ Bits(v.nz) ^ Bits(v.u) ^ Bits(v.v);
    uint32_t t = (h >> 7) ^ h;
    t = (t >> 6) ^ h;
    t = (t >> 5) ^ h;
    h ^= t >> 4;
    return h & mask;
}

bool SameVertex(const Vertex& a, const Vertex& b)
{
    return a.x == b.x && a.y == b.y && a.z == b.z && a.nx == b.nx && a.ny == b.ny && a.nz == b.nz && a.u == b.u &&
           a.v == b.v;
}

// Infinities, NaNs and denormals say nothing useful about where a point is.
uint32_t PointBits(float f)
{
    const uint32_t e = (Bits(f) >> 23) & 0xFF;
    return (e == 0 || e == 0xFF) ? 0 : Bits(f);
}

bool PolygonUsable(const ShapeData& d, const ShapePolygon& p)
{
    if (p.vertexCount_ < 0 || p.vertexCount_ > trevok::kMaxPolygonVertices)
        return false;
    for (int i = 0; i < p.vertexCount_; ++i)
        if (p.vertices_[i] < 0 || size_t(p.vertices_[i]) >= d.points_.size())
            return false;
    return true;
}

bool Drawn(const ShapeData& d, const ShapePolygon& p)
{
    return !(p.flags_ & 1) && p.vertexCount_ >= 3 && PolygonUsable(d, p);
}

// Corner numbers (0-based) of the triangles of a polygon, in drawing order.
int TriangleCorners(const ShapePolygon& p, int out[2][3])
{
    if (p.vertexCount_ == 3) {
        out[0][0] = 2, out[0][1] = 1, out[0][2] = 0;
        return 1;
    }
    out[0][0] = 3, out[0][1] = 2, out[0][2] = 0;
    out[1][0] = 2, out[1][1] = 1, out[1][2] = 0;
    return 2;
}

SubMesh* NewSubMesh(VeShape& shape, Group& g)
{
    SubMesh* m = shape.AddSubMesh(0, 0, ShapeBuild::kVertexFormat, false);
    m->texture = g.texture;
    g.meshes.push_back(m);
    return m;
}

void NextSubMesh(VeShape& shape, Group& g)
{
    ++g.current;
    if (g.current >= g.meshes.size())
        NewSubMesh(shape, g);
    g.first = uint32_t(g.vertices.size());
    for (auto& b : g.hash)
        b.clear();
}

// Adds one triangle to the group's current sub-mesh; false (and nothing added)
// when it does not fit under the vertex limit.
bool AddTriangle(Group& g, const Vertex (&corners)[3], uint32_t mask)
{
    SubMesh* m = g.meshes[g.current];
    const size_t savedIndices = m->indices.size();
    const size_t savedVertices = g.vertices.size();
    const uint32_t savedCount = m->vertexCount;
    for (const Vertex& v : corners) {
        const uint32_t h = VertexHash(v, mask);
        bool found = false;
        for (uint32_t at : g.hash[h])
            if (SameVertex(g.vertices[at], v)) {
                m->indices.push_back(uint16_t(at - g.first));
                found = true;
                break;
            }
        if (found)
            continue;
        if (m->vertexCount + 1 > ShapeBuild::kSubMeshVertexLimit) {
            m->indices.resize(savedIndices);
            for (size_t i = savedVertices; i < g.vertices.size(); ++i) {
                auto& b = g.hash[VertexHash(g.vertices[i], mask)];
                b.erase(std::remove(b.begin(), b.end(), uint32_t(i)), b.end());
            }
            g.vertices.resize(savedVertices);
            m->vertexCount = savedCount;
            return false;
        }
        g.hash[h].push_back(uint32_t(g.vertices.size()));
        g.vertices.push_back(v);
        m->indices.push_back(uint16_t(m->vertexCount));
        ++m->vertexCount;
    }
    return true;
}

Vec3 Scaled(const trevok::ShapePoint& p, float s)
{
    return Vec3(float(p.x) * s, float(p.y) * s, float(p.z) * s);
}

} // namespace

VeShape* BuildShape(ShapeData& data, const std::vector<uint32_t>* tint, const trevok::EnvironmentRecord& env,
                    uint32_t options, const std::vector<int32_t>* mergeTable)
{
    // Joined before anything is built, so the draw meshes and the kept geometry
    // show the same polygons, and a second build of the merged data matches.
    if ((options & ShapeBuild::kMergeTrianglePairs) && mergeTable)
        data.MergePolygons(*mergeTable);

    const float scale = env.scale_;
    TextureEntry* const nullTexture = Display::NullTexture();

    // Texture slots, each holding one use of its entry until the texture-use step settles it.
    std::vector<Slot> slots(env.hasTextureTable_ ? env.textures_.size() : 1);
    if (env.hasTextureTable_) {
        for (size_t i = 0; i < slots.size(); ++i) {
            const trevok::EnvironmentTexture& t = env.textures_[i];
            if (t.name_.empty()) {
                slots[i].entry = nullTexture;
                TextureManager::Use(nullTexture);
            } else {
                slots[i].entry = TextureManager::Find(t.name_);
                if (t.width_ && t.height_)
                    slots[i].entry->SetSize(t.width_, t.height_);
            }
            // A zero size in the table would make every coordinate infinite.
            slots[i].width = t.width_ ? float(t.width_) : 1.0f;
            slots[i].height = t.height_ ? float(t.height_) : 1.0f;
        }
    } else {
        slots[0].entry = nullTexture;
        TextureManager::Use(nullTexture);
        if (nullTexture && nullTexture->Width() && nullTexture->Height()) {
            slots[0].width = float(nullTexture->Width());
            slots[0].height = float(nullTexture->Height());
        }
    }

    VeShape* shape = new VeShape;
    shape->geometry_ = std::make_unique<ShapeGeometry>();

    shape->max_ = Scaled(data.maxCorner_, scale);
    shape->min_ = Scaled(data.minCorner_, scale);
    if (data.centreRadius_ <= 0) {
        const Vec3 d(shape->max_.x - shape->min_.x, shape->max_.y - shape->min_.y, shape->max_.z - shape->min_.z);
        shape->sphereRadius_ = 0.5f * std::sqrt(d.x * d.x + d.y * d.y + d.z * d.z);
        shape->sphereCentre_ = Vec3((shape->max_.x + shape->min_.x) * 0.5f, (shape->max_.y + shape->min_.y) * 0.5f,
                                    (shape->max_.z + shape->min_.z) * 0.5f);
    } else {
        shape->sphereCentre_ = Scaled(data.centre_, scale);
        shape->sphereRadius_ = data.centreRadius_ * scale;
    }
    shape->flags_ |= VeShape::kSkipBoxTest;

    // One group per slot plus the untextured group last.
    std::vector<Group> groups(slots.size() + 1);
    for (size_t i = 0; i < slots.size(); ++i) {
        groups[i].slot = &slots[i];
        groups[i].texture = slots[i].entry;
    }
    groups.back().texture = nullTexture;
    const uint32_t buckets = HashBuckets(data.points_.size());
    const auto groupOf = [&](const ShapePolygon& p) -> Group& {
        if (p.IsTextured() && size_t(p.GetTextureNumber()) < slots.size())
            return groups[size_t(p.GetTextureNumber())];
        return groups.back();
    };

    const auto& polygons = data.polygons_;
    for (size_t i = polygons.size(); i-- > 0;)
        if (Drawn(data, polygons[i]))
            groupOf(polygons[i]).triangles += polygons[i].vertexCount_ == 3 ? 1 : 2;

    for (size_t gi = groups.size(); gi-- > 0;) {
        Group& g = groups[gi];
        const uint32_t meshes = (3 * g.triangles + (ShapeBuild::kSubMeshVertexLimit - 1)) / ShapeBuild::kSubMeshVertexLimit;
        for (uint32_t k = 0; k < meshes; ++k)
            NewSubMesh(*shape, g);
        g.vertices.reserve(size_t(3) * g.triangles);
        // Only groups with triangles weld: a large texture table must not
        // cost a hash table per empty slot.
        if (g.triangles)
            g.hash.assign(buckets, {});
    }

    const uint32_t mask = buckets - 1;
    for (size_t i = polygons.size(); i-- > 0;) {
        const ShapePolygon& p = polygons[i];
        if (!Drawn(data, p))
            continue;
        Group& g = groupOf(p);
        const bool textured = g.slot != nullptr;
        const trevok::ShapeUvSet* uv = nullptr;
        if (textured) {
            const int32_t set = p.GetUvIndex();
            if (set >= 0 && size_t(set) < data.uvSets_.size())
                uv = &data.uvSets_[size_t(set)];
        }
        int corners[2][3];
        const int count = TriangleCorners(p, corners);
        for (int t = 0; t < count; ++t) {
            Vertex v[3];
            for (int c = 0; c < 3; ++c) {
                const int corner = corners[t][c];
                const size_t point = size_t(p.vertices_[corner]);
                const Vec3 pos = Scaled(data.points_[point], scale);
                const trevok::ShapeNormal n =
                    point < data.vertexNormals_.size() ? data.vertexNormals_[point] : trevok::ShapeNormal{};
                const uint32_t colour = tint && point < tint->size() ? ((*tint)[point] | 0xFF000000u) : 0xFFFFFFFFu;
                float u = 0, w = 0;
                if (uv) {
                    u = uv->pairs_[corner].u / g.slot->width;
                    w = uv->pairs_[corner].v / g.slot->height;
                }
                v[c] = Vertex{pos.x, pos.y, pos.z, n.x, n.y, n.z, colour, u, w};
            }
            // A triangle that does not fit goes whole into the next sub-mesh; the
            // polygon's earlier triangles stay where they are, so none is drawn twice.
            if (!AddTriangle(g, v, mask)) {
                NextSubMesh(*shape, g);
                AddTriangle(g, v, mask);
            }
        }
    }

    // Distribution: each sub-mesh takes its run of the group's vertices.
    for (Group& g : groups) {
        size_t at = 0;
        for (SubMesh* m : g.meshes) {
            if (m->vertexCount == 0) {
                shape->SubMeshes().Remove(m);
                delete m;
                continue;
            }
            m->vertices.resize(size_t(m->vertexCount) * m->Stride());
            std::memcpy(m->vertices.data(), g.vertices.data() + at, size_t(m->vertexCount) * sizeof(Vertex));
            at += m->vertexCount;
            m->indices.shrink_to_fit();
            m->indexCount = uint32_t(m->indices.size());
        }
        g.vertices = {};
    }

    // Welded geometry for collision and picking: every polygon, drawn or not.
    ShapeGeometry& geo = *shape->geometry_;
    std::vector<Vec3> welded;
    welded.reserve(data.points_.size());
    std::vector<int32_t> map(data.points_.size(), -1);
    std::vector<std::vector<uint32_t>> pointHash(buckets);
    for (size_t i = data.points_.size(); i-- > 0;) {
        const Vec3 q = Scaled(data.points_[i], scale);
        auto& b = pointHash[(PointBits(q.x) ^ PointBits(q.y) ^ PointBits(q.z)) & mask];
        for (uint32_t at : b)
            if (welded[at].x == q.x && welded[at].y == q.y && welded[at].z == q.z) {
                map[i] = int32_t(at);
                break;
            }
        if (map[i] < 0) {
            map[i] = int32_t(welded.size());
            b.push_back(uint32_t(welded.size()));
            welded.push_back(q);
        }
    }
    bool needNull = false;
    for (size_t i = data.polygons_.size(); i-- > 0;) {
        const ShapePolygon& p = data.polygons_[i];
        if (!PolygonUsable(data, p))
            continue;
        const trevok::ShapeNormal pn = i < data.polygonNormals_.size() ? data.polygonNormals_[i] : trevok::ShapeNormal{};
        const Vec3 normal(pn.x, pn.y, pn.z);
        const int32_t flags = p.flags_ & ShapeBuild::kGeometryFlagMask;
        if (p.vertexCount_ == 3) {
            geo.triangles.push_back(GeometryTriangle{
                {map[size_t(p.vertices_[0])], map[size_t(p.vertices_[1])], map[size_t(p.vertices_[2])]}, normal, flags});
        } else {
            GeometryQuad q{{-1, -1, -1, -1}, normal, flags};
            for (int c = 0; c < p.vertexCount_; ++c)
                q.corners[c] = map[size_t(p.vertices_[c])];
            geo.quads.push_back(q);
        }
        Group& g = groupOf(p);
        if (g.slot && g.slot->entry)
            g.slot->used = true;
        else
            needNull = true;
    }
    geo.points = std::move(welded);

    if (needNull && nullTexture) {
        shape->AddTexture(nullTexture);
        shape->NameTexture(nullTexture);
    }
    for (Slot& s : slots) {
        if (s.used) {
            // The slot's use from the look-up becomes the shape's bound use.
            shape->BoundTextures().PushBack(s.entry);
            shape->NameTexture(s.entry);
        } else {
            TextureManager::Unuse(s.entry);
        }
    }

    for (SubMesh* m : shape->SubMeshes())
        SharedVertexBuffer::Attach(m, true);
    return shape;
}

VeShape* BuildShape(trevok::ShapeChunk& chunk, const std::vector<uint32_t>* tint, const trevok::EnvironmentRecord& env,
                    uint32_t options)
{
    auto* merge = (options & ShapeBuild::kMergeTrianglePairs)
                      ? chunk.FindChildAs<trevok::MergeDataChunk>(trevok::chunk_id::kMergeData)
                      : nullptr;
    if (merge) {
        // The merge data goes from the file, so the stored polygons must be the
        // joined ones, or saving would keep neither form of the pairs.
        const std::vector<int32_t> table = merge->entries_;
        delete merge;
        trevok::ShapeData merged = chunk.Data();
        merged.MergePolygons(table);
        chunk.Update(merged);
    }
    return BuildShape(chunk.Data(), tint, env, options & ~ShapeBuild::kMergeTrianglePairs);
}
