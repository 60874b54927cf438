// The trigger, door and objective commands on a running server thread with
// no level: what each line adds, sends or changes.
#include "console/level_commands.h"

#include "console/command_script.h"
#include "console/screen_message.h"
#include "console/wait_for.h"
#include "session/level_session.h"
#include "world/fog_of_war.h"

#include "app/app_state.h"
#include "console_fixture.h"
#include "objects/level_triggers.h"
#include "objects/server_link.h"
#include "objects/teams.h"
#include "session/doors.h"
#include "session/message_queue.h"
#include "session/server_thread.h"
#include "world/level_fixture.h"

#include <cstring>

namespace console_test {
namespace {

class LevelCommandsTest : public ConsoleTest {
protected:
    void SetUp() override
    {
        ConsoleTest::SetUp();
        CommandTable::Global().RegisterAll();
        Server::SetHooks({});
        ASSERT_TRUE(Server::Start(nullptr));
        SetAppState(AppState::Playing);
        LevelTriggers::Clear();
        Doors::Clear();
        Drain();
    }
    void TearDown() override
    {
        LevelTriggers::Clear();
        Doors::Clear();
        TeamTable::Clear();
        Server::Stop();
        Drain();
        SetAppState(AppState::None);
        ConsoleTest::TearDown();
    }
    static void Drain()
    {
        while (!ServerToClientQueue.Pop().IsEmpty()) {
        }
    }
    static std::vector<std::pair<uint32_t, uint32_t>> Sent()
    {
        std::vector<std::pair<uint32_t, uint32_t>> out;
        for (GameMessage m = ServerToClientQueue.Pop(); !m.IsEmpty(); m = ServerToClientQueue.Pop()) {
            uint32_t w[2] = {};
            std::memcpy(w, m.Data(), std::min<size_t>(8, m.Size()));
            out.emplace_back(w[0], w[1]);
        }
        return out;
    }
    static LevelTrigger* Only()
    {
        LevelTrigger** first = LevelTriggers::All().Count() == 1 ? LevelTriggers::All().At(0) : nullptr;
        return first ? *first : nullptr;
    }
};

TEST_F(LevelCommandsTest, AddTriggerReadsEachKeywordsArguments)
{
    struct Case {
        const char* line;
        uint32_t kind;
        Vec3 first, second;
        int64_t value;
        float radiusSquared;
        std::vector<std::string> names;
        std::string script;
    };
    const Case cases[] = {
        {"ADD TRIGGER death win.tcs boss guard", 0, {}, {}, 0, 0, {"boss", "guard"}, "win.tcs"},
        {"ADD TRIGGER LOCATION 1 2 3 5 reach the gate.tcs", 1, {1, 2, 3}, {}, 5, 25, {}, "reach the gate.tcs"},
        {"ADD TRIGGER LOCATION_ALL 1 2 3", 2, {1, 2, 3}, {}, 0, 0, {}, ""},
        {"ADD TRIGGER INSTANTDEATH 4 5 6 3", 3, {4, 5, 6}, {}, 3, 9, {}, ""},
        {"ADD TRIGGER INSTANTDISPLACE 4 5 6 3 7 8 9", 4, {4, 5, 6}, {7, 8, 9}, 3, 9, {}, ""},
        {"ADD TRIGGER ESCORT 1 1 1 4 out.tcs vip", 6, {1, 1, 1}, {}, 4, 16, {"vip"}, "out.tcs"},
        {"ADD TRIGGER PROXIMITY 3 vip near.tcs", 7, {}, {}, 3, 9, {"vip"}, "near.tcs"},
        {"ADD TRIGGER DOOR 1 2 3 4 gate", 8, {1, 2, 3}, {1, 2, 3}, 4, 16, {"gate"}, ""},
        {"ADD TRIGGER DOORS 1 2 3 4 5 6 2 gate", 8, {1, 2, 3}, {4, 5, 6}, 2, 4, {"gate"}, ""},
        {"ADD TRIGGER DOOR_ONCE 1 2 3 2 lift", 9, {1, 2, 3}, {}, 2, 4, {"lift"}, ""},
        {"ADD TRIGGER DOORS_EITHER 1 2 3 4 5 6", 10, {1, 2, 3}, {4, 5, 6}, 2, 4, {}, ""},
        {"ADD TRIGGER FOUR_DOORS 1 1 1 2 2 2 3 3 3 4 4 4 3 all four.tcs", 11, {1, 1, 1}, {2, 2, 2}, 3, 9, {},
         "all four.tcs"},
        {"ADD TRIGGER LIGHT_UP 1 2 3", 12, {1, 2, 3}, {}, 1, 1, {}, ""},
        {"ADD TRIGGER DEFOG 7 8 9 4", 13, {7, 8, 9}, {7, 8, 9}, 4, 16, {}, ""},
        {"ADD TRIGGER DEFOG 7 8 9 4 1 1 1 6", 13, {1, 1, 1}, {7, 8, 9}, 4, 16, {}, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        LevelTriggers::Clear();
        Typed(c.line);
        LevelTrigger* t = Only();
        ASSERT_NE(t, nullptr);
        EXPECT_EQ(t->kind_, c.kind);
        EXPECT_EQ(t->positions_[0].x, c.first.x);
        EXPECT_EQ(t->positions_[0].z, c.first.z);
        EXPECT_EQ(t->positions_[1].y, c.second.y);
        EXPECT_EQ(t->value_, c.value);
        EXPECT_EQ(t->radiusSquared_, c.radiusSquared);
        EXPECT_EQ(t->names_, c.names);
        EXPECT_EQ(t->script_, c.script);
    }
    LevelTriggers::Clear();
    Typed("ADD TRIGGER DEFOG 7 8 9 4 1 1 1 6");
    EXPECT_EQ(Only()->positions_[2].y, 6.0f) << "the clearing radius";
}

TEST_F(LevelCommandsTest, BadTriggerLinesAddNothing)
{
    for (const char* line : {"ADD TRIGGER NOSUCHKIND 1 2 3", "ADD TRIGGER LOCATION nowhere 5",
                             "ADD TRIGGER DOOR nowhere 2 gate", "ADD TRIGGER SHOT 0 0 0 1 1 1 8 no_such_role"}) {
        SCOPED_TRACE(line);
        Typed(line);
        EXPECT_TRUE(LevelTriggers::All().IsEmpty());
    }
    Typed("ADD TRIGGER DOOR nowhere 2 gate");
    EXPECT_EQ(Last(), "Invalid dummy object specified.");
}

TEST_F(LevelCommandsTest, TimeTriggerCountsFromTheServerClock)
{
    const uint64_t before = ServerLink::Get().Now();
    Typed("ADD TRIGGER TIME 30 later.tcs");
    const LevelTrigger* t = Only();
    ASSERT_NE(t, nullptr);
    const int64_t thirty = int64_t(30 * ServerLink::Get().TicksPerSecond());
    const int64_t value = t->value_;
    EXPECT_GE(value, int64_t(before) + thirty);
    EXPECT_LE(value, int64_t(ServerLink::Get().Now()) + thirty);
}

TEST_F(LevelCommandsTest, DoorSwitchesSendTheirMessages)
{
    Doors::All().push_back({4, {}, false});
    DoorEntry closedOne{4, {}, true};
    closedOne.polygons.resize(1); // TOGGLE needs polygons; never dereferenced
    Doors::All().push_back(closedOne);
    DoorEntry openOne{4, {}, false};
    openOne.polygons.resize(1);
    Doors::All().push_back(openOne);
    const struct {
        const char* line;
        std::vector<std::pair<uint32_t, uint32_t>> sent;
    } cases[] = {
        {"OPEN DOOR 4", {{121, 4}}},
        {"CLOSE DOOR 7", {{122, 7}}},
        {"TOGGLE DOOR 4", {{121, 4}, {122, 4}}},
        {"TOGGLE DOOR 9", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        Typed(c.line);
        EXPECT_EQ(Sent(), c.sent);
    }
    Doors::Clear();
}

// With no client on this machine nobody would apply the messages, so the
// switches change the server's own level at once; TOGGLE as well as OPEN and
// CLOSE, or the server would path through a door its players see shut.
TEST_F(LevelCommandsTest, DoorSwitchesApplyHereWithoutAClient)
{
    CollisionSource floor;
    leveltest::AddFloor(floor, 0, 0, 0, 2, 2, 0x2000);
    const std::unique_ptr<Level> level = leveltest::MakeLevel(floor, 4, 1, 4);
    Level::Current() = level.get();
    ASSERT_TRUE(Doors::Declare(*level, {1, -0.5f, 1}, 4));
    const struct {
        const char* line;
        bool closed;
    } steps[] = {
        {"TOGGLE DOOR 4", true}, {"TOGGLE DOOR 4", false}, {"CLOSE DOOR 4", true},
        {"TOGGLE DOOR 5", true}, {"OPEN DOOR 4", false},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.line);
        Typed(step.line);
        EXPECT_EQ(Doors::All()[0].closed, step.closed);
    }
    Doors::Clear();
    Level::Current() = nullptr;
}

TEST_F(LevelCommandsTest, ObjectiveCommandsReachEveryTeam)
{
    TeamTable::Build(3, 1, 0);
    Typed("ADD OBJECTIVE 1 PRIMARY 7 2 0 0 0");
    Typed("ADD OBJECTIVE 2 TERTIARY 7 1 0 0 0");
    Typed("ADD OBJECTIVE 3 PRIMARY 7 1 0 0 0"); // no team 3
    ASSERT_EQ(TeamTable::Find(1)->objectives.size(), 1u);
    ASSERT_EQ(TeamTable::Find(2)->objectives.size(), 1u);
    EXPECT_EQ(TeamTable::Find(2)->objectives[0].kind, 2);
    Typed("COMPLETE OBJECTIVE 7");
    EXPECT_EQ(TeamTable::Find(1)->objectives[0].stepsLeft, 1);
    EXPECT_EQ(TeamTable::Find(2)->objectives[0].stepsLeft, 0);
    Typed("COMPLETE OBJECTIVE -1");
    Typed("FAIL OBJECTIVE 7");
    EXPECT_EQ(TeamTable::Find(1)->objectives[0].stepsLeft, -1);
}

// The objectives' texts reach the screen: a step counted down, the last
// step's completion text, and the own side's open objectives on the key.
TEST_F(LevelCommandsTest, ObjectiveTextsAppearOnTheScreen)
{
    TeamTable::Build(3, 1, 0);
    ScreenMessages::Clear();
    Typed("ADD OBJECTIVE 1 PRIMARY 7 2 0 0 0");
    Typed("COMPLETE OBJECTIVE 7");
    Objectives::Update();
    Typed("COMPLETE OBJECTIVE 7");
    Objectives::Update();  // nothing open any more
    const struct {
        int kind;
        float width;
    } shown[] = {
        {1, 0.4f},  // steps left
        {0, 0.4f},  // the open objective's description
        {0, 1.0f},  // completed
    };
    const auto& all = ScreenMessages::All();
    ASSERT_EQ(all.size(), std::size(shown));
    for (size_t i = 0; i < all.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(all[i]->kind, shown[i].kind);
        EXPECT_NEAR(all[i]->right - all[i]->left, shown[i].width, 1e-5f);
    }
    EXPECT_NE(all[0]->text.find('1'), std::string::npos) << "the steps left: " << all[0]->text;
    ScreenMessages::Clear();
}

} // namespace
} // namespace console_test

namespace console_test {
namespace {

TEST_F(LevelCommandsTest, TheSampleCompanionFilePlacesItsTriggersAndWaits)
{
    const std::filesystem::path file = std::filesystem::path(TREVOK_SAMPLE_DATA_DIR) / "scripts" / "trigger_kinds.tcs";
    if (!std::filesystem::exists(file))
        GTEST_SKIP() << "sample data not generated";
    TeamTable::Build(3, 1, 0);
    ASSERT_TRUE(CommandScript::QueueFile(file, {LineSource::LevelFile, "trigger_kinds.tcs", 0}));
    CommandScript::RunAll();
    // Every keyword but SHOT, whose role this bare world does not have.
    EXPECT_EQ(LevelTriggers::All().Count(), 15);
    EXPECT_EQ(TeamTable::Find(1)->objectives.size(), 2u);
    EXPECT_TRUE(WaitFor::IsSet()) << "the script holds at its first WAIT FOR";
    EXPECT_EQ(WaitFor::AppendText(), "CAMERA TO BE ROTATED");
    EXPECT_TRUE(CommandScript::IsPending());
    CommandScript::Clear();
    WaitFor::Reset();
}

} // namespace
} // namespace console_test

namespace console_test {
namespace {

TEST_F(LevelCommandsTest, SessionCommandsSetOrPrint)
{
    Session::Hooks().registerCommands();
    FogOfWar::Global() = new FogOfWar(16, 1024);  // the settings need no device
    const struct {
        const char* line;
        const char* printed;  // null: nothing new printed
    } cases[] = {
        {"GAMESPEED 0", "Game speed set to 0.00"},
        {"GAMESPEED", "Game speed is 0.00"},
        {"GAMESPEED 1", "Game speed set to 1.00"},
        {"FOGVALUE 0.25", nullptr},
        {"FOGVALUE 1.5", "Fog of discovery value is 0.25"},
        {"FOGTRANSITION 4", nullptr},
        {"FOGTRANSITION", "Fog transition distance is 4.00"},
        {"FOGUPDATE 0", "Fog update rate is 0.00"},
        {"FOGUPDATE 2", nullptr},
        {"FOGUPDATE", "Fog update rate is 2.00"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        TextConsole::Get().lines.clear();
        Typed(c.line);
        if (c.printed)
            EXPECT_EQ(Last(), c.printed);
        else
            EXPECT_TRUE(Last().empty()) << Last();
    }
    EXPECT_EQ(FogOfWar::Global()->transitionReciprocal_, 0.25f);
    FogOfWar::DestroyGlobal();
    Session::Hooks().removeCommands();
}

} // namespace
} // namespace console_test
