// Inventories: ordering by kind, ammunition stacking and the saved item record.
#include <gtest/gtest.h>

#include "objects/inventory.h"

#include <climits>
#include <string>

namespace {

class InventoryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        script::RecordTables::Global().Clear();
        script::AmmoEntry info;
        info.maxPerSlot = 10;
        info.nameId = 4321;
        script::RecordTables::Global().StoreAmmo(2, std::move(info));
    }
    void TearDown() override { script::RecordTables::Global().Clear(); }

    // Kind letters and counts in list order, e.g. "-1:0 6:10/10".
    static std::string Layout(const Inventory& inv)
    {
        std::string out;
        for (const CarriedItem& i : inv.Items()) {
            out += (out.empty() ? "" : " ") + std::to_string(i.kind) + ":" + std::to_string(i.count);
            if (i.kind == ItemKind::kAmmoStack)
                out += "/" + std::to_string(i.limit);
        }
        return out;
    }
    static CarriedItem Item(int32_t kind, int32_t id)
    {
        CarriedItem i;
        i.kind = kind;
        i.id = id;
        return i;
    }
};

TEST_F(InventoryTest, StackingAndOrderingTable)
{
    struct Step {
        const char* what;
        int32_t kind;     // 6: add `amount` rounds of type 2
        int32_t amount;
        const char* layout;
    } steps[] = {
        {"initial entry", -2, 0, "-1:0"},
        {"first weapon goes to the end", 4, 0, "-1:0 4:0"},
        {"8 rounds: a new stack", 6, 8, "-1:0 4:0 6:8/10"},
        {"2 more fill it", 6, 2, "-1:0 4:0 6:10/10"},
        {"a heal: new kind to the end", 0, 0, "-1:0 4:0 6:10/10 0:0"},
        {"a second weapon in front of the first", 4, 0, "-1:0 4:0 4:0 6:10/10 0:0"},
        {"25 rounds: one full stack, the rest above its limit", 6, 25, "-1:0 4:0 4:0 6:25/10 6:10/10 0:0"},
    };
    Inventory inv(3);
    int32_t nextId = 1;
    for (const Step& s : steps) {
        if (s.kind == ItemKind::kAmmoStack)
            inv.AddStackAmount(2, s.amount, nextId++);
        else if (s.kind >= 0)
            inv.Add(Item(s.kind, nextId++));
        EXPECT_EQ(Layout(inv), s.layout) << s.what;
    }
}

TEST_F(InventoryTest, ThirtyRoundsFillTheOpenStackThenMakeOneOf28)
{
    Inventory inv;
    inv.AddStack(2, 10, 1);
    inv.AddStack(2, 8, 2);  // in front: 8/10 then 10/10
    ASSERT_EQ(Layout(inv), "-1:0 6:8/10 6:10/10");
    inv.AddStackAmount(2, 30, 3);
    EXPECT_EQ(Layout(inv), "-1:0 6:28/10 6:10/10 6:10/10");
    EXPECT_TRUE(inv.HasStackOf(2));
    EXPECT_FALSE(inv.HasStackOf(3));
}

TEST_F(InventoryTest, InitialEntryIsNoItem)
{
    Inventory inv;
    const CarriedItem& initial = inv.Items().front();
    EXPECT_EQ(initial.kind, -1);
    EXPECT_EQ(initial.count, 0u);
    EXPECT_EQ(initial.limit, 0u);
    EXPECT_EQ(initial.roleId, INT_MAX);
    EXPECT_EQ(inv.FindById(0), nullptr);
    EXPECT_FALSE(inv.HasStackOf(INT_MAX));
}

TEST_F(InventoryTest, StacksOfTypesOutsideTheTableHaveNoLook)
{
    Inventory inv;
    for (int32_t type : {INT_MAX, -5, 17}) {
        CarriedItem& s = inv.AddStack(type, 3, 9);
        EXPECT_EQ(s.limit, 0u) << type;
        EXPECT_EQ(s.look, nullptr);
    }
}

TEST_F(InventoryTest, ItemRecordMatchesHandWrittenBytes)
{
    Inventory inv;
    CarriedItem& s = inv.AddStack(2, 7, 0x0102);
    int dummy = 0;
    s.look = &dummy;  // a live pointer never reaches the record
    std::vector<uint8_t> out;
    s.WriteRecord(out);
    const std::vector<uint8_t> expected = {
        6, 0, 0, 0,                        // kind: ammunition stack
        0, 0, 0, 0, 0, 0, 0, 0,            // looks
        0, 0, 0, 0, 0, 0, 0, 0,            // panel and held objects
        0xE1, 0x10, 0, 0,                  // value: string id 4321
        2, 0, 0, 0,                        // amount: the type
        0xFE, 0xFF, 0xFF, 0xFF,            // role id: minus the type
        2, 0, 0, 0,                        // subtype
        0x02, 0x01, 0, 0,                  // id
        10, 0, 0, 0,                       // limit: max per slot
        7, 0, 0, 0,                        // count
        0, 0, 0, 0,                        // role limit
    };
    ASSERT_EQ(out.size(), kCarriedItemRecordSize);
    EXPECT_EQ(out, expected);
}

} // namespace
