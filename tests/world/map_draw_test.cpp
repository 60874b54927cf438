// The training level as its map build leaves it, drawn from above: cut into
// pieces on the first start and read from the level cache on the second,
// both show the same floor.
#include "Veapi/camera_fixture.h"
#include "script/compiler.h"
#include "world/level.h"
#include "world/map_build.h"

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using scenetest::Rgb;

constexpr uint32_t kBackground = 0xFF102030;

class MapDraw : public scenetest::SceneTest {
protected:
    bool IsBackground(const Rgb& c)
    {
        const Rgb b = scenetest::Split(kBackground);
        return std::abs(c.r - b.r) <= 2 && std::abs(c.g - b.g) <= 2 && std::abs(c.b - b.b) <= 2;
    }
    // Builds the training script's map; false without sample data.
    bool BuildTraining(const fs::path& dir, bool& fromCache)
    {
        const char* data = std::getenv("TREVOK_SAMPLE_DATA");
        const fs::path root = data ? data : "";
        const fs::path script = root / "scripts" / "training_level.tvs";
        if (!fs::exists(root / "rifs" / "training_level.rif") || !fs::exists(script))
            return false;
        fs::create_directories(dir / "rifs");
        fs::copy_file(root / "rifs" / "training_level.rif", dir / "rifs" / "training_level.rif",
                      fs::copy_options::skip_existing);
        LevelServices* s = BuildLevelScript(dir, script);
        fromCache = s && s->cacheRead;
        return s && Level::Current() != nullptr;
    }
    static void StopLevel()
    {
        delete Level::Current();
        Level::Current() = nullptr;
        script::RecordTables::Global().Clear();
        script::RecordTables::Global().SetServices(nullptr);
    }
};

TEST_F(MapDraw, TrainingLevelDrawsTheSameFromCutAndFromCache)
{
    StartScene();
    const fs::path dir = fs::temp_directory_path() / ("map_draw_test_" + std::to_string(::getpid()));
    for (bool expectCache : {false, true}) {
        SCOPED_TRACE(expectCache ? "second start, from the cache" : "first start, cut");
        bool fromCache = !expectCache;
        if (!BuildTraining(dir, fromCache)) {
            StopLevel();
            fs::remove_all(dir);
            GTEST_SKIP() << "no sample data";
        }
        EXPECT_EQ(fromCache, expectCache);
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
        Level::Draw(Level::Current());
        EndFrame();

        const struct {
            const char* name;
            Vec3 at;
            bool drawn;
        } cases[] = {
            {"main floor", {7.5f, 0, 12.5f}, true},
            {"platform", {27.5f, -2, 2.5f}, true},
            {"room beyond the door", {27.5f, 0, 12.5f}, true},
            {"the doorway: the door object is not the level's", {22.5f, 0, 12.5f}, false},
            {"nothing before the walls", {-3, 0, 10}, false},
        };
        for (const auto& c : cases) {
            SCOPED_TRACE(c.name);
            Vec3 screen;
            ASSERT_TRUE(camera_->Project(c.at, screen));
            const int x = static_cast<int>(std::lround(screen.x)), y = static_cast<int>(std::lround(screen.y));
            ASSERT_TRUE(x >= 0 && y >= 0 && x < 320 && y < 240);
            EXPECT_EQ(!IsBackground(Pixel(x, y)), c.drawn) << x << ", " << y;
        }
        lights->Release();
        StopLevel();
    }
    fs::remove_all(dir);
}

} // namespace
