// Saved games of the sample level loaded through the save screen's slot
// path, with the real level stop and load: a full save comes back into the
// level loaded again (its map objects not placed twice), a level-start save
// leads to the level's briefing and from there to the level itself.
#include "app/app_state.h"
#include "objects/game_object.h"
#include "objects/object_registry.h"
#include "objects/role_table.h"
#include "objects/world_object.h"
#include "script/directory_list.h"
#include "script/records.h"
#include "session/game_state.h"
#include "session/item_snapshot.h"
#include "session/level_session.h"
#include "session/save_slots.h"
#include "session/saved_game.h"
#include "world/level.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include <unistd.h>

namespace fs = std::filesystem;

namespace {

using ObjectKey = std::tuple<uint32_t, int32_t, int32_t>;  // id, role, side

std::vector<ObjectKey> ServerObjects()
{
    GameState::Hold hold;
    std::vector<ObjectKey> keys;
    for (const GameObject* object : ObjectRegistry::Global().Snapshot())
        keys.emplace_back(object->GetId(), object->GetRole() ? object->GetRole()->id : -1, object->Side());
    return keys;
}

std::vector<ObjectKey> Replicas()
{
    std::vector<ObjectKey> keys;
    for (const WorldObject* object : WorldObjectTable::Snapshot())
        keys.emplace_back(object->GetId(), object->GetRole() ? object->GetRole()->id : -1, object->Side());
    return keys;
}

class SavedLevel : public ::testing::Test {
protected:
    void SetUp() override
    {
        root_ = TREVOK_SAMPLE_DATA_DIR;
        if (!fs::exists(root_ / "scripts" / "training_level.tvs"))
            GTEST_SKIP() << "sample data not generated";
        dir_ = fs::temp_directory_path() / ("saved_level_test_" + std::to_string(::getpid()));
        fs::create_directories(dir_);
        if (const char* old = std::getenv("XDG_DATA_HOME"))
            savedXdg_ = old;
        setenv("XDG_DATA_HOME", dir_.c_str(), 1);
        ASSERT_TRUE(script::LoadDataDirectories(root_));
        RoleTable::Install();
        Session::SetHooks({});
        Session::DataRoot() = root_;
        Session::Names() = {"training_level.tvs", "training_level.tcs"};
        SavedGame::GetHooks() = {};
        SavedGame::InstallLevelSections();
        SavedGame::GetHooks().enterBriefing = [this](int32_t) {
            ++briefings_;
            SetAppState(AppState::Briefing);
        };
        SaveScreen::GetHooks().show = [this](const std::string& text) { shown_.push_back(text); };
        ASSERT_TRUE(StartSession(true)) << Session::LastError();
        SetAppState(AppState::Playing);
    }
    void TearDown() override
    {
        EndSession();
        script::RecordTables::Global().SetRoleFiler(nullptr);
        SavedGame::GetHooks() = {};
        SaveScreen::GetHooks() = {};
        Session::Names() = {};
        Session::DataRoot().clear();
        SetAppState(AppState::None);
        if (savedXdg_)
            setenv("XDG_DATA_HOME", savedXdg_->c_str(), 1);
        else if (!dir_.empty())
            unsetenv("XDG_DATA_HOME");
        if (!dir_.empty())
            fs::remove_all(dir_);
    }
    static bool LoadThroughTheScreen(const char* typed)
    {
        SaveScreen::Name().Set(typed);
        return SaveScreen::Load();
    }

    fs::path root_, dir_;
    std::optional<std::string> savedXdg_;
    int briefings_ = 0;
    std::vector<std::string> shown_;
};

TEST_F(SavedLevel, AFullLoadPlaysOnInTheLevelLoadedAgain)
{
    const auto objects = ServerObjects();
    const auto replicas = Replicas();
    ASSERT_FALSE(objects.empty());
    ASSERT_TRUE(SaveGame("walk.sav", 1));

    ASSERT_TRUE(LoadThroughTheScreen("walk")) << (shown_.empty() ? "" : shown_.back());
    EXPECT_TRUE(shown_.empty());
    ASSERT_NE(Level::Current(), nullptr) << "the saved level is loaded again";
    EXPECT_TRUE(Session::IsLevelLoaded());
    EXPECT_EQ(Session::Names().script, "training_level.tvs");
    EXPECT_TRUE(Session::IsStarted());
    EXPECT_EQ(CurrentAppState(), AppState::LevelStarted) << "the level starts to play";
    EXPECT_EQ(briefings_, 0);
    // Every object once, under its stored id: the map placed none of its own.
    EXPECT_EQ(ServerObjects(), objects);
    EXPECT_EQ(Replicas(), replicas);
    EXPECT_NE(LevelStateBlock::Live().levelPhase, LevelStateBlock::kPhaseLoading);

    // And again: a load from a loaded save leaves the same world.
    ASSERT_TRUE(SaveGame("again.sav", 1));
    ASSERT_TRUE(LoadThroughTheScreen("again"));
    EXPECT_EQ(ServerObjects(), objects);
    EXPECT_EQ(Replicas(), replicas);
}

TEST_F(SavedLevel, ALevelStartSaveLeadsThroughTheBriefingToTheLevel)
{
    const auto objects = ServerObjects();
    ASSERT_TRUE(SaveGame("start.sav", 0));
    ASSERT_TRUE(LoadThroughTheScreen("start"));
    EXPECT_EQ(briefings_, 1);
    EXPECT_EQ(CurrentAppState(), AppState::Briefing);
    EXPECT_FALSE(Session::IsStarted()) << "the briefing comes before the level";
    // What the briefing's end does: the level from its start, map objects and all.
    ASSERT_TRUE(StartSession(true)) << Session::LastError();
    ASSERT_NE(Level::Current(), nullptr);
    EXPECT_EQ(ServerObjects(), objects);
}

TEST_F(SavedLevel, ADamagedSaveLeavesTheRunningLevelAlone)
{
    const auto objects = ServerObjects();
    ASSERT_TRUE(SaveGame("whole.sav", 1));
    const fs::path path = SavedGames::PathOf("whole.sav");
    fs::resize_file(path, fs::file_size(path) - 3);
    const Level* level = Level::Current();
    EXPECT_FALSE(LoadThroughTheScreen("whole"));
    EXPECT_FALSE(shown_.empty()) << "the failure is shown";
    EXPECT_EQ(Level::Current(), level);
    EXPECT_EQ(ServerObjects(), objects);
    EXPECT_EQ(CurrentAppState(), AppState::Playing);
}

// The second level of a campaign starts with what the squad carried out of
// the first: the save, under an extension of any case, names that level and
// its items wait for the squad there.
TEST_F(SavedLevel, ACampaignSaveTakesTheSquadsItemsToTheNextLevel)
{
    const fs::path stored = root_ / "saves" / "Campaign 2.sAv";
    ASSERT_TRUE(fs::exists(stored));
    const fs::path path = SavedGames::PathOf("Campaign 2.sAv");
    fs::create_directories(path.parent_path());
    fs::copy_file(stored, path);
    ASSERT_TRUE(LoadThroughTheScreen("Campaign 2.sAv")) << (shown_.empty() ? "" : shown_.back());
    EXPECT_EQ(briefings_, 1);
    EXPECT_EQ(Session::Names().script, "mp_arena.tvs");
    const auto& units = InventorySnapshot::Global().Units();
    ASSERT_EQ(units.size(), 2u);
    EXPECT_EQ(units[0].name, "Sarge");
    EXPECT_EQ(units[0].items.size(), 2u);
    ASSERT_EQ(units[1].items.size(), 1u);
    EXPECT_EQ(units[1].items[0].slot, 1);
    InventorySnapshot::Global().Clear();
}

} // namespace
