// The desktop dialogs run as child processes; stand-in "zenity" and "yad"
// scripts on PATH play the user: choosing, cancelling, failing half-way.
#include "platform/dialog.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/stat.h>

namespace fs = std::filesystem;

namespace {

class Dialogs : public ::testing::Test {
protected:
    void SetUp() override
    {
        char name[] = "/tmp/trevok-dialog-XXXXXX";
        dir_ = mkdtemp(name);
        fs::create_directories(dir_ / "bin");
        fs::create_directories(dir_ / "saves");
        std::ofstream(dir_ / "saves" / "one.gam") << "x";
        const char* path = std::getenv("PATH");
        oldPath_ = path ? path : "";
        setenv("PATH", (dir_ / "bin").c_str(), 1);
    }
    void TearDown() override
    {
        setenv("PATH", oldPath_.c_str(), 1);
        fs::remove_all(dir_);
    }
    // A stand-in dialog program: `body` is shell script; its arguments are
    // kept in args.txt.
    void Program(const char* name, const std::string& body)
    {
        const fs::path p = dir_ / "bin" / name;
        std::ofstream(p) << "#!/bin/sh\nfor a in \"$@\"; do echo \"$a\"; done > '" << (dir_ / "args.txt").string()
                         << "'\n" << body << "\n";
        chmod(p.c_str(), 0755);
    }
    std::string Args() const
    {
        std::ifstream in(dir_ / "args.txt");
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }
    fs::path dir_;
    std::string oldPath_;
};

TEST_F(Dialogs, FileAnswers)
{
    const std::string existing = (dir_ / "saves" / "one.gam").string();
    const std::string fresh = (dir_ / "saves" / "two.gam").string();
    struct Case {
        const char* name;
        const char* program;
        std::string script;
        bool save;
        platform::DialogResult result;
        std::string path; // expected when chosen
    };
    const Case cases[] = {
        {"an existing file chosen", "zenity", "printf '%s\\n' '" + existing + "'", false,
         platform::DialogResult::Chosen, existing},
        {"cancelled", "zenity", "exit 1", false, platform::DialogResult::Cancelled, ""},
        {"a path printed, then a failure", "zenity", "printf '%s\\n' '" + existing + "'; exit 5", false,
         platform::DialogResult::Cancelled, ""},
        {"killed half-way through the path", "zenity", "printf '%s' '" + existing.substr(0, 12) + "'; kill -9 $$",
         false, platform::DialogResult::Cancelled, ""},
        {"a path without its line end", "zenity", "printf '%s' '" + existing + "'", false,
         platform::DialogResult::Cancelled, ""},
        {"two lines", "zenity", "printf '%s\\n%s\\n' '" + existing + "' '" + existing + "'", false,
         platform::DialogResult::Cancelled, ""},
        {"a relative path", "zenity", "echo saves/one.gam", false, platform::DialogResult::Cancelled, ""},
        {"output longer than any path, then success", "zenity",
         "i=0; while [ $i -lt 3000 ]; do printf '%0100d\\n' 0; i=$((i+1)); done", false,
         platform::DialogResult::Cancelled, ""},
        {"open of a missing file", "zenity", "printf '%s\\n' '" + fresh + "'", false,
         platform::DialogResult::Cancelled, ""},
        {"save as a new file", "zenity", "printf '%s\\n' '" + fresh + "'", true, platform::DialogResult::Chosen,
         fresh},
        {"only yad installed", "yad", "printf '%s\\n' '" + existing + "'", false, platform::DialogResult::Chosen,
         existing},
        {"nothing installed", nullptr, "", false, platform::DialogResult::Unavailable, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove(dir_ / "bin" / "zenity");
        fs::remove(dir_ / "bin" / "yad");
        if (c.program)
            Program(c.program, c.script);
        platform::FileDialogRequest request;
        request.title = "Load saved game";
        request.filterName = "Saved games (GAM)";
        request.pattern = "*.GAM";
        request.save = c.save;
        fs::path chosen = "stale";
        EXPECT_EQ(platform::ShowFileDialog(request, chosen), c.result);
        EXPECT_EQ(chosen.string(), c.path);
    }
}

TEST_F(Dialogs, FileDialogAsksForTheKindAndBothLetterCases)
{
    Program("zenity", "exit 1");
    platform::FileDialogRequest request{"Save game", "Saved games (GAM)", "*.GAM", "", dir_ / "saves", true};
    fs::path chosen;
    platform::ShowFileDialog(request, chosen);
    EXPECT_EQ(Args(), "--file-selection\n--title=Save game\n--save\n--filename=" + (dir_ / "saves").string() +
                          "/\n--file-filter=Saved games (GAM) | *.GAM *.gam\n");
}

TEST_F(Dialogs, FontAnswers)
{
    struct Case {
        const char* name;
        const char* program;
        const char* script;
        platform::DialogResult result;
        const char* font;
    };
    const Case cases[] = {
        {"a font chosen", "yad", "echo 'Sans Bold 14'", platform::DialogResult::Chosen, "Sans Bold 14"},
        {"cancelled keeps the font", "yad", "exit 1", platform::DialogResult::Cancelled, "Sans 12"},
        {"killed half-way keeps the font", "yad", "printf 'Sa'; kill -9 $$", platform::DialogResult::Cancelled,
         "Sans 12"},
        {"zenity has no font chooser", "zenity", "echo 'Sans 20'", platform::DialogResult::Unavailable, "Sans 12"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove(dir_ / "bin" / "zenity");
        fs::remove(dir_ / "bin" / "yad");
        Program(c.program, c.script);
        std::string font = "Sans 12";
        EXPECT_EQ(platform::ShowFontDialog("Choose Font File.", font), c.result);
        EXPECT_EQ(font, c.font);
    }
}

} // namespace
