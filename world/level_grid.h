// The level's collision polygons: every mesh of the level shape and of the
// objects placed in it, numbered in one table, filed into a regular 3-D grid
// of cells and linked to their touching neighbours. Both threads ask it for
// the ground under a point; the movers and the path search walk the links.
// No operation here takes the lock: callers hold lock_ shared to read and
// exclusively to change meshes or links while the other thread reads.
#pragma once

#include "Veapi/shape_builder.h"
#include "app/list.h"
#include "app/maths.h"
#include "app/read_write_lock.h"
#include "world/collision_polygon.h"

#include <cstdint>
#include <deque>
#include <memory>
#include <vector>

class ShapeInstance;

// A shape's collision polygons as the shape builder keeps them: corners are
// indices into the points.
struct CollisionSource {
    std::vector<Vec3> points;
    std::vector<GeometryTriangle> triangles;
    std::vector<GeometryQuad> quads;

    static CollisionSource FromShape(const ShapeGeometry& geometry);
};

// One node's polygons and where the node lies in its owner's frame.
struct CollisionPiece {
    const CollisionSource* source = nullptr; // null: the node has none
    Matrix34 placement{1};
};

// The pieces of a node tree: every node whose slot-0 shape keeps collision
// geometry, placed by the transforms from the root down to the node.
struct TreePieces {
    std::deque<CollisionSource> sources; // copies the pieces point at
    std::vector<CollisionPiece> pieces;

    // With `lend`, `lent` stands in for the geometry of the first node that
    // has a shape (null: that node gives none).
    static TreePieces Of(ShapeInstance& root, bool lend = false, const CollisionSource* lent = nullptr);
};

// The polygons of one owner (the level itself, or one object) in world
// space. Polygons point into vertices_, so corners shared in the source are
// shared pointers here, which the neighbour tests rely on.
class CollisionMesh {
public:
    // Places every piece by `placement` x the piece's own placement. Records
    // naming a corner that does not exist are left out.
    static std::unique_ptr<CollisionMesh> Build(ShapeInstance* owner, const std::vector<CollisionPiece>& pieces,
                                                const Matrix34& placement);

    bool Owns(const CollisionPolygon* polygon) const;
    template <typename F>
    void ForEachPolygon(F&& visit)
    {
        for (uint32_t i = 0; i < triangleCount_; ++i)
            visit(static_cast<CollisionPolygon&>(triangles_[i]));
        for (uint32_t i = 0; i < quadCount_; ++i)
            visit(static_cast<CollisionPolygon&>(quads_[i]));
    }
    uint32_t PolygonCount() const { return triangleCount_ + quadCount_; }
    // Slides every corner and polygon centre by `delta` (a moving platform);
    // the polygons stay the same objects, so movers standing on them keep
    // them. The box is left: unfile first, then FitBox and file again.
    void Translate(const Vec3& delta);
    // The box around the corners.
    void FitBox();

    ShapeInstance* owner_ = nullptr;
    std::vector<Vec3> vertices_;
    std::unique_ptr<CollisionTriangle[]> triangles_;
    uint32_t triangleCount_ = 0;
    std::unique_ptr<CollisionQuad[]> quads_;
    uint32_t quadCount_ = 0;
    Vec3 boxMin_{3.4028235e38f, 3.4028235e38f, 3.4028235e38f};
    Vec3 boxMax_{-3.4028235e38f, -3.4028235e38f, -3.4028235e38f};
};

// A point light as the grid files it: the level's light records carry one.
// Lights are filed only in the bottom layer's cells whose x and z indices
// are multiples of 4, so a light touches 1/16 of the columns it reaches.
struct FiledLight {
    Vec3 centre{0, 0, 0};
    float radius = 0;
    int32_t filedColumns[4] = {0, 0, 0, 0}; // x min, z min, x max, z max: where it is filed
};

struct LevelCell {
    std::vector<CollisionPolygon*> polygons; // those whose area reaches the cell
    std::vector<FiledLight*> lights;         // the lights reaching its column block; not owned

    void Add(CollisionPolygon* polygon);
    // The last entry fills the gap; returns how many went.
    size_t RemoveIf(const CollisionMesh& mesh);
};

struct CellIndex {
    int32_t x, y, z;
    bool operator==(const CellIndex&) const = default;
};

// Whether P and Q, from different meshes, meet along an edge: corners are
// matched by position (within 0.1) instead of by pointer.
bool PolygonsTouch(const CollisionPolygon& p, const CollisionPolygon& q);

class LevelGrid {
public:
    LevelGrid();
    virtual ~LevelGrid();
    LevelGrid(const LevelGrid&) = delete;
    LevelGrid& operator=(const LevelGrid&) = delete;

    // Builds the owner's mesh, numbers its polygons and, once cells exist,
    // links them among themselves and files them.
    CollisionMesh* AddMesh(ShapeInstance* owner, const std::vector<CollisionPiece>& pieces,
                           const Matrix34& placement);
    // Takes the owner's mesh out of the cells, unlinks its polygons both
    // ways, frees their table slots and deletes it. An unknown owner changes
    // nothing; returns whether a mesh went.
    bool RemoveMesh(ShapeInstance* owner);
    // The mesh of a node tree (see TreePieces) placed by `placement`; the
    // root is its owner. A root that already has a mesh loses it first, so
    // adding again at a new placement moves the polygons.
    CollisionMesh* AddMesh(ShapeInstance& root, const Matrix34& placement);
    CollisionMesh* FindMesh(ShapeInstance* owner) const;

    // Lays out nx x ny x nz cells over the union of the mesh boxes and files
    // every mesh. An axis without extent (a flat level) gets one cell.
    void BuildCellGrid(uint32_t nx, uint32_t ny, uint32_t nz);
    void LayOutCells(uint32_t nx, uint32_t ny, uint32_t nz, const Vec3& minimum, const Vec3& maximum);
    bool HasCells() const { return !cells_.empty(); }

    void FileGeometry(CollisionMesh& mesh);
    // From the cells of the mesh's current box; call before moving it.
    void UnfileGeometry(CollisionMesh& mesh);

    // Files the light in the cells its reach covers, or holds it until the
    // cells are laid out. UnfileLight takes it out of the same cells.
    void FileLight(FiledLight& light);
    void UnfileLight(FiledLight& light);
    const std::vector<FiledLight*>& PendingLights() const { return pendingLights_; }

    // Links every ground polygon that is not steep to its touching
    // neighbours of the same mesh.
    void LinkPolygons();
    void LinkMeshPolygons(CollisionMesh& mesh);
    // Links P both ways to the touching polygons of a class P lacks (a door
    // in its frame) filed in the cells around P.
    void LinkClassNeighbours(CollisionPolygon& polygon);

    // Always inside the grid, whatever the point (NaN and infinities too).
    CellIndex CellOf(const Vec3& point) const;

    // The ground polygon nearest in height above or below the point, or null.
    CollisionPolygon* FindPolygonAt(const Vec3& point) const;
    CollisionPolygon* FindPolygonAtPosition(const Vec3& position) const { return FindPolygonAt(position); }
    // Sets point.y to the surface found by FindPolygonAt; false (unchanged)
    // when none.
    bool SnapToPolygon(Vec3& point) const;
    // The greatest vertex y of the polygons reaching into the box, or
    // -FLT_MAX when none does.
    float HighestPointInBox(const Vec3& boxMin, const Vec3& boxMax) const;

    CollisionPolygon* PolygonAt(uint32_t index) const
    {
        return index < polygonCount_ ? polygonTable_[index] : nullptr;
    }
    uint32_t PolygonCount() const { return polygonCount_; }
    const List<CollisionMesh*>& Meshes() const { return meshes_; }
    const LevelCell& Cell(const CellIndex& c) const { return cells_[CellOffset(c)]; }
    uint32_t CellCount(int axis) const { return counts_[axis]; }
    const Vec3& GridMinimum() const { return gridMin_; }
    const Vec3& GridMaximum() const { return gridMax_; }
    float Boundary(int axis, uint32_t i) const { return boundaries_[axis][i]; }

    ReadWriteLock lock_; // the level lock; see the header comment

protected:
    // Called while a mesh is removed, after its links are gone and before
    // its polygons are freed.
    virtual void OnMeshRemoved(CollisionMesh& mesh);

private:
    size_t CellOffset(const CellIndex& c) const
    {
        return (static_cast<size_t>(c.x) * counts_[1] + static_cast<size_t>(c.y)) * counts_[2] +
               static_cast<size_t>(c.z);
    }
    LevelCell& CellAt(int32_t x, int32_t y, int32_t z) { return cells_[CellOffset({x, y, z})]; }
    void CellBox(const CellIndex& c, Vec3& boxMin, Vec3& boxMax) const;
    uint32_t TakeIndex();
    void CellRange(const CollisionMesh& mesh, CellIndex& lo, CellIndex& hi) const;
    // Clips the polygon against every cell of the range; false when none took it.
    bool FileInRange(CollisionPolygon& polygon, const CellIndex& lo, const CellIndex& hi);
    void ScanCell(const LevelCell& cell, const Vec3& point, CollisionPolygon*& best, float& bestHeight) const;
    CollisionPolygon* SearchGround(const Vec3& point, float& height) const;
    template <typename Candidates>
    void LinkPasses(Candidates&& forEachPair);
    void UnlinkMesh(CollisionMesh& mesh);

    List<CollisionMesh*> meshes_; // owned
    std::vector<FiledLight*> pendingLights_; // filed while no cells exist; not owned
    std::vector<LevelCell> cells_; // x major, then y, then z
    Vec3 gridMin_{0, 0, 0};
    Vec3 gridMax_{0, 0, 0};
    float inverseExtent_[3] = {0, 0, 0}; // 0 on an axis without extent
    uint32_t counts_[3] = {0, 0, 0};
    float countsF_[3] = {0, 0, 0};
    std::vector<float> boundaries_[3]; // n + 1 each: -FLT_MAX, inner planes, FLT_MAX
    std::vector<CollisionPolygon*> polygonTable_; // size is the capacity; null slots are free
    uint32_t polygonCount_ = 0;
};
