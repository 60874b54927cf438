// The program's switches are whole arguments: a path that holds "-n" or
// "-s" is only a path; "-w" takes a quoted path with blanks.
#include "app/shell/startup_options.h"

#include <gtest/gtest.h>

namespace {

struct Case {
    const char* name;
    std::vector<std::string> args;
    bool askWindow, reference, silent;
    std::optional<std::string> directory;
};

TEST(StartupOptions, SwitchesComeFromWholeArguments)
{
    const Case cases[] = {
        {"nothing", {}, false, false, false, std::nullopt},
        {"each switch", {"-s", "-r", "-n"}, true, true, true, std::nullopt},
        {"path holding -n and -s", {"-w", "/games/my-new-saves"}, false, false, false, "/games/my-new-saves"},
        {"path holding -r after -n", {"-n", "-w", "/x-r-s"}, false, false, true, "/x-r-s"},
        {"words containing switches", {"x-n", "--s", "-rr"}, false, false, false, std::nullopt},
        {"shell-quoted blanks", {"-w", "/tmp/a b c"}, false, false, false, "/tmp/a b c"},
        {"kept double quotes", {"-w", "\"/tmp/a", "b", "c\""}, false, false, false, "/tmp/a b c"},
        {"kept single quotes", {"-w", "'/tmp/one two'", "-n"}, false, false, true, "/tmp/one two"},
        {"unclosed quote runs to the end", {"-w", "\"/tmp/a", "b"}, false, false, false, "/tmp/a b"},
        {"joined to the switch", {"-w/games"}, false, false, false, "/games"},
        {"-w at the end", {"-s", "-w"}, true, false, false, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const StartupOptions o = ParseStartupOptions(c.args);
        EXPECT_EQ(o.askWindow, c.askWindow);
        EXPECT_EQ(o.referenceDevice, c.reference);
        EXPECT_EQ(o.silentSound, c.silent);
        EXPECT_EQ(o.workingDirectory, c.directory);
    }
}

} // namespace
