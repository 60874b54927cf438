#include "platform/window.h"

#include "platform/input_feed.h"
#include "platform/message_box.h"

#include <SDL.h>

#include <atomic>
#include <signal.h>
#include <csignal>
#include <cstdio>
#include <deque>

namespace platform {
namespace {

struct Queue {
    std::deque<Message> posted;
    bool quitPosted = false;
    int quitCode = 0;
};

Queue& TheQueue()
{
    static Queue queue;
    return queue;
}

Window* g_window = nullptr; // the program has one window
volatile std::sig_atomic_t g_closeSignalled = 0;

void OnCloseSignal(int) { g_closeSignalled = 1; }
bool g_eventsReady = false;
bool g_videoReady = false;

int64_t PackPoint(int x, int y)
{
    return static_cast<int64_t>((static_cast<uint32_t>(x) & 0xFFFFu) | ((static_cast<uint32_t>(y) & 0xFFFFu) << 16));
}

uint32_t ButtonMessage(uint8_t button, bool down)
{
    switch (button) {
    case SDL_BUTTON_LEFT: return down ? kWmLButtonDown : kWmLButtonUp;
    case SDL_BUTTON_RIGHT: return down ? kWmRButtonDown : kWmRButtonUp;
    case SDL_BUTTON_MIDDLE: return down ? kWmMButtonDown : kWmMButtonUp;
    default: return 0;
    }
}

void Translate(const SDL_Event& e)
{
    Window* w = g_window;
    int left = 0, top = 0, width = 0, height = 0;
    if (w)
        w->ClientRect(left, top, width, height);

    switch (e.type) {
    case SDL_KEYDOWN:
    case SDL_KEYUP:
    case SDL_MOUSEMOTION:
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP:
    case SDL_MOUSEWHEEL:
        detail::FeedInputEvent(e, left, top);
        break;
    default:
        break;
    }
    if (!w || w->IsDestroyed())
        return;

    switch (e.type) {
    case SDL_QUIT:
        w->Post(kWmClose);
        break;
    case SDL_WINDOWEVENT:
        switch (e.window.event) {
        case SDL_WINDOWEVENT_CLOSE: w->Post(kWmClose); break;
        case SDL_WINDOWEVENT_FOCUS_GAINED: w->Post(kWmActivateApp, 1); break;
        case SDL_WINDOWEVENT_FOCUS_LOST:
            detail::InputFocusLost();
            w->Post(kWmActivateApp, 0);
            break;
        case SDL_WINDOWEVENT_MOVED: w->Post(kWmMove, 0, PackPoint(left, top)); break;
        case SDL_WINDOWEVENT_SIZE_CHANGED: w->Post(kWmSize, 0, PackPoint(width, height)); break;
        case SDL_WINDOWEVENT_EXPOSED: w->Post(kWmPaint); break;
        default: break;
        }
        break;
    case SDL_KEYDOWN:
    case SDL_KEYUP:
        // The engine reads keys from the input devices; the messages exist
        // for the procedure's sake (Alt+Enter is swallowed there).
        if (e.type == SDL_KEYDOWN && (e.key.keysym.mod & KMOD_ALT) && e.key.keysym.scancode == SDL_SCANCODE_RETURN)
            w->Post(kWmSysKeyDown, kVkReturn);
        else
            w->Post(e.type == SDL_KEYDOWN ? kWmKeyDown : kWmKeyUp, 0,
                    static_cast<int64_t>(e.key.keysym.scancode) << 16);
        break;
    case SDL_MOUSEMOTION:
        w->Post(kWmMouseMove, 0, PackPoint(e.motion.x, e.motion.y));
        break;
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP:
        if (uint32_t m = ButtonMessage(e.button.button, e.type == SDL_MOUSEBUTTONDOWN))
            w->Post(m, 0, PackPoint(e.button.x, e.button.y));
        break;
    // The wheel reaches the game from the mouse device alone, so it is
    // never counted twice.
    default:
        break;
    }
}

} // namespace

namespace detail {

void EnsureEventsReady()
{
    if (g_eventsReady)
        return;
    if (SDL_WasInit(SDL_INIT_EVENTS) || SDL_InitSubSystem(SDL_INIT_EVENTS) == 0)
        g_eventsReady = true;
}

bool VideoReady() { return g_videoReady; }

void DestroyNativeWindow(void* native) { SDL_DestroyWindow(static_cast<SDL_Window*>(native)); }

} // namespace detail

std::unique_ptr<Window> Window::Create(const WindowDesc& desc, WindowProcedure procedure)
{
    std::unique_ptr<Window> window(new Window());
    window->procedure_ = procedure;
    window->title_ = desc.title;
    window->headlessWidth_ = desc.width;
    window->headlessHeight_ = desc.height;
    detail::EnsureEventsReady();

    if (HasDisplay() || (SDL_getenv("SDL_VIDEODRIVER") && SDL_strcmp(SDL_getenv("SDL_VIDEODRIVER"), "offscreen") == 0)) {
        if (!g_videoReady && SDL_InitSubSystem(SDL_INIT_VIDEO) == 0)
            g_videoReady = true;
        if (g_videoReady) {
            Uint32 flags = SDL_WINDOW_SHOWN;
            if (desc.fullScreen)
                flags |= SDL_WINDOW_FULLSCREEN_DESKTOP | SDL_WINDOW_BORDERLESS;
            else
                flags |= SDL_WINDOW_RESIZABLE;
            if (desc.openGl)
                flags |= SDL_WINDOW_OPENGL;
            SDL_Window* native = SDL_CreateWindow(desc.title.c_str(), 0, 0, desc.width, desc.height, flags);
            if (native)
                window->native_ = decltype(window->native_)(native);
            else
                std::fprintf(stderr, "window: %s; running without a window\n", SDL_GetError());
        }
    }
    g_window = window.get();
    window->Post(kWmActivateApp, 1);
    return window;
}

Window::~Window()
{
    native_.Reset();
    if (g_window == this)
        g_window = nullptr;
}

bool Window::IsMinimised() const
{
    return native_ && (SDL_GetWindowFlags(static_cast<SDL_Window*>(native_.Get())) & SDL_WINDOW_MINIMIZED);
}

void Window::Destroy()
{
    if (destroyed_)
        return;
    Send(kWmDestroy);
    destroyed_ = true;
    native_.Reset();
}

int64_t Window::Send(uint32_t message, uint64_t wparam, int64_t lparam)
{
    return procedure_ ? procedure_(*this, message, wparam, lparam) : DefWindowProc(*this, message, wparam, lparam);
}

void Window::Post(uint32_t message, uint64_t wparam, int64_t lparam)
{
    auto& posted = TheQueue().posted;
    // Like the system, keep one pending mouse move: the latest.
    if (message == kWmMouseMove && !posted.empty() && posted.back().message == kWmMouseMove) {
        posted.back().lparam = lparam;
        return;
    }
    posted.push_back({message, wparam, lparam});
}

void Window::ClientRect(int& left, int& top, int& width, int& height) const
{
    if (native_) {
        auto* w = static_cast<SDL_Window*>(native_.Get());
        SDL_GetWindowPosition(w, &left, &top);
        SDL_GetWindowSize(w, &width, &height);
    } else {
        left = 0;
        top = 0;
        width = headlessWidth_;
        height = headlessHeight_;
    }
}

bool Window::SetClientSize(int width, int height)
{
    if (width <= 0 || height <= 0 || destroyed_)
        return false;
    if (native_) {
        auto* w = static_cast<SDL_Window*>(native_.Get());
        SDL_SetWindowSize(w, width, height);
        int gotWidth = 0, gotHeight = 0;
        SDL_GetWindowSize(w, &gotWidth, &gotHeight);
        if (gotWidth != width || gotHeight != height)
            return false;
    } else {
        headlessWidth_ = width;
        headlessHeight_ = height;
    }
    Post(kWmSize, 0, int64_t(uint32_t(width) | uint32_t(height) << 16));
    return true;
}

bool Window::SetIcon(const uint32_t* argb, int width, int height)
{
    if (!native_ || !argb || width <= 0 || height <= 0)
        return false;
    SDL_Surface* icon = SDL_CreateRGBSurfaceWithFormatFrom(const_cast<uint32_t*>(argb), width, height, 32,
                                                           width * 4, SDL_PIXELFORMAT_ARGB8888);
    if (!icon)
        return false;
    SDL_SetWindowIcon(static_cast<SDL_Window*>(native_.Get()), icon);
    SDL_FreeSurface(icon);
    return true;
}

void Window::ShowSystemCursor(bool show)
{
    if (g_videoReady)
        SDL_ShowCursor(show ? SDL_ENABLE : SDL_DISABLE);
}

void Window::SetGrab(bool on)
{
    if (auto* native = static_cast<SDL_Window*>(native_.Get()))
        SDL_SetWindowGrab(native, on ? SDL_TRUE : SDL_FALSE);
}

void Window::SetRelativePointer(bool on)
{
    if (g_videoReady)
        SDL_SetRelativeMouseMode(on ? SDL_TRUE : SDL_FALSE);
}

int64_t DefWindowProc(Window& window, uint32_t message, uint64_t, int64_t)
{
    if (message == kWmClose)
        window.Destroy();
    return 0;
}

void PumpEvents()
{
    detail::EnsureEventsReady();
    if (g_closeSignalled) {
        g_closeSignalled = 0;
        if (g_window && !g_window->IsDestroyed())
            g_window->Post(kWmClose);
    }
    if (!g_eventsReady)
        return;
    SDL_Event e;
    while (SDL_PollEvent(&e))
        Translate(e);
}

void CloseWindowSystem()
{
    if (g_window)
        return; // a window still lives
    SDL_Quit();
    g_videoReady = false;
    g_eventsReady = false;
}

void InstallCloseSignals()
{
    struct sigaction action = {};
    action.sa_handler = OnCloseSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

bool PeekMessage()
{
    PumpEvents();
    const Queue& q = TheQueue();
    return !q.posted.empty() || q.quitPosted;
}

bool GetMessage(Message& out)
{
    Queue& q = TheQueue();
    for (;;) {
        PumpEvents();
        if (!q.posted.empty()) {
            out = q.posted.front();
            q.posted.pop_front();
            return true;
        }
        if (q.quitPosted) {
            q.quitPosted = false;
            out = {kWmQuit, static_cast<uint64_t>(static_cast<int64_t>(q.quitCode)), 0};
            return false;
        }
        if (g_eventsReady)
            SDL_WaitEventTimeout(nullptr, 10);
        else
            SDL_Delay(10);
    }
}

void DispatchMessage(const Message& message)
{
    if (g_window && !g_window->IsDestroyed())
        g_window->Send(message.message, message.wparam, message.lparam);
}

void PostQuitMessage(int code)
{
    Queue& q = TheQueue();
    q.quitPosted = true;
    q.quitCode = code;
}

void RemoveMessages(uint32_t first, uint32_t last)
{
    auto& posted = TheQueue().posted;
    std::erase_if(posted, [&](const Message& m) { return m.message >= first && m.message <= last; });
}

} // namespace platform
