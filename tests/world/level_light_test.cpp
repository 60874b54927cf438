#include "world/level_light.h"

#include "chunk/chunk_file.h"
#include "chunk/chunk_ids.h"
#include "chunk/light_chunks.h"
#include "level_fixture.h"
#include "world/fog_of_war.h"

#include <bit>
#include <cmath>
#include <limits>

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

namespace {

using namespace leveltest;

gfx::Light PointAt(const Vec3& at, float range)
{
    gfx::Light d;
    d.type = gfx::LightType::Point;
    d.position = {at.x, at.y, at.z};
    d.range = range;
    d.specular = {0.8f, 0.6f, 0.4f, 1.0f};
    return d;
}

// A 16 m floor in 1 m cells: lights are filed by 4 x 4 blocks of columns.
struct LitLevel {
    CollisionSource source;
    std::unique_ptr<Level> level;
    LevelLight* lights = nullptr;

    LitLevel()
    {
        AddFloor(source, 0, 0, 0, 16, 1.0f);
        level = MakeLevel(source, 16, 4, 16);
        lights = new LevelLight(level.get());
    }
    ~LitLevel() { lights->Release(); }
};

TEST(LevelLight, AFurtherLightReplacesTheFirstChosenWithSmallerRange)
{
    const struct {
        const char* name;
        std::vector<float> ranges; // added in this order, all reaching the box
        std::vector<float> chosen; // ranges in device index order
    } cases[] = {
        {"room for all", {2, 1}, {2, 1}},
        {"larger range takes the first smaller slot", {2, 1, 3}, {3, 1}},
        {"equal range does not replace", {2, 1, 1}, {2, 1}},
        {"the smaller one goes, not the equal one", {2, 1, 2}, {2, 2}},
        {"first smaller in choosing order", {1, 2, 3}, {3, 2}},
        {"only a smaller one is replaced", {2, 1, 1.5f}, {2, 1.5f}},
        {"the first smaller in order, not the smallest", {1, 1, 2, 3}, {3, 1}},
    };
    for (const auto& c : cases) {
        LitLevel lit;
        for (float r : c.ranges)
            lit.lights->AddLight(PointAt({9, -1, 9}, r));
        // One light that does not reach the box is never chosen.
        lit.lights->AddLight(PointAt({1, -1, 1}, 0.5f));
        const std::vector<LevelPointLight*> chosen =
            lit.lights->ChooseLights({8.5f, -1, 8.5f}, {9.5f, 0, 9.5f}, 1, 3);
        std::vector<float> ranges;
        for (const LevelPointLight* l : chosen)
            ranges.push_back(l->Range());
        EXPECT_EQ(ranges, c.chosen) << c.name;
    }
}

TEST(LevelLight, LightsAreDimmedByTheFogAtTheirPlace)
{
    LitLevel lit;
    FogOfWar fog(16, 2048);
    fog.SetWorldArea(0, 0, 16, 16);
    fog.SetEnabled(true);
    struct Scout : FogDefogger {
        void HoldForFog() override {}
        void ReleaseForFog() override {}
        Vec3 FogPosition() const override { return at; }
        float GetViewRange() const override { return 2; }
        bool IsFogProjectile() const override { return false; }
        void SetDefogging(bool) override {}
        Vec3 at{2.5f, 0, 2.5f};
    } scout;
    fog.AddDefogger(&scout);
    fog.UpdateAt(0);
    scout.at = {6.5f, 0, 2.5f};
    fog.UpdateAt(1); // (2.5, 2.5) stays discovered, no longer seen
    FogOfWar::Global() = &fog;
    const struct {
        const char* name;
        Vec3 at;
        float intensity;
    } cases[] = {
        {"seen now", {6.5f, -1, 2.5f}, 1.0f},
        {"discovered, not seen", {2.5f, -1, 2.5f}, 0.5f},
        {"never discovered", {13.5f, -1, 13.5f}, 0.0f},
    };
    for (const auto& c : cases) {
        auto* light = static_cast<LevelPointLight*>(lit.lights->AddLight(PointAt(c.at, 1)));
        lit.lights->ChooseLights(c.at, c.at, 0, 8);
        EXPECT_NEAR(light->Intensity(), c.intensity, 1e-6) << c.name;
        EXPECT_NEAR(light->Description().specular.r, 0.8f * c.intensity, 1e-6) << c.name;
        lit.lights->RemoveLight(light);
    }
    FogOfWar::Global() = nullptr;
    fog.RemoveDefogger(&scout);
}

int Filings(const Level& level, const LevelPointLight* light)
{
    int count = 0;
    for (uint32_t x = 0; x < level.CellCount(0); ++x)
        for (uint32_t z = 0; z < level.CellCount(2); ++z) {
            const auto& lights = level.Cell({int32_t(x), 0, int32_t(z)}).lights;
            count += int(std::count(lights.begin(), lights.end(), &light->filed_));
        }
    return count;
}

TEST(LevelLight, PointLightsFollowTheirBlockAndDirectionalOnesAreNeverFiled)
{
    LitLevel lit;
    auto* light = static_cast<LevelPointLight*>(lit.lights->AddLight(PointAt({9, -1, 9}, 0.5f)));
    EXPECT_EQ(Filings(*lit.level, light), 1);
    light->SetPosition(Vec3{10.5f, -1, 11.5f}); // the same 4 x 4 block
    EXPECT_EQ(Filings(*lit.level, light), 1);
    EXPECT_EQ(lit.lights->ChooseLights({9, -1, 9}, {9, 0, 9}, 0, 8).size(), 1u);
    light->SetPosition(Vec3{13, -1, 2}); // another block
    EXPECT_EQ(Filings(*lit.level, light), 1);
    EXPECT_TRUE(lit.lights->ChooseLights({9, -1, 9}, {9, 0, 9}, 0, 8).empty());
    EXPECT_EQ(lit.lights->ChooseLights({13, -1, 2}, {13, 0, 2}, 0, 8).size(), 1u);

    gfx::Light sun;
    sun.type = gfx::LightType::Directional;
    sun.direction = {0, 1, 0};
    lit.lights->AddLight(sun);
    EXPECT_EQ(lit.lights->LightCount(), 1);
    EXPECT_EQ(lit.lights->PointLights().Count(), 1);
    // No device light is left for points when the directional ones fill it.
    EXPECT_TRUE(lit.lights->ChooseLights({13, -1, 2}, {13, 0, 2}, 1, 1).empty());
    lit.lights->RemoveLight(light);
    EXPECT_EQ(lit.lights->PointLights().Count(), 0);
}

// The lights of the first global set (what effects, particles and units add)
// light what the level's set lights: after the level's directional lights,
// before its lamps, only where they reach, and the global set's own
// directional lights never (the level has its own sun).
TEST(LevelLight, TheGlobalSetsPointAndSpotLightsShineAfterTheSunAndBeforeTheLamps)
{
    LightSet::CreateGlobals(nullptr);
    LightSet* global = LightSet::Global(0);
    ASSERT_NE(global, nullptr);
    const Vec3 lampBox[2] = {{8.5f, -1, 8.5f}, {9.5f, 0, 9.5f}};
    const struct {
        const char* name;
        bool withBox;
        Vec3 minimum, maximum;
        uint32_t deviceLights;
        std::vector<std::string> lit; // in device index order
    } cases[] = {
        {"a box near everything", true, lampBox[0], lampBox[1], 8, {"sun", "flash", "spot", "lamp"}},
        {"a box only the far flash reaches", true, {1, -1, 1}, {1, 0, 1}, 8, {"sun", "far flash"}},
        {"a box nothing reaches", true, {14, -1, 14}, {15, 0, 15}, 8, {"sun"}},
        {"no box (the set applied): every borrowed light, no lamp", false, {}, {}, 8,
         {"sun", "flash", "far flash", "spot"}},
        {"a device of two lights", true, lampBox[0], lampBox[1], 2, {"sun", "flash"}},
        {"a device of four lights", true, lampBox[0], lampBox[1], 4, {"sun", "flash", "spot", "lamp"}},
        {"a device of three lights: no slot left for the lamp", true, lampBox[0], lampBox[1], 3,
         {"sun", "flash", "spot"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        LitLevel lit;
        gfx::Light sun;
        sun.type = gfx::LightType::Directional;
        sun.direction = {0, 1, 0};
        std::map<const Light*, std::string> names;
        names[lit.lights->AddLight(sun)] = "sun";
        names[lit.lights->AddLight(PointAt({9, -1, 9}, 2))] = "lamp";
        Colour white;
        white.Set(1, 1, 1, 1);
        names[global->AddDirectionalLight(white, white, {0, 1, 0})] = "global sun";
        names[global->AddPointLight(white, white, {10, -1, 10}, 5.5f)] = "flash";
        names[global->AddPointLight(white, white, {0, -1, 0}, 2.0f)] = "far flash";
        names[global->AddSpotLight(white, white, {9, -3, 9}, {0, 1, 0}, 4.0f)] = "spot";
        const std::vector<Light*> chosen = c.withBox
                                               ? lit.lights->LightsFor(&c.minimum, &c.maximum, c.deviceLights)
                                               : lit.lights->LightsFor(nullptr, nullptr, c.deviceLights);
        std::vector<std::string> seen;
        for (const Light* l : chosen)
            seen.push_back(names.count(l) ? names[l] : "?");
        EXPECT_EQ(seen, c.lit);

        // The level's lights go with the level; the borrowed ones stay with
        // their owners, who remove them.
        const int32_t held = global->LightCount();
        lit.lights->RemoveAll();
        EXPECT_EQ(global->LightCount(), held);
        while (!global->Lights().IsEmpty())
            global->RemoveLight(*global->Lights().begin());
    }
    LightSet::DestroyGlobals();
}

// One STDLIGHT's words from readable fields (file units).
std::array<uint32_t, trevok::kStandardLightWords> StandardLight(int32_t type, float range, const Vec3& at,
                                                                 float red)
{
    std::array<uint32_t, trevok::kStandardLightWords> w{};
    w[0] = uint32_t(type);
    w[2] = std::bit_cast<uint32_t>(range);
    w[4] = std::bit_cast<uint32_t>(red);            // diffuse red
    w[7] = std::bit_cast<uint32_t>(0.5f);           // specular red
    w[13] = std::bit_cast<uint32_t>(at.x);
    w[14] = std::bit_cast<uint32_t>(at.y);
    w[15] = std::bit_cast<uint32_t>(at.z);
    w[17] = std::bit_cast<uint32_t>(1.0f);          // direction y: down
    w[19] = std::bit_cast<uint32_t>(1.0f);          // constant attenuation
    return w;
}

TEST(LevelLight, LightingChunksFillTheSetAndNameWhatTheyLeaveOut)
{
    auto file = trevok::ChunkFile::CreateEmpty();
    auto* day = new trevok::LightSetChunk(file.get(), "day");
    trevok::NewStandardLightChunk(day, StandardLight(3, 0, {0, 0, 0}, 1.0f));
    trevok::NewStandardLightChunk(day, StandardLight(1, 4000, {9000, -1000, 9000}, 0.25f));
    trevok::NewStandardLightChunk(day, StandardLight(7, 4000, {0, 0, 0}, 1.0f));
    trevok::NewStandardLightChunk(day, StandardLight(1, -5, {0, 0, 0}, 1.0f));
    auto* night = new trevok::LightSetChunk(file.get(), "night");
    trevok::NewStandardLightChunk(night, StandardLight(2, 2000, {std::numeric_limits<float>::quiet_NaN(), 0, 0}, 1));
    new trevok::WordsChunk(night, trevok::chunk_id::kStandardLight, {1, 0, 0});

    LitLevel lit;
    std::vector<std::string> problems;
    EXPECT_EQ(AddChunkLights(*lit.lights, *file, 0.001f, &problems), 2);
    EXPECT_EQ(lit.lights->LightCount(), 1); // the directional one
    ASSERT_EQ(lit.lights->PointLights().Count(), 1);
    const LevelPointLight* point = nullptr;
    for (const LevelPointLight* p : lit.lights->PointLights())
        point = p;
    EXPECT_FLOAT_EQ(point->Range(), 4.0f);
    EXPECT_FLOAT_EQ(point->GetPosition().x, 9.0f);
    EXPECT_FLOAT_EQ(point->GetPosition().y, -1.0f);
    EXPECT_FLOAT_EQ(point->Description().diffuse.r, 0.25f);
    EXPECT_FLOAT_EQ(point->Description().specular.r, 0.5f);
    EXPECT_GT(Filings(*lit.level, point), 0);

    const std::vector<std::string> expected = {
        "light set 'day', light 3: has light type 7 (1 to 3 expected)",
        "light set 'day', light 4: has a negative range",
        "light set 'night', light 1: has a value that is not a number in word 13",
        "light set 'night', light 2: has 3 words, not 21",
    };
    EXPECT_EQ(problems, expected);
}

TEST(LevelLight, TheLevelCopiesTheGlobalLightOnlyWhenItWasUsed)
{
    LitLevel lit;
    LightRecord& global = GlobalLightRecord();
    const struct {
        const char* name;
        bool used;
        bool valid;
        Vec3 values;
    } cases[] = {
        {"used: copied", true, true, {1, 2, 3}},
        {"not used: the flag clears, the values stay", false, false, {1, 2, 3}},
        {"used again", true, true, {4, 5, 6}},
    };
    Vec3 position{1, 2, 3};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        global.used = c.used;
        global.position = position;
        Level::CopyGlobalLightValues(lit.level.get());
        EXPECT_EQ(lit.level->globalLightValuesValid_, c.valid);
        EXPECT_FLOAT_EQ(lit.level->globalLightValues_.x, c.values.x);
        EXPECT_FLOAT_EQ(lit.level->globalLightValues_.z, c.values.z);
        position = {4, 5, 6};
    }
    Level::CopyGlobalLightValues(nullptr); // no level: nothing happens
    global.used = false;
}

TEST(LevelLight, TheDrawRegistersTheLevelRecordOnlyWhileTheLevelLightIsOn)
{
    LitLevel lit;
    Level& level = *lit.level;
    LightRecord& global = GlobalLightRecord();
    auto listed = [](const LightRecord& r) { return GlobalLightList().FindNode(const_cast<LightRecord*>(&r)) != nullptr; };
    // Made registered; a draw with the level light off leaves it so.
    EXPECT_TRUE(level.lightRecord_.registered);
    EXPECT_FLOAT_EQ(level.lightRecord_.attenuation[0], 0.5f);
    EXPECT_TRUE(level.lightRecord_.valid);

    const struct {
        const char* name;
        bool enabled;
        bool recordListedAfter;
    } cases[] = {
        {"off: the level's record untouched", false, true},
        {"on: in the list for the draw only", true, false},
        {"off again: still out", false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        global.Register();
        level.levelLightEnabled_ = c.enabled;
        Level::Draw(&level);
        EXPECT_EQ(listed(level.lightRecord_), c.recordListedAfter);
        EXPECT_EQ(level.lightRecord_.registered, c.recordListedAfter);
        // The global record leaves the list after every draw.
        EXPECT_FALSE(listed(global));
        EXPECT_FALSE(global.registered);
        EXPECT_FALSE(level.litPositionValid_); // a level without drawing lights nothing
    }
}

} // namespace
