// The move marker of a session: the sample's "waypoint" hierarchy loads; a
// folder without the model leaves the session without a marker.
#include "ui/move_marker.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

TEST(MoveMarker, LoadsTheWaypointHierarchyOrNothing)
{
    const std::filesystem::path graphics = std::filesystem::path(TREVOK_SAMPLE_DATA_DIR) / "graphics";
    if (!std::filesystem::exists(graphics / "user interface" / "movement_indicator2.rif"))
        GTEST_SKIP() << "sample data not generated";
    const struct {
        std::filesystem::path folder;
        bool loads;
    } cases[] = {
        {graphics, true},
        {graphics / "user interface", false},  // no such model inside
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.folder.string());
        EXPECT_EQ(MoveMarker::LoadFrom(c.folder), c.loads);
        EXPECT_EQ(MoveMarker::Get() != nullptr, c.loads);
    }
    MoveMarker::Release();
    EXPECT_EQ(MoveMarker::Get(), nullptr);
}

} // namespace
