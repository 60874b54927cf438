// The generated sample level drawn from above as the main loop draws it,
// read back as a player would see it.
#include "Veapi/camera_fixture.h"
#include "Veapi/render_queue.h"
#include "chunk/loaders/environment_loader.h"
#include "chunk/loaders/hierarchy_loader.h"
#include "sample_level_fixture.h"
#include "world/fog_of_war.h"

#include <cmath>
#include <vector>

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
    void TearDown() override
    {
        FogOfWar::DestroyGlobal();
        SceneTest::TearDown();
    }
    // The level from high above its middle, looking straight down (+y),
    // drawn as the main loop draws it; the pixels at `points` read back.
    std::vector<Rgb> DrawFromAbove(Level& level, const std::vector<Vec3>& points)
    {
        camera_->SetPosition({17.5f, -30, 10});
        camera_->SetPitch(1.5707964f);
        BeginFrame(kBackground);
        RenderMaterial::Apply(DefaultMaterial::Get(DefaultMaterial::Opaque));
        Level::Draw(&level);
        EndFrame();
        std::vector<Rgb> seen;
        for (const Vec3& at : points) {
            int x = 0, y = 0;
            EXPECT_TRUE(ScreenOf(at, x, y));
            seen.push_back(Pixel(x, y));
        }
        return seen;
    }
    static void AddSun(Level& level, float brightness)
    {
        Colour c, black;
        c.Set(brightness, brightness, brightness, 1);
        black.Set(0, 0, 0, 1);
        level.Lights().AddDirectionalLight(c, black, {0.3f, 1, 0.2f});
    }
};

struct Scout : FogDefogger {
    Vec3 at{0, 0, 0};
    float range = 1;
    void HoldForFog() override {}
    void ReleaseForFog() override {}
    Vec3 FogPosition() const override { return at; }
    float GetViewRange() const override { return range; }
    bool IsFogProjectile() const override { return false; }
    void SetDefogging(bool) override {}
};

const Vec3 kMainFloor{7.5f, 0, 12.5f};
const Vec3 kFarRoom{27.5f, 0, 12.5f};

TEST_F(LevelDraw, TheFogOfWarDarkensTheFloorNoOneHasSeen)
{
    StartScene();
    SampleLevel s;
    if (!s.Load())
        GTEST_SKIP() << "no sample data";
    AddSun(*s.level, 1.0f);
    const std::vector<Vec3> points = {kMainFloor, kFarRoom};
    const std::vector<Rgb> clear = DrawFromAbove(*s.level, points);
    for (const Rgb& p : clear)
        ASSERT_GT(p.r + p.g + p.b, 150) << "the lit floor shows without fog";

    FogOfWar* fog = FogOfWar::CreateGlobal(64);
    ASSERT_NE(fog, nullptr);
    fog->SetWorldArea(s.level->minimum_.x, s.level->minimum_.z, s.level->maximum_.x, s.level->maximum_.z);
    Colour black;
    black.Set(0, 0, 0, 1);
    fog->SetColour(black);
    Scout scout;
    scout.at = kMainFloor;
    scout.range = 4;
    fog->AddDefogger(&scout);
    fog->UpdateAt(1);
    const std::vector<Rgb> fogged = DrawFromAbove(*s.level, points);
    // Where the scout stands the floor is as it was; the room it never saw
    // is the fog's colour.
    EXPECT_NEAR(fogged[0].r, clear[0].r, 12);
    EXPECT_NEAR(fogged[0].g, clear[0].g, 12);
    EXPECT_LE(fogged[1].r + fogged[1].g + fogged[1].b, 30);

    // With the fog switched off the level draws plainly again.
    fog->SetEnabled(false);
    const std::vector<Rgb> off = DrawFromAbove(*s.level, points);
    EXPECT_NEAR(off[1].r, clear[1].r, 3);
    fog->RemoveDefogger(&scout);
}

TEST_F(LevelDraw, ALevelLightLightsTheFloorItReachesAndNothingElse)
{
    StartScene();
    SampleLevel s;
    if (!s.Load())
        GTEST_SKIP() << "no sample data";
    AddSun(*s.level, 0.3f);
    const std::vector<Vec3> points = {kMainFloor, kFarRoom};
    const std::vector<Rgb> before = DrawFromAbove(*s.level, points);

    Colour red, none;
    red.Set(1, 0, 0, 1);
    none.Set(0, 0, 0, 1);
    s.level->Lights().AddPointLight(red, none, kMainFloor - Vec3(0, 1.5f, 0), 9.0f);
    // The level light is on: its record lights the draw and leaves its place.
    s.level->levelLightEnabled_ = true;
    s.level->lightRecord_.position = {1, -2, 3};
    const std::vector<Rgb> after = DrawFromAbove(*s.level, points);

    EXPECT_GT(after[0].r, before[0].r + 40) << "red light under the lamp";
    EXPECT_NEAR(after[0].g, before[0].g, 3);
    EXPECT_NEAR(after[1].r, before[1].r, 3) << "the far room is out of its reach";
    EXPECT_TRUE(s.level->litPositionValid_);
    EXPECT_FLOAT_EQ(s.level->litPosition_.y, -2.0f);
    EXPECT_FALSE(s.level->lightRecord_.registered);
}

// Objects standing in the level are drawn as the replicas are: with the
// level's world lights and its object hook, so a lamp of the level reddens
// the robot under it and not the one out of its reach.
TEST_F(LevelDraw, ObjectsInTheLevelAreLitByItsLampsWhereTheyStand)
{
    StartScene();
    SampleLevel s;
    const char* root = std::getenv("TREVOK_SAMPLE_DATA");
    const std::filesystem::path robotFile = std::filesystem::path(root ? root : "") / "rifs" / "robot_hierarchy.rif";
    if (!s.Load() || !std::filesystem::exists(robotFile))
        GTEST_SKIP() << "no sample data";
    TextureManager::SetGraphicsDirectory(std::filesystem::path(root) / "graphics");
    trevok::EnvironmentRecordPtr record = trevok::LoadEnvironmentFile(robotFile);
    ASSERT_TRUE(record);
    HierarchyPtr robot = trevok::LoadHierarchyFromChunks("ROBOT", *record);
    ASSERT_TRUE(robot);
    trevok::FreeEnvironmentRecord(record);
    trevok::LoadLevelTextures();
    AddSun(*s.level, 0.3f);
    ASSERT_EQ(s.level->WorldLights(), &s.level->Lights());

    // The robot's top, seen from above, for the robot standing at `at`.
    auto robotPixel = [&](const Vec3& at) {
        VeObject* object = VeObject::FromHierarchy(robot.get(), false);
        object->placement_.SetPosition(at);
        camera_->SetPosition({17.5f, -30, 10});
        camera_->SetPitch(1.5707964f);
        BeginFrame(kBackground);
        RenderMaterial::Apply(DefaultMaterial::Get(DefaultMaterial::Opaque));
        Level::Draw(s.level.get());
        object->QueueDraw(0, camera_.get(), s.level->WorldLights(), nullptr, 0, DrawFlag::kNoBoxTests, nullptr,
                          s.level->ObjectLightingHook(), nullptr);
        RenderQueue::Flush();
        EndFrame();
        object->Release();
        int x = 0, y = 0;
        EXPECT_TRUE(ScreenOf(at - Vec3(0, 1.4f, 0), x, y));
        return Pixel(x, y);
    };
    const Vec3 nearLamp = kMainFloor, farFromIt = kFarRoom;
    const Rgb nearBefore = robotPixel(nearLamp), farBefore = robotPixel(farFromIt);
    EXPECT_FALSE(IsBackground(nearBefore));

    Colour red, none;
    red.Set(1, 0, 0, 1);
    none.Set(0, 0, 0, 1);
    s.level->Lights().AddPointLight(red, none, kMainFloor - Vec3(0, 3, 0), 9.0f);
    const Rgb nearAfter = robotPixel(nearLamp), farAfter = robotPixel(farFromIt);
    EXPECT_GT(nearAfter.r, nearBefore.r + 30) << "red light on the robot under the lamp";
    EXPECT_NEAR(farAfter.r, farBefore.r, 3) << "the far room is out of its reach";
}

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

TEST_F(LevelDraw, ARequestedProbeFindsTheSurfaceUnderTheScreenCentre)
{
    StartScene();
    SampleLevel s;
    if (!s.Load())
        GTEST_SKIP() << "no sample data";
    AddSun(*s.level, 1.0f);
    HitProbe::Enabled() = true;
    Level& level = *s.level;
    level.RebuildMeshes(); // as the level load does once the level is current
    const struct {
        const char* name;
        bool requested;
        float pitch; // straight down sees the floor; straight up sees nothing
        bool valid;
    } cases[] = {
        {"not requested: nothing changes", false, 1.5707964f, false},
        {"the floor below the centre", true, 1.5707964f, true},
        {"nothing under the centre", true, -1.5707964f, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        level.probeRequested_ = c.requested;
        level.probePoint_ = {-1, -1, -1};
        camera_->SetPosition({17.5f, -30, 10});
        camera_->SetPitch(c.pitch);
        BeginFrame(kBackground);
        Level::Draw(&level);
        EndFrame();
        EXPECT_EQ(level.probeValid_, c.valid);
        if (c.valid) {
            // The centre of the floor triangle under the view's centre.
            EXPECT_NEAR(level.probePoint_.y, 0.0f, 0.01f);
            EXPECT_NEAR(level.probePoint_.x, 17.5f, 5.0f);
            EXPECT_NEAR(level.probePoint_.z, 10.0f, 5.0f);
        } else if (!c.requested) {
            EXPECT_FLOAT_EQ(level.probePoint_.x, -1.0f);
        }
    }
    HitProbe::Enabled() = false;
}

} // namespace
