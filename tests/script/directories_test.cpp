// The directory list and the data-directory table it fills at start-up.
#include "app/directories.h"
#include "script/directory_list.h"
#include "script_test_support.h"

#include "platform/data_path.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <set>

#include <unistd.h>

namespace script {
namespace {

namespace fs = std::filesystem;

class DirectoryListTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        root_ = fs::temp_directory_path() / ("trevok_dirs_" + std::to_string(::getpid()));
        fs::remove_all(root_);
        fs::create_directories(root_);
        app::DataDirectories::Global().Clear();
        platform::ClearDataPathCache();
    }
    void TearDown() override
    {
        app::DataDirectories::Global().Clear();
        fs::remove_all(root_);
    }
    void WriteList(const std::string& text, const char* name = "tvdirs.tvs") { std::ofstream(root_ / name) << text; }
    fs::path root_;
};

TEST_F(DirectoryListTest, RowsFillTheirSlots)
{
    const struct {
        const char* rows;
        int index;
        const char* path;  // null: unset
    } cases[] = {
        {"directory { name \"SCRIPTS\" file \"data\\scripts\" }", app::kScriptsDirectory, "data\\scripts"},
        {"directory { name \"rifs\" file \"a\" }\ndirectory { name \"rifs\" file \"b\" }", app::kRifsDirectory, "b"},
        {"directory { name \"Dumps\" status window \"out\" }", app::kDumpsDirectory, "out"},
        {"directory { name \"maps\" file \"m\" }", app::kScriptsDirectory, nullptr},
        {"directory { name \"fonts\" }", app::kFontsDirectory, nullptr},
        {"directory { name \"fonts\" file none }", app::kFontsDirectory, nullptr},
    };
    for (const auto& c : cases) {
        app::DataDirectories::Global().Clear();
        WriteList(c.rows);
        ReadDirectoryList(root_ / "tvdirs.tvs");
        const char* path = app::DataDirectories::Global().Path(c.index);
        if (c.path) {
            ASSERT_NE(path, nullptr) << c.rows;
            EXPECT_STREQ(path, c.path) << c.rows;
        } else {
            EXPECT_EQ(path, nullptr) << c.rows;
        }
        for (int i = 0; i < app::kDataDirectoryCount; ++i) {
            if (i != c.index) {
                EXPECT_EQ(app::DataDirectories::Global().Path(i), nullptr) << c.rows << " slot " << i;
            }
        }
    }
}

TEST_F(DirectoryListTest, LevelKindsInTheListAreIgnored)
{
    WriteList("shape s { name \"s\" file \"f\" }\ndirectory { name \"fmvs\" file \"video\" }\n");
    std::vector<ScriptMessage> seen;
    CompileOptions options;
    options.sink = [&](const ScriptMessage& m) { seen.push_back(m); };
    EXPECT_TRUE(ReadDirectoryList(root_ / "tvdirs.tvs", options));
    EXPECT_STREQ(app::DataDirectories::Global().Path(app::kFmvsDirectory), "video");
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(FormatMessage(seen[0]), (root_ / "tvdirs.tvs").string() + "(1): warning: unsuitable script object type ignored");
}

TEST_F(DirectoryListTest, MissingListLeavesTheTableAsItWas)
{
    app::DataDirectories::Global().SetPath(app::kSoundsDirectory, "keep");
    EXPECT_FALSE(LoadDataDirectories(root_));
    EXPECT_STREQ(app::DataDirectories::Global().Path(app::kSoundsDirectory), "keep");
}

TEST_F(DirectoryListTest, ResolvesThroughTheDirectoriesWithoutChangingFolder)
{
    fs::create_directories(root_ / "Data" / "Rifs" / "User Interface");
    std::ofstream(root_ / "Data" / "Rifs" / "User Interface" / "commwheel01.rif") << "x";
    WriteList("directory { name \"rifs\" file \"data\\rifs\" }\n", "TVDIRS.TVS");
    const fs::path before = fs::current_path();
    ASSERT_TRUE(LoadDataDirectories(root_));
    EXPECT_EQ(fs::current_path(), before);
    const auto& dirs = app::DataDirectories::Global();
    const auto found = dirs.Resolve(app::kRifsDirectory, "User Interface/CommWheel01.RIF");
    ASSERT_TRUE(found);
    EXPECT_EQ(*found, root_ / "Data" / "Rifs" / "User Interface" / "commwheel01.rif");
    // A name from data never leaves the directory, and an unset directory
    // finds nothing rather than whatever folder is current.
    EXPECT_FALSE(dirs.Resolve(app::kRifsDirectory, "..\\tvdirs.tvs"));
    EXPECT_FALSE(dirs.Resolve(app::kSoundsDirectory, "UI.dat"));
}

TEST_F(DirectoryListTest, EmptyPathIsTheStartDirectory)
{
    std::ofstream(root_ / "ui.dat") << "x";
    WriteList("directory { name \"sounds\" file \"\" }\ndirectory { name \"fonts\" file \".\" }\n");
    ASSERT_TRUE(LoadDataDirectories(root_));
    const auto& dirs = app::DataDirectories::Global();
    EXPECT_EQ(dirs.Resolve(app::kSoundsDirectory, "UI.dat"), root_ / "ui.dat");
    EXPECT_EQ(dirs.Resolve(app::kFontsDirectory, "UI.DAT"), root_ / "ui.dat");
}

// Start-up on the sample data set: the seven directories exist and the level
// script is found through the scripts directory.
TEST(StartUpTest, SampleDataDirectories)
{
    const char* env = std::getenv("TREVOK_SAMPLE_DATA");
    const fs::path sample = env ? fs::path(env) : fs::path(TREVOK_BINARY_DIR) / "sample-data";
    if (!fs::exists(sample / "tvdirs.tvs"))
        GTEST_SKIP() << "sample data not built";
    auto& dirs = app::DataDirectories::Global();
    dirs.Clear();
    std::vector<ScriptMessage> messages;
    CompileOptions options;
    options.sink = [&](const ScriptMessage& m) { messages.push_back(m); };
    ASSERT_TRUE(LoadDataDirectories(sample, options));
    EXPECT_TRUE(messages.empty());
    const char* names[] = {"scripts", "fmvs", "rifs", "graphics", "sounds", "fonts", "dumps"};
    for (int i = 0; i < app::kDataDirectoryCount; ++i) {
        ASSERT_NE(dirs.Path(i), nullptr) << names[i];
        EXPECT_STREQ(app::DataDirectories::Name(i), names[i]);
        EXPECT_TRUE(dirs.Folder(i)) << names[i];
    }
    const auto level = dirs.Resolve(app::kScriptsDirectory, "Training_Level.tvs");
    ASSERT_TRUE(level);
    const CompileResult r = CompileScriptFile(*level, kLevelScriptMode);
    EXPECT_EQ(r.errors, 0);
    ASSERT_TRUE(r.list);
    // One object of every level kind.
    std::set<DefinitionKind> kinds;
    for (const auto& d : *r.list)
        kinds.insert(d->Kind());
    EXPECT_EQ(kinds.size(), static_cast<std::size_t>(kKindCount - 1));
    dirs.Clear();
}

} // namespace
} // namespace script

#include "app/log_file.h"
#include "script/game_options.h"

namespace script {
namespace {

TEST(GameOptionsTest, MessagesReachTheLogFile)
{
    const CompileResult r = CompileScriptText("\nrole r { ai 500 }\n", "levels\\two.tvs", kLevelScriptMode,
                                              GameCompileOptions());
    ASSERT_GT(r.errors, 0);
    std::string text;
    if (std::FILE* f = std::fopen(LogFile::Path().c_str(), "rb")) {
        char buffer[4096];
        std::size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0)
            text.append(buffer, n);
        std::fclose(f);
    }
    EXPECT_NE(text.find("levels\\two.tvs(2): error: value for 'ai' cannot be more than 100\n"), std::string::npos);
}

} // namespace
} // namespace script
