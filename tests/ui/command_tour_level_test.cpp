// The sample's command tour as a level's companion file: the training level
// loads with the real server thread and client, the tour runs at each
// difficulty, and the client drains what the server sent for a few frames.
// No line may print an error, and every block the client takes must keep
// its row of the message-size table.
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
#include <set>
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

struct Difficulty {
    const char* name;
    int32_t level;
};

class CommandTourInLevel : public ::testing::TestWithParam<Difficulty> {
protected:
    void SetUp() override
    {
        const fs::path sample = TREVOK_SAMPLE_DATA_DIR;
        if (!fs::exists(sample / "scripts" / "command_tour.tcs"))
            GTEST_SKIP() << "sample data not generated";
        root_ = fs::temp_directory_path() / ("command_tour_level_" + std::to_string(::getpid()));
        fs::remove_all(root_);
        fs::copy(sample, root_, fs::copy_options::recursive);
        ASSERT_TRUE(script::LoadDataDirectories(root_));
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
        WorldCommands::difficulty = GetParam().level;
        Session::DataRoot() = root_;
        Session::Names() = {"training_level.tvs", "command_tour.tcs"};
    }
    void TearDown() override
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

    fs::path root_;
};

TEST_P(CommandTourInLevel, RunsWithoutAnErrorAndSendsOnlyWellSizedBlocks)
{
    const uint64_t refusedBefore = ScriptMessages::Refused();
    ASSERT_TRUE(StartSession(true)) << Session::LastError();
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

    std::vector<std::string> errors;
    for (const PrintedLine& line : g_printed)
        if (!ErrorIn(line.text).empty())
            errors.push_back(line.origin + ": " + line.text);
    EXPECT_TRUE(errors.empty()) << ::testing::PrintToString(errors);
    EXPECT_TRUE(g_refused.empty()) << ::testing::PrintToString(g_refused);
    std::string seen;
    for (const auto& [type, count] : g_received)
        seen += " " + std::to_string(type) + "x" + std::to_string(count);
    // The messages the tour's lines send all reached the client.
    for (uint32_t type : {102u, 103u, 112u, 113u, 114u, 116u, 117u, 118u, 119u, 120u, 125u, 126u, 127u, 128u, 129u, 130u})
        EXPECT_GT(g_received[type], 0) << "no message " << type << " arrived; received:" << seen;
}

void PrintTo(const Difficulty& d, std::ostream* os) { *os << d.name; }

INSTANTIATE_TEST_SUITE_P(Difficulties, CommandTourInLevel,
                         ::testing::Values(Difficulty{"Easy", 0}, Difficulty{"Medium", 1}, Difficulty{"Hard", 2}),
                         [](const auto& row) { return std::string(row.param.name); });

} // namespace
