#include "ui/wait_for_world.h"

#include "objects/inventory.h"
#include "objects/moving_object.h"
#include "objects/objects_placeholders.h"
#include "objects/role_table.h"
#include "objects/teams.h"
#include "objects/weapon_state.h"
#include "objects/world_object.h"
#include "ui/camera_controller.h"
#include "ui/game_view.h"
#include "ui/selection.h"
#include "ui/ui_placeholders.h"
#include "ui/upgrade_screen.h"
#include "ui/wheel.h"

namespace {

GameWaitForWorld g_world;

WorldObject* Find(uint32_t id) { return WorldObjectTable::FindById(id); }

} // namespace

bool GameWaitForWorld::CameraLocked() const { return !CameraController::Get().locked.empty(); }
float GameWaitForWorld::CameraHeading() const { return CameraController::Get().heading; }
float GameWaitForWorld::CameraElevation() const { return CameraController::Get().pitch; }
float GameWaitForWorld::Zoom() const { return CameraController::Get().zoom; }
Vec3 GameWaitForWorld::CameraFocus() const { return CameraController::Get().focus; }
bool GameWaitForWorld::NormalView() const { return FreeCameraFlag; }

int32_t GameWaitForWorld::StandingOrdersState() const
{
    const Wheel* wheel = CommandWheel::Get();
    if (!wheel)
        return -1;
    for (int i = 0; i < wheel->ChildCount(); ++i)
        if (const WheelWidget* child = wheel->Child(i); child && child->IsStandingOrders()) {
            const auto* standing = dynamic_cast<const Wheel*>(child);
            return standing ? int32_t(standing->GetState()) : -1;
        }
    return -1;
}

bool GameWaitForWorld::CommandWheelExists() const { return CommandWheel::Get() != nullptr; }
bool GameWaitForWorld::CommandWheelShown() const { return CommandWheel::IsOpen(); }
bool GameWaitForWorld::UpgradeScreenOpen() const { return UpgradeScreen::IsOpen(); }

bool GameWaitForWorld::Paused() const
{
    const auto& paused = GameView::GetHooks().isPaused;
    return paused && paused();
}

std::vector<uint32_t> GameWaitForWorld::Squad() const
{
    std::vector<uint32_t> ids;
    for (const WorldObject* member : WorldObjectTable::SquadList())
        if (member)
            ids.push_back(member->GetId());
    return ids;
}

bool GameWaitForWorld::Exists(uint32_t id) const { return Find(id) != nullptr; }

Vec3 GameWaitForWorld::Position(uint32_t id) const
{
    const WorldObject* object = Find(id);
    return object ? object->Position() : Vec3{0, 0, 0};
}

bool GameWaitForWorld::Moving(uint32_t id) const
{
    const WorldObject* object = Find(id);
    return object && object->IsWalking();
}

bool GameWaitForWorld::Attacking(uint32_t id) const
{
    const WorldObject* object = Find(id);
    return object && object->IsAttacking();
}

uint32_t GameWaitForWorld::Target(uint32_t id) const
{
    const WorldObject* object = Find(id);
    const WorldObject* target = object ? object->GetTarget() : nullptr;
    return target ? target->GetId() : 0;
}

bool GameWaitForWorld::Selected(uint32_t id) const
{
    for (const WorldObject* unit : Selection::Members())
        if (unit && unit->GetId() == id)
            return true;
    return false;
}

bool GameWaitForWorld::Collected(uint32_t id) const
{
    const WorldObject* object = Find(id);
    return object && object->IsCarried();
}

// Only a mobile object can hide: crouched, and out of every enemy's sight
// (the hidden byte the server sent with the crouch).
bool GameWaitForWorld::Hides(uint32_t id) const
{
    const WorldObject* object = Find(id);
    if (!object || !object->IsMobile())
        return false;
    const auto* mover = dynamic_cast<const MovingObject*>(object);
    return mover && mover->IsCrouched() && mover->IsTranslucent();
}

bool GameWaitForWorld::CurrentWeapon(uint32_t id, int32_t& type, int32_t& ammo) const
{
    WorldObject* object = Find(id);
    const WeaponState* weapon = object ? object->GetWeapon() : nullptr;
    if (!weapon)
        return false;
    type = weapon->weaponType;
    ammo = weapon->ammoType;
    return true;
}

bool GameWaitForWorld::InventoryEmpty(uint32_t id) const
{
    WorldObject* object = Find(id);
    const Inventory* inventory = object ? object->GetInventory() : nullptr;
    if (!inventory)
        return true;
    // The initial entry (kind -1) is no item.
    for (const CarriedItem& item : inventory->Items())
        if (item.kind >= 0)
            return false;
    return true;
}

bool GameWaitForWorld::HoldsItem(uint32_t id, int32_t kind, int32_t subtype) const
{
    WorldObject* object = Find(id);
    const Inventory* inventory = object ? object->GetInventory() : nullptr;
    if (!inventory)
        return false;
    for (const CarriedItem& item : inventory->Items())
        if (item.kind == kind && item.subtype == subtype)
            return true;
    return false;
}

int32_t GameWaitForWorld::FindRole(const std::string& name) const
{
    const script::Role* role = RoleTable::Global().FindByName(name);
    return role ? role->id : -1;
}

std::vector<uint32_t> GameWaitForWorld::ObjectsOfRole(const std::string& name) const
{
    std::vector<uint32_t> ids;
    for (const WorldObject* object : WorldObjectTable::Snapshot())
        if (const script::Role* role = object->GetRole(); role && role->identifier == name)
            ids.push_back(object->GetId());
    return ids;
}

int32_t GameWaitForWorld::PlayerFormation() const
{
    for (uint32_t side = 0; side < TeamTable::Count(); ++side)
        if (const TeamRecord* team = TeamTable::Find(int32_t(side)); team && team->squadSide)
            return team->formation;
    return -1;
}

namespace GameView {
void InstallWaitForWorld() { WaitFor::SetWorld(&g_world); }
} // namespace GameView
