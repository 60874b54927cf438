#include "Veapi/ve3d.h"

#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "Veapi/camera.h"
#include "Veapi/render_queue.h"
#include "Veapi/texture_loader.h"
#include "Veapi/texture_manager.h"
#include "app/clock.h"
#include "app/display_mode.h"
#include "app/fatal.h"
#include "app/log_file.h"
#include "platform/cpu.h"
#include "platform/message_box.h"
#include "platform/gfx_surface.h"

namespace {

uint64_t RealTimeNow()
{
    return RealTime.Now64();
}

// Processor-clock units for the profiler: the cycle count shifted right by 10.
int64_t ProfileNow()
{
    return int64_t(platform::ReadCycleCounter() >> 10);
}

struct Timed {
    explicit Timed(int64_t& counter) : counter_(counter) { counter_ -= ProfileNow(); }
    ~Timed() { counter_ += ProfileNow(); }
    int64_t& counter_;
};

struct DisplayState {
    void* window = nullptr;
    bool started = false;
    // Where the exit handler goes: the run-time's list unless a shell has its own.
    void (*registrar)(void (*)()) = [](void (*handler)()) { std::atexit(handler); };
    bool shutdownRegistered = false;
    uint32_t open = 0;
    bool ready = false;
    bool inScene = false;
    bool screenCleared = false;
    std::string selection = "DEFAULT";
    int width = 640, height = 480, depth = 16, pitch = 0;
    float widthF = 640.0f, heightF = 480.0f;
    ColourPacking packing;
    uint32_t frames = 0, frameDelta = 1;
    uint64_t lastFrame = 0;
    uint64_t (*clock)() = RealTimeNow;
    TextureEntry* nullTexture = nullptr;
    uint32_t clearColour = 0;
    DeviceCaps caps;
    DisplayOptions options;
    std::vector<DisplayDeviceRecord> devices;
    std::vector<DisplayModeRecord> modes;
    bool modesBuilt = false;
    std::vector<gfx::DeviceDesc> devices3d;
    std::vector<gfx::FormatDesc> zFormats;
    TextureFormatChoice textureFormats;
    std::unique_ptr<gfx::Device> device;
    uint32_t desktopDepth = 32;
    // Device-state caches of the state setters.
    TextureEntry* stageTextures[8] = {};
    uint32_t zFunc = 0;
    bool zFuncSet = false;
    bool zWrite = true;
    DisplayHooks hooks;
    DisplayProfile profile;
};

// Where the texture loader makes its surfaces: memory, uploaded to GL by the manager.
gfx::MemorySurfaceFactory g_surfaceFactory;

DisplayState& D()
{
    static DisplayState state;
    return state;
}

void Call(const std::function<void()>& hook)
{
    if (hook)
        hook();
}

void ResetCaps()
{
    D().caps = DeviceCaps{};
}

void CreateNullTexture()
{
    DisplayState& d = D();
    if (!d.nullTexture)
        return;
    // The smallest RGB format of 9 to 31 bits per pixel, filled white.
    const gfx::FormatDesc* best = nullptr;
    const auto formats = gfx::EnumerateTextureFormats();
    for (const auto& f : formats)
        if ((f.flags & gfx::kFmtRgb) && !(f.flags & (gfx::kFmtPalette8 | gfx::kFmtPalette4 | gfx::kFmtFourCC)) &&
            f.bits >= 9 && f.bits <= 31 && (!best || f.bits < best->bits))
            best = &f;
    if (!best)
        return;
    auto t = gfx::Texture::Create(8, 8, *best, 1);
    if (t)
        t->ColourFill(0xFFFFFFFF);
    d.nullTexture->SetSurface(std::move(t));
}

void ForgetStageTextures()
{
    for (auto& t : D().stageTextures)
        t = nullptr;
}

} // namespace

// ---- Choices --------------------------------------------------------------------

ChannelPacking PackingFromMask(uint32_t mask)
{
    if (!mask)
        return {8, 0};
    return {uint32_t(8 - std::popcount(mask)), uint32_t(std::countr_zero(mask))};
}

uint32_t DepthBit(int depth)
{
    switch (depth) {
    case 8: return kDepthBit8;
    case 16: return kDepthBit16;
    case 24: return kDepthBit24;
    case 32: return kDepthBit32;
    default: return 0;
    }
}

int ChooseDisplayDevice(const std::vector<DisplayDeviceRecord>& devices, const std::string& selection,
                        bool windowed)
{
    if (selection != "DEFAULT") {
        for (size_t i = 0; i < devices.size(); ++i)
            if (devices[i].driverName == selection)
                return int(i);
        return -1;
    }
    if (windowed)
        return -1;
    int best = -1;
    for (size_t i = 0; i < devices.size(); ++i)
        if (devices[i].hardware3d && (best < 0 || devices[i].totalVideoMemory > devices[size_t(best)].totalVideoMemory))
            best = int(i);
    return best;
}

int ChooseZFormat(const std::vector<gfx::FormatDesc>& formats, int limit)
{
    const bool anyStencil = std::any_of(formats.begin(), formats.end(),
                                        [](const gfx::FormatDesc& f) { return f.stencilBits != 0; });
    auto deepest = [&](bool stencilOnly) {
        int best = -1;
        for (size_t i = 0; i < formats.size(); ++i) {
            const auto& f = formats[i];
            if (int(f.bits) > limit || (stencilOnly && !f.stencilBits))
                continue;
            if (best < 0 || f.bits >= formats[size_t(best)].bits)
                best = int(i);
        }
        return best;
    };
    int pick = anyStencil ? deepest(true) : -1;
    return pick >= 0 ? pick : deepest(false);
}

TextureFormatChoice ChooseTextureFormatsFrom(const std::vector<gfx::FormatDesc>& formats, bool prefer32)
{
    const gfx::FormatDesc *f32 = nullptr, *alpha1 = nullptr, *alpha4 = nullptr, *plain16 = nullptr,
                          *pal8 = nullptr, *pal4 = nullptr, *dxt1 = nullptr, *dxt3 = nullptr;
    for (const auto& f : formats) {
        if (f.flags & gfx::kFmtFourCC) {
            if (f.fourCC == gfx::kDxt1 && !dxt1)
                dxt1 = &f;
            if (f.fourCC == gfx::kDxt3 && !dxt3)
                dxt3 = &f;
        } else if (f.flags & gfx::kFmtPalette8) {
            if (!pal8)
                pal8 = &f;
        } else if (f.flags & gfx::kFmtPalette4) {
            if (!pal4)
                pal4 = &f;
        } else if (f.bits == 32) {
            if (!f32)
                f32 = &f;
        } else if (f.bits == 16) {
            const int colourBits = std::popcount(f.redMask) + std::popcount(f.greenMask) + std::popcount(f.blueMask);
            if ((f.flags & gfx::kFmtAlpha) && f.alphaMask) {
                // One alpha bit beside 15 colour bits, or four beside 12.
                if (std::popcount(f.alphaMask) == 1 && !alpha1)
                    alpha1 = &f;
                else if (colourBits == 12 && !alpha4)
                    alpha4 = &f;
            } else if (!plain16) {
                plain16 = &f;
            }
        }
    }
    TextureFormatChoice c;
    c.has32Bit = f32 != nullptr;
    c.hasDxt = dxt1 || dxt3;
    const gfx::FormatDesc* def = nullptr;
    if (prefer32 && f32)
        def = f32;
    else
        for (const gfx::FormatDesc* f : {dxt3, alpha4, dxt1, alpha1, plain16, pal8, pal4})
            if (f) {
                def = f;
                break;
            }
    if (!def)
        return c;
    c.found = true;
    c.defaultFormat = *def;
    if (f32 && f32 != def && (f32->flags & gfx::kFmtAlpha) && f32->alphaMask)
        c.fullAlpha = *f32;
    const std::pair<uint32_t, const gfx::FormatDesc*> kinds[] = {
        {4, dxt3}, {4, alpha4}, {1, dxt1}, {1, alpha1}, {0, plain16}, {256, pal8}, {16, pal4}};
    for (const auto& [kind, f] : kinds)
        if (f && f != def)
            c.byKind.push_back({kind, *f});
    return c;
}

TextureDetail ChooseTextureDetailFrom(uint64_t freeMemory, uint64_t residentCharge, uint32_t bitsPerTexel)
{
    if (residentCharge >= 12033)
        return {freeMemory, 3};
    // 64-bit throughout: free memory of several gigabytes times eight must not wrap.
    const uint64_t divisor = std::max<uint64_t>(1, (0x3000 - residentCharge) >> 8);
    const uint64_t budget = freeMemory / divisor * 8 / std::max(1u, bitsPerTexel) * 3 / 4;
    if (budget > 0xFFFFF)
        return {0x100000, 0};
    TextureDetail d{0x100000, 0};
    while (d.budget > budget) {
        d.budget /= 4;
        ++d.reduction;
    }
    return d;
}

bool SpecularDisabledFor(const gfx::DeviceIdentifier& id)
{
    return (id.vendorId == 0x10D9 || id.vendorId == 0x1142 || id.vendorId == 0x121A) && id.deviceId == 5;
}

uint32_t ClampTo32(uint64_t value)
{
    return value > 0xFFFFFFFFull ? 0xFFFFFFFFu : uint32_t(value);
}

DisplayProfile& DisplayProfiling()
{
    return D().profile;
}

// ---- Start-up and shut-down ---------------------------------------------------------

bool Display::Startup(void* window)
{
    DisplayState& d = D();
    if (!gfx::Open(window))
        return false;
    d.window = window;
    d.selection = "DEFAULT";
    ve::TextureLoader::RegisterBuiltinFormats();
    if (!OpenDirectDraw(Display::Flags() & kModeWindowed))
        return false;
    // Linux needs no multimedia timer period; the bit still marks the step done.
    d.open |= kOpenTimer;
    d.nullTexture = TextureManager::Find(" NullTexture");
    d.nullTexture->RaiseKeep();
    // Registered once, after the tables it frees exist, so it runs before they go.
    if (!d.shutdownRegistered) {
        d.shutdownRegistered = true;
        d.registrar([] { Display::Shutdown(); });
    }
    d.started = true;
    return true;
}

void Display::Shutdown()
{
    DisplayState& d = D();
    if (d.nullTexture) {
        d.nullTexture->SetSurface(nullptr);
        d.nullTexture->Unuse();
        d.nullTexture = nullptr;
    }
    d.open &= ~kOpenTimer;
    if (d.open & kOpenDirect3D) {
        if (d.inScene && d.device)
            d.device->EndScene();
        d.inScene = false;
        TextureManager::FreeAllUnused();
        Call(d.hooks.destroyVertexBuffers);
        Call(d.hooks.destroyDefaultMaterials);
        CloseDevice();
    }
    if (d.open & kOpenDirectDraw)
        CloseDirectDraw();
    d.started = false;
    d.ready = false;
    gfx::Close();
}

bool Display::OpenDirectDraw(bool windowed)
{
    DisplayState& d = D();
    d.devices.clear();
    for (const gfx::DisplayDevice& g : gfx::EnumerateDisplayDevices())
        d.devices.push_back({g.primary, g.description, g.driverName, g.hardware3d, g.sharesDesktop, g.totalVideoMemory});
    const int chosen = ChooseDisplayDevice(d.devices, d.selection, windowed);
    // One display device on this platform: the choice names it or the primary driver.
    const DisplayDeviceRecord* dev = chosen >= 0 ? &d.devices[size_t(chosen)] : nullptr;
    if (!dev)
        for (const auto& r : d.devices)
            if (r.primary)
                dev = &r;
    if (!dev)
        return false;
    if (dev->sharesDesktop)
        d.caps.flags |= kCapsGdi;
    else
        d.caps.flags &= ~kCapsGdi;
    d.caps.identifier = gfx::Identifier();
    ve::TextureLoader::SetDirectDraw(&g_surfaceFactory);
    ReportVideoMemory();
    if (windowed)
        d.depth = int(d.desktopDepth = uint32_t(gfx::DesktopMode().depth));
    d.open |= kOpenDirectDraw;
    return true;
}

void Display::CloseDirectDraw()
{
    DisplayState& d = D();
    d.open &= ~kOpenDirectDraw;
    ve::TextureLoader::ClearDirectDraw();
    d.devices.clear();
    d.modes.clear();
    d.modesBuilt = false;
    ReleaseSurfaces();
    gfx::ReleaseZBuffer();
}

void Display::RestoreDisplayMode()
{
    // Full screen never changes the desktop's mode here (the game's mode is
    // scaled into it), so there is nothing to give back; the window module
    // hides or minimises the window itself.
}

// ---- Modes and surfaces -------------------------------------------------------------

bool Display::IsModeSupported(int width, int height, int depth, uint32_t flags)
{
    DisplayState& d = D();
    if (!d.modesBuilt) {
        d.modes.clear();
        for (const gfx::DisplayMode& m : gfx::EnumerateDisplayModes()) {
            if (m.width <= 0 || m.height <= 0)
                continue;
            auto it = std::find_if(d.modes.begin(), d.modes.end(), [&](const DisplayModeRecord& r) {
                return r.width == m.width && r.height == m.height;
            });
            if (it == d.modes.end())
                d.modes.push_back({DepthBit(m.depth), m.width, m.height, m.refreshRate});
            else
                it->depthMask |= DepthBit(m.depth);
        }
        d.modesBuilt = true;
    }
    if (flags & kModeWindowed) {
        if (uint32_t(depth) != d.desktopDepth)
            return false;
    } else if (depth > 16 + 8 * d.options.largestDepthIndex) {
        return false;
    }
    const uint32_t bit = DepthBit(depth);
    if (bit && !(d.caps.renderBitDepths & bit))
        return false;
    return std::any_of(d.modes.begin(), d.modes.end(), [&](const DisplayModeRecord& r) {
        return r.width == width && r.height == height && (r.depthMask & bit);
    });
}

void Display::ReleaseSurfaces()
{
    DisplayState& d = D();
    d.device.reset();
    gfx::ReleaseZBuffer();
    gfx::ReleaseScreen();
}

int Display::CreateSurfaces(int width, int height, int depth, uint32_t flags)
{
    DisplayState& d = D();
    if (d.ready)
        WaitForSurfaces();
    ReleaseSurfaces();
    const bool windowed = flags & kModeWindowed;
    if (windowed) {
        if (uint32_t(depth) != d.desktopDepth || !gfx::CreateScreen(width, height, depth, true, 2))
            return -1;
    } else {
        // Setting the display mode: only modes the display lists can be set.
        bool listed = false;
        for (const gfx::DisplayMode& m : gfx::EnumerateDisplayModes())
            listed = listed || (m.width == width && m.height == height && m.depth == depth);
        if (!listed || !gfx::CreateScreen(width, height, depth, false, (flags & kModeTripleBuffer) ? 3 : 2))
            return -1;
    }
    gfx::ColourFillScreen(0, true);
    if (!windowed)
        gfx::Present();
    d.width = width;
    d.height = height;
    d.widthF = float(width);
    d.heightF = float(height);
    d.depth = depth;
    Display::Flags() = windowed ? (Display::Flags() | kModeWindowed) : (Display::Flags() & ~kModeWindowed);
    d.pitch = gfx::ScreenPitch();
    const gfx::FormatDesc f = gfx::ScreenFormat();
    if ((f.flags & gfx::kFmtRgb) && !(f.flags & (gfx::kFmtPalette8 | gfx::kFmtPalette4)))
        d.packing = {PackingFromMask(f.redMask), PackingFromMask(f.greenMask), PackingFromMask(f.blueMask)};
    Call(d.hooks.screenChanged);
    // The 3-D device lives on the surfaces; it is re-made with them. Before
    // the device is opened only the device list is refreshed, so a device
    // that cannot be made ends in the retries of the device opening (and its
    // exit code), not in a failed mode.
    if (!Enumerate3DDevices())
        return -1;
    ChooseTextureDetail();
    ve::TextureLoader::SetSurfaceFormat(gfx::ToSurfaceFormat(gfx::ScreenFormat()));
    return 1;
}

int Display::SetMode(int width, int height, int depth, uint32_t flags)
{
    DisplayState& d = D();
    const int oldW = d.width, oldH = d.height, oldDepth = d.depth;
    const uint32_t oldWindowed = Display::Flags() & kModeWindowed;
    if (!(flags & kModeWindowed)) {
        if (d.options.allowTripleBuffering && CreateSurfaces(width, height, depth, flags | kModeTripleBuffer) == 1) {
            Display::Flags() |= kModeTripleBuffer;
            Display::Flags() &= ~kModeWindowed;
            return 1;
        }
        Display::Flags() &= ~kModeTripleBuffer;
        if (CreateSurfaces(width, height, depth, flags & ~kModeTripleBuffer) == 1) {
            Display::Flags() &= ~kModeWindowed;
            return 2;
        }
        for (int lower = depth - 8; lower >= 16; lower -= 8)
            if (IsModeSupported(width, height, lower, flags) && SetMode(width, height, lower, flags) > 0)
                return 2;
    } else if (CreateSurfaces(width, height, int(d.desktopDepth), flags) == 1) {
        Display::Flags() |= kModeWindowed;
        return 1;
    }
    // Back to the mode we had.
    const uint32_t oldFlags = oldWindowed | (Display::Flags() & kModeReference);
    const int back = CreateSurfaces(oldW, oldH, oldWindowed ? int(d.desktopDepth) : oldDepth, oldFlags);
    return back == 1 ? 0 : -1;
}

// ---- The 3-D device -------------------------------------------------------------------

// Refreshes the device list; once the device is open (flag 0x10) also
// chooses and makes the 3-D device on the current surfaces.
bool Display::Enumerate3DDevices()
{
    DisplayState& d = D();
    d.device.reset();
    d.devices3d = gfx::Enumerate3DDevices();
    if (!(d.open & kOpenDirect3D))
        return true;
    auto find = [&](const char* name) -> const gfx::DeviceDesc* {
        for (const auto& dev : d.devices3d)
            if (dev.name == name)
                return &dev;
        return nullptr;
    };
    const gfx::DeviceDesc* chosen = find((Display::Flags() & kModeReference) ? gfx::kReferenceDeviceName : gfx::kTnlDeviceName);
    if (chosen) {
        d.caps.vertexBufferFlags = 0;
    } else {
        chosen = find(gfx::kHalDeviceName);
        if (!chosen)
            return false;
        d.caps.vertexBufferFlags = gfx::kVbSystemMemory;
    }
    const std::string name = chosen->name;
    const gfx::DeviceDesc desc = *chosen;

    // Z-buffer and device, lowering the z depth until both can be made.
    d.zFormats = gfx::EnumerateZFormats();
    d.caps.flags &= ~kCapsStencilZ;
    for (const auto& f : d.zFormats)
        if (f.stencilBits)
            d.caps.flags |= kCapsStencilZ;
    const int savedLimit = d.options.maxZDepth;
    for (;;) {
        const int pick = ChooseZFormat(d.zFormats, d.options.maxZDepth);
        bool zMade = pick >= 0 && gfx::CreateZBuffer(d.zFormats[size_t(pick)]);
        if (zMade) {
            d.device = gfx::CreateDevice(name);
            if (d.device) {
                d.caps.zBufferDepth = d.zFormats[size_t(pick)].bits;
                break;
            }
            gfx::ReleaseZBuffer();
        }
        if (d.options.maxZDepth < 17) {
            d.options.maxZDepth = savedLimit;
            return false;
        }
        d.options.maxZDepth -= 8;
    }

    // Texture formats and the texture budget.
    const auto formats = gfx::EnumerateTextureFormats();
    d.caps.flags &= ~(kCaps32BitTexture | kCapsDxt);
    for (const auto& f : formats) {
        if (f.flags & gfx::kFmtFourCC && (f.fourCC == gfx::kDxt1 || f.fourCC == gfx::kDxt3))
            d.caps.flags |= kCapsDxt;
        if (!(f.flags & gfx::kFmtFourCC) && f.bits == 32)
            d.caps.flags |= kCaps32BitTexture;
    }
    ChooseTextureDetail();

    // Capabilities.
    d.caps.minTextureSize = std::max(desc.minTextureWidth, desc.minTextureHeight);
    d.caps.maxTextureSize = std::min({desc.maxTextureWidth, desc.maxTextureHeight, 2048u});
    d.caps.maxSimultaneousTextures = desc.maxSimultaneousTextures;
    d.caps.renderBitDepths = desc.renderBitDepths;
    d.caps.zBufferBitDepths = desc.zBufferBitDepths;
    d.caps.maxAnisotropy = desc.maxAnisotropy;
    d.caps.maxUserClipPlanes = desc.maxUserClipPlanes;
    if (desc.separateTextureMemories)
        d.caps.flags &= ~kCapsSharedMemory;
    else
        d.caps.flags |= kCapsSharedMemory;
    if (desc.maxActiveLights != 0 && desc.maxActiveLights != 0xFFFFFFFFu)
        d.caps.maxActiveLights = desc.maxActiveLights;
    d.caps.identifier = gfx::Identifier();

    if (!IsModeSupported(d.width, d.height, d.depth, Display::Flags() & kModeWindowed))
        return false;
    SetDefaultStates();
    gfx::DeviceCaps loaderCaps;
    loaderCaps.devCaps = gfx::kDevCapsTextureVideoMemory;
    loaderCaps.minTextureWidth = loaderCaps.minTextureHeight = d.caps.minTextureSize;
    loaderCaps.maxTextureWidth = loaderCaps.maxTextureHeight = d.caps.maxTextureSize;
    if (ve::TextureLoader::SetDevice(&g_surfaceFactory, &loaderCaps) != 0)
        return false;
    if (!ChooseTextureFormats())
        return false;
    CreateNullTexture();
    Call(d.hooks.resetLightSetMaterial);
    // The transforms below replace whatever camera was current on the old
    // device, so no camera is current until one is made so again.
    Camera::ForgetCurrent();
    const gfx::Matrix identity;
    for (auto t : {gfx::TransformType::World, gfx::TransformType::View, gfx::TransformType::Projection})
        d.device->SetTransform(t, identity);
    return true;
}

bool Display::ChooseTextureFormats()
{
    DisplayState& d = D();
    d.textureFormats = ChooseTextureFormatsFrom(gfx::EnumerateTextureFormats(), d.options.prefer32BitTextures);
    if (!d.textureFormats.found)
        return false;
    ve::TextureLoader::SetDefaultFormat(gfx::ToSurfaceFormat(d.textureFormats.defaultFormat));
    // First, so any smaller format that carries the image's alpha wins over it.
    if (d.textureFormats.fullAlpha)
        ve::TextureLoader::AddFormat(gfx::ToSurfaceFormat(*d.textureFormats.fullAlpha), 8, true, 0, true);
    for (const auto& [kind, format] : d.textureFormats.byKind) {
        const bool palettised = kind == 256 || kind == 16;
        ve::TextureLoader::AddFormat(gfx::ToSurfaceFormat(format), palettised ? 0 : kind, kind == 1 || kind == 4,
                                     palettised ? kind : 0, (format.flags & gfx::kFmtFourCC) != 0);
    }
    // The largest square texture of the default format that can be made.
    for (uint32_t size = d.caps.maxTextureSize; size >= 1; size /= 2)
        if (gfx::Texture::Create(size, size, d.textureFormats.defaultFormat, 1)) {
            d.caps.maxTextureSize = size;
            break;
        }
    return true;
}

bool Display::OpenDevice()
{
    DisplayState& d = D();
    d.open |= kOpenDirect3D;
    if (!Enumerate3DDevices()) {
        CloseDevice();
        return false;
    }
    Call(d.hooks.createVertexBuffers);
    Call(d.hooks.createDefaultMaterials);
    if (!d.ready)
        RestoreDeviceObjects();
    return true;
}

void Display::CloseDevice()
{
    DisplayState& d = D();
    d.open &= ~kOpenDirect3D;
    if (d.inScene && d.device)
        d.device->EndScene();
    d.inScene = false;
    TextureManager::FreeAllUnused();
    Call(d.hooks.destroyVertexBuffers);
    Call(d.hooks.destroyDefaultMaterials);
    d.devices3d.clear();
    d.zFormats.clear();
    ResetCaps();
    ForgetStageTextures();
    d.device.reset();
    d.ready = false;
}

// ---- Frames ----------------------------------------------------------------------------

int Display::Width() { return D().width; }
int Display::Height() { return D().height; }
int Display::Depth() { return D().depth; }
int Display::Pitch() { return D().pitch; }
const ColourPacking& Display::Packing() { return D().packing; }

bool Display::BeginScene()
{
    DisplayState& d = D();
    if (d.inScene)
        return true;
    if (!d.device)
        return false;
    Timed t(d.profile.beginScene);
    d.device->BeginScene();  // a failure is only reported, as every device call
    d.inScene = true;
    return true;
}

void Display::UpdateFrameTime()
{
    DisplayState& d = D();
    const uint64_t now = d.clock();
    const uint64_t delta = now - d.lastFrame;
    d.frameDelta = delta == 0 ? 1u : uint32_t(std::min<uint64_t>(delta, 0xFFFFFFFFu));
    d.lastFrame = now;
    ++d.frames;
}

void Display::EndFrame(Camera* camera, void (*overlay)())
{
    DisplayState& d = D();
    Timed frame(d.profile.frame);
    if (!d.ready || !d.device) {
        // Nothing can draw: the frame's requests go, or they would pile up
        // (and keep their objects) for as long as the device is away.
        RenderQueue::Clear();
        UpdateFrameTime();
        return;
    }
    Call(d.hooks.previewFrame);
    RenderQueue::Flush();
    d.device->SetTransform(gfx::TransformType::World, gfx::Matrix{});
    if (d.hooks.makeCameraCurrent)
        d.hooks.makeCameraCurrent(camera);
    Call(d.hooks.drawParticles);
    if (overlay)
        overlay();
    Call(d.hooks.flushText);
    {
        Timed t(d.profile.endScene);
        if (d.inScene)
            d.device->EndScene();
        d.inScene = false;
    }
    UpdateFrameTime();
    Timed t(Display::Flags() & kModeWindowed ? d.profile.blit : d.profile.flip);
    gfx::Present();
}

void Display::Clear()
{
    DisplayState& d = D();
    if (!d.device)
        return;
    const uint32_t flags = gfx::kClearTarget | (gfx::HasZBuffer() ? gfx::kClearZBuffer : 0u) |
                           ((d.caps.flags & kCapsStencilZ) && gfx::HasZBuffer() ? gfx::kClearStencil : 0u);
    d.device->Clear({}, flags, d.clearColour, 1.0f, 0);
    d.screenCleared = true;
}

void Display::ClearAllBuffers()
{
    DisplayState& d = D();
    if (!d.device)
        return;
    const int flips = (Display::Flags() & kModeWindowed) ? 1 : (Display::Flags() & kModeTripleBuffer) ? 3 : 2;
    for (int i = 0; i < flips; ++i) {
        d.device->Clear({}, gfx::kClearTarget | (gfx::HasZBuffer() ? gfx::kClearZBuffer : 0u), 0, 1.0f, 0);
        gfx::Present();
    }
}

// ---- Loss and restore ----------------------------------------------------------------

void Display::ReleaseDeviceObjects()
{
    DisplayState& d = D();
    if (!d.ready)
        return;
    TextureManager::ReleaseAll();
    if (d.nullTexture)
        d.nullTexture->SetSurface(nullptr);
    ForgetStageTextures();
    Call(d.hooks.releaseVertexBuffers);
    Call(d.hooks.deleteStateBlocks);
    d.ready = false;
}

void Display::RestoreDeviceObjects()
{
    DisplayState& d = D();
    if (d.ready || !d.device)
        return;
    RestoreLostSurfaces();
    TextureManager::RestoreAll();
    CreateNullTexture();
    Call(d.hooks.restoreVertexBuffers);
    Call(d.hooks.forgetCurrentMaterial);
    Call(d.hooks.compileMaterials);
    d.ready = true;
}

void Display::RestoreLostSurfaces()
{
    if (gfx::IsScreenLost() && gfx::RestoreScreen())
        TextureManager::RestoreAll();
}

int Display::FindGdiBuffer()
{
    // The desktop always shows the front buffer: what the player sees. A
    // chain without it cannot take a system dialog over it.
    if (gfx::CurrentFaults().noGdiBuffer)
        FatalExit(kExitNoGdiBuffer);
    return 0;
}

void Display::WaitForSurfaces()
{
    // GL finishes its blits before the next call that needs them.
}

VideoMemoryReport Display::QueryVideoMemory()
{
    VideoMemoryReport r;
    if (!(D().open & kOpenDirectDraw))
        return r;
    const gfx::VideoMemory local = gfx::QueryVideoMemory(0x10000000), video = gfx::QueryVideoMemory(0x4000),
                           tex = gfx::QueryVideoMemory(0x1000);
    r.localTotal = local.total;
    r.localFree = local.free;
    r.videoTotal = video.total;
    r.videoFree = video.free;
    r.textureTotal = tex.total;
    r.textureFree = tex.free;
    return r;
}

std::string Display::ReportVideoMemory()
{
    const VideoMemoryReport r = QueryVideoMemory();
    char text[96];
    std::snprintf(text, sizeof text, "Total VRAM = %u Free VRAM = %u", ClampTo32(r.videoTotal), ClampTo32(r.videoFree));
    return text;
}

uint64_t Display::ChooseTextureDetail()
{
    DisplayState& d = D();
    const VideoMemoryReport r = QueryVideoMemory();
    d.caps.textureMemory.total = r.videoTotal;
    d.caps.textureMemory.local = r.localTotal;
    d.caps.textureMemory.free = r.textureFree;
    uint32_t bits = d.options.prefer32BitTextures ? 32 : (d.caps.flags & kCapsDxt) ? 4 : 16;
    if (!(d.caps.flags & kCapsSharedMemory))
        bits *= 2;
    const TextureDetail detail = ChooseTextureDetailFrom(r.textureFree, TextureManager::ResidentCharge(), bits);
    d.options.textureReduction = detail.reduction;
    return detail.budget;
}

// ---- The shell's display mode ---------------------------------------------------------

void Display::InstallModeHooks()
{
    DisplayModeHooks& h = App::ModeHooks();
    h.setMode = [](int w, int hgt, int depth, uint32_t flags) {
        // The reference-device bit travels in the display flags, not in the request.
        Display::Flags() = (Display::Flags() & ~kModeReference) | (flags & kModeReference);
        return Display::SetMode(w, hgt, depth, flags & kModeWindowed);
    };
    h.openDevice = [] { return Display::OpenDevice(); };
    h.shutdown = [] { Display::Shutdown(); };
    h.releaseDeviceObjects = [] { Display::ReleaseDeviceObjects(); };
    h.restoreDeviceObjects = [] { Display::RestoreDeviceObjects(); };
    h.canRenderWindowed = [] { return (Display::Caps().flags & kCapsGdi) != 0; };
    h.updateTextureLoadFlags = [] { TextureManager::UpdateLoadFlags(); };
    // Without a shell to size the window, the layer's own sizing stands.
    if (!h.resizeWindow)
        h.resizeWindow = [](int, int) { return true; };
    if (!h.showError)
        h.showError = [](const char* text) {
            platform::ShowMessageBox(text, "Error", platform::MessageBoxButtons::Ok, platform::MessageBoxIcon::Error);
        };
    h.desktopRect = [] {
        const gfx::DisplayMode m = gfx::DesktopMode();
        return ClipRect{0, 0, m.width, m.height};
    };
}

bool Display::SetInitialMode()
{
    InstallModeHooks();
    return App::SetInitialMode();
}

int Display::RestorePreviousMode()
{
    return App::RestorePreviousMode();
}

void Display::OnResize(int width, int height)
{
    App::OnResize(width, height);
}

// ---- Default states and the cached setters --------------------------------------------

void Display::SetDefaultStates()
{
    DisplayState& d = D();
    gfx::Device* dev = d.device.get();
    if (!dev)
        return;
    dev->BeginScene();
    d.inScene = true;
    using RS = gfx::RenderState;
    const bool specular = !SpecularDisabledFor(d.caps.identifier);
    const std::pair<RS, uint32_t> states[] = {
        {RS::Antialias, 0}, {RS::TexturePerspective, 1}, {RS::ZEnable, 1}, {RS::FillMode, 3},
        {RS::ShadeMode, 2}, {RS::LinePattern, 0}, {RS::ZWriteEnable, 1}, {RS::AlphaTestEnable, 0},
        {RS::LastPixel, 1}, {RS::SrcBlend, gfx::blend::SrcAlpha}, {RS::DestBlend, gfx::blend::InvSrcAlpha},
        {RS::CullMode, gfx::cull::CounterClockwise}, {RS::ZFunc, gfx::cmp::LessEqual}, {RS::AlphaRef, 31},
        {RS::AlphaFunc, gfx::cmp::GreaterEqual}, {RS::DitherEnable, 0}, {RS::AlphaBlendEnable, 0},
        {RS::FogEnable, 0}, {RS::SpecularEnable, specular ? 1u : 0u}, {RS::ZVisible, 0},
        {RS::StippledAlpha, 0}, {RS::FogColor, 0}, {RS::FogTableMode, gfx::fog::None},
        {RS::FogStart, std::bit_cast<uint32_t>(0.0f)}, {RS::FogEnd, std::bit_cast<uint32_t>(1.0f)},
        {RS::FogDensity, std::bit_cast<uint32_t>(1.0f)}, {RS::EdgeAntialias, 0}, {RS::ColorKeyEnable, 0},
        {RS::RangeFogEnable, 0}, {RS::Anisotropy, 0}, {RS::StencilEnable, 0},
        {RS::StencilFail, gfx::stencilop::Keep}, {RS::StencilZFail, gfx::stencilop::Keep},
        {RS::StencilPass, gfx::stencilop::Keep}, {RS::StencilFunc, gfx::cmp::Always}, {RS::StencilRef, 0},
        {RS::StencilMask, 0xFFFFFFFFu}, {RS::StencilWriteMask, 0xFFFFFFFFu}, {RS::TextureFactor, 0},
        {RS::Wrap0, 0}, {RS::Wrap1, 0}, {RS::Wrap2, 0}, {RS::Wrap3, 0}, {RS::Wrap4, 0}, {RS::Wrap5, 0},
        {RS::Wrap6, 0}, {RS::Wrap7, 0}, {RS::Clipping, 1}, {RS::Lighting, 1}, {RS::Extents, 1},
        {RS::Ambient, 0}, {RS::FogVertexMode, gfx::fog::None}, {RS::ColorVertex, 1}, {RS::LocalViewer, 1},
        {RS::NormalizeNormals, 0}, {RS::ColorKeyBlendEnable, 0}, {RS::DiffuseMaterialSource, 1},
        {RS::SpecularMaterialSource, 2}, {RS::EmissiveMaterialSource, 0}, {RS::VertexBlend, 0},
        {RS::ClipPlaneEnable, 0},
    };
    for (const auto& [state, value] : states)
        dev->SetRenderState(state, value);

    using SS = gfx::StageState;
    const bool anisotropic = d.caps.maxAnisotropy > 1 && d.options.allowAnisotropic;
    const float lodBias = d.caps.identifier.deviceId == 0x5246 ? -1.0f : 0.0f;
    for (int stage = 7; stage >= 0; --stage) {
        const uint32_t s = uint32_t(stage);
        dev->SetTexture(s, nullptr);
        dev->SetTextureStageState(s, SS::ColorOp, s == 0 ? gfx::texop::Modulate : gfx::texop::Disable);
        dev->SetTextureStageState(s, SS::ColorArg1, gfx::texarg::Texture);
        dev->SetTextureStageState(s, SS::ColorArg2, gfx::texarg::Current);
        dev->SetTextureStageState(s, SS::AlphaOp, s == 0 ? gfx::texop::Modulate : gfx::texop::Disable);
        dev->SetTextureStageState(s, SS::AlphaArg1, gfx::texarg::Texture);
        dev->SetTextureStageState(s, SS::AlphaArg2, gfx::texarg::Current);
        dev->SetTextureStageState(s, SS::TexCoordIndex, s);
        dev->SetTextureStageState(s, SS::Address, gfx::address::Wrap);
        dev->SetTextureStageState(s, SS::MaxAnisotropy, d.caps.maxAnisotropy);
        // Each filter falls back until the device takes one; the last tried is kept.
        auto tryFilters = [&](SS state, std::initializer_list<uint32_t> values, uint32_t& kept) {
            for (uint32_t v : values) {
                kept = v;
                if (dev->SetTextureStageState(s, state, v))
                    break;
            }
        };
        if (anisotropic)
            tryFilters(SS::MagFilter, {gfx::filter::MagAnisotropic, gfx::filter::MagLinear, gfx::filter::MagPoint}, d.caps.magFilter);
        else
            tryFilters(SS::MagFilter, {gfx::filter::MagLinear, gfx::filter::MagPoint}, d.caps.magFilter);
        if (anisotropic)
            tryFilters(SS::MinFilter, {gfx::filter::MinAnisotropic, gfx::filter::MinLinear, gfx::filter::MinPoint}, d.caps.minFilter);
        else
            tryFilters(SS::MinFilter, {gfx::filter::MinLinear, gfx::filter::MinPoint}, d.caps.minFilter);
        tryFilters(SS::MipFilter, {gfx::filter::MipLinear, gfx::filter::MipPoint, gfx::filter::MipNone}, d.caps.mipFilter);
        dev->SetTextureStageState(s, SS::MipMapLodBias, std::bit_cast<uint32_t>(lodBias));
    }
    ForgetStageTextures();

    uint32_t passes = 0;
    if (!dev->ValidateDevice(passes))
        LogFile::Write("Error: Validate Device failed on line %i in file %s.", kDefaultStatesValidationLine,
                       kDisplaySourcePath);
    dev->EndScene();
    Call(d.hooks.forgetCurrentMaterial);
    d.inScene = false;
    d.zFunc = gfx::cmp::LessEqual;
    d.zFuncSet = true;
    d.zWrite = true;
    ClearAllBuffers();
}

bool Display::SetStageTexture(TextureEntry* texture, uint32_t stage)
{
    DisplayState& d = D();
    if (stage >= 8 || !d.device)
        return false;
    if (d.stageTextures[stage] == texture)
        return true;
    Timed t(d.profile.stageTexture);
    if (!d.device->SetTexture(stage, texture ? texture->Surface() : nullptr))
        return false;
    d.stageTextures[stage] = texture;
    return true;
}

uint32_t Display::SetZFunc(uint32_t function)
{
    DisplayState& d = D();
    const uint32_t previous = d.zFunc;
    if ((!d.zFuncSet || function != d.zFunc) && d.device &&
        d.device->SetRenderState(gfx::RenderState::ZFunc, function)) {
        d.zFunc = function;
        d.zFuncSet = true;
    }
    return previous;
}

bool Display::SetZWrite(bool enable)
{
    DisplayState& d = D();
    if (!d.device || !d.device->SetRenderState(gfx::RenderState::ZWriteEnable, enable ? 1 : 0))
        return false;
    d.zWrite = enable;
    return true;
}

void Display::ResetSortIndependence()
{
    if (D().device)
        D().device->SetRenderState(gfx::RenderState::TranslucentSortIndependent, 0);
}

// ---- Accessors ---------------------------------------------------------------------------

uint32_t& Display::Flags() { return App::CurrentMode().flags; }

void Display::SetExitRegistrar(void (*registrar)(void (*)()))
{
    if (registrar)
        D().registrar = registrar;
}

uint32_t Display::DeviceId()
{
    return D().caps.identifier.stableId;
}
uint32_t Display::OpenState() { return D().open; }
bool Display::DeviceReady() { return D().ready; }
bool Display::InScene() { return D().inScene; }
bool Display::ScreenCleared() { return D().screenCleared; }
std::string& Display::SelectionName() { return D().selection; }
uint32_t& Display::ClearColour() { return D().clearColour; }
DisplayOptions& Display::Options() { return D().options; }
DeviceCaps& Display::Caps() { return D().caps; }
gfx::Device* Display::Device() { return D().device.get(); }
TextureEntry* Display::NullTexture() { return D().nullTexture; }
const TextureFormatChoice& Display::TextureFormats() { return D().textureFormats; }
const std::vector<DisplayDeviceRecord>& Display::DisplayDevices() { return D().devices; }
const std::vector<DisplayModeRecord>& Display::DisplayModes() { return D().modes; }
uint32_t Display::FrameCount() { return D().frames; }
uint32_t Display::FrameDelta() { return D().frameDelta; }
uint32_t Display::TextureReductionLevel() { return D().options.textureReduction; }
uint32_t Display::GlobalMinimumReduction() { return D().options.globalMinimumReduction; }
DisplayHooks& Display::Hooks() { return D().hooks; }
void Display::SetFrameClock(uint64_t (*now)()) { D().clock = now ? now : RealTimeNow; }
