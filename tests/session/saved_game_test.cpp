// Saved games: the level-start head byte for byte from the layout, a full
// save loaded into a fresh world, a table of damaged files that must fail
// with the running game untouched, and the write that never leaves half a
// file.
#include "session/saved_game.h"

#include "objects/inventory.h"
#include "objects/role_table.h"
#include "session/save_slots.h"
#include "session/server_objects.h"
#include "tests/objects/server_fixture.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>

#include <csignal>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace SavedGame::test {
namespace {

namespace fs = std::filesystem;

// Bytes put down straight from the layout, not by the writer under test.
struct Bytes {
    std::vector<uint8_t> b;
    Bytes& U32(uint32_t v)
    {
        for (int i = 0; i < 4; ++i)
            b.push_back(static_cast<uint8_t>(v >> (8 * i)));
        return *this;
    }
    Bytes& F32(float v) { return U32(std::bit_cast<uint32_t>(v)); }
    Bytes& U8(uint8_t v)
    {
        b.push_back(v);
        return *this;
    }
    Bytes& Str(std::string_view s)
    {
        U32(static_cast<uint32_t>(s.size() + 1));
        b.insert(b.end(), s.begin(), s.end());
        return U8(0);
    }
};

Bytes DefaultBlock()
{
    Bytes block;
    for (int i = 0; i < 16; ++i)
        block.U8(0);
    block.U8(1).U8(1).U8(0).U8(1).U32(5).U32(1);
    for (int i = 0; i < 5; ++i)
        block.U32(0);
    block.U32(1).U32(1).U32(0).F32(0.3f).F32(0.3f).F32(0.275f).F32(1.0f).U32(2);
    block.F32(0.65f).F32(-0.3937f).F32(-0.65f).F32(150.0f).U32(1).U8(0).U8(0).U8(0).U8(0);
    return block;
}

Bytes LevelStartBytes()
{
    Bytes b;
    b.Str("level2.tvs").Str("level2.tcs").U32(1);
    b.U32(1).Str("Sarge").U32(2);
    b.U32(7).U32(8).U32(3).U32(9).U32(static_cast<uint32_t>(-1)).Str("Rifle");
    b.U32(40).U32(50).U32(static_cast<uint32_t>(-1)).U32(60).U32(2);
    b.U32(104);
    auto block = DefaultBlock();
    b.b.insert(b.b.end(), block.b.begin(), block.b.end());
    return b;
}

TEST(LevelStateBlock, DefaultsAreTheStoredLayout)
{
    std::vector<uint8_t> out;
    trevok::ByteWriter w(out);
    LevelStateBlock().Write(w);
    EXPECT_EQ(out, DefaultBlock().b);
}

TEST(SavedGameFile, LevelStartSaveMatchesTheLayoutBothWays)
{
    auto bytes = LevelStartBytes().b;
    File file;
    std::string error;
    ASSERT_TRUE(Parse(bytes, file, &error)) << error;
    EXPECT_EQ(file.levelScript, "level2.tvs");
    EXPECT_TRUE(file.levelStart);
    ASSERT_EQ(file.items.size(), 1u);
    ASSERT_EQ(file.items[0].items.size(), 2u);
    EXPECT_EQ(file.items[0].items[0], (SnapshotItem{7, 8, 9, 3, -1, "Rifle"}));
    EXPECT_EQ(file.items[0].items[1], (SnapshotItem{40, 50, 60, -1, 2, std::nullopt}));
    EXPECT_FALSE(file.world);
    EXPECT_EQ(Write(file), bytes);
}

TEST(SavedGameFile, LevelStartFixtureWrittenFromTheLayoutRoundTrips)
{
    std::ifstream in(fs::path(TREVOK_FIXTURES_DIR) / "session" / "saves" / "level_start.sav", std::ios::binary);
    std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
    ASSERT_FALSE(bytes.empty());
    File file;
    std::string error;
    ASSERT_TRUE(Parse(bytes, file, &error)) << error;
    EXPECT_EQ(file.companion, "level2.tcs");
    ASSERT_EQ(file.items.size(), 1u);
    EXPECT_EQ(file.items[0].items[0].roleName, "Rifle");
    EXPECT_EQ(file.block, LevelStateBlock());
    EXPECT_EQ(Write(file), bytes);
}

TEST(SavedGameFile, StateBlockOfAnotherSizeReadsAtMost104Bytes)
{
    for (uint32_t size : {0u, 60u, 200u}) {
        Bytes b;
        b.Str("a.tvs").Str("a.tcs").U32(1).U32(0).U32(size);
        for (uint32_t i = 0; i < size; ++i)
            b.U8(i < 104 ? 0x11 : 0x22);
        File file;
        std::string error;
        ASSERT_TRUE(Parse(b.b, file, &error)) << size << ": " << error;
        // Bytes past the stored ones keep the defaults.
        EXPECT_EQ(file.block.value92 == 150.0f, size <= 92) << size;
        EXPECT_EQ(file.block.flag16, size > 16 ? 0x11 : 1) << size;
    }
}

World SmallWorld()
{
    World w;
    w.gameTime = 12.5f;
    w.nextObjectId = 9;
    w.lines = {"say hello"};
    w.namedValues = {{"alarm", 2.0f}};
    w.partNames = {"turret"};
    Trigger t;
    t.image[0] = 5;
    t.scriptName = "trig.tcs";
    t.names = {"a", "b"};
    w.triggers = {t};
    w.doors = {{3, {1, 2}, true}};
    w.camera = {{1, 2, 3}, {4, 5, 6}, 7};
    w.fogSize = 2;
    w.fogCells = {1, 2, 3, 4};
    w.fences = {{{0, 0, 0}, {1, 1, 1}}};
    return w;
}

TEST(SavedGameFile, FullWorldSectionsRoundTrip)
{
    File file;
    file.levelScript = "l.tvs";
    file.companion = "l.tcs";
    file.levelStart = false;
    file.world = SmallWorld();
    auto bytes = Write(file);
    File back;
    std::string error;
    ASSERT_TRUE(Parse(bytes, back, &error)) << error;
    ASSERT_TRUE(back.world);
    EXPECT_EQ(back.world->lines, file.world->lines);
    EXPECT_EQ(back.world->namedValues, file.world->namedValues);
    EXPECT_EQ(back.world->triggers[0].scriptName, "trig.tcs");
    EXPECT_EQ(back.world->triggers[0].names, (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(back.world->doors[0].polygons, (std::vector<uint32_t>{1, 2}));
    EXPECT_EQ(back.world->fogCells, file.world->fogCells);
    EXPECT_EQ(Write(back), bytes);
}

ObjectRecord PlainRecord(uint32_t id, int32_t side = 1)
{
    ObjectRecord r;
    r.info = FindClass(static_cast<uint32_t>(ClassTag::kPlain));
    r.image.assign(256, 0);
    trevok::ByteWriter w{std::span<uint8_t>(r.image)};
    w.U32(1);
    w.I32(side);
    r.roleId = 0;
    r.objectId = id;
    r.state.assign(8, 0);
    return r;
}

File FullFile()
{
    File file;
    file.levelScript = "l.tvs";
    file.companion = "l.tcs";
    file.levelStart = false;
    file.world = SmallWorld();
    file.world->serverObjects = {PlainRecord(3), PlainRecord(4)};
    return file;
}

void PutU32(std::vector<uint8_t>& bytes, size_t at, uint32_t v)
{
    trevok::ByteWriter(std::span<uint8_t>(bytes).subspan(at)).U32(v);
}

// Offset of the first server object record's image size.
size_t FirstRecordOffset()
{
    File head = FullFile();
    head.world.reset();
    head.levelStart = true;
    return Write(head).size() + 4 + 4 + 4;  // game time, next id, count
}

TEST(SavedGameFile, EveryTruncationFails)
{
    auto bytes = Write(FullFile());
    for (size_t n = 0; n < bytes.size(); ++n) {
        File file;
        std::string error;
        EXPECT_FALSE(Parse(std::span(bytes).first(n), file, &error)) << "cut at " << n;
        EXPECT_FALSE(error.empty()) << n;
    }
}

TEST(SavedGameFile, DamagedFilesFailWithTheirFault)
{
    const size_t record = FirstRecordOffset();
    struct Case {
        const char* name;
        std::function<void(File&)> edit;
        std::function<void(std::vector<uint8_t>&)> patch;
        const char* fragment;
    };
    const Case cases[] = {
        {"huge object count", nullptr, [&](auto& b) { PutU32(b, record - 4, 0xFFFFFFFFu); }, "count"},
        {"image size beyond the file", nullptr, [&](auto& b) { PutU32(b, record, 0x7FFFFFF0u); }, "image size"},
        {"unknown class tag", nullptr, [&](auto& b) { PutU32(b, record + 4, 99); }, "class tag"},
        {"size of another class", [](File& f) { f.world->serverObjects[0].image.resize(440); }, nullptr,
         "for a class"},
        {"duplicate ids", [](File& f) { f.world->serverObjects[1].objectId = 3; }, nullptr, "twice"},
        {"side out of range", [](File& f) { f.world->serverObjects[0] = PlainRecord(3, 10); }, nullptr, "side"},
        {"role word below -1", [](File& f) { f.world->serverObjects[0].roleId = -5; }, nullptr, "role"},
        {"id not below the counter", [](File& f) { f.world->nextObjectId = 4; }, nullptr, "next id"},
        {"command line of 250", [](File& f) { f.world->lines = {std::string(250, 'x')}; }, nullptr,
         "command line"},
        {"named value of 252", [](File& f) { f.world->namedValues = {{std::string(252, 'v'), 1}}; }, nullptr,
         "named value"},
        {"huge fog", [](File& f) { f.world->fogSize = 70000; }, nullptr, "fog"},
        {"door flag 2", nullptr,
         [](auto& b) {
             // Behind the door's closed word: the camera, the 2 x 2 fog, one fence.
             PutU32(b, b.size() - 28 - 20 - 28 - 4, 2);
         },
         "door"},
        {"empty counted string", nullptr, [](auto& b) { PutU32(b, 0, 0); }, "level script"},
        {"string without its NUL", nullptr, [](auto& b) { b[4 + 5] = 'x'; }, "level script"},
        {"level-start flag 2", nullptr, [](auto& b) { PutU32(b, 4 + 6 + 4 + 6, 2); }, "level-start"},
        {"snapshot slot 99", [](File& f) { f.items = {{nullptr, "Sarge", {{1, 2, 3, 99, 4, std::nullopt}}}}; },
         nullptr, "slot"},
        {"snapshot built-in row 500",
         [](File& f) { f.items = {{nullptr, "Sarge", {{1, 2, 3, -1, 500, std::nullopt}}}}; }, nullptr,
         "built-in"},
    };
    for (const Case& c : cases) {
        File file = FullFile();
        if (c.edit)
            c.edit(file);
        auto bytes = Write(file);
        if (c.patch)
            c.patch(bytes);
        File out;
        std::string error;
        EXPECT_FALSE(Parse(bytes, out, &error)) << c.name;
        EXPECT_NE(error.find(c.fragment), std::string::npos) << c.name << ": " << error;
    }
}

// A private saves folder for each test.
class SaveFolder : public ServerWorld {
protected:
    void SetUp() override
    {
        ServerWorld::SetUp();
        char name[] = "/tmp/trevok-saves-XXXXXX";
        dir_ = mkdtemp(name);
        if (const char* old = std::getenv("XDG_DATA_HOME"))
            saved_ = old;
        setenv("XDG_DATA_HOME", dir_.c_str(), 1);
        RoleTable::Global().Clear();
        RoleTable::Global().ResetIds();
        for (int i = 0; i < 2; ++i)
            RoleTable::Global().File(NewRole());
        GetHooks() = {};
        stops_ = 0;
        GetHooks().stopLevel = [this] {
            ++stops_;
            EmptyTables();
        };
    }
    void TearDown() override
    {
        GetHooks() = {};
        RoleTable::Global().Clear();
        if (saved_)
            setenv("XDG_DATA_HOME", saved_->c_str(), 1);
        else
            unsetenv("XDG_DATA_HOME");
        fs::remove_all(dir_);
        ServerWorld::TearDown();
    }
    std::vector<uint8_t> ReadFile(const char* name)
    {
        std::ifstream in(SavedGames::PathOf(name), std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }

    fs::path dir_;
    std::optional<std::string> saved_;
    int stops_ = 0;
};

TEST_F(SaveFolder, FullSaveLoadsBackToTheSameWorld)
{
    for (int i = 0; i < 3; ++i) {
        GameObject* o = Make(&roles[i % 2], 1 + i, {float(i), 2, 3});
        o->aiState_ = 10 + i;
        o->nextThink_ = 1000u + i;
        o->aiPoint_ = {1, float(i), 3};
        o->flags_ = 0x40u | i;
        o->SetHitPoints(50 + i);
        if (i == 2)
            o->Hold(ObjectRegistry::Global().Find(1));
    }
    LevelStateBlock::Live().value92 = 77;
    ASSERT_TRUE(SaveGame("one.sav", 1));
    LevelStateBlock::Live().value92 = 1;
    EmptyTables();
    ASSERT_TRUE(LoadSavedGame("one.sav"));
    EXPECT_EQ(LevelStateBlock::Live().value92, 77);
    ASSERT_EQ(ObjectRegistry::Global().Count(), 3u);
    GameObject* third = ObjectRegistry::Global().Find(3);
    ASSERT_TRUE(third);
    EXPECT_EQ(third->Held(), ObjectRegistry::Global().Find(1));
    EXPECT_EQ(third->HitPoints(), 52);
    ASSERT_TRUE(SaveGame("two.sav", 1));
    auto first = ReadFile("one.sav"), second = ReadFile("two.sav");
    EXPECT_EQ(first, second);
}

TEST_F(SaveFolder, ADamagedFileLeavesTheRunningGameAlone)
{
    Make(&roles[0], 1, {0, 0, 0});
    ASSERT_TRUE(SaveGame("good.sav", 1));
    auto bytes = ReadFile("good.sav");
    const struct {
        const char* name;
        std::function<void(std::vector<uint8_t>&)> damage;
    } cases[] = {
        {"cut short", [](auto& b) { b.resize(b.size() - 3); }},
        {"cut in the head", [](auto& b) { b.resize(12); }},
        {"trailing count huge", [](auto& b) { PutU32(b, b.size() - 4, 0x40000000u); }},
    };
    for (const auto& c : cases) {
        auto damaged = bytes;
        c.damage(damaged);
        std::string error;
        EXPECT_FALSE(Load(damaged, &error)) << c.name;
        EXPECT_EQ(stops_, 0) << c.name;
        EXPECT_EQ(ObjectRegistry::Global().Count(), 1u) << c.name;
    }
}

TEST_F(SaveFolder, AnUnknownRoleFailsTheLoadAndEndsTheSessionCleanly)
{
    Make(&roles[1], 1, {0, 0, 0});
    ASSERT_TRUE(SaveGame("role.sav", 1));
    RoleTable::Global().Clear();
    RoleTable::Global().ResetIds();
    RoleTable::Global().File(roles[0]);  // role 1 is gone from the level
    std::string error;
    auto bytes = ReadFile("role.sav");
    EXPECT_FALSE(Load(bytes, &error));
    EXPECT_NE(error.find("unknown role"), std::string::npos) << error;
    EXPECT_EQ(stops_, 2);  // the running level, then the half-built one
}

TEST_F(SaveFolder, ASaveKilledMidWriteLeavesTheOldFileWhole)
{
    for (int i = 0; i < 200; ++i)
        Make(&roles[0], 1, {0, 0, 0});
    ASSERT_TRUE(SaveGame("keep.sav", 0));
    auto old = ReadFile("keep.sav");
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // The write is cut off by the file-size limit part way through.
        rlimit limit{4096, 4096};
        setrlimit(RLIMIT_FSIZE, &limit);
        signal(SIGXFSZ, SIG_DFL);
        SaveGame("keep.sav", 1);
        _exit(0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_EQ(ReadFile("keep.sav"), old);
}

} // namespace
} // namespace SavedGame::test
