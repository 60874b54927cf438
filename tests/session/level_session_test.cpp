// Sessions and levels: starting twice, ending with none, a level script that
// does not compile, the sample level loaded and stopped with nothing left
// behind, and the loading bar's layout.
#include "session/level_session.h"

#include "app/app_state.h"
#include "app/directories.h"
#include "Veapi/object_preview.h"
#include "objects/ai.h"
#include "objects/level_triggers.h"
#include "objects/object_registry.h"
#include "objects/shape_cache.h"
#include "objects/world_object.h"
#include "script/directory_list.h"
#include "session/client.h"
#include "session/doors.h"
#include "session/game_state.h"
#include "session/network.h"
#include "session/server_thread.h"
#include "world/fog_of_war.h"
#include "world/level.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include <unistd.h>

namespace fs = std::filesystem;

namespace {

class LevelSessionTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        SessionHooks hooks;
        hooks.registerCommands = [this] { ++registered; };
        hooks.removeCommands = [this] { ++removed; };
        hooks.levelStopped = [this] { ++stopped; };
        hooks.print = [this](const std::string& text) { printed.push_back(text); };
        hooks.setVariable = [this](const std::string& name, float value) { variables.emplace_back(name, value); };
        hooks.drawLoading = [this](const std::string& text, float progress) { frames.emplace_back(text, progress); };
        Session::SetHooks(std::move(hooks));
        Session::Names() = {};
    }
    void TearDown() override
    {
        EndSession();
        Session::SetHooks({});
        Session::Names() = {};
        Session::DataRoot().clear();
        SetAppState(AppState::None);
    }
    int registered = 0, removed = 0, stopped = 0;
    std::vector<std::string> printed;
    std::vector<std::pair<std::string, float>> frames, variables;
};

TEST_F(LevelSessionTest, EndWithoutASessionDoesNothing)
{
    EXPECT_TRUE(EndSession());
    EXPECT_EQ(removed, 0);
    EXPECT_FALSE(Server::IsRunning());
}

TEST_F(LevelSessionTest, ASecondStartKeepsTheServerAndCommands)
{
    ASSERT_TRUE(StartSession(true)); // no level named: the session runs without one
    EXPECT_TRUE(Server::IsRunning());
    SetAppState(AppState::Playing);
    ASSERT_TRUE(StartSession(true));
    EXPECT_EQ(CurrentAppState(), AppState::LevelStarted);
    EXPECT_EQ(registered, 1);
    EXPECT_TRUE(EndSession());
    EXPECT_FALSE(Server::IsRunning());
    EXPECT_FALSE(Session::IsStarted());
    EXPECT_EQ(removed, 1);
}

TEST_F(LevelSessionTest, EndingANetworkedSessionClosesTheNetwork)
{
    Network::Create();
    ASSERT_TRUE(StartSession(false));
    EXPECT_TRUE(EndSession());
    EXPECT_FALSE(Network::IsActive()) << "the next game alone would count as networked";
    EXPECT_FALSE(Server::IsRunning());
    EXPECT_FALSE(Client::IsRunning());
}

TEST_F(LevelSessionTest, AScriptThatDoesNotCompileEndsTheSessionCleanly)
{
    const fs::path root = fs::temp_directory_path() / ("level_session_test_" + std::to_string(::getpid()));
    fs::create_directories(root / "scripts");
    std::ofstream(root / "scripts" / "broken.tvs") << "map broken {\n  this is not a definition\n";
    app::DataDirectories::Global().Clear();
    app::DataDirectories::Global().SetPath(app::kScriptsDirectory, "scripts");
    Session::DataRoot() = root;
    Session::Names() = {"broken.tvs", "broken.tcs"};
    EXPECT_FALSE(StartSession(true));
    EXPECT_NE(Session::LastError().find("broken.tvs"), std::string::npos) << Session::LastError();
    EXPECT_NE(Session::LastError().find("broken.tvs(2)"), std::string::npos) << "file and line: " << Session::LastError();
    EXPECT_FALSE(Session::IsStarted());
    EXPECT_FALSE(Server::IsRunning());
    EXPECT_EQ(Level::Current(), nullptr);
    EXPECT_EQ(FogOfWar::Global(), nullptr);
    EXPECT_EQ(ObjectPreview::SuspendCount(), 0) << "a failed load resumes the preview";
    app::DataDirectories::Global().Clear();
    fs::remove_all(root);
}

TEST_F(LevelSessionTest, TheSampleLevelLoadsAndStopsLeavingNothing)
{
    const fs::path root = TREVOK_SAMPLE_DATA_DIR;
    if (!fs::exists(root / "scripts" / "training_level.tvs"))
        GTEST_SKIP() << "sample data not generated";
    ASSERT_TRUE(script::LoadDataDirectories(root));
    Session::DataRoot() = root;
    Session::Names() = {"training_level.tvs", "training_level.tcs"};
    ASSERT_TRUE(StartSession(true)) << Session::LastError();
    ASSERT_NE(Level::Current(), nullptr);
    EXPECT_TRUE(Session::IsLevelLoaded());
    EXPECT_GT(ObjectRegistry::Global().Count(), 0u);
    ASSERT_FALSE(frames.empty());
    EXPECT_EQ(frames.back().second, 1.0f) << "the last frame shows a full bar";
    std::vector<std::string> texts;
    for (const auto& [text, progress] : frames)
        if (texts.empty() || texts.back() != text)
            texts.push_back(text);
    EXPECT_EQ(texts, (std::vector<std::string>{"6093", "6094", "6095", "6096"})) << "the load's steps in order";
    EXPECT_EQ(AiPlayerSlots::All(), std::vector<int32_t>{2}) << "alone, the level's own side thinks";
    EXPECT_EQ(ObjectPreview::SuspendCount(), 0) << "resumed once the level runs";
    EXPECT_EQ(ChunkFileCache::Count(), 0u) << "the model files the definitions read are freed";
    // The use clauses name the placed squad, crates and path movers; each has
    // its replica under its id.
    std::vector<std::string> names;
    for (const auto& [name, value] : variables) {
        names.push_back(name);
        const GameObject* object = ObjectRegistry::Global().Find(uint32_t(value));
        ASSERT_NE(object, nullptr) << name;
        const WorldObject* replica = WorldObjectTable::FindById(uint32_t(value));
        ASSERT_NE(replica, nullptr) << name;
        EXPECT_EQ(replica->Side(), object->Side()) << name;
    }
    EXPECT_EQ(names, (std::vector<std::string>{"TREVOK", "VELL", "CRATE1", "CRATE2", "LIFT", "TRACK"}));

    // What the level's scripts would have added.
    const Vec3 positions[4] = {};
    {
        GameState::Hold hold;
        LevelTriggers::Add(uint32_t(TriggerKind::Location), positions, 3, {}, "x.tcs");
    }
    Doors::All().push_back({1, {}, false});

    EXPECT_TRUE(StopLevel());
    EXPECT_EQ(Level::Current(), nullptr);
    EXPECT_EQ(ObjectRegistry::Global().Count(), 0u);
    EXPECT_TRUE(LevelTriggers::All().IsEmpty());
    EXPECT_TRUE(Doors::All().empty());
    EXPECT_EQ(FogOfWar::Global(), nullptr);
    EXPECT_TRUE(AiPlayerSlots::All().empty());
    EXPECT_EQ(stopped, 1);
    EXPECT_TRUE(StopLevel()) << "a second stop has nothing to do";
    EXPECT_EQ(stopped, 1);
    app::DataDirectories::Global().Clear();
}

// The layers above take part in a fixed order: the interface and effects
// let go of the level's objects before those go, and a session's end first
// starts a paused clock again and gives up a pausing screen's hold before the
// level and the server stop.
TEST_F(LevelSessionTest, StartAndEndCallTheLayersAboveInOrder)
{
    const fs::path root = TREVOK_SAMPLE_DATA_DIR;
    if (!fs::exists(root / "scripts" / "training_level.tvs"))
        GTEST_SKIP() << "sample data not generated";
    ASSERT_TRUE(script::LoadDataDirectories(root));
    std::vector<std::string> calls;
    SessionHooks& hooks = Session::Hooks();
    const auto note = [&calls](const char* name) { return [&calls, name] { calls.push_back(name); }; };
    hooks.registerCommands = note("commands");
    hooks.removeCommands = note("remove commands");
    hooks.interfaceLoading = note("interface loading");
    hooks.cameraStarted = note("camera");
    hooks.effectsStarted = note("effects");
    hooks.runQueued = note("companion");
    hooks.resumePaused = note("resume pause");
    hooks.releasePause = note("release hold");
    hooks.interfaceStopped = note("interface stopped");
    hooks.effectsStopped = note("effects stopped");
    hooks.levelStopped = note("level stopped");
    Session::DataRoot() = root;
    Session::Names() = {"training_level.tvs", "training_level.tcs"};
    ASSERT_TRUE(StartSession(true)) << Session::LastError();
    EXPECT_EQ(calls, (std::vector<std::string>{"commands", "interface loading", "camera", "effects", "companion"}));
    calls.clear();
    EXPECT_TRUE(EndSession());
    EXPECT_EQ(calls, (std::vector<std::string>{"resume pause", "release hold", "interface stopped", "effects stopped",
                                               "level stopped", "release hold", "remove commands"}));
    calls.clear();
    EXPECT_TRUE(EndSession());
    EXPECT_TRUE(calls.empty()) << "no session, nothing to end";
    app::DataDirectories::Global().Clear();
}

TEST(LoadingScreen, BarRunsAlongTheBottom)
{
    const struct {
        int width, height;
        float progress;
        LoadingScreen::Bar bar;
    } cases[] = {
        {640, 480, 0.0f, {168, 470, 456, 9, 168, 25, 25}},
        {640, 480, 1.0f, {168, 470, 456, 9, 471, 25, 235}},
        {1024, 768, 0.5f, {270, 752, 729, 14, 511, 25, 130}},
        {640, 480, 7.0f, {168, 470, 456, 9, 471, 25, 235}}, // clamped
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height) + " at " + std::to_string(c.progress));
        const LoadingScreen::Bar bar = LoadingScreen::Layout(c.width, c.height, c.progress);
        EXPECT_EQ(bar.left, c.bar.left);
        EXPECT_EQ(bar.right, c.bar.right);
        EXPECT_EQ(bar.top, c.bar.top);
        EXPECT_EQ(bar.height, c.bar.height);
        EXPECT_EQ(bar.fillRight, c.bar.fillRight);
        EXPECT_EQ(bar.endRed, c.bar.endRed);
    }
}

} // namespace

namespace {

TEST_F(LevelSessionTest, LevelNamesStayInsideTheScriptsFolder)
{
    const fs::path root = fs::temp_directory_path() / ("level_session_names_" + std::to_string(::getpid()));
    fs::create_directories(root / "scripts");
    std::ofstream(root / "outside.tvs") << "";
    app::DataDirectories::Global().Clear();
    app::DataDirectories::Global().SetPath(app::kScriptsDirectory, "scripts");
    Session::DataRoot() = root;
    for (const char* name : {"..\\outside.tvs", "/etc/passwd", "missing.tvs"}) {
        SCOPED_TRACE(name);
        Session::Names() = {name, ""};
        EXPECT_FALSE(StartSession(true));
        EXPECT_NE(Session::LastError().find("no such level script"), std::string::npos) << Session::LastError();
        EXPECT_FALSE(Session::IsStarted());
    }
    app::DataDirectories::Global().Clear();
    fs::remove_all(root);
}

} // namespace

namespace {

// Each load shows the next hint of the string table, back to the first past
// the last; a table without hints shows none.
TEST_F(LevelSessionTest, EachLoadShowsTheNextHint)
{
    const struct {
        std::vector<std::string> hints;  // the string table's texts from 1001
        std::vector<std::string> shown;  // by four loads in a row
    } cases[] = {
        {{"first", "second"}, {"first", "second", "first", "second"}},
        {{"only"}, {"only", "only", "only", "only"}},
        {{}, {"", "", "", ""}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.hints.size());
        Session::Hooks().text = [&c](uint32_t id) {
            const size_t index = id - 1001;
            return id >= 1001 && index < c.hints.size() ? c.hints[index] : std::string();
        };
        std::vector<std::string> shown;
        Session::Names() = {"missing.tvs", ""};
        for (int load = 0; load < 4; ++load) {
            EXPECT_FALSE(StartSession(true));
            shown.push_back(LoadingScreen::Hint());
        }
        // The next table starts where the last one left off: bring it back to its first.
        Session::Hooks().text = [](uint32_t) { return std::string(); };
        StartSession(true);
        EXPECT_EQ(shown, c.shown);
    }
}

} // namespace
