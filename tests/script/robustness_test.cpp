// Hostile or careless input: each row must give a clear message and a
// defined result, never a crash, an endless loop or an undefined value.
#include "script_test_support.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

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

} // namespace
} // namespace script
