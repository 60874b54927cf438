// Render materials (render and texture-stage states recorded once into a
// device state block, so switching surfaces is one apply), the ten default
// materials, the per-frame dynamic vertex buffers of pre-transformed vertices
// and the processing buffers that transform boxes and shapes for culling and
// picking. The display calls in here through its hooks (InstallSceneHooks).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "app/ref_counted.h"
#include "platform/gfx.h"

class TextureEntry;

class RenderMaterial : public RefCounted {
public:
    static constexpr int kMaxStages = 8;
    struct Stage {
        TextureEntry* texture = nullptr;  // none: the default texture
        uint32_t colourOp = gfx::texop::Disable;
        uint32_t colourArg1 = gfx::texarg::Texture, colourArg2 = gfx::texarg::Diffuse;
        uint32_t alphaOp = gfx::texop::Disable;
        uint32_t alphaArg1 = gfx::texarg::Texture, alphaArg2 = gfx::texarg::Diffuse;
        uint32_t minFilter = gfx::filter::MinPoint, magFilter = gfx::filter::MagPoint;
        uint32_t mipFilter = gfx::filter::MipPoint;
        uint32_t spare = 0;  // texture-transform flags of the stage; 0 for none
        uint32_t texCoordIndex = 0;
    };

    RenderMaterial();
    // A copy of another material (see Assign).
    explicit RenderMaterial(const RenderMaterial& from);
    ~RenderMaterial() override;

    // Every field of `source`, its alternate and next-pass links included
    // (each a reference of its own); not compiled until Compile.
    void Assign(const RenderMaterial& source);
    bool Compile();
    static void Apply(RenderMaterial* material);
    static RenderMaterial* Current();
    static void ForgetCurrent();
    static bool CompileAll();
    static void DeleteStateBlocks();

    void SetAlternate(RenderMaterial* material);
    void SetNextPass(RenderMaterial* material);
    RenderMaterial* Alternate() const { return alternate_; }
    RenderMaterial* NextPass() const { return nextPass_; }
    uint32_t StateBlock() const { return stateBlock_; }

    int32_t stageCount_ = 1;
    uint32_t zWrite_ = 1, zEnable_ = 1;
    uint32_t alphaBlend_ = 0, alphaTest_ = 0;
    uint32_t srcBlend_ = gfx::blend::SrcAlpha, destBlend_ = gfx::blend::InvSrcAlpha;
    uint32_t clipping_ = 1, lighting_ = 1;
    uint32_t sorted_ = 0;
    Stage stages_[kMaxStages];

private:
    uint32_t stateBlock_ = 0;
    RenderMaterial* alternate_ = nullptr;
    RenderMaterial* nextPass_ = nullptr;
};

// A draw override that shows a request see-through: its alpha and the
// current light set's material alpha change places while the request is
// drawn (Apply), and change back afterwards (Restore).
class MaterialAlphaOverride : public RefCountedResource {
public:
    explicit MaterialAlphaOverride(float alpha);
    virtual void Apply();
    virtual void Restore();
    float Alpha() const { return alpha_; }

protected:
    ~MaterialAlphaOverride() override = default;

private:
    void Exchange();
    float alpha_;
};

// Material switches for the profiler: applications, and their time in
// processor-clock units (cycles shifted right by 10).
struct MaterialProfile {
    int64_t applies = 0, time = 0;
};
MaterialProfile& MaterialProfiling();

// The default materials by number.
namespace DefaultMaterial {
enum : int {
    Opaque = 0, OpaquePoint = 1, Blended = 2, BlendedNoZWrite = 3, BlendedPoint = 4, BlendedPointNoZWrite = 5,
    Additive = 6, AdditivePoint = 7, VertexColour = 8, VertexColourBlended = 9, Count = 10
};
// Text is drawn with modulated glyph alpha, blended, without z-writes.
constexpr int kText = BlendedNoZWrite;
// Untextured 2-D lines carry their colour in the vertices and ignore lights.
constexpr int kLines = VertexColour;
RenderMaterial* Get(int index);
void CreateAll();
void DestroyAll();
} // namespace DefaultMaterial

// The per-frame buffer of screen vertices for text, particles and 2-D drawing.
class DynamicVertexBuffer {
public:
    static constexpr uint32_t kVertices = 2048;
    static constexpr uint32_t kIndices = 3072;
    static constexpr uint32_t kFormat = gfx::kFvfTLVertex;  // 0x1C4

    DynamicVertexBuffer();
    ~DynamicVertexBuffer();
    bool Create();
    void Release();
    uint8_t* Lock();
    void Unlock();
    bool Draw(gfx::Primitive type, bool indexed);

    void SetMaterial(RenderMaterial* material) { material_ = material; }
    uint16_t* Indices() { return indices_.data(); }
    uint32_t vertexCount_ = 0, indexCount_ = 0;
    bool Valid() const { return buffer_ != nullptr; }

private:
    std::unique_ptr<gfx::VertexBuffer> buffer_;
    std::vector<uint16_t> indices_;
    uint8_t* locked_ = nullptr;
    RenderMaterial* material_ = nullptr;
};

// A vertex buffer whose contents its owner computes: the buffer goes with the
// device's objects on a loss and comes back refilled by the owner's routine,
// so what it holds follows the display (its size, say) at the restore.
class RestorableVertexBuffer : public RefCountedResource {
public:
    using Fill = std::function<void(uint8_t* vertices, uint32_t count)>;

    RestorableVertexBuffer(uint32_t format, uint32_t count, Fill fill);
    // Makes the buffer when it is missing and runs the fill routine.
    void Refill();
    void ReleaseBuffer();
    gfx::VertexBuffer* Buffer() const { return buffer_.get(); }

    static void ReleaseAll();
    static void RestoreAll();

protected:
    ~RestorableVertexBuffer() override;

private:
    std::unique_ptr<gfx::VertexBuffer> buffer_;
    uint32_t format_, count_;
    Fill fill_;
};

// The processing buffers the device code makes with the device.
namespace ProcessingBuffers {
gfx::VertexBuffer* ClipTest();     // 8 screen vertices
gfx::VertexBuffer* Transform(int which);  // 0 or 1: 4096 screen vertices
gfx::VertexBuffer* Positions();    // 4096 untransformed positions
void Create();
void Destroy();
} // namespace ProcessingBuffers

namespace VertexBuffers {
void ReleaseAll();
void RestoreAll();
} // namespace VertexBuffers

// Points the display's hooks at the cameras, materials, buffers and probes.
void InstallSceneHooks();

// Source path named in the materials' validation lines.
inline constexpr const char* kMaterialSourcePath = "Veapi\\VertBuff.cpp";
inline constexpr int kMaterialValidationLine = 633;
inline constexpr int kMaterialValidationLineAfterBlock = 665;
