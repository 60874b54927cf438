// An exact reference for the shadow edge tests: CGAL's halfedge mesh finds
// the edges between two faces that are not coplanar, and which of them a sun
// makes silhouettes, with exact predicates and no position hashing of ours.
#pragma once

#ifdef TREVOK_HAVE_CGAL

#include "app/maths.h"

#include <CGAL/Exact_predicates_inexact_constructions_kernel.h>
#include <CGAL/Surface_mesh.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <set>
#include <vector>

namespace shadowtest {

// Polygons of any corner count over shared points; every face one way round.
struct OracleMesh {
    std::vector<std::array<double, 3>> points;
    std::vector<std::vector<uint32_t>> faces;
};

class CgalEdges {
public:
    using Kernel = CGAL::Exact_predicates_inexact_constructions_kernel;
    using Point = Kernel::Point_3;
    using Surface = CGAL::Surface_mesh<Point>;

    // False from Valid() when a face could not join the mesh (not manifold).
    explicit CgalEdges(const OracleMesh& m)
    {
        std::vector<Surface::Vertex_index> v;
        v.reserve(m.points.size());
        for (const auto& p : m.points)
            v.push_back(mesh_.add_vertex(Point(p[0], p[1], p[2])));
        for (const auto& f : m.faces) {
            std::vector<Surface::Vertex_index> corners;
            for (uint32_t i : f)
                corners.push_back(v[i]);
            if (mesh_.add_face(corners) == Surface::null_face())
                valid_ = false;
        }
    }
    bool Valid() const { return valid_; }

    // Inner edges whose two faces do not lie in one plane.
    size_t Creases() const
    {
        size_t count = 0;
        for (auto e : mesh_.edges())
            if (IsCrease(e))
                ++count;
        return count;
    }

    // An edge by its two ends, the smaller first.
    using Ends = std::array<std::array<double, 3>, 2>;

    // Creases whose two faces take the sun from opposite sides; a face edge-on
    // to the sun counts with the lit ones.
    std::set<Ends> Silhouettes(const Vec3& sun) const
    {
        std::set<Ends> out;
        for (auto e : mesh_.edges()) {
            if (!IsCrease(e))
                continue;
            const auto h = mesh_.halfedge(e);
            if (Lit(mesh_.face(h), sun) == Lit(mesh_.face(mesh_.opposite(h)), sun))
                continue;
            auto at = [&](Surface::Vertex_index v) {
                const Point& p = mesh_.point(v);
                return std::array<double, 3>{p.x(), p.y(), p.z()};
            };
            out.insert(MakeEnds(at(mesh_.source(h)), at(mesh_.target(h))));
        }
        return out;
    }

    static Ends MakeEnds(const std::array<double, 3>& a, const std::array<double, 3>& b)
    {
        return a < b ? Ends{a, b} : Ends{b, a};
    }

private:
    bool IsCrease(Surface::Edge_index e) const
    {
        if (mesh_.is_border(e))
            return false;
        const auto h = mesh_.halfedge(e);
        auto at = [&](Surface::Halfedge_index x) { return mesh_.point(mesh_.target(x)); };
        return CGAL::orientation(at(h), at(mesh_.opposite(h)), at(mesh_.next(h)),
                                 at(mesh_.next(mesh_.opposite(h)))) != CGAL::COPLANAR;
    }

    // The sign of the sun against the face's winding normal: the orientation
    // of the face's first three corners and the first corner moved along the sun.
    bool Lit(Surface::Face_index f, const Vec3& sun) const
    {
        const auto h = mesh_.halfedge(f);
        const Point& p = mesh_.point(mesh_.source(h));
        const Point& q = mesh_.point(mesh_.target(h));
        const Point& r = mesh_.point(mesh_.target(mesh_.next(h)));
        const Point s(p.x() + double(sun.x), p.y() + double(sun.y), p.z() + double(sun.z));
        return CGAL::orientation(p, q, r, s) != CGAL::NEGATIVE;
    }

    Surface mesh_;
    bool valid_ = true;
};

} // namespace shadowtest

#endif
