// The game's one window and its message queue, in the shape the engine's
// window procedure expects: system events arrive as Windows message numbers
// (activation, move, size, paint, close, key and mouse messages), one queue
// per program, GetMessage returning false for the quit message. Without a
// display the window is headless and only posted messages arrive.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/owned_handle.h"

namespace platform {

namespace detail {
void DestroyNativeWindow(void* native); // SDL_DestroyWindow
}

// Message numbers the window procedure handles.
inline constexpr uint32_t kWmDestroy = 0x0002;
inline constexpr uint32_t kWmMove = 0x0003;
inline constexpr uint32_t kWmSize = 0x0005;
inline constexpr uint32_t kWmPaint = 0x000F;
inline constexpr uint32_t kWmClose = 0x0010;
inline constexpr uint32_t kWmQuit = 0x0012;
inline constexpr uint32_t kWmActivateApp = 0x001C;
inline constexpr uint32_t kWmSetCursor = 0x0020;
inline constexpr uint32_t kWmKeyDown = 0x0100;
inline constexpr uint32_t kWmKeyUp = 0x0101;
inline constexpr uint32_t kWmSysKeyDown = 0x0104;
inline constexpr uint32_t kWmSysCommand = 0x0112;
inline constexpr uint32_t kWmMouseMove = 0x0200;
inline constexpr uint32_t kWmLButtonDown = 0x0201;
inline constexpr uint32_t kWmLButtonUp = 0x0202;
inline constexpr uint32_t kWmRButtonDown = 0x0204;
inline constexpr uint32_t kWmRButtonUp = 0x0205;
inline constexpr uint32_t kWmMButtonDown = 0x0207;
inline constexpr uint32_t kWmMButtonUp = 0x0208;
inline constexpr uint32_t kWmMouseWheel = 0x020A;
inline constexpr uint32_t kWmDeviceChange = 0x0219;
inline constexpr uint32_t kMmMciNotify = 0x03B9;

// wParam values of kWmSysCommand and kWmDeviceChange that the engine tests.
inline constexpr uint64_t kScKeyMenu = 0xF100;
inline constexpr uint64_t kScMouseMenu = 0xF090;
inline constexpr uint64_t kDbtDeviceArrival = 0x8000;
inline constexpr uint64_t kDbtDeviceRemoveComplete = 0x8004;
inline constexpr uint64_t kVkReturn = 0x0D;

struct Message {
    uint32_t message = 0;
    uint64_t wparam = 0;
    int64_t lparam = 0;
};

class Window;
using WindowProcedure = int64_t (*)(Window& window, uint32_t message, uint64_t wparam, int64_t lparam);

struct WindowDesc {
    std::string title;
    bool fullScreen = false; // the desktop resolution, the game's mode letter-boxed into it
    int width = 640;         // client size when framed
    int height = 480;
    bool openGl = false;     // made ready for an OpenGL context
};

class Window {
public:
    // Never fails: without a display (or when the system refuses a window)
    // the result is headless. The new window is active: the procedure gets
    // WM_ACTIVATEAPP(1) from the queue, as a new foreground window would.
    static std::unique_ptr<Window> Create(const WindowDesc& desc, WindowProcedure procedure);
    ~Window();
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;

    bool IsHeadless() const { return !native_.Get() && !destroyed_; }
    bool IsDestroyed() const { return destroyed_; }
    bool IsMinimised() const;

    // DestroyWindow: the procedure gets WM_DESTROY, then the system window goes.
    void Destroy();
    // SendMessage: calls the procedure at once and returns its result.
    int64_t Send(uint32_t message, uint64_t wparam = 0, int64_t lparam = 0);
    // PostMessage: queues the message for GetMessage.
    void Post(uint32_t message, uint64_t wparam = 0, int64_t lparam = 0);

    // The client area in screen coordinates.
    void ClientRect(int& left, int& top, int& width, int& height) const;
    void ShowSystemCursor(bool show);
    // Keeps the pointer inside the window (edge scrolling needs the edges).
    void SetGrab(bool on);
    // Hides the pointer and reports only its movement (the recon view turns
    // by it); the pointer stays where it was.
    void SetRelativePointer(bool on);
    // Sizes the client area (a framed window follows a windowed mode); the
    // procedure hears of it through WM_SIZE. False when the size did not take.
    bool SetClientSize(int width, int height);
    // The picture the desktop shows for the window (in its task list, and in
    // place of the window while it is minimised): `argb` holds width x height
    // pixels, rows top first. False without a system window.
    bool SetIcon(const uint32_t* argb, int width, int height);
    void* NativeHandle() const { return native_.Get(); } // SDL_Window*, for the graphics layer
    const std::string& Title() const { return title_; }

    WindowProcedure Procedure() const { return procedure_; }

private:
    Window() = default;
    platform::Owned<void*, detail::DestroyNativeWindow> native_; // the SDL_Window
    WindowProcedure procedure_ = nullptr;
    std::string title_;
    bool destroyed_ = false;
    int headlessWidth_ = 640;
    int headlessHeight_ = 480;
};

// What a procedure passes on: WM_CLOSE destroys the window; the rest is ignored.
int64_t DefWindowProc(Window& window, uint32_t message, uint64_t wparam, int64_t lparam);

// The program's message queue (game thread only).
void PumpEvents();               // moves pending system events into the queue
bool PeekMessage();              // pumps; true when a message (or the quit) waits
bool GetMessage(Message& out);   // waits; false for WM_QUIT, its code in out.wparam
void DispatchMessage(const Message& message);
void PostQuitMessage(int code);
// Drops queued messages in [first, last] (modal dialogs flush pending input).
void RemoveMessages(uint32_t first, uint32_t last);

} // namespace platform

namespace platform {

// SIGINT and SIGTERM close the window as its close button would, so the
// exit handlers still run. Safe to call more than once.
void InstallCloseSignals();

// Releases the window system (after the window is gone) at the end of the
// program.
void CloseWindowSystem();

} // namespace platform
