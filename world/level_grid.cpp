#include "world/level_grid.h"

#include "Veapi/ve_object.h"
#include "Veapi/ve_shape.h"

#include <algorithm>
#include <bit>
#include <cfloat>
#include <cmath>
#include <functional>

namespace {

constexpr uint32_t kMaxCellsPerAxis = 1024;
constexpr float kTouchDistanceSquared = 0.01f;

float Axis(const Vec3& v, int axis)
{
    return axis == 0 ? v.x : axis == 1 ? v.y : v.z;
}

bool IsGround(const CollisionPolygon& p)
{
    return std::signbit(p.normal_.y);
}

bool TakesLinks(const CollisionPolygon& p)
{
    return IsGround(p) && !(p.flags_ & polygon_flags::kSteep);
}

void LinkBothWays(CollisionPolygon& p, CollisionPolygon& q)
{
    if (!p.IsLinkedTo(&q))
        p.AddLink(&q);
    if (!q.IsLinkedTo(&p))
        q.AddLink(&p);
}

// How many of P's neighbours Q also links.
int CommonLinks(const CollisionPolygon& p, const CollisionPolygon& q)
{
    int common = 0;
    for (uint32_t i = 0; i < p.LinkCount(); ++i)
        common += q.IsLinkedTo(p.LinkAt(i));
    return common;
}

Vec3 MeanOfVertices(const CollisionPolygon& p)
{
    Vec3 sum{0, 0, 0};
    for (int i = 0; i < p.VertexCount(); ++i)
        sum += *p.Vertices()[i];
    return sum * (1.0f / static_cast<float>(p.VertexCount()));
}

bool CornerExists(int32_t corner, size_t count)
{
    return corner >= 0 && static_cast<size_t>(corner) < count;
}

template <int N>
bool CornersExist(const int32_t (&corners)[N], size_t count)
{
    return std::all_of(corners, corners + N, [count](int32_t c) { return CornerExists(c, count); });
}

template <typename Polygon, int N>
void Place(Polygon& polygon, ShapeInstance* owner, const Matrix34& m, const Vec3& normal, int32_t flags,
           const int32_t (&corners)[N], Vec3* base)
{
    polygon.SetSurface(owner, m.TransformVector(normal), static_cast<uint32_t>(flags));
    Vec3 sum{0, 0, 0};
    for (int i = 0; i < N; ++i) {
        polygon.vertices_[i] = base + corners[i];
        sum += *polygon.vertices_[i];
    }
    sum *= 1.0f / static_cast<float>(N);
    polygon.SetCentre(sum.x, sum.y, sum.z);
}

} // namespace

CollisionSource CollisionSource::FromShape(const ShapeGeometry& geometry)
{
    return {geometry.points, geometry.triangles, geometry.quads};
}

namespace {

void CollectPieces(ShapeInstance& node, const Matrix34& parent, TreePieces& out, bool& lend,
                   const CollisionSource* lent)
{
    const Matrix34 m = parent * node.local_.Matrix();
    if (const VeShape* shape = node.slots_[0]) {
        if (lend) {
            lend = false;
            if (lent)
                out.pieces.push_back({lent, m});
        } else if (shape->geometry_) {
            out.pieces.push_back({&out.sources.emplace_back(CollisionSource::FromShape(*shape->geometry_)), m});
        }
    }
    for (ShapeInstance* child : node.children_)
        CollectPieces(*child, m, out, lend, lent);
}

} // namespace

TreePieces TreePieces::Of(ShapeInstance& root, bool lend, const CollisionSource* lent)
{
    TreePieces out;
    CollectPieces(root, Matrix34::kIdentity, out, lend, lent);
    return out;
}

std::unique_ptr<CollisionMesh> CollisionMesh::Build(ShapeInstance* owner, const std::vector<CollisionPiece>& pieces,
                                                    const Matrix34& placement)
{
    auto mesh = std::make_unique<CollisionMesh>();
    mesh->owner_ = owner;
    size_t vertexCount = 0;
    for (const CollisionPiece& piece : pieces) {
        if (!piece.source)
            continue;
        const size_t points = piece.source->points.size();
        vertexCount += points;
        for (const auto& t : piece.source->triangles)
            mesh->triangleCount_ += CornersExist(t.corners, points);
        for (const auto& q : piece.source->quads)
            mesh->quadCount_ += CornersExist(q.corners, points);
    }
    mesh->vertices_.resize(vertexCount);
    mesh->triangles_ = std::make_unique<CollisionTriangle[]>(mesh->triangleCount_);
    mesh->quads_ = std::make_unique<CollisionQuad[]>(mesh->quadCount_);

    size_t firstVertex = 0;
    uint32_t nextTriangle = 0, nextQuad = 0;
    for (const CollisionPiece& piece : pieces) {
        if (!piece.source)
            continue;
        const Matrix34 m = placement * piece.placement;
        const CollisionSource& s = *piece.source;
        Vec3* base = mesh->vertices_.data() + firstVertex;
        for (size_t i = 0; i < s.points.size(); ++i) {
            const Vec3 v = m.TransformPoint(s.points[i]);
            base[i] = v;
            mesh->boxMin_ = {std::min(mesh->boxMin_.x, v.x), std::min(mesh->boxMin_.y, v.y),
                             std::min(mesh->boxMin_.z, v.z)};
            mesh->boxMax_ = {std::max(mesh->boxMax_.x, v.x), std::max(mesh->boxMax_.y, v.y),
                             std::max(mesh->boxMax_.z, v.z)};
        }
        for (const auto& t : s.triangles) {
            if (CornersExist(t.corners, s.points.size()))
                Place(mesh->triangles_[nextTriangle++], owner, m, t.normal, t.flags, t.corners, base);
        }
        for (const auto& q : s.quads) {
            if (CornersExist(q.corners, s.points.size()))
                Place(mesh->quads_[nextQuad++], owner, m, q.normal, q.flags, q.corners, base);
        }
        firstVertex += s.points.size();
    }
    return mesh;
}

bool CollisionMesh::Owns(const CollisionPolygon* polygon) const
{
    // std::less orders pointers into unrelated arrays too.
    const std::less<const CollisionPolygon*> before;
    auto within = [&](const auto* first, uint32_t count) {
        const CollisionPolygon* end = first + count; // stepped as the array's own class
        return count != 0 && !before(polygon, first) && before(polygon, end);
    };
    return within(triangles_.get(), triangleCount_) || within(quads_.get(), quadCount_);
}

void CollisionMesh::Translate(const Vec3& delta)
{
    ForEachPolygon([&](CollisionPolygon& polygon) {
        const Vec3 centre = *polygon.Centre() + delta;
        polygon.SetCentre(centre.x, centre.y, centre.z);
    });
    for (Vec3& vertex : vertices_)
        vertex += delta;
}

void CollisionMesh::FitBox()
{
    boxMin_ = {3.4028235e38f, 3.4028235e38f, 3.4028235e38f};
    boxMax_ = {-3.4028235e38f, -3.4028235e38f, -3.4028235e38f};
    for (const Vec3& v : vertices_) {
        boxMin_ = {std::fmin(boxMin_.x, v.x), std::fmin(boxMin_.y, v.y), std::fmin(boxMin_.z, v.z)};
        boxMax_ = {std::fmax(boxMax_.x, v.x), std::fmax(boxMax_.y, v.y), std::fmax(boxMax_.z, v.z)};
    }
}

void LevelCell::Add(CollisionPolygon* polygon)
{
    if (polygons.size() == polygons.capacity())
        polygons.reserve(polygons.capacity() + polygons.capacity() / 4 + 3);
    polygons.push_back(polygon);
}

size_t LevelCell::RemoveIf(const CollisionMesh& mesh)
{
    size_t removed = 0;
    for (size_t i = 0; i < polygons.size();) {
        if (mesh.Owns(polygons[i])) {
            polygons[i] = polygons.back();
            polygons.pop_back();
            ++removed;
        } else {
            ++i;
        }
    }
    return removed;
}

bool PolygonsTouch(const CollisionPolygon& p, const CollisionPolygon& q)
{
    const int n = p.VertexCount();
    int shared[2] = {-1, -1};
    int sharedCount = 0;
    for (int i = 0; i < n; ++i) {
        for (int j = 0; j < q.VertexCount(); ++j) {
            if ((*p.Vertices()[i] - *q.Vertices()[j]).LengthSquared() < kTouchDistanceSquared) {
                if (sharedCount < 2)
                    shared[sharedCount] = i;
                ++sharedCount;
            }
        }
    }
    if (sharedCount != 2)
        return false;
    const Vec3 c1 = MeanOfVertices(p);
    const Vec3 d = MeanOfVertices(q) - c1;
    const bool closing = shared[0] == 0 && shared[1] == n - 1;
    const Vec3& a = *p.Vertices()[closing ? n - 1 : shared[0]];
    const Vec3& b = *p.Vertices()[closing ? 0 : shared[1]];
    const float ex = b.x - a.x;
    const float ez = b.z - a.z;
    const float lengthSquared = ex * ex + ez * ez;
    float k = lengthSquared > 0 ? 1.0f / std::sqrt(lengthSquared) : std::bit_cast<float>(0x7dffffffu);
    if (!std::signbit(p.normal_.y))
        k = -k;
    const float exn = k * ez;
    const float ezn = -k * ex;
    const float denominator = d.x * exn + d.z * ezn;
    if (!(denominator > 0))
        return false;
    const float t = ((b.x - c1.x) * exn + (b.z - c1.z) * ezn) / denominator;
    const Vec3 crossing = c1 + d * t;
    const float u = ((crossing.x - a.x) * ex + (crossing.z - a.z) * ez) / lengthSquared;
    return u >= 0 && u <= 1;
}

LevelGrid::LevelGrid() = default;

LevelGrid::~LevelGrid()
{
    for (CollisionMesh* mesh : meshes_)
        delete mesh;
}

void LevelGrid::OnMeshRemoved(CollisionMesh&) {}

uint32_t LevelGrid::TakeIndex()
{
    if (polygonCount_ < polygonTable_.size())
        return polygonCount_++;
    for (uint32_t i = 0; i < polygonCount_; ++i) {
        if (!polygonTable_[i])
            return i;
    }
    polygonTable_.resize(polygonTable_.size() + polygonTable_.size() / 4 + 256, nullptr);
    return polygonCount_++;
}

CollisionMesh* LevelGrid::AddMesh(ShapeInstance* owner, const std::vector<CollisionPiece>& pieces,
                                  const Matrix34& placement)
{
    CollisionMesh* mesh = CollisionMesh::Build(owner, pieces, placement).release();
    mesh->ForEachPolygon([&](CollisionPolygon& p) {
        p.tableIndex_ = TakeIndex();
        polygonTable_[p.tableIndex_] = &p;
    });
    meshes_.PushBack(mesh);
    if (HasCells()) {
        LinkMeshPolygons(*mesh);
        FileGeometry(*mesh);
    }
    return mesh;
}

CollisionMesh* LevelGrid::AddMesh(ShapeInstance& root, const Matrix34& placement)
{
    RemoveMesh(&root);
    return AddMesh(&root, TreePieces::Of(root).pieces, placement);
}

CollisionMesh* LevelGrid::FindMesh(ShapeInstance* owner) const
{
    for (CollisionMesh* mesh : meshes_) {
        if (mesh->owner_ == owner)
            return mesh;
    }
    return nullptr;
}

bool LevelGrid::RemoveMesh(ShapeInstance* owner)
{
    CollisionMesh* mesh = FindMesh(owner);
    if (!mesh)
        return false;
    for (LevelCell& cell : cells_) {
        if (cell.RemoveIf(*mesh))
            cell.polygons.shrink_to_fit();
    }
    UnlinkMesh(*mesh);
    OnMeshRemoved(*mesh);
    mesh->ForEachPolygon([&](CollisionPolygon& p) { polygonTable_[p.tableIndex_] = nullptr; });
    meshes_.Remove(mesh);
    delete mesh;
    return true;
}

// Both directions, so no polygon of another mesh keeps a link to the freed
// polygons (a one-way link is removed as well).
void LevelGrid::UnlinkMesh(CollisionMesh& mesh)
{
    mesh.ForEachPolygon([](CollisionPolygon& p) {
        while (p.LinkCount() != 0) {
            CollisionPolygon* other = p.LinkAt(0);
            if (other->IsLinkedTo(&p))
                other->RemoveLink(&p);
            p.RemoveLinkAt(0);
        }
    });
}

void LevelGrid::BuildCellGrid(uint32_t nx, uint32_t ny, uint32_t nz)
{
    Vec3 minimum{FLT_MAX, FLT_MAX, FLT_MAX};
    Vec3 maximum{-FLT_MAX, -FLT_MAX, -FLT_MAX};
    for (const CollisionMesh* mesh : meshes_) {
        minimum = {std::min(minimum.x, mesh->boxMin_.x), std::min(minimum.y, mesh->boxMin_.y),
                   std::min(minimum.z, mesh->boxMin_.z)};
        maximum = {std::max(maximum.x, mesh->boxMax_.x), std::max(maximum.y, mesh->boxMax_.y),
                   std::max(maximum.z, mesh->boxMax_.z)};
    }
    LayOutCells(nx, ny, nz, minimum, maximum);
}

void LevelGrid::LayOutCells(uint32_t nx, uint32_t ny, uint32_t nz, const Vec3& minimum, const Vec3& maximum)
{
    // Lights wait in the pending list while the cells are laid out again.
    for (LevelCell& cell : cells_) {
        for (FiledLight* light : cell.lights) {
            if (std::find(pendingLights_.begin(), pendingLights_.end(), light) == pendingLights_.end())
                pendingLights_.push_back(light);
        }
    }
    const uint32_t requested[3] = {nx, ny, nz};
    gridMin_ = minimum;
    gridMax_ = maximum;
    for (int axis = 0; axis < 3; ++axis) {
        const float extent = Axis(maximum, axis) - Axis(minimum, axis);
        const float inverse = 1.0f / extent;
        // A flat or empty axis has one cell: with no extent every point would
        // map through 0 x infinity.
        const bool usable = extent > 0 && std::isfinite(extent) && std::isfinite(inverse);
        const uint32_t n = usable ? std::clamp(requested[axis], 1u, kMaxCellsPerAxis) : 1u;
        counts_[axis] = n;
        countsF_[axis] = static_cast<float>(n);
        inverseExtent_[axis] = usable ? inverse : 0.0f;
        std::vector<float>& b = boundaries_[axis];
        b.assign(n + 1, 0.0f);
        b[0] = -FLT_MAX;
        b[n] = FLT_MAX;
        for (uint32_t i = 1; i < n; ++i)
            b[i] = Axis(minimum, axis) + static_cast<float>(i) * (extent / static_cast<float>(n));
    }
    cells_.clear();
    cells_.resize(static_cast<size_t>(counts_[0]) * counts_[1] * counts_[2]);
    for (CollisionMesh* mesh : meshes_)
        FileGeometry(*mesh);
    std::vector<FiledLight*> pending;
    pending.swap(pendingLights_);
    for (FiledLight* light : pending)
        FileLight(*light);
}

void LevelGrid::FileLight(FiledLight& light)
{
    if (!HasCells()) {
        if (std::find(pendingLights_.begin(), pendingLights_.end(), &light) == pendingLights_.end())
            pendingLights_.push_back(&light);
        return;
    }
    const Vec3 reach{light.radius, light.radius, light.radius};
    const CellIndex lo = CellOf(light.centre - reach);
    const CellIndex hi = CellOf(light.centre + reach);
    light.filedColumns[0] = std::min(lo.x, hi.x) & ~3;
    light.filedColumns[1] = std::min(lo.z, hi.z) & ~3;
    light.filedColumns[2] = std::max(lo.x, hi.x) & ~3;
    light.filedColumns[3] = std::max(lo.z, hi.z) & ~3;
    for (int32_t x = light.filedColumns[0]; x <= light.filedColumns[2]; x += 4) {
        for (int32_t z = light.filedColumns[1]; z <= light.filedColumns[3]; z += 4)
            CellAt(x, 0, z).lights.push_back(&light);
    }
}

void LevelGrid::UnfileLight(FiledLight& light)
{
    if (!HasCells()) {
        pendingLights_.erase(std::remove(pendingLights_.begin(), pendingLights_.end(), &light), pendingLights_.end());
        return;
    }
    const int32_t* c = light.filedColumns;
    const int32_t maxX = static_cast<int32_t>(counts_[0]) - 1;
    const int32_t maxZ = static_cast<int32_t>(counts_[2]) - 1;
    for (int32_t x = std::max(c[0], 0); x <= std::min(c[2], maxX); x += 4) {
        for (int32_t z = std::max(c[1], 0); z <= std::min(c[3], maxZ); z += 4) {
            std::vector<FiledLight*>& list = CellAt(x, 0, z).lights;
            list.erase(std::remove(list.begin(), list.end(), &light), list.end());
        }
    }
}

CellIndex LevelGrid::CellOf(const Vec3& point) const
{
    if (!HasCells())
        return {0, 0, 0};
    int32_t index[3];
    for (int axis = 0; axis < 3; ++axis) {
        const float t = (Axis(point, axis) - Axis(gridMin_, axis)) * countsF_[axis] * inverseExtent_[axis];
        // Compared before converting: NaN, negatives and anything at or past
        // the far end never reach the integer conversion.
        if (!(t > 0))
            index[axis] = 0;
        else if (t >= countsF_[axis])
            index[axis] = static_cast<int32_t>(counts_[axis] - 1);
        else
            index[axis] = std::min(static_cast<int32_t>(t), static_cast<int32_t>(counts_[axis] - 1));
        // The scaled value and the stored boundaries round differently; the
        // boundaries decide, so the cell's box always holds the point and a
        // polygon through the point is filed in that cell.
        const std::vector<float>& b = boundaries_[axis];
        const float v = Axis(point, axis);
        while (index[axis] > 0 && v < b[static_cast<size_t>(index[axis])])
            --index[axis];
        while (index[axis] + 1 < static_cast<int32_t>(counts_[axis]) && v > b[static_cast<size_t>(index[axis]) + 1])
            ++index[axis];
    }
    return {index[0], index[1], index[2]};
}

void LevelGrid::CellBox(const CellIndex& c, Vec3& boxMin, Vec3& boxMax) const
{
    boxMin = {boundaries_[0][c.x], boundaries_[1][c.y], boundaries_[2][c.z]};
    boxMax = {boundaries_[0][c.x + 1], boundaries_[1][c.y + 1], boundaries_[2][c.z + 1]};
}

// A mesh whose corners are not numbers has an empty box (minimum above
// maximum); its range is still taken lowest to highest.
void LevelGrid::CellRange(const CollisionMesh& mesh, CellIndex& lo, CellIndex& hi) const
{
    const CellIndex a = CellOf(mesh.boxMin_);
    const CellIndex b = CellOf(mesh.boxMax_);
    lo = {std::min(a.x, b.x), std::min(a.y, b.y), std::min(a.z, b.z)};
    hi = {std::max(a.x, b.x), std::max(a.y, b.y), std::max(a.z, b.z)};
}

bool LevelGrid::FileInRange(CollisionPolygon& polygon, const CellIndex& lo, const CellIndex& hi)
{
    bool taken = false;
    for (int32_t x = lo.x; x <= hi.x; ++x) {
        for (int32_t y = lo.y; y <= hi.y; ++y) {
            for (int32_t z = lo.z; z <= hi.z; ++z) {
                Vec3 boxMin, boxMax;
                CellBox({x, y, z}, boxMin, boxMax);
                const int overlap = polygon.ClipToBox(boxMin, boxMax);
                if (overlap == 0)
                    continue;
                CellAt(x, y, z).Add(&polygon);
                taken = true;
                if (overlap == 2)
                    return true;
            }
        }
    }
    return taken;
}

void LevelGrid::FileGeometry(CollisionMesh& mesh)
{
    if (!HasCells() || mesh.PolygonCount() == 0)
        return;
    CellIndex lo, hi;
    CellRange(mesh, lo, hi);
    const int64_t meshCells = int64_t(hi.x - lo.x + 1) * (hi.y - lo.y + 1) * (hi.z - lo.z + 1);
    mesh.ForEachPolygon([&](CollisionPolygon& p) {
        if (meshCells == 1) {
            CellAt(lo.x, lo.y, lo.z).Add(&p);
            return;
        }
        CellIndex from = lo, to = hi;
        if (meshCells >= 10) {
            from = CellOf(p.MinCorner());
            to = CellOf(p.MaxCorner());
            if (from == to) {
                CellAt(from.x, from.y, from.z).Add(&p);
                return;
            }
        }
        if (!FileInRange(p, from, to)) {
            const CellIndex c = CellOf(*p.Centre());
            CellAt(c.x, c.y, c.z).Add(&p);
        }
    });
}

void LevelGrid::UnfileGeometry(CollisionMesh& mesh)
{
    if (!HasCells() || mesh.PolygonCount() == 0)
        return;
    CellIndex lo, hi;
    CellRange(mesh, lo, hi);
    for (int32_t x = lo.x; x <= hi.x; ++x) {
        for (int32_t y = lo.y; y <= hi.y; ++y) {
            for (int32_t z = lo.z; z <= hi.z; ++z)
                CellAt(x, y, z).RemoveIf(mesh);
        }
    }
    if (lo == hi)
        CellAt(lo.x, lo.y, lo.z).polygons.shrink_to_fit();
}

// First pass: neighbours across an edge. Second pass: polygons that only
// share a corner but more than one neighbour (a fan around a vertex).
template <typename Candidates>
void LevelGrid::LinkPasses(Candidates&& forEachPair)
{
    forEachPair([](CollisionPolygon& p, CollisionPolygon& q) {
        if (p.IsNeighbourAcrossEdge(q))
            LinkBothWays(p, q);
    });
    forEachPair([](CollisionPolygon& p, CollisionPolygon& q) {
        if (!p.IsLinkedTo(&q) && p.SharesVertex(q) && p.LinkCount() != 0 && CommonLinks(p, q) > 1)
            LinkBothWays(p, q);
    });
}

void LevelGrid::LinkPolygons()
{
    if (!HasCells())
        return;
    const int32_t nx = static_cast<int32_t>(counts_[0]);
    const int32_t ny = static_cast<int32_t>(counts_[1]);
    const int32_t nz = static_cast<int32_t>(counts_[2]);
    LinkPasses([&](auto&& visit) {
        for (int32_t z = 0; z < nz; ++z) {
            for (int32_t y = 0; y < ny; ++y) {
                for (int32_t x = 0; x < nx; ++x) {
                    for (CollisionPolygon* p : CellAt(x, y, z).polygons) {
                        if (!TakesLinks(*p))
                            continue;
                        for (int32_t cx = std::max(x - 1, 0); cx <= x; ++cx) {
                            for (int32_t cy = std::max(y - 1, 0); cy <= y; ++cy) {
                                for (int32_t cz = std::max(z - 1, 0); cz <= z; ++cz) {
                                    for (CollisionPolygon* q : CellAt(cx, cy, cz).polygons) {
                                        if (q != p && TakesLinks(*q))
                                            visit(*p, *q);
                                    }
                                }
                            }
                        }
                    }
                }
            }
        }
    });
}

void LevelGrid::LinkMeshPolygons(CollisionMesh& mesh)
{
    LinkPasses([&](auto&& visit) {
        mesh.ForEachPolygon([&](CollisionPolygon& p) {
            if (!TakesLinks(p))
                return;
            mesh.ForEachPolygon([&](CollisionPolygon& q) {
                if (&q != &p && TakesLinks(q))
                    visit(p, q);
            });
        });
    });
}

void LevelGrid::LinkClassNeighbours(CollisionPolygon& polygon)
{
    if (!HasCells())
        return;
    // Every cell the polygon's box covers and one more around: a polygon
    // wider than a cell touches neighbours far from its centre's cell.
    const CellIndex lo = CellOf(polygon.MinCorner());
    const CellIndex up = CellOf(polygon.MaxCorner());
    const int32_t hi[3] = {static_cast<int32_t>(counts_[0]) - 1, static_cast<int32_t>(counts_[1]) - 1,
                           static_cast<int32_t>(counts_[2]) - 1};
    for (int32_t x = std::max(lo.x - 1, 0); x <= std::min(up.x + 1, hi[0]); ++x) {
        for (int32_t y = std::max(lo.y - 1, 0); y <= std::min(up.y + 1, hi[1]); ++y) {
            for (int32_t z = std::max(lo.z - 1, 0); z <= std::min(up.z + 1, hi[2]); ++z) {
                for (CollisionPolygon* q : CellAt(x, y, z).polygons) {
                    const uint32_t theirClass = q->flags_ & polygon_flags::kClassMask;
                    if (q == &polygon || theirClass == 0 || (polygon.flags_ & theirClass) != 0)
                        continue;
                    if (!polygon.IsLinkedTo(q) && PolygonsTouch(polygon, *q))
                        LinkBothWays(polygon, *q);
                }
            }
        }
    }
}

void LevelGrid::ScanCell(const LevelCell& cell, const Vec3& point, CollisionPolygon*& best, float& bestHeight) const
{
    for (CollisionPolygon* p : cell.polygons) {
        Vec3 onPlane = point;
        Vec3 normal;
        if (!p->ProjectY(onPlane, &normal) || !std::signbit(normal.y))
            continue;
        if (!best || std::fabs(onPlane.y - point.y) < std::fabs(bestHeight - point.y)) {
            best = p;
            bestHeight = onPlane.y;
        }
    }
}

// The starting layer, then the layers below it, then those above, each
// direction ending once the next layer boundary lies no nearer in height
// than the best surface found.
CollisionPolygon* LevelGrid::SearchGround(const Vec3& point, float& height) const
{
    if (!HasCells())
        return nullptr;
    const CellIndex c = CellOf(point);
    const std::vector<float>& by = boundaries_[1];
    CollisionPolygon* best = nullptr;
    height = point.y;
    ScanCell(Cell(c), point, best, height);
    int32_t lower = c.y;
    while (lower > 0 && !(best && point.y - by[static_cast<size_t>(lower)] >= std::fabs(height - point.y))) {
        --lower;
        ScanCell(Cell({c.x, lower, c.z}), point, best, height);
    }
    for (int32_t upper = c.y + 1; upper < static_cast<int32_t>(counts_[1]); ++upper) {
        if (best && by[static_cast<size_t>(upper)] - point.y >= std::fabs(height - point.y))
            break;
        ScanCell(Cell({c.x, upper, c.z}), point, best, height);
    }
    return best;
}

CollisionPolygon* LevelGrid::FindPolygonAt(const Vec3& point) const
{
    float height;
    return SearchGround(point, height);
}

bool LevelGrid::SnapToPolygon(Vec3& point) const
{
    float height;
    if (!SearchGround(point, height))
        return false;
    point.y = height;
    return true;
}

float LevelGrid::HighestPointInBox(const Vec3& boxMin, const Vec3& boxMax) const
{
    float best = -FLT_MAX;
    auto consider = [&](const CollisionPolygon& p) {
        const float top = p.MaxCorner().y;
        if (top > best && p.ClipToBox(boxMin, boxMax) != 0)
            best = top;
    };
    if (!HasCells()) {
        for (CollisionMesh* mesh : meshes_)
            mesh->ForEachPolygon(consider);
        return best;
    }
    // Only the cells the box covers: a polygon reaching into the box reaches
    // one of them, and is filed there.
    const CellIndex lo = CellOf(boxMin);
    const CellIndex hi = CellOf(boxMax);
    for (int32_t x = lo.x; x <= hi.x; ++x) {
        for (int32_t y = lo.y; y <= hi.y; ++y) {
            for (int32_t z = lo.z; z <= hi.z; ++z) {
                for (const CollisionPolygon* p : Cell({x, y, z}).polygons)
                    consider(*p);
            }
        }
    }
    return best;
}
