#include "objects/inventory_display.h"

#include "Veapi/ve_object.h"
#include "objects/body_part.h"
#include "objects/inventory.h"
#include "objects/moving_object.h"
#include "objects/role_table.h"
#include "objects/world_object.h"
#include "script/records.h"
#include "world/map_build.h"

#include <algorithm>
#include <cmath>
#include <string>

namespace InventoryDisplay {
namespace {

VeObject* g_model = nullptr;
const script::ShapeRef* g_modelLook = nullptr;  // the role's, which outlives the display
bool g_hasArm = false;
Vec3 g_arm{0, 0, 0};

// Eight dummies mark nine slots (slot = row + 3 x column): "slota" to
// "sloth" are slots 0 to 7, and the ninth takes its column from slot 6
// (the third column) and its row from slot 2 (the third row), so it never
// stands at an unset place.
void PlaceSlots(const SlotLocator& locate)
{
    auto& slots = InventoryPanel::Slots();
    for (int i = 0; i < 8; ++i) {
        Vec3 at{0, 0, 0};
        const std::string name = std::string("slot") + char('a' + i);
        if (locate && locate(name, at)) {
            slots[size_t(i)].x = at.x;
            slots[size_t(i)].y = at.y;
        }
    }
    slots[8].x = slots[6].x;
    slots[8].y = slots[2].y;
}

// The character's worn items show on the shown model's body parts, as
// they do on the character itself.
void WearItems(WorldObject& character, Inventory& inventory)
{
    const auto* wearer = dynamic_cast<const MovingObject*>(&character);
    if (!wearer)
        return;
    for (const MovingObject::WornItem& worn : wearer->GetItemList()) {
        const CarriedItem* item = inventory.FindById(worn.itemId);
        if (const script::Role* made = item ? RoleTable::Global().FindById(item->roleId) : nullptr)
            BodyPart::Attach(*g_model, BodyPart::ItemLook(*made), worn.slot);
    }
}

} // namespace

float ModelScale(float largest)
{
    constexpr float kMost = 0.34f;
    if (!(largest > 0.0f) || !std::isfinite(largest))
        return kMost;
    return std::min(0.63f / largest, kMost);
}

bool Init(WorldObject& character, VeObject* panelModel)
{
    if (!panelModel)
        return Init(character, SlotLocator{});
    return Init(character, [panelModel](const std::string& dummy, Vec3& at) {
        return panelModel->FindPartPosition(at, dummy, 0);
    });
}

bool Init(WorldObject& character, const SlotLocator& locate)
{
    Release();
    Inventory* inventory = character.GetInventory();
    if (!inventory)
        return false;
    if (const script::Role* role = character.GetRole()) {
        const script::ShapeRef* model = &role->shape;
        if (role->character && role->character->customisationShape)
            model = &role->character->customisationShape;
        g_model = MakeRoleObject(*model, true);
        g_modelLook = g_model ? model : nullptr;
    }
    if (g_model) {
        const Vec3 size = g_model->HasBounds() ? g_model->maximum_ - g_model->minimum_ : Vec3{0, 0, 0};
        const float scale = ModelScale(std::max({std::fabs(size.x), std::fabs(size.y), std::fabs(size.z)}));
        g_model->placement_.SetScale({scale, scale, scale});
        g_model->placement_.SetPosition({0, 0, kDepth});
        g_hasArm = g_model->FindPartPosition(g_arm, "Upper Arm Right", 0);
        WearItems(character, *inventory);
    }
    InventoryPanel::Shown() = inventory;
    PlaceSlots(locate);
    inventory->BuildPanel();
    InventoryPanel::Selected() = nullptr;
    return true;
}

void Release()
{
    if (InventoryPanel::Shown())
        InventoryPanel::Shown()->ReleasePanel();
    InventoryPanel::Shown() = nullptr;
    if (g_model)
        g_model->Release();
    g_model = nullptr;
    g_modelLook = nullptr;
    g_hasArm = false;
}

bool RefreshBodyParts(WorldObject& character)
{
    Inventory* inventory = character.GetInventory();
    if (!g_model || !g_modelLook || !inventory || InventoryPanel::Shown() != inventory)
        return false;
    for (int32_t slot = 0; slot < BodyPart::kSlots; ++slot)
        BodyPart::Restore(*g_model, *g_modelLook, slot);
    WearItems(character, *inventory);
    return true;
}

VeObject* Model() { return g_model; }
Inventory* Shown() { return InventoryPanel::Shown(); }

bool ArmPosition(Vec3& out)
{
    if (g_hasArm)
        out = g_arm;
    return g_hasArm;
}

} // namespace InventoryDisplay
