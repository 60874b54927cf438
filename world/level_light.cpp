#include "world/level_light.h"

#include "Veapi/ve3d.h"
#include "chunk/chunk_ids.h"
#include "chunk/light_chunks.h"
#include "world/fog_of_war.h"

#include <algorithm>
#include <cmath>

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
    RemoveAll();
}

void LevelLight::RemoveAll()
{
    for (LevelPointLight* light : points_)
        delete light;
    points_.Clear();
    Clear();
    grid_ = nullptr; // the level goes next
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
    for (Light* light : LightsFor(nullptr, nullptr, n))
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
    const std::vector<Light*> lights = LightsFor(&minimum, &maximum, n);
    gfx::Device* dev = Display::Device();
    if (!dev)
        return;
    uint32_t index = 0;
    for (Light* light : lights)
        light->Enable(index++);
    for (; index < n; ++index)
        dev->LightEnable(index, false);
}

LightSet* LevelLight::Borrowed() const
{
    LightSet* global = LightSet::Global(0);
    return global != this ? global : nullptr;
}

namespace {

// Whether a point or spot light can reach the box: its range (none, or not
// a number, reaches everywhere) against the distance to the box's nearest
// point.
bool Reaches(const gfx::Light& d, const Vec3& minimum, const Vec3& maximum)
{
    if (!(d.range > 0.0f) || !std::isfinite(d.range))
        return true;
    const float p[3] = {d.position.x, d.position.y, d.position.z};
    const float lo[3] = {std::min(minimum.x, maximum.x), std::min(minimum.y, maximum.y),
                         std::min(minimum.z, maximum.z)};
    const float hi[3] = {std::max(minimum.x, maximum.x), std::max(minimum.y, maximum.y),
                         std::max(minimum.z, maximum.z)};
    float squared = 0.0f;
    for (int i = 0; i < 3; ++i) {
        const float out = p[i] < lo[i] ? lo[i] - p[i] : p[i] > hi[i] ? p[i] - hi[i] : 0.0f;
        squared += out * out;
    }
    return squared <= d.range * d.range;
}

} // namespace

std::vector<Light*> LevelLight::LightsFor(const Vec3* minimum, const Vec3* maximum, uint32_t deviceLights)
{
    std::vector<Light*> lights;
    for (Light* light : Lights())
        if (lights.size() < deviceLights)
            lights.push_back(light);
    // Borrowed directional lights are left out: the level has its own sun.
    if (LightSet* borrowed = Borrowed())
        for (Light* light : borrowed->Lights()) {
            const gfx::Light& d = light->Description();
            if (lights.size() >= deviceLights || d.type == gfx::LightType::Directional)
                continue;
            if (!minimum || !maximum || Reaches(d, *minimum, *maximum))
                lights.push_back(light);
        }
    if (minimum && maximum)
        for (LevelPointLight* light : ChooseLights(*minimum, *maximum, uint32_t(lights.size()), deviceLights))
            lights.push_back(light);
    return lights;
}

namespace {

// The words of one STDLIGHT, as a description; false with `why` set when
// the light cannot be used.
bool ReadStandardLight(const trevok::WordsChunk& chunk, float scale, gfx::Light& d, std::string& why)
{
    if (chunk.words_.size() < trevok::kStandardLightWords) {
        why = "has " + std::to_string(chunk.words_.size()) + " words, not 21";
        return false;
    }
    const int32_t type = chunk.Int(0);
    if (type < 1 || type > 3) {
        why = "has light type " + std::to_string(type) + " (1 to 3 expected)";
        return false;
    }
    for (size_t i = 2; i < trevok::kStandardLightWords; ++i)
        if (!std::isfinite(chunk.Float(i))) {
            why = "has a value that is not a number in word " + std::to_string(i);
            return false;
        }
    d = gfx::Light{};
    d.type = static_cast<gfx::LightType>(type);
    d.range = chunk.Float(2) * scale;
    if (d.range < 0 || !std::isfinite(d.range)) {
        why = "has a negative range";
        return false;
    }
    d.falloff = chunk.Float(3);
    gfx::ColourF* colours[3] = {&d.diffuse, &d.specular, &d.ambient};
    for (size_t c = 0; c < 3; ++c)
        *colours[c] = {chunk.Float(4 + 3 * c), chunk.Float(5 + 3 * c), chunk.Float(6 + 3 * c), 1.0f};
    d.position = {chunk.Float(13) * scale, chunk.Float(14) * scale, chunk.Float(15) * scale};
    d.direction = {chunk.Float(16), chunk.Float(17), chunk.Float(18)};
    d.attenuation0 = chunk.Float(19);
    d.attenuation1 = chunk.Float(20);
    return true;
}

} // namespace

int AddChunkLights(LevelLight& lights, const trevok::ParentChunk& root, float scale,
                   std::vector<std::string>* problems)
{
    int added = 0;
    std::vector<trevok::Chunk*> sets;
    root.FindChildren(trevok::chunk_id::kLightSet, sets);
    for (trevok::Chunk* chunk : sets) {
        auto* set = dynamic_cast<trevok::ParentChunk*>(chunk);
        if (!set)
            continue;
        std::string name = "?";
        if (auto* header = set->FindChildAs<trevok::LightSetHeaderChunk>(trevok::chunk_id::kLightSetHeader))
            name = trevok::ShortNameText(header->name_);
        std::vector<trevok::Chunk*> standard;
        set->FindChildren(trevok::chunk_id::kStandardLight, standard);
        for (size_t i = 0; i < standard.size(); ++i) {
            auto* words = dynamic_cast<trevok::WordsChunk*>(standard[i]);
            gfx::Light d;
            std::string why = "is not a light record";
            if (words && ReadStandardLight(*words, scale, d, why) && lights.AddLight(d)) {
                ++added;
                continue;
            }
            if (problems)
                problems->push_back("light set '" + name + "', light " + std::to_string(i + 1) + ": " + why);
        }
    }
    return added;
}

void LightRecord::Register()
{
    if (!registered)
        GlobalLightList().PushBack(this);
    registered = true;
}

void LightRecord::Unregister()
{
    if (registered)
        GlobalLightList().Remove(this);
    registered = false;
}

List<LightRecord*>& GlobalLightList()
{
    static auto* list = new List<LightRecord*>; // outlives the exit handlers
    return *list;
}

LightRecord& GlobalLightRecord()
{
    static auto* record = new LightRecord;
    return *record;
}
