// The level script's 'wait for' conditions against the running interface:
// each phrase is installed, not met as it stands, and met (or not) once the
// camera, the view mode or the pause changes as a player would change them.
#include "ui/wait_for_world.h"

#include "ui/camera_controller.h"
#include "ui/game_view.h"
#include "ui/ui_placeholders.h"

#include "console/named_values.h"
#include "console/session_commands.h"
#include "objects/moving_object.h"
#include "objects/world_object.h"
#include "script/records.h"
#include "session/level_session.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

TEST(GameWaitForWorld, ConditionsFollowTheCameraViewAndPause)
{
    bool paused = false;
    auto none = [] {};
    auto recon = [] { FreeCameraFlag = false; };
    auto pause = [&paused] { paused = true; };
    // Each phrase is not met after `before`; `change` then meets it or not.
    const struct {
        const char* phrase;
        std::function<void()> before, change;
        bool met;
    } cases[] = {
        {"CAMERA TO BE ROTATED", none, [] { CameraController::Get().heading += 341.3f; }, true},  // 30 degrees
        {"camera to be rotated", none, [] { CameraController::Get().heading -= 341.3f; }, true},  // the other way
        {"CAMERA TO BE ROTATED", none, [] { CameraController::Get().heading += 227.6f; }, false}, // 20 degrees
        {"CAMERA TO BE ROTATED", none, [] { CameraController::Get().heading = 4096.0f - 241.3f; }, true}, // 30 over 0
        {"CAMERA TO BE ELEVATED", none, [] { CameraController::Get().pitch += 341.3f; }, true},
        {"CAMERA TO BE ZOOMED", none, [] { CameraController::Get().zoom += 0.5f; }, true},
        {"SCREEN TO BE SCROLLED", none, [] { CameraController::Get().focus.x += 1.0f; }, true},
        {"RECON VIEW MODE", none, recon, true},
        {"NORMAL VIEW MODE", recon, [] { FreeCameraFlag = true; }, true},
        {"ACTIVE PAUSE", none, pause, true},
        {"GAME TO BE UNPAUSED", pause, [&paused] { paused = false; }, true},
        {"CAMERA TO BE LOCKED", none, none, false},
        {"COMMAND WHEEL", none, none, false},
    };
    GameView::GetHooks().isPaused = [&paused] { return paused; };
    GameView::InstallWaitForWorld();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.phrase);
        CameraController::Reset();
        CameraController::Get().heading = 100.0f;
        FreeCameraFlag = true;
        paused = false;
        c.before();
        ASSERT_TRUE(WaitFor::Parse(c.phrase));
        EXPECT_FALSE(WaitFor::IsSatisfied()) << "before";
        c.change();
        EXPECT_EQ(WaitFor::IsSatisfied(), c.met);
        WaitFor::Reset();
    }
    WaitFor::SetWorld(nullptr);
    GameView::GetHooks().isPaused = nullptr;
    FreeCameraFlag = true;
    CameraController::Reset();
}

// An actor the script waits on leaves the world on the server's word: the
// condition sees it through the client's removal, by id, never a pointer.
TEST(GameWaitForWorld, AnActorRemovedFromTheWorldIsCollectedAndDead)
{
    SessionCommands::Install();  // the removal reaches the conditions
    GameView::InstallWaitForWorld();
    script::Role role;
    role.aiType = 2;
    role.character.emplace();
    role.character->walkingSpeed = 2 * 65536;
    for (const char* phrase : {"ACTOR \"boss\" TO BE COLLECTED", "ACTOR \"boss\" TO DIE"}) {
        SCOPED_TRACE(phrase);
        WorldObject* boss = WorldObject::CreateByRole(2, &role, {}, Quaternion::Identity());
        ASSERT_NE(boss, nullptr);
        NamedValueList::Global().Set("boss", float(boss->GetId()));
        ASSERT_TRUE(WaitFor::Parse(phrase));
        EXPECT_FALSE(WaitFor::IsSatisfied()) << "while it stands";
        boss->Remove();
        EXPECT_TRUE(WaitFor::IsSatisfied()) << "once removed";
        WaitFor::Reset();
    }
    WorldObjectTable::DestroyAll();
    WorldObjectTable::ResetIds();
    WorldObjectTable::RemovedHook() = nullptr;
    Session::SetHooks({});
    WaitFor::SetWorld(nullptr);
}

// "TO HIDE" needs both: crouched, and out of sight as the server judged it.
TEST(GameWaitForWorld, AnActorHidesOnlyCrouchedAndOutOfSight)
{
    GameView::InstallWaitForWorld();
    script::Role role;
    role.aiType = 2;
    role.character.emplace();
    role.character->walkingSpeed = 2 * 65536;
    const struct {
        bool crouched, outOfSight, hides;
    } cases[] = {{false, false, false}, {true, false, false}, {false, true, false}, {true, true, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "crouched " << c.crouched << ", out of sight " << c.outOfSight);
        auto* scout = dynamic_cast<MovingObject*>(WorldObject::CreateByRole(2, &role, {}, Quaternion::Identity()));
        ASSERT_NE(scout, nullptr);
        NamedValueList::Global().Set("scout", float(scout->GetId()));
        ASSERT_TRUE(WaitFor::Parse("ACTOR \"scout\" TO HIDE"));
        EXPECT_FALSE(WaitFor::IsSatisfied()) << "standing in the open";
        scout->SetCrouch(c.crouched, c.outOfSight);
        EXPECT_EQ(WaitFor::IsSatisfied(), c.hides);
        WaitFor::Reset();
        WorldObjectTable::DestroyAll();
    }
    WorldObjectTable::ResetIds();
    WaitFor::SetWorld(nullptr);
}

} // namespace
