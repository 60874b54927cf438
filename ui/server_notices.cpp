#include "ui/server_notices.h"

#include "console/screen_message.h"
#include "session/client_hooks.h"
#include "ui/client_objects.h"
#include "ui/camera_controller.h"
#include "ui/game_view.h"
#include "ui/menu_screen.h"
#include "ui/selection.h"

#include <string>

namespace ServerNotices {
namespace {

void Defeated()
{
    MenuScreen::OpenFromServer();
    CameraController::SetEdgeScrollEnabled(false);
}

// The placement's twelve numbers are the move's four control points.
void MoveCamera(const float (&placement)[12], float rate)
{
    Vec3 points[4];
    for (int i = 0; i < 4; ++i)
        points[i] = {placement[3 * i], placement[3 * i + 1], placement[3 * i + 2]};
    CameraMove& move = CameraMove::Get();
    move.SetPlacement(points);
    move.speed_ = rate;
    move.Start(GameView::RealNow());
    CameraController::SetScriptMode(true);
}

void SelectAndTrack(WorldObject& object)
{
    Selection::RemoveAll();
    Selection::Add(&object);
    CameraController::LockOnSelection();
}

// A scripted camera holds the view: texts would cover the scene.
bool CameraHoldsTheUnits() { return CameraController::Get().scriptMode; }

void ShowText(WorldObject& object, std::string text)
{
    if (!CameraHoldsTheUnits())
        ClientObjects::ShowText(object, text);
}

void PickUpText(WorldObject&, std::string text)
{
    constexpr int kObjectText = 1;
    constexpr float kWidth = 0.4f;
    if (!CameraHoldsTheUnits())
        ScreenMessage::Create(0.5f, 0.5f, text, kObjectText, kWidth);
}

} // namespace

void Install()
{
    ClientHooks& hooks = ClientHooks::Get();
    hooks.sideDefeated = Defeated;
    hooks.cameraMove = MoveCamera;
    hooks.selectAndTrack = SelectAndTrack;
    hooks.addToSelection = [](WorldObject& object) { Selection::Add(&object); };
    hooks.clearSelection = [] { Selection::RemoveAll(); };
    hooks.showText = ShowText;
    hooks.pickUpText = PickUpText;
}

} // namespace ServerNotices
