#include "ui/selection.h"

#include "app/hash_table.h"
#include "app/read_write_lock.h"
#include "objects/unit.h"
#include "ui/client_objects.h"
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
    uint32_t operator()(const WorldObject* unit) const { return unit->GetId(); }
};
using UnitSet = HashTable<WorldObject, IdOf>;

// At namespace scope: the shell's exit handlers may still read it.
UnitSet g_set{6};
WorldObject* g_commandUnit = nullptr;
Vec3 g_commandPoint{0, 0, 0};
bool g_commandPointSet = false;
WorldObject* g_viewUnit = nullptr;
bool g_quickWeapon = false;
float g_viewHeading = 0, g_viewPitch = 0;

constexpr int kMoveSound = 1;

void Deselected(WorldObject& unit)
{
    if (unit.IsHighlighted())
        unit.ReleaseControl();
}

void Insert(WorldObject* unit)
{
    g_set.Insert(unit);
    unit->AddRef();
    if (CameraController::IsTracking())
        CameraController::Track(unit);
}

// Takes the unit out of the set; the caller still holds its reference.
void Unlink(WorldObject* unit)
{
    g_set.Remove(unit);
    if (CameraController::IsTracking()) {
        CameraController::Untrack(unit);
        if (g_set.Count() == 0)
            CameraController::StopTracking();
    }
}

bool Selectable(const WorldObject* unit) { return unit && unit->IsSelectable(); }

// Forward or backward from the first member's squad position (the head
// without one) to the next selectable member, wrapping; null after a full
// circle without one.
WorldObject* Step(int direction)
{
    const std::vector<WorldObject*>& squad = ClientObjects::Squad();
    const int n = static_cast<int>(squad.size());
    if (n == 0)
        return nullptr;
    int start = 0;
    if (WorldObject* first = First()) {
        for (int i = 0; i < n; ++i)
            if (squad[i] == first)
                start = i;
    }
    for (int k = 1; k <= n; ++k) {
        WorldObject* candidate = squad[((start + direction * k) % n + n) % n];
        if (Selectable(candidate)) {
            Clear();
            Add(candidate);
            return candidate;
        }
    }
    return nullptr;
}

} // namespace

bool Contains(const WorldObject* unit) { return unit && g_set.Find(unit) != nullptr; }
int Count() { return g_set.Count(); }

std::vector<WorldObject*> Members()
{
    std::vector<WorldObject*> out;
    out.reserve(static_cast<size_t>(g_set.Count()));
    for (UnitSet::Iterator it(g_set); !it.AtEnd(); it.Next())
        out.push_back(it.Get());
    return out;
}

WorldObject* First()
{
    UnitSet::Iterator it(g_set);
    return it.Get();
}

void Add(WorldObject* unit)
{
    if (!unit || Contains(unit))
        return;
    EndQuickWeapon();
    Insert(unit);
}

void Remove(WorldObject* unit)
{
    if (!Contains(unit))
        return;
    EndQuickWeapon();
    Unlink(unit);
    Deselected(*unit);
    unit->Release();
}

void Toggle(WorldObject* unit)
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
    for (WorldObject* unit : Members()) {
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
    for (WorldObject* unit : Members()) {
        Deselected(*unit);
        unit->Release();
    }
    g_set.Clear();
    if (CameraController::IsTracking())
        CameraController::StopTracking();
}

WorldObject* SelectAllSquad()
{
    WorldObject* last = nullptr;
    for (WorldObject* unit : ClientObjects::Squad()) {
        if (Selectable(unit) && !Contains(unit)) {
            Add(unit);
            last = unit;
        }
    }
    return last;
}

WorldObject* SelectOnly(int n)
{
    int counted = 0;
    for (WorldObject* unit : ClientObjects::Squad()) {
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

WorldObject* SelectNext() { return Step(1); }
WorldObject* SelectPrevious() { return Step(-1); }

WorldObject* SelectNextSquadMember(bool previous)
{
    WorldObject* unit = previous ? SelectPrevious() : SelectNext();
    if (unit) {
        const Vec3& p = unit->Position();
        CameraController::SetFocus(p.x, p.y, p.z);
    }
    return unit;
}

void ClearOrders()
{
    for (WorldObject* unit : Members()) {
        Orders::Stop(*unit);
        Orders::ClearTarget(*unit);
    }
}

void ToggleCrouch(uint32_t orderFlags)
{
    for (WorldObject* unit : Members())
        Orders::Crouch(*unit, orderFlags);
}

void UndoLastOrder()
{
    for (WorldObject* unit : Members())
        if (unit->TakesMotionOrders())
            Orders::ClearOrders(*unit);
}

namespace {

bool QuickWeaponReadied(WorldObject& object)
{
    Unit* unit = ClientObjects::AsUnit(&object);
    return unit && unit->Readied().readied;
}

template <typename Queue, typename Order>
void GiveAttack(uint32_t orderFlags, Queue queue, Order order)
{
    const bool queued = (orderFlags & 0xFFu) != 0 || GameView::IsPaused();
    for (WorldObject* unit : Members()) {
        if (!ClientObjects::HasWeapon(*unit))
            continue;
        if (queued)
            queue(*unit);
        else if (!g_quickWeapon || QuickWeaponReadied(*unit))
            order(*unit);
    }
}

} // namespace

void OrderAttackTarget(WorldObject& target, uint32_t orderFlags)
{
    GiveAttack(
        orderFlags, [&](WorldObject& u) { Orders::QueueAttackTarget(u, target); },
        [&](WorldObject& u) { Orders::AttackTarget(u, target); });
    if (Count() > 0)
        GameCursor::ShowOnce(GameCursor::kAttack, 2);
}

void OrderAttackLocation(const Vec3& point, uint32_t orderFlags)
{
    GiveAttack(
        orderFlags, [&](WorldObject& u) { Orders::QueueAttackLocation(u, point); },
        [&](WorldObject& u) { Orders::AttackLocation(u, point); });
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
        for (WorldObject* unit : Members()) {
            if (!unit->IsMobile())
                continue;
            anyContext = true;
            const CollisionPolygon* polygon = nullptr;
            {
                LockGuard hold(level->lock_, false);
                polygon = level->FindPolygonAt(point);
            }
            if (polygon) {
                WorldObject* alone[1] = {unit};
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
        const std::vector<WorldObject*> members = Members();
        Orders::SendGroupOrder(polygon->tableIndex_, targetId, orderFlags, members);
    }
    GameCursor::ShowOnce(GameCursor::kStandard, 1);
    GameView::PlaySound(kMoveSound);
}

void SetViewUnit(WorldObject* unit)
{
    if (g_viewUnit) {
        g_viewUnit->ReleaseControl();
        g_viewUnit->Release();
        g_viewUnit = nullptr;
    }
    if (!unit)
        return;
    unit->AddRef();
    g_viewUnit = unit;
    const Quaternion& q = unit->Orientation();
    g_viewHeading = static_cast<float>(2.0 * std::atan2(q.y, q.w) * 4096.0 / (2.0 * std::numbers::pi));
    g_viewPitch = 0;
    unit->SetHighlight(true);
    unit->SetDirectControl(true);
    unit->SetViewSteering(0);
}

WorldObject* ViewUnit() { return g_viewUnit; }
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
    ScreenToggles::ToggleInGameMenu();
    if (GameView::WheelOpen()) {
        GameView::CloseWheel(GameView::RealNow());
        ReleaseCommandUnit();
        MouseMode::Set(0);
        CameraController::SetEdgeScrollEnabled(true);
    }
}

void SetCommandUnit(WorldObject* unit, const Vec3* point)
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

WorldObject* CommandUnit() { return g_commandUnit; }

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
