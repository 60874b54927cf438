// What the interface reads of the running game: the client objects, the
// player's selection, the local team, the pause state and the modifier keys.
// The default view reads the client registry and the selection; the shell
// installs its view for the keys and the screen, tests their own.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

class WorldObject;

class HudView {
public:
    virtual ~HudView() = default;
    // Every client object, in the registry's order.
    virtual std::span<WorldObject* const> Objects();
    // The selection set in selection order; the first is the lead unit.
    virtual std::span<WorldObject* const> Selected();
    virtual int LocalTeam();
    virtual bool IsPaused() { return false; }
    // Bit 1: Ctrl (queue orders, show the order list).
    virtual uint32_t Modifiers() { return 0; }
    virtual int64_t RealNow();
    virtual int64_t TicksPerSecond();
    // Game time in seconds, from the 64-bit tick count.
    virtual double GameSeconds();
    // The last frame's length in real-time ticks (0 before the first).
    virtual int64_t LastFrameTicks() { return 0; }
    virtual float ScreenWidth() { return 640; }
    virtual float ScreenHeight() { return 480; }

    // The pointer's movement since the last frame, in mode pixels.
    virtual void PointerMotion(float& dx, float& dy) { dx = dy = 0; }
    // +2, or -2 with the mouse inverted.
    virtual float PitchSensitivity() { return 2; }
    // The cursor mode of the mouse action map (0 normal, 2 attack, 5 recon).
    virtual int CursorMode();
    virtual void SetCursorMode(int mode);

    static HudView& Current();
    // Null restores the default view. The caller keeps the view alive.
    static void Install(HudView* view);

private:
    // This frame's copies the spans above show.
    std::vector<WorldObject*> objects_, selected_;
};

inline constexpr uint32_t kModifierCtrl = 0x2;
