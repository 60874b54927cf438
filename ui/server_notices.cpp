#include "ui/server_notices.h"

#include "console/screen_message.h"
#include "console/text_console.h"
#include "objects/world_object.h"
#include "session/client_hooks.h"
#include "ui/client_objects.h"
#include "ui/camera_controller.h"
#include "ui/game_view.h"
#include "ui/map_screen.h"
#include "ui/menu_screen.h"
#include "ui/object_screen.h"
#include "ui/recon_view.h"
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

// A map or object screen a worn gadget holds open: kept by its wearer and
// the item, closed when the gadget comes off.
struct ItemScreen {
    WorldObjectRef wearer;
    int32_t itemId;
    RefPtr<MenuScreen> screen;
    bool WearerGone() const { return !wearer->IsRegistered() || wearer->IsDestroyed(); }
};

// Never destroyed, as the panels.
std::vector<ItemScreen>& ItemScreens()
{
    static auto* screens = new std::vector<ItemScreen>;
    return *screens;
}

// A screen's quad is five times this size: three tenths of the screen.
constexpr float kItemScreenSize = 0.06f;

void CloseItemScreen(WorldObject& wearer, int32_t itemId)
{
    std::erase_if(ItemScreens(),
                  [&](const ItemScreen& s) { return s.WearerGone() || (s.wearer.Get() == &wearer && s.itemId == itemId); });
}

// The maps show the fallback picture: a level names no map image of its own.
void OpenItemScreen(WorldObject& wearer, int32_t itemId, int32_t kind)
{
    CloseItemScreen(wearer, itemId);
    MenuScreen* screen = kind == MenuScreen::kMap || kind == MenuScreen::kMap2
                             ? static_cast<MenuScreen*>(new MapScreen(kind, kItemScreenSize, ""))
                             : new ObjectScreen(kind, kItemScreenSize);
    ItemScreens().push_back({WorldObjectRef(&wearer), itemId, RefPtr<MenuScreen>::Adopt(screen)});
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

// The unit the view rode with went: the view returns to the player.
void ResetView(WorldObject& unit)
{
    if (Selection::ViewUnit() == &unit)
        Selection::SetViewUnit(nullptr);
    if (ReconView::Follows(&unit))
        ReconView::Toggle(false);
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

// The pick-up's own text stands at its taker's place on the screen while
// the taker is on it, else at the centre.
void PickUpText(WorldObject& taker, std::string text)
{
    constexpr int kObjectText = 1;
    constexpr float kWidth = 0.4f;
    if (CameraHoldsTheUnits())
        return;
    float x, y;
    ClientObjects::TextPosition(taker, x, y);
    ScreenMessage::Create(x, y, text, kObjectText, kWidth);
}

// A unit's spoken line is a server text (kind 0) over the unit while it is
// on screen, else at the screen's centre.
void Speak(WorldObject& speaker, std::string text, float width)
{
    constexpr int kServerText = 0;
    float x, y;
    ClientObjects::TextPosition(speaker, x, y);
    ScreenMessage::Create(x, y, text, kServerText, width);
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
    hooks.speak = Speak;
    hooks.unitPanel = GiveUnitPanel;
    hooks.quickWeaponEnd = [](WorldObject&) { Selection::EndQuickWeapon(); };
    ClientServices& services = ClientServices::Get();
    services.openItemScreen = OpenItemScreen;
    services.closeItemScreen = CloseItemScreen;
    services.soleSelected = [](const WorldObject& object) {
        return Selection::Count() == 1 && Selection::Contains(&object);
    };
    services.selected = [](const WorldObject& object) { return Selection::Contains(&object); };
    services.resetView = ResetView;
    services.sayBeside = [](WorldObject& object, int32_t textId) {
        if (!CameraHoldsTheUnits())
            ClientObjects::SayBeside(object, textId);
    };
}

MenuScreen* ItemScreenOf(const WorldObject& unit, int32_t itemId)
{
    for (const ItemScreen& s : ItemScreens()) {
        if (s.wearer.Get() == &unit && s.itemId == itemId && !s.WearerGone())
            return s.screen.Get();
    }
    return nullptr;
}

MenuScreen* UnitPanelOf(const WorldObject& unit)
{
    for (const RefPtr<UnitPanel>& panel : Panels()) {
        if (panel->Owner() == &unit && !panel->UnitGone())
            return panel.Get();
    }
    return nullptr;
}

void ReleaseUnitPanels()
{
    Panels().clear();
    ItemScreens().clear();
}

} // namespace ServerNotices
