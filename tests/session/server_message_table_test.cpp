// Every server message type through the client's applier, with the blocks
// written by server_messages.py from their layouts: each valid message has
// its effect on the replicas or reaches its hook; each broken form (a byte
// short, a byte long, a text without its NUL, a count beyond the block) is
// dropped and changes nothing.
#include "tests/session/message_world.h"

#include "app/app_time.h"
#include "app/clock.h"
#include "platform/byte_cursor.h"
#include "session/client_apply.h"
#include "session/client_hooks.h"
#include "session/level_session.h"
#include "session/message_queue.h"
#include "session/message_sizes.h"
#include "session/server_thread.h"
#include "world/collision_polygon.h"
#include "world/fog_of_war.h"
#include "world/level.h"
#include "world/level_fixture.h"
#include "Veapi/light_set.h"
#include "Veapi/particles.h"
#include "objects/client_effects.h"
#include "objects/orders.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <limits>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using Client::Applied;
using namespace MessageWorld;

std::vector<uint8_t> Fixture(uint32_t type)
{
    char name[32];
    std::snprintf(name, sizeof name, "type_%03u.bin", type);
    std::ifstream in(std::filesystem::path(TREVOK_FIXTURES_DIR) / "session" / "server_messages" / name,
                     std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class ServerMessageTable : public ::testing::Test {
public:
    void SetUp() override { Reset(); }

    void TearDown() override
    {
        ClientHooks::Get() = ClientHooks{};
        ClientServices::Get() = ClientServices{};
        FogOfWar::DestroyGlobal();
        WorldObjectTable::DestroyAll();
        LightSet::DestroyGlobals();
        RoleTable::Global().ForgetAll();
        TeamTable::Clear();
        CommandFileQueue.Clear();
        ClientToServerQueue.Clear();
        AppTime::SetGameSpeed(1.0f);
        AppTime::SetGameTime(0);
    }

    void Reset()
    {
        log.clear();
        MessageWorld::Build(roles);
        ClientServices& services = ClientServices::Get();
        services.sendRequest = [this](const void* block, uint32_t size, bool) {
            const auto* b = static_cast<const uint8_t*>(block);
            requests.emplace_back(b, b + size);
            return true;
        };
        requests.clear();
        CommandFileQueue.Clear();
        ClientToServerQueue.Clear();
        // The clock stands still; the messages move it.
        AppTime::SetGameSpeed(0.0f);
        AppTime::SetGameTime(0);
        // A fog that has seen nothing yet: dense everywhere.
        FogOfWar::DestroyGlobal();
        FogOfWar::Global() = new FogOfWar(64, 2048);
        FogOfWar::Global()->SetWorldArea(-32, -32, 32, 32);
        FogOfWar::Global()->SetEnabled(true);
        InstallRecorders();
    }

    void Record(std::string entry) { log.push_back(std::move(entry)); }
    static std::string At(const Vec3& p)
    {
        char text[64];
        std::snprintf(text, sizeof text, "(%.1f %.1f %.1f)", double(p.x), double(p.y), double(p.z));
        return text;
    }
    static std::string Id(const WorldObject& o) { return std::to_string(o.GetId()); }

    void InstallRecorders()
    {
        ClientHooks& h = ClientHooks::Get();
        h = ClientHooks{};
        h.print = [this](const char* t) { Record(std::string("print ") + t); };
        h.speak = [this](WorldObject& o, std::string t, float scale) {
            Record("speak " + Id(o) + " " + t + " " + std::to_string(scale));
        };
        h.controlsOff = [this] { Record("controls off"); };
        h.sideDefeated = [this] { Record("defeated"); };
        h.cameraMove = [this](const float (&p)[12], float rate) {
            Record("camera " + std::to_string(p[9]) + " " + std::to_string(rate));
        };
        h.selectAndTrack = [this](WorldObject& o) { Record("track " + Id(o)); };
        h.addToSelection = [this](WorldObject& o) { Record("select " + Id(o)); };
        h.clearSelection = [this] { Record("clear selection"); };
        h.unitPanel = [this](WorldObject& o) { Record("panel " + Id(o)); };
        h.showText = [this](WorldObject& o, std::string t) { Record("beside " + Id(o) + " " + t); };
        h.pickUpText = [this](WorldObject& o, std::string t) { Record("pick-up " + Id(o) + " " + t); };
        h.bigExplosion = [this](const Vec3&, int64_t) { Record("explosion"); };
        h.spotlight = [this](const Vec3&, int64_t) { Record("spotlight"); };
        h.explosionArea = [this](const Vec3&, const Vec3&) { Record("area"); };
        h.pulsingLight = [this](bool blinking, const Vec3&, const Colour& a, const Colour& b, float period) {
            Record(std::string(blinking ? "blink " : "light ") + std::to_string(a.red) + " " + std::to_string(b.blue) +
                   " " + std::to_string(period));
        };
        h.textureAnimation = [this](WorldObject& o, int32_t n, const float* pairs) {
            Record("texture " + Id(o) + " " + std::to_string(n) + " " + std::to_string(pairs[2 * n - 1]));
        };
        h.smoke = [this](WorldObject& o) { Record("smoke " + Id(o)); };
        h.addShadow = [this](WorldObject& o) { Record("shadow " + Id(o)); };
        h.playSound = [this](int32_t n) { Record("sound " + std::to_string(n)); };
        h.playSoundAt = [this](int32_t n, const Vec3& p) { Record("sound " + std::to_string(n) + " at " + At(p)); };
        h.launchBurst = [this](const Vec3& p) { Record("launch burst " + At(p)); };
        h.groundHit = [this](const Vec3&) { Record("ground"); };
        h.shotFire = [this](const Vec3&) { Record("fire"); };
        h.bigBurst = [this](const Vec3&) { Record("big burst"); };
        h.spray = [this](const Vec3&, float dx, float dz) {
            char text[48];
            std::snprintf(text, sizeof text, "spray %.2f %.2f", double(dx), double(dz));
            Record(text);
        };
        h.destructionEffect = [this](WorldObject& o) { Record("dissolve " + Id(o)); };
        h.quickWeaponEnd = [this](WorldObject& o) { Record("quick weapon ends " + Id(o)); };
        h.polygonBelow = [](const Vec3&) { return true; };
    }

    // What a dropped message must leave as it was.
    std::string Fingerprint() const
    {
        std::ostringstream out;
        for (WorldObject* o : WorldObjectTable::Snapshot()) {
            const ReplicaMarks& m = o->Marks();
            out << o->GetId() << ':' << o->Side() << ',' << o->Position().x << ',' << o->Position().z << ','
                << o->HitPoints() << ',' << o->IsAlive() << ',' << o->LastSequence() << ',' << o->ShownRole() << ','
                << o->GetCarriedFlag() << ',' << m.aiState << ',' << m.alertSlot << ',' << m.defogging << ','
                << m.controlledHere << ',' << o->ProgressShown();
            if (auto* mover = dynamic_cast<MovingObject*>(o)) {
                out << ',' << mover->IsWalking() << ',' << mover->Orders().size() << ',' << mover->IsCrouched() << ','
                    << mover->GetViewRange();
                if (Inventory* inventory = mover->GetInventory())
                    out << ',' << inventory->Items().size();
            }
            if (auto* unit = dynamic_cast<Unit*>(o))
                out << ',' << unit->IsAttacking() << ',' << unit->SweepActive() << ',' << unit->GetArmour() << ','
                    << unit->GetItemList().size();
            if (auto* lift = dynamic_cast<TypedObject8*>(o))
                out << ',' << lift->Running() << ',' << lift->Speed() << ',' << lift->Loops() << ','
                    << lift->PathAt(1.0f).y;
            if (auto* pickUp = dynamic_cast<TypedObject10*>(o))
                out << ',' << pickUp->IsTaken() << ',' << pickUp->IsUsableSwitch() << ',' << pickUp->IsSpentSwitch();
            out << ';';
        }
        for (int32_t side = 0; side < 5; ++side) {
            if (const TeamRecord* team = TeamTable::Find(side))
                out << "team" << side << '=' << team->score << ';';
        }
        out << "clock " << AppTime::GameSeconds() << ' ' << Server::ClientClock().Speed() << ';';
        out << "queues " << CommandFileQueue.Count() << ' ' << requests.size() << ' ' << log.size() << ';';
        out << "fog " << FogOfWar::Global()->ClearPoints().Count();
        return out.str();
    }

    // A replica of the world by id and class; a missing one fails the row.
    template <typename T = WorldObject>
    static T* Get(uint32_t id)
    {
        T* found = dynamic_cast<T*>(WorldObjectTable::FindById(id));
        if (!found)
            throw std::runtime_error("no replica " + std::to_string(id) + " of that class");
        return found;
    }
    static WorldObject* Find(uint32_t id) { return WorldObjectTable::FindById(id); }
    bool Logged(const std::string& entry) const { return std::find(log.begin(), log.end(), entry) != log.end(); }

    std::deque<script::Role> roles;
    std::vector<std::string> log;
    std::vector<std::vector<uint8_t>> requests;
};

struct Row {
    uint32_t type;
    Applied result;
    std::vector<uint32_t> prelude;           // applied first, as the same fixtures
    std::function<void()> setup;             // state the row needs besides messages
    std::function<void(ServerMessageTable&)> check;
};

// The broken forms of a message under its size row; each must be dropped.
std::vector<std::pair<std::string, std::vector<uint8_t>>> Broken(const std::vector<uint8_t>& good)
{
    using MessageSizes::Rule;
    std::vector<std::pair<std::string, std::vector<uint8_t>>> out;
    const MessageSizes::Row* row = MessageSizes::Find(MessageSizes::Direction::kToClient, LoadU32(good.data()));
    if (!row)
        return out;
    switch (row->rule) {
    case Rule::kExact: {
        out.emplace_back("one byte short", std::vector<uint8_t>(good.begin(), good.end() - 1));
        std::vector<uint8_t> longer = good;
        longer.push_back(0);
        out.emplace_back("one byte long", longer);
        break;
    }
    case Rule::kTexts: {
        std::vector<uint8_t> unterminated = good;
        for (size_t i = row->size; i < unterminated.size(); ++i)
            if (unterminated[i] == 0)
                unterminated[i] = 'A';
        out.emplace_back("a text without its NUL", unterminated);
        out.emplace_back("no text at all", std::vector<uint8_t>(good.begin(), good.begin() + row->size));
        break;
    }
    case Rule::kWordList:
    case Rule::kPairList:
        for (uint32_t n : {LoadU32(good.data() + row->countAt) + 1, 0xFFFFFFFFu, 0x40000000u}) {
            std::vector<uint8_t> counted = good;
            StoreU32(counted.data() + row->countAt, n);
            out.emplace_back("count " + std::to_string(n), counted);
        }
        break;
    case Rule::kAnyLength:
        break;
    }
    return out;
}

TEST_F(ServerMessageTable, EveryTypeAppliesItsEffectAndDropsItsBrokenForms)
{
    using T = ServerMessageTable;
    const Row rows[] = {
        {0, Applied::kNotHere, {}, {}, {}},  // the start handshake reads it
        {2, Applied::kNotHere, {}, {}, {}},
        {3, Applied::kApplied, {}, {}, [](T& t) {
             EXPECT_TRUE(Get(kWalker)->Marks().controlledHere);
             EXPECT_TRUE(t.Logged("panel 40"));
             const auto& squad = WorldObjectTable::SquadList();
             EXPECT_EQ(std::count(squad.begin(), squad.end(), Get(kWalker)), 1);
         }},
        // The attack goes first, ahead of an order already queued, as the server's unit put it.
        {27, Applied::kApplied, {}, [] { Get<Unit>(kGunner)->AppendOrder(LocalOrder{LocalOrder::kHold}); },
         [](T&) {
             const auto& orders = Get<Unit>(kGunner)->Orders();
             ASSERT_EQ(orders.size(), 2u);
             EXPECT_EQ(orders[0].kind, LocalOrder::kAttackTarget);
             EXPECT_EQ(orders[0].value, int32_t(kEnemy));
             EXPECT_EQ(orders[0].attackFlag, 0);
             EXPECT_EQ(orders[1].kind, LocalOrder::kHold);
         }},
        {38, Applied::kApplied, {}, {}, [](T&) { EXPECT_EQ(Get(kWalker)->HitPoints(), 90); }},
        {39, Applied::kApplied, {}, {}, [](T&) { EXPECT_EQ(Get(kWalker)->HitPoints(), 90); }},
        {40, Applied::kApplied, {}, {}, [](T&) {
             auto* walker = Get<MovingObject>(kWalker);
             EXPECT_TRUE(walker->IsWalking());
             EXPECT_EQ(walker->Position().x, 1.0f);
             EXPECT_EQ(walker->NextPoint().x, 1.0f);
             EXPECT_EQ(walker->FinalDestination().x, 2.0f);
         }},
        {41, Applied::kRefused, {}, {}, {}},  // a node no level has
        {42, Applied::kApplied, {}, {}, [](T&) { EXPECT_TRUE(Get<MovingObject>(kWalker)->IsWalking()); }},
        {43, Applied::kApplied, {}, {}, [](T&) { EXPECT_EQ(Get(kWalker)->Position().x, 5.0f); }},
        {44, Applied::kApplied, {}, {}, [](T&) { EXPECT_EQ(Get(kWalker)->Marks().alertSlot, 3); }},
        {45, Applied::kApplied, {}, {}, [](T&) {
             EXPECT_TRUE(Get<Unit>(kGunner)->IsAttacking());
             EXPECT_EQ(Get<Unit>(kGunner)->TargetPoint().x, 4.0f);
         }},
        {46, Applied::kApplied, {}, {}, [](T&) { EXPECT_EQ(Get<Unit>(kGunner)->GetTarget(), Find(kEnemy)); }},
        {47, Applied::kApplied, {46}, {}, [](T&) { EXPECT_EQ(Get<Unit>(kGunner)->GetTarget(), nullptr); }},
        {48, Applied::kApplied, {}, {}, {}},
        {49, Applied::kApplied, {}, {}, [](T&) {
             EXPECT_EQ(Get<WorldProjectile>(60)->ShooterId(), kGunner);
             EXPECT_NEAR(AppTime::GameSeconds(), 0.5f, 1e-4f);  // the launch time moved the clock on
         }},
        // The shot ends where it struck: the replica goes.
        {50, Applied::kApplied, {}, {}, [](T&) {
             EXPECT_NEAR(AppTime::GameSeconds(), 0.25f, 1e-4f);
             EXPECT_EQ(Find(kShot), nullptr);
         }},
        {51, Applied::kApplied, {}, {}, [](T&) { EXPECT_TRUE(Get<MovingObject>(kWalker)->IsDying()); }},
        {52, Applied::kApplied, {}, {}, [](T&) { EXPECT_EQ(Find(kEnemy), nullptr); }},
        {53, Applied::kApplied, {}, {}, {}},
        {54, Applied::kApplied, {}, {}, [](T&) { EXPECT_TRUE(Get<MovingObject>(kWalker)->IsCrouched()); }},
        {55, Applied::kApplied, {54}, {}, [](T&) { EXPECT_FALSE(Get<MovingObject>(kWalker)->IsCrouched()); }},
        {56, Applied::kApplied, {}, {}, [](T&) { EXPECT_EQ(Get(kWalker)->LastSequence(), 5); }},
        {57, Applied::kApplied, {}, {}, [](T&) { EXPECT_EQ(Get(kEnemy)->Side(), 3); }},
        {58, Applied::kApplied, {}, {}, [](T&) { EXPECT_EQ(Get(kWalker)->ProgressEnd(), 0.75f); }},
        {59, Applied::kApplied, {}, {}, [](T&) { EXPECT_EQ(Get(kWalker)->GetCarriedFlag(), 3); }},
        {60, Applied::kApplied, {59}, {}, [](T&) { EXPECT_EQ(Get(kWalker)->GetCarriedFlag(), 0); }},
        {61, Applied::kApplied, {59}, {}, [](T&) { EXPECT_EQ(TeamTable::Find(kOwnSide)->score, 10); }},
        {62, Applied::kApplied, {}, {}, [](T&) { EXPECT_EQ(Get(kWalker)->GetViewRange(), 35.0f); }},  // its sight 30, and 5
        {63, Applied::kApplied, {}, {}, [](T&) { EXPECT_EQ(Get(kWalker)->Position().x, 2.0f); }},
        {64, Applied::kApplied, {}, {}, [](T& t) {
             EXPECT_EQ(Get(kEnemy)->Marks().aiState, 2);
             EXPECT_EQ(Get(kEnemy)->Marks().aiStateUntil, WorldObject::SecondsToTicks(5.0f));
             EXPECT_TRUE(t.Logged("sound 36"));
         }},
        {65, Applied::kApplied, {64}, {}, [](T& t) {
             EXPECT_EQ(Get(kEnemy)->Marks().aiState, 0);
             EXPECT_TRUE(t.Logged("sound 37"));
         }},
        {66, Applied::kApplied, {}, {}, [](T&) {
             EXPECT_EQ(Get(kEnemy)->Marks().aiState, 1);
             EXPECT_EQ(Get(kEnemy)->Marks().aiStateUntil, WorldObject::SecondsToTicks(13.0f));
         }},
        {67, Applied::kApplied, {}, {}, [](T&) { EXPECT_EQ(Get(61)->Side(), 2); }},
        // The requester keeps its orders; every other squad member that can act holds.
        {68, Applied::kApplied, {}, [] {
             for (uint32_t id : {kWalker, kGunner})
                 Get<MovingObject>(id)->AppendOrder(LocalOrder{});
         }, [](T&) {
             EXPECT_EQ(Get<MovingObject>(kGunner)->Orders().front().kind, LocalOrder::kHold);
             EXPECT_EQ(Get<MovingObject>(kWalker)->Orders().front().kind, LocalOrder::kAttackTarget);
         }},
        {69, Applied::kApplied, {}, [] {
             Get<MovingObject>(kGunner)->AppendOrder(LocalOrder{});
             Get<MovingObject>(kGunner)->InsertHoldOrder();
         }, [](T&) { EXPECT_EQ(Get<MovingObject>(kGunner)->Orders().front().kind, LocalOrder::kAttackTarget); }},
        {70, Applied::kApplied, {}, {}, [](T&) {
             const GameMessage queued = CommandFileQueue.Pop();
             ASSERT_FALSE(queued.IsEmpty());
             EXPECT_STREQ(reinterpret_cast<const char*>(queued.Data()), "level.cmd");
         }},
        {71, Applied::kApplied, {}, {}, [](T& t) {
             EXPECT_TRUE(t.Logged("explosion"));
             EXPECT_TRUE(t.Logged("sound 14"));
         }},
        {74, Applied::kApplied, {}, {}, {}},
        // Under dense fog the blast is not shown, but it is heard.
        {75, Applied::kApplied, {}, {}, [](T& t) { EXPECT_EQ(t.log, std::vector<std::string>{"sound 14"}); }},
        {76, Applied::kApplied, {}, {}, [](T&) { EXPECT_EQ(Get(kWalker)->Position().x, 3.0f); }},
        {77, Applied::kApplied, {}, {}, [](T&) { EXPECT_TRUE(Get<Unit>(kGunner)->SweepActive()); }},
        // The pick-up is rebuilt from its role as the server built it.
        {81, Applied::kApplied, {}, {}, [](T&) {
             const CarriedItem* item = Get<MovingObject>(kWalker)->GetInventory()->FindById(9);
             ASSERT_NE(item, nullptr);
             EXPECT_EQ(item->kind, ItemKind::kHeal);
             EXPECT_EQ(item->amount, 2);  // the walking-speed word, 2 x 65536
         }},
        {82, Applied::kApplied, {}, {}, [](T&) {
             EXPECT_NE(Get<MovingObject>(kWalker)->GetInventory()->FindById(9), nullptr);
         }},
        // Armour worn on a body slot raises the unit's armour.
        {83, Applied::kApplied, {}, {}, [](T& t) {
             EXPECT_EQ(Get<Unit>(kGunner)->GetArmour(), kArmourValue);
             EXPECT_EQ(Get<MovingObject>(kGunner)->GetItemList().size(), 1u);
             EXPECT_TRUE(t.Logged("sound 35"));
         }},
        {84, Applied::kApplied, {}, {}, [](T& t) {
             EXPECT_EQ(Get<Unit>(kGunner)->GetArmour(), kArmourValue);
             EXPECT_TRUE(t.log.empty());
         }},
        {85, Applied::kApplied, {}, {}, [](T& t) {
             EXPECT_EQ(Get<MovingObject>(kWalker)->GetInventory()->FindById(kItemId), nullptr);
             EXPECT_TRUE(t.Logged("sound 26"));
         }},
        {86, Applied::kApplied, {}, {}, [](T& t) {
             EXPECT_EQ(Get<MovingObject>(kWalker)->GetInventory()->FindById(kItemId), nullptr);
             EXPECT_TRUE(t.log.empty());
         }},
        {87, Applied::kApplied, {}, {}, [](T&) {
             EXPECT_EQ(Get<MovingObject>(kWalker)->GetInventory()->FindById(kItemId), nullptr);
         }},
        {88, Applied::kApplied, {84}, {}, [](T&) {
             EXPECT_EQ(Get<Unit>(kGunner)->GetArmour(), 0);
             EXPECT_TRUE(Get<MovingObject>(kGunner)->GetItemList().empty());
         }},
        {89, Applied::kApplied, {}, {}, [](T&) {
             EXPECT_NE(Get<MovingObject>(kGunner)->GetInventory()->FindById(kItemId), nullptr);
         }},
        {90, Applied::kApplied, {}, {}, {}},
        {91, Applied::kApplied, {}, {}, {}},
        {92, Applied::kApplied, {}, {}, [](T&) { EXPECT_TRUE(Get<TypedObject10>(kPickUp)->IsUsableSwitch()); }},
        {93, Applied::kApplied, {}, {}, [](T&) {
             EXPECT_TRUE(Get<TypedObject10>(kPickUp)->IsTaken());
             EXPECT_FALSE(Get<TypedObject10>(kPickUp)->IsUsableSwitch());
         }},
        {94, Applied::kApplied, {}, [] { Get<MovingObject>(kWalker)->AppendOrder(LocalOrder{}); },
         [](T&) { EXPECT_TRUE(Get<MovingObject>(kWalker)->Orders().empty()); }},
        {95, Applied::kApplied, {}, {}, [](T& t) { EXPECT_TRUE(t.Logged("defeated")); }},
        // Alone the clock takes the speed as it is; request 4 answers with the sequence.
        {96, Applied::kApplied, {}, {}, [](T& t) {
             EXPECT_EQ(Server::ClientClock().Speed(), 0.5f);
             EXPECT_TRUE(t.Logged("print Game speed set to 0.50"));
             const GameMessage answer = ClientToServerQueue.Pop();
             ASSERT_EQ(answer.Size(), 8u);
             EXPECT_EQ(LoadU32(answer.Data()), 4u);
             EXPECT_EQ(LoadU32(answer.Data() + 4), 9u);
         }},
        {97, Applied::kApplied, {}, {}, [](T& t) {
             EXPECT_EQ(Server::ClientClock().Speed(), 2.0f);
             EXPECT_TRUE(t.Logged("print Game speed set to 2.00"));
             EXPECT_EQ(ClientToServerQueue.Count(), 0u);
         }},
        {98, Applied::kApplied, {}, {}, [](T&) { EXPECT_EQ(Get<TypedUnit13>(kSegment)->Linked(), Find(kWalker)); }},
        {99, Applied::kRefused, {}, {}, {}},  // the walker's role has no sever points
        {100, Applied::kApplied, {}, {}, [](T&) { EXPECT_TRUE(Get<TypedObject10>(kPickUp)->IsSpentSwitch()); }},
        {101, Applied::kApplied, {}, {}, [](T& t) { EXPECT_TRUE(t.Logged("print Hello")); }},
        {102, Applied::kApplied, {}, {}, [](T&) { EXPECT_EQ(Get<TypedObject8>(kLift)->PathAt(1.0f).y, -3.0f); }},
        {103, Applied::kApplied, {}, {}, [](T& t) { EXPECT_TRUE(t.Logged("camera 5.000000 2.000000")); }},
        {104, Applied::kApplied, {}, {}, [](T&) { EXPECT_EQ(Get<TypedObject8>(kLift)->Speed(), 0.5f); }},
        {105, Applied::kApplied, {}, {}, [](T&) {
             EXPECT_TRUE(Get<TypedObject8>(kLift)->Loops());
             EXPECT_EQ(Get<TypedObject8>(kLift)->LoopInterval(), WorldObject::SecondsToTicks(2.0f));
         }},
        {106, Applied::kApplied, {102}, {}, [](T&) {
             EXPECT_TRUE(Get<TypedObject8>(kLift)->Running());
             EXPECT_EQ(Get<TypedObject8>(kLift)->RiderCount(), 1u);
         }},
        {107, Applied::kRefused, {102}, {}, {}},  // the lift rests at its start: no backward run
        {108, Applied::kApplied, {102, 106}, {}, [](T&) { EXPECT_TRUE(Get<TypedObject8>(kLift)->Direction()); }},
        {109, Applied::kApplied, {102, 106}, {}, {}},
        {110, Applied::kApplied, {102, 106, 109}, {}, {}},
        {111, Applied::kApplied, {}, [] { LightSet::CreateGlobals(nullptr); }, [](T&) {
             EXPECT_NE(Get(kLift)->OwnLight(), nullptr);
         }},
        {112, Applied::kApplied, {}, {}, [](T& t) { EXPECT_TRUE(t.Logged("speak 40 Follow me 0.400000")); }},
        {113, Applied::kApplied, {}, {}, [](T& t) {
             EXPECT_EQ(t.log, (std::vector<std::string>{"controls off", "track 40"}));
         }},
        {114, Applied::kApplied, {}, {}, [](T& t) {
             EXPECT_EQ(t.log, (std::vector<std::string>{"controls off", "clear selection"}));
         }},
        {115, Applied::kApplied, {}, {}, [](T&) {
             ASSERT_EQ(FogOfWar::Global()->ClearPoints().Count(), 1);
             const FogClearPoint* point = *FogOfWar::Global()->ClearPoints().begin();
             EXPECT_EQ(point->kind, 1u);
             EXPECT_EQ(point->radius, 5.0f);
             EXPECT_EQ(point->remaining, static_cast<int32_t>(WorldObject::SecondsToTicks(60.0f) >> 10));
         }},
        {116, Applied::kApplied, {}, {}, [](T&) { EXPECT_TRUE(Get(kWalker)->Marks().defogging); }},
        {117, Applied::kApplied, {116}, {}, [](T&) { EXPECT_FALSE(Get(kWalker)->Marks().defogging); }},
        {118, Applied::kApplied, {}, {}, [](T& t) { EXPECT_EQ(Get(kWalker)->ShownRole(), &t.roles[kGunnerRole]); }},
        {119, Applied::kApplied, {}, {}, [](T&) { EXPECT_EQ(Get(kWalker)->LastSequence(), 3); }},
        {120, Applied::kApplied, {}, {}, {}},
        {121, Applied::kRefused, {}, {}, {}},  // no level, no door 5
        {122, Applied::kRefused, {}, {}, {}},
        {123, Applied::kApplied, {}, {}, [](T& t) { EXPECT_TRUE(t.Logged("smoke 40")); }},
        {124, Applied::kApplied, {111},
         [] {
             LightSet::CreateGlobals(nullptr);
             Colour white;
             white.Set(1, 1, 1, 1);
             Get(kWalker)->SetLight(white, white, 5.0f);
         },
         [](T&) {
             EXPECT_EQ(Get(kWalker)->OwnLight(), nullptr);
             EXPECT_NE(Get(kLift)->OwnLight(), nullptr) << "only the named object's light goes";
         }},
        {125, Applied::kApplied, {}, {}, [](T& t) { EXPECT_TRUE(t.Logged("light 1.000000 0.000000 1.000000")); }},
        {126, Applied::kApplied, {}, {}, [](T& t) { EXPECT_TRUE(t.Logged("blink 1.000000 1.000000 0.500000")); }},
        // 100 square units, far below one spotlight's share: still one.
        {127, Applied::kApplied, {}, {}, [](T& t) {
             EXPECT_EQ(t.log, (std::vector<std::string>{"spotlight", "area"}));
         }},
        {128, Applied::kApplied, {}, {}, [](T& t) { EXPECT_TRUE(t.Logged("select 40")); }},
        {129, Applied::kApplied, {}, {}, [](T& t) { EXPECT_TRUE(t.Logged("shadow 40")); }},
        {130, Applied::kApplied, {}, {}, [](T& t) { EXPECT_TRUE(t.Logged("texture 40 2 0.750000")); }},
        {131, Applied::kApplied, {}, {}, {}},
        {132, Applied::kApplied, {}, {}, [](T& t) {
             EXPECT_EQ(t.log, std::vector<std::string>{"print Take the president to the south-east exit."});
         }},
    };
    size_t covered = 0;
    for (const Row& row : rows) {
        SCOPED_TRACE("type " + std::to_string(row.type));
        const std::vector<uint8_t> good = Fixture(row.type);
        ASSERT_GE(good.size(), 4u);
        ASSERT_EQ(LoadU32(good.data()), row.type);
        Reset();
        if (row.setup)
            row.setup();
        for (uint32_t type : row.prelude)
            ASSERT_EQ(Client::ApplyServerMessage(Fixture(type)), Applied::kApplied) << "prelude " << type;
        log.clear();
        const std::string before = Fingerprint();
        for (const auto& [what, bytes] : Broken(good)) {
            EXPECT_EQ(Client::ApplyServerMessage(bytes), Applied::kRefused) << what;
            EXPECT_EQ(Fingerprint(), before) << what;
        }
        EXPECT_EQ(Client::ApplyServerMessage(good), row.result);
        if (row.result != Applied::kApplied) {
            EXPECT_EQ(Fingerprint(), before);
        }
        if (row.check)
            row.check(*this);
        ++covered;
    }
    // Every type with a row in the size table is in this table.
    size_t withRows = 0;
    for (uint32_t type = 0; type <= 200; ++type)
        withRows += MessageSizes::Find(MessageSizes::Direction::kToClient, type) != nullptr;
    EXPECT_EQ(covered, withRows);
}

// Types without a row, or ignored by the drain, never reach a handler.
TEST_F(ServerMessageTable, TypesOutsideTheTableChangeNothing)
{
    const std::string before = Fingerprint();
    for (uint32_t type : {1u, 4u, 26u, 28u, 37u, 72u, 73u, 78u, 79u, 80u, 133u, 0xFFFFFFFFu}) {
        uint8_t block[8];
        StoreU32(block, type);
        StoreU32(block + 4, kWalker);
        EXPECT_NE(Client::ApplyServerMessage(std::span<const uint8_t>(block, sizeof block)), Applied::kApplied)
            << type;
    }
    EXPECT_EQ(Fingerprint(), before);
}

uint32_t Bits(float f)
{
    uint32_t u;
    std::memcpy(&u, &f, 4);
    return u;
}

std::vector<uint8_t> Words(std::initializer_list<uint32_t> words)
{
    std::vector<uint8_t> out(words.size() * 4);
    size_t i = 0;
    for (uint32_t w : words)
        StoreU32(out.data() + 4 * i++, w);
    return out;
}

// Values a hostile or broken host could send inside a well-sized block.
TEST_F(ServerMessageTable, BadValuesAreMendedOrRefused)
{
    constexpr float kInf = std::numeric_limits<float>::infinity();
    constexpr float kNan = std::numeric_limits<float>::quiet_NaN();
    // Speeds the clock cannot run at become 0.
    for (float speed : {-2.0f, kNan, kInf, -kInf}) {
        SCOPED_TRACE(speed);
        Reset();
        ASSERT_EQ(Client::ApplyServerMessage(Words({97, Bits(speed)})), Applied::kApplied);
        EXPECT_EQ(Server::ClientClock().Speed(), 0.0f);
        EXPECT_TRUE(Logged("print Game speed set to 0.00"));
    }
    Server::ClientClock().SetSpeed(1.0f);
    const struct {
        const char* what;
        std::vector<uint8_t> block;
        Applied result;
        std::function<void(ServerMessageTable&)> check;
    } rows[] = {
        {"a loop time of years saturates", Words({105, kLift, Bits(1e30f)}), Applied::kApplied,
         [](ServerMessageTable&) {
             EXPECT_TRUE(Get<TypedObject8>(kLift)->Loops());
             EXPECT_LE(Get<TypedObject8>(kLift)->LoopInterval(), uint64_t{9'000'000'000'000'000'000u});
         }},
        {"a negative loop time is none", Words({105, kLift, Bits(-5.0f)}), Applied::kApplied,
         [](ServerMessageTable&) { EXPECT_EQ(Get<TypedObject8>(kLift)->LoopInterval(), 0u); }},
        {"a loop time that is no number", Words({105, kLift, Bits(kNan)}), Applied::kRefused, {}},
        {"a track speed that is no number", Words({104, kLift, Bits(kNan)}), Applied::kRefused, {}},
        {"a track running backwards", Words({104, kLift, Bits(-1.0f)}), Applied::kRefused, {}},
        {"a strike corner at infinity", Words({127, 0, 0, 0, Bits(kInf), 0, Bits(10.0f)}), Applied::kRefused, {}},
        {"strike corners further apart than a float reaches",
         Words({127, Bits(-3e38f), 0, 0, Bits(3e38f), 0, Bits(1.0f)}), Applied::kRefused, {}},
        {"a strike corner that is no number", Words({127, Bits(kNan), 0, 0, 0, 0, 0}), Applied::kRefused, {}},
        // 1e6 x 1e6 would be 4e8 spotlights.
        {"a strike over a huge area", Words({127, 0, 0, 0, Bits(1e6f), 0, Bits(1e6f)}), Applied::kApplied,
         [](ServerMessageTable& t) {
             EXPECT_EQ(std::count(t.log.begin(), t.log.end(), "spotlight"), 1024);
         }},
        {"a strike with its corners swapped", Words({127, Bits(100.0f), 0, Bits(100.0f), 0, 0, 0}),
         Applied::kApplied,
         [](ServerMessageTable& t) { EXPECT_EQ(std::count(t.log.begin(), t.log.end(), "spotlight"), 4); }},
        {"a camera placement that is no number", Words({103, Bits(kNan), 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}),
         Applied::kRefused, {}},
        {"a texture frame that is no number", Words({130, kWalker, 1, Bits(kNan), 0}), Applied::kRefused, {}},
        {"a fog radius below nothing", Words({115, 0, 0, 0, Bits(-1.0f), 1}), Applied::kRefused, {}},
        {"a command file outside the scripts folder",
         [] {
             std::vector<uint8_t> b = Words({70});
             for (char c : std::string("../../etc/passwd"))
                 b.push_back(static_cast<uint8_t>(c));
             b.push_back(0);
             return b;
         }(),
         Applied::kRefused, [](ServerMessageTable&) { EXPECT_EQ(CommandFileQueue.Count(), 0u); }},
        {"an exit past the four", Words({132, 4}), Applied::kApplied,
         [](ServerMessageTable& t) { EXPECT_TRUE(t.log.empty()); }},
        {"a hold for a unit this client lacks", Words({68, 999}), Applied::kRefused, {}},
        {"a pick-up under an item number already held", Words({82, kWalker, 0, kWalkerRole, kItemId}),
         Applied::kRefused, {}},
        {"a pick-up of a role that does not exist", Words({82, kWalker, 0, 999, 9}), Applied::kRefused, {}},
        {"an item the unit does not carry", Words({85, kWalker, 999}), Applied::kRefused, {}},
        {"a heal worn on a body slot", Words({84, kWalker, 2, kItemId}), Applied::kRefused, {}},
        {"a slot past the body", Words({84, kGunner, 13, kArmourId}), Applied::kRefused, {}},
        {"a worn item that is not worn", Words({88, kGunner, kArmourId}), Applied::kRefused, {}},
        {"a walk toward a point that is no number",
         [] {
             std::vector<uint8_t> b = Fixture(40);
             StoreU32(b.data() + 56, Bits(kNan));
             return b;
         }(),
         Applied::kRefused, {}},
        {"a walk for something that does not walk",
         [] {
             std::vector<uint8_t> b = Fixture(40);
             StoreU32(b.data() + 4, kLift);
             return b;
         }(),
         Applied::kRefused, {}},
        {"a pick-up's news for a walker", Words({93, kWalker}), Applied::kRefused, {}},
        {"a pick-up's trigger news for a unit", Words({92, kGunner}), Applied::kRefused, {}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        Reset();
        const std::string before = Fingerprint();
        EXPECT_EQ(Client::ApplyServerMessage(row.block), row.result);
        if (row.result == Applied::kRefused) {
            EXPECT_EQ(Fingerprint(), before);
        }
        if (row.check)
            row.check(*this);
    }
}

// Only an announced pick-up of a squad member shows the pick-up's text.
TEST_F(ServerMessageTable, APickUpIsAnnouncedOnlyForASquadMember)
{
    const struct {
        uint32_t type;
        bool member;
        bool shown;
    } rows[] = {{81, true, true}, {82, true, false}, {81, false, false}};
    for (const auto& row : rows) {
        SCOPED_TRACE(std::to_string(row.type) + (row.member ? " member" : " stranger"));
        Reset();
        roles[kWalkerRole].inventory.emplace().pickupName = "Medkit";
        Get<MovingObject>(kWalker)->SetSquadMember(row.member);
        ASSERT_EQ(Client::ApplyServerMessage(Fixture(row.type)), Applied::kApplied);
        EXPECT_EQ(Logged("pick-up 40 Medkit"), row.shown);
    }
}

// Each text an announced pick-up shows for a squad member: beside the unit,
// string 7075 and the name of the weapon it holds for ammunition that
// weapon fires; the pick-up's own text; only those with something to say.
TEST_F(ServerMessageTable, AnAnnouncedPickUpShowsEachTextItHas)
{
    Session::Hooks().text = [](uint32_t id) { return id == 7075 ? std::string("Ammunition for") : std::string(); };
    script::WeaponEntry gun;
    gun.name = "Plasma gun";
    constexpr int32_t kHeldWeapon = 3, kItsAmmo = 0, kOtherAmmo = 5, kAmmunition = 6, kGadget = 7;
    const struct {
        const char* name;
        int32_t kind;
        int32_t ammoType;    // the role's weapon value: a stack's type
        const char* pickUp;  // the role's pick-up text; null: none
        std::vector<std::string> shown;
    } rows[] = {
        {"ammunition for the held weapon", kAmmunition, kItsAmmo, nullptr, {"beside 41 Ammunition for Plasma gun"}},
        {"the same with its text", kAmmunition, kItsAmmo, "Bolts",
         {"beside 41 Ammunition for Plasma gun", "pick-up 41 Bolts"}},
        {"ammunition the held weapon does not fire", kAmmunition, kOtherAmmo, nullptr, {}},
        {"a gadget with its text", kGadget, kItsAmmo, "Scanner", {"pick-up 41 Scanner"}},
        {"a gadget without one", kGadget, kItsAmmo, nullptr, {}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Reset();
        script::RecordTables::Global().Clear();
        ASSERT_TRUE(script::RecordTables::Global().StoreWeapon(kHeldWeapon, kItsAmmo, gun));
        script::Role& item = roles[kPickUpRole];
        item.character->weapon = row.ammoType;
        if (row.pickUp)
            item.inventory.emplace().pickupName = row.pickUp;
        auto* gunner = Get<Unit>(kGunner);
        gunner->SetSquadMember(true);
        ASSERT_EQ(gunner->WeaponType(), kHeldWeapon);
        log.clear();
        ASSERT_EQ(Client::ApplyServerMessage(Words({81, kGunner, uint32_t(row.kind), kPickUpRole, 30})),
                  Applied::kApplied);
        std::vector<std::string> shown;
        std::copy_if(log.begin(), log.end(), std::back_inserter(shown),
                     [](const std::string& e) { return e.rfind("beside", 0) == 0 || e.rfind("pick-up", 0) == 0; });
        EXPECT_EQ(shown, row.shown);
    }
    script::RecordTables::Global().Clear();
    Session::Hooks().text = nullptr;
}

// How a replica goes is its own role's: break-up and explosion sound,
// splatter and wreck do not, and one without a record shows nothing.
TEST_F(ServerMessageTable, TheDestructionKindOfTheRoleDecidesTheSound)
{
    const struct {
        int32_t kind;  // -1: no destruction record
        std::vector<std::string> log;
    } rows[] = {{-1, {}}, {0, {"sound 14"}}, {1, {}}, {3, {"sound 15"}}, {4, {}}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.kind);
        Reset();
        if (row.kind >= 0)
            roles[kWalkerRole].destruction.emplace().type = row.kind;
        ASSERT_EQ(Client::ApplyServerMessage(Fixture(74)), Applied::kApplied);
        EXPECT_EQ(log, row.log);
    }
}

// An item the unit's role may not use stays, and the console says why.
TEST_F(ServerMessageTable, ARestrictedItemIsRefusedWithItsText)
{
    Session::Hooks().text = [](uint32_t id) { return "text " + std::to_string(id); };
    roles[kWalkerRole].limit = 4;
    Get<MovingObject>(kWalker)->GetInventory()->FindById(kItemId)->roleLimit = 6;
    EXPECT_EQ(Client::ApplyServerMessage(Fixture(85)), Applied::kRefused);
    EXPECT_NE(Get<MovingObject>(kWalker)->GetInventory()->FindById(kItemId), nullptr);
    EXPECT_EQ(log, std::vector<std::string>{"print text 273"});
    Session::Hooks().text = nullptr;
}

// A timed sequence plays unless the replica's clock already passed its time.
TEST_F(ServerMessageTable, AStaleTimedSequenceDoesNotPlay)
{
    WorldObject* walker = Get(kWalker);
    walker->Update(WorldObject::SecondsToTicks(5.0f), 5.0f);
    const int32_t before = walker->LastSequence();
    EXPECT_EQ(Client::ApplyServerMessage(Words({56, kWalker, 7, Bits(4.0f)})), Applied::kApplied);
    EXPECT_EQ(walker->LastSequence(), before);
    EXPECT_EQ(Client::ApplyServerMessage(Words({56, kWalker, 7, Bits(6.0f)})), Applied::kApplied);
    EXPECT_EQ(walker->LastSequence(), 7);
    EXPECT_EQ(Client::ApplyServerMessage(Words({56, kWalker, 7, Bits(std::numeric_limits<float>::quiet_NaN())})),
              Applied::kRefused);
}

// A replica that fell (message 51) is not walked on by a later full state.
TEST_F(ServerMessageTable, AFallenReplicaIgnoresAFullState)
{
    ASSERT_EQ(Client::ApplyServerMessage(Fixture(51)), Applied::kApplied);
    auto* walker = Get<MovingObject>(kWalker);
    const Vec3 fellAt = walker->Position();
    std::vector<uint8_t> block = Fixture(40);
    StoreU32(block.data() + 12, Bits(7.0f));  // the record's position x
    EXPECT_EQ(Client::ApplyServerMessage(block), Applied::kApplied);
    EXPECT_FALSE(walker->IsWalking());
    EXPECT_EQ(walker->Position().x, fellAt.x);
}

// The message is freed right after the drain: the screen message must own
// its text, and a clock that already ran past a launch is not set back.
TEST_F(ServerMessageTable, TextsOutliveTheirMessageAndTheClockNeverRunsBack)
{
    std::string kept;
    ClientHooks::Get().speak = [&](WorldObject&, std::string text, float) { kept = std::move(text); };
    {
        std::vector<uint8_t> block = Fixture(112);
        ASSERT_EQ(Client::ApplyServerMessage(block), Applied::kApplied);
        std::fill(block.begin(), block.end(), uint8_t{0xEE});
    }
    EXPECT_EQ(kept, "Follow me");

    AppTime::SetGameTime(static_cast<int64_t>(WorldObject::SecondsToTicks(2.0f)));
    ASSERT_EQ(Client::ApplyServerMessage(Fixture(49)), Applied::kApplied);  // launched at 0.5 s
    EXPECT_NEAR(AppTime::GameSeconds(), 2.0f, 1e-4f);
}

// A hit deals the shot's damage (its record's, times its shooter's damage
// multiplier, rounded) to the replica struck, once, and ends the shot; a hit
// on another side's replica clears the fog there, one on the own side's
// does not. The launch reads the side from the low byte alone.
TEST_F(ServerMessageTable, AHitDealsTheShotsDamageAndEndsTheShot)
{
    const struct {
        const char* name;
        uint32_t victim;
        int32_t hitPoints;  // after the hit
        bool fogCleared;
    } rows[] = {
        {"an own-side walker", kWalker, 55, false},
        {"an enemy", kEnemy, 55, true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Reset();
        roles[kShotRole].projectile->damage = 30;
        roles[kGunnerRole].character->damageMultiplier = 1.5f;
        const uint32_t kNewShot = 60;
        const uint32_t sideWithNoise = 0xABCD0000u | kOwnSide;
        ASSERT_EQ(Client::ApplyServerMessage(Words({49, kGunner, 0xFFFFFFFFu, uint32_t(kShotRole), sideWithNoise,
                                                    Bits(0.5f), Bits(20), Bits(-1), Bits(20), 0, 0, 0, Bits(1),
                                                    Bits(15), kNewShot})),
                  Applied::kApplied);
        ASSERT_EQ(Get(kNewShot)->Side(), kOwnSide);
        EXPECT_EQ(Get<WorldProjectile>(kNewShot)->HitDamage(), 45);
        const uint32_t at[] = {Bits(20), 0, Bits(20)};
        ASSERT_EQ(Client::ApplyServerMessage(Words({50, kNewShot, row.victim, Bits(0.6f), at[0], at[1], at[2]})),
                  Applied::kApplied);
        EXPECT_EQ(Get(row.victim)->HitPoints(), row.hitPoints);
        EXPECT_EQ(Find(kNewShot), nullptr);
        // The same hit again names no shot: nothing more is dealt.
        EXPECT_EQ(Client::ApplyServerMessage(Words({50, kNewShot, row.victim, Bits(0.6f), at[0], at[1], at[2]})),
                  Applied::kRefused);
        EXPECT_EQ(Get(row.victim)->HitPoints(), row.hitPoints);
        FogOfWar::Global()->UpdateAt(1);
        log.clear();
        ASSERT_EQ(Client::ApplyServerMessage(Words({75, at[0], at[1], at[2]})), Applied::kApplied);
        EXPECT_EQ(Logged("explosion"), row.fogCleared);
    }
}

// Under a clearing point the blast of 75 shows.
TEST_F(ServerMessageTable, TheBlastShowsWhereTheFogIsClear)
{
    ASSERT_EQ(Client::ApplyServerMessage(Fixture(115)), Applied::kApplied);
    FogOfWar::Global()->UpdateAt(1);
    log.clear();
    ASSERT_EQ(Client::ApplyServerMessage(Fixture(75)), Applied::kApplied);
    EXPECT_EQ(log, (std::vector<std::string>{"explosion", "sound 14"}));
}

// On a level the named nodes exist: a waypoint reaches its walker, and
// boarding sends the rest of the squad to the named object's node.
TEST_F(ServerMessageTable, OnALevelWaypointsAndBoardingFindTheirNodes)
{
    CollisionSource source;
    leveltest::AddFloor(source, -2, -2, 0, 8, 2.0f);
    std::unique_ptr<Level> level = leveltest::MakeLevel(source);
    Level::Current() = level.get();
    // Before the level goes, even when a check stops the test early.
    struct Leave {
        ~Leave()
        {
            WorldObjectTable::DestroyAll();
            Level::Current() = nullptr;
        }
    } leave;
    Reset();  // the world placed on the floor
    const CollisionPolygon* node = Get(kWalker)->GetPolygon();
    ASSERT_NE(node, nullptr);

    EXPECT_EQ(Client::ApplyServerMessage(Words({41, 0, node->tableIndex_, 0xFFFFFFFFu, 0, kGunner})),
              Applied::kApplied);
    ASSERT_EQ(Get<MovingObject>(kGunner)->Orders().size(), 1u);
    EXPECT_EQ(Get<MovingObject>(kGunner)->Orders().front().kind, LocalOrder::kWaypoint);

    ASSERT_EQ(Client::ApplyServerMessage(Fixture(114)), Applied::kApplied);
    EXPECT_EQ(log, (std::vector<std::string>{"controls off", "clear selection"}));
    ASSERT_EQ(requests.size(), 1u);
    const std::vector<uint8_t>& order = requests[0];
    ASSERT_EQ(order.size(), 24u);  // one member: the gunner; the walker is the one boarded
    EXPECT_EQ(LoadU32(order.data()), 5u);
    EXPECT_EQ(LoadU32(order.data() + 8), node->tableIndex_);
    EXPECT_EQ(LoadU32(order.data() + 12), 0xFFFFFFFFu);
    EXPECT_EQ(LoadU32(order.data() + 16), 1u);
    EXPECT_EQ(LoadU32(order.data() + 20), kGunner);
}

// The fog holds a defogging replica until it lets go, even once the
// replica left the game; a new fog takes defoggers afresh.
TEST_F(ServerMessageTable, TheFogHoldsADefoggerUntilItLetsGo)
{
    ASSERT_EQ(Client::ApplyServerMessage(Words({116, kWalker})), Applied::kApplied);
    ASSERT_EQ(Client::ApplyServerMessage(Words({116, kWalker})), Applied::kApplied);  // once only
    WorldObjectRef walker(Get(kWalker));
    EXPECT_TRUE(walker->Marks().defogging);
    // Destroyed, it stops clearing the fog: its deactivation takes it off.
    ASSERT_EQ(Client::ApplyServerMessage(Words({52, kWalker})), Applied::kApplied);
    EXPECT_EQ(Find(kWalker), nullptr);
    EXPECT_FALSE(walker->Marks().defogging);
    walker.Reset();
    FogOfWar::DestroyGlobal();

    FogOfWar::Global() = new FogOfWar(64, 2048);
    ASSERT_EQ(Client::ApplyServerMessage(Words({116, kGunner})), Applied::kApplied);
    EXPECT_TRUE(Get(kGunner)->Marks().defogging);
    ASSERT_EQ(Client::ApplyServerMessage(Words({117, kGunner})), Applied::kApplied);
    EXPECT_FALSE(Get(kGunner)->Marks().defogging);
    ASSERT_EQ(Client::ApplyServerMessage(Words({116, kGunner})), Applied::kApplied);
    FogOfWar::DestroyGlobal();
    EXPECT_FALSE(Get(kGunner)->Marks().defogging);  // the fog let go
}

} // namespace

namespace {

// Shot impacts the replicas start without a message of their own (a hook
// with no context: it logs into the test's log through this pointer).
std::vector<std::string>* g_impacts = nullptr;

class ShotMessages : public ServerMessageTable {
public:
    void SetUp() override
    {
        ServerMessageTable::SetUp();
        savedEffects = ClientEffects();
        g_impacts = &log;
        ClientEffects().shotImpact = [](const Vec3&) { g_impacts->push_back("impact"); };
    }
    void TearDown() override
    {
        ClientEffects() = savedEffects;
        g_impacts = nullptr;
        script::RecordTables::Global().Clear();
        ServerFlags::UnlimitedAmmo() = false;
        ServerMessageTable::TearDown();
    }

    // Clears the fog over a point for the next messages.
    void ClearFogAt(const Vec3& p)
    {
        ASSERT_EQ(Client::ApplyServerMessage(Words({115, Bits(p.x), Bits(p.y), Bits(p.z), Bits(5.0f), 1 | (60 << 16)})),
                  Applied::kApplied);
        FogOfWar::Global()->UpdateAt(1);
    }

    // The gunner launches shot `id` of the shot role from (20, -1, 20)
    // straight along z at 15 m/s.
    Applied Launch(uint32_t id)
    {
        return Client::ApplyServerMessage(Words({49, kGunner, 0xFFFFFFFFu, uint32_t(kShotRole), kOwnSide, Bits(0.5f),
                                                 Bits(20), Bits(-1), Bits(20), 0, 0, 0, Bits(1), Bits(15), id}));
    }

    ClientEffectHooks savedEffects;
};

constexpr uint32_t kNewShot = 60;

// A launch starts what its shot's flags ask for (a white burst, a shot that
// clears the fog), and its shooter fires: the weapon's report is heard where
// the shooter stands.
TEST_F(ShotMessages, ALaunchStartsWhatItsShotsFlagsAskAndTheShooterIsHeard)
{
    script::WeaponEntry gun;
    gun.magazineSize = 4;
    gun.sound = 12;
    const struct {
        const char* name;
        uint32_t flags;
        bool burst, defogs;
    } rows[] = {
        {"a plain shot", 0, false, false},
        {"a bursting shot", WorldProjectile::kFlagLaunchBurst, true, false},
        {"a shot that clears the fog", WorldProjectile::kFlagDefogs, false, true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        script::RecordTables::Global().Clear();
        ASSERT_TRUE(script::RecordTables::Global().StoreWeapon(3, 6, gun));
        Reset();
        roles[kShotRole].limit = static_cast<int32_t>(row.flags);
        log.clear();
        ASSERT_EQ(Launch(kNewShot), Applied::kApplied);
        EXPECT_EQ(Logged("launch burst (20.0 -1.0 20.0)"), row.burst);
        EXPECT_EQ(Get(kNewShot)->Marks().defogging, row.defogs);
        EXPECT_TRUE(Logged("sound 12 at (2.0 0.0 0.0)"));
        // The clearing shot lets go of the fog when it ends.
        WorldObjectRef shot(Get(kNewShot));
        ASSERT_EQ(Client::ApplyServerMessage(Words({52, kNewShot})), Applied::kApplied);
        EXPECT_FALSE(shot->Marks().defogging);
    }
}

// The developer switch gives the shooter rounds without end; the end of a
// one-shot attack ends a readied quick weapon, and only then.
TEST_F(ShotMessages, TheSwitchSparesRoundsAndAOneShotEndEndsTheQuickWeapon)
{
    script::WeaponEntry gun;
    gun.magazineSize = 4;
    ASSERT_TRUE(script::RecordTables::Global().StoreWeapon(3, 6, gun));
    for (const bool unlimited : {false, true}) {
        SCOPED_TRACE(unlimited ? "switch on" : "switch off");
        Reset();
        auto* gunner = Get<Unit>(kGunner);
        gunner->GetInventory()->AddStack(6, 10, 700);
        gunner->ChangeAmmo(6);
        ASSERT_EQ(gunner->Rounds(), 4u);
        ServerFlags::UnlimitedAmmo() = unlimited;
        ASSERT_EQ(Launch(kNewShot), Applied::kApplied);
        EXPECT_EQ(gunner->Rounds(), unlimited ? 4u : 3u);
    }
    for (const bool readied : {false, true}) {
        Reset();
        Get<Unit>(kGunner)->Readied().readied = readied;
        ASSERT_EQ(Client::ApplyServerMessage(Words({48, kGunner})), Applied::kApplied);
        EXPECT_EQ(log, readied ? std::vector<std::string>{"quick weapon ends 41"} : std::vector<std::string>{});
    }
}

// Where a shot ends, by what it struck, its flags and the fog over the
// point: fire where the hit did nothing or the shot brings no effect of its
// own; the big burst and the spray unless dense fog hides the point and no
// enemy was struck; the impact sound always; shot particles where no
// replica was struck; a shot that destroys dissolves and removes what it
// killed.
TEST_F(ShotMessages, AHitShowsWhatTheShotsFlagsAskWhereTheFogAllows)
{
    constexpr uint32_t kBurst = WorldProjectile::kFlagHitEffect, kSpray = WorldProjectile::kFlagSpray,
                       kDestroys = WorldProjectile::kFlagDestroys, kGround = 0xFFFFFFFFu;
    const std::string sound = "sound 9 at (20.0 0.0 20.0)";
    const struct {
        const char* name;
        uint32_t flags;
        uint32_t victim;
        int32_t damage;
        bool clearSight;
        std::vector<std::string> shown;
        bool victimGoes;
    } rows[] = {
        {"the ground, a plain shot", 0, kGround, 30, true, {"ground", sound, "impact"}, false},
        {"the ground, bursting and spraying", kBurst | kSpray, kGround, 30, true,
         {"ground", "big burst", "spray 0.00 1.00", sound, "impact"}, false},
        {"the same under dense fog", kBurst | kSpray, kGround, 30, false, {"ground", sound, "impact"}, false},
        {"an enemy under dense fog", kBurst, kEnemy, 30, false, {"big burst", sound}, false},
        {"an own walker under dense fog", kBurst, kWalker, 30, false, {sound}, false},
        {"a plain shot on an enemy", 0, kEnemy, 30, false, {"fire", sound}, false},
        {"a bursting shot that does no harm", kBurst, kEnemy, 0, false, {"fire", "big burst", sound}, false},
        {"a destroying shot that kills", kDestroys, kEnemy, 200, false, {"fire", "dissolve 47", sound}, true},
        {"a destroying shot that does not kill", kDestroys, kEnemy, 30, false, {"fire", sound}, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Reset();
        roles[kShotRole].limit = static_cast<int32_t>(row.flags);
        roles[kShotRole].projectile->damage = row.damage;
        roles[kShotRole].projectile->sound = 9;
        if (row.clearSight)
            ClearFogAt({20, 0, 20});
        ASSERT_EQ(Launch(kNewShot), Applied::kApplied);
        log.clear();
        ASSERT_EQ(Client::ApplyServerMessage(
                      Words({50, kNewShot, row.victim, Bits(0.6f), Bits(20), Bits(0), Bits(20)})),
                  Applied::kApplied);
        EXPECT_EQ(log, row.shown);
        EXPECT_EQ(Find(kNewShot), nullptr);
        if (row.victim != kGround) {
            EXPECT_EQ(Find(row.victim) == nullptr, row.victimGoes);
        }
    }
    // A shot this client never saw changes nothing, but its impact shows.
    Reset();
    const std::string before = Fingerprint();
    EXPECT_EQ(Client::ApplyServerMessage(Words({50, 999, kGround, Bits(0.6f), Bits(20), 0, Bits(20)})),
              Applied::kRefused);
    EXPECT_EQ(log, std::vector<std::string>{"impact"});
    log.clear();
    EXPECT_EQ(Fingerprint(), before);
}

// Message 111 lights a replica and sets a glow on it that follows it; 124
// puts both out; a second 111 leaves one glow.
TEST_F(ShotMessages, AnObjectsLightAndGlowGoOutTogether)
{
    LightSet::CreateGlobals(nullptr);
    Particles::Startup();
    ClientEffects().createCorona = [](const Vec3& at, const Colour& colour) {
        ParticleEmitterDesc d;
        d.group = 7;
        d.colour1 = colour;
        return Particles::CreateEmitter(d, at);
    };
    WorldObject* lift = Get(kLift);
    ASSERT_EQ(Client::ApplyServerMessage(Words({111, kLift})), Applied::kApplied);
    ParticleEmitter* first = lift->LightEmitter();
    ASSERT_NE(first, nullptr);
    ASSERT_EQ(Client::ApplyServerMessage(Words({111, kLift})), Applied::kApplied);
    ParticleEmitter* second = lift->LightEmitter();
    ASSERT_NE(second, nullptr);
    EXPECT_NE(second, first);
    lift->SetPosition({4, -2, 1});
    lift->PlaceAndDraw();
    EXPECT_EQ(second->Position().y, -2.0f);
    EXPECT_NE(lift->OwnLight(), nullptr);
    ASSERT_EQ(Client::ApplyServerMessage(Words({124, kLift})), Applied::kApplied);
    EXPECT_EQ(lift->OwnLight(), nullptr);
    EXPECT_EQ(lift->LightEmitter(), nullptr);
    WorldObjectTable::DestroyAll();
    Particles::Shutdown();
}

} // namespace

namespace {

// A deployable used (85) takes one charge; a remote mine says how it is set
// off (text 291); a user standing still bends to place it (sequence 96).
TEST_F(ServerMessageTable, ADeployableUsedTakesAChargeAndIsPlaced)
{
    Session::Hooks().text = [](uint32_t id) { return "text " + std::to_string(id); };
    const struct {
        const char* name;
        int32_t subtype;
        bool walking;
        std::vector<std::string> said;
        bool placed;
    } rows[] = {
        {"a mine, standing", 0, false, {}, true},
        {"a remote mine, standing", 1, false, {"print text 291"}, true},
        {"a decoy, walking", 3, true, {}, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Reset();
        auto* walker = Get<MovingObject>(kWalker);
        CarriedItem* item = walker->GetInventory()->FindById(kItemId);
        ASSERT_NE(item, nullptr);
        item->kind = ItemKind::kDeployable;
        item->subtype = row.subtype;
        item->amount = 2;
        if (row.walking) {
            ASSERT_EQ(Client::ApplyServerMessage(Fixture(42)), Applied::kApplied);
            ASSERT_TRUE(walker->IsWalking());
        }
        const int32_t sequenceBefore = walker->LastSequence();
        log.clear();
        ASSERT_EQ(Client::ApplyServerMessage(Words({86, kWalker, kItemId})), Applied::kApplied);
        EXPECT_EQ(walker->GetInventory()->FindById(kItemId)->amount, 1);
        EXPECT_EQ(log, row.said);
        EXPECT_EQ(walker->LastSequence(), row.placed ? 96 : sequenceBefore);
    }
    Session::Hooks().text = nullptr;
}

} // namespace
