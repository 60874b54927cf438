// The bottom of the 3-D engine: the display device, its modes and surfaces,
// the 3-D device with its z-buffer, texture formats and capabilities, frame
// begin and end, device loss, and the one known state every other part of the
// engine starts from. One display per process; the shell drives it.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <optional>
#include <vector>

#include "app/display_mode.h"
#include "platform/gfx.h"

class Camera;
class TextureEntry;

// How a channel of a 16- or 32-bit pixel is widened to 8 bits: (pixel >> shift) << loss.
struct ChannelPacking {
    uint32_t loss = 8, shift = 0;
    bool operator==(const ChannelPacking&) const = default;
};
struct ColourPacking {
    ChannelPacking red, green, blue;
};
ChannelPacking PackingFromMask(uint32_t mask);

// Depth bits of mode records and device bit-depth masks.
constexpr uint32_t kDepthBit8 = 2048, kDepthBit16 = 1024, kDepthBit24 = 512, kDepthBit32 = 256;
uint32_t DepthBit(int depth);


inline constexpr int kExitNoGdiBuffer = -40;

// Open-state bits.
constexpr uint32_t kOpenDirectDraw = 0x1, kOpenTimer = 0x8, kOpenDirect3D = 0x10;

// DeviceCaps flags.
constexpr uint32_t kCapsStencilZ = 0x1, kCaps32BitTexture = 0x2, kCapsDxt = 0x4, kCapsGdi = 0x8,
                   kCapsSharedMemory = 0x10;

struct TextureMemory {
    uint64_t total = 0, local = 0, free = 0;
};

struct DeviceCaps {
    uint32_t flags = kCapsSharedMemory;
    uint32_t magFilter = 0x7FFFFFFF, minFilter = 0x7FFFFFFF, mipFilter = 0x7FFFFFFF;
    uint32_t minTextureSize = 0, maxTextureSize = 0, maxSimultaneousTextures = 0;
    TextureMemory textureMemory;
    uint32_t maxActiveLights = 8;
    uint32_t vertexBufferFlags = gfx::kVbSystemMemory;
    uint32_t maxAnisotropy = 1, maxUserClipPlanes = 0;
    uint32_t renderBitDepths = 0xFFFFFFFF, zBufferBitDepths = 0, zBufferDepth = 0;
    gfx::DeviceIdentifier identifier;
};

struct DisplayOptions {
    bool allowTripleBuffering = false;
    bool allowAnisotropic = false;
    bool useMipFilter = false;
    bool prefer32BitTextures = false;
    bool roundToPowerOfTwo = true;
    int maxZDepth = 32;
    uint32_t textureReduction = 0;
    uint32_t globalMinimumReduction = 0;
    int largestDepthIndex = 2;  // depths up to 16 + 8 x index
};

struct DisplayDeviceRecord {
    bool primary = true;
    std::string description, driverName;
    bool hardware3d = false, sharesDesktop = true;
    uint64_t totalVideoMemory = 0;
};

struct DisplayModeRecord {
    uint32_t depthMask = 0;
    int width = 0, height = 0, refreshRate = 0;
};

// Video memory by kind; a missing display leaves zeros.
struct VideoMemoryReport {
    uint64_t localTotal = 0, localFree = 0, nonLocalTotal = 0, nonLocalFree = 0;
    uint64_t videoTotal = 0, videoFree = 0, textureTotal = 0, textureFree = 0;
};

// What the device choice made of the texture formats.
struct TextureFormatChoice {
    bool found = false;
    gfx::FormatDesc defaultFormat;
    // Further formats the loader may use, by alpha kind (0 plain, 1 one-bit, 4 four-bit,
    // 16 and 256 the palettised ones).
    std::vector<std::pair<uint32_t, gfx::FormatDesc>> byKind;
    // The 32-bit format when it is not the default: offered ahead of the
    // others for uncompressed images whose alpha no other format carries,
    // which would otherwise need a compressor the device layer lacks.
    std::optional<gfx::FormatDesc> fullAlpha;
    bool has32Bit = false, hasDxt = false;
};

struct TextureDetail {
    uint64_t budget = 0;
    uint32_t reduction = 0;
};

// Calls into parts of the engine built on the display (cameras, render
// queue, particles, fonts, materials, vertex buffers, hit probes, the object
// preview). Each is optional; unset ones are skipped.
struct DisplayHooks {
    std::function<void()> screenChanged;
    std::function<void()> previewFrame;
    std::function<void(Camera*)> makeCameraCurrent;
    std::function<void()> drawParticles;
    std::function<void()> flushText;
    std::function<void()> createVertexBuffers, destroyVertexBuffers;
    std::function<void()> releaseVertexBuffers, restoreVertexBuffers;
    std::function<void()> createDefaultMaterials, destroyDefaultMaterials;
    std::function<void()> deleteStateBlocks, compileMaterials, forgetCurrentMaterial;
    std::function<void()> resetLightSetMaterial;
};

// ---- Choices, free of the device so they can be checked alone -----------------

// Index into `devices`, or -1 for the primary display driver.
int ChooseDisplayDevice(const std::vector<DisplayDeviceRecord>& devices, const std::string& selection,
                        bool windowed);
// Index of the z-buffer format for a depth limit, or -1.
int ChooseZFormat(const std::vector<gfx::FormatDesc>& formats, int limit);
TextureFormatChoice ChooseTextureFormatsFrom(const std::vector<gfx::FormatDesc>& formats, bool prefer32);
// The budget from free texture memory and the resident charge; 64-bit throughout.
TextureDetail ChooseTextureDetailFrom(uint64_t freeMemory, uint64_t residentCharge, uint32_t bitsPerTexel);
// Devices that draw specular highlights wrongly.
bool SpecularDisabledFor(const gfx::DeviceIdentifier& id);
// 32-bit value of a 64-bit memory size for the old 32-bit reports: clamped, not wrapped.
uint32_t ClampTo32(uint64_t value);

class Display {
public:
    static bool Startup(void* window);
    // Where Startup puts Shutdown on the program's exit-handler list (the
    // run-time's std::atexit unless a shell keeps its own list).
    static void SetExitRegistrar(void (*registrar)(void (*)()));
    // The display device as the key file records it: the layer's stable identifier.
    static uint32_t DeviceId();
    static void Shutdown();
    static bool OpenDirectDraw(bool windowed);
    static void CloseDirectDraw();
    static void RestoreDisplayMode();
    static int SetMode(int width, int height, int depth, uint32_t flags);
    static bool IsModeSupported(int width, int height, int depth, uint32_t flags);
    static int CreateSurfaces(int width, int height, int depth, uint32_t flags);
    static void ReleaseSurfaces();
    static bool OpenDevice();
    static void CloseDevice();
    static bool Enumerate3DDevices();
    static bool ChooseTextureFormats();

    static int Width();
    static int Height();
    static int Depth();
    static int Pitch();
    static const ColourPacking& Packing();

    static bool BeginScene();
    static void EndFrame(Camera* camera, void (*overlay)());
    static void UpdateFrameTime();
    static void Clear();
    static void ClearAllBuffers();
    static void ReleaseDeviceObjects();
    static void RestoreDeviceObjects();
    static void RestoreLostSurfaces();
    static void WaitForSurfaces();
    // Which buffer the desktop shows before a system dialog: 0 the primary,
    // 1 the back buffer, 2 the third. Always the primary here; none of them
    // ends the program with kExitNoGdiBuffer.
    static int FindGdiBuffer();
    static uint64_t ChooseTextureDetail();
    static VideoMemoryReport QueryVideoMemory();
    // The diagnostic line; nothing shows it.
    static std::string ReportVideoMemory();

    // The shell's display-mode set-up on this display: the hooks of
    // app/display_mode point at the functions here; the rest stays the shell's.
    static void InstallModeHooks();
    static bool SetInitialMode();
    static int RestorePreviousMode();
    static void OnResize(int width, int height);

    static void SetDefaultStates();
    static bool SetStageTexture(TextureEntry* texture, uint32_t stage);
    static uint32_t SetZFunc(uint32_t function);
    static bool SetZWrite(bool enable);
    static void ResetSortIndependence();

    // State shared with the shell and the rest of the engine.
    // The flags of the one mode record, App::CurrentMode().
    static uint32_t& Flags();
    static uint32_t OpenState();
    static bool DeviceReady();
    static bool InScene();
    static bool ScreenCleared();
    static std::string& SelectionName();
    static uint32_t& ClearColour();
    static DisplayOptions& Options();
    static DeviceCaps& Caps();
    static gfx::Device* Device();
    static TextureEntry* NullTexture();
    static const TextureFormatChoice& TextureFormats();
    static const std::vector<DisplayDeviceRecord>& DisplayDevices();
    static const std::vector<DisplayModeRecord>& DisplayModes();
    static uint32_t FrameCount();
    static uint32_t FrameDelta();
    static uint32_t TextureReductionLevel();
    static uint32_t GlobalMinimumReduction();
    static DisplayHooks& Hooks();
    // The frame clock; the default is the real-time timer.
    static void SetFrameClock(uint64_t (*now)());
};

// Profiling counters in processor-clock units.
struct DisplayProfile {
    int64_t frame = 0, beginScene = 0, endScene = 0, blit = 0, flip = 0, stageTexture = 0;
};
DisplayProfile& DisplayProfiling();

// The source path named in the device's validation line.
inline constexpr const char* kDisplaySourcePath = "Veapi\\ve3d.cpp";
inline constexpr int kDefaultStatesValidationLine = 912;
