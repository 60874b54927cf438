// Role fields that change in play: the game thread changes them only under
// the game-state hand-over while the server thread reads them every pass.
// Run under the thread sanitizer, a change made outside the hand-over is a
// reported race.
#include <gtest/gtest.h>

#include "objects/role_changes.h"
#include "platform/thread.h"
#include "session/game_state.h"
#include "session/server_thread.h"

#include <atomic>
#include <vector>

namespace {

bool HandOverHeld() { return !Server::IsRunning() || Server::OnServerThread() || GameState::Depth() > 0; }

class RoleHandOver : public testing::Test {
protected:
    void SetUp() override { RoleChanges::SetHandOverCheck(HandOverHeld); }
    void TearDown() override
    {
        Server::Stop();
        Server::SetHooks({});
        RoleChanges::SetHandOverCheck(nullptr);
    }
};

TEST_F(RoleHandOver, ArmourSetUnderTheHandOverWhileTheServerReadsItEveryPass)
{
    script::Role role;
    role.character.emplace();
    std::atomic<int> passes{0}, lastSeen{0}, wentBack{0};  // wentBack: a torn or stale read
    ServerHooks hooks;
    hooks.think = [&](uint64_t) {
        const int armour = role.armour;  // plain reads: the hand-over orders them
        if (role.vulnerabilities.size() != size_t(armour))
            ++wentBack;
        if (armour < lastSeen.load())
            ++wentBack;
        lastSeen = armour;
        ++passes;
    };
    Server::SetHooks(std::move(hooks));
    ASSERT_TRUE(Server::Start(nullptr));
    Server::BeginLevel();

    constexpr int kChanges = 200;
    for (int i = 1; i <= kChanges; ++i) {
        GameState::Hold hold;
        RoleChanges::SetArmour(role, i);
        RoleChanges::SetWeapons(role, i, -i);
        RoleChanges::AddVulnerability(role, {nullptr, nullptr, i, "TEXT 1", script::VulnerabilityEntry::kRunCommand});
        Server::Wake();
    }
    // Passes after the last change see it.
    const int after = passes.load();
    for (int i = 0; i < 2000 && passes.load() < after + 2; ++i) {
        Server::Wake();
        platform::SleepMilliseconds(1);
    }
    Server::Stop();
    EXPECT_GE(passes.load(), after + 2);
    EXPECT_EQ(lastSeen.load(), kChanges);
    EXPECT_EQ(wentBack.load(), 0);
    EXPECT_EQ(role.character->secondaryWeapon, -kChanges);
    ASSERT_EQ(role.vulnerabilities.size(), size_t(kChanges));
    EXPECT_EQ(role.vulnerabilities.back().seconds, kChanges);
}

TEST_F(RoleHandOver, AChangeOutsideTheHandOverIsCaughtInDebugBuilds)
{
    script::Role role;
    ASSERT_TRUE(Server::Start(nullptr));
    EXPECT_FALSE(RoleChanges::HandOverHeld());
    {
        GameState::Hold hold;
        EXPECT_TRUE(RoleChanges::HandOverHeld());
    }
    Server::Stop();
    EXPECT_TRUE(RoleChanges::HandOverHeld()) << "no server, nothing to race with";
    RoleChanges::SetHandOverCheck([] { return false; });
    EXPECT_DEBUG_DEATH(RoleChanges::SetArmour(role, 5), "hand-over");
}

} // namespace
