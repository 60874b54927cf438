// The upgrade screen under the mouse: clicks and drags on the sample layout's
// parts reach the panel and send the owner's item requests.
#include "ui/upgrade_screen.h"

#include "app/app_time.h"
#include "fake_view.h"
#include "objects/inventory.h"
#include "objects/shape_cache.h"
#include "ui_fixture.h"

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <initializer_list>

namespace uitest {
namespace {

using ui_test::ReplicaWorld;

// Request words as the transport carries them: little-endian, as hex.
std::string Request(std::initializer_list<uint32_t> words)
{
    std::string out = " ";
    for (uint32_t w : words)
        for (int i = 0; i < 4; ++i) {
            char hex[3];
            std::snprintf(hex, sizeof hex, "%02x", (w >> (8 * i)) & 0xFFu);
            out += hex;
        }
    return out;
}

uint32_t Bits(float f)
{
    uint32_t u = 0;
    std::memcpy(&u, &f, sizeof u);
    return u;
}

// Trevok carries four weapons (ids 1-4, shown 4 3 2), a stack (7) and a
// shoulder pod (5); the layout is projected one metre to 1000 pixels, so
// slot w1 covers pixels 170-290 by 90-200 on a 640 x 480 screen.
class UpgradeMouse : public GameViewTest {
protected:
    void SetUp() override
    {
        GameViewTest::SetUp();
        const char* data = std::getenv("TREVOK_SAMPLE_DATA");
        ASSERT_NE(data, nullptr);
        const std::filesystem::path rifs = std::filesystem::path(data) / "rifs";
        ChunkFileCache::SetFolderSource([rifs] { return std::optional<std::filesystem::path>(rifs); });
        UpgradeScreen::SetProjection([](const Vec3& p, float& x, float& y) {
            x = (p.x - UpgradeScreen::kPlaceX) * 1000 + 500; // the sample's board is centred
            y = (p.y - UpgradeScreen::kPlaceY) * 1000 + 375;
            return true;
        });
        UpgradeScreen::Build();
        ChunkFileCache::SetFolderSource({});
        for (int32_t id = 1; id <= 4; ++id)
            ReplicaWorld::Carry(*trevok_, ItemKind::kWeapon, 3, id);
        ReplicaWorld::Carry(*trevok_, ItemKind::kAmmoStack, 2, 7);
        ReplicaWorld::Carry(*trevok_, 7, 0, 5);
        // The portraits the HUD would report, beside the screen's own parts.
        Picking::SetOverride([this](int x, int y) {
            PickResult r;
            if (y > 460)
                r.element = x < 320 ? &vellPortrait_ : &trevokPortrait_;
            else
                r.element = UpgradeScreen::ElementAt(x, y);
            return r;
        });
        vellPortrait_.kind = trevokPortrait_.kind = 5;
        vellPortrait_.character = vell_;
        trevokPortrait_.character = trevok_;
        UpgradeScreen::InstallHooks();
        UpgradeScreen::Open(*trevok_);
        MouseMode::Set(MouseMode::kUpgrade);
        Drain();
    }
    void TearDown() override
    {
        MouseMode::Set(0);
        UpgradeScreen::Release();
        UpgradeScreen::SetProjection({});
        Picking::SetElementLookup(nullptr);
        ShapeCache::FreeAll();
        ChunkFileCache::FreeAll();
        GameViewTest::TearDown();
    }

    void Click(int x, int y, uint32_t flags = 0)
    {
        Mouse::OnLeftDown(x, y, flags);
        Mouse::OnLeftUp(x, y, flags);
    }
    void DragTo(int fromX, int fromY, int x, int y, uint32_t flags = 0)
    {
        Mouse::OnLeftDown(fromX, fromY, flags);
        Mouse::OnMove((fromX + x) / 2, (fromY + y) / 2, flags | 0x100);
        Mouse::OnMove(x, y, flags | 0x100);
        Mouse::OnLeftUp(x, y, flags);
    }
    // The centre of a part's hot spot.
    static void Centre(const char* name, int& x, int& y)
    {
        for (const auto& part : UpgradeScreen::Parts())
            if (part.name == name && part.hotSpot) {
                x = int((part.hotSpot->rect.x0 + part.hotSpot->rect.x1) / 2);
                y = int((part.hotSpot->rect.y0 + part.hotSpot->rect.y1) / 2);
                return;
            }
        ADD_FAILURE() << name;
    }
    static int32_t PickedId()
    {
        const CarriedItem* picked = InventoryPanel::Selected();
        return picked ? picked->id : 0;
    }
    std::vector<int32_t> WeaponRow() const
    {
        std::vector<int32_t> out;
        for (int position = 0; position < 3; ++position)
            if (const CarriedItem* item = InventoryPanel::Slots()[size_t(3 * position)].item)
                out.push_back(item->id);
        return out;
    }

    ui_test::FakeView screen_;
    UiElement vellPortrait_, trevokPortrait_;
};

TEST_F(UpgradeMouse, TheInstalledLookupFindsTheScreensParts)
{
    Picking::SetOverride(nullptr);
    int x = 0, y = 0;
    Centre("w1", x, y);
    const UiElement* e = Picking::At(x, y).element;
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->kind, UpgradeScreen::kSlotKind);
    ASSERT_NE(UpgradeScreen::PartOf(*e), nullptr);
    EXPECT_EQ(UpgradeScreen::PartOf(*e)->name, "w1");
    // Only the shown character's page answers.
    for (const char* page : {"trevok", "vell"}) {
        Centre(page, x, y);
        const UiElement* p = Picking::At(x, y).element;
        const UpgradeScreen::Part* part = p ? UpgradeScreen::PartOf(*p) : nullptr;
        EXPECT_EQ(part && part->name == page, std::strcmp(page, "trevok") == 0) << page;
    }
    UpgradeScreen::Close();
    EXPECT_EQ(Picking::At(x, y).element, nullptr) << "nothing answers while the screen is closed";
}

// Clicks on the row arrows reach the inventory's rows; the text buttons
// scroll the description box.
TEST_F(UpgradeMouse, ArrowClicksScrollTheRows)
{
    const struct {
        const char* part;
        std::vector<int32_t> weapons;
        std::vector<int> sounds;
    } clicks[] = {
        {"weapon down", {1}, {Inventory::kSoundScrolled}},
        {"weapon down", {1}, {}}, // the last weapon shows: the row stays
        {"ammo down", {1}, {}},   // one stack: nothing to page to
        {"weapon up", {4, 3, 2}, {Inventory::kSoundScrolled}},
        {"weapon up", {4, 3, 2}, {}},
    };
    for (const auto& c : clicks) {
        view_.sounds.clear();
        int x = 0, y = 0;
        Centre(c.part, x, y);
        Click(x, y);
        EXPECT_EQ(WeaponRow(), c.weapons) << c.part;
        EXPECT_EQ(view_.sounds, c.sounds) << c.part;
    }
    EXPECT_EQ(Drain(), "") << "scrolling is the panel's own";
}

// Each way an item leaves the panel, with the request it sends (Ctrl
// queues it) and what is picked afterwards.
TEST_F(UpgradeMouse, ItemActionsSendTheirRequests)
{
    const uint32_t trevok = trevok_->GetId(), vell = vell_->GetId();
    const uint32_t now = Bits(AppTime::GameSeconds());
    struct Step {
        const char* what;
        std::function<void()> act;
        std::string sent;
        int32_t pickedAfter;
    };
    int x = 0, y = 0;
    const auto at = [&](const char* part) { Centre(part, x, y); };
    const std::vector<Step> steps = {
        {"pick w1", [&] { at("w1"); Click(x, y); }, "", 4},
        {"pick w1 twice: put back", [&] { at("w1"); Click(x, y); Click(x, y); }, "", 0},
        {"drop with nothing picked", [&] { at("drop"); Click(x, y); }, "", 0},
        {"pick w2, drop", [&] { at("w2"); Click(x, y); at("drop"); Click(x, y); }, Request({16, trevok, 3}), 0},
        {"pick w2, Ctrl drop", [&] { at("w2"); Click(x, y); at("drop"); Click(x, y, 2); }, Request({17, trevok, 3}),
         0},
        {"double click equips a weapon on the right arm",
         [&] { at("w3"); Click(x, y, 0x800); }, Request({12, trevok, 2, 0}), 0},
        {"an empty slot picks nothing", [&] { at("m3"); Click(x, y); }, "", 0},
        {"pass, then vell's portrait",
         [&] {
             at("w1"); Click(x, y);
             at("pass"); Click(x, y);
             Click(100, 470);
         },
         Request({20, trevok, 4, vell, now}), 0},
        {"drag w1 off the panel drops it", [&] { at("w1"); DragTo(x, y, 630, 240); }, Request({16, trevok, 4}), 0},
        {"drag a1 onto vell's portrait passes it", [&] { at("a1"); DragTo(x, y, 100, 470); },
         Request({20, trevok, 7, vell, now}), 0},
        {"drag onto its own owner's portrait keeps it", [&] { at("a1"); DragTo(x, y, 400, 470); }, "", 7},
        {"drag onto drop", [&] { at("w2"); int dx = 0, dy = 0; Centre("drop", dx, dy); DragTo(x, y, dx, dy); },
         Request({16, trevok, 3}), 0},
        {"a drag from the model turns it and sends nothing", [&] { DragTo(160, 240, 200, 240); }, "", 0},
        // Last: the panel moves to vell, whose inventory has nothing picked.
        {"a portrait click without pass mode shows that character",
         [&] { at("w1"); Click(x, y); Click(100, 470); }, "", 0},
    };
    for (const Step& s : steps) {
        UpgradeScreen::SetPicked(0);
        Drain();
        s.act();
        EXPECT_EQ(Drain(), s.sent) << s.what;
        EXPECT_EQ(PickedId(), s.pickedAfter) << s.what;
        EXPECT_FALSE(UpgradeScreen::CarriesItem()) << s.what;
    }
    EXPECT_EQ(UpgradeScreen::ShownUnit(), vell_);
}

// A double click equips the slot's item: weapons on a free upper arm,
// modules and armour on the body part named like their role, else on the
// first free body part; an item already worn keeps its part.
TEST_F(UpgradeMouse, DoubleClickEquipsOntoTheItemsPart)
{
    // The portraits this fixture puts along the bottom would cover row m.
    Picking::SetOverride([](int x, int y) {
        PickResult r;
        r.element = UpgradeScreen::ElementAt(x, y);
        return r;
    });
    const uint32_t trevok = trevok_->GetId();
    const script::Role& back = world_->NewRole("Back", 10);
    ReplicaWorld::Carry(*trevok_, 7, 0, 8, back.id);
    ReplicaWorld::Carry(*trevok_, ItemKind::kArmour, 0, 9);
    UpgradeScreen::Show(trevok_);
    // The slot part showing an item.
    const auto slotOf = [](int32_t id) -> std::string {
        for (size_t i = 0; i < InventoryPanel::Slots().size(); ++i)
            if (const CarriedItem* item = InventoryPanel::Slots()[i].item; item && item->id == id)
                return std::string(1, "wam"[i % 3]) + char('1' + i / 3);
        return {};
    };
    struct Worn {
        int32_t slot, id;
    };
    const struct {
        const char* what;
        int32_t item;
        std::vector<Worn> worn;
        std::string sent;
    } rows[] = {
        {"a module named for a body part", 8, {}, Request({12, trevok, 8, 4})},
        {"a module named for no part: the first body part", 5, {}, Request({12, trevok, 5, 2})},
        {"the head taken: the next part", 5, {{2, 9}}, Request({12, trevok, 5, 3})},
        {"armour", 9, {{2, 5}}, Request({12, trevok, 9, 3})},
        {"a worn module stays on its part", 5, {{3, 5}}, Request({12, trevok, 5, 3})},
        {"a worn named module stays on its part", 8, {{6, 8}}, Request({12, trevok, 8, 6})},
        {"a weapon with the right arm taken", 2, {{0, 4}}, Request({12, trevok, 2, 1})},
        {"a weapon worn on the left arm stays there", 3, {{1, 3}}, Request({12, trevok, 3, 1})},
        {"a stack is not worn", 7, {}, ""},
    };
    for (const auto& r : rows) {
        for (const auto& w : std::vector<MovingObject::WornItem>(trevok_->GetItemList()))
            trevok_->RemoveItemEffect(w.itemId);
        for (const Worn& w : r.worn)
            ASSERT_TRUE(trevok_->EquipItem(w.slot, w.id)) << r.what;
        const std::string part = slotOf(r.item);
        ASSERT_FALSE(part.empty()) << r.what << ": item " << r.item << " is on no slot";
        int x = 0, y = 0;
        Centre(part.c_str(), x, y);
        Drain();
        Click(x, y, 0x800);
        EXPECT_EQ(Drain(), r.sent) << r.what;
        EXPECT_EQ(PickedId(), 0) << r.what;
    }
}

// Pass mode needs a second character and shows its prompt.
TEST_F(UpgradeMouse, PassModeNeedsAnotherCharacter)
{
    int x = 0, y = 0;
    Centre("w1", x, y);
    Click(x, y);
    Centre("pass", x, y);
    Click(x, y);
    EXPECT_TRUE(UpgradeScreen::PassMode());
    Click(x, y);
    EXPECT_FALSE(UpgradeScreen::PassMode()) << "a second click leaves pass mode";
    auto& squad = WorldObjectTable::SquadList();
    const auto whole = squad;
    squad = {trevok_};
    Click(x, y);
    EXPECT_FALSE(UpgradeScreen::PassMode()) << "nobody to pass to";
    squad = whole;
}

// "exit" closes the screen as the toggle does.
TEST_F(UpgradeMouse, ExitLeaves)
{
    int x = 0, y = 0;
    Centre("exit", x, y);
    Click(x, y);
    EXPECT_FALSE(UpgradeScreen::IsOpen());
    EXPECT_EQ(MouseMode::Get(), 0);
}

} // namespace
// The screen shows one character: another's end leaves it open, its own
// character's end closes it.
TEST_F(UpgradeMouse, TheScreenClosesWhenItsCharacterGoes)
{
    ASSERT_TRUE(UpgradeScreen::IsOpen());
    vell_->Remove();
    EXPECT_TRUE(UpgradeScreen::IsOpen());
    EXPECT_EQ(UpgradeScreen::ShownUnit(), trevok_);
    trevok_->Remove();
    EXPECT_FALSE(UpgradeScreen::IsOpen());
    EXPECT_EQ(UpgradeScreen::ShownUnit(), nullptr);
}

} // namespace uitest
