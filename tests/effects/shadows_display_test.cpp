// The projected pass on a real device: a box's shadow falls on a floor under
// a sun straight overhead; the darkened pixels are checked against the box's
// footprint projected on the CPU, and the stencil operations read back.
#include "effects/shadows.h"

#include "Veapi/VertBuff.h"
#include "Veapi/hierarchy.h"
#include "Veapi/camera.h"
#include "Veapi/ve3d.h"
#include "Veapi/ve_object.h"
#include "Veapi/ve_shape.h"
#include "Veapi/screenshot.h"
#include "world/level.h"

#include "Veapi/camera_fixture.h"
#include "Veapi/display_fixture.h"
#include "Veapi/texture_manager.h"
#include "world/collision_polygon.h"
#include "review_screens.h"
#include "shadow_test_shapes.h"

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#ifdef TREVOK_HAVE_EMBREE
#include <embree3/rtcore.h>
#endif

namespace {

constexpr int kWidth = 320, kHeight = 240;
constexpr uint32_t kFloorColour = 0xFFC0C0C0;
constexpr float kFloorY = 2.0f;
// The box: x -0.5..0.5, y 0..1 (above the floor; y grows down), z 5..6.
constexpr float kBoxX0 = -0.5f, kBoxX1 = 0.5f, kBoxZ0 = 5.0f, kBoxZ1 = 6.0f;

struct ColouredVertex {
    float x, y, z;
    uint32_t diffuse;
};

class ProjectedShadows : public displaytest::DisplayTest {
protected:
    void SetUp() override
    {
        DisplayTest::SetUp();
        InstallSceneHooks();
        Start(kWidth, kHeight, 32);
        MainCamera& camera = MainCamera::Get();
        camera.SetViewSize(2.0f * float(kWidth) / float(kHeight), 2.0f);
        camera.SetNearFar(0.5f, 100.0f);
        camera.SetPosition({0, -1, 0});
        camera.SetYaw(0);
        camera.SetPitch(0);
        camera.SetCurrent();
        SetSunDirection({0, 1, 0});
        VeShape* box = shadowtest::ShapeOf(shadowtest::Box({kBoxX0, 0, kBoxZ0}, {kBoxX1, 1, kBoxZ1}));
        std::unique_ptr<ShapeInstance> tree(ShapeInstance::FromShape(box, false));
        box->Release();
        level_ = std::make_unique<Level>(std::move(tree), Vec3(0, 0, 0), nullptr);
        level_->minimum_ = {-10, -5, 0};
        level_->maximum_ = {10, kFloorY, 30};
        level_->floorHeight_ = kFloorY;
        Level::Current() = level_.get();
        StaticShadows::SetLevelScript({});
    }
    void TearDown() override
    {
        Shadows::Shutdown();
        ShadowMode = 0;
        Level::Current() = nullptr;
        level_.reset();
        DisplayTest::TearDown();
    }

    void DrawFloor()
    {
        gfx::Device& dev = *Display::Device();
        dev.SetTransform(gfx::TransformType::World, gfx::Matrix{});
        dev.SetRenderState(gfx::RenderState::Lighting, 0);
        dev.SetRenderState(gfx::RenderState::ZEnable, 1);
        dev.SetRenderState(gfx::RenderState::ZWriteEnable, 1);
        dev.SetRenderState(gfx::RenderState::CullMode, gfx::cull::None);
        dev.SetTexture(0, nullptr);
        const ColouredVertex floor[6] = {
            {-20, kFloorY, 1, kFloorColour},  {20, kFloorY, 1, kFloorColour},  {20, kFloorY, 60, kFloorColour},
            {-20, kFloorY, 1, kFloorColour},  {20, kFloorY, 60, kFloorColour}, {-20, kFloorY, 60, kFloorColour},
        };
        dev.DrawPrimitive(gfx::Primitive::TriangleList, gfx::kFvfXyz | gfx::kFvfDiffuse, floor, 6);
    }

    // One frame: clear, floor, the projected pass; the back buffer's pixels.
    std::vector<uint32_t> Frame(std::vector<float>* depth = nullptr, bool objectShadows = false)
    {
        Display::ClearColour() = 0xFF000000;
        EXPECT_TRUE(Display::BeginScene());
        Display::Clear();
        MainCamera::Get().SetCurrent();
        DrawFloor();
        // The world effect list's update draws the shadows of modes 1 and 2,
        // lit as the device state cache believes (the floor switched the
        // lighting off behind its back).
        if (objectShadows) {
            Display::Device()->SetRenderState(gfx::RenderState::Lighting, 1);
            Shadows::ObjectCallback()();
        }
        Shadows::FramePass()();
        std::vector<uint8_t> bytes;
        int pitch = 0;
        EXPECT_TRUE(gfx::ReadScreen(false, bytes, pitch));
        if (depth) {
            EXPECT_TRUE(gfx::ReadDepth(*depth));
        }
        Display::EndFrame(nullptr, nullptr);
        std::vector<uint32_t> pixels(size_t(kWidth * kHeight));
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x) {
                const uint8_t* p = &bytes[size_t(y * pitch + x * 4)];
                pixels[size_t(y * kWidth + x)] = uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
            }
        return pixels;
    }

    // The CPU's answer: the pixel's floor point, cast up towards the sun,
    // meets the box (a ray straight up from inside its footprint). Returns 0
    // outside, 1 inside, 2 within a pixel of the edge. The box spans x0..x1.
    int Expected(int x, int y, float x0 = kBoxX0, float x1 = kBoxX1)
    {
        int inside = 0, total = 0;
        for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx) {
                Vec3 p;
                if (!FloorPoint(float(x + dx), float(y + dy), p))
                    return 2;
                ++total;
                inside += p.x > x0 && p.x < x1 && p.z > kBoxZ0 && p.z < kBoxZ1;
            }
        return inside == 0 ? 0 : inside == total ? 1 : 2;
    }

    // Where the pixel's ray meets the floor plane, by bisection on Project.
    bool FloorPoint(float px, float py, Vec3& out)
    {
        MainCamera& camera = MainCamera::Get();
        // Search the floor grid point whose projection is nearest; the floor
        // is flat so projection is monotonic in x and z along screen axes.
        float zLow = 1.0f, zHigh = 60.0f;
        Vec3 s;
        for (int i = 0; i < 40; ++i) {
            const float z = 0.5f * (zLow + zHigh);
            if (!camera.Project({0, kFloorY, z}, s))
                return false;
            (s.y > py ? zLow : zHigh) = z;
        }
        const float z = 0.5f * (zLow + zHigh);
        float xLow = -40.0f, xHigh = 40.0f;
        for (int i = 0; i < 40; ++i) {
            const float x = 0.5f * (xLow + xHigh);
            if (!camera.Project({x, kFloorY, z}, s))
                return false;
            (s.x < px ? xLow : xHigh) = x;
        }
        out = {0.5f * (xLow + xHigh), kFloorY, z};
        return z > 1.01f && z < 59.0f;
    }

    void Check(bool asCaster, bool deviceLost);

    std::unique_ptr<Level> level_;
};

bool Darkened(uint32_t rgb)
{
    return ((rgb >> 16) & 0xFF) < 0xA0;
}

} // namespace

// The same box as the level's own geometry (mode 4) and as a character's
// shadow hierarchy (mode 3) casts the same shadow.
// Also after the device lost its objects between start-up and the frame.
TEST_F(ProjectedShadows, DarkensExactlyTheFloorUnderTheBox)
{
    for (const bool deviceLost : {false, true})
        for (const bool asCaster : {false, true}) {
            SCOPED_TRACE(std::string(asCaster ? "caster" : "level") + (deviceLost ? ", device lost" : ""));
            Check(asCaster, deviceLost);
        }
}

void ProjectedShadows::Check(bool asCaster, bool deviceLost)
{
    auto* hierarchy = new Hierarchy;
    hierarchy->shapes_[0] = shadowtest::ShapeOf(shadowtest::Box({kBoxX0, 0, kBoxZ0}, {kBoxX1, 1, kBoxZ1}));
    shadowtest::TestCaster caster({"Body"}, hierarchy);
    caster.floor_ = kFloorY;
    ShadowMode = asCaster ? 3 : 4;
    Shadows::Startup();
    if (asCaster) {
        Shadows::AddCaster(&caster);
        ASSERT_EQ(Shadows::Casters().size(), 1u);
    } else {
        ASSERT_EQ(StaticShadows::DataOf(*level_).edges.size(), 12u);
    }
    if (deviceLost) {
        Display::ReleaseDeviceObjects();
        Display::RestoreDeviceObjects();
    }
    const std::vector<uint32_t> pixels = Frame();
    Shadows::Shutdown();
    hierarchy->Release();
    int darkInside = 0, wrong = 0;
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            const int expect = Expected(x, y);
            const uint32_t px = pixels[size_t(y * kWidth + x)];
            if (expect == 2)
                continue;
            if (expect == 1) {
                darkInside += Darkened(px);
                wrong += !Darkened(px);
            } else if (px != 0 && px != (kFloorColour & 0xFFFFFF)) {
                // Outside the shadow the colour is untouched, even where the
                // volume's faces were drawn over the floor.
                ++wrong;
            }
        }
    EXPECT_GT(darkInside, 50);
    EXPECT_EQ(wrong, 0);
    // The darkening leaves the stencil cleared for the next frame.
    std::vector<uint8_t> stencil;
    ASSERT_TRUE(gfx::ReadStencil(stencil));
    EXPECT_EQ(std::count(stencil.begin(), stencil.end(), 0), ptrdiff_t(stencil.size()));
}

// The darkening quad lives in a vertex buffer made with the projected modes;
// a lost device takes the buffer, the restore refills it.
TEST_F(ProjectedShadows, ScreenQuadBufferIsRefilledAfterADeviceLoss)
{
    const auto expected = Shadows::ScreenQuad(kWidth, kHeight);
    const auto same = [&](const std::optional<std::array<ScreenQuadVertex, 4>>& got) {
        if (!got)
            return false;
        for (size_t i = 0; i < 4; ++i) {
            const ScreenQuadVertex &a = (*got)[i], &b = expected[i];
            if (a.x != b.x || a.y != b.y || a.z != b.z || a.rhw != b.rhw || a.diffuse != b.diffuse ||
                a.specular != b.specular || a.u != b.u || a.v != b.v)
                return false;
        }
        return true;
    };
    ShadowMode = 2;
    Shadows::Startup();
    EXPECT_FALSE(Shadows::ScreenQuadMade());
    ShadowMode = 3;
    Shadows::ApplyMode();
    ASSERT_TRUE(Shadows::ScreenQuadMade());
    EXPECT_TRUE(same(Shadows::CurrentScreenQuad())) << "after the mode change";
    Display::ReleaseDeviceObjects();
    EXPECT_TRUE(Shadows::ScreenQuadMade());
    EXPECT_FALSE(Shadows::CurrentScreenQuad()) << "while lost";
    Display::RestoreDeviceObjects();
    EXPECT_TRUE(same(Shadows::CurrentScreenQuad())) << "after the restore";
    Shadows::Shutdown();
    EXPECT_FALSE(Shadows::ScreenQuadMade());
    EXPECT_FALSE(Shadows::CurrentScreenQuad());
}

TEST_F(ProjectedShadows, ModeThreeDrawsNoLevelCells)
{
    ShadowMode = 4;
    Shadows::Startup();
    ShadowMode = 3;
    Shadows::ApplyMode();
    ASSERT_FALSE(StaticShadows::DataOf(*level_).edges.empty());
    std::vector<float> depth;
    const std::vector<uint32_t> pixels = Frame(&depth);
    for (uint32_t px : pixels)
        ASSERT_TRUE(px == 0 || px == (kFloorColour & 0xFFFFFF)) << std::hex << px;
    // The volume passes wrote no depth: the floor's stays, the sky is clear.
    ASSERT_EQ(depth.size(), size_t(kWidth * kHeight));
    EXPECT_EQ(depth[size_t(kWidth / 2)], 1.0f);
    const float floorNear = depth[size_t((kHeight - 5) * kWidth + kWidth / 2)];
    const float floorFar = depth[size_t((kHeight / 2 + 10) * kWidth + kWidth / 2)];
    EXPECT_GT(floorNear, 0.0f);
    EXPECT_LT(floorNear, floorFar);
    EXPECT_LT(floorFar, 1.0f);
}

// The level cells in view are chosen in world space, whatever world
// transform the effects drawn earlier in the frame left on the device.
TEST_F(ProjectedShadows, LevelCellsInViewAreChosenInWorldSpace)
{
    // A box left of the camera, in another cell of a 2 x 2 grid than the one
    // the camera stands over, so only the view test can bring its cell in.
    constexpr float x0 = -3.0f, x1 = -2.0f;
    VeShape* box = shadowtest::ShapeOf(shadowtest::Box({x0, 0, kBoxZ0}, {x1, 1, kBoxZ1}));
    std::unique_ptr<ShapeInstance> tree(ShapeInstance::FromShape(box, false));
    box->Release();
    Level::Current() = nullptr;
    level_ = std::make_unique<Level>(std::move(tree), Vec3(0, 0, 0), nullptr);
    level_->minimum_ = {-10, -5, 0};
    level_->maximum_ = {10, kFloorY, 30};
    level_->floorHeight_ = kFloorY;
    Level::Current() = level_.get();
    ShadowMode = 4;
    Shadows::Startup();
    LevelShadowData& data = StaticShadows::DataOf(*level_);
    ASSERT_EQ(data.edges.size(), 12u);
    const std::vector<ShadowEdge> once = data.edges;
    while (data.edges.size() < 8000)
        data.edges.insert(data.edges.end(), once.begin(), once.end());
    StaticShadows::BuildGeometry(*level_);
    ASSERT_EQ(data.side, 2);
    const Vec3 eye = MainCamera::Get().Position();
    ASSERT_EQ(data.CellAt(eye.x, eye.z), &data.cells[1]);
    ASSERT_FALSE(data.cells[0].edges.empty());
    ASSERT_TRUE(data.cells[1].edges.empty());

    Shadows::FrameHooks hooks;
    hooks.drawLateList = [](int64_t) {
        gfx::Matrix far;
        far(3, 2) = -1000.0f;  // behind the camera
        Display::Device()->SetTransform(gfx::TransformType::World, far);
    };
    Shadows::SetFrameHooks(hooks);
    const std::vector<uint32_t> pixels = Frame();
    Shadows::SetFrameHooks({});
    int darkInside = 0, darkOutside = 0;
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            const int expect = Expected(x, y, x0, x1);
            const uint32_t px = pixels[size_t(y * kWidth + x)];
            if (expect == 2 || px == 0)
                continue;
            (expect == 1 ? darkInside : darkOutside) += Darkened(px);
        }
    EXPECT_GT(darkInside, 50);
    EXPECT_EQ(darkOutside, 0);
}

TEST_F(ProjectedShadows, RefusedStencilSwitchFallsBackToBlobs)
{
    ShadowMode = 3;
    Shadows::Startup();
    gfx::CurrentFaults().cannotDisableStencil = true;
    Frame();
    EXPECT_TRUE(Shadows::FellBackToBlobs());
    EXPECT_EQ(ShadowMode, 3u);
    EXPECT_EQ(Shadows::FramePass(), Shadows::FramePassSimple);
    EXPECT_EQ(Shadows::ObjectCallback(), Shadows::DrawPartShadows);
    gfx::CurrentFaults().cannotDisableStencil = false;
}

// What a player sees in each volume mode with the box as a character's
// shadow hierarchy: only the modes with volumes darken the floor, and never
// outside the box's footprint. Frames are written for review.
TEST_F(ProjectedShadows, ModesDarkenOnlyWhereTheyCastVolumes)
{
    const struct {
        uint32_t mode;
        bool dark;
    } rows[] = {{0, false}, {3, true}, {4, true}};
    const std::filesystem::path out = std::filesystem::path(TREVOK_EFFECT_SCREENS_DIR);
    std::filesystem::create_directories(out);
    for (const auto& row : rows) {
        SCOPED_TRACE(row.mode);
        auto* hierarchy = new Hierarchy;
        hierarchy->shapes_[0] = shadowtest::ShapeOf(shadowtest::Box({kBoxX0, 0, kBoxZ0}, {kBoxX1, 1, kBoxZ1}));
        shadowtest::TestCaster caster({"Body"}, hierarchy);
        caster.floor_ = kFloorY;
        ShadowMode = row.mode;
        Shadows::Startup();
        Shadows::AddCaster(&caster);
        const std::vector<uint32_t> pixels = Frame();
        effecttest::KeepForReview(out, "shadow_mode_" + std::to_string(row.mode));
        Shadows::RemoveCaster(&caster);
        Shadows::Shutdown();
        hierarchy->Release();
        int darkInside = 0, darkOutside = 0;
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x) {
                const int expect = Expected(x, y);
                const uint32_t px = pixels[size_t(y * kWidth + x)];
                if (expect == 2 || px == 0)
                    continue;
                (expect == 1 ? darkInside : darkOutside) += Darkened(px);
            }
        EXPECT_EQ(darkInside > 50, row.dark) << darkInside;
        EXPECT_EQ(darkOutside, 0);
    }
}

// INCR wraps and DECRSAT stops at zero, as the two volume passes need.
TEST_F(ProjectedShadows, StencilOperationsWrapUpAndSaturateDown)
{
    gfx::Device& dev = *Display::Device();
    const struct {
        uint32_t clear, op;
        int times;
        uint8_t expect;
    } rows[] = {
        {0, gfx::stencilop::Incr, 2, 2},
        {255, gfx::stencilop::Incr, 1, 0},
        {1, gfx::stencilop::DecrSat, 3, 0},
        {5, gfx::stencilop::DecrSat, 2, 3},
        {255, gfx::stencilop::IncrSat, 1, 255},
    };
    const auto quad = Shadows::ScreenQuad(kWidth, kHeight);
    for (const auto& row : rows) {
        ASSERT_TRUE(Display::BeginScene());
        dev.Clear({}, gfx::kClearStencil, 0, 1.0f, row.clear);
        dev.SetRenderState(gfx::RenderState::ZEnable, 0);
        dev.SetRenderState(gfx::RenderState::StencilEnable, 1);
        dev.SetRenderState(gfx::RenderState::StencilFunc, gfx::cmp::Always);
        dev.SetRenderState(gfx::RenderState::StencilPass, row.op);
        dev.SetRenderState(gfx::RenderState::StencilWriteMask, 0xFFFFFFFFu);
        for (int i = 0; i < row.times; ++i)
            dev.DrawPrimitive(gfx::Primitive::TriangleStrip, gfx::kFvfTLVertex, quad.data(), 4);
        std::vector<uint8_t> stencil;
        ASSERT_TRUE(gfx::ReadStencil(stencil));
        EXPECT_EQ(stencil[size_t(kHeight / 2 * kWidth + kWidth / 2)], row.expect) << row.op << " " << row.clear;
        dev.SetRenderState(gfx::RenderState::StencilEnable, 0);
        Display::EndFrame(nullptr, nullptr);
    }
}

namespace {

// A caster standing over the floor at a point of its own, with the floor
// polygon under it.
class StandingCaster : public shadowtest::TestCaster {
public:
    StandingCaster(std::vector<std::string> parts, const Vec3& at, CollisionPolygon* floor)
        : TestCaster(std::move(parts)), at_(at), floorPolygon_(floor)
    {
    }
    Vec3 Position() const override { return at_; }
    gfx::Matrix ObjectMatrix() const override { return scenetest::Translation(at_.x, at_.y, at_.z); }
    CollisionPolygon* CurrentPolygon() const override { return floorPolygon_; }

    Vec3 at_;
    CollisionPolygon* floorPolygon_;
};

} // namespace

// Footprints (mode 1) and blobs (mode 2) darken the floor round the caster
// and nowhere else. Frames are written for review.
TEST_F(ProjectedShadows, FootprintsAndBlobsDarkenOnlyTheFloorRoundTheCaster)
{
    displaytest::TempDir dir;
    std::filesystem::create_directories(dir.Path() / "units");
    std::ofstream(dir.Path() / "units" / "alpha junk.rim") << "x";
    TextureManager::SetGraphicsDirectory(dir.Path());
    TextureManager::SetLoader(scenetest::FilledTextureLoader(0xFFFFFFFFu));
    // The floor under the caster, facing up.
    Vec3 corners[4] = {{-20, kFloorY, 1}, {20, kFloorY, 1}, {20, kFloorY, 60}, {-20, kFloorY, 60}};
    CollisionQuad floor;
    for (int i = 0; i < 4; ++i)
        floor.vertices_[i] = &corners[i];
    floor.normal_ = {0, -1, 0};
    const Vec3 at{0, kFloorY - 1, 5.5f};
    const struct {
        uint32_t mode;
        std::vector<std::string> parts;
        float reach;  // metres from below the caster that may darken
    } rows[] = {
        // Two feet 0.3 either side, each print 0.2 square.
        {1, {"LFPrint", "RFPrint"}, 0.5f},
        // One blob under the body part, 1.5 x 1.05 at most, turned.
        {2, {"Body"}, 1.0f},
    };
    const std::filesystem::path out = std::filesystem::path(TREVOK_EFFECT_SCREENS_DIR);
    std::filesystem::create_directories(out);
    for (const auto& row : rows) {
        SCOPED_TRACE(row.mode);
        StandingCaster caster(row.parts, at, &floor);
        caster.floor_ = kFloorY;
        // A named root, so a part's name finds the part; node matrices as
        // drawing the tree would leave them.
        caster.root_->name_ = "Root";
        caster.root_->nodeMatrix_ = scenetest::Translation(at.x, at.y, at.z);
        float x = -0.3f;
        for (ShapeInstance* node : {caster.root_->FindNode(row.parts[0]),
                                    row.parts.size() > 1 ? caster.root_->FindNode(row.parts[1]) : nullptr}) {
            if (!node)
                continue;
            node->local_.SetPosition({row.mode == 1 ? x : 0.0f, 0, 0});
            node->nodeMatrix_ = scenetest::Translation(at.x, at.y, at.z);
            x = -x;
        }
        ShadowMode = row.mode;
        Shadows::Startup();
        Shadows::AddCaster(&caster);
        ASSERT_EQ(Shadows::Casters().size(), 1u);
        const std::vector<uint32_t> pixels = Frame(nullptr, true);
        effecttest::KeepForReview(out, "shadow_mode_" + std::to_string(row.mode));
        Shadows::RemoveCaster(&caster);
        Shadows::Shutdown();
        int near = 0, far = 0;
        for (int y = 0; y < kHeight; ++y)
            for (int px = 0; px < kWidth; ++px) {
                const uint32_t c = pixels[size_t(y * kWidth + px)];
                Vec3 p;
                if (c == 0 || !Darkened(c) || !FloorPoint(float(px), float(y), p))
                    continue;
                const float dx = p.x - at.x, dz = p.z - at.z;
                ++(dx * dx + dz * dz <= row.reach * row.reach ? near : far);
            }
        EXPECT_GT(near, 10);
        EXPECT_EQ(far, 0);
    }
}

#ifdef TREVOK_HAVE_EMBREE
namespace {

// Occlusion queries against a mesh, answered by Embree.
class RayOracle {
public:
    explicit RayOracle(const shadowtest::Mesh& mesh) : device_(rtcNewDevice(nullptr)), scene_(rtcNewScene(device_))
    {
        RTCGeometry geometry = rtcNewGeometry(device_, RTC_GEOMETRY_TYPE_TRIANGLE);
        auto* points = static_cast<float*>(rtcSetNewGeometryBuffer(
            geometry, RTC_BUFFER_TYPE_VERTEX, 0, RTC_FORMAT_FLOAT3, 3 * sizeof(float), mesh.points.size()));
        for (size_t i = 0; i < mesh.points.size(); ++i) {
            points[3 * i] = mesh.points[i].x;
            points[3 * i + 1] = mesh.points[i].y;
            points[3 * i + 2] = mesh.points[i].z;
        }
        auto* indices = static_cast<unsigned*>(rtcSetNewGeometryBuffer(
            geometry, RTC_BUFFER_TYPE_INDEX, 0, RTC_FORMAT_UINT3, 3 * sizeof(unsigned), mesh.triangles.size()));
        for (size_t i = 0; i < mesh.triangles.size(); ++i)
            for (size_t k = 0; k < 3; ++k)
                indices[3 * i + k] = mesh.triangles[i][k];
        rtcCommitGeometry(geometry);
        rtcAttachGeometry(scene_, geometry);
        rtcReleaseGeometry(geometry);
        rtcCommitScene(scene_);
    }
    ~RayOracle()
    {
        rtcReleaseScene(scene_);
        rtcReleaseDevice(device_);
    }
    RayOracle(const RayOracle&) = delete;
    RayOracle& operator=(const RayOracle&) = delete;

    // Whether the mesh lies on the ray from `from` along the unit `direction`
    // within `reach`.
    bool Blocked(const Vec3& from, const Vec3& direction, float reach) const
    {
        RTCIntersectContext context;
        rtcInitIntersectContext(&context);
        RTCRay ray{};
        ray.org_x = from.x;
        ray.org_y = from.y;
        ray.org_z = from.z;
        ray.dir_x = direction.x;
        ray.dir_y = direction.y;
        ray.dir_z = direction.z;
        ray.tnear = 1e-4f;
        ray.tfar = reach;
        ray.mask = 0xFFFFFFFFu;
        rtcOccluded1(scene_, &context, &ray);
        return ray.tfar < 0.0f; // a hit sets it to minus infinity
    }

private:
    RTCDevice device_;
    RTCScene scene_;
};

// The world point a pixel of the depth read-back shows.
Vec3 Unproject(Camera& camera, int x, int y, float depth)
{
    const gfx::Viewport& viewport = camera.DeviceViewport();
    const float clip[4] = {(float(x) - camera.CentreX()) / camera.HalfWidth(),
                           (camera.CentreY() - float(y)) / camera.HalfHeight(),
                           (depth - viewport.minZ) / (viewport.maxZ - viewport.minZ), 1.0f};
    const gfx::Matrix& inverse = camera.InverseCombined();
    float out[4] = {};
    for (int k = 0; k < 4; ++k)
        for (int i = 0; i < 4; ++i)
            out[k] += clip[i] * inverse(i, k);
    return {out[0] / out[3], out[1] / out[3], out[2] / out[3]};
}

} // namespace

// The level's box under a slanted sun: each floor pixel the frame shows is
// darkened exactly when a ray from its point (from the depth read-back)
// towards the sun meets the box. Pixels next to a change of answer are
// left out, and so are those the box itself would hide from the camera.
TEST_F(ProjectedShadows, DarkenedPixelsMatchRaysCastTowardsTheSun)
{
    const shadowtest::Mesh box = shadowtest::Box({kBoxX0, 0, kBoxZ0}, {kBoxX1, 1, kBoxZ1});
    const RayOracle oracle(box);
    const Vec3 sun = Vec3{0.6f, 1.0f, 0.4f}.Normalised();
    SetSunDirection(sun);
    ShadowMode = 4;
    Shadows::Startup();
    ASSERT_EQ(StaticShadows::DataOf(*level_).edges.size(), 12u);
    std::vector<float> depth;
    const std::vector<uint32_t> pixels = Frame(&depth);
    ASSERT_EQ(depth.size(), pixels.size());
    MainCamera& camera = MainCamera::Get();
    const Vec3 eye = camera.Position();

    // -1: no floor shown there; 0 lit; 1 in the box's shadow.
    std::vector<int> truth(pixels.size(), -1);
    int offFloor = 0;
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            const float d = depth[size_t(y * kWidth + x)];
            if (!(d < 1.0f))
                continue;
            const Vec3 p = Unproject(camera, x, y, d);
            offFloor += std::fabs(p.y - kFloorY) > 0.05f;
            const Vec3 toEye = eye - p;
            if (oracle.Blocked(p, toEye.Normalised(), toEye.Length()))
                continue;
            truth[size_t(y * kWidth + x)] = oracle.Blocked(p, -sun, 100.0f) ? 1 : 0;
        }
    EXPECT_EQ(offFloor, 0) << "the read-back depth puts every pixel on the floor";

    int shadowed = 0, lit = 0, wrong = 0;
    for (int y = 1; y + 1 < kHeight; ++y)
        for (int x = 1; x + 1 < kWidth; ++x) {
            const int t = truth[size_t(y * kWidth + x)];
            bool settled = t >= 0;
            for (int dy = -1; dy <= 1 && settled; ++dy)
                for (int dx = -1; dx <= 1; ++dx)
                    settled = settled && truth[size_t((y + dy) * kWidth + x + dx)] == t;
            if (!settled)
                continue;
            ++(t == 1 ? shadowed : lit);
            wrong += Darkened(pixels[size_t(y * kWidth + x)]) != (t == 1);
        }
    EXPECT_GT(shadowed, 100);
    EXPECT_GT(lit, 1000);
    EXPECT_EQ(wrong, 0);
    SetSunDirection({0, 1, 0});
}
#endif
