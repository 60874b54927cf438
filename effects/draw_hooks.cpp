#include "effects/draw_hooks.h"

#include "Veapi/bounding_box.h"
#include "Veapi/camera.h"
#include "Veapi/light_set.h"
#include "Veapi/texture_manager.h"
#include "Veapi/ve3d.h"
#include "Veapi/ve_object.h"
#include "Veapi/ve_shape.h"

void ShapeDrawHook::BeforeDraw(VeObject&) {}
void ShapeDrawHook::AfterDraw(VeObject&) {}

void ShapeDrawHook::BeforeDraw(DrawRequest& request, TextureEntry*)
{
    if (request.object_)
        BeforeDraw(*request.object_);
}

void ShapeDrawHook::AfterDraw(DrawRequest& request, TextureEntry*)
{
    if (request.object_)
        AfterDraw(*request.object_);
}

gfx::Matrix TextureScrollHook::Scroll(float u, float v)
{
    gfx::Matrix m;
    m(2, 0) = u;
    m(2, 1) = v;
    return m;
}

void TextureScrollHook::BeforeDraw(VeObject&)
{
    if (gfx::Device* dev = Display::Device()) {
        dev->SetTextureStageState(0, gfx::StageState::TextureTransformFlags, gfx::kTextureTransformCount2);
        dev->SetTransform(gfx::TransformType::Texture0, matrix_);
    }
}

void TextureScrollHook::AfterDraw(VeObject&)
{
    if (gfx::Device* dev = Display::Device())
        dev->SetTextureStageState(0, gfx::StageState::TextureTransformFlags, 0);
}

std::array<float, 4> ClipPlaneHook::Plane(float normalY, float height) { return {0, normalY, 0, -normalY * height}; }

void ClipPlaneHook::BeforeDraw(VeObject&)
{
    gfx::Device* dev = Display::Device();
    if (!dev)
        return;
    if (!twoPlanes_) {
        dev->SetClipPlane(0, Plane(1, h_));
        dev->SetRenderState(gfx::RenderState::ClipPlaneEnable, 1);
    } else {
        dev->SetClipPlane(0, Plane(-1, h_));
        dev->SetClipPlane(1, Plane(1, h2_));
        dev->SetRenderState(gfx::RenderState::ClipPlaneEnable, 3);
    }
}

void ClipPlaneHook::AfterDraw(VeObject&)
{
    if (gfx::Device* dev = Display::Device())
        dev->SetRenderState(gfx::RenderState::ClipPlaneEnable, 0);
}

SphereMapHook::SphereMapHook(const std::string& textureName)
{
    texture_ = TextureManager::Find(textureName);
}

SphereMapHook::~SphereMapHook()
{
    if (texture_)
        TextureManager::Unuse(texture_);
}

bool SphereMapHook::Coordinates(const Vec3& n, float& u, float& v)
{
    // The view looks down +z: a normal with a positive z faces away.
    if (n.z > 0.0f)
        return false;
    u = (n.x + 1.0f) * 0.5f;
    v = (1.0f - n.y) * 0.5f;
    return true;
}

namespace {
void SphereMapNode(ShapeInstance& node, const Matrix34& toView)
{
    for (VeShape* shape : node.slots_) {
        if (!shape)
            continue;
        for (SubMesh* mesh : shape->SubMeshes()) {
            // Rewritten each draw: the mesh leaves the shared buffer once.
            if (mesh->shared)
                SharedVertexBuffer::Detach(mesh);
            const uint32_t stride = mesh->Stride() / sizeof(float);
            if (stride < 8 || !(mesh->format & gfx::kFvfNormal))
                continue;
            for (uint32_t i = 0; i < mesh->vertexCount; ++i) {
                float* vertex = mesh->Vertex(i);
                const Vec3 n = toView.TransformVector({vertex[3], vertex[4], vertex[5]}).Normalised();
                float u = 0, v = 0;
                if (SphereMapHook::Coordinates(n, u, v)) {
                    vertex[stride - 2] = u;
                    vertex[stride - 1] = v;
                }
            }
        }
    }
    for (ShapeInstance* child : node.children_)
        SphereMapNode(*child, toView);
}

Matrix34 ViewMatrix34(const gfx::Matrix& view)
{
    float m44[4][4];
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            m44[r][c] = view(r, c);
    return Matrix34::FromMatrix44(m44);
}
} // namespace

void SphereMapHook::BeforeDraw(VeObject& instance)
{
    saved_.CopyFrom(instance.Textures());
    instance.Textures().Clear();
    if (texture_)
        instance.Textures().PushBack(texture_);
    applied_ = true;
    Camera* camera = Camera::Current();
    const Matrix34 view = camera ? ViewMatrix34(camera->View()) : Matrix34::kIdentity;
    if (ShapeInstance* root = instance.Root())
        SphereMapNode(*root, view * instance.placement_.ScaledMatrix());
}

void SphereMapHook::AfterDraw(VeObject& instance)
{
    if (!applied_)
        return;
    instance.Textures().CopyFrom(saved_);
    saved_.Clear();
    applied_ = false;
}

void PlacementOverrideHook::BeforeDraw(VeObject& instance)
{
    if (applied_)
        return;
    savedPosition_ = instance.placement_.Position();
    savedScale_ = instance.placement_.Scale();
    instance.placement_.SetPosition(position_);
    instance.placement_.SetScale(scale_);
    if (LightSet* lights = LightSet::Current()) {
        savedAlpha_ = lights->Material().diffuse.a;
        lights->SetAlpha(alpha_);
    }
    instance.AddRef();
    applied_ = &instance;
}

void PlacementOverrideHook::AfterDraw(VeObject&) { Restore(); }

void PlacementOverrideHook::Restore()
{
    VeObject* instance = applied_;
    if (!instance)
        return;
    applied_ = nullptr;
    instance->placement_.SetPosition(savedPosition_);
    instance->placement_.SetScale(savedScale_);
    if (LightSet* lights = LightSet::Current())
        lights->SetAlpha(savedAlpha_);
    instance->Release();
}

PlacementOverrideHook::~PlacementOverrideHook() { Restore(); }

namespace DeviceLimits {
uint32_t ClipPlanes() { return Display::Device() ? Display::Caps().maxUserClipPlanes : 0; }
int32_t HardwareLevel()
{
    if (!Display::Device())
        return 0;
    return Display::Caps().maxSimultaneousTextures >= 2 ? 2 : 1;
}
} // namespace DeviceLimits
