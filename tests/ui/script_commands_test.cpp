// CENTRE and REPTXT through the console's dispatcher, and the repeating line
// following the command script's 'wait for' hold.
#include "ui/script_commands.h"

#include "app/app_state.h"
#include "app/app_time.h"
#include "console/command_script.h"
#include "console/console.h"
#include "console/developer_commands.h"
#include "console/world_commands.h"
#include "Veapi/ve_object.h"
#include "Veapi/ve_shape.h"
#include "objects/role_table.h"
#include "objects/world_object.h"
#include "script/records.h"
#include "ui/repeat_text.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace {

int64_t g_now = 0;
int64_t FakeNow() { return g_now; }

class ScriptCommandsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_now = 1000;
        AppTime::SetRealClock(FakeNow);
        ScriptCommands::Install();
        TextConsole::Create();
        SetAppState(AppState::Playing);
    }
    void TearDown() override
    {
        RepeatText::Stop();
        TextConsole::Shutdown();
        SetAppState(AppState::None);
        CommandTable::Provide("CENTRE", nullptr);
        CommandTable::Provide("REPTXT", nullptr);
        CommandScript::SetWaitForObserver({});
        WorldCommands::Client() = {};
        ConsoleHooks::showTitle = nullptr;
        AppTime::SetRealClock(nullptr);
    }
    static void Run(const char* line) { TextConsole::ExecuteAtFullAccess(line); }
    static std::string Last()
    {
        const auto& s = TextConsole::Get();
        if (!s.pending.empty())
            return s.pending.back().text;
        return s.lines.empty() ? std::string() : s.lines.back().text;
    }
};

TEST_F(ScriptCommandsTest, CentreRefusesWhatNamesNoObject)
{
    const struct {
        const char* line;
        AppState state;
        std::string printed;
    } cases[] = {
        {"CENTRE 3", AppState::MainMenu, "Only in a game."},
        {"CENTRE", AppState::Playing, "No id given, or a negative one."},
        {"CENTRE -7", AppState::Playing, "No id given, or a negative one."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        TextConsole::Get().lines.clear();
        SetAppState(c.state);
        Run(c.line);
        EXPECT_EQ(Last(), c.printed);
    }
}

TEST_F(ScriptCommandsTest, ReptxtSetsAndStopsTheRepeatingLine)
{
    Run("REPTXT   Press the left button to select a unit.");
    EXPECT_TRUE(RepeatText::Active());
    EXPECT_EQ(RepeatText::Text(), "Press the left button to select a unit.");
    Run("REPTXT");
    EXPECT_FALSE(RepeatText::Active());
}

int32_t g_underCursor = -1;

TEST_F(ScriptCommandsTest, SetScaleScalesTheObjectUnderTheCursor)
{
    script::Role role;
    role.identifier = "crate";
    role.aiType = 10;
    PrimitiveDesc box;
    box.kind = 4;
    box.p1 = box.p2 = box.p3 = 1;
    role.shape.shape = std::shared_ptr<void>(VeShape::FromPrimitive(box), [](void* s) {
        static_cast<VeShape*>(s)->Release();
    });
    RoleTable::Global().File(role);
    WorldObject* crate = WorldObject::CreateByRole(0, &role, {0, 0, 0}, Quaternion::Identity());
    ASSERT_TRUE(crate && crate->Shape());
    WorldCommands::Client().runsClient = [] { return true; };
    WorldCommands::Client().objectUnderCursor = [] { return g_underCursor; };
    const struct {
        const char* line;
        bool underCursor;
        float scale; // what the object has afterwards
    } rows[] = {
        {"SET SCALE 2", true, 2.0f},
        {"SET SCALE 0.5", false, 2.0f}, // nothing under the cursor
        {"SET SCALE 1000000000000000000000000000000000000000000000000", true, 2.0f}, // past a float: no change
        {"SET SCALE", true, 1.0f},      // the default
        {"SET SCALE 0.25", true, 0.25f},
    };
    for (const auto& r : rows) {
        g_underCursor = r.underCursor ? int32_t(crate->GetId()) : -1;
        Run(r.line);
        const Vec3& scale = crate->Shape()->placement_.Scale();
        EXPECT_EQ(scale.x, r.scale) << r.line;
        EXPECT_TRUE(scale.x == scale.y && scale.y == scale.z) << r.line;
        EXPECT_FALSE(crate->Shape()->placement_.Flags() & Transform::kNoScale) << r.line;
    }
    WorldObjectTable::DestroyAll();
    RoleTable::Global().ForgetAll();
}

} // namespace
