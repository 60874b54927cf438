// What a replica draws besides its shape: its own light dimmed by the fog,
// a corona that follows its part, the move marker while it lasts and the
// capture-the-flag flags, standing or carried.
#include "client_fixture.h"

#include "Veapi/camera.h"
#include "Veapi/hierarchy.h"
#include "Veapi/light_set.h"
#include "Veapi/particles.h"
#include "Veapi/ve_object.h"
#include "Veapi/ve_shape.h"
#include "objects/client_effects.h"
#include "script/directory_list.h"
#include "world/fog_of_war.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {

class ReplicaDrawing : public ClientWorld {
protected:
    void SetUp() override
    {
        ClientWorld::SetUp();
        LightSet::CreateGlobals(nullptr);
        Particles::Startup();
        WorldObjectTable::DrawHook() = [this](const ClientDraw& d) { queued.push_back(d); };
    }
    void TearDown() override
    {
        Empty();
        WorldObjectTable::DrawHook() = nullptr;
        WorldObjectTable::SetMoveMarkerModel(nullptr);
        ClientEffects() = ClientEffectHooks{};
        TeamFlag::ShapeLoader() = savedFlagLoader;
        FogOfWar::Global() = nullptr;
        Particles::Shutdown();
        LightSet::DestroyGlobals();
        ClientWorld::TearDown();
    }

    static VeShape* BoxShape()
    {
        script::Role scratch;
        GiveBoxShape(scratch, {-0.5f, -1, -0.5f}, {0.5f, 0, 0.5f});
        auto* shape = static_cast<VeShape*>(scratch.shape.shape.get());
        shape->AddRef();
        return shape;  // one use for the caller
    }

    std::vector<ClientDraw> Drawn(ClientDraw::What what) const
    {
        std::vector<ClientDraw> out;
        for (const ClientDraw& d : queued)
            if (d.what == what)
                out.push_back(d);
        return out;
    }

    std::vector<ClientDraw> queued;
    std::function<VeObject*()> savedFlagLoader = TeamFlag::ShapeLoader();
};

TEST_F(ReplicaDrawing, TheOwnLightDimsWithTheFogAndLeavesWithTheObject)
{
    script::Role& role = NewRole(5);
    GiveBoxShape(role, {-1, -2, -1}, {1, 0, 1});
    role.flags = script::kRoleAlphaFogging;
    role.light = script::LightRecord{0.8f, 0.4f, 0.2f, 1.0f, 0.5f, 0.0f, 10.0f};
    LightSet* lights = LightSet::Global(0);
    ASSERT_NE(lights, nullptr);
    const int32_t before = lights->LightCount();
    WorldObject* lamp = Make(role, kEnemySide, {0, 0, 5});
    ASSERT_NE(lamp->OwnLight(), nullptr);
    EXPECT_EQ(lights->LightCount(), before + 1);

    FogOfWar fog(16, 2048);
    fog.SetWorldArea(-100, -100, 100, 100);
    fog.SetEnabled(true);
    FogOfWar::Global() = &fog;
    // Never discovered: the light goes dark; with the fog off it shines whole.
    const float fogged = 1.0f - static_cast<float>(lamp->FogVisibility()) / 254.0f;
    lamp->Update(Ticks(0.1f), 0.1f);
    EXPECT_NEAR(lamp->OwnLight()->Description().diffuse.r, 0.8f * fogged, 1e-4f);
    EXPECT_NEAR(lamp->OwnLight()->Description().specular.r, 1.0f * fogged, 1e-4f);
    EXPECT_LT(fogged, 0.01f);
    FogOfWar::Global() = nullptr;

    lamp->Remove();
    EXPECT_EQ(lights->LightCount(), before);
}

TEST_F(ReplicaDrawing, ACoronaFollowsItsPartAndHidesWithTheObject)
{
    std::vector<Vec3> made;
    InstallTestCoronas();
    script::Role& role = NewRole(5);
    GiveBoxShape(role, {-1, -2, -1}, {1, 0, 1});
    WorldObject* beacon = Make(role, kEnemySide, {10, 0, 0});
    ASSERT_NE(beacon->Shape(), nullptr);
    // A part one metre up (y grows down) and one ahead.
    ParticleEmitter* corona = GiveLightdumCorona(*beacon, {0, -1, 1});
    ASSERT_NE(corona, nullptr);
    EXPECT_NEAR(corona->Position().y, -1.0f, 1e-4f);
    EXPECT_NEAR(corona->Position().z, 1.0f, 1e-4f);
    Colour white;
    white.Set(1, 1, 1, 1);
    beacon->AddCorona("lightdum", white);  // one corona only
    EXPECT_EQ(beacon->Corona(), corona);

    beacon->SetPosition({20, 0, 0});
    WorldObjectTable::DrawAll();
    EXPECT_NEAR(corona->Position().x, 20.0f, 1e-4f);  // without part-following, at the position

    // A particle reset frees the emitter behind the object's back: never touched again.
    Particles::Reset();
    EXPECT_EQ(beacon->Corona(), nullptr);
    WorldObjectTable::DrawAll();
    beacon->Remove();
}

// The fog over an object dims its corona and its smoke by the same factor
// as its light; smoke of an object out of sight is not drawn at all.
TEST_F(ReplicaDrawing, CoronaAndSmokeFadeWithTheFogOverTheObject)
{
    InstallTestCoronas();
    FogOfWar fog(16, 2048);
    fog.SetWorldArea(-100, -100, 100, 100);
    fog.SetEnabled(true);
    const struct {
        const char* name;
        uint8_t roleFlags;
        bool fogOn;
        bool fogged;     // the corona takes the object's fog value
        bool smokeShown;
    } rows[] = {
        {"fog off", script::kRolePerVertexFogging, false, false, true},
        {"seen through the fog", script::kRolePerVertexFogging, true, true, true},
        {"hidden in undiscovered fog", script::kRoleAlphaFogging, true, true, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        FogOfWar::Global() = row.fogOn ? &fog : nullptr;
        script::Role& role = NewRole(5);
        GiveBoxShape(role, {-1, -2, -1}, {1, 0, 1});
        role.flags = row.roleFlags;
        WorldObject* beacon = Make(role, kEnemySide, {10, 0, 0});
        ParticleEmitter* corona = GiveLightdumCorona(*beacon);
        ASSERT_NE(corona, nullptr);
        ParticleEmitterDesc smoke;
        ParticleEmitter* smoking = Particles::CreateEmitter(smoke, {10, 0, 0});
        beacon->KeepEmitter(smoking);
        WorldObjectTable::DrawAll();

        const float expected = row.fogged ? static_cast<float>(beacon->FogVisibility()) / 254.0f : 0.0f;
        if (row.fogged) {
            EXPECT_GT(expected, 0.9f);  // never discovered
        }
        EXPECT_NEAR(corona->FogFactor(), expected, 1e-5f);
        EXPECT_NEAR(smoking->FogFactor(), row.smokeShown ? expected : 1.0f, 1e-5f);
        beacon->Remove();
    }
    FogOfWar::Global() = nullptr;
}

// An object fogged vertex by vertex carries the fog map's coordinates of
// where it stands once activated; others keep their vertices as they are.
TEST_F(ReplicaDrawing, AnObjectFoggedByVertexIsMappedOntoTheFogWhereItStands)
{
    FogOfWar fog(16, 2048);
    fog.SetWorldArea(-100, -100, 100, 100);  // u = (x + 100) / 200
    fog.SetEnabled(true);
    const struct {
        const char* name;
        uint8_t roleFlags;
        bool fogInLevel;
        bool mapped;
    } rows[] = {
        {"fogged by vertex", script::kRolePerVertexFogging, true, true},
        {"hidden in fog instead", script::kRoleAlphaFogging, true, false},
        {"a level without fog", script::kRolePerVertexFogging, false, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        FogOfWar::Global() = row.fogInLevel ? &fog : nullptr;
        script::Role& role = NewRole(5);
        GiveBoxShape(role, {-1, -2, -1}, {1, 0, 1});
        role.flags = row.roleFlags;
        WorldObject* object = Make(role, kEnemySide, {10, 0, 20});
        const SubMesh& mesh = **static_cast<VeShape*>(role.shape.shape.get())->SubMeshes().begin();
        const uint32_t sets = (mesh.format >> gfx::kFvfTexCountShift) & 0xF;
        ASSERT_EQ(sets, row.mapped ? 2u : 1u);
        if (row.mapped) {
            float uv[2];
            std::memcpy(uv, static_cast<const uint8_t*>(mesh.vertices.data()) + mesh.Stride() - 8, sizeof uv);
            EXPECT_NEAR(uv[0], (9.0f + 100.0f) / 200.0f, 1e-5f);  // the corner (-1, -2, -1) at (9, -2, 19)
            EXPECT_NEAR(uv[1], (19.0f + 100.0f) / 200.0f, 1e-5f);
        }
        object->Remove();
    }
    FogOfWar::Global() = nullptr;
}

// The corona a "lightdum" part gets at construction carries the owner's
// mark until the object is first seen, and hides while it is unseen.
TEST_F(ReplicaDrawing, APartCoronaIsMarkedUntilTheObjectIsFirstSeen)
{
    InstallTestCoronas();
    FogOfWar fog(16, 2048);
    fog.SetWorldArea(-100, -100, 100, 100);
    fog.SetEnabled(true);
    FogOfWar::Global() = &fog;
    script::Role& role = NewRole(5);
    GiveBoxModel(role, {0}, {{"lightdum", {0, -1, 0}}});
    role.flags = script::kRoleAlphaFogging;
    WorldObject* beacon = Make(role, kEnemySide, {10, 0, 0});
    ParticleEmitter* corona = beacon->Corona();
    ASSERT_NE(corona, nullptr);
    EXPECT_TRUE(beacon->CoronaFollowsPart());
    EXPECT_NE(corona->Flags() & ParticleEmitter::kOwnerMark, 0u);
    WorldObjectTable::DrawAll();
    EXPECT_TRUE(corona->Hidden());
    EXPECT_NE(corona->Flags() & ParticleEmitter::kOwnerMark, 0u);

    FogOfWar::Global() = nullptr;
    WorldObjectTable::DrawAll();
    EXPECT_FALSE(corona->Hidden());
    EXPECT_EQ(corona->Flags() & ParticleEmitter::kOwnerMark, 0u);
    EXPECT_NEAR(corona->Position().y, -1.0f, 1e-4f);
}

// The light linked to a lift rests while the lift runs and shines again
// when it arrives; it lives through the ride however long it takes.
TEST_F(ReplicaDrawing, ALinkedLightRestsWhileItsLiftRuns)
{
    InstallTestCoronas();
    script::Role& beaconRole = NewRole(5);
    GiveBoxShape(beaconRole, {-1, -2, -1}, {1, 0, 1});
    WorldObject* beacon = Make(beaconRole, kEnemySide, {0, 0, 0});
    ParticleEmitter* corona = GiveLightdumCorona(*beacon);
    ASSERT_NE(corona, nullptr);
    auto* lift = Make<TypedObject8>(NewRole(8), 0, {0, 0, 0});
    lift->SetLinkedObject(beacon->GetId());
    const Vec3 track[4] = {{0, 0, 0}, {0, -1, 0}, {0, -2, 0}, {0, -3, 0}};
    lift->SetPartHierarchy(track, Quaternion::Identity(), false);
    lift->SetSpeed(0.5f);
    lift->Update(0, 0);

    const struct {
        const char* when;
        float seconds;  // the lift's update; -1 starts it
        bool held;
    } steps[] = {{"started", -1.0f, true}, {"half way", 1.0f, true},
                 {"arrived", 2.1f, false}, {"started back", -1.0f, true}, {"back again", 4.2f, false}};
    for (const auto& step : steps) {
        SCOPED_TRACE(step.when);
        if (step.seconds < 0.0f)
            lift->SetState(!lift->Direction());
        else
            lift->Update(Ticks(step.seconds), step.seconds);
        Particles::Update(uint32_t(Particles::TickRate()));  // a second of particles
        ASSERT_EQ(beacon->Corona(), corona);
        EXPECT_EQ(corona->Held(), step.held);
        EXPECT_EQ((corona->Flags() & ParticleEmitter::kOwnerMark) != 0, !step.held);
        EXPECT_EQ(corona->Mode(), ParticleEmitter::Continuous);
    }
}

TEST_F(ReplicaDrawing, TheMoveMarkerShrinksAndTurnsForTwoSecondsThenGoes)
{
    // The fraction of the marker's life left, from which scale and turn follow.
    const uint64_t d = Ticks(2.0f);
    const struct {
        uint64_t now, expiry, duration;
        float fraction;
    } rows[] = {{0, d, d, 1.0f}, {d / 2, d, d, 0.5f}, {d, d, d, 0.0f}, {d + 5, d, d, 0.0f}, {0, 0, 0, 0.0f}};
    for (const auto& row : rows)
        EXPECT_NEAR(MovingObject::MarkerFraction(row.now, row.expiry, row.duration), row.fraction, 1e-6f) << row.now;

    auto* model = new Hierarchy;
    model->shapes_[0] = BoxShape();
    WorldObjectTable::SetMoveMarkerModel(model);
    model->Release();
    script::Role& role = NewRole(2);
    auto* own = Make<MovingObject>(role, kOwnSide, {0, 0, 0});
    auto* enemy = Make<MovingObject>(role, kEnemySide, {5, 0, 0});
    MotionRecord record;
    own->ApplyMoving({0, 0, 10}, record, {0, 0, 10});
    record.position = {5, 0, 0};
    enemy->ApplyMoving({5, 0, 10}, record, {5, 0, 10});
    own->Update(Ticks(0.1f), 0.1f);
    enemy->Update(Ticks(0.1f), 0.1f);
    ASSERT_NE(own->Marker(), nullptr);
    EXPECT_EQ(enemy->Marker(), nullptr);  // only the own side's orders show one

    AppTime::SetGameTime(static_cast<int64_t>(Ticks(1.1f)));  // half its life left
    WorldObjectTable::DrawAll();
    const std::vector<ClientDraw> markers = Drawn(ClientDraw::What::kMoveMarker);
    ASSERT_EQ(markers.size(), 1u);
    EXPECT_EQ(markers[0].shape, own->Marker());
    EXPECT_NEAR(own->Marker()->placement_.Scale().x, 12.5f, 1e-3f);
    EXPECT_NEAR(own->Marker()->placement_.Position().z, 10.0f, 1e-4f);
    EXPECT_NEAR(HeadingOf(own->Marker()->placement_.Orientation()), WrapSteps(1500.0f), 0.5f);

    // A new destination while the marker shows moves the one marker there;
    // the old one is given back, not left behind.
    VeShape* box = model->shapes_[0];
    const int32_t usesWithOneMarker = box->UseCount();
    record.position = {0, 0, 0};
    own->ApplyMoving({0, 0, 10}, record, {0, 0, 20});
    own->Update(Ticks(1.2f), 0.1f);
    ASSERT_NE(own->Marker(), nullptr);
    EXPECT_NEAR(own->Marker()->placement_.Position().z, 20.0f, 1e-4f);
    EXPECT_EQ(box->UseCount(), usesWithOneMarker);

    own->Update(Ticks(3.3f), 2.1f);
    EXPECT_EQ(own->Marker(), nullptr);
}

// The shape effect's two sprites: a ring under each selected unit, and a
// wedge ahead of the one the player steers, flat at its feet and turned with
// it; nothing for an unselected unit.
TEST_F(ReplicaDrawing, TheShapeEffectMarksSelectedAndSteeredUnits)
{
    ClientEffects().addShapeEffect = [](WorldObject&, VeObject* (&sprites)[2]) {
        VeShape* shape = BoxShape();
        sprites[0] = VeObject::FromShape(shape, false);
        sprites[1] = VeObject::FromShape(shape, false);
        shape->Release();
        return true;
    };
    static const WorldObject* g_selected = nullptr;
    ClientServices::Get().selected = [](const WorldObject& object) { return &object == g_selected; };
    script::Role& role = NewRole(2);
    GiveBoxShape(role, {-1, -2, -1}, {1, 0, 1});
    role.character->radius = 0.8f;
    auto* unit = Make<MovingObject>(role, kOwnSide, {3, 1, 4});
    auto* other = Make<MovingObject>(role, kOwnSide, {8, 1, 4});
    unit->SetOrientation(YawOrientation(1024.0f));  // a quarter turn

    const auto effects = [&] {
        queued.clear();
        WorldObjectTable::DrawAll();
        return Drawn(ClientDraw::What::kShapeEffect);
    };
    EXPECT_TRUE(effects().empty());

    g_selected = unit;
    std::vector<ClientDraw> drawn = effects();
    ASSERT_EQ(drawn.size(), 1u);
    EXPECT_EQ(drawn[0].object, unit);
    const Transform& ring = drawn[0].shape->placement_;
    EXPECT_NEAR(ring.Position().x, 3.0f, 1e-5f);
    EXPECT_NEAR(ring.Position().y, 0.98f, 1e-5f);  // just above the feet
    EXPECT_NEAR(ring.Scale().x, 2.0f, 1e-5f);
    EXPECT_TRUE(drawn[0].translucent);

    unit->SetHighlight(true);
    drawn = effects();
    ASSERT_EQ(drawn.size(), 2u);
    const Transform& wedge = drawn[1].shape->placement_;
    EXPECT_NE(drawn[1].shape, drawn[0].shape);
    EXPECT_NEAR(wedge.Scale().z, 2.4f, 1e-5f);
    EXPECT_NEAR(HeadingOf(wedge.Orientation()), 1024.0f, 0.5f);

    // The marks go with the selection.
    unit->SetHighlight(false);
    g_selected = other;
    drawn = effects();
    ASSERT_EQ(drawn.size(), 1u);
    EXPECT_EQ(drawn[0].object, other);
    ClientServices::Get().selected = nullptr;
    g_selected = nullptr;
}

TEST_F(ReplicaDrawing, FlagsStandUntilCarriedAndRideHalfAMetreAboveTheCarrier)
{
    TeamFlag::ShapeLoader() = [] {
        VeShape* shape = BoxShape();
        VeObject* object = VeObject::FromShape(shape, true);
        shape->Release();
        return object;
    };
    TeamTable::Build(4, kOwnSide, 5);
    for (int32_t side : {1, 3}) {
        TeamRecord* record = TeamTable::Find(side);
        ASSERT_NE(record, nullptr);
        record->flag = std::make_unique<TeamFlag>(static_cast<float>(side), 0.0f, 0.0f, 0);
    }
    script::Role& role = NewRole(2);
    auto* carrier = Make<MovingObject>(role, kOwnSide, {7, 0, 7});
    TeamTable::Find(3)->flag->carried = true;
    carrier->SetCarriedFlag(3);

    WorldObjectTable::DrawAll();
    const std::vector<ClientDraw> flags = Drawn(ClientDraw::What::kFlag);
    ASSERT_EQ(flags.size(), 2u);  // side 1 standing, side 3 carried
    EXPECT_EQ(flags[0].sortKey, 0);
    EXPECT_EQ(flags[0].flags, 0x4000000u);
    const TeamFlag& carried = *TeamTable::Find(3)->flag;
    EXPECT_NEAR(carried.position.x, 7.0f, 1e-4f);
    EXPECT_NEAR(carried.position.y, carrier->GetCentre().y - 0.5f, 1e-4f);
    int standing = 0;
    for (const ClientDraw& d : flags)
        standing += d.shape == TeamTable::Find(1)->flag->Object();
    EXPECT_EQ(standing, 1);

    // Outside capture the flag no flag stands on its own.
    queued.clear();
    TeamTable::Build(4, kOwnSide, 1);
    WorldObjectTable::DrawAll();
    EXPECT_TRUE(Drawn(ClientDraw::What::kFlag).empty());
}

TEST_F(ReplicaDrawing, TheSampleMoveMarkerLoadsFromTheGraphicsFolder)
{
    const char* root = std::getenv("TREVOK_SAMPLE_DATA");
    const std::filesystem::path data(root ? root : "");
    if (!root || !std::filesystem::exists(data / "tvdirs.tvs"))
        GTEST_SKIP() << "no sample data at " << data;
    ASSERT_TRUE(script::LoadDataDirectories(data));
    WorldObjectTable::SetMoveMarkerModel(nullptr);  // loaded afresh
    Hierarchy* model = WorldObjectTable::MoveMarkerModel();
    ASSERT_NE(model, nullptr);
    EXPECT_EQ(model->name_, "marker_post");
    EXPECT_NE(model->FindNode("marker_plate"), nullptr);
    EXPECT_EQ(WorldObjectTable::MoveMarkerModel(), model);  // kept, not read again
    WorldObjectTable::DestroyAll();  // the level's end frees it
}

std::vector<std::string> g_effectsStarted;

TEST_F(ReplicaDrawing, ADestroyedObjectLeavesTheParticlesOfItsKind)
{
    ClientEffects().shotImpact = [](const Vec3&) { g_effectsStarted.push_back("shot"); };
    ClientEffects().debrisExplosion = [](const Vec3&) { g_effectsStarted.push_back("debris"); };
    ClientEffects().bigExplosion = [](const Vec3&) { g_effectsStarted.push_back("big"); };
    const struct {
        int32_t kind;
        const char* started;  // empty: nothing
        bool destroyed;
    } rows[] = {{0, "big", false}, {1, "shot", false}, {3, "debris", true}, {4, "", true}, {7, "big", false}};
    for (const auto& row : rows) {
        g_effectsStarted.clear();
        script::Role& role = NewRole(5);
        role.destruction.emplace();
        role.destruction->type = row.kind;
        WorldObject* object = Make(role, kEnemySide, {1, 0, 1});
        object->OnDestroyed(0);
        const std::vector<std::string> expected =
            *row.started ? std::vector<std::string>{row.started} : std::vector<std::string>{};
        EXPECT_EQ(g_effectsStarted, expected) << row.kind;
        EXPECT_EQ(object->IsDestroyed(), row.destroyed) << row.kind;
        object->Remove();
    }
}

// A wreck that breaks up loses its named part and leaves debris under an id
// of the client's own; the debris smokes from its exhaust dummy, placed by
// its size, and the explosion starts under it.
struct BrokenUp {
    WorldObject* debris;
    float speed;
    bool radial;
};
std::vector<BrokenUp> g_brokenUp;

TEST_F(ReplicaDrawing, DebrisReplacesABrokenPartAndSmokesFromItsExhaust)
{
    ClientEffects().debrisExplosion = [](const Vec3&) { g_effectsStarted.push_back("debris"); };
    ClientEffects().breakUp = [](WorldObject& debris, float speed, bool radial) {
        g_brokenUp.push_back({&debris, speed, radial});
    };
    g_effectsStarted.clear();
    g_brokenUp.clear();
    script::Role& debrisRole = NewRole(5);
    GiveBoxModel(debrisRole, {0}, {{"dum exhaust", {0, -1, 0.5f}}});
    debrisRole.character->size = 2.0f;
    script::Role& wreckRole = NewRole(5);
    GiveBoxModel(wreckRole, {0}, {{"Turret", {0, -1, 0}}});
    wreckRole.destruction.emplace();
    wreckRole.destruction->type = 3;
    wreckRole.destruction->remove = "Turret";
    wreckRole.destruction->role = &debrisRole;
    wreckRole.destruction->scale = 3;
    wreckRole.destruction->symmetric = true;
    WorldObject* wreck = Make(wreckRole, kEnemySide, {3, 0, 4});
    const uint32_t before = WorldObjectTable::Count();

    wreck->OnDestroyed(7);
    EXPECT_TRUE(wreck->IsDestroyed());
    Vec3 ignored;
    EXPECT_FALSE(wreck->Shape()->FindPartPosition(ignored, "Turret", 0));
    EXPECT_EQ(g_effectsStarted, std::vector<std::string>{"debris"});
    ASSERT_EQ(WorldObjectTable::Count(), before + 1);
    EXPECT_EQ(WorldObjectTable::FindById(7), nullptr);  // the server's number names nothing here
    WorldObject* debris = nullptr;
    for (WorldObject* o : WorldObjectTable::Snapshot())
        if (o->GetRole() == &debrisRole)
            debris = o;
    ASSERT_NE(debris, nullptr);
    EXPECT_GE(debris->GetId(), WorldObjectTable::kFirstClientOnlyId);
    EXPECT_NEAR(debris->Position().x, 3.0f, 1e-4f);
    const std::vector<ParticleEmitter*> smoke = debris->PartEmitters();
    ASSERT_EQ(smoke.size(), 1u);
    EXPECT_EQ(smoke[0]->Group(), 0);
    EXPECT_NEAR(smoke[0]->Position().y, -2.0f, 1e-4f);  // the dummy's place at twice the size
    EXPECT_NEAR(smoke[0]->Position().z, 5.0f, 1e-4f);
    // Its parts fly off trailing smoke, at the record's speed and spread.
    ASSERT_EQ(g_brokenUp.size(), 1u);
    EXPECT_EQ(g_brokenUp[0].debris, debris);
    EXPECT_EQ(g_brokenUp[0].speed, 3.0f);
    EXPECT_TRUE(g_brokenUp[0].radial);
}

} // namespace
