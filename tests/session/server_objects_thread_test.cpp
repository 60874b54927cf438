// The two-thread mode under the real server thread: while passes run and
// requests flow, the game thread presses F-keys, spawns and deletes objects
// through the hand-over. Run under the thread sanitizer (PRESET=tsan), a missing hand-
// over shows as a race; here every object must still be filed consistently.
#include "objects/ai.h"
#include "objects/think_routines.h"
#include "objects/object_registry.h"
#include "objects/server_link.h"
#include "objects/teams.h"
#include "platform/thread.h"
#include "script/records.h"
#include "session/game_state.h"
#include "session/message_queue.h"
#include "session/server_objects.h"
#include "session/server_thread.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <deque>

namespace {

std::atomic<int> g_thinks{0};

int32_t Drift(GameObject& object, uint64_t now)
{
    g_thinks.fetch_add(1, std::memory_order_relaxed);
    object.nextThink_ = now;
    object.SetPosition(object.Position() + Vec3{static_cast<float>(AiRandom::Next() % 3) - 1.0f, 0, 0});
    return 0;
}

TEST(ServerObjectsThreads, KeysSpawnsAndDeletesDuringPasses)
{
    std::deque<script::Role> roles;
    script::Role& walker = roles.emplace_back();
    walker.aiType = 1;
    walker.character.emplace();
    walker.character->strength = 10;
    walker.character->weapon = 2147483647;
    script::Role& decoy = roles.emplace_back();
    decoy.aiType = 2;
    decoy.character.emplace();
    decoy.character->weapon = DeviceKind::kDecoy;

    Ai::SetRoutine(1, &Drift);
    Server::InstallObjectHooks();
    ServerToClientQueue.Clear();
    ASSERT_TRUE(Server::Start(nullptr));
    {
        GameState::Hold hold;
        TeamTable::Build(4, 1, 0);
        Server::ResetObjectTables();
        AiPlayerSlots::Add(2);
        for (int i = 0; i < 10; ++i)
            Server::CreateLevelObject(2, &walker, {static_cast<float>(i), 0, 0}, Quaternion::Identity());
        for (int i = 0; i < 10; ++i) {
            const int32_t id = Server::CreateLevelObject(1, &decoy, {0, 0, static_cast<float>(i)},
                                                         Quaternion::Identity());
            GameObject* device = ObjectRegistry::Global().Find(static_cast<uint32_t>(id));
            device->eventCallback_(*device, 0);
        }
    }
    Server::BeginLevel();

    const uint64_t startPasses = Server::PassCount();
    uint32_t deleted = 0;
    for (int i = 0; i < 300; ++i) {
        Server::Wake();
        if (i % 3 == 0)
            AlertTable::Answer(59 + static_cast<uint32_t>(i % 10), i % 10);
        // Requests flow on the client road while the game thread spawns:
        // the server thread looks their objects up in the same registry.
        const uint32_t target = 1 + static_cast<uint32_t>(i % 40);
        const uint32_t requests[][2] = {{31, target}, {33, target}, {23, target}};
        for (const auto& r : requests) {
            uint8_t block[12] = {};
            StoreU32(block, r[0]);
            StoreU32(block + 4, r[1]);
            StoreU32(block + 8, 5);
            Client::SendToServer(block, r[0] == 23 ? 12 : 8, true);
        }
        if (i % 5 == 0)
            Server::SpawnObject(2, &walker, {0, 0, 5}, Quaternion::Identity());
        if (i % 7 == 0 && Server::DeleteObject(static_cast<uint32_t>(1 + i / 7)))
            ++deleted;
        while (!ServerToClientQueue.Pop().IsEmpty()) {
        }
        platform::YieldThread();
    }
    // Two more whole passes: the second began after the last request was
    // queued, so it drained them all.
    const uint64_t lastRequestPass = std::max(Server::PassCount(), startPasses + 18);
    while (Server::PassCount() < lastRequestPass + 2) {
        Server::Wake();
        platform::YieldThread();
    }
    Server::EndLevel();
    Server::Stop();

    EXPECT_EQ(ClientToServerQueue.Count(), 0u) << "every request was drained";
    EXPECT_GT(deleted, 0u);
    EXPECT_GT(g_thinks.load(), 0);
    EXPECT_EQ(ObjectRegistry::Global().Count(), 0u) << "the level's end released everything";
    for (int slot = 0; slot < RemoteDeviceTable::kSlots; ++slot)
        EXPECT_EQ(RemoteDeviceTable::At(slot), nullptr);
    Ai::InstallRoutines();
    Server::SetHooks({});
    ServerLink::Install({});
    TeamTable::Clear();
    AiPlayerSlots::Clear();
}

} // namespace
