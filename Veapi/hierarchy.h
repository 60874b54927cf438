// Loaded model trees: per node ten level-of-detail shapes, the part's
// animation sequences and its children. Many 3-D objects are made from one
// tree, so it carries use and hold counts of its own and passes them on to its
// shapes. Also the operations on sequence sets that objects need (copy,
// translate) and the node pose of a sequence at a time.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/list.h"
#include "app/maths.h"
#include "chunk/sequence_chunks.h"

class VeShape;

using trevok::Sequence;
using trevok::SequenceKey;
using trevok::SequenceSet;

constexpr int kShapeSlots = 10;

// Sequence flag: the sequence has a reference frame, so its keys are relative
// and it neither moves nor replaces the main pose.
constexpr int32_t kSequenceStatic = trevok::kSequenceHasReference;

class Hierarchy {
public:
    Hierarchy() = default;
    Hierarchy(const Hierarchy&) = delete;
    Hierarchy& operator=(const Hierarchy&) = delete;

    // Counts rise and fall over the whole tree together. A node is freed when
    // both reach zero; the shapes follow their own use and hold rules.
    void AddRef();
    void AddHold();
    void Release();
    void ReleaseHold();

    // Case-insensitive; a node without a name never matches.
    Hierarchy* FindNode(const std::string& name);
    // The named node's first-key position, carried up through the first-key
    // poses of its ancestors below this node.
    bool FindNodePosition(Vec3& out, const std::string& name) const;
    bool HasSequence(int32_t index) const;

    int32_t useCount_ = 1;
    int32_t holdCount_ = 0;
    VeShape* shapes_[kShapeSlots] = {};
    int32_t distances_[kShapeSlots] = {};
    bool boundsValid_ = false;
    Vec3 maximum_{0, 0, 0}, minimum_{0, 0, 0};
    // Shared with the objects made from the tree, which may outlive it.
    std::shared_ptr<SequenceSet> sequences_;
    List<Hierarchy*> children_;
    std::string name_;  // empty: the part has no name
    // The model's velocity while the sequence of that index plays (root only).
    std::vector<Vec3> perTick_, perSecond_;
    // Each sequence's speed as stored (world units a second, root only).
    std::vector<float> speeds_;

private:
    ~Hierarchy();
    void FreeWhenUnused();
};

// Gives up one use of a tree, for holders of a loaded model.
struct HierarchyRelease {
    void operator()(Hierarchy* h) const { h->Release(); }
};
using HierarchyPtr = std::unique_ptr<Hierarchy, HierarchyRelease>;

namespace Sequences {
// A sequence entry of the set, or null (no set, index out of range, empty slot).
const Sequence* Find(const SequenceSet* set, int32_t index);
bool Has(const SequenceSet* set, int32_t index);
std::unique_ptr<SequenceSet> Copy(const SequenceSet& set);
// Moves every key; static sequences stay where they are.
void Translate(Sequence& sequence, const Vec3& offset);
void Translate(SequenceSet& set, const Vec3& offset);
// The first key of the first sequence of the set, or null.
const SequenceKey* FirstKey(const SequenceSet* set);
} // namespace Sequences

// A position and orientation of a node.
struct NodePose {
    Vec3 position{0, 0, 0};
    Quaternion rotation{0, 0, 0, 1};
};

namespace Pose {
// Two keys and where between them (0 at key0, 1 at key1); key1 may be key0.
NodePose BetweenKeys(const SequenceKey& key0, const SequenceKey& key1, float fraction);
// Rotation and translation of a pose; the rotation is renormalised, so the
// near-linear quaternion blend never scales the part.
Matrix34 ToMatrix(const NodePose& pose);
NodePose OfKey(const SequenceKey& key);
// The rotation at unit length; the identity for one that has none.
Quaternion UnitRotation(const Quaternion& rotation);
} // namespace Pose
