// The k-d tree the benchmarks compare the server's side-list scans with
// (bench only): one side's objects at their aim points.
#pragma once

#include "objects/game_object.h"

#include <nanoflann.hpp>

#include <vector>

struct SideCloud {
    std::vector<GameObject*> objects;
    size_t kdtree_get_point_count() const { return objects.size(); }
    float kdtree_get_pt(size_t i, size_t dim) const
    {
        const Vec3 p = objects[i]->GetAimPoint();
        return dim == 0 ? p.x : dim == 1 ? p.y : p.z;
    }
    template <class Box>
    bool kdtree_get_bbox(Box&) const
    {
        return false;
    }
};

using Tree = nanoflann::KDTreeSingleIndexAdaptor<nanoflann::L2_Simple_Adaptor<float, SideCloud>, SideCloud, 3>;
