// The squad's carried items kept across a level change and at the head of
// every saved game: taken before a level stops, given back to the units of
// the same role names after the next one loads. Game thread only; callers
// hold the game state or run while the server thread is not simulating.
#pragma once

#include "platform/byte_cursor.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class GameObject;
struct CarriedItem;

// Saved-game counted strings: u32 length including the NUL, then the bytes.
namespace CountedString {
// Longest text any saved-game string may hold; longer ones are refused.
inline constexpr uint32_t kMaxLength = 4096;
void Write(trevok::ByteWriter& out, std::string_view text);
// Refuses n = 0, n beyond the bytes left or above kMaxLength + 1, and a
// text whose last byte is not the NUL or that holds an earlier NUL.
std::optional<std::string> Read(trevok::ByteReader& in, uint32_t maxLength = kMaxLength);
} // namespace CountedString

// The global carried-item id counter (post-incremented by every new item).
namespace CarriedItemIds {
int32_t Next();
int32_t Peek();
void Set(int32_t next);
} // namespace CarriedItemIds

struct SnapshotItem {
    int32_t value0 = 0;  // the item's amount word
    int32_t value1 = 0;  // its limit word
    int32_t value2 = 0;  // its count word
    int32_t slot = -1;   // equipment slot holding it, -1 when not equipped
    int32_t builtinIndex = -1;  // row of the built-in item table; -1: made from a role
    std::optional<std::string> roleName;  // when builtinIndex is -1

    bool operator==(const SnapshotItem&) const = default;
};

struct UnitItems {
    GameObject* unit = nullptr;  // only while taking
    std::string name;            // the unit's role name, the key of Restore
    std::vector<SnapshotItem> items;
};

class InventorySnapshot {
public:
    // Rows of the built-in item table a stored index may name.
    static constexpr int32_t kBuiltinRows = 64;
    static constexpr int32_t kMaxSlot = 31;

    static InventorySnapshot& Global();

    void Clear();
    // Every named unit of a squad side in registry order, its items but the
    // inventory's initial entry and items of kind 10.
    void Take();
    // False (nothing appended) for an object without an inventory or a
    // nameless role.
    bool AddUnit(GameObject& unit);
    // Gives the items again to the units of the same role names (the last
    // one met wins); the snapshot stays as it is.
    void Restore() const;

    void Write(trevok::ByteWriter& out) const { WriteUnits(out, units_); }
    static void WriteUnits(trevok::ByteWriter& out, const std::vector<UnitItems>& units);
    // Replaces the entries (a loaded save's).
    void Set(std::vector<UnitItems> units) { units_ = std::move(units); }
    // Appends what it reads; every count is bounded by the bytes left, every
    // index range-checked. On failure `error` says what was wrong and the
    // snapshot is left as it was.
    bool Read(trevok::ByteReader& in, std::string* error = nullptr);

    bool Valid() const { return valid_; }
    const std::vector<UnitItems>& Units() const { return units_; }

    // Filled by the actors: the equipment slot holding an item (-1 none),
    // and equipping an item by id into a slot.
    struct ActorHooks {
        std::function<int32_t(GameObject& unit, const CarriedItem& item)> slotOf;
        std::function<void(GameObject& unit, int32_t slot, int32_t itemId)> equip;
    };
    static ActorHooks& Hooks();

private:
    bool AddUnitItems(GameObject& unit);

    bool valid_ = false;
    std::vector<UnitItems> units_;
};
