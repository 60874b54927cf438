// Client replicas in a full saved game: each kind saved and loaded into a
// fresh client world comes back with its state and references, references
// that no longer resolve load as none, and damaged replica blocks are
// refused before anything of the running game changes.
#include "session/saved_game.h"

#include "fake_direct_play.h"
#include "session/level_start.h"
#include "session/message_queue.h"
#include "session/network.h"
#include "session/server_thread.h"
#include "objects/role_classes.h"
#include "objects/weapon_state.h"
#include "session/game_state.h"
#include "session/save_slots.h"
#include "tests/objects/client_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>

#include <unistd.h>

namespace SavedGame::test {
namespace {

namespace fs = std::filesystem;

class SavedReplicas : public ClientWorld {
protected:
    void SetUp() override
    {
        ClientWorld::SetUp();
        char name[] = "/tmp/trevok-replicas-XXXXXX";
        dir_ = mkdtemp(name);
        if (const char* old = std::getenv("XDG_DATA_HOME"))
            saved_ = old;
        setenv("XDG_DATA_HOME", dir_.c_str(), 1);
        GetHooks() = {};
        GetHooks().stopLevel = [] { Empty(); };
    }
    void TearDown() override
    {
        GetHooks() = {};
        if (saved_)
            setenv("XDG_DATA_HOME", saved_->c_str(), 1);
        else
            unsetenv("XDG_DATA_HOME");
        fs::remove_all(dir_);
        ClientWorld::TearDown();
    }

    // Saves the running replicas, empties the client world and loads.
    void SaveAndLoad()
    {
        ASSERT_TRUE(SaveGame("r.sav", 1));
        Empty();
        ASSERT_EQ(WorldObjectTable::Count(), 0u);
        std::string error;
        auto bytes = ReadSave("r.sav", &error);
        ASSERT_TRUE(bytes) << error;
        ASSERT_TRUE(Load(*bytes, &error)) << error;
    }

    // The state block of the replica saved under `id`.
    std::vector<uint8_t> StateOf(uint32_t id)
    {
        EXPECT_TRUE(SaveGame("s.sav", 1));
        auto bytes = ReadSave("s.sav");
        File file;
        EXPECT_TRUE(bytes && Parse(*bytes, file));
        for (const ObjectRecord& r : file.world->clientObjects)
            if (r.objectId == id)
                return r.state;
        ADD_FAILURE() << "no replica " << id;
        return {};
    }

    fs::path dir_;
    std::optional<std::string> saved_;
};

std::vector<uint8_t> Words(std::initializer_list<uint32_t> words)
{
    std::vector<uint8_t> out;
    trevok::ByteWriter w(out);
    for (uint32_t v : words)
        w.U32(v);
    return out;
}

TEST_F(SavedReplicas, StateBlocksHoldReferencesAsNumbers)
{
    script::Role& plain = NewRole(99);
    plain.character.reset();
    script::Role& shown = NewRole(99);
    shown.character.reset();
    script::Role& armed = NewRole(0, 100, 0);
    script::Role& walker = NewRole(2);
    WorldObject* a = Make(plain, 1, {0, 0, 0});
    WorldObject* b = Make(plain, 1, {1, 0, 0});
    b->SetRole(&shown);
    Unit* c = Make<Unit>(armed, 1, {2, 0, 0});
    ASSERT_TRUE(c && c->GetWeapon());
    c->GetWeapon()->weaponType = 0;
    c->GetWeapon()->ammoType = 3;
    c->AttackTarget(a, 0, false, false);
    Unit* d = Make<Unit>(armed, 1, {3, 0, 0});
    d->SetWeaponRole(kNoWeapon);
    MovingObject* e = Make<MovingObject>(walker, 1, {4, 0, 0});
    ASSERT_TRUE(d && e);
    const struct {
        const char* name;
        uint32_t id;
        std::vector<uint8_t> state;
    } cases[] = {
        {"no shown role", a->GetId(), Words({0})},
        {"shown role", b->GetId(), Words({uint32_t(shown.id) + 1})},
        {"weapon type 0 writes 1", c->GetId(), Words({0, 0, 0, 1, 3, 0, a->GetId() + 1})},
        {"no weapon writes 0, 0", d->GetId(), Words({0, 0, 0, 0, 0, 0, 0})},
        {"moving object", e->GetId(), Words({0, 0, 0})},
    };
    for (const auto& t : cases)
        EXPECT_EQ(StateOf(t.id), t.state) << t.name;
}

TEST_F(SavedReplicas, EachKindComesBackWithItsState)
{
    script::Role& armed = NewRole(0, 100, 0);
    script::Role& lift = NewRole(8);
    script::Role& pickUp = NewRole(10);
    script::Role& deployer = NewRole(16, 100, 0);
    script::Role& shot = NewRole(99);
    shot.character.reset();

    Unit* target = Make<Unit>(armed, 2, {9, 0, 0});
    Unit* unit = Make<Unit>(armed, 1, {1, 0, 0});
    unit->AttackTarget(target, 0, false, false);
    unit->SetHitPoints(37);
    unit->AppendOrder({LocalOrder::kWaypoint, 5, 0, 0, {1, 2, 3}, 7, 0});
    unit->AppendOrder({LocalOrder::kHold, -1, 0, 0, {0, 0, 0}, 0, 0});
    Unit* riderA = Make<Unit>(armed, 1, {2, 0, 0});
    Unit* riderB = Make<Unit>(armed, 1, {3, 0, 0});
    auto* platform = Make<TypedObject8>(lift, 0, {0, 0, 0});
    ASSERT_TRUE(platform);
    const Vec3 track[4] = {{0, 0, 0}, {0, 1, 0}, {0, 2, 0}, {0, 3, 0}};
    platform->SetPartHierarchy(track, Quaternion::Identity(), true);
    platform->SetSpeed(0.5f);
    const uint32_t riders[] = {riderA->GetId(), riderB->GetId()};
    ASSERT_TRUE(platform->StartWithRiders(false, riders));
    platform->PauseTimer(10);
    auto* item = Make<TypedObject10>(pickUp, 0, {5, 0, 0});
    item->MarkTaken();
    auto* deployed = Make<TypedUnit16>(deployer, 2, {6, 0, 0});
    deployed->PlayDeployment();
    auto* flying = new WorldProjectile(1, &shot, {0, 1, 0}, Quaternion::Identity(), 20.0f, unit->GetId(),
                                       static_cast<int32_t>(target->GetId()), WorldObjectTable::TakeNextId());
    flying->Activate(Ticks(2.0f), 2.0f);
    const Vec3 velocity = flying->Velocity();
    const uint32_t ids[] = {target->GetId(), unit->GetId(), platform->GetId(), item->GetId(), deployed->GetId(),
                            flying->GetId()};
    const uint32_t count = WorldObjectTable::Count();

    SaveAndLoad();

    EXPECT_EQ(WorldObjectTable::Count(), count);
    for (uint32_t id : ids)
        ASSERT_TRUE(WorldObjectTable::FindById(id)) << id;
    auto* u = dynamic_cast<Unit*>(WorldObjectTable::FindById(ids[1]));
    ASSERT_TRUE(u);
    EXPECT_EQ(u->HitPoints(), 37);
    EXPECT_EQ(u->GetTarget(), WorldObjectTable::FindById(ids[0]));
    ASSERT_EQ(u->Orders().size(), 2u);
    EXPECT_EQ(u->Orders()[0].kind, LocalOrder::kWaypoint);
    // No level runs: the polygon the order named is not there.
    EXPECT_EQ(u->Orders()[0].polygon, MotionRecord::kNoPolygon);
    EXPECT_EQ(u->Orders()[1].kind, LocalOrder::kHold);

    auto* p = dynamic_cast<TypedObject8*>(WorldObjectTable::FindById(ids[2]));
    ASSERT_TRUE(p);
    EXPECT_EQ(p->RiderCount(), 2u);
    EXPECT_TRUE(WorldObjectTable::FindById(riders[0])->StaticPlacement());
    EXPECT_TRUE(WorldObjectTable::FindById(riders[1])->StaticPlacement());
    EXPECT_FALSE(p->Running());
    EXPECT_EQ(p->Speed(), 0.5f);
    EXPECT_EQ(p->PathAt(1.0f), (Vec3{0, 3, 0}));

    auto* k = dynamic_cast<TypedObject10*>(WorldObjectTable::FindById(ids[3]));
    ASSERT_TRUE(k);
    EXPECT_TRUE(k->IsSolid());

    // A loaded deployer waits for the server's deployment again.
    auto* dep = dynamic_cast<TypedUnit16*>(WorldObjectTable::FindById(ids[4]));
    ASSERT_TRUE(dep);
    EXPECT_FALSE(dep->Deployed());

    auto* f = dynamic_cast<WorldProjectile*>(WorldObjectTable::FindById(ids[5]));
    ASSERT_TRUE(f);
    EXPECT_EQ(f->Velocity(), velocity);
    EXPECT_EQ(f->Target(), WorldObjectTable::FindById(ids[0]));
    // It goes on along its path from its own launch.
    EXPECT_EQ(f->PositionAt(Ticks(1.0f)), (Vec3{0, 1, 0}) + velocity);
    f->Update(Ticks(3.0f), 3.0f);
    EXPECT_EQ(f->Position(), (Vec3{0, 1, 0}) + velocity);

    // New replicas take ids after the stored counter.
    EXPECT_GT(WorldObjectTable::TakeNextId(), ids[5]);
}

TEST_F(SavedReplicas, ReferencesThatAreGoneLoadAsNone)
{
    script::Role& armed = NewRole(0, 100, 0);
    Unit* target = Make<Unit>(armed, 2, {9, 0, 0});
    Unit* unit = Make<Unit>(armed, 1, {1, 0, 0});
    unit->AttackTarget(target, 0, false, false);
    const uint32_t unitId = unit->GetId();
    ASSERT_TRUE(SaveGame("r.sav", 1));
    auto bytes = ReadSave("r.sav");
    ASSERT_TRUE(bytes);
    File file;
    ASSERT_TRUE(Parse(*bytes, file));
    // The target left the save (it was destroyed just before).
    std::erase_if(file.world->clientObjects, [&](const ObjectRecord& r) { return r.objectId == target->GetId(); });
    Empty();
    std::string error;
    ASSERT_TRUE(Load(Write(file), &error)) << error;
    auto* u = dynamic_cast<Unit*>(WorldObjectTable::FindById(unitId));
    ASSERT_TRUE(u);
    EXPECT_EQ(u->GetTarget(), nullptr);
}

TEST_F(SavedReplicas, DamagedReplicaRecordsFailBeforeTheGameChanges)
{
    script::Role& armed = NewRole(0, 100, 0);
    script::Role& lift = NewRole(8);
    Unit* unit = Make<Unit>(armed, 1, {1, 0, 0});
    unit->AppendOrder({LocalOrder::kWaypoint, 5, 0, 0, {1, 2, 3}, 7, 0});
    Make<TypedObject8>(lift, 0, {0, 0, 0});
    ASSERT_TRUE(SaveGame("r.sav", 1));
    auto saved = ReadSave("r.sav");
    ASSERT_TRUE(saved);
    File good;
    std::string why;
    ASSERT_TRUE(Parse(*saved, good, &why)) << why;
    auto find = [](File& f, bool unitRecord) -> ObjectRecord& {
        for (ObjectRecord& r : f.world->clientObjects)
            if (r.info->unit == unitRecord)
                return r;
        return f.world->clientObjects.front();
    };
    auto word = [](std::vector<uint8_t>& bytes, size_t at, uint32_t v) {
        trevok::ByteWriter(std::span<uint8_t>(bytes).subspan(at)).U32(v);
    };
    const struct {
        const char* name;
        std::function<void(File&)> edit;
    } cases[] = {
        {"unknown class tag", [&](File& f) { word(find(f, true).image, 0, 77); }},
        {"server tag on a replica", [&](File& f) { word(find(f, false).image, 0, 1); }},
        {"duplicate id", [&](File& f) { find(f, false).objectId = find(f, true).objectId; }},
        {"order kind out of range", [&](File& f) { word(find(f, true).state, 12, 11); }},
        {"huge order count", [&](File& f) { word(find(f, true).state, 8, 0x10000000); }},
        {"slot out of range", [&](File& f) {
             auto& s = find(f, true).state;
             word(s, 4, 1);
             std::vector<uint8_t> pair = Words({5, 13});
             s.insert(s.begin() + 8, pair.begin(), pair.end());
         }},
        {"weapon type out of range", [&](File& f) {
             auto& s = find(f, true).state;
             word(s, s.size() - 16, 17);
         }},
        {"huge rider count", [&](File& f) { word(find(f, false).state, 4, 0xFFFFFFF0u); }},
        {"side out of range", [&](File& f) { word(find(f, true).image, 4, 10); }},
    };
    const uint32_t before = WorldObjectTable::Count();
    for (const auto& t : cases) {
        File bad = good;
        t.edit(bad);
        std::string error;
        EXPECT_FALSE(Load(Write(bad), &error)) << t.name;
        EXPECT_FALSE(error.empty()) << t.name;
        EXPECT_EQ(WorldObjectTable::Count(), before) << t.name;
    }
}

// A disguised walker keeps its disguise while the object it is disguised
// as is in the save, drawn in that object's look again, and that look comes
// back with its own box, clip-tested as it is drawn; one disguised as an
// object that is gone loses it.
TEST_F(SavedReplicas, ADisguiseComesBackWhileItsObjectDoes)
{
    script::Role& walker = NewRole(2);
    GiveBoxModel(walker, {0});
    MovingObject* spy = Make<MovingObject>(walker, 1, {1, 0, 0});
    const uint32_t spyId = spy->GetId();
    const uint32_t lookId = Make<MovingObject>(walker, 2, {2, 0, 0})->GetId();
    spy->SetCrouch(false, true);
    ASSERT_TRUE(SaveGame("r.sav", 1));
    auto bytes = ReadSave("r.sav");
    ASSERT_TRUE(bytes);
    File file;
    ASSERT_TRUE(Parse(*bytes, file));
    const struct {
        const char* name;
        uint32_t disguise;
        int32_t expected;
    } cases[] = {
        {"object present", lookId, int32_t(lookId)},
        {"object gone", 4000, -1},
    };
    for (const auto& t : cases) {
        for (ObjectRecord& r : file.world->clientObjects) {
            if (r.objectId == spyId)
                trevok::ByteWriter(std::span<uint8_t>(r.image).subspan(0x104)).U32(t.disguise);
        }
        Empty();
        std::string error;
        ASSERT_TRUE(Load(Write(file), &error)) << error;
        auto* back = dynamic_cast<MovingObject*>(WorldObjectTable::FindById(spyId));
        ASSERT_TRUE(back) << t.name;
        EXPECT_TRUE(back->IsTranslucent()) << t.name;
        EXPECT_EQ(back->DisguiseId(), t.expected) << t.name;
        EXPECT_EQ(back->DisguiseShape() != nullptr, t.expected != -1) << t.name;
        std::vector<ClientDraw> drawn;
        WorldObjectTable::DrawHook() = [&](const ClientDraw& d) { drawn.push_back(d); };
        back->PlaceAndDraw();
        WorldObjectTable::DrawHook() = nullptr;
        const auto look = std::find_if(drawn.begin(), drawn.end(), [](const ClientDraw& d) { return d.shape; });
        ASSERT_EQ(look != drawn.end(), t.expected != -1) << t.name;
        if (look != drawn.end()) {
            EXPECT_EQ(look->shape, back->DisguiseShape()) << t.name;
            ASSERT_NE(look->shape->Root(), nullptr) << t.name;
            EXPECT_NE(look->shape->Root()->box_, nullptr) << t.name;
        }
    }
}

// A replica made without a role could not be made again: it stays out of
// the save instead of making the whole save unloadable.
TEST_F(SavedReplicas, AReplicaWithoutARoleStaysOutAndTheSaveLoads)
{
    script::Role& walker = NewRole(2);
    const uint32_t kept = Make<MovingObject>(walker, 1, {1, 0, 0})->GetId();
    new WorldObject(1, nullptr, {2, 0, 0}, Quaternion::Identity(), 0, WorldObjectTable::TakeNextId());
    SaveAndLoad();
    EXPECT_EQ(WorldObjectTable::Count(), 1u);
    EXPECT_TRUE(WorldObjectTable::FindById(kept));
}

// The level load names its own parts; the saved ones join them once each.
TEST_F(SavedReplicas, PartNamesComeBackOnceEach)
{
    InstallLevelSections();
    GetHooks().stopLevel = [] {
        Empty();
        WorldObjectTable::ExhaustParts().clear();
    };
    GetHooks().loadLevel = [](const LevelNames&) {
        WorldObjectTable::ExhaustParts() = {"dum exhaust"};
        return true;
    };
    GetHooks().handshake = nullptr;
    WorldObjectTable::ExhaustParts() = {"dum exhaust", "jet left", "jet right"};
    for (int round = 0; round < 2; ++round) {
        SaveAndLoad();
        EXPECT_EQ(WorldObjectTable::ExhaustParts(), (std::vector<std::string>{"dum exhaust", "jet left", "jet right"}))
            << round;
    }
    WorldObjectTable::ExhaustParts().clear();
}

// The players' start runs outside the hand-over (the server thread takes
// their ready requests) with the saved time; when it fails the session ends.
TEST_F(SavedReplicas, TheNetworkedStartRunsAfterTheHandOverAtTheSavedTime)
{
    script::Role& armed = NewRole(0, 100, 0);
    Make<Unit>(armed, 1, {1, 0, 0})->Activate(Ticks(4.0f), 4.0f);
    std::optional<int32_t> depth;
    uint64_t startTicks = 0;
    bool answer = true;
    GetHooks().handshake = [&](uint64_t ticks) {
        depth = GameState::Depth();
        startTicks = ticks;
        return answer;
    };
    int stops = 0;
    GetHooks().stopLevel = [&] {
        ++stops;
        Empty();
    };
    AppTime::SetGameTime(static_cast<int64_t>(Ticks(4.0f)));
    GetHooks().gameSeconds = [] { return 4.0f; };
    SaveAndLoad();
    ASSERT_TRUE(depth);
    EXPECT_EQ(*depth, 0);
    EXPECT_EQ(startTicks, Ticks(4.0f));
    EXPECT_EQ(stops, 1);
    EXPECT_EQ(WorldObjectTable::Count(), 1u);

    answer = false;
    auto bytes = ReadSave("r.sav");
    ASSERT_TRUE(bytes);
    std::string error;
    EXPECT_FALSE(Load(*bytes, &error));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(stops, 3);  // replaced, then stopped again as the session ends
    EXPECT_EQ(WorldObjectTable::Count(), 0u);
}

// A networked load waits for every player to say ready again; a player who
// never answers ends the wait at the game's own time-out: the load fails
// with its reason and the session ends, never hanging on the hand-over.
TEST_F(SavedReplicas, ANetworkedLoadNeverWaitsForeverOnAPlayer)
{
    script::Role& armed = NewRole(0, 100, 0);
    Make<Unit>(armed, 1, {1, 0, 0});
    ASSERT_TRUE(SaveGame("net.sav", 1));
    auto bytes = ReadSave("net.sav");
    ASSERT_TRUE(bytes);
    InstallLevelSections();
    int stops = 0;
    GetHooks().stopLevel = [&] {
        ++stops;
        Empty();
    };
    GetHooks().loadLevel = [](const LevelNames&) { return true; };
    const struct {
        const char* name;
        std::vector<uint32_t> ready;  // the peers that answer
        bool loads;
    } cases[] = {
        {"both peers ready", {10, 11}, true},
        {"one peer never answers", {10}, false},
        {"no peer answers", {}, false},
    };
    for (const auto& t : cases) {
        SCOPED_TRACE(t.name);
        stops = 0;
        LevelStart::WaitLimits limits;
        limits.timeoutMs = 100;
        limits.cancelled = nullptr;
        limits.showLoading = nullptr;
        LevelStart::SetWaitLimits(limits);
        auto server = std::make_shared<FakeDirectPlay>();
        ASSERT_TRUE(Server::Start(server));
        {
            GameState::Hold hold;
            for (uint32_t peer : {10u, 11u}) {
                Server::AddPlayer("p" + std::to_string(peer), peer);
                std::lock_guard lock(server->mutex);
                server->present.push_back(peer);
            }
        }
        auto client = std::make_shared<FakeDirectPlay>();
        Client::SetDirectPlay(client, 5);
        Network::Create();
        // The peers answer while the server waits for them.
        Server::SetWaitingForPlayers(true);
        for (uint32_t peer : t.ready)
            server->Deliver(peer, {MessageType::kPlayerReady});
        client->Deliver(kServerPlayerId, {LevelStart::kAllReady});

        std::string error;
        EXPECT_EQ(Load(*bytes, &error), t.loads) << error;
        EXPECT_EQ(error.empty(), t.loads) << error;
        EXPECT_EQ(WorldObjectTable::Count(), t.loads ? 1u : 0u);
        EXPECT_EQ(stops, t.loads ? 1 : 2) << "replaced, then stopped again as the session ends";
        EXPECT_EQ(LevelStart::CurrentWaitLimits().timeoutMs, 100u) << "the game's limits are kept";

        Network::Shutdown();
        Server::SetWaitingForPlayers(false);
        LevelStart::SetWaitLimits({});
    }
}

} // namespace
} // namespace SavedGame::test
