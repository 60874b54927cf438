// The server's request rows: what reaches an object for each type, what is
// dropped (size, missing or foreign objects, non-finite values), the group
// formation walk, the answers' bytes, and the aim of launched projectiles.
#include "../objects/server_fixture.h"
#include "fake_direct_play.h"
#include "app/math_tables.h"
#include "objects/order_receiver.h"
#include "objects/role_table.h"
#include "session/game_state.h"
#include "session/message_queue.h"
#include "session/message_sizes.h"
#include "session/projectile_launch.h"
#include "session/request_table.h"
#include "session/server_thread.h"

#include "world/level_fixture.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <limits>
#include <numbers>
#include <string>
#include <vector>

namespace {

// An actor that writes down every order it is given.
class RecordingActor : public GameObject, public OrderReceiver {
public:
    using GameObject::GameObject;
    bool IsActor() const override { return true; }
    void GroupMove(CollisionPolygon* node, uint32_t target, float time) override
    {
        log.push_back("move " + std::to_string(target) + " " + std::to_string(time) + (node ? " node" : ""));
    }
    void AppendMoveOrder(CollisionPolygon*, uint32_t target) override { log.push_back("append " + std::to_string(target)); }
    void InsertHoldOrder() override { log.push_back("hold"); }
    void QueueCrouch() override { log.push_back("crouch"); }
    void QueueChangeAmmo(uint32_t kind) override { log.push_back("ammo " + std::to_string(kind)); }
    void QueueAttackLocation(const Vec3& p, bool modifier) override
    {
        log.push_back("attack at " + std::to_string(int(p.x)) + (modifier ? " low" : ""));
    }
    void QueueAttackTarget(uint32_t id, bool modifier) override
    {
        log.push_back("attack " + std::to_string(id) + (modifier ? " low" : ""));
    }
    void SetMotionDestination(const Vec3& d) override { log.push_back("destination " + std::to_string(int(d.x))); }
    void SetHeldInPlace(bool held) override { log.push_back(held ? "held" : "free"); }
    int32_t Charge() const override { return charge; }
    void SetCharge(int32_t value) override { charge = value; }

    std::vector<std::string> log;
    int32_t charge = 0;
};

std::vector<uint8_t> Words(std::initializer_list<uint32_t> words)
{
    std::vector<uint8_t> bytes(words.size() * 4);
    size_t i = 0;
    for (uint32_t w : words)
        StoreU32(bytes.data() + 4 * i++, w);
    return bytes;
}

uint32_t F(float f) { return std::bit_cast<uint32_t>(f); }

class RequestRows : public ServerWorld {
protected:
    void SetUp() override
    {
        ServerWorld::SetUp();
        RequestTable::ResetRows();
        ClientToServerQueue.Clear();
        role = &NewRole();
        role->identifier = "trevok";
    }
    void TearDown() override
    {
        CommandFileQueue.Clear();
        Server::SetProjectileMaker(nullptr);
        ServerWorld::TearDown();
    }

    RecordingActor* Actor(int32_t side, const Vec3& at = {0, 0, 0})
    {
        return new RecordingActor(side, role, at, Quaternion::Identity(), 0, ObjectRegistry::Global().TakeNextId());
    }

    // As the server thread delivers a block: its size row first.
    void Deliver(const std::vector<uint8_t>& bytes, uint32_t sender = kServerPlayerId)
    {
        if (!MessageSizes::Fits(MessageSizes::Direction::kToServer, bytes))
            return;
        RequestTable::Apply(GameMessage(bytes.data(), static_cast<uint32_t>(bytes.size())), sender);
    }

    // What the rows sent to the clients since the last call.
    std::vector<std::vector<uint8_t>> Answers()
    {
        std::vector<std::vector<uint8_t>> out;
        for (const SentMessage& m : sent)
            out.push_back(m.bytes);
        sent.clear();
        return out;
    }

    script::Role* role = nullptr;
};

} // namespace

// Each own row's effect on a recording actor, and the same block one byte
// short or long, which its size row drops before a word is read.
TEST_F(RequestRows, EachRowReachesItsOrderAndBrokenSizesAreDropped)
{
    struct Case {
        const char* name;
        std::vector<uint8_t> (*block)(uint32_t id);
        const char* expected;
    };
    const Case cases[] = {
        {"23 queued ammunition", [](uint32_t id) { return Words({23, id, 5}); }, "ammo 5"},
        {"26 queued attack at a point", [](uint32_t id) { return Words({26, id, F(1), F(7), F(0), F(2)}); }, "attack at 7"},
        {"28 the same aimed low", [](uint32_t id) { return Words({28, id, F(1), F(7), F(0), F(2)}); }, "attack at 7 low"},
        {"27 queued attack on a target", [](uint32_t id) { return Words({27, id, F(1), 44}); }, "attack 44"},
        {"29 the same aimed low", [](uint32_t id) { return Words({29, id, F(1), 44}); }, "attack 44 low"},
        {"31 queued crouch", [](uint32_t id) { return Words({31, id}); }, "crouch"},
        {"43 motion state, held", [](uint32_t id) {
             return Words({43, id, F(2), F(1), F(0), F(1), 0, 0, 0, F(1), F(9), F(0), F(9), 0xFFFFFF});
         }, "destination 9,held"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RecordingActor* actor = Actor(1);
        std::vector<uint8_t> block = c.block(actor->GetId());
        std::vector<uint8_t> shorter(block.begin(), block.end() - 1), longer = block;
        longer.push_back(0);
        Deliver(shorter);
        Deliver(longer);
        EXPECT_TRUE(actor->log.empty());
        Deliver(block);
        std::string joined;
        for (const std::string& entry : actor->log)
            joined += (joined.empty() ? "" : ",") + entry;
        EXPECT_EQ(joined, c.expected);
    }
}

TEST_F(RequestRows, MissingObjectsNonFiniteValuesAndFreedTypesChangeNothing)
{
    RecordingActor* actor = Actor(1);
    GameObject* plain = Make(role, 1, {0, 0, 0});
    const uint32_t nan = F(std::numeric_limits<float>::quiet_NaN());
    const uint32_t inf = F(std::numeric_limits<float>::infinity());
    Deliver(Words({23, 999, 5}));                                              // no such object
    Deliver(Words({31, plain->GetId()}));                                      // cannot act
    Deliver(Words({26, actor->GetId(), F(1), nan, F(0), F(0)}));               // point not finite
    Deliver(Words({43, actor->GetId(), F(1), F(0), inf, F(0), 0, 0, 0, F(1), 0, 0, 0, 0}));
    for (uint32_t type = 37; type <= 41; ++type)
        Deliver(Words({type, actor->GetId()}));
    Deliver(Words({6, actor->GetId(), F(1)})); // the actors' own row, not filled here
    EXPECT_TRUE(actor->log.empty());
    EXPECT_TRUE(Answers().empty());
    EXPECT_EQ(plain->Position().x, 0.0f);
}

// Request 5: members in order, the missing and the unable skipped, each a
// move; request 30 appends and tells the clients with message 41.
TEST_F(RequestRows, GroupOrdersSkipMembersThatCannotActAndAnnounceWaypoints)
{
    RecordingActor* a = Actor(1, {0, 0, 0});
    RecordingActor* b = Actor(1, {2, 0, 0});
    GameObject* plain = Make(role, 1, {4, 0, 0});
    Deliver(Words({5, F(3), 7, 0xFFFFFFFF, 0}));
    EXPECT_TRUE(a->log.empty()) << "n = 0 changes nothing";

    Deliver(Words({5, F(3), 7, 12, 4, 999, a->GetId(), plain->GetId(), b->GetId()}));
    EXPECT_EQ(a->log, std::vector<std::string>{"move 12 3.000000"});
    EXPECT_EQ(b->log, std::vector<std::string>{"move 12 3.000000"});
    Deliver(Words({5, F(3), 7, 12, 5, a->GetId()})); // n beyond the block: dropped unread
    EXPECT_EQ(a->log.size(), 1u);

    // A waypoint needs a node: one out of range queues nothing and tells nobody.
    CollisionSource floor;
    leveltest::AddFloor(floor, 0, 0, 0, 1, 2);
    const std::unique_ptr<Level> level = leveltest::MakeLevel(floor, 1, 1, 1);
    Level::Current() = level.get();
    Answers();
    Deliver(Words({30, F(4), 7, 12, 1, b->GetId()}));
    EXPECT_EQ(b->log.size(), 1u);
    EXPECT_TRUE(Answers().empty());
    Deliver(Words({30, F(4), 0, 12, 1, b->GetId()}));
    Level::Current() = nullptr;
    EXPECT_EQ(b->log.back(), "append 12");
    const auto answers = Answers();
    ASSERT_EQ(answers.size(), 1u);
    EXPECT_EQ(answers[0], Words({41, 0, 0, 12, 0, b->GetId()})) << "unset words go out as 0";
}

// Request 35 holds every other unit of the requester's side and answers 68;
// 33 removes the object named.
TEST_F(RequestRows, HoldOthersAndRemoval)
{
    RecordingActor* requester = Actor(1);
    RecordingActor* mate = Actor(1);
    RecordingActor* enemy = Actor(2);
    for (GameObject* o : {static_cast<GameObject*>(requester), static_cast<GameObject*>(mate),
                          static_cast<GameObject*>(enemy)})
        SideLists::Global().Add(*o);
    Deliver(Words({35, requester->GetId()}));
    EXPECT_TRUE(requester->log.empty()) << "the requester's own orders stay";
    EXPECT_EQ(mate->log, std::vector<std::string>{"hold"});
    EXPECT_TRUE(enemy->log.empty());
    EXPECT_EQ(Answers(), std::vector<std::vector<uint8_t>>{Words({68, requester->GetId()})});

    const uint32_t id = enemy->GetId();
    Deliver(Words({33, id}));
    EXPECT_EQ(ObjectRegistry::Global().Find(id), nullptr);
}

// In a networked game a player orders only its own side's objects, and a
// client's nearness report removes only a role-type-11 object.
TEST_F(RequestRows, NetworkedSendersOrderOnlyTheirOwnSide)
{
    auto dp = std::make_shared<FakeDirectPlay>();
    Server::AddPlayer("ana", 20); // side 1 in game type 4
    Server::AddPlayer("bo", 21);  // side 2
    ASSERT_TRUE(Server::Start(dp));
    {
        GameState::Hold hold;
        Server::SetGameType(4);
        RecordingActor* own = Actor(1);
        RecordingActor* foreign = Actor(2);
        Deliver(Words({31, own->GetId()}), 20);
        Deliver(Words({31, foreign->GetId()}), 20);
        EXPECT_EQ(own->log.size(), 1u);
        EXPECT_TRUE(foreign->log.empty());
        Deliver(Words({43, foreign->GetId(), F(2), 0, 0, 0, 0, 0, 0, F(1), 0, 0, 0, 0}), 20);
        EXPECT_TRUE(foreign->log.empty()) << "placing another player's unit";

        const uint32_t unitId = own->GetId();
        Deliver(Words({33, unitId}), 21);
        EXPECT_NE(ObjectRegistry::Global().Find(unitId), nullptr) << "33 on a unit is refused";
        script::Role& nearRole = NewRole();
        nearRole.aiType = 11;
        GameObject* near = Make(&nearRole, 0, {0, 0, 0});
        const uint32_t nearId = near->GetId();
        Deliver(Words({33, nearId}), 21);
        EXPECT_EQ(ObjectRegistry::Global().Find(nearId), nullptr);
        ServerWorld::EmptyTables();
    }
    Server::Stop();
    Server::ClearPlayers();
}

namespace {

// A projectile class of its own: made where it is told, counted.
GameObject* MakeTestProjectile(script::Role& role, const Vec3& at, const Quaternion& q, float, int32_t, int32_t,
                               int32_t side)
{
    return new GameObject(side, &role, at, q, 0, ObjectRegistry::Global().TakeNextId());
}

} // namespace

// Request 36: only "trevok" fires, only with "trevok_power" filed, only when
// the charge pays for it; the shot is announced with message 49.
TEST_F(RequestRows, PowerShotIsPaidForAndAnnounced)
{
    Server::SetProjectileMaker(MakeTestProjectile);
    role->shields = 30; // the charge a full unit holds
    RecordingActor* shooter = Actor(1, {0, 5, 0});
    const std::vector<uint8_t> shot = Words({36, shooter->GetId(), F(0), F(10), F(3.5f), F(0)});
    shooter->charge = 30;
    Deliver(shot);
    EXPECT_TRUE(Answers().empty()) << "no trevok_power role";

    script::Role& power = NewRole();
    power.identifier = "trevok_power";
    power.projectile.emplace();
    RoleTable::Global().File(power);
    shooter->charge = 8; // below 30 x 0.33333 = 9
    Deliver(shot);
    EXPECT_TRUE(Answers().empty()) << "the charge does not pay for it";

    shooter->charge = 30;
    Deliver(shot);
    EXPECT_EQ(shooter->charge, 21);
    const auto answers = Answers();
    ASSERT_EQ(answers.size(), 1u);
    ASSERT_EQ(answers[0].size(), 60u);
    const SentMessage m{answers[0], false};
    EXPECT_EQ(m.Word(0), 49u);
    EXPECT_EQ(m.Word(1), shooter->GetId());
    EXPECT_EQ(m.Word(2), 0xFFFFFFFFu);
    EXPECT_EQ(m.Word(3), static_cast<uint32_t>(power.id));
    EXPECT_EQ(m.Word(4), 1u);
    EXPECT_FLOAT_EQ(m.Float(7), 3.5f) << "launched 1.5 above the unit";
    EXPECT_FLOAT_EQ(m.Float(13), Server::kDefaultLaunchSpeed);
    EXPECT_NE(ObjectRegistry::Global().Find(m.Word(14)), nullptr);

    role->identifier = "vell";
    Deliver(shot);
    EXPECT_TRUE(Answers().empty()) << "another character has no power shot";
    RoleTable::Global().Clear();
}

// The launch direction against the closed-form solve: a straight shot along
// the line, a ballistic one on the low arc (reaching the target when
// integrated), a quarter turn straight up or down, nothing for NaN.
TEST(ProjectileAim, MatchesTheClosedFormWithinTheTableStep)
{
    MathTables::Build();
    const float step = 2.0f * std::numbers::pi_v<float> / 4096.0f;
    struct Case {
        Vec3 d;
        float speed;
        bool ballistic;
    };
    const Case cases[] = {
        {{10, 0, 0}, 20, true},  {{0, -4, 12}, 25, true}, {{-6, 5, -6}, 15, true}, // level, up, down
        {{3, -2, 4}, 0, false},  {{0, 0, 50}, 5, true},                          // straight; out of reach
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.d.x << "," << c.d.y << "," << c.d.z << " v " << c.speed);
        Server::LaunchAim aim;
        ASSERT_TRUE(Server::AimProjectile({0, 0, 0}, c.d, c.speed, c.ballistic, aim));
        const double r = std::hypot(c.d.x, c.d.z);
        double slope = c.d.y / r;
        if (c.ballistic) {
            const double g = 9.81, v2 = double(c.speed) * c.speed;
            const double disc = std::max(0.0, v2 * v2 + 2 * g * c.d.y * v2 - g * g * r * r);
            slope = -(v2 - std::sqrt(disc)) / (g * r);
        }
        const Vec3 z = Quaternion::ZAxis(aim.orientation);
        EXPECT_NEAR(std::atan2(z.x, z.z), std::atan2(c.d.x, c.d.z), 2 * step);
        EXPECT_NEAR(std::atan2(z.y, std::hypot(z.x, z.z)), std::atan(slope), 2 * step);
    }
    Server::LaunchAim aim;
    ASSERT_TRUE(Server::AimProjectile({1, 0, 1}, {1, -9, 1}, 10, true, aim));
    EXPECT_EQ(aim.elevation, -1024) << "straight up";
    ASSERT_TRUE(Server::AimProjectile({1, 0, 1}, {1, 9, 1}, 10, false, aim));
    EXPECT_EQ(aim.elevation, 1024) << "straight down";
    EXPECT_FALSE(Server::AimProjectile({0, 0, 0}, {std::numeric_limits<float>::quiet_NaN(), 0, 0}, 10, true, aim));
    EXPECT_FALSE(Server::AimProjectile({0, 0, 0}, {1, 0, 0}, std::numeric_limits<float>::infinity(), true, aim));
}
