// What a unit carries: items made from roles or ammunition stacks, kept
// grouped by kind, with the 52-byte record saved games store for each item.
// Server inventories change on the server thread, client ones on the game
// thread; an inventory is never shared between them.
#pragma once

#include "script/records.h"

#include <array>
#include <cstdint>
#include <list>
#include <string_view>
#include <vector>

class Hierarchy;
class VeShape;
class VeObject;

namespace ItemKind {
inline constexpr int32_t kHeal = 0, kNeverCarried = 2, kShield = 3, kWeapon = 4, kDeployable = 5, kAmmoStack = 6,
                          kArmour = 9;
inline constexpr int32_t kInitial = -1;  // the entry every inventory starts with
} // namespace ItemKind

inline constexpr size_t kCarriedItemRecordSize = 52;

struct CarriedItem {
    int32_t kind = 0;
    // The models, owned by the role or ammunition record the item came from:
    // the panel and held look, and the look in the level.
    const script::ShapeRef* inventoryLook = nullptr;
    const script::ShapeRef* look = nullptr;
    // One use each, owned by the item while it is in an inventory.
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

    // The model the panel shows and a body wears: the inventory look, else
    // the look; none for an item without either.
    const script::ShapeRef* PanelLook() const { return inventoryLook ? inventoryLook : look; }

    // The 13 little-endian words; the pointer words are written as 0, since
    // an address means nothing to the reader of a save.
    void WriteRecord(std::vector<uint8_t>& out) const;
};

// The item a role becomes under number `id` as an item of `kind`: the
// character record's first value rounded as its amount, the record's weapon
// value as its subtype, the item-look record's texts and models. Shields and
// armour start full. The server's actor and the client's replica build it
// alike, so both inventories hold the same item.
CarriedItem ItemFromRole(int32_t kind, const script::Role& role, int32_t id);
// A stored item keeps no addresses: its looks are found again from its
// role, or from the ammunition record of a built-in stack (none for a role
// or record the tables do not have).
void FindLooksAgain(CarriedItem& item);
// How many rounds of an ammunition stack one pick-up of it holds: the
// pick-up role's first character word / 65536, rounded. Dropping or using
// up a stack takes that much; 0 for an item that is no stack or a stack
// whose pick-up role is unknown.
int32_t PickUpAmount(const CarriedItem& stack);

class Inventory {
public:
    // Sounds of an announced addition; the game thread plays them, the
    // server's inventories pass none (their clients hear the message).
    using Announcer = void (*)(int32_t sound);
    static constexpr int32_t kSoundHealAdded = 24, kSoundItemAdded = 19, kSoundScrolled = 30;

    // Where one of the three rows of the panel stands: on an item, or on the
    // initial entry before the row's first item.
    using Cursor = std::list<CarriedItem>::iterator;

    // The initial entry: kind -1, no role, counts 0, so no stack or weapon
    // search ever takes it for a real item.
    explicit Inventory(int32_t defaultWeapon = 0, int32_t secondValue = 15);
    ~Inventory();
    Inventory(const Inventory&) = delete;
    Inventory& operator=(const Inventory&) = delete;

    // Items of a kind already carried go in front of the first of them; a
    // new kind goes to the end.
    CarriedItem& Add(CarriedItem item);
    // The item `role` gives as an item of `kind`: kind 2 gives nothing,
    // ammunition joins the stacks of its type. `announce` plays the sound of
    // a heal or another item (shields and armour come silently).
    void AddFromRole(int32_t kind, const script::Role& role, int32_t itemId, Announcer announce = nullptr);
    // Fills the stacks of the type in order, then puts what is left in one
    // new stack limited by the type's "max per slot".
    void AddStackAmount(int32_t ammoType, int32_t amount, int32_t itemId);
    CarriedItem& AddStack(int32_t ammoType, int32_t amount, int32_t itemId);
    bool HasStackOf(int32_t ammoType) const;
    CarriedItem* FindById(int32_t id);
    // How many items were made from the role of that name.
    int32_t CountOfRole(std::string_view roleName) const;
    // Frees the item and its objects.
    void Remove(const CarriedItem& item);
    // Unlinks the item and hands it over with its objects (passing an item
    // from one inventory to another).
    CarriedItem Take(const CarriedItem& item);

    // Cursor steps over the items of one row: weapons, stacks, or any other
    // kind. False, with the cursor unchanged, at the row's end. Stepping
    // back from the row's first item returns to the row's start, so a row
    // scrolled forward can always be scrolled back to its first item.
    bool NextWeapon(Cursor& c) { return Step(c, kRowWeapons, true); }
    bool PreviousWeapon(Cursor& c) { return Step(c, kRowWeapons, false); }
    bool NextStack(Cursor& c) { return Step(c, kRowStacks, true); }
    bool PreviousStack(Cursor& c) { return Step(c, kRowStacks, false); }
    bool NextOther(Cursor& c) { return Step(c, kRowOthers, true); }
    bool PreviousOther(Cursor& c) { return Step(c, kRowOthers, false); }

    // Row codes 16/22 weapons, 17/24 stacks, 18/26 others. Moves the row up
    // to three items (forward only while an item lies beyond the three
    // shown); with `refresh` a move is kept, sounded and shown,
    // otherwise the cursor goes back (a query whether the row can scroll).
    bool ScrollBack(bool refresh, int32_t rowCode, Announcer announce = nullptr);
    bool ScrollForward(bool refresh, int32_t rowCode, Announcer announce = nullptr);

    // Puts the next three items of each row after its cursor in the panel.
    void BuildPanel();
    // Releases every item's panel object and clears the panel's slots.
    void ReleasePanel();

    const std::list<CarriedItem>& Items() const { return items_; }
    int32_t DefaultWeapon() const { return defaultWeapon_; }
    int32_t SecondValue() const { return secondValue_; }
    Cursor RowCursor(int row) const { return cursors_[size_t(row)]; }

private:
    static constexpr int kRowWeapons = 0, kRowStacks = 1, kRowOthers = 2;
    static bool InRow(const CarriedItem& item, int row);
    bool Step(Cursor& c, int row, bool forward);
    bool Scroll(bool refresh, int32_t rowCode, bool forward, Announcer announce);
    // Every change of the list puts the three cursors back on the first item.
    void ResetCursors();

    int32_t defaultWeapon_;
    int32_t secondValue_;
    std::list<CarriedItem> items_;
    std::array<Cursor, 3> cursors_;
};

// The 3 x 3 panel the upgrade screen shows one inventory in, and the item
// the player picked there. Game thread only.
namespace InventoryPanel {
inline constexpr int kSlots = 9;
struct Slot {
    CarriedItem* item = nullptr;
    float x = 0, y = 0;  // screen position, fractions of the screen
};
// Slot row + 3 x column.
std::array<Slot, kSlots>& Slots();
CarriedItem*& Selected();
// The inventory the panel shows; cleared when that inventory goes.
Inventory*& Shown();
// Each row's scale for an item of that largest extent: 0.1, 0.09 and 0.07
// over it, the weapons' further evened out; a flat or box-less item keeps
// a finite scale.
float Scale(int row, float largestExtent);
} // namespace InventoryPanel
