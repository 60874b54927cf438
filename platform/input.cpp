#include "platform/input.h"

#include "platform/input_feed.h"
#include "platform/window.h"

#include <SDL.h>

#include <deque>

namespace platform {

using RecordQueue = std::deque<DeviceRecord>;

// Holds the devices that receive input and the pointer position.
struct InputHub {
    InputDevice* keyboard = nullptr;
    InputDevice* mouse = nullptr;
    uint32_t sequence = 0;
    bool cursorKnown = false;
    int cursorX = 0, cursorY = 0;
    int lastMotionX = 0, lastMotionY = 0;

    static InputHub& Get()
    {
        static InputHub hub;
        return hub;
    }

    // Records beyond this wait in memory rather than being lost; a stalled
    // reader still cannot grow the queue without bound.
    static constexpr size_t kMaxPending = 4096;

    static void Push(InputDevice* device, const DeviceRecord& record)
    {
        if (!device || !device->acquired_)
            return;
        auto* q = static_cast<RecordQueue*>(device->queue_);
        if (q->size() < kMaxPending)
            q->push_back(record);
    }

    static void MarkLost(InputDevice* device)
    {
        if (device && device->acquired_) {
            device->Unacquire();
            device->lost_ = true;
        }
    }

    static void Track(InputDevice* device, const DeviceRecord& record)
    {
        if (!device)
            return;
        MouseDeviceState& s = device->state_;
        const auto value = static_cast<int32_t>(record.data);
        switch (record.offset) {
        case kMouseAxisX: s.x += value; break;
        case kMouseAxisY: s.y += value; break;
        case kMouseAxisZ: s.z += value; break;
        default:
            if (record.offset >= kMouseButton0 && record.offset <= kMouseButton3)
                s.buttons[record.offset - kMouseButton0] = static_cast<uint8_t>(record.data);
            break;
        }
    }
};

namespace detail {

void FeedInputEvent(const SDL_Event& e, int windowLeft, int windowTop)
{
    InputHub& hub = InputHub::Get();
    DeviceRecord r;
    r.timeStamp = e.common.timestamp;
    r.sequence = ++hub.sequence;
    switch (e.type) {
    case SDL_KEYDOWN:
    case SDL_KEYUP: {
        if (e.key.repeat)
            return; // a held key is one press, as with DirectInput
        const uint8_t code = DirectInputScanCode(e.key.keysym.scancode);
        if (!code)
            return;
        r.offset = code;
        r.data = e.type == SDL_KEYDOWN ? kKeyPressed : 0;
        InputHub::Push(hub.keyboard, r);
        break;
    }
    case SDL_MOUSEMOTION:
        hub.cursorKnown = true;
        hub.cursorX = windowLeft + e.motion.x;
        hub.cursorY = windowTop + e.motion.y;
        if (e.motion.xrel) {
            r.offset = kMouseAxisX;
            r.data = static_cast<uint32_t>(e.motion.xrel);
            InputHub::Track(hub.mouse, r);
            InputHub::Push(hub.mouse, r);
        }
        if (e.motion.yrel) {
            r.offset = kMouseAxisY;
            r.data = static_cast<uint32_t>(e.motion.yrel);
            InputHub::Track(hub.mouse, r);
            InputHub::Push(hub.mouse, r);
        }
        break;
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP: {
        uint32_t offset = 0;
        switch (e.button.button) {
        case SDL_BUTTON_LEFT: offset = kMouseButton0; break;
        case SDL_BUTTON_RIGHT: offset = kMouseButton1; break;
        case SDL_BUTTON_MIDDLE: offset = kMouseButton2; break;
        case SDL_BUTTON_X1: offset = kMouseButton3; break;
        default: return;
        }
        r.offset = offset;
        r.data = e.type == SDL_MOUSEBUTTONDOWN ? kKeyPressed : 0;
        InputHub::Track(hub.mouse, r);
        InputHub::Push(hub.mouse, r);
        break;
    }
    case SDL_MOUSEWHEEL: {
        int notches = e.wheel.y;
        if (e.wheel.direction == SDL_MOUSEWHEEL_FLIPPED)
            notches = -notches;
        if (!notches)
            return;
        r.offset = kMouseAxisZ;
        r.data = static_cast<uint32_t>(notches * kWheelDelta);
        InputHub::Track(hub.mouse, r);
        InputHub::Push(hub.mouse, r);
        break;
    }
    default:
        break;
    }
}

void InputFocusLost()
{
    InputHub& hub = InputHub::Get();
    InputHub::MarkLost(hub.keyboard);
    InputHub::MarkLost(hub.mouse);
}

} // namespace detail

std::unique_ptr<InputDevice> InputDevice::Create(Kind kind, Window*, uint32_t bufferSize, bool exclusive)
{
    detail::EnsureEventsReady();
    std::unique_ptr<InputDevice> device(new InputDevice());
    device->kind_ = kind;
    device->bufferSize_ = bufferSize;
    device->exclusive_ = exclusive;
    device->queue_ = new RecordQueue();
    InputHub& hub = InputHub::Get();
    (kind == Kind::Keyboard ? hub.keyboard : hub.mouse) = device.get();
    return device;
}

InputDevice::~InputDevice()
{
    InputHub& hub = InputHub::Get();
    if (hub.keyboard == this)
        hub.keyboard = nullptr;
    if (hub.mouse == this)
        hub.mouse = nullptr;
    delete static_cast<RecordQueue*>(queue_);
}

bool InputDevice::Acquire()
{
    if (!acquired_)
        PumpEvents(); // what happened while unacquired is not this device's
    acquired_ = true;
    lost_ = false;
    if (kind_ == Kind::Mouse && exclusive_ && detail::VideoReady())
        SDL_SetRelativeMouseMode(SDL_TRUE);
    return true;
}

void InputDevice::Unacquire()
{
    if (acquired_ && kind_ == Kind::Mouse && exclusive_ && detail::VideoReady())
        SDL_SetRelativeMouseMode(SDL_FALSE);
    acquired_ = false;
    static_cast<RecordQueue*>(queue_)->clear();
}

DeviceResult InputDevice::GetData(DeviceRecord* records, uint32_t& count)
{
    const uint32_t room = count;
    count = 0;
    if (lost_)
        return DeviceResult::InputLost;
    if (!acquired_)
        return DeviceResult::NotAcquired;
    PumpEvents();
    auto* q = static_cast<RecordQueue*>(queue_);
    const uint32_t limit = room < bufferSize_ ? room : bufferSize_;
    while (count < limit && !q->empty()) {
        records[count++] = q->front();
        q->pop_front();
    }
    return DeviceResult::Ok;
}

MouseDeviceState InputDevice::GetMouseState() const { return state_; }

bool GetCursorPos(int& x, int& y)
{
    const InputHub& hub = InputHub::Get();
    if (!hub.cursorKnown)
        return false;
    x = hub.cursorX;
    y = hub.cursorY;
    return true;
}

namespace {

void Deliver(SDL_Event& e)
{
    detail::EnsureEventsReady();
    e.common.timestamp = SDL_GetTicks();
    if (SDL_PushEvent(&e) < 0) {
        // No event queue at all: feed the devices directly.
        detail::FeedInputEvent(e, 0, 0);
    }
}

} // namespace

void SimulateKey(uint8_t scanCode, bool down)
{
    SDL_Event e{};
    e.type = down ? SDL_KEYDOWN : SDL_KEYUP;
    e.key.state = down ? SDL_PRESSED : SDL_RELEASED;
    e.key.keysym.scancode = static_cast<SDL_Scancode>(SdlScancodeOf(scanCode));
    Deliver(e);
}

void SimulateMouseMotion(int x, int y)
{
    InputHub& hub = InputHub::Get();
    SDL_Event e{};
    e.type = SDL_MOUSEMOTION;
    e.motion.x = x;
    e.motion.y = y;
    e.motion.xrel = x - hub.lastMotionX;
    e.motion.yrel = y - hub.lastMotionY;
    hub.lastMotionX = x;
    hub.lastMotionY = y;
    Deliver(e);
}

void SimulateMouseButton(int button, bool down)
{
    static const uint8_t kButtons[] = {SDL_BUTTON_LEFT, SDL_BUTTON_RIGHT, SDL_BUTTON_MIDDLE, SDL_BUTTON_X1};
    if (button < 0 || button > 3)
        return;
    SDL_Event e{};
    e.type = down ? SDL_MOUSEBUTTONDOWN : SDL_MOUSEBUTTONUP;
    e.button.button = kButtons[button];
    e.button.state = down ? SDL_PRESSED : SDL_RELEASED;
    e.button.clicks = 1;
    e.button.x = InputHub::Get().lastMotionX;
    e.button.y = InputHub::Get().lastMotionY;
    Deliver(e);
}

void SimulateWheel(int notches)
{
    SDL_Event e{};
    e.type = SDL_MOUSEWHEEL;
    e.wheel.y = notches;
    e.wheel.direction = SDL_MOUSEWHEEL_NORMAL;
    Deliver(e);
}

} // namespace platform
