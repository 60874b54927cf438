// A game view for the interface tests: fake modifier word, pause, clock and
// screens over a world of real replicas (three squad units and an enemy),
// requests drained as hex.
#pragma once

#include "replica_world.h"
#include "session/message_queue.h"
#include "ui/camera_controller.h"
#include "ui/game_cursor.h"
#include "ui/game_view.h"
#include "ui/mouse.h"
#include "ui/orders.h"
#include "ui/picking.h"
#include "ui/selection.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace uitest {

struct View {
    uint32_t modifiers = 0;
    bool paused = false;
    int64_t now = 0;
    std::vector<std::string> calls; // what the screens were asked to do
    std::vector<int> sounds;
};

class GameViewTest : public ::testing::Test {
protected:
    static constexpr int64_t kTicksPerSecond = 1000000;

    void SetUp() override
    {
        // Whatever an earlier test left of a game view session ends first.
        GameView::EndSession();
        auto& hooks = GameView::GetHooks();
        hooks = {};
        hooks.modifiers = [this] { return view_.modifiers; };
        hooks.isPaused = [this] { return view_.paused; };
        hooks.localTeam = [] { return 1; };
        hooks.playSound = [this](int s) { view_.sounds.push_back(s); };
        GameView::GetScreens() = {};
        GameView::SetRealClock([this] { return view_.now; }, kTicksPerSecond);
        auto& cursor = GameCursor::PreviewCalls();
        cursor.setHierarchy = [this](Hierarchy*) { view_.calls.push_back("hierarchy"); };
        cursor.playLooped = [this](int32_t s) { view_.calls.push_back("loop " + std::to_string(s)); };
        cursor.playOnce = [this](int32_t s, uint8_t*) { view_.calls.push_back("once " + std::to_string(s)); };
        GameCursor::Release();
        view_.calls.clear();
        Picking::SetOverride([this](int, int) { return pick_; });
        world_ = std::make_unique<ui_test::ReplicaWorld>();
        trevok_ = world_->MakeUnit(101, 1, "trevok");
        vell_ = world_->MakeUnit(102, 1, "vell");
        tovan_ = world_->MakeUnit(103, 1, "tovan");
        enemy_ = world_->MakeUnit(201, 2, "guard");
        CameraController::Reset();
        MouseActionMap::Build(false);
        MouseMode::Set(0);
        Drain();
    }

    void TearDown() override
    {
        Mouse::DropAll();
        Selection::ReleaseCommandUnit();
        Selection::SetViewUnit(nullptr);
        Selection::SetQuickWeaponMode(false);
        Selection::RemoveAll();
        CameraController::StopTracking();
        MouseMode::Set(0);
        Picking::SetOverride(nullptr);
        Picking::SetRectOverride(nullptr);
        GameCursor::PreviewCalls() = {};
        GameView::SetRealClock(nullptr, 0);
        GameView::GetHooks() = {};
        GameView::GetScreens() = {};
        Drain();
        world_.reset();
    }

    // Every queued request as hex, one space before each.
    static std::string Drain()
    {
        std::string out;
        for (;;) {
            GameMessage m = ClientToServerQueue.Pop();
            if (m.Size() == 0)
                break;
            out += ' ';
            const uint8_t* b = m.Data();
            for (uint32_t i = 0; i < m.Size(); ++i) {
                char hex[3];
                std::snprintf(hex, sizeof hex, "%02x", b[i]);
                out += hex;
            }
        }
        return out;
    }

    View view_;
    PickResult pick_;
    std::unique_ptr<ui_test::ReplicaWorld> world_;
    Unit *trevok_ = nullptr, *vell_ = nullptr, *tovan_ = nullptr, *enemy_ = nullptr;
};

} // namespace uitest
