// Pass 1: directives, comments, macros and includes, with their messages;
// and the output compared with gcc's cpp where both define the behaviour.
#include "script_test_support.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <regex>

#include <unistd.h>

namespace script {
namespace {

using ::testing::ElementsAreArray;

std::filesystem::path Fixtures()
{
    const char* dir = std::getenv("TREVOK_FIXTURES");
    return std::filesystem::path(dir ? dir : TREVOK_SOURCE_DIR "/tests/fixtures") / "script";
}

// The pass-1 output without its line markers, as a list of tokens.
std::vector<std::string> Tokens(const std::string& text)
{
    static const std::regex token(R"re([A-Za-z_][A-Za-z0-9_]*|-?[0-9]+(\.[0-9]*)?|-?\.[0-9]+|"[^"\n]*"|[^\sA-Za-z0-9_"])re");
    std::vector<std::string> out;
    std::string plain;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string::npos)
            end = text.size();
        const std::string line = text.substr(pos, end - pos);
        if (!std::regex_search(line, std::regex(R"(^\s*#\s*line\b)")))
            plain += line + "\n";
        pos = end + 1;
    }
    for (auto it = std::sregex_iterator(plain.begin(), plain.end(), token); it != std::sregex_iterator(); ++it)
        out.push_back(it->str());
    return out;
}

std::vector<std::string> FileLines(const std::vector<ScriptMessage>& messages)
{
    std::vector<std::string> out;
    for (const auto& m : messages)
        out.push_back(std::string(m.severity == Severity::kError ? "e " : "w ") +
                      std::filesystem::path(m.file).filename().string() + ":" + std::to_string(m.line) + " " + m.text);
    return out;
}

PreprocessResult Preprocess(const std::string& text)
{
    CompileOptions options;
    options.includeRoot = Fixtures();
    return PreprocessScriptText(text, "main.tvs", options);
}

struct Case {
    const char* name;
    std::string source;
    std::vector<std::string> tokens;
    std::vector<std::string> messages;
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

class PreprocessorTest : public ::testing::TestWithParam<Case> {};

TEST_P(PreprocessorTest, OutputAndMessages)
{
    const Case& c = GetParam();
    const PreprocessResult r = Preprocess(c.source);
    EXPECT_THAT(Tokens(r.text), ElementsAreArray(c.tokens));
    EXPECT_THAT(FileLines(r.messages), ElementsAreArray(c.messages));
}

const Case kCases[] = {
    {"BlanksAroundHash", "  #   define X light\nX\n", {"light"}, {}},
    {"TwoElsesSwitchBack", "#define A\n#ifdef A\none\n#else\ntwo\n#else\nthree\n#endif\n", {"one", "three"},
     {"w main.tvs:6 '#else' already found"}},
    {"FileEndsInsideConditionals", "#ifdef A\n#ifndef B\nx\n", {},
     {"w main.tvs:5 missing '#endif'", "w main.tvs:5 missing '#endif'"}},
    {"IncludedFileDoesNotCloseIncluder",
     "#ifndef X\n#include \"opens_conditional.tvs\"\nafter\n#endif\n", {"after"},
     {"w opens_conditional.tvs:4 missing '#endif'"}},
    {"NestedBlockComment", "a /* one /* two */ three */ b\n", {"a", "b"},
     {"w main.tvs:1 start of nested comment found", "w main.tvs:1 end of nested comment found"}},
    {"AngleBracketInclude", "#include <x.tvs>\nnext\n", {"next"}, {"w main.tvs:1 invalid #include directive"}},
    {"EmptyMacroRemovesUses", "#define GONE\nleft GONE right GONE\n", {"left", "right"}, {}},
    {"UnterminatedStringEndsAtLineEnd", "\"abc\nnext\n", {"\"abc\"", "next"}, {}},
    {"ElseOutsideConditional", "#else\n", {}, {"w main.tvs:1 '#else' not within conditional block"}},
    {"EndifOutsideConditional", "a\n#endif\n", {"a"}, {"w main.tvs:2 unexpected '#endif'"}},
    {"IfdefWithoutName", "#ifdef\nhidden\n#endif\nshown\n", {"shown"},
     {"w main.tvs:1 invalid '#ifdef' or '#ifndef' directive"}},
    {"DefineWithoutName", "#define \"x\"\n", {}, {"w main.tvs:1 invalid #define directive"}},
    {"UnknownDirective", "#pragma once\n#definex 1\nok\n", {"ok"},
     {"w main.tvs:1 unrecognized preprocessor directive", "w main.tvs:2 unrecognized preprocessor directive"}},
    {"UnknownDirectiveInDroppedSection", "#ifdef NO\n#pragma once\n#endif\n", {}, {}},
    {"ExtraSymbols", "#define A\n#ifdef A junk\n#endif more\n", {},
     {"w main.tvs:2 unexpected symbols in preprocessor directive",
      "w main.tvs:3 unexpected symbols in preprocessor directive"}},
    {"RedefinitionKeepsSecondBody", "#define A one\n#define A two\nA\n", {"two"}, {"w main.tvs:2 macro redefinition"}},
    {"DirectiveContinues", "#define LONG a \\\n b\nLONG\n", {"a", "b"}, {}},
    {"DirectiveContinuesAfterBlanks", "#define LONG a \\  \n b\nLONG\n", {"a", "b"},
     {"w main.tvs:1 Preprocessor directive continues on next line after whitespace"}},
    {"LineCommentContinues", "a // note \\\n still note\nb\n", {"a", "b"},
     {"w main.tvs:1 Single-line comment continues on next line"}},
    {"UnterminatedComment", "a /* never closed\n", {"a"}, {"w main.tvs:3 unterminated comment"}},
    {"DefineInDroppedSection", "#ifdef NO\n#define Z zed\n#endif\nZ\n", {"Z"}, {}},
    {"MissingInclude", "#include \"not_there.tvs\"\nafter\n", {"after"}, {"e main.tvs:1 unable to open file 'not_there.tvs'"}},
    {"IncludeResolvesAnyCase", "#include \"SHARED_LIGHTS.TVS\"\n",
     {"light", "shared_lamp", "(", "red", "1", "green", "1", "blue", "1", "specular", "red", "0", "specular", "green",
      "0", "specular", "blue", "0", "range", "8", ")"},
     {}},
    {"IncludeCannotEscapeRoot", "#include \"..\\script\\shared_lights.tvs\"\n", {},
     {"e main.tvs:1 unable to open file '..\\script\\shared_lights.tvs'"}},
    {"WindowsLineEnds", "#define A light\r\n#ifdef A\r\nA x\r\n#endif\r\n", {"light", "x"}, {}},
};

INSTANTIATE_TEST_SUITE_P(Script, PreprocessorTest, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<Case>& p) { return std::string(p.param.name); });

TEST(PreprocessorLimitsTest, ExponentialMacroStops)
{
    CompileOptions options;
    options.maxMacroExpansions = 5000;
    const PreprocessResult r = PreprocessScriptText("#define A A A\nA\n", "main.tvs", options);
    EXPECT_THAT(FileLines(r.messages), ElementsAreArray({"e main.tvs:2 macro 'A' expands too deeply"}));
}

TEST(PreprocessorLimitsTest, MultiplyingMacrosStop)
{
    CompileOptions options;
    options.maxMacroTokens = 1000;
    const PreprocessResult r = PreprocessScriptText(
        "#define A x x x x x x x x x x\n#define B A A A A A A A A A A\n#define C B B B B B B B B B B\nC C\nend\n",
        "main.tvs", options);
    EXPECT_THAT(FileLines(r.messages), ElementsAreArray({"e main.tvs:4 macro expansion too large"}));
    const auto tokens = Tokens(r.text);
    const auto xs = std::count(tokens.begin(), tokens.end(), "x");
    EXPECT_GT(xs, 800);
    EXPECT_LE(xs, 1000);
    EXPECT_EQ(tokens.back(), "end");
}

TEST(PreprocessorLimitsTest, MacroReachingItselfStopsAtDepth)
{
    CompileOptions options;
    options.maxMacroDepth = 2;
    const PreprocessResult r = PreprocessScriptText("#define A x A\nA y\nA\n", "main.tvs", options);
    EXPECT_THAT(Tokens(r.text), ElementsAreArray({"x", "x", "y", "x", "x"}));
    EXPECT_THAT(FileLines(r.messages), ElementsAreArray({"e main.tvs:2 macro 'A' expands too deeply"}));
}

TEST(PreprocessorLimitsTest, IncludeRecursionStopsAtDepth)
{
    const PreprocessResult r = Preprocess("#include \"includes_itself.tvs\"\n");
    EXPECT_THAT(FileLines(r.messages), ElementsAreArray({"e includes_itself.tvs:1 #include nested too deeply"}));
    // Each level still delivers its own line of text.
    const auto tokens = Tokens(r.text);
    EXPECT_EQ(std::count(tokens.begin(), tokens.end(), "once"), 31);
}

TEST(PreprocessorLinesTest, MarkersKeepFileAndLineThroughIncludes)
{
    CompileOptions options;
    options.includeRoot = Fixtures();
    const CompileResult r = CompileScriptText("// first\n#include \"error_on_line_two.tvs\"\n\nlight lamp_b ( red -2 )\n",
                                              "main.tvs", kLevelScriptMode, options);
    EXPECT_THAT(FileLines(r.messages),
                ElementsAreArray({"w error_on_line_two.tvs:1 abstract definition not declared with 'abstract'",
                                  "e error_on_line_two.tvs:2 value for 'red' cannot be less than 0.000000",
                                  "w error_on_line_two.tvs:2 abstract definition not declared with 'abstract'",
                                  "e main.tvs:4 value for 'red' cannot be less than 0.000000",
                                  "w main.tvs:4 abstract definition not declared with 'abstract'",
                                  "w main.tvs:6 empty script found"}));
}

TEST(PreprocessorLinesTest, FileNameWithQuoteKeepsItsMarker)
{
    const auto dir = std::filesystem::temp_directory_path() / ("trevok_script_quote_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const auto file = dir / "odd\"name.tvs";
    std::ofstream(file) << "\nlight x ( red -1 )\n";
    const CompileResult r = CompileScriptFile(file, kLevelScriptMode);
    ASSERT_FALSE(r.messages.empty());
    EXPECT_EQ(r.messages[0].file, file.string());
    EXPECT_EQ(r.messages[0].line, 2u);
    std::filesystem::remove_all(dir);
}

// --- against gcc's cpp ------------------------------------------------------

std::string RunCpp(const std::string& source)
{
    // One folder per process: tests may run in parallel.
    static int run = 0;
    const auto dir = std::filesystem::temp_directory_path() /
                     ("trevok_script_cpp_" + std::to_string(::getpid()) + "_" + std::to_string(++run));
    std::filesystem::create_directories(dir);
    const auto input = dir / "input.tvs";
    std::ofstream(input) << source;
    const std::string command = "cpp -P -w -undef -nostdinc -I '" + Fixtures().string() + "' '" + input.string() + "'";
    std::string out;
    if (std::FILE* p = ::popen(command.c_str(), "r")) {
        char buffer[4096];
        std::size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, p)) > 0)
            out.append(buffer, n);
        if (::pclose(p) != 0)
            out = "<cpp failed>";
    }
    std::filesystem::remove_all(dir);
    return out;
}

class AgainstCppTest : public ::testing::TestWithParam<const char*> {};

TEST_P(AgainstCppTest, SameTokens)
{
    if (std::system("cpp --version > /dev/null 2>&1") != 0)
        GTEST_SKIP() << "cpp is not installed";
    const std::string source = GetParam();
    const PreprocessResult ours = Preprocess(source);
    EXPECT_EQ(ours.errors, 0);
    EXPECT_EQ(Tokens(ours.text), Tokens(RunCpp(source)));
}

const char* const kCppInputs[] = {
    "#define SPEED walking speed 2.5\ncharacter c ( SPEED aim 1 )\n",
    "#define A B C\n#define B one\nA B\n",
    "#define X\n#ifdef X\nyes\n#else\nno\n#endif\n#ifndef X\nnot\n#endif\n",
    "#ifdef U\n#ifdef V\na\n#else\nb\n#endif\nc\n#else\nd\n#endif\n",
    "a /* b */ c // d\ne /* multi\nline */ f\n",
    "#include \"shared_lights.tvs\"\nrole r ( light shared_lamp )\n",
    "#ifdef NOPE\n#define Z zed\n#endif\nZ\n",
    "shape s { name \"a b\" file \"rifs\\Props.rif\" }\n",
    "#define A one\n#define A two\nA\n",
    "#define LONG a \\\n b\nLONG 1.5) -3 .25\n",
    "#define EMPTY\n#ifndef EMPTY\nhidden\n#endif\nEMPTY shown EMPTY\n",
    "  #  define SPACED x\nSPACED\n",
};

INSTANTIATE_TEST_SUITE_P(Script, AgainstCppTest, ::testing::ValuesIn(kCppInputs));

} // namespace
} // namespace script
