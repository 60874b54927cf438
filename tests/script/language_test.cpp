// The definition language as pass 2 sees it, and the driver around it: each
// row is a script with the exact messages (line and text) and counts it gives.
#include "script_test_support.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>

namespace script {
namespace {

using test::Compile;
using test::Lines;
using ::testing::ElementsAreArray;

const std::string kLamp =
    "light lamp (red 1 green 1 blue 1 specular red 0 specular green 0 specular blue 0 range 5)\n";
const std::string kRoleBody =
    "character none light none projectile none identifier none alpha fogging no per vertex fogging no "
    "destructibility none";

struct Case {
    const char* name;
    std::string source;
    std::vector<std::string> messages;  // without "default value assumed" warnings
    int errors;
    int warnings;  // likewise
    int objects;   // -1: no list
};

std::vector<std::string> WithoutDefaults(const std::vector<std::string>& lines, int* dropped)
{
    std::vector<std::string> out;
    for (const auto& l : lines) {
        if (l.find("default value assumed") != std::string::npos)
            ++*dropped;
        else
            out.push_back(l);
    }
    return out;
}

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

class LanguageTest : public ::testing::TestWithParam<Case> {};

TEST_P(LanguageTest, MessagesAndCounts)
{
    const Case& c = GetParam();
    const CompileResult r = Compile(c.source);
    int dropped = 0;
    EXPECT_THAT(WithoutDefaults(Lines(r.messages), &dropped), ElementsAreArray(c.messages));
    EXPECT_EQ(r.errors, c.errors);
    EXPECT_EQ(r.warnings - dropped, c.warnings);
    if (c.objects < 0) {
        EXPECT_EQ(r.list, nullptr);
    } else {
        ASSERT_NE(r.list, nullptr) << "no list";
    }
    if (r.list && c.objects >= 0) {
        EXPECT_EQ(static_cast<int>(r.list->Count()), c.objects);
    }
}

const Case kCases[] = {
    {"MixedBrackets", "light lamp [red 1 green 1 blue 1 specular red 0 specular green 0 specular blue 0 range 5}",
     {}, 0, 0, 1},
    {"BeginEndWords", "light lamp begin red 1 green 1 blue 1 specular red 0 specular green 0 specular blue 0 range 5 end",
     {}, 0, 0, 1},
    {"TwoDefineWords", "define define " + kLamp, {}, 0, 0, 1},
    {"AbstractParentNotListed",
     "abstract role base {" + kRoleBody + "}\nrole child : base { ai 3 }\n", {}, 0, 0, 1},
    {"DefinedTwice", kLamp + kLamp, {"e 2 object has already been defined"}, 1, 0, 1},
    {"DeclaredOnlyShapeMakesRoleIncomplete",
     "declare shape box\nrole r {" + kRoleBody + " shape box}\n",
     {"e 2 incomplete object definition found"}, 1, 0, 1},
    {"DeclaredShapeDefinedLater",
     "declare shape box\nrole r {" + kRoleBody + " shape box}\nshape box { name \"b\" file \"f\" }\n", {}, 0, 0, 2},
    {"RealForIntegerIsCut",
     "ammo a { name \"a\" file \"f\" ammo type 1 weapon type 1 round time 1 reload time 1 life timer 1\n"
     "magazine size 2.7 firing speed 1 }\n",
     {"w 2 expecting an integral constant"}, 0, 1, 1},
    {"KeyWordsWrittenTogether",
     "character c { walkingspeed 1 turning   speed 1 strength 1 aim 1 sight angle 1 sight range 1 hearing range 1 "
     "aggression 0 }",
     {}, 0, 0, 1},
    {"CapitalisedKeyWordIsAName",
     "character c { Walking speed 1 }\n" + kLamp, {"e 1 syntax error"}, 1, 0, 1},
    {"UseClauseWarnings",
     "role r {" + kRoleBody + "}\nmap m { name \"m\" file \"f\" bitmap none camera plane none max camera distance 10\n"
     "use r for \"a\" \"b\" as \"B\" }\n",
     {"w 3 no team specified - assuming team 0", "w 3 no console variable specified", "w 3 missing 'and'"}, 0, 3, 2},
    {"UseOfUndeclaredAndNonRole",
     kLamp + "map m { name \"m\" file \"f\" bitmap none camera plane none max camera distance 10\n"
     "use ghost in team 1 for \"a\" as \"A\"\nuse lamp in team 1 for \"b\" as \"B\" }\n",
     {"e 3 symbol 'ghost' has not been declared", "e 4 symbol 'lamp' is not a role"}, 2, 0, 2},
    {"NegativeTeamIsKept",
     "role r {" + kRoleBody + "}\nmap m { name \"m\" file \"f\" bitmap none camera plane none max camera distance 10\n"
     "use r in team -2 for \"a\" as \"A\" }\n",
     {"e 3 team numbers cannot be negative"}, 1, 0, 2},
    {"UnexpectedCharacter", "light lamp (red 1 green 1 blue 1 specular red 0 specular green 0 specular blue 0 "
                            "range 5 ;)",
     {"e 1 unexpected character ';'"}, 1, 0, 1},
    {"UndeclaredReference", "projectile p { damage 1 gravity no hit_light ghost }",
     {"e 1 symbol 'ghost' has not been declared"}, 1, 0, 1},
    {"ParentNotDefined", "declare light base\nlight l : base { range 1 }\n",
     {"e 2 symbol 'base' has not been defined", "w 2 abstract definition not declared with 'abstract'",
      "w 4 empty script found"},
     1, 2, 0},
    {"InheritFromOtherKind",
     kLamp + "shape s : lamp { name \"s\" file \"f\" }\n", {"e 2 cannot inherit from a different type"}, 1, 0, 2},
    {"RedeclaredAsOtherKind", kLamp + "declare shape lamp\n",
     {"e 2 object already defined or declared as a different type"}, 1, 0, 1},
    {"AbstractReferenceWarns",
     "abstract light half (red 1)\nprojectile p { damage 1 gravity no hit_light half }\n",
     {"w 2 symbol 'half' is abstract", "e 2 incomplete object definition found"}, 1, 1, 1},
    {"AnonymousIncomplete", "light (red 1)\n",
     {"w 1 abstract definition not declared with 'abstract'", "w 1 anonymous abstract definitions are pointless",
      "w 3 empty script found"},
     0, 3, 0},
    {"AnonymousComplete", "light (red 1 green 1 blue 1 specular red 0 specular green 0 specular blue 0 range 5)",
     {}, 0, 0, 1},
    {"DirectoryRowInLevelScript", "directory { name \"rifs\" file \"r\" }\n",
     {"w 1 unsuitable script object type ignored", "w 3 empty script found"}, 0, 2, 0},
    {"EmptyFile", "", {"w 2 empty script found"}, 0, 1, 0},
    {"OnlyDeclarations", "declare role a\ndeclare light b\n", {"w 4 empty script found"}, 0, 1, 0},
    {"RangeErrorKeepsObjects",
     kLamp + "role r {" + kRoleBody + " ai 101 }\n",
     {"e 2 value for 'ai' cannot be more than 100"}, 1, 0, 2},
    {"SyntaxErrorAtEndGivesUp", kLamp + "light broken (red 1\n",
     {"e 4 syntax error", "e 4 confused by earlier errors"}, 2, 0, -1},
    {"NameSpelledLikeConstant", "light fire (red 1)", {"e 1 syntax error", "w 2 empty script found"}, 1, 1, 0},
    {"HexReadsAsZeroAndName", "destructibility d { type 0x1 }", {"e 1 syntax error", "w 2 empty script found"}, 1, 1,
     0},
};

INSTANTIATE_TEST_SUITE_P(Script, LanguageTest, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<Case>& p) { return std::string(p.param.name); });

TEST(ScriptCompilerTest, ProgressOfThreeObjects)
{
    const CompileResult r = Compile(kLamp + "shape a { name \"a\" file \"f\" }\nshape b { name \"b\" file \"f\" }\n");
    ASSERT_TRUE(r.list);
    std::vector<int> progress;
    r.list->BuildAll([&](int p) { progress.push_back(p); });
    EXPECT_THAT(progress, ::testing::ElementsAre(0, 33, 66));
}

TEST(ScriptCompilerTest, SecondCompileStartsWithEmptyTables)
{
    const CompileResult first = Compile("#define LAMP lamp\n" + kLamp);
    ASSERT_EQ(first.errors, 0);
    const CompileResult second = Compile("#ifdef LAMP\nshape s { name \"s\" file \"f\" }\n#endif\n"
                                         "projectile p { damage 1 gravity no hit_light lamp }\n");
    EXPECT_THAT(Lines(second.messages), ::testing::Contains("e 4 symbol 'lamp' has not been declared"));
    ASSERT_TRUE(second.list);
    EXPECT_EQ(second.list->Count(), 1u);
    EXPECT_EQ((*second.list)[0].Kind(), DefinitionKind::kProjectile);
}

TEST(ScriptCompilerTest, ObjectsOutliveTheCompile)
{
    const CompileResult r = Compile(kLamp + "projectile p { damage 1 gravity no hit_light lamp }\n");
    ASSERT_TRUE(r.list);
    ASSERT_EQ(r.list->Count(), 2u);
    const ScriptDefinition& p = (*r.list)[1];
    ASSERT_NE(p.ReferenceValue(26), nullptr);
    EXPECT_EQ(p.ReferenceValue(26), &(*r.list)[0]);
    EXPECT_EQ((*r.list)[0].RefCount(), 2);  // the list and the projectile's slot
    EXPECT_DOUBLE_EQ(p.ReferenceValue(26)->RealValue(35), 5.0);
}

TEST(ScriptCompilerTest, MessagesCarryFileAndLineAndReachTheSink)
{
    std::vector<ScriptMessage> seen;
    CompileOptions options;
    options.sink = [&](const ScriptMessage& m) { seen.push_back(m); };
    const CompileResult r = CompileScriptText("\n\nrole r { ai 500 }\n", "levels\\one.tvs", kLevelScriptMode, options);
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(FormatMessage(seen[0]), "levels\\one.tvs(3): error: value for 'ai' cannot be more than 100");
    EXPECT_EQ(seen.size(), r.messages.size());
}

TEST(ScriptCompilerTest, StackOverflowEndsTheParse)
{
    std::string source;
    for (int i = 0; i < 60000; ++i)
        source += "define ";
    source += kLamp;
    const CompileResult r = Compile(source);
    EXPECT_THAT(Lines(r.messages), ElementsAreArray({"e 1 yacc stack overflow", "e 1 confused by earlier errors"}));
    EXPECT_EQ(r.list, nullptr);
}

TEST(ScriptCompilerTest, DeepButLegalDefinePrefixParses)
{
    std::string source;
    for (int i = 0; i < 40000; ++i)
        source += "define ";
    const CompileResult r = Compile(source + kLamp);
    EXPECT_EQ(r.errors, 0);
    ASSERT_TRUE(r.list);
    EXPECT_EQ(r.list->Count(), 1u);
}

} // namespace
} // namespace script

namespace script {
namespace {

TEST(LanguageValuesTest, RealsForIntegersAreCutTowardZero)
{
    const struct {
        const char* text;
        int key;
        int value;
    } rows[] = {
        {"ammo a { name \"a\" file \"f\" ammo type 1 weapon type 1 round time 1 reload time 1 life timer 1 "
         "magazine size 2.7 firing speed 1 }",
         13, 2},
        {"projectile p { damage -2.7 gravity no }", 37, -2},
        {"projectile p { damage .9 gravity no }", 37, 0},
    };
    for (const auto& row : rows) {
        const CompileResult r = test::Compile(row.text);
        ASSERT_TRUE(r.list && r.list->Count() == 1) << row.text;
        EXPECT_EQ((*r.list)[0].IntValue(row.key), row.value) << row.text;
    }
}

TEST(LanguageValuesTest, KeyWordSpellingsReachTheSameSlot)
{
    for (const char* spelling : {"walking speed", "walkingspeed", "walking \t speed"}) {
        const CompileResult r = test::Compile(std::string("character c { ") + spelling +
                                              " 4.5 turning speed 1 strength 1 aim 1 sight angle 1 sight range 1 "
                                              "hearing range 1 aggression 0 }");
        ASSERT_TRUE(r.list && r.list->Count() == 1) << spelling;
        EXPECT_DOUBLE_EQ((*r.list)[0].RealValue(11), 4.5) << spelling;
    }
}

TEST(LanguageValuesTest, UseClauseWithoutAndKeepsBothTargets)
{
    const CompileResult r = test::Compile(
        "role r { character none light none projectile none identifier none alpha fogging no per vertex fogging no "
        "destructibility none }\nmap m { name \"m\" file \"f\" bitmap none camera plane none max camera distance 10\n"
        "use r for \"a\" \"b\" as \"B\" }\n");
    ASSERT_TRUE(r.list && r.list->Count() == 2);
    const auto* map = dynamic_cast<const MapDefinition*>(&(*r.list)[1]);
    ASSERT_NE(map, nullptr);
    const auto all = map->Assignments();
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(all[0]->object, "a");
    EXPECT_EQ(all[0]->team, 0);
    EXPECT_FALSE(all[0]->variable);
    EXPECT_EQ(all[1]->object, "b");
    EXPECT_EQ(all[1]->variable, std::optional<std::string>("B"));
}

} // namespace
} // namespace script
