#include "ui/mouse.h"

#include "Veapi/camera.h"
#include "app/display_mode.h"
#include "console/text_console.h"
#include "objects/unit.h"
#include "ui/client_objects.h"
#include "ui/camera_commands.h"
#include "ui/camera_controller.h"
#include "ui/game_cursor.h"
#include "ui/game_view.h"
#include "ui/key_config.h"
#include "ui/orders.h"
#include "ui/screen_toggles.h"
#include "ui/selection.h"
#include "ui/upgrade_screen.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {

MouseButton g_left, g_middle, g_right;
MouseButton* const g_buttons[3] = {&g_left, &g_middle, &g_right};
int g_mode = MouseMode::kStandard;
bool g_built = false;
int g_lastX = 0, g_lastY = 0;
MouseAction::Box g_box;
bool g_widgetResizing = false;

constexpr int kNoAmmunitionSound = 17;

float ScreenW() { return float(std::max(App::CurrentMode().width, 1)); }
float ScreenH() { return float(std::max(App::CurrentMode().height, 1)); }

void Hold(WorldObject* unit)
{
    if (unit)
        unit->AddRef();
}
void Let(WorldObject*& unit)
{
    if (unit)
        unit->Release();
    unit = nullptr;
}

} // namespace

// ---- MouseButton ----

MouseButton& MouseButton::Left() { return g_left; }
MouseButton& MouseButton::Middle() { return g_middle; }
MouseButton& MouseButton::Right() { return g_right; }

void MouseButton::SetClickHandler(uint32_t mask, ClickHandler handler)
{
    for (int r = 0; r < kRelations; ++r)
        for (int m = 0; m < kModes; ++m)
            if ((mask >> m & 1u) && (mask >> (7 + r) & 1u))
                click_[r * kModes + m] = handler;
}

void MouseButton::SetDragHandler(uint32_t mask, DragHandler handler)
{
    for (int r = 0; r < kRelations; ++r)
        for (int m = 0; m < kModes; ++m)
            if ((mask >> m & 1u) && (mask >> (7 + r) & 1u))
                drag_[r * kModes + m] = handler;
}

void MouseButton::ClearHandlers()
{
    std::fill(std::begin(drag_), std::end(drag_), nullptr);
    std::fill(std::begin(click_), std::end(click_), nullptr);
}

int MouseButton::Relation() const
{
    if (press_.element)
        return 5;
    if (press_.object) {
        if (GameView::IsNeutralTeam(press_.object->Side()))
            return 3;
        return press_.object->Side() == GameView::LocalTeam() ? 4 : 2;
    }
    return press_.ground ? 1 : 0;
}

bool MouseButton::PastThreshold(int x, int y) const
{
    return std::abs(x - press_.x) * 640.0f / ScreenW() >= 20.0f || std::abs(y - press_.y) * 400.0f / ScreenH() >= 20.0f;
}

void MouseButton::Refresh(int x, int y, uint32_t flags)
{
    const PickResult pick = Picking::At(x, y);
    current_.x = x;
    current_.y = y;
    current_.flags = flags;
    current_.object = pick.object;
    current_.element = pick.element;
    currentGround_ = pick.ground;
    current_.ground = pick.hasGround ? &currentGround_ : nullptr;
}

void MouseButton::Drop()
{
    Let(press_.object);
    held_ = dragging_ = false;
}

void MouseButton::Press(int x, int y, uint32_t flags)
{
    if (!MouseActionMap::IsBuilt())
        MouseActionMap::Build(false);
    if (held_) {
        // The release was lost: the old press ends as a cancelled drag.
        if (dragging_) {
            Refresh(x, y, flags);
            if (DragHandler h = DragAt(Relation(), g_mode))
                h(*this, current_, kPhaseCancel | kPhaseEnd);
        }
        Drop();
    }
    const PickResult pick = Picking::At(x, y);
    press_.x = x;
    press_.y = y;
    press_.flags = flags;
    press_.object = pick.object;
    Hold(press_.object);
    press_.element = pick.element;
    pressGround_ = pick.ground;
    press_.ground = pick.hasGround ? &pressGround_ : nullptr;
    current_ = press_;
    current_.ground = press_.ground;
    lastX_ = x;
    lastY_ = y;
    held_ = true;
    dragging_ = false;
}

void MouseButton::Move(int x, int y, uint32_t flags)
{
    if (!held_)
        return;
    int phase = 0;
    if (!dragging_) {
        if (!PastThreshold(x, y))
            return;
        dragging_ = true;
        phase = kPhaseStart;
    }
    Refresh(x, y, flags);
    DragHandler h = DragAt(Relation(), g_mode);
    if (!h)
        return;
    if (!h(*this, current_, phase))
        Drop();
    else
        lastX_ = x, lastY_ = y;
}

void MouseButton::Release(int x, int y, uint32_t flags)
{
    if (!held_)
        return;
    int phase = kPhaseEnd;
    if (!dragging_ && PastThreshold(x, y)) {
        dragging_ = true;
        phase |= kPhaseStart;
    }
    if (dragging_) {
        Refresh(x, y, flags);
        if (DragHandler h = DragAt(Relation(), g_mode))
            h(*this, current_, phase);
    } else if (ClickHandler h = ClickAt(Relation(), g_mode)) {
        h(*this);
    }
    Drop();
}

void MouseButton::OnModeChange(int oldMode, int newMode)
{
    if (!held_)
        return;
    const int relation = Relation();
    if (dragging_) {
        DragHandler before = DragAt(relation, oldMode);
        if (before == DragAt(relation, newMode))
            return;
        if (before) {
            Refresh(current_.x, current_.y, current_.flags);
            before(*this, current_, kPhaseCancel | kPhaseEnd);
        }
    }
    Drop();
}

// ---- MouseMode ----

namespace MouseMode {
int Get() { return g_mode; }

void Set(int mode)
{
    if (mode < 0 || mode >= MouseButton::kModes)
        return;
    const int old = g_mode;
    for (MouseButton* b : g_buttons)
        b->OnModeChange(old, mode);
    g_mode = mode;
}

void Reset()
{
    CameraController::RestoreEdgeScroll();
    Set(kStandard);
    GameCursor::Update();
}

void EnterCutscene()
{
    CameraController::RestoreEdgeScroll();
    Set(kCutscene);
}
} // namespace MouseMode

// ---- MouseActionMap ----

namespace MouseActionMap {
void Build(bool swapped)
{
    for (MouseButton* b : g_buttons)
        b->ClearHandlers();
    MouseButton& turn = swapped ? g_middle : g_right;
    MouseButton& pan = swapped ? g_right : g_middle;
    using namespace MouseAction;
    g_left.SetDragHandler(0xF81, DragSelectBox);
    g_left.SetDragHandler(0x1001, DragWidget);
    turn.SetDragHandler(0xF85, RotateCamera);
    pan.SetDragHandler(0xF85, PanCamera);
    g_left.SetClickHandler(0x501, MoveTo);
    g_left.SetClickHandler(0x201, AttackTarget);
    g_left.SetClickHandler(0x801, SelectUnit);
    g_left.SetClickHandler(0x1019, ClickWidget);
    g_middle.SetClickHandler(0x101, AttackLocation);
    g_middle.SetClickHandler(0xE01, AttackTarget);
    g_right.SetClickHandler(0x1C01, OpenCommandWheel);
    g_right.SetClickHandler(0x181, OpenWheelForSingle);
    g_left.SetClickHandler(0x1F82, WheelClick);
    g_right.SetClickHandler(0x1F82, CloseCommandWheel);
    g_left.SetClickHandler(0x1F84, ConfirmAttack);
    g_right.SetClickHandler(0x1F84, CancelMode);
    g_left.SetDragHandler(0x1F88, DragUpgradeScreen);
    g_left.SetClickHandler(0x1FA0, LaunchProjectile);
    g_built = true;
}
bool IsBuilt() { return g_built; }
} // namespace MouseActionMap

// ---- MouseAction ----

namespace MouseAction {
namespace {

uint32_t PressOrderFlags(const MouseButton& b) { return GameView::OrderFlags(b.PressState().flags); }
bool Ctrl(uint32_t flags) { return (flags & 2u) != 0; }

bool Selectable(const WorldObject* u) { return u && u->IsSelectable(); }
// The command wheel opens for the units of the squad.
bool WheelPickable(const WorldObject* u) { return u && u->IsUnit() && u->IsSelectable(); }

void Fraction(int px, int py, float& fx, float& fy)
{
    const gfx::Viewport& v = MainCamera::Get().DeviceViewport();
    fx = (float(px) + 0.5f - float(v.x)) / float(std::max<int>(v.width, 1));
    fy = (float(py) + 0.5f - float(v.y)) / float(std::max<int>(v.height, 1));
}

// Without Ctrl the selection becomes the unit alone; with it the unit's
// membership toggles.
void SelectByClick(WorldObject* unit, uint32_t flags)
{
    if (!Selectable(unit))
        return;
    if (Ctrl(flags)) {
        Selection::Toggle(unit);
    } else {
        Selection::Clear();
        Selection::Add(unit);
    }
}

void CentreOn(const WorldObject& unit)
{
    const Vec3& p = unit.Position();
    CameraController::SetFocus(p.x, p.y, p.z);
}

void OpenWheelFor(WorldObject* unit, const MouseButton& b)
{
    if (!Selection::Contains(unit)) {
        if (!Ctrl(b.PressState().flags))
            Selection::Clear();
        Selection::Add(unit);
    }
    const gfx::Viewport& v = MainCamera::Get().DeviceViewport();
    const float x = std::clamp((float(b.PressState().x) + 0.5f - float(v.x)) / float(std::max<int>(v.width, 1)),
                               0.125f, 0.875f);
    const float y = std::clamp(0.75f * (float(b.PressState().y) + 0.5f - float(v.y)) / float(std::max<int>(v.height, 1)),
                               0.125f, 0.625f);
    Selection::SetCommandUnit(unit, b.PressState().ground);
    GameView::ShowWheel(x, y, GameView::RealNow());
    MouseMode::Set(MouseMode::kWheel);
}

void ToStandard()
{
    Selection::ReleaseCommandUnit();
    MouseMode::Set(MouseMode::kStandard);
}

} // namespace

const Box& SelectionBox() { return g_box; }
bool& EpwEnabled() { return CameraCommands::epwEnabled; }

bool DragSelectBox(MouseButton& b, const PointerState& s, int phase)
{
    g_box = {std::min(b.PressState().x, s.x), std::min(b.PressState().y, s.y), std::max(b.PressState().x, s.x),
             std::max(b.PressState().y, s.y), true};
    // The option keeps the view scrolling while a box is drawn to the edge.
    if ((phase & MouseButton::kPhaseStart) && KeyConfig::CurrentOptions().option281 != 1)
        CameraController::SetEdgeScrollEnabled(false);
    if (!(phase & (MouseButton::kPhaseEnd | MouseButton::kPhaseCancel)))
        return true;
    CameraController::SetEdgeScrollEnabled(true);
    g_box.shown = false;
    if (phase & MouseButton::kPhaseCancel)
        return false;
    const ScreenRect box{float(g_box.left), float(g_box.top), float(g_box.right), float(g_box.bottom)};
    std::vector<WorldObject*> inside;
    for (WorldObject* unit : ClientObjects::Squad()) {
        ScreenRect rect;
        if (Selectable(unit) && Picking::ScreenRectOf(*unit, rect) && rect.Overlaps(box))
            inside.push_back(unit);
    }
    if (inside.empty())
        return false;
    if (!Ctrl(s.flags))
        Selection::Clear();
    for (WorldObject* unit : inside)
        Selection::Add(unit);
    return false;
}

bool DragWidget(MouseButton& b, const PointerState& s, int phase)
{
    UiElement* w = b.PressState().element;
    if (!w)
        return false;
    float px, py;
    Fraction(s.x, s.y, px, py);
    if (phase & MouseButton::kPhaseStart) {
        float sx, sy;
        Fraction(b.PressState().x, b.PressState().y, sx, sy);
        g_widgetResizing = std::fabs(w->left + w->width - sx) < 0.3f * w->width &&
                           std::fabs(w->top + w->height - sy) < 0.3f * w->width;
    }
    if (phase & (MouseButton::kPhaseEnd | MouseButton::kPhaseCancel))
        return false;
    if (g_widgetResizing) {
        if (!w->resizable || w->locked)
            return false;
        w->width = std::clamp(px - w->left, 0.1f, 0.4f);
        w->height = std::clamp(py - w->top, 0.1f, 0.4f);
    } else {
        if (!w->movable)
            return false;
        w->left = px - w->width / 2;
        w->top = py - w->height / 2;
        w->locked = false;
    }
    return true;
}

bool RotateCamera(MouseButton& b, const PointerState& s, int phase)
{
    if (phase & MouseButton::kPhaseStart)
        CameraController::SetEdgeScrollEnabled(false);
    if (phase & (MouseButton::kPhaseEnd | MouseButton::kPhaseCancel)) {
        CameraController::SetEdgeScrollEnabled(true);
        return false;
    }
    const float pitchFactor = CameraController::Get().invertMouse ? -2.0f : 2.0f;
    CameraController::TurnBy(float(b.lastX_ - s.x) * 5.0f, float(b.lastY_ - s.y) * pitchFactor);
    return true;
}

bool PanCamera(MouseButton& b, const PointerState& s, int phase)
{
    if (phase & (MouseButton::kPhaseEnd | MouseButton::kPhaseCancel)) {
        CameraController::SetEdgeScrollEnabled(true);
        return false;
    }
    const gfx::Viewport& v = MainCamera::Get().DeviceViewport();
    CameraController::MoveRelative(4.0f * float(s.x - b.lastX_) / float(std::max<int>(v.width, 1)),
                                   3.0f * float(s.y - b.lastY_) / float(std::max<int>(v.height, 1)));
    return true;
}

bool DragUpgradeScreen(MouseButton& b, const PointerState& s, int phase)
{
    if (!GameView::UpgradeOpen())
        return false;
    if (!GameView::GetScreens().upgradeDrag)
        return UpgradeScreen::DragModel(b.PressState().x, s.x, phase);
    return GameView::GetScreens().upgradeDrag(b.PressState().x, b.PressState().y, s.x, s.y, phase,
                                              b.PressState().flags);
}

void MoveTo(MouseButton& b)
{
    const PointerState& p = b.PressState();
    const uint32_t flags = PressOrderFlags(b);
    if (p.object && ClientObjects::IsItem(*p.object) && !ClientObjects::HiddenByFog(*p.object))
        Selection::OrderMove(p.object->Position(), p.object->GetId(), flags);
    else if (p.ground)
        Selection::OrderMove(*p.ground, 0xFFFFFFFFu, flags);
}

void AttackTarget(MouseButton& b)
{
    WorldObject* target = b.PressState().object;
    if (target && target->CanBeAttacked())
        Selection::OrderAttackTarget(*target, PressOrderFlags(b));
}

void AttackLocation(MouseButton& b)
{
    if (b.PressState().ground)
        Selection::OrderAttackLocation(*b.PressState().ground, PressOrderFlags(b));
}

void SelectUnit(MouseButton& b)
{
    WorldObject* unit = b.PressState().object;
    if (!unit)
        return;
    if (b.PressState().flags & 0x800u)
        CentreOn(*unit);
    SelectByClick(unit, b.PressState().flags);
}

void ClickWidget(MouseButton& b)
{
    const PointerState& p = b.PressState();
    UiElement* e = p.element;
    if (!e)
        return;
    GameView::Screens& screens = GameView::GetScreens();
    if (e->kind == 5 && e->character) {
        if (screens.giveHeldItem && screens.giveHeldItem(*e->character))
            return;
        if (p.flags & 0x800u)
            CentreOn(*e->character);
        SelectByClick(e->character, p.flags);
        if (GameView::UpgradeOpen()) {
            if (screens.upgradeShow)
                screens.upgradeShow(*e->character);
            else
                UpgradeScreen::Show(e->character);
        }
        return;
    }
    if (screens.upgradeElementClick)
        screens.upgradeElementClick(*e, p.flags);
}

void OpenCommandWheel(MouseButton& b)
{
    const PointerState& p = b.PressState();
    WorldObject* unit = p.element && p.element->kind == 5 ? p.element->character : p.object;
    if (!unit || unit->Side() != GameView::LocalTeam() || !Selectable(unit)) {
        unit = nullptr;
        float best = 0;
        const float x = float(p.x) + 0.5f, y = float(p.y) + 0.5f;
        for (WorldObject* member : ClientObjects::Squad()) {
            ScreenRect r;
            if (!WheelPickable(member) || !Picking::ScreenRectOf(*member, r) || !r.Contains(x, y))
                continue;
            const float cx = (r.left + r.right) / 2 - x, cy = (r.top + r.bottom) / 2 - y;
            const float d = cx * cx + cy * cy;
            if (!unit || d < best) {
                unit = member;
                best = d;
            }
        }
    }
    if (!Selectable(unit))
        return;
    OpenWheelFor(unit, b);
}

void OpenWheelForSingle(MouseButton& b)
{
    if (Selection::Count() != 1)
        return;
    WorldObject* unit = Selection::First();
    if (!WheelPickable(unit))
        return;
    // The wheel and the status window act on the marked unit.
    WorldObjectTable::MakeCurrent(unit);
    MainCamera::Get().SetCurrent();
    OpenWheelFor(unit, b);
}

void WheelClick(MouseButton& b)
{
    GameView::Screens& screens = GameView::GetScreens();
    int action = 4, index = 0;
    const int64_t now = GameView::RealNow();
    if (!GameView::ClickWheel(b.PressState().x, b.PressState().y, now, action, index))
        return;
    CameraController::SetEdgeScrollEnabled(true);
    switch (action) {
    case 0: MouseMode::Set(MouseMode::kAttack); return;
    case 1: ScreenToggles::ToggleUpgradeScreen(); return;
    case 2: {
        WorldObject* unit = Selection::CommandUnit();
        if (!unit || !screens.changeAmmunition ||
            !screens.changeAmmunition(*unit, index, GameView::CurrentOrderFlags()))
            GameView::PlaySound(kNoAmmunitionSound);
        GameView::CloseWheel(now);
        break;
    }
    case 3:
        for (WorldObject* unit : Selection::Members())
            if (unit->TakesMotionOrders())
                Orders::SendStandingOrder(*unit, static_cast<uint32_t>(index));
        GameView::CloseWheel(now);
        break;
    default: break;
    }
    ToStandard();
}

void CloseCommandWheel(MouseButton&)
{
    GameView::CloseWheel(GameView::RealNow());
    ToStandard();
    CameraController::SetEdgeScrollEnabled(true);
}

void ConfirmAttack(MouseButton& b)
{
    const PointerState& p = b.PressState();
    WorldObject* target = p.object;
    if (target && target->IsAlive() && target->Side() != GameView::LocalTeam()) {
        Selection::OrderAttackTarget(*target, PressOrderFlags(b) & ~0xFFu);
    } else if (p.ground) {
        Selection::OrderAttackLocation(*p.ground, PressOrderFlags(b));
    } else {
        TextConsole::Print("Select a valid location to attack");
        return;
    }
    ToStandard();
    Selection::EndQuickWeapon(false);
}

void CancelMode(MouseButton&)
{
    TextConsole::Print("Cancelled");
    Selection::ReleaseCommandUnit();
    if (Selection::QuickWeaponMode())
        Selection::EndQuickWeapon(true);
}

void LaunchProjectile(MouseButton&)
{
    if (!CameraCommands::epwEnabled)
        return;
    // The shot costs a third of the maximum charge (the role's shields), as
    // the server reckons it; the charge must exceed that before it is sent.
    Unit* unit = ClientObjects::AsUnit(Selection::First());
    if (!unit || !ClientObjects::HasCharacterKey(*unit, "trevok") || !unit->GetRole())
        return;
    const int32_t maximum = unit->GetRole()->shields;
    if (!(unit->Shield() > static_cast<float>(maximum) / 3.0f))
        return;
    unit->ReduceShield(static_cast<int32_t>(static_cast<float>(maximum) * 0.33333f));
    Orders::LaunchProjectile(*unit, CameraController::Get().focus);
}

} // namespace MouseAction

// ---- Mouse ----

namespace Mouse {
namespace {
void Keep(int x, int y)
{
    g_lastX = x;
    g_lastY = y;
}
} // namespace

void OnMove(int x, int y, uint32_t flags)
{
    Keep(x, y);
    for (MouseButton* b : g_buttons)
        b->Move(x, y, flags);
}
void OnLeftDown(int x, int y, uint32_t flags) { Keep(x, y), g_left.Press(x, y, flags); }
void OnLeftUp(int x, int y, uint32_t flags) { Keep(x, y), g_left.Release(x, y, flags); }
void OnLeftDoubleClick(int x, int y, uint32_t) { Keep(x, y); }
void OnRightDown(int x, int y, uint32_t flags) { Keep(x, y), g_right.Press(x, y, flags); }
void OnRightUp(int x, int y, uint32_t flags) { Keep(x, y), g_right.Release(x, y, flags); }
void OnMiddleDown(int x, int y, uint32_t flags) { Keep(x, y), g_middle.Press(x, y, flags); }
void OnMiddleUp(int x, int y, uint32_t flags) { Keep(x, y), g_middle.Release(x, y, flags); }
void OnWheel(int delta) { CameraController::OnWheel(delta); }
void LastPoint(int& x, int& y)
{
    x = g_lastX;
    y = g_lastY;
}
void DropAll()
{
    for (MouseButton* b : g_buttons)
        b->Drop();
}
} // namespace Mouse
