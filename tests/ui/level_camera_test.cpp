// The camera as a level starts: the play view, and in a networked game the
// focus on the first of the own side's characters that shows.
#include "ui/camera_controller.h"
#include "ui/game_view.h"

#include "objects/teams.h"
#include "objects/world_object.h"
#include "script/records.h"
#include "session/network.h"

#include <gtest/gtest.h>

namespace {

TEST(LevelCamera, ANetworkedClientLooksAtItsOwnSide)
{
    script::Role character, prop;
    character.aiType = prop.aiType = 2;
    character.character.emplace();
    character.character->walkingSpeed = 2 * 65536;
    prop.character.emplace();
    prop.character->walkingSpeed = 2 * 65536;
    TeamTable::Build(3, 1, 4);
    WorldObject::CreateByRole(2, &character, {9, 0, 9}, Quaternion::Identity());  // another side
    WorldObject* own = WorldObject::CreateByRole(1, &character, {5, 0, 7}, Quaternion::Identity());
    ASSERT_NE(own, nullptr);
    const struct {
        bool networked;
        Vec3 focus;
    } cases[] = {
        {false, {1, 2, 3}},  // alone the focus stays where the level put it
        {true, {5, 0, 7}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.networked);
        CameraController::Reset();
        CameraController::SetFocus(1, 2, 3);
        CameraController::Get().viewWidth = 2.0f;
        if (c.networked)
            Network::Create();
        GameView::LevelStarted();
        Network::Shutdown();
        const Vec3 focus = CameraController::Get().focus;
        EXPECT_FLOAT_EQ(focus.x, c.focus.x);
        EXPECT_FLOAT_EQ(focus.y, c.focus.y);
        EXPECT_FLOAT_EQ(focus.z, c.focus.z);
        EXPECT_FLOAT_EQ(CameraController::Get().viewWidth, CameraController::kPlayViewWidth);
    }
    WorldObjectTable::DestroyAll();
    WorldObjectTable::ResetIds();
    TeamTable::Clear();
    CameraController::Reset();
}

} // namespace
