// What client replicas do at the edges of their life and of the player's
// attention: a shot's trace from its shooter's muzzle when it ends, a unit
// picked alone letting clicks through, the view letting go of a unit that
// goes, the upgrade panel following a received item, and unlimited rounds.
#include "client_fixture.h"

#include "objects/inventory.h"
#include "objects/orders.h"
#include "objects/weapon_state.h"

#include <string>
#include <vector>

namespace {

// The effects a replica asked for, in order (the hooks take no context).
std::vector<std::string> g_effects;

std::string At(const Vec3& p)
{
    char text[64];
    std::snprintf(text, sizeof text, "(%.1f %.1f %.1f)", double(p.x), double(p.y), double(p.z));
    return text;
}

class ReplicaEnds : public ClientWorld {
protected:
    void SetUp() override
    {
        ClientWorld::SetUp();
        g_effects.clear();
        ClientEffectHooks& hooks = ClientEffects();
        saved_ = hooks;
        hooks.electricity = [](const Vec3& from, const Vec3& to, float amplitude) {
            char text[32];
            std::snprintf(text, sizeof text, " %.2f", double(amplitude));
            g_effects.push_back("arc " + At(from) + " " + At(to) + text);
        };
        hooks.whiteBurst = [](const Vec3& at) { g_effects.push_back("burst " + At(at)); };
        hooks.explosion = [](const Vec3& at) { g_effects.push_back("explosion " + At(at)); };
        hooks.beam = [](const Vec3& from, const Vec3& to) { g_effects.push_back("beam " + At(from) + " " + At(to)); };
    }

    void TearDown() override
    {
        ClientEffects() = saved_;
        ClientWorld::TearDown();
    }

    // A unit whose model has its muzzle part 1 m up and 0.5 m ahead.
    Unit* Shooter(const Vec3& at)
    {
        script::Role& role = NewRole(0, 100, 3);
        role.hotspotName = "Muzzle";
        GiveBoxModel(role, {0}, {{"Muzzle", {0, -1, 0.5f}}});
        return Make<Unit>(role, kEnemySide, at);
    }

    WorldProjectile* Shot(uint32_t flags, uint32_t shooterId, const Vec3& at)
    {
        script::Role& role = roles.emplace_back();
        role.projectile.emplace();
        role.limit = static_cast<int32_t>(flags);
        RoleTable::Global().File(role);
        auto* shot = new WorldProjectile(kEnemySide, &role, at, Quaternion::Identity(), 10.0f, shooterId, -1,
                                         WorldObjectTable::TakeNextId());
        shot->Activate(0, 0);
        return shot;
    }

    ClientEffectHooks saved_;
};

// An electric shot ends in five arcs of amplitude 0.7 from the muzzle to
// where it stands, then a white burst and an explosion there; a beam shot in
// one beam. Without its shooter, or a muzzle to start from, nothing shows;
// other shots leave nothing. Each shows once, however often it is ended.
TEST_F(ReplicaEnds, ElectricAndBeamShotsLeaveTheirTraceFromTheMuzzle)
{
    const std::string arc = "arc (2.0 -1.0 0.5) (2.0 0.0 9.0) 0.70";
    const struct {
        const char* name;
        uint32_t flags;
        bool shooterGone;
        bool muzzleless;
        std::vector<std::string> shown;
    } rows[] = {
        {"electric", WorldProjectile::kFlagElectric, false, false,
         {arc, arc, arc, arc, arc, "burst (2.0 0.0 9.0)", "explosion (2.0 0.0 9.0)"}},
        {"beam", WorldProjectile::kFlagBeam, false, false, {"beam (2.0 -1.0 0.5) (2.0 0.0 9.0)"}},
        {"electric beam: the arcs win", WorldProjectile::kFlagElectric | WorldProjectile::kFlagBeam, false, false,
         {arc, arc, arc, arc, arc, "burst (2.0 0.0 9.0)", "explosion (2.0 0.0 9.0)"}},
        {"a plain shot", WorldProjectile::kFlagHitEffect, false, false, {}},
        {"the shooter went", WorldProjectile::kFlagElectric, true, false, {}},
        {"the shooter has no muzzle", WorldProjectile::kFlagBeam, false, true, {}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Empty();
        g_effects.clear();
        WorldObject* shooter = row.muzzleless ? Make<Unit>(NewRole(0, 100, 3), kEnemySide, {2, 0, 0})
                                              : Shooter({2, 0, 0});
        ASSERT_NE(shooter, nullptr);
        WorldProjectile* shot = Shot(row.flags, shooter->GetId(), {2, 0, 9});
        WorldObjectRef keep(shot);
        if (row.shooterGone)
            shooter->Remove();
        shot->Remove();
        shot->Deactivate();
        EXPECT_EQ(g_effects, row.shown);
    }
}

// A squad member that is the only unit picked is drawn without its
// hit-test bits, so the next click finds what lies behind it; they are back
// once it is drawn, and nothing else loses them.
TEST_F(ReplicaEnds, ALoneSquadMemberIsDrawnWithoutItsHitTestBits)
{
    std::vector<ClientDraw> queued;
    WorldObjectTable::DrawHook() = [&](const ClientDraw& d) {
        if (d.what == ClientDraw::What::kObject)
            queued.push_back(d);
    };
    const struct {
        const char* name;
        bool squadMember;
        bool alone;
        bool bitsDrawn;
    } rows[] = {
        {"picked alone", true, true, false},
        {"picked with others", true, false, true},
        {"not of the squad", false, true, true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Empty();
        queued.clear();
        script::Role& role = NewRole(2);
        GiveBoxShape(role, {-1, -2, -1}, {1, 0, 1});
        auto* member = Make<MovingObject>(role, kOwnSide, {0, 0, 0});
        member->SetSquadMember(row.squadMember);
        const bool alone = row.alone;
        ClientServices::Get().soleSelected = [member, alone](const WorldObject& o) { return alone && &o == member; };
        const uint32_t before = member->RenderFlags();
        ASSERT_EQ(before & ClientRender::kHitTested, ClientRender::kHitTested);
        member->PlaceAndDraw();
        ASSERT_EQ(queued.size(), 1u);
        EXPECT_EQ((queued[0].flags & ClientRender::kHitTested) != 0, row.bitsDrawn);
        EXPECT_EQ(member->RenderFlags(), before);
    }
    WorldObjectTable::DrawHook() = nullptr;
}

// A role that ignores hit tests stays so while it is picked alone.
TEST_F(ReplicaEnds, APickedUnitThatIgnoresHitTestsGainsNoBits)
{
    script::Role& role = NewRole(2);
    role.flags = script::kRoleHitTestIgnore;
    GiveBoxShape(role, {-1, -2, -1}, {1, 0, 1});
    auto* member = Make<MovingObject>(role, kOwnSide, {0, 0, 0});
    member->SetSquadMember(true);
    ClientServices::Get().soleSelected = [](const WorldObject&) { return true; };
    ASSERT_EQ(member->RenderFlags() & ClientRender::kHitTested, 0u);
    member->PlaceAndDraw();
    EXPECT_EQ(member->RenderFlags() & ClientRender::kHitTested, 0u);
}

// The unit the view follows (steered directly) lets the view go when it goes
// and is steered no more; another unit's end leaves the view alone.
TEST_F(ReplicaEnds, TheFollowedUnitsEndResetsTheView)
{
    std::vector<uint32_t> resets;
    ClientServices::Get().resetView = [&](WorldObject& o) { resets.push_back(o.GetId()); };
    for (const bool followed : {true, false}) {
        SCOPED_TRACE(followed ? "followed" : "not followed");
        resets.clear();
        auto* unit = Make<MovingObject>(NewRole(2), kOwnSide, {0, 0, 0});
        unit->SetDirectControl(followed);
        WorldObjectRef keep(unit);
        unit->Remove();
        EXPECT_EQ(resets, followed ? std::vector<uint32_t>{unit->GetId()} : std::vector<uint32_t>{});
        EXPECT_EQ(unit->StateFlags() & WorldObject::kDirectControl, 0u);
    }
}

// An item received while the upgrade panel shows the inventory appears in
// the panel at once; a panel showing another inventory is left alone.
TEST_F(ReplicaEnds, AReceivedItemShowsInTheOpenPanel)
{
    script::Role& medkit = NewRole(2);
    for (const bool shown : {true, false}) {
        SCOPED_TRACE(shown ? "its panel open" : "another panel open");
        auto* taker = Make<MovingObject>(NewRole(2), kOwnSide, {0, 0, 0});
        auto* other = Make<MovingObject>(NewRole(2), kOwnSide, {3, 0, 0});
        ASSERT_NE(taker->GetInventory(), nullptr);
        ASSERT_NE(other->GetInventory(), nullptr);
        Inventory* open = shown ? taker->GetInventory() : other->GetInventory();
        InventoryPanel::Shown() = open;
        open->BuildPanel();
        const auto before = InventoryPanel::Slots();
        ASSERT_TRUE(taker->ReceiveItem(ItemKind::kHeal, medkit, 77, nullptr));
        const CarriedItem* received = taker->GetInventory()->FindById(77);
        ASSERT_NE(received, nullptr);
        bool inPanel = false;
        for (const InventoryPanel::Slot& slot : InventoryPanel::Slots())
            inPanel = inPanel || slot.item == received;
        EXPECT_EQ(inPanel, shown);
        if (!shown) {
            for (int i = 0; i < InventoryPanel::kSlots; ++i)
                EXPECT_EQ(InventoryPanel::Slots()[size_t(i)].item, before[size_t(i)].item);
        }
        open->ReleasePanel();
        InventoryPanel::Shown() = nullptr;
    }
}

// A shot takes a round from the magazine unless the ammunition is
// unlimited: the developer switch or ammunition that needs none; changing
// the ammunition ends what the switch gave.
TEST_F(ReplicaEnds, UnlimitedAmmunitionTakesNoRounds)
{
    script::RecordTables& tables = script::RecordTables::Global();
    script::WeaponEntry entry;
    entry.magazineSize = 3;
    tables.StoreWeapon(3, 6, entry);
    tables.StoreWeapon(3, 16, entry);
    const struct {
        const char* name;
        int32_t ammo;
        bool developerSwitch;
        uint32_t roundsAfter;
    } rows[] = {
        {"counted", 6, false, 2},
        {"the switch on", 6, true, 3},
        {"no ammunition needed", 16, false, 1},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        auto* unit = Make<Unit>(NewRole(0, 100, 3), kOwnSide, {0, 0, 0});
        ASSERT_NE(unit->GetInventory(), nullptr);
        unit->GetInventory()->AddStack(6, 10, 700);
        unit->ChangeAmmo(row.ammo);
        const uint32_t loaded = unit->Rounds();
        unit->ShotFired(row.developerSwitch);
        EXPECT_EQ(unit->Rounds(), row.roundsAfter);
        EXPECT_EQ(unit->HasUnlimitedAmmo(), row.developerSwitch || row.ammo == 16);
        EXPECT_EQ(loaded, row.ammo == 16 ? 1u : 3u);
        unit->ChangeAmmo(6);
        EXPECT_FALSE(unit->HasUnlimitedAmmo()) << "a new ammunition is counted again";
    }
    tables.Weapons().FreeRow(3);
}

} // namespace

namespace {

// What a unit says beside itself about its ammunition and its disguise: a
// squad member readied without ammunition that none left (7051); an
// own-side unit whose stack ran out another stack in use (7050) or none
// left (7051); a disguise given away by aiming (7076). Another player's
// units say nothing of their stacks.
TEST_F(ReplicaEnds, AUnitSaysWhatBecameOfItsAmmunitionAndItsDisguise)
{
    script::RecordTables& tables = script::RecordTables::Global();
    script::WeaponEntry entry;
    entry.magazineSize = 5;
    tables.StoreWeapon(3, 6, entry);
    std::vector<int32_t> said;
    ClientServices::Get().sayBeside = [&](WorldObject&, int32_t textId) { said.push_back(textId); };

    // Readied with nothing to load.
    auto* empty = Make<Unit>(WithBody(NewRole(0, 100, 3)), kOwnSide, {0, 0, 0});
    EXPECT_EQ(said, std::vector<int32_t>{Unit::kTextNoAmmunition});
    said.clear();
    empty->Remove();

    const struct {
        const char* name;
        int32_t side;
        std::vector<int32_t> stacks;  // rounds in each carried stack
        std::vector<int32_t> said;   // once the first stack is used up
    } rows[] = {
        {"another stack follows", kOwnSide, {1, 1}, {Unit::kTextNextStack}},
        {"the last stack", kOwnSide, {1}, {Unit::kTextNoAmmunition}},
        {"another player's stack", 3, {1}, {}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        auto* unit = Make<Unit>(NewRole(0, 100, 3), row.side, {0, 0, 0});
        ASSERT_NE(unit->GetInventory(), nullptr);
        int32_t id = 700;
        for (int32_t rounds : row.stacks)
            unit->GetInventory()->AddStack(6, rounds, id++);
        unit->ChangeAmmo(6);
        said.clear();
        unit->UseRound();
        EXPECT_EQ(said, row.said);
        unit->Remove();
    }

    said.clear();
    script::Role& role = NewRole(0, 100, 3);
    GiveBoxModel(role, {0});
    auto* spy = Make<Unit>(role, kOwnSide, {0, 0, 0});
    script::Role& enemy = NewRole(2);
    GiveBoxModel(enemy, {0});
    Make<MovingObject>(enemy, kEnemySide, {0, 0, -200});
    CarryCloak(*spy, 77);
    ASSERT_TRUE(spy->EquipItem(2, 77));
    ASSERT_NE(spy->DisguiseId(), -1);
    said.clear();
    spy->AttackLocation({0, 0, 20}, 1, false, false);
    EXPECT_EQ(said, std::vector<int32_t>{Unit::kTextDisguiseLost});
    tables.Weapons().FreeRow(3);
}

} // namespace

namespace {

// The developer's god mode spares the own side's replicas as the server
// spares their objects; others still take the hit.
TEST_F(ReplicaEnds, GodModeSparesTheOwnSideOnly)
{
    for (const bool godMode : {false, true}) {
        ServerFlags::GodMode() = godMode;
        for (const int32_t side : {kOwnSide, kEnemySide}) {
            SCOPED_TRACE(std::string(godMode ? "god mode, side " : "side ") + std::to_string(side));
            auto* unit = Make<MovingObject>(NewRole(2, 100), side, {0, 0, 0});
            unit->TakeDamage(30);
            EXPECT_EQ(unit->HitPoints(), godMode && side == kOwnSide ? 100 : 70);
        }
    }
    ServerFlags::GodMode() = false;
}

} // namespace
