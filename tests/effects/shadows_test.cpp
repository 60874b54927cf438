// The shadow mode switch, the caster list and the geometry of footprints,
// blobs and volumes, without a display.
#include "effects/shadows.h"

#include "Veapi/hierarchy.h"
#include "Veapi/ve_object.h"
#include "Veapi/ve_shape.h"
#include "world/level.h"

#include "shadow_test_shapes.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

namespace {

using shadowtest::TestCaster;

int gLate = 0, gOverlays = 0;
bool gNormalView = false;

class ShadowModes : public ::testing::Test {
protected:
    void SetUp() override
    {
        gLate = gOverlays = 0;
        Shadows::SetFrameHooks({[](int64_t) { ++gLate; }, [] { ++gOverlays; }, [] { return gNormalView; }, nullptr});
        ShadowMode = 0;
        Shadows::Startup();
    }
    void TearDown() override
    {
        Shadows::Shutdown();
        Shadows::SetFrameHooks({});
        ShadowMode = 0;
    }
};

} // namespace

TEST_F(ShadowModes, EachModeInstallsItsRoutines)
{
    const struct {
        uint32_t mode;
        Shadows::Routine callback;
        Shadows::Routine pass;
        bool levelShadows;
    } rows[] = {
        {1, Shadows::DrawFootPrints, Shadows::FramePassSimple, false},
        {2, Shadows::DrawPartShadows, Shadows::FramePassSimple, false},
        {3, nullptr, Shadows::FramePassProjected, false},
        {4, nullptr, Shadows::FramePassProjected, true},
        {0, nullptr, Shadows::FramePassSimple, false},
    };
    for (const auto& row : rows) {
        ShadowMode = row.mode;
        Shadows::ApplyMode();
        if (row.callback) {
            EXPECT_EQ(Shadows::ObjectCallback(), row.callback) << row.mode;
        } else {
            EXPECT_NE(Shadows::ObjectCallback(), Shadows::DrawFootPrints) << row.mode;
            EXPECT_NE(Shadows::ObjectCallback(), Shadows::DrawPartShadows) << row.mode;
        }
        EXPECT_EQ(Shadows::FramePass(), row.pass) << row.mode;
        EXPECT_EQ(Shadows::LevelShadows(), row.levelShadows) << row.mode;
    }
}

TEST_F(ShadowModes, ValuesAboveFourChangeNothing)
{
    ShadowMode = 2;
    Shadows::ApplyMode();
    ShadowMode = 5;
    Shadows::ApplyMode();
    EXPECT_EQ(Shadows::ObjectCallback(), Shadows::DrawPartShadows);
    EXPECT_EQ(Shadows::FramePass(), Shadows::FramePassSimple);
    EXPECT_FALSE(Shadows::ScreenQuadMade());
}

TEST_F(ShadowModes, ProjectedModesWithoutADeviceOnlyRecordTheMode)
{
    ShadowMode = 4;
    Shadows::ApplyMode();  // no level, no device
    EXPECT_EQ(Shadows::FramePass(), Shadows::FramePassProjected);
    EXPECT_FALSE(Shadows::ScreenQuadMade());
}

TEST_F(ShadowModes, FootprintCastersNeedTheLeftDummy)
{
    ShadowMode = 1;
    Shadows::ApplyMode();
    TestCaster both({"LFPrint", "RFPrint"}), leftOnly({"lfprint"}), none({"Body"});
    for (TestCaster* c : {&both, &leftOnly, &none})
        Shadows::AddCaster(c);
    EXPECT_EQ(Shadows::Casters(), (std::vector<ShadowCaster*>{&both, &leftOnly}));
    EXPECT_TRUE(both.flags_ & kCasterFlag);
    EXPECT_FALSE(none.flags_ & kCasterFlag);
    Shadows::DrawFootPrints();  // the caster without a right dummy draws one footprint
}

TEST_F(ShadowModes, BlobCastersGetOneSpritePerNodeAndLeaveOnce)
{
    ShadowMode = 2;
    Shadows::ApplyMode();
    TestCaster c({"Arm", "Leg"});
    Shadows::AddCaster(&c);
    Shadows::AddCaster(&c);  // a caster is never listed twice
    ASSERT_EQ(Shadows::Casters().size(), 1u);
    ASSERT_EQ(c.blobs_.size(), 3u);
    EXPECT_EQ(c.blobs_.back().part, c.root_.get());  // the root comes last
    // Switching to mode 0 stops the blobs; the entries stay with the caster.
    ShadowMode = 0;
    Shadows::ApplyMode();
    EXPECT_NE(Shadows::ObjectCallback(), Shadows::DrawPartShadows);
    EXPECT_EQ(c.blobs_.size(), 3u);
    Shadows::RemoveCaster(&c);
    EXPECT_TRUE(c.blobs_.empty());
    EXPECT_FALSE(c.flags_ & kCasterFlag);
    EXPECT_TRUE(Shadows::Casters().empty());
    Shadows::RemoveCaster(&c);  // no longer a caster: nothing
}

TEST_F(ShadowModes, ProjectedCastersNeedAShadowHierarchy)
{
    ShadowMode = 3;
    Shadows::ApplyMode();
    auto* hierarchy = new Hierarchy;
    hierarchy->shapes_[0] = shadowtest::ShapeOf(shadowtest::Cube(), gfx::kFvfVertex);
    TestCaster with({"Body"}, hierarchy), without({"Body"});
    Shadows::AddCaster(&with);
    Shadows::AddCaster(&without);
    EXPECT_EQ(Shadows::Casters(), std::vector<ShadowCaster*>{&with});
    ASSERT_EQ(with.edgeLists_.size(), 1u);
    EXPECT_EQ(with.edgeLists_[0].edges.size(), 12u);
    Shadows::RemoveCaster(&with);
    EXPECT_TRUE(with.edgeLists_.empty());
    EXPECT_EQ(with.shadowInstance_, nullptr);
    hierarchy->Release();
}

TEST_F(ShadowModes, SimplePassDrawsLateListAndOverlaysUnlessNormalView)
{
    Shadows::FramePassSimple();
    EXPECT_EQ(gLate, 1);
    EXPECT_EQ(gOverlays, 1);
    gNormalView = true;
    Shadows::FramePassSimple();
    gNormalView = false;
    EXPECT_EQ(gLate, 2);
    EXPECT_EQ(gOverlays, 1);
}

TEST(ShadowGeometry, ScreenQuadIsFourBlackHalfAlphaCorners)
{
    const auto q = Shadows::ScreenQuad(640, 480);
    const float corners[4][2] = {{0, 480}, {0, 0}, {640, 480}, {640, 0}};
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(q[i].x, corners[i][0]);
        EXPECT_EQ(q[i].y, corners[i][1]);
        EXPECT_EQ(q[i].z, 0.0f);
        EXPECT_EQ(q[i].rhw, 1.0f);
        EXPECT_EQ(q[i].diffuse, 0x7F000000u);
        EXPECT_EQ(q[i].specular, 0u);
    }
}

TEST(ShadowGeometry, FootprintLiesJustAboveTheFloorTurnedByTheHeading)
{
    const FootprintQuad f = Shadows::Footprint({3, -5, 4}, 2.0f, 1024);  // a quarter turn
    Vec3 centre{0, 0, 0};
    for (const Vec3& c : f.corners) {
        EXPECT_FLOAT_EQ(c.y, 1.99f);
        centre += c * 0.25f;
        EXPECT_NEAR(std::fabs(c.x - 3), 0.1f, 1e-5f);
        EXPECT_NEAR(std::fabs(c.z - 4), 0.1f, 1e-5f);
    }
    EXPECT_NEAR(centre.x, 3, 1e-5f);
    EXPECT_NEAR(centre.z, 4, 1e-5f);
}

TEST(ShadowGeometry, BlobFollowsTheSunToThePlaneAndSkipsParallelRays)
{
    Vec3 out{0, 0, 0};
    ASSERT_TRUE(Shadows::BlobPoint({1, 0, 1}, {0, 1, 0}, {0, 3, 0}, {0, -1, 0}, out));
    EXPECT_NEAR(out.x, 1, 1e-6f);
    EXPECT_NEAR(out.y, 2.97f, 1e-6f);
    ASSERT_TRUE(Shadows::BlobPoint({0, 0, 0}, {0.6f, 0.8f, 0}, {0, 4, 0}, {0, -1, 0}, out));
    EXPECT_NEAR(out.x, 3, 1e-5f);
    // A sun along a wall's plane never meets it.
    EXPECT_FALSE(Shadows::BlobPoint({0, 0, 0}, {0, 1, 0}, {5, 0, 0}, {1, 0, 0}, out));
}

TEST(ShadowGeometry, CasterVolumesFollowThePartAndReachTheFloor)
{
    // A box edge list moved 10 along x; sun straight down onto y = 3.
    const shadowtest::Mesh box = shadowtest::Cube();
    EdgeBuilder b(0);
    for (const auto& t : box.triangles)
        b.AddTriangle(box.points[t[0]], box.points[t[1]], box.points[t[2]]);
    const std::vector<ShadowEdge> edges = b.Finish(true);
    gfx::Matrix world;
    world(3, 0) = 10;
    Shadows::VolumeGeometry g;
    Shadows::AddCasterVolumes(g, edges, world.m.data(), 3.0f, {0, 1, 0}, {-20, -20, -20});
    ASSERT_EQ(g.Quads(), 4u);  // the rim of one face
    for (const std::vector<Vec3>* list : {&g.front, &g.back})
        for (size_t i = 0; i < list->size(); i += 4) {
            const Vec3* q = &(*list)[i];
            EXPECT_GE(q[0].x, 10.0f);
            EXPECT_EQ(q[2].y, 3.0f);
            EXPECT_EQ(q[3].y, 3.0f);
            EXPECT_EQ(q[3].x, q[0].x);
            EXPECT_EQ(q[3].z, q[0].z);
        }
    // Seen from the front (-z), two of the four sides face the camera.
    EXPECT_EQ(g.front.size() / 4, 2u);
    Shadows::VolumeGeometry none;
    Shadows::AddCasterVolumes(none, edges, world.m.data(), 3.0f, {1, 0, 0}, {0, 0, 0});
    EXPECT_EQ(none.Quads(), 0u);
}

TEST(ShadowGeometry, CellUnderTheCameraComesFirstAndIsClamped)
{
    LevelShadowData d;
    d.edges.assign(18000, ShadowEdge{});
    StaticShadows::BuildGeometry(d, {0, 1, 0}, {0, 0, 0}, {9, 1, 9});
    ASSERT_EQ(d.cells.size(), 9u);
    const struct {
        Vec3 camera;
        size_t cell;
    } rows[] = {{{1, 0, 1}, 0}, {{4, 0, 1}, 1}, {{1, 0, 7}, 6}, {{-50, 0, 50}, 6}, {{50, 0, -50}, 2}};
    for (const auto& row : rows) {
        const auto cells = Shadows::CellsInUse(d, row.camera, false);
        ASSERT_EQ(cells.size(), 9u);
        EXPECT_EQ(cells[0], &d.cells[row.cell]);
    }
}
