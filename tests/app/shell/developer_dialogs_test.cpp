// The developer dialogs: each kind asks the desktop's chooser with its own
// title and filter, and the modal pair refuses to nest.
#include "app/shell/developer_dialogs.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/stat.h>

namespace fs = std::filesystem;

namespace {

class DeveloperDialogsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char name[] = "/tmp/trevok-devdialog-XXXXXX";
        dir_ = mkdtemp(name);
        fs::create_directories(dir_ / "bin");
        const char* path = std::getenv("PATH");
        oldPath_ = path ? path : "";
        setenv("PATH", (dir_ / "bin").c_str(), 1);
    }
    void TearDown() override
    {
        setenv("PATH", oldPath_.c_str(), 1);
        fs::remove_all(dir_);
    }
    fs::path dir_;
    std::string oldPath_;
};

TEST_F(DeveloperDialogsTest, EachKindAsksWithItsTitleAndFilter)
{
    // A chooser that records what it was asked and answers with a new file.
    const fs::path answer = dir_ / "answer.bin";
    {
        std::ofstream script(dir_ / "bin" / "zenity");
        script << "#!/bin/sh\nfor a in \"$@\"; do case \"$a\" in --title=*|--file-filter=*) echo \"$a\";; esac; done > '"
               << (dir_ / "args.txt").string() << "'\necho '" << answer.string() << "'\n";
    }
    chmod((dir_ / "bin" / "zenity").c_str(), 0755);
    struct Case {
        FileDialogKind kind;
        bool save;
        const char* args;
    };
    const Case cases[] = {
        {FileDialogKind::Dll, true, "--file-filter=DLLs | *.DLL *.dll\n"},
        {FileDialogKind::FontRectangles, true, "--title=Choose FRC to \n--file-filter=Font rect info (FRC) | *.FRC *.frc\n"},
        {FileDialogKind::FontFile, true,
         "--title=Choose Font File.\n--file-filter=LOGFONT Font File (LGF) | FONT.LGF font.lgf\n"},
        {FileDialogKind::SavedGame, true, "--title=Save game\n--file-filter=Saved games (GAM) | *.GAM *.gam\n"},
        {FileDialogKind::SavedMap, true, "--title=Save map\n--file-filter=Saved maps (MAP) | *.MAP *.map\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args);
        fs::path chosen;
        EXPECT_TRUE(DeveloperDialogs::FileDialog(c.kind, c.save, chosen));
        EXPECT_EQ(chosen, answer);
        std::ifstream in(dir_ / "args.txt");
        std::stringstream ss;
        ss << in.rdbuf();
        EXPECT_EQ(ss.str(), c.args);
        EXPECT_FALSE(DeveloperDialogs::InModalDialog());
    }
    // Loading asks for a file that exists: this one does not.
    fs::path chosen = "stale";
    EXPECT_FALSE(DeveloperDialogs::FileDialog(FileDialogKind::SavedGame, false, chosen));
    EXPECT_TRUE(chosen.empty());
}

TEST_F(DeveloperDialogsTest, NoChooserInstalledMeansNoFile)
{
    fs::path chosen = "stale";
    EXPECT_FALSE(DeveloperDialogs::FileDialog(FileDialogKind::SavedMap, false, chosen));
    EXPECT_TRUE(chosen.empty());
    std::string font = "Sans 12";
    EXPECT_FALSE(DeveloperDialogs::ChooseFontDialog(font));
    EXPECT_EQ(font, "Sans 12");
}

TEST_F(DeveloperDialogsTest, ModalPairDoesNotNest)
{
    ASSERT_TRUE(DeveloperDialogs::BeginModalDialog());
    EXPECT_TRUE(DeveloperDialogs::InModalDialog());
    EXPECT_FALSE(DeveloperDialogs::BeginModalDialog());
    DeveloperDialogs::EndModalDialog();
    EXPECT_FALSE(DeveloperDialogs::InModalDialog());
    EXPECT_TRUE(DeveloperDialogs::BeginModalDialog());
    DeveloperDialogs::EndModalDialog();
}

} // namespace
