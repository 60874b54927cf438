#include "ui/sprite_batch.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <vector>

namespace {

struct Drawn {
    std::vector<ScreenVertex> vertices;
    std::vector<uint16_t> indices;
};

class SpriteBatchTest : public ::testing::Test {
protected:
    SpriteBatchTest()
        : batch_([this](std::span<const ScreenVertex> v, std::span<const uint16_t> i, RenderMaterial*) {
              batches_.push_back({{v.begin(), v.end()}, {i.begin(), i.end()}});
          })
    {
        batch_.SetScreen(640, 480);
    }
    std::vector<Drawn> batches_;
    SpriteBatch batch_;
};

struct ClipCase {
    const char* name;
    SpriteRect screen;
    bool kept;
    SpriteRect expected;  // clipped corners
    TextureRect texture;  // of a 0..1 source
};

// Half of the clipped fraction moves the texture edge.
const ClipCase kClipCases[] = {
    {"inside", {10, 50, 20, 60}, true, {10, 50, 20, 60}, {0, 1, 0, 1}},
    {"left half off", {-40, 40, 10, 20}, true, {0, 40, 10, 20}, {0.25f, 1, 0, 1}},
    {"right off", {600, 680, 10, 20}, true, {600, 639, 10, 20}, {0, 0.75f, 0, 1}},
    {"top half off", {10, 20, -10, 10}, true, {10, 20, 0, 10}, {0, 1, 0.25f, 1}},
    {"bottom off", {10, 20, 440, 520}, true, {10, 20, 440, 479}, {0, 1, 0, 0.75f}},
    {"wholly above", {10, 20, -30, -1}, false, {}, {}},
    {"wholly right", {640, 700, 10, 20}, false, {}, {}},
    {"zero width across the left edge", {-5, -5, 10, 20}, false, {}, {}},
    {"inverted across the bottom edge", {10, 20, 500, 470}, false, {}, {}},
    {"NaN", {NAN, 20, 10, 20}, false, {}, {}},
};

TEST_F(SpriteBatchTest, ClipsToTheScreen)
{
    for (const ClipCase& c : kClipCases) {
        SCOPED_TRACE(c.name);
        batch_.Discard();
        batch_.DrawQuad(c.screen, {0, 1, 0, 1}, 0xFF00FF00u, 0.5f);
        const auto v = batch_.PendingVertices();
        if (!c.kept) {
            EXPECT_TRUE(v.empty());
            continue;
        }
        ASSERT_EQ(v.size(), 4u);
        for (const ScreenVertex& x : v)
            EXPECT_TRUE(std::isfinite(x.u) && std::isfinite(x.v));
        EXPECT_FLOAT_EQ(v[0].x, c.expected.x0);
        EXPECT_FLOAT_EQ(v[0].y, c.expected.y0);
        EXPECT_FLOAT_EQ(v[2].x, c.expected.x1);
        EXPECT_FLOAT_EQ(v[2].y, c.expected.y1);
        EXPECT_FLOAT_EQ(v[0].u, c.texture.tu0);
        EXPECT_FLOAT_EQ(v[0].v, c.texture.tv0);
        EXPECT_FLOAT_EQ(v[2].u, c.texture.tu1);
        EXPECT_FLOAT_EQ(v[2].v, c.texture.tv1);
        EXPECT_FLOAT_EQ(v[1].u, c.texture.tu1); // top-right
        EXPECT_FLOAT_EQ(v[3].v, c.texture.tv1); // bottom-left
        EXPECT_FLOAT_EQ(v[0].rhw, 2.0f);
        EXPECT_EQ(v[0].diffuse, 0xFF00FF00u);
    }
}

TEST_F(SpriteBatchTest, FractionsScaleByTheScreen)
{
    batch_.DrawQuadFractions({0.25f, 0.5f, 0.5f, 0.75f}, {}, 0, 1);
    const auto v = batch_.PendingVertices();
    ASSERT_EQ(v.size(), 4u);
    EXPECT_FLOAT_EQ(v[0].x, 160);
    EXPECT_FLOAT_EQ(v[2].x, 320);
    EXPECT_FLOAT_EQ(v[0].y, 240);
    EXPECT_FLOAT_EQ(v[2].y, 360);
}

struct NumberCase {
    int32_t value;
    std::vector<int> digits; // right to left
};

TEST_F(SpriteBatchTest, NumbersRightToLeft)
{
    const NumberCase cases[] = {
        {407, {7, 0, 4}},
        {0, {}},
        {5, {5}},
        {-407, {7, 0, 4}},
        {INT_MIN, {8, 4, 6, 3, 8, 4, 7, 4, 1, 2}},
        {INT_MAX, {7, 4, 6, 3, 8, 4, 7, 4, 1, 2}},
    };
    for (const NumberCase& c : cases) {
        SCOPED_TRACE(c.value);
        batch_.Discard();
        batch_.DrawNumber({300, 310, 100, 116}, c.value, 0, 1);
        const auto v = batch_.PendingVertices();
        ASSERT_EQ(v.size(), c.digits.size() * 4);
        for (size_t i = 0; i < c.digits.size(); ++i) {
            const TextureRect t = SpriteBatch::DigitTexture(c.digits[i]);
            EXPECT_FLOAT_EQ(v[i * 4].x, 300 - 10.0f * float(i));
            EXPECT_FLOAT_EQ(v[i * 4 + 2].x, 310 - 10.0f * float(i));
            EXPECT_FLOAT_EQ(v[i * 4].u, t.tu0);
            EXPECT_FLOAT_EQ(v[i * 4 + 2].u, t.tu1);
        }
    }
}

TEST(SpriteBatchTextures, DigitAtlasColumns)
{
    EXPECT_FLOAT_EQ(SpriteBatch::DigitTexture(0).tu0, 0.3408f);
    EXPECT_FLOAT_EQ(SpriteBatch::DigitTexture(9).tu1, 0.6494f);
    EXPECT_FLOAT_EQ(SpriteBatch::DigitTexture(4).tu0, 0.4639f);
    EXPECT_FLOAT_EQ(SpriteBatch::DigitTexture(4).tv1, 0.9541f);
}

TEST(SpriteBatchTextures, GaugeLevels)
{
    struct Case {
        float level;
        float tu0, tv1;
    };
    const Case cases[] = {
        {1.0f, 0.6855f, 357.0f / 1024}, {0.5f, 0.7324f, 225.5f / 1024}, {0.2f, 0.7100f, 146.6f / 1024},
        {0.0f, 0.7100f, 94.0f / 1024},  {-3.0f, 0.7100f, 94.0f / 1024}, {7.0f, 0.6855f, 357.0f / 1024},
        {NAN, 0.7100f, 94.0f / 1024},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.level);
        const TextureRect t = SpriteBatch::GaugeTexture(c.level);
        EXPECT_FLOAT_EQ(t.tu0, c.tu0);
        EXPECT_FLOAT_EQ(t.tv0, 0.0918f);
        EXPECT_NEAR(t.tv1, c.tv1, 1e-6);
    }
}

TEST_F(SpriteBatchTest, FlushesBeforeItsLimits)
{
    // 509 quads make 2036 vertices and 3054 indices: the next quad's
    // vertex 2037 starts a new batch.
    for (int i = 0; i < 600; ++i)
        batch_.DrawQuad({1, 2, 1, 2}, {}, 0, 1);
    ASSERT_EQ(batches_.size(), 1u);
    EXPECT_EQ(batches_[0].vertices.size(), 2036u);
    EXPECT_EQ(batches_[0].indices.size(), 3054u);
    EXPECT_EQ(batches_[0].indices.back(), 2035);
    EXPECT_EQ(batch_.PendingVertices().size(), 91u * 4);
    EXPECT_EQ(batch_.PendingIndices()[0], 0);
    batch_.Flush();
    EXPECT_EQ(batches_.size(), 2u);
    batch_.Flush();
    EXPECT_EQ(batches_.size(), 2u) << "an empty batch is not drawn";
}

TEST_F(SpriteBatchTest, MaterialChangeFlushes)
{
    auto* a = reinterpret_cast<RenderMaterial*>(uintptr_t(16));
    auto* b = reinterpret_cast<RenderMaterial*>(uintptr_t(32));
    batch_.SetMaterial(a);
    batch_.DrawQuad({1, 2, 1, 2}, {}, 0, 1);
    batch_.SetMaterial(a);
    EXPECT_TRUE(batches_.empty());
    batch_.SetMaterial(b);
    EXPECT_EQ(batches_.size(), 1u);
}

TEST(MenuListHitTest, HighlightsTheItemUnderThePointer)
{
    const MenuList::Item items[] = {
        {10, {0.1f, 0.5f, 0.10f, 0.15f}}, {11, {0.1f, 0.5f, 0.15f, 0.20f}}, {12, {0.1f, 0.5f, 0.20f, 0.25f}}};
    struct Case {
        int first, count;
        float x, y;
        int scrolled;
        int id;
    };
    const Case cases[] = {
        {0, 3, 0.2f, 0.12f, 0, 10}, {0, 3, 0.2f, 0.17f, 0, 11},     {0, 1, 0.2f, 0.17f, 0, 256},
        {0, 3, 0.2f, 0.12f, 2, 12}, {1, 5, 0.2f, 0.12f, 0, 256},    {0, 3, 0.6f, 0.12f, 0, 256},
        {-1, 3, 0.2f, 0.22f, 0, 12}, {0, -2, 0.2f, 0.12f, 0, 256},
    };
    for (const Case& c : cases)
        EXPECT_EQ(MenuList::HitTest(items, c.first, c.count, c.x, c.y, c.scrolled), c.id)
            << c.first << " " << c.y << " " << c.scrolled;
}

} // namespace
