#include "world/level_light.h"

#include "Veapi/ve3d.h"
#include "world/fog_of_war.h"

#include <algorithm>

namespace {

int32_t Block(int32_t index)
{
    return index & ~3;
}

} // namespace

LevelPointLight::LevelPointLight(const gfx::Light& description, LevelGrid* grid)
    : Light(description), grid_(grid), base_(description.specular)
{
    filed_.centre = GetPosition();
    filed_.radius = description.range;
    if (grid_)
        grid_->FileLight(filed_);
}

LevelPointLight::~LevelPointLight()
{
    if (grid_)
        grid_->UnfileLight(filed_);
}

Vec3 LevelPointLight::GetPosition() const
{
    const gfx::Vector3& p = Description().position;
    return {p.x, p.y, p.z};
}

void LevelPointLight::SetPosition(float x, float y, float z)
{
    SetPosition(Vec3{x, y, z});
}

void LevelPointLight::SetPosition(const Vec3& position)
{
    const Vec3 old = GetPosition();
    Light::SetPosition(position);
    filed_.centre = position;
    if (!grid_ || !grid_->HasCells())
        return;
    const CellIndex a = grid_->CellOf(old), b = grid_->CellOf(position);
    if (Block(a.x) == Block(b.x) && Block(a.z) == Block(b.z))
        return;
    grid_->UnfileLight(filed_);
    grid_->FileLight(filed_);
}

void LevelPointLight::SetSpecular(float r, float g, float b, float a)
{
    base_ = {r, g, b, a};
    Description().specular.a = a;
    ApplyIntensity();
}

void LevelPointLight::SetIntensity(float factor)
{
    intensity_ = factor;
    ApplyIntensity();
}

void LevelPointLight::ApplyIntensity()
{
    gfx::ColourF& s = Description().specular;
    s.r = intensity_ * base_.r;
    s.g = intensity_ * base_.g;
    s.b = intensity_ * base_.b;
}

LevelLight::LevelLight(LevelGrid* grid) : grid_(grid) {}

LevelLight::~LevelLight()
{
    if (Current() == this)
        DisableLights();
    for (LevelPointLight* light : points_)
        delete light;
}

uint32_t LevelLight::DeviceLights()
{
    const uint32_t n = Display::Caps().maxActiveLights;
    return n == 0 ? 8u : n;
}

Light* LevelLight::AddLight(const gfx::Light& description)
{
    if (description.type == gfx::LightType::Directional)
        return LightSet::AddLight(description);
    auto* light = new LevelPointLight(description, grid_);
    points_.PushBack(light);
    return light;
}

void LevelLight::RemoveLight(Light* light)
{
    if (!light)
        return;
    for (LevelPointLight* point : points_)
        if (point == light) {
            points_.Remove(point);
            delete point;
            return;
        }
    LightSet::RemoveLight(light);
}

void LevelLight::Apply()
{
    LightSet::Apply(); // material, and this set becomes the current one
    gfx::Device* dev = Display::Device();
    if (!dev)
        return;
    const uint32_t n = DeviceLights();
    uint32_t index = 0;
    for (Light* light : Lights())
        if (index < n)
            light->Enable(index++);
    for (; index < n; ++index)
        dev->LightEnable(index, false);
}

void LevelLight::DisableLights()
{
    if (gfx::Device* dev = Display::Device())
        for (uint32_t i = DeviceLights(); i-- > 0;)
            dev->LightEnable(i, false);
}

std::vector<LevelPointLight*> LevelLight::ChooseLights(const Vec3& minimum, const Vec3& maximum, uint32_t firstFree,
                                                       uint32_t deviceLights)
{
    std::vector<LevelPointLight*> chosen;
    if (!grid_ || !grid_->HasCells())
        return chosen;
    const uint32_t slots = deviceLights > firstFree ? deviceLights - firstFree : 0;
    const CellIndex lo = grid_->CellOf(minimum), hi = grid_->CellOf(maximum);
    std::vector<const FiledLight*> visited;
    const FogOfWar* fog = FogOfWar::Global();
    for (int32_t z = Block(std::min(lo.z, hi.z)); z <= Block(std::max(lo.z, hi.z)); z += 4)
        for (int32_t x = Block(std::min(lo.x, hi.x)); x <= Block(std::max(lo.x, hi.x)); x += 4)
            for (const FiledLight* filed : grid_->Cell({x, 0, z}).lights) {
                if (std::find(visited.begin(), visited.end(), filed) != visited.end())
                    continue;
                visited.push_back(filed);
                LevelPointLight* light = nullptr;
                for (LevelPointLight* p : points_)
                    if (&p->filed_ == filed)
                        light = p;
                if (!light)
                    continue;
                const float visibility = fog ? float(fog->VisibilityAt(light->GetPosition())) : 0.0f;
                light->SetIntensity(1.0f - visibility * (1.0f / 254.0f));
                if (chosen.size() < slots) {
                    chosen.push_back(light);
                    continue;
                }
                for (LevelPointLight*& held : chosen)
                    if (held->Range() < light->Range()) {
                        held = light;
                        break;
                    }
            }
    return chosen;
}

void LevelLight::OnDrawBounds(const Vec3& minimum, const Vec3& maximum)
{
    const uint32_t n = DeviceLights();
    const uint32_t firstFree = uint32_t(LightCount());
    const std::vector<LevelPointLight*> chosen = ChooseLights(minimum, maximum, firstFree, n);
    gfx::Device* dev = Display::Device();
    if (!dev)
        return;
    uint32_t index = firstFree;
    for (LevelPointLight* light : chosen)
        light->Enable(index++);
    for (; index < n; ++index)
        dev->LightEnable(index, false);
}
