// The server's messages that reach the interface, applied as the client
// applies them: TRACK selects and locks the camera, PLAYER SELECT adds,
// BOARD clears, CAMERA TRACK starts the scripted move, and the defeat opens
// the end-of-mission screen with edge scrolling off, a unit handed to this
// machine gets its panel, and a spoken line stands over its speaker.
#include "ui_fixture.h"

#include "console/screen_message.h"
#include "console/text_console.h"

#include "objects/inventory.h"
#include "platform/byte_cursor.h"
#include "session/client_apply.h"
#include "session/client_hooks.h"
#include "ui/client_objects.h"
#include "ui/menu_screen.h"
#include "ui/picking.h"
#include "ui/selection.h"
#include "ui/server_notices.h"

#include <algorithm>
#include <bit>
#include <initializer_list>

namespace {

using uitest::GameViewTest;

std::vector<uint8_t> Words(std::initializer_list<uint32_t> words)
{
    std::vector<uint8_t> out(words.size() * 4);
    size_t i = 0;
    for (uint32_t w : words)
        StoreU32(out.data() + 4 * i++, w);
    return out;
}

uint32_t F(float f) { return std::bit_cast<uint32_t>(f); }

class ServerNoticesTest : public GameViewTest {
protected:
    void SetUp() override
    {
        GameViewTest::SetUp();
        ClientHooks::Get() = ClientHooks{};
        ServerNotices::Install();
    }
    void TearDown() override
    {
        ServerNotices::ReleaseUnitPanels();
        MenuScreen::ReleaseAll();
        CameraMove::Get().End();
        CameraController::SetScriptMode(false);
        CameraController::SetEdgeScrollEnabled(true);
        ClientHooks::Get() = ClientHooks{};
        GameViewTest::TearDown();
    }
    // Trevok stands on the screen at (64, 120) of 640 x 480; nobody else does.
    void OnlyTrevokOnScreen()
    {
        Picking::SetRectOverride([this](const WorldObject& unit, ScreenRect& r) {
            if (&unit != trevok_)
                return false;
            r = {64, 120, 96, 180};
            return true;
        });
    }
    static Client::Applied Apply(std::initializer_list<uint32_t> words)
    {
        return Client::ApplyServerMessage(Words(words));
    }
};

TEST_F(ServerNoticesTest, TrackSelectsTheObjectAloneAndLocksTheCamera)
{
    Selection::Add(vell_);
    ASSERT_EQ(Apply({113, trevok_->GetId()}), Client::Applied::kApplied);
    EXPECT_EQ(Selection::Members(), std::vector<WorldObject*>{trevok_});
    EXPECT_TRUE(CameraController::IsTracked(trevok_));
    EXPECT_FALSE(CameraController::IsTracked(vell_));

    ASSERT_EQ(Apply({128, tovan_->GetId()}), Client::Applied::kApplied);
    EXPECT_EQ(Selection::Count(), 2);
    EXPECT_TRUE(Selection::Contains(tovan_));

    ASSERT_EQ(Apply({114, trevok_->GetId()}), Client::Applied::kApplied);
    EXPECT_EQ(Selection::Count(), 0);
}

TEST_F(ServerNoticesTest, CameraTrackStartsTheScriptedMoveAtTheRealClock)
{
    view_.now = 5 * kTicksPerSecond;
    ASSERT_EQ(Apply({103, F(0), F(1), F(2), F(3), F(4), F(5), F(6), F(7), F(8), F(9), F(10), F(11), F(0.5f)}),
              Client::Applied::kApplied);
    const CameraMove& move = CameraMove::Get();
    EXPECT_TRUE(move.active_);
    EXPECT_FALSE(move.cutscene_);
    EXPECT_EQ(move.startTime_, view_.now);
    EXPECT_EQ(move.speed_, 0.5f);
    const Vec3 start = move.Evaluate(0), end = move.Evaluate(1);
    EXPECT_NEAR(start.x, 0.0f, 1e-5f);
    EXPECT_NEAR(start.z, 2.0f, 1e-5f);
    EXPECT_NEAR(end.x, 9.0f, 1e-4f);
    EXPECT_NEAR(end.z, 11.0f, 1e-4f);
    EXPECT_TRUE(CameraController::Get().scriptMode);
}

TEST_F(ServerNoticesTest, DefeatOpensTheEndOfMissionScreenWithoutEdgeScrolling)
{
    ASSERT_TRUE(CameraController::EdgeScrollEnabled());
    ASSERT_EQ(Apply({95}), Client::Applied::kApplied);
    ASSERT_NE(MenuScreen::Slot(MenuScreen::kEndOfMission), nullptr);
    EXPECT_FALSE(CameraController::EdgeScrollEnabled());
    MenuScreen* first = MenuScreen::Slot(MenuScreen::kEndOfMission);
    ASSERT_EQ(Apply({95}), Client::Applied::kApplied);  // a repeat opens no second screen
    EXPECT_EQ(MenuScreen::Slot(MenuScreen::kEndOfMission), first);
}

TEST_F(ServerNoticesTest, AnOwnUnitHandedToThisMachineGetsOnePanelForAsLongAsItLasts)
{
    auto& squad = WorldObjectTable::SquadList();
    std::erase(squad, trevok_);
    ASSERT_EQ(Apply({3, trevok_->GetId()}), Client::Applied::kApplied);
    MenuScreen* panel = ServerNotices::UnitPanelOf(*trevok_);
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(panel->Kind(), MenuScreen::kMessagePlate);
    EXPECT_FALSE(panel->IsTransient());
    EXPECT_EQ(std::count(squad.begin(), squad.end(), trevok_), 1);

    ASSERT_EQ(Apply({3, trevok_->GetId()}), Client::Applied::kApplied);  // a repeat: still one of each
    EXPECT_EQ(ServerNotices::UnitPanelOf(*trevok_), panel);
    EXPECT_EQ(std::count(squad.begin(), squad.end(), trevok_), 1);
    EXPECT_EQ(std::count(MenuScreen::All().begin(), MenuScreen::All().end(), panel), 1);

    // The enemy's unit is controlled here but is no squad member and has no panel.
    ASSERT_EQ(Apply({3, enemy_->GetId()}), Client::Applied::kApplied);
    EXPECT_EQ(ServerNotices::UnitPanelOf(*enemy_), nullptr);
    EXPECT_EQ(std::count(squad.begin(), squad.end(), enemy_), 0);

    // A removed unit's panel goes with it; the level's stop takes the rest.
    ASSERT_EQ(Apply({3, vell_->GetId()}), Client::Applied::kApplied);
    ASSERT_NE(ServerNotices::UnitPanelOf(*vell_), nullptr);
    const size_t screens = MenuScreen::All().size();
    vell_->Remove();
    EXPECT_EQ(ServerNotices::UnitPanelOf(*vell_), nullptr);
    ASSERT_EQ(Apply({3, tovan_->GetId()}), Client::Applied::kApplied);
    EXPECT_EQ(MenuScreen::All().size(), screens);  // vell's went as tovan's came
    ServerNotices::ReleaseUnitPanels();
    EXPECT_EQ(ServerNotices::UnitPanelOf(*trevok_), nullptr);
    EXPECT_EQ(MenuScreen::All().size(), screens - 2);
}

// SPEAK's line is a server text (kind 0, its width from the message) at
// the top left of the speaker's screen rectangle, scaled to the screen;
// a speaker off the screen speaks at the centre.
TEST_F(ServerNoticesTest, ASpokenLineStandsOverItsSpeakerWhileItIsOnScreen)
{
    OnlyTrevokOnScreen();
    const struct {
        const char* name;
        WorldObject* speaker;
        float x, y;
    } rows[] = {
        {"on screen", trevok_, 0.1f, 0.25f},
        {"off screen", vell_, 0.5f, 0.5f},
    };
    for (const auto& row : rows) {
        ScreenMessages::Clear();
        std::vector<uint8_t> block = Words({112, row.speaker->GetId()});
        for (char c : std::string("Follow me"))
            block.push_back(static_cast<uint8_t>(c));
        block.push_back(0);
        ASSERT_EQ(Client::ApplyServerMessage(block), Client::Applied::kApplied) << row.name;
        ASSERT_EQ(ScreenMessages::All().size(), 1u) << row.name;
        const ScreenMessage& shown = *ScreenMessages::All().front();
        EXPECT_EQ(shown.text, "Follow me") << row.name;
        EXPECT_EQ(shown.kind, 0) << row.name;
        EXPECT_FLOAT_EQ(shown.left, row.x) << row.name;
        EXPECT_FLOAT_EQ(shown.right - shown.left, 0.4f) << row.name;
        EXPECT_FLOAT_EQ(shown.y, row.y) << row.name;
    }
    ScreenMessages::Clear();
}

// What a unit says of itself (out of ammunition, its disguise given away)
// stands beside it as its role name and the text, unless a scripted camera
// holds the view.
TEST_F(ServerNoticesTest, AUnitsOwnLineStandsBesideItUnlessTheCameraHoldsTheView)
{
    OnlyTrevokOnScreen();
    const auto& say = ClientServices::Get().sayBeside;
    ASSERT_TRUE(say);
    const std::string line = std::string(ClientObjects::RoleName(*trevok_)) + ": " + TextConsole::Text(7076);
    const struct {
        const char* name;
        bool scripted;
        size_t shown;
    } rows[] = {{"free camera", false, 1}, {"scripted camera", true, 0}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        ScreenMessages::Clear();
        CameraController::SetScriptMode(row.scripted);
        say(*trevok_, 7076);
        ASSERT_EQ(ScreenMessages::All().size(), row.shown);
        if (row.shown) {
            const ScreenMessage& shown = *ScreenMessages::All().front();
            EXPECT_EQ(shown.text, line);
            EXPECT_EQ(shown.kind, 1);
            EXPECT_FLOAT_EQ(shown.left, 0.1f);
            EXPECT_FLOAT_EQ(shown.y, 0.25f);
        }
    }
    CameraController::SetScriptMode(false);
    ScreenMessages::Clear();
}

// A text beside a unit (kind 1, 0.4 wide) stands at the top left of its
// screen rectangle; off the screen, a unit with a panel has it end at 0.99
// of the screen's width at the panel's height, any other at the centre.
TEST_F(ServerNoticesTest, ATextBesideAUnitOffTheScreenStandsByItsPanel)
{
    OnlyTrevokOnScreen();
    ASSERT_EQ(Apply({3, trevok_->GetId()}), Client::Applied::kApplied);
    ASSERT_EQ(Apply({3, vell_->GetId()}), Client::Applied::kApplied);
    MenuScreen* panel = ServerNotices::UnitPanelOf(*vell_);
    ASSERT_NE(panel, nullptr);
    panel->SetPosition(0.0f, 0.6f);
    const struct {
        const char* name;
        WorldObject* unit;
        float left, y;
    } rows[] = {
        {"on screen, with a panel", trevok_, 0.1f, 0.25f},
        {"off screen, with a panel", vell_, 0.59f, 0.6f},
        {"off screen, no panel", enemy_, 0.5f, 0.5f},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        ScreenMessages::Clear();
        ClientObjects::ShowText(*row.unit, "Out of ammunition");
        ASSERT_EQ(ScreenMessages::All().size(), 1u);
        const ScreenMessage& shown = *ScreenMessages::All().front();
        EXPECT_EQ(shown.kind, 1);
        EXPECT_FLOAT_EQ(shown.left, row.left);
        EXPECT_FLOAT_EQ(shown.right - shown.left, 0.4f);
        EXPECT_FLOAT_EQ(shown.y, row.y);
    }
    ScreenMessages::Clear();
}

// The view that rides with a unit lets go of it when it goes; another
// unit's end leaves the view where it is. A unit picked alone is the one
// the replicas' drawing lets clicks through.
TEST_F(ServerNoticesTest, TheViewLetsGoOfTheUnitItFollowsWhenItGoes)
{
    Selection::SetViewUnit(vell_);
    ASSERT_EQ(Selection::ViewUnit(), vell_);
    tovan_->SetDirectControl(true);
    tovan_->Remove();
    EXPECT_EQ(Selection::ViewUnit(), vell_);
    vell_->Remove();
    EXPECT_EQ(Selection::ViewUnit(), nullptr);

    const auto& alone = ClientServices::Get().soleSelected;
    ASSERT_TRUE(alone);
    Selection::RemoveAll();
    Selection::Add(trevok_);
    EXPECT_TRUE(alone(*trevok_));
    Selection::Add(enemy_);
    EXPECT_FALSE(alone(*trevok_));
    Selection::RemoveAll();
}

// A gadget an own unit wears holds its screen open: the terrain scanner a
// map (10 with a value, else 11), the beacon tracker and the lock decoder
// the object screens 12 and 13; taking it off closes it, and the level's
// stop takes what is left.
TEST_F(ServerNoticesTest, AWornGadgetHoldsItsScreenOpenUntilItComesOff)
{
    const struct {
        int32_t subtype, value, kind;
    } rows[] = {{2, 3, MenuScreen::kMap}, {2, 0, MenuScreen::kMap2}, {1, 0, MenuScreen::kObjectScreen},
                {0, 0, MenuScreen::kObjectScreen2}};
    ASSERT_NE(trevok_->GetInventory(), nullptr);
    int32_t id = 70;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.kind);
        CarriedItem gadget;
        gadget.kind = 7;
        gadget.subtype = row.subtype;
        gadget.value = row.value;
        gadget.id = ++id;
        trevok_->GetInventory()->Add(gadget);
        const size_t screens = MenuScreen::All().size();
        ASSERT_EQ(Apply({84, trevok_->GetId(), 2, uint32_t(id)}), Client::Applied::kApplied);
        MenuScreen* shown = ServerNotices::ItemScreenOf(*trevok_, id);
        ASSERT_NE(shown, nullptr);
        EXPECT_EQ(shown->Kind(), row.kind);
        EXPECT_EQ(shown->IsMap(), row.kind == MenuScreen::kMap || row.kind == MenuScreen::kMap2);
        EXPECT_EQ(MenuScreen::All().size(), screens + 1);
        ASSERT_EQ(Apply({88, trevok_->GetId(), uint32_t(id)}), Client::Applied::kApplied);
        EXPECT_EQ(ServerNotices::ItemScreenOf(*trevok_, id), nullptr);
        EXPECT_EQ(MenuScreen::All().size(), screens);
    }
    // Worn when the level stops: released with the panels.
    ASSERT_EQ(Apply({84, trevok_->GetId(), 2, uint32_t(id)}), Client::Applied::kApplied);
    ASSERT_NE(ServerNotices::ItemScreenOf(*trevok_, id), nullptr);
    ServerNotices::ReleaseUnitPanels();
    EXPECT_EQ(ServerNotices::ItemScreenOf(*trevok_, id), nullptr);
}

} // namespace
