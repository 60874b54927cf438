#include "console_fixture.h"

#include <cctype>
#include <set>

namespace console_test {
namespace {

std::string LastRun;
void RecordHandler() { LastRun = CurrentCommandName() + "|" + TextConsole::LineBuffer(); }

TEST_F(ConsoleTest, StartUpMakesTheSideValuesSilently)
{
    EXPECT_EQ(Value("res"), 0.0f);
    EXPECT_EQ(Value("friendly"), 1.0f);
    EXPECT_EQ(Value("ENEMY"), 2.0f);
    EXPECT_TRUE(TextConsole::Get().lines.empty());
    EXPECT_EQ(CommandTable::Global().Count(), 205);
}

TEST_F(ConsoleTest, EveryRowIsReachedByItsNameInAnyCase)
{
    std::set<std::string> seen;
    CommandTable::Global().ForEach([&](const ConsoleCommand& c) {
        if (c.name.empty())
            return;
        std::string lower = c.name, mixed = c.name;
        for (size_t i = 0; i < lower.size(); ++i) {
            lower[i] = char(std::tolower(static_cast<unsigned char>(lower[i])));
            mixed[i] = i % 2 ? lower[i] : c.name[i];
        }
        for (const std::string& typed : {lower, mixed}) {
            const ConsoleCommand* m = CommandTable::Global().Match(typed.c_str());
            ASSERT_NE(m, nullptr) << typed;
            EXPECT_EQ(m->name.size(), c.name.size()) << typed;
        }
        seen.insert(c.name);
    });
    EXPECT_EQ(seen.size(), 204u) << "every named row has its own name";
}

struct DispatchCase {
    const char* line;
    const char* ran; // "name|rest" the recording handler saw, or "" when none ran
};

class DispatchEdges : public ConsoleTest, public ::testing::WithParamInterface<DispatchCase> {};

TEST_P(DispatchEdges, RunsTheLongestMatch)
{
    for (const char* name : {"SET", "SET CAMERA", "SET CAMERA POS", "BORDERS "})
        CommandTable::Global().Register(name, "", RecordHandler, 1);
    LastRun.clear();
    TextConsole::ExecuteLine(GetParam().line);
    EXPECT_EQ(LastRun, GetParam().ran);
}

INSTANTIATE_TEST_SUITE_P(Lines, DispatchEdges,
                         ::testing::Values(DispatchCase{"set camera pos 1 2 3", "SET CAMERA POS| 1 2 3"},
                                           DispatchCase{"SETX 5", "SET|X 5"},
                                           DispatchCase{"Set Camera", "SET CAMERA|"},
                                           DispatchCase{"BORDERS", ""},
                                           DispatchCase{"borders 3", "BORDERS |3"},
                                           DispatchCase{" SET x 1", ""},
                                           DispatchCase{"", ""}));

TEST_F(ConsoleTest, LaterOfTwoEqualNamesWinsAndRemoveTakesIt)
{
    static int which = 0;
    auto first = [] { which = 1; };
    auto second = [] { which = 2; };
    CommandTable::Global().Register("ZAP", "", first, 1);
    CommandTable::Global().Register("ZAP", "", second, 1);
    TextConsole::ExecuteLine("zap");
    EXPECT_EQ(which, 2);
    EXPECT_TRUE(CommandTable::Global().Remove("zap", second));
    TextConsole::ExecuteLine("ZAP");
    EXPECT_EQ(which, 1);
}

struct LineCase {
    const char* line;
    const char* printed; // last printed line afterwards ("" for nothing)
    float res;           // value of res afterwards
};

class ControlLines : public ConsoleTest, public ::testing::WithParamInterface<LineCase> {};

TEST_P(ControlLines, PrintAndSet)
{
    Typed(GetParam().line);
    EXPECT_EQ(Last(), GetParam().printed);
    EXPECT_EQ(Value("res"), GetParam().res);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, ControlLines,
    ::testing::Values(LineCase{"res", "res = 0", 0}, LineCase{"Friendly", "Friendly = 1", 0},
                      LineCase{"nothing here", "Unrecognised command or token.", 0},
                      LineCase{"@ECHO", "", 0}, LineCase{"@NOSUCH", "", 0},
                      LineCase{"IF res = 0 SET res 4", "", 4}, LineCase{"IF res = 1 SET res 4", "", 0},
                      LineCase{"IF (friendly < enemy) SET res -2", "", -2},
                      LineCase{"IF res ~ 1 SET res 4", "IF: malformed condition.", 0},
                      LineCase{"IF nope = 1 SET res 4", "IF: malformed condition.", 0},
                      LineCase{"IF res != -1 SET res 1e", "", 1}, LineCase{"REM SET res 3", "", 0},
                      LineCase{"// SET res 3", "", 0}, LineCase{"SET res nan", "", 0},
                      LineCase{"SET res 99999999999999999999999", "", NamedValueList::kLimit},
                      LineCase{"INC res", "", 1}, LineCase{"SET nosuch 1", "No token of that name. nosuch", 0}));

TEST_F(ConsoleTest, CommandsAboveTheLevelAreIgnoredSilently)
{
    AccessLevel = 1;
    TextConsole::ExecuteLine("INC res");
    EXPECT_EQ(Value("res"), 0.0f);
    TextConsole::ExecuteAtFullAccess("INC res");
    EXPECT_EQ(Value("res"), 1.0f);
    EXPECT_EQ(AccessLevel, 1) << "restored afterwards";
    AccessLevel = 3;
    EXPECT_TRUE(TextConsole::Get().lines.empty());
}

TEST_F(ConsoleTest, FailuresFromFilesNameTheirSource)
{
    TextConsole::ExecuteLine("bogus", {LineSource::LevelFile, "level1.tcs", 7});
    EXPECT_EQ(Last(), "Unrecognised command or token. (level file level1.tcs, line 7)");
}

TEST_F(ConsoleTest, RowsOfHigherLayersSayTheyAreNotBuiltUntilProvided)
{
    // The weather rows come from the effects layer, which this binary lacks.
    Typed("rain on");
    EXPECT_EQ(Last(), "RAIN: this command is not built yet.");
}

TEST_F(ConsoleTest, PrintNeverFormatsItsText)
{
    TextConsole::Print("%s%n%d");
    EXPECT_EQ(Last(), "%s%n%d");
    Typed("TEXT %s %x");
    EXPECT_EQ(Last(), "%s %x");
}

} // namespace
} // namespace console_test
