// Hostile or careless input: each row must give a clear message and a
// defined result, never a crash, an endless loop or an undefined value.
#include "script_test_support.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace script {
namespace {

using test::Compile;
using test::Lines;
using ::testing::ElementsAreArray;

struct Row {
    const char* name;
    std::string source;
    std::vector<std::string> messages;  // only errors, and the warnings on line 1
    int objects;
};

void PrintTo(const Row& r, std::ostream* os) { *os << r.name; }

std::vector<std::string> Interesting(const CompileResult& r)
{
    std::vector<std::string> out;
    for (const auto& line : Lines(r.messages))
        if (line[0] == 'e' || line.rfind("w 1 ", 0) == 0)
            if (line.find("default value assumed") == std::string::npos)
                out.push_back(line);
    return out;
}

class RobustnessTest : public ::testing::TestWithParam<Row> {};

TEST_P(RobustnessTest, ClearMessageAndDefinedResult)
{
    const Row& row = GetParam();
    const CompileResult r = Compile(row.source);
    EXPECT_THAT(Interesting(r), ElementsAreArray(row.messages));
    if (row.objects < 0) {
        EXPECT_EQ(r.list, nullptr);
        return;
    }
    ASSERT_TRUE(r.list);
    EXPECT_EQ(static_cast<int>(r.list->Count()), row.objects);
}

const Row kRows[] = {
    {"IntegerLiteralTooLarge", "projectile p { damage 99999999999 gravity no }\n",
     {"e 1 integer constant '99999999999' is out of range", "w 1 abstract definition not declared with 'abstract'"}, 0},
    {"IntegerLiteralLimitsAccepted", "projectile p { damage -2147483648 gravity no }\nprojectile q { damage 2147483647 gravity no }\n",
     {}, 2},
    {"IntegerLiteralJustBelowRange", "projectile p { damage -2147483649 gravity no }\n",
     {"e 1 integer constant '-2147483649' is out of range", "w 1 abstract definition not declared with 'abstract'"}, 0},
    {"RealLiteralTooLarge", "light l ( red " + std::string(400, '9') + ".0 )\n",
     {"e 1 real constant '" + std::string(400, '9') + ".0' is out of range", "w 1 abstract definition not declared with 'abstract'"}, 0},
    {"RealTooLargeForIntegerKey", "projectile p { damage 3000000000.5 gravity no }\n",
     {"w 1 expecting an integral constant", "e 1 integral constant out of range", "w 1 abstract definition not declared with 'abstract'"}, 0},
    {"LifeTicksOverflow",
     "pgenerator g { type 1 rate 1 x 0 y 0 z 0 red 1 green 1 blue 1 alpha 1 life 999999999 minutes }\n",
     {"e 1 value for life is out of range", "w 1 abstract definition not declared with 'abstract'"}, 0},
    {"NegativeLife", "pgenerator g { type 1 rate 1 x 0 y 0 z 0 red 1 green 1 blue 1 alpha 1 life -5 particles }\n",
     {"e 1 value for life is out of range", "w 1 abstract definition not declared with 'abstract'"}, 0},
    {"IdentifierWithNumber",
     "role r { character none light none projectile none identifier 5 alpha fogging no per vertex fogging no "
     "destructibility none }\n",
     {"e 1 invalid data type", "w 1 abstract definition not declared with 'abstract'"}, 0},
    {"CarriageReturnsAreBlanks",
     "light\r l\r\n(red 1 green 1 blue 1\r\nspecular red 0 specular green 0 specular blue 0 range 5)\r\n", {}, 1},
    {"NulByteIsAnUnexpectedCharacter", std::string("shape s { name \"s\" file \"f\" }\n") + '\0' + "\n",
     {"e 2 unexpected character '\\0'"}, 1},
    {"StrayQuoteInsideString", "shape s { name \"a\"b\" file \"f\" }\n",
     {"e 1 syntax error", "e 3 confused by earlier errors"}, -1},
};

INSTANTIATE_TEST_SUITE_P(Script, RobustnessTest, ::testing::ValuesIn(kRows),
                         [](const ::testing::TestParamInfo<Row>& p) { return std::string(p.param.name); });

TEST(MissingFileTest, MissingScriptIsAFailedCompile)
{
    const CompileResult r = CompileScriptFile("/nonexistent/level.tvs", kLevelScriptMode);
    EXPECT_EQ(r.list, nullptr);
    EXPECT_EQ(r.errors, 1);
    ASSERT_EQ(r.messages.size(), 1u);
    EXPECT_EQ(r.messages[0].text, "unable to open file '/nonexistent/level.tvs'");
    EXPECT_EQ(r.messages[0].file, "/nonexistent/level.tvs");
}

TEST(MissingFileTest, FolderIsNotAScript)
{
    const CompileResult r = CompileScriptFile(std::filesystem::temp_directory_path(), kLevelScriptMode);
    EXPECT_EQ(r.list, nullptr);
    EXPECT_EQ(r.errors, 1);
}

TEST(LongInputTest, VeryLongTokensAndLines)
{
    const std::string name(100000, 'n');
    const CompileResult r = Compile("shape " + name + " { name \"" + std::string(100000, 's') + "\" file \"f\" }\n");
    EXPECT_EQ(r.errors, 0);
    ASSERT_TRUE(r.list);
    EXPECT_EQ(std::string((*r.list)[0].FieldText(0)).size(), 100000u);
}

// A definition of `levels` macros, each using the one before twice, the
// first holding `token`, then the last used once: 2^levels copies of the
// token once expanded.
std::string DoublingMacros(const std::string& token, int levels)
{
    std::string text = "#define m0 " + token + "\n";
    for (int i = 1; i < levels; ++i)
        text += "#define m" + std::to_string(i) + " m" + std::to_string(i - 1) + " m" + std::to_string(i - 1) + "\n";
    return text + "m" + std::to_string(levels - 1) + "\n";
}

// Sanitizer builds reserve terabytes of address space, so the address-space
// limit only applies in plain builds; the peak resident size is checked in all.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kLimitAddressSpace = false;
#else
constexpr bool kLimitAddressSpace = true;
#endif

// Small scripts whose macros would grow to gigabytes: each compile ends with
// its message, in a child process held to a memory limit.
TEST(ExpansionBoundsTest, SmallScriptsCompileInBoundedMemory)
{
    struct Case {
        const char* name;
        std::string source;
        const char* message;
    };
    const Case cases[] = {
        // 10 KB of text that would expand to 10 GB.
        {"long token used twice, twenty times over", DoublingMacros(std::string(10000, 't'), 20),
         "macro expansion too large"},
        // Short pieces: the count of expansions is the bound.
        {"short token used twice, forty times over", DoublingMacros("t", 40), "macro 'm1' expands too deeply"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_LT(c.source.size(), 12000u);
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            if (kLimitAddressSpace) {
                const rlimit limit{uint64_t{1} << 30, uint64_t{1} << 30};
                setrlimit(RLIMIT_AS, &limit);
            }
            const CompileResult r = Compile(c.source);
            bool found = false;
            for (const ScriptMessage& m : r.messages)
                found = found || m.text == c.message;
            _exit(found ? 0 : 3);
        }
        int status = 0;
        rusage usage{};
        ASSERT_EQ(wait4(pid, &status, 0, &usage), pid);
        ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
        EXPECT_EQ(WEXITSTATUS(status), 0) << "no \"" << c.message << "\" among the messages";
        EXPECT_LT(usage.ru_maxrss, kLimitAddressSpace ? 512 * 1024 : 1536 * 1024) << "peak kilobytes";
    }
}

// The other limits, each shown by a compile that passes it by a little.
TEST(ExpansionBoundsTest, EachLimitStopsItsOwnGrowth)
{
    struct Case {
        const char* name;
        std::string source;
        CompileOptions options;
        std::string message;
    };
    CompileOptions fewBytes;
    fewBytes.maxMacroBytes = 100;
    CompileOptions fewTokens;
    fewTokens.maxMacroTokens = 10;
    CompileOptions shortOutput;
    shortOutput.maxOutputBytes = 1000;
    const Case cases[] = {
        {"macro bytes", DoublingMacros(std::string(30, 'b'), 3), fewBytes, "e 4 macro expansion too large"},
        {"macro pieces", DoublingMacros("p", 5), fewTokens, "e 6 macro expansion too large"},
        {"output of the file", std::string(600, 'x') + "\n" + std::string(600, 'y') + "\n", shortOutput,
         "e 2 preprocessed text too large (more than 1000 bytes)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const CompileResult r = Compile(c.source, kLevelScriptMode, c.options);
        const auto lines = Lines(r.messages);
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(lines[0], c.message);
        EXPECT_EQ(std::count(lines.begin(), lines.end(), c.message), 1) << "reported once";
    }
}

// What a data folder can hold where a script is expected.
TEST(MissingFileTest, WhatIsNoScriptFileIsRefusedWithItsReason)
{
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("trevok-script-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    ASSERT_EQ(mkfifo((folder / "fifo.tvs").c_str(), 0600), 0);
    std::ofstream(folder / "huge.tvs").close();
    std::filesystem::resize_file(folder / "huge.tvs", uint64_t{2} << 30); // sparse
    struct Case {
        const char* name;
        const char* reason;
    };
    const Case cases[] = {{"fifo.tvs", ": not a regular file"},
                          {"huge.tvs", ": too large (2147483648 bytes, at most 16777216)"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = (folder / c.name).string();
        const CompileResult r = CompileScriptFile(path, kDirectoryListMode);
        EXPECT_EQ(r.list, nullptr);
        ASSERT_EQ(r.messages.size(), 1u);
        EXPECT_EQ(r.messages[0].text, "unable to open file '" + path + "'" + c.reason);
    }
    std::filesystem::remove_all(folder);
}

} // namespace
} // namespace script
