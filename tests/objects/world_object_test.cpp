#include "client_fixture.h"

#include "Veapi/camera.h"
#include "Veapi/hierarchy.h"
#include "Veapi/sequence_player.h"
#include "Veapi/ve_object.h"
#include "objects/body_part.h"
#include "objects/inventory.h"
#include "objects/orders.h"
#include "objects/inventory_display.h"
#include "world/fog_of_war.h"
#include "objects/weapon_state.h"
#include "session/projectile_launch.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <set>
#include <tuple>
#include <limits>

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

using Registry = ClientWorld;

TEST_F(Registry, IdsSharingABucketAreFoundAndRemovedApart)
{
    script::Role& role = NewRole(2);
    WorldObject* a = WorldObject::CreateFromMessage(kOwnSide, &role, {0, 0, 0}, Quaternion::Identity(), 1);
    WorldObject* b = WorldObject::CreateFromMessage(kOwnSide, &role, {0, 0, 0}, Quaternion::Identity(), 65);
    WorldObject* c = WorldObject::CreateFromMessage(kOwnSide, &role, {0, 0, 0}, Quaternion::Identity(), 129);
    EXPECT_EQ(WorldObjectTable::FindById(65), b);
    b->Remove();
    EXPECT_EQ(WorldObjectTable::FindById(65), nullptr);
    EXPECT_EQ(WorldObjectTable::FindById(1), a);
    EXPECT_EQ(WorldObjectTable::FindById(129), c);
    EXPECT_EQ(WorldObjectTable::Count(), 2u);
    a->AddRef();
    a->Remove();
    a->Remove();  // already destroyed: nothing more
    EXPECT_EQ(WorldObjectTable::Count(), 1u);
    EXPECT_TRUE(a->IsDestroyed());
    a->Release();
}

TEST_F(Registry, FactoryIdsRestartAtEachLevelAndClientOnlyIdsStayApart)
{
    script::Role& role = NewRole(2);
    EXPECT_EQ(WorldObject::CreateByRole(0, &role, {}, Quaternion::Identity())->GetId(), 0u);
    EXPECT_EQ(WorldObject::CreateByRole(0, &role, {}, Quaternion::Identity())->GetId(), 1u);
    const uint32_t debris = WorldObjectTable::TakeClientOnlyId();
    EXPECT_GE(debris, WorldObjectTable::kFirstClientOnlyId);
    WorldObjectTable::DestroyAll();
    WorldObjectTable::ResetIds();
    EXPECT_EQ(WorldObject::CreateByRole(0, &role, {}, Quaternion::Identity())->GetId(), 0u);
}

TEST_F(Registry, FactoryPicksTheClassByAiType)
{
    const struct {
        int32_t aiType;
        int32_t weapon;
        uint32_t size;
        int32_t kind;  // -1: no kind class
    } rows[] = {
        {2, 2147483647, 464, -1}, {0, 3, 632, -1},  {4, 2147483647, 464, -1}, {5, 0, 272, 5},
        {8, 0, 416, 8},           {9, 0, 280, 9},   {10, 0, 272, 10},         {11, 0, 304, 11},
        {12, 3, 640, 12},         {13, 3, 640, 13}, {14, 0, 504, 14},         {16, 3, 640, 16},
        {17, 0, 480, 17},
    };
    for (const auto& row : rows) {
        script::Role& role = NewRole(row.aiType, 100, row.weapon);
        WorldObject* made = WorldObject::CreateByRole(kEnemySide, &role, {}, Quaternion::Identity());
        ASSERT_NE(made, nullptr) << row.aiType;
        EXPECT_EQ(made->SizeInBytes(), row.size) << row.aiType;
        if (row.kind >= 0) {
            EXPECT_TRUE(made->IsKind(row.kind)) << row.aiType;
        }
    }
    script::Role& shot = NewRole(1);
    shot.character.reset();
    shot.projectile.emplace();
    EXPECT_EQ(WorldObject::CreateByRole(0, &shot, {}, Quaternion::Identity()), nullptr);
}

using Placement = ClientWorld;

TEST_F(Placement, NonFiniteValuesAreRefusedAndChangeNothing)
{
    script::Role& role = NewRole(2);
    WorldObject* object = Make(role, kEnemySide, {1, 2, 3});
    const struct {
        Vec3 p;
        Quaternion q;
        float seconds;
    } rows[] = {
        {{kNaN, 0, 0}, Quaternion::Identity(), 1},
        {{0, kInf, 0}, Quaternion::Identity(), 1},
        {{0, 0, 0}, {0, kNaN, 0, 1}, 1},
        {{0, 0, 0}, Quaternion::Identity(), kNaN},
        {{0, 0, 0}, Quaternion::Identity(), kInf},
    };
    for (const auto& row : rows) {
        EXPECT_FALSE(object->SetPlacement(row.p, row.q, row.seconds));
        EXPECT_EQ(object->Position().x, 1.0f);
        EXPECT_EQ(AppTime::GameSeconds(), 0.0f);
    }
}

TEST_F(Placement, AForwardJumpOfTheGameClockIsCapped)
{
    script::Role& role = NewRole(2);
    WorldObject* object = Make(role, kEnemySide, {});
    ASSERT_TRUE(object->SetPlacement({5, 0, 5}, Quaternion::Identity(), 0.5f));
    EXPECT_NEAR(AppTime::GameSeconds(), 0.5f, 0.01f);
    ASSERT_TRUE(object->SetPlacement({5, 0, 5}, Quaternion::Identity(), 1.0e9f));
    EXPECT_LE(AppTime::GameSeconds(), 1.6f);
    EXPECT_EQ(object->Position().x, 5.0f);
    // Seconds beyond any tick count saturate instead of wrapping.
    ASSERT_TRUE(object->SetPlacement({5, 0, 5}, Quaternion::Identity(), 3.0e26f));
    EXPECT_GT(object->Time(), uint64_t{1} << 62);
    EXPECT_LE(AppTime::GameSeconds(), 2.6f);
}

// A moving model stands in its first sequence, looped, from its
// activation, and its first node box gives its extent; a plain shape, or a
// model placed statically, plays nothing.
TEST_F(Placement, AMovingModelLoopsItsFirstSequenceAndTakesItsNodeBox)
{
    const struct {
        const char* name;
        bool model;
        bool staticPlacement;
        bool plays;
        Vec3 extent;
    } rows[] = {
        {"Model", true, false, true, {2.0f, 3.0f, 2.0f}},
        {"PlainShape", false, false, false, {2.0f, 2.0f, 2.0f}},
        {"StaticModel", true, true, false, {1.0f, 1.0f, 1.0f}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        script::Role& role = NewRole(2);
        if (row.model) {
            GiveBoxModel(role, {0, 1});
            // The tree's box is its node box, not the root shape's bounds.
            role.shape.minimum = {-1, -3, -1};
            role.shape.maximum = {1, 0, 1};
        } else {
            GiveBoxShape(role, {-1, -2, -1}, {1, 0, 1});
        }
        if (row.staticPlacement)
            role.flags |= script::kRoleFragControl;
        WorldObject* object = Make(role, kEnemySide, {0, 0, 0});
        ASSERT_NE(object->Shape(), nullptr);
        bool looping = false;
        for (SequencePlayer* player : object->Shape()->Players())
            looping = looping || (player->index_ == 0 && player->repeatCount_ == -1);
        EXPECT_EQ(looping, row.plays);
        EXPECT_NEAR(object->Extent().x, row.extent.x, 1e-5f);
        EXPECT_NEAR(object->Extent().y, row.extent.y, 1e-5f);
        EXPECT_NEAR(object->Extent().z, row.extent.z, 1e-5f);
    }
}

using Damage = ClientWorld;

TEST_F(Damage, HealingStopsAtTheMaximumAndArmourAbsorbs)
{
    script::Role& role = NewRole(2, 100);
    role.armour = 5;
    WorldObject* object = WorldObject::CreateByRole(kEnemySide, &role, {}, Quaternion::Identity());
    const struct {
        int32_t amount;
        int32_t hitPoints;
    } steps[] = {{-50, 100}, {5, 100}, {25, 80}, {-5, 85}, {std::numeric_limits<int32_t>::min(), 100},
                 {std::numeric_limits<int32_t>::max(), 0}};
    for (const auto& step : steps) {
        object->TakeDamage(step.amount);
        EXPECT_EQ(object->HitPoints(), step.hitPoints) << step.amount;
    }
}

using Drawing = ClientWorld;

TEST_F(Drawing, FogAboveTwoFiftyThreeHidesAndFarObjectsTakeTheFarSortKey)
{
    script::Role& plain = NewRole(5);
    GiveBoxShape(plain, {-1, -2, -1}, {1, 0, 1});
    script::Role& fogged = NewRole(5);
    GiveBoxShape(fogged, {-1, -2, -1}, {1, 0, 1});
    fogged.flags = script::kRoleAlphaFogging;
    script::Role& bare = NewRole(5);
    WorldObject* near = Make(plain, kEnemySide, {0, 0, 5});
    WorldObject* far = Make(plain, kEnemySide, {0, 0, 50});
    WorldObject* hiding = Make(fogged, kEnemySide, {0, 0, 6});
    Make(bare, kEnemySide, {0, 0, 7});
    EXPECT_EQ(hiding->RenderFlags() & ClientRender::kHiddenInFog, ClientRender::kHiddenInFog);

    std::vector<ClientDraw> queued;
    WorldObjectTable::DrawHook() = [&](const ClientDraw& d) { queued.push_back(d); };
    WorldObjectTable::BaseSortKey() = 4;
    Camera camera;
    camera.SetPosition({0, 0, 0});
    camera.SetCurrent();
    FogOfWar fog(16, 2048);
    fog.SetWorldArea(-100, -100, 100, 100);
    fog.SetEnabled(true);
    FogOfWar::Global() = &fog;
    const bool fogged254 = fog.VisibilityAt({0, 0, 6}) > 253;
    WorldObjectTable::DrawAll();
    FogOfWar::Global() = nullptr;
    WorldObjectTable::DrawHook() = nullptr;

    std::map<WorldObject*, ClientDraw> drawn;
    for (const ClientDraw& d : queued)
        drawn.emplace(d.object, d);
    EXPECT_EQ(queued.size(), 3u);  // the shapeless one is never queued
    ASSERT_EQ(drawn.count(near) + drawn.count(far) + drawn.count(hiding), 3u);
    EXPECT_FALSE(drawn.at(near).hidden);
    EXPECT_EQ(drawn.at(near).sortKey, 4);
    EXPECT_EQ(drawn.at(far).sortKey, 6);
    EXPECT_TRUE(fogged254);
    EXPECT_TRUE(drawn.at(hiding).hidden);
    EXPECT_EQ(drawn.at(hiding).flags, ClientRender::kAdvanceOnly);
}


// While a cut-scene plays, walkers show only when the scene moves them; a
// rider, hidden in play, shows in a scene; things that never walk always show.
TEST_F(Drawing, ACutSceneShowsOnlyTheWalkersItMoves)
{
    script::Role& walker = NewRole(2);
    GiveBoxShape(walker, {-0.5f, -2, -0.5f}, {0.5f, 0, 0.5f});
    script::Role& crate = NewRole(5);
    GiveBoxShape(crate, {-1, -2, -1}, {1, 0, 1});
    const struct {
        const char* name;
        bool mobile, cast, carried, cutScene;
        bool visible;
    } rows[] = {
        {"a walker in play", true, false, false, false, true},
        {"a walker in a scene", true, false, false, true, false},
        {"a walker the scene moves", true, true, false, true, true},
        {"a rider in play", true, false, true, false, false},
        {"a rider the scene moves", true, true, true, true, true},
        {"a crate in a scene", false, false, false, true, true},
    };
    std::vector<ClientDraw> queued;
    WorldObjectTable::DrawHook() = [&](const ClientDraw& d) { queued.push_back(d); };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        queued.clear();
        WorldObject* object = Make(row.mobile ? walker : crate, kOwnSide, {0, 0, 5});
        object->SetShownInCutScenes(row.cast);
        object->SetCarried(row.carried);
        ServerFlags::CutScenePlaying() = row.cutScene;
        object->PlaceAndDraw();
        ServerFlags::CutScenePlaying() = false;
        EXPECT_EQ(object->IsVisible(), row.visible);
        ASSERT_EQ(queued.size(), 1u);
        EXPECT_EQ(queued[0].hidden, !row.visible);
        object->Remove();
    }
    WorldObjectTable::DrawHook() = nullptr;
}

// The coarser shapes take over beyond the model's first switching distance
// (model units, a thousandth of a metre); a model that names none, or an
// object without a model, switches at 20 metres.
TEST_F(Drawing, TheModelsSwitchingDistanceChoosesTheFarShapes)
{
    const struct {
        const char* name;
        int32_t switchAt;  // -1: a plain shape without a model
        float distance;    // metres from the camera
        int32_t key;
    } rows[] = {
        {"plain shape, near", -1, 19.0f, 4},
        {"plain shape, far", -1, 21.0f, 6},
        {"model switching at 5 m, inside", 5000, 4.0f, 4},
        {"model switching at 5 m, beyond", 5000, 6.0f, 6},
        {"model switching at 60 m, at 50 m", 60000, 50.0f, 4},
        {"model naming no distance", 0, 21.0f, 6},
        {"model naming no distance, near", 0, 19.0f, 4},
    };
    std::vector<ClientDraw> queued;
    WorldObjectTable::DrawHook() = [&](const ClientDraw& d) { queued.push_back(d); };
    WorldObjectTable::BaseSortKey() = 4;
    Camera camera;
    camera.SetPosition({0, 0, 0});
    camera.SetCurrent();
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        script::Role& role = NewRole(5);
        if (row.switchAt < 0) {
            GiveBoxShape(role, {-1, -2, -1}, {1, 0, 1});
        } else {
            GiveBoxModel(role, {0});
            static_cast<Hierarchy*>(role.shape.hierarchy.get())->distances_[0] = row.switchAt;
        }
        queued.clear();
        WorldObject* object = Make(role, kEnemySide, {0, 0, row.distance});
        object->PlaceAndDraw();
        ASSERT_EQ(queued.size(), 1u);
        EXPECT_EQ(queued[0].sortKey, row.key);
        object->Remove();
    }
    WorldObjectTable::BaseSortKey() = 0;
    WorldObjectTable::DrawHook() = nullptr;
}
// ---------------------------------------------------------------------------
// Steering

TEST(Steering, AnArcWalkEndsOnTheTurningCircle)
{
    const float radius = 5.0f;
    const float stepsPerRadian = 4096.0f / 6.2831853f;
    // Facing +z at the origin, a point ahead and to the right: the walk
    // turns on the circle of the turn radius centred at (radius, 0, 0).
    for (float travel : {0.5f, 1.0f, 2.0f}) {
        const float budget = travel / radius * stepsPerRadian;
        const ArcStep step = SteerAlongArc({0, 0, 0}, 0, {10, 0, 10}, travel, budget, radius * radius);
        const float dx = step.position.x - radius, dz = step.position.z;
        EXPECT_NEAR(std::sqrt(dx * dx + dz * dz), radius, 1e-3f) << travel;
        EXPECT_NEAR(step.heading, budget, 1e-2f) << travel;
    }
}

TEST(Steering, DegenerateStepsStayFinite)
{
    const struct {
        Vec3 next;
        float travel, budget, radiusSquared;
    } rows[] = {
        {{0, 0, 5}, 1, 0, 0},      // no time left to turn
        {{3, 0, -4}, 1, 0, 25},    // behind, no turn budget
        {{0, 0, 0}, 1, 100, 25},   // already there
        {{3, 0, 4}, 1, -1, 0},     // turn rate 0: no arc fit, faces at once
        {{3, 0, 4}, 0, 100, 4},    // no travel
        {{1e-8f, 0, 0}, 1, 50, 1}, // a zero arc
    };
    for (const auto& row : rows) {
        const ArcStep step = SteerAlongArc({0, 0, 0}, 0, row.next, row.travel, row.budget, row.radiusSquared);
        EXPECT_TRUE(std::isfinite(step.position.x) && std::isfinite(step.position.z) && std::isfinite(step.heading))
            << row.next.x << " " << row.budget;
    }
    const ArcStep snap = SteerAlongArc({0, 0, 0}, 0, {0, 0, 0.5f}, 1, -1, 0);
    EXPECT_EQ(snap.position.z, 0.5f);  // never past the point
}

using Moving = ClientWorld;

TEST_F(Moving, AReplicaWalksTowardItsNextPointBetweenReports)
{
    script::Role& role = NewRole(2);
    auto* mover = Make<MovingObject>(role, kEnemySide, {0, 0, 0});
    ASSERT_NE(mover, nullptr);
    MotionRecord record;
    mover->ApplyMoving({0, 0, 10}, record, {0, 0, 10});
    for (int frame = 1; frame <= 10; ++frame)
        mover->Update(Ticks(0.1f * static_cast<float>(frame)), 0.1f * static_cast<float>(frame));
    // Two metres a second for one second, straight ahead.
    EXPECT_NEAR(mover->Position().z, 2.0f, 0.05f);
    EXPECT_NEAR(mover->Position().x, 0.0f, 1e-3f);
    mover->ApplyStopped(record);
    mover->Update(Ticks(2.0f), 2.0f);
    EXPECT_FALSE(mover->IsWalking());
}

TEST_F(Moving, VariationsStartNoneAndNeverDivideWhileTheGameStandsStill)
{
    script::Role& role = NewRole(2);
    GiveBoxShape(role, {-1, -2, -1}, {1, 0, 1});
    role.shape.lowSequences = 5;
    role.shape.highSequences = 5;
    for (float speed : {0.0f, 1.0f}) {
        WorldObjectTable::ResetRandom();
        AppTime::SetGameSpeed(speed);
        auto* mover = Make<MovingObject>(role, kEnemySide, {0, 0, 0});
        MotionRecord record;
        mover->ApplyMoving({0, 0, 10}, record, {0, 0, 10});
        const int32_t countdown = WorldObjectTable::VariationCountdown();
        EXPECT_GE(countdown, 0) << speed;
        EXPECT_LT(countdown, static_cast<int32_t>(100 * WorldObjectTable::Count())) << speed;
        if (speed == 0.0f) {
            EXPECT_EQ(countdown, 0);
            // The countdown at 0 is checked again: still no division.
            mover->ApplyStopped(record);
            mover->Update(Ticks(0.1f), 0.1f);
        }
    }
    AppTime::SetGameSpeed(0.0f);
}

// A replica wears what the server equips as the server's actor does: an
// item's tree gives the part of the same name, a plain shape becomes the
// part's shape, and taking it off gives the part back the model's look.
TEST_F(Moving, WornItemsTakeTheirBodyPartsPlace)
{
    script::Role& carrierRole = NewRole(2);
    GiveBoxModel(carrierRole, {0}, {{"Upper Arm Right", {0.3f, -1.4f, 0}}, {"Head", {0, -1.7f, 0}}});
    auto* carrier = Make<MovingObject>(carrierRole, kOwnSide, {0, 0, 0});
    ASSERT_NE(carrier->GetInventory(), nullptr);
    script::Role& gun = NewRole(2);
    VeShape* gunShape = GiveTreeOnPart(gun, "Upper Arm Right");
    script::Role& helmet = NewRole(2);
    GiveBoxShape(helmet, {0, 0, 0}, {0.2f, 0.2f, 0.2f});
    script::Role& pack = NewRole(2);
    GiveBoxShape(pack, {0, 0, 0}, {0.3f, 0.3f, 0.3f});
    const struct {
        const char* name;
        script::Role* role;
        int32_t slot;
        const char* part;  // null: no part changes
        VeShape* shown;
    } rows[] = {
        {"TreeOnTheArm", &gun, 0, "Upper Arm Right", gunShape},
        {"ShapeOnTheHead", &helmet, 2, "Head", static_cast<VeShape*>(helmet.shape.shape.get())},
        {"PartTheModelLacks", &pack, 4, nullptr, nullptr},
    };
    int32_t id = 40;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        CarriedItem item;
        item.kind = 9;  // armour: worn on any body slot
        item.roleId = row.role->id;
        item.id = ++id;
        carrier->GetInventory()->Add(item);
        ASSERT_TRUE(carrier->EquipItem(row.slot, id));
        ShapeInstance* root = carrier->Shape()->Root();
        for (const char* part : {"Upper Arm Right", "Head"}) {
            ShapeInstance* node = NamedPart(*root, part);
            ASSERT_NE(node, nullptr);
            const bool worn = row.part && std::string(part) == row.part;
            EXPECT_EQ(node->slots_[0], worn ? row.shown : nullptr) << part;
        }
        ASSERT_TRUE(carrier->RemoveItemEffect(id));
        for (const char* part : {"Upper Arm Right", "Head"}) {
            ShapeInstance* node = NamedPart(*root, part);
            ASSERT_NE(node, nullptr);
            EXPECT_EQ(node->slots_[0], nullptr) << part << " is the model's own again";
        }
    }
}

// A replica made again from a saved game carries its worn entries before
// its items come back: once its references are fixed up, each item still
// carried shows on its part again and one no longer carried is dropped.
TEST_F(Moving, WornItemsShowAgainWhenALoadedReplicaIsFixedUp)
{
    script::Role& carrierRole = NewRole(2);
    GiveBoxModel(carrierRole, {0}, {{"Upper Arm Right", {0.3f, -1.4f, 0}}, {"Head", {0, -1.7f, 0}}});
    auto* carrier = Make<MovingObject>(carrierRole, kOwnSide, {0, 0, 0});
    ASSERT_NE(carrier->GetInventory(), nullptr);
    script::Role& helmet = NewRole(2);
    GiveBoxShape(helmet, {0, 0, 0}, {0.2f, 0.2f, 0.2f});
    script::Role& gun = NewRole(2);
    GiveTreeOnPart(gun, "Upper Arm Right");
    const struct {
        int32_t id, slot;
        script::Role* role;
        const char* part;
    } worn[] = {{41, 2, &helmet, "Head"}, {42, 0, &gun, "Upper Arm Right"}};
    for (const auto& w : worn) {
        CarriedItem item;
        item.kind = 9;
        item.roleId = w.role->id;
        item.id = w.id;
        carrier->GetInventory()->Add(item);
        ASSERT_TRUE(carrier->EquipItem(w.slot, w.id));
        // As made again: the model's own parts, the worn entry kept.
        ASSERT_TRUE(BodyPart::Restore(*carrier->Shape(), carrierRole.shape, w.slot));
    }
    carrier->GetInventory()->Remove(*carrier->GetInventory()->FindById(42));
    ASSERT_TRUE(carrier->FixUpAfterLoad());
    ShapeInstance* root = carrier->Shape()->Root();
    EXPECT_EQ(NamedPart(*root, "Head")->slots_[0], static_cast<VeShape*>(helmet.shape.shape.get()));
    EXPECT_EQ(NamedPart(*root, "Upper Arm Right")->slots_[0], nullptr) << "no longer carried";
    ASSERT_EQ(carrier->GetItemList().size(), 1u);
    EXPECT_EQ(carrier->GetItemList()[0].itemId, 41);
}

// A gadget worn by an own-side object holds its screen open: the lock
// decoder 13, the beacon tracker 12, the terrain scanner a map (10 with a
// value, else 11); other items open none, nor does a gadget another side's
// object wears. Taking it off and the object's end close the screen; a
// load that finds it worn opens it again.
TEST_F(Moving, WornGadgetsHoldTheirScreensOpen)
{
    std::vector<std::string> screens;
    ClientServices& services = ClientServices::Get();
    services.openItemScreen = [&](WorldObject&, int32_t item, int32_t kind) {
        screens.push_back("open " + std::to_string(item) + " " + std::to_string(kind));
    };
    services.closeItemScreen = [&](WorldObject&, int32_t item) { screens.push_back("close " + std::to_string(item)); };
    const struct {
        const char* name;
        int32_t kind, subtype, value;
        bool ownSide;
        int32_t screen;  // -1: none
    } rows[] = {
        {"lock decoder", 7, 0, 0, true, 13},
        {"beacon tracker", 8, 1, 0, true, 12},
        {"terrain scanner with a value", 7, 2, 3, true, 10},
        {"terrain scanner without", 8, 2, 0, true, 11},
        {"sight", 7, 3, 2, true, -1},
        {"armour", 9, 0, 5, true, -1},
        {"another side's lock decoder", 7, 0, 0, false, 13},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Empty();
        services.ownSide = row.ownSide ? kOwnSide : kEnemySide;
        script::Role& wearerRole = NewRole(2);
        GiveBoxModel(wearerRole, {0});
        auto* wearer = Make<MovingObject>(wearerRole, kOwnSide, {0, 0, 0});
        ASSERT_NE(wearer->GetInventory(), nullptr);
        CarriedItem gadget;
        gadget.kind = row.kind;
        gadget.subtype = row.subtype;
        gadget.value = row.value;
        gadget.id = 61;
        wearer->GetInventory()->Add(gadget);
        const bool opens = row.ownSide && row.screen >= 0;
        const std::vector<std::string> opened =
            opens ? std::vector<std::string>{"open 61 " + std::to_string(row.screen)} : std::vector<std::string>{};
        // Closing asks whatever side wears it: a side can change under a screen.
        const std::vector<std::string> closed =
            row.screen >= 0 ? std::vector<std::string>{"close 61"} : std::vector<std::string>{};
        ASSERT_TRUE(wearer->EquipItem(2, 61));
        EXPECT_EQ(screens, opened);
        screens.clear();
        ASSERT_TRUE(wearer->RemoveItemEffect(61));
        EXPECT_EQ(screens, closed);
        ASSERT_TRUE(wearer->EquipItem(2, 61));
        screens.clear();
        ASSERT_TRUE(wearer->FixUpAfterLoad());
        EXPECT_EQ(screens, opened) << "made again on load";
        screens.clear();
        wearer->Deactivate();
        EXPECT_EQ(screens, closed) << "the wearer's end";
        screens.clear();
    }
    services.ownSide = kOwnSide;
}

// The upgrade screen shows the character in what it wears.
TEST_F(Moving, TheUpgradeScreensModelWearsTheCharactersItems)
{
    script::Role& carrierRole = NewRole(2);
    GiveBoxModel(carrierRole, {0}, {{"Upper Arm Right", {0.3f, -1.4f, 0}}, {"Head", {0, -1.7f, 0}}});
    auto* carrier = Make<MovingObject>(carrierRole, kOwnSide, {0, 0, 0});
    ASSERT_NE(carrier->GetInventory(), nullptr);
    // Carries an item made from `look` and wears it on the slot.
    const auto wear = [carrier](const script::Role& look, int32_t kind, int32_t id, int32_t slot) {
        CarriedItem item;
        item.kind = kind;
        item.roleId = look.id;
        item.id = id;
        carrier->GetInventory()->Add(item);
        return carrier->EquipItem(slot, id);
    };
    script::Role& helmet = NewRole(2);
    GiveBoxShape(helmet, {0, 0, 0}, {0.2f, 0.2f, 0.2f});
    ASSERT_TRUE(wear(helmet, 9, 41, 2));
    ASSERT_TRUE(InventoryDisplay::Init(*carrier, InventoryDisplay::SlotLocator{}));
    VeObject* shown = InventoryDisplay::Model();
    ASSERT_TRUE(shown && shown != carrier->Shape() && shown->Root());
    EXPECT_EQ(NamedPart(*shown->Root(), "Head")->slots_[0], static_cast<VeShape*>(helmet.shape.shape.get()));
    EXPECT_EQ(NamedPart(*shown->Root(), "Upper Arm Right")->slots_[0], nullptr);

    // What it wears later shows once the model's parts are refreshed: a
    // weapon on the arm, the helmet off the head.
    script::Role& gun = NewRole(2);
    GiveBoxShape(gun, {0, 0, 0}, {0.1f, 0.1f, 0.6f});
    ASSERT_TRUE(wear(gun, 4, 42, 0));
    ASSERT_TRUE(carrier->RemoveItemEffect(41));
    EXPECT_EQ(NamedPart(*shown->Root(), "Upper Arm Right")->slots_[0], nullptr) << "not before the refresh";
    auto* other = Make<MovingObject>(carrierRole, kOwnSide, {2, 0, 0});
    EXPECT_FALSE(InventoryDisplay::RefreshBodyParts(*other)) << "a character not shown";
    ASSERT_TRUE(InventoryDisplay::RefreshBodyParts(*carrier));
    EXPECT_EQ(NamedPart(*shown->Root(), "Upper Arm Right")->slots_[0], static_cast<VeShape*>(gun.shape.shape.get()));
    EXPECT_EQ(NamedPart(*shown->Root(), "Head")->slots_[0], nullptr);
    InventoryDisplay::Release();
    EXPECT_FALSE(InventoryDisplay::RefreshBodyParts(*carrier)) << "nothing shown";
}

// A cloak worn while no enemy sees the object disguises it as the enemy
// built most like it, whose model is then drawn where it stands; taking
// the cloak off ends the disguise. Under an enemy's eyes nothing changes.
TEST_F(Moving, ACloakWornUnseenBorrowsTheNearestBuild)
{
    const struct {
        const char* name;
        Vec3 watcherAt;
        bool disguised;
    } rows[] = {
        {"far from every enemy", {0, 0, -200}, true},
        {"nearer than two metres", {0, 0, -1}, true},
        {"behind the enemy's back", {0, 0, 10}, true},
        {"before the enemy's eyes", {0, 0, -10}, false},
    };
    std::vector<ClientDraw> drawn;
    WorldObjectTable::DrawHook() = [&drawn](const ClientDraw& d) { drawn.push_back(d); };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Empty();
        drawn.clear();
        script::Role& carrierRole = NewRole(2);
        GiveBoxModel(carrierRole, {0});
        script::Role& bulky = NewRole(2);
        bulky.character->modelHeight = 2.5f;
        bulky.character->modelHalfExtent = 0.7f;
        script::Role& alike = NewRole(2);
        alike.character->modelHeight = 2.1f;
        alike.character->modelHalfExtent = 0.55f;
        alike.character->sightAngle = 512;  // 45 degrees each way
        GiveBoxModel(alike, {0});
        auto* carrier = Make<MovingObject>(carrierRole, kOwnSide, {0, 0, 0});
        Make<MovingObject>(bulky, kEnemySide, {300, 0, 300});
        auto* watcher = Make<MovingObject>(alike, kEnemySide, row.watcherAt);
        ASSERT_NE(carrier->GetInventory(), nullptr);
        CarryCloak(*carrier, 77);
        ASSERT_TRUE(carrier->EquipItem(2, 77));
        EXPECT_EQ(carrier->IsUnseen(), row.disguised);
        EXPECT_EQ(carrier->DisguiseId(), row.disguised ? static_cast<int32_t>(watcher->GetId()) : -1);
        EXPECT_EQ(carrier->DisguiseShape() != nullptr, row.disguised);
        EXPECT_EQ(carrier->IsTranslucent(), row.disguised);
        WorldObjectTable::DrawAll();
        const bool lookDrawn = std::any_of(drawn.begin(), drawn.end(), [&](const ClientDraw& d) {
            return d.object == carrier && d.shape && d.shape == carrier->DisguiseShape();
        });
        EXPECT_EQ(lookDrawn, row.disguised);

        ASSERT_TRUE(carrier->RemoveItemEffect(77));
        EXPECT_EQ(carrier->DisguiseId(), -1);
        EXPECT_EQ(carrier->DisguiseShape(), nullptr);
        EXPECT_FALSE(carrier->IsTranslucent());
    }
    WorldObjectTable::DrawHook() = nullptr;
}

// Message 87 uses up what the server's actor dropped: a stack keeps what is
// left over one pick-up's worth, as the server's does, anything else goes.
TEST_F(Moving, AUsedUpItemLeavesWhatTheServersStackKeeps)
{
    script::Role& clip = NewRole(2);
    clip.character->weapon = 3;
    clip.character->aggression = 0.7f;
    clip.character->walkingSpeed = 5 * 65536;
    RoleTable::Global().File(clip);
    const struct {
        const char* name;
        int32_t kind, roleId;
        uint32_t count;
        bool left;
        uint32_t countLeft;
    } rows[] = {
        {"StackOverOnePickUp", ItemKind::kAmmoStack, -3, 12, true, 7},
        {"StackOfOnePickUp", ItemKind::kAmmoStack, -3, 5, false, 0},
        {"StackBelowOnePickUp", ItemKind::kAmmoStack, -3, 3, false, 0},
        {"StackOfAnUnknownPickUp", ItemKind::kAmmoStack, -9, 12, false, 0},
        {"Heal", ItemKind::kHeal, clip.id, 12, false, 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        auto* carrier = Make<MovingObject>(NewRole(2), kOwnSide, {0, 0, 0});
        ASSERT_NE(carrier->GetInventory(), nullptr);
        CarriedItem item;
        item.kind = row.kind;
        item.roleId = row.roleId;
        item.subtype = -row.roleId;
        item.id = 9;
        item.count = row.count;
        carrier->GetInventory()->Add(item);
        EXPECT_FALSE(carrier->RemoveItem(10)) << "not carried";
        ASSERT_TRUE(carrier->RemoveItem(9));
        const CarriedItem* left = carrier->GetInventory()->FindById(9);
        ASSERT_EQ(left != nullptr, row.left);
        if (left) {
            EXPECT_EQ(left->count, row.countLeft);
        }
    }
}

// Message 89 hands the item over with its looks: the receiver's copy holds
// the panel object the giver held, which stays alive.
TEST_F(Moving, APassedItemKeepsItsLooksInTheReceiversInventory)
{
    script::Role& look = NewRole(2);
    GiveBoxShape(look, {0, 0, 0}, {0.5f, 0.5f, 0.5f});
    auto* giver = Make<MovingObject>(NewRole(2), kOwnSide, {0, 0, 0});
    auto* receiver = Make<MovingObject>(NewRole(2), kOwnSide, {1, 0, 0});
    ASSERT_TRUE(giver->GetInventory() && receiver->GetInventory());
    VeObject* panel = VeObject::FromShape(static_cast<VeShape*>(look.shape.shape.get()), false);
    ASSERT_NE(panel, nullptr);
    panel->AddRef();  // the test's own use
    CarriedItem item;
    item.kind = ItemKind::kHeal;
    item.roleId = look.id;
    item.id = 9;
    item.panelObject = panel;  // the item's use
    giver->GetInventory()->Add(item);

    EXPECT_FALSE(giver->PassItem(9, giver->GetId())) << "to itself";
    EXPECT_FALSE(giver->PassItem(9, 999)) << "to nobody";
    EXPECT_FALSE(giver->PassItem(10, receiver->GetId())) << "not carried";
    ASSERT_TRUE(giver->PassItem(9, receiver->GetId()));
    EXPECT_EQ(giver->GetInventory()->FindById(9), nullptr);
    const CarriedItem* passed = receiver->GetInventory()->FindById(9);
    ASSERT_NE(passed, nullptr);
    EXPECT_EQ(passed->panelObject, panel);
    EXPECT_EQ(panel->RefCount(), 2) << "the item still holds its use";
    panel->Release();
}

TEST_F(Moving, QueuedOrdersAppearBeforeTheServerAnswers)
{
    script::Role& role = NewRole(2);
    auto* mover = Make<MovingObject>(role, kOwnSide, {0, 0, 0});
    mover->OrderEquip(7, 3, true);
    mover->OrderEquip(7, 3, true);  // a second Equip of the same item undoes the first
    mover->OrderUse(9, true);
    mover->OrderGive(9, 44, true);
    mover->OrderCrouch(true);
    ASSERT_EQ(mover->Orders().size(), 5u);
    EXPECT_EQ(mover->Orders()[0].kind, LocalOrder::kEquip);
    EXPECT_EQ(mover->Orders()[1].kind, LocalOrder::kUnequip);
    EXPECT_EQ(mover->Orders()[3].value, 44);
    const struct {
        uint32_t type;
        size_t size;
    } sent[] = {{13, 16}, {15, 12}, {21, 20}, {31, 8}};
    for (const auto& s : sent) {
        const auto blocks = Requests(s.type);
        ASSERT_FALSE(blocks.empty()) << s.type;
        EXPECT_EQ(blocks.front().bytes.size(), s.size) << s.type;
        EXPECT_EQ(blocks.front().Word(1), mover->GetId());
        EXPECT_TRUE(blocks.front().guaranteed);
    }
    mover->OrderStop();
    EXPECT_FALSE(mover->HasOrders());
    EXPECT_EQ(Requests(6).size(), 1u);
}

TEST_F(Moving, HoldOrdersComeFirstAndUndoSkipsThem)
{
    script::Role& role = NewRole(2);
    auto* mover = Make<MovingObject>(role, kOwnSide, {0, 0, 0});
    mover->InsertHoldOrder();
    EXPECT_FALSE(mover->HasOrders());  // nothing to hold
    mover->OrderUse(1, true);
    mover->InsertHoldOrder();
    mover->InsertHoldOrder();
    ASSERT_EQ(mover->Orders().size(), 2u);
    EXPECT_EQ(mover->Orders()[0].kind, LocalOrder::kHold);
    mover->UndoLastOrder();
    ASSERT_EQ(mover->Orders().size(), 1u);
    mover->UndoLastOrder();  // holds only: nothing removed, still sent
    EXPECT_EQ(mover->Orders().size(), 1u);
    EXPECT_EQ(Requests(32).size(), 2u);
    // No server in this program: removing the hold relays nothing.
    int relayed = 0;
    ClientServices::Get().sendToClients = [&](const void*, uint32_t, bool) { return ++relayed > 0; };
    mover->RemoveHoldOrder();
    EXPECT_FALSE(mover->HasOrders());
    EXPECT_EQ(relayed, 0);
}

TEST_F(Moving, AGroupOrderWithoutSteerableObjectsSendsNothing)
{
    script::Role& role = NewRole(2);
    auto* fixed = Make<MovingObject>(role, kOwnSide, {0, 0, 0});
    fixed->SetStaticPlacement(true);
    WorldObject* set[] = {fixed, nullptr};
    EXPECT_FALSE(MovingObject::SendGroupOrder(set, 3, 1, false, false));
    EXPECT_TRUE(requests.empty());
    auto* walker = Make<MovingObject>(role, kOwnSide, {1, 0, 0});
    walker->OrderUse(1, true);
    requests.clear();
    WorldObject* both[] = {fixed, walker};
    EXPECT_TRUE(MovingObject::SendGroupOrder(both, 3, 1, false, false));
    ASSERT_EQ(Requests(5).size(), 1u);
    EXPECT_EQ(Requests(5)[0].Word(4), 1u);
    EXPECT_EQ(Requests(5)[0].Word(5), walker->GetId());
    EXPECT_FALSE(walker->HasOrders());
}

// ---------------------------------------------------------------------------
// Units

TEST(UnitAim, PitchIsFiniteOnDegenerateShots)
{
    const struct {
        float dy, h2, v;
        bool ballistic;
    } rows[] = {
        {0, 0, 0, true}, {0, 100, 0, true}, {5, 0, 10, true}, {-5, 0, 10, false}, {0, 0, 10, false},
        {0, 1e6f, 1, true}, {-100, 1, 50, true},
    };
    for (const auto& row : rows) {
        const int32_t f = WeaponPitchFraction(row.dy, row.h2, row.v, row.ballistic);
        EXPECT_GE(f, 0) << row.dy << " " << row.h2 << " " << row.v;
        EXPECT_LE(f, 65536);
    }
    EXPECT_EQ(WeaponPitchFraction(0, 100, 10, false), 0x8000);  // level
}

TEST(UnitAim, ClientAndServerAimTheSameLowArc)
{
    const struct {
        float v, dy, x;
    } rows[] = {{10, 0, 5}, {10, -2, 6}, {20, 3, 15}, {15, -5, 10}, {30, 0, 40}, {12, 4, 3}};
    for (const auto& row : rows) {
        Server::LaunchAim aim{};
        ASSERT_TRUE(Server::AimProjectile({0, 0, 0}, {row.x, row.dy, 0}, row.v, true, aim));
        const float client = UnitAim::Pitch(row.v, row.dy, row.x, true);
        EXPECT_NEAR(client, static_cast<float>(aim.elevation), 1.5f) << row.v << " " << row.dy << " " << row.x;
    }
}

using Units = ClientWorld;

TEST_F(Units, LoadMagazineTriesEachAmmunitionTypeOnce)
{
    script::RecordTables& tables = script::RecordTables::Global();
    tables.StoreWeapon(3, 1, script::WeaponEntry{});
    tables.StoreWeapon(3, 2, script::WeaponEntry{});
    script::Role& role = NewRole(0, 100, 3);
    auto* unit = Make<Unit>(role, kOwnSide, {0, 0, 0});
    ASSERT_NE(unit, nullptr);
    ASSERT_NE(unit->GetInventory(), nullptr);
    // Two empty stacks whose types the weapon could switch between.
    unit->GetInventory()->AddStack(1, 0, 500);
    unit->GetInventory()->AddStack(2, 0, 501);
    unit->ChangeAmmo(1);
    EXPECT_EQ(unit->Rounds(), 0u);
    tables.Weapons().FreeRow(3);
}

// A readied weapon counts its rounds from the magazine only for a unit
// with an inventory and a body; any other never runs out.
TEST_F(Units, ReadyingLoadsTheMagazineOnlyWithABody)
{
    const struct {
        const char* name;
        int32_t side;
        bool body;
        uint32_t rounds;
    } rows[] = {
        {"own, a body", kOwnSide, true, 0},
        {"own, no body", kOwnSide, false, 1},
        {"enemy, a body", kEnemySide, true, 1},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        script::Role& role = NewRole(0, 100, 3);
        auto* unit = Make<Unit>(row.body ? WithBody(role) : role, row.side, {0, 0, 0});
        ASSERT_NE(unit, nullptr);
        EXPECT_EQ(unit->Rounds(), row.rounds);
    }
}

// An own unit says beside itself when it has no ammunition for its weapon
// (readied, or its last stack spent) and when another stack takes over.
TEST_F(Units, OwnUnitsSayWhenTheirAmmunitionRunsOutOrChanges)
{
    std::vector<int32_t> said;
    ClientServices::Get().sayBeside = [&](WorldObject&, int32_t textId) { said.push_back(textId); };
    const struct {
        const char* name;
        int32_t side, weapon;
        std::vector<int32_t> readied;  // said as it is made
    } made[] = {
        {"own, no ammunition", kOwnSide, 3, {7051}},
        {"enemy, no ammunition", kEnemySide, 3, {}},
        {"own, a weapon needing none", kOwnSide, 15, {}},
    };
    for (const auto& row : made) {
        SCOPED_TRACE(row.name);
        said.clear();
        Make<Unit>(WithBody(NewRole(0, 100, row.weapon)), row.side, {0, 0, 0});
        EXPECT_EQ(said, row.readied);
    }
    const struct {
        const char* name;
        uint32_t first, second;  // the stacks' counts; 0: no second stack
        std::vector<int32_t> said;
    } shots[] = {
        {"rounds left", 2, 0, {}},
        {"last round, another stack", 1, 5, {7050}},
        {"last round of the last stack", 1, 0, {7051}},
    };
    const int32_t type = WeaponState::DefaultAmmoFor(3);
    script::RecordTables::Global().StoreWeapon(3, type, script::WeaponEntry{});
    for (const auto& row : shots) {
        SCOPED_TRACE(row.name);
        auto* unit = Make<Unit>(WithBody(NewRole(0, 100, 3)), kOwnSide, {0, 0, 0});
        // A stack joins in front of its kind: the first is added last.
        if (row.second)
            unit->GetInventory()->AddStack(type, static_cast<int32_t>(row.second), 501);
        unit->GetInventory()->AddStack(type, static_cast<int32_t>(row.first), 500);
        unit->ChangeAmmo(type);
        said.clear();
        unit->UseRound();
        EXPECT_EQ(said, row.said);
    }
    script::RecordTables::Global().Weapons().FreeRow(3);
}

TEST_F(Units, AModifierLobsAndTurnsTheAttackRequests)
{
    script::Role& role = NewRole(0, 100, 3);
    auto* unit = Make<Unit>(role, kOwnSide, {0, 0, 0});
    script::Role& other = NewRole(2);
    WorldObject* target = Make(other, kEnemySide, {0, 0, 9});
    const struct {
        bool modifier;
        uint32_t location, object;
    } rows[] = {{false, 7, 8}, {true, 9, 10}};
    for (const auto& row : rows) {
        requests.clear();
        ClientServices::Get().modifierHeld = row.modifier;
        unit->OrderAttackLocation({1, 2, 3});
        unit->OrderAttackTarget(*target);
        ASSERT_EQ(requests.size(), 2u);
        EXPECT_EQ(requests[0].Type(), row.location);
        EXPECT_EQ(requests[0].bytes.size(), 24u);
        EXPECT_EQ(requests[1].Type(), row.object);
        EXPECT_EQ(requests[1].Word(3), target->GetId());
    }
    ClientServices::Get().modifierHeld = false;
    unit->QueueAttackTarget(*target);
    ASSERT_EQ(unit->Orders().size(), 1u);
    EXPECT_EQ(unit->Orders()[0].kind, LocalOrder::kAttackTarget);
    EXPECT_EQ(Requests(27).size(), 1u);
}

TEST_F(Units, WithoutAmmunitionEveryOtherShotLeavesTheSecondMuzzle)
{
    script::Role& role = NewRole(0, 100, 3);
    role.hotspotName = "Gun Left";
    role.alternateHotspotName = "Gun Right";
    auto* unit = Make<Unit>(role, kEnemySide, {0, 0, 0});
    EXPECT_STREQ(unit->GetMuzzlePart(), "Gun Left");
    unit->UseRound();
    EXPECT_STREQ(unit->GetMuzzlePart(), "Gun Right");
    unit->UseRound();
    EXPECT_STREQ(unit->GetMuzzlePart(), "Gun Left");
}

TEST_F(Units, TheShieldTakesDamageFirstAndArmourOnlyWithoutOne)
{
    script::Role& role = NewRole(0, 100, 3);
    role.shields = 30;
    role.armour = 4;
    auto* unit = Make<Unit>(role, kEnemySide, {0, 0, 0});
    const struct {
        int32_t amount;
        int32_t shield, hitPoints;
    } steps[] = {{20, 10, 100}, {25, 0, 85}, {4, 0, 85}, {10, 0, 79}, {-500, 0, 100}, {1000, 0, 0}};
    for (const auto& step : steps) {
        unit->TakeDamage(step.amount);
        EXPECT_EQ(unit->GetShield(), step.shield) << step.amount;
        EXPECT_EQ(unit->HitPoints(), step.hitPoints) << step.amount;
    }
}

// Sprites as the effects make them for a walker's shape effect.
bool TestShapeEffect(WorldObject&, VeObject* (&sprites)[2])
{
    script::Role scratch;
    GiveBoxShape(scratch, {0, 0, 0}, {1, 1, 1});
    for (VeObject*& sprite : sprites)
        sprite = VeObject::FromShape(static_cast<VeShape*>(scratch.shape.shape.get()), false);
    return true;
}
int g_shieldHits = 0;
std::vector<float> g_hitsShown;

// Worn shield and armour items give their points up hit by hit and are gone
// once spent; the shield lights up on each hit it takes (only on a walker
// carrying its shape effect), and the HUD is told what each hit took.
TEST_F(Units, WornShieldsAndArmourWearDownHitByHit)
{
    ClientServices::Get().showHit = [](WorldObject&, float fraction) { g_hitsShown.push_back(fraction); };
    ClientEffects().shieldHit = [](WorldObject&) { ++g_shieldHits; };
    for (const bool shapeEffect : {true, false}) {
        SCOPED_TRACE(shapeEffect ? "with its shape effect" : "without one");
        ClientEffects().addShapeEffect = shapeEffect ? TestShapeEffect : nullptr;
        g_shieldHits = 0;
        g_hitsShown.clear();
        script::Role& role = NewRole(0, 100, 3);
        auto* unit = Make<Unit>(role, kOwnSide, {0, 0, 0});
        ASSERT_NE(unit->GetInventory(), nullptr);
        EXPECT_EQ(unit->CarriesShapeEffect(), shapeEffect);
        constexpr int32_t kArmourItem = 31, kShieldItem = 32;
        for (const auto& [kind, id, value, slot] :
             {std::tuple{9, kArmourItem, 2, 4}, std::tuple{3, kShieldItem, 5, 3}}) {
            CarriedItem item;
            item.kind = kind;
            item.id = id;
            item.value = value;
            unit->GetInventory()->Add(item);
            ASSERT_TRUE(unit->EquipItem(slot, id));
        }
        ASSERT_EQ(unit->GetArmour(), 2);
        ASSERT_EQ(unit->GetShield(), 5);
        const struct {
            int32_t amount;
            int32_t shield, armour, hitPoints;
            bool shieldKept, armourKept;
            int shieldHits;
        } steps[] = {
            {3, 2, 2, 100, true, true, 1},   // the shield takes it all
            {4, 0, 2, 98, false, true, 2},   // spent; the rest meets no armour
            {5, 0, 1, 95, false, true, 2},   // armour takes 2 and wears by 1
            {1, 0, 0, 95, false, false, 2},  // not above the armour; the last point wears off
            {1, 0, 0, 94, false, false, 2},
        };
        for (const auto& step : steps) {
            SCOPED_TRACE(step.amount);
            unit->TakeDamage(step.amount);
            EXPECT_EQ(unit->GetShield(), step.shield);
            EXPECT_EQ(unit->GetArmour(), step.armour);
            EXPECT_EQ(unit->HitPoints(), step.hitPoints);
            EXPECT_EQ(unit->GetInventory()->FindById(kShieldItem) != nullptr, step.shieldKept);
            EXPECT_EQ(unit->GetInventory()->FindById(kArmourItem) != nullptr, step.armourKept);
            EXPECT_EQ(g_shieldHits, shapeEffect ? step.shieldHits : 0);
        }
        EXPECT_TRUE(unit->GetItemList().empty());
        // The blocked hit (the fourth) tells the HUD nothing.
        EXPECT_EQ(g_hitsShown, (std::vector<float>{0.0f, 0.02f, 0.03f, 0.01f}));
        unit->Remove();
    }
    ClientEffects() = ClientEffectHooks{};
}

TEST_F(Units, ClearTargetRecentresAndDropsTheProgressBar)
{
    script::Role& role = NewRole(0, 100, 3);
    auto* unit = Make<Unit>(role, kEnemySide, {0, 0, 0});
    unit->SetProgress(1, 2);
    unit->AttackLocation({0, -5, 10}, 1, false, false);
    EXPECT_TRUE(unit->IsAttacking());
    unit->ClearTarget(2);
    EXPECT_FALSE(unit->IsAttacking());
    EXPECT_FALSE(unit->ProgressShown());
    EXPECT_EQ(unit->PitchFraction(), 0x8000);
    EXPECT_EQ(unit->TorsoFraction(), 0x8000);
}

// ---------------------------------------------------------------------------
// Kinds

using Kinds = ClientWorld;

TEST_F(Kinds, ProjectilePositionFollowsTheFlightModel)
{
    script::Role& role = NewRole(1);
    role.character.reset();
    role.projectile.emplace();
    role.projectile->gravity = true;
    const float speed = 20.0f;
    auto* shot = new WorldProjectile(kEnemySide, &role, {1, -2, 3}, Quaternion::Identity(), speed, 7, -1, 900);
    shot->Activate(0, 0);
    EXPECT_EQ(shot->Target(), nullptr);
    for (float t : {0.0f, 0.25f, 1.0f, 2.5f}) {
        shot->Update(Ticks(t), t);
        const Vec3 at = shot->PositionAt(Ticks(t));
        EXPECT_NEAR(at.z, 3 + speed * t, 1e-3f) << t;
        EXPECT_NEAR(at.y, -2 + 0.5f * 9.81f * t * t, 1e-3f) << t;
        EXPECT_NEAR(shot->Position().y, at.y, 1e-3f);
    }
}

TEST_F(Kinds, HomingOnATargetStraightBehindStaysFinite)
{
    script::Role& target = NewRole(2);
    WorldObject* behind = Make(target, kOwnSide, {0, 0, -10});
    script::Role& role = NewRole(1);
    role.character.reset();
    role.projectile.emplace();
    role.limit = WorldProjectile::kFlagHoming;
    auto* shot = new WorldProjectile(kEnemySide, &role, {0, 0, 0}, Quaternion::Identity(), 10, 7,
                                     static_cast<int32_t>(behind->GetId()), 901);
    shot->Activate(0, 0);
    for (float t : {0.01f, 0.02f, 0.05f, 0.1f}) {
        shot->Update(Ticks(t), t);
        EXPECT_TRUE(std::isfinite(shot->Position().x) && std::isfinite(shot->Position().z)) << t;
        EXPECT_NEAR(shot->Velocity().Length(), 10.0f, 1e-3f);
    }
}

TEST_F(Kinds, LiftReversedHalfWayReturnsInTheTimeItTravelled)
{
    script::Role& role = NewRole(8);
    auto* lift = Make<TypedObject8>(role, 0, {0, 0, 0});
    const Vec3 track[4] = {{0, 0, 0}, {0, -1, 0}, {0, -3, 0}, {0, -4, 0}};
    lift->SetPartHierarchy(track, Quaternion::Identity(), true);
    lift->SetSpeed(0.25f);  // four seconds end to end
    lift->Update(0, 0);
    lift->ResetParts();
    lift->Update(Ticks(1.0f), 1.0f);
    const float oneSecondIn = lift->Position().y;
    lift->SetState(lift->Direction());  // reverse in place
    lift->Update(Ticks(1.0f), 1.0f);
    EXPECT_NEAR(lift->Position().y, oneSecondIn, 1e-3f);
    lift->Update(Ticks(1.9f), 1.9f);
    EXPECT_TRUE(lift->Running());
    lift->Update(Ticks(2.05f), 2.05f);
    EXPECT_FALSE(lift->Running());
    EXPECT_NEAR(lift->Position().y, 0.0f, 1e-3f);
}

TEST_F(Kinds, PausingALiftDelaysItsArrivalAndSpeedZeroStaysPut)
{
    script::Role& role = NewRole(8);
    auto* lift = Make<TypedObject8>(role, 0, {0, 0, 0});
    const Vec3 track[4] = {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {3, 0, 0}};
    lift->SetPartHierarchy(track, Quaternion::Identity(), false);
    lift->SetSpeed(0.5f);
    lift->ResetParts();
    lift->PauseTimer(Ticks(1.0f));
    lift->ResumeTimer(Ticks(4.0f));
    lift->Update(Ticks(4.9f), 4.9f);
    EXPECT_TRUE(lift->Running());
    lift->Update(Ticks(5.1f), 5.1f);
    EXPECT_FALSE(lift->Running());
    EXPECT_NEAR(lift->Position().x, 3.0f, 1e-3f);

    auto* still = Make<TypedObject8>(role, 0, {0, 0, 0});
    still->SetPartHierarchy(track, Quaternion::Identity(), false);
    still->SetSpeed(0.0f);
    still->ResetParts();
    still->SetState(still->Direction());
    still->Update(Ticks(10.0f), 10.0f);
    EXPECT_TRUE(std::isfinite(still->Position().x));
    EXPECT_EQ(still->Position().x, 0.0f);
}

TEST_F(Kinds, MessageForTheOtherDirectionIsIgnored)
{
    script::Role& role = NewRole(8);
    auto* lift = Make<TypedObject8>(role, 0, {0, 0, 0});
    const Vec3 track[4] = {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {3, 0, 0}};
    lift->SetPartHierarchy(track, Quaternion::Identity(), true);
    const uint32_t none[1] = {0};
    EXPECT_FALSE(lift->StartWithRiders(true, std::span<const uint32_t>(none, 0)));
    EXPECT_FALSE(lift->Running());
}

TEST_F(Kinds, AMissNearACreatureRemovesItAndEachWalkerIsReportedOnce)
{
    script::Role& creature = NewRole(11);
    auto* near = Make<TypedObject11>(creature, 0, {1.2f, 0, 0});
    auto* far = Make<TypedObject11>(creature, 0, {0, 0, 1.5f});
    near->AddRef();  // held elsewhere: stays in memory once removed
    TypedObject11::CheckAll({0, 0, 0});
    EXPECT_TRUE(near->IsDestroyed());
    EXPECT_FALSE(far->IsDestroyed());
    TypedObject11::CheckAll({0, 0, 0});  // the removed one is skipped, not removed again
    EXPECT_EQ(TypedObject11::All().size(), 1u);
    near->Release();

    script::Role& walker = NewRole(2);
    auto* mover = Make<MovingObject>(walker, kOwnSide, {0, 0, 1.5f});
    MotionRecord record;
    record.position = {0, 0, 1.5f};
    mover->ApplyMoving({0, 0, 9}, record, {0, 0, 9});
    mover->SetPosition({0, 0, 1.5f});
    for (int i = 1; i <= 3; ++i)
        far->Update(Ticks(0.01f * static_cast<float>(i)), 0.01f * static_cast<float>(i));
    EXPECT_EQ(Requests(33).size(), 1u);
}

// A pick-up takes its character's size; a size of 1, none or a broken one
// leaves the model as it is.
TEST_F(Kinds, APickUpIsScaledByItsCharactersSize)
{
    const struct {
        float size;
        float scale;
    } rows[] = {{2.0f, 2.0f}, {0.5f, 0.5f}, {1.0f, 1.0f}, {0.0f, 1.0f}, {-3.0f, 1.0f},
                {std::numeric_limits<float>::quiet_NaN(), 1.0f}};
    for (const auto& row : rows) {
        script::Role& item = NewRole(10);
        GiveBoxShape(item, {-0.5f, -0.5f, -0.5f}, {0.5f, 0, 0.5f});
        item.character->size = row.size;
        WorldObject* made = Make(item, 0, {});
        ASSERT_NE(made->Shape(), nullptr);
        const Vec3 scale = made->Shape()->placement_.Scale();
        EXPECT_EQ(scale.x, row.scale) << row.size;
        EXPECT_EQ(scale.y, row.scale) << row.size;
        EXPECT_EQ(scale.z, row.scale) << row.size;
    }
}

// Creatures come in the four sizes only, and not all in one.
TEST_F(Kinds, CreaturesTakeOneOfFourSizes)
{
    script::Role& creature = NewRole(11);
    GiveBoxShape(creature, {-0.2f, -0.2f, -0.2f}, {0.2f, 0, 0.2f});
    std::set<float> seen;
    for (int i = 0; i < 16; ++i) {
        WorldObject* made = Make(creature, 0, {float(i), 0, 0});
        ASSERT_NE(made->Shape(), nullptr);
        const Vec3 scale = made->Shape()->placement_.Scale();
        EXPECT_EQ(scale.x, scale.z);
        EXPECT_TRUE(scale.x == 0.5f || scale.x == 1.0f || scale.x == 1.5f || scale.x == 2.0f) << scale.x;
        seen.insert(scale.x);
    }
    EXPECT_GT(seen.size(), 1u);
}

TEST_F(Kinds, PickUpArmourDependsOnDestroyAfterCollection)
{
    script::Role& kept = NewRole(10);
    kept.armour = 7;
    script::Role& gone = NewRole(10);
    gone.armour = 7;
    gone.flags = script::kRoleDestroyAfterCollection;
    EXPECT_EQ(Make(kept, 0, {})->GetArmour(), 100);
    EXPECT_EQ(Make(gone, 0, {})->GetArmour(), 7);
}

} // namespace
