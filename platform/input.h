// Keyboard and mouse in the shape of DirectInput's buffered devices: each
// read returns at most the device's buffer size of records {offset, data,
// millisecond time stamp, sequence}; keys are reported by their DirectInput
// scan codes (the PC set-1 numbers that key files and demos store); the mouse
// reports relative x, y and wheel movement and four buttons.
#pragma once

#include <cstdint>
#include <memory>

namespace platform {

class Window;

struct DeviceRecord {
    uint32_t offset = 0;    // scan code, or one of the kMouse* offsets
    uint32_t data = 0;      // 0x80 pressed / 0 released; signed movement for axes
    uint32_t timeStamp = 0; // milliseconds
    uint32_t sequence = 0;  // records of one event share a number
};

inline constexpr uint32_t kMouseAxisX = 0;
inline constexpr uint32_t kMouseAxisY = 4;
inline constexpr uint32_t kMouseAxisZ = 8; // the wheel, 120 per notch
inline constexpr uint32_t kMouseButton0 = 12; // left
inline constexpr uint32_t kMouseButton1 = 13; // right
inline constexpr uint32_t kMouseButton2 = 14; // middle
inline constexpr uint32_t kMouseButton3 = 15;
inline constexpr uint32_t kKeyPressed = 0x80;
inline constexpr int32_t kWheelDelta = 120;

enum class DeviceResult { Ok, InputLost, NotAcquired };

struct MouseDeviceState {
    int32_t x = 0, y = 0, z = 0; // accumulated positions
    uint8_t buttons[4] = {};
};

class InputDevice {
public:
    enum class Kind { Keyboard, Mouse };

    // The newest device of a kind receives the input. `bufferSize` is the
    // most records one GetData returns; records beyond it wait for the next.
    static std::unique_ptr<InputDevice> Create(Kind kind, Window* window, uint32_t bufferSize,
                                               bool exclusive);
    ~InputDevice();
    InputDevice(const InputDevice&) = delete;
    InputDevice& operator=(const InputDevice&) = delete;

    Kind GetKind() const { return kind_; }
    bool Acquire();
    void Unacquire();
    bool IsAcquired() const { return acquired_; }

    // In: the room in `records`; out: how many were filled (never more than
    // the buffer size). InputLost after the window lost the focus: acquire
    // again and read on.
    DeviceResult GetData(DeviceRecord* records, uint32_t& count);
    MouseDeviceState GetMouseState() const;

private:
    InputDevice() = default;
    friend struct InputHub;
    Kind kind_ = Kind::Keyboard;
    uint32_t bufferSize_ = 0;
    bool exclusive_ = false;
    bool acquired_ = false;
    bool lost_ = false;
    void* queue_ = nullptr; // records waiting to be read
    MouseDeviceState state_{};
};

// DirectInput scan code of an SDL scan code (the USB HID usage); 0 when the
// key has none.
uint8_t DirectInputScanCode(int sdlScancode);
// The reverse; 0 (unknown) when no key has that scan code.
int SdlScancodeOf(uint8_t directInputScanCode);

// Pointer position in screen coordinates; false before the first motion.
bool GetCursorPos(int& x, int& y);

// Synthetic input through the same path as real events, for tests and
// tools. Positions are client-area pixels of the game window.
void SimulateKey(uint8_t scanCode, bool down);
void SimulateMouseMotion(int x, int y);
void SimulateMouseButton(int button, bool down); // 0 left, 1 right, 2 middle
void SimulateWheel(int notches);                 // positive away from the user

} // namespace platform
