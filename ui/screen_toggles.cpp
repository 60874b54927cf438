#include "ui/screen_toggles.h"

#include "objects/world_object.h"
#include "ui/client_objects.h"
#include "ui/camera_controller.h"
#include "ui/game_view.h"
#include "ui/mouse.h"
#include "ui/selection.h"
#include "ui/ui_placeholders.h"

namespace ScreenToggles {
namespace {

bool Refuses()
{
    const GameView::Screens& s = GameView::GetScreens();
    return s.menuRefuses && s.menuRefuses();
}

// Opening a screen over the recon view ends the recon view first, so the
// mode it set is not left behind.
void LeaveReconView()
{
    if (GameView::ReconViewOn() && GameView::GetScreens().reconViewToggle)
        GameView::GetScreens().reconViewToggle();
}

WorldObject* UpgradeCharacter()
{
    if (WorldObject* unit = Selection::CommandUnit())
        return unit;
    for (WorldObject* unit : Selection::Members())
        if (ClientObjects::IsCharacter(*unit))
            return unit;
    return nullptr;
}

} // namespace

void CloseUpgradeScreen()
{
    CameraController::RestoreEdgeScroll();
    GameView::PlaySound(kUpgradeCloseSound);
    if (GameView::GetScreens().upgradeClose)
        GameView::GetScreens().upgradeClose();
    else if (UpgradeScreen::IsOpen())
        UpgradeScreen::Toggle();
    MouseMode::Set(MouseMode::kStandard);
}

void ToggleUpgradeScreen()
{
    if (Refuses())
        return;
    if (GameView::UpgradeOpen()) {
        CloseUpgradeScreen();
        return;
    }
    WorldObject* character = UpgradeCharacter();
    if (!character) {
        MouseMode::Set(MouseMode::kStandard);
    } else {
        LeaveReconView();
        CameraController::SaveEdgeScroll();
        CameraController::SetEdgeScrollEnabled(false);
        MouseMode::Set(MouseMode::kUpgrade);
        GameView::PlaySound(kUpgradeOpenSound);
        if (GameView::GetScreens().upgradeShow)
            GameView::GetScreens().upgradeShow(*character);
        else
            UpgradeScreen::Open(*character);
    }
    Selection::ReleaseCommandUnit();
}

void ToggleInGameMenu()
{
    if (GameView::UpgradeOpen() || Refuses() || GameView::WheelOpen())
        return;
    GameView::Screens& screens = GameView::GetScreens();
    if (screens.menuOpen && screens.menuOpen()) {
        CameraController::RestoreEdgeScroll();
        if (screens.menuBeginClose)
            screens.menuBeginClose();
        MouseMode::Set(MouseMode::kStandard);
        return;
    }
    LeaveReconView();
    CameraController::SaveEdgeScroll();
    CameraController::SetEdgeScrollEnabled(false);
    MouseMode::Set(MouseMode::kMenu);
    if (screens.openInGameMenu)
        screens.openInGameMenu();
}

} // namespace ScreenToggles
