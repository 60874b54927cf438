// Small closed and open meshes for the shadow tests, as triangle lists and as
// engine shapes, and a caster standing in for a client object.
#pragma once

#include "Veapi/ve_object.h"
#include "Veapi/ve_shape.h"
#include "effects/shadows.h"
#include "app/maths.h"

#include <array>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace shadowtest {

struct Mesh {
    std::vector<Vec3> points;
    std::vector<std::array<uint16_t, 3>> triangles;
};

// A box, every face wound the same way seen from outside.
inline Mesh Box(const Vec3& lo, const Vec3& hi)
{
    Mesh m;
    for (int i = 0; i < 8; ++i)
        m.points.push_back({(i & 1) ? hi.x : lo.x, (i & 2) ? hi.y : lo.y, (i & 4) ? hi.z : lo.z});
    const uint16_t quads[6][4] = {{0, 2, 3, 1}, {4, 5, 7, 6}, {0, 1, 5, 4}, {2, 6, 7, 3}, {0, 4, 6, 2}, {1, 3, 7, 5}};
    for (const auto& q : quads) {
        m.triangles.push_back({q[0], q[1], q[2]});
        m.triangles.push_back({q[0], q[2], q[3]});
    }
    return m;
}

inline Mesh Cube(float size = 1.0f)
{
    return Box({0, 0, 0}, {size, size, size});
}

inline Mesh FlatQuad()
{
    return {{{0, 0, 0}, {1, 0, 0}, {1, 0, 1}, {0, 0, 1}}, {{0, 1, 2}, {0, 2, 3}}};
}

// One sub-mesh; the position leads each vertex, the rest stays zero.
inline VeShape* ShapeOf(const Mesh& m, uint32_t format = gfx::kFvfXyz)
{
    VeShape* shape = new VeShape;
    SubMesh* sub = shape->AddSubMesh(uint32_t(m.points.size()), uint32_t(m.triangles.size() * 3), format, false);
    for (size_t i = 0; i < m.points.size(); ++i)
        std::memcpy(sub->Vertex(uint32_t(i)), &m.points[i], 12);
    for (size_t i = 0; i < m.triangles.size(); ++i)
        for (size_t k = 0; k < 3; ++k)
            sub->indices[i * 3 + k] = m.triangles[i][k];
    return shape;
}

class TestCaster : public ShadowCaster {
public:
    explicit TestCaster(std::vector<std::string> parts, Hierarchy* shadow = nullptr) : shadow_(shadow)
    {
        root_ = std::make_unique<ShapeInstance>();
        for (const std::string& name : parts) {
            auto* node = new ShapeInstance;
            node->name_ = name;
            root_->AppendChild(node);
        }
    }
    ~TestCaster() override { Shadows::RemoveCaster(this); }
    ShapeInstance* ShapeRoot() override { return root_.get(); }
    Hierarchy* ShadowHierarchy() override { return shadow_; }
    bool Visible() const override { return true; }
    Vec3 Position() const override { return {0, 0, 0}; }
    float Heading() const override { return 0; }
    float FloorHeight() const override { return floor_; }

    std::unique_ptr<ShapeInstance> root_;
    Hierarchy* shadow_;
    float floor_ = 2;
};

} // namespace shadowtest
