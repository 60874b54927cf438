#include "console_fixture.h"

#include <climits>

namespace console_test {
namespace {

struct ReaderCase {
    const char* line;
    int asInt;
    float asFloat;
    const char* restAfterFloat;
};

class Readers : public ConsoleTest, public ::testing::WithParamInterface<ReaderCase> {};

TEST_P(Readers, IntAndFloat)
{
    NamedValueList::Global().Set("two", 2.0f);
    NamedValueList::Global().Set("big", NamedValueList::kLimit);
    NamedValueList::Global().Set("half", -0.5f);
    TextConsole::SetLine(GetParam().line);
    EXPECT_EQ(TextConsole::ReadInt(-7), GetParam().asInt);
    TextConsole::SetLine(GetParam().line);
    EXPECT_EQ(TextConsole::ReadFloat(-7.0f), GetParam().asFloat);
    EXPECT_STREQ(TextConsole::LineBuffer(), GetParam().restAfterFloat);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, Readers,
    ::testing::Values(ReaderCase{"", -7, -7.0f, ""}, ReaderCase{"   ", -7, -7.0f, ""},
                      ReaderCase{"- two", -2, 2.0f, ""}, ReaderCase{"2.5 7", 2, 2.5f, " 7"},
                      ReaderCase{"42", 42, 42.0f, ""}, ReaderCase{"-3", -3, -3.0f, ""},
                      ReaderCase{"half", -1, -0.5f, ""}, ReaderCase{"nosuch 3", -7, -7.0f, " 3"},
                      ReaderCase{"99999999999999999999", INT_MAX, 1e20f, ""},
                      ReaderCase{"-99999999999999999999", INT_MIN, -1e20f, ""},
                      ReaderCase{"big", 1000000000, 1.0e9f, ""}, ReaderCase{".25", -7, 0.25f, ""}));

TEST_F(ConsoleTest, WordsQuotesAndRest)
{
    TextConsole::SetLine("  \"two words\" third  fourth");
    EXPECT_EQ(TextConsole::PeekWord(), "two words");
    EXPECT_EQ(TextConsole::ReadWord(), "two words");
    EXPECT_EQ(TextConsole::ReadWord(), "third");
    EXPECT_EQ(TextConsole::ReadRestOfLine(), "fourth");
    EXPECT_EQ(TextConsole::ReadWord(), "");
    TextConsole::SetLine("\"unterminated to the end");
    EXPECT_EQ(TextConsole::ReadWord(), "unterminated to the end");
    for (auto [text, onOff] : {std::pair{"on", 1}, {"TRUE", 1}, {"Off", 0}, {"false", 0}, {"maybe", 2}, {"", 2}}) {
        TextConsole::SetLine(text);
        EXPECT_EQ(TextConsole::ReadOnOff(), onOff) << text;
    }
}

TEST_F(ConsoleTest, LineBufferKeeps249Characters)
{
    const std::string longLine(400, 'x');
    TextConsole::SetLine(longLine.c_str());
    EXPECT_EQ(std::string(TextConsole::LineBuffer()).size(), 249u);
}

struct FormatCase {
    float value;
    const char* text;
};

class Formats : public ::testing::TestWithParam<FormatCase> {};

TEST_P(Formats, FormatFloat) { EXPECT_EQ(FormatFloat(GetParam().value), GetParam().text); }

// Expected texts: the decimal expansion of the float, fraction floored to
// four places, trailing zeros dropped.
INSTANTIATE_TEST_SUITE_P(Values, Formats,
                         ::testing::Values(FormatCase{0.0f, "0"}, FormatCase{-0.0f, "0"}, FormatCase{1.0f, "1"},
                                           FormatCase{2.5f, "2.5"}, FormatCase{-2.5f, "-2.5"},
                                           FormatCase{0.1f, "0.1"}, FormatCase{1.23456f, "1.2345"},
                                           FormatCase{0.00001f, "0"}, FormatCase{-0.00001f, "0"},
                                           FormatCase{3.0001f, "3"}, FormatCase{3.0002f, "3.0002"}, FormatCase{1e20f, "100000002004087734272"},
                                           FormatCase{std::numeric_limits<float>::quiet_NaN(), "NaN"},
                                           FormatCase{std::numeric_limits<float>::infinity(), "inf"},
                                           FormatCase{-std::numeric_limits<float>::infinity(), "-inf"}));

} // namespace
} // namespace console_test
