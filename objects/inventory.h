// What a unit carries: items made from roles or ammunition stacks, kept
// grouped by kind, with the 52-byte record saved games store for each item.
// Server inventories change on the server thread, client ones on the game
// thread; an inventory is never shared between them.
#pragma once

#include "script/records.h"

#include <cstdint>
#include <list>
#include <vector>

class Hierarchy;
class VeShape;
class VeObject;

namespace ItemKind {
inline constexpr int32_t kHeal = 0, kWeapon = 4, kDeployable = 5, kAmmoStack = 6;
inline constexpr int32_t kInitial = -1;  // the entry every inventory starts with
} // namespace ItemKind

inline constexpr size_t kCarriedItemRecordSize = 52;

struct CarriedItem {
    int32_t kind = 0;
    const void* inventoryLook = nullptr;  // hierarchy or shape shown on the panel
    const void* look = nullptr;
    VeObject* panelObject = nullptr;
    VeObject* heldObject = nullptr;
    int32_t value = 0;    // for stacks the ammunition name's string id
    int32_t amount = 0;   // for stacks the ammunition type
    int32_t roleId = 0;   // for stacks minus the ammunition type
    int32_t subtype = 0;  // weapon type, ammunition type or variant
    int32_t id = 0;
    uint32_t limit = 0;
    uint32_t count = 0;
    int32_t roleLimit = 0;

    // The 13 little-endian words; the pointer words are written as 0, since
    // an address means nothing to the reader of a save.
    void WriteRecord(std::vector<uint8_t>& out) const;
};

// The item a pick-up of `role` becomes under number `id`: a weapon of the
// role's character weapon type when it names one, else a heal, with the
// walking-speed word as its amount. The server's actor and the client's
// replica build it alike, so both inventories hold the same item.
CarriedItem PickUpItem(const script::Role& role, int32_t id);

class Inventory {
public:
    // The initial entry: kind -1, no role, counts 0, so no stack or weapon
    // search ever takes it for a real item.
    explicit Inventory(int32_t defaultWeapon = 0, int32_t secondValue = 15);

    // Items of a kind already carried go in front of the first of them; a
    // new kind goes to the end.
    CarriedItem& Add(CarriedItem item);
    // Fills the stacks of the type in order, then puts what is left in one
    // new stack limited by the type's "max per slot".
    void AddStackAmount(int32_t ammoType, int32_t amount, int32_t itemId);
    CarriedItem& AddStack(int32_t ammoType, int32_t amount, int32_t itemId);
    bool HasStackOf(int32_t ammoType) const;
    CarriedItem* FindById(int32_t id);
    void Remove(const CarriedItem& item);

    const std::list<CarriedItem>& Items() const { return items_; }
    int32_t DefaultWeapon() const { return defaultWeapon_; }
    int32_t SecondValue() const { return secondValue_; }

private:
    int32_t defaultWeapon_;
    int32_t secondValue_;
    std::list<CarriedItem> items_;
};
