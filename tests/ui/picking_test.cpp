#include "ui_fixture.h"

#include "Veapi/camera.h"

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

// A replica at the screen's centre is the one picked there; off it, none.
TEST_F(PickingTest, TheCentredUnitIsPicked)
{
    for (WorldObject* u : WorldObjectTable::Snapshot())
        u->SetPosition({50, 3, 50});
    vell_->SetPosition({5, 3, 7});
    Vec3 screen;
    ASSERT_TRUE(MainCamera::Get().Project(vell_->Position() - Vec3{0, 1, 0}, screen));
    const int x = int(screen.x), y = int(screen.y);
    EXPECT_EQ(Picking::At(x, y).object, vell_);
    EXPECT_EQ(Picking::At(x + 200, y).object, nullptr);

    // A click there selects it.
    Mouse::OnLeftDown(x, y, 0);
    Mouse::OnLeftUp(x, y, 0);
    EXPECT_EQ(Selection::Members(), std::vector<WorldObject*>{vell_});
}

} // namespace
