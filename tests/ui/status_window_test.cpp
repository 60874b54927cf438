#include "ui/status_window.h"

#include "app/string_table.h"
#include "console/console.h"
#include "fake_view.h"
#include "platform/resources.h"
#include "ui/ui_placeholders.h"
#include "ui/unit_keys.h"
#include "ui/wheel.h"
#include "Veapi/light_set.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>

namespace ui_test {
namespace {

class StatusWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        TextConsole::Create();
        TextConsole::Get().lines.clear();
        StatusWindow::Setup();
        StatusWindow::SetMode(StatusWindow::kOff);
    }
    void TearDown() override
    {
        StatusWindow::Release();
        StatusWindow::SetMode(StatusWindow::kOff);
        StatusWindow::SetServerProbe({});
        TextConsole::Shutdown();
        StringTable::Global().Free();
    }
    static void LoadStrings(const std::map<uint32_t, std::string>& texts)
    {
        const std::vector<uint8_t> bytes = platform::BuildStringTableLibrary(texts);
        auto library = platform::ResourceLibrary::FromBytes(bytes.data(), bytes.size(), nullptr);
        ASSERT_TRUE(library);
        StringTable::Global().Free();
        StringTable::Global().Load(*library, 7000, 7100);
    }
    static std::string Typed(const char* line)
    {
        TextConsole::ExecuteAtFullAccess(line, {LineSource::Typed, {}, 0});
        const auto& s = TextConsole::Get();
        return s.lines.empty() ? std::string() : s.lines.back().text;
    }
};

const std::map<uint32_t, std::string> kTexts = {
    {7008, "off"}, {7040, "WATCH"}, {7041, "GENERAL"}, {7042, "STATUS"}, {7043, "Frame rate"},
    {7044, "Watching: "}, {7045, "Selected: "}, {7046, "Team"}, {7047, "Id"}, {7048, "(nameless)"},
    {7035, "(unnamed)"},
};

TEST_F(StatusWindowTest, CommandRepliesAndModes)
{
    LoadStrings(kTexts);
    struct Case {
        const char* line;
        const char* reply;
        StatusWindow::Mode mode;
    };
    const Case cases[] = {
        {"STATUS WINDOW", "Status window mode is currently off", StatusWindow::kOff},
        {"STATUS WINDOW watch", "Status window set to WATCH mode.", StatusWindow::kWatch},
        {"STATUS WINDOW ON", "Status window mode is currently WATCH", StatusWindow::kWatch},
        {"STATUS WINDOW General", "Status window set to GENERAL mode.", StatusWindow::kGeneral},
        {"STATUS WINDOW", "Status window mode is currently GENERAL", StatusWindow::kGeneral},
        {"STATUS WINDOW OFF", "Status window turned off.", StatusWindow::kOff},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Typed(c.line), c.reply) << c.line;
        EXPECT_EQ(StatusWindow::CurrentMode(), c.mode) << c.line;
        EXPECT_EQ(StatusWindowFlag, c.mode != StatusWindow::kOff);
    }
}

TEST_F(StatusWindowTest, MissingStringsNeverMatch)
{
    // Only "off" has a text: an empty word must not match the missing
    // WATCH and GENERAL texts.
    LoadStrings({{7008, "off"}});
    EXPECT_EQ(Typed("STATUS WINDOW"), "Status window mode is currently off");
    EXPECT_EQ(StatusWindow::CurrentMode(), StatusWindow::kOff);
    EXPECT_EQ(Typed("STATUS WINDOW WATCH"), "Status window mode is currently off");
    EXPECT_EQ(StatusWindow::CurrentMode(), StatusWindow::kOff);
}

TEST_F(StatusWindowTest, BeforeSetupTheRowIsNotBuilt)
{
    StatusWindow::Release();
    EXPECT_EQ(Typed("STATUS WINDOW WATCH"), "STATUS WINDOW: this command is not built yet.");
}

TEST_F(StatusWindowTest, LightSetColours)
{
    struct Case {
        InterfaceLights::Which which;
        float r, g, b, a;
    };
    const Case cases[] = {
        {InterfaceLights::kWhite, 1, 1, 1, 0.6f},        {InterfaceLights::kNormal, 0, 0.9f, 0, 0.8f},
        {InterfaceLights::kPressed, 0, 0.5f, 0, 0.5f},   {InterfaceLights::kBlue, 0.1f, 0.1f, 0.9f, 0.25f},
        {InterfaceLights::kGreen, 0.1f, 0.9f, 0.1f, 0.25f}, {InterfaceLights::kHighlighted, 0.9f, 0.1f, 0.1f, 0.25f},
    };
    for (const Case& c : cases) {
        LightSet* set = InterfaceLights::Get(c.which);
        ASSERT_NE(set, nullptr);
        const auto& m = set->Material();
        EXPECT_FLOAT_EQ(m.emissive.r, c.r);
        EXPECT_FLOAT_EQ(m.emissive.g, c.g);
        EXPECT_FLOAT_EQ(m.emissive.b, c.b);
        EXPECT_FLOAT_EQ(m.diffuse.a, c.a);
    }
    EXPECT_EQ(InterfaceLights::Get(InterfaceLights::kCount), nullptr);
}

std::vector<std::string> Texts(const std::vector<Hud::Line>& lines)
{
    std::vector<std::string> out;
    for (const auto& l : lines)
        out.push_back(l.text);
    return out;
}

TEST_F(StatusWindowTest, WatchMode)
{
    LoadStrings(kTexts);
    ReplicaWorld world;
    FakeView view;
    Unit* watched = world.Make<Unit>(5, 2, world.NewRole(""), {1, 2, 3});
    Unit* other = world.MakeUnit(6, 2, "other", {1, 2, 5});
    watched->AttackTarget(other, 0, false, false);
    // An object without a role (the client makes such for debris).
    WorldObject* roleless = new WorldObject(0, nullptr, {0, 0, 0}, Quaternion::Identity(), 0, 7);
    view.objects = {watched, other, roleless};
    StatusWindow::SetMode(StatusWindow::kWatch);

    StatusWindow::SetWatched(99); // nobody
    EXPECT_TRUE(StatusWindow::BuildLines(16).empty());
    StatusWindow::SetWatched(7);
    EXPECT_TRUE(StatusWindow::BuildLines(16).empty());

    StatusWindow::SetWatched(5);
    const std::vector<std::string> plain{"Watching: (unnamed)", "Armed", "Position", "1", "2", "3",
                                         "Distance squared from target", "4"};
    EXPECT_EQ(Texts(StatusWindow::BuildLines(16)), plain);

    struct Case {
        StatusWindow::ServerReadout server;
        std::vector<std::string> more;
    };
    const Case cases[] = {
        {{false}, {"Dead"}},
        {{true, true, false, false, "Sentry"}, {"Attacking Sentry"}},
        {{true, false, false, false, nullptr, 8}, {"Pathfinding"}},
        {{true, false, true}, {"Fleeing"}},
        {{true, false, false, true}, {"Walking"}},
        {{true, false, false, false, nullptr, 0, true, 1234567890123}, {"Time until next decision", "1234567890123",
                                                                       "Standing around aimlessly"}},
    };
    for (const Case& c : cases) {
        StatusWindow::SetServerProbe([&](uint32_t id, StatusWindow::ServerReadout& out) {
            out = c.server;
            return id == 5;
        });
        std::vector<std::string> expected = plain;
        expected.insert(expected.end(), c.more.begin(), c.more.end());
        EXPECT_EQ(Texts(StatusWindow::BuildLines(16)), expected);
    }
}

TEST_F(StatusWindowTest, GeneralMode)
{
    LoadStrings(kTexts);
    ReplicaWorld world;
    FakeView view;
    view.selected = {world.Make(42, 2, world.NewRole(""))};
    StatusWindow::SetMode(StatusWindow::kGeneral);
    const auto lines = StatusWindow::BuildLines(16); // 1000 / 16 ticks
    const std::vector<std::string> expected{"STATUS", "-",    "-", "-",  "Frame rate",
                                            "62",     "Selected: (nameless)", "Team", "2", "Id", "42"};
    EXPECT_EQ(Texts(lines), expected);
    EXPECT_FLOAT_EQ(lines[0].x, 0.04f);
    EXPECT_FLOAT_EQ(lines[0].y, 0.5f);
    EXPECT_EQ(Texts(StatusWindow::BuildLines(0))[5], "1");
}

} // namespace
} // namespace ui_test

namespace ui_test {
namespace {

// The generated sample's string table answers the status words and labels.
TEST_F(StatusWindowTest, SampleStrings)
{
    const char* data = std::getenv("TREVOK_SAMPLE_DATA");
    ASSERT_NE(data, nullptr);
    auto library = platform::ResourceLibrary::Open(std::filesystem::path(data) / "tvres.dll", nullptr);
    ASSERT_TRUE(library);
    StringTable::Global().Load(*library, StringTable::kFirstId, StringTable::kLastId);
    EXPECT_EQ(Typed("STATUS WINDOW general"), "Status window set to GENERAL mode.");
    EXPECT_EQ(Typed("STATUS WINDOW"), "Status window mode is currently GENERAL");
    for (int id : CommandWheel::kMainLabels)
        EXPECT_STRNE(TextConsole::Text(uint32_t(id)), "") << id;
    for (int id : CommandWheel::kStandingLabels)
        EXPECT_STRNE(TextConsole::Text(uint32_t(id)), "") << id;
    for (uint32_t id : {Selection::kNoAmmoText, Selection::kNoWeaponText, 7035u, 7042u, 7048u})
        EXPECT_STRNE(TextConsole::Text(id), "") << id;
}

} // namespace
} // namespace ui_test

#include "objects/ai.h"
#include "objects/object_registry.h"
#include "objects/server_link.h"
#include "objects/think_routines.h"
#include "platform/thread.h"
#include "session/game_state.h"
#include "session/message_queue.h"
#include "session/server_objects.h"
#include "session/server_thread.h"

#include <algorithm>
#include <deque>

namespace ui_test {
namespace {

// A walker that thinks every pass and shuffles along x.
int32_t Shuffle(GameObject& object, uint64_t now)
{
    object.nextThink_ = now + 1;
    object.SetPosition(object.Position() + Vec3{static_cast<float>(AiRandom::Next() % 3) - 1.0f, 0, 0});
    return 0;
}

// WATCH mode beside the running server thread: every frame reads the
// watched server object through the hand-over while passes move it. Run
// under the thread sanitizer (PRESET=tsan), a read outside the hand-over
// shows as a race; here every frame must show the server's state line.
TEST_F(StatusWindowTest, WatchModeReadsTheRunningServer)
{
    LoadStrings(kTexts);
    ReplicaWorld world;
    FakeView view;
    StatusWindow::SetServerProbe({});
    std::deque<script::Role> roles;
    script::Role& walker = roles.emplace_back();
    walker.aiType = 1;
    walker.identifier = "walker";
    walker.character.emplace();
    walker.character->strength = 10;
    walker.character->weapon = ReplicaWorld::kNoWeapon;

    Ai::SetRoutine(1, &Shuffle);
    Server::InstallObjectHooks();
    ServerToClientQueue.Clear();
    ASSERT_TRUE(Server::Start(nullptr));
    int32_t id = 0;
    {
        GameState::Hold hold;
        Server::ResetObjectTables();
        AiPlayerSlots::Add(2);
        id = Server::CreateLevelObject(2, &walker, {0, 0, 0}, Quaternion::Identity());
    }
    ASSERT_GT(id, 0);
    Server::BeginLevel();
    view.objects = {world.Make<Unit>(uint32_t(id), 2, world.NewRole("walker"))};
    StatusWindow::SetMode(StatusWindow::kWatch);
    StatusWindow::SetWatched(uint32_t(id));

    const uint64_t start = Server::PassCount();
    int frames = 0, stateLines = 0, decisionLines = 0;
    while (Server::PassCount() < start + 20) {
        Server::Wake();
        for (const std::string& text : Texts(StatusWindow::BuildLines(16))) {
            stateLines += text == "Standing around aimlessly" || text == "Walking";
            decisionLines += text == "Time until next decision";
        }
        ++frames;
        while (!ServerToClientQueue.Pop().IsEmpty()) {
        }
        platform::YieldThread();
    }
    Server::EndLevel();
    Server::Stop();
    EXPECT_EQ(stateLines, frames);
    EXPECT_GT(decisionLines, 0);
    // With the server gone there is nothing to read.
    const std::vector<std::string> after = Texts(StatusWindow::BuildLines(16));
    EXPECT_EQ(std::count(after.begin(), after.end(), "Standing around aimlessly"), 0);

    Ai::InstallRoutines();
    Server::SetHooks({});
    ServerLink::Install({});
    AiPlayerSlots::Clear();
    ServerToClientQueue.Clear();
    ClientToServerQueue.Clear();
}

} // namespace
} // namespace ui_test
