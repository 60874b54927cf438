#include "sample/shape_helpers.h"

#include <algorithm>
#include <cmath>

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

} // namespace sample
