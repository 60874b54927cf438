// Inventories: ordering by kind, ammunition stacking, items made from
// roles, the panel's rows and scrolling, and the saved item record.
#include <gtest/gtest.h>

#include "objects/inventory.h"
#include "Veapi/ve_object.h"
#include "objects/inventory_display.h"
#include "objects/role_table.h"
#include "server_fixture.h"

#include <climits>
#include <limits>
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
    const script::ShapeRef model;
    s.look = &model;  // a live pointer never reaches the record
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

std::vector<int32_t>& Heard()
{
    static std::vector<int32_t> sounds;
    return sounds;
}
void Hear(int32_t sound) { Heard().push_back(sound); }

TEST_F(InventoryTest, ItemsFromRolesByKind)
{
    script::Role role;
    role.id = 12;
    role.limit = 0x4;
    role.character.emplace();
    role.character->walkingSpeed = 5 * 65536 + 40000;  // 5.6: rounds to 6
    role.character->weapon = 2;
    struct Case {
        int32_t kind;
        const char* layout;  // after the initial entry
        std::vector<int32_t> sounds;
    } cases[] = {
        {0, "0:0", {Inventory::kSoundHealAdded}},
        {2, "", {}},
        {3, "3:6", {}},
        {9, "9:6", {}},
        {4, "4:0", {Inventory::kSoundItemAdded}},
        {6, "6:6/10", {Inventory::kSoundItemAdded}},
    };
    for (const Case& c : cases) {
        Inventory inv;
        Heard().clear();
        inv.AddFromRole(c.kind, role, 7, Hear);
        const std::string layout = Layout(inv);
        EXPECT_EQ(layout.substr(std::min(layout.size(), size_t(5))), c.layout) << "kind " << c.kind;
        EXPECT_EQ(Heard(), c.sounds) << "kind " << c.kind;
        if (c.kind == 2 || c.kind == 6)
            continue;
        const CarriedItem& item = inv.Items().back();
        EXPECT_EQ(item.amount, 6) << c.kind;
        EXPECT_EQ(item.subtype, 2) << c.kind;
        EXPECT_EQ(item.roleId, 12) << c.kind;
        EXPECT_EQ(item.roleLimit, 0x4) << c.kind;
        EXPECT_EQ(item.id, 7) << c.kind;
    }
    // The server's inventories add silently.
    Heard().clear();
    Inventory server;
    server.AddFromRole(0, role, 8);
    EXPECT_TRUE(Heard().empty());
}

TEST_F(InventoryTest, CountOfRoleByName)
{
    RoleTable::Global().Clear();
    script::Role medkit, clip;
    medkit.identifier = "Medkit";
    clip.identifier = "clip";
    RoleTable::Global().File(medkit);
    RoleTable::Global().File(clip);
    Inventory inv;
    inv.AddFromRole(0, medkit, 1);
    inv.AddFromRole(0, medkit, 2);
    inv.AddFromRole(4, clip, 3);
    EXPECT_EQ(inv.CountOfRole("MEDKIT"), 2);
    EXPECT_EQ(inv.CountOfRole("clip"), 1);
    EXPECT_EQ(inv.CountOfRole("nothing"), 0);
    RoleTable::Global().Clear();
}

// Rows scroll by up to three items, never onto an empty row; a query
// leaves the cursor alone.
TEST_F(InventoryTest, ScrollingRows)
{
    Inventory inv;
    for (int32_t id = 1; id <= 5; ++id)
        inv.Add(Item(ItemKind::kWeapon, id));  // list order 5 4 3 2 1
    inv.Add(Item(ItemKind::kHeal, 10));
    const auto cursorId = [&] { return inv.RowCursor(0)->id; };
    struct Step {
        bool forward, refresh;
        int32_t code;
        bool moved;
        int32_t cursorAfter;  // id under the weapon cursor; 0 the row's start
    } steps[] = {
        {false, true, 16, false, 0},  // at its start already
        {true, false, 22, true, 0},   // a query: could move, did not
        {true, true, 16, true, 3},
        {true, true, 16, false, 3},   // the last two show: nothing beyond them
        {true, false, 22, false, 3},  // so the down arrow stays unlit
        {false, true, 16, true, 0},   // back to the row's first item
        {false, true, 16, false, 0},
        {true, true, 17, false, 0},   // the stack row has nothing
        {true, true, 99, false, 0},   // no row
    };
    for (const Step& s : steps) {
        const bool moved = s.forward ? inv.ScrollForward(s.refresh, s.code) : inv.ScrollBack(s.refresh, s.code);
        EXPECT_EQ(moved, s.moved) << s.code;
        EXPECT_EQ(cursorId(), s.cursorAfter);
    }
    // A row that fits its three slots has nothing to page to.
    for (int32_t count = 0; count <= 4; ++count) {
        Inventory shortRow;
        for (int32_t id = 1; id <= count; ++id)
            shortRow.Add(Item(ItemKind::kWeapon, id));
        EXPECT_EQ(shortRow.ScrollForward(true, 22), count > 3) << count << " weapons";
    }
    Inventory::Cursor other = inv.RowCursor(2);
    EXPECT_TRUE(inv.NextOther(other));
    EXPECT_EQ(other->id, 10) << "the initial entry is no item of any row";
    EXPECT_FALSE(inv.NextOther(other));
}

TEST_F(InventoryTest, PanelSlotsAndSelectionForgetItemsThatGo)
{
    script::Role look;
    GiveBoxShape(look, {0, 0, 0}, {0.5f, 1.0f, 0.25f});
    Inventory inv;
    for (int32_t id = 1; id <= 4; ++id)
        inv.AddFromRole(ItemKind::kWeapon, look, id);
    inv.AddFromRole(ItemKind::kHeal, look, 9);
    auto& slots = InventoryPanel::Slots();
    for (int i = 0; i < InventoryPanel::kSlots; ++i)
        slots[size_t(i)] = {nullptr, 0.05f + 0.1f * float(i % 3), 0.05f + 0.2f * float(i / 3)};
    inv.BuildPanel();
    // Row 0 holds the first three weapons (slots 0, 3, 6), row 2 the heal.
    ASSERT_NE(slots[0].item, nullptr);
    EXPECT_EQ(slots[0].item->id, 4);
    EXPECT_EQ(slots[6].item->id, 2);
    EXPECT_EQ(slots[1].item, nullptr);
    EXPECT_EQ(slots[2].item->id, 9);
    VeObject* shown = slots[3].item->panelObject;
    ASSERT_NE(shown, nullptr);
    // Largest extent 1: 0.1 over it, below 0.1 never, so no evening out.
    EXPECT_FLOAT_EQ(shown->placement_.Scale().x, 0.1f);
    EXPECT_FLOAT_EQ(shown->placement_.Position().x, (0.05f - 0.05f) * 1.1111112f);
    EXPECT_FLOAT_EQ(shown->placement_.Position().y, (0.25f - 0.05f) * 1.1111112f - 0.05f);
    EXPECT_FLOAT_EQ(shown->placement_.Position().z, 0.1f);

    InventoryPanel::Selected() = slots[3].item;
    inv.Remove(*slots[3].item);
    EXPECT_EQ(slots[3].item, nullptr);
    EXPECT_EQ(InventoryPanel::Selected(), nullptr);
    // A passed item leaves with its panel object, which stays alive.
    CarriedItem passed = inv.Take(*slots[0].item);
    EXPECT_NE(passed.panelObject, nullptr);
    Inventory other;
    other.Add(passed);
    inv.ReleasePanel();
    for (const auto& slot : slots)
        EXPECT_EQ(slot.item, nullptr);
}

TEST(InventoryPanelScale, RowsAndExtents)
{
    struct Case {
        int row;
        float extent, scale;
    } cases[] = {
        {0, 0.5f, 0.2f},            // between the bounds: as it is
        {0, 2.0f, 0.05f * 1.2f},    // small ones grow
        {0, 0.4f, 0.25f * 0.8f},    // large ones shrink
        {1, 0.9f, 0.1f},
        {2, 0.7f, 0.1f},
        {0, 0.0f, 0.1f * 1.0f},     // flat: as an extent of 1
        {2, -1.0f, 0.07f},
        {1, std::numeric_limits<float>::quiet_NaN(), 0.09f},
    };
    for (const Case& c : cases)
        EXPECT_FLOAT_EQ(InventoryPanel::Scale(c.row, c.extent), c.scale) << c.row << " " << c.extent;
    EXPECT_FLOAT_EQ(InventoryDisplay::ModelScale(3.0f), 0.21f);
    EXPECT_FLOAT_EQ(InventoryDisplay::ModelScale(1.0f), 0.34f);
    EXPECT_FLOAT_EQ(InventoryDisplay::ModelScale(0.0f), 0.34f);
}

} // namespace
