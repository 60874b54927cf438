// The generated sample level drawn from above as the main loop draws it,
// read back as a player would see it.
#include "Veapi/camera_fixture.h"
#include "sample_level_fixture.h"

#include <cmath>

namespace {

using namespace leveltest;
using scenetest::Rgb;

constexpr uint32_t kBackground = 0xFF102030;

class LevelDraw : public scenetest::SceneTest {
protected:
    // Where a world point lands on the screen; false when behind the camera
    // or off the screen.
    bool ScreenOf(const Vec3& world, int& x, int& y)
    {
        Vec3 s;
        if (!camera_->Project(world, s))
            return false;
        x = static_cast<int>(std::lround(s.x));
        y = static_cast<int>(std::lround(s.y));
        return x >= 0 && y >= 0 && x < 320 && y < 240;
    }
    bool IsBackground(const Rgb& c)
    {
        const Rgb b = scenetest::Split(kBackground);
        return std::abs(c.r - b.r) <= 2 && std::abs(c.g - b.g) <= 2 && std::abs(c.b - b.b) <= 2;
    }
};

TEST_F(LevelDraw, SampleLevelSeenFromAbove)
{
    StartScene();
    SampleLevel s;
    if (!s.Load())
        GTEST_SKIP() << "no sample data";
    // High above the middle of the level, looking straight down (+y).
    camera_->SetPosition({17.5f, -30, 10});
    camera_->SetPitch(1.5707964f);
    BeginFrame(kBackground);
    RenderMaterial::Apply(DefaultMaterial::Get(DefaultMaterial::Opaque));
    LightSet* lights = new LightSet;
    Colour white, black;
    white.Set(1, 1, 1, 1);
    black.Set(0, 0, 0, 1);
    lights->AddDirectionalLight(white, black, {0.3f, 1, 0.2f});
    lights->Apply();
    Level::Current() = s.level.get();
    Level::Draw(Level::Current());
    Level::Draw(nullptr); // no level: nothing happens
    EndFrame();

    const struct {
        const char* name;
        Vec3 at;
        bool drawn;
    } cases[] = {
        {"main floor", {7.5f, 0, 12.5f}, true},
        {"barrier square", {17.5f, 0, 17.5f}, true},
        {"ramp", {22.5f, -1, 2.5f}, true},
        {"platform", {27.5f, -2, 2.5f}, true},
        {"pit floor", {32.5f, 3, 2.5f}, true},
        {"room beyond the door", {27.5f, 0, 12.5f}, true},
        {"the doorway: the door object is not the level's", {22.5f, 0, 12.5f}, false},
        {"nothing beyond the floor", {27.5f, 0, 18}, false},
        {"nothing before the walls", {-3, 0, 10}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        int x = 0, y = 0;
        ASSERT_TRUE(ScreenOf(c.at, x, y));
        EXPECT_EQ(!IsBackground(Pixel(x, y)), c.drawn) << x << ", " << y;
    }
    Level::Current() = nullptr;
    lights->Release();
}

// A level whose object is a tree: the door hung below the level's root is
// drawn at its node's place, and its polygons lie there too.
TEST_F(LevelDraw, EveryNodeOfTheLevelTreeIsDrawnWhereItsPolygonsAre)
{
    StartScene();
    SampleLevel s;
    if (!s.Load())
        GTEST_SKIP() << "no sample data";
    VeObject* object = VeObject::FromShape(s.levelShape, false);
    ShapeInstance* door = ShapeInstance::FromShape(s.doorShape, false);
    door->local_.SetPosition(s.doorAt);
    object->Root()->AppendChild(door);
    {
        Level tree(*object, {0, 0, 0}, &s.levelCollision);
        tree.BuildCellGrid(98, 4, 98);
        camera_->SetPosition({17.5f, -30, 10});
        camera_->SetPitch(1.5707964f);
        BeginFrame(kBackground);
        RenderMaterial::Apply(DefaultMaterial::Get(DefaultMaterial::Opaque));
        Level::Draw(&tree);
        EndFrame();

        const struct {
            const char* name;
            Vec3 at;
            bool there;
        } cases[] = {
            {"main floor", {7.5f, 0, 12.5f}, true},
            {"the doorway", {22.5f, 0, 12.5f}, true},
            {"nothing beyond the floor", {27.5f, 0, 18}, false},
        };
        for (const auto& c : cases) {
            SCOPED_TRACE(c.name);
            int x = 0, y = 0;
            ASSERT_TRUE(ScreenOf(c.at, x, y));
            EXPECT_EQ(!IsBackground(Pixel(x, y)), c.there) << x << ", " << y;
            EXPECT_EQ(tree.FindPolygonAt(c.at - Vec3(0, 0.5f, 0)) != nullptr, c.there);
        }
    }
    object->Release();
}

} // namespace
