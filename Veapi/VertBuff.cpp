#include "Veapi/VertBuff.h"

#include <algorithm>

#include "Veapi/bounding_box.h"
#include "Veapi/camera.h"
#include "Veapi/hit_probe.h"
#include "Veapi/light_set.h"
#include "Veapi/texture_manager.h"
#include "Veapi/ve3d.h"
#include "app/log_file.h"
#include "platform/cpu.h"

namespace {

std::vector<RenderMaterial*>& Materials()
{
    static auto* list = new std::vector<RenderMaterial*>;  // outlives the exit handlers
    return *list;
}

std::vector<DynamicVertexBuffer*>& DynamicBuffers()
{
    static auto* list = new std::vector<DynamicVertexBuffer*>;  // outlives the exit handlers
    return *list;
}

std::vector<RestorableVertexBuffer*>& RestorableBuffers()
{
    static auto* list = new std::vector<RestorableVertexBuffer*>;  // outlives the exit handlers
    return *list;
}

RenderMaterial* g_currentMaterial = nullptr;
MaterialProfile g_materialProfile;

struct TimedApply {
    TimedApply() { g_materialProfile.time -= int64_t(platform::ReadCycleCounter() >> 10); }
    ~TimedApply() { g_materialProfile.time += int64_t(platform::ReadCycleCounter() >> 10); }
};
RenderMaterial* g_defaults[DefaultMaterial::Count] = {};

struct Processing {
    std::unique_ptr<gfx::VertexBuffer> clipTest, transform[2], positions;
} g_processing;

gfx::Texture* SurfaceOf(TextureEntry* entry)
{
    if (!entry)
        entry = Display::NullTexture();
    return entry ? entry->Surface() : nullptr;
}

} // namespace

RenderMaterial::RenderMaterial()
{
    Materials().push_back(this);
}

RenderMaterial::RenderMaterial(const RenderMaterial& from) : RefCounted()
{
    Materials().push_back(this);
    Assign(from);
}

void RenderMaterial::Assign(const RenderMaterial& source)
{
    if (&source == this)
        return;
    stageCount_ = source.stageCount_;
    zWrite_ = source.zWrite_;
    zEnable_ = source.zEnable_;
    alphaBlend_ = source.alphaBlend_;
    alphaTest_ = source.alphaTest_;
    srcBlend_ = source.srcBlend_;
    destBlend_ = source.destBlend_;
    clipping_ = source.clipping_;
    lighting_ = source.lighting_;
    sorted_ = source.sorted_;
    std::copy(std::begin(source.stages_), std::end(source.stages_), std::begin(stages_));
    SetAlternate(source.alternate_);
    SetNextPass(source.nextPass_);
    // The copy must be compiled before use; an old block would only leak.
    if (stateBlock_)
        if (gfx::Device* dev = Display::Device())
            dev->DeleteStateBlock(stateBlock_);
    stateBlock_ = 0;
}

RenderMaterial::~RenderMaterial()
{
    auto& list = Materials();
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
    if (stateBlock_)
        if (gfx::Device* dev = Display::Device())
            dev->DeleteStateBlock(stateBlock_);
    if (g_currentMaterial == this)
        g_currentMaterial = nullptr;
    if (alternate_)
        alternate_->Release();
    if (nextPass_)
        nextPass_->Release();
}

void RenderMaterial::SetAlternate(RenderMaterial* material)
{
    if (material)
        material->AddRef();
    if (alternate_)
        alternate_->Release();
    alternate_ = material;
}

void RenderMaterial::SetNextPass(RenderMaterial* material)
{
    if (material)
        material->AddRef();
    if (nextPass_)
        nextPass_->Release();
    nextPass_ = material;
}

bool RenderMaterial::Compile()
{
    gfx::Device* dev = Display::Device();
    if (!dev)
        return false;
    if (g_defaults[0] && g_defaults[0]->stateBlock_ && g_defaults[0] != this) {
        g_currentMaterial = nullptr;
        Apply(g_defaults[0]);
    } else {
        // No known state to start from: at least no stage may still name a
        // texture surface that a restore has replaced, or validation fails.
        for (uint32_t s = 0; s < kMaxStages; ++s) {
            dev->SetTexture(s, nullptr);
            Display::SetStageTexture(nullptr, s);
        }
    }
    if (stateBlock_) {
        dev->DeleteStateBlock(stateBlock_);
        stateBlock_ = 0;
    }
    const bool anisotropic = Display::Options().allowAnisotropic;
    using RS = gfx::RenderState;
    using SS = gfx::StageState;
    bool ok = dev->BeginStateBlock();
    ok = dev->SetRenderState(RS::ZWriteEnable, zWrite_) && ok;
    ok = dev->SetRenderState(RS::ZEnable, zEnable_) && ok;
    ok = dev->SetRenderState(RS::ZFunc, gfx::cmp::LessEqual) && ok;
    ok = dev->SetRenderState(RS::AlphaTestEnable, alphaTest_) && ok;
    ok = dev->SetRenderState(RS::AlphaBlendEnable, alphaBlend_) && ok;
    ok = dev->SetRenderState(RS::Clipping, clipping_) && ok;
    ok = dev->SetRenderState(RS::Lighting, lighting_) && ok;
    ok = dev->SetRenderState(RS::SrcBlend, srcBlend_) && ok;
    ok = dev->SetRenderState(RS::DestBlend, destBlend_) && ok;
    const int stages = std::clamp(stageCount_, 1, kMaxStages);
    for (int i = stages - 1; i >= 0; --i) {
        Stage& s = stages_[i];
        const uint32_t n = uint32_t(i);
        ok = dev->SetTexture(n, SurfaceOf(s.texture)) && ok;
        ok = dev->SetTextureStageState(n, SS::TexCoordIndex, n) && ok;
        ok = dev->SetTextureStageState(n, SS::ColorOp, s.colourOp) && ok;
        ok = dev->SetTextureStageState(n, SS::ColorOp, s.colourOp) && ok;
        ok = dev->SetTextureStageState(n, SS::ColorArg1, s.colourArg1) && ok;
        ok = dev->SetTextureStageState(n, SS::ColorArg2, s.colourArg2) && ok;
        ok = dev->SetTextureStageState(n, SS::AlphaOp, s.alphaOp) && ok;
        ok = dev->SetTextureStageState(n, SS::AlphaArg1, s.alphaArg1) && ok;
        ok = dev->SetTextureStageState(n, SS::AlphaArg2, s.alphaArg2) && ok;
        if (!anisotropic) {
            s.minFilter = std::min<uint32_t>(s.minFilter, gfx::filter::MinLinear);
            s.magFilter = std::min<uint32_t>(s.magFilter, gfx::filter::MagLinear);
        }
        ok = dev->SetTextureStageState(n, SS::MinFilter, s.minFilter) && ok;
        ok = dev->SetTextureStageState(n, SS::MagFilter, s.magFilter) && ok;
        ok = dev->SetTextureStageState(n, SS::MipFilter, s.mipFilter) && ok;
        ok = dev->SetTextureStageState(n, SS::TexCoordIndex, s.texCoordIndex) && ok;
    }
    if (stages == 1) {
        ok = dev->SetTextureStageState(1, SS::ColorOp, gfx::texop::Disable) && ok;
        ok = dev->SetTextureStageState(1, SS::AlphaOp, gfx::texop::Disable) && ok;
    }
    uint32_t passes = 0;
    if (!dev->ValidateDevice(passes)) {
        LogFile::Write("Error: Validate Device failed on line %i in file %s.", kMaterialValidationLine,
                       kMaterialSourcePath);
        ok = false;
    }
    uint32_t handle = 0;
    if (!dev->EndStateBlock(handle)) {
        stateBlock_ = 0;
        return false;
    }
    stateBlock_ = handle;
    if (!dev->ValidateDevice(passes)) {
        LogFile::Write("Error: Validate Device failed on line %i in file %s.", kMaterialValidationLineAfterBlock,
                       kMaterialSourcePath);
        ok = false;
        if (Display::Options().allowAnisotropic) {
            // The device cannot take anisotropic filtering: off for good, then again.
            Display::Options().allowAnisotropic = false;
            return Compile();
        }
    }
    if (nextPass_)
        ok = nextPass_->Compile() && ok;
    return ok;
}

RenderMaterial* RenderMaterial::Current()
{
    return g_currentMaterial;
}

void RenderMaterial::ForgetCurrent()
{
    g_currentMaterial = nullptr;
}

void RenderMaterial::Apply(RenderMaterial* material)
{
    gfx::Device* dev = Display::Device();
    if (!material || !dev)
        return;
    ++g_materialProfile.applies;
    TimedApply timed;
    const int stages = std::clamp(material->stageCount_, 1, kMaxStages);
    if (material == g_currentMaterial) {
        for (int i = 0; i < stages; ++i)
            Display::SetStageTexture(material->stages_[i].texture ? material->stages_[i].texture
                                                                  : Display::NullTexture(),
                                     uint32_t(i));
        return;
    }
    g_currentMaterial = material;
    dev->ApplyStateBlock(material->stateBlock_);
    // The block wrote z-write, z function and textures behind the display's
    // caches: bring them in line, and give the current camera back its own
    // depth function (a camera on a swapped depth range draws with the
    // opposite compare, which the block's fixed one would undo).
    Display::SetZWrite(material->zWrite_ != 0);
    Display::SetZFunc(gfx::cmp::LessEqual);
    if (Camera* cam = Camera::Current())
        Display::SetZFunc(cam->CurrentZFunc());
    for (int i = 0; i < stages; ++i) {
        TextureEntry* t = material->stages_[i].texture ? material->stages_[i].texture : Display::NullTexture();
        dev->SetTexture(uint32_t(i), SurfaceOf(t));
        Display::SetStageTexture(t, uint32_t(i));
    }
}

MaterialProfile& MaterialProfiling()
{
    return g_materialProfile;
}

bool RenderMaterial::CompileAll()
{
    bool ok = true;
    // Default material 0 first: the others start recording from it.
    if (g_defaults[0])
        ok = g_defaults[0]->Compile();
    const std::vector<RenderMaterial*> copy = Materials();
    for (RenderMaterial* m : copy)
        if (m != g_defaults[0])
            ok = m->Compile() && ok;
    return ok;
}

void RenderMaterial::DeleteStateBlocks()
{
    gfx::Device* dev = Display::Device();
    for (RenderMaterial* m : Materials()) {
        if (m->stateBlock_ && dev)
            dev->DeleteStateBlock(m->stateBlock_);
        m->stateBlock_ = 0;
    }
    g_currentMaterial = nullptr;
}

// ---- Default materials ----------------------------------------------------------

namespace DefaultMaterial {

RenderMaterial* Get(int index)
{
    return index >= 0 && index < Count ? g_defaults[index] : nullptr;
}

void CreateAll()
{
    DestroyAll();
    const DeviceCaps& caps = Display::Caps();
    const DisplayOptions& options = Display::Options();
    auto point = [](RenderMaterial* m, uint32_t mip) {
        m->stages_[0].minFilter = gfx::filter::MinPoint;
        m->stages_[0].magFilter = gfx::filter::MagPoint;
        m->stages_[0].mipFilter = mip;
    };
    auto vertexColour = [](RenderMaterial* m) {
        m->stages_[0].colourOp = gfx::texop::SelectArg2;
        m->stages_[0].alphaOp = gfx::texop::SelectArg2;
    };

    RenderMaterial* m0 = new RenderMaterial;
    RenderMaterial::Stage& s = m0->stages_[0];
    s.texture = Display::NullTexture();
    s.colourOp = s.alphaOp = gfx::texop::Modulate;
    s.colourArg1 = s.alphaArg1 = gfx::texarg::Texture;
    s.colourArg2 = s.alphaArg2 = gfx::texarg::Diffuse;
    // The filters the default states found the device to take.
    s.minFilter = caps.minFilter <= gfx::filter::MinAnisotropic ? caps.minFilter : gfx::filter::MinLinear;
    s.magFilter = caps.magFilter <= gfx::filter::MagAnisotropic ? caps.magFilter : gfx::filter::MagLinear;
    s.mipFilter = options.useMipFilter && caps.mipFilter <= gfx::filter::MipLinear ? caps.mipFilter
                                                                                  : gfx::filter::MipPoint;
    g_defaults[0] = m0;
    m0->Compile();

    RenderMaterial* m2 = new RenderMaterial(*m0);
    m2->alphaBlend_ = 1;
    m2->alphaTest_ = 1;
    m2->sorted_ = 1;
    g_defaults[2] = m2;
    m2->Compile();

    RenderMaterial* m3 = new RenderMaterial(*m2);
    m3->zWrite_ = 0;
    m3->sorted_ = 0;
    g_defaults[3] = m3;
    m3->Compile();

    RenderMaterial* m1 = new RenderMaterial(*m0);
    point(m1, gfx::filter::MipPoint);
    g_defaults[1] = m1;
    m1->Compile();

    RenderMaterial* m4 = new RenderMaterial(*m2);
    point(m4, gfx::filter::MipNone);
    g_defaults[4] = m4;
    m4->Compile();

    RenderMaterial* m5 = new RenderMaterial(*m4);
    m5->zWrite_ = 0;
    m5->sorted_ = 0;
    g_defaults[5] = m5;
    m5->Compile();

    RenderMaterial* m6 = new RenderMaterial(*m2);
    m6->zWrite_ = 0;
    m6->destBlend_ = gfx::blend::One;
    m6->sorted_ = 0;
    g_defaults[6] = m6;
    m6->Compile();

    RenderMaterial* m7 = new RenderMaterial(*m6);
    point(m7, gfx::filter::MipNone);
    g_defaults[7] = m7;
    m7->Compile();

    RenderMaterial* m8 = new RenderMaterial(*m0);
    vertexColour(m8);
    m8->lighting_ = 0;
    m8->clipping_ = 0;
    g_defaults[8] = m8;
    m8->Compile();

    RenderMaterial* m9 = new RenderMaterial(*m2);
    m9->zWrite_ = 0;
    vertexColour(m9);
    g_defaults[9] = m9;
    m9->Compile();

    m0->SetAlternate(m2);
    m1->SetAlternate(m4);
    m8->SetAlternate(m9);
}

void DestroyAll()
{
    for (RenderMaterial*& m : g_defaults)
        if (m && m->Alternate())
            m->SetAlternate(nullptr);
    for (RenderMaterial*& m : g_defaults) {
        if (m)
            m->Release();
        m = nullptr;
    }
}

} // namespace DefaultMaterial

// ---- Dynamic vertex buffers ----------------------------------------------------------

DynamicVertexBuffer::DynamicVertexBuffer()
{
    DynamicBuffers().push_back(this);
}

DynamicVertexBuffer::~DynamicVertexBuffer()
{
    auto& list = DynamicBuffers();
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
}

bool DynamicVertexBuffer::Create()
{
    buffer_ = std::make_unique<gfx::VertexBuffer>(
        kFormat, kVertices, gfx::kVbWriteOnly | gfx::kVbDoNotClip | Display::Caps().vertexBufferFlags);
    indices_.assign(kIndices, 0);
    vertexCount_ = indexCount_ = 0;
    return true;
}

void DynamicVertexBuffer::Release()
{
    buffer_.reset();
    locked_ = nullptr;
}

uint8_t* DynamicVertexBuffer::Lock()
{
    if (!buffer_)
        return nullptr;
    locked_ = buffer_->Lock();
    return locked_;
}

void DynamicVertexBuffer::Unlock()
{
    if (buffer_ && locked_)
        buffer_->Unlock();
    locked_ = nullptr;
}

bool DynamicVertexBuffer::Draw(gfx::Primitive type, bool indexed)
{
    gfx::Device* dev = Display::Device();
    if (!dev || !buffer_)
        return false;
    RenderMaterial::Apply(material_);
    bool ok = true;
    if (vertexCount_ > 0) {
        if (indexed)
            ok = dev->DrawIndexedPrimitive(type, kFormat, buffer_->Data(), vertexCount_, indices_.data(),
                                           std::min<uint32_t>(indexCount_, kIndices));
        else
            ok = dev->DrawPrimitiveVB(type, *buffer_, 0, std::min<uint32_t>(vertexCount_, kVertices));
    }
    return ok;
}

// ---- Restorable vertex buffers --------------------------------------------------------

RestorableVertexBuffer::RestorableVertexBuffer(uint32_t format, uint32_t count, Fill fill)
    : format_(format), count_(count), fill_(std::move(fill))
{
    RestorableBuffers().push_back(this);
    Refill();
}

RestorableVertexBuffer::~RestorableVertexBuffer()
{
    auto& list = RestorableBuffers();
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
}

void RestorableVertexBuffer::Refill()
{
    if (!buffer_)
        buffer_ = std::make_unique<gfx::VertexBuffer>(format_, count_, gfx::kVbWriteOnly | gfx::kVbDoNotClip);
    if (!fill_)
        return;
    if (uint8_t* data = buffer_->Lock()) {
        fill_(data, count_);
        buffer_->Unlock();
    }
}

void RestorableVertexBuffer::ReleaseBuffer()
{
    buffer_.reset();
}

void RestorableVertexBuffer::ReleaseAll()
{
    for (RestorableVertexBuffer* b : RestorableBuffers())
        b->ReleaseBuffer();
}

void RestorableVertexBuffer::RestoreAll()
{
    for (RestorableVertexBuffer* b : RestorableBuffers())
        b->Refill();
}

// ---- Processing buffers -----------------------------------------------------------------

namespace ProcessingBuffers {
gfx::VertexBuffer* ClipTest() { return g_processing.clipTest.get(); }
gfx::VertexBuffer* Transform(int which) { return g_processing.transform[which & 1].get(); }
gfx::VertexBuffer* Positions() { return g_processing.positions.get(); }

void Create()
{
    g_processing.clipTest = std::make_unique<gfx::VertexBuffer>(gfx::kFvfXyzRhw, 8, gfx::kVbSystemMemory | gfx::kVbWriteOnly);
    for (auto& t : g_processing.transform)
        t = std::make_unique<gfx::VertexBuffer>(gfx::kFvfXyzRhw, 4096, gfx::kVbSystemMemory | gfx::kVbDoNotClip);
    g_processing.positions = std::make_unique<gfx::VertexBuffer>(
        gfx::kFvfXyz, 4096, gfx::kVbSystemMemory | gfx::kVbWriteOnly | gfx::kVbDoNotClip);
    for (DynamicVertexBuffer* b : DynamicBuffers())
        b->Create();
    RestorableVertexBuffer::RestoreAll();
}

void Destroy()
{
    g_processing = Processing{};
    for (DynamicVertexBuffer* b : DynamicBuffers())
        b->Release();
    RestorableVertexBuffer::ReleaseAll();
}
} // namespace ProcessingBuffers

namespace VertexBuffers {
void ReleaseAll()
{
    BoxBatch::ReleaseAll();
    SharedVertexBuffer::ReleaseAll();
    RestorableVertexBuffer::ReleaseAll();
    for (DynamicVertexBuffer* b : DynamicBuffers())
        b->Release();
}

void RestoreAll()
{
    BoxBatch::RestoreAll();
    SharedVertexBuffer::RestoreAll();
    RestorableVertexBuffer::RestoreAll();
    for (DynamicVertexBuffer* b : DynamicBuffers())
        b->Create();
}
} // namespace VertexBuffers

void InstallSceneHooks()
{
    DisplayHooks& h = Display::Hooks();
    h.screenChanged = [] {
        CameraList::ScreenChanged();
        HitProbe::UpdateAllScreenPositions();
    };
    h.makeCameraCurrent = [](Camera* camera) {
        if (camera)
            camera->SetCurrent();
    };
    h.createVertexBuffers = [] { ProcessingBuffers::Create(); };
    h.destroyVertexBuffers = [] { ProcessingBuffers::Destroy(); };
    h.releaseVertexBuffers = [] { VertexBuffers::ReleaseAll(); };
    h.restoreVertexBuffers = [] { VertexBuffers::RestoreAll(); };
    h.createDefaultMaterials = [] { DefaultMaterial::CreateAll(); };
    h.destroyDefaultMaterials = [] { DefaultMaterial::DestroyAll(); };
    h.deleteStateBlocks = [] { RenderMaterial::DeleteStateBlocks(); };
    h.compileMaterials = [] { RenderMaterial::CompileAll(); };
    h.forgetCurrentMaterial = [] { RenderMaterial::ForgetCurrent(); };
    h.resetLightSetMaterial = [] { LightSet::ForgetCurrent(); };
}

MaterialAlphaOverride::MaterialAlphaOverride(float alpha) : alpha_(alpha) {}

void MaterialAlphaOverride::Exchange()
{
    LightSet* set = LightSet::Current();
    if (!set)
        return;
    const float current = set->Material().diffuse.a;
    set->SetAlpha(alpha_);
    alpha_ = current;
}

void MaterialAlphaOverride::Apply() { Exchange(); }
void MaterialAlphaOverride::Restore() { Exchange(); }
