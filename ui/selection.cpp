#include "ui/selection.h"

#include "app/hash_table.h"
#include "app/read_write_lock.h"
#include "objects/objects_placeholders.h"
#include "ui/camera_controller.h"
#include "ui/game_cursor.h"
#include "ui/unit_keys.h"
#include "ui/game_view.h"
#include "ui/mouse.h"
#include "ui/orders.h"
#include "ui/screen_toggles.h"
#include "world/level.h"

#include <cmath>
#include <numbers>

namespace Selection {
namespace {

struct IdOf {
    uint32_t operator()(const UiUnit* unit) const { return unit->Id(); }
};
using UnitSet = HashTable<UiUnit, IdOf>;

// At namespace scope: the shell's exit handlers may still read it.
UnitSet g_set{6};
UiUnit* g_commandUnit = nullptr;
Vec3 g_commandPoint{0, 0, 0};
bool g_commandPointSet = false;
UiUnit* g_viewUnit = nullptr;
bool g_quickWeapon = false;
float g_viewHeading = 0, g_viewPitch = 0;

constexpr int kMoveSound = 1;

void Deselected(UiUnit& unit)
{
    if (unit.highlighted_)
        Orders::ReleaseControl(unit);
}

void Insert(UiUnit* unit)
{
    g_set.Insert(unit);
    unit->AddRef();
    if (CameraController::IsTracking())
        CameraController::Track(unit);
}

// Takes the unit out of the set; the caller still holds its reference.
void Unlink(UiUnit* unit)
{
    g_set.Remove(unit);
    if (CameraController::IsTracking()) {
        CameraController::Untrack(unit);
        if (g_set.Count() == 0)
            CameraController::StopTracking();
    }
}

bool Selectable(const UiUnit* unit) { return unit && unit->selectable_ && unit->IsAlive(); }

// Forward or backward from the first member's squad position (the head
// without one) to the next selectable member, wrapping; null after a full
// circle without one.
UiUnit* Step(int direction)
{
    const std::vector<UiUnit*>& squad = Squad::Members();
    const int n = static_cast<int>(squad.size());
    if (n == 0)
        return nullptr;
    int start = 0;
    if (UiUnit* first = First()) {
        for (int i = 0; i < n; ++i)
            if (squad[i] == first)
                start = i;
    }
    for (int k = 1; k <= n; ++k) {
        UiUnit* candidate = squad[((start + direction * k) % n + n) % n];
        if (Selectable(candidate)) {
            Clear();
            Add(candidate);
            return candidate;
        }
    }
    return nullptr;
}

} // namespace

bool Contains(const UiUnit* unit) { return unit && g_set.Find(unit) != nullptr; }
int Count() { return g_set.Count(); }

std::vector<UiUnit*> Members()
{
    std::vector<UiUnit*> out;
    out.reserve(static_cast<size_t>(g_set.Count()));
    for (UnitSet::Iterator it(g_set); !it.AtEnd(); it.Next())
        out.push_back(it.Get());
    return out;
}

UiUnit* First()
{
    UnitSet::Iterator it(g_set);
    return it.Get();
}

void Add(UiUnit* unit)
{
    if (!unit || Contains(unit))
        return;
    EndQuickWeapon();
    Insert(unit);
}

void Remove(UiUnit* unit)
{
    if (!Contains(unit))
        return;
    EndQuickWeapon();
    Unlink(unit);
    Deselected(*unit);
    unit->Release();
}

void Toggle(UiUnit* unit)
{
    if (!unit)
        return;
    EndQuickWeapon();
    if (Contains(unit)) {
        Unlink(unit);
        unit->Release();
    } else {
        Insert(unit);
    }
}

void RemoveAll()
{
    EndQuickWeapon();
    for (UiUnit* unit : Members()) {
        Deselected(*unit);
        unit->Release();
    }
    g_set.Clear();
    if (CameraController::IsTracking())
        CameraController::StopTracking();
}

void Clear()
{
    if (g_set.Count() == 0)
        return;
    EndQuickWeapon();
    for (UiUnit* unit : Members()) {
        Deselected(*unit);
        unit->Release();
    }
    g_set.Clear();
    if (CameraController::IsTracking())
        CameraController::StopTracking();
}

UiUnit* SelectAllSquad()
{
    UiUnit* last = nullptr;
    for (UiUnit* unit : Squad::Members()) {
        if (Selectable(unit) && !Contains(unit)) {
            Add(unit);
            last = unit;
        }
    }
    return last;
}

UiUnit* SelectOnly(int n)
{
    int counted = 0;
    for (UiUnit* unit : Squad::Members()) {
        if (!Selectable(unit))
            continue;
        if (++counted == n) {
            Clear();
            Add(unit);
            return unit;
        }
    }
    return nullptr;
}

UiUnit* SelectNext() { return Step(1); }
UiUnit* SelectPrevious() { return Step(-1); }

void ClearOrders()
{
    for (UiUnit* unit : Members()) {
        Orders::Stop(*unit);
        Orders::ClearTarget(*unit);
    }
}

void ToggleCrouch(uint32_t orderFlags)
{
    for (UiUnit* unit : Members())
        Orders::Crouch(*unit, orderFlags);
}

void UndoLastOrder()
{
    for (UiUnit* unit : Members())
        if (unit->TakesOrders())
            Orders::ClearOrders(*unit);
}

namespace {

template <typename Queue, typename Order>
void GiveAttack(uint32_t orderFlags, Queue queue, Order order)
{
    const bool queued = (orderFlags & 0xFFu) != 0 || GameView::IsPaused();
    for (UiUnit* unit : Members()) {
        if (!unit->hasWeapon_)
            continue;
        if (queued)
            queue(*unit);
        else if (!g_quickWeapon || unit->quickWeapon.on)
            order(*unit);
    }
}

} // namespace

void OrderAttackTarget(UiUnit& target, uint32_t orderFlags)
{
    GiveAttack(
        orderFlags, [&](UiUnit& u) { Orders::QueueAttackTarget(u, target); },
        [&](UiUnit& u) { Orders::AttackTarget(u, target); });
    if (Count() > 0)
        GameCursor::ShowOnce(GameCursor::kAttack, 2);
}

void OrderAttackLocation(const Vec3& point, uint32_t orderFlags)
{
    GiveAttack(
        orderFlags, [&](UiUnit& u) { Orders::QueueAttackLocation(u, point); },
        [&](UiUnit& u) { Orders::AttackLocation(u, point); });
    if (Count() > 0)
        GameCursor::ShowOnce(GameCursor::kAttackGround, 2);
}

void OrderMove(const Vec3& point, uint32_t targetId, uint32_t orderFlags)
{
    Level* level = Level::Current();
    if (!level)
        return;
    if (GameView::Modifiers() & 1u) {
        bool anyContext = false;
        for (UiUnit* unit : Members()) {
            if (!unit->hasNavigation_)
                continue;
            anyContext = true;
            const CollisionPolygon* polygon = nullptr;
            {
                LockGuard hold(level->lock_, false);
                polygon = level->FindPolygonAt(point);
            }
            if (polygon) {
                UiUnit* alone[1] = {unit};
                Orders::SendGroupOrder(polygon->tableIndex_, targetId, orderFlags, alone);
            }
        }
        if (!anyContext)
            return;
    } else {
        const CollisionPolygon* polygon = nullptr;
        {
            LockGuard hold(level->lock_, false);
            polygon = level->FindPolygonAt(point);
        }
        if (!polygon || Count() == 0)
            return;
        const std::vector<UiUnit*> members = Members();
        Orders::SendGroupOrder(polygon->tableIndex_, targetId, orderFlags, members);
    }
    GameCursor::ShowOnce(GameCursor::kStandard, 1);
    GameView::PlaySound(kMoveSound);
}

void SetViewUnit(UiUnit* unit)
{
    if (g_viewUnit) {
        Orders::ReleaseControl(*g_viewUnit);
        g_viewUnit->Release();
        g_viewUnit = nullptr;
    }
    if (!unit)
        return;
    unit->AddRef();
    g_viewUnit = unit;
    const Quaternion& q = unit->orientation_;
    g_viewHeading = static_cast<float>(2.0 * std::atan2(q.y, q.w) * 4096.0 / (2.0 * std::numbers::pi));
    g_viewPitch = 0;
    unit->highlighted_ = true;
    unit->stateFlags_ |= UiUnit::kStateDirectControl;
    unit->viewSteering_ = false;
}

UiUnit* ViewUnit() { return g_viewUnit; }
float ViewHeading() { return g_viewHeading; }
float ViewPitch() { return g_viewPitch; }

void HandleEscape()
{
    if (CameraMove::Get().active_ && CameraMove::Get().cutscene_) {
        CameraMove::SkipCutscene();
        return;
    }
    if (GameView::CutscenePlaying())
        return;
    if (Count() > 0) {
        Clear();
        return;
    }
    GameView::Screens& screens = GameView::GetScreens();
    ScreenToggles::ToggleInGameMenu();
    if (GameView::WheelOpen()) {
        if (screens.wheelClose)
            screens.wheelClose(GameView::RealNow());
        ReleaseCommandUnit();
        MouseMode::Set(0);
        CameraController::SetEdgeScrollEnabled(true);
    }
}

void SetCommandUnit(UiUnit* unit, const Vec3* point)
{
    if (unit)
        unit->AddRef();
    ReleaseCommandUnit();
    g_commandUnit = unit;
    g_commandPointSet = point != nullptr;
    if (point)
        g_commandPoint = *point;
}

void ReleaseCommandUnit()
{
    if (g_commandUnit)
        g_commandUnit->Release();
    g_commandUnit = nullptr;
    g_commandPointSet = false;
}

UiUnit* CommandUnit() { return g_commandUnit; }

bool CommandPoint(Vec3& out)
{
    if (g_commandPointSet)
        out = g_commandPoint;
    return g_commandPointSet;
}

void SetQuickWeaponMode(bool on) { g_quickWeapon = on; }
bool QuickWeaponMode() { return g_quickWeapon; }

void EndQuickWeapon(bool restoreWeapons)
{
    if (!g_quickWeapon)
        return;
    g_quickWeapon = false;
    MouseMode::Set(0);
    if (restoreWeapons)
        RestoreWeapons();
}

} // namespace Selection
