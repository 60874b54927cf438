// The lockstep harness with its client half: every drained message goes
// through the client's application, the replicas are updated once per pass,
// and after each pass every live server object has a replica under its id
// within a position tolerance.
#include "tests/session/lockstep_harness.h"

#include "../objects/client_fixture.h"
#include "objects/actor.h"
#include "objects/object_registry.h"
#include "objects/server_classes.h"
#include "session/actor_requests.h"
#include "session/client_apply.h"
#include "session/game_message.h"
#include "session/projectile_launch.h"
#include "session/request_table.h"
#include "session/server_objects.h"

#include <filesystem>
#include <string>

namespace {

constexpr float kTolerance = 0.5f;

class ClientLockstep : public ClientWorld {
protected:
    void TearDown() override
    {
        if (actorRequests_) {
            UninstallActorClasses();
        }
        ClientWorld::TearDown();
    }

    // The scenario's steps with the client half attached; with `actors` the
    // server's actors take their requests.
    void Load(Lockstep& run, const char* scenario, bool actors = false)
    {
        if (actors) {
            actorRequests_ = true;
            Server::InstallActorRequests();
            run.onRequest = [](std::span<const uint8_t> bytes) {
                RequestTable::Apply(GameMessage(bytes.data(), static_cast<uint32_t>(bytes.size())), 0);
            };
        }
        std::string error;
        ASSERT_TRUE(run.LoadScenario(std::filesystem::path(TREVOK_FIXTURES_DIR) / "scenarios" / scenario, error))
            << error;
        run.onLevelObject = [&run](GameObject& object) {
            if (RoleTable::Global().Count() == 0) {
                for (script::Role& role : run.Roles())
                    RoleTable::Global().File(role);
            }
            WorldObject::CreateFromMessage(object.Side(), object.GetRole(), object.Position(), object.Orientation(),
                                           object.GetId());
        };
        run.onDrained = [this](std::span<const std::vector<uint8_t>> drained, uint64_t now, float seconds) {
            for (const std::vector<uint8_t>& m : drained) {
                const Client::Applied result = Client::ApplyServerMessage(m);
                refused += result == Client::Applied::kRefused;
                applied += result == Client::Applied::kApplied;
            }
            WorldObjectTable::UpdateAll(now, seconds);
            if (afterPass)
                afterPass();
        };
        run.invariants.push_back([] {
            for (GameObject* object : ObjectRegistry::Global().Snapshot()) {
                if (object->IsRemoved())
                    continue;
                WorldObject* replica = WorldObjectTable::FindById(object->GetId());
                if (!replica)
                    return "no replica of " + std::to_string(object->GetId());
                const float apart = (replica->Position() - object->Position()).Length();
                if (!(apart <= kTolerance))
                    return "replica " + std::to_string(object->GetId()) + " is " + std::to_string(apart) + " m off";
            }
            return std::string();
        });
    }

    size_t refused = 0, applied = 0;
    std::function<void()> afterPass;

private:
    bool actorRequests_ = false;
};

TEST_F(ClientLockstep, ReplicasFollowTheServerOnTheBarrelYard)
{
    Lockstep run;
    Load(run, "barrel_yard.scn");
    run.Run();
    EXPECT_TRUE(run.Broken().empty()) << run.Broken().front();
    EXPECT_GT(applied, 0u);
    EXPECT_EQ(refused, 0u);
}

// A squad member ordered across many floor squares walks them all, and its
// replica reports walking while it goes and stops with it.
TEST_F(ClientLockstep, AWalkAcrossManySquaresReachesTheClickedSquare)
{
    Lockstep run;
    Load(run, "long_walk.scn", true);
    // Every pass the server actor walks on, its replica reports walking.
    bool wasWalking = false;
    std::vector<std::string> lagging;
    afterPass = [&] {
        auto* actor = dynamic_cast<Actor*>(ObjectRegistry::Global().Find(1));
        WorldObject* replica = WorldObjectTable::FindById(1);
        if (!actor || !replica)
            return;
        if (wasWalking && actor->IsWalking() && !replica->IsWalking())
            lagging.push_back(std::to_string(actor->Position().x) + "," + std::to_string(actor->Position().z));
        wasWalking = actor->IsWalking();
    };
    run.Run();
    EXPECT_TRUE(run.Broken().empty()) << run.Broken().front();
    EXPECT_EQ(refused, 0u);
    EXPECT_TRUE(lagging.empty()) << "the replica stood still at " << lagging.front();
    auto* actor = dynamic_cast<Actor*>(ObjectRegistry::Global().Find(1));
    ASSERT_NE(actor, nullptr);
    // A leg ends within a measure of 0.2 of its point: on the last square.
    EXPECT_NEAR(actor->Position().x, 1.5f, 0.45f);
    EXPECT_NEAR(actor->Position().z, 4.5f, 0.45f);
    EXPECT_FALSE(actor->IsWalking());
    EXPECT_FALSE(WorldObjectTable::FindById(1)->IsWalking()) << "the replica stops with the server";
}

} // namespace
