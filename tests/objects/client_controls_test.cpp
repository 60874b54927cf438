// What the player's interface asks of a replica: letting go of direct
// control, and the unit keys' weapon, ammunition and hot-key choices.
#include "client_fixture.h"

#include "objects/inventory.h"

namespace {

using Controls = ClientWorld;

TEST_F(Controls, ReleasingControlTellsTheServerOnlyForWalkersThatTakeOrders)
{
    script::Role& walker = NewRole(0, 100, 3);
    script::Role& item = NewRole(10);
    struct Row {
        const char* name;
        WorldObject* object;
        bool dead;
        size_t motionRequests;
    } rows[] = {
        {"squad unit", Make(walker, kOwnSide, {1, 0, 2}), false, 1},
        {"enemy unit", Make(walker, kEnemySide, {}), false, 0},
        {"dead squad unit", Make(walker, kOwnSide, {}), true, 0},
        {"item", Make(item, kOwnSide, {}), false, 0},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        ASSERT_NE(r.object, nullptr);
        if (r.dead)
            static_cast<MovingObject*>(r.object)->Die(MotionRecord{});
        requests.clear();
        r.object->SetHighlight(true);
        r.object->SetDirectControl(true);
        r.object->ReleaseControl();
        EXPECT_FALSE(r.object->IsHighlighted());
        EXPECT_EQ(r.object->StateFlags() & WorldObject::kDirectControl, 0u);
        const auto sent = Requests(42);
        ASSERT_EQ(sent.size(), r.motionRequests);
        if (!sent.empty()) {
            EXPECT_EQ(sent[0].bytes.size(), 56u);
            EXPECT_EQ(sent[0].Word(1), r.object->GetId());
            EXPECT_EQ(sent[0].Float(3), 1.0f); // x of the position
        }
    }
}

// Each choice is an order to the server, sent only when something changes.
TEST_F(Controls, UnitKeysChooseWhatTheUnitCarries)
{
    script::Role& role = NewRole(0, 100, 5);
    Unit* unit = Make<Unit>(role, kOwnSide, {});
    Unit* bare = Make<Unit>(NewRole(0, 100, 2147483647), kOwnSide, {});
    ASSERT_TRUE(unit && bare && unit->GetInventory());
    const auto carry = [&](int32_t kind, int32_t subtype, int32_t id) {
        CarriedItem item;
        item.kind = kind;
        item.subtype = item.amount = subtype;
        item.count = 5;
        item.id = id;
        unit->GetInventory()->Add(item);
    };
    carry(ItemKind::kWeapon, 0, 30);
    carry(ItemKind::kAmmoStack, 1, 31);
    carry(ItemKind::kDeployable, 2, 32);
    struct Row {
        const char* name;
        bool (*act)(Unit&);
        bool result;
        std::vector<uint32_t> words; // empty: nothing sent
    } rows[] = {
        {"weapon held already", [](Unit& u) { return u.EquipWeaponOfType(5); }, true, {}},
        {"carried weapon", [](Unit& u) { return u.EquipWeaponOfType(0); }, true, {12, 0, 30, 0}},
        {"weapon not carried", [](Unit& u) { return u.EquipWeaponOfType(7); }, false, {}},
        {"carried stack", [](Unit& u) { return u.LoadAmmoOfType(1); }, true, {22, 0, 1}},
        {"carried stack, queued", [](Unit& u) { return u.LoadAmmoOfType(1, true); }, true, {23, 0, 1}},
        {"stack not carried", [](Unit& u) { return u.LoadAmmoOfType(4); }, false, {}},
        {"hot key of a carried variant", [](Unit& u) { return u.UseHotkeyItem(2, false); }, true, {14, 0, 32}},
        {"hot key, queued", [](Unit& u) { return u.UseHotkeyItem(2, true); }, true, {15, 0, 32}},
        {"hot key without the variant", [](Unit& u) { return u.UseHotkeyItem(1, false); }, false, {}},
    };
    for (Row& r : rows) {
        SCOPED_TRACE(r.name);
        if (r.words.size() > 1)
            r.words[1] = unit->GetId();
        requests.clear();
        EXPECT_EQ(r.act(*unit), r.result);
        ASSERT_EQ(requests.size(), r.words.empty() ? 0u : 1u);
        for (size_t i = 0; i < r.words.size(); ++i)
            EXPECT_EQ(requests[0].Word(i), r.words[i]) << i;
    }
    EXPECT_EQ(unit->WeaponType(), 5);
    EXPECT_TRUE(unit->CarriesWeapon(0));
    EXPECT_TRUE(unit->CarriesAmmo(1));
    EXPECT_FALSE(unit->CarriesAmmo(4));
    // A unit without a weapon answers -1 and carries nothing.
    EXPECT_EQ(bare->WeaponType(), -1);
    EXPECT_EQ(bare->AmmoType(), -1);
    EXPECT_FALSE(bare->LoadAmmoOfType(1));
}

} // namespace
