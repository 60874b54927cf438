// The trigger check on a server-like thread while the game thread adds
// triggers under the hand-over and sets the named values they read (run
// under the thread sanitizer by the tsan preset).
#include "console/level_commands.h"
#include "console/named_values.h"
#include "objects/level_triggers.h"
#include "objects/server_link.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <thread>

namespace {

TEST(TriggerThreads, CheckRunsWhileTheConsoleAddsAndSetsValues)
{
    std::recursive_mutex handOver;  // stands for the server's pass and GameState::Enter
    ServerLink link;
    link.enter = [&] { handOver.lock(); };
    link.leave = [&] { handOver.unlock(); };
    std::atomic<uint64_t> clock{5};
    link.now = [&] { return clock.load(); };
    link.ticksPerSecond = [] { return uint64_t{1000}; };
    std::atomic<int> fired{0};
    link.broadcastCommandFile = [&](std::string_view) {
        ++fired;
        return true;
    };
    ServerLink::Install(std::move(link));
    LevelTriggers::Clear();
    LevelCommands::InstallTriggerNames();

    std::atomic<bool> done{false};
    std::thread server([&] {
        while (!done) {
            std::lock_guard<std::recursive_mutex> pass(handOver);
            LevelTriggers::Check();
        }
    });
    const Vec3 positions[4] = {};
    for (int i = 0; i < 300; ++i) {
        NamedValueList::Global().Set("watched" + std::to_string(i % 7), float(i));
        LevelTriggers::Add(uint32_t(TriggerKind::Death), positions, 0, {"watched" + std::to_string(i % 7)}, "d.tcs");
        LevelTriggers::Add(uint32_t(TriggerKind::Time), positions, 0, {}, "t.tcs");
    }
    done = true;
    server.join();
    {
        std::lock_guard<std::recursive_mutex> last(handOver);
        clock = 6;
        LevelTriggers::Check();
    }
    // Every time trigger is due and every watched id names no object.
    EXPECT_EQ(fired.load(), 600);
    EXPECT_TRUE(LevelTriggers::All().IsEmpty());
    LevelTriggers::SetHooks({});
    ServerLink::Install({});
}

} // namespace
