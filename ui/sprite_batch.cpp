#include "ui/sprite_batch.h"

#include "platform/gfx.h"
#include "Veapi/VertBuff.h"
#include "Veapi/ve3d.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {

constexpr float kDigitColumns[11] = {0.3408f, 0.3760f, 0.4004f, 0.4336f, 0.4639f, 0.4980f,
                                     0.5283f, 0.5586f, 0.5879f, 0.6191f, 0.6494f};
constexpr float kDigitTop = 0.9268f, kDigitBottom = 0.9541f;

// Clips one axis; false when nothing of the quad is left on screen. A clipped
// edge moves the texture by half the clipped fraction.
bool ClipAxis(float& lo, float& hi, float& t0, float& t1, float extent)
{
    if (!(hi >= 0) || !(lo <= extent - 1))
        return false; // off-screen, or NaN
    const float size = hi - lo;
    const bool clipLow = lo < 0, clipHigh = hi >= extent;
    if ((clipLow || clipHigh) && !(size > 0))
        return false; // nothing to take a fraction of
    const float span = t1 - t0;
    if (clipLow) {
        t0 += -lo / (2 * size) * span;
        lo = 0;
    }
    if (clipHigh) {
        t1 -= (hi - extent) / (2 * size) * span;
        hi = extent - 1;
    }
    return true;
}

} // namespace

SpriteBatch::SpriteBatch(Sink sink) : sink_(std::move(sink))
{
    vertices_.reserve(kVertexLimit + 4);
    indices_.reserve(kIndexLimit + 6);
}

SpriteBatch::Sink SpriteBatch::DeviceSink()
{
    return [](std::span<const ScreenVertex> vertices, std::span<const uint16_t> indices, RenderMaterial* material) {
        gfx::Device* device = Display::Device();
        if (!device || vertices.empty())
            return;
        if (material)
            RenderMaterial::Apply(material);
        device->DrawIndexedPrimitive(gfx::Primitive::TriangleList, gfx::kFvfTLVertex, vertices.data(),
                                     uint32_t(vertices.size()), indices.data(), uint32_t(indices.size()));
    };
}

void SpriteBatch::SetScreen(float width, float height)
{
    width_ = width;
    height_ = height;
}

void SpriteBatch::SetMaterial(RenderMaterial* material)
{
    if (material == material_)
        return;
    Flush();
    material_ = material;
}

void SpriteBatch::DrawQuad(SpriteRect s, TextureRect t, uint32_t colour, float depth)
{
    if (int(vertices_.size()) > kVertexLimit || int(indices_.size()) > kIndexLimit)
        Flush();
    if (!ClipAxis(s.y0, s.y1, t.tv0, t.tv1, height_) || !ClipAxis(s.x0, s.x1, t.tu0, t.tu1, width_))
        return;
    // A depth of 0 or less has no perspective to give.
    const float rhw = depth > 0 ? 1.0f / depth : 1.0f;
    const auto first = uint16_t(vertices_.size());
    const auto corner = [&](float x, float y, float u, float v) {
        vertices_.push_back(ScreenVertex{x, y, depth, rhw, colour, specular_, u, v});
    };
    corner(s.x0, s.y0, t.tu0, t.tv0);
    corner(s.x1, s.y0, t.tu1, t.tv0);
    corner(s.x1, s.y1, t.tu1, t.tv1);
    corner(s.x0, s.y1, t.tu0, t.tv1);
    for (uint16_t i : {0, 1, 2, 0, 2, 3})
        indices_.push_back(uint16_t(first + i));
}

void SpriteBatch::DrawQuadFractions(SpriteRect f, const TextureRect& texture, uint32_t colour, float depth)
{
    DrawQuad({f.x0 * width_, f.x1 * width_, f.y0 * height_, f.y1 * height_}, texture, colour, depth);
}

TextureRect SpriteBatch::DigitTexture(int digit)
{
    digit = std::clamp(digit, 0, 9);
    return {kDigitColumns[digit], kDigitColumns[digit + 1], kDigitTop, kDigitBottom};
}

void SpriteBatch::DrawNumber(SpriteRect rect, int32_t value, uint32_t colour, float depth)
{
    // In 64 bits so the most negative value has a magnitude too.
    int64_t rest = std::llabs(int64_t(value));
    const float width = rect.x1 - rect.x0;
    while (rest != 0) {
        DrawQuad(rect, DigitTexture(int(rest % 10)), colour, depth);
        rect.x0 -= width;
        rect.x1 -= width;
        rest /= 10;
    }
}

TextureRect SpriteBatch::GaugeTexture(float level)
{
    level = std::isnan(level) ? 0.0f : std::clamp(level, 0.0f, 1.0f);
    TextureRect t;
    if (level > 0.667f) {
        t.tu0 = 0.6855f;
        t.tu1 = 0.6973f;
    } else if (level > 0.333f) {
        t.tu0 = 0.7324f;
        t.tu1 = 0.7451f;
    } else {
        t.tu0 = 0.7100f;
        t.tu1 = 0.7217f;
    }
    t.tv0 = 0.0918f;
    t.tv1 = (level * 263 + 94) / 1024;
    return t;
}

void SpriteBatch::DrawGauge(const SpriteRect& screen, float level, uint32_t colour, float depth)
{
    DrawQuad(screen, GaugeTexture(level), colour, depth);
}

void SpriteBatch::Flush()
{
    if (!vertices_.empty()) {
        if (sink_)
            sink_(vertices_, indices_, material_);
        ++flushes_;
    }
    Discard();
}

void SpriteBatch::Discard()
{
    vertices_.clear();
    indices_.clear();
}

namespace MenuList {
int HitTest(std::span<const Item> items, int firstShown, int count, float x, float y, int scrolledRows)
{
    if (firstShown < 0)
        firstShown = 0;
    y += 0.05f * float(scrolledRows);
    const int end = std::min<int>(int(items.size()), firstShown + std::max(count, 0));
    for (int i = firstShown; i < end; ++i) {
        const SpriteRect& r = items[size_t(i)].rect;
        if (x >= r.x0 && x <= r.x1 && y >= r.y0 && y <= r.y1)
            return items[size_t(i)].id;
    }
    return kNoItem;
}
} // namespace MenuList
