#include "ui/hud.h"

#include "fake_view.h"
#include "app/app_time.h"
#include "ui/recon_view.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace ui_test {
namespace {

uint32_t Red(uint32_t c) { return (c >> 16) & 0xFF; }
uint32_t Green(uint32_t c) { return (c >> 8) & 0xFF; }

TEST(HudCountdown, TextAndColour)
{
    struct Case {
        float seconds;
        const char* text;
        uint32_t red, green;
    };
    const Case cases[] = {
        {4.0f, "03 - 04 : 00", 153, 102}, // 60 % red
        {-1.0f, "03 - 00 : 00", 255, 0},  // never a negative field
        {0.0f, "03 - 00 : 00", 255, 0},   {10.0f, "03 - 10 : 00", 0, 255},
        {12.0f, "03 - 12 : 00", 0, 255},  // colours clamped
        {2.5f, "03 - 02 : 50", 191, 63},  {NAN, "03 - 00 : 00", 255, 0},
        {3.0e30f, "03 - 1000000 : 00", 0, 255},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.seconds);
        EXPECT_EQ(Hud::CountdownText(3, c.seconds), c.text);
        const uint32_t colour = Hud::CountdownColour(c.seconds);
        EXPECT_EQ(colour >> 24, 0xFFu);
        EXPECT_EQ(Red(colour), c.red);
        EXPECT_EQ(Green(colour), c.green);
        EXPECT_EQ(colour & 0xFF, 0u);
    }
}

// The HUD over a world of real replicas.
class HudWorld : public ::testing::Test {
protected:
    ReplicaWorld world_;
};

TEST_F(HudWorld, CountdownsListLiveTimedObjectsOfTheTeamUpToHalfTheScreen)
{
    FakeView view; // the replicas' clock
    std::vector<WorldObject*> objects;
    for (uint32_t i = 0; i < 20; ++i) {
        // Another team, a dead unit, one without a time span; then i seconds left.
        Unit* unit = world_.MakeUnit(10 + i, i == 0 ? 2 : 1, "timer" + std::to_string(i));
        if (i == 1)
            ReplicaWorld::Kill(*unit);
        if (i != 2)
            unit->SetProgress(0, AppTime::GameSeconds() + float(i));
        objects.push_back(unit);
    }
    const auto lines = Hud::CountdownLines(objects, 1, 0.1f);
    // 0.9, 0.8, 0.7, 0.6 and 0.5 is not above half.
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0].text, "01 - 03 : 00");
    EXPECT_FLOAT_EQ(lines[0].y, 0.9f);
    EXPECT_FLOAT_EQ(lines[0].x, 0.01f);
    EXPECT_EQ(lines[3].text, "04 - 06 : 00");
    EXPECT_TRUE(Hud::CountdownLines(objects, 1, 0.0f).empty());
}

TEST(HudPauseBanner, BlinksOnceASecondAcrossTheOldWrap)
{
    // A clock started just below 2^32 ticks; 1000 ticks a second.
    const int64_t start = (int64_t(1) << 32) - 1500;
    Hud::PauseBanner banner;
    struct Step {
        int64_t offset;
        bool visible;
    };
    const Step steps[] = {{0, true},     {999, true},   {1000, true},  {1001, false},
                          {2001, false}, {2002, true},  {3002, true},  {3003, false}};
    for (const Step& s : steps)
        EXPECT_EQ(banner.Update(start + s.offset, 1000), s.visible) << s.offset;
}

TEST_F(HudWorld, PausedBannerAndCountdownsWithoutASelection)
{
    FakeView view;
    Unit* timer = world_.MakeUnit(7, 1, "timer");
    timer->SetProgress(0, AppTime::GameSeconds() + 4.0f);
    view.objects = {timer};
    view.paused = true;
    view.modifiers = kModifierCtrl;
    Hud::Reset();
    const auto lines = Hud::BuildFrame(100, 0.05f, 0.04f);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].text, "Active Pause");
    EXPECT_FLOAT_EQ(lines[0].y, 1.0f - 0.075f);
    EXPECT_EQ(lines[1].text, "01 - 04 : 00");
    EXPECT_FALSE(lines[0].panelFont || lines[1].panelFont) << "the small font";
}

TEST(HudOrderList, TextPerKind)
{
    struct Case {
        UnitOrder order;
        const char* text; // null: not listed
    };
    const Case cases[] = {
        {{0, "%s%n"}, "Attack Target %s%n"}, // names are never formats
        {{0}, "Attack Target"},
        {{1}, "Attack Location"},
        {{2, nullptr, nullptr, 0, nullptr, 3}, "Move to Waypoint [3]"},
        {{3}, nullptr},
        {{4}, "Crouch"},
        {{5, nullptr, "Scanner"}, "Equip Scanner"},
        {{6, nullptr, "Medikit", 0, "%x%s"}, "Give Medikit to %x%s"},
        {{7, nullptr, "Pulse rifle", 4}, "Change Weapon to Pulse rifle"},
        {{7, nullptr, "Plasma cells", 6}, "Change Ammo to Plasma cells"},
        {{7, nullptr, "Flare", 5}, "Use Flare"},
        {{8, nullptr, "Flare"}, "Drop Flare"},
        {{9, nullptr, "Shield"}, "Unequip Shield"},
        {{10, nullptr, "Slugs"}, "Change Ammo to Slugs"},
        {{11}, "Do 11 - THIS IS A BUG, TELL ME!"},
        {{4000000000u}, "Do 4000000000 - THIS IS A BUG, TELL ME!"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.order.kind);
        const auto text = Hud::OrderText(c.order);
        if (!c.text)
            EXPECT_FALSE(text);
        else
            EXPECT_EQ(text.value_or("<none>"), c.text);
    }
}

TEST_F(HudWorld, OrderListOnlyWithCtrlAndOneCharacter)
{
    Unit* a = world_.MakeUnit(1, 1, "a");
    Unit* b = world_.MakeUnit(2, 1, "b");
    ReplicaWorld::SetOrders(*a, {LocalOrder::kAttackLocation, LocalOrder::kHold, LocalOrder::kCrouch});
    std::vector<WorldObject*> one{a}, two{a, b};
    EXPECT_TRUE(Hud::OrderListLines(one, 0, 0.05f).empty());
    const auto lines = Hud::OrderListLines(one, kModifierCtrl, 0.05f);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].text, "Attack Location");
    EXPECT_EQ(lines[1].text, "Crouch");
    EXPECT_GT(lines[1].y, lines[0].y);
    const auto notice = Hud::OrderListLines(two, kModifierCtrl, 0.05f);
    ASSERT_EQ(notice.size(), 1u);
    EXPECT_EQ(notice[0].text, Hud::kOneCharacterOnly);
    EXPECT_EQ(notice[0].colour, 0xFF00FF00u);
}

// The order list reads the replica's local orders: the target's and the
// receiver's role names while they exist, waypoints numbered in order.
TEST_F(HudWorld, OrderListNamesComeFromTheReplicas)
{
    Unit* lead = world_.MakeUnit(1, 1, "Trevok");
    Unit* guard = world_.MakeUnit(2, 2, "Guard %s");
    world_.MakeUnit(3, 1, "Vell");
    const auto order = [](int32_t kind, int32_t value, const Vec3& at = {0, 0, 0}) {
        LocalOrder o;
        o.kind = kind;
        o.value = value;
        o.position = at;
        return o;
    };
    lead->AppendOrder(order(LocalOrder::kAttackTarget, 2));
    lead->AppendOrder(order(LocalOrder::kWaypoint, -1, {1, 0, 2}));
    lead->AppendOrder(order(LocalOrder::kAttackTarget, 99)); // gone
    lead->AppendOrder(order(LocalOrder::kWaypoint, -1, {3, 0, 4}));
    lead->AppendOrder(order(LocalOrder::kGive, 3));
    std::vector<WorldObject*> one{lead};
    std::vector<std::string> texts;
    for (const Hud::Line& line : Hud::OrderListLines(one, kModifierCtrl, 0.05f))
        texts.push_back(line.text);
    const std::vector<std::string> expected{"Attack Target Guard %s", "Move to Waypoint [1]", "Attack Target",
                                            "Move to Waypoint [2]", "Give  to Vell"};
    EXPECT_EQ(texts, expected);
    const auto orders = ClientObjects::OrdersOf(*lead);
    ASSERT_EQ(orders.size(), 5u);
    EXPECT_EQ(orders[3].point, (Vec3{3, 0, 4}));
    EXPECT_TRUE(ClientObjects::OrdersOf(*guard).empty());
}

TEST_F(HudWorld, TargetIsTheNearestEnemyInsideTheViewCone)
{
    Unit* viewer = world_.MakeUnit(1, 1, "viewer");
    Unit* friendOf = world_.MakeUnit(2, 1, "friend", {0, 0, 5});
    Unit* far = world_.MakeUnit(3, 2, "far", {0, 0, 50});
    Unit* near = world_.MakeUnit(4, 2, "near", {1, 0, 20});
    Unit* aside = world_.MakeUnit(5, 2, "aside", {20, 0, 2});   // far off the heading
    Unit* above = world_.MakeUnit(6, 2, "above", {0, -30, 3});  // far above the pitch
    Unit* neutral = world_.MakeUnit(7, 0, "neutral", {0, 0, 2});
    Unit* dead = world_.MakeUnit(8, 2, "dead", {0, 0, 1});
    ReplicaWorld::Kill(*dead);
    std::vector<WorldObject*> objects{viewer, friendOf, far, near, aside, above, neutral, dead};
    EXPECT_EQ(Hud::ChooseTarget(*viewer, 0, 0, objects), near);
    // Heading just short of a turn wraps to look the same way.
    EXPECT_EQ(Hud::ChooseTarget(*viewer, 4090, 0, objects), near);
    EXPECT_EQ(Hud::ChooseTarget(*viewer, 1024, 0, objects), aside);
    EXPECT_EQ(Hud::ChooseTarget(*viewer, 2048, 0, objects), nullptr);
}

TEST_F(HudWorld, PanelLines)
{
    // The weapon's name is its record's, for the ammunition it holds.
    script::RecordTables& tables = script::RecordTables::Global();
    tables.Clear();
    script::WeaponEntry laser;
    laser.name = "Laser";
    script::Role& role = world_.NewRole("Sentry %n");
    role.shields = 5;
    role.armour = 2;
    Unit* target = world_.Make<Unit>(1, 2, role);
    ASSERT_TRUE(tables.StoreWeapon(ReplicaWorld::kArmed, target->AmmoType(), laser));
    const std::vector<std::string> full{"Enemy ID: Sentry %n", "Weapons: Laser", "Shield Unit: Detected",
                                        "Armour Rating: 2", "Salvage: N/A"};
    EXPECT_EQ(Hud::TargetPanel(*target), full);
    WorldObject* bare = world_.Make(2, 2, world_.NewRole("", 2, ReplicaWorld::kNoWeapon));
    const std::vector<std::string> plain{"Shield Unit: N/A", "Armour Rating: 0", "Salvage: N/A"};
    EXPECT_EQ(Hud::TargetPanel(*bare), plain);

    Unit* viewer = world_.MakeUnit(3, 1, "Trevok", {1.4f, -2.6f, 3.5f});
    const std::vector<std::string> own{"Trevok", "90'", "-45'", "(1,-3,4)"};
    EXPECT_EQ(Hud::ViewerPanel(*viewer, 1024.2f, -512), own);
    tables.Clear();
}

TEST_F(HudWorld, ReconPanelAndTarget)
{
    FakeView view;
    Unit* lead = world_.MakeUnit(1, 1, "Trevok");
    Unit* enemy = world_.MakeUnit(2, 2, "Drone", {0, 0, 10});
    view.objects = {lead, enemy};
    view.selected = {lead};
    ReconView::Toggle(true);
    ReconView::SetAngles(0, 0);
    const auto lines = Hud::BuildFrame(0, 0.05f, 0.04f);
    ReconView::Toggle(false);
    ASSERT_GE(lines.size(), 5u);
    EXPECT_EQ(lines[0].text, "Trevok");
    EXPECT_FLOAT_EQ(lines[0].x, 0.155f);
    EXPECT_EQ(lines[4].text, "Enemy ID: Drone");
    // The panel is written in the third font, one of its lines below the other.
    for (size_t i = 0; i < lines.size(); ++i) {
        EXPECT_TRUE(lines[i].panelFont) << lines[i].text;
        EXPECT_NEAR(lines[i].y, 0.155f + 0.04f * float(i), 1e-6) << lines[i].text;
    }
    // Not in the normal view.
    EXPECT_TRUE(Hud::BuildFrame(0, 0.05f, 0.04f).empty());
}

constexpr float kRate = Hud::VisionSweep::kStepsPerSecond;

TEST(HudSweep, OutAndBackOnAClockPastTheOldWrap)
{
    // Seconds of a clock that passed 2^32 ticks long ago.
    const double t0 = 5.0e6;
    Hud::VisionSweep sweep;
    sweep.Start(100, t0);
    Hud::SweepBeam beams[2];
    ASSERT_EQ(sweep.Step(t0 + 0.1, beams), 1);
    EXPECT_NEAR(beams[0].angle, -100 + 0.1 * kRate, 0.01);
    EXPECT_NEAR(beams[0].delay, 0.1, 1e-9);
    // 0.4 s on: +108.6 passes +100 by 8.6: the turn is drawn at +100, then
    // the beam at 100 - 8.6.
    ASSERT_EQ(sweep.Step(t0 + 0.5, beams), 2);
    const double excess = -100 + 0.5 * kRate - 100;
    EXPECT_FLOAT_EQ(beams[0].angle, 100);
    EXPECT_NEAR(beams[0].delay, 0.4 - excess / kRate, 1e-4);
    EXPECT_NEAR(beams[0].time, t0 + 0.5 - excess / kRate, 1e-4);
    EXPECT_NEAR(beams[1].angle, 100 - excess, 0.01);
    EXPECT_EQ(sweep.State(), 1);
    // Back past -100: the last beam is drawn at -100 and the sweep ends.
    ASSERT_EQ(sweep.Step(t0 + 1.0, beams), 1);
    EXPECT_FLOAT_EQ(beams[0].angle, -100);
    EXPECT_FALSE(sweep.Active());
    EXPECT_EQ(sweep.Step(t0 + 2.0, beams), 0);
}

TEST(HudSweep, EndsAtOnce)
{
    struct Case {
        float limit;
        double step;
    };
    // A limit of 0 has nothing to sweep; an excess as large as the limit
    // (a long frame) ends the sweep without drawing.
    const Case cases[] = {{0, 0.1}, {-5, 0.1}, {10, 1.0}};
    for (const Case& c : cases) {
        Hud::VisionSweep sweep;
        sweep.Start(c.limit, 0);
        Hud::SweepBeam beams[2];
        EXPECT_EQ(sweep.Step(c.step, beams), 0) << c.limit;
        EXPECT_FALSE(sweep.Active());
    }
}

} // namespace
} // namespace ui_test

namespace ui_test {
namespace {

TEST(HudCones, ColourByAlertState)
{
    struct Case {
        int state;
        bool flag;
        Hud::ConeColour colour;
    };
    const Case cases[] = {
        {0, true, {0.1f, 1.0f, 0.1f, 0.4f}},
        {3, true, {1.0f, 0.1f, 0.1f, 0.4f}},
        {0, false, {0.7f, 0.1f, 0.6f, 1.0f}},
        {3, false, {0.7f, 0.1f, 0.6f, 1.0f}},
    };
    for (const Case& c : cases) {
        const Hud::ConeColour got = Hud::VisionConeColour(c.state, c.flag);
        EXPECT_FLOAT_EQ(got.r, c.colour.r) << c.state << c.flag;
        EXPECT_FLOAT_EQ(got.g, c.colour.g);
        EXPECT_FLOAT_EQ(got.b, c.colour.b);
        EXPECT_FLOAT_EQ(got.a, c.colour.a);
    }
}

TEST(HudOrderList, WaypointLabelsAtTheirScreenPositions)
{
    const UnitOrder orders[] = {
        {2, nullptr, nullptr, 0, nullptr, 1, {1, 0, 2}},
        {4},
        {2, nullptr, nullptr, 0, nullptr, 2, {3, 0, -1}}, // behind the camera
        {2, nullptr, nullptr, 0, nullptr, 3, {2, 0, 4}},
    };
    const Hud::Projector pinhole = [](const Vec3& p, float& x, float& y, void*) {
        if (p.z <= 0)
            return false;
        x = p.x / p.z;
        y = p.y / p.z;
        return true;
    };
    const auto lines = Hud::WaypointLabels(orders, pinhole, nullptr);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].text, "[1]");
    EXPECT_FLOAT_EQ(lines[0].x, 0.5f);
    EXPECT_EQ(lines[1].text, "[3]");
    EXPECT_TRUE(Hud::WaypointLabels(orders, nullptr, nullptr).empty());
}

} // namespace
} // namespace ui_test

namespace ui_test {
namespace {

TEST_F(HudWorld, SweepsSteppedPerObjectUntilTheyEndOrTheObjectGoes)
{
    FakeView view;
    Unit* scanner = world_.MakeUnit(4, 2, "scanner");
    Unit* other = world_.MakeUnit(5, 2, "other");
    Unit* idle = world_.MakeUnit(6, 2, "idle");
    view.objects = {scanner, other, idle};
    Hud::Reset();
    struct Seen {
        std::vector<std::pair<uint32_t, float>> beams;
    } seen;
    Hud::SetSweepDrawer(
        [](WorldObject& object, const Hud::SweepBeam& beam, void* context) {
            static_cast<Seen*>(context)->beams.push_back({object.GetId(), beam.angle});
        },
        &seen);
    const double t0 = 6.0e6; // long past 2^32 ticks
    Hud::StartVisionSweep(*scanner, 100, t0);
    Hud::StartVisionSweep(*other, 100, t0);
    Hud::StartVisionSweep(*idle, 0, t0); // nothing to sweep
    EXPECT_FALSE(Hud::IsSweeping(6));
    EXPECT_EQ(Hud::StepVisionSweeps(t0 + 0.1), 2);
    ASSERT_EQ(seen.beams.size(), 2u);
    EXPECT_EQ(seen.beams[0].first, 4u);
    // The second object leaves the game: its sweep goes with it.
    view.objects = {scanner};
    EXPECT_EQ(Hud::StepVisionSweeps(t0 + 0.2), 1);
    EXPECT_FALSE(Hud::IsSweeping(5));
    // Out and back: the sweep ends after its last beam at -limit.
    Hud::StepVisionSweeps(t0 + 0.5);
    Hud::StepVisionSweeps(t0 + 1.0);
    EXPECT_FALSE(Hud::IsSweeping(4));
    EXPECT_FLOAT_EQ(seen.beams.back().second, -100);
    Hud::SetSweepDrawer(nullptr, nullptr);
}

} // namespace
} // namespace ui_test

namespace ui_test {
namespace {

// The HUD's countdowns and sweeps read the clock the orders stamp their
// requests with: at any game time both give the same seconds.
TEST(HudClock, IsTheGameClockTheOrdersUse)
{
    AppTime::SetGameSpeed(0.0f);  // the clock stands where it is put
    const int64_t tps = AppTime::TicksPerSecond();
    for (const int64_t ticks : {int64_t{0}, int64_t{1}, tps / 3, 7 * tps + 12345, 1000 * tps + tps / 7}) {
        SCOPED_TRACE(ticks);
        AppTime::SetGameTime(ticks);
        EXPECT_EQ(HudView::Current().GameSeconds(), double(AppTime::GameSeconds()));
    }
    AppTime::SetGameTime(0);
    AppTime::SetGameSpeed(1.0f);
}

} // namespace
} // namespace ui_test
