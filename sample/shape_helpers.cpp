#include "sample/shape_helpers.h"

#include "chunk/chunk_file.h"
#include "chunk/environment_chunks.h"
#include "chunk/hierarchy_chunks.h"
#include "chunk/object_chunks.h"
#include "chunk/shape_chunks.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>

namespace sample {

using namespace trevok;

namespace {

ShapeNormal Normal(const ShapeData& d, const ShapePolygon& p)
{
    auto at = [&](int i) {
        const ShapePoint& q = d.points_[static_cast<size_t>(p.vertices_[i])];
        return ShapeVector{double(q.x), double(q.y), double(q.z)};
    };
    ShapeVector n = Cross(at(1) - at(0), at(2) - at(0));
    Normalise(n);
    return {float(n.x), float(n.y), float(n.z)};
}

} // namespace

ShapePolygon Polygon(int32_t type, std::initializer_list<int32_t> vertices, int32_t uvSet, int32_t texture)
{
    ShapePolygon p;
    p.type_ = type;
    for (int32_t v : vertices)
        p.vertices_[p.vertexCount_++] = v;
    p.SetTextureNumber(texture);
    p.SetUvIndex(uvSet);
    return p;
}

void FillVertexNormals(ShapeData& d)
{
    d.vertexNormals_.assign(d.points_.size(), ShapeNormal{});
    for (const auto& p : d.polygons_)
        for (int i = 0; i < p.vertexCount_; ++i) {
            auto& vn = d.vertexNormals_[static_cast<size_t>(p.vertices_[i])];
            const auto& pn = d.polygonNormals_[static_cast<size_t>(p.normalIndex_)];
            vn.x += pn.x;
            vn.y += pn.y;
            vn.z += pn.z;
        }
    for (auto& vn : d.vertexNormals_) {
        ShapeVector v{vn.x, vn.y, vn.z};
        if (!Normalise(v))
            v = {1, 0, 0};
        vn = {float(v.x), float(v.y), float(v.z)};
    }
}

void Finish(ShapeData& d)
{
    d.pointCount_ = static_cast<int32_t>(d.points_.size());
    d.polygonCount_ = static_cast<int32_t>(d.polygons_.size());
    d.uvSetCount_ = static_cast<int32_t>(d.uvSets_.size());
    d.textureNameCount_ = static_cast<int32_t>(d.textureNames_.size());
    d.polygonNormals_.clear();
    for (size_t i = 0; i < d.polygons_.size(); ++i) {
        d.polygons_[i].normalIndex_ = static_cast<int32_t>(i);
        d.polygonNormals_.push_back(Normal(d, d.polygons_[i]));
    }
    FillVertexNormals(d);
    d.maxCorner_ = d.minCorner_ = d.points_.front();
    double radius = 0;
    for (const auto& q : d.points_) {
        d.maxCorner_ = {std::max(d.maxCorner_.x, q.x), std::max(d.maxCorner_.y, q.y), std::max(d.maxCorner_.z, q.z)};
        d.minCorner_ = {std::min(d.minCorner_.x, q.x), std::min(d.minCorner_.y, q.y), std::min(d.minCorner_.z, q.z)};
        radius = std::max(radius, Length(q));
    }
    d.radius_ = float(radius);
    d.vertexFlags_.assign(d.points_.size(), 0);
}

ShapeUvSet Quad()
{
    ShapeUvSet s;
    s.count_ = 4;
    s.pairs_[0] = {0, 0};
    s.pairs_[1] = {1, 0};
    s.pairs_[2] = {1, 1};
    s.pairs_[3] = {0, 1};
    return s;
}

ShapeData Box(int32_t hx, int32_t hy, int32_t hz)
{
    // y grows downward: the top is at -2 hy. Faces are wound so that, seen
    // from outside, they face their normals.
    ShapeData d;
    for (int i = 0; i < 8; ++i)
        d.points_.push_back({i & 1 ? hx : -hx, i & 2 ? -2 * hy : 0, i & 4 ? hz : -hz});
    const int32_t faces[6][4] = {{1, 3, 2, 0}, {6, 7, 5, 4}, {4, 5, 1, 0}, {3, 7, 6, 2}, {2, 6, 4, 0}, {5, 7, 3, 1}};
    const ShapeNormal normals[6] = {{0, 0, -1}, {0, 0, 1}, {0, 1, 0}, {0, -1, 0}, {-1, 0, 0}, {1, 0, 0}};
    for (int f = 0; f < 6; ++f) {
        ShapePolygon p;
        p.type_ = 20;
        p.normalIndex_ = f;
        p.vertexCount_ = 4;
        for (int i = 0; i < 4; ++i)
            p.vertices_[i] = faces[f][i];
        d.polygons_.push_back(p);
        d.polygonNormals_.push_back(normals[f]);
    }
    FillVertexNormals(d);
    ShapeUvSet uv;
    uv.count_ = 4;
    uv.pairs_[1] = {1, 0};
    uv.pairs_[2] = {1, 1};
    uv.pairs_[3] = {0, 1};
    d.uvSets_ = {uv};
    d.textureNames_ = {"robot_metal.bmp"};
    d.pointCount_ = 8;
    d.polygonCount_ = 6;
    d.uvSetCount_ = 1;
    d.textureNameCount_ = 1;
    d.maxCorner_ = {hx, 0, hz};
    d.minCorner_ = {-hx, -2 * hy, -hz};
    d.radius_ = static_cast<float>(std::sqrt(double(hx) * hx + 4.0 * hy * hy + double(hz) * hz));
    return d;
}

ShapeData RingSegment(const RingPiece& p)
{
    ShapeData d;
    d.points_ = {{-p.innerHalf, -p.inner, 0}, {p.innerHalf, -p.inner, 0}, {p.outerHalf, -p.outer, 0},
                 {-p.outerHalf, -p.outer, 0}};
    d.uvSets_ = {Quad()};
    d.textureNames_ = {"plates.bmp"};
    d.polygons_.push_back(Polygon(20, {0, 1, 2, 3}, 0, 0));
    Finish(d);
    return d;
}

ShapeChunk* AddPart(ChunkFile* file, const char* name, const ShapeData& shape, int32_t x, int32_t up, int32_t z)
{
    auto* s = new ShapeChunk(file, shape);
    s->SetName(name);
    ObjectHeader h;
    h.name_ = name;
    h.position_[0] = x;
    h.position_[1] = -up;
    h.position_[2] = z;
    h.orientation_[3] = 1;
    auto* object = new ObjectChunk(file, h);
    object->LinkShape(s);
    return s;
}


HierarchyChunk* AddNode(ParentChunk* parent, const char* object)
{
    auto* node = new HierarchyChunk(parent);
    new HierarchyDataChunk(node, object);
    return node;
}

std::unique_ptr<ChunkFile> NewModelFile(const char* fileName)
{
    RegisterModelChunkFamilies();
    auto file = ChunkFile::CreateEmpty();
    auto* env = new EnvironmentChunk(file.get());
    new FileNameChunk(env, fileName);
    return file;
}

bool SaveModelFile(const Context& ctx, const char* fileName, ChunkFile& file)
{
    const auto dir = ctx.out / "rifs";
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    if (!file.Save(dir / fileName)) {
        std::fprintf(stderr, "sample_gen: cannot write %s\n", (dir / fileName).c_str());
        return false;
    }
    return true;
}

} // namespace sample
