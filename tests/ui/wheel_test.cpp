#include "ui/wheel.h"

#include "ui/game_view.h"

#include "fake_view.h"

#include <gtest/gtest.h>

#include <map>

namespace ui_test {
namespace {

// 1600 ticks a second: opening 500, closing 700, fast closing 300.
constexpr int64_t kTicks = 1600;
// A clock started just below 2^32 ticks, crossing it during the tests.
constexpr uint64_t kStart = (uint64_t(1) << 32) - 100;

struct FakeShape : WheelShape {
    explicit FakeShape(std::map<std::string, int>* draws, std::string part) : draws_(draws), part_(std::move(part)) {}
    void Place(float, float, float) override {}
    void SetAngle(float) override {}
    void Draw(Material material, const void*) override
    {
        ++(*draws_)[part_];
        last = material;
    }
    std::map<std::string, int>* draws_;
    std::string part_;
    Material last = kNormal;
};

class WheelTest : public ::testing::Test {
protected:
    WheelTest() : saved_(WheelEnvironment()) { WheelEnvironment().ticksPerSecond = kTicks; }
    ~WheelTest() override { WheelEnvironment() = saved_; }
    WheelServices saved_;

    Wheel* MakeWheel(int children)
    {
        auto* wheel = new Wheel;
        for (int i = 0; i < children; ++i) {
            auto* child = new WheelWidget;
            wheel->Add(child);
            child->Release();
        }
        return wheel;
    }
    std::map<std::string, int> draws_;
};

TEST_F(WheelTest, SpreadOverTime)
{
    struct Step {
        char action; // o open, c close, f fast close, - just look
        uint64_t at;
        float spread;
        Wheel::State state;
    };
    const Step steps[] = {
        {'-', 0, 0, Wheel::kClosed},      {'o', 0, 0, Wheel::kOpening},  {'-', 250, 0.5f, Wheel::kOpening},
        {'-', 501, 1, Wheel::kOpen},      {'c', 600, 1, Wheel::kClosing}, {'-', 950, 0.5f, Wheel::kClosing},
        // Reopened half-way through the close: on from half spread.
        {'o', 950, 0.5f, Wheel::kOpening}, {'-', 1075, 0.75f, Wheel::kOpening}, {'-', 1201, 1, Wheel::kOpen},
        {'f', 1300, 1, Wheel::kClosing},  {'-', 1450, 0.5f, Wheel::kClosing}, {'-', 1601, 0, Wheel::kClosed},
        // A slow close turned fast keeps its spread.
        {'o', 2000, 0, Wheel::kOpening},  {'-', 2501, 1, Wheel::kOpen},   {'c', 2600, 1, Wheel::kClosing},
        {'f', 2775, 0.75f, Wheel::kClosing}, {'-', 2850, 0.5f, Wheel::kClosing},
    };
    for (int children : {0, 1, 2, 7}) {
        SCOPED_TRACE(children);
        Wheel* wheel = MakeWheel(children);
        for (const Step& s : steps) {
            const uint64_t now = kStart + s.at;
            if (s.action == 'o')
                wheel->Open(now);
            else if (s.action == 'c' || s.action == 'f')
                wheel->Close(now, s.action == 'f');
            EXPECT_NEAR(wheel->Spread(now), s.spread, 0.01f) << s.at;
            EXPECT_EQ(wheel->GetState(), s.state) << s.at;
        }
        wheel->Release();
    }
}

TEST_F(WheelTest, ChildAnglesAndDepths)
{
    Wheel* wheel = MakeWheel(7);
    for (int i = 0; i < 7; ++i)
        wheel->Child(i)->SetWidth(WheelWidget::kNarrowWidth);
    wheel->Arrange();
    EXPECT_FLOAT_EQ(wheel->TotalWidth(), 6 * 341.0f);
    wheel->Open(kStart);
    wheel->Draw(kStart + 250); // half open
    for (int i = 0; i < 7; ++i)
        EXPECT_NEAR(wheel->Child(i)->Angle(), 0.5f * 341.0f * float(i), 0.01f) << i;
    // Anchored at 0.5: the middle child stays, the fan opens both ways.
    wheel->SetAnchors(0.5f, 0.5f);
    wheel->Draw(kStart + 250);
    EXPECT_NEAR(wheel->Child(3)->Angle(), 0, 0.01f);
    EXPECT_NEAR(wheel->Child(0)->Angle(), -0.5f * 3 * 341.0f, 0.01f);
    EXPECT_FLOAT_EQ(wheel->Child(3)->Depth(), 0.4f);
    EXPECT_FLOAT_EQ(wheel->Child(6)->Depth(), 0.4f + 6.0f / 30); // farthest from the anchor
    wheel->Release();

    // One child: no width to divide by.
    Wheel* lone = MakeWheel(1);
    lone->Open(kStart);
    lone->Draw(kStart + 100);
    EXPECT_FLOAT_EQ(lone->Child(0)->Angle(), 0);
    EXPECT_FLOAT_EQ(lone->Child(0)->Depth(), 0.4f);
    lone->Release();
}

TEST_F(WheelTest, LabelFromTheSecondHoveredFrame)
{
    auto* widget = new WheelWidget;
    widget->SetShape(std::make_unique<FakeShape>(&draws_, "seg"));
    widget->SetLabel("Crouch or stand");
    struct Frame {
        bool hovered;
        uint64_t at;
        int shown; // -1: no label
    };
    const Frame frames[] = {
        {true, 0, -1},  {true, 160, 2},  {true, 320, 5}, {true, 1600, 15}, // whole text at most
        {false, 1700, -1}, {true, 1800, -1}, {true, 1960, 2},            // restarts
    };
    for (const Frame& f : frames) {
        if (f.hovered)
            widget->SetHovered();
        widget->Draw(kStart + f.at);
        EXPECT_EQ(widget->LabelShown(), f.shown) << f.at;
        EXPECT_FALSE(widget->Hovered());
    }
    widget->Release();
}

TEST_F(WheelTest, PressAnimationAndMaterials)
{
    auto* widget = new WheelWidget;
    auto shape = std::make_unique<FakeShape>(&draws_, "seg");
    FakeShape* seen = shape.get();
    widget->SetShape(std::move(shape));
    widget->SetHovered();
    EXPECT_EQ(widget->Click(kStart), kClickTaken);
    EXPECT_FLOAT_EQ(widget->PressLevel(kStart + 200), 0.5f);
    widget->Draw(kStart + 200);
    EXPECT_EQ(seen->last, WheelShape::kPressed);
    EXPECT_FLOAT_EQ(widget->PressLevel(kStart + 700), 0.25f);
    widget->Draw(kStart + 900);
    EXPECT_EQ(seen->last, WheelShape::kNormal);
    widget->SetVisualState(2);
    widget->Draw(kStart + 1000);
    EXPECT_EQ(seen->last, WheelShape::kHighlighted);
    // Not hovered, or disabled: not taken.
    EXPECT_EQ(widget->Click(kStart), 0);
    widget->SetEnabled(false);
    widget->SetHovered();
    EXPECT_EQ(widget->Click(kStart), 0);
    widget->Release();
}

class CommandWheelTest : public WheelTest {
protected:
    CommandWheelTest()
    {
        view_.objects = {unit_};
        view_.selected = {unit_};
        CommandWheel::Build([this](const std::string& file, const std::string& part) {
            made_.emplace_back(file, part);
            return std::make_unique<FakeShape>(&draws_, part);
        });
        CommandWheel::ClearPendingAction();
    }
    ~CommandWheelTest() override { CommandWheel::Release(); }

    void RunTo(uint64_t at)
    {
        for (; now_ <= kStart + at; now_ += 50)
            CommandWheel::Get()->Draw(now_);
    }
    ReplicaWorld world_;
    Unit* unit_ = world_.MakeUnit(1, 1, "vell");
    FakeView view_;
    uint64_t now_ = kStart;
    std::vector<std::pair<std::string, std::string>> made_; // file, part
};

TEST_F(CommandWheelTest, StandingOrderThroughTheSubWheel)
{
    Wheel* wheel = CommandWheel::Get();
    ASSERT_EQ(wheel->ChildCount(), 6);
    CommandWheel::OpenAt(0.5f, 0.4f, now_);
    RunTo(600);
    EXPECT_EQ(wheel->GetState(), Wheel::kOpen);
    auto* standing = static_cast<Wheel*>(wheel->Child(1));
    ASSERT_TRUE(standing->IsStandingOrders());
    standing->SetHovered();
    EXPECT_EQ(wheel->Click(now_), kClickTaken);
    EXPECT_EQ(wheel->Child(0), standing) << "the clicked segment leads";
    RunTo(1300);
    ASSERT_EQ(standing->GetState(), Wheel::kOpen);
    ASSERT_EQ(standing->ChildCount(), 7);
    standing->Child(2)->SetHovered();
    EXPECT_EQ(wheel->Click(now_), kClickTaken | kClickCloseHolder);
    EXPECT_EQ(CommandWheel::PendingAction(), WheelAction::kStandingOrder);
    EXPECT_EQ(CommandWheel::PendingIndex(), 2);
    RunTo(3000);
    EXPECT_EQ(standing->GetState(), Wheel::kClosed);
    EXPECT_FALSE(CommandWheel::IsOpen());
}

TEST_F(CommandWheelTest, UpgradeSegmentAndEnabling)
{
    Wheel* wheel = CommandWheel::Get();
    CommandWheel::OpenAt(0.5f, 0.4f, now_);
    RunTo(600);
    // Without a command unit "main a" is disabled and does not take a click.
    wheel->Child(0)->SetHovered();
    EXPECT_EQ(wheel->Click(now_), 0);
    wheel->Child(4)->SetHovered();
    EXPECT_EQ(wheel->Click(now_), kClickTaken | kClickCloseHolder);
    EXPECT_EQ(CommandWheel::PendingAction(), WheelAction::kUpgradeScreen);
    RunTo(2000);
    EXPECT_FALSE(CommandWheel::IsOpen());

    // The ammunition wheel opens empty without an armed command unit.
    CommandWheel::OpenAt(0.5f, 0.4f, now_);
    RunTo(2700);
    Wheel* ammo = nullptr;
    for (int i = 0; i < wheel->ChildCount(); ++i)
        if (auto* w = dynamic_cast<Wheel*>(wheel->Child(i)); w && !w->IsStandingOrders())
            ammo = w;
    ASSERT_NE(ammo, nullptr);
    ammo->SetHovered();
    EXPECT_EQ(wheel->Click(now_), kClickTaken);
    RunTo(3500);
    EXPECT_EQ(ammo->GetState(), Wheel::kOpen);
    EXPECT_EQ(ammo->ChildCount(), 0);
}

// A choice still waiting for its click when the session ends does not
// reach into the next session (its cursor, its next click).
TEST_F(CommandWheelTest, AChoiceLeftWaitingEndsWithTheSession)
{
    Wheel* wheel = CommandWheel::Get();
    CommandWheel::OpenAt(0.5f, 0.4f, now_);
    RunTo(600);
    wheel->Child(4)->SetHovered();
    ASSERT_EQ(wheel->Click(now_), kClickTaken | kClickCloseHolder);
    ASSERT_EQ(CommandWheel::PendingAction(), WheelAction::kUpgradeScreen);
    GameView::EndSession();
    EXPECT_EQ(CommandWheel::PendingAction(), WheelAction::kNone);
}

} // namespace
} // namespace ui_test

#include "objects/shape_cache.h"

#include <cstdlib>
#include <filesystem>

namespace ui_test {
namespace {

// The sample wheel model has every segment's part; a part it lacks gives a
// segment without a shape, which draws nothing and takes no click.
TEST_F(WheelTest, SegmentsFromTheSampleModel)
{
    const char* data = std::getenv("TREVOK_SAMPLE_DATA");
    ASSERT_NE(data, nullptr);
    const std::filesystem::path rifs = std::filesystem::path(data) / "rifs";
    ChunkFileCache::SetFolderSource([rifs] { return std::optional<std::filesystem::path>(rifs); });
    Camera* camera = nullptr;
    const WheelShapeFactory factory = CommandWheel::ModelShapes(&camera);
    FakeView view;
    CommandWheel::Build(factory);
    Wheel* wheel = CommandWheel::Get();
    for (int i = 0; i < wheel->ChildCount(); ++i)
        EXPECT_TRUE(wheel->Child(i)->HasShape()) << i;
    EXPECT_EQ(factory(CommandWheel::kModelFile, "no such part"), nullptr);
    EXPECT_EQ(factory("no such file.rif", "main a"), nullptr);
    // The part the sample's ammunition record names, in the props file.
    EXPECT_NE(factory("Props.rif", "laser cells"), nullptr);
    // Without a camera the shapes draw nothing.
    CommandWheel::OpenAt(0.5f, 0.4f, kStart);
    wheel->Draw(kStart + 100);
    CommandWheel::Release();
    ChunkFileCache::SetFolderSource({});
    ShapeCache::FreeAll();
    ChunkFileCache::FreeAll();
}

} // namespace
} // namespace ui_test

#include "app/directories.h"
#include "script/records.h"

namespace ui_test {
namespace {

// A squad unit with weapon type 3 carrying ammunition of types 1 and 4,
// standing order 5 and its side's formation 1.
class CommandUnitWheelTest : public CommandWheelTest {
protected:
    CommandUnitWheelTest()
    {
        ReplicaWorld::Carry(*commander_, ItemKind::kAmmoStack, 1, 50);
        ReplicaWorld::Carry(*commander_, ItemKind::kAmmoStack, 4, 51);
        commander_->SendStandingOrder(5);
        TeamTable::Find(1)->formation = 1;
        CommandWheel::SetCommandUnit(commander_);
    }
    ~CommandUnitWheelTest() override { script::RecordTables::Global().Clear(); }
    Wheel* SubWheel(bool standing)
    {
        Wheel* wheel = CommandWheel::Get();
        for (int i = 0; i < wheel->ChildCount(); ++i)
            if (auto* w = dynamic_cast<Wheel*>(wheel->Child(i)); w && w->IsStandingOrders() == standing)
                return w;
        return nullptr;
    }
    Unit* commander_ = world_.MakeUnit(9, 1, "trevok");
};

TEST_F(CommandUnitWheelTest, AmmunitionSegmentsFollowTheWeaponTable)
{
    auto& tables = script::RecordTables::Global();
    tables.Clear();
    script::WeaponEntry entry;
    entry.magazineSize = 10;
    ASSERT_TRUE(tables.StoreWeapon(3, 1, entry));
    ASSERT_TRUE(tables.StoreWeapon(3, 4, entry));
    ASSERT_TRUE(tables.StoreWeapon(3, 9, entry));
    ASSERT_TRUE(tables.StoreWeapon(5, 2, entry));
    commander_->ChangeAmmo(4);
    ASSERT_EQ(commander_->AmmoType(), 4);
    Wheel* ammo = SubWheel(false);
    ASSERT_NE(ammo, nullptr);
    CommandWheel::OpenAt(0.5f, 0.4f, now_);
    RunTo(600);
    ammo->Open(now_);
    ASSERT_EQ(ammo->ChildCount(), 3);
    CommandWheel::Get()->Refresh();
    const int expected[][2] = {{1, 1}, {4, 2}, {9, 0}}; // carried, loaded, not carried
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(ammo->Child(i)->Id(), expected[i][0]);
        EXPECT_EQ(ammo->Child(i)->VisualState(), expected[i][1]) << expected[i][0];
    }
    // A weapon type without ammunition entries gives an empty wheel.
    commander_->SetWeaponRole(7);
    ammo->Close(now_, true);
    RunTo(1200);
    ammo->Open(now_);
    EXPECT_EQ(ammo->ChildCount(), 0);
}

// Each ammunition segment is drawn from the model file and part its weapon
// record names; a record that names none leaves a segment without a shape.
TEST_F(CommandUnitWheelTest, AmmunitionSegmentsTakeTheirShapesFromTheirRecords)
{
    auto& tables = script::RecordTables::Global();
    tables.Clear();
    const struct {
        int type;
        const char* file;
        const char* part;
        bool shaped;
    } rows[] = {
        {1, "rifs\\Props.rif", "laser cells", true},
        {4, "Ammo\\Shells.RIF", "shell", true},
        {6, "", "shell", false},
        {9, "Ammo\\Shells.RIF", "", false},
    };
    for (const auto& r : rows) {
        script::WeaponEntry entry;
        entry.file = r.file;
        entry.name = r.part;
        ASSERT_TRUE(tables.StoreWeapon(3, r.type, entry));
    }
    Wheel* ammo = SubWheel(false);
    ASSERT_NE(ammo, nullptr);
    CommandWheel::OpenAt(0.5f, 0.4f, now_);
    made_.clear();
    ammo->Open(now_);
    ASSERT_EQ(ammo->ChildCount(), int(std::size(rows)));
    std::vector<std::pair<std::string, std::string>> expected;
    for (size_t i = 0; i < std::size(rows); ++i) {
        EXPECT_EQ(ammo->Child(int(i))->HasShape(), rows[i].shaped) << rows[i].type;
        if (rows[i].shaped)
            expected.emplace_back(rows[i].file, rows[i].part);
    }
    EXPECT_EQ(made_, expected);
}

// In the game the records name model files from the data root, as the
// level's own shapes do: the sample's ammunition segment is found in the
// rifs folder's props file.
TEST_F(CommandUnitWheelTest, TheSampleAmmunitionSegmentIsFoundFromTheDataRoot)
{
    const char* data = std::getenv("TREVOK_SAMPLE_DATA");
    ASSERT_NE(data, nullptr);
    app::DataDirectories& dirs = app::DataDirectories::Global();
    const app::DataDirectories saved = dirs;
    dirs.SetStartDirectory(data);
    dirs.SetPath(app::kRifsDirectory, "rifs");
    ChunkFileCache::SetFolderSource([] { return app::DataDirectories::Global().Folder(app::kRifsDirectory); });
    auto& tables = script::RecordTables::Global();
    tables.Clear();
    script::WeaponEntry entry;
    entry.file = "rifs\\Props.rif";
    entry.name = "laser cells";
    ASSERT_TRUE(tables.StoreWeapon(3, 1, entry));
    Camera* camera = nullptr;
    CommandWheel::Build(CommandWheel::ModelShapes(&camera));
    CommandWheel::SetCommandUnit(commander_);
    Wheel* ammo = SubWheel(false);
    ASSERT_NE(ammo, nullptr);
    ammo->Open(now_);
    ASSERT_EQ(ammo->ChildCount(), 1);
    EXPECT_TRUE(ammo->Child(0)->HasShape());
    CommandWheel::Release();
    ShapeCache::FreeAll();
    ChunkFileCache::FreeAll();
    ChunkFileCache::SetFolderSource({});
    dirs = saved;
}

TEST_F(CommandUnitWheelTest, StandingOrdersHighlightTheUnitsSettings)
{
    Wheel* standing = SubWheel(true);
    ASSERT_NE(standing, nullptr);
    CommandWheel::OpenAt(0.5f, 0.4f, now_);
    standing->Open(now_);
    CommandWheel::Get()->Refresh();
    std::vector<int> lit;
    for (int i = 0; i < standing->ChildCount(); ++i)
        if (standing->Child(i)->VisualState() == 2)
            lit.push_back(standing->Child(i)->Id());
    EXPECT_EQ(lit, (std::vector<int>{1, 5}));
    commander_->SendStandingOrder(3); // the standing flag toggles
    CommandWheel::Get()->Refresh();
    lit.clear();
    for (int i = 0; i < standing->ChildCount(); ++i)
        if (standing->Child(i)->VisualState() == 2)
            lit.push_back(standing->Child(i)->Id());
    EXPECT_EQ(lit, (std::vector<int>{1, 3, 5}));
    // "main a" takes a click with a command unit: a location to attack.
    Wheel* wheel = CommandWheel::Get();
    RunTo(600);
    WheelWidget* attack = nullptr;
    for (int i = 0; i < wheel->ChildCount(); ++i)
        if (!dynamic_cast<Wheel*>(wheel->Child(i)) && wheel->Child(i)->Enabled() && i == 0)
            attack = wheel->Child(i);
    ASSERT_NE(attack, nullptr);
    attack->SetHovered();
    EXPECT_EQ(wheel->Click(now_), kClickTaken | kClickCloseHolder);
    EXPECT_EQ(CommandWheel::PendingAction(), WheelAction::kAttackLocation);
}

} // namespace
} // namespace ui_test
