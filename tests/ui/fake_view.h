// A game view the interface tests set up by hand over a world of real
// replicas: which objects it shows, what is selected, the clock and keys.
#pragma once

#include "replica_world.h"
#include "ui/hud_view.h"

#include <vector>

namespace ui_test {

struct FakeView : HudView {
    FakeView() { HudView::Install(this); }
    ~FakeView() override { HudView::Install(nullptr); }
    std::span<WorldObject* const> Objects() override { return objects; }
    std::span<WorldObject* const> Selected() override { return selected; }
    int LocalTeam() override { return team; }
    bool IsPaused() override { return paused; }
    uint32_t Modifiers() override { return modifiers; }
    int64_t RealNow() override { return now; }
    int64_t TicksPerSecond() override { return 1000; }
    double GameSeconds() override { return AppTime::GameSeconds(); }
    float ScreenWidth() override { return width; }
    float ScreenHeight() override { return height; }

    std::vector<WorldObject*> objects, selected;
    int team = 1;
    bool paused = false;
    uint32_t modifiers = 0;
    int64_t now = 0;
    float width = 640, height = 480;
};

} // namespace ui_test
