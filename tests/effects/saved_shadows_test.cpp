// The level's shadow edges through a full saved-game load: the level comes
// back while the save is restored, without them; the load then builds them
// when the shadow mode and the map call for them.
#include "effects/saved_shadows.h"
#include "effects/shadows.h"
#include "effects/static_shadows.h"

#include "Veapi/ve_object.h"
#include "Veapi/ve_shape.h"
#include "session/saved_game.h"
#include "world/level.h"

#include "shadow_test_shapes.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace {

std::unique_ptr<Level> g_level;

// What the level load leaves while a save is restored: a current level
// with its model, and no shadow edges yet.
bool LoadCubeLevel(const SavedGame::LevelNames&)
{
    VeShape* shape = shadowtest::ShapeOf(shadowtest::Cube());
    std::unique_ptr<ShapeInstance> tree(ShapeInstance::FromShape(shape, false));
    shape->Release();
    g_level = std::make_unique<Level>(std::move(tree), Vec3(0, 0, 0), nullptr);
    g_level->minimum_ = {0, 0, 0};
    g_level->maximum_ = {1, 1, 1};
    g_level->floorHeight_ = 1.0f;
    Level::Current() = g_level.get();
    return true;
}

std::vector<uint8_t> FullSave()
{
    SavedGame::File file;
    file.levelScript = "l.tvs";
    file.companion = "l.tcs";
    file.levelStart = false;
    file.world.emplace();
    return SavedGame::Write(file);
}

TEST(SavedShadows, AFullLoadBuildsTheLevelEdgesInModeFourWhenTheMapAsks)
{
    const struct {
        uint32_t mode;
        bool mapAsks;
        size_t edges;
    } rows[] = {
        {4, true, 12},
        {4, false, 0},
        {3, true, 0},
        {2, true, 0},
    };
    // What a load replaces besides the level, given back afterwards.
    const uint32_t modeWas = ShadowMode;
    const LevelStateBlock blockWas = LevelStateBlock::Live();
    const SavedGame::LevelNames namesWas = SavedGame::CurrentLevel();
    for (const auto& row : rows) {
        SCOPED_TRACE(::testing::Message() << "mode " << row.mode << (row.mapAsks ? ", map asks" : ""));
        SavedGame::GetHooks() = {};
        SavedGame::GetHooks().loadLevel = LoadCubeLevel;
        SavedShadows::Install();
        ShadowMode = row.mode;
        StaticShadows::SetLevelScript({}, row.mapAsks);
        std::string error;
        ASSERT_TRUE(SavedGame::Load(FullSave(), &error)) << error;
        ASSERT_EQ(Level::Current(), g_level.get());
        EXPECT_EQ(StaticShadows::DataOf(*g_level).edges.size(), row.edges);
        EXPECT_EQ(StaticShadows::DataOf(*g_level).geometryBuilt, row.edges > 0);
        Level::Current() = nullptr;
        g_level.reset();
    }
    SavedGame::GetHooks() = {};
    StaticShadows::SetLevelScript({});
    ShadowMode = modeWas;
    LevelStateBlock::Live() = blockWas;
    SavedGame::CurrentLevel() = namesWas;
}

} // namespace
