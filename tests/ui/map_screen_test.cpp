// The map screens: the quad's size from the requested one, the map point
// under the pointer, and a click that sends the selection there.
#include "ui/map_screen.h"

#include "ui_fixture.h"
#include "world/level_fixture.h"

#include <cmath>

namespace {

TEST(MapPoint, SpansTheLandscapeBounds)
{
    const Vec3 lo{-10, -5, 20}, hi{30, 2, 60};
    const struct {
        float u, v;
        bool on;
        Vec3 point;
    } rows[] = {
        {0, 0, true, {-10, 2, 20}},
        {1, 1, true, {30, 2, 60}},
        {0.25f, 0.5f, true, {0, 2, 40}},
        {-0.01f, 0.5f, false, {}},
        {0.5f, 1.01f, false, {}},
        {NAN, 0.5f, false, {}},
        {0.5f, INFINITY, false, {}},
    };
    for (const auto& r : rows) {
        Vec3 out{99, 99, 99};
        ASSERT_EQ(MapScreen::MapPoint(lo, hi, 2, r.u, r.v, out), r.on) << r.u << "," << r.v;
        if (!r.on)
            continue;
        EXPECT_FLOAT_EQ(out.x, r.point.x);
        EXPECT_FLOAT_EQ(out.y, r.point.y);
        EXPECT_FLOAT_EQ(out.z, r.point.z);
    }
}

class MapScreenTest : public uitest::GameViewTest {
protected:
    void SetUp() override
    {
        GameViewTest::SetUp();
        leveltest::AddFloor(source_, 0, 0, 0, 4, 2.0f); // 0..8 in x and z
        level_ = leveltest::MakeLevel(source_);
        Level::Current() = level_.get();
    }
    void TearDown() override
    {
        GameViewTest::TearDown();
        Level::Current() = nullptr;
    }
    CollisionSource source_;
    std::unique_ptr<Level> level_;
};

TEST_F(MapScreenTest, AClickOnTheMapSendsTheSelectionThere)
{
    MapScreen* map = new MapScreen(MenuScreen::kMap, 0.1f, "no such map.bmp");
    EXPECT_FLOAT_EQ(map->Size(), 0.5f);
    EXPECT_FLOAT_EQ(map->Zoom(), 0.98f);
    EXPECT_TRUE(map->IsMap());
    map->SetPosition(0.9f, 0.2f); // kept on the screen
    EXPECT_FLOAT_EQ(map->Left(), 0.5f);
    EXPECT_FLOAT_EQ(map->Top(), 0.2f);

    const struct {
        const char* name;
        float x, y;
        bool sent;
    } clicks[] = {
        {"left of the map", 0.45f, 0.45f, false},
        {"below the map", 0.75f, 0.71f, false},
        {"its middle", 0.75f, 0.45f, true},
    };
    for (const auto& c : clicks) {
        SCOPED_TRACE(c.name);
        Selection::RemoveAll();
        Drain();
        Selection::Add(trevok_);
        CameraController::Track(trevok_);
        EXPECT_EQ(map->Click(c.x, c.y), c.sent);
        // The request to walk (type 5) goes only for a point on the map, and
        // only then is the camera's lock let go.
        EXPECT_EQ(Drain().substr(0, 9), c.sent ? " 05000000" : "");
        EXPECT_EQ(CameraController::IsTracking(), !c.sent);
        CameraController::StopTracking();
    }
    map->Release();
}

TEST_F(MapScreenTest, NoLevelNoOrder)
{
    Level::Current() = nullptr;
    MapScreen* map = new MapScreen(MenuScreen::kMap2, 0.2f, "");
    Selection::Add(trevok_);
    EXPECT_FALSE(map->Click(0.5f, 0.5f));
    EXPECT_EQ(Drain(), "");
    map->Release();
}

} // namespace
