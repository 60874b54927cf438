// Route finding over the level's linked ground polygons for server actors
// (plan and replan): a cheap greedy descent and a bounded best-first search
// toward a polygon or into range of a point. Costs and estimates are squared
// centre distances, so no root is taken. The searches run on the server
// thread; each holds the level lock shared for its whole run, so door
// commands, which relink under the lock held exclusively, never change links
// mid-search.
#pragma once

#include "app/maths.h"

#include <cstdint>
#include <vector>

class CollisionPolygon;
class LevelGrid;

// How much searching one level allows, scaled to the processor's clock rate
// when its navigation is prepared.
struct PathBudgets {
    int32_t nodes = 200; // pops per best-first search
    int32_t plans = 1;   // best-first searches per server pass

    static PathBudgets ForClockRate(int64_t ticksPerSecond);
};

// The budgets in force; set at level load, read by the server pass.
PathBudgets& CurrentPathBudgets();

struct PathEntry {
    CollisionPolygon* polygon = nullptr;
    float g = 0; // cost so far
    float h = 0; // estimate to go
    float Key() const { return g + h; }
};

struct PathNode {
    PathEntry entry;
    PathNode* left = nullptr;
    PathNode* right = nullptr;
    PathNode* parent = nullptr;
    int32_t leftCount = 0;  // nodes in the left subtree
    int32_t rightCount = 0; // nodes in the right subtree
};

// An unbalanced binary tree ordered by g + h; equal keys keep their insertion
// order (they go right), so the earlier of two equal entries comes out first.
class PathNodeTree {
public:
    PathNodeTree() = default;
    PathNodeTree(const PathNodeTree&) = delete;
    PathNodeTree& operator=(const PathNodeTree&) = delete;
    ~PathNodeTree() { Clear(); }

    PathNode* Insert(const PathEntry& entry);
    // The smallest (largest) entry, taken out; a null polygon when empty.
    PathEntry PopFirst();
    PathEntry PopLast();
    // Takes out and frees any node of this tree.
    void Remove(PathNode* node);
    void Clear();
    // The node holding `polygon`, walking in key order; null when none.
    PathNode* Find(const CollisionPolygon* polygon) const;

    PathNode* First() const { return first_; }
    PathNode* Last() const { return last_; }
    PathNode* Root() const { return root_; }
    int32_t Count() const { return count_; }

    // In-order walk from the first node.
    class Iterator {
    public:
        Iterator(PathNodeTree& tree, PathNode* at) : tree_(&tree), node_(at) {}
        PathNode* Node() const { return node_; }
        bool AtEnd() const { return node_ == nullptr; }
        void Advance() { node_ = Next(node_); }
        // Steps on, then takes out and frees the node it stood on.
        void RemoveAndAdvance();

    private:
        PathNodeTree* tree_;
        PathNode* node_;
    };
    Iterator Begin() { return Iterator(*this, first_); }

    static PathNode* Next(const PathNode* node);

private:
    // Replaces `node` by `with` (or null) in node's parent (or the root).
    void Splice(PathNode* node, PathNode* with);
    static void Free(PathNode* node);

    PathNode* first_ = nullptr;
    PathNode* last_ = nullptr;
    PathNode* root_ = nullptr;
    int32_t count_ = 0;
};

float PolygonDistanceSquared(const CollisionPolygon& polygon, const Vec3& point);

// What a best-first search did, for callers that report or check it.
struct PathSearchTrace {
    std::vector<PathEntry> popped; // in order of popping
};

// Routes hold polygons only; the start is never in one. A neighbour whose
// flags share a bit with `blockingMask` is never entered. Each search leaves
// every polygon's search parent null.
namespace PathSearch {

// Walks to the neighbour nearest the destination while that gets strictly
// nearer. The route is in walking order; true when it ends at the
// destination (an empty route when start is the destination).
bool FindPathGreedy(LevelGrid& level, CollisionPolygon* start, CollisionPolygon* destination,
                    std::vector<CollisionPolygon*>& route, uint32_t blockingMask);

// Best-first toward the destination within `nodeBudget` pops (0: the
// current budget). The route is in reverse: the end polygon first, the step
// after the start last; callers read it from the back. The end is the
// destination when reached (true), else the popped polygon with the smallest
// g + h.
bool FindPath(LevelGrid& level, CollisionPolygon* start, CollisionPolygon* destination,
              std::vector<CollisionPolygon*>& route, uint32_t blockingMask, int32_t nodeBudget = 0,
              PathSearchTrace* trace = nullptr);

// The same toward a point, ending at the first popped polygon whose centre
// lies within the squared range of it.
bool FindPathToRange(LevelGrid& level, CollisionPolygon* start, const Vec3& target,
                     std::vector<CollisionPolygon*>& route, uint32_t blockingMask, float rangeSquared,
                     int32_t nodeBudget = 0, PathSearchTrace* trace = nullptr);

} // namespace PathSearch
