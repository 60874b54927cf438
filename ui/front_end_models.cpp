#include "ui/front_end_models.h"

#include "Veapi/light_set.h"
#include "Veapi/VertBuff.h"
#include "Veapi/texture_manager.h"
#include "Veapi/ve_object.h"
#include "Veapi/ve_shape.h"
#include "app/app_time.h"
#include "objects/shape_cache.h"
#include "ui/screen_camera.h"

#include <algorithm>

namespace FrontEndModels {
namespace {

constexpr std::array<float, 4> kLookColours[3] = {
    {0.35f, 0.35f, 0.4f, 1.0f}, // disabled: grey
    {0.0f, 0.9f, 0.0f, 1.0f},   // normal: the rows' green
    {1.0f, 0.95f, 0.4f, 1.0f},  // highlighted
};

// The menu's pieces live for the whole run; the shell's exit handlers reach
// them through the front end, so they sit at namespace scope.
std::array<VeObject*, 3> g_buttons{};
std::array<LightSet*, 3> g_looks{};
// Each row's bar: its material, lit by the row's glow, and the three
// pieces (left cap, middle, right cap) drawn in it.
struct RowBar {
    LightSet* lights = nullptr;
    std::array<VeObject*, 3> pieces{};
};
std::array<RowBar, kBarRows> g_rows{};
TextureEntry* g_texture = nullptr;

uint64_t Now() { return uint64_t(std::max<int64_t>(AppTime::RealNow(), 0)); }

} // namespace

Look LookFor(bool enabled, bool highlighted)
{
    if (!enabled)
        return kDisabled;
    return highlighted ? kHighlighted : kNormal;
}

std::array<float, 4> LookColour(Look look) { return kLookColours[size_t(std::clamp<int>(look, kDisabled, kHighlighted))]; }

float BarLevel(float glow) { return std::clamp(MenuItem::kBarLevelPerGlow * glow, 0.0f, 1.0f); }

void Load()
{
    Release();
    // Held while the menu shows, so the buttons' sheet stays loaded.
    g_texture = TextureManager::Find(kTexture);
    TextureManager::LoadPending();
    for (size_t i = 0; i < g_buttons.size(); ++i) {
        VeShape* shape = ShapeCache::Get(kModelFile, kButtonParts[i]);
        if (!shape)
            continue;
        VeObject* object = VeObject::FromShape(shape, false);
        shape->Release();
        object->placement_.SetPosition({kCentreX, kCentreY, kDepth});
        object->placement_.SetScale({kScaleX, kScaleY, kScaleZ});
        g_buttons[i] = object;
    }
    for (size_t i = 0; i < g_looks.size(); ++i) {
        g_looks[i] = new LightSet;
        const auto c = kLookColours[i];
        Colour colour;
        colour.Set(c[0], c[1], c[2], c[3]);
        g_looks[i]->SetEmissive(colour);
    }
    // One unit quad facing the camera, placed and stretched per piece.
    PrimitiveDesc quad;
    quad.kind = 1;
    quad.p1 = quad.p2 = 1024;
    VeShape* piece = VeShape::FromPrimitive(quad);
    for (RowBar& row : g_rows) {
        row.lights = new LightSet;
        // Lit by its glow alone.
        row.lights->Material().diffuse = {0, 0, 0, 0};
        for (VeObject*& object : row.pieces)
            object = VeObject::FromShape(piece, false);
    }
    piece->Release(); // the pieces hold it
}

void Release()
{
    for (VeObject*& object : g_buttons) {
        if (object)
            object->Release();
        object = nullptr;
    }
    for (LightSet*& look : g_looks) {
        if (look)
            look->Release();
        look = nullptr;
    }
    for (RowBar& row : g_rows) {
        for (VeObject*& object : row.pieces) {
            if (object)
                object->Release();
            object = nullptr;
        }
        if (row.lights)
            row.lights->Release();
        row.lights = nullptr;
    }
    if (g_texture)
        TextureManager::Unuse(g_texture);
    g_texture = nullptr;
}

bool HasButton(Button button) { return button >= 0 && size_t(button) < g_buttons.size() && g_buttons[size_t(button)]; }

void DrawButton(Button button, Look look)
{
    if (!HasButton(button))
        return;
    LightSet* lights = g_looks[size_t(std::clamp<int>(look, kDisabled, kHighlighted))];
    g_buttons[size_t(button)]->QueueDraw(Now(), ScreenCamera::Get(), lights, nullptr, 0, 0, nullptr, nullptr,
                                         nullptr);
}

int DrawRowBars(int row, const MenuItem& item)
{
    if (row < 1 || row > kBarRows)
        return 0;
    RowBar& bar = g_rows[size_t(row - 1)];
    if (!bar.lights)
        return 0;
    // A row without glow is queued too: its bar is then black and clear.
    const float level = BarLevel(item.glow);
    Colour colour;
    colour.Set(level, level, level, level);
    bar.lights->SetEmissive(colour);
    const auto pieces = item.Pieces(row);
    int queued = 0;
    for (size_t i = 0; i < pieces.size(); ++i) {
        VeObject* object = bar.pieces[i];
        const RowPiece& p = pieces[i];
        object->placement_.SetPosition({p.x, p.y, p.depth});
        object->placement_.SetScale({p.scaleX, p.scaleY, 1.0f});
        object->QueueDraw(Now(), ScreenCamera::Get(), bar.lights, DefaultMaterial::Get(DefaultMaterial::Blended), 0, 0,
                          nullptr, nullptr, nullptr);
        ++queued;
    }
    return queued;
}

} // namespace FrontEndModels
