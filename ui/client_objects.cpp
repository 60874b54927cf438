#include "ui/client_objects.h"

#include "console/screen_message.h"
#include "console/text_console.h"
#include "objects/inventory.h"
#include "objects/role_table.h"
#include "objects/typed_objects.h"
#include "objects/unit.h"
#include "script/records.h"
#include "ui/hud_view.h"
#include "ui/menu_screen.h"
#include "ui/picking.h"
#include "ui/server_notices.h"
#include "world/fog_of_war.h"

#include <cctype>

namespace ClientObjects {
namespace {

const char* NameOf(const script::Role* role)
{
    return role && !role->identifier.empty() ? role->identifier.c_str() : nullptr;
}

const char* ItemName(const WorldObject& object, int32_t itemId)
{
    Inventory* inventory = const_cast<WorldObject&>(object).GetInventory();
    const CarriedItem* item = inventory ? inventory->FindById(itemId) : nullptr;
    return item ? NameOf(RoleTable::Global().FindById(item->roleId)) : nullptr;
}

int ItemKindOf(const WorldObject& object, int32_t itemId)
{
    Inventory* inventory = const_cast<WorldObject&>(object).GetInventory();
    const CarriedItem* item = inventory ? inventory->FindById(itemId) : nullptr;
    return item ? item->kind : 0;
}

} // namespace

const std::vector<WorldObject*>& Squad() { return WorldObjectTable::SquadList(); }
std::vector<WorldObject*> All() { return WorldObjectTable::Snapshot(); }

Unit* AsUnit(WorldObject* object) { return object && object->IsUnit() ? static_cast<Unit*>(object) : nullptr; }
const Unit* AsUnit(const WorldObject* object)
{
    return object && object->IsUnit() ? static_cast<const Unit*>(object) : nullptr;
}
MovingObject* AsMoving(WorldObject* object)
{
    return object && object->IsMobile() ? static_cast<MovingObject*>(object) : nullptr;
}

const char* RoleName(const WorldObject& object)
{
    return NameOf(object.ShownRole() ? object.ShownRole() : object.GetRole());
}

bool IsItem(const WorldObject& object) { return object.GetRole() && object.GetRole()->aiType == kRoleTypeItem; }

ItemUse ItemUseOf(const WorldObject& item)
{
    const auto* lying = dynamic_cast<const TypedObject10*>(&item);
    if (!lying)
        return ItemUse::kPickUp;
    if (lying->IsUsableSwitch())
        return ItemUse::kActivate;
    return lying->IsTaken() || lying->IsSpentSwitch() ? ItemUse::kNone : ItemUse::kPickUp;
}

bool IsCharacter(const WorldObject& object) { return object.GetCharacter() != nullptr; }
bool IsActive(const WorldObject& object) { return object.IsRegistered() && object.IsPresent(); }

bool HasWeapon(const WorldObject& object)
{
    const Unit* unit = AsUnit(&object);
    return unit && unit->WeaponType() >= 0;
}

const char* WeaponName(const WorldObject& object)
{
    const Unit* unit = AsUnit(&object);
    if (!unit || unit->WeaponType() < 0)
        return nullptr;
    const script::WeaponEntry* entry = script::RecordTables::Global().Weapon(unit->WeaponType(), unit->AmmoType());
    return entry && !entry->name.empty() ? entry->name.c_str() : nullptr;
}

bool IsTimed(const WorldObject& object) { return object.ProgressShown(); }

float RemainingSeconds(const WorldObject& object, float gameSeconds)
{
    return object.ProgressShown() ? object.ProgressEnd() - gameSeconds : 0.0f;
}

bool HiddenByFog(const WorldObject& object)
{
    FogOfWar* fog = FogOfWar::Global();
    return fog && fog->VisibilityAt(object.Position()) >= 254;
}

bool HasCharacterKey(const WorldObject& object, const char* key)
{
    const char* name = RoleName(object);
    if (!name || !key)
        return false;
    for (; *name && *key; ++name, ++key)
        if (std::tolower(static_cast<unsigned char>(*name)) != std::tolower(static_cast<unsigned char>(*key)))
            return false;
    return *name == *key;
}

bool TextPosition(const WorldObject& object, float& x, float& y)
{
    x = 0.5f;
    y = 0.5f;
    HudView& view = HudView::Current();
    ScreenRect rect;
    if (Picking::ScreenRectOf(object, rect) && view.ScreenWidth() > 0 && view.ScreenHeight() > 0) {
        const float fx = rect.left / view.ScreenWidth(), fy = rect.top / view.ScreenHeight();
        if (fx >= 0 && fx <= 1 && fy >= 0 && fy <= 1) {
            x = fx;
            y = fy;
            return true;
        }
    }
    return false;
}

void ShowText(const WorldObject& object, const std::string& text)
{
    constexpr int kBesideAnObject = 1;
    constexpr float kWidth = 0.4f, kRightEdge = 0.99f;
    float x, y;
    if (!TextPosition(object, x, y)) {
        if (const MenuScreen* panel = ServerNotices::UnitPanelOf(object)) {
            x = kRightEdge - kWidth;
            y = panel->Top();
        }
    }
    ScreenMessage::Create(x, y, text, kBesideAnObject, kWidth);
}

// The role name is data: copied, never a format.
void SayBeside(const WorldObject& object, int32_t textId)
{
    const char* name = RoleName(object);
    ShowText(object, std::string(name ? name : "") + ": " + TextConsole::Text(static_cast<unsigned>(textId)));
}

std::vector<UnitOrder> OrdersOf(const WorldObject& object)
{
    std::vector<UnitOrder> out;
    if (!object.IsMobile())
        return out;
    int waypoint = 0;
    for (const LocalOrder& order : static_cast<const MovingObject&>(object).Orders()) {
        UnitOrder line;
        line.kind = static_cast<uint32_t>(order.kind);
        switch (order.kind) {
        case LocalOrder::kAttackTarget:
            if (const WorldObject* target = WorldObjectTable::FindById(static_cast<uint32_t>(order.value)))
                line.targetName = RoleName(*target);
            break;
        case LocalOrder::kWaypoint:
            line.waypoint = ++waypoint;
            line.point = order.position;
            break;
        case LocalOrder::kGive:
            if (const WorldObject* receiver = WorldObjectTable::FindById(static_cast<uint32_t>(order.value)))
                line.receiverName = RoleName(*receiver);
            [[fallthrough]];
        case LocalOrder::kEquip:
        case LocalOrder::kUse:
        case LocalOrder::kDrop:
        case LocalOrder::kUnequip:
            line.itemName = ItemName(object, order.item);
            line.itemKind = ItemKindOf(object, order.item);
            break;
        default:
            break;
        }
        out.push_back(line);
    }
    return out;
}

} // namespace ClientObjects
