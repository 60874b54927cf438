#include "Veapi/screen_draw.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "camera_fixture.h"

namespace {

ScreenVertex V(float x, float y, float z = 0.5f, uint32_t colour = 0xFF000000u)
{
    ScreenVertex v;
    v.x = x, v.y = y, v.z = z, v.rhw = 1.0f, v.diffuse = colour, v.u = x / 100.0f, v.v = y / 100.0f;
    return v;
}

const ScreenClipBounds kScreen{100.0f, 80.0f, 0.0f, 1.0f};

double Area(const ScreenVertex* p, int n)
{
    double a = 0;
    for (int i = 0; i < n; ++i) {
        const ScreenVertex& s = p[i];
        const ScreenVertex& t = p[(i + 1) % n];
        a += double(s.x) * t.y - double(t.x) * s.y;
    }
    return std::abs(a) / 2;
}

struct PolygonCase {
    const char* name;
    ScreenVertex in[3];
    int vertices;   // after clipping
    double area;    // of what remains
};

TEST(ScreenClip, TrianglesAreCutToTheScreenAndDepthRange)
{
    const PolygonCase cases[] = {
        {"inside", {V(10, 10), V(50, 10), V(10, 50)}, 3, 800},
        {"wholly left", {V(-30, 10), V(-5, 10), V(-5, 40)}, 0, 0},
        {"wholly below", {V(10, 90), V(50, 90), V(10, 120)}, 0, 0},
        {"wholly beyond far", {V(10, 10, 1.5f), V(50, 10, 1.5f), V(10, 50, 1.5f)}, 0, 0},
        {"two ends left", {V(-10, 10), V(30, 10), V(-10, 50)}, 3, 450},
        {"crossing left", {V(-10, 40), V(40, 10), V(40, 70)}, 4, 1440},
        {"crossing right", {V(110, 40), V(60, 10), V(60, 70)}, 4, 1440},
        {"crossing top", {V(40, -10), V(10, 40), V(70, 40)}, 4, 1440},
        {"crossing bottom", {V(40, 90), V(10, 40), V(70, 40)}, 4, 1440},
        {"top-left corner kept", {V(-10, -10), V(30, -10), V(-10, 30)}, 3, 200},
        {"top-left corner cut off", {V(-20, 30), V(30, -20), V(60, 60)}, 5, 2200},
        {"bottom-right corner cut off", {V(120, 50), V(70, 100), V(40, 20)}, 5, 2200},
        {"covering the screen", {V(-10, -10), V(300, -10), V(-10, 300)}, 4, 8000},
        {"all on one point", {V(20, 20), V(20, 20), V(20, 20)}, 3, 0},
        {"on a line", {V(10, 10), V(20, 20), V(30, 30)}, 3, 0},
        {"half past the far depth", {V(10, 10, 0.5f), V(50, 10, 1.5f), V(10, 50, 0.5f)}, 4, 800 - 200},
    };
    for (const PolygonCase& c : cases) {
        SCOPED_TRACE(c.name);
        ScreenVertex out[ScreenDraw::kMaxClipped];
        const int n = ScreenDraw::ClipToScreen(c.in, out, kScreen);
        ASSERT_EQ(n, c.vertices);
        EXPECT_NEAR(Area(out, n), c.area, 1e-3);
        for (int i = 0; i < n; ++i) {
            EXPECT_GE(out[i].x, 0.0f);
            EXPECT_LE(out[i].x, kScreen.width);
            EXPECT_GE(out[i].y, 0.0f);
            EXPECT_LE(out[i].y, kScreen.height);
            EXPECT_LE(out[i].z, 1.0f);
            EXPECT_EQ(out[i].specular, 0u);
            // Texture coordinates follow the position they were made with.
            EXPECT_NEAR(out[i].u, out[i].x / 100.0f, 1e-5);
            EXPECT_NEAR(out[i].v, out[i].y / 100.0f, 1e-5);
        }
    }
}

TEST(ScreenClip, CutPointTakesTheColourOfTheEdgeItLeftFrom)
{
    // a and c lie left of the screen: the edge a->b enters it and b->c leaves it.
    const ScreenVertex in[3] = {V(-10, 10, 0.5f, 0xFF0000FFu), V(30, 10, 0.5f, 0xFF00FF00u),
                                V(-10, 50, 0.5f, 0xFFFF0000u)};
    ScreenVertex out[ScreenDraw::kMaxClipped];
    ASSERT_EQ(ScreenDraw::ClipToScreen(in, out, kScreen), 3);
    int fromA = 0, fromB = 0;
    for (int i = 0; i < 3; ++i) {
        if (out[i].x == 0.0f && out[i].y == 10.0f)
        {
            EXPECT_EQ(out[i].diffuse, 0xFF0000FFu);
            ++fromA;
        }
        if (out[i].x == 0.0f && out[i].y > 10.0f)
        {
            EXPECT_EQ(out[i].diffuse, 0xFF00FF00u);
            ++fromB;
        }
    }
    EXPECT_EQ(fromA, 1);
    EXPECT_EQ(fromB, 1);
}

struct LineCase {
    const char* name;
    ScreenVertex a, b;
    bool kept;
    float ax, ay, bx, by;  // ends after clipping
};

TEST(ScreenClip, LinesAreCutOrDropped)
{
    ScreenVertex lowRhw = V(10, 10);
    lowRhw.rhw = 0.5f;
    const LineCase cases[] = {
        {"inside", V(10, 10), V(90, 70), true, 10, 10, 90, 70},
        {"wholly left", V(-20, 10), V(-5, 70), false, 0, 0, 0, 0},
        {"wholly above", V(10, -20), V(90, -1), false, 0, 0, 0, 0},
        {"crossing left", V(-10, 20), V(10, 40), true, 0, 30, 10, 40},
        {"crossing right and bottom", V(50, 40), V(150, 140), true, 50, 40, 90, 80},
        {"through both sides", V(-50, 40), V(150, 40), true, 0, 40, 100, 40},
        {"missing the top-left corner", V(-10, 5), V(5, -10), false, 0, 0, 0, 0},
        {"a point inside", V(20, 20), V(20, 20), true, 20, 20, 20, 20},
        {"a point outside", V(-20, 20), V(-20, 20), false, 0, 0, 0, 0},
        {"reciprocal w below one", lowRhw, V(50, 50), false, 0, 0, 0, 0},
        {"an end beyond the far depth", V(10, 10, 1.5f), V(50, 50), false, 0, 0, 0, 0},
        {"an end before the near depth", V(10, 10), V(50, 50, -0.5f), false, 0, 0, 0, 0},
    };
    for (const LineCase& c : cases) {
        SCOPED_TRACE(c.name);
        ScreenVertex a = c.a, b = c.b;
        ASSERT_EQ(ScreenDraw::ClipLineTo(a, b, kScreen), c.kept);
        if (!c.kept)
            continue;
        EXPECT_FLOAT_EQ(a.x, c.ax);
        EXPECT_FLOAT_EQ(a.y, c.ay);
        EXPECT_FLOAT_EQ(b.x, c.bx);
        EXPECT_FLOAT_EQ(b.y, c.by);
        EXPECT_EQ(a.diffuse, c.a.diffuse);
        EXPECT_EQ(b.diffuse, c.b.diffuse);
    }
}

// ---- On the screen -------------------------------------------------------------

constexpr uint32_t kBackground = 0x000040;

class ScreenDrawScene : public scenetest::SceneTest {
protected:
    void TearDown() override
    {
        ScreenDraw::Flush();
        SceneTest::TearDown();
    }
    bool Same(int x, int y, uint32_t rgb)
    {
        const scenetest::Rgb a = Pixel(x, y), b = scenetest::Split(rgb);
        return std::abs(a.r - b.r) <= 2 && std::abs(a.g - b.g) <= 2 && std::abs(a.b - b.b) <= 2;
    }
};

TEST_F(ScreenDrawScene, ClippedLineAndTriangleShowOnlyOnTheScreen)
{
    StartScene(320, 240);
    BeginFrame(kBackground);
    Colour red, green;
    red.Set(1, 0, 0, 1);
    green.Set(0, 1, 0, 1);
    ScreenDraw::Begin();
    ScreenDraw::SetDepth(0.5f);
    // A horizontal line from far off the left edge to the middle.
    ScreenDraw::Line(-500, 50, red, 160, 50, red);
    // A triangle reaching past the right and bottom edges.
    ScreenDraw::Triangle(100, 300, green, 500, -100, green, 500, 300, green);
    // A line wholly off the screen draws nothing.
    ScreenDraw::Line(-40, 100, red, -10, 120, red);
    ScreenDraw::Flush();
    EXPECT_FALSE(ScreenDraw::Active());
    EndFrame();

    EXPECT_TRUE(Same(0, 50, 0xFF0000)) << "line cut at the left edge";
    EXPECT_TRUE(Same(100, 50, 0xFF0000));
    EXPECT_TRUE(Same(200, 50, kBackground)) << "line drawn past its end";
    EXPECT_TRUE(Same(100, 60, kBackground));
    EXPECT_TRUE(Same(319, 239, 0x00FF00)) << "triangle corner piece";
    EXPECT_TRUE(Same(310, 200, 0x00FF00));
    EXPECT_TRUE(Same(150, 100, kBackground)) << "outside the triangle";
    EXPECT_TRUE(Same(0, 110, kBackground)) << "off-screen line";
}

TEST_F(ScreenDrawScene, ThreeHundredthLineDrawsTheBufferAtOnce)
{
    StartScene(320, 240);
    BeginFrame(kBackground);
    ScreenDraw::Begin();
    ScreenDraw::SetDepth(0.5f);
    for (int i = 0; i < 299; ++i)
        ScreenDraw::WhiteLine(10, i % 200, 20, i % 200);
    EXPECT_EQ(ScreenDraw::PendingLineVertices(), 598);
    ScreenDraw::WhiteLine(10, 210, 20, 210);
    EXPECT_EQ(ScreenDraw::PendingLineVertices(), 0);
    ScreenDraw::WhiteLine(10, 220, 20, 220);
    EXPECT_EQ(ScreenDraw::PendingLineVertices(), 2);
    ScreenDraw::Flush();
    EndFrame();
    EXPECT_TRUE(Same(15, 210, 0xFFFFFF)) << "line drawn by the full buffer";
    EXPECT_TRUE(Same(15, 220, 0xFFFFFF)) << "line drawn by the flush";
    EXPECT_TRUE(Same(15, 215, kBackground));
}

} // namespace
