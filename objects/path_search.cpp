#include "objects/path_search.h"

#include "app/read_write_lock.h"
#include "world/level_grid.h"

#include <algorithm>
#include <cassert>
#include <mutex>

namespace {

PathBudgets gBudgets;

// The polygons' search parents are one scratch for the whole level: two
// searches must never fill it at once.
std::mutex gSearchScratch;

float DistanceSquared(const Vec3& a, const Vec3& b)
{
    const float dx = a.x - b.x, dy = a.y - b.y, dz = a.z - b.z;
    return dx * dx + dy * dy + dz * dz;
}

const Vec3& CentreOf(const CollisionPolygon& p)
{
    return *p.Centre();
}

PathNode* Leftmost(PathNode* n)
{
    while (n && n->left)
        n = n->left;
    return n;
}

PathNode* Rightmost(PathNode* n)
{
    while (n && n->right)
        n = n->right;
    return n;
}

void ResetParents(const PathNodeTree& tree)
{
    for (const PathNode* n = tree.First(); n; n = PathNodeTree::Next(n))
        n->entry.polygon->searchParent_ = nullptr;
}

template <typename IsGoal>
bool BestFirst(LevelGrid& level, CollisionPolygon* start, const Vec3& target, IsGoal&& isGoal,
               std::vector<CollisionPolygon*>& route, uint32_t blockingMask, int32_t nodeBudget,
               PathSearchTrace* trace)
{
    route.clear();
    if (!start)
        return false;
    LockGuard links(level.lock_, false);
    std::lock_guard scratch(gSearchScratch);
    int32_t budget = nodeBudget > 0 ? nodeBudget : CurrentPathBudgets().nodes;

    PathNodeTree open, closed;
    open.Insert({start, 0, DistanceSquared(CentreOf(*start), target)});
    // The start counts as visited, so a neighbour never hands it a parent
    // and the route walk cannot circle back through it.
    start->searchParent_ = start;
    CollisionPolygon* end = nullptr;
    while (open.Count() > 0) {
        const PathEntry popped = open.PopFirst();
        closed.Insert(popped);
        if (trace)
            trace->popped.push_back(popped);
        if (isGoal(*popped.polygon)) {
            end = popped.polygon;
            break;
        }
        if (budget-- <= 0)
            break;
        const Vec3& from = CentreOf(*popped.polygon);
        for (uint32_t i = 0; i < popped.polygon->LinkCount(); ++i) {
            CollisionPolygon* next = popped.polygon->LinkAt(i);
            if (!next || (next->flags_ & blockingMask))
                continue;
            const Vec3& at = CentreOf(*next);
            const PathEntry entry{next, popped.g + DistanceSquared(from, at), DistanceSquared(at, target)};
            if (!next->searchParent_) {
                next->searchParent_ = popped.polygon;
                open.Insert(entry);
            } else if (PathNode* old = open.Find(next); old && old->entry.g > entry.g) {
                next->searchParent_ = popped.polygon;
                open.Remove(old);
                open.Insert(entry);
            }
        }
    }
    const bool reached = end != nullptr;
    if (!end)
        end = closed.First()->entry.polygon;

    // Every parent points at a polygon popped earlier, so the walk meets the
    // start within as many steps as there were pops.
    int32_t steps = 0;
    for (CollisionPolygon* p = end; p != start; p = p->searchParent_) {
        if (!p || ++steps > closed.Count()) {
            assert(!"route walk left the popped polygons");
            route.clear();
            break;
        }
        route.push_back(p);
    }
    ResetParents(open);
    ResetParents(closed);
    return reached;
}

} // namespace

PathBudgets PathBudgets::ForClockRate(int64_t ticksPerSecond)
{
    PathBudgets b;
    const int64_t rate = std::max<int64_t>(ticksPerSecond, 0);
    b.nodes = static_cast<int32_t>(std::clamp<int64_t>(static_cast<int64_t>(static_cast<double>(rate) * 0.002), 200, 500));
    b.plans = static_cast<int32_t>(std::clamp<int64_t>(rate / 100000, 1, 2));
    return b;
}

PathBudgets& CurrentPathBudgets()
{
    return gBudgets;
}

float PolygonDistanceSquared(const CollisionPolygon& polygon, const Vec3& point)
{
    return DistanceSquared(CentreOf(polygon), point);
}

PathNode* PathNodeTree::Insert(const PathEntry& entry)
{
    auto* node = new PathNode{entry};
    ++count_;
    if (!root_) {
        root_ = first_ = last_ = node;
        return node;
    }
    const float key = entry.Key();
    bool onlyLeft = true, onlyRight = true;
    PathNode* at = root_;
    for (;;) {
        if (at->entry.Key() > key) {
            ++at->leftCount;
            onlyRight = false;
            if (!at->left) {
                at->left = node;
                break;
            }
            at = at->left;
        } else {
            ++at->rightCount;
            onlyLeft = false;
            if (!at->right) {
                at->right = node;
                break;
            }
            at = at->right;
        }
    }
    node->parent = at;
    if (onlyLeft)
        first_ = node;
    if (onlyRight)
        last_ = node;
    return node;
}

void PathNodeTree::Splice(PathNode* node, PathNode* with)
{
    if (with)
        with->parent = node->parent;
    if (!node->parent)
        root_ = with;
    else if (node->parent->left == node)
        node->parent->left = with;
    else
        node->parent->right = with;
}

PathEntry PathNodeTree::PopFirst()
{
    PathNode* node = first_;
    if (!node)
        return {};
    const PathEntry entry = node->entry;
    for (PathNode* a = node->parent; a; a = a->parent)
        --a->leftCount;
    Splice(node, node->right);
    first_ = node->right ? Leftmost(node->right) : node->parent;
    if (last_ == node)
        last_ = nullptr; // it was the only node
    delete node;
    --count_;
    return entry;
}

PathEntry PathNodeTree::PopLast()
{
    PathNode* node = last_;
    if (!node)
        return {};
    const PathEntry entry = node->entry;
    for (PathNode* a = node->parent; a; a = a->parent)
        --a->rightCount;
    Splice(node, node->left);
    last_ = node->left ? Rightmost(node->left) : node->parent;
    if (first_ == node)
        first_ = nullptr;
    delete node;
    --count_;
    return entry;
}

void PathNodeTree::Remove(PathNode* node)
{
    if (node == first_) {
        PopFirst();
        return;
    }
    if (node == last_) {
        PopLast();
        return;
    }
    for (PathNode *child = node, *a = node->parent; a; child = a, a = a->parent) {
        if (a->left == child)
            --a->leftCount;
        else
            --a->rightCount;
    }
    PathNode* with = node->right;
    if (node->left) {
        // The nearest smaller node takes the place: in-order stays as it was.
        with = node->left;
        while (with->right) {
            --with->rightCount;
            with = with->right;
        }
        if (with != node->left) {
            with->parent->right = with->left;
            if (with->left)
                with->left->parent = with->parent;
            with->left = node->left;
            node->left->parent = with;
        }
        with->leftCount = node->leftCount - 1;
        with->right = node->right;
        if (node->right)
            node->right->parent = with;
        with->rightCount = node->rightCount;
    }
    Splice(node, with);
    delete node;
    --count_;
}

void PathNodeTree::Clear()
{
    // Frees leaf by leaf through the parent links: no recursion however
    // lopsided the tree.
    PathNode* n = root_;
    while (n) {
        if (n->left) {
            n = n->left;
        } else if (n->right) {
            n = n->right;
        } else {
            PathNode* up = n->parent;
            if (up && up->left == n)
                up->left = nullptr;
            else if (up)
                up->right = nullptr;
            delete n;
            n = up;
        }
    }
    root_ = first_ = last_ = nullptr;
    count_ = 0;
}

PathNode* PathNodeTree::Find(const CollisionPolygon* polygon) const
{
    for (PathNode* n = first_; n; n = Next(n)) {
        if (n->entry.polygon == polygon)
            return n;
    }
    return nullptr;
}

PathNode* PathNodeTree::Next(const PathNode* node)
{
    if (node->right)
        return Leftmost(node->right);
    while (node->parent && node->parent->right == node)
        node = node->parent;
    return node->parent;
}

void PathNodeTree::Iterator::RemoveAndAdvance()
{
    PathNode* at = node_;
    node_ = Next(at);
    tree_->Remove(at);
}

namespace PathSearch {

bool FindPathGreedy(LevelGrid& level, CollisionPolygon* start, CollisionPolygon* destination,
                    std::vector<CollisionPolygon*>& route, uint32_t blockingMask)
{
    route.clear();
    if (!start || !destination)
        return false;
    LockGuard links(level.lock_, false);
    const Vec3& goal = CentreOf(*destination);
    CollisionPolygon* current = start;
    // Each step gets strictly nearer, so the walk ends.
    while (current != destination) {
        float best = DistanceSquared(CentreOf(*current), goal);
        CollisionPolygon* next = nullptr;
        for (uint32_t i = 0; i < current->LinkCount(); ++i) {
            CollisionPolygon* n = current->LinkAt(i);
            if (!n || (n->flags_ & blockingMask))
                continue;
            const float d = DistanceSquared(CentreOf(*n), goal);
            if (d < best) {
                best = d;
                next = n;
            }
        }
        if (!next)
            break;
        route.push_back(next);
        current = next;
    }
    return current == destination;
}

bool FindPath(LevelGrid& level, CollisionPolygon* start, CollisionPolygon* destination,
              std::vector<CollisionPolygon*>& route, uint32_t blockingMask, int32_t nodeBudget,
              PathSearchTrace* trace)
{
    if (!destination) {
        route.clear();
        return false;
    }
    return BestFirst(
        level, start, CentreOf(*destination), [&](const CollisionPolygon& p) { return &p == destination; }, route,
        blockingMask, nodeBudget, trace);
}

bool FindPathToRange(LevelGrid& level, CollisionPolygon* start, const Vec3& target,
                     std::vector<CollisionPolygon*>& route, uint32_t blockingMask, float rangeSquared,
                     int32_t nodeBudget, PathSearchTrace* trace)
{
    return BestFirst(
        level, start, target,
        [&](const CollisionPolygon& p) { return DistanceSquared(CentreOf(p), target) < rangeSquared; }, route,
        blockingMask, nodeBudget, trace);
}

} // namespace PathSearch
