// The game thread advances movers and asks for the ground under the shared
// lock while the server thread opens and closes a door under the exclusive
// lock; the thread-sanitizer build checks that nothing races.
#include "level_fixture.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

using namespace leveltest;

TEST(LevelThreads, DoorsToggleExclusivelyWhileMoversAdvanceShared)
{
    DoorLevel d;
    Level& level = *d.level;
    Vec3 at{1, -1, 1};
    Mover* mover = level.AddMover(at, std::make_unique<MoverBody>(1.8f, 0.25f), 0);
    d.Open();

    constexpr int kRounds = 400;
    std::thread game([&] {
        uint32_t time = 0;
        for (int i = 0; i < kRounds; ++i) {
            LockGuard shared(level.lock_, false);
            Vec3 target{i % 2 ? 1.0f : 9.0f, 0, 1};
            time += 100000;
            level.AdvanceMover(target, *mover, time);
            Vec3 probe{5, -1, 1};
            level.SnapToPolygon(probe);
        }
    });
    for (int i = 0; i < kRounds; ++i) {
        LockGuard exclusive(level.lock_, true);
        if (i % 2)
            d.Open();
        else
            d.Close();
    }
    game.join();

    // Both threads ran to the end; whatever the interleaving, the links are
    // mutual and the mover stands on the level.
    for (CollisionMesh* mesh : level.Meshes())
        mesh->ForEachPolygon([](CollisionPolygon& p) {
            for (uint32_t k = 0; k < p.LinkCount(); ++k)
                EXPECT_TRUE(p.LinkAt(k)->IsLinkedTo(&p));
        });
    EXPECT_NE(mover->surface, nullptr);
    EXPECT_EQ(mover->time, kRounds * 100000u);
}

} // namespace
