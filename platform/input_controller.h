// Game controllers in the shape of DirectInput's joystick devices, on SDL2's
// game-controller interface: the attached controllers are enumerated (at most
// ten are kept), each reports its x and y axes in -1000..1000 with a dead
// zone of 5000 (half the travel, in DirectInput's 0..10000 units) and its
// buttons. A controller that is unplugged reads as centred with no button
// held, never as the last state it had.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

namespace platform {

inline constexpr int kControllerRange = 1000;    // axes run -1000 .. 1000
inline constexpr int kControllerDeadZone = 5000; // of 10000: the inner half reads 0
inline constexpr int kMaxControllers = 10;
inline constexpr int kControllerButtons = 32;

struct ControllerState {
    int32_t x = 0, y = 0;
    uint32_t buttons = 0; // bit i: button i held
    bool operator==(const ControllerState&) const = default;
};

// A raw axis reading (-32768 .. 32767) in the device range with the dead
// zone applied; the travel outside the dead zone is spread over the range.
int32_t ScaleControllerAxis(int raw, int range = kControllerRange, int deadZone = kControllerDeadZone);

class GameController {
public:
    // The controllers attached now, in the system's order, at most `max`.
    static std::vector<std::unique_ptr<GameController>> EnumerateAttached(int max = kMaxControllers);
    ~GameController();
    GameController(const GameController&) = delete;
    GameController& operator=(const GameController&) = delete;

    bool Acquire();
    void Unacquire();
    bool IsAcquired() const { return acquired_; }
    // The current state; false (and a centred state) when the controller is
    // gone or not acquired.
    bool Poll(ControllerState& state);

private:
    GameController() = default;
    void* handle_ = nullptr; // SDL_GameController
    bool acquired_ = false;
};

// A controller made of software, seen by the enumeration like a plugged-in
// one; for tests and tools.
class VirtualController {
public:
    VirtualController();  // attached at once
    ~VirtualController(); // unplugged
    VirtualController(const VirtualController&) = delete;
    VirtualController& operator=(const VirtualController&) = delete;
    bool IsAttached() const { return index_ >= 0; }
    void SetStick(int x, int y); // raw, -32768 .. 32767
    void SetButton(int button, bool down);
    void Unplug();

private:
    int index_ = -1;
    void* joystick_ = nullptr;
};

} // namespace platform
