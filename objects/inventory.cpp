#include "objects/inventory.h"

#include "Veapi/ve_object.h"
#include "Veapi/ve_shape.h"
#include "objects/role_table.h"
#include "platform/byte_cursor.h"
#include "world/fog_of_war.h"
#include "world/map_build.h"

#include <algorithm>
#include <cmath>
#include <climits>

void CarriedItem::WriteRecord(std::vector<uint8_t>& out) const
{
    trevok::ByteWriter w(out);
    w.I32(kind);
    for (int pointerWord = 0; pointerWord < 4; ++pointerWord)
        w.U32(0);
    w.I32(value);
    w.I32(amount);
    w.I32(roleId);
    w.I32(subtype);
    w.I32(id);
    w.U32(limit);
    w.U32(count);
    w.I32(roleLimit);
}

namespace {

void ReleaseObjects(CarriedItem& item)
{
    for (VeObject** object : {&item.panelObject, &item.heldObject})
        if (*object) {
            (*object)->Release();
            *object = nullptr;
        }
}

// The panel shows items, not where they are kept: a slot pointing at an
// item that goes is cleared, and so is the selection.
void Forget(const CarriedItem& item)
{
    for (InventoryPanel::Slot& slot : InventoryPanel::Slots())
        if (slot.item == &item)
            slot.item = nullptr;
    if (InventoryPanel::Selected() == &item)
        InventoryPanel::Selected() = nullptr;
}

void TakeAmmoLooks(CarriedItem& stack, const script::AmmoEntry& info)
{
    if (info.hierarchyShape)
        stack.inventoryLook = &info.hierarchyShape;
    if (info.shape)
        stack.look = &info.shape;
}

void TakeRoleLooks(CarriedItem& item, const script::Role& role)
{
    if (role.inventory && role.inventory->shape)
        item.inventoryLook = &role.inventory->shape;
    if (role.shape)
        item.look = &role.shape;
}

} // namespace

void FindLooksAgain(CarriedItem& item)
{
    item.inventoryLook = item.look = nullptr;
    if (item.roleId < 0) {
        if (const script::AmmoEntry* info = script::RecordTables::Global().Ammo(-item.roleId))
            TakeAmmoLooks(item, *info);
    } else if (const script::Role* role = RoleTable::Global().FindById(item.roleId)) {
        TakeRoleLooks(item, *role);
    }
}

Inventory::Inventory(int32_t defaultWeapon, int32_t secondValue)
    : defaultWeapon_(defaultWeapon), secondValue_(secondValue)
{
    CarriedItem initial;
    initial.kind = ItemKind::kInitial;
    initial.roleId = INT_MAX;
    initial.subtype = INT_MAX;
    items_.push_back(initial);
    ResetCursors();
}

Inventory::~Inventory()
{
    if (InventoryPanel::Shown() == this)
        InventoryPanel::Shown() = nullptr;
    for (CarriedItem& item : items_) {
        Forget(item);
        ReleaseObjects(item);
    }
}

void Inventory::ResetCursors() { cursors_.fill(items_.begin()); }

CarriedItem& Inventory::Add(CarriedItem item)
{
    auto at = std::find_if(items_.begin(), items_.end(), [&](const CarriedItem& i) { return i.kind == item.kind; });
    CarriedItem& added = *items_.insert(at, item);
    ResetCursors();
    return added;
}

void Inventory::AddFromRole(int32_t kind, const script::Role& role, int32_t itemId, Announcer announce)
{
    switch (kind) {
    case ItemKind::kNeverCarried:
        return;
    case ItemKind::kAmmoStack:
        AddStackAmount(role.character ? role.character->weapon : 0, ItemFromRole(kind, role, itemId).amount, itemId);
        if (announce)
            announce(kSoundItemAdded);
        return;
    case ItemKind::kShield:
    case ItemKind::kArmour:
        break;
    default:
        if (announce)
            announce(kind == ItemKind::kHeal ? kSoundHealAdded : kSoundItemAdded);
        break;
    }
    Add(ItemFromRole(kind, role, itemId));
}

void Inventory::AddStackAmount(int32_t ammoType, int32_t amount, int32_t itemId)
{
    for (CarriedItem& stack : items_) {
        if (amount <= 0)
            return;
        if (stack.kind != ItemKind::kAmmoStack || stack.subtype != ammoType)
            continue;
        if (stack.count + uint32_t(amount) <= stack.limit) {
            stack.count += uint32_t(amount);
            return;
        }
        // A stack already above its limit has no room rather than negative room.
        amount -= int32_t(stack.limit > stack.count ? stack.limit - stack.count : 0);
        stack.count = std::max(stack.count, stack.limit);
    }
    if (amount > 0)
        AddStack(ammoType, amount, itemId);
}

CarriedItem& Inventory::AddStack(int32_t ammoType, int32_t amount, int32_t itemId)
{
    CarriedItem stack;
    stack.kind = ItemKind::kAmmoStack;
    stack.amount = ammoType;
    stack.roleId = -ammoType;
    stack.subtype = ammoType;
    stack.id = itemId;
    stack.count = uint32_t(amount);
    // Types from saves or messages may lie outside the table: no entry, no look.
    if (const script::AmmoEntry* info = script::RecordTables::Global().Ammo(ammoType)) {
        stack.limit = uint32_t(std::max(info->maxPerSlot, 0));
        stack.value = info->nameId;
        TakeAmmoLooks(stack, *info);
    }
    return Add(stack);
}

bool Inventory::HasStackOf(int32_t ammoType) const
{
    return std::any_of(items_.begin(), items_.end(), [&](const CarriedItem& i) {
        return i.kind == ItemKind::kAmmoStack && i.subtype == ammoType;
    });
}

CarriedItem* Inventory::FindById(int32_t id)
{
    for (CarriedItem& i : items_)
        if (i.id == id && i.kind != ItemKind::kInitial)
            return &i;
    return nullptr;
}

int32_t Inventory::CountOfRole(std::string_view roleName) const
{
    const script::Role* role = RoleTable::Global().FindByName(roleName);
    if (!role)
        return 0;
    return int32_t(std::count_if(items_.begin(), items_.end(), [&](const CarriedItem& i) {
        return i.kind != ItemKind::kInitial && i.roleId == role->id;
    }));
}

void Inventory::Remove(const CarriedItem& item)
{
    CarriedItem gone = Take(item);
    ReleaseObjects(gone);
}

CarriedItem Inventory::Take(const CarriedItem& item)
{
    for (auto it = items_.begin(); it != items_.end(); ++it) {
        if (&*it != &item)
            continue;
        Forget(*it);
        CarriedItem taken = *it;
        items_.erase(it);
        ResetCursors();
        return taken;
    }
    return {};
}

bool Inventory::InRow(const CarriedItem& item, int row)
{
    switch (row) {
    case kRowWeapons: return item.kind == ItemKind::kWeapon;
    case kRowStacks: return item.kind == ItemKind::kAmmoStack;
    default:
        return item.kind != ItemKind::kWeapon && item.kind != ItemKind::kAmmoStack && item.kind != ItemKind::kInitial;
    }
}

bool Inventory::Step(Cursor& c, int row, bool forward)
{
    if (forward) {
        for (Cursor it = c == items_.end() ? c : std::next(c); it != items_.end(); ++it)
            if (InRow(*it, row)) {
                c = it;
                return true;
            }
        return false;
    }
    if (c == items_.begin())
        return false;
    for (Cursor it = c; it != items_.begin();) {
        --it;
        if (InRow(*it, row)) {
            c = it;
            return true;
        }
    }
    c = items_.begin();
    return true;
}

bool Inventory::Scroll(bool refresh, int32_t rowCode, bool forward, Announcer announce)
{
    int row;
    switch (rowCode) {
    case 16: case 22: row = kRowWeapons; break;
    case 17: case 24: row = kRowStacks; break;
    case 18: case 26: row = kRowOthers; break;
    default: return false;
    }
    Cursor& cursor = cursors_[size_t(row)];
    const Cursor was = cursor;
    if (forward) {
        // The row shows the three items after its cursor: it moves on only
        // when an item lies beyond them, so it never pages onto nothing.
        Cursor probe = cursor;
        int ahead = 0;
        while (ahead < 4 && Step(probe, row, true))
            ++ahead;
        if (ahead < 4)
            return false;
    }
    bool moved = false;
    for (int i = 0; i < 3 && Step(cursor, row, forward); ++i)
        moved = true;
    if (!moved || !refresh) {
        cursor = was;
        return moved;
    }
    if (announce)
        announce(kSoundScrolled);
    BuildPanel();
    return true;
}

bool Inventory::ScrollBack(bool refresh, int32_t rowCode, Announcer announce)
{
    return Scroll(refresh, rowCode, false, announce);
}

bool Inventory::ScrollForward(bool refresh, int32_t rowCode, Announcer announce)
{
    return Scroll(refresh, rowCode, true, announce);
}

void Inventory::BuildPanel()
{
    auto& slots = InventoryPanel::Slots();
    for (InventoryPanel::Slot& slot : slots)
        slot.item = nullptr;
    FogOfWar* fog = FogOfWar::Global();
    for (int row = 0; row < 3; ++row) {
        Cursor at = cursors_[size_t(row)];
        for (int column = 0; column < 3 && Step(at, row, true); ++column) {
            CarriedItem& item = *at;
            InventoryPanel::Slot& slot = slots[size_t(row + 3 * column)];
            slot.item = &item;
            const script::ShapeRef* model = item.PanelLook();
            if (!item.panelObject && model) {
                item.panelObject = MakeRoleObject(*model, true);
                if (!item.panelObject)
                    continue;
                // A model whose parts are not all fogged by their own
                // material takes the fog's coordinates.
                bool unfoggedPart = false;
                std::vector<ShapeInstance*> open{item.panelObject->Root()};
                while (!open.empty() && !unfoggedPart) {
                    ShapeInstance* node = open.back();
                    open.pop_back();
                    if (!node)
                        continue;
                    unfoggedPart |= !node->slots_[0] || !(node->slots_[0]->flags_ & 0x200u);
                    for (ShapeInstance* child : node->children_)
                        open.push_back(child);
                }
                if (unfoggedPart && fog && item.panelObject->Root())
                    fog->MapShape(*item.panelObject->Root(), item.panelObject->placement_.Matrix());
            }
            VeObject* object = item.panelObject;
            if (!object)
                continue;
            const Vec3 size = object->HasBounds() ? object->maximum_ - object->minimum_ : Vec3{0, 0, 0};
            const float largest = std::max({std::fabs(size.x), std::fabs(size.y), std::fabs(size.z)});
            const float scale = InventoryPanel::Scale(row, largest);
            object->placement_.SetScale({scale, scale, scale});
            object->placement_.SetOrientation({0, 0, 0, 1});
            object->placement_.SetPosition({(slot.x - 0.05f) * 1.1111112f,
                                            (slot.y - 0.05f) * 1.1111112f - 0.5f * std::fabs(size.y) * scale, 0.1f});
        }
    }
}

void Inventory::ReleasePanel()
{
    for (CarriedItem& item : items_)
        if (item.panelObject) {
            item.panelObject->Release();
            item.panelObject = nullptr;
        }
    for (InventoryPanel::Slot& slot : InventoryPanel::Slots())
        slot.item = nullptr;
}

namespace InventoryPanel {

std::array<Slot, kSlots>& Slots()
{
    static std::array<Slot, kSlots> slots;
    return slots;
}

CarriedItem*& Selected()
{
    static CarriedItem* selected = nullptr;
    return selected;
}

Inventory*& Shown()
{
    static Inventory* shown = nullptr;
    return shown;
}

float Scale(int row, float largest)
{
    // No extent (a flat or box-less model) shows at the size of a unit one.
    if (!(largest > 1e-6f) || !std::isfinite(largest))
        largest = 1.0f;
    if (row == 0) {
        float scale = 0.1f / largest;
        if (scale < 0.1f)
            scale *= 1.2f;
        else if (scale > 0.22f)
            scale *= 0.8f;
        return scale;
    }
    return (row == 1 ? 0.09f : 0.07f) / largest;
}

} // namespace InventoryPanel

int32_t PickUpAmount(const CarriedItem& stack)
{
    if (stack.roleId >= 0)
        return 0;
    const script::Role* role = RoleTable::Global().FindByKey(stack.subtype);
    return role && role->character ? static_cast<int32_t>(std::lround(role->character->walkingSpeed / 65536.0)) : 0;
}

CarriedItem ItemFromRole(int32_t kind, const script::Role& role, int32_t id)
{
    CarriedItem item;
    item.kind = kind;
    item.roleId = role.id;
    item.id = id;
    item.roleLimit = role.limit;
    if (const script::CharacterRecord* character = role.character ? &*role.character : nullptr) {
        const double amount = std::round(double(character->walkingSpeed) / 65536.0);
        item.amount = int32_t(std::clamp(amount, double(INT_MIN), double(INT_MAX)));
        item.subtype = character->weapon;
    }
    TakeRoleLooks(item, role);
    if (kind == ItemKind::kShield || kind == ItemKind::kArmour)
        item.limit = item.count = uint32_t(std::max(item.amount, 0));
    return item;
}
