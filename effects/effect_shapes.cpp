#include "effects/effect_shapes.h"

#include <algorithm>
#include <array>
#include <vector>

#include "Veapi/VertBuff.h"
#include "Veapi/bounding_box.h"
#include "Veapi/camera.h"
#include "Veapi/light_set.h"
#include "Veapi/texture_manager.h"
#include "Veapi/ve3d.h"
#include "Veapi/ve_object.h"
#include "Veapi/ve_shape.h"
#include "world/level.h"

namespace {

struct UV {
    float u, v;
};

struct ShapeSpec {
    int32_t kind, p1, p2;
    const char* texture;  // null: the engine's default texture
    std::vector<UV> uvs;  // written in vertex order; empty: as built
};

const std::array<ShapeSpec, EffectShapes::Count>& Specs()
{
    static const std::array<ShapeSpec, EffectShapes::Count> specs{{
        {2, 1024, 1024, EffectShapes::kParticleTexture,
         {{0.6513672f, 0.1005859f}, {0.8955078f, 0.1005859f}, {0.8955078f, 0.3447266f}, {0.6513672f, 0.3447266f}}},
        {2, 1024, 1024, EffectShapes::kAlphaJunkTexture,
         {{0.5102539f, 0.5278320f}, {0.7231445f, 0.5278320f}, {0.7231445f, 0.7416992f}, {0.5102539f, 0.7416992f}}},
        {0, 1024, 1024, EffectShapes::kAlphaJunkTexture, {{0, 0}, {-0.5f, 0}, {0, 1.0f}}},
        {3, 1, 1, EffectShapes::kParticleTexture,
         {{0.0908203f, 0.0068359f}, {0.1337891f, 0.0068359f}, {0.1337891f, 0.5068359f}, {0.0908203f, 0.5068359f},
          {0.0908203f, 0.0068359f}, {0.0908203f, 0.5068359f}, {0.1337891f, 0.5068359f}, {0.1337891f, 0.0068359f}}},
        {11, 1, 6, nullptr, {}},
        {6, 1, 1, nullptr, {}},
    }};
    return specs;
}

std::array<VeShape*, EffectShapes::Count> g_shapes{};
RenderMaterial* g_overlay = nullptr;
RenderMaterial* g_sphereMap = nullptr;
TextureEntry* g_reflect = nullptr; // one use, for both sphere-map materials
RenderMaterial* g_levelSphereMap = nullptr;
VeObject* g_scanner = nullptr;
Camera* g_overlayCamera = nullptr;
TextureEntry* g_traceTexture = nullptr;
uint32_t g_overlayFrame = 0;

// Writes the rectangle into the vertices' last texture pair, in order over
// the sub-meshes; extra vertices keep what the primitive gave them.
void WriteTextureRectangle(VeShape& shape, const std::vector<UV>& uvs)
{
    size_t k = 0;
    for (SubMesh* mesh : shape.SubMeshes()) {
        const uint32_t stride = mesh->Stride() / sizeof(float);
        for (uint32_t i = 0; i < mesh->vertexCount && k < uvs.size(); ++i, ++k) {
            float* vertex = mesh->Vertex(i);
            vertex[stride - 2] = uvs[k].u;
            vertex[stride - 1] = uvs[k].v;
        }
        if (mesh->shared)
            mesh->CopyToBuffer(nullptr);
    }
}

VeShape* BuildShape(const ShapeSpec& spec)
{
    PrimitiveDesc desc;
    desc.kind = spec.kind;
    desc.p1 = spec.p1;
    desc.p2 = spec.p2;
    desc.texture = spec.texture ? TextureManager::Find(spec.texture) : Display::NullTexture();
    if (spec.texture)
        TextureManager::LoadPending();
    VeShape* shape = VeShape::FromPrimitive(desc);
    WriteTextureRectangle(*shape, spec.uvs);
    if (Display::Device())
        shape->OptimizeVertexBuffers();
    // The shape holds its own use now.
    if (spec.texture && desc.texture)
        TextureManager::Unuse(desc.texture);
    return shape;
}

void ReleaseMaterial(RenderMaterial*& material)
{
    if (RenderMaterial* m = material) {
        material = nullptr;
        m->Release();
    }
}

RenderMaterial* CopyOf(int defaultIndex)
{
    RenderMaterial* source = DefaultMaterial::Get(defaultIndex);
    if (!source)
        return nullptr;
    auto* copy = new RenderMaterial;
    copy->Assign(*source);
    return copy;
}

RenderMaterial* MakeSphereMapMaterial(TextureEntry* reflect)
{
    RenderMaterial* m = CopyOf(DefaultMaterial::BlendedNoZWrite);
    if (!m)
        return nullptr;
    m->stageCount_ = 2;
    RenderMaterial::Stage& s = m->stages_[1];
    s.texture = reflect;
    s.colourOp = gfx::texop::Add;
    s.colourArg1 = gfx::texarg::Texture;
    s.colourArg2 = gfx::texarg::Current;
    s.alphaOp = gfx::texop::SelectArg2;
    s.alphaArg1 = gfx::texarg::Texture;
    s.alphaArg2 = gfx::texarg::Current;
    s.texCoordIndex = 1;
    if (Display::Device())
        m->Compile();
    return m;
}

} // namespace

namespace EffectShapes {

void Build()
{
    for (int i = 0; i < Count; ++i) {
        if (!g_shapes[size_t(i)])
            g_shapes[size_t(i)] = BuildShape(Specs()[size_t(i)]);
    }
    if (!g_overlay) {
        // Multiplies the frame buffer: ZERO x source + SRCCOLOR x destination.
        g_overlay = CopyOf(DefaultMaterial::Count - 1);
        if (g_overlay) {
            g_overlay->srcBlend_ = gfx::blend::Zero;
            g_overlay->destBlend_ = gfx::blend::SrcColor;
            g_overlay->alphaBlend_ = 1;
            g_overlay->zWrite_ = 0;
            g_overlay->zEnable_ = 0;
            if (Display::Device())
                g_overlay->Compile();
        }
    }
    if (!g_traceTexture) {
        g_traceTexture = TextureManager::Find(EffectShapes::kParticleTexture);
        TextureManager::LoadPending();
    }
    if (!g_overlayCamera) {
        // The unit square fills the screen, y down, and the depth planes
        // stand either side of z = 0: the fade quad and the scanner lie
        // there, and a near plane at 1 would cut them away.
        g_overlayCamera = new Camera;
        g_overlayCamera->SetPerspective(false);
        g_overlayCamera->SetViewSize(1.0f, 1.0f);
        g_overlayCamera->SetPosition({0.5f, 0.5f, 0.0f});
        g_overlayCamera->SetNearFar(-1.0f, 1.0f);
    }
}

void Release()
{
    for (VeShape*& shape : g_shapes) {
        if (VeShape* s = shape) {
            shape = nullptr;
            s->Release();
        }
    }
    // A reflection asked for but not drawn would name the released material.
    if (Level* level = Level::Current())
        level->RequestReflection(nullptr, nullptr, nullptr);
    ReleaseMaterial(g_sphereMap);
    ReleaseMaterial(g_levelSphereMap);
    if (g_reflect)
        TextureManager::Unuse(g_reflect);
    g_reflect = nullptr;
    ReleaseMaterial(g_overlay);
    if (g_traceTexture)
        TextureManager::Unuse(g_traceTexture);
    g_traceTexture = nullptr;
    Hud::ReleaseScanner();
    delete g_overlayCamera;
    g_overlayCamera = nullptr;
}

VeShape* Get(Which which) { return which >= 0 && which < Count ? g_shapes[size_t(which)] : nullptr; }

VeObject* NewInstance(Which which, bool withBox)
{
    VeShape* shape = Get(which);
    return shape ? VeObject::FromShape(shape, withBox) : nullptr;
}

TextureEntry* TraceTexture() { return g_traceTexture; }
RenderMaterial* OverlayMaterial() { return g_overlay; }
RenderMaterial* SphereMapMaterial() { return g_sphereMap; }
RenderMaterial* LevelSphereMapMaterial() { return g_levelSphereMap; }
Camera* OverlayCamera() { return g_overlayCamera; }

} // namespace EffectShapes

void SphereMap::LoadTexture()
{
    if (g_sphereMap || !DefaultMaterial::Get(DefaultMaterial::BlendedNoZWrite))
        return;
    TextureEntry* reflect = TextureManager::Find(EffectShapes::kReflectTexture);
    TextureManager::LoadPending();
    // The materials name the texture; the use Find gave is theirs, dropped
    // with them.
    g_reflect = reflect;
    g_sphereMap = MakeSphereMapMaterial(reflect);
    g_levelSphereMap = MakeSphereMapMaterial(reflect);
}

namespace Hud {

void CreateScanner()
{
    if (g_scanner)
        return;
    TextureEntry* texture = TextureManager::Find(EffectShapes::kScannerTexture);
    TextureManager::LoadPending();
    if (!texture->Surface() && !texture->HasImage()) {
        TextureManager::Unuse(texture);
        return;
    }
    PrimitiveDesc desc;
    desc.kind = 1;
    desc.p1 = Display::Width() << 7;
    desc.p2 = Display::Height() << 8;
    desc.texture = texture;
    VeShape* shape = VeShape::FromPrimitive(desc);
    TextureManager::Unuse(texture);
    g_scanner = VeObject::FromShape(shape, false);
    shape->Release();
    g_scanner->placement_.SetPosition({0, 0, 0});
    g_scanner->placement_.SetScale({1, 2, 1});
}

void ReleaseScanner()
{
    if (VeObject* s = g_scanner) {
        g_scanner = nullptr;
        s->Release();
    }
}

VeObject* Scanner() { return g_scanner; }

} // namespace Hud

namespace Effects {

void DrawOverlays()
{
    if (!g_scanner)
        return;
    ++g_overlayFrame;
    const float shake = (g_overlayFrame & 1) ? 0.0f : 2.0f / float(std::max(Display::Height(), 1));
    g_scanner->placement_.SetPosition({0, shake, 0});
    Camera* camera = EffectShapes::OverlayCamera();
    if (camera && Camera::Current() != camera)
        camera->SetCurrent();
    if (gfx::Device* dev = Display::Device(); dev && g_overlay) {
        RenderMaterial::Apply(g_overlay);
        struct ScreenVertex {
            float x, y, z, rhw;
            uint32_t diffuse, specular;
            float u, v;
        };
        const float w = float(Display::Width()), h = float(Display::Height());
        const ScreenVertex quad[4] = {{0, 0, 0, 1, 0x7F00FF00u, 0, 0, 0},
                                      {w, 0, 0, 1, 0x7F00FF00u, 0, 0, 0},
                                      {0, h, 0, 1, 0x7F00FF00u, 0, 0, 0},
                                      {w, h, 0, 1, 0x7F00FF00u, 0, 0, 0}};
        dev->DrawPrimitive(gfx::Primitive::TriangleStrip, gfx::kFvfTLVertex, quad, 4);
    }
    g_scanner->QueueDraw(0, camera, LightSet::Global(1), DefaultMaterial::Get(DefaultMaterial::Blended), 0,
                         0x4000000, nullptr, nullptr, nullptr);
}

} // namespace Effects
