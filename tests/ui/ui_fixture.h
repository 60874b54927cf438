// A game view for the interface tests: fake modifier word, pause, clock and
// screens, three squad units and an enemy, requests drained as hex.
#pragma once

#include "objects/objects_placeholders.h"
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

inline float FixedTime() { return 2.5f; }

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
        auto& hooks = GameView::GetHooks();
        hooks = {};
        hooks.modifiers = [this] { return view_.modifiers; };
        hooks.isPaused = [this] { return view_.paused; };
        hooks.localTeam = [] { return 1; };
        hooks.playSound = [this](int s) { view_.sounds.push_back(s); };
        GameView::GetScreens() = {};
        GameView::SetRealClock([this] { return view_.now; }, kTicksPerSecond);
        Orders::SetClientTimeSource(FixedTime);
        auto& cursor = GameCursor::PreviewCalls();
        cursor.setHierarchy = [this](Hierarchy*) { view_.calls.push_back("hierarchy"); };
        cursor.playLooped = [this](int32_t s) { view_.calls.push_back("loop " + std::to_string(s)); };
        cursor.playOnce = [this](int32_t s, uint8_t*) { view_.calls.push_back("once " + std::to_string(s)); };
        GameCursor::Release();
        view_.calls.clear();
        Picking::SetOverride([this](int, int) { return pick_; });
        trevok_ = MakeUnit(101, 1, "trevok");
        vell_ = MakeUnit(102, 1, "vell");
        tovan_ = MakeUnit(103, 1, "tovan");
        enemy_ = MakeUnit(201, 2, "guard");
        Squad::Members() = {trevok_.get(), vell_.get(), tovan_.get()};
        ClientUnits::All() = {trevok_.get(), vell_.get(), tovan_.get(), enemy_.get()};
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
        Squad::Members().clear();
        ClientUnits::All().clear();
        Picking::SetOverride(nullptr);
        Picking::SetRectOverride(nullptr);
        GameCursor::PreviewCalls() = {};
        Orders::SetClientTimeSource(nullptr);
        GameView::SetRealClock(nullptr, 0);
        GameView::GetHooks() = {};
        GameView::GetScreens() = {};
        Drain();
    }

    struct UnitDeleter {
        void operator()(UiUnit* u) const { u->Release(); }
    };
    using UnitPtr = std::unique_ptr<UiUnit, UnitDeleter>;

    static UnitPtr MakeUnit(uint32_t id, int team, const char* key)
    {
        UnitPtr u(new UiUnit);
        u->id_ = id;
        u->team_ = team;
        u->characterKey_ = key;
        return u;
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
    UnitPtr trevok_, vell_, tovan_, enemy_;
};

} // namespace uitest
