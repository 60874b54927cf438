// The world and unit commands run through the dispatcher against a server
// world: what each line spawns, changes and sends (byte by byte), what it
// prints, and the guards that keep bad arguments from doing anything.
#include "console/world_commands.h"

#include "app/app_state.h"
#include "app/clock.h"
#include "console/command_script.h"
#include "console/console.h"
#include "console/developer_commands.h"
#include "console/named_values.h"
#include "console/script_messages.h"
#include "objects/actor.h"
#include "objects/inventory.h"
#include "objects/path_mover.h"
#include "objects/role_table.h"
#include "objects/server_kinds.h"
#include "objects/unit_actor.h"
#include "objects/world_object.h"
#include "session/message_sizes.h"
#include "session/saved_game.h"
#include "session/server_thread.h"
#include "tests/objects/server_fixture.h"
#include "world/level.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <unistd.h>

namespace {

int64_t g_now = 0;
bool g_server = true;
std::vector<SentMessage>* g_sent = nullptr;

// An object that records what the commands ask of items.
class ItemProbe : public GameObject {
public:
    ItemProbe(script::Role* role, uint32_t id) : GameObject(0, role, {0, 0, 0}, Quaternion::Identity(), 0, id) {}
    bool IsKind(int32_t kind) const override { return kind == 10; }
    void ApplyRoleValue(int32_t value) override { state = value; }
    void Associate(const char* name, bool once) override
    {
        script = name ? name : "(none)";
        runOnce = once;
    }
    void SetRequiredRole(const char* name) override { required = name ? name : "(none)"; }

    int32_t state = -1;
    std::string script, required;
    bool runOnce = false;
};

class WorldCommandsTest : public ServerWorld {
protected:
    void SetUp() override
    {
        ServerWorld::SetUp();
        RoleTable::Global().Clear();
        RoleTable::Global().ResetIds();
        TeamTable::Build(4, 1, 0); // 0 neutral, 1 the squad, 2 and 3 others
        g_now = 0;
        TextConsole::SetClocks({[] { return g_now; }, [] { return g_now; }, [] { return int64_t{1000}; }});
        TextConsole::Create();
        TextConsole::Get().lines.clear();
        SetAppState(AppState::Playing);
        g_server = true;
        g_sent = &sent;
        ScriptMessages::SetRunsServer([] { return g_server; });
        ScriptMessages::SetSink([](std::span<const uint8_t> block, bool guaranteed) {
            g_sent->push_back({std::vector<uint8_t>(block.begin(), block.end()), guaranteed});
            return true;
        });
        WorldCommands::Unit() = {};
        WorldCommands::difficulty = 0;
        WorldCommands::Client() = {};
        WorldCommands::Client().runsClient = [] { return true; };
        PlayerControlsOff = false;
        ServerRandom::Get().Reset();
    }
    void TearDown() override
    {
        Level::Current() = nullptr;
        ScriptMessages::SetSink(nullptr);
        ScriptMessages::SetRunsServer(nullptr);
        WorldCommands::Client() = {};
        PlayerControlsOff = false;
        TextConsole::Shutdown();
        TextConsole::SetClocks({});
        SetAppState(AppState::None);
        ServerWorld::TearDown();
        RoleTable::Global().Clear();
    }

    script::Role& Named(const char* name, int32_t aiType = 0, bool character = true)
    {
        script::Role& role = NewRole();
        role.identifier = name;
        role.aiType = aiType;
        if (!character)
            role.character.reset();
        RoleTable::Global().File(role);
        return role;
    }
    UnitActor* Unit(script::Role& role, int32_t side, const Vec3& at, const char* token = nullptr)
    {
        auto* unit = new UnitActor(side, &role, at, Quaternion::Identity(), ObjectRegistry::Global().TakeNextId());
        SideLists::Global().Add(*unit);
        unit->Activate(now, 0);
        if (token)
            NamedValueList::Global().Set(token, float(unit->GetId()));
        return unit;
    }
    template <class T> T* Token(T* object, const char* token)
    {
        NamedValueList::Global().Set(token, float(object->GetId()));
        return object;
    }
    static void Run(const char* line) { TextConsole::ExecuteAtFullAccess(line); }
    static std::string Last()
    {
        const auto& s = TextConsole::Get();
        if (!s.pending.empty())
            return s.pending.back().text;
        return s.lines.empty() ? std::string() : s.lines.back().text;
    }
    static float Res()
    {
        float v = -12345.0f;
        NamedValueList::Global().Get("res", v);
        return v;
    }
    void Forget()
    {
        sent.clear();
        TextConsole::Get().lines.clear();
        TextConsole::Get().pending.clear();
    }
};

TEST_F(WorldCommandsTest, SpawningBySideTeamAndDifficulty)
{
    Named("grunt");
    Named("crate", 10);
    struct Case {
        const char* line;
        int32_t difficulty;
        bool server;
        size_t spawned;
        int32_t side;     // of the last one
        float x;
        bool resIsLastId; // else res as given
        float res;
        std::string printed;
    };
    const Case cases[] = {
        {"ADD grunt 1 2 3", 0, true, 1, 2, 1, true, 0, ""},
        {"add crate 1 2 3", 0, true, 1, 0, 1, true, 0, ""},
        {"SPAWN grunt 1 2 3", 1, true, 2, 2, 1, true, 0, ""},
        {"SPAWN grunt 1 2 3", 2, true, 3, 2, 1, true, 0, ""},
        {"SPAWN grunt 1 2 3", 5, true, 0, 0, 0, false, 0, ""},
        {"ADD TEAM 3 grunt 1 2 3", 0, true, 1, 3, 1, true, 0, ""},
        {"ADDTEAM 0 grunt 1 2 3", 0, true, 1, 0, 1, true, 0, ""},
        {"SPAWN TEAM 1 grunt 7 0 0", 1, true, 2, 1, 7, true, 0, ""},
        {"ADD TEAM 4 grunt 1 2 3", 0, true, 0, 0, 0, false, 0, "No team of that number."},
        {"SPAWNTEAM -1 grunt 1 2 3", 0, true, 0, 0, 0, false, 0, "No team of that number."},
        {"ADD nosuch 1 2 3", 0, true, 0, 0, 0, false, 0, "No role of that name."},
        {"ADD grunt", 0, true, 0, 0, 0, false, 0, "The cursor is not over the ground."},
        {"ADD grunt 1 2 3", 0, false, 0, 0, 0, false, -1, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        EmptyTables();
        TeamTable::Build(4, 1, 0);
        Forget();
        NamedValueList::Global().Set("res", 0.0f);
        WorldCommands::difficulty = c.difficulty;
        g_server = c.server;
        Run(c.line);
        const auto announced = Sent(ObjectMessage::kSpawned);
        ASSERT_EQ(announced.size(), c.spawned);
        if (c.spawned) {
            EXPECT_EQ(int32_t(announced.back().Word(3)), c.side);
            EXPECT_EQ(announced.back().Float(4), c.x);
        }
        EXPECT_EQ(Res(), c.resIsLastId ? float(announced.back().Word(1)) : c.res);
        EXPECT_EQ(Last(), c.printed);
    }
}

TEST_F(WorldCommandsTest, DifficultyPrefixesRunTheirLineOnlyAtTheirLevel)
{
    const struct {
        const char* line;
        int32_t difficulty;
        float flag;
    } cases[] = {
        {"EASY SET flag 1", 0, 1}, {"EASY SET flag 1", 1, 0}, {"MEDIUM   SET flag 2", 1, 2},
        {"HARD SET flag 3", 1, 0}, {"hard SET flag 3", 2, 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        Run("@TOKEN flag");
        WorldCommands::difficulty = c.difficulty;
        Run(c.line);
        float v = -1;
        NamedValueList::Global().Get("flag", v);
        EXPECT_EQ(v, c.flag);
    }
}

// Every message a line sends: its bytes as the clients read them, and its
// delivery as the size table gives it.
TEST_F(WorldCommandsTest, MessagesGoOutFieldByField)
{
    script::Role& grunt = Named("grunt");
    UnitActor* hero = Unit(grunt, 1, {0, 0, 0}, "hero");
    const uint32_t id = hero->GetId();
    struct Case {
        const char* line;
        std::vector<uint32_t> words; // empty: nothing sent
        bool guaranteed;
    };
    const Case cases[] = {
        {"BOARD 7", {114, 7}, true},
        {"BOARD -1", {}, false},
        {"DEFOGGER 7", {116, 7}, true},
        {"FOGGER 7", {117, 7}, true},
        {"REMOVEBB 9", {120, 9}, true},
        {"ANIM 7", {119, 7, 3}, false},
        {"ANIM 7 12", {119, 7, 12}, false},
        {"ANIM -2 12", {}, false},
        {"PLAYER SELECT hero", {128, id}, true},
        {"PLAYER SELECT nobody", {}, false},
        {"SHADOW hero", {129, id}, false},
        {"GIVE CONTROL hero 2", {57, id, 2}, true},
        {"GIVE CONTROL hero 2", {}, false}, // already on side 2
        {"GIVE CONTROL hero 4", {}, false}, // no such team
        {"GIVE CONTROL hero -1", {}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        sent.clear();
        Run(c.line);
        if (c.words.empty()) {
            EXPECT_TRUE(sent.empty());
            continue;
        }
        ASSERT_EQ(sent.size(), 1u);
        EXPECT_EQ(sent[0].bytes.size(), c.words.size() * 4);
        for (size_t i = 0; i < c.words.size(); ++i)
            EXPECT_EQ(sent[0].Word(i), c.words[i]) << "word " << i;
        EXPECT_EQ(sent[0].guaranteed, c.guaranteed);
        EXPECT_TRUE(MessageSizes::Fits(MessageSizes::Direction::kToClient, sent[0].bytes));
    }
    // GIVE CONTROL moved the unit between the side lists.
    EXPECT_EQ(hero->Side(), 2);
    EXPECT_TRUE(SideLists::Global().Side(1).empty());
    EXPECT_EQ(SideLists::Global().Side(2), std::vector<GameObject*>{hero});
}

TEST_F(WorldCommandsTest, NotTheServerSendsNothing)
{
    script::Role& grunt = Named("grunt");
    Unit(grunt, 1, {0, 0, 0}, "hero");
    g_server = false;
    sent.clear();
    for (const char* line : {"BOARD 7", "DEFOGGER 7", "ANIM 7", "PLAYER SELECT hero", "SHADOW hero",
                             "GIVE CONTROL hero 2", "SET TRACK 1 0 0 0 1 1 1 2 2 2 3 3 3 ON", "HUNTER hero"}) {
        SCOPED_TRACE(line);
        Run(line);
        EXPECT_TRUE(sent.empty());
    }
}

TEST_F(WorldCommandsTest, TrackObjectsTakeTracksSpeedsAndLoops)
{
    script::Role& liftRole = Named("lift", Kind8Object::kAiType, false);
    script::Role& grunt = Named("grunt");
    GameObject* lifts[3];
    for (int i = 0; i < 3; ++i) {
        lifts[i] = Kind8Object::Make(0, &liftRole, {0, 0, 0}, Quaternion::Identity(),
                                     ObjectRegistry::Global().TakeNextId());
        Token(lifts[i], ("lift" + std::to_string(i + 1)).c_str());
    }
    Unit(grunt, 2, {0, 0, 0}, "guard");
    const uint32_t first = lifts[0]->GetId();

    Run(("SET TRACK " + std::to_string(first) + " 0 0 0 1 1 1 2 2 2 3 4 5 ON").c_str());
    ASSERT_EQ(sent.size(), 1u);
    const SentMessage& track = sent[0];
    ASSERT_EQ(track.bytes.size(), 73u);
    EXPECT_EQ(track.Word(0), 102u);
    EXPECT_EQ(track.Word(1), first);
    EXPECT_EQ(track.Float(2 + 9), 3.0f);
    EXPECT_EQ(track.Float(2 + 11), 5.0f);
    for (size_t i = 0; i < 4; ++i)
        EXPECT_EQ(track.Float(14 + i), i == 3 ? 1.0f : 0.0f) << "the identity orientation";
    EXPECT_EQ(track.bytes[72], 1);
    EXPECT_TRUE(track.guaranteed);
    EXPECT_TRUE(static_cast<Kind8Object*>(lifts[0])->PathSet());

    sent.clear();
    // A point that cannot be read ends the command: nothing unset goes out.
    Run(("SET TRACK " + std::to_string(first) + " 0 0 0 1 1 1 nowhere 3 3 3 OFF").c_str());
    EXPECT_TRUE(sent.empty());

    // The guard is skipped, the lifts after it still count.
    Run("SET SPEED 2 lift1 lift2 guard lift3");
    ASSERT_EQ(Sent(104).size(), 3u);
    for (const SentMessage& m : Sent(104)) {
        EXPECT_EQ(m.bytes.size(), 12u);
        EXPECT_EQ(m.Float(2), 2.0f);
    }
    for (GameObject* lift : lifts)
        EXPECT_FLOAT_EQ(static_cast<Kind8Object*>(lift)->Speed(), 0.2f);

    sent.clear();
    Run("SET SPEED 0 lift1");
    EXPECT_TRUE(sent.empty()) << "a stopped track would never arrive";
    EXPECT_FLOAT_EQ(static_cast<Kind8Object*>(lifts[0])->Speed(), 0.2f);

    // 1e8 seconds of a million ticks each: far past what an interval holds.
    Run("SET LOOP TIME 100000000 lift1");
    ASSERT_EQ(Sent(105).size(), 1u);
    EXPECT_EQ(Sent(105)[0].Float(2), 1e8f);
    EXPECT_TRUE(static_cast<Kind8Object*>(lifts[0])->Loops()) << "the huge interval is clamped, not wrapped";
}

TEST_F(WorldCommandsTest, GuardsAndRefusalsPrintTheirTexts)
{
    script::Role& grunt = Named("grunt");
    grunt.armour = 1234567890;
    struct Case {
        const char* line;
        AppState state;
        std::string printed;
    };
    const Case cases[] = {
        {"DELETE 1", AppState::None, "Only in a game."},
        {"SELECT 1", AppState::MainMenu, "Only in a game."},
        {"DELETE 99", AppState::Playing, "No object with that id."},
        {"DELETE -4", AppState::Playing, "No object with that id."},
        {"ADD WAYPOINT 1 2 3", AppState::Playing, "No console unit: SELECT or WATCH one first."},
        {"SET ACTIVITY STOP", AppState::Playing, "No console unit: SELECT or WATCH one first."},
        {"GOTO 1 2 3", AppState::Playing, ""},
        {"SPEAK", AppState::Playing, "No id given, or a negative one."},
        {"SPEAK 99 hello", AppState::Playing, "No object with that id."},
        {"HEAP -5 grunt", AppState::Playing, "No id given, or a negative one."},
        {"HEAP 99 grunt", AppState::Playing, "No object with that id."},
        {"VULNERABILITY -1 grunt 0 SHUTDOWN", AppState::Playing, "No id given, or a negative one."},
        {"SELECT", AppState::Playing, "Nothing under the cursor."},
        {"GET ACTOR NAME", AppState::Playing, "Nothing under the cursor."},
        {"CONTROLS", AppState::Playing, "Controls are currently on"},
        {"GET ROLE ARMOUR", AppState::Playing, "No role ID specified."},
        {"GET ROLE ARMOUR nosuch", AppState::Playing, "No such role."},
        {"GET ROLE ARMOUR grunt", AppState::Playing, "Armour value: 12345"},
        {"SET ROLE ARMOUR -3 grunt", AppState::Playing, "New armour value missing or negative."},
        {"SET ROLE ARMOUR 7 nosuch", AppState::Playing, "No such role."},
        {"TELEPORT AND ORIENTATE nowhere", AppState::Playing, "Position or orientation missing."},
        {"PRESIDENT", AppState::Playing, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        Forget();
        SetAppState(c.state);
        Run(c.line);
        EXPECT_EQ(Last(), c.printed);
        EXPECT_TRUE(sent.empty());
    }
    SetAppState(AppState::Playing);
    Run("SET ROLE ARMOUR 7 grunt");
    EXPECT_EQ(grunt.armour, 7);
}

TEST_F(WorldCommandsTest, ControlsSwitchTheBlockAndEdgeScrolling)
{
    static bool scrolling = true;
    WorldCommands::Client().edgeScrolling = [](bool on) { scrolling = on; };
    Run("CONTROLS OFF");
    EXPECT_EQ(Last(), "");
    EXPECT_TRUE(PlayerControlsOff);
    EXPECT_FALSE(scrolling);
    Run("CONTROLS maybe");
    EXPECT_EQ(Last(), "Controls are currently off");
    Run("controls on");
    EXPECT_FALSE(PlayerControlsOff);
    EXPECT_TRUE(scrolling);
}

TEST_F(WorldCommandsTest, TheConsoleUnitComesFromSelectWatchAndTheCursor)
{
    static int32_t underCursor = -1;
    static int32_t watched = -2;
    underCursor = -1;
    WorldCommands::Client().objectUnderCursor = [] { return underCursor; };
    WorldCommands::Client().watch = [](int32_t id) { watched = id; };
    struct Case {
        const char* line;
        int32_t cursor;
        int32_t unit;
        bool none;
        int32_t watched;
    };
    const Case cases[] = {
        {"SELECT", -1, 0, true, -2},
        {"WATCH", -1, 0, false, 0}, // clears the flag even after string 6077
        {"SELECT 12", -1, 12, false, 0},
        {"SELECT", 31, 31, false, 0},
        {"WATCH 5", -1, 5, false, 5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        underCursor = c.cursor;
        Run(c.line);
        EXPECT_EQ(WorldCommands::Unit().id, c.unit);
        EXPECT_EQ(WorldCommands::Unit().none, c.none);
        EXPECT_EQ(watched, c.watched);
    }
}

TEST_F(WorldCommandsTest, GetSelectedMakesTheSelectedUnitTheConsoleUnit)
{
    WorldCommands::Client().selectedUnit = [] { return int32_t{17}; };
    Run("GET SELECTED");
    EXPECT_EQ(Res(), 17.0f);
    EXPECT_EQ(WorldCommands::Unit().id, 17);
    EXPECT_FALSE(WorldCommands::Unit().none);
    const auto& lines = TextConsole::Get().lines;
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back().text, "Unit 17 is now the console unit.");
}

TEST_F(WorldCommandsTest, OrdersReachTheConsoleUnit)
{
    script::Role& grunt = Named("grunt");
    UnitActor* hero = Unit(grunt, 1, {0, 0, 0});
    Run(("SELECT " + std::to_string(hero->GetId())).c_str());
    Run("ADD WAYPOINT 1 2 3");
    Run("ADD PP 4 5 6");
    // Both points join the route to be walked once; the patrol point also
    // joins the patrol list, kept.
    ASSERT_EQ(hero->Waypoints().size(), 2u);
    EXPECT_EQ(hero->Waypoints()[0].keep, 0);
    EXPECT_EQ(hero->Waypoints()[1].point, (Vec3{4, 5, 6}));
    EXPECT_EQ(hero->Waypoints()[1].keep, 0);
    ASSERT_EQ(hero->SparePoints().size(), 1u);
    EXPECT_EQ(hero->SparePoints()[0].point, (Vec3{4, 5, 6}));
    EXPECT_EQ(hero->SparePoints()[0].keep, 1);
    Run("SET ACTIVITY PATROL");
    EXPECT_EQ(hero->aiState_, 8);
    Run("SET ACTIVITY stop");
    EXPECT_EQ(hero->aiState_, 3);
    Run("SET ACTIVITY dance");
    EXPECT_EQ(hero->aiState_, 3);
    Run("GOTO 7 0 7");
    EXPECT_EQ(hero->aiState_, 8);
}

TEST_F(WorldCommandsTest, TeleportLandsOnThePolygonCentreOrNowhere)
{
    CollisionSource floor;
    floor.points = {{0, 0, 0}, {10, 0, 0}, {10, 0, 10}, {0, 0, 10}};
    floor.quads.push_back({{0, 1, 2, 3}, Vec3(0, -1, 0), 0});
    auto level = std::make_unique<Level>(nullptr, Vec3(0, 0, 0), &floor);
    level->BuildCellGrid(4, 1, 4);
    Level::Current() = level.get();
    script::Role& grunt = Named("grunt");
    UnitActor* hero = Unit(grunt, 1, {1, 0, 1});
    Run(("SELECT " + std::to_string(hero->GetId())).c_str());

    Run("TELEPORT 50 0 50");
    EXPECT_EQ(hero->Position(), (Vec3{1, 0, 1})) << "no ground there: the unit stays";
    EXPECT_TRUE(Sent(76).empty());

    Run("TELEPORT 2 0 3");
    EXPECT_EQ(hero->Position(), (Vec3{5, 0, 5}));
    const auto placed = Sent(76);
    ASSERT_EQ(placed.size(), 1u);
    EXPECT_EQ(placed[0].bytes.size(), 40u);
    EXPECT_TRUE(placed[0].guaranteed);
    EXPECT_EQ(placed[0].Word(1), hero->GetId());
    EXPECT_EQ(placed[0].Float(3), 5.0f);
    EXPECT_EQ(placed[0].Float(9), 1.0f) << "w of the orientation";

    g_server = false;
    Run("TELEPORT 1 0 1");
    EXPECT_EQ(hero->Position(), (Vec3{5, 0, 5}));
}

TEST_F(WorldCommandsTest, SpeakIsSentOnlyWhenSomeoneHears)
{
    script::Role& deaf = Named("deaf");
    script::Role& listener = Named("listener");
    listener.character->hearingRangeSquared = 100.0f;
    UnitActor* speaker = Unit(deaf, 2, {0, 0, 0});
    const std::string id = std::to_string(speaker->GetId());
    Run(("SPEAK " + id + " hello there").c_str());
    EXPECT_TRUE(sent.empty()) << "a zero hearing range and nobody else";

    UnitActor* far = Unit(listener, 2, {20, 0, 0});
    Run(("SPEAK " + id + " hello there").c_str());
    EXPECT_TRUE(sent.empty());
    far->SetPositionQuiet({9, 0, 0});
    const struct {
        std::string line;
        std::string text;
    } cases[] = {
        {"SPEAK " + id + " hello there", "hello there"},
        {"SPEAK " + id + " 0", "Welcome to the training ground."},
        {"SPEAK " + id + " 2147483647", ""}, // past the last string id, no wrap
        {"SPEAK " + id + " -2147483647", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        sent.clear();
        Run(c.line.c_str());
        ASSERT_EQ(sent.size(), 1u);
        const SentMessage& m = sent[0];
        EXPECT_EQ(m.Word(0), 112u);
        EXPECT_EQ(m.Word(1), speaker->GetId());
        ASSERT_EQ(m.bytes.size(), 8 + c.text.size() + 1);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(m.bytes.data() + 8)), c.text);
        EXPECT_FALSE(m.guaranteed);
    }
}

TEST_F(WorldCommandsTest, HeapDrawsAmongTheTargetRoleAndItsList)
{
    script::Role& pile = Named("pile");
    script::Role& gun = Named("gun");
    script::Role& ammo = Named("ammo");
    std::vector<GameObject*> piles;
    for (int i = 0; i < 4; ++i)
        piles.push_back(Make(&pile, 0, {float(i), 0, 0}));
    LockedRandom oracle(ServerRandom::kStartWords);
    script::Role* candidates[] = {&pile, &gun, &ammo};
    Run("HEAP pile gun ammo");
    const auto told = Sent(118);
    ASSERT_EQ(told.size(), 4u);
    size_t i = 0;
    for (GameObject* object : ObjectRegistry::Global().Snapshot()) {
        const script::Role* expected = candidates[(oracle.Next() / 2u) % 3u];
        EXPECT_EQ(object->replacementRole_, expected) << "object " << object->GetId();
        EXPECT_EQ(int32_t(told[i++].Word(2)), expected->id);
    }
    sent.clear();
    Run("HEAP pile nosuch gun");
    EXPECT_EQ(Sent(118).size(), 4u) << "the list ends at the first word that names no role";
}

TEST_F(WorldCommandsTest, HeapOntoAnItemSetsItsStateOnlyFromACharacter)
{
    script::Role& crate = Named("crate", 10);
    script::Role& gun = Named("gun", 10);
    gun.character->aggression = 0.75f;
    Named("rock", 10, false);
    auto* item = new ItemProbe(&crate, ObjectRegistry::Global().TakeNextId());
    const std::string id = std::to_string(item->GetId());
    Run(("HEAP " + id + " rock").c_str());
    EXPECT_EQ(item->state, -1) << "no character record: the state stays";
    Run(("HEAP " + id + " gun").c_str());
    EXPECT_EQ(item->state, 7) << "7.5 rounds down";
}

// The item commands reach a real pick-up or switch: its command file, run
// once flag, required role, item kind and role, and message 92 for every
// script given to it. State carries from row to row.
TEST_F(WorldCommandsTest, ItemCommandsSetThePickUpsOwnState)
{
    script::Role& crate = Named("crate", 10);
    crate.character->aggression = 0.25f;  // item kind 2: no bugs
    script::Role& gun = Named("gun", 10);
    gun.character->aggression = 0.7f;
    script::Role& mine = Named("mine", 10);
    mine.character->aggression = -0.35f;
    script::Role& heavy = Named("heavy", 10);
    heavy.character->aggression = 1e30f;
    Named("rock", 10, false);
    auto* item = Token(new Kind10Object(0, &crate, {0, 0, 0}, Quaternion::Identity(),
                                        ObjectRegistry::Global().TakeNextId()),
                       "button");
    GameObjectRef hold(item);
    const std::string id = std::to_string(item->GetId());
    ASSERT_EQ(item->ItemKind(), 2);
    const struct {
        std::string line;
        const char* file;  // null: none
        bool once;
        const char* required;  // null: none
        int32_t kind;
        const script::Role* role;  // the role it turns into; null: unchecked
        size_t linked;  // messages 92
    } rows[] = {
        {"ASSOCIATE button open gate.tcs", "open gate.tcs", true, nullptr, 2, nullptr, 1},
        {"LINK button alarm.tcs", "alarm.tcs", false, nullptr, 2, nullptr, 1},
        {"LINK button", nullptr, false, nullptr, 2, nullptr, 1},
        {"ASSOCIATE button ../up.tcs", nullptr, false, nullptr, 2, nullptr, 0},
        {"REQUIRES button key_1", nullptr, false, "key_1", 2, nullptr, 0},
        {"REQUIRES button", nullptr, false, nullptr, 2, nullptr, 0},
        {"HEAP " + id + " gun", nullptr, false, nullptr, 6, &gun, 0},
        {"HEAP " + id + " rock", nullptr, false, nullptr, 6, nullptr, 0},
        {"HEAP " + id + " mine", nullptr, false, nullptr, -4, &mine, 0},
        {"HEAP " + id + " heavy", nullptr, false, nullptr, INT32_MAX, &heavy, 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.line);
        Forget();
        Run(row.line.c_str());
        EXPECT_EQ(item->CommandFile().value_or("(none)"), row.file ? row.file : "(none)");
        if (row.file) {
            EXPECT_EQ(item->RunOnce(), row.once);
        }
        EXPECT_EQ(item->RequiredRole().value_or("(none)"), row.required ? row.required : "(none)");
        EXPECT_EQ(item->ItemKind(), row.kind);
        if (row.role) {
            EXPECT_EQ(item->replacementRole_, row.role) << "the role it turns into";
        }
        const auto linked = Sent(92);
        ASSERT_EQ(linked.size(), row.linked);
        for (const SentMessage& m : linked) {
            EXPECT_EQ(m.bytes.size(), 8u);
            EXPECT_EQ(m.Word(1), item->GetId());
            EXPECT_TRUE(m.guaranteed);
        }
    }
}

TEST_F(WorldCommandsTest, ScriptNamesStayInsideTheScriptsFolder)
{
    script::Role& crate = Named("crate", 10);
    auto* item = Token(new ItemProbe(&crate, ObjectRegistry::Global().TakeNextId()), "button");
    const struct {
        const char* line;
        std::string script;
        bool once;
        bool refused;
    } cases[] = {
        {"ASSOCIATE button open gate.tcs", "open gate.tcs", true, false},
        {"LINK button alarm.tcs", "alarm.tcs", false, false},
        {"LINK button", "(none)", false, false},
        {"ASSOCIATE button ../../etc/passwd", "", false, true},
        {"LINK button /tmp/evil.tcs", "", false, true},
        {"LINK button sub\\other.tcs", "", false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        item->script.clear();
        Forget();
        Run(c.line);
        EXPECT_EQ(item->script, c.script);
        if (!c.refused) {
            EXPECT_EQ(item->runOnce, c.once);
        }
        EXPECT_EQ(Last().find("scripts folder") != std::string::npos, c.refused);
    }
    Run("REQUIRES button key_1");
    EXPECT_EQ(item->required, "key_1");
}

TEST_F(WorldCommandsTest, VulnerabilitiesJoinTheRoleOrTheObject)
{
    script::Role& grunt = Named("grunt");
    script::Role& rocket = Named("rocket");
    script::Role& sniper = Named("sniper");
    UnitActor* a = Unit(grunt, 2, {0, 0, 0});
    UnitActor* b = Unit(grunt, 2, {1, 0, 0});
    UnitActor* other = Unit(sniper, 2, {2, 0, 0}, "other");

    Run("VULNERABILITY grunt rocket 5 SCRIPT boom.tcs sniper");
    ASSERT_EQ(grunt.vulnerabilities.size(), 1u);
    const auto& entry = grunt.vulnerabilities[0];
    EXPECT_EQ(entry.attacker, &rocket);
    EXPECT_EQ(entry.projectile, &sniper);
    EXPECT_EQ(entry.kind, script::VulnerabilityEntry::kRunCommand);
    EXPECT_EQ(entry.command, "boom.tcs");
    EXPECT_EQ(entry.seconds, 5);
    for (UnitActor* unit : {a, b}) {
        ASSERT_EQ(unit->vulnerabilities_.size(), 1u);
        EXPECT_EQ(unit->vulnerabilities_[0].command, "boom.tcs");
    }
    EXPECT_TRUE(other->vulnerabilities_.empty());

    Run(("VULNERABILITY " + std::to_string(other->GetId()) + " rocket 2 DESTROY").c_str());
    ASSERT_EQ(other->vulnerabilities_.size(), 1u);
    EXPECT_EQ(other->vulnerabilities_[0].kind, 2);
    EXPECT_EQ(other->vulnerabilities_[0].projectile, nullptr);

    for (const char* line : {"VULNERABILITY grunt rocket 5 SCRIPT ../up.tcs", "VULNERABILITY grunt nosuch 5 DESTROY"})
        Run(line);
    EXPECT_EQ(grunt.vulnerabilities.size(), 1u) << "refused lines add nothing";
}

TEST_F(WorldCommandsTest, GiveSpawnsTheItemIntoTheInventory)
{
    script::Role& grunt = Named("grunt");
    script::Role& medkit = Named("medkit", 10);
    medkit.character->weapon = -1; // a healing item
    Named("rock", 0);
    UnitActor* hero = Unit(grunt, 1, {3, 0, 4}, "hero");
    ASSERT_NE(hero->GetInventory(), nullptr);
    struct Case {
        const char* line;
        uint32_t given; // 81 or 82; 0: nothing
        uint32_t used;  // 85 or 86; 0: not used
    };
    const Case cases[] = {
        {"GIVE hero medkit", 82, 0},
        {"GIVE AND SAY hero medkit", 81, 0},
        {"GIVE AND EQUIP hero medkit", 82, 86},
        {"GIVE AND EQUIP AND SAY hero medkit", 81, 85},
        {"GIVE hero rock", 0, 0},
        {"GIVE nobody medkit", 0, 0},
        {"GIVE hero", 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        sent.clear();
        Run(c.line);
        EXPECT_EQ(Sent(81).size() + Sent(82).size(), c.given ? 1u : 0u);
        if (c.given) {
            const SentMessage m = Sent(c.given)[0];
            EXPECT_EQ(m.bytes.size(), 20u);
            EXPECT_EQ(m.Word(1), hero->GetId());
            EXPECT_EQ(int32_t(m.Word(3)), medkit.id);
        }
        EXPECT_EQ(Sent(85).size() + Sent(86).size(), c.used ? 1u : 0u);
        if (c.used) {
            EXPECT_EQ(Sent(c.used).size(), 1u);
        }
    }
}

TEST_F(WorldCommandsTest, AiTypesOutsideTheTableAreRefused)
{
    script::Role& grunt = Named("grunt");
    UnitActor* hero = Unit(grunt, 2, {0, 0, 0}, "hero");
    const struct {
        const char* line;
        int32_t type;
    } cases[] = {{"AI hero 16", 16}, {"AI hero 18", 16}, {"AI hero -1", 16}, {"AI hero 6", 6}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        Run(c.line);
        EXPECT_EQ(hero->aiType_, c.type);
        EXPECT_EQ(SideLists::Global().Side(2), std::vector<GameObject*>{hero}) << "listed again";
    }
}

TEST_F(WorldCommandsTest, FlagsFragAndDeleteTeam)
{
    script::Role& grunt = Named("grunt");
    UnitActor* hero = Unit(grunt, 2, {0, 0, 0}, "hero");
    Unit(grunt, 3, {0, 0, 0});
    Run("HUNTER hero");
    Run("FLARE FIRER hero");
    EXPECT_EQ(hero->flags_ & 0x60u, 0x60u);
    Run("DELETE TEAM 4");
    Run("DELETE TEAM -1");
    EXPECT_EQ(ObjectRegistry::Global().Count(), 2u) << "no such team: nothing goes";
    Run("DELETE TEAM 3");
    EXPECT_EQ(ObjectRegistry::Global().Count(), 1u);
    Run(("DELETE " + std::to_string(hero->GetId())).c_str());
    EXPECT_EQ(ObjectRegistry::Global().Count(), 0u);
    EXPECT_EQ(Last(), "");
}

TEST_F(WorldCommandsTest, PresidentStandsBetweenItsDummiesInGameTypeThree)
{
    CollisionSource floor;
    Level stage(nullptr, Vec3{0, 0, 0}, &floor);
    stage.dummies_.push_back({"DUMPRESA", {10, 0, 20}});
    stage.dummies_.push_back({"dumpresb", {0, 4, 0}});
    Level::Current() = &stage;
    Run("PRESIDENT");
    EXPECT_TRUE(Sent(ObjectMessage::kSpawned).empty()) << "game type 0";
    TeamTable::Build(4, 1, 3);
    Run("PRESIDENT");
    EXPECT_EQ(Last(), "No president role found");
    Named("president");
    ServerRandom::Get().Reset();
    LockedRandom oracle(ServerRandom::kStartWords);
    const float rx = oracle.NextFraction(), ry = oracle.NextFraction(), rz = oracle.NextFraction();
    Run("PRESIDENT");
    const auto made = Sent(ObjectMessage::kSpawned);
    ASSERT_EQ(made.size(), 1u);
    EXPECT_FLOAT_EQ(made[0].Float(4), 10 * rx);
    EXPECT_FLOAT_EQ(made[0].Float(5), 4 - 4 * ry);
    EXPECT_FLOAT_EQ(made[0].Float(6), 20 * rz);
    EXPECT_EQ(made[0].Word(3), 0u);
}

TEST_F(WorldCommandsTest, IfCarryingRunsItsLineForASquadUnitWithTheItem)
{
    script::Role& grunt = Named("grunt");
    script::Role& key = Named("key", 10);
    Named("map", 10);
    UnitActor* hero = Unit(grunt, 1, {0, 0, 0});
    ASSERT_NE(hero->GetInventory(), nullptr);
    CarriedItem carried;
    carried.roleId = key.id;
    carried.id = 5;
    hero->GetInventory()->Add(carried);
    const struct {
        const char* line;
        bool server;
        float flag;
    } cases[] = {
        {"IF CARRYING key SET flag 1", true, 1},
        {"IF CARRYING map SET flag 1", true, 0},
        {"IF CARRYING nosuch SET flag 1", true, 0},
        {"IF CARRYING key SET flag 1", false, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        Run("@TOKEN flag");
        g_server = c.server;
        Run(c.line);
        float v = -1;
        NamedValueList::Global().Get("flag", v);
        EXPECT_EQ(v, c.flag);
    }
}

TEST_F(WorldCommandsTest, BoundsAreKept)
{
    Run("SET UPPER LEFT BOUND 1 2 3");
    Run("SET LOWER RIGHT BOUND 4 5 6");
    Run("SET LOWER RIGHT BOUND nowhere");
    EXPECT_EQ(WorldCommands::Bounds().upperLeft, (Vec3{1, 2, 3}));
    EXPECT_EQ(WorldCommands::Bounds().lowerRight, (Vec3{4, 5, 6}));
}

} // namespace

namespace {

TEST_F(WorldCommandsTest, LeaveGameEndsTheSessionAndShowsTheTitle)
{
    static int titles = 0;
    titles = 0;
    ConsoleHooks::showTitle = [] { ++titles; };
    LevelStateBlock::Live().levelPhase = 5;
    SetAppState(AppState::MainMenu);
    Run("LEAVE GAME");
    EXPECT_EQ(Last(), "Only in a game.");
    EXPECT_EQ(titles, 0);
    EXPECT_EQ(LevelStateBlock::Live().levelPhase, 5u);
    SetAppState(AppState::Playing);
    Run("leave game");
    EXPECT_EQ(titles, 1);
    EXPECT_EQ(LevelStateBlock::Live().levelPhase, 1u);
    ConsoleHooks::showTitle = nullptr;
}

} // namespace

namespace {

// Decodes each block by the layout the clients read, independently of the
// sender: one line per block, "BAD" where its length is not the layout's.
const char* const kDecoder = R"PY(
import struct, sys
layouts = {57: '<III', 76: '<IIf3f4f', 102: '<II12f4fB', 104: '<IIf', 105: '<IIf', 114: '<II',
           116: '<II', 117: '<II', 119: '<IIi', 120: '<II', 128: '<II', 129: '<II'}
for line in sys.stdin.read().split():
    b = bytes.fromhex(line)
    t = struct.unpack_from('<I', b)[0]
    if t == 112:
        text = b[8:]
        ok = len(text) > 0 and text.index(b'\0') == len(text) - 1
        print('112 %d %s' % (struct.unpack_from('<I', b, 4)[0], text[:-1].decode()) if ok else 'BAD')
        continue
    f = layouts.get(t)
    if f is None or struct.calcsize(f) != len(b):
        print('BAD')
        continue
    print(' '.join('%g' % v for v in struct.unpack(f, b)))
)PY";

TEST_F(WorldCommandsTest, SentBlocksDecodeByTheClientLayouts)
{
    CollisionSource floor;
    floor.points = {{0, 0, 0}, {10, 0, 0}, {10, 0, 10}, {0, 0, 10}};
    floor.quads.push_back({{0, 1, 2, 3}, Vec3(0, -1, 0), 0});
    auto level = std::make_unique<Level>(nullptr, Vec3(0, 0, 0), &floor);
    level->BuildCellGrid(4, 1, 4);
    Level::Current() = level.get();
    script::Role& grunt = Named("grunt");
    grunt.character->hearingRangeSquared = 100.0f;
    script::Role& liftRole = Named("lift", Kind8Object::kAiType, false);
    UnitActor* hero = Unit(grunt, 1, {1, 0, 1}, "hero"); // id 1
    Token(Kind8Object::Make(0, &liftRole, {0, 0, 0}, Quaternion::Identity(), ObjectRegistry::Global().TakeNextId()),
          "lift"); // id 2
    ASSERT_EQ(hero->GetId(), 1u);
    const struct {
        const char* line;
        const char* decoded;
    } cases[] = {
        {"GIVE CONTROL hero 3", "57 1 3"},
        {"SELECT 1", nullptr},
        {"TELEPORT 2 0 3", "76 1 0 5 0 5 0 0 0 1"},
        {"SET TRACK 2 0 0 0 1 1 1 2 2 2 3 4 5.5 TRUE", "102 2 0 0 0 1 1 1 2 2 2 3 4 5.5 0 0 0 1 1"},
        {"SET SPEED 2.5 lift", "104 2 2.5"},
        {"SET LOOP TIME 7 lift", "105 2 7"},
        {"SPEAK 1 Move out!", "112 1 Move out!"},
        {"BOARD 2", "114 2"},
        {"DEFOGGER 1", "116 1"},
        {"FOGGER 1", "117 1"},
        {"ANIM 1 -4", "119 1 -4"},
        {"REMOVEBB 2", "120 2"},
        {"PLAYER SELECT hero", "128 1"},
        {"SHADOW hero", "129 1"},
    };
    std::string input, expected;
    for (const auto& c : cases) {
        sent.clear();
        Run(c.line);
        if (!c.decoded)
            continue;
        const auto blocks = Sent(uint32_t(std::stoul(c.decoded)));
        ASSERT_EQ(blocks.size(), 1u) << c.line;
        for (uint8_t byte : blocks[0].bytes) {
            char hex[3];
            std::snprintf(hex, sizeof hex, "%02x", byte);
            input += hex;
        }
        input += "\n";
        expected += std::string(c.decoded) + "\n";
    }
    const auto folder = std::filesystem::temp_directory_path() / ("world-decoder-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    std::ofstream(folder / "decode.py") << kDecoder;
    std::ofstream(folder / "blocks.txt") << input;
    std::string got;
    const std::string command = "python3 " + (folder / "decode.py").string() + " < " + (folder / "blocks.txt").string();
    if (FILE* p = popen(command.c_str(), "r")) {
        char buffer[512];
        while (fgets(buffer, sizeof buffer, p))
            got += buffer;
        pclose(p);
    }
    std::filesystem::remove_all(folder);
    EXPECT_EQ(got, expected);
}

} // namespace

namespace {

TEST_F(WorldCommandsTest, ListsNameEveryClientObjectOrOneTeam)
{
    script::Role& grunt = Named("grunt", 16);
    script::Role& nameless = Named("", 16);
    WorldObject* a = WorldObject::CreateByRole(1, &grunt, {0, 0, 0}, Quaternion::Identity());
    WorldObject* b = WorldObject::CreateByRole(2, &nameless, {0, 0, 0}, Quaternion::Identity());
    ASSERT_TRUE(a && b);
    const std::string lineA = "Unit " + std::to_string(a->GetId()) + ": grunt";
    const std::string lineB = "Unit " + std::to_string(b->GetId()) + ": (no name)";
    const struct {
        const char* line;
        bool client;
        std::vector<std::string> printed;
    } cases[] = {
        {"LIST UNITS", true, {lineA, lineB}},
        {"LIST TEAM 2", true, {lineB}},
        {"LIST TEAM 3", true, {}},
        {"LIST UNITS", false, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        Forget();
        static bool client = true;
        client = c.client;
        WorldCommands::Client().runsClient = [] { return client; };
        Run(c.line);
        std::vector<std::string> printed;
        for (const auto& l : TextConsole::Get().lines)
            printed.push_back(l.text);
        std::sort(printed.begin(), printed.end());
        EXPECT_EQ(printed, c.printed);
    }
    WorldObjectTable::DestroyAll();
    WorldObjectTable::ResetIds();
}

} // namespace

namespace {

uint64_t g_raw = 0;

TEST_F(WorldCommandsTest, ResetTimeTakesTheServerTimeAtSpeedOne)
{
    Clock clock(ClockSource{[](void*) { return g_raw; }, [](void*) { return uint32_t(g_raw); }, [](void*) {}, nullptr});
    Timer server(&clock), game(&clock);
    server.SetTicks(5000);
    game.SetTicks(100);
    game.SetSpeed(2.0f);
    server.SetSpeed(0.5f);
    Server::SetClocks(&server, &game, nullptr);
    Run("RESET TIME");
    EXPECT_EQ(game.Now64(), server.Now64());
    EXPECT_EQ(game.Now64(), 5000u);
    EXPECT_EQ(game.Speed(), 1.0f);
    EXPECT_EQ(server.Speed(), 1.0f);
    Server::SetClocks(nullptr, nullptr, nullptr);
}

} // namespace
