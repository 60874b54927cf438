// The interface's flat markers, digits and gauges: textured screen quads
// gathered in one vertex batch per material and handed to a sink when the
// batch fills, the material changes or the caller flushes. The HUD, the
// upgrade screen and the menus draw through it.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "Veapi/screen_draw.h"

class RenderMaterial;

struct SpriteRect {
    float x0 = 0, x1 = 0, y0 = 0, y1 = 0; // pixels, or screen fractions where said
};
struct TextureRect {
    float tu0 = 0, tu1 = 1, tv0 = 0, tv1 = 1;
};

class SpriteBatch {
public:
    // A batch is drawn before a quad once it holds more than this.
    static constexpr int kVertexLimit = 2037;
    static constexpr int kIndexLimit = 3053;

    using Sink = std::function<void(std::span<const ScreenVertex> vertices, std::span<const uint16_t> indices,
                                    RenderMaterial* material)>;

    explicit SpriteBatch(Sink sink);
    // Draws each batch on the display's device with its material applied;
    // nothing without a device.
    static Sink DeviceSink();
    SpriteBatch(const SpriteBatch&) = delete;
    SpriteBatch& operator=(const SpriteBatch&) = delete;

    void SetScreen(float width, float height);
    void SetSpecular(uint32_t specular) { specular_ = specular; }
    // Draws what is pending first when the material differs.
    void SetMaterial(RenderMaterial* material);

    // Clips the quad to the screen; the texture follows half the clipped
    // fraction, as the atlases were laid out for.
    void DrawQuad(SpriteRect screen, TextureRect texture, uint32_t colour, float depth);
    void DrawQuadFractions(SpriteRect fractions, const TextureRect& texture, uint32_t colour, float depth);
    // Digits from right to left, `last` being the rightmost digit's place;
    // a negative value draws its magnitude, 0 draws nothing.
    void DrawNumber(SpriteRect last, int32_t value, uint32_t colour, float depth);
    // `level` is clamped to 0..1.
    void DrawGauge(const SpriteRect& screen, float level, uint32_t colour, float depth);

    void Flush();
    void Discard();

    std::span<const ScreenVertex> PendingVertices() const { return vertices_; }
    std::span<const uint16_t> PendingIndices() const { return indices_; }
    int Flushes() const { return flushes_; }

    // The texture rectangle of digit 0..9 in the plate atlas.
    static TextureRect DigitTexture(int digit);
    static TextureRect GaugeTexture(float level);

private:
    Sink sink_;
    RenderMaterial* material_ = nullptr;
    float width_ = 640, height_ = 480;
    uint32_t specular_ = 0;
    std::vector<ScreenVertex> vertices_;
    std::vector<uint16_t> indices_;
    int flushes_ = 0;
};

// The highlighted item of a list of rectangles under the pointer. Rows
// scrolled out of view move the pointer down by 0.05 each.
namespace MenuList {
inline constexpr int kNoItem = 256;
struct Item {
    int id = 0;
    SpriteRect rect; // screen fractions
};
int HitTest(std::span<const Item> items, int firstShown, int count, float pointerX, float pointerY,
            int scrolledRows);
} // namespace MenuList
