// 'Wait for' conditions against a fake client world: phrases, inversion,
// squad counting, camera turns, and objects that go while a condition waits.
#include "console/wait_for.h"

#include "console_fixture.h"

#include <cmath>
#include <map>
#include <set>

namespace console_test {
namespace {

struct FakeObject {
    Vec3 position{0, 0, 0};
    bool moving = false, selected = false, collected = false, attacking = false;
    uint32_t target = 0;
    std::string role;
};

class FakeWorld : public WaitForWorld {
public:
    bool CameraLocked() const override { return locked; }
    float CameraHeading() const override { return heading; }
    float Zoom() const override { return zoom; }
    Vec3 CameraFocus() const override { return focus; }
    bool NormalView() const override { return normal; }
    bool Paused() const override { return paused; }
    std::vector<uint32_t> Squad() const override { return squad; }
    bool Exists(uint32_t id) const override { return objects.count(id) != 0; }
    Vec3 Position(uint32_t id) const override { return Exists(id) ? objects.at(id).position : Vec3{0, 0, 0}; }
    bool Moving(uint32_t id) const override { return Exists(id) && objects.at(id).moving; }
    bool Selected(uint32_t id) const override { return Exists(id) && objects.at(id).selected; }
    bool Collected(uint32_t id) const override { return Exists(id) && objects.at(id).collected; }
    bool Attacking(uint32_t id) const override { return Exists(id) && objects.at(id).attacking; }
    uint32_t Target(uint32_t id) const override { return Exists(id) ? objects.at(id).target : 0; }
    int32_t FindRole(const std::string& name) const override { return roles.count(name) ? 1 : -1; }
    std::vector<uint32_t> ObjectsOfRole(const std::string& name) const override
    {
        std::vector<uint32_t> out;
        for (const auto& [id, o] : objects)
            if (o.role == name)
                out.push_back(id);
        return out;
    }
    int32_t PlayerFormation() const override { return formation; }

    bool locked = false, normal = true, paused = false;
    float heading = 0, zoom = 10;
    Vec3 focus{0, 0, 0};
    std::vector<uint32_t> squad;
    std::map<uint32_t, FakeObject> objects;
    std::set<std::string> roles;
    int32_t formation = 0;
};

class WaitForTest : public ConsoleTest {
protected:
    void SetUp() override
    {
        ConsoleTest::SetUp();
        WaitFor::Reset();
        WaitFor::SetWorld(&world);
    }
    void TearDown() override
    {
        WaitFor::Reset();
        WaitFor::SetWorld(nullptr);
        ConsoleTest::TearDown();
    }
    // Squad members 1..n, each named "m<id>".
    void MakeSquad(int n)
    {
        for (uint32_t id = 1; id <= uint32_t(n); ++id) {
            world.squad.push_back(id);
            world.objects[id] = {};
            NamedValueList::Global().Set("m" + std::to_string(id), float(id));
        }
    }
    FakeWorld world;
};

TEST_F(WaitForTest, PhrasesMatchByLongestPrefixAnyCaseWithInversion)
{
    world.objects[5] = {};
    world.objects[5].collected = true;
    world.focus = {1, 2, 3};
    NamedValueList::Global().Set("crate", 5);
    struct Case {
        const char* text;
        bool parses;
        bool satisfied;
    };
    const Case cases[] = {
        {"camera to be locked", true, false},
        {"CAMERA TO BE UNLOCKED", true, true},
        {"CAMERA TO BE ROTATEDxyz", true, false},  // no word boundary needed
        {"NORMAL VIEW MODE", true, true},
        {"RECON VIEW MODE", true, false},
        {"GAME TO BE UNPAUSED", true, true},
        {"ACTIVE PAUSE", true, false},
        {"MAIN GAME MODE", true, true},
        {"UPGRADE SCREEN", true, false},
        {"ACTOR \"crate\" TO BE COLLECTED", true, true},
        {"ACTOR \"crate\" TO BE CENTRED", true, false},
        {"ACTOR \"crate\"", false, false},
        {"ACTOR \"crate", false, false},
        {"ACTOR \"\" TO DIE", false, false},
        {"ACTOR \"nobody\" TO DIE", false, false},
        {"STANDING ORDERS MENU", false, false},
        {"SOME FRIENDLIES", false, false},
        {"DANCE", false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        WaitFor::Reset();
        EXPECT_EQ(WaitFor::Parse(c.text), c.parses);
        EXPECT_EQ(WaitFor::IsSet(), c.parses);
        EXPECT_EQ(WaitFor::IsSatisfied(), c.satisfied);
    }
}

TEST_F(WaitForTest, SquadCountingRule)
{
    struct Case {
        int squad;
        int moving;
        bool some, all;
    };
    const Case cases[] = {{3, 3, false, true}, {3, 2, true, false}, {3, 1, false, false},
                          {1, 1, true, true},  {1, 0, false, false}, {0, 0, false, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.moving) + " of " + std::to_string(c.squad));
        world.squad.clear();
        world.objects.clear();
        MakeSquad(c.squad);
        for (int i = 1; i <= c.moving; ++i)
            world.objects[uint32_t(i)].moving = true;
        for (const auto& [text, expected] : {std::pair{"SOME FRIENDLIES TO MOVE", c.some},
                                             std::pair{"ALL FRIENDLIES TO MOVE", c.all}}) {
            WaitFor::Reset();
            ASSERT_TRUE(WaitFor::Parse(text));
            EXPECT_EQ(WaitFor::IsSatisfied(), expected) << text;
        }
    }
    WaitFor::Reset();
    world.formation = 1;
    ASSERT_TRUE(WaitFor::Parse("SOME FRIENDLIES TO USE ABREAST FORMATION"));
    EXPECT_FALSE(WaitFor::IsSatisfied());
    WaitFor::Reset();
    ASSERT_TRUE(WaitFor::Parse("ALL FRIENDLIES TO USE ABREAST FORMATION"));
    EXPECT_TRUE(WaitFor::IsSatisfied());
}

TEST_F(WaitForTest, CameraTurnNeedsMoreThanTwentyFiveDegreesEitherWay)
{
    const float degree = 4096.0f / 360.0f;
    const struct {
        float start, turn;
        bool met;
    } cases[] = {{1000, 20, false}, {1000, -20, false}, {1000, 30, true}, {1000, -30, true},
                 {10, -20, false},  {10, -30, true},    {4090, 20, false}, {4090, 30, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.start) + " turned " + std::to_string(c.turn));
        WaitFor::Reset();
        world.heading = c.start;
        ASSERT_TRUE(WaitFor::Parse("CAMERA TO BE ROTATED"));
        float h = std::fmod(c.start + c.turn * degree, 4096.0f);
        world.heading = h < 0 ? h + 4096.0f : h;
        EXPECT_EQ(WaitFor::IsSatisfied(), c.met);
    }
}

TEST_F(WaitForTest, HaveMovedNeverReadsPastItsSnapshot)
{
    MakeSquad(2);
    ASSERT_TRUE(WaitFor::Parse("ALL FRIENDLIES TO HAVE MOVED"));
    EXPECT_FALSE(WaitFor::IsSatisfied());
    world.squad.push_back(3); // joined later: counts as moved
    world.objects[3] = {};
    world.objects[1].position = {1, 0, 0};
    EXPECT_FALSE(WaitFor::IsSatisfied());
    world.objects[2].position = {0, 0, 1};
    EXPECT_TRUE(WaitFor::IsSatisfied());
    EXPECT_FALSE(WaitFor::IsSet());
}

TEST_F(WaitForTest, AnActorRemovedWhileWaitingIsOnlyAbsent)
{
    MakeSquad(1);
    world.objects[1].moving = true;
    ASSERT_TRUE(WaitFor::Parse("FRIENDLY ACTOR \"m1\" TO STOP"));
    EXPECT_FALSE(WaitFor::IsSatisfied());
    world.objects[1].moving = false;
    EXPECT_TRUE(WaitFor::IsSatisfied());

    world.objects[1].moving = true;
    ASSERT_TRUE(WaitFor::Parse("ACTOR \"m1\" TO BE COLLECTED"));
    world.objects.erase(1);
    world.squad.clear();
    EXPECT_FALSE(WaitFor::IsSatisfied()) << "the id is looked up again; nothing dangles";
    WaitFor::NotifyObjectRemoved(1);
    EXPECT_TRUE(WaitFor::IsSatisfied());
}

TEST_F(WaitForTest, RolesAreSnapshotAtInstallation)
{
    world.roles = {"crate"};
    world.objects[7].role = "crate";
    ASSERT_TRUE(WaitFor::Parse("ACTOR WITH ROLE \"crate\" TO BE CREATED"));
    EXPECT_FALSE(WaitFor::IsSatisfied());
    world.objects[8].role = "crate";
    EXPECT_TRUE(WaitFor::IsSatisfied());
    ASSERT_TRUE(WaitFor::Parse("ACTOR WITH ROLE \"crate\" TO BE DESTROYED"));
    world.objects.erase(7);
    EXPECT_TRUE(WaitFor::IsSatisfied());
    EXPECT_FALSE(WaitFor::Parse("ACTOR WITH ROLE \"barrel\" TO BE CREATED"));
}

TEST_F(WaitForTest, ConsoleCommandsReportAndRefuseASecondCondition)
{
    CommandTable::Global().RegisterAll();
    world.locked = false;
    Typed("WAIT FOR CAMERA TO BE LOCKED");
    Typed("WAIT FOR CAMERA TO BE UNLOCKED");
    Typed("GET WAIT FOR");
    EXPECT_EQ(Last(), "Waiting for CAMERA TO BE LOCKED");
    Typed("CHECK WAIT FOR");
    EXPECT_EQ(Last(), "'Wait for' trigger was not satisfied.");
    world.locked = true;
    Typed("CHECK WAIT FOR");
    EXPECT_EQ(Last(), "'Wait for' trigger was satisfied. (Removed.)");
    EXPECT_FALSE(WaitFor::IsSet());
    Typed("GET WAIT FOR");
    EXPECT_EQ(Last(), "No 'wait for' trigger set.");
}

} // namespace
} // namespace console_test
