// The screen of the graphics layer: window and GL context, display devices and
// modes, the back and front buffers as frame-buffer objects, the z-buffer,
// presentation and device loss.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "platform/gfx_internal.h"

namespace gfx {
namespace detail {

// Never destroyed: textures held by other statics (the texture manager's
// entries) unregister from it during static destruction at exit.
State& Gl()
{
    static State* state = new State;
    return *state;
}

bool EnsureContext()
{
    State& s = Gl();
    if (!s.window)
        return false;
    if (!s.context) {
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY);
        SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
        // Drawing goes to our own frame buffers; the window only shows them.
        SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 0);
        SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, 0);
        s.context = detail::GlContext(SDL_GL_CreateContext(s.window));
        if (!s.context)
            return false;
        SDL_GL_SetSwapInterval(0);  // presentation never waits for the vertical blank
        // Rows of our frame buffers run top-down like Direct3D's screen, so its
        // fill rule for edges through pixel centres holds as it is.
        glClipControl(GL_UPPER_LEFT, GL_ZERO_TO_ONE);
        glDisable(GL_DITHER);
        glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        s.anisotropyExt = SDL_GL_ExtensionSupported("GL_EXT_texture_filter_anisotropic") ||
                          SDL_GL_ExtensionSupported("GL_ARB_texture_filter_anisotropic");
        if (s.anisotropyExt)
            glGetFloatv(GL_MAX_TEXTURE_MAX_ANISOTROPY_EXT, &s.maxAnisotropy);
        s.whiteTexture = MakeGlName<GlTexture>(glGenTextures);
        glBindTexture(GL_TEXTURE_2D, s.whiteTexture);
        const uint32_t white = 0xFFFFFFFFu;
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 1, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, &white);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
        glBindTexture(GL_TEXTURE_2D, 0);
    }
    if (SDL_GL_GetCurrentContext() != s.context) {
        SDL_GL_MakeCurrent(s.window, s.context);
        Touch();
    }
    return true;
}

void SetClearColour(uint32_t argb)
{
    const uint32_t r = (argb >> 16) & 0xFF, g = (argb >> 8) & 0xFF, b = argb & 0xFF;
    if (Gl().screen.depth == 16)
        glClearColor(float(r >> 3) / 31.0f, float(g >> 2) / 63.0f, float(b >> 3) / 31.0f, 1.0f);
    else
        glClearColor(float(r) / 255.0f, float(g) / 255.0f, float(b) / 255.0f, float(argb >> 24) / 255.0f);
}

DrawTarget CurrentDrawTarget()
{
    const State& s = Gl();
    if (s.target)
        return {s.target->GlFramebuffer(), int(s.target->Width()), int(s.target->Height()), true, true};
    const Screen& sc = s.screen;
    return {sc.backFbo, sc.width, sc.height, sc.zBuffer != 0, sc.zBuffer != 0 && sc.zFormat.stencilBits != 0};
}

void BindBackBuffer()
{
    glBindFramebuffer(GL_FRAMEBUFFER, CurrentDrawTarget().frame);
}

} // namespace detail

using detail::Gl;

namespace {

Faults g_faults;

// Frees the screen's frame buffers (the context is current).
void DeleteScreenObjects(detail::Screen& sc)
{
    sc = detail::Screen{};
}

// A colour buffer of `internal` format and the frame buffer drawing into it.
void MakeColourBuffer(GLenum internal, int w, int h, detail::GlFramebuffer& fbo, detail::GlRenderbuffer& colour)
{
    colour = detail::MakeGlName<detail::GlRenderbuffer>(glGenRenderbuffers);
    glBindRenderbuffer(GL_RENDERBUFFER, colour);
    glRenderbufferStorage(GL_RENDERBUFFER, internal, w, h);
    fbo = detail::MakeGlName<detail::GlFramebuffer>(glGenFramebuffers);
    glBindFramebuffer(GL_FRAMEBUFFER, fbo);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, colour);
}

bool ModeListed(int w, int h)
{
    for (auto& m : g_faults.missingModes)
        if (m.first == w && m.second == h)
            return false;
    return true;
}

} // namespace

Faults& CurrentFaults()
{
    return g_faults;
}

uint64_t VideoMemoryFromText(const char* megabytes)
{
    if (!megabytes || !*megabytes)
        return kDefaultVideoMemory;
    char* end = nullptr;
    errno = 0;
    const unsigned long long value = std::strtoull(megabytes, &end, 10);
    if (errno != 0 || *end != '\0' || megabytes[0] == '-' || value < 1 || value > 65536) {
        std::fprintf(stderr, "TREVOK_VIDEO_MEMORY_MB: \"%s\" is no number of megabytes from 1 to 65536; %llu stands\n",
                     megabytes, static_cast<unsigned long long>(kDefaultVideoMemory >> 20));
        return kDefaultVideoMemory;
    }
    return uint64_t(value) << 20;
}

uint64_t ConfiguredVideoMemory()
{
    static const uint64_t figure = VideoMemoryFromText(std::getenv("TREVOK_VIDEO_MEMORY_MB"));
    return figure;
}

void ResetFaults()
{
    g_faults = Faults{};
}

// ---- Formats -----------------------------------------------------------------

FormatDesc Rgb565()
{
    return {kFmtRgb, 0, 16, 0xF800, 0x07E0, 0x001F, 0, 0};
}
FormatDesc Xrgb8888()
{
    return {kFmtRgb, 0, 32, 0xFF0000, 0xFF00, 0xFF, 0, 0};
}
FormatDesc Argb8888()
{
    return {kFmtRgb | kFmtAlpha, 0, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000u, 0};
}
FormatDesc Argb1555()
{
    return {kFmtRgb | kFmtAlpha, 0, 16, 0x7C00, 0x03E0, 0x001F, 0x8000, 0};
}
FormatDesc Argb4444()
{
    return {kFmtRgb | kFmtAlpha, 0, 16, 0x0F00, 0x00F0, 0x000F, 0xF000, 0};
}
FormatDesc Palette8()
{
    return {kFmtPalette8 | kFmtRgb, 0, 8, 0, 0, 0, 0, 0};
}
FormatDesc Dxt(uint32_t fourCC)
{
    return {kFmtFourCC, fourCC, 0, 0, 0, 0, 0, 0};
}

uint32_t RowBytes(const FormatDesc& f, uint32_t width)
{
    if (f.flags & kFmtFourCC)
        return std::max(1u, (width + 3) / 4) * (f.fourCC == kDxt1 ? 8u : 16u);
    return (width * f.bits + 7) / 8;
}

uint32_t RowCount(const FormatDesc& f, uint32_t height)
{
    if (f.flags & kFmtFourCC)
        return std::max(1u, (height + 3) / 4);
    return height;
}

// ---- Window and devices --------------------------------------------------------

bool Open(void* nativeWindow)
{
    detail::State& s = Gl();
    if (s.window)
        return true;
    if (!s.sdlVideo) {
        if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
            // No window system: draw off-screen, the same pixels without a screen.
            if (SDL_getenv("SDL_VIDEODRIVER"))
                return false;
            SDL_SetHint(SDL_HINT_VIDEODRIVER, "offscreen");
            if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0)
                return false;
        }
        s.sdlVideo = true;
        // The GL library stays loaded for the life of the process: unloading
        // a driver that keeps global state would turn that state into leaks
        // and a later re-open would pay for loading it again.
        static const bool glLoaded = SDL_GL_LoadLibrary(nullptr) == 0;
        (void)glLoaded;
    }
    if (nativeWindow) {
        s.window = static_cast<SDL_Window*>(nativeWindow);
        s.ownWindow.Forget();
        // A GL context needs a window made for one.
        if (!(SDL_GetWindowFlags(s.window) & SDL_WINDOW_OPENGL)) {
            s.window = nullptr;
            return false;
        }
    } else {
        s.ownWindow = detail::OwnedWindow(SDL_CreateWindow("Trevok", SDL_WINDOWPOS_CENTERED,
                                                           SDL_WINDOWPOS_CENTERED, 640, 480, SDL_WINDOW_OPENGL));
        s.window = s.ownWindow;
        if (!s.window)
            return false;
    }
    s.windowId = SDL_GetWindowID(s.window);
    return true;
}

void Close()
{
    detail::State& s = Gl();
    // The window module may have destroyed its window already (at exit the
    // window closes first); its GL objects then go with the context.
    const bool windowAlive = s.window && SDL_GetWindowFromID(s.windowId) == s.window;
    if (s.context) {
        if (windowAlive) {
            SDL_GL_MakeCurrent(s.window, s.context);
            DeleteScreenObjects(s.screen);
            s.whiteTexture.Reset();
            s.litProgram.Reset();
        } else {
            s.screen.Forget();
            s.whiteTexture.Forget();
            s.litProgram.Forget();
        }
        s.screen = detail::Screen{};
        s.litProgramTried = false;
        s.context.Reset();
        detail::Touch();
        // Textures outliving the context keep their pixels' shape but no storage.
        for (Texture* t : s.textures)
            t->MarkLost();
    }
    if (windowAlive)
        s.ownWindow.Reset();
    else
        s.ownWindow.Forget();
    s.window = nullptr;
    // The video subsystem stays up with the GL library (see Open).

}

bool IsOpen()
{
    return Gl().window != nullptr;
}

DisplayMode DesktopMode()
{
    SDL_DisplayMode m{};
    if (!Gl().sdlVideo || SDL_GetDesktopDisplayMode(0, &m) != 0)
        return {640, 480, 32, 0};
    return {m.w, m.h, 32, m.refresh_rate};
}

std::vector<DisplayDevice> EnumerateDisplayDevices()
{
    DisplayDevice d;
    d.primary = true;
    d.description = "OpenGL display";
    d.driverName = "display";
    d.hardware3d = true;
    d.sharesDesktop = !g_faults.noDesktopSharing;
    d.totalVideoMemory = g_faults.videoMemory;
    return {d};
}

std::vector<DisplayMode> EnumerateDisplayModes()
{
    static const int kSizes[][2] = {{320, 200}, {320, 240}, {400, 300}, {512, 384}, {640, 400},
                                    {640, 480}, {800, 600}, {1024, 768}, {1152, 864},
                                    {1280, 960}, {1280, 1024}, {1600, 1200}};
    const DisplayMode desk = DesktopMode();
    std::vector<DisplayMode> modes;
    for (auto& sz : kSizes) {
        // 640 x 480 always exists: full screen scales it into any desktop.
        bool fits = (sz[0] <= desk.width && sz[1] <= desk.height) || (sz[0] == 640 && sz[1] == 480);
        if (!fits || !ModeListed(sz[0], sz[1]))
            continue;
        for (int depth : {16, 32})
            if (depth <= g_faults.maxDisplayDepth)
                modes.push_back({sz[0], sz[1], depth, 0});
    }
    return modes;
}

namespace {

// FNV-1a, 32 bits: small and fixed for good, since the key file stores it.
uint32_t HashText(uint32_t h, std::string_view text)
{
    for (unsigned char c : text) {
        h ^= c;
        h *= 16777619u;
    }
    return h;
}

std::string GlText(GLenum name)
{
    const GLubyte* text = glGetString(name);
    return text ? reinterpret_cast<const char*>(text) : "";
}

} // namespace

DeviceIdentifier Identifier()
{
    DeviceIdentifier id;
    id.vendorId = g_faults.vendorId;
    id.deviceId = g_faults.deviceId;
    id.driver = "gl";
    id.description = "OpenGL display";
    const bool gl = detail::EnsureContext();
    const std::string vendor = gl ? GlText(GL_VENDOR) : "", renderer = gl ? GlText(GL_RENDERER) : "";
    uint32_t h = HashText(2166136261u, vendor);
    h = HashText(h, "\n");
    h = HashText(h, renderer);
    h = HashText(h, std::to_string(id.vendorId) + ":" + std::to_string(id.deviceId));
    id.stableId = h == 0 ? 1 : h; // 0 is what a missing key file gives
    return id;
}

VideoMemory QueryVideoMemory(uint32_t /*kind*/)
{
    VideoMemory v;
    v.total = g_faults.videoMemory;
    const uint64_t used = Gl().textureBytes;
    v.free = used < v.total ? v.total - used : 0;
    return v;
}

// ---- The screen -------------------------------------------------------------

namespace {
uint64_t g_frontVersion = 0;
}

uint64_t FrontBufferVersion()
{
    return g_frontVersion;
}

bool CreateScreen(int width, int height, int depth, bool windowed, int buffers)
{
    detail::Touch();
    detail::State& s = Gl();
    if (width <= 0 || height <= 0 || (depth != 16 && depth != 32) || !detail::EnsureContext())
        return false;
    ReleaseScreen();
    detail::Screen& sc = s.screen;
    const GLenum internal = depth == 16 ? GL_RGB565 : GL_RGBA8;
    MakeColourBuffer(internal, width, height, sc.backFbo, sc.backColour);
    bool ok = glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
    MakeColourBuffer(internal, width, height, sc.frontFbo, sc.frontColour);
    ok = ok && glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
    if (!ok) {
        DeleteScreenObjects(sc);
        return false;
    }
    sc.width = width;
    sc.height = height;
    sc.depth = depth;
    sc.windowed = windowed;
    sc.buffers = buffers;
    // New buffers hold whatever the driver last freed (an earlier screen's
    // picture, at times): start both black.
    ColourFillScreen(0xFF000000, true);
    if (windowed) {
        SDL_SetWindowFullscreen(s.window, 0);
        SDL_SetWindowSize(s.window, width, height);
    } else {
        // The desktop keeps its resolution; the mode is scaled into it.
        SDL_SetWindowFullscreen(s.window, SDL_WINDOW_FULLSCREEN_DESKTOP);
    }
    detail::BindBackBuffer();
    return true;
}

void ReleaseScreen()
{
    detail::Touch();
    detail::State& s = Gl();
    if (!s.context)
        return;
    DeleteScreenObjects(s.screen);
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    ++g_frontVersion;
}

bool HasScreen()
{
    return Gl().screen.backFbo != 0;
}

FormatDesc ScreenFormat()
{
    return Gl().screen.depth == 16 ? Rgb565() : Xrgb8888();
}

int ScreenPitch()
{
    const detail::Screen& sc = Gl().screen;
    return sc.width * (sc.depth / 8);
}

bool ColourFillScreen(uint32_t argb, bool frontToo)
{
    detail::Touch();
    detail::Screen& sc = Gl().screen;
    if (!sc.backFbo || sc.lost)
        return false;
    glDisable(GL_SCISSOR_TEST);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    detail::SetClearColour(argb);
    glBindFramebuffer(GL_FRAMEBUFFER, sc.backFbo);
    glClear(GL_COLOR_BUFFER_BIT);
    if (frontToo) {
        glBindFramebuffer(GL_FRAMEBUFFER, sc.frontFbo);
        glClear(GL_COLOR_BUFFER_BIT);
        ++g_frontVersion;
    }
    detail::BindBackBuffer();
    return true;
}

bool Present()
{
    detail::Touch();
    detail::State& s = Gl();
    detail::Screen& sc = s.screen;
    if (!sc.backFbo || sc.lost)
        return false;
    glDisable(GL_SCISSOR_TEST);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, sc.backFbo);
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, sc.frontFbo);
    glBlitFramebuffer(0, 0, sc.width, sc.height, 0, 0, sc.width, sc.height, GL_COLOR_BUFFER_BIT,
                      GL_NEAREST);
    int dw = 0, dh = 0;
    SDL_GL_GetDrawableSize(s.window, &dw, &dh);
    // Letter-box: the largest rectangle of the mode's shape, centred.
    int w = dw, h = dh;
    if (int64_t(dw) * sc.height > int64_t(dh) * sc.width)
        w = int(int64_t(dh) * sc.width / sc.height);
    else
        h = int(int64_t(dw) * sc.height / sc.width);
    const int x = (dw - w) / 2, y = (dh - h) / 2;
    glBindFramebuffer(GL_READ_FRAMEBUFFER, sc.frontFbo);
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    glBlitFramebuffer(0, sc.height, sc.width, 0, x, y, x + w, y + h, GL_COLOR_BUFFER_BIT,
                      (w == sc.width && h == sc.height) ? GL_NEAREST : GL_LINEAR);
    SDL_GL_SwapWindow(s.window);
    detail::BindBackBuffer();
    ++g_frontVersion;
    return true;
}

bool ReadScreen(bool front, std::vector<uint8_t>& pixels, int& pitch)
{
    detail::Touch();
    detail::Screen& sc = Gl().screen;
    if (!sc.backFbo || sc.lost)
        return false;
    const int bpp = sc.depth / 8;
    pitch = sc.width * bpp;
    pixels.resize(size_t(pitch) * size_t(sc.height));
    glBindFramebuffer(GL_READ_FRAMEBUFFER, front ? sc.frontFbo : sc.backFbo);
    // Our buffers hold the top row first already.
    if (sc.depth == 16)
        glReadPixels(0, 0, sc.width, sc.height, GL_RGB, GL_UNSIGNED_SHORT_5_6_5, pixels.data());
    else
        glReadPixels(0, 0, sc.width, sc.height, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, pixels.data());
    detail::BindBackBuffer();
    return glGetError() == GL_NO_ERROR;
}

bool ReadStencil(std::vector<uint8_t>& values)
{
    detail::Touch();
    detail::Screen& sc = Gl().screen;
    if (!sc.backFbo || sc.lost || !sc.zBuffer || !sc.zFormat.stencilBits)
        return false;
    values.resize(size_t(sc.width) * size_t(sc.height));
    glBindFramebuffer(GL_READ_FRAMEBUFFER, sc.backFbo);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, sc.width, sc.height, GL_STENCIL_INDEX, GL_UNSIGNED_BYTE, values.data());
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    detail::BindBackBuffer();
    return glGetError() == GL_NO_ERROR;
}

bool ReadDepth(std::vector<float>& values)
{
    detail::Touch();
    detail::Screen& sc = Gl().screen;
    if (!sc.backFbo || sc.lost || !sc.zBuffer)
        return false;
    values.resize(size_t(sc.width) * size_t(sc.height));
    glBindFramebuffer(GL_READ_FRAMEBUFFER, sc.backFbo);
    glReadPixels(0, 0, sc.width, sc.height, GL_DEPTH_COMPONENT, GL_FLOAT, values.data());
    detail::BindBackBuffer();
    return glGetError() == GL_NO_ERROR;
}

// ---- Z-buffer -------------------------------------------------------------------

std::vector<FormatDesc> EnumerateZFormats()
{
    FormatDesc d16{kFmtZBuffer, 0, 16, 0, 0, 0, 0, 0};
    FormatDesc d24{kFmtZBuffer, 0, 24, 0, 0, 0, 0, 0};
    FormatDesc d24s8{kFmtZBuffer | kFmtStencil, 0, 32, 0, 0, 0, 0, 8};
    FormatDesc d32{kFmtZBuffer, 0, 32, 0, 0, 0, 0, 0};
    return {d16, d24, d32, d24s8};
}

bool CreateZBuffer(const FormatDesc& format)
{
    detail::Touch();
    detail::Screen& sc = Gl().screen;
    if (!sc.backFbo || !(format.flags & kFmtZBuffer) || int(format.bits) > g_faults.maxZBits)
        return false;
    GLenum internal;
    if (format.stencilBits)
        internal = GL_DEPTH24_STENCIL8;
    else if (format.bits == 16)
        internal = GL_DEPTH_COMPONENT16;
    else if (format.bits == 24)
        internal = GL_DEPTH_COMPONENT24;
    else if (format.bits == 32)
        internal = GL_DEPTH_COMPONENT32;
    else
        return false;
    ReleaseZBuffer();
    sc.zBuffer = detail::MakeGlName<detail::GlRenderbuffer>(glGenRenderbuffers);
    glBindRenderbuffer(GL_RENDERBUFFER, sc.zBuffer);
    glRenderbufferStorage(GL_RENDERBUFFER, internal, sc.width, sc.height);
    glBindFramebuffer(GL_FRAMEBUFFER, sc.backFbo);
    const GLenum attach = format.stencilBits ? GL_DEPTH_STENCIL_ATTACHMENT : GL_DEPTH_ATTACHMENT;
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, attach, GL_RENDERBUFFER, sc.zBuffer);
    if (glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) {
        ReleaseZBuffer();
        return false;
    }
    sc.zFormat = format;
    return true;
}

void ReleaseZBuffer()
{
    detail::Touch();
    detail::Screen& sc = Gl().screen;
    if (!sc.zBuffer)
        return;
    glBindFramebuffer(GL_FRAMEBUFFER, sc.backFbo);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, 0);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_STENCIL_ATTACHMENT, GL_RENDERBUFFER, 0);
    sc.zBuffer.Reset();
    sc.zFormat = FormatDesc{};
}

bool HasZBuffer()
{
    return Gl().screen.zBuffer != 0;
}

// ---- Loss -----------------------------------------------------------------------

void SimulateSurfaceLoss()
{
    detail::Touch();
    detail::State& s = Gl();
    if (s.screen.backFbo)
        s.screen.lost = true;
    for (Texture* t : s.textures)
        t->MarkLost();
}

bool IsScreenLost()
{
    return Gl().screen.lost;
}

bool RestoreScreen()
{
    detail::Touch();
    detail::Screen& sc = Gl().screen;
    if (!sc.backFbo)
        return false;
    if (sc.lost) {
        sc.lost = false;
        ColourFillScreen(0, true);  // contents of lost buffers are gone
    }
    return true;
}

} // namespace gfx
