// Layered sequences on top of a main sequence: the layer moves only the nodes
// it has keys for, the main sequence keeps driving the rest at its own time,
// and the node poses agree between drawing and part lookups.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "model_support.h"

namespace {

using namespace modeltest;

constexpr int32_t kNormal = 0x10000;
constexpr int32_t kWalk = 1, kStand = 2, kAim = 5;
// The quaternion blend is near-linear: within a few thousandths of a radian.
constexpr float kNear = 5e-3f;

// hips (walk: slides to x 2 and back; aim: still) > leg (walk: turns to 0.5 rad and
// back), gun (walk: stands 1 up; aim: turns 0 to 0.8 rad over its last key at
// 800 of 1000 ticks). Stand holds the hips and the leg still; the gun has no
// stand.
Hierarchy* Walker()
{
    std::vector<std::unique_ptr<Sequence>> hips, leg, gun;
    hips.push_back(MakeSequence(kWalk, 1000, {{0, {0, 0, 0}, 0}, {500, {2, 0, 0}, 0}}));
    hips.push_back(MakeSequence(kStand, 1000, {{0, {0, 0, 0}, 0}}));
    leg.push_back(MakeSequence(kWalk, 1000, {{0, {0, 0, 0}, 0}, {500, {0, 0, 0}, 0.5f}}));
    leg.push_back(MakeSequence(kStand, 1000, {{0, {0, 0, 0}, 0}}));
    gun.push_back(MakeSequence(kWalk, 1000, {{0, {0, 1, 0}, 0}}));
    gun.push_back(MakeSequence(kAim, 1000, {{0, {0, 0, 0}, 0}, {800, {0, 0, 0}, 0.8f}}));
    // The root has every sequence the object plays (its keys give the aim's
    // extent); the aim holds it still.
    hips.push_back(MakeSequence(kAim, 1000, {{0, {0, 0, 0}, 0}, {800, {0, 0, 0}, 0}}));
    Hierarchy* root = MakeNode("hips", MakeSet(std::move(hips)));
    root->children_.PushBack(MakeNode("leg", MakeSet(std::move(leg))));
    root->children_.PushBack(MakeNode("gun", MakeSet(std::move(gun))));
    return root;
}

struct NodeWorld {
    Vec3 at;
    float turn;  // radians about y
};

NodeWorld FromMatrix(const Matrix34& m)
{
    return {m.Translation(), std::atan2(m.m[0][2], m.m[0][0])};
}

// The row-vector device matrix the draw path leaves in the node.
NodeWorld FromDevice(const gfx::Matrix& d)
{
    return {{d(3, 0), d(3, 1), d(3, 2)}, std::atan2(d(2, 0), d(0, 0))};
}

class LayeredSequenceTest : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override { SequencePlayer::SetTicksPerSecond(1000); }
    void TearDown() override { SequencePlayer::SetTicksPerSecond(0); }

    bool Counted() const { return GetParam(); }

    // Advances the players and poses the tree as drawing does, then checks
    // the part lookup against the drawn pose of every node.
    void Pose(uint64_t time)
    {
        object_->UpdateSequences(time, 0);
        ShapeInstance* root = object_->Root();
        const char* names[] = {"hips", "leg", "gun"};
        Matrix34 looked[3];
        for (int i = 0; i < 3; ++i)
            ASSERT_TRUE(root->GetNodeMatrix(looked[i], root->FindNode(names[i]), time));
        root->UpdateMatrix(gfx::Matrix{}, time);
        for (ShapeInstance* child : root->children_)
            child->UpdateMatrix(root->nodeMatrix_, time);
        for (int i = 0; i < 3; ++i) {
            const char* name = names[i];
            const NodeWorld a = FromMatrix(looked[i]), b = Drawn(name);
            EXPECT_NEAR(a.at.x, b.at.x, 1e-4f) << name;
            EXPECT_NEAR(a.at.y, b.at.y, 1e-4f) << name;
            EXPECT_NEAR(a.turn, b.turn, 1e-4f) << name;
        }
    }
    NodeWorld Drawn(const char* name) { return FromDevice(object_->Root()->FindNode(name)->nodeMatrix_); }

    void AimTo(int32_t from, int32_t to, uint64_t time)
    {
        object_->PlaySequenceTo(kAim, &kNormal, &from, &to, time, nullptr, nullptr, SequenceMode::kLayered,
                                Counted());
    }

    HierarchyRef model_{Walker()};
    ObjectRef object_{VeObject::FromHierarchy(model_.h, false)};
};

// The aim is asked again on every pass, as an aiming unit does; the walk goes
// on under it.
TEST_P(LayeredSequenceTest, MainSequenceKeepsWalkingUnderAnAimedLayer)
{
    object_->PlaySequence(kWalk, &kNormal, -1, 0, nullptr, 0, Counted());
    struct Pass {
        uint64_t aimAt;  // 0: not asked again
        int32_t from, to;
        uint64_t time;
        float hipsX, legTurn, gunTurn;
    };
    const Pass passes[] = {
        {1100, 0, 0x8000, 1300, 1.2f, 0.3f, 0.2f},        // on the way to 400 ticks
        {1400, 0x8000, 0x10000, 1600, 1.6f, 0.4f, 0.5f},  // re-aimed from 300, where it had got to
        {0, 0, 0, 1800, 0.8f, 0.2f, 0.7f},
        {0, 0, 0, 2000, 0.0f, 0.0f, 0.8f},                // arrived: the last key holds
        {2100, 0x10000, 0, 2250, 1.0f, 0.25f, 0.65f},     // and back from the end
    };
    for (const Pass& p : passes) {
        SCOPED_TRACE(p.time);
        if (p.aimAt)
            AimTo(p.from, p.to, p.aimAt);
        Pose(p.time);
        EXPECT_TRUE(object_->IsPlayingSequence(kWalk));
        EXPECT_TRUE(object_->IsPlayingLayeredSequence(kAim));
        EXPECT_NEAR(Drawn("hips").at.x, p.hipsX, kNear);
        EXPECT_NEAR(Drawn("leg").turn, p.legTurn, kNear);
        EXPECT_NEAR(Drawn("leg").at.x, p.hipsX, kNear) << "carried by the hips";
        EXPECT_NEAR(Drawn("gun").turn, p.gunTurn, kNear);
        EXPECT_NEAR(Drawn("gun").at.x, p.hipsX, kNear);
        EXPECT_NEAR(Drawn("gun").at.y, 1.0f, kNear) << "the walk still stands the gun up";
    }
    EXPECT_EQ(object_->Players().Count(), 2);
}

// A layer played once ends on its own; the nodes it moved go back to the
// main sequence, which kept its time all along.
TEST_P(LayeredSequenceTest, NodesReturnToTheMainSequenceWhenTheLayerEnds)
{
    object_->PlaySequence(kWalk, &kNormal, -1, 0, nullptr, 0, Counted());
    uint8_t done = 0;
    object_->PlaySequence(kAim, &kNormal, 1, 150, &done, SequenceMode::kLayered | SequenceMode::kBlendIn,
                          Counted());
    EXPECT_EQ((*object_->Players().At(0))->start_, 0u) << "the main sequence is not moved by the layer";
    struct Check {
        uint64_t time;
        float hipsX, legTurn, gunTurn;
        uint8_t done;
    };
    const Check checks[] = {
        {100, 0.4f, 0.1f, 0.0f, 0},  // before the layer starts
        {450, 1.8f, 0.45f, 0.3f, 0},
        {1100, 0.4f, 0.1f, 0.2f, 0},  // past the last key, on the way back to the first
        {1200, 0.8f, 0.2f, 0.8f, 1},  // ended at 1150: its last pose, once
        {1250, 1.0f, 0.25f, 0.0f, 1},
        {1300, 1.2f, 0.3f, 0.0f, 1},
    };
    for (const Check& c : checks) {
        SCOPED_TRACE(c.time);
        Pose(c.time);
        EXPECT_NEAR(Drawn("hips").at.x, c.hipsX, kNear);
        EXPECT_NEAR(Drawn("leg").turn, c.legTurn, kNear);
        EXPECT_NEAR(Drawn("gun").turn, c.gunTurn, kNear);
        EXPECT_NEAR(Drawn("gun").at.y, 1.0f, kNear);
        EXPECT_EQ(done, c.done);
    }
    EXPECT_EQ(object_->Players().Count(), 1);
    EXPECT_TRUE(object_->IsPlayingSequence(kWalk));
    for (ShapeInstance* n : object_->Root()->children_)
        EXPECT_EQ(n->evaluators_.Count(), 1) << n->name_;
}

// New main sequences replace only the main sequence's evaluators: on a node
// the new one has no keys for, the layer is all that is left and it stays.
TEST_P(LayeredSequenceTest, NewMainSequencesLeaveTheLayer)
{
    object_->PlaySequence(kWalk, &kNormal, -1, 0, nullptr, 0, Counted());
    AimTo(0, 0x10000, 0);
    object_->PlaySequence(kStand, &kNormal, -1, 100, nullptr, 0, Counted());
    Pose(500);
    EXPECT_NEAR(Drawn("gun").turn, 0.5f, kNear);
    object_->PlaySequence(kWalk, &kNormal, -1, 600, nullptr, SequenceMode::kBlendIn, Counted());
    EXPECT_EQ((*object_->Players().At(0))->start_, 850u) << "blends in from the stand";
    Pose(700);
    EXPECT_NEAR(Drawn("gun").turn, 0.7f, kNear) << "the blend leaves the layer alone";
    Pose(1350);
    EXPECT_NEAR(Drawn("hips").at.x, 2.0f, kNear);
    EXPECT_NEAR(Drawn("leg").turn, 0.5f, kNear);
    EXPECT_NEAR(Drawn("gun").turn, 0.8f, kNear);
    EXPECT_NEAR(Drawn("gun").at.y, 1.0f, kNear);
    EXPECT_TRUE(object_->IsPlayingLayeredSequence(kAim));
}

// A static layer has keys relative to the node's own pose: on a node no main
// sequence drives, it turns the node where it stands instead of being lost.
TEST(LayeredStaticSequence, TurnsANodeTheMainSequenceLeavesAlone)
{
    SequencePlayer::SetTicksPerSecond(1000);
    constexpr int32_t kNod = 6;
    const int32_t relative = trevok::kSequenceBaseFlags | kSequenceStatic;
    std::vector<std::unique_ptr<Sequence>> turret, sight;
    turret.push_back(MakeSequence(0, 1000, {{0, {0, 2, 0}, 0}}));
    turret.push_back(MakeSequence(kNod, 1000, {{0, {0, 0, 0}, 0}, {500, {0, 0, 0}, 0}}, relative));
    // Never played: its first key is where the sight stands.
    sight.push_back(MakeSequence(1, 1000, {{0, {1, 0, 0}, 0}}));
    sight.push_back(MakeSequence(kNod, 1000, {{0, {0, 0, 0}, 0}, {500, {0, 0, 0}, 0.5f}}, relative));
    HierarchyRef model(MakeNode("turret", MakeSet(std::move(turret))));
    model.h->children_.PushBack(MakeNode("sight", MakeSet(std::move(sight))));
    ObjectRef object(VeObject::FromHierarchy(model.h, false));
    object->PlaySequence(0, &kNormal, -1, 0, nullptr, 0, true);
    object->PlaySequence(kNod, &kNormal, -1, 0, nullptr, SequenceMode::kLayered, true);
    Matrix34 m;
    ASSERT_TRUE(object->Root()->GetNodeMatrix(m, object->Root()->FindNode("sight"), 250));
    const NodeWorld w = FromMatrix(m);
    EXPECT_NEAR(w.at.x, 1.0f, kNear);
    EXPECT_NEAR(w.at.y, 2.0f, kNear);
    EXPECT_NEAR(w.turn, 0.25f, kNear);
    SequencePlayer::SetTicksPerSecond(0);
}

INSTANTIATE_TEST_SUITE_P(CountedOrNot, LayeredSequenceTest, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& param) {
                             return param.param ? "Counted" : "Uncounted";
                         });

} // namespace
