// Debris and spotlights draw from the particles' additive generator under
// its one lock, so another thread drawing at the same time races with
// nothing (the thread-sanitizer build checks it).
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "effect_support.h"

using namespace effecttest;

namespace {

class RandomLockTest : public EffectTest {};

TEST_F(RandomLockTest, DebrisAndSpotlightsShareTheGeneratorsLockWithAnotherThread)
{
    std::atomic<bool> stop{false};
    std::atomic<uint64_t> draws{0};
    std::thread other([&] {
        while (!stop.load()) {
            LockGuard guard(Particles::Lock(), true);
            Particles::Random().Next();
            draws.fetch_add(1);
        }
    });
    // The other thread is drawing before this one starts.
    while (draws.load() == 0)
        std::this_thread::yield();
    FakeObject* o = FakeObject::Make(6);
    for (int i = 0; i < 50; ++i) {
        BallisticObjects::BreakUp(o, 1.0f, i % 2 == 0);
        Effects::AddSpotlight({float(i), 0, 0}, At(0));
        Effects::AddElectricity(At(0), {0, 0, 0}, {{1, 0, 0}, false, 1.0f, nullptr});
        Frame(0.06 * i);
    }
    stop.store(true);
    other.join();
    // Every hold was given back.
    ASSERT_TRUE(Particles::Lock().TryLock(true));
    Particles::Lock().Unlock(true);
    BallisticObjects::Clear();
    o->Release();
}

} // namespace
