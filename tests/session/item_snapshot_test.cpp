// Taking the squad's items and giving them back to the units of the same
// role names in the next level.
#include "session/item_snapshot.h"

#include "objects/inventory.h"
#include "objects/role_table.h"
#include "tests/objects/server_fixture.h"

namespace {

class Carrier : public GameObject {
public:
    using GameObject::GameObject;
    Inventory* GetInventory() override { return &inventory; }
    Inventory inventory;
};

class SnapshotTest : public ServerWorld {
protected:
    void SetUp() override
    {
        ServerWorld::SetUp();
        TeamTable::Build(3, 1, 0);
        RoleTable::Global().Clear();
        RoleTable::Global().ResetIds();
        sarge.identifier = "Sarge";
        rifle.identifier = "Rifle";
        RoleTable::Global().File(sarge);
        RoleTable::Global().File(rifle);
        InventorySnapshot::Global().Clear();
    }
    void TearDown() override
    {
        InventorySnapshot::Global().Clear();
        RoleTable::Global().Clear();
        ServerWorld::TearDown();
    }
    Carrier* MakeCarrier(int32_t side)
    {
        return new Carrier(side, &sarge, {0, 0, 0}, Quaternion::Identity(), 0, ObjectRegistry::Global().TakeNextId());
    }

    script::Role& sarge = NewRole();
    script::Role& rifle = NewRole();
};

TEST_F(SnapshotTest, TakesEveryRealItemOfTheSquadAndGivesThemToTheLastUnitOfTheName)
{
    ASSERT_TRUE(TeamTable::IsSquadSide(1));
    Carrier* unit = MakeCarrier(1);
    CarriedItem weapon;
    weapon.kind = ItemKind::kWeapon;
    weapon.roleId = rifle.id;
    weapon.amount = 7;
    weapon.limit = 8;
    weapon.count = 9;
    unit->inventory.Add(weapon);
    CarriedItem unrecorded;
    unrecorded.kind = 10;
    unrecorded.roleId = rifle.id;
    unit->inventory.Add(unrecorded);
    MakeCarrier(0);  // not a squad side: not taken

    InventorySnapshot& snapshot = InventorySnapshot::Global();
    snapshot.Take();
    ASSERT_EQ(snapshot.Units().size(), 1u);
    ASSERT_EQ(snapshot.Units()[0].items.size(), 1u);  // not the initial entry, not kind 10
    EXPECT_EQ(snapshot.Units()[0].items[0], (SnapshotItem{7, 8, 9, -1, -1, "Rifle"}));

    std::vector<uint8_t> bytes;
    trevok::ByteWriter out(bytes);
    snapshot.Write(out);
    InventorySnapshot read;
    trevok::ByteReader in(bytes);
    ASSERT_TRUE(read.Read(in));
    EXPECT_EQ(read.Units()[0].items, snapshot.Units()[0].items);

    EmptyTables();
    TeamTable::Build(3, 1, 0);
    Carrier* first = MakeCarrier(1);
    Carrier* last = MakeCarrier(1);
    snapshot.Restore();
    snapshot.Restore();  // the snapshot stays: given again
    EXPECT_EQ(first->inventory.Items().size(), 1u);
    ASSERT_EQ(last->inventory.Items().size(), 3u);
    const CarriedItem* given = nullptr;
    for (const CarriedItem& item : last->inventory.Items())
        if (item.roleId == rifle.id)
            given = &item;
    ASSERT_TRUE(given);
    EXPECT_EQ(given->amount, 7);
    EXPECT_EQ(given->count, 9u);
}

} // namespace
