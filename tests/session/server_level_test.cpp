// The generated training level built with the server's level services: its
// level objects become server objects with the ids their client replicas
// get, typed and listed; and capture-the-flag flags stand at its dummies.
#include "session/server_objects.h"

#include "Veapi/ve_object.h"
#include "app/directories.h"
#include "objects/ai.h"
#include "objects/object_registry.h"
#include "objects/teams.h"
#include "script/directory_list.h"
#include "script/records.h"
#include "world/level.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include <unistd.h>

namespace fs = std::filesystem;

namespace {

TEST(ServerLevelTest, TheTrainingLevelsObjectsAndFlags)
{
    const fs::path root = TREVOK_SAMPLE_DATA_DIR;
    const fs::path script = root / "scripts" / "training_level.tvs";
    if (!fs::exists(root / "rifs" / "training_level.rif") || !fs::exists(script))
        GTEST_SKIP() << "sample data not generated";
    const fs::path dir = fs::temp_directory_path() / ("server_level_test_" + std::to_string(::getpid()));
    fs::create_directories(dir / "rifs");
    fs::copy_file(root / "rifs" / "training_level.rif", dir / "rifs" / "training_level.rif");

    LevelServices* built = BuildLevelScript(dir, script, std::make_unique<Server::ServerLevelServices>());
    ASSERT_NE(built, nullptr);
    ASSERT_NE(Level::Current(), nullptr);
    ASSERT_EQ(built->serverObjects.size(), 6u);
    ASSERT_EQ(ObjectRegistry::Global().Count(), 6u);
    for (size_t i = 0; i < built->serverObjects.size(); ++i) {
        SCOPED_TRACE(i);
        GameObject* object = ObjectRegistry::Global().Find(static_cast<uint32_t>(i + 1));
        ASSERT_NE(object, nullptr) << "server ids run like the client's";
        EXPECT_EQ(object->GetRole(), built->serverObjects[i].role);
        EXPECT_EQ(object->Side(), built->serverObjects[i].team);
        EXPECT_EQ(object->aiState_, AiState::kInitial) << "typed at time 0";
        EXPECT_EQ(object->Position(), built->serverObjects[i].position);
    }

    // Capture the flag on this level: side 1 has its dummies, side 3 none.
    ASSERT_TRUE(script::LoadDataDirectories(root));
    TeamTable::Build(4, 1, 5);
    TeamFlags::Setup(0);
    const Level& level = *Level::Current();
    const auto dummy = [&](const char* name) {
        for (const LevelDummy& d : level.dummies_)
            if (d.name == name)
                return d.position;
        ADD_FAILURE() << "no dummy " << name;
        return Vec3{0, 0, 0};
    };
    const TeamRecord& one = *TeamTable::Find(1);
    EXPECT_EQ(one.flagHome, dummy("Flag_1"));
    EXPECT_EQ(one.capturePoint, dummy("Capture_1"));
    ASSERT_NE(one.flag, nullptr);
    ASSERT_NE(one.flag->Object(), nullptr) << "the shared flag model loads from rifs\\objects";
    EXPECT_TRUE(one.flag->Object()->HasBounds());
    EXPECT_EQ(TeamTable::Find(3)->flagHome, (Vec3{3, 0, 3}));

    TeamTable::Clear();
    ObjectRegistry::Global().ReleaseAll();
    SideLists::Global().Clear();
    Server::ResetObjectTables();
    delete Level::Current();
    Level::Current() = nullptr;
    script::RecordTables::Global().Clear();
    script::RecordTables::Global().SetServices(nullptr);
    fs::remove_all(dir);
}

} // namespace
