// The upgrade screen on a real display: without a projection handed in, the
// parts' hot spots are measured through the screen camera the parts are
// drawn with, so the running game's panel answers the mouse where it shows.
#include "ui/upgrade_screen.h"

#include "Veapi/display_fixture.h"
#include "fake_view.h"
#include "objects/shape_cache.h"

#include <cstdlib>
#include <filesystem>
#include <optional>

namespace ui_test {
namespace {

using displaytest::DisplayTest;

TEST_F(DisplayTest, HotSpotsAreMeasuredThroughTheScreenCamera)
{
    Start(640, 480, 32);
    FakeView view;
    const char* data = std::getenv("TREVOK_SAMPLE_DATA");
    ASSERT_NE(data, nullptr);
    const std::filesystem::path rifs = std::filesystem::path(data) / "rifs";
    ChunkFileCache::SetFolderSource([rifs] { return std::optional<std::filesystem::path>(rifs); });
    UpgradeScreen::SetProjection({});
    UpgradeScreen::Build();
    ChunkFileCache::SetFolderSource({});
    // The screen camera spans the screen with one unit each way; the parts
    // stand (0.5, 0.5) from the layout's origin, which the sample puts at
    // the board's top left corner (millimetres: w1 170-290 by 90-200).
    const struct {
        const char* part;
        float x0, y0, x1, y1; // layout metres
    } rows[] = {
        {"w1", 0.17f, 0.09f, 0.29f, 0.2f},
        {"exit", 0.9f, 0.02f, 0.98f, 0.06f},
        {"down button", 0.86f, 0.66f, 0.89f, 0.69f},
    };
    for (const auto& r : rows) {
        const UpgradeScreen::Part* found = nullptr;
        for (const auto& part : UpgradeScreen::Parts())
            if (part.name == r.part)
                found = &part;
        ASSERT_TRUE(found && found->hotSpot) << r.part;
        const UpgradeHotSpot::Rect& got = found->hotSpot->rect;
        EXPECT_NEAR(got.x0, (r.x0 + UpgradeScreen::kPlaceX) * 640, 1.0f) << r.part;
        EXPECT_NEAR(got.y0, (r.y0 + UpgradeScreen::kPlaceY) * 480, 1.0f) << r.part;
        EXPECT_NEAR(got.x1, (r.x1 + UpgradeScreen::kPlaceX) * 640, 1.0f) << r.part;
        EXPECT_NEAR(got.y1, (r.y1 + UpgradeScreen::kPlaceY) * 480, 1.0f) << r.part;
    }
    UpgradeScreen::Release();
    ShapeCache::FreeAll();
    ChunkFileCache::FreeAll();
}

} // namespace
} // namespace ui_test
