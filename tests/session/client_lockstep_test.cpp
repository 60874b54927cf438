// The lockstep harness with its client half: every drained message goes
// through the client's application, the replicas are updated once per pass,
// and after each pass every live server object has a replica under its id
// within a position tolerance.
#include "tests/session/lockstep_harness.h"

#include "../objects/client_fixture.h"
#include "objects/object_registry.h"
#include "session/client_apply.h"

#include <filesystem>
#include <string>

namespace {

constexpr float kTolerance = 0.5f;

class ClientLockstep : public ClientWorld {};

TEST_F(ClientLockstep, ReplicasFollowTheServerOnTheBarrelYard)
{
    Lockstep run;
    std::string error;
    ASSERT_TRUE(run.LoadScenario(std::filesystem::path(TREVOK_FIXTURES_DIR) / "scenarios" / "barrel_yard.scn", error))
        << error;
    size_t refused = 0, applied = 0;
    run.onLevelObject = [&](GameObject& object) {
        if (RoleTable::Global().Count() == 0) {
            for (script::Role& role : run.Roles())
                RoleTable::Global().File(role);
        }
        WorldObject::CreateFromMessage(object.Side(), object.GetRole(), object.Position(), object.Orientation(),
                                       object.GetId());
    };
    run.onDrained = [&](std::span<const std::vector<uint8_t>> drained, uint64_t now, float seconds) {
        for (const std::vector<uint8_t>& m : drained) {
            const Client::Applied result = Client::ApplyServerMessage(m);
            refused += result == Client::Applied::kRefused;
            applied += result == Client::Applied::kApplied;
        }
        WorldObjectTable::UpdateAll(now, seconds);
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
    run.Run();
    EXPECT_TRUE(run.Broken().empty()) << run.Broken().front();
    EXPECT_GT(applied, 0u);
    EXPECT_EQ(refused, 0u);
}

} // namespace
