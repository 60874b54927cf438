// Saved games: the level-start head byte for byte from the layout, a full
// save loaded into a fresh world, a table of damaged files that must fail
// with the running game untouched, and the write that never leaves half a
// file.
#include "session/saved_game.h"

#include "app/clock.h"
#include "objects/inventory.h"
#include "objects/level_triggers.h"
#include "objects/path_mover.h"
#include "objects/projectile.h"
#include "objects/role_table.h"
#include "objects/server_classes.h"
#include "objects/server_kinds.h"
#include "objects/teams.h"
#include "objects/unit_actor.h"
#include "objects/weapon_state.h"
#include "objects/world_object.h"
#include "session/doors.h"
#include "session/save_slots.h"
#include "session/server_objects.h"
#include "session/server_thread.h"
#include "tests/objects/server_fixture.h"
#include "world/fog_of_war.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <tuple>

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
        {"level object without a role", [](File& f) { f.world->serverObjects[0].roleId = -1; }, nullptr, "no role"},
        {"id not below the counter", [](File& f) { f.world->nextObjectId = 4; }, nullptr, "next id"},
        {"command line of 250", [](File& f) { f.world->lines = {std::string(250, 'x')}; }, nullptr,
         "command line"},
        {"named value of 252", [](File& f) { f.world->namedValues = {{std::string(252, 'v'), 1}}; }, nullptr,
         "named value"},
        {"huge fog", [](File& f) { f.world->fogSize = 70000; }, nullptr, "fog"},
        {"trigger kind 15", [](File& f) { f.world->triggers[0].image[0] = 15; }, nullptr, "trigger kind"},
        {"camera distance NaN", [](File& f) { f.world->camera.distance = std::nanf(""); }, nullptr, "camera"},
        {"camera angle infinite", [](File& f) { f.world->camera.angles[1] = INFINITY; }, nullptr, "camera"},
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
// The sample data's saves are put down from the layout by the generator:
// each must read back as a level-start save.
TEST(SavedGameFile, SampleSavesReadBack)
{
    const char* sample = std::getenv("TREVOK_SAMPLE_DATA");
    ASSERT_NE(sample, nullptr);
    const struct {
        const char* name;
        const char* level;
        size_t units, items;  // the first unit's items
    } saves[] = {
        {"Level Start.sav", "training_level.tvs", 0, 0},
        {"Next Level.SAV", "training_level.tvs", 2, 2},
        {"Mixed Case.Sav", "training_level.tvs", 1, 1},
        {"Campaign 1.sav", "training_level.tvs", 2, 1},
        {"Campaign 2.sAv", "mp_arena.tvs", 2, 2},
    };
    for (const auto& save : saves) {
        std::ifstream in(fs::path(sample) / "saves" / save.name, std::ios::binary);
        ASSERT_TRUE(in) << save.name;
        std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
        File file;
        std::string error;
        ASSERT_TRUE(Parse(bytes, file, &error)) << save.name << ": " << error;
        EXPECT_TRUE(file.levelStart) << save.name;
        EXPECT_EQ(file.levelScript, save.level) << save.name;
        EXPECT_EQ(file.block, LevelStateBlock()) << save.name;
        ASSERT_EQ(file.items.size(), save.units) << save.name;
        if (save.units != 0) {
            EXPECT_EQ(file.items[0].items.size(), save.items) << save.name;
        }
        EXPECT_EQ(Write(file), bytes) << save.name;
    }
}

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
        o->retargetTime_ = 7000u + i;
        o->targetDistance_ = 2.5f * i;
        o->baseRoundTime_ = 0.25f + i;
        o->home_ = {float(i), 0, 9};
        o->hasHome_ = i != 1;
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
    EXPECT_EQ(third->retargetTime_, 7002u);
    EXPECT_EQ(third->targetDistance_, 5.0f);
    EXPECT_EQ(third->baseRoundTime_, 2.25f);
    EXPECT_EQ(third->home_, (Vec3{2, 0, 9}));
    EXPECT_TRUE(third->hasHome_);
    EXPECT_FALSE(ObjectRegistry::Global().Find(2)->hasHome_);
    ASSERT_TRUE(SaveGame("two.sav", 1));
    auto first = ReadFile("one.sav"), second = ReadFile("two.sav");
    EXPECT_EQ(first, second);
}

// The level's own sections (triggers, doors, fog) go through the hooks the
// session installs, come back after the level stopped, and save again to
// the same bytes.
TEST_F(SaveFolder, LevelSectionsComeBackAfterTheLevelStopped)
{
    InstallLevelSections();
    GetHooks().loadLevel = nullptr;
    GetHooks().stopLevel = [this] {
        ++stops_;
        EmptyTables();
        LevelTriggers::Clear();
        Doors::Clear();
        std::fill(FogOfWar::Global()->MutableDiscovered().begin(), FogOfWar::Global()->MutableDiscovered().end(),
                  FogOfWar::kFogged);
    };
    FogOfWar fog(4, 4);
    FogOfWar::Global() = &fog;
    Make(&roles[0], 1, {1, 2, 3});
    const struct {
        uint32_t kind;
        float radius;
        int64_t value;
        const char* script;
        std::vector<std::string> names;
    } triggers[] = {
        {uint32_t(TriggerKind::Shot), 9, int64_t{1} << 40, "bolt", {}},
        {uint32_t(TriggerKind::Death), 0, -3, "", {"guard", "boss"}},
        {uint32_t(TriggerKind::Doors), 16, 0, "open.tcs", {"lift"}},
    };
    for (const auto& t : triggers) {
        LevelTrigger& record = *LevelTriggers::Add();
        record.kind_ = t.kind;
        record.radiusSquared_ = t.radius;
        record.value_ = t.value;
        record.script_ = t.script;
        record.names_ = t.names;
        for (int i = 0; i < 4; ++i)
            record.positions_[i] = {float(i), t.radius, -float(i)};
    }
    Doors::All().push_back({7, {}, true});
    Doors::All().push_back({8, {}, false});
    for (size_t i = 0; i < fog.MutableDiscovered().size(); ++i)
        fog.MutableDiscovered()[i] = uint32_t(i * 5);
    const std::vector<uint32_t> discovered = fog.Discovered();

    ASSERT_TRUE(SaveGame("sections.sav", 1));
    ASSERT_TRUE(LoadSavedGame("sections.sav"));
    EXPECT_EQ(stops_, 1);
    EXPECT_FALSE(ServerKinds::Restoring());
    ASSERT_EQ(size_t(LevelTriggers::All().Count()), std::size(triggers));
    size_t n = 0;
    for (List<LevelTrigger*>::Iterator it(LevelTriggers::All()); !it.AtEnd(); it.Next(), ++n) {
        const LevelTrigger& back = **it.Get();
        EXPECT_EQ(back.kind_, triggers[n].kind) << n;
        EXPECT_EQ(back.value_, triggers[n].value) << n;
        EXPECT_EQ(back.radiusSquared_, triggers[n].radius) << n;
        EXPECT_EQ(back.script_, triggers[n].script) << n;
        EXPECT_EQ(back.names_, triggers[n].names) << n;
        EXPECT_EQ(back.positions_[3], (Vec3{3, triggers[n].radius, -3})) << n;
    }
    ASSERT_EQ(Doors::All().size(), 2u);
    EXPECT_EQ(Doors::All()[0].number, 7);
    EXPECT_TRUE(Doors::All()[0].closed);
    EXPECT_FALSE(Doors::All()[1].closed);
    EXPECT_EQ(fog.Discovered(), discovered);
    ASSERT_TRUE(SaveGame("again.sav", 1));
    EXPECT_EQ(ReadFile("sections.sav"), ReadFile("again.sav"));

    // A grid of another size is left to the level's own fog.
    FogOfWar other(2, 2);
    FogOfWar::Global() = &other;
    ASSERT_TRUE(LoadSavedGame("sections.sav"));
    EXPECT_EQ(other.Discovered(), std::vector<uint32_t>(4, FogOfWar::kFogged));
    FogOfWar::Global() = nullptr;
    LevelTriggers::Clear();
    Doors::Clear();
}

// Units, a lift, a pick-up with its command file and a projectile in flight
// come back with their own fields and references, and save again to the
// same bytes.
TEST_F(SaveFolder, ObjectsOfSeveralKindsComeBackWithTheirState)
{
    script::Role& unitRole = NewRole();
    unitRole.aiType = Kind16Actor::kAiType;
    script::Role& liftRole = NewRole();
    liftRole.aiType = Kind8Object::kAiType;
    liftRole.character.reset();
    script::Role& pickRole = NewRole();
    pickRole.aiType = Kind10Object::kAiType;
    pickRole.character.reset();
    for (script::Role* role : {&unitRole, &liftRole, &pickRole})
        RoleTable::Global().File(*role);
    auto create = [](script::Role& role, const Vec3& at) {
        int32_t id = Server::CreateLevelObject(1, &role, at, Quaternion::Identity());
        return id < 0 ? nullptr : ObjectRegistry::Global().Find(uint32_t(id));
    };
    auto* armed = dynamic_cast<UnitActor*>(create(unitRole, {1, 0, 1}));
    auto* unarmed = dynamic_cast<UnitActor*>(create(unitRole, {4, 0, 1}));
    auto* lift = dynamic_cast<Kind8Object*>(create(liftRole, {0, 0, 8}));
    auto* pick = dynamic_cast<Kind10Object*>(create(pickRole, {2, 0, 2}));
    ASSERT_TRUE(armed && unarmed && lift && pick);
    armed->ChangeWeapon(3);
    ASSERT_TRUE(armed->GetWeapon());
    armed->SetArmour(17);
    armed->SetRounds(6);
    armed->AppendWaypoint({5, 0, 5}, 1);
    armed->AppendSparePoint({6, 0, 6}, 0);
    armed->AimAtObject(unarmed, 0, true, false);
    armed->retargetTime_ = 99;
    unarmed->ChangeWeapon(-1);
    ASSERT_FALSE(unarmed->GetWeapon());
    const Vec3 track[4] = {{0, 0, 8}, {0, 1, 8}, {0, 2, 8}, {0, 3, 8}};
    lift->SetTrack(track, Quaternion::Identity(), true);
    pick->Associate("door.tcs", true);
    auto* shot = new Projectile(1, &roles[0], {1, 1, 1}, Quaternion::Identity(), 5, armed->GetId(),
                                unarmed->GetId(), ObjectRegistry::Global().TakeNextId());
    const uint32_t armedId = armed->GetId(), unarmedId = unarmed->GetId(), liftId = lift->GetId(),
                   pickId = pick->GetId(), shotId = shot->GetId();
    const Vec3 velocity = shot->Velocity();

    ASSERT_TRUE(SaveGame("kinds.sav", 1));
    std::string error;
    auto bytes = ReadFile("kinds.sav");
    ASSERT_TRUE(Load(bytes, &error)) << error;
    auto* armedBack = dynamic_cast<UnitActor*>(ObjectRegistry::Global().Find(armedId));
    auto* unarmedBack = dynamic_cast<UnitActor*>(ObjectRegistry::Global().Find(unarmedId));
    auto* liftBack = dynamic_cast<Kind8Object*>(ObjectRegistry::Global().Find(liftId));
    auto* pickBack = dynamic_cast<Kind10Object*>(ObjectRegistry::Global().Find(pickId));
    auto* shotBack = dynamic_cast<Projectile*>(ObjectRegistry::Global().Find(shotId));
    ASSERT_TRUE(armedBack && unarmedBack && liftBack && pickBack && shotBack);
    ASSERT_TRUE(armedBack->GetWeapon());
    EXPECT_EQ(armedBack->GetWeapon()->weaponType, 3);
    EXPECT_EQ(armedBack->GetArmour(), 17);
    EXPECT_EQ(armedBack->GetRounds(), 6);
    EXPECT_EQ(armedBack->GetTarget(), unarmedBack);
    EXPECT_EQ(armedBack->retargetTime_, 99u);
    ASSERT_EQ(armedBack->Waypoints().size(), 1u);
    EXPECT_EQ(armedBack->Waypoints()[0].point, (Vec3{5, 0, 5}));
    ASSERT_EQ(armedBack->SparePoints().size(), 1u);
    EXPECT_FALSE(unarmedBack->GetWeapon());
    EXPECT_TRUE(liftBack->CarriesRiders());
    EXPECT_TRUE(liftBack->PathSet());
    ASSERT_TRUE(pickBack->CommandFile());
    EXPECT_EQ(*pickBack->CommandFile(), "door.tcs");
    EXPECT_TRUE(pickBack->RunOnce());
    EXPECT_EQ(shotBack->Start(), (Vec3{1, 1, 1}));
    EXPECT_EQ(shotBack->Velocity(), velocity);
    EXPECT_EQ(shotBack->ShooterId(), armedId);
    EXPECT_EQ(shotBack->Target(), unarmedBack);
    ASSERT_TRUE(SaveGame("again.sav", 1));
    EXPECT_EQ(ReadFile("again.sav"), bytes);
}

// Items worn on body parts show there again after a load, in a world where
// the level stopped and the squad is the squad again.
TEST_F(SaveFolder, WornItemsShowOnTheirBodyPartsAfterALoad)
{
    script::Role& carrierRole = NewRole();
    carrierRole.aiType = Kind16Actor::kAiType;
    GiveBoxModel(carrierRole, {0}, {{"Upper Arm Right", {0.3f, -1.4f, 0}}, {"Head", {0, -1.7f, 0}}});
    script::Role& gun = NewRole();
    gun.character.reset();
    VeShape* gunShape = GiveTreeOnPart(gun, "Upper Arm Right");
    script::Role& helmet = NewRole();
    helmet.character.reset();
    GiveBoxShape(helmet, {0, 0, 0}, {0.2f, 0.2f, 0.2f});
    for (script::Role* role : {&carrierRole, &gun, &helmet})
        RoleTable::Global().File(*role);
    TeamTable::Build(3, 1, 0);
    GetHooks().stopLevel = [this] {
        ++stops_;
        EmptyTables();
        TeamTable::Build(3, 1, 0);
    };
    const int32_t id = Server::CreateLevelObject(1, &carrierRole, {0, 0, 0}, Quaternion::Identity());
    auto* unit = dynamic_cast<UnitActor*>(ObjectRegistry::Global().Find(uint32_t(id)));
    ASSERT_TRUE(unit);
    unit->SetInventory(std::make_unique<Inventory>(0, 15));
    const struct {
        const char* name;
        script::Role* role;
        int32_t slot;
        const char* part;
        VeShape* shown;
    } rows[] = {
        {"a tree on the arm", &gun, 0, "Upper Arm Right", gunShape},
        {"a shape on the head", &helmet, 2, "Head", static_cast<VeShape*>(helmet.shape.shape.get())},
    };
    int32_t itemId = 40;
    for (const auto& row : rows) {
        CarriedItem item;
        item.kind = ItemKind::kArmour;
        item.roleId = row.role->id;
        item.id = ++itemId;
        unit->GetInventory()->Add(item);
        ASSERT_TRUE(unit->EquipItem(row.slot, itemId, false)) << row.name;
    }

    ASSERT_TRUE(SaveGame("worn.sav", 1));
    ASSERT_TRUE(LoadSavedGame("worn.sav"));
    auto* back = dynamic_cast<UnitActor*>(ObjectRegistry::Global().Find(uint32_t(id)));
    ASSERT_TRUE(back && back->Shape());
    itemId = 40;
    for (const auto& row : rows) {
        ShapeInstance* node = NamedPart(*back->Shape()->Root(), row.part);
        ASSERT_NE(node, nullptr) << row.name;
        EXPECT_EQ(node->slots_[0], row.shown) << row.name;
        EXPECT_TRUE(back->FindEquipped(++itemId)) << row.name;
    }
    TeamTable::Clear();
}

// The item screen shows a loaded character's modules (kinds 7 and 8), its
// weapon and its ammunition in the slots and looks it showed them in
// before the save: a stored item's looks are found again from its role.
TEST_F(SaveFolder, TheItemScreenShowsWhatItShowedBeforeTheLoad)
{
    script::Role& carrierRole = NewRole();
    carrierRole.aiType = Kind16Actor::kAiType;
    const auto itemRole = [this](bool panelLook) -> script::Role& {
        script::Role& role = NewRole();
        role.character.reset();
        GiveBoxShape(role, {0, 0, 0}, {0.2f, 0.2f, 0.2f});
        if (panelLook) {
            script::Role look;
            GiveBoxShape(look, {0, 0, 0}, {0.1f, 0.3f, 0.1f});
            role.inventory.emplace().shape = look.shape;
        }
        return role;
    };
    script::Role& sight = itemRole(true);
    script::Role& cloak = itemRole(false);  // shown in its look in the level
    script::Role& gun = itemRole(true);
    for (script::Role* role : {&carrierRole, &sight, &cloak, &gun})
        RoleTable::Global().File(*role);
    TeamTable::Build(3, 1, 0);
    GetHooks().stopLevel = [this] {
        ++stops_;
        EmptyTables();
        TeamTable::Build(3, 1, 0);
    };
    const int32_t id = Server::CreateLevelObject(1, &carrierRole, {0, 0, 0}, Quaternion::Identity());
    auto* unit = dynamic_cast<UnitActor*>(ObjectRegistry::Global().Find(uint32_t(id)));
    ASSERT_TRUE(unit);
    unit->SetInventory(std::make_unique<Inventory>(0, 15));
    const struct {
        int32_t kind;
        script::Role* role;
    } carried[] = {{ItemType::kModule, &sight}, {ItemType::kModule2, &cloak}, {ItemType::kWeapon, &gun}};
    int32_t itemId = 60;
    for (const auto& c : carried)
        unit->GetInventory()->Add(ItemFromRole(c.kind, *c.role, ++itemId));

    // What each slot of the screen shows: the item's id and kind, and the look.
    using Shown = std::vector<std::tuple<int32_t, int32_t, const script::ShapeRef*, bool>>;
    const auto screen = [](Inventory& inventory) {
        InventoryPanel::Shown() = &inventory;
        inventory.BuildPanel();
        Shown shown;
        for (const InventoryPanel::Slot& slot : InventoryPanel::Slots()) {
            if (slot.item)
                shown.emplace_back(slot.item->id, slot.item->kind, slot.item->PanelLook(),
                                   slot.item->panelObject != nullptr);
        }
        inventory.ReleasePanel();
        InventoryPanel::Shown() = nullptr;
        return shown;
    };
    const Shown before = screen(*unit->GetInventory());
    ASSERT_EQ(before.size(), std::size(carried));
    for (const auto& [shownId, kind, look, made] : before)
        EXPECT_TRUE(look && made) << "item " << shownId;

    ASSERT_TRUE(SaveGame("items.sav", 1));
    ASSERT_TRUE(LoadSavedGame("items.sav"));
    auto* back = dynamic_cast<UnitActor*>(ObjectRegistry::Global().Find(uint32_t(id)));
    ASSERT_TRUE(back && back->GetInventory());
    EXPECT_EQ(screen(*back->GetInventory()), before);
    TeamTable::Clear();
}

// A loaded object goes on from its own saved clock: its first update after
// the load counts only the time since the save, not all the time since 0.
TEST_F(SaveFolder, ALoadedObjectsClockGoesOnFromTheSave)
{
    GetHooks().gameSeconds = [] { return 10.0f; };
    GameObject* o = Make(&roles[0], 1, {0, 0, 0});
    o->Activate(10000000, 10.0f);
    o->lifeTimer_ = 5.0f;
    const uint32_t id = o->GetId();
    ASSERT_TRUE(SaveGame("clock.sav", 1));
    ASSERT_TRUE(LoadSavedGame("clock.sav"));
    GameObject* back = ObjectRegistry::Global().Find(id);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->now_, 10000000u);
    EXPECT_EQ(back->lastUpdate_, 10.0f);
    // The server's clock goes on from the saved time too, not from the level
    // start's 0: the object's next pass is a short one.
    EXPECT_NEAR(Server::ServerClock().Seconds(), 10.0f, 1.0f);
    EXPECT_NEAR(Server::ClientClock().Seconds(), 10.0f, 1.0f);
    back->Update(10500000, 10.5f);
    EXPECT_FLOAT_EQ(back->lifeTimer_, 4.5f);
}

// What a unit and a shot were doing when the game was saved goes on after
// the load: a leg under way, a patrol from the point it walks to (the
// waypoint cursor is not stored), a squad member's standing order and hold
// position (joining its side again on activation must not reset them), a
// weapon's times in the server's ticks, and a shot's flight from its launch.
TEST_F(SaveFolder, WhatALoadedUnitAndShotWereDoingGoesOn)
{
    script::Role& unitRole = NewRole();
    unitRole.character->canTurn = true;
    unitRole.character->walkingSpeed = 2 * 65536;
    unitRole.character->turningSpeed = 4096;
    unitRole.character->weapon = 3;
    RoleTable::Global().File(unitRole);
    script::WeaponEntry entry;
    entry.projectile = &roles[0];
    entry.roundTime = 0.25f;
    entry.reloadTime = 2.0f;
    entry.magazineSize = entry.salvoSize = 5;
    script::RecordTables::Global().StoreWeapon(3, WeaponState::DefaultAmmoFor(3), entry);
    RegisterActorClasses();
    TeamTable::Build(3, 1, 0);
    GetHooks().stopLevel = [this] {
        ++stops_;
        EmptyTables();  // also puts the plain object classes back
        RegisterActorClasses();
        TeamTable::Build(3, 1, 0);
    };
    const auto make = [&](const Vec3& at) {
        const int32_t id = Server::CreateLevelObject(1, &unitRole, at, Quaternion::Identity());
        auto* unit = dynamic_cast<UnitActor*>(ObjectRegistry::Global().Find(uint32_t(id)));
        if (unit)
            unit->Activate(1000000, 1.0f);
        return unit;
    };
    UnitActor* walker = make({0, 0, 0});
    UnitActor* guard = make({5, 0, 0});
    // Kept waypoints A, B, C: it left A and is halfway to B.
    const Vec3 patrol[] = {{0, 0, 10}, {4, 0, 10}, {4, 0, 14}};
    UnitActor* patroller = make(patrol[0]);
    ASSERT_TRUE(walker && guard && patroller);
    walker->WalkTo({4, 0, 4});
    for (const Vec3& point : patrol)
        patroller->AppendWaypoint(point, 1);
    patroller->NextWaypoint();
    ASSERT_EQ(patroller->MoveTarget(), patrol[1]);
    patroller->SetPosition({2, 0, 10});
    ASSERT_TRUE(guard->SetStandingOrder(4));
    ASSERT_TRUE(guard->SetStandingOrder(3));  // hold position, which joining the squad cleared
    ASSERT_TRUE(guard->GetWeapon());
    const float roundTime = guard->GetWeapon()->roundTime, reloadTime = guard->GetWeapon()->reloadTime;
    ASSERT_EQ(roundTime, 250000.0f);
    auto* shot = new Projectile(1, &roles[0], {1, 1, 1}, Quaternion::Identity(), 5, guard->GetId(), 0xFFFFFFFFu,
                                ObjectRegistry::Global().TakeNextId());
    shot->Activate(1000000, 1.0f);
    shot->Update(1500000, 1.5f);
    const uint32_t walkerId = walker->GetId(), guardId = guard->GetId(), shotId = shot->GetId(),
                   patrollerId = patroller->GetId();

    ASSERT_TRUE(SaveGame("doing.sav", 1));
    std::string error;
    ASSERT_TRUE(Load(ReadFile("doing.sav"), &error)) << error;
    auto* walkerBack = dynamic_cast<UnitActor*>(ObjectRegistry::Global().Find(walkerId));
    auto* guardBack = dynamic_cast<UnitActor*>(ObjectRegistry::Global().Find(guardId));
    auto* shotBack = dynamic_cast<Projectile*>(ObjectRegistry::Global().Find(shotId));
    ASSERT_TRUE(walkerBack && guardBack && shotBack);
    EXPECT_TRUE(walkerBack->IsWalking());
    EXPECT_EQ(walkerBack->MoveTarget(), (Vec3{4, 0, 4}));
    EXPECT_EQ(guardBack->StandingOrder(), 4);
    EXPECT_TRUE(guardBack->HoldsPosition());
    ASSERT_TRUE(guardBack->GetWeapon());
    EXPECT_EQ(guardBack->GetWeapon()->roundTime, roundTime);
    EXPECT_EQ(guardBack->GetWeapon()->reloadTime, reloadTime);
    // Launched at 1 s at 5 m/s along z: at 2 s it is 5 m from its start.
    shotBack->Update(2000000, 2.0f);
    EXPECT_FLOAT_EQ(shotBack->Position().z, 6.0f);
    // At B the patrol turns to C, not back to A.
    auto* patrollerBack = dynamic_cast<UnitActor*>(ObjectRegistry::Global().Find(patrollerId));
    ASSERT_TRUE(patrollerBack);
    uint64_t ticks = 1000000;
    for (int pass = 0; pass < 100 && patrollerBack->MoveTarget() == patrol[1]; ++pass) {
        ticks += 100000;
        patrollerBack->Update(ticks, float(double(ticks) / 1e6));
    }
    EXPECT_EQ(patrollerBack->MoveTarget(), patrol[2]);
    script::RecordTables::Global().Clear();
    ServerClasses::Set(0, nullptr);
    ServerClasses::SetCharacterMaker(nullptr);
    TeamTable::Clear();
}

// An independent reader of the layout reads every field of a full save with
// server objects of several kinds, replicas, items, triggers and doors, and
// writes them back to the same bytes.
TEST_F(SaveFolder, AnIndependentReaderReadsEveryFieldOfAFullSave)
{
    if (std::system("python3 -c pass > /dev/null 2>&1") != 0)
        GTEST_SKIP() << "no python3";
    InstallLevelSections();
    GetHooks().loadLevel = nullptr;
    script::Role& unitRole = NewRole();
    unitRole.aiType = Kind16Actor::kAiType;
    script::Role& pickRole = NewRole();
    pickRole.aiType = Kind10Object::kAiType;
    pickRole.character.reset();
    for (script::Role* role : {&unitRole, &pickRole})
        RoleTable::Global().File(*role);
    const int32_t unitId = Server::CreateLevelObject(1, &unitRole, {1, 0, 1}, Quaternion::Identity());
    auto* unit = dynamic_cast<UnitActor*>(ObjectRegistry::Global().Find(uint32_t(unitId)));
    ASSERT_TRUE(unit);
    unit->ChangeWeapon(3);
    unit->AppendWaypoint({5, 0, 5}, 1);
    const int32_t pickId = Server::CreateLevelObject(1, &pickRole, {2, 0, 2}, Quaternion::Identity());
    dynamic_cast<Kind10Object*>(ObjectRegistry::Global().Find(uint32_t(pickId)))->Associate("door.tcs", true);
    new Projectile(1, &roles[0], {1, 1, 1}, Quaternion::Identity(), 5, unit->GetId(), 0xFFFFFFFFu,
                   ObjectRegistry::Global().TakeNextId());
    WorldObject* replica = WorldObject::CreateByRole(1, &unitRole, {1, 0, 1}, Quaternion::Identity());
    ASSERT_TRUE(replica);
    WorldObjectTable::Rekey(*replica, uint32_t(unitId));
    LevelTrigger& trigger = *LevelTriggers::Add();
    trigger.script_ = "open.tcs";
    trigger.names_ = {"lift"};
    Doors::All().push_back({7, {}, true});
    WorldObjectTable::ExhaustParts() = {"dum exhaust"};

    ASSERT_TRUE(SaveGame("reader.sav", 1));
    const std::string command = std::string("python3 " TREVOK_FIXTURES_DIR "/../session/saved_game_reader.py --check '") +
                                SavedGames::PathOf("reader.sav").string() + "' > /dev/null";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    WorldObjectTable::DestroyAll();
    WorldObjectTable::ResetIds();
    WorldObjectTable::ExhaustParts().clear();
    LevelTriggers::Clear();
    Doors::Clear();
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

// A unit whose image holds a number no game keeps: placed at one, the file
// is refused before the running level stops; holding one in its own fields,
// the load names the word and ends the session cleanly.
TEST_F(SaveFolder, AUnitHoldingNumbersNoGameKeepsIsRefused)
{
    script::Role& unitRole = NewRole();
    unitRole.aiType = Kind16Actor::kAiType;
    RoleTable::Global().File(unitRole);
    ASSERT_GE(Server::CreateLevelObject(1, &unitRole, {1, 0, 1}, Quaternion::Identity()), 0);
    ASSERT_TRUE(SaveGame("unit.sav", 1));
    File good;
    std::string why;
    ASSERT_TRUE(Parse(ReadFile("unit.sav"), good, &why)) << why;
    const struct {
        const char* name;
        size_t word;
        float value;
        const char* fragment;
        int stops;
    } cases[] = {
        {"position", 0x0c, std::nanf(""), "sound position", 0},
        {"orientation", 0x20, INFINITY, "sound position", 0},
        {"position far out", 0x08, -1.0e30f, "sound position", 0},
        // Last: this one stops the running level.
        {"last scan", 0x1d4, std::nanf(""), "image word 0x1d4", 2},
    };
    for (const auto& c : cases) {
        File bad = good;
        for (ObjectRecord& record : bad.world->serverObjects) {
            if (record.info->unit)
                trevok::ByteWriter(std::span<uint8_t>(record.image).subspan(c.word)).F32(c.value);
        }
        std::string error;
        EXPECT_FALSE(Load(Write(bad), &error)) << c.name;
        EXPECT_NE(error.find(c.fragment), std::string::npos) << c.name << ": " << error;
        EXPECT_EQ(stops_, c.stops) << c.name;
    }
}

// The loading phase belongs to a load while it runs: neither a failed load
// nor a file that stores the phase leaves the next level start restoring a
// save (which would leave the level without its map objects).
TEST_F(SaveFolder, NoLoadLeavesTheGameInTheLoadingPhase)
{
    const struct {
        const char* name;
        int full;
        uint32_t storedPhase;
        bool dropRole;  // role 1 is gone from the level: the load fails
        bool loads;
    } cases[] = {
        {"a full load failing on an unknown role", 1, 1, true, false},
        {"a full save storing the loading phase", 1, LevelStateBlock::kPhaseLoading, false, true},
        {"a level-start save storing the loading phase", 0, LevelStateBlock::kPhaseLoading, false, true},
        {"a full save storing another phase", 1, 5, false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EmptyTables();
        RoleTable::Global().Clear();
        RoleTable::Global().ResetIds();
        RoleTable::Global().File(roles[0]);
        RoleTable::Global().File(roles[1]);
        Make(&roles[1], 1, {0, 0, 0});
        LevelStateBlock::Live().levelPhase = c.storedPhase;
        ASSERT_TRUE(SaveGame("phase.sav", c.full));
        LevelStateBlock::Live().levelPhase = 1;
        if (c.dropRole) {
            RoleTable::Global().Clear();
            RoleTable::Global().ResetIds();
            RoleTable::Global().File(roles[0]);
        }
        auto bytes = ReadFile("phase.sav");
        EXPECT_EQ(Load(bytes, nullptr), c.loads);
        EXPECT_NE(LevelStateBlock::Live().levelPhase, LevelStateBlock::kPhaseLoading);
        if (c.storedPhase != LevelStateBlock::kPhaseLoading && c.loads) {
            EXPECT_EQ(LevelStateBlock::Live().levelPhase, c.storedPhase) << "a stored phase is taken";
        }
    }
    LevelStateBlock::Live() = LevelStateBlock{};
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
