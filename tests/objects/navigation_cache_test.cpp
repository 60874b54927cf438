#include "objects/navigation_cache.h"

#include "navigation_fixture.h"
#include "objects/path_search.h"
#include "platform/byte_cursor.h"
#include "platform/os.h"
#include "world/level_cache.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

constexpr uint64_t kTime = 0x01D9ABCD12345678;

const std::vector<std::string> kMap = {
    "...#",
    ".x..",
    "#...",
};

std::vector<uint8_t> ReadAll(const fs::path& path)
{
    return platform::ReadWholeFile(path, 1 << 20).value_or(std::vector<uint8_t>{});
}

void WriteAll(const fs::path& path, const std::vector<uint8_t>& bytes)
{
    ASSERT_TRUE(platform::WriteWholeFile(path, bytes.data(), bytes.size()));
}

// A private folder for the level script, and a private $XDG_CACHE_HOME.
class NavigationCacheFolder : public ::testing::Test {
protected:
    void SetUp() override
    {
        char name[] = "/tmp/trevok-nav-XXXXXX";
        dir_ = mkdtemp(name);
        if (const char* old = std::getenv("XDG_CACHE_HOME"))
            savedXdg_ = old;
        setenv("XDG_CACHE_HOME", (dir_ / "xdg").c_str(), 1);
        script_ = dir_ / "level05.tvs";
        std::ofstream(script_) << "map level05\n";
    }
    void TearDown() override
    {
        if (savedXdg_.empty())
            unsetenv("XDG_CACHE_HOME");
        else
            setenv("XDG_CACHE_HOME", savedXdg_.c_str(), 1);
        fs::remove_all(dir_);
    }

    // The grid level as the loader hands it over: polygons, no cells, no links.
    static navtest::GridLevel FreshLevel(uint64_t time = kTime)
    {
        auto g = navtest::MakeGridLevel(kMap, false);
        g.level->levelFileTime_ = time;
        return g;
    }
    static std::vector<std::vector<uint32_t>> RebuiltLinks()
    {
        auto g = FreshLevel();
        g.level->BuildCellGrid(98, 4, 98);
        g.level->LinkPolygons();
        return navtest::LinkTable(*g.level);
    }

    fs::path dir_;
    fs::path script_;
    std::string savedXdg_;
};

TEST(NavigationCachePath, OnlyATvsScriptNamesACache)
{
    const std::pair<const char*, const char*> cases[] = {
        {"a.tvs", "a.map"},
        {"data/Level05.TVS", "data/Level05.map"},
        {"x.y.tvs", "x.y.map"},
        {"level05.rif", nullptr},
        {"level05", nullptr},
        {".tvs", nullptr},
        {"tvs", nullptr},
        {"a.map", nullptr},
    };
    for (const auto& [script, cache] : cases) {
        const auto path = NavigationCache::PathFor(script);
        if (cache)
            EXPECT_EQ(path, fs::path(cache)) << script;
        else
            EXPECT_FALSE(path) << script;
    }
}

TEST(NavigationCacheApply, LoadsACacheFromAnIndependentWriter)
{
    const fs::path folder = fs::path(std::getenv("TREVOK_FIXTURES")) / "objects" / "navigation";
    auto g = navtest::MakeGridLevel({"..", ".."}, false);
    g.level->PolygonAt(3)->flags_ |= 0x1;
    std::string why;
    ASSERT_TRUE(NavigationCache::Apply(*g.level, ReadAll(folder / "floor_2x2.map"), kTime, &why)) << why;
    const std::vector<std::vector<uint32_t>> expected = {{1, 2}, {3, 0}, {0}, {}};
    EXPECT_EQ(navtest::LinkTable(*g.level), expected);
    // Only the class bits come from the file; polygon 3 keeps its own bit.
    EXPECT_EQ(g.level->PolygonAt(0)->flags_, 0x2000u);
    EXPECT_EQ(g.level->PolygonAt(3)->flags_, 0x4001u);

    auto h = navtest::MakeGridLevel({"..", ".."}, false);
    EXPECT_FALSE(NavigationCache::Apply(*h.level, ReadAll(folder / "floor_2x2_cut.map"), kTime, &why));
    EXPECT_NE(why.find("cut short"), std::string::npos) << why;
}

struct Damage {
    const char* name;
    std::function<void(std::vector<uint8_t>&)> change;
    const char* why;
};

void PutU32(std::vector<uint8_t>& image, size_t at, uint32_t value)
{
    trevok::ByteWriter(std::span<uint8_t>(image).subspan(at, 4)).U32(value);
}

// Polygon 0's record starts at 8; its first link index at 16.
const Damage kDamages[] = {
    {"empty", [](auto& b) { b.clear(); }, "time stamp"},
    {"seven bytes", [](auto& b) { b.resize(7); }, "time stamp"},
    {"stale", [](auto& b) { b[0] ^= 1; }, "stale"},
    {"time stamp only", [](auto& b) { b.resize(8); }, "cut short"},
    {"cut in the links", [](auto& b) { b.resize(b.size() - 2); }, "cut short"},
    {"trailing byte", [](auto& b) { b.push_back(0); }, "past the last polygon"},
    {"more links than polygons", [](auto& b) { PutU32(b, 8, 1000); }, "more than the level's"},
    {"link count near 2^32", [](auto& b) { PutU32(b, 8, 0xFFFFFFFF); }, "more than the level's"},
    {"link out of the table", [](auto& b) { PutU32(b, 16, 77); }, "no polygon 77"},
    {"self link", [](auto& b) { PutU32(b, 16, 0); }, "itself"},
    {"duplicate link", [](auto& b) { PutU32(b, 20, trevok::ByteReader(b).At(16).U32()); }, "twice"},
};

class DamagedCache : public NavigationCacheFolder, public ::testing::WithParamInterface<Damage> {};

TEST_P(DamagedCache, IsRefusedUntouchedThenRebuiltAndRewritten)
{
    auto linked = FreshLevel();
    linked.level->BuildCellGrid(98, 4, 98);
    linked.level->LinkPolygons();
    const auto good = NavigationCache::Encode(*linked.level, kTime);
    const CollisionPolygon* first = linked.level->PolygonAt(0);
    ASSERT_TRUE(first && first->LinkCount() >= 2); // the damages name its first two links
    auto damaged = good;
    GetParam().change(damaged);

    auto probe = FreshLevel();
    probe.level->PolygonAt(1)->AddLink(probe.level->PolygonAt(2));
    const auto before = navtest::LinkTable(*probe.level);
    std::string why;
    EXPECT_FALSE(NavigationCache::Apply(*probe.level, damaged, kTime, &why));
    EXPECT_NE(why.find(GetParam().why), std::string::npos) << why;
    EXPECT_EQ(navtest::LinkTable(*probe.level), before);

    WriteAll(dir_ / "level05.map", damaged);
    auto level = FreshLevel();
    const auto outcome = NavigationCache::LoadOrBuild(*level.level, script_, 1000000);
    EXPECT_EQ(outcome.source, NavigationCache::Source::Rebuilt);
    EXPECT_NE(outcome.why.find("level05.map"), std::string::npos) << outcome.why;
    EXPECT_EQ(outcome.written, dir_ / "level05.map");
    EXPECT_EQ(navtest::LinkTable(*level.level), RebuiltLinks());
    EXPECT_EQ(ReadAll(dir_ / "level05.map"), good);
}

std::string DamageName(const ::testing::TestParamInfo<Damage>& damage)
{
    std::string n = damage.param.name;
    for (char& c : n) {
        if (!std::isalnum(static_cast<unsigned char>(c)))
            c = '_';
    }
    return n;
}

INSTANTIATE_TEST_SUITE_P(Table, DamagedCache, ::testing::ValuesIn(kDamages), DamageName);

TEST_F(NavigationCacheFolder, LoadEqualsRebuildAndASecondCallDoesNothing)
{
    auto first = FreshLevel();
    const auto built = NavigationCache::LoadOrBuild(*first.level, script_, 150000);
    EXPECT_EQ(built.source, NavigationCache::Source::Rebuilt);
    EXPECT_EQ(built.written, dir_ / "level05.map");
    EXPECT_EQ(CurrentPathBudgets().nodes, 300);
    EXPECT_EQ(CurrentPathBudgets().plans, 1);

    auto second = FreshLevel();
    const auto loaded = NavigationCache::LoadOrBuild(*second.level, script_, 1000000);
    EXPECT_EQ(loaded.source, NavigationCache::Source::Loaded) << loaded.why;
    EXPECT_EQ(navtest::LinkTable(*second.level), navtest::LinkTable(*first.level));
    for (uint32_t i = 0; i < first.level->PolygonCount(); ++i)
        EXPECT_EQ(second.level->PolygonAt(i)->flags_, first.level->PolygonAt(i)->flags_);
    EXPECT_EQ(CurrentPathBudgets().nodes, 500);
    EXPECT_TRUE(second.level->HasCells());

    fs::remove(dir_ / "level05.map");
    EXPECT_EQ(NavigationCache::LoadOrBuild(*second.level, script_, 1000000).source,
              NavigationCache::Source::AlreadyPrepared);
    EXPECT_FALSE(fs::exists(dir_ / "level05.map"));
}

TEST_F(NavigationCacheFolder, TheLoadersStepWorksOnTheCurrentLevel)
{
    ASSERT_EQ(Level::Current(), nullptr);
    EXPECT_EQ(NavigationCache::LoadOrBuildCurrent(script_).why, "no current level");
    auto level = FreshLevel();
    Level::Current() = level.level.get();
    const auto outcome = NavigationCache::LoadOrBuildCurrent(script_);
    Level::Current() = nullptr;
    EXPECT_EQ(outcome.source, NavigationCache::Source::Rebuilt);
    EXPECT_TRUE(level.level->navigationPrepared_);
    EXPECT_EQ(navtest::LinkTable(*level.level), RebuiltLinks());
}

TEST_F(NavigationCacheFolder, ALevelSavedAgainIsRebuiltWithTheNewTime)
{
    auto old = FreshLevel(kTime);
    NavigationCache::LoadOrBuild(*old.level, script_, 1000000);
    auto saved = FreshLevel(kTime + 10000000);
    EXPECT_EQ(NavigationCache::LoadOrBuild(*saved.level, script_, 1000000).source,
              NavigationCache::Source::Rebuilt);
    const auto image = ReadAll(dir_ / "level05.map");
    EXPECT_EQ(trevok::ByteReader(image).U64(), kTime + 10000000);
}

TEST_F(NavigationCacheFolder, StampIsTheLevelFilesModificationTimeAsAFileTime)
{
    // 2020-01-01 00:00:00.1234567 UTC: 132223104001234567 in 100 ns units
    // since 1601, stored low word first.
    const fs::path levelFile = dir_ / "level05.rif";
    std::ofstream(levelFile) << "level";
    const timespec times[2] = {{1577836800, 123456700}, {1577836800, 123456700}};
    ASSERT_EQ(utimensat(AT_FDCWD, levelFile.c_str(), times, 0), 0);

    auto level = FreshLevel(LevelCache::FileTime(levelFile));
    NavigationCache::LoadOrBuild(*level.level, script_, 1000000);
    const auto image = ReadAll(dir_ / "level05.map");
    ASSERT_GE(image.size(), 8u);
    const std::vector<uint8_t> stamp(image.begin(), image.begin() + 8);
    EXPECT_EQ(stamp, (std::vector<uint8_t>{0x87, 0xD6, 0x17, 0x69, 0x36, 0xC0, 0xD5, 0x01}));
}

TEST_F(NavigationCacheFolder, AFolderThatRefusesTheCacheSendsItToTheCacheHome)
{
    // The temporary beside the script cannot be made (a folder holds its
    // name), as in a read-only data folder.
    fs::path blocker = dir_ / "level05.map.tmp";
    blocker += std::to_string(getpid());
    fs::create_directory(blocker);

    auto first = FreshLevel();
    const auto built = NavigationCache::LoadOrBuild(*first.level, script_, 1000000);
    EXPECT_EQ(built.written, NavigationCache::FallbackPathFor(script_));
    EXPECT_EQ(built.written.string().rfind((dir_ / "xdg" / "trevok" / "navigation").string(), 0), 0u)
        << built.written;
    EXPECT_FALSE(fs::exists(dir_ / "level05.map"));

    auto second = FreshLevel();
    const auto loaded = NavigationCache::LoadOrBuild(*second.level, script_, 1000000);
    EXPECT_EQ(loaded.source, NavigationCache::Source::Loaded);
    EXPECT_EQ(loaded.loaded, built.written);
    EXPECT_EQ(navtest::LinkTable(*second.level), RebuiltLinks());
}

TEST_F(NavigationCacheFolder, NoCacheIsWrittenWithoutATvsNameOrAFileTime)
{
    struct Case {
        const char* script;
        uint64_t time;
    };
    for (const Case& c : {Case{"level05.rif", kTime}, Case{"map", kTime}, Case{"level05.tvs", 0}}) {
        SCOPED_TRACE(c.script);
        auto level = FreshLevel(c.time);
        const auto outcome = NavigationCache::LoadOrBuild(*level.level, dir_ / c.script, 1000000);
        EXPECT_EQ(outcome.source, NavigationCache::Source::Rebuilt);
        EXPECT_TRUE(outcome.written.empty());
        EXPECT_EQ(navtest::LinkTable(*level.level), RebuiltLinks());
    }
    size_t files = 0;
    for ([[maybe_unused]] const auto& entry : fs::recursive_directory_iterator(dir_))
        ++files;
    EXPECT_EQ(files, 1u); // the script alone
}

} // namespace
