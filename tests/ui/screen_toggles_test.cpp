#include "ui_fixture.h"

#include "ui/client_objects.h"
#include "ui/screen_toggles.h"

namespace {

using uitest::GameViewTest;

class ScreenTogglesTest : public GameViewTest {
protected:
    void SetUp() override
    {
        GameViewTest::SetUp();
        auto& s = GameView::GetScreens();
        s.upgradeOpen = [this] { return upgrade_; };
        s.upgradeShow = [this](WorldObject& u) {
            calls_.push_back(std::string("show ") + ClientObjects::RoleName(u));
            upgrade_ = true;
        };
        s.upgradeClose = [this] { calls_.push_back("close"); upgrade_ = false; };
        s.reconViewOn = [this] { return recon_; };
        s.reconViewToggle = [this] { calls_.push_back("recon"); recon_ = !recon_; };
        s.menuRefuses = [this] { return refuses_; };
        s.menuOpen = [] { return false; };
        s.openInGameMenu = [this] { calls_.push_back("menu"); };
    }
    bool upgrade_ = false, recon_ = false, refuses_ = false;
    std::vector<std::string> calls_;
};

TEST_F(ScreenTogglesTest, UpgradeScreenOpensForTheCommandUnitAndCloses)
{
    recon_ = true;
    Selection::Add(trevok_);
    Selection::SetCommandUnit(vell_, nullptr);
    ScreenToggles::ToggleUpgradeScreen();
    EXPECT_EQ(calls_, (std::vector<std::string>{"recon", "show vell"}));
    EXPECT_EQ(MouseMode::Get(), MouseMode::kUpgrade);
    EXPECT_EQ(view_.sounds, std::vector<int>{ScreenToggles::kUpgradeOpenSound});
    EXPECT_FALSE(CameraController::EdgeScrollEnabled());
    EXPECT_EQ(Selection::CommandUnit(), nullptr);

    // While it is open the menu does not open.
    ScreenToggles::ToggleInGameMenu();
    EXPECT_EQ(MouseMode::Get(), MouseMode::kUpgrade);

    ScreenToggles::ToggleUpgradeScreen();
    EXPECT_EQ(calls_.back(), "close");
    EXPECT_EQ(MouseMode::Get(), 0);
    EXPECT_EQ(view_.sounds.back(), ScreenToggles::kUpgradeCloseSound);
    EXPECT_TRUE(CameraController::EdgeScrollEnabled());
}

TEST_F(ScreenTogglesTest, WithoutACharacterOrWithARefusingScreen)
{
    // A selected object without a character record.
    Selection::Add(world_->Make(301, 0, world_->NewRole("crate", 10)));
    MouseMode::Set(MouseMode::kAttack);
    ScreenToggles::ToggleUpgradeScreen();
    EXPECT_EQ(MouseMode::Get(), 0);
    EXPECT_TRUE(calls_.empty());

    refuses_ = true;
    Selection::Add(vell_);
    ScreenToggles::ToggleUpgradeScreen();
    ScreenToggles::ToggleInGameMenu();
    EXPECT_TRUE(calls_.empty());
}

} // namespace
