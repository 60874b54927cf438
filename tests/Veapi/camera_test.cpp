#define GL_GLEXT_PROTOTYPES 1
#include <GL/gl.h>

#include <cstring>
#include <limits>

#include "camera_fixture.h"

namespace {

using scenetest::SceneTest;
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

struct ClipCase {
    uint32_t mask;
    Vec3 point;
    uint32_t expected;
};

// Planes for these cases: near 1, far 100.
const ClipCase kClipCases[] = {
    // On the planes: the low sides are inside, the high sides outside.
    {3, {1.0f, 0, 5}, 2},
    {3, {-1.0f, 0, 5}, 0},
    {12, {0, 1.0f, 5}, 8},
    {12, {0, -1.0f, 5}, 0},
    {3, {-1.0001f, 0, 5}, 1},
    {12, {0, -1.5f, 5}, 4},
    {15, {2, 2, 5}, 2 | 8},
    {15, {-2, -2, 5}, 1 | 4},
    // Depth: near point is 16 only, never 48; far plane itself is outside.
    {48, {0, 0, 0.5f}, 16},
    {48, {0, 0, 1.0f}, 0},
    {48, {0, 0, 100.0f}, 32},
    {48, {0, 0, 99.99f}, 0},
    {32, {0, 0, 0.5f}, 0},
    {32, {0, 0, 150.0f}, 32},
    {16, {0, 0, 150.0f}, 0},
    // Only the planes of the mask are tested.
    {1, {5, 5, 500}, 0},
    {2, {5, -5, -5}, 2},
    {0, {kNaN, kNaN, kNaN}, 0},
    {64, {-9, 9, 1}, 0},
    // Before the divide: x and y against -z and z.
    {64 | 3, {2.5f, 0, 3}, 0},
    {64 | 3, {3.0f, 0, 3}, 2},
    {64 | 3, {-3.0f, 0, 3}, 0},
    {64 | 3, {-3.5f, 0, 3}, 1},
    {64 | 12, {0, 4, 3}, 8},
    {64 | 12, {0, -4, 3}, 4},
    // NaN falls outside the low planes and the near plane, inside the others.
    {1, {kNaN, 0, 5}, 1},
    {2, {kNaN, 0, 5}, 0},
    {4, {0, kNaN, 5}, 4},
    {8, {0, kNaN, 5}, 0},
    {16, {0, 0, kNaN}, 16},
    {32, {0, 0, kNaN}, 0},
    {48, {0, 0, kNaN}, 16},
    {127, {kNaN, kNaN, kNaN}, 1 | 4 | 16},
    {64 | 3, {0, 0, kNaN}, 1},
};

// The rules written out plainly, to hold every generated mask against.
uint32_t ReferenceCode(uint32_t m, const Vec3& p, float nearZ, float farZ)
{
    const bool h = m & 64;
    const float lo = h ? -p.z : -1.0f, hi = h ? p.z : 1.0f;
    uint32_t c = 0;
    if ((m & 1) && !(p.x >= lo)) c |= 1;
    if ((m & 2) && p.x >= hi) c |= 2;
    if ((m & 4) && !(p.y >= lo)) c |= 4;
    if ((m & 8) && p.y >= hi) c |= 8;
    const bool belowNear = !(p.z >= nearZ);
    if ((m & 16) && belowNear) c |= 16;
    if ((m & 32) && !belowNear && p.z >= farZ) c |= 32;
    return c;
}

TEST(ClipCodes, TableOfPointsGivesTheirCodes)
{
    ClipCodes::SetPlanes(1.0f, 100.0f);
    for (const ClipCase& c : kClipCases)
        EXPECT_EQ(ClipCodes::Table[c.mask](c.point), c.expected)
            << "mask " << c.mask << " point " << c.point.x << ", " << c.point.y << ", " << c.point.z;
}

TEST(ClipCodes, EveryMaskTestsExactlyItsPlanes)
{
    ClipCodes::SetPlanes(2.0f, 50.0f);
    const float values[] = {-60, -3, -1.0f, -0.5f, 0, 1.0f, 1.5f, 2.0f, 3, 49, 50, 60, kNaN};
    for (uint32_t m = 0; m < 128; ++m)
        for (float x : values)
            for (float y : {-1.0f, 0.0f, 1.0f, kNaN})
                for (float z : values) {
                    const Vec3 p{x, y, z};
                    ASSERT_EQ(ClipCodes::Table[m](p), ReferenceCode(m, p, 2.0f, 50.0f))
                        << "mask " << m << " point " << x << ", " << y << ", " << z;
                }
}

TEST(CameraDepthRanges, HalvingSplitsTheDepthBufferAndRestoresIt)
{
    Camera c;
    c.SetDepthHalving(true);
    EXPECT_FLOAT_EQ(c.RangeA().minZ, 0.0f);
    EXPECT_FLOAT_EQ(c.RangeA().maxZ, 0.5f);
    EXPECT_FLOAT_EQ(c.RangeB().minZ, 0.5f);
    EXPECT_FLOAT_EQ(c.RangeB().maxZ, 1.0f);
    c.SelectSecondRange(true);
    EXPECT_FLOAT_EQ(c.DeviceViewport().minZ, 0.5f);
    EXPECT_FLOAT_EQ(c.DeviceViewport().maxZ, 1.0f);
    c.SetDepthHalving(false);
    EXPECT_FALSE(c.SecondRangeSelected());
    EXPECT_FLOAT_EQ(c.RangeA().minZ, 0.0f);
    EXPECT_FLOAT_EQ(c.RangeA().maxZ, 1.0f);
    EXPECT_FLOAT_EQ(c.DeviceViewport().maxZ, 1.0f);
}

TEST(CameraDepthRanges, ReversedRangeSwapsTheCompareFunction)
{
    struct Case {
        uint32_t base, expected;
    };
    const Case cases[] = {{gfx::cmp::LessEqual, gfx::cmp::GreaterEqual}, {gfx::cmp::Less, gfx::cmp::Greater},
                          {gfx::cmp::Greater, gfx::cmp::Less}, {gfx::cmp::GreaterEqual, gfx::cmp::LessEqual},
                          {gfx::cmp::Equal, gfx::cmp::Equal}};
    for (const Case& k : cases) {
        Camera c;
        c.SetDepthRangeA(1.0f, 0.0f, 1.0f, 100.0f);
        c.SetZFunc(k.base);
        EXPECT_EQ(c.CurrentZFunc(), k.expected) << k.base;
        c.SetDepthRangeA(0.0f, 1.0f, 1.0f, 100.0f);
        EXPECT_EQ(c.CurrentZFunc(), k.base);
    }
}

TEST_F(SceneTest, ViewportEdgesStayOnTheScreen)
{
    StartScene(640, 480);
    struct Case {
        int left, top, width, height;
        gfx::Viewport expected;
    };
    const Case cases[] = {
        {700, 10, 50, 20, {639, 10, 1, 20}},   // beyond the right edge: last column, one wide
        {600, 470, 100, 100, {600, 470, 40, 10}},  // cut at the screen's edges
        {10, 10, 0, -5, {10, 10, 1, 1}},       // empty: one pixel
        {0, 0, 640, 480, {0, 0, 640, 480}},
    };
    for (const Case& k : cases) {
        Camera c;
        c.SetViewportPixels(k.left, k.top, k.width, k.height);
        const gfx::Viewport& v = c.DeviceViewport();
        EXPECT_EQ(v.x, k.expected.x) << k.left;
        EXPECT_EQ(v.y, k.expected.y) << k.top;
        EXPECT_EQ(v.width, k.expected.width) << k.width;
        EXPECT_EQ(v.height, k.expected.height) << k.height;
        EXPECT_FLOAT_EQ(c.CentreX(), float(v.x) + float(v.width) / 2);
    }
}

TEST_F(SceneTest, ProjectionAgreesWithOpenGLFeedback)
{
    StartScene(320, 240);
    camera_->SetViewportPixels(40, 30, 200, 150);
    camera_->SetYaw(0.3f);
    camera_->SetPitch(-0.2f);
    camera_->SetPosition({1, 2, -3});
    camera_->SetDepthRangeA(0.25f, 0.75f, 1.0f, 60.0f);
    BeginFrame();
    camera_->SetCurrent();
    const std::vector<Vec3> points = {{1, 2, 5}, {3, 1, 10}, {-1, 3, 20}, {2.5f, 0.5f, 40}, {0, 2, 3}};
    std::vector<float> fb(1024);
    glFeedbackBuffer(GLsizei(fb.size()), GL_3D, fb.data());
    glRenderMode(GL_FEEDBACK);
    ASSERT_TRUE(Display::Device()->DrawPrimitive(gfx::Primitive::PointList, gfx::kFvfXyz, points.data(),
                                                 uint32_t(points.size())));
    const GLint used = glRenderMode(GL_RENDER);
    EndFrame();
    std::vector<Vec3> gl;
    for (GLint i = 0; i + 3 < used;) {
        if (fb[size_t(i)] == float(GL_POINT_TOKEN)) {
            gl.push_back({fb[size_t(i) + 1], fb[size_t(i) + 2], fb[size_t(i) + 3]});
            i += 4;
        } else {
            ++i;
        }
    }
    std::vector<Vec3> ours;
    for (const Vec3& p : points) {
        Vec3 s;
        ASSERT_TRUE(camera_->Project(p, s));
        if (s.x >= 40 && s.x < 240 && s.y >= 30 && s.y < 180 && s.z >= 0.25f && s.z <= 0.75f)
            ours.push_back(s);
    }
    ASSERT_GE(ours.size(), 3u);
    ASSERT_EQ(gl.size(), ours.size());
    for (size_t i = 0; i < ours.size(); ++i) {
        // GL reports pixel corners; screen positions here name pixel centres.
        EXPECT_NEAR(gl[i].x, ours[i].x + 0.5f, 0.05f) << i;
        EXPECT_NEAR(gl[i].y, ours[i].y + 0.5f, 0.05f) << i;
        EXPECT_NEAR(gl[i].z, ours[i].z, 1e-4f) << i;
    }
}

TEST_F(SceneTest, ClipFlagsOfTheDeviceMatchTheClipCodes)
{
    StartScene();
    BeginFrame();
    // Points in view-projection space of this camera, through the device's pipeline.
    gfx::VertexBuffer source(gfx::kFvfXyz, 1, gfx::kVbSystemMemory);
    gfx::VertexBuffer out(gfx::kFvfXyzRhw, 1, gfx::kVbSystemMemory);
    const Vec3 world[] = {{0, 0, 10}, {30, 0, 10}, {-30, 0, 10}, {0, 30, 10}, {0, -30, 10}, {0, 0, 200}};
    for (const Vec3& w : world) {
        std::memcpy(source.Lock(), &w, 12);
        source.Unlock();
        gfx::ClipStatus st;
        st.flags = gfx::kClipStatusStatus;
        Display::Device()->SetClipStatus(st);
        Display::Device()->ProcessVertices(gfx::kProcessTransform | gfx::kProcessClip, out, 0, 1, source, 0);
        float c[4];
        TransformPoint4(camera_->Combined(), w, c);
        const Vec3 before{c[0], c[1], c[3]};
        // The device's x and y bits agree with the homogeneous x and y tests.
        const uint32_t ours = ClipCodes::Table[64 | 15](before);
        const uint32_t device = Display::Device()->GetClipStatus().status & 0xF;
        EXPECT_EQ((ours & 3) != 0, (device & 3) != 0) << w.x << "," << w.y << "," << w.z;
        EXPECT_EQ((ours & 12) != 0, (device & 12) != 0) << w.x << "," << w.y << "," << w.z;
    }
    EndFrame();
}

// Range A and range B of a halving camera: everything drawn in A lies in
// front of everything drawn in B, whatever the distances.
TEST_F(SceneTest, DepthRangesOrderObjects)
{
    StartScene();
    camera_->SetDepthHalving(true);
    PrimitiveDesc quad{1, 1024, 1024, 0, nullptr};
    VeShape* far = VeShape::FromPrimitive(quad);
    VeShape* near = VeShape::FromPrimitive(quad);
    struct Case {
        bool farInA;
        bool expectFarSeen;
    };
    for (const Case k : {Case{true, true}, Case{false, false}}) {
        BeginFrame();
        // No lights: each quad shows its emissive colour alone.
        LightSet* lights = new LightSet;
        lights->Apply();
        // The far quad (red emissive) at z 50, the near one (blue) at z 5, both over the centre.
        auto draw = [&](VeShape* s, bool rangeB, float z, float scale, uint32_t emissive) {
            camera_->SelectSecondRange(rangeB);
            camera_->SetCurrent();
            Colour e;
            e.packed = emissive;
            e.flags = Colour::kPackedValid;
            lights->SetEmissive(e);
            RenderMaterial::Apply(DefaultMaterial::Get(DefaultMaterial::Opaque));
            s->Draw(scenetest::ScaleTranslation(scale, -scale / 2, -scale / 2, z), nullptr, 0);
        };
        RenderMaterial::Apply(DefaultMaterial::Get(DefaultMaterial::Opaque));
        draw(far, !k.farInA, 50.0f, 40.0f, 0xFFFF0000);
        draw(near, k.farInA, 5.0f, 4.0f, 0xFF0000FF);
        EndFrame();
        const scenetest::Rgb centre = Pixel(160, 120);
        if (k.expectFarSeen)
            EXPECT_GT(centre.r, 200) << "far object in range A must cover the near one in range B";
        else
            EXPECT_GT(centre.b, 200) << "near object in range A stays in front " << centre.r << " " << centre.g << " " << centre.b;
        lights->Release();
    }
    far->Release();
    near->Release();
}

} // namespace

namespace {

TEST_F(SceneTest, ModeChangeRefitsEveryCameraViewport)
{
    StartScene(640, 480);
    Camera fractions, pixels;
    fractions.SetViewportFractions(0.5f, 0.25f, 0.5f, 0.5f);
    pixels.SetViewportPixels(600, 10, 100, 100);
    EXPECT_EQ(fractions.DeviceViewport().x, 320);
    EXPECT_EQ(pixels.DeviceViewport().width, 40);
    ASSERT_GT(Display::SetMode(320, 240, 32, Display::Flags()), 0);
    // Fractions follow the screen; pixel edges stay, kept on the screen.
    EXPECT_EQ(fractions.DeviceViewport().x, 160);
    EXPECT_EQ(fractions.DeviceViewport().y, 60);
    EXPECT_EQ(fractions.DeviceViewport().width, 160);
    EXPECT_EQ(fractions.DeviceViewport().height, 120);
    EXPECT_EQ(pixels.DeviceViewport().x, 319);
    EXPECT_EQ(pixels.DeviceViewport().width, 1);
    EXPECT_EQ(pixels.DeviceViewport().y, 10);
    EXPECT_EQ(pixels.DeviceViewport().height, 100);
    // The default probe moves with the screen too.
    EXPECT_FLOAT_EQ(HitProbe::Default().screenX_, 160.0f);
    EXPECT_FLOAT_EQ(HitProbe::Default().screenY_, 120.0f);
}

// A camera current before the device was opened again has lost its
// transforms with the old device: the render queue, which programs a
// request's camera only when it is not the current one, must program it.
TEST_F(SceneTest, AReopenedDeviceHasNoCurrentCamera)
{
    StartScene(320, 240);
    Camera camera;
    camera.SetCurrent();
    ASSERT_EQ(Camera::Current(), &camera);
    Display::CloseDevice();
    ASSERT_TRUE(Display::OpenDevice());
    EXPECT_EQ(Camera::Current(), nullptr);
}

TEST(CameraDepthRanges, ToggleSwitchesOnlyHalvingCameras)
{
    Camera halving, plain;
    halving.SetDepthHalving(true);
    Camera::ToggleAllSecondRanges();
    EXPECT_TRUE(halving.SecondRangeSelected());
    EXPECT_FALSE(plain.SecondRangeSelected());
    EXPECT_FLOAT_EQ(halving.DeviceViewport().minZ, 0.5f);
    Camera::ToggleAllSecondRanges();
    EXPECT_FALSE(halving.SecondRangeSelected());
    EXPECT_FLOAT_EQ(halving.DeviceViewport().maxZ, 0.5f);
}

} // namespace
