#include "ui/saved_game_header.h"

#include "app/app_time.h"
#include "platform/data_path.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

namespace {

class SavedGameHeaderTest : public ::testing::Test {
protected:
    // The fixtures as the player's saves folder.
    void SetUp() override
    {
        char name[] = "/tmp/trevok-data-XXXXXX";
        home_ = mkdtemp(name);
        if (const char* old = std::getenv("XDG_DATA_HOME"))
            saved_ = old;
        setenv("XDG_DATA_HOME", home_.c_str(), 1);
        std::filesystem::create_directories(home_ / "trevok");
        std::filesystem::copy(std::filesystem::path(TREVOK_FIXTURES_DIR) / "ui" / "saves", home_ / "trevok" / "saves");
        platform::ClearDataPathCache();
        AppTime::SetGameSpeed(1.5f);
    }
    void TearDown() override
    {
        if (saved_)
            setenv("XDG_DATA_HOME", saved_->c_str(), 1);
        else
            unsetenv("XDG_DATA_HOME");
        std::filesystem::remove_all(home_);
        AppTime::SetGameSpeed(1.0f);
    }
    std::filesystem::path home_;
    std::optional<std::string> saved_;
};

struct GoodHead {
    const char* file;
    const char* script;
    const char* command;
    uint32_t levelStart;
};

TEST_F(SavedGameHeaderTest, ReadsHeadsAndGivesTheClockBack)
{
    const GoodHead cases[] = {
        {"full.sav", "level05.dbf", "level05.cmd", 0},
        {"LevelStart.SAV", "level05.dbf", "level05.cmd", 1}, // any case, as the data is named
        {"quicksave.sav", "training_level.dbf", "training.cmd", 0},
    };
    for (const GoodHead& c : cases) {
        SCOPED_TRACE(c.file);
        ASSERT_TRUE(SavedGame::ReadHeader(c.file));
        EXPECT_EQ(SavedGame::Last().scriptName, c.script);
        EXPECT_EQ(SavedGame::Last().commandFile, c.command);
        EXPECT_EQ(SavedGame::Last().levelStart, c.levelStart);
        // Reading a head never leaves the game frozen.
        EXPECT_FLOAT_EQ(AppTime::GameSpeed(), 1.5f);
    }
}

TEST_F(SavedGameHeaderTest, DamagedOrForeignFilesChangeNothing)
{
    ASSERT_TRUE(SavedGame::ReadHeader("levelstart.sav"));
    const SavedGame::Header before = SavedGame::Last();
    const char* cases[] = {
        "tiny.sav",            // fewer than 4 bytes
        "second_past_end.sav", // the second length runs past the end
        "huge.sav",            // a length far past any name
        "no_nul.sav",          // the first name lacks its NUL
        "no_flag.sav",         // the level-start word is cut
        "empty_name.sav",      // a length of 0 has no room for the NUL
        "missing.sav",
        "../saves/full.sav",   // names never leave the saves folder
        "/etc/passwd",
        "",
    };
    for (const char* file : cases) {
        SCOPED_TRACE(file);
        EXPECT_FALSE(SavedGame::ReadHeader(file));
        EXPECT_EQ(SavedGame::Last().scriptName, before.scriptName);
        EXPECT_EQ(SavedGame::Last().commandFile, before.commandFile);
        EXPECT_EQ(SavedGame::Last().levelStart, before.levelStart);
        EXPECT_FLOAT_EQ(AppTime::GameSpeed(), 1.5f);
    }
    EXPECT_FALSE(SavedGame::ReadHeader(nullptr));
}

TEST(SavedGameHeaderParse, NamesAreCappedAndEndAtTheirNul)
{
    // A name of exactly the cap is read; one byte more is refused.
    for (uint32_t length : {SavedGame::kMaxNameBytes, SavedGame::kMaxNameBytes + 1}) {
        std::vector<uint8_t> bytes;
        auto word = [&](uint32_t v) {
            for (int i = 0; i < 4; ++i)
                bytes.push_back(uint8_t(v >> (8 * i)));
        };
        word(length);
        bytes.insert(bytes.end(), length - 1, 'a');
        bytes.push_back(0);
        word(2);
        bytes.push_back('b');
        bytes.push_back(0);
        word(1);
        SavedGame::Header head;
        EXPECT_EQ(SavedGame::ParseHeader(bytes, head), length <= SavedGame::kMaxNameBytes) << length;
        if (length <= SavedGame::kMaxNameBytes) {
            EXPECT_EQ(head.scriptName.size(), length - 1);
            EXPECT_EQ(head.commandFile, "b");
            EXPECT_EQ(head.levelStart, 1u);
        }
    }
}

} // namespace
