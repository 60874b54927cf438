// The 3-D device of the graphics layer on OpenGL's fixed-function pipeline.
// The device keeps every state the caller sets and programs GL from it at each
// draw, so state blocks, clip status and validation live here, not in GL.
// Screen vertices are placed with their pixel centres on integer coordinates
// and are never depth-clipped; matrices are row-vector and load unchanged.
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <map>
#include <variant>

#include "platform/gfx_caps.h"
#include "platform/gfx_internal.h"

namespace gfx {

using detail::Gl;

Matrix operator*(const Matrix& a, const Matrix& b)
{
    Matrix r;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) {
            float s = 0;
            for (int k = 0; k < 4; ++k)
                s += a(i, k) * b(k, j);
            r(i, j) = s;
        }
    return r;
}

uint32_t VertexSize(uint32_t fvf)
{
    uint32_t size = 0;
    if (fvf & kFvfXyzRhw)
        size += 16;
    else if (fvf & kFvfXyz)
        size += 12;
    if (fvf & kFvfNormal)
        size += 12;
    if (fvf & kFvfDiffuse)
        size += 4;
    if (fvf & kFvfSpecular)
        size += 4;
    size += ((fvf >> kFvfTexCountShift) & 0xF) * 8;
    return size;
}

VertexBuffer::VertexBuffer(uint32_t fvf, uint32_t count, uint32_t flags)
    : fvf_(fvf), count_(count), flags_(flags), data_(size_t(VertexSize(fvf)) * count)
{
}

uint8_t* VertexBuffer::Lock()
{
    locked_ = true;
    return data_.data();
}

void VertexBuffer::Unlock()
{
    locked_ = false;
}

namespace {
InjectedCaps g_caps;
} // namespace

InjectedCaps& CurrentCaps() { return g_caps; }
void ResetCaps() { g_caps = InjectedCaps{}; }

std::vector<DeviceDesc> Enumerate3DDevices()
{
    const Faults& f = CurrentFaults();
    uint32_t maxTex = 2048;
    uint32_t aniso = 1;
    if (Gl().context) {
        GLint t = 0;
        glGetIntegerv(GL_MAX_TEXTURE_SIZE, &t);
        maxTex = uint32_t(std::max(t, 256));
        aniso = uint32_t(Gl().maxAnisotropy);
    }
    auto make = [&](const char* name, bool tnl) {
        DeviceDesc d;
        d.name = name;
        d.description = std::string(name) + " on OpenGL";
        d.hardwareTnl = tnl;
        d.maxTextureWidth = d.maxTextureHeight = maxTex;
        d.maxAnisotropy = aniso;
        d.maxUserClipPlanes = std::min(CurrentCaps().userClipPlanes, 6u);
        d.maxSimultaneousTextures = std::clamp(CurrentCaps().textureStages, 1u, d.maxSimultaneousTextures);
        d.renderBitDepths = 1024 | 256;
        d.zBufferBitDepths = 1024 | 512 | 256;
        return d;
    };
    std::vector<DeviceDesc> list;
    if (!f.hideHalDevice)
        list.push_back(make(kHalDeviceName, false));
    if (!f.hideTnlDevice)
        list.push_back(make(kTnlDeviceName, true));
    list.push_back(make(kReferenceDeviceName, false));
    return list;
}

namespace {

constexpr uint32_t kStages = 8;
// GL's rasterizer takes the lower of two rows whose shared edge runs through
// pixel centres; Direct3D takes the upper. A sixty-fourth of a pixel upwards
// gives Direct3D's rows and is far below anything a player could see.
constexpr float kEdgeNudge = 1.0f / 64.0f;
constexpr uint32_t kLights = 8;

uint32_t FloatBits(float f)
{
    return std::bit_cast<uint32_t>(f);
}
float BitsFloat(uint32_t v)
{
    return std::bit_cast<float>(v);
}

GLenum CmpFunc(uint32_t v)
{
    switch (v) {
    case cmp::Never: return GL_NEVER;
    case cmp::Less: return GL_LESS;
    case cmp::Equal: return GL_EQUAL;
    case cmp::LessEqual: return GL_LEQUAL;
    case cmp::Greater: return GL_GREATER;
    case cmp::NotEqual: return GL_NOTEQUAL;
    case cmp::GreaterEqual: return GL_GEQUAL;
    default: return GL_ALWAYS;
    }
}

GLenum BlendFactor(uint32_t v)
{
    switch (v) {
    case blend::Zero: return GL_ZERO;
    case blend::One: return GL_ONE;
    case blend::SrcColor: return GL_SRC_COLOR;
    case blend::InvSrcColor: return GL_ONE_MINUS_SRC_COLOR;
    case blend::SrcAlpha: return GL_SRC_ALPHA;
    case blend::InvSrcAlpha: return GL_ONE_MINUS_SRC_ALPHA;
    case blend::DestAlpha: return GL_DST_ALPHA;
    case blend::InvDestAlpha: return GL_ONE_MINUS_DST_ALPHA;
    case blend::DestColor: return GL_DST_COLOR;
    case blend::InvDestColor: return GL_ONE_MINUS_DST_COLOR;
    case blend::SrcAlphaSat: return GL_SRC_ALPHA_SATURATE;
    default: return GL_ONE;
    }
}

GLenum StencilOp(uint32_t v)
{
    switch (v) {
    case stencilop::Zero: return GL_ZERO;
    case stencilop::Replace: return GL_REPLACE;
    case stencilop::IncrSat: return GL_INCR;
    case stencilop::DecrSat: return GL_DECR;
    case stencilop::Invert: return GL_INVERT;
    case stencilop::Incr: return GL_INCR_WRAP;
    case stencilop::Decr: return GL_DECR_WRAP;
    default: return GL_KEEP;
    }
}

GLenum AddressMode(uint32_t v)
{
    switch (v) {
    case address::Mirror: return GL_MIRRORED_REPEAT;
    case address::Clamp: return GL_CLAMP_TO_EDGE;
    case address::Border: return GL_CLAMP_TO_BORDER;
    default: return GL_REPEAT;
    }
}

void ArgbToFloats(uint32_t argb, float out[4])
{
    out[0] = float((argb >> 16) & 0xFF) / 255.0f;
    out[1] = float((argb >> 8) & 0xFF) / 255.0f;
    out[2] = float(argb & 0xFF) / 255.0f;
    out[3] = float(argb >> 24) / 255.0f;
}

bool KnownOp(uint32_t op)
{
    return (op >= texop::Disable && op <= texop::BlendCurrentAlpha) || op == texop::DotProduct3;
}

// One recorded state call of a state block.
struct RsOp { RenderState state; uint32_t value; };
struct TssOp { uint32_t stage; StageState state; uint32_t value; };
struct TexOp { uint32_t stage; Texture* texture; };
struct XfOp { TransformType type; Matrix matrix; };
struct VpOp { Viewport viewport; };
struct MatOp { Material material; };
struct LightOp { uint32_t index; Light light; };
struct LightEnableOp { uint32_t index; bool enable; };
struct ClipPlaneOp { uint32_t index; std::array<float, 4> plane; };
using BlockOp = std::variant<RsOp, TssOp, TexOp, XfOp, VpOp, MatOp, LightOp, LightEnableOp, ClipPlaneOp>;
constexpr uint32_t kClipPlanes = 6;

// Vertex fields decoded from a flexible vertex format.
struct Layout {
    uint32_t stride = 0, position = 0, normal = 0, diffuse = 0, specular = 0, tex = 0, texCount = 0;
    bool rhw = false, hasNormal = false, hasDiffuse = false, hasSpecular = false;
};

Layout DecodeFvf(uint32_t fvf)
{
    Layout l;
    uint32_t off = 0;
    l.rhw = (fvf & kFvfXyzRhw) != 0;
    off += l.rhw ? 16 : 12;
    if (fvf & kFvfNormal) {
        l.hasNormal = true;
        l.normal = off;
        off += 12;
    }
    if (fvf & kFvfDiffuse) {
        l.hasDiffuse = true;
        l.diffuse = off;
        off += 4;
    }
    if (fvf & kFvfSpecular) {
        l.hasSpecular = true;
        l.specular = off;
        off += 4;
    }
    l.tex = off;
    l.texCount = (fvf >> kFvfTexCountShift) & 0xF;
    off += l.texCount * 8;
    l.stride = off;
    return l;
}

float ReadF(const uint8_t* p)
{
    float f;
    std::memcpy(&f, p, 4);
    return f;
}
uint32_t ReadU(const uint8_t* p)
{
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

// Direct3D's lighting per vertex: GL's own lights have no range and no inner
// cone, and take the specular colour only from the material. Fragments stay
// with GL's fixed texture stages and fog.
const char* const kLitVertexProgram = R"(#version 120
uniform int u_type[8];
uniform float u_range[8];
uniform float u_cosInner[8];
uniform float u_cosOuter[8];
uniform float u_falloff[8];
uniform int u_diffuseSource;
uniform int u_ambientSource;
uniform int u_specularSource;
uniform int u_emissiveSource;
uniform bool u_localViewer;
uniform bool u_specularOn;

vec4 Pick(int source, vec4 material)
{
    if (source == 1)
        return gl_Color;
    if (source == 2)
        return gl_SecondaryColor;
    return material;
}

void main()
{
    vec4 eye = gl_ModelViewMatrix * gl_Vertex;
    gl_Position = gl_ProjectionMatrix * eye;
    gl_ClipVertex = eye;
    vec3 n = gl_NormalMatrix * gl_Normal;
    float len = length(n);
    if (len > 0.0)
        n /= len;
    vec3 p = eye.xyz / eye.w;
    // View space is Direct3D's: the camera looks down +z.
    vec3 v = u_localViewer ? normalize(-p) : vec3(0.0, 0.0, -1.0);
    vec4 md = Pick(u_diffuseSource, gl_FrontMaterial.diffuse);
    vec4 ma = Pick(u_ambientSource, gl_FrontMaterial.ambient);
    vec4 ms = Pick(u_specularSource, gl_FrontMaterial.specular);
    vec4 me = Pick(u_emissiveSource, gl_FrontMaterial.emission);
    vec3 ambient = vec3(0.0);
    vec3 diffuse = vec3(0.0);
    vec3 specular = vec3(0.0);
    for (int i = 0; i < 8; ++i) {
        if (u_type[i] == 0)
            continue;
        vec3 l;
        float att = 1.0;
        if (u_type[i] == 3) {
            l = normalize(gl_LightSource[i].position.xyz);
        } else {
            vec3 d = gl_LightSource[i].position.xyz - p;
            float dist = length(d);
            if (dist > u_range[i])
                continue;
            l = dist > 0.0 ? d / dist : vec3(0.0, 0.0, 1.0);
            att = 1.0 / max(gl_LightSource[i].constantAttenuation + gl_LightSource[i].linearAttenuation * dist +
                            gl_LightSource[i].quadraticAttenuation * dist * dist, 1e-6);
            if (u_type[i] == 2) {
                float rho = dot(-l, normalize(gl_LightSource[i].spotDirection));
                if (rho <= u_cosOuter[i])
                    continue;
                if (rho < u_cosInner[i])
                    att *= pow((rho - u_cosOuter[i]) / max(u_cosInner[i] - u_cosOuter[i], 1e-6), u_falloff[i]);
            }
        }
        ambient += att * gl_LightSource[i].ambient.rgb;
        float ndl = max(dot(n, l), 0.0);
        diffuse += att * ndl * gl_LightSource[i].diffuse.rgb;
        if (u_specularOn && ndl > 0.0)
            specular += att * pow(max(dot(n, normalize(l + v)), 0.0), gl_FrontMaterial.shininess) *
                        gl_LightSource[i].specular.rgb;
    }
    vec3 c = me.rgb + ma.rgb * (gl_LightModel.ambient.rgb + ambient) + md.rgb * diffuse;
    gl_FrontColor = vec4(clamp(c, 0.0, 1.0), md.a);
    gl_BackColor = gl_FrontColor;
    gl_FrontSecondaryColor = vec4(clamp(ms.rgb * specular, 0.0, 1.0), 0.0);
    gl_BackSecondaryColor = gl_FrontSecondaryColor;
    gl_TexCoord[0] = gl_TextureMatrix[0] * gl_MultiTexCoord0;
    gl_TexCoord[1] = gl_TextureMatrix[1] * gl_MultiTexCoord1;
    gl_TexCoord[2] = gl_TextureMatrix[2] * gl_MultiTexCoord2;
    gl_TexCoord[3] = gl_TextureMatrix[3] * gl_MultiTexCoord3;
    gl_TexCoord[4] = gl_TextureMatrix[4] * gl_MultiTexCoord4;
    gl_TexCoord[5] = gl_TextureMatrix[5] * gl_MultiTexCoord5;
    gl_TexCoord[6] = gl_TextureMatrix[6] * gl_MultiTexCoord6;
    gl_TexCoord[7] = gl_TextureMatrix[7] * gl_MultiTexCoord7;
    gl_FogFragCoord = abs(eye.z);
}
)";

GLuint LitProgram()
{
    detail::State& s = Gl();
    if (s.litProgramTried)
        return s.litProgram;
    s.litProgramTried = true;
    const GLuint shader = glCreateShader(GL_VERTEX_SHADER);
    glShaderSource(shader, 1, &kLitVertexProgram, nullptr);
    glCompileShader(shader);
    GLint ok = 0;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
    if (ok) {
        const GLuint program = glCreateProgram();
        glAttachShader(program, shader);
        glLinkProgram(program);
        glGetProgramiv(program, GL_LINK_STATUS, &ok);
        detail::GlProgram made(program);
        if (ok)
            s.litProgram = std::move(made);
    }
    glDeleteShader(shader);
    return s.litProgram;
}

class GlDevice final : public Device {
public:
    explicit GlDevice(DeviceDesc desc) : desc_(std::move(desc))
    {
        rs_.fill(0);
        Set(RenderState::TexturePerspective, 1);
        Set(RenderState::ZEnable, 1);
        Set(RenderState::FillMode, 3);
        Set(RenderState::ShadeMode, 2);
        Set(RenderState::ZWriteEnable, 1);
        Set(RenderState::LastPixel, 1);
        Set(RenderState::SrcBlend, blend::One);
        Set(RenderState::DestBlend, blend::Zero);
        Set(RenderState::CullMode, cull::CounterClockwise);
        Set(RenderState::ZFunc, cmp::LessEqual);
        Set(RenderState::AlphaFunc, cmp::Always);
        Set(RenderState::FogEnd, FloatBits(1.0f));
        Set(RenderState::FogDensity, FloatBits(1.0f));
        Set(RenderState::StencilFail, stencilop::Keep);
        Set(RenderState::StencilZFail, stencilop::Keep);
        Set(RenderState::StencilPass, stencilop::Keep);
        Set(RenderState::StencilFunc, cmp::Always);
        Set(RenderState::StencilMask, 0xFFFFFFFFu);
        Set(RenderState::StencilWriteMask, 0xFFFFFFFFu);
        Set(RenderState::Clipping, 1);
        Set(RenderState::Lighting, 1);
        Set(RenderState::ColorVertex, 1);
        Set(RenderState::LocalViewer, 1);
        Set(RenderState::DiffuseMaterialSource, 1);
        Set(RenderState::SpecularMaterialSource, 2);
        for (uint32_t s = 0; s < kStages; ++s) {
            auto& t = tss_[s];
            t.fill(0);
            t[size_t(StageState::ColorOp)] = s == 0 ? texop::Modulate : texop::Disable;
            t[size_t(StageState::ColorArg1)] = texarg::Texture;
            t[size_t(StageState::ColorArg2)] = texarg::Current;
            t[size_t(StageState::AlphaOp)] = s == 0 ? texop::SelectArg1 : texop::Disable;
            t[size_t(StageState::AlphaArg1)] = texarg::Texture;
            t[size_t(StageState::AlphaArg2)] = texarg::Current;
            t[size_t(StageState::TexCoordIndex)] = s;
            t[size_t(StageState::Address)] = address::Wrap;
            t[size_t(StageState::AddressU)] = address::Wrap;
            t[size_t(StageState::AddressV)] = address::Wrap;
            t[size_t(StageState::MagFilter)] = filter::MagPoint;
            t[size_t(StageState::MinFilter)] = filter::MinPoint;
            t[size_t(StageState::MipFilter)] = filter::MipNone;
            t[size_t(StageState::MaxAnisotropy)] = 1;
        }
        textures_.fill(nullptr);
        lightOn_.fill(false);
        const auto& sc = Gl().screen;
        viewport_ = {0, 0, sc.width, sc.height, 0.0f, 1.0f};
    }

    const DeviceDesc& Desc() const override { return desc_; }

    bool BeginScene() override
    {
        if (inScene_ || !HasScreen())
            return false;
        inScene_ = true;
        return true;
    }
    bool EndScene() override
    {
        if (!inScene_)
            return false;
        inScene_ = false;
        glFlush();
        return true;
    }

    bool Clear(const std::vector<Rect>& rects, uint32_t flags, uint32_t argb, float z,
               uint32_t stencil) override
    {
        auto& sc = Gl().screen;
        if (!sc.backFbo || sc.lost)
            return false;
        const detail::DrawTarget into = detail::CurrentDrawTarget();
        if ((flags & (kClearZBuffer | kClearStencil)) && !into.depth)
            return false;
        if ((flags & kClearStencil) && !into.stencil)
            return false;
        detail::BindBackBuffer();
        detail::Touch();  // clear colour, masks and scissor change
        GLbitfield mask = 0;
        if (flags & kClearTarget) {
            detail::SetClearColour(argb);
            glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
            mask |= GL_COLOR_BUFFER_BIT;
        }
        if (flags & kClearZBuffer) {
            glClearDepth(std::clamp(z, 0.0f, 1.0f));
            glDepthMask(GL_TRUE);
            mask |= GL_DEPTH_BUFFER_BIT;
        }
        if (flags & kClearStencil) {
            glClearStencil(GLint(stencil & 0xFF));
            glStencilMask(0xFF);
            mask |= GL_STENCIL_BUFFER_BIT;
        }
        glEnable(GL_SCISSOR_TEST);
        std::vector<Rect> areas = rects;
        if (areas.empty())
            areas.push_back({viewport_.x, viewport_.y, viewport_.x + viewport_.width,
                             viewport_.y + viewport_.height});
        for (const Rect& r : areas) {
            const int l = std::max({r.left, viewport_.x, 0});
            const int t = std::max({r.top, viewport_.y, 0});
            const int rr = std::min({r.right, viewport_.x + viewport_.width, into.width});
            const int b = std::min({r.bottom, viewport_.y + viewport_.height, into.height});
            if (rr <= l || b <= t)
                continue;
            glScissor(l, t, rr - l, b - t);
            glClear(mask);
        }
        glDisable(GL_SCISSOR_TEST);
        return true;
    }

    bool SetRenderState(RenderState state, uint32_t value) override
    {
        if (state >= RenderState::Count)
            return false;
        if (state == RenderState::StencilEnable && value == 0 && CurrentFaults().cannotDisableStencil)
            return false;
        if (recording_) {
            block_.push_back(RsOp{state, value});
            return true;
        }
        Set(state, value);
        dirty_ = true;
        return true;
    }
    uint32_t GetRenderState(RenderState state) const override
    {
        return state < RenderState::Count ? rs_[size_t(state)] : 0;
    }

    bool SetTextureStageState(uint32_t stage, StageState state, uint32_t value) override
    {
        if (stage >= kStages || state >= StageState::Count || !StageValueAccepted(state, value))
            return false;
        if (recording_) {
            block_.push_back(TssOp{stage, state, value});
            return true;
        }
        tss_[stage][size_t(state)] = value;
        dirty_ = true;
        if (state == StageState::Address) {
            tss_[stage][size_t(StageState::AddressU)] = value;
            tss_[stage][size_t(StageState::AddressV)] = value;
        }
        return true;
    }
    uint32_t GetTextureStageState(uint32_t stage, StageState state) const override
    {
        return stage < kStages && state < StageState::Count ? tss_[stage][size_t(state)] : 0;
    }

    bool SetTexture(uint32_t stage, Texture* texture) override
    {
        if (stage >= kStages || (texture && texture->IsLost()))
            return false;
        if (recording_) {
            block_.push_back(TexOp{stage, texture});
            return true;
        }
        textures_[stage] = texture;
        dirty_ = true;
        return true;
    }
    Texture* GetTexture(uint32_t stage) const override
    {
        return stage < kStages ? textures_[stage] : nullptr;
    }

    bool SetRenderTarget(Texture* target) override
    {
        if (target && (!target->IsRenderTarget() || target->IsLost()))
            return false;
        detail::Touch();
        Gl().target = target;
        detail::BindBackBuffer();
        const detail::DrawTarget into = detail::CurrentDrawTarget();
        viewport_ = {0, 0, into.width, into.height, 0.0f, 1.0f};
        dirty_ = true;
        return true;
    }
    Texture* GetRenderTarget() const override { return Gl().target; }

    bool SetTransform(TransformType type, const Matrix& matrix) override
    {
        if (type >= TransformType::Count)
            return false;
        if (recording_) {
            block_.push_back(XfOp{type, matrix});
            return true;
        }
        transforms_[size_t(type)] = matrix;
        dirty_ = true;
        return true;
    }
    Matrix GetTransform(TransformType type) const override
    {
        return type < TransformType::Count ? transforms_[size_t(type)] : Matrix{};
    }

    bool SetViewport(const Viewport& vp) override
    {
        const detail::DrawTarget into = detail::CurrentDrawTarget();
        if (vp.width <= 0 || vp.height <= 0 || vp.x < 0 || vp.y < 0 || vp.x + vp.width > into.width ||
            vp.y + vp.height > into.height || vp.minZ < 0 || vp.maxZ > 1 || vp.minZ > vp.maxZ)
            return false;
        if (recording_) {
            block_.push_back(VpOp{vp});
            return true;
        }
        viewport_ = vp;
        dirty_ = true;
        return true;
    }
    Viewport GetViewport() const override { return viewport_; }

    bool SetMaterial(const Material& material) override
    {
        if (recording_) {
            block_.push_back(MatOp{material});
            return true;
        }
        material_ = material;
        dirty_ = true;
        return true;
    }

    bool SetLight(uint32_t index, const Light& light) override
    {
        if (index >= kLights || light.type < LightType::Point || light.type > LightType::Directional)
            return false;
        if (recording_) {
            block_.push_back(LightOp{index, light});
            return true;
        }
        lights_[index] = light;
        dirty_ = true;
        return true;
    }
    bool LightEnable(uint32_t index, bool enable) override
    {
        if (index >= kLights)
            return false;
        if (recording_) {
            block_.push_back(LightEnableOp{index, enable});
            return true;
        }
        lightOn_[index] = enable;
        dirty_ = true;
        return true;
    }

    bool SetClipPlane(uint32_t index, const std::array<float, 4>& plane) override
    {
        if (index >= kClipPlanes)
            return false;
        if (recording_) {
            block_.push_back(ClipPlaneOp{index, plane});
            return true;
        }
        clipPlanes_[index] = plane;
        dirty_ = true;
        return true;
    }

    bool DrawPrimitive(Primitive type, uint32_t fvf, const void* vertices, uint32_t count) override
    {
        if (!vertices || count == 0)
            return count == 0;
        return Draw(type, fvf, static_cast<const uint8_t*>(vertices), count, nullptr, 0);
    }
    bool DrawIndexedPrimitive(Primitive type, uint32_t fvf, const void* vertices, uint32_t vertexCount,
                              const uint16_t* indices, uint32_t indexCount) override
    {
        if (!vertices || !indices || indexCount == 0)
            return indexCount == 0;
        for (uint32_t i = 0; i < indexCount; ++i)
            if (indices[i] >= vertexCount)
                return false;
        return Draw(type, fvf, static_cast<const uint8_t*>(vertices), vertexCount, indices, indexCount);
    }
    bool DrawPrimitiveVB(Primitive type, VertexBuffer& buffer, uint32_t start, uint32_t count) override
    {
        if (uint64_t(start) + count > buffer.Count())
            return false;
        if (count == 0)
            return true;
        return Draw(type, buffer.Fvf(), buffer.Data() + size_t(start) * VertexSize(buffer.Fvf()), count,
                    nullptr, 0);
    }
    bool DrawIndexedPrimitiveVB(Primitive type, VertexBuffer& buffer, const uint16_t* indices,
                                uint32_t indexCount) override
    {
        return DrawIndexedPrimitive(type, buffer.Fvf(), buffer.Data(), buffer.Count(), indices,
                                    indexCount);
    }

    bool ProcessVertices(uint32_t operations, VertexBuffer& dest, uint32_t destIndex, uint32_t count,
                         const VertexBuffer& source, uint32_t sourceIndex) override
    {
        if (!(source.Fvf() & kFvfXyz) || (source.Fvf() & kFvfXyzRhw) || !(dest.Fvf() & kFvfXyzRhw) ||
            uint64_t(sourceIndex) + count > source.Count() || uint64_t(destIndex) + count > dest.Count())
            return false;
        const Matrix wvp = transforms_[0] * transforms_[1] * transforms_[2];
        const Layout sl = DecodeFvf(source.Fvf()), dl = DecodeFvf(dest.Fvf());
        uint8_t* out = dest.Lock();
        const bool clip = (operations & kProcessClip) != 0;
        for (uint32_t i = 0; i < count; ++i) {
            const uint8_t* v = source.Data() + size_t(sourceIndex + i) * sl.stride;
            const float x = ReadF(v), y = ReadF(v + 4), z = ReadF(v + 8);
            float c[4];
            for (int k = 0; k < 4; ++k)
                c[k] = x * wvp(0, k) + y * wvp(1, k) + z * wvp(2, k) + wvp(3, k);
            uint32_t code = 0;
            if (c[0] < -c[3]) code |= kClipLeft;
            if (c[0] > c[3]) code |= kClipRight;
            if (c[1] > c[3]) code |= kClipTop;
            if (c[1] < -c[3]) code |= kClipBottom;
            if (c[2] < 0) code |= kClipFront;
            if (c[2] > c[3]) code |= kClipBack;
            const float rhw = c[3] != 0 ? 1.0f / c[3] : 0.0f;
            const float sx = float(viewport_.x) + (1.0f + c[0] * rhw) * float(viewport_.width) * 0.5f;
            const float sy = float(viewport_.y) + (1.0f - c[1] * rhw) * float(viewport_.height) * 0.5f;
            const float sz = viewport_.minZ + c[2] * rhw * (viewport_.maxZ - viewport_.minZ);
            uint8_t* o = out + size_t(destIndex + i) * dl.stride;
            std::memcpy(o, &sx, 4);
            std::memcpy(o + 4, &sy, 4);
            std::memcpy(o + 8, &sz, 4);
            std::memcpy(o + 12, &rhw, 4);
            if (!(operations & kProcessNoCopyData)) {
                if (dl.hasDiffuse && sl.hasDiffuse)
                    std::memcpy(o + dl.diffuse, v + sl.diffuse, 4);
                if (dl.hasSpecular && sl.hasSpecular)
                    std::memcpy(o + dl.specular, v + sl.specular, 4);
                const uint32_t sets = std::min(dl.texCount, sl.texCount);
                std::memcpy(o + dl.tex, v + sl.tex, size_t(sets) * 8);
            }
            if (clip) {
                clip_.status |= code;
                clip_.status &= ~(((~code) & 0xFFFu) << kClipIntersectionShift);
                if (clip_.flags & kClipStatusExtents2) {
                    clip_.minX = std::min(clip_.minX, sx);
                    clip_.maxX = std::max(clip_.maxX, sx);
                    clip_.minY = std::min(clip_.minY, sy);
                    clip_.maxY = std::max(clip_.maxY, sy);
                }
            }
        }
        dest.Unlock();
        return true;
    }

    bool SetClipStatus(const ClipStatus& status) override
    {
        clip_ = status;
        return true;
    }
    ClipStatus GetClipStatus() const override { return clip_; }

    bool BeginStateBlock() override
    {
        if (recording_)
            return false;
        recording_ = true;
        block_.clear();
        return true;
    }
    bool EndStateBlock(uint32_t& handle) override
    {
        handle = 0;
        if (!recording_)
            return false;
        recording_ = false;
        handle = nextBlock_++;
        blocks_[handle] = std::move(block_);
        block_.clear();
        return true;
    }
    bool ApplyStateBlock(uint32_t handle) override
    {
        auto it = blocks_.find(handle);
        if (it == blocks_.end() || recording_)
            return false;
        bool ok = true;
        for (const BlockOp& op : it->second)
            ok = Replay(op) && ok;
        return ok;
    }
    bool CaptureStateBlock(uint32_t handle) override
    {
        auto it = blocks_.find(handle);
        if (it == blocks_.end() || recording_)
            return false;
        for (BlockOp& op : it->second)
            Capture(op);
        return true;
    }
    bool DeleteStateBlock(uint32_t handle) override
    {
        return blocks_.erase(handle) == 1;
    }

    bool ValidateDevice(uint32_t& passes) override
    {
        passes = 0;
        if (CurrentFaults().failValidation)
            return false;
        for (uint32_t s = 0; s < kStages; ++s) {
            const uint32_t op = tss_[s][size_t(StageState::ColorOp)];
            if (op == texop::Disable)
                break;
            if (!KnownOp(op) || !KnownOp(tss_[s][size_t(StageState::AlphaOp)]))
                return false;
            // The alpha channel cannot take a dot product.
            if (tss_[s][size_t(StageState::AlphaOp)] == texop::DotProduct3)
                return false;
            Texture* t = textures_[s];
            if (t && (t->IsLost() || !Gl().textures.count(t)))
                return false;
        }
        passes = 1;
        return true;
    }

private:
    void Set(RenderState s, uint32_t v) { rs_[size_t(s)] = v; }
    uint32_t Rs(RenderState s) const { return rs_[size_t(s)]; }
    uint32_t Ts(uint32_t stage, StageState s) const { return tss_[stage][size_t(s)]; }

    bool StageValueAccepted(StageState state, uint32_t value) const
    {
        const Faults& f = CurrentFaults();
        switch (state) {
        case StageState::MagFilter:
            if (value == filter::MagAnisotropic)
                return desc_.maxAnisotropy > 1 && !f.rejectAnisotropic;
            return value == filter::MagPoint || value == filter::MagLinear;
        case StageState::MinFilter:
            if (value == filter::MinAnisotropic)
                return desc_.maxAnisotropy > 1 && !f.rejectAnisotropic;
            return value == filter::MinPoint || value == filter::MinLinear;
        case StageState::MipFilter:
            if (value == filter::MipLinear)
                return !f.rejectLinearMip;
            if (value == filter::MipPoint)
                return !f.rejectPointMip;
            return value == filter::MipNone;
        case StageState::ColorOp:
        case StageState::AlphaOp:
            return KnownOp(value);
        default:
            return true;
        }
    }

    bool Replay(const BlockOp& op)
    {
        return std::visit(
            [this](const auto& o) -> bool {
                using T = std::decay_t<decltype(o)>;
                if constexpr (std::is_same_v<T, RsOp>)
                    return SetRenderState(o.state, o.value);
                else if constexpr (std::is_same_v<T, TssOp>)
                    return SetTextureStageState(o.stage, o.state, o.value);
                else if constexpr (std::is_same_v<T, TexOp>)
                    return SetTexture(o.stage, Gl().textures.count(o.texture) ? o.texture : nullptr);
                else if constexpr (std::is_same_v<T, XfOp>)
                    return SetTransform(o.type, o.matrix);
                else if constexpr (std::is_same_v<T, VpOp>)
                    return SetViewport(o.viewport);
                else if constexpr (std::is_same_v<T, MatOp>)
                    return SetMaterial(o.material);
                else if constexpr (std::is_same_v<T, LightOp>)
                    return SetLight(o.index, o.light);
                else if constexpr (std::is_same_v<T, ClipPlaneOp>)
                    return SetClipPlane(o.index, o.plane);
                else
                    return LightEnable(o.index, o.enable);
            },
            op);
    }

    void Capture(BlockOp& op)
    {
        std::visit(
            [this](auto& o) {
                using T = std::decay_t<decltype(o)>;
                if constexpr (std::is_same_v<T, RsOp>)
                    o.value = Rs(o.state);
                else if constexpr (std::is_same_v<T, TssOp>)
                    o.value = Ts(o.stage, o.state);
                else if constexpr (std::is_same_v<T, TexOp>)
                    o.texture = textures_[o.stage];
                else if constexpr (std::is_same_v<T, XfOp>)
                    o.matrix = transforms_[size_t(o.type)];
                else if constexpr (std::is_same_v<T, VpOp>)
                    o.viewport = viewport_;
                else if constexpr (std::is_same_v<T, MatOp>)
                    o.material = material_;
                else if constexpr (std::is_same_v<T, LightOp>)
                    o.light = lights_[o.index];
                else if constexpr (std::is_same_v<T, ClipPlaneOp>)
                    o.plane = clipPlanes_[o.index];
                else
                    o.enable = lightOn_[o.index];
            },
            op);
    }

    // ---- Drawing ----------------------------------------------------------

    void ApplyCombiner(uint32_t s, bool alpha)
    {
        const uint32_t op = Ts(s, alpha ? StageState::AlphaOp : StageState::ColorOp);
        const uint32_t a1 = Ts(s, alpha ? StageState::AlphaArg1 : StageState::ColorArg1);
        const uint32_t a2 = Ts(s, alpha ? StageState::AlphaArg2 : StageState::ColorArg2);
        const GLenum combine = alpha ? GL_COMBINE_ALPHA : GL_COMBINE_RGB;
        const GLenum scaleName = alpha ? GL_ALPHA_SCALE : GL_RGB_SCALE;
        const GLenum srcNames[3] = {alpha ? GLenum(GL_SRC0_ALPHA) : GLenum(GL_SRC0_RGB),
                                    alpha ? GLenum(GL_SRC1_ALPHA) : GLenum(GL_SRC1_RGB),
                                    alpha ? GLenum(GL_SRC2_ALPHA) : GLenum(GL_SRC2_RGB)};
        const GLenum opNames[3] = {alpha ? GLenum(GL_OPERAND0_ALPHA) : GLenum(GL_OPERAND0_RGB),
                                   alpha ? GLenum(GL_OPERAND1_ALPHA) : GLenum(GL_OPERAND1_RGB),
                                   alpha ? GLenum(GL_OPERAND2_ALPHA) : GLenum(GL_OPERAND2_RGB)};
        auto source = [&](int slot, uint32_t arg) {
            GLenum src;
            switch (arg & 0xF) {
            case texarg::Texture: src = GL_TEXTURE; break;
            case texarg::TFactor: src = GL_CONSTANT; break;
            case texarg::Current: src = s == 0 ? GLenum(GL_PRIMARY_COLOR) : GLenum(GL_PREVIOUS); break;
            default: src = GL_PRIMARY_COLOR; break;
            }
            const bool complement = (arg & texarg::Complement) != 0;
            GLenum operand;
            if (alpha || (arg & texarg::AlphaReplicate))
                operand = complement ? GL_ONE_MINUS_SRC_ALPHA : GL_SRC_ALPHA;
            else
                operand = complement ? GL_ONE_MINUS_SRC_COLOR : GL_SRC_COLOR;
            glTexEnvi(GL_TEXTURE_ENV, srcNames[slot], GLint(src));
            glTexEnvi(GL_TEXTURE_ENV, opNames[slot], GLint(operand));
        };
        auto blendBy = [&](GLenum src) {
            glTexEnvi(GL_TEXTURE_ENV, combine, GL_INTERPOLATE);
            source(0, a1);
            source(1, a2);
            glTexEnvi(GL_TEXTURE_ENV, srcNames[2], GLint(src));
            glTexEnvi(GL_TEXTURE_ENV, opNames[2], GL_SRC_ALPHA);
        };
        GLfloat scale = 1.0f;
        switch (op) {
        case texop::SelectArg1:
            glTexEnvi(GL_TEXTURE_ENV, combine, GL_REPLACE);
            source(0, a1);
            break;
        case texop::SelectArg2:
            glTexEnvi(GL_TEXTURE_ENV, combine, GL_REPLACE);
            source(0, a2);
            break;
        case texop::Modulate4x:
            scale = 4.0f;
            [[fallthrough]];
        case texop::Modulate2x:
            if (scale == 1.0f)
                scale = 2.0f;
            [[fallthrough]];
        case texop::Modulate:
            glTexEnvi(GL_TEXTURE_ENV, combine, GL_MODULATE);
            source(0, a1);
            source(1, a2);
            break;
        case texop::Add:
        case texop::AddSmooth:
            glTexEnvi(GL_TEXTURE_ENV, combine, GL_ADD);
            source(0, a1);
            source(1, a2);
            break;
        case texop::AddSigned2x:
            scale = 2.0f;
            [[fallthrough]];
        case texop::AddSigned:
            glTexEnvi(GL_TEXTURE_ENV, combine, GL_ADD_SIGNED);
            source(0, a1);
            source(1, a2);
            break;
        case texop::Subtract:
            glTexEnvi(GL_TEXTURE_ENV, combine, GL_SUBTRACT);
            source(0, a1);
            source(1, a2);
            break;
        case texop::BlendDiffuseAlpha: blendBy(GL_PRIMARY_COLOR); break;
        case texop::BlendTextureAlpha:
        case texop::BlendTextureAlphaPm: blendBy(GL_TEXTURE); break;
        case texop::BlendFactorAlpha: blendBy(GL_CONSTANT); break;
        case texop::BlendCurrentAlpha: blendBy(s == 0 ? GL_PRIMARY_COLOR : GL_PREVIOUS); break;
        case texop::DotProduct3:
            if (!alpha) {
                glTexEnvi(GL_TEXTURE_ENV, combine, GL_DOT3_RGB);
                source(0, a1);
                source(1, a2);
                break;
            }
            [[fallthrough]];
        default:  // disabled alpha while colour runs: keep the current alpha
            glTexEnvi(GL_TEXTURE_ENV, combine, GL_REPLACE);
            source(0, texarg::Current);
            break;
        }
        glTexEnvf(GL_TEXTURE_ENV, scaleName, scale);
    }

    void ApplySampler(uint32_t s, Texture* t)
    {
        const uint32_t mag = Ts(s, StageState::MagFilter), min = Ts(s, StageState::MinFilter),
                       mip = Ts(s, StageState::MipFilter);
        const bool mips = t && t->Levels() > 1;
        const bool minLinear = min != filter::MinPoint;
        GLenum minFilter = minLinear ? GL_LINEAR : GL_NEAREST;
        if (mips && mip == filter::MipPoint)
            minFilter = minLinear ? GL_LINEAR_MIPMAP_NEAREST : GL_NEAREST_MIPMAP_NEAREST;
        else if (mips && mip == filter::MipLinear)
            minFilter = minLinear ? GL_LINEAR_MIPMAP_LINEAR : GL_NEAREST_MIPMAP_LINEAR;
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GLint(minFilter));
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, mag == filter::MagPoint ? GL_NEAREST : GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GLint(AddressMode(Ts(s, StageState::AddressU))));
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GLint(AddressMode(Ts(s, StageState::AddressV))));
        float border[4];
        ArgbToFloats(Ts(s, StageState::BorderColor), border);
        glTexParameterfv(GL_TEXTURE_2D, GL_TEXTURE_BORDER_COLOR, border);
        glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_LOD_BIAS, BitsFloat(Ts(s, StageState::MipMapLodBias)));
        if (Gl().anisotropyExt) {
            const bool aniso = mag == filter::MagAnisotropic || min == filter::MinAnisotropic;
            const float amount = aniso ? std::clamp(float(Ts(s, StageState::MaxAnisotropy)), 1.0f, Gl().maxAnisotropy) : 1.0f;
            glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_MAX_ANISOTROPY_EXT, amount);
        }
    }

    void SetLightingUniforms(GLuint program, const Layout& l, bool specular)
    {
        GLint type[kLights];
        GLfloat range[kLights], inner[kLights], outer[kLights], falloff[kLights];
        for (uint32_t i = 0; i < kLights; ++i) {
            const Light& li = lights_[i];
            type[i] = lightOn_[i] ? GLint(li.type) : 0;
            // No range given counts as no limit.
            range[i] = li.range > 0.0f ? li.range : 3.0e38f;
            inner[i] = std::cos(li.theta * 0.5f);
            outer[i] = std::cos(li.phi * 0.5f);
            falloff[i] = li.falloff;
        }
        glUniform1iv(glGetUniformLocation(program, "u_type"), GLsizei(kLights), type);
        glUniform1fv(glGetUniformLocation(program, "u_range"), GLsizei(kLights), range);
        glUniform1fv(glGetUniformLocation(program, "u_cosInner"), GLsizei(kLights), inner);
        glUniform1fv(glGetUniformLocation(program, "u_cosOuter"), GLsizei(kLights), outer);
        glUniform1fv(glGetUniformLocation(program, "u_falloff"), GLsizei(kLights), falloff);
        // A colour source names a vertex colour the vertex must have; else the material's.
        auto source = [&](RenderState state) -> GLint {
            if (!Rs(RenderState::ColorVertex))
                return 0;
            const uint32_t v = Rs(state);
            return (v == 1 && l.hasDiffuse) || (v == 2 && l.hasSpecular) ? GLint(v) : 0;
        };
        glUniform1i(glGetUniformLocation(program, "u_diffuseSource"), source(RenderState::DiffuseMaterialSource));
        glUniform1i(glGetUniformLocation(program, "u_ambientSource"), source(RenderState::AmbientMaterialSource));
        glUniform1i(glGetUniformLocation(program, "u_specularSource"), source(RenderState::SpecularMaterialSource));
        glUniform1i(glGetUniformLocation(program, "u_emissiveSource"), source(RenderState::EmissiveMaterialSource));
        glUniform1i(glGetUniformLocation(program, "u_localViewer"), Rs(RenderState::LocalViewer) ? 1 : 0);
        glUniform1i(glGetUniformLocation(program, "u_specularOn"), specular ? 1 : 0);
    }

    // Viewport, scissor and the projection: screen vertices bypass the transforms.
    void ApplyViewportAndTransforms(const Layout& l)
    {
        const detail::DrawTarget into = detail::CurrentDrawTarget();
        glEnable(GL_SCISSOR_TEST);
        glScissor(viewport_.x, viewport_.y, viewport_.width, viewport_.height);
        if (l.rhw) {
            glViewport(0, 0, into.width, into.height);
            glDepthRange(0.0, 1.0);
            glEnable(GL_DEPTH_CLAMP);
            glMatrixMode(GL_PROJECTION);
            glLoadIdentity();
            glMatrixMode(GL_MODELVIEW);
            glLoadIdentity();
        } else {
            glViewport(viewport_.x, viewport_.y, viewport_.width, viewport_.height);
            glDepthRange(viewport_.minZ, viewport_.maxZ);
            glDisable(GL_DEPTH_CLAMP);
            // Half a pixel so that pixel centres fall where Direct3D puts them.
            Matrix half;
            half(3, 0) = 1.0f / float(viewport_.width);
            half(3, 1) = (-1.0f + 2.0f * kEdgeNudge) / float(viewport_.height);
            const Matrix proj = transforms_[size_t(TransformType::Projection)] * half;
            glMatrixMode(GL_PROJECTION);
            glLoadMatrixf(proj.m.data());
            glMatrixMode(GL_MODELVIEW);
        }
    }

    // Depth and stencil tests and writes.
    void ApplyDepthAndStencil()
    {
        const detail::DrawTarget into = detail::CurrentDrawTarget();
        const bool z = Rs(RenderState::ZEnable) != 0 && into.depth;
        if (z) {
            glEnable(GL_DEPTH_TEST);
            glDepthFunc(CmpFunc(Rs(RenderState::ZFunc)));
            glDepthMask(Rs(RenderState::ZWriteEnable) ? GL_TRUE : GL_FALSE);
        } else {
            glDisable(GL_DEPTH_TEST);
        }
        if (Rs(RenderState::StencilEnable) && into.stencil) {
            glEnable(GL_STENCIL_TEST);
            glStencilFunc(CmpFunc(Rs(RenderState::StencilFunc)), GLint(Rs(RenderState::StencilRef) & 0xFF),
                          Rs(RenderState::StencilMask));
            glStencilOp(StencilOp(Rs(RenderState::StencilFail)), StencilOp(Rs(RenderState::StencilZFail)),
                        StencilOp(Rs(RenderState::StencilPass)));
            glStencilMask(Rs(RenderState::StencilWriteMask));
        } else {
            glDisable(GL_STENCIL_TEST);
        }
    }

    // Alpha test and blending.
    void ApplyAlphaAndBlending()
    {
        if (Rs(RenderState::AlphaTestEnable)) {
            glEnable(GL_ALPHA_TEST);
            glAlphaFunc(CmpFunc(Rs(RenderState::AlphaFunc)), float(Rs(RenderState::AlphaRef) & 0xFF) / 255.0f);
        } else {
            glDisable(GL_ALPHA_TEST);
        }
        if (Rs(RenderState::AlphaBlendEnable)) {
            glEnable(GL_BLEND);
            glBlendFunc(BlendFactor(Rs(RenderState::SrcBlend)), BlendFactor(Rs(RenderState::DestBlend)));
        } else {
            glDisable(GL_BLEND);
        }
    }

    // Culling, fill, shading and dithering.
    void ApplyFaces()
    {
        // Faces: with rows top-down GL sees a triangle clockwise on the screen as
        // counter-clockwise, its front face.
        glFrontFace(GL_CCW);
        switch (Rs(RenderState::CullMode)) {
        case cull::Clockwise: glEnable(GL_CULL_FACE); glCullFace(GL_BACK); break;
        case cull::CounterClockwise: glEnable(GL_CULL_FACE); glCullFace(GL_FRONT); break;
        default: glDisable(GL_CULL_FACE); break;
        }
        const uint32_t fill = Rs(RenderState::FillMode);
        glPolygonMode(GL_FRONT_AND_BACK, fill == 1 ? GL_POINT : fill == 2 ? GL_LINE : GL_FILL);
        glShadeModel(Rs(RenderState::ShadeMode) == 1 ? GL_FLAT : GL_SMOOTH);
        // Flat faces take the colour of their first vertex, not GL's last.
        glProvokingVertex(GL_FIRST_VERTEX_CONVENTION);
        if (Rs(RenderState::DitherEnable))
            glEnable(GL_DITHER);
        else
            glDisable(GL_DITHER);
    }

    // Table fog by depth, or screen vertices' own fog in specular alpha.
    void ApplyFog(const Layout& l)
    {
        const uint32_t tableMode = Rs(RenderState::FogTableMode), vertexMode = Rs(RenderState::FogVertexMode);
        float fogColour[4];
        ArgbToFloats(Rs(RenderState::FogColor), fogColour);
        glFogfv(GL_FOG_COLOR, fogColour);
        if (Rs(RenderState::FogEnable) && (tableMode != fog::None || (!l.rhw && vertexMode != fog::None))) {
            const uint32_t mode = tableMode != fog::None ? tableMode : vertexMode;
            glEnable(GL_FOG);
            glFogi(GL_FOG_COORD_SRC, GL_FRAGMENT_DEPTH);
            glFogi(GL_FOG_MODE, mode == fog::Exp ? GL_EXP : mode == fog::Exp2 ? GL_EXP2 : GL_LINEAR);
            glFogf(GL_FOG_START, BitsFloat(Rs(RenderState::FogStart)));
            glFogf(GL_FOG_END, BitsFloat(Rs(RenderState::FogEnd)));
            glFogf(GL_FOG_DENSITY, BitsFloat(Rs(RenderState::FogDensity)));
        } else if (Rs(RenderState::FogEnable) && l.rhw && l.hasSpecular) {
            glEnable(GL_FOG);
            glFogi(GL_FOG_COORD_SRC, GL_FOG_COORD);
            glFogi(GL_FOG_MODE, GL_LINEAR);
            glFogf(GL_FOG_START, 0.0f);
            glFogf(GL_FOG_END, 1.0f);
        } else {
            glDisable(GL_FOG);
        }
    }

    // One light of the fixed-function set, in world space.
    void ApplyLight(uint32_t i, bool specular)
    {
        const GLenum gl = GL_LIGHT0 + i;
        if (!lightOn_[i]) {
            glDisable(gl);
            return;
        }
        const Light& li = lights_[i];
        glEnable(gl);
        glLightfv(gl, GL_DIFFUSE, &li.diffuse.r);
        const ColourF black{};
        glLightfv(gl, GL_SPECULAR, specular ? &li.specular.r : &black.r);
        glLightfv(gl, GL_AMBIENT, &li.ambient.r);
        if (li.type == LightType::Directional) {
            const float p[4] = {-li.direction.x, -li.direction.y, -li.direction.z, 0.0f};
            glLightfv(gl, GL_POSITION, p);
            glLightf(gl, GL_SPOT_CUTOFF, 180.0f);
            glLightf(gl, GL_CONSTANT_ATTENUATION, 1.0f);
            glLightf(gl, GL_LINEAR_ATTENUATION, 0.0f);
            glLightf(gl, GL_QUADRATIC_ATTENUATION, 0.0f);
        } else {
            const float p[4] = {li.position.x, li.position.y, li.position.z, 1.0f};
            glLightfv(gl, GL_POSITION, p);
            const bool none = li.attenuation0 == 0 && li.attenuation1 == 0 && li.attenuation2 == 0;
            glLightf(gl, GL_CONSTANT_ATTENUATION, none ? 1.0f : li.attenuation0);
            glLightf(gl, GL_LINEAR_ATTENUATION, li.attenuation1);
            glLightf(gl, GL_QUADRATIC_ATTENUATION, li.attenuation2);
            if (li.type == LightType::Spot) {
                const float d[3] = {li.direction.x, li.direction.y, li.direction.z};
                glLightfv(gl, GL_SPOT_DIRECTION, d);
                glLightf(gl, GL_SPOT_CUTOFF, std::clamp(li.phi * 0.5f * 57.29578f, 0.0f, 90.0f));
                glLightf(gl, GL_SPOT_EXPONENT, std::clamp(li.falloff, 0.0f, 128.0f));
            } else {
                glLightf(gl, GL_SPOT_CUTOFF, 180.0f);
            }
        }
    }

    // Lights, material and the lighting program; true when vertices are lit.
    bool ApplyLighting(const Layout& l, bool specular)
    {
        const bool lit = !l.rhw && Rs(RenderState::Lighting) != 0;
        if (lit) {
            glEnable(GL_LIGHTING);
            glEnable(GL_NORMALIZE);
            float amb[4];
            ArgbToFloats(Rs(RenderState::Ambient), amb);
            glLightModelfv(GL_LIGHT_MODEL_AMBIENT, amb);
            glLightModeli(GL_LIGHT_MODEL_LOCAL_VIEWER, Rs(RenderState::LocalViewer) ? 1 : 0);
            glLightModeli(GL_LIGHT_MODEL_COLOR_CONTROL, GL_SEPARATE_SPECULAR_COLOR);
            // Lights live in world space: GL takes them through the view matrix.
            glLoadMatrixf(transforms_[size_t(TransformType::View)].m.data());
            for (uint32_t i = 0; i < kLights; ++i)
                ApplyLight(i, specular);
            glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, &material_.diffuse.r);
            glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, &material_.ambient.r);
            const ColourF black{};
            glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, specular ? &material_.specular.r : &black.r);
            glMaterialfv(GL_FRONT_AND_BACK, GL_EMISSION, &material_.emissive.r);
            glMaterialf(GL_FRONT_AND_BACK, GL_SHININESS, std::clamp(material_.power, 0.0f, 128.0f));
            if (const GLuint program = LitProgram()) {
                glUseProgram(program);
                SetLightingUniforms(program, l, specular);
                glDisable(GL_COLOR_MATERIAL);
            } else if (Rs(RenderState::ColorVertex) && l.hasDiffuse && Rs(RenderState::DiffuseMaterialSource) == 1) {
                glColorMaterial(GL_FRONT_AND_BACK,
                                Rs(RenderState::AmbientMaterialSource) == 1 ? GL_AMBIENT_AND_DIFFUSE : GL_DIFFUSE);
                glEnable(GL_COLOR_MATERIAL);
            } else {
                glDisable(GL_COLOR_MATERIAL);
            }
        } else {
            glDisable(GL_LIGHTING);
            glDisable(GL_COLOR_MATERIAL);
        }
        if (!lit || !LitProgram())
            glUseProgram(0);
        return lit;
    }

    // User clip planes, then the world-view matrix for what is drawn.
    void ApplyClipPlanesAndWorld(const Layout& l)
    {
        // User clip planes live in world space: GL takes them through the view matrix.
        const uint32_t planes = l.rhw ? 0u : Rs(RenderState::ClipPlaneEnable);
        if (planes)
            glLoadMatrixf(transforms_[size_t(TransformType::View)].m.data());
        for (uint32_t i = 0; i < kClipPlanes; ++i) {
            if (planes & (1u << i)) {
                const GLdouble eq[4] = {clipPlanes_[i][0], clipPlanes_[i][1], clipPlanes_[i][2], clipPlanes_[i][3]};
                glClipPlane(GL_CLIP_PLANE0 + i, eq);
                glEnable(GL_CLIP_PLANE0 + i);
            } else {
                glDisable(GL_CLIP_PLANE0 + i);
            }
        }
        if (!l.rhw) {
            const Matrix wv = transforms_[size_t(TransformType::World)] * transforms_[size_t(TransformType::View)];
            glLoadMatrixf(wv.m.data());
        }
    }

    // Z bias and the specular colour sum.
    void ApplyBiasAndColourSum(const Layout& l, bool lit, bool specular)
    {
        // A z bias pulls coplanar decals in front of what they lie on.
        if (const uint32_t bias = Rs(RenderState::ZBias) & 0xF) {
            glEnable(GL_POLYGON_OFFSET_FILL);
            glPolygonOffset(0.0f, -float(bias));
        } else {
            glDisable(GL_POLYGON_OFFSET_FILL);
        }
        if ((!lit && specular && l.hasSpecular) || (lit && specular && LitProgram()))
            glEnable(GL_COLOR_SUM);
        else
            glDisable(GL_COLOR_SUM);
    }

    // Texture stages up to the first disabled one; returns how many are in use.
    uint32_t ApplyTextureStages()
    {
        float factor[4];
        ArgbToFloats(Rs(RenderState::TextureFactor), factor);
        uint32_t active = 0;
        while (active < kStages && Ts(active, StageState::ColorOp) != texop::Disable)
            ++active;
        for (uint32_t s = 0; s < kStages; ++s) {
            glActiveTexture(GL_TEXTURE0 + s);
            if (s >= active) {
                glDisable(GL_TEXTURE_2D);
                continue;
            }
            glEnable(GL_TEXTURE_2D);
            Texture* t = textures_[s];
            if (t && !Gl().textures.count(t))
                t = nullptr;
            glBindTexture(GL_TEXTURE_2D, t && !t->IsLost() ? t->GlName() : Gl().whiteTexture);
            ApplySampler(s, t);
            glMatrixMode(GL_TEXTURE);
            if (Ts(s, StageState::TextureTransformFlags) == kTextureTransformCount2) {
                // Direct3D feeds (u, v, 1) to the matrix, GL (s, t, 0, 1): the third
                // row moves to the fourth, and q stays 1 so nothing is divided.
                const Matrix& m = transforms_[size_t(TransformType::Texture0) + s];
                Matrix g;
                for (int c = 0; c < 3; ++c) {
                    g(0, c) = m(0, c);
                    g(1, c) = m(1, c);
                    g(2, c) = m(3, c);
                    g(3, c) = m(2, c);
                }
                g(0, 3) = g(1, 3) = g(2, 3) = 0.0f;
                g(3, 3) = 1.0f;
                glLoadMatrixf(g.m.data());
            } else {
                glLoadIdentity();
            }
            glMatrixMode(GL_MODELVIEW);
            glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_COMBINE);
            glTexEnvfv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_COLOR, factor);
            ApplyCombiner(s, false);
            ApplyCombiner(s, true);
        }
        glActiveTexture(GL_TEXTURE0);
        return active;
    }

    // Programs GL from the device's states; returns the number of texture stages in use.
    uint32_t ApplyState(const Layout& l)
    {
        detail::BindBackBuffer();
        glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
        ApplyViewportAndTransforms(l);
        ApplyDepthAndStencil();
        ApplyAlphaAndBlending();
        ApplyFaces();
        ApplyFog(l);
        const bool specular = Rs(RenderState::SpecularEnable) != 0;
        const bool lit = ApplyLighting(l, specular);
        ApplyClipPlanesAndWorld(l);
        ApplyBiasAndColourSum(l, lit, specular);
        return ApplyTextureStages();
    }

    bool Draw(Primitive type, uint32_t fvf, const uint8_t* data, uint32_t count, const uint16_t* indices,
              uint32_t indexCount)
    {
        const auto& sc = Gl().screen;
        if (!inScene_ || !sc.backFbo || sc.lost || !(fvf & (kFvfXyz | kFvfXyzRhw)))
            return false;
        GLenum mode;
        switch (type) {
        case Primitive::PointList: mode = GL_POINTS; break;
        case Primitive::LineList: mode = GL_LINES; break;
        case Primitive::LineStrip: mode = GL_LINE_STRIP; break;
        case Primitive::TriangleList: mode = GL_TRIANGLES; break;
        case Primitive::TriangleStrip: mode = GL_TRIANGLE_STRIP; break;
        case Primitive::TriangleFan: mode = GL_TRIANGLE_FAN; break;
        default: return false;
        }
        const Layout l = DecodeFvf(fvf);
        // The whole set-up is skipped while nothing it depends on changed.
        if (dirty_ || appliedEpoch_ != Gl().epoch || appliedFvf_ != fvf) {
            appliedStages_ = ApplyState(l);
            dirty_ = false;
            appliedEpoch_ = Gl().epoch;
            appliedFvf_ = fvf;
        }
        const uint32_t stages = appliedStages_;

        pos_.resize(size_t(count) * 4);
        col_.resize(size_t(count) * 4);
        spec_.resize(size_t(count) * 3);
        fog_.resize(count);
        norm_.resize(size_t(count) * 3);
        const detail::DrawTarget into = detail::CurrentDrawTarget();
        const float w2 = 2.0f / float(into.width), h2 = 2.0f / float(into.height);
        for (uint32_t i = 0; i < count; ++i) {
            const uint8_t* v = data + size_t(i) * l.stride;
            float* p = &pos_[size_t(i) * 4];
            if (l.rhw) {
                const float rhw = ReadF(v + 12);
                const float w = rhw > 0.0f ? 1.0f / rhw : 1.0f;
                // Pixel centres at integer screen coordinates, y down.
                const float nx = (ReadF(v) + 0.5f) * w2 - 1.0f;
                const float ny = 1.0f - (ReadF(v + 4) + 0.5f - kEdgeNudge) * h2;
                p[0] = nx * w;
                p[1] = ny * w;
                p[2] = ReadF(v + 8) * w;
                p[3] = w;
            } else {
                p[0] = ReadF(v);
                p[1] = ReadF(v + 4);
                p[2] = ReadF(v + 8);
                p[3] = 1.0f;
            }
            const uint32_t diffuse = l.hasDiffuse ? ReadU(v + l.diffuse) : 0xFFFFFFFFu;
            const uint32_t spec = l.hasSpecular ? ReadU(v + l.specular) : 0xFF000000u;
            uint8_t* c = &col_[size_t(i) * 4];
            c[0] = uint8_t(diffuse >> 16);
            c[1] = uint8_t(diffuse >> 8);
            c[2] = uint8_t(diffuse);
            c[3] = uint8_t(diffuse >> 24);
            uint8_t* sp = &spec_[size_t(i) * 3];
            sp[0] = uint8_t(spec >> 16);
            sp[1] = uint8_t(spec >> 8);
            sp[2] = uint8_t(spec);
            // Specular alpha is the vertex's fog factor: 255 clear, 0 fully fogged.
            fog_[i] = 1.0f - float(spec >> 24) / 255.0f;
            float* n = &norm_[size_t(i) * 3];
            if (l.hasNormal) {
                n[0] = ReadF(v + l.normal);
                n[1] = ReadF(v + l.normal + 4);
                n[2] = ReadF(v + l.normal + 8);
            } else {
                n[0] = n[1] = n[2] = 0.0f;
            }
        }
        glEnableClientState(GL_VERTEX_ARRAY);
        glVertexPointer(4, GL_FLOAT, 0, pos_.data());
        glEnableClientState(GL_COLOR_ARRAY);
        glColorPointer(4, GL_UNSIGNED_BYTE, 0, col_.data());
        glEnableClientState(GL_SECONDARY_COLOR_ARRAY);
        glSecondaryColorPointer(3, GL_UNSIGNED_BYTE, 0, spec_.data());
        glEnableClientState(GL_FOG_COORD_ARRAY);
        glFogCoordPointer(GL_FLOAT, 0, fog_.data());
        glEnableClientState(GL_NORMAL_ARRAY);
        glNormalPointer(GL_FLOAT, 0, norm_.data());
        for (uint32_t s = 0; s < kStages; ++s) {
            glClientActiveTexture(GL_TEXTURE0 + s);
            const uint32_t set = Ts(s, StageState::TexCoordIndex) & 0xFFFF;
            if (s < stages && set < l.texCount) {
                glEnableClientState(GL_TEXTURE_COORD_ARRAY);
                glTexCoordPointer(2, GL_FLOAT, GLsizei(l.stride), data + l.tex + set * 8);
            } else {
                glDisableClientState(GL_TEXTURE_COORD_ARRAY);
                glMultiTexCoord4f(GL_TEXTURE0 + s, 0, 0, 0, 1);
            }
        }
        glClientActiveTexture(GL_TEXTURE0);
        if (indices)
            glDrawElements(mode, GLsizei(indexCount), GL_UNSIGNED_SHORT, indices);
        else
            glDrawArrays(mode, 0, GLsizei(count));
        return glGetError() == GL_NO_ERROR;
    }

    DeviceDesc desc_;
    std::array<uint32_t, size_t(RenderState::Count)> rs_{};
    std::array<std::array<uint32_t, size_t(StageState::Count)>, kStages> tss_{};
    std::array<Texture*, kStages> textures_{};
    std::array<Matrix, size_t(TransformType::Count)> transforms_{};
    Viewport viewport_;
    Material material_;
    std::array<Light, kLights> lights_{};
    std::array<bool, kLights> lightOn_{};
    std::array<std::array<float, 4>, kClipPlanes> clipPlanes_{};
    ClipStatus clip_;
    bool inScene_ = false;
    bool recording_ = false;
    bool dirty_ = true;
    uint64_t appliedEpoch_ = ~0ull;
    uint32_t appliedFvf_ = ~0u;
    uint32_t appliedStages_ = 0;
    std::vector<BlockOp> block_;
    std::map<uint32_t, std::vector<BlockOp>> blocks_;
    uint32_t nextBlock_ = 1;
    std::vector<float> pos_, fog_, norm_;
    std::vector<uint8_t> col_, spec_;
};

} // namespace

std::unique_ptr<Device> CreateDevice(const std::string& name)
{
    Faults& f = CurrentFaults();
    if (!HasScreen())
        return nullptr;
    if (f.failDeviceCreations > 0) {
        --f.failDeviceCreations;
        return nullptr;
    }
    for (const DeviceDesc& d : Enumerate3DDevices())
        if (d.name == name)
            return std::make_unique<GlDevice>(d);
    return nullptr;
}

} // namespace gfx
