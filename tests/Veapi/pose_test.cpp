// Node poses from animation sequences at a table of times, checked against
// hand-computed positions and an independent quaternion library's slerp.
#include <gtest/gtest.h>

#include <Eigen/Geometry>
#include <cmath>

#include "model_support.h"

namespace {

using namespace modeltest;

constexpr float kQuarter = 1.5707963f;
constexpr int32_t kNormal = 0x10000;

// Sequence 0 turns a quarter about y and moves 4 along x in its first span,
// then back in its second: keys at 0 and 400 of 1000 ticks. Sequence 1 has the
// same keys moving only, 2 the same keys without interpolation.
std::shared_ptr<SequenceSet> TestSet()
{
    std::vector<std::unique_ptr<Sequence>> s;
    s.push_back(MakeSequence(0, 1000, {{0, {0, 0, 0}, 0}, {400, {4, 0, 0}, kQuarter}}));
    s.push_back(MakeSequence(1, 1000,
                             {{0, {0, 0, 0}, 0.5f, trevok::kKeyMoves}, {400, {4, 0, 0}, kQuarter, trevok::kKeyMoves}}));
    s.push_back(MakeSequence(2, 1000, {{0, {0, 0, 0}, 0.5f, 0}, {400, {4, 0, 0}, kQuarter, 0}}));
    s.push_back(MakeSequence(3, 500, {{0, {0, 2, 0}, -kQuarter}, {250, {0, 0, 0}, 0}}));
    // The last key sits at the very end, so its span is 0.
    s.push_back(MakeSequence(4, 1000, {{0, {0, 0, 0}, 0}, {1000, {8, 0, 0}, kQuarter}}));
    // No length at all.
    s.push_back(MakeSequence(5, 0, {{0, {1, 1, 1}, 0.25f}}));
    return MakeSet(std::move(s));
}

Eigen::Quaternionf ToEigen(const Quaternion& q)
{
    return Eigen::Quaternionf(q.w, q.x, q.y, q.z);
}

// Angle in degrees between two orientations.
float AngleBetween(const Eigen::Quaternionf& a, const Eigen::Quaternionf& b)
{
    return a.normalized().angularDistance(b.normalized()) * 57.29578f;
}

struct Expected {
    Vec3 position;
    Eigen::Quaternionf rotation;
};

// Hand-computed: linear position, slerped rotation, each only when the key says so.
Expected Between(const SequenceKey& k0, const SequenceKey& k1, float f)
{
    Expected e{k0.position_, ToEigen(k0.rotation_)};
    if (k0.flags_ & trevok::kKeyMoves)
        e.position = k0.position_ + (k1.position_ - k0.position_) * f;
    if (k0.flags_ & trevok::kKeyRotates)
        e.rotation = ToEigen(k0.rotation_).slerp(f, ToEigen(k1.rotation_));
    return e;
}

void ExpectPose(const Matrix34& m, const Expected& e, const std::string& what)
{
    const Vec3 t = m.Translation();
    EXPECT_NEAR(t.x, e.position.x, 1e-4f) << what;
    EXPECT_NEAR(t.y, e.position.y, 1e-4f) << what;
    EXPECT_NEAR(t.z, e.position.z, 1e-4f) << what;
    EXPECT_LT(AngleBetween(ToEigen(Quaternion::FromMatrix(m)), e.rotation), 0.5f) << what;
    // A pure rotation: the part keeps its size.
    const Vec3 x = m.TransformVector({1, 0, 0});
    EXPECT_NEAR(x.Length(), 1.0f, 1e-4f) << what;
}

class PoseTest : public ::testing::Test {
protected:
    void SetUp() override { SequencePlayer::SetTicksPerSecond(1000); }
    void TearDown() override { SequencePlayer::SetTicksPerSecond(0); }
};

TEST_F(PoseTest, NodePoseAtATableOfTimes)
{
    struct Case {
        const char* name;
        int32_t index;
        uint32_t mode;
        int32_t repeats;
        int32_t speed;
        uint64_t start;
        uint64_t dt;
        int k0, k1;
        float fraction;
    };
    const uint64_t kStart = 1000;
    const Case cases[] = {
        {"once, at the start", 0, 0, 1, kNormal, kStart, 0, 0, 1, 0.0f},
        {"once, first span", 0, 0, 1, kNormal, kStart, 200, 0, 1, 0.5f},
        {"once, last span back to the first key", 0, 0, 1, kNormal, kStart, 700, 1, 0, 0.5f},
        {"once, held after the end", 0, SequenceMode::kHoldLastPose, 1, kNormal, kStart, 1500, 0, 1, 1.0f},
        {"three times, second pass", 0, 0, 3, kNormal, kStart, 2200, 0, 1, 0.5f},
        {"for ever, eleventh pass", 0, 0, -1, kNormal, kStart, 10200, 0, 1, 0.5f},
        {"double speed", 0, 0, 1, 2 * kNormal, kStart, 100, 0, 1, 0.5f},
        {"half speed", 0, 0, 1, kNormal / 2, kStart, 400, 0, 1, 0.5f},
        {"backward", 0, SequenceMode::kReverse, 1, kNormal, kStart, 200, 1, 0, 2.0f / 3.0f},
        {"backward, held after the end", 0, SequenceMode::kReverse | SequenceMode::kHoldLastPose, 1, kNormal, kStart,
         1500, 0, 0, 0.0f},
        {"linear keys keep the first rotation", 1, 0, 1, kNormal, kStart, 200, 0, 1, 0.5f},
        {"keys without interpolation", 2, 0, 1, kNormal, kStart, 300, 0, 1, 0.75f},
        {"speed 0 stays at the start", 0, 0, 1, 0, kStart, 5000, 0, 1, 0.0f},
        {"across the 32-bit tick wrap", 0, 0, 1, kNormal, 0xFFFFFF00u, 0x200, 1, 0, 112.0f / 600.0f},
        {"a day of ticks later", 0, 0, -1, kNormal, uint64_t(1) << 36, 200, 0, 1, 0.5f},
        {"backward onto a key without span", 4, SequenceMode::kReverse, 1, kNormal, kStart, 0, 1, 1, 0.0f},
        {"a sequence without length", 5, 0, 1, kNormal, kStart, 300, 0, 0, 0.0f},
    };
    const std::shared_ptr<SequenceSet> set = TestSet();
    for (const Case& c : cases) {
        HierarchyRef model(MakeNode("body", set));
        ObjectRef object(VeObject::FromHierarchy(model.h, false));
        object->PlaySequence(c.index, &c.speed, c.repeats, c.start, nullptr, c.mode, true);
        const Sequence& s = *set->entries_[size_t(c.index)];
        const Expected e = Between(s.keys_[size_t(c.k0)], s.keys_[size_t(c.k1)], c.fraction);
        ExpectPose(object->Root()->AnimatedMatrix(c.start + c.dt), e, c.name);
    }
}

TEST_F(PoseTest, BlendInStartsFromThePreviousPose)
{
    const std::shared_ptr<SequenceSet> set = TestSet();
    HierarchyRef model(MakeNode("body", set));
    ObjectRef object(VeObject::FromHierarchy(model.h, false));
    object->PlaySequence(0, &kNormal, -1, 0, nullptr, 0, true);
    const uint64_t asked = 1200;  // sequence 0 is at 200 of 1000: halfway through its first span
    const Expected previous = Between(set->entries_[0]->keys_[0], set->entries_[0]->keys_[1], 0.5f);
    object->PlaySequence(3, &kNormal, 1, asked, nullptr, SequenceMode::kBlendIn, true);
    // A quarter second at 1000 ticks a second.
    ASSERT_EQ(object->Players().Count(), 2);
    EXPECT_EQ((*object->Players().At(0))->start_, asked + 250);

    const SequenceKey& first = set->entries_[3]->keys_[0];
    const Expected target{first.position_, ToEigen(first.rotation_)};
    struct Case {
        const char* name;
        uint64_t time;
        float fraction;
    };
    const Case cases[] = {
        {"before the blend start", asked - 50, 0.0f},
        {"at the blend start", asked, 0.0f},
        {"halfway", asked + 125, 0.5f},
        {"at the sequence start", asked + 250, 1.0f},
    };
    for (const Case& c : cases) {
        Expected e;
        e.position = previous.position + (target.position - previous.position) * c.fraction;
        e.rotation = previous.rotation.slerp(c.fraction, target.rotation);
        ExpectPose(object->Root()->AnimatedMatrix(c.time), e, c.name);
    }
}

TEST_F(PoseTest, ChildPosesComposeUpTheTree)
{
    // The arm stands 1 along x from the body, which turns a quarter about y.
    std::vector<std::unique_ptr<Sequence>> body, arm;
    body.push_back(MakeSequence(0, 1000, {{0, {0, 0, 5}, kQuarter}}));
    arm.push_back(MakeSequence(0, 1000, {{0, {1, 0, 0}, 0}, {500, {3, 0, 0}, 0}}));
    Hierarchy* root = MakeNode("body", MakeSet(std::move(body)));
    root->children_.PushBack(MakeNode("arm", MakeSet(std::move(arm))));
    HierarchyRef model(root);
    ObjectRef object(VeObject::FromHierarchy(model.h, false));
    object->PlaySequence(0, &kNormal, -1, 0, nullptr, 0, true);
    Vec3 at;
    ASSERT_TRUE(object->FindPartPosition(at, "ARM", 250));
    // The arm at x = 2 turned a quarter about y lands at z = -2 from the body.
    EXPECT_NEAR(at.x, 0.0f, 1e-4f);
    EXPECT_NEAR(at.z, 5.0f - 2.0f, 1e-4f);
    ASSERT_TRUE(model.h->FindNodePosition(at, "arm"));
    EXPECT_NEAR(at.z, 5.0f - 1.0f, 1e-4f);
    EXPECT_FALSE(object->FindPartPosition(at, "leg", 250));
    EXPECT_FALSE(model.h->FindNodePosition(at, "leg"));
}

} // namespace

namespace {

// Rotations from a file may be anything: one too long to normalise, or of no
// length at all, leaves the part unturned rather than spreading infinities.
TEST_F(PoseTest, RotationsWithoutAUsableLengthLeaveThePartUnturned)
{
    for (const Quaternion& q : {Quaternion{-1.0e34f, 0, 0, 1}, Quaternion{0, 0, 0, 0}}) {
        std::vector<std::unique_ptr<Sequence>> s;
        s.push_back(MakeSequence(0, 1000, {{0, {1, 2, 3}, 0}, {500, {1, 2, 3}, 0}}));
        s[0]->keys_[0].rotation_ = s[0]->keys_[0].blend_.from_ = s[0]->keys_[1].blend_.to_ = q;
        HierarchyRef model(MakeNode("part", MakeSet(std::move(s))));
        ObjectRef object(VeObject::FromHierarchy(model.h, false));
        ExpectPose(object->Root()->AnimatedMatrix(0), {{1, 2, 3}, Eigen::Quaternionf::Identity()}, "at rest");
        object->PlaySequence(0, &kNormal, 1, 0, nullptr, 0, true);
        ExpectPose(object->Root()->AnimatedMatrix(0), {{1, 2, 3}, Eigen::Quaternionf::Identity()}, "playing");
    }
}

} // namespace
