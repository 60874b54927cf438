// The graphics layer under the 3-D engine: display devices and modes, the
// screen (back buffer, front buffer, z-buffer with stencil), and a 3-D device
// with render states, texture stages, transforms, lights, materials, vertex
// buffers, state blocks and clip status, drawn with OpenGL. The device code in
// Veapi/ve3d is its one caller; it never sees SDL or GL.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace gfx {

class Texture;
class VertexBuffer;
class Surface;           // platform/gfx_surface.h: the loader's in-memory surfaces
struct PixelFormatDesc;

// ---- Pixel formats of screens, z-buffers and textures ----------------------

// Format flags (the meanings the device code tests for).
constexpr uint32_t kFmtAlpha = 0x0001;      // alpha mask is meaningful
constexpr uint32_t kFmtFourCC = 0x0004;     // block-compressed, see fourCC
constexpr uint32_t kFmtPalette4 = 0x0008;   // 4-bit palette indices
constexpr uint32_t kFmtPalette8 = 0x0020;   // 8-bit palette indices
constexpr uint32_t kFmtRgb = 0x0040;
constexpr uint32_t kFmtZBuffer = 0x0400;
constexpr uint32_t kFmtStencil = 0x4000;    // z-buffer with stencil bits

constexpr uint32_t FourCC(char a, char b, char c, char d)
{
    return uint32_t(uint8_t(a)) | uint32_t(uint8_t(b)) << 8 | uint32_t(uint8_t(c)) << 16 |
           uint32_t(uint8_t(d)) << 24;
}
constexpr uint32_t kDxt1 = FourCC('D', 'X', 'T', '1');
constexpr uint32_t kDxt3 = FourCC('D', 'X', 'T', '3');

struct FormatDesc {
    uint32_t flags = 0;
    uint32_t fourCC = 0;
    uint32_t bits = 0;  // bits per pixel; for z-buffers the whole depth, stencil included
    uint32_t redMask = 0, greenMask = 0, blueMask = 0, alphaMask = 0;
    uint32_t stencilBits = 0;  // z-buffers only
    bool operator==(const FormatDesc&) const = default;
};

FormatDesc Rgb565();
FormatDesc Xrgb8888();
FormatDesc Argb8888();
FormatDesc Argb1555();
FormatDesc Argb4444();
FormatDesc Palette8();
FormatDesc Dxt(uint32_t fourCC);
// The same layout in the loader's surface terms, and back.
FormatDesc FromSurfaceFormat(const PixelFormatDesc& format);
PixelFormatDesc ToSurfaceFormat(const FormatDesc& format);

// Bytes of one row of a level (one row of 4 x 4 blocks for DXT formats).
uint32_t RowBytes(const FormatDesc& format, uint32_t width);
uint32_t RowCount(const FormatDesc& format, uint32_t height);

// ---- Display devices, modes, faults for tests ------------------------------

struct DisplayDevice {
    bool primary = true;          // the desktop's own driver
    std::string description;
    std::string driverName;
    bool hardware3d = true;
    bool sharesDesktop = true;    // the desktop draws on it, so it can render in a window
    uint64_t totalVideoMemory = 0;
};

struct DisplayMode {
    int width = 0, height = 0, depth = 0, refreshRate = 0;
};

struct DeviceIdentifier {
    uint32_t vendorId = 0, deviceId = 0;
    std::string driver, description;
    // The same on every run on the same graphics driver and card, different
    // on another: a hash of GL's vendor and renderer texts (and the injected
    // ids), which the key file keeps to know whether its settings still fit.
    uint32_t stableId = 0;
};

struct VideoMemory {
    uint64_t total = 0, free = 0;
};

// The video memory the display reports (GL has no portable query): 256 MiB,
// or TREVOK_VIDEO_MEMORY_MB megabytes (1 to 65536) when set; anything else in
// it is refused with a message and the default stands.
inline constexpr uint64_t kDefaultVideoMemory = 256ull << 20;
uint64_t VideoMemoryFromText(const char* megabytes);
uint64_t ConfiguredVideoMemory();

// What tests inject to drive the device code's rare paths. The layer reads
// it on every call; `ResetFaults` restores the neutral machine.
struct Faults {
    uint32_t vendorId = 0;
    uint32_t deviceId = 0;
    int maxZBits = 32;                  // z-buffers deeper than this cannot be created
    bool failValidation = false;        // ValidateDevice reports failure
    bool hideTnlDevice = false;         // the device list has no transform-and-lighting device
    bool hideHalDevice = false;         // ... nor the plain hardware device
    int failDeviceCreations = 0;        // so many CreateDevice calls fail
    bool rejectAnisotropic = false;     // filter values the texture stages refuse
    bool rejectLinearMip = false;
    bool rejectPointMip = false;
    int maxDisplayDepth = 32;           // modes deeper than this are not listed
    std::vector<std::pair<int, int>> missingModes;  // sizes left out of the mode list
    uint64_t videoMemory = ConfiguredVideoMemory();  // reported total; free = total - textures
    bool noDesktopSharing = false;      // the display device cannot render in a window
    bool noGdiBuffer = false;           // no buffer of the chain is the one the desktop shows
    bool cannotDisableStencil = false;  // SetRenderState(StencilEnable, 0) is refused
};
Faults& CurrentFaults();
void ResetFaults();

// ---- The screen ------------------------------------------------------------

// Opens the layer on a window. `nativeWindow` is the platform window handle
// (an SDL window made with OpenGL support); null opens a window of our own.
bool Open(void* nativeWindow);
void Close();
bool IsOpen();

std::vector<DisplayDevice> EnumerateDisplayDevices();
// The classic modes that fit the desktop, in 16 and 32 bits.
std::vector<DisplayMode> EnumerateDisplayModes();
DisplayMode DesktopMode();
DeviceIdentifier Identifier();
// Kinds: 0x1000 textures, 0x4000 video memory, 0x10000000 local, 0x20000000 non-local.
VideoMemory QueryVideoMemory(uint32_t kind);

// Builds the back and front buffers of a mode: depth 16 gives 5-6-5 pixels,
// 32 gives X8R8G8B8. Full screen takes the desktop and scales the mode into
// it, letter-boxed. `buffers` is 2 (double) or 3 (triple buffering).
bool CreateScreen(int width, int height, int depth, bool windowed, int buffers);
void ReleaseScreen();
bool HasScreen();
FormatDesc ScreenFormat();
int ScreenPitch();
// Fills the back buffer (or both buffers) with a packed ARGB colour.
bool ColourFillScreen(uint32_t argb, bool frontToo);
// Shows the back buffer: it becomes what the player sees.
bool Present();

// Copies a buffer into CPU memory in the screen's format, top row first.
// `front`: what the player sees; else the back buffer being drawn.
bool ReadScreen(bool front, std::vector<uint8_t>& pixels, int& pitch);
// Grows whenever what the front buffer holds may have changed (a present, a
// fill, a new or released screen): a kept copy of it is current while the
// number stays the same.
uint64_t FrontBufferVersion();
// The back buffer's stencil values (one byte a pixel) or depth values (0 to 1),
// top row first; false without a z-buffer (or without stencil bits).
bool ReadStencil(std::vector<uint8_t>& values);
bool ReadDepth(std::vector<float>& values);

std::vector<FormatDesc> EnumerateZFormats();
bool CreateZBuffer(const FormatDesc& format);
void ReleaseZBuffer();
bool HasZBuffer();

// Device loss as the platform would cause it (tests and focus changes):
// every texture and the screen report lost and their contents are gone.
void SimulateSurfaceLoss();
bool IsScreenLost();
bool RestoreScreen();

// ---- The 3-D device --------------------------------------------------------

enum class RenderState : uint32_t {
    Antialias, TexturePerspective, ZEnable, FillMode, ShadeMode, LinePattern, ZWriteEnable,
    AlphaTestEnable, LastPixel, SrcBlend, DestBlend, CullMode, ZFunc, AlphaRef, AlphaFunc,
    DitherEnable, AlphaBlendEnable, FogEnable, SpecularEnable, ZVisible, StippledAlpha,
    FogColor, FogTableMode, FogStart, FogEnd, FogDensity, EdgeAntialias, ColorKeyEnable,
    ZBias, RangeFogEnable, Anisotropy, StencilEnable, StencilFail, StencilZFail, StencilPass,
    StencilFunc, StencilRef, StencilMask, StencilWriteMask, TextureFactor, Wrap0, Wrap1, Wrap2,
    Wrap3, Wrap4, Wrap5, Wrap6, Wrap7, Clipping, Lighting, Extents, Ambient, FogVertexMode,
    ColorVertex, LocalViewer, NormalizeNormals, ColorKeyBlendEnable, DiffuseMaterialSource,
    SpecularMaterialSource, AmbientMaterialSource, EmissiveMaterialSource, VertexBlend,
    ClipPlaneEnable, TranslucentSortIndependent,
    Count
};

enum class StageState : uint32_t {
    ColorOp, ColorArg1, ColorArg2, AlphaOp, AlphaArg1, AlphaArg2, TexCoordIndex, Address,
    AddressU, AddressV, BorderColor, MagFilter, MinFilter, MipFilter, MipMapLodBias,
    MaxMipLevel, MaxAnisotropy, TextureTransformFlags,
    Count
};

enum class TransformType : uint32_t {
    World, View, Projection, Texture0, Texture1, Texture2, Texture3, Texture4, Texture5, Texture6, Texture7,
    Count
};
// TextureTransformFlags: how many transformed coordinates a stage uses (0 off).
constexpr uint32_t kTextureTransformCount2 = 2;

// Values of the states, as the device code writes them.
namespace cmp { enum : uint32_t { Never = 1, Less, Equal, LessEqual, Greater, NotEqual, GreaterEqual, Always }; }
namespace blend { enum : uint32_t { Zero = 1, One, SrcColor, InvSrcColor, SrcAlpha, InvSrcAlpha, DestAlpha, InvDestAlpha, DestColor, InvDestColor, SrcAlphaSat }; }
namespace cull { enum : uint32_t { None = 1, Clockwise, CounterClockwise }; }
namespace stencilop { enum : uint32_t { Keep = 1, Zero, Replace, IncrSat, DecrSat, Invert, Incr, Decr }; }
namespace fog { enum : uint32_t { None = 0, Exp, Exp2, Linear }; }
namespace texop {
enum : uint32_t {
    Disable = 1, SelectArg1, SelectArg2, Modulate, Modulate2x, Modulate4x, Add, AddSigned,
    AddSigned2x, Subtract, AddSmooth, BlendDiffuseAlpha, BlendTextureAlpha, BlendFactorAlpha,
    BlendTextureAlphaPm, BlendCurrentAlpha, DotProduct3 = 24
};
}
namespace texarg { enum : uint32_t { Diffuse = 0, Current = 1, Texture = 2, TFactor = 3, Specular = 4, Complement = 0x10, AlphaReplicate = 0x20 }; }
namespace filter {
enum : uint32_t { MagPoint = 1, MagLinear = 2, MagAnisotropic = 5, MinPoint = 1, MinLinear = 2, MinAnisotropic = 3, MipNone = 1, MipPoint = 2, MipLinear = 3 };
}
namespace address { enum : uint32_t { Wrap = 1, Mirror, Clamp, Border }; }

// Flexible vertex formats: which fields a vertex has, in this order.
constexpr uint32_t kFvfXyz = 0x002;
constexpr uint32_t kFvfXyzRhw = 0x004;
constexpr uint32_t kFvfNormal = 0x010;
constexpr uint32_t kFvfDiffuse = 0x040;
constexpr uint32_t kFvfSpecular = 0x080;
constexpr uint32_t kFvfTexCountShift = 8;
constexpr uint32_t kFvfTex1 = 0x100;
constexpr uint32_t kFvfTex2 = 0x200;
constexpr uint32_t kFvfVertex = kFvfXyz | kFvfNormal | kFvfTex1;                      // lit by the device
constexpr uint32_t kFvfLVertex = kFvfXyz | kFvfDiffuse | kFvfSpecular | kFvfTex1;     // lit by the caller
constexpr uint32_t kFvfTLVertex = kFvfXyzRhw | kFvfDiffuse | kFvfSpecular | kFvfTex1; // on the screen
uint32_t VertexSize(uint32_t fvf);

enum class Primitive : uint32_t { PointList = 1, LineList, LineStrip, TriangleList, TriangleStrip, TriangleFan };

// Clear flags.
constexpr uint32_t kClearTarget = 0x1;
constexpr uint32_t kClearZBuffer = 0x2;
constexpr uint32_t kClearStencil = 0x4;

struct Rect {
    int left = 0, top = 0, right = 0, bottom = 0;
};

// Row-vector matrices (v' = v x M), stored row by row.
struct Matrix {
    std::array<float, 16> m{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    float& operator()(int r, int c) { return m[size_t(r * 4 + c)]; }
    float operator()(int r, int c) const { return m[size_t(r * 4 + c)]; }
    bool operator==(const Matrix&) const = default;
};
Matrix operator*(const Matrix& a, const Matrix& b);

struct Viewport {
    int x = 0, y = 0, width = 640, height = 480;
    float minZ = 0.0f, maxZ = 1.0f;
    bool operator==(const Viewport&) const = default;
};

struct ColourF {
    float r = 0, g = 0, b = 0, a = 0;
    bool operator==(const ColourF&) const = default;
};
struct Vector3 {
    float x = 0, y = 0, z = 0;
    bool operator==(const Vector3&) const = default;
};

struct Material {
    ColourF diffuse, ambient, specular, emissive;
    float power = 0;
    bool operator==(const Material&) const = default;
};

enum class LightType : uint32_t { Point = 1, Spot, Directional };
struct Light {
    LightType type = LightType::Point;
    ColourF diffuse, specular, ambient;
    Vector3 position, direction;
    float range = 0, falloff = 0, attenuation0 = 0, attenuation1 = 0, attenuation2 = 0;
    float theta = 0, phi = 0;  // inner and outer cone angles, radians
    bool operator==(const Light&) const = default;
};

// Clip status: the union and intersection of the clip codes of processed
// vertices, and the 2-D and depth extents they cover.
constexpr uint32_t kClipLeft = 0x1, kClipRight = 0x2, kClipTop = 0x4, kClipBottom = 0x8;
constexpr uint32_t kClipFront = 0x10, kClipBack = 0x20;
constexpr uint32_t kClipIntersectionShift = 12;  // intersection bits of the status word
constexpr uint32_t kClipStatusStatus = 0x1, kClipStatusExtents2 = 0x2, kClipStatusExtents3 = 0x4;
struct ClipStatus {
    uint32_t flags = 0;
    uint32_t status = 0;
    float minX = 0, maxX = 0, minY = 0, maxY = 0, minZ = 0, maxZ = 0;
};

// The device's description, as the device list reports it.
struct DeviceDesc {
    std::string name, description;
    bool hardwareTnl = false;
    uint32_t minTextureWidth = 1, minTextureHeight = 1;
    uint32_t maxTextureWidth = 2048, maxTextureHeight = 2048;
    uint32_t maxSimultaneousTextures = 8;
    uint32_t maxActiveLights = 8;
    uint32_t maxAnisotropy = 1;
    uint32_t maxUserClipPlanes = 0;
    uint32_t renderBitDepths = 0;   // 1024 for 16 bits, 256 for 32
    uint32_t zBufferBitDepths = 0;
    bool separateTextureMemories = false;
};

// Names of the devices in the list.
inline constexpr const char* kTnlDeviceName = "Direct3D T&L HAL";
inline constexpr const char* kHalDeviceName = "Direct3D HAL";
inline constexpr const char* kReferenceDeviceName = "Reference Rasterizer";
std::vector<DeviceDesc> Enumerate3DDevices();
std::vector<FormatDesc> EnumerateTextureFormats();

// Vertex-buffer flags.
constexpr uint32_t kVbSystemMemory = 0x800;
constexpr uint32_t kVbWriteOnly = 0x10000;
constexpr uint32_t kVbDoNotClip = 0x1;
// ProcessVertices operations.
constexpr uint32_t kProcessTransform = 0x1;
constexpr uint32_t kProcessLighting = 0x4;
constexpr uint32_t kProcessClip = 0x4000;
constexpr uint32_t kProcessNoCopyData = 0x800;

class VertexBuffer {
public:
    VertexBuffer(uint32_t fvf, uint32_t count, uint32_t flags);
    uint32_t Fvf() const { return fvf_; }
    uint32_t Count() const { return count_; }
    uint32_t Flags() const { return flags_; }
    uint8_t* Lock();
    void Unlock();
    const uint8_t* Data() const { return data_.data(); }

private:
    uint32_t fvf_, count_, flags_;
    std::vector<uint8_t> data_;
    bool locked_ = false;
};

class Device;
// Creates the device of that name on the screen's back buffer and z-buffer.
std::unique_ptr<Device> CreateDevice(const std::string& name);

class Device {
public:
    virtual ~Device() = default;
    virtual const DeviceDesc& Desc() const = 0;

    virtual bool BeginScene() = 0;
    virtual bool EndScene() = 0;
    virtual bool Clear(const std::vector<Rect>& rects, uint32_t flags, uint32_t argb, float z,
                       uint32_t stencil) = 0;

    virtual bool SetRenderState(RenderState state, uint32_t value) = 0;
    virtual uint32_t GetRenderState(RenderState state) const = 0;
    virtual bool SetTextureStageState(uint32_t stage, StageState state, uint32_t value) = 0;
    virtual uint32_t GetTextureStageState(uint32_t stage, StageState state) const = 0;
    virtual bool SetTexture(uint32_t stage, Texture* texture) = 0;
    virtual Texture* GetTexture(uint32_t stage) const = 0;
    // Draws and clears land in `target` (a texture made by
    // Texture::CreateRenderTarget) until it is set back to null, the back
    // buffer. Either way the viewport becomes the whole of the new target.
    // False, with nothing changed, for a texture that is no render target.
    virtual bool SetRenderTarget(Texture* target) = 0;
    virtual Texture* GetRenderTarget() const = 0;
    virtual bool SetTransform(TransformType type, const Matrix& matrix) = 0;
    virtual Matrix GetTransform(TransformType type) const = 0;
    virtual bool SetViewport(const Viewport& viewport) = 0;
    virtual Viewport GetViewport() const = 0;
    virtual bool SetMaterial(const Material& material) = 0;
    virtual bool SetLight(uint32_t index, const Light& light) = 0;
    // User clip plane (a, b, c, d) in world space: points with ax + by + cz + d >= 0
    // stay; RenderState::ClipPlaneEnable holds one bit per plane.
    virtual bool SetClipPlane(uint32_t index, const std::array<float, 4>& plane) = 0;
    virtual bool LightEnable(uint32_t index, bool enable) = 0;

    virtual bool DrawPrimitive(Primitive type, uint32_t fvf, const void* vertices, uint32_t count) = 0;
    virtual bool DrawIndexedPrimitive(Primitive type, uint32_t fvf, const void* vertices,
                                      uint32_t vertexCount, const uint16_t* indices,
                                      uint32_t indexCount) = 0;
    virtual bool DrawPrimitiveVB(Primitive type, VertexBuffer& buffer, uint32_t start,
                                 uint32_t count) = 0;
    virtual bool DrawIndexedPrimitiveVB(Primitive type, VertexBuffer& buffer, const uint16_t* indices,
                                        uint32_t indexCount) = 0;
    // Transforms `count` positions of `source` from `sourceIndex` into the
    // screen vertices of `dest` from `destIndex` with world, view, projection
    // and viewport, and merges their clip codes into the clip status.
    virtual bool ProcessVertices(uint32_t operations, VertexBuffer& dest, uint32_t destIndex,
                                 uint32_t count, const VertexBuffer& source, uint32_t sourceIndex) = 0;
    virtual bool SetClipStatus(const ClipStatus& status) = 0;
    virtual ClipStatus GetClipStatus() const = 0;

    // While recording, state calls are kept in the block and not applied.
    virtual bool BeginStateBlock() = 0;
    virtual bool EndStateBlock(uint32_t& handle) = 0;
    virtual bool ApplyStateBlock(uint32_t handle) = 0;
    virtual bool CaptureStateBlock(uint32_t handle) = 0;
    virtual bool DeleteStateBlock(uint32_t handle) = 0;

    virtual bool ValidateDevice(uint32_t& passes) = 0;
};

// ---- Textures --------------------------------------------------------------

// A texture with a CPU copy of each level, uploaded to GL at unlock (and
// expanded there when GL cannot take the format as it is).
class Texture {
public:
    static std::unique_ptr<Texture> Create(uint32_t width, uint32_t height, const FormatDesc& format,
                                           uint32_t levels);
    // A 32-bit A8R8G8B8 texture of one level that the device can draw into
    // (Device::SetRenderTarget), with a depth and stencil buffer of its own.
    // Its rows lie top first like the back buffer's; Lock reads back what
    // was drawn. Null without a context or for a zero or oversized side.
    static std::unique_ptr<Texture> CreateRenderTarget(uint32_t width, uint32_t height);
    // A texture holding a loaded surface and its mip levels, palette included.
    static std::unique_ptr<Texture> FromSurface(Surface& surface);
    // Copies a surface of the same size and format into this texture.
    bool CopyFrom(Surface& surface);
    ~Texture();
    Texture(const Texture&) = delete;
    Texture& operator=(const Texture&) = delete;

    uint32_t Width() const { return width_; }
    uint32_t Height() const { return height_; }
    uint32_t Levels() const { return uint32_t(levels_.size()); }
    const FormatDesc& Format() const { return format_; }
    uint64_t Bytes() const;

    // The CPU copy of a level; the upload happens at Unlock.
    uint8_t* Lock(uint32_t level, uint32_t& pitch);
    bool Unlock(uint32_t level);
    // 256 packed ARGB entries for palettised formats.
    void SetPalette(const std::vector<uint32_t>& argb);
    bool ColourFill(uint32_t argb);

    bool IsLost() const { return lost_; }
    bool Restore();  // storage back, contents undefined until written again
    void MarkLost();

    uint32_t GlName() const { return name_.Get(); }
    bool IsRenderTarget() const { return target_.frame != 0; }
    uint32_t GlFramebuffer() const { return target_.frame; }

private:
    Texture() = default;
    void Upload(uint32_t level);
    uint32_t width_ = 0, height_ = 0;
    FormatDesc format_;
    std::vector<std::vector<uint8_t>> levels_;
    std::vector<uint32_t> palette_;
    // A GL texture name, freed with the context that made it while that
    // context still lives (a lost context took its names with it).
    class Name {
    public:
        Name() = default;
        Name(uint32_t name, void* context) : name_(name), context_(context) {}
        Name(Name&& other) noexcept;
        Name& operator=(Name&& other) noexcept;
        ~Name() { Reset(); }
        uint32_t Get() const { return name_; }
        // Whether the name's context is the live one, so GL calls reach it.
        bool Live() const;
        void Reset();

    private:
        uint32_t name_ = 0;
        void* context_ = nullptr;
    };
    Name name_;
    bool lost_ = false;
    // A render target's frame buffer and depth-stencil buffer, freed with
    // the context that made them while it lives.
    struct TargetNames {
        uint32_t frame = 0, depthStencil = 0;
        void* context = nullptr;
    } target_;
};

} // namespace gfx
