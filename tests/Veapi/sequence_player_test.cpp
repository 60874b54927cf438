// Sequence players on objects: ends, repeats, blends, play-to, tracks,
// sounds, and the objects' named parts.
#include <gtest/gtest.h>

#include <cmath>
#include <utility>
#include <vector>

#include "Veapi/primitives.h"
#include "model_support.h"

namespace {

using namespace modeltest;

constexpr int32_t kNormal = 0x10000;

// body (sequences 0: 1000 ticks, 1: 1000 ticks, 2: static) > arm > hand.
Hierarchy* Model()
{
    std::vector<std::unique_ptr<Sequence>> body, arm;
    body.push_back(MakeSequence(0, 1000, {{0, {0, 0, 0}, 0}, {500, {1, 0, 0}, 0.5f}}));
    body.push_back(MakeSequence(1, 1000, {{0, {0, 1, 0}, 0}, {500, {0, 2, 0}, 0}}));
    body.push_back(MakeSequence(2, 1000, {{0, {0, 0, 0}, 0}}, trevok::kSequenceBaseFlags | kSequenceStatic));
    arm.push_back(MakeSequence(0, 1000, {{0, {1, 0, 0}, 0}, {500, {2, 0, 0}, 0}}));
    arm.push_back(MakeSequence(1, 1000, {{0, {1, 0, 0}, 0}}));
    Hierarchy* root = MakeNode("body", MakeSet(std::move(body)));
    Hierarchy* a = MakeNode("arm", MakeSet(std::move(arm)));
    a->children_.PushBack(MakeNode("hand"));
    root->children_.PushBack(a);
    return root;
}

class SequencePlayerTest : public ::testing::Test {
protected:
    void SetUp() override { SequencePlayer::SetTicksPerSecond(1000); }
    void TearDown() override
    {
        SequencePlayer::SetTicksPerSecond(0);
        SequencePlayer::SetSoundHook({});
    }
    HierarchyRef model_{Model()};
    ObjectRef object_{VeObject::FromHierarchy(model_.h, false)};
    SequencePlayer* Front() { return *object_->Players().At(0); }
};

TEST_F(SequencePlayerTest, EndsAndRepeats)
{
    uint8_t done = 7;
    object_->PlaySequence(0, &kNormal, -1, 0, &done, 0, true);
    EXPECT_EQ(Front()->end_, 0u) << "repeating for ever never ends";
    EXPECT_EQ(done, 0);

    object_->PlaySequence(0, &kNormal, 2, 5000, &done, 0, true);
    EXPECT_EQ(Front()->end_, 7000u);
    object_->UpdateSequences(7000, 0);
    EXPECT_EQ(done, 0);
    object_->UpdateSequences(7001, 0);
    EXPECT_EQ(done, 1);
}

TEST_F(SequencePlayerTest, BlendInLengthFollowsTheSpeedAndNeedsAMainSequence)
{
    const int32_t fast = 2 * kNormal;
    object_->PlaySequence(1, &kNormal, 1, 0, nullptr, SequenceMode::kLayered, true);
    object_->PlaySequence(0, &fast, 1, 1000, nullptr, SequenceMode::kBlendIn, true);
    EXPECT_EQ(Front()->start_, 1000u) << "only a layered player ran: no blend";
    EXPECT_FALSE(Front()->mode_ & SequenceMode::kBlendIn);

    object_->PlaySequence(0, &fast, 1, 2000, nullptr, SequenceMode::kBlendIn, true);
    EXPECT_EQ(Front()->start_, 2125u) << "0.25 s at double speed and 1000 ticks a second";
    EXPECT_TRUE(object_->IsPlayingSequence(0));
    EXPECT_TRUE(object_->IsPlayingLayeredSequence(1));
}

TEST_F(SequencePlayerTest, PlayToRunsBetweenPositionsAndReaims)
{
    uint8_t done = 0;
    const int32_t same = 0x8000;
    EXPECT_EQ(object_->PlaySequenceTo(0, &kNormal, &same, &same, 0, nullptr, &done, 0, true), 1);
    EXPECT_EQ(done, 1) << "from equals to: done at once";
    EXPECT_TRUE(object_->Players().IsEmpty());

    const int32_t from = 0xC000, to = 0x4000;
    uint64_t end = 0;
    object_->PlaySequenceTo(0, &kNormal, &from, &to, 1000, &end, &done, 0, true);
    SequencePlayer* p = Front();
    EXPECT_LT(p->speed_, 0) << "backwards";
    // The last key lies at 500 ticks: 375 down to 125.
    EXPECT_EQ(p->from_, 375);
    EXPECT_EQ(p->to_, 125);
    EXPECT_EQ(end, 1250u);
    EXPECT_EQ(done, 0);

    // Asked again halfway: it carries on from where it got to.
    const int32_t back = 0x10000;
    EXPECT_EQ(object_->PlaySequenceTo(0, &kNormal, &from, &back, 1125, &end, &done, 0, true), 1);
    EXPECT_EQ(object_->Players().Count(), 1);
    EXPECT_EQ(p->from_, 250);
    EXPECT_EQ(p->to_, 500);
    EXPECT_GT(p->speed_, 0);
    EXPECT_EQ(end, 1125u + 250u);
}

TEST_F(SequencePlayerTest, StopsByTrackAndReplacesOnTrack)
{
    uint8_t first = 0, second = 0;
    object_->PlaySequenceOnTrack(0, &kNormal, -1, 0, &first, 0, true, 4);
    object_->StopSequences(VeObject::kStopTrack, 9);
    EXPECT_EQ(object_->Players().Count(), 1) << "no player on that track";
    object_->PlaySequenceOnTrack(1, &kNormal, -1, 0, &second, 0, true, 4);
    EXPECT_EQ(first, 1) << "replaced on its track";
    EXPECT_EQ(object_->Players().Count(), 1);
    object_->StopSequences(VeObject::kStopTrack, 4);
    EXPECT_EQ(second, 1);
    EXPECT_TRUE(object_->Players().IsEmpty());
    for (ShapeInstance* n = object_->Root(); n; n = n->FirstChild())
        EXPECT_TRUE(n->evaluators_.IsEmpty()) << n->name_;
}

TEST_F(SequencePlayerTest, SoundsStartAtTheirTimesInEveryPass)
{
    std::vector<std::unique_ptr<Sequence>> seq;
    seq.push_back(MakeSequence(0, 1000, {{0, {0, 0, 0}, 0}, {500, {1, 0, 0}, 0}}));
    seq[0]->sounds_ = {{0, 10}, {500, 11}};
    HierarchyRef model(MakeNode("loop", MakeSet(std::move(seq))));
    ObjectRef object(VeObject::FromHierarchy(model.h, false));
    std::vector<std::pair<int32_t, VeObject*>> played;
    SequencePlayer::SetSoundHook([&](int32_t id, VeObject* o) { played.emplace_back(id, o); });
    object->PlaySequence(0, &kNormal, -1, 0, nullptr, 0, true);
    object->UpdateSequences(1200, DrawFlag::kSequencesGetObject);
    const std::vector<std::pair<int32_t, VeObject*>> expected = {{10, object.o}, {11, object.o}, {10, object.o}};
    EXPECT_EQ(played, expected);
    EXPECT_EQ((*object->Players().At(0))->repeatsDone_, 1u);
    // Without the object flag nothing is heard.
    object->UpdateSequences(1800, 0);
    EXPECT_EQ(played.size(), 3u);
}

// Mended: a sequence of no length, speed 0 and missing sequences are safe.
TEST_F(SequencePlayerTest, DegenerateRequestsAreSafe)
{
    std::vector<std::unique_ptr<Sequence>> seq;
    seq.push_back(MakeSequence(0, 0, {{0, {0, 0, 0}, 0}}));
    seq[0]->sounds_ = {{0, 10}};
    HierarchyRef model(MakeNode("still", MakeSet(std::move(seq))));
    ObjectRef object(VeObject::FromHierarchy(model.h, false));
    int sounds = 0;
    SequencePlayer::SetSoundHook([&](int32_t, VeObject*) { ++sounds; });
    const int32_t stopped = 0;
    object->PlaySequence(0, &stopped, -1, 0, nullptr, SequenceMode::kBlendIn, true);
    object->UpdateSequences(1u << 20, DrawFlag::kSequencesGetObject);
    Vec3 at;
    EXPECT_TRUE(object->FindPartPosition(at, "still", 1u << 20));
    EXPECT_EQ(sounds, 0);

    uint8_t done = 0;
    object->PlaySequence(7, &kNormal, 1, 0, &done, 0, true);
    EXPECT_EQ(done, 1) << "an index without a sequence is refused";
    EXPECT_EQ(object->Players().Count(), 1);
    EXPECT_EQ(object->PlaySequenceTo(9, &kNormal, &stopped, &kNormal, 0, nullptr, &done, 0, true), 0);
    const int32_t to = 0x8000;
    uint64_t end = 1;
    object->PlaySequenceTo(0, &stopped, &stopped, &to, 0, &end, nullptr, 0, true);
    EXPECT_EQ(end, 0u) << "a stopped play-to never arrives";
}

// Mended: a player whose count ran out takes its evaluators with it, even
// without the drop flag, so no node is left naming a deleted player.
TEST_F(SequencePlayerTest, AFinishedPlayerLeavesNoEvaluatorsBehind)
{
    object_->PlaySequence(0, &kNormal, 1, 0, nullptr, 0, false);
    object_->UpdateSequences(2000, DrawFlag::kAnimateOnly);
    object_->UpdateSequences(2001, DrawFlag::kAnimateOnly);
    EXPECT_TRUE(object_->Players().IsEmpty());
    for (ShapeInstance* n = object_->Root(); n; n = n->FirstChild())
        EXPECT_TRUE(n->evaluators_.IsEmpty()) << n->name_;
    Vec3 at;
    EXPECT_TRUE(object_->FindPartPosition(at, "hand", 2002));
}

TEST_F(SequencePlayerTest, NewMainSequenceReplacesTheOldOneAndStaticOnesLeaveIt)
{
    object_->PlaySequence(0, &kNormal, -1, 0, nullptr, 0, true);
    SequencePlayer* old = Front();
    object_->PlaySequence(1, &kNormal, -1, 100, nullptr, 0, true);
    EXPECT_EQ(old->useCount_, 0) << "neither the object nor any node holds it";
    object_->UpdateSequences(200, 0);
    EXPECT_EQ(object_->Players().Count(), 1);
    EXPECT_TRUE(object_->IsPlayingSequence(1));
    EXPECT_TRUE(object_->SequenceIsStatic(2));
    EXPECT_FALSE(object_->HasSequence(3));
}

TEST_F(SequencePlayerTest, PartsByName)
{
    Vec3 at;
    struct Case {
        const char* name;
        bool found;
    };
    for (const Case& c : {Case{"HAND", true}, Case{"Arm", true}, Case{"foot", false}, Case{"", false}})
        EXPECT_EQ(object_->FindPartPosition(at, c.name, 0), c.found) << c.name;
    EXPECT_EQ(object_->Root()->FindNode("arm")->name_, "arm");

    object_->RemovePart("hand");
    EXPECT_FALSE(object_->FindPartPosition(at, "hand", 0));
    EXPECT_TRUE(object_->FindPartPosition(at, "arm", 0));

    // Without its root the object has no parts and draws nothing.
    object_->RemovePart("BODY");
    EXPECT_EQ(object_->Root(), nullptr);
    EXPECT_FALSE(object_->FindPartPosition(at, "body", 0));
    VeShape* box = VeShape::FromPrimitive({0, 1, 1, 0, nullptr});
    EXPECT_FALSE(object_->SetPartShape(box, "body"));
    object_->PlaySequence(0, &kNormal, 1, 0, nullptr, 0, true);
    EXPECT_TRUE(object_->Players().IsEmpty());
    object_->Draw(0, 0, 0, nullptr);
    box->Release();
}

TEST_F(SequencePlayerTest, UnnamedRootMatchesAnyNameForNodesButNotForParts)
{
    VeShape* box = VeShape::FromPrimitive({0, 1, 1, 0, nullptr});
    ObjectRef object(VeObject::FromShape(box, true));
    box->Release();
    EXPECT_EQ(object->Name(), VeObject::kFromShapeName);
    EXPECT_EQ(object->Root()->FindNode("anything"), object->Root());
    Vec3 at;
    EXPECT_FALSE(object->FindPartPosition(at, "anything", 0));
    EXPECT_TRUE(object->HasBounds());
    EXPECT_EQ(box->UseCount(), 1) << "the node's use";
}

TEST_F(SequencePlayerTest, HierarchyCountsPassToItsShapes)
{
    VeShape* box = VeShape::FromPrimitive({0, 1, 1, 0, nullptr});
    Hierarchy* h = MakeNode("box");
    for (VeShape*& slot : h->shapes_) {
        slot = box;
        box->AddRef();
    }
    box->Release();
    EXPECT_EQ(box->UseCount(), 10);
    h->AddRef();
    EXPECT_EQ(h->useCount_, 2);
    EXPECT_EQ(box->UseCount(), 10) << "a tree in use passes nothing on";
    h->AddHold();
    EXPECT_EQ(box->HoldCount(), 10);
    h->Release();
    h->Release();
    EXPECT_EQ(box->UseCount(), 0) << "held: the shape stays without uses";
    EXPECT_EQ(h->FindNode("BOX"), h);
    h->ReleaseHold();  // frees the tree and its shape
}

} // namespace

namespace {

TEST_F(SequencePlayerTest, NodeMatricesAndMotion)
{
    object_->PlaySequence(0, &kNormal, -1, 0, nullptr, 0, true);
    ShapeInstance* arm = object_->Root()->FindNode("arm");
    Matrix34 m;
    ASSERT_TRUE(object_->Root()->GetNodeMatrix(m, arm, 250));
    Vec3 at;
    ASSERT_TRUE(object_->FindPartPosition(at, "arm", 250));
    EXPECT_NEAR(m.Translation().x, at.x, 1e-5f);
    EXPECT_NEAR(m.Translation().z, at.z, 1e-5f);
    EXPECT_FALSE(arm->GetNodeMatrix(m, object_->Root(), 250)) << "the root is not below the arm";

    // Without motion tables the object stays where it was put.
    object_->placement_.SetPosition({3, 0, 4});
    object_->MotionPosition(at, 5000);
    EXPECT_EQ(at, (Vec3{3, 0, 4}));
}

TEST_F(SequencePlayerTest, ModelMotionFollowsThePlayingSequence)
{
    model_.h->perTick_ = {{0.001f, 0, 0}, {0, 0, 0.002f}};
    ObjectRef walker(VeObject::FromHierarchy(model_.h, false));
    walker->placement_.SetPosition({10, 0, 0});
    walker->motionStart_ = 1000;
    walker->PlaySequence(1, &kNormal, -1, 1000, nullptr, 0, true);
    Vec3 at;
    walker->MotionPosition(at, 1500);
    EXPECT_NEAR(at.x, 10.0f, 1e-5f);
    EXPECT_NEAR(at.z, 1.0f, 1e-5f);
    EXPECT_EQ(walker->SequenceMotion(1), (Vec3{0, 0, 0.002f}));
    EXPECT_EQ(walker->SequenceMotion(5), (Vec3{0, 0, 0}));
}

TEST_F(SequencePlayerTest, PartsTakeNewShapesChildrenAndHierarchies)
{
    VeShape* box = VeShape::FromPrimitive({6, 0, 0, 0, nullptr});
    EXPECT_TRUE(object_->SetPartShape(box, "hand"));
    EXPECT_EQ(box->UseCount(), 1 + kShapeSlots) << "one use for each slot";
    ShapeInstance* extra = ShapeInstance::FromShape(box, false);
    EXPECT_TRUE(object_->Root()->AttachChild(extra, "ARM"));
    EXPECT_EQ(object_->Root()->FindNode("arm")->children_.Count(), 2);
    ShapeInstance* stray = ShapeInstance::FromShape(box, false);
    EXPECT_FALSE(object_->Root()->AttachChild(stray, "body")) << "only below the node itself";
    delete stray;

    // A replacement arm whose first key stands 1 further out: with flag 1 the
    // arm's sequences move along, on a copy of their own.
    std::vector<std::unique_ptr<Sequence>> moved;
    moved.push_back(MakeSequence(0, 1000, {{0, {2, 0, 0}, 0}}));
    HierarchyRef newArm(MakeNode("ARM", MakeSet(std::move(moved))));
    newArm.h->shapes_[0] = box;
    box->AddRef();
    const SequenceSet* shared = model_.h->children_.At(0)[0]->sequences_.get();
    object_->PlaySequence(0, &kNormal, -1, 0, nullptr, 0, true);
    EXPECT_TRUE(object_->SetPartHierarchy(newArm.h, 1));
    ShapeInstance* arm = object_->Root()->FindNode("arm");
    EXPECT_NE(arm->sequences_.get(), shared);
    EXPECT_EQ(arm->savedSequences_.get(), shared);
    EXPECT_EQ(shared->entries_[0]->keys_[1].position_.x, 2.0f) << "the model's own sequences stay";
    Vec3 at;
    ASSERT_TRUE(object_->FindPartPosition(at, "arm", 250));
    // The body, halfway to (1, 0, 0) and a quarter radian about y, carries
    // the arm at 2.5: halfway from 2 to 3 instead of from 1 to 2.
    EXPECT_NEAR(at.x, 0.5f + 2.5f * std::cos(0.25f), 1e-5f);
    EXPECT_EQ(arm->slots_[0], box);
    EXPECT_EQ(arm->slots_[1], nullptr) << "the slots are the new part's";
    box->Release();
}

} // namespace

namespace {

// A playing sequence's sounds stay readable when its node moves to a copy of
// its sequences, again and again (the earlier copies go).
TEST_F(SequencePlayerTest, SoundsOutliveTheNodesSequenceCopies)
{
    auto looping = [] {
        std::vector<std::unique_ptr<Sequence>> seq;
        seq.push_back(MakeSequence(0, 1000, {{0, {0, 0, 0}, 0}, {500, {1, 0, 0}, 0}}));
        seq[0]->sounds_ = {{100, 21}, {600, 22}};
        return MakeSet(std::move(seq));
    };
    HierarchyRef model(MakeNode("gun", looping()));
    HierarchyRef replacement(MakeNode("gun", looping()));
    ObjectRef object(VeObject::FromHierarchy(model.h, false));
    std::vector<int32_t> played;
    SequencePlayer::SetSoundHook([&](int32_t id, VeObject*) { played.push_back(id); });
    object->SetPartHierarchy(replacement.h, 1);
    object->PlaySequence(0, &kNormal, -1, 0, nullptr, 0, true);
    object->SetPartHierarchy(replacement.h, 1);
    object->UpdateSequences(700, DrawFlag::kSequencesGetObject);
    EXPECT_EQ(played, (std::vector<int32_t>{21, 22}));
}

} // namespace
