// The two-thread mode with the replicas: the server thread runs its passes
// while the game thread sends group orders, applies the drained messages,
// updates the replicas (their movers share the level's mover list with the
// server's actors) and draws them. Run under the thread sanitizer
// (PRESET=tsan), a missing lock around the level shows as a race.
#include "../objects/navigation_fixture.h"
#include "../objects/server_fixture.h"
#include "app/app_time.h"
#include "objects/moving_object.h"
#include "objects/object_registry.h"
#include "objects/server_link.h"
#include "objects/teams.h"
#include "platform/thread.h"
#include "script/records.h"
#include "session/client_apply.h"
#include "session/game_state.h"
#include "session/message_queue.h"
#include "session/server_objects.h"
#include "session/server_thread.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

TEST(ClientReplicaThreads, ReplicasStandAndDrawWhileTheServerPasses)
{
    navtest::GridLevel floor = navtest::MakeGridLevel(std::vector<std::string>(16, std::string(16, '.')));
    Level::Current() = floor.level.get();
    script::Role walker;
    walker.aiType = 2;
    walker.character.emplace();
    walker.character->strength = 10;
    walker.character->weapon = 2147483647;
    walker.character->walkingSpeed = 4 * 65536;
    walker.character->turningSpeed = 2048;
    walker.character->radius = 0.3f;
    walker.character->height = walker.character->modelHeight = 2.0f;
    GiveBoxShape(walker, {-0.3f, -2, -0.3f}, {0.3f, 0, 0.3f});
    AppTime::StartRealTime();  // the game clock runs from here

    Server::InstallObjectHooks();
    ServerToClientQueue.Clear();
    ClientToServerQueue.Clear();
    ASSERT_TRUE(Server::Start(nullptr));
    Client::InstallObjectServices(true, 1);
    std::vector<WorldObject*> squad;
    {
        GameState::Hold hold;
        TeamTable::Build(4, 1, 0);
        Server::ResetObjectTables();
        WorldObjectTable::DestroyAll();
        WorldObjectTable::ResetIds();
        for (int i = 0; i < 8; ++i) {
            const Vec3 at{static_cast<float>(i) + 0.5f, 0, 1.5f};
            const int32_t id = Server::CreateLevelObject(1, &walker, at, Quaternion::Identity());
            ASSERT_GE(id, 0);
            squad.push_back(WorldObject::CreateFromMessage(1, &walker, at, Quaternion::Identity(),
                                                           static_cast<uint32_t>(id)));
        }
    }
    Server::BeginLevel();

    size_t applied = 0, drawn = 0;
    WorldObjectTable::DrawHook() = [&](const ClientDraw&) { ++drawn; };
    const CollisionPolygon* far = floor.At(12, 12);
    ASSERT_NE(far, nullptr);
    for (int i = 0; i < 400; ++i) {
        Server::Wake();
        if (i % 100 == 0)
            MovingObject::SendGroupOrder(squad, far ? far->tableIndex_ : 0, 0, false, false);
        for (GameMessage m = ServerToClientQueue.Pop(); !m.IsEmpty(); m = ServerToClientQueue.Pop()) {
            applied += Client::ApplyServerMessage(m) == Client::Applied::kApplied;
        }
        WorldObjectTable::UpdateAll(static_cast<uint64_t>(AppTime::GameNow()), AppTime::GameSeconds());
        WorldObjectTable::DrawAll();
        platform::SleepMilliseconds(2);
    }
    {
        // Each replica still stands on the floor with its own mover, where
        // the server's object is (read while the server thread is held).
        GameState::Hold hold;
        for (WorldObject* replica : squad) {
            const GameObject* object = ObjectRegistry::Global().Find(replica->GetId());
            ASSERT_NE(object, nullptr);
            EXPECT_NE(replica->GetMover(), nullptr);
            EXPECT_NE(replica->GetPolygon(), nullptr);
            EXPECT_LT((replica->Position() - object->Position()).Length(), 0.5f) << replica->GetId();
        }
        EXPECT_EQ(static_cast<size_t>(floor.level->Movers().Count()), 2 * squad.size());  // actors' and replicas'
    }
    Server::EndLevel();
    Server::Stop();
    WorldObjectTable::DrawHook() = nullptr;

    EXPECT_GT(applied, 0u);
    EXPECT_GT(drawn, 0u);

    WorldObjectTable::DestroyAll();
    Level::Current() = nullptr;
    ClientServices::Get() = ClientServices{};
    Server::SetHooks({});
    ServerLink::Install({});
    TeamTable::Clear();
}

} // namespace
