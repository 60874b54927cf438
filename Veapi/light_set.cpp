#include "Veapi/light_set.h"

#include "Veapi/ve3d.h"

namespace {

LightSet* g_current = nullptr;
LightSet* g_globals[4] = {};

gfx::ColourF ToColourF(Colour c)
{
    if (!(c.flags & Colour::kFloatValid))
        c.Unpack();
    return {c.red, c.green, c.blue, c.alpha};
}

const Colour& WhiteColour()
{
    static const Colour white = [] {
        Colour c;
        c.Set(1, 1, 1, 1);
        return c;
    }();
    return white;
}

} // namespace

const Colour& DefaultLightAmbient()
{
    return WhiteColour();
}

void Light::SetPosition(float x, float y, float z)
{
    desc_.position = {x, y, z};
    LightSet::LightsChanged();
}

void Light::SetPosition(const Vec3& position)
{
    Light::SetPosition(position.x, position.y, position.z);
}

void Light::SetSpecular(float r, float g, float b, float a)
{
    desc_.specular = {r, g, b, a};
    LightSet::LightsChanged();
}

void Light::Enable(uint32_t index) const
{
    if (gfx::Device* dev = Display::Device()) {
        dev->SetLight(index, desc_);
        dev->LightEnable(index, true);
    }
}

LightSet::LightSet()
{
    material_.diffuse = {1, 1, 1, 1};
    material_.ambient = {0, 0, 0, 0};
    material_.specular = {1, 1, 1, 1};
    material_.emissive = {0, 0, 0, 0};
}

LightSet::~LightSet()
{
    for (Light* l : lights_)
        delete l;
    lights_.Clear();
    if (g_current == this)
        g_current = nullptr;
}

uint32_t LightSet::MaxLights()
{
    const uint32_t n = Display::Caps().maxActiveLights;
    return n == 0 ? 8u : n;
}

LightSet* LightSet::Current()
{
    return g_current;
}

void LightSet::ForgetCurrent()
{
    g_current = nullptr;
}

void LightSet::LightsChanged()
{
    g_current = nullptr;
}

void LightSet::ListChanged()
{
    if (g_current == this || this == g_globals[0])
        g_current = nullptr;
}

void LightSet::Apply()
{
    gfx::Device* dev = Display::Device();
    if (!dev)
        return;
    const uint32_t n = MaxLights();
    uint32_t next = n;  // indices handed out from the top
    for (Light* l : lights_) {
        if (next == 0)
            break;
        --next;
        l->Enable(next);
    }
    for (uint32_t i = 0; i < next; ++i)
        dev->LightEnable(i, false);
    dev->SetMaterial(material_);
    g_current = this;
}

void LightSet::DisableLights()
{
    gfx::Device* dev = Display::Device();
    if (!dev)
        return;
    for (uint32_t i = MaxLights(); i-- > 0;)
        dev->LightEnable(i, false);
}

void LightSet::OnDrawBounds(const Vec3&, const Vec3&) {}

Light* LightSet::AddLight(const gfx::Light& description)
{
    const uint32_t n = MaxLights();
    if (uint32_t(count_) >= n)
        return nullptr;
    Light* light = new Light(description);
    lights_.PushBack(light);
    ++count_;
    // The light takes the index Apply would give it (the k-th light, from
    // zero, gets n - 1 - k), so the next Apply leaves it where it is.
    if (g_current == this && uint32_t(count_) <= n)
        light->Enable(n - uint32_t(count_));
    else
        ListChanged();
    return light;
}

void LightSet::RemoveLight(Light* light)
{
    if (!light || !lights_.Remove(light))
        return;
    --count_;
    delete light;
    // The device still has the light on: the next draw applies the set anew.
    ListChanged();
}

Light* LightSet::AddPointLight(const Colour& colour, const Colour& specular, const Vec3& position, float range)
{
    gfx::Light d;
    d.type = gfx::LightType::Point;
    d.diffuse = ToColourF(colour);
    d.specular = ToColourF(specular);
    d.ambient = ToColourF(DefaultLightAmbient());
    d.position = {position.x, position.y, position.z};
    d.range = range;
    d.falloff = 1.0f;
    d.attenuation0 = 0.96f;
    // A range of zero would divide by zero: such a light keeps only its constant term.
    d.attenuation1 = range > 0 ? 0.2f / range : 0.0f;
    d.attenuation2 = range > 0 ? 6.0f / (range * range) : 0.0f;
    return AddLight(d);
}

Light* LightSet::AddSpotLight(const Colour& colour, const Colour& specular, const Vec3& position,
                              const Vec3& direction, float range)
{
    gfx::Light d;
    d.type = gfx::LightType::Spot;
    d.diffuse = ToColourF(colour);
    d.specular = ToColourF(specular);
    d.ambient = ToColourF(DefaultLightAmbient());
    d.position = {position.x, position.y, position.z};
    d.direction = {direction.x, direction.y, direction.z};
    d.range = range;
    d.falloff = 1.0f;
    d.attenuation0 = 0.96f;
    d.attenuation1 = range > 0 ? 0.2f / range : 0.0f;
    // The same quadratic term as a point light, so a spot fades like one.
    d.attenuation2 = range > 0 ? 6.0f / (range * range) : 0.0f;
    d.theta = 0.1f;
    d.phi = 0.2f;
    return AddLight(d);
}

Light* LightSet::AddDirectionalLight(const Colour& colour, const Colour& specular, const Vec3& direction)
{
    gfx::Light d;
    d.type = gfx::LightType::Directional;
    d.diffuse = ToColourF(colour);
    d.specular = ToColourF(specular);
    d.ambient = ToColourF(DefaultLightAmbient());
    d.direction = {direction.x, direction.y, direction.z};
    return AddLight(d);
}

void LightSet::Clear()
{
    for (Light* l : lights_)
        delete l;
    lights_.Clear();
    count_ = 0;
    material_.emissive = {1, 1, 1, material_.emissive.a};
    // The device still has the lights on and the old material.
    ListChanged();
}

void LightSet::SetEmissive(Colour colour)
{
    if (!(colour.flags & Colour::kFloatValid)) {
        colour.Unpack();
        colour.flags |= Colour::kFloatValid;
    }
    material_.emissive = {colour.red, colour.green, colour.blue, material_.emissive.a};
    material_.diffuse.a = colour.alpha;
    if (g_current == this)
        if (gfx::Device* dev = Display::Device())
            dev->SetMaterial(material_);
}

void LightSet::SetAlpha(float alpha)
{
    material_.diffuse.a = alpha;
    if (g_current == this)
        if (gfx::Device* dev = Display::Device())
            dev->SetMaterial(material_);
}

void LightSet::CreateGlobals(LightSet* handedIn)
{
    DestroyGlobals();
    g_globals[0] = new LightSet;
    g_globals[1] = new LightSet;
    g_globals[2] = handedIn;
    g_globals[3] = new LightSet;
}

void LightSet::DestroyGlobals()
{
    for (LightSet*& s : g_globals) {
        if (s)
            s->Release();
        s = nullptr;
    }
}

LightSet* LightSet::Global(int index)
{
    return index >= 0 && index < 4 ? g_globals[index] : nullptr;
}
