// What a player sees of each effect family: one frame without the effect,
// one with it, read back from the screen under Xvfb. The effect must change
// pixels inside its own screen rectangle and none outside it. Each frame is
// also written as a BMP (named after its row) for review.
#include <gtest/gtest.h>

#include <fstream>

#include "Veapi/camera_fixture.h"
#include "Veapi/render_queue.h"
#include "Veapi/screenshot.h"
#include "effect_support.h"
#include "review_screens.h"
#include "effects/effect_shapes.h"

namespace {

struct Rect {
    int x0, y0, x1, y1;  // inclusive
    bool Holds(int x, int y) const { return x >= x0 && x <= x1 && y >= y0 && y <= y1; }
};

struct Row {
    const char* name;
    void (*add)(int64_t now);
    double seconds;  // frame time after the effect was added
    Rect where;      // the screen rectangle the effect may touch
};

constexpr int kWidth = 320, kHeight = 240;

class EffectScreens : public scenetest::SceneTest, public ::testing::WithParamInterface<Row> {
protected:
    void SetUp() override
    {
        SceneTest::SetUp();
        for (const char* name : {"bitmaps/particles.rim", "units/alpha junk.rim", "units/reflect.rim", "water.rim"}) {
            std::filesystem::create_directories((dir_.Path() / name).parent_path());
            std::ofstream(dir_.Path() / name) << "x";
        }
        TextureManager::SetGraphicsDirectory(dir_.Path());
        TextureManager::SetLoader(scenetest::FilledTextureLoader(0xFFFFFFFFu));
        effecttest::FakeNow() = effecttest::WrapStart();
        Effects::SetClock([] { return effecttest::FakeNow(); });
        EffectWorld() = EffectEnvironment{};
        StartScene(kWidth, kHeight);
        EffectShapes::Build();
        Effects::SetGameCamera(camera_.get());
        lights_ = FrontLight();
    }
    void TearDown() override
    {
        Effects::ClearAll();
        RenderQueue::Clear();
        EffectShapes::Release();
        Effects::SetGameCamera(nullptr);
        Effects::SetClock(nullptr);
        EffectWorld() = EffectEnvironment{};
        lights_->Release();
        SceneTest::TearDown();
    }

    // A grey backdrop far behind everything, then both effect lists.
    std::vector<uint8_t> Frame(int64_t now, const std::string& file)
    {
        BeginFrame(0);
        effecttest::FakeNow() = now;
        Effects::UpdateAndDrawAll(now, Effects::WorldList());
        Effects::UpdateAndDrawAll(now, Effects::LateList());
        RenderQueue::Flush();
        EndFrame();
        std::vector<uint8_t> px;
        int pitch = 0;
        EXPECT_TRUE(gfx::ReadScreen(true, px, pitch));
        pitch_ = pitch;
        effecttest::KeepForReview(OutputDir(), file);
        return px;
    }

    static std::filesystem::path OutputDir()
    {
        const std::filesystem::path dir = TREVOK_EFFECT_SCREENS_DIR;
        std::filesystem::create_directories(dir);
        return dir;
    }

    displaytest::TempDir dir_;
    LightSet* lights_ = nullptr;
    int pitch_ = 0;
};

TEST_P(EffectScreens, ChangesOnlyItsOwnPartOfTheScreen)
{
    const Row& row = GetParam();
    const int64_t start = effecttest::WrapStart();
    const std::vector<uint8_t> before = Frame(start, std::string(row.name) + "_before");
    row.add(start);
    const std::vector<uint8_t> after = Frame(start + effecttest::Ticks(row.seconds), row.name);
    ASSERT_EQ(before.size(), after.size());
    ASSERT_FALSE(after.empty());
    int inside = 0, outside = 0;
    Rect seen{kWidth, kHeight, -1, -1};
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            const size_t at = size_t(y) * size_t(pitch_) + size_t(x) * 4;
            bool changed = false;
            for (size_t c = 0; c < 3; ++c)
                changed |= before[at + c] != after[at + c];
            if (!changed)
                continue;
            seen = {std::min(seen.x0, x), std::min(seen.y0, y), std::max(seen.x1, x), std::max(seen.y1, y)};
            ++(row.where.Holds(x, y) ? inside : outside);
        }
    EXPECT_GT(inside, 0) << "the effect shows";
    EXPECT_EQ(outside, 0) << "changed pixels span " << seen.x0 << "," << seen.y0 << " to " << seen.x1 << ","
                          << seen.y1;
}

void PrintTo(const Row& row, std::ostream* os) { *os << row.name; }

// The camera stands at the origin looking along +z, y down: a unit at depth
// z is 120 / z pixels from the screen's centre (160, 120).
const Row kRows[] = {
    // A ring of radius 1 to 2 lying flat 2 below the eye at depth 8.
    {"ring", [](int64_t now) { Effects::AddRing(now, {0, 2, 8}, {16, 1.0f, 2.0f}); }, 0.3, {115, 138, 205, 180}},
    // A surface 2 below the eye from depth 6 to 12, rippling by up to 1.
    {"liquid",
     [](int64_t now) {
         Effects::LiquidParams p;
         p.first = {-3, 2, 6};
         p.second = {3, 2, 12};
         p.texture = "water.rim";
         p.ripples = true;
         Effects::AddLiquid(now, 4, p);
     },
     0.1, {80, 130, 240, 185}},
};

INSTANTIATE_TEST_SUITE_P(Families, EffectScreens, ::testing::ValuesIn(kRows),
                         [](const ::testing::TestParamInfo<Row>& p) { return std::string(p.param.name); });

} // namespace
