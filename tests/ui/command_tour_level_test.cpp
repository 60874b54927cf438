// The sample levels run with the real server thread and client. The command
// tour as the training level's companion, at each difficulty: the client
// drains what the server sent for a few frames; no line may print an error,
// and every block the client takes must keep its row of the message-size
// table. The levels' placed objects: every object kind arrives as a replica
// with a model, and PRESIDENT finds its role and corners.
#include "app/app_state.h"
#include "app/directories.h"
#include "console/command_table.h"
#include "console/line_source.h"
#include "console/named_values.h"
#include "console/script_messages.h"
#include "console/console.h"
#include "console/text_console.h"
#include "console/world_commands.h"
#include "effects/client_effect_hooks.h"
#include "effects/effect_commands.h"
#include "effects/effect_list.h"
#include "objects/shape_cache.h"
#include "objects/game_object.h"
#include "objects/object_registry.h"
#include "objects/role_table.h"
#include "objects/teams.h"
#include "objects/world_object.h"
#include "Veapi/ve_object.h"
#include "platform/data_path.h"
#include "script/directory_list.h"
#include "script/records.h"
#include "session/client.h"
#include "session/game_message.h"
#include "session/level_session.h"
#include "session/message_sizes.h"
#include "ui/camera_commands.h"
#include "ui/camera_track.h"
#include "ui/game_view.h"
#include "ui/particle_tester.h"
#include "ui/script_commands.h"
#include "world/level.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <utility>
#include <string>
#include <vector>

#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// Printed lines in order, with the file line that printed each; the
// observer is a plain function.
struct PrintedLine {
    std::string origin, text;
};
std::vector<PrintedLine> g_printed;
void Printed(const char* text) { g_printed.push_back({TextConsole::CurrentOrigin().Describe(), text ? text : ""}); }

// Every block the client took, by type; and those the size table refuses.
std::map<uint32_t, int> g_received;
std::vector<std::string> g_refused;
void Received(std::span<const uint8_t> block)
{
    const uint32_t type = block.size() >= 4 ? LoadU32(block.data()) : ~0u;
    ++g_received[type];
    if (!MessageSizes::Fits(MessageSizes::Direction::kToClient, block))
        g_refused.push_back("type " + std::to_string(type) + ", " + std::to_string(block.size()) + " bytes");
}

// What a command prints when it refuses or fails: string-table texts, and
// the few fixed ones.
constexpr uint32_t kErrorTexts[] = {6049, 6053, 6055, 6056, 6057, 6058, 6059, 6072, 6073, 6074, 6076, 6077};
constexpr const char* kErrorFragments[] = {
    "not built yet", "Unrecognised command", "Invalid particle type", "Invalid dummy object", "out of range",
    "missing", "No role ID", "No such role", "No president", "cannot be", "must lie in",
};

std::string ErrorIn(const std::string& line)
{
    for (uint32_t id : kErrorTexts) {
        const std::string text = TextConsole::Text(id);
        if (!text.empty() && line.rfind(text, 0) == 0)
            return std::to_string(id);
    }
    for (const char* fault : kErrorFragments)
        if (line.find(fault) != std::string::npos)
            return fault;
    return {};
}

void ExpectNoErrorPrintedNorBlockRefused()
{
    std::vector<std::string> errors;
    for (const PrintedLine& line : g_printed)
        if (!ErrorIn(line.text).empty())
            errors.push_back(line.origin + ": " + line.text);
    EXPECT_TRUE(errors.empty()) << ::testing::PrintToString(errors);
    EXPECT_TRUE(g_refused.empty()) << ::testing::PrintToString(g_refused);
}

struct Difficulty {
    const char* name;
    int32_t level;
};

// A copy of the sample data and the game's start-up without a display; Start
// loads a level with its companion file.
class SampleLevelRun {
public:
    // False when the sample data is not generated.
    bool Prepare()
    {
        const fs::path sample = TREVOK_SAMPLE_DATA_DIR;
        if (!fs::exists(sample / "scripts" / "command_tour.tcs"))
            return false;
        root_ = fs::temp_directory_path() / ("command_tour_level_" + std::to_string(::getpid()));
        fs::remove_all(root_);
        fs::copy(sample, root_, fs::copy_options::recursive);
        EXPECT_TRUE(script::LoadDataDirectories(root_)) << "the copied sample's directory list";
        platform::ClearDataPathCache();
        // The game's start-up, without a display.
        Session::SetHooks({});
        RoleTable::Install();
        TextConsole::Create();
        CommandTable::Global().RegisterAll();
        EffectCommands::Install();
        CameraCommands::Install();
        ScriptCommands::Install();
        Effects::InstallLevelHooks();
        Effects::InstallClientHooks();
        GameView::InstallSessionHooks(nullptr);
        CameraTrack::Install();
        ParticleTester::Install();
        // The player's pointer rests on the squad leader.
        WorldCommands::Client().objectUnderCursor = [] {
            float id = -1;
            return NamedValueList::Global().Get("TREVOK", id) ? int32_t(id) : -1;
        };
        g_printed.clear();
        g_received.clear();
        g_refused.clear();
        TextConsole::SetPrintObserver(Printed);
        Client::SetReceivedObserver(Received);
        Session::DataRoot() = root_;
        return true;
    }
    static bool Start(const char* script, const char* companion, int32_t difficulty = 0)
    {
        WorldCommands::difficulty = difficulty;
        Session::Names() = {script, companion};
        return StartSession(true);
    }
    ~SampleLevelRun()
    {
        if (root_.empty())
            return;
        EndSession();
        ShapeCache::FreeAll();  // the cache's own holds on the interface's shapes
        Client::SetReceivedObserver(nullptr);
        TextConsole::SetPrintObserver(nullptr);
        Effects::ClearAll();
        TextConsole::Shutdown();
        Session::SetHooks({});
        script::RecordTables::Global().SetRoleFiler(nullptr);
        Session::Names() = {};
        Session::DataRoot().clear();
        WorldCommands::difficulty = 0;
        SetAppState(AppState::None);
        app::DataDirectories::Global().Clear();
        fs::remove_all(root_);
    }

    // The game's frames: the client drains and applies what the server sent.
    static void Frames(int count)
    {
        for (int frame = 0; frame < count && Client::IsRunning(); ++frame)
            Client::ReceiveServerMessages();
    }

private:
    fs::path root_;
};

class SampleLevels : public ::testing::Test {
protected:
    void SetUp() override
    {
        run_ = std::make_unique<SampleLevelRun>();
        if (!run_->Prepare())
            GTEST_SKIP() << "sample data not generated";
    }
    void TearDown() override { run_.reset(); }
    static void Frames(int count) { SampleLevelRun::Frames(count); }

    std::unique_ptr<SampleLevelRun> run_;
};

class CommandTourInLevel : public SampleLevels, public ::testing::WithParamInterface<Difficulty> {};

TEST_P(CommandTourInLevel, RunsWithoutAnErrorAndSendsOnlyWellSizedBlocks)
{
    const uint64_t refusedBefore = ScriptMessages::Refused();
    ASSERT_TRUE(SampleLevelRun::Start("training_level.tvs", "command_tour.tcs", GetParam().level))
        << Session::LastError();
    ASSERT_NE(Level::Current(), nullptr);
    EXPECT_EQ(ScriptMessages::Refused(), refusedBefore) << "a command built a block the size table refuses";
    // The squad leader, three ADD lines, and three SPAWN lines of one more
    // unit per step of difficulty.
    size_t leaders = 0;
    for (GameObject* object : ObjectRegistry::Global().Snapshot())
        leaders += object->GetRole() && object->GetRole()->identifier == "trevok";
    EXPECT_EQ(leaders, size_t(1 + 3 + 3 * (GetParam().level + 1)));
    Frames(20);

    // SET SCALE reached the replica of the unit under the pointer.
    float leader = -1;
    ASSERT_TRUE(NamedValueList::Global().Get("TREVOK", leader));
    const WorldObject* replica = WorldObjectTable::FindById(uint32_t(leader));
    ASSERT_NE(replica, nullptr);
    ASSERT_NE(replica->Shape(), nullptr);
    EXPECT_EQ(replica->Shape()->placement_.Scale().x, 1.5f);

    ExpectNoErrorPrintedNorBlockRefused();
    std::string seen;
    for (const auto& [type, count] : g_received)
        seen += " " + std::to_string(type) + "x" + std::to_string(count);
    // The messages the tour's lines send all reached the client; the lift's
    // path, start, speed, loop time, pause and resume among them.
    for (uint32_t type : {102u, 103u, 104u, 105u, 106u, 109u, 110u, 112u, 113u, 114u, 116u, 117u, 118u, 119u, 120u,
                          125u, 126u, 127u, 128u, 129u, 130u})
        EXPECT_GT(g_received[type], 0) << "no message " << type << " arrived; received:" << seen;
}

void PrintTo(const Difficulty& d, std::ostream* os) { *os << d.name; }

INSTANTIATE_TEST_SUITE_P(Difficulties, CommandTourInLevel,
                         ::testing::Values(Difficulty{"Easy", 0}, Difficulty{"Medium", 1}, Difficulty{"Hard", 2}),
                         [](const auto& row) { return std::string(row.param.name); });

// The replica of the named value's object, or none.
const WorldObject* NamedReplica(const char* name)
{
    float id = -1;
    if (!NamedValueList::Global().Get(name, id) || id < 0)
        return nullptr;
    return WorldObjectTable::FindById(uint32_t(id));
}

// The second mission places one object of every kind the client makes from a
// role; each arrives as a replica of its kind with a model to draw.
TEST_F(SampleLevels, EveryObjectKindArrivesAsAReplicaWithAModel)
{
    ASSERT_TRUE(SampleLevelRun::Start("level05.tvs", "level05.tcs")) << Session::LastError();
    Frames(20);
    struct Row {
        const char* name;
        int32_t kind;
    };
    const Row rows[] = {{"FOOTPRINT", 5}, {"CART", 8},     {"PEBBLE", 9}, {"PARCEL", 10}, {"CRITTER", 11},
                        {"CHAIN", 12},    {"SEGMENT", 13}, {"NODE", 14},  {"POPUP", 16},  {"VIP", 17}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const WorldObject* replica = NamedReplica(row.name);
        ASSERT_NE(replica, nullptr) << "no replica";
        EXPECT_TRUE(replica->IsKind(row.kind)) << "not of kind " << row.kind;
        ASSERT_NE(replica->Shape(), nullptr) << "no model";
        EXPECT_NE(replica->Shape()->Root(), nullptr) << "a model without a shape";
    }
    ExpectNoErrorPrintedNorBlockRefused();
}

// The training level's lift and track cart are path movers on both sides,
// its crates pick-ups with a model; in the escort game PRESIDENT puts its
// role between the level's two president markers, and the client makes the
// president's replica.
TEST_F(SampleLevels, TrainingLevelHasItsMoversPickUpsAndAPresidentBetweenItsMarkers)
{
    ASSERT_TRUE(SampleLevelRun::Start("training_level.tvs", "training_level.tcs")) << Session::LastError();
    Frames(5);
    const std::pair<const char*, int32_t> placed[] = {{"LIFT", 8}, {"TRACK", 8}, {"CRATE1", 10}, {"CRATE2", 10}};
    for (const auto& [name, kind] : placed) {
        SCOPED_TRACE(name);
        const WorldObject* replica = NamedReplica(name);
        ASSERT_NE(replica, nullptr);
        EXPECT_TRUE(replica->IsKind(kind));
        EXPECT_NE(replica->Shape(), nullptr);
    }

    const auto presidents = [] {
        std::vector<Vec3> at;
        for (GameObject* object : ObjectRegistry::Global().Snapshot())
            if (object->GetRole() && object->GetRole()->identifier == "president")
                at.push_back(object->Position());
        return at;
    };
    TextConsole::ExecuteAtFullAccess("PRESIDENT");
    EXPECT_TRUE(presidents().empty()) << "only the escort game has a president";
    TeamTable::Build(TeamTable::Count(), TeamTable::OwnSide(), 3);
    TextConsole::ExecuteAtFullAccess("PRESIDENT");
    const std::vector<Vec3> made = presidents();
    ASSERT_EQ(made.size(), 1u);
    // Between the markers "dumpresa" (14, 0, 2) and "dumpresb" (18, 0, 4).
    EXPECT_GE(made[0].x, 14.0f);
    EXPECT_LE(made[0].x, 18.0f);
    EXPECT_FLOAT_EQ(made[0].y, 0.0f);
    EXPECT_GE(made[0].z, 2.0f);
    EXPECT_LE(made[0].z, 4.0f);
    Frames(5);
    bool arrived = false;
    for (const WorldObject* replica : WorldObjectTable::Snapshot())
        arrived = arrived || (replica->GetRole() && replica->GetRole()->identifier == "president" && replica->IsKind(17));
    EXPECT_TRUE(arrived) << "no president replica";
}

} // namespace
