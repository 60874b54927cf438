#include "world/line_of_sight.h"

#include "Veapi/bounding_box.h"
#include "Veapi/ve_object.h"
#include "Veapi/ve_shape.h"
#include "world/collision_query.h"
#include "world/level.h"

#include <cmath>
#include <cstring>
#include <limits>

bool LineOfSight(Level& level, const Vec3& from, const Vec3& to, Vec3* out)
{
    ShapeInstance* tree = level.ShapeTree();
    if (!tree)
        return true;
    const Vec3 d = to - from;
    CollisionHit hit;
    if (!CollideSegmentWithShapeTree(hit, *tree, from, d))
        return true;
    if (out)
        *out = from + d * hit.fraction;
    return false;
}

bool LineOfSight(const Vec3& from, const Vec3& to, Vec3* out)
{
    Level* level = Level::Current();
    if (!level)
        return true;
    level->lock_.Lock(false);
    const bool clear = LineOfSight(*level, from, to, out);
    level->lock_.Unlock(false);
    return clear;
}

namespace {

// Boxes every node by the vertices below it: pieces cut by triangle
// centroids reach past their cut planes. False for a node with nothing.
bool FitBoxes(ShapeInstance& node, Vec3& low, Vec3& high)
{
    // Made once here, so queries from both threads only read the matrix.
    node.local_.Matrix();
    bool any = false;
    const auto widen = [&](const Vec3& lo, const Vec3& hi) {
        if (!any) {
            low = lo;
            high = hi;
            any = true;
            return;
        }
        low = {std::fmin(low.x, lo.x), std::fmin(low.y, lo.y), std::fmin(low.z, lo.z)};
        high = {std::fmax(high.x, hi.x), std::fmax(high.y, hi.y), std::fmax(high.z, hi.z)};
    };
    if (VeShape* shape = node.slots_[0]) {
        for (SubMesh* mesh : shape->SubMeshes()) {
            const size_t stride = mesh->Stride();
            for (size_t i = 0; stride >= sizeof(Vec3) && (i + 1) * stride <= mesh->vertices.size(); ++i) {
                Vec3 q{0, 0, 0};
                std::memcpy(&q, mesh->vertices.data() + i * stride, sizeof(Vec3));
                widen(q, q);
            }
        }
        if (any) {
            shape->min_ = low;
            shape->max_ = high;
            shape->flags_ &= ~VeShape::kSkipBoxTest; // the query tests the box, not the sphere
        }
    }
    for (ShapeInstance* child : node.children_) {
        Vec3 lo{0, 0, 0}, hi{0, 0, 0};
        if (FitBoxes(*child, lo, hi))
            widen(lo, hi);
    }
    if (any)
        node.box_ = std::make_unique<BoundingBox>(low.x, low.y, low.z, high.x, high.y, high.z);
    else
        node.box_.reset();
    return any;
}

} // namespace

std::unique_ptr<ShapeInstance> BuildQueryTree(const VeShape& shape, uint32_t limit)
{
    auto* copy = new VeShape;
    Shape::CopyTrianglesInBox(shape, *copy, 0, -std::numeric_limits<float>::infinity(), true);
    copy->min_ = shape.min_;
    copy->max_ = shape.max_;
    std::unique_ptr<ShapeInstance> root(ShapeInstance::FromShape(copy, true));
    copy->Release(); // the node holds it
    Shape::SplitByVertexLimit(*root, limit, 0);
    FitQueryBoxes(*root);
    return root;
}

void FitQueryBoxes(ShapeInstance& root)
{
    Vec3 low{0, 0, 0}, high{0, 0, 0};
    FitBoxes(root, low, high);
}
