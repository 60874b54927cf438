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

namespace {

// One build: the inputs, the texture slots and groups, and the shape made.
class Builder {
public:
    Builder(const ShapeData& data, const std::vector<uint32_t>* tint, const trevok::EnvironmentRecord& env)
        : data_(data), tint_(tint), env_(env), scale_(env.scale_), nullTexture_(Display::NullTexture()),
          buckets_(HashBuckets(data.points_.size()))
    {
    }

    VeShape* Build()
    {
        TakeTextureSlots();
        shape_ = new VeShape;
        shape_->geometry_ = std::make_unique<ShapeGeometry>();
        SetBounds();
        MakeGroups();
        CountTriangles();
        AllocateSubMeshes();
        FillGroups();
        Distribute();
        KeepWeldedGeometry();
        SettleTextures();
        for (SubMesh* m : shape_->SubMeshes())
            SharedVertexBuffer::Attach(m, true);
        return shape_;
    }

private:
    // Each slot holds one use of its entry until SettleTextures decides on it.
    void TakeTextureSlots()
    {
        slots_.resize(env_.hasTextureTable_ ? env_.textures_.size() : 1);
        if (!env_.hasTextureTable_) {
            slots_[0].entry = nullTexture_;
            TextureManager::Use(nullTexture_);
            if (nullTexture_ && nullTexture_->Width() && nullTexture_->Height()) {
                slots_[0].width = float(nullTexture_->Width());
                slots_[0].height = float(nullTexture_->Height());
            }
            return;
        }
        for (size_t i = 0; i < slots_.size(); ++i) {
            const trevok::EnvironmentTexture& t = env_.textures_[i];
            if (t.name_.empty()) {
                slots_[i].entry = nullTexture_;
                TextureManager::Use(nullTexture_);
            } else {
                slots_[i].entry = TextureManager::Find(t.name_);
                if (t.width_ && t.height_)
                    slots_[i].entry->SetSize(t.width_, t.height_);
            }
            // A zero size in the table would make every coordinate infinite.
            slots_[i].width = t.width_ ? float(t.width_) : 1.0f;
            slots_[i].height = t.height_ ? float(t.height_) : 1.0f;
        }
    }

    void SetBounds()
    {
        VeShape& s = *shape_;
        s.max_ = Scaled(data_.maxCorner_, scale_);
        s.min_ = Scaled(data_.minCorner_, scale_);
        if (data_.centreRadius_ <= 0) {
            const Vec3 d(s.max_.x - s.min_.x, s.max_.y - s.min_.y, s.max_.z - s.min_.z);
            s.sphereRadius_ = 0.5f * std::sqrt(d.x * d.x + d.y * d.y + d.z * d.z);
            s.sphereCentre_ =
                Vec3((s.max_.x + s.min_.x) * 0.5f, (s.max_.y + s.min_.y) * 0.5f, (s.max_.z + s.min_.z) * 0.5f);
        } else {
            s.sphereCentre_ = Scaled(data_.centre_, scale_);
            s.sphereRadius_ = data_.centreRadius_ * scale_;
        }
        s.flags_ |= VeShape::kSkipBoxTest;
    }

    // One group per slot plus the untextured group last.
    void MakeGroups()
    {
        groups_.resize(slots_.size() + 1);
        for (size_t i = 0; i < slots_.size(); ++i) {
            groups_[i].slot = &slots_[i];
            groups_[i].texture = slots_[i].entry;
        }
        groups_.back().texture = nullTexture_;
    }

    // A texture number past the slots draws untextured rather than reading past them.
    Group& GroupOf(const ShapePolygon& p)
    {
        if (p.IsTextured() && size_t(p.GetTextureNumber()) < slots_.size())
            return groups_[size_t(p.GetTextureNumber())];
        return groups_.back();
    }

    void CountTriangles()
    {
        const auto& polygons = data_.polygons_;
        for (size_t i = polygons.size(); i-- > 0;)
            if (Drawn(data_, polygons[i]))
                GroupOf(polygons[i]).triangles += polygons[i].vertexCount_ == 3 ? 1 : 2;
    }

    void AllocateSubMeshes()
    {
        for (size_t gi = groups_.size(); gi-- > 0;) {
            Group& g = groups_[gi];
            const uint32_t meshes =
                (3 * g.triangles + (ShapeBuild::kSubMeshVertexLimit - 1)) / ShapeBuild::kSubMeshVertexLimit;
            for (uint32_t k = 0; k < meshes; ++k)
                NewSubMesh(*shape_, g);
            g.vertices.reserve(size_t(3) * g.triangles);
            // Only groups with triangles weld: a large texture table must not
            // cost a hash table per empty slot.
            if (g.triangles)
                g.hash.assign(buckets_, {});
        }
    }

    Vertex CornerVertex(const ShapePolygon& p, int corner, const Group& g, const trevok::ShapeUvSet* uv) const
    {
        const size_t point = size_t(p.vertices_[corner]);
        const Vec3 pos = Scaled(data_.points_[point], scale_);
        const trevok::ShapeNormal n =
            point < data_.vertexNormals_.size() ? data_.vertexNormals_[point] : trevok::ShapeNormal{};
        const uint32_t colour = tint_ && point < tint_->size() ? ((*tint_)[point] | 0xFF000000u) : 0xFFFFFFFFu;
        float u = 0, v = 0;
        if (uv) {
            u = uv->pairs_[corner].u / g.slot->width;
            v = uv->pairs_[corner].v / g.slot->height;
        }
        return Vertex{pos.x, pos.y, pos.z, n.x, n.y, n.z, colour, u, v};
    }

    void FillGroups()
    {
        const uint32_t mask = buckets_ - 1;
        const auto& polygons = data_.polygons_;
        for (size_t i = polygons.size(); i-- > 0;) {
            const ShapePolygon& p = polygons[i];
            if (!Drawn(data_, p))
                continue;
            Group& g = GroupOf(p);
            const trevok::ShapeUvSet* uv = nullptr;
            if (g.slot) {
                const int32_t set = p.GetUvIndex();
                if (set >= 0 && size_t(set) < data_.uvSets_.size())
                    uv = &data_.uvSets_[size_t(set)];
            }
            int corners[2][3];
            const int count = TriangleCorners(p, corners);
            for (int t = 0; t < count; ++t) {
                const Vertex v[3] = {CornerVertex(p, corners[t][0], g, uv), CornerVertex(p, corners[t][1], g, uv),
                                     CornerVertex(p, corners[t][2], g, uv)};
                // A triangle that does not fit goes whole into the next sub-mesh; the
                // polygon's earlier triangles stay where they are, so none is drawn twice.
                if (!AddTriangle(g, v, mask)) {
                    NextSubMesh(*shape_, g);
                    AddTriangle(g, v, mask);
                }
            }
        }
    }

    // Each sub-mesh takes its run of the group's vertices; empty ones go.
    void Distribute()
    {
        for (Group& g : groups_) {
            size_t at = 0;
            for (SubMesh* m : g.meshes) {
                if (m->vertexCount == 0) {
                    shape_->SubMeshes().Remove(m);
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
    }

    // The distinct scaled points; `map` takes each shape point to its welded one.
    std::vector<Vec3> WeldPoints(std::vector<int32_t>& map) const
    {
        const uint32_t mask = buckets_ - 1;
        std::vector<Vec3> welded;
        welded.reserve(data_.points_.size());
        map.assign(data_.points_.size(), -1);
        std::vector<std::vector<uint32_t>> hash(buckets_);
        for (size_t i = data_.points_.size(); i-- > 0;) {
            const Vec3 q = Scaled(data_.points_[i], scale_);
            auto& b = hash[(PointBits(q.x) ^ PointBits(q.y) ^ PointBits(q.z)) & mask];
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
        return welded;
    }

    // Every polygon, drawn or not, for collision and picking; also marks the
    // textures the polygons use.
    void KeepWeldedGeometry()
    {
        ShapeGeometry& geo = *shape_->geometry_;
        std::vector<int32_t> map;
        std::vector<Vec3> welded = WeldPoints(map);
        for (size_t i = data_.polygons_.size(); i-- > 0;) {
            const ShapePolygon& p = data_.polygons_[i];
            if (!PolygonUsable(data_, p))
                continue;
            const trevok::ShapeNormal pn =
                i < data_.polygonNormals_.size() ? data_.polygonNormals_[i] : trevok::ShapeNormal{};
            const Vec3 normal(pn.x, pn.y, pn.z);
            const int32_t flags = p.flags_ & ShapeBuild::kGeometryFlagMask;
            if (p.vertexCount_ == 3) {
                geo.triangles.push_back(GeometryTriangle{
                    {map[size_t(p.vertices_[0])], map[size_t(p.vertices_[1])], map[size_t(p.vertices_[2])]}, normal,
                    flags});
            } else {
                GeometryQuad q{{-1, -1, -1, -1}, normal, flags};
                for (int c = 0; c < p.vertexCount_; ++c)
                    q.corners[c] = map[size_t(p.vertices_[c])];
                geo.quads.push_back(q);
            }
            Group& g = GroupOf(p);
            if (g.slot && g.slot->entry)
                g.slot->used = true;
            else
                needNull_ = true;
        }
        geo.points = std::move(welded);
    }

    // Used slots become the shape's bound and named textures; the others give
    // back the use their look-up took.
    void SettleTextures()
    {
        if (needNull_ && nullTexture_) {
            shape_->AddTexture(nullTexture_);
            shape_->NameTexture(nullTexture_);
        }
        for (Slot& s : slots_) {
            if (s.used) {
                shape_->BoundTextures().PushBack(s.entry);
                shape_->NameTexture(s.entry);
            } else {
                TextureManager::Unuse(s.entry);
            }
        }
    }

    const ShapeData& data_;
    const std::vector<uint32_t>* tint_;
    const trevok::EnvironmentRecord& env_;
    const float scale_;
    TextureEntry* const nullTexture_;
    const uint32_t buckets_;
    std::vector<Slot> slots_;
    std::vector<Group> groups_;
    bool needNull_ = false;
    VeShape* shape_ = nullptr;
};

} // namespace

VeShape* BuildShape(ShapeData& data, const std::vector<uint32_t>* tint, const trevok::EnvironmentRecord& env,
                    uint32_t options, const std::vector<int32_t>* mergeTable)
{
    // Joined before anything is built, so the draw meshes and the kept geometry
    // show the same polygons, and a second build of the merged data matches.
    if ((options & ShapeBuild::kMergeTrianglePairs) && mergeTable)
        data.MergePolygons(*mergeTable);
    return Builder(data, tint, env).Build();
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
        const std::vector<int32_t> table = merge->Records();
        delete merge;
        trevok::ShapeData merged = chunk.Data();
        merged.MergePolygons(table);
        chunk.Update(merged);
    }
    return BuildShape(chunk.Data(), tint, env, options & ~ShapeBuild::kMergeTrianglePairs);
}
