// The laser fences' part of a full saved game: the fences go through the
// file and are built again in order; a fence whose points are not finite
// is not built.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "effect_support.h"
#include "effects/effect_builders.h"
#include "effects/effect_shapes.h"
#include "effects/saved_fences.h"
#include "session/saved_game.h"

using namespace effecttest;

namespace {

class SavedFencesTest : public EffectTest {
protected:
    void SetUp() override
    {
        EffectTest::SetUp();
        EffectShapes::Build();
        SavedGame::GetHooks() = {};
        SavedFences::Install();
    }
    void TearDown() override
    {
        SavedGame::GetHooks() = {};
        EffectTest::TearDown();
        EffectShapes::Release();
    }
    static std::vector<std::vector<Vec3>> Fences()
    {
        std::vector<std::vector<Vec3>> fences;
        for (EffectRecord* r : Effects::ListFor(EffectKind::LaserFence))
            if (r->kind == EffectKind::LaserFence)
                fences.push_back(r->points);
        return fences;
    }
};

TEST_F(SavedFencesTest, FencesAreBuiltAgainInOrder)
{
    ASSERT_TRUE(Effects::AddLaserFence({0, 0, 0}, {4, 0, 0}));
    ASSERT_TRUE(Effects::AddLaserFence({1, 2, 3}, {1, 2, 9}));
    const auto saved = Fences();
    SavedGame::File file;
    file.levelScript = "l.tvs";
    file.companion = "l.tcs";
    file.levelStart = false;
    file.world.emplace();
    for (const auto& section : SavedGame::GetHooks().sections)
        section.save(*file.world);
    file.world->fences.push_back({{NAN, 0, 0}, {1, 1, 1}});
    SavedGame::File back;
    std::string error;
    ASSERT_TRUE(SavedGame::Parse(SavedGame::Write(file), back, &error)) << error;
    ASSERT_EQ(back.world->fences.size(), 3u);

    Effects::ClearAll();
    ASSERT_TRUE(Fences().empty());
    for (const auto& section : SavedGame::GetHooks().sections)
        ASSERT_TRUE(section.load(*back.world));
    EXPECT_EQ(Fences(), saved);
}

} // namespace
