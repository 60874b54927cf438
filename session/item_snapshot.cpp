#include "session/item_snapshot.h"

#include "objects/game_object.h"
#include "objects/inventory.h"
#include "objects/object_registry.h"
#include "objects/role_table.h"
#include "objects/teams.h"

#include <cstring>

namespace CountedString {
void Write(trevok::ByteWriter& out, std::string_view text)
{
    out.U32(static_cast<uint32_t>(text.size() + 1));
    out.Bytes(text.data(), text.size());
    out.U8(0);
}

std::optional<std::string> Read(trevok::ByteReader& in, uint32_t maxLength)
{
    uint32_t n = in.U32();
    if (!in.Ok() || n == 0 || n - 1 > maxLength || !in.Has(n)) {
        in.Fail();
        return std::nullopt;
    }
    auto bytes = in.Take(n);
    if (bytes[n - 1] != 0 || std::memchr(bytes.data(), 0, n - 1)) {
        in.Fail();
        return std::nullopt;
    }
    return std::string(reinterpret_cast<const char*>(bytes.data()), n - 1);
}
} // namespace CountedString

namespace CarriedItemIds {
namespace {
int32_t g_next = 1;
}
int32_t Next() { return g_next++; }
int32_t Peek() { return g_next; }
void Set(int32_t next) { g_next = next; }
} // namespace CarriedItemIds

namespace {
constexpr int32_t kUnrecordedKind = 10;

bool Fail(std::string* error, std::string text)
{
    if (error)
        *error = std::move(text);
    return false;
}
} // namespace

InventorySnapshot& InventorySnapshot::Global()
{
    static InventorySnapshot snapshot;
    return snapshot;
}

InventorySnapshot::ActorHooks& InventorySnapshot::Hooks()
{
    static ActorHooks hooks;
    return hooks;
}

void InventorySnapshot::Clear()
{
    units_.clear();
    valid_ = false;
}

void InventorySnapshot::Take()
{
    Clear();
    for (GameObject* object : ObjectRegistry::Global().Snapshot())
        AddUnitItems(*object);
    valid_ = true;
}

bool InventorySnapshot::AddUnit(GameObject& unit)
{
    Inventory* inventory = unit.GetInventory();
    script::Role* role = unit.GetRole();
    if (!inventory || !role || role->identifier.empty())
        return false;
    units_.push_back({&unit, role->identifier, {}});
    valid_ = true;
    return true;
}

bool InventorySnapshot::AddUnitItems(GameObject& unit)
{
    Inventory* inventory = unit.GetInventory();
    if (!inventory || !TeamTable::IsSquadSide(unit.Side()) || !AddUnit(unit))
        return false;
    UnitItems& entry = units_.back();
    for (const CarriedItem& item : inventory->Items()) {
        // The initial entry is no item; every real one is recorded.
        if (item.kind == ItemKind::kInitial || item.kind == kUnrecordedKind)
            continue;
        SnapshotItem s;
        s.value0 = item.amount;
        s.value1 = static_cast<int32_t>(item.limit);
        s.value2 = static_cast<int32_t>(item.count);
        if (item.roleId < 0) {
            s.builtinIndex = -item.roleId;
        } else if (script::Role* role = RoleTable::Global().FindById(item.roleId)) {
            s.roleName = role->identifier;
        } else {
            continue;  // a role gone from the table cannot be given back
        }
        if (Hooks().slotOf)
            s.slot = Hooks().slotOf(unit, item);
        entry.items.push_back(std::move(s));
    }
    return true;
}

void InventorySnapshot::Restore() const
{
    auto objects = ObjectRegistry::Global().Snapshot();
    for (const UnitItems& entry : units_) {
        GameObject* unit = nullptr;
        for (GameObject* object : objects) {
            if (object->GetRole() && object->GetRole()->identifier == entry.name && object->GetInventory())
                unit = object;
        }
        if (!unit)
            continue;
        Inventory& inventory = *unit->GetInventory();
        for (const SnapshotItem& s : entry.items) {
            int32_t id = CarriedItemIds::Next();
            CarriedItem* added = nullptr;
            if (s.roleName) {
                script::Role* role = RoleTable::Global().FindByName(*s.roleName);
                if (!role)
                    continue;
                CarriedItem item;
                item.roleId = role->id;
                item.id = id;
                added = &inventory.Add(item);
            } else {
                added = &inventory.AddStack(s.builtinIndex, s.value2, id);
            }
            added->amount = s.value0;
            added->limit = static_cast<uint32_t>(s.value1);
            added->count = static_cast<uint32_t>(s.value2);
            if (s.slot != -1 && Hooks().equip)
                Hooks().equip(*unit, s.slot, id);
        }
    }
}

void InventorySnapshot::WriteUnits(trevok::ByteWriter& out, const std::vector<UnitItems>& units)
{
    out.U32(static_cast<uint32_t>(units.size()));
    for (const UnitItems& unit : units) {
        CountedString::Write(out, unit.name);
        out.U32(static_cast<uint32_t>(unit.items.size()));
        for (const SnapshotItem& item : unit.items) {
            out.I32(item.value0);
            out.I32(item.value1);
            out.I32(item.slot);
            out.I32(item.value2);
            out.I32(item.builtinIndex);
            if (item.builtinIndex == -1)
                CountedString::Write(out, item.roleName.value_or(""));
        }
    }
}

bool InventorySnapshot::Read(trevok::ByteReader& in, std::string* error)
{
    // Smallest records: a unit is a 2-byte name and a count, an item 5 words.
    constexpr size_t kMinUnit = 4 + 2 + 4, kMinItem = 5 * 4;
    std::vector<UnitItems> read;
    uint32_t count = in.U32();
    if (!in.Ok() || count > in.Remaining() / kMinUnit)
        return Fail(error, "item snapshot: unit count " + std::to_string(count) + " beyond the file");
    for (uint32_t u = 0; u < count; ++u) {
        UnitItems unit;
        auto name = CountedString::Read(in);
        if (!name)
            return Fail(error, "item snapshot: bad unit name at offset " + std::to_string(in.Position()));
        unit.name = std::move(*name);
        uint32_t items = in.U32();
        if (!in.Ok() || items > in.Remaining() / kMinItem)
            return Fail(error, "item snapshot: item count " + std::to_string(items) + " beyond the file");
        for (uint32_t i = 0; i < items; ++i) {
            SnapshotItem item;
            item.value0 = in.I32();
            item.value1 = in.I32();
            item.slot = in.I32();
            item.value2 = in.I32();
            item.builtinIndex = in.I32();
            if (!in.Ok())
                return Fail(error, "item snapshot: truncated item");
            if (item.slot < -1 || item.slot > kMaxSlot)
                return Fail(error, "item snapshot: slot " + std::to_string(item.slot) + " out of range");
            if (item.builtinIndex < -1 || item.builtinIndex >= kBuiltinRows)
                return Fail(error, "item snapshot: built-in index " + std::to_string(item.builtinIndex) +
                                       " out of range");
            if (item.builtinIndex == -1) {
                item.roleName = CountedString::Read(in);
                if (!item.roleName)
                    return Fail(error, "item snapshot: bad item role name");
            }
            unit.items.push_back(std::move(item));
        }
        read.push_back(std::move(unit));
    }
    for (UnitItems& unit : read)
        units_.push_back(std::move(unit));
    return true;
}
