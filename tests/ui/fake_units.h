// Client units and a game view the interface tests set up by hand.
#pragma once

#include "objects/objects_placeholders.h"
#include "ui/hud_view.h"

#include <vector>

namespace ui_test {

struct FakeUnit : UiUnit {
    explicit FakeUnit(uint32_t id = 1) { id_ = id; }
    bool IsAlive() const override { return alive; }
    int Team() const override { return team; }
    bool IsActive() const override { return active; }
    bool IsCharacter() const override { return character; }
    bool IsTimed() const override { return timed; }
    float RemainingSeconds() const override { return remaining; }
    const char* RoleName() const override { return role; }
    Vec3 Position() const override { return position; }
    std::span<const UnitOrder> Orders() const override { return orders; }
    const char* WeaponName() const override { return weapon; }
    bool ShieldDetected() const override { return shield; }
    float Armour() const override { return armour; }
    float CommRange() const override { return comm; }
    bool HasSalvage() const override { return hasSalvage; }
    const char* SalvageName() const override { return salvage; }

    bool alive = true, active = true, character = true, timed = false, shield = false, hasSalvage = false;
    int team = 1;
    float remaining = 0, armour = 0, comm = -1;
    const char* role = nullptr;
    const char* weapon = nullptr;
    const char* salvage = nullptr;
    Vec3 position{0, 0, 0};
    std::vector<UnitOrder> orders;
};

struct FakeView : HudView {
    FakeView() { HudView::Install(this); }
    ~FakeView() override { HudView::Install(nullptr); }
    std::span<UiUnit* const> Objects() override { return objects; }
    std::span<UiUnit* const> Selected() override { return selected; }
    int LocalTeam() override { return team; }
    bool IsPaused() override { return paused; }
    uint32_t Modifiers() override { return modifiers; }
    int64_t RealNow() override { return now; }
    int64_t TicksPerSecond() override { return 1000; }

    std::vector<UiUnit*> objects, selected;
    int team = 1;
    bool paused = false;
    uint32_t modifiers = 0;
    int64_t now = 0;
};

} // namespace ui_test
