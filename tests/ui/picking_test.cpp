#include "ui_fixture.h"

#include "Veapi/camera.h"
#include "../Veapi/camera_fixture.h"
#include "Veapi/render_queue.h"
#include "Veapi/ve_shape.h"
#include "replica_world.h"

#include <cmath>

namespace {

using uitest::GameViewTest;

class PickingTest : public GameViewTest {
protected:
    void SetUp() override
    {
        GameViewTest::SetUp();
        Picking::SetOverride(nullptr);
        CameraController::SetHeading(300);
        CameraController::SetPitch(700);
        CameraController::Get().zoom = 12;
        CameraController::SetFocus(5, 3, 7);
        MainCamera::Get().Update();
    }
    static float DistanceToLine(const Vec3& p, const Vec3& a, const Vec3& b)
    {
        const Vec3 d = (b - a).Normalised();
        const Vec3 v = p - a;
        return (v - d * v.Dot(d)).Length();
    }
};

// The pointer's ray through a pixel passes through what that pixel shows.
TEST_F(PickingTest, PointerRayPassesThroughTheProjectedPoint)
{
    for (const Vec3& p : {Vec3{5, 3, 7}, Vec3{6, 2, 9}, Vec3{3, 3.5f, 6}}) {
        Vec3 screen;
        ASSERT_TRUE(MainCamera::Get().Project(p, screen));
        Vec3 nearPoint, farPoint;
        ASSERT_TRUE(Picking::PointerRay(int(std::floor(screen.x)), int(std::floor(screen.y)), nearPoint, farPoint));
        // Within the pixel's width at that distance.
        EXPECT_LT(DistanceToLine(p, nearPoint, farPoint), 0.1f) << p.x << "," << p.y << "," << p.z;
    }
}

} // namespace

namespace {

// Picking on a real display: replicas drawn with their shapes as the frame
// draws them, the default probe aimed at the pointer beforehand. The scene
// camera sits at the origin looking along +z; at 5 m a metre is 24 pixels
// (at 8 m, 15), from the screen's middle (160, 120), y growing downward.
class ProbePicking : public scenetest::SceneTest {
protected:
    void SetUp() override
    {
        SceneTest::SetUp();
        StartScene(320, 240);
        Picking::SetOverride(nullptr);
    }
    void TearDown() override
    {
        world_.reset();
        RenderQueue::Clear();
        HitProbe::Enabled() = false;
        SceneTest::TearDown();
    }

    // A unit whose body is a one-metre cube from `at` (its corner) to at + 1;
    // a selectable one is tested triangle by triangle, so its shape keeps
    // the triangles' positions.
    WorldObject* MakeCube(uint32_t id, const Vec3& at, bool selectable)
    {
        script::Role& role = world_->NewRole("cube " + std::to_string(id));
        PrimitiveDesc cube;
        cube.kind = 6;
        VeShape* shape = VeShape::FromPrimitive(cube);
        if (selectable) {
            shape->BuildPositionBuffer();
            role.flags |= script::kRoleDestinationSelectable;
        }
        role.shape.shape = std::shared_ptr<void>(shape, [](void* s) { static_cast<VeShape*>(s)->Release(); });
        return world_->Make(id, ui_test::ReplicaWorld::kEnemySide, role, at);
    }

    // What a press at the pixel finds after a frame drawn with the pointer there.
    WorldObject* PickAfterFrame(int x, int y)
    {
        Picking::AimProbe(x, y);
        BeginFrame();
        WorldObjectTable::DrawAll();
        RenderQueue::Flush();
        EndFrame();
        return Picking::At(x, y).object;
    }

    std::unique_ptr<ui_test::ReplicaWorld> world_ = std::make_unique<ui_test::ReplicaWorld>();
};

// The pointer over a unit's visible body picks it; beside the body (but
// within the rough box a unit's height would give) picks nothing.
TEST_F(ProbePicking, TheBodyUnderThePointerIsPicked)
{
    for (bool selectable : {false, true}) {
        world_ = std::make_unique<ui_test::ReplicaWorld>();
        WorldObject* unit = MakeCube(11, {-0.5f, -0.5f, 5}, selectable);
        const struct {
            int x, y;
            bool picked;
            const char* where;
        } rows[] = {
            {160, 120, true, "the middle of the body"},
            {150, 110, true, "near its top-left corner"},
            {170, 130, true, "near its bottom-right corner"},
            {176, 120, false, "just right of it"},
            {160, 136, false, "just below it"},
            {160, 100, false, "above it, where a taller unit would stand"},
            {10, 10, false, "far from it"},
        };
        for (const auto& row : rows)
            EXPECT_EQ(PickAfterFrame(row.x, row.y), row.picked ? unit : nullptr)
                << row.where << (selectable ? " (triangles)" : " (box)");
    }
}

// Of two units under the pointer the nearer wins, whichever is drawn first;
// where only the farther one shows, it is picked.
TEST_F(ProbePicking, TheNearerOfTwoOverlappingUnitsWins)
{
    const Vec3 nearAt{-0.5f, -0.5f, 5}, farAt{0, -0.5f, 8}; // far: 160..175 across, 112..127 down
    for (bool nearDrawnFirst : {true, false}) {
        world_ = std::make_unique<ui_test::ReplicaWorld>();
        WorldObject* first = MakeCube(11, nearDrawnFirst ? nearAt : farAt, false);
        WorldObject* second = MakeCube(12, nearDrawnFirst ? farAt : nearAt, false);
        WorldObject* nearUnit = nearDrawnFirst ? first : second;
        WorldObject* farUnit = nearDrawnFirst ? second : first;
        EXPECT_EQ(PickAfterFrame(165, 120), nearUnit) << "both cover it; near drawn first: " << nearDrawnFirst;
        EXPECT_EQ(PickAfterFrame(174, 120), farUnit) << "only the far one; near drawn first: " << nearDrawnFirst;
    }
}

// The probe's hit belongs to the pixel it was drawn at: a press elsewhere,
// before a frame was drawn there, finds nothing; a unit gone since the
// frame is not picked.
TEST_F(ProbePicking, AHitHoldsOnlyForItsPixelAndItsObject)
{
    WorldObject* unit = MakeCube(11, {-0.5f, -0.5f, 5}, false);
    ASSERT_EQ(PickAfterFrame(160, 120), unit);
    EXPECT_EQ(Picking::At(165, 120).object, nullptr);
    EXPECT_EQ(Picking::At(160, 120).object, unit);
    world_.reset(); // the replica and its shape go
    EXPECT_EQ(HitProbe::Default().hitObject_, nullptr);
    EXPECT_EQ(Picking::At(160, 120).object, nullptr);
}

} // namespace
