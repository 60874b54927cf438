#include "platform/input_controller.h"

#include <SDL.h>

#include <algorithm>
#include <cstdlib>

namespace platform {
namespace {

bool StartControllers()
{
    // Counted per call; the subsystem stays for the process once started.
    static const bool started = SDL_InitSubSystem(SDL_INIT_GAMECONTROLLER) == 0;
    return started;
}

SDL_GameController* Handle(void* h) { return static_cast<SDL_GameController*>(h); }

} // namespace

int32_t ScaleControllerAxis(int raw, int range, int deadZone)
{
    // Full travel is 32767 either way; -32768 counts as full travel too.
    const int64_t magnitude = std::min<int64_t>(std::llabs(raw), 32767);
    const int64_t dead = int64_t(32767) * std::clamp(deadZone, 0, 10000) / 10000;
    if (magnitude <= dead || dead >= 32767)
        return 0;
    const int64_t scaled = ((magnitude - dead) * range + (32767 - dead) / 2) / (32767 - dead);
    return static_cast<int32_t>(raw < 0 ? -scaled : scaled);
}

std::vector<std::unique_ptr<GameController>> GameController::EnumerateAttached(int max)
{
    std::vector<std::unique_ptr<GameController>> list;
    if (!StartControllers())
        return list;
    SDL_GameControllerUpdate();
    const int count = SDL_NumJoysticks();
    for (int i = 0; i < count && int(list.size()) < max; ++i) {
        if (!SDL_IsGameController(i))
            continue;
        SDL_GameController* handle = SDL_GameControllerOpen(i);
        if (!handle)
            continue;
        std::unique_ptr<GameController> c(new GameController);
        c->handle_ = handle;
        list.push_back(std::move(c));
    }
    return list;
}

GameController::~GameController()
{
    if (handle_)
        SDL_GameControllerClose(Handle(handle_));
}

bool GameController::Acquire()
{
    acquired_ = handle_ && SDL_GameControllerGetAttached(Handle(handle_));
    return acquired_;
}

void GameController::Unacquire() { acquired_ = false; }

bool GameController::Poll(ControllerState& state)
{
    state = {};
    if (!acquired_ || !handle_)
        return false;
    SDL_GameControllerUpdate();
    SDL_GameController* c = Handle(handle_);
    if (!SDL_GameControllerGetAttached(c)) {
        acquired_ = false;
        return false;
    }
    state.x = ScaleControllerAxis(SDL_GameControllerGetAxis(c, SDL_CONTROLLER_AXIS_LEFTX));
    state.y = ScaleControllerAxis(SDL_GameControllerGetAxis(c, SDL_CONTROLLER_AXIS_LEFTY));
    for (int b = 0; b < SDL_CONTROLLER_BUTTON_MAX && b < kControllerButtons; ++b)
        if (SDL_GameControllerGetButton(c, static_cast<SDL_GameControllerButton>(b)))
            state.buttons |= 1u << b;
    return true;
}

VirtualController::VirtualController()
{
    if (!StartControllers())
        return;
    index_ = SDL_JoystickAttachVirtual(SDL_JOYSTICK_TYPE_GAMECONTROLLER, SDL_CONTROLLER_AXIS_MAX,
                                       SDL_CONTROLLER_BUTTON_MAX, 0);
    // Held open so its values can be set; the game opens its own handle.
    if (index_ >= 0)
        joystick_ = SDL_JoystickOpen(index_);
}

VirtualController::~VirtualController() { Unplug(); }

void VirtualController::SetStick(int x, int y)
{
    auto* j = static_cast<SDL_Joystick*>(joystick_);
    if (!j)
        return;
    SDL_JoystickSetVirtualAxis(j, SDL_CONTROLLER_AXIS_LEFTX, static_cast<Sint16>(std::clamp(x, -32768, 32767)));
    SDL_JoystickSetVirtualAxis(j, SDL_CONTROLLER_AXIS_LEFTY, static_cast<Sint16>(std::clamp(y, -32768, 32767)));
}

void VirtualController::SetButton(int button, bool down)
{
    if (auto* j = static_cast<SDL_Joystick*>(joystick_))
        SDL_JoystickSetVirtualButton(j, button, down ? SDL_PRESSED : SDL_RELEASED);
}

void VirtualController::Unplug()
{
    if (index_ < 0)
        return;
    // The device index moves as others go; find ours by its instance.
    const SDL_JoystickID id = joystick_ ? SDL_JoystickInstanceID(static_cast<SDL_Joystick*>(joystick_)) : -1;
    if (joystick_)
        SDL_JoystickClose(static_cast<SDL_Joystick*>(joystick_));
    joystick_ = nullptr;
    for (int i = 0; i < SDL_NumJoysticks(); ++i)
        if (SDL_JoystickIsVirtual(i) && SDL_JoystickGetDeviceInstanceID(i) == id) {
            SDL_JoystickDetachVirtual(i);
            break;
        }
    index_ = -1;
}

} // namespace platform
