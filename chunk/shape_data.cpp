#include "chunk/shape_data.h"

#include "chunk/chunk.h"

#include <cmath>
#include <limits>

namespace trevok {
namespace {

int PositionOf(const ShapePolygon& p, int32_t vertex)
{
    for (int i = 0; i < 3; ++i)
        if (p.vertices_[i] == vertex)
            return i;
    return -1;
}

const ShapeUv* UvOf(const std::vector<ShapeUvSet>& sets, const ShapePolygon& p, int pos)
{
    int32_t index = p.GetUvIndex();
    if (index < 0 || static_cast<size_t>(index) >= sets.size())
        return nullptr;
    return &sets[static_cast<size_t>(index)].pairs_[pos];
}

// Joins triangles a and b into a quad written to `out`; false when they cannot be joined.
bool JoinTriangles(const ShapePolygon& a, const ShapePolygon& b, std::vector<ShapeUvSet>& sets, ShapePolygon& out)
{
    if (a.vertexCount_ != 3 || b.vertexCount_ != 3)
        return false;
    if (a.type_ != b.type_ || a.flags_ != b.flags_)
        return false;
    bool textured = a.IsTextured();
    if (textured ? a.GetTextureNumber() != b.GetTextureNumber() : a.textureWord_ != b.textureWord_)
        return false;
    out = a;
    out.vertexCount_ = 4;
    ShapeUv walked[4];
    const ShapePolygon* cur = &a;
    int pos = 0;
    for (int n = 0; n < 4; ++n) {
        int32_t v = cur->vertices_[pos];
        out.vertices_[n] = v;
        const ShapePolygon* other = cur == &a ? &b : &a;
        int q = PositionOf(*other, v);
        if (textured) {
            const ShapeUv* mine = UvOf(sets, *cur, pos);
            if (!mine)
                return false;
            if (q >= 0) {
                const ShapeUv* theirs = UvOf(sets, *other, q);
                if (!theirs || !(*mine == *theirs))
                    return false;
            }
            walked[n] = *mine;
        }
        if (q >= 0 && PositionOf(*other, cur->vertices_[(pos + 1) % 3]) >= 0) {
            cur = other;
            pos = (q + 1) % 3;
        } else {
            pos = (pos + 1) % 3;
        }
    }
    // A walk that comes back to its start found no shared edge: nothing is joined
    // and the texture coordinates stay as they are.
    if (out.vertices_[3] == out.vertices_[0])
        return false;
    if (textured) {
        ShapeUvSet& target = sets[static_cast<size_t>(a.GetUvIndex())];
        target.count_ = 4;
        for (int n = 0; n < 4; ++n)
            target.pairs_[n] = walked[n];
    }
    return true;
}

} // namespace

void ShapePolygon::SetTextureNumber(int32_t n)
{
    textureWord_ = static_cast<int32_t>((static_cast<uint32_t>(textureWord_) & 0xFFFFF000u) |
                                        (static_cast<uint32_t>(n) & 0xFFFu));
}

int32_t ShapePolygon::GetUvIndex() const
{
    uint32_t w = static_cast<uint32_t>(textureWord_);
    uint32_t index = w >> 16;
    if (w & 0xF000u)
        index |= (w & 0xF000u) << 4;
    return static_cast<int32_t>(index);
}

void ShapePolygon::SetUvIndex(int32_t index)
{
    uint32_t i = static_cast<uint32_t>(index);
    uint32_t w = (static_cast<uint32_t>(textureWord_) & 0xFFFu) | (i << 16);
    if (i > 0xFFFF)
        w += (i >> 4) & 0xFFFF000u;
    textureWord_ = static_cast<int32_t>(w);
}

void ShapeData::Clear()
{
    pointCount_ = polygonCount_ = uvSetCount_ = textureNameCount_ = 0;
    shapeFlags_ = 0;
    centreRadius_ = 0;
    FreeArrays();
}

void ShapeData::FreeArrays()
{
    points_.clear();
    vertexNormals_.clear();
    polygonNormals_.clear();
    polygons_.clear();
    vertexFlags_.clear();
    uvSets_.clear();
    textureNames_.clear();
}

void ShapeData::Scale(double factor)
{
    for (auto& p : points_)
        p = p * factor;
    maxCorner_ = maxCorner_ * factor;
    minCorner_ = minCorner_ * factor;
    centre_ = centre_ * factor;
    radius_ = static_cast<float>(radius_ * factor);
    centreRadius_ = static_cast<float>(centreRadius_ * factor);
}

void ShapeData::ComputeCentre()
{
    centre_.x = TruncateToInt32((static_cast<double>(maxCorner_.x) + minCorner_.x) / 2);
    centre_.y = TruncateToInt32((static_cast<double>(maxCorner_.y) + minCorner_.y) / 2);
    centre_.z = TruncateToInt32((static_cast<double>(maxCorner_.z) + minCorner_.z) / 2);
    double best = 0;
    for (const auto& p : points_) {
        double dx = static_cast<double>(p.x) - centre_.x, dy = static_cast<double>(p.y) - centre_.y,
               dz = static_cast<double>(p.z) - centre_.z;
        best = std::max(best, std::sqrt(dx * dx + dy * dy + dz * dz));
    }
    centreRadius_ = static_cast<float>(best);
}

void ShapeData::MergePolygons(const std::vector<int32_t>& mergeTable)
{
    const size_t count = polygons_.size();
    std::vector<ShapePolygon> polygons;
    std::vector<ShapeNormal> normals;
    polygons.reserve(count);
    normals.reserve(count);
    auto normalOf = [&](size_t i) {
        size_t n = static_cast<size_t>(polygons_[i].normalIndex_);
        if (polygons_[i].normalIndex_ >= 0 && n < polygonNormals_.size())
            return polygonNormals_[n];
        return i < polygonNormals_.size() ? polygonNormals_[i] : ShapeNormal{};
    };
    auto emit = [&](const ShapePolygon& p, ShapeNormal n) {
        polygons.push_back(p);
        polygons.back().normalIndex_ = static_cast<int32_t>(polygons.size() - 1);
        normals.push_back(n);
    };
    // Each polygon is emitted exactly once: joined with its partner when both are
    // still free and the join succeeds, on its own otherwise.
    std::vector<bool> done(count, false);
    for (size_t i = 0; i < count; ++i) {
        if (done[i])
            continue;
        done[i] = true;
        int64_t m = i < mergeTable.size() ? mergeTable[i] : -1;
        if (m < 0 || m >= static_cast<int64_t>(count) || static_cast<size_t>(m) == i || done[static_cast<size_t>(m)]) {
            emit(polygons_[i], normalOf(i));
            continue;
        }
        const size_t j = static_cast<size_t>(m);
        ShapePolygon joined;
        if (JoinTriangles(polygons_[i], polygons_[j], uvSets_, joined)) {
            done[j] = true;
            emit(joined, normalOf(i));
        } else {
            emit(polygons_[i], normalOf(i));
        }
    }
    bool hadNormals = !polygonNormals_.empty();
    polygons_ = std::move(polygons);
    polygonNormals_ = hadNormals ? std::move(normals) : std::vector<ShapeNormal>{};
    polygonCount_ = static_cast<int32_t>(polygons_.size());
}

bool ShapeData::IndicesValid() const
{
    for (const auto& p : polygons_) {
        if (p.vertexCount_ < 0 || p.vertexCount_ > kMaxPolygonVertices)
            return false;
        for (int i = 0; i < p.vertexCount_; ++i)
            if (p.vertices_[i] < 0 || static_cast<size_t>(p.vertices_[i]) >= points_.size())
                return false;
        if (!polygonNormals_.empty() &&
            (p.normalIndex_ < 0 || static_cast<size_t>(p.normalIndex_) >= polygonNormals_.size()))
            return false;
        if (p.IsTextured() && static_cast<size_t>(p.GetUvIndex()) >= uvSets_.size())
            return false;
    }
    for (const auto& s : uvSets_)
        if (s.count_ < 0 || s.count_ > kMaxPolygonVertices)
            return false;
    return true;
}

ShapeVector operator+(const ShapeVector& a, const ShapeVector& b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
ShapeVector operator-(const ShapeVector& a, const ShapeVector& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
ShapeVector operator*(const ShapeVector& a, double s) { return {a.x * s, a.y * s, a.z * s}; }
ShapeVector operator/(const ShapeVector& a, double s) { return {a.x / s, a.y / s, a.z / s}; }
ShapeVector Cross(const ShapeVector& a, const ShapeVector& b)
{
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
double Dot(const ShapeVector& a, const ShapeVector& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
double Length(const ShapeVector& a) { return std::sqrt(Dot(a, a)); }
bool Normalise(ShapeVector& a)
{
    double l = Length(a);
    if (l == 0)
        return false;
    a = a / l;
    return true;
}
ShapePoint ToPoint(const ShapeVector& a) { return {TruncateToInt32(a.x), TruncateToInt32(a.y), TruncateToInt32(a.z)}; }

ShapePoint operator+(const ShapePoint& a, const ShapePoint& b)
{
    return {static_cast<int32_t>(static_cast<uint32_t>(a.x) + static_cast<uint32_t>(b.x)),
            static_cast<int32_t>(static_cast<uint32_t>(a.y) + static_cast<uint32_t>(b.y)),
            static_cast<int32_t>(static_cast<uint32_t>(a.z) + static_cast<uint32_t>(b.z))};
}
ShapePoint operator-(const ShapePoint& a, const ShapePoint& b)
{
    return {static_cast<int32_t>(static_cast<uint32_t>(a.x) - static_cast<uint32_t>(b.x)),
            static_cast<int32_t>(static_cast<uint32_t>(a.y) - static_cast<uint32_t>(b.y)),
            static_cast<int32_t>(static_cast<uint32_t>(a.z) - static_cast<uint32_t>(b.z))};
}
ShapePoint operator*(const ShapePoint& a, double s) { return {TruncateToInt32(a.x * s), TruncateToInt32(a.y * s), TruncateToInt32(a.z * s)}; }
ShapePoint operator/(const ShapePoint& a, double s) { return {TruncateToInt32(a.x / s), TruncateToInt32(a.y / s), TruncateToInt32(a.z / s)}; }
double Length(const ShapePoint& a)
{
    double x = a.x, y = a.y, z = a.z;
    return std::sqrt(x * x + y * y + z * z);
}
bool NormaliseFixed(ShapePoint& a)
{
    double l = Length(a);
    if (l == 0)
        return false;
    double d = l / 65536.0;
    a = {TruncateToInt32(a.x / d), TruncateToInt32(a.y / d), TruncateToInt32(a.z / d)};
    return true;
}

} // namespace trevok
