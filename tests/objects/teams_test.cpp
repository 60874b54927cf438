// Teams: relations by game type, objectives and their messages, flags at
// their dummies, and the formation points of group moves.
#include "objects/teams.h"

#include "app/directories.h"
#include "world/level.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

namespace {

struct Shown {
    std::string text;
    int kind;
    float rate;
    bool operator==(const Shown&) const = default;
};

class TeamsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        Objectives::SetShow([this](const std::string& text, float, float, int kind, float rate) {
            shown.push_back({text, kind, rate});
        });
        Objectives::SetTextSource([](int32_t id) { return "#" + std::to_string(id); });
    }
    void TearDown() override
    {
        Objectives::SetShow(nullptr);
        Objectives::SetTextSource(nullptr);
        TeamTable::Clear();
    }
    std::vector<Shown> shown;
};

TEST_F(TeamsTest, RelationsBySideAndGameType)
{
    struct Case {
        uint32_t gameType;
        int32_t own;
        const char* squad;  // one letter per side: s squad, - not
    };
    const Case cases[] = {
        {0, 1, "-s-ss"}, {4, 1, "-ssss"}, {4, 2, "-ssss"}, {1, 3, "-s-ss"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "type " << c.gameType << " own " << c.own);
        TeamTable::Build(5, c.own, c.gameType);
        ASSERT_EQ(TeamTable::Count(), 5u);
        for (int32_t side = 0; side < 5; ++side) {
            const TeamRecord* r = TeamTable::Find(side);
            EXPECT_EQ(r->squadSide, c.squad[side] == 's') << side;
            EXPECT_EQ(r->hostileSquad, r->squadSide && side != c.own) << side;
            EXPECT_EQ(r->neutral, side == 0);
            EXPECT_TRUE(r->inPlay);
            EXPECT_EQ(r->formation, 2);
        }
        EXPECT_EQ(TeamTable::Find(5), nullptr);
        EXPECT_EQ(TeamTable::Find(-1), nullptr);
        EXPECT_FALSE(TeamTable::IsNeutral(-1));
    }
    TeamTable::Find(3)->objectives.push_back({});
    TeamTable::Build(2, 1, 0);
    EXPECT_EQ(TeamTable::Count(), 2u) << "a smaller table frees the extra records";
    EXPECT_EQ(TeamTable::Find(3), nullptr);
}

TEST_F(TeamsTest, ObjectivesCountDownAndShowTheirMessages)
{
    TeamTable::Build(3, 1, 0);
    TeamRecord& own = *TeamTable::Find(1);
    Objectives::Add(own, Objectives::KindOf("primary"), 7, 3, 10, 11, 12);
    Objectives::Add(own, Objectives::KindOf("SECONDARY"), 8, 1, 20, 21, 22);
    Objectives::Add(own, Objectives::KindOf("bonus"), 9, 1, 30, 31, 32);
    EXPECT_EQ(own.objectives[2].kind, 2);
    EXPECT_EQ(own.objectives[0].prefix, "#2010");

    Objectives::Complete(own, 7);
    Objectives::Complete(own, 7);
    Objectives::Complete(own, 7);
    Objectives::Complete(own, 7);  // completed: nothing
    Objectives::Fail(own, 9);
    Objectives::Complete(own, 9);  // failed: nothing
    Objectives::Complete(own, 8);
    const std::vector<Shown> expected = {
        {"#2010" "2" "#2011", 1, 0.4f}, {"#2010" "1" "#2011", 1, 0.4f}, {"#9067", 0, 1.0f}, {"#9068", 0, 1.0f}};
    EXPECT_EQ(shown, expected);
    EXPECT_EQ(own.objectives[2].stepsLeft, -1);

    shown.clear();
    Objectives::Add(own, 0, 10, 2, 0, 0, 40);
    Objectives::Update();
    EXPECT_EQ(shown, (std::vector<Shown>{{"#2040", 0, 0.4f}})) << "only the open ones";
}

TEST_F(TeamsTest, FlagsStandAtTheirDummiesOrAtTheSideIndex)
{
    CollisionSource source;
    Level stage(nullptr, Vec3{0, 0, 0}, &source);
    Level* level = &stage;
    level->dummies_.push_back({"flag_3", {5, -1, 6}});
    level->dummies_.push_back({"Capture_3", {7, 0, 8}});
    Level* previous = std::exchange(Level::Current(), level);
    TeamTable::Build(5, 1, 5);
    TeamFlags::Setup(1234);
    const TeamRecord& three = *TeamTable::Find(3);
    EXPECT_EQ(three.flagHome, (Vec3{5, -1, 6}));
    EXPECT_EQ(three.capturePoint, (Vec3{7, 0, 8}));
    ASSERT_NE(three.flag, nullptr);
    EXPECT_TRUE(three.flag->present);
    EXPECT_FALSE(three.flag->carried);
    EXPECT_EQ(three.lightColour.green, 0.7f);
    const TeamRecord& four = *TeamTable::Find(4);
    EXPECT_EQ(four.flagHome, (Vec3{4, 0, 4})) << "no dummy: (i, 0, i)";
    EXPECT_EQ(four.capturePoint, (Vec3{4, 0, 4}));
    EXPECT_EQ(TeamTable::Find(0)->flag, nullptr) << "only squad sides";
    Level::Current() = previous;
}

// A flag made while no data folder is known stands bare, but does not keep
// the flags of a later level from their model.
TEST_F(TeamsTest, AFlagMadeBeforeTheDataFoldersAreKnownLeavesLaterFlagsTheirModel)
{
    const std::filesystem::path sample = TREVOK_SAMPLE_DATA_DIR;
    if (!std::filesystem::exists(sample / "rifs" / "objects" / "tf_flag.rif"))
        GTEST_SKIP() << "sample data not generated";
    app::DataDirectories& folders = app::DataDirectories::Global();
    folders.Clear();
    {
        // Bare, unless a flag earlier in the program already loaded the model.
        TeamFlag first(0, 0, 0, 0);
    }
    folders.SetStartDirectory(sample);
    folders.SetPath(app::kRifsDirectory, "rifs");
    {
        TeamFlag dressed(1, 0, 1, 0);
        EXPECT_NE(dressed.Object(), nullptr) << "the model loads once the folder is known";
    }
    folders.Clear();
    folders.SetStartDirectory({});
}

TEST_F(TeamsTest, FormationPointsFollowTheDirection)
{
    TeamTable::Build(2, 1, 0);
    TeamRecord& r = *TeamTable::Find(1);
    const Vec3 reference{10, 0, 10}, direction{0, 0, 2}, offset{1, 0, 0};
    struct Case {
        int32_t formation;
        Vec3 expected;
    };
    const Case cases[] = {{0, {11, 0, 10}}, {1, {8, 0, 10}}, {2, {10, 0, 8}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.formation);
        r.formation = c.formation;
        Vec3 at{0, 0, 0};
        EXPECT_EQ(r.PickFormationNode(reference, direction, offset, nullptr, &at), nullptr);
        EXPECT_NEAR(at.x, c.expected.x, 1e-4f);
        EXPECT_NEAR(at.z, c.expected.z, 1e-4f);
    }
    r.formation = 0;
    Vec3 turned{0, 0, 0};
    r.PickFormationNode(reference, Vec3{2, 0, 0}, offset, nullptr, &turned);
    EXPECT_NEAR(turned.x, 10, 1e-4f) << "a quarter turn takes x to -z";
    EXPECT_NEAR(turned.z, 9, 1e-4f);
}

} // namespace
