// One polygon shape as the shape chunks store it: integer points, normals,
// polygons of three or four vertices, texture-coordinate sets, texture names and
// per-vertex flags. Shape chunks fill it on reading; the shape builder reads it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace trevok {

struct ShapePoint {
    int32_t x = 0, y = 0, z = 0;
    bool operator==(const ShapePoint&) const = default;
};

struct ShapeNormal {
    float x = 0, y = 0, z = 0;
    bool operator==(const ShapeNormal&) const = default;
};

struct ShapeVector {
    double x = 0, y = 0, z = 0;
};

inline constexpr int kMaxPolygonVertices = 4;

struct ShapePolygon {
    int32_t type_ = 0;
    int32_t normalIndex_ = 0;
    int32_t flags_ = 0;
    int32_t textureWord_ = 0;
    int32_t vertexCount_ = 0;
    int32_t vertices_[kMaxPolygonVertices] = {};

    bool IsTextured() const { return (type_ >= 5 && type_ <= 7) || (type_ >= 20 && type_ <= 24); }
    int32_t GetTextureNumber() const { return textureWord_ & 0xFFF; }
    void SetTextureNumber(int32_t n);
    int32_t GetUvIndex() const;
    void SetUvIndex(int32_t index);
    bool operator==(const ShapePolygon&) const = default;
};

struct ShapeUv {
    float u = 0, v = 0;
    bool operator==(const ShapeUv&) const = default;
};

struct ShapeUvSet {
    int32_t count_ = 0;
    ShapeUv pairs_[kMaxPolygonVertices] = {};
    bool operator==(const ShapeUvSet&) const = default;
};

// An empty array stands for an absent one. The counts are kept apart from the
// arrays because the format lets them disagree (a vertex-flag chunk sets the point
// count without points): a reader indexes an array only below its own size.
struct ShapeData {
    float radius_ = 0;
    ShapePoint maxCorner_;
    ShapePoint minCorner_;
    ShapePoint centre_;
    float centreRadius_ = 0;
    int32_t pointCount_ = 0;
    std::vector<ShapePoint> points_;
    std::vector<ShapeNormal> vertexNormals_;
    int32_t polygonCount_ = 0;
    std::vector<ShapePolygon> polygons_;
    std::vector<ShapeNormal> polygonNormals_;
    int32_t uvSetCount_ = 0;
    std::vector<ShapeUvSet> uvSets_;
    int32_t textureNameCount_ = 0;
    std::vector<std::string> textureNames_;
    std::vector<int32_t> vertexFlags_;
    int32_t shapeFlags_ = 0;

    void Clear();
    void FreeArrays();
    void Scale(double factor);
    // Joins triangle pairs named by the merge table (one entry per polygon) into quads.
    void MergePolygons(const std::vector<int32_t>& mergeTable);
    // Centre from the corners, centre radius from the points.
    void ComputeCentre();
    // True when every polygon's vertex indices name existing points, every polygon's
    // normal index names an existing normal and every uv index an existing set.
    bool IndicesValid() const;
};

ShapeVector operator+(const ShapeVector& a, const ShapeVector& b);
ShapeVector operator-(const ShapeVector& a, const ShapeVector& b);
ShapeVector operator*(const ShapeVector& a, double s);
ShapeVector operator/(const ShapeVector& a, double s);
ShapeVector Cross(const ShapeVector& a, const ShapeVector& b);
double Dot(const ShapeVector& a, const ShapeVector& b);
double Length(const ShapeVector& a);
bool Normalise(ShapeVector& a);
ShapePoint ToPoint(const ShapeVector& a);

ShapePoint operator+(const ShapePoint& a, const ShapePoint& b);
ShapePoint operator-(const ShapePoint& a, const ShapePoint& b);
ShapePoint operator*(const ShapePoint& a, double s);
ShapePoint operator/(const ShapePoint& a, double s);
double Length(const ShapePoint& a);
// Scales to length 65536; false for a zero vector.
bool NormaliseFixed(ShapePoint& a);

} // namespace trevok
