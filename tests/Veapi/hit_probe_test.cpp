#include <string>

#include "Veapi/primitives.h"
#include "camera_fixture.h"

namespace {

using scenetest::SceneTest;

// Remembers what was being drawn when a probe reported a hit.
struct Recorder : HitHook {
    std::string current, last;
    int hits = 0;
    void OnHit(HitProbe&) override
    {
        last = current;
        ++hits;
    }
};

ScreenPoint P(float x, float y, float z = 0.5f)
{
    return {x, y, z, 1.0f};
}

TEST(HitProbeEdges, TriangleEdgesCountAsInsideBoxEdgesAsOutside)
{
    // Clockwise on the screen (y grows down), the way front faces are wound.
    const ScreenPoint tri[3] = {P(0, 0), P(10, 0), P(0, 10)};
    struct Case {
        float x, y;
        bool inside;
    };
    const Case cases[] = {{1, 1, true}, {5, 0, true}, {0, 5, true}, {5, 5, true}, {0, 0, true},
                          {6, 6, false}, {-0.01f, 3, false}, {3, -0.01f, false}, {20, 20, false}};
    for (const Case& c : cases) {
        HitProbe p;
        p.screenX_ = c.x;
        p.screenY_ = c.y;
        EXPECT_EQ(p.TestPolygon(tri, 0.5f, 3), c.inside) << c.x << ", " << c.y;
    }
    // The same triangle turned the other way round is its back: never hit.
    const ScreenPoint back[3] = {tri[0], tri[2], tri[1]};
    HitProbe p;
    p.screenX_ = 1;
    p.screenY_ = 1;
    EXPECT_FALSE(p.TestPolygon(back, 0.5f, 3));

    // A box of screen corners: a point on the rim of its outline is outside.
    ScreenPoint box[8];
    const float xs[8] = {0, 10, 10, 0, 0, 10, 10, 0}, ys[8] = {0, 0, 10, 10, 10, 10, 0, 0};
    for (int i = 0; i < 8; ++i)
        box[i] = P(xs[i], ys[i], i < 4 ? 0.4f : 0.6f);
    const Case boxCases[] = {{5, 5, true}, {0, 5, false}, {10, 5, false}, {5, 0, false}, {11, 5, false}};
    for (const Case& c : boxCases) {
        HitProbe q;
        q.screenX_ = c.x;
        q.screenY_ = c.y;
        EXPECT_EQ(q.InsideBox(box), c.inside) << c.x << ", " << c.y;
    }
}

class Picking : public SceneTest {
protected:
    void SetUp() override
    {
        SceneTest::SetUp();
        StartScene(320, 240);
        HitProbe::Default().hook_ = &recorder_;
        HitProbe::Enabled() = true;
    }
    void TearDown() override
    {
        HitProbe::Default().hook_ = nullptr;
        HitProbe::Enabled() = false;
        SceneTest::TearDown();
    }

    struct Object {
        std::string name;
        PrimitiveDesc desc;
        Vec3 at;  // world position of the shape's origin
        float scale;
    };

    // Draws the objects for picking with the probe at a pixel; the name of
    // the object it picked, or empty.
    std::string Pick(const std::vector<Object>& objects, float x, float y, bool exact)
    {
        HitProbe& probe = HitProbe::Default();
        probe.SetScreenPoint(x, y);
        probe.exactDepth_ = exact;
        probe.Reset();
        recorder_ = Recorder{};
        BeginFrame();
        RenderMaterial::Apply(DefaultMaterial::Get(DefaultMaterial::Opaque));
        std::vector<VeShape*> shapes;
        for (const Object& o : objects) {
            VeShape* s = VeShape::FromPrimitive(o.desc);
            s->BuildPositionBuffer();
            shapes.push_back(s);
            recorder_.current = o.name;
            s->Draw(scenetest::ScaleTranslation(o.scale, o.at.x, o.at.y, o.at.z), nullptr, ShapeDraw::kHitTest);
        }
        EndFrame();
        for (VeShape* s : shapes)
            s->Release();
        return recorder_.last;
    }

    Recorder recorder_;
};

TEST_F(Picking, ObjectUnderThePointIsPicked)
{
    // Two unit boxes scaled 4 (48 pixels at distance 10, 24 at 20), the far
    // one right of the near one and partly behind it.
    const std::vector<Object> nearFirst = {
        {"near", {6, 0, 0, 0, nullptr}, {-3, -2, 10}, 4.0f},
        {"far", {6, 0, 0, 0, nullptr}, {-1, -2, 20}, 4.0f},
    };
    const std::vector<Object> farFirst = {nearFirst[1], nearFirst[0]};
    struct Case {
        const char* what;
        float x, y;
        const char* expected;
    };
    // Screen: x = 160 + 12 * world x / z * 10, y the same from 120.
    const Case cases[] = {
        {"both cover it: the nearer wins", 165, 118, "near"},
        {"only the far one", 176, 118, "far"},
        {"only the near one", 130, 118, "near"},
        {"nothing there", 300, 200, ""},
        {"above both", 150, 20, ""},
        {"screen corner", 0, 0, ""},
        {"last pixel", 319.5f, 239.5f, ""},
    };
    for (bool exact : {false, true})
        for (const auto* order : {&nearFirst, &farFirst})
            for (const Case& c : cases)
                EXPECT_EQ(Pick(*order, c.x, c.y, exact), c.expected)
                    << c.what << (exact ? " (exact depth)" : "") << (order == &farFirst ? " far drawn first" : "");
}

TEST_F(Picking, ObjectsAtTheViewportEdgesArePickedUpToTheEdge)
{
    // A grid tile over each screen corner region, reaching past the edges.
    const std::vector<Object> objects = {
        {"left", {1, 1024, 1024, 0, nullptr}, {-15, -2, 10}, 4.0f},
        {"right", {1, 1024, 1024, 0, nullptr}, {11, -2, 10}, 4.0f},
    };
    struct Case {
        float x, y;
        const char* expected;
    };
    const Case cases[] = {{0.5f, 118, "left"}, {1, 118, "left"}, {319.5f, 118, "right"}, {318, 118, "right"},
                          {160, 118, ""}};
    for (const Case& c : cases)
        EXPECT_EQ(Pick(objects, c.x, c.y, true), c.expected) << c.x;
}

// More vertices than the shared transform buffer holds (4096): still picked.
TEST_F(Picking, LargeShapesArePickedToo)
{
    const std::vector<Object> objects = {{"sphere", {11, 3, 100, 0, nullptr}, {0, 0, 12}, 1.0f}};
    for (bool exact : {false, true}) {
        EXPECT_EQ(Pick(objects, 160, 120, exact), "sphere");
        EXPECT_EQ(Pick(objects, 160 + 40, 120, exact), "") << "beside it";
    }
}

TEST_F(Picking, ExactDepthReportsWhereTheHitTriangleLies)
{
    const std::vector<Object> objects = {{"quad", {1, 1024, 1024, 0, nullptr}, {-2, -2, 10}, 4.0f}};
    ASSERT_EQ(Pick(objects, 160, 120, true), "quad");
    const HitProbe& p = HitProbe::Default();
    EXPECT_TRUE(p.hit_);
    EXPECT_NEAR(p.hitPoint_.z, 10.0f, 1e-4f);
    // The centroid of one of the quad's two triangles.
    EXPECT_GT(p.hitPoint_.x, -2.0f);
    EXPECT_LT(p.hitPoint_.x, 2.0f);
    EXPECT_LT(p.bestDepth_, 1.0f);
}

TEST_F(Picking, ShapeAroundTheEyeTestsEveryProbe)
{
    // A big box round the camera: its box reaches the near plane, so its
    // triangles are tested even though the projected box says nothing.
    const std::vector<Object> objects = {{"room", {6, 0, 0, 0, nullptr}, {-50, -50, -50}, 100.0f}};
    HitProbe::Default().SetScreenPoint(160, 120);
    BeginFrame();
    VeShape* s = VeShape::FromPrimitive(objects[0].desc);
    s->BuildPositionBuffer();
    s->Draw(scenetest::ScaleTranslation(100, -50, -50, -50), nullptr, ShapeDraw::kHitTest);
    ASSERT_NE(s->Box(), nullptr);
    EXPECT_TRUE(HitProbe::TestBoxForShape(*s->Box()));
    EndFrame();
    s->Release();
}

} // namespace
