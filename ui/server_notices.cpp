#include "ui/server_notices.h"

#include "console/screen_message.h"
#include "objects/world_object.h"
#include "session/client_hooks.h"
#include "ui/client_objects.h"
#include "ui/camera_controller.h"
#include "ui/game_view.h"
#include "ui/menu_screen.h"
#include "ui/selection.h"

#include <algorithm>
#include <string>
#include <vector>

namespace ServerNotices {
namespace {

// A squad member's panel: a message plate that lasts as long as its unit.
class UnitPanel final : public MenuScreen {
public:
    explicit UnitPanel(WorldObject& unit) : MenuScreen(kMessagePlate, 0), unit_(&unit) {}
    bool IsTransient() const override { return false; }
    const WorldObject* Owner() const { return unit_.Get(); }
    bool UnitGone() const { return !unit_->IsRegistered() || unit_->IsDestroyed(); }

private:
    ~UnitPanel() override = default;
    WorldObjectRef unit_;
};

// Never destroyed: the panels are released at level stop, not at exit.
std::vector<RefPtr<UnitPanel>>& Panels()
{
    static auto* panels = new std::vector<RefPtr<UnitPanel>>;
    return *panels;
}

// A unit assigned twice keeps its one panel; panels of removed units go.
void GiveUnitPanel(WorldObject& unit)
{
    auto& panels = Panels();
    std::erase_if(panels, [](const RefPtr<UnitPanel>& p) { return p->UnitGone(); });
    if (!UnitPanelOf(unit))
        panels.push_back(RefPtr<UnitPanel>::Adopt(new UnitPanel(unit)));
}

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
    hooks.unitPanel = GiveUnitPanel;
}

MenuScreen* UnitPanelOf(const WorldObject& unit)
{
    for (const RefPtr<UnitPanel>& panel : Panels()) {
        if (panel->Owner() == &unit && !panel->UnitGone())
            return panel.Get();
    }
    return nullptr;
}

void ReleaseUnitPanels() { Panels().clear(); }

} // namespace ServerNotices
