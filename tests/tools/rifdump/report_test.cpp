#include "rifdump_test_support.h"

#include "chunk/huffman_coder.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <array>

using namespace rifdumptest;
namespace fs = std::filesystem;

namespace {

struct GoldenCase {
    const char* name_;
    const char* file_;     // under the fixtures, or under the sample data when sample_ is set
    const char* expected_; // under the fixtures
    bool compress_ = false; // run on the file compressed by the chunk library's coder
    bool sample_ = false;
};

const GoldenCase kGoldenCases[] = {
    // Unnamed first hierarchy, a root part that shows no object, nested nodes, no sequences.
    {"UnnamedHierarchy", "unnamed_hierarchy.rif", "unnamed_hierarchy.txt"},
    // Padding to 50 columns and longer headers, time and speed present or not, flags on
    // several bits, delta first/middle/negative, upper and lower, sounds found and not
    // found, a header-less sequence skipped, a second sequence list left out.
    {"Sequences", "sequences.rif", "sequences.txt"},
    {"SequencesCompressed", "sequences.rif", "sequences.txt", true},
    // Female and other property bits, a collection naming a missing set.
    {"ShapeSets", "shape_sets.rif", "shape_sets.txt"},
    {"ShapeSetsCompressed", "shape_sets.rif", "shape_sets.txt", true},
    // Only the tool's own chunk types: nothing but the totals.
    {"ToolChunksOnly", "tool_chunks.rif", "tool_chunks.txt"},
    // The generated sample model, as the sample set writes it (compressed and plain).
    {"SampleCompressed", "rifs/robot_hierarchy.rif", "robot_hierarchy.txt", false, true},
    {"SamplePlain", "rifs/robot_hierarchy_plain.rif", "robot_hierarchy.txt", false, true},
};

class GoldenReport : public testing::TestWithParam<GoldenCase> {};

TEST_P(GoldenReport, PrintsTheExpectedReportByteForByte)
{
    const auto& c = GetParam();
    fs::path file;
    if (c.sample_) {
        const char* sample = std::getenv("TREVOK_SAMPLE_DATA");
        if (!sample)
            sample = TREVOK_BUILD_SAMPLE_DATA;
        if (!fs::exists(fs::path(sample) / c.file_))
            GTEST_SKIP() << "no sample data";
        file = fs::path(sample) / c.file_;
    } else {
        file = FixturePath(c.file_);
    }
    if (c.compress_) {
        auto plain = ReadBytes(file);
        ASSERT_FALSE(plain.empty());
        file = TempFolder() / (std::string(c.name_) + ".rif");
        WriteBytes(file, trevok::HuffmanCoder::Compress(plain));
    }
    auto result = RunReport({"rifdump", file.string()});
    EXPECT_EQ(result.status_, 0);
    EXPECT_EQ(result.out_, ReadText(FixturePath(c.expected_)));
    EXPECT_EQ(result.errors_, "");
}

INSTANTIATE_TEST_SUITE_P(Files, GoldenReport, testing::ValuesIn(kGoldenCases),
                         [](const testing::TestParamInfo<GoldenCase>& param) { return std::string(param.param.name_); });

TEST(RifdumpCommandLine, WrongArgumentCountPrintsTheUsageOnly)
{
    const std::vector<std::vector<std::string>> cases = {
        {"rifdump"},
        {"./tools/rifdump", "a.rif", "b.rif"},
    };
    for (const auto& args : cases) {
        auto result = RunReport(args);
        EXPECT_NE(result.status_, 0);
        EXPECT_EQ(result.out_, "Usage:\n" + args[0] + " filename\n");
    }
}

TEST(RifdumpCommandLine, FilesThatDoNotLoadPrintTheFailureOnly)
{
    auto dir = TempFolder();
    auto good = ReadBytes(FixturePath("sequences.rif"));
    ASSERT_GT(good.size(), 100u);

    auto overrun = good; // the first top-level chunk claims more bytes than the file holds
    overrun[20] = 0xFF;
    overrun[21] = 0xFF;
    auto wrongMagic = good;
    wrongMagic[3] = 'X';
    auto cut = std::vector<uint8_t>(good.begin(), good.begin() + 60);
    auto compressed = trevok::HuffmanCoder::Compress(good);
    compressed.resize(compressed.size() / 2);

    const std::vector<std::pair<std::string, std::vector<uint8_t>>> files = {
        {"overrun.rif", overrun},
        {"wrong_magic.rif", wrongMagic},
        {"cut_short.rif", cut},
        {"empty.rif", {}},
        {"broken_compressed.rif", compressed},
    };
    std::vector<std::string> names = {(dir / "missing.rif").string(), dir.string()};
    for (const auto& [name, bytes] : files) {
        WriteBytes(dir / name, bytes);
        names.push_back((dir / name).string());
    }
    for (const auto& name : names) {
        SCOPED_TRACE(name);
        auto result = RunReport({"rifdump", name});
        EXPECT_NE(result.status_, 0);
        EXPECT_EQ(result.out_, "Failed to load " + name + "\n");
        // The detail (which file, where, what) goes to the error stream.
        EXPECT_NE(result.errors_.find(name), std::string::npos) << result.errors_;
    }
}

// The built program: exit statuses, standard output, and no file written or changed.
struct ProgramRun {
    int status_ = -1;
    std::string out_;
};

ProgramRun RunProgram(const std::string& arguments, const fs::path& folder)
{
    std::string command = "cd '" + folder.string() + "' && '" RIFDUMP_BINARY "' " + arguments + " 2>/dev/null";
    ProgramRun run;
    std::FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return run;
    std::array<char, 4096> buffer;
    size_t n;
    while ((n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0)
        run.out_.append(buffer.data(), n);
    int status = pclose(pipe);
    run.status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

std::vector<std::pair<std::string, fs::file_time_type>> Listing(const fs::path& folder)
{
    std::vector<std::pair<std::string, fs::file_time_type>> list;
    for (const auto& e : fs::directory_iterator(folder))
        list.emplace_back(e.path().filename().string(), e.last_write_time());
    std::sort(list.begin(), list.end());
    return list;
}

TEST(RifdumpProgram, ReportsWithStatusZeroAndWritesNothing)
{
    auto folder = TempFolder() / "program";
    fs::create_directories(folder);
    auto bytes = ReadBytes(FixturePath("sequences.rif"));
    WriteBytes(folder / "model.rif", bytes);
    ::chmod((folder / "model.rif").c_str(), 0444);
    auto before = Listing(folder);

    auto run = RunProgram("model.rif", folder);
    EXPECT_EQ(run.status_, 0);
    EXPECT_EQ(run.out_, ReadText(FixturePath("sequences.txt")));
    EXPECT_EQ(Listing(folder), before);
    EXPECT_EQ(ReadBytes(folder / "model.rif"), bytes);

    auto usage = RunProgram("", folder);
    EXPECT_NE(usage.status_, 0);
    EXPECT_EQ(usage.out_, "Usage:\n" RIFDUMP_BINARY " filename\n");

    auto missing = RunProgram("nothing.rif", folder);
    EXPECT_NE(missing.status_, 0);
    EXPECT_EQ(missing.out_, "Failed to load nothing.rif\n");
    EXPECT_EQ(Listing(folder), before);
}

// What a user may hand the tool by mistake: each ends at once, by itself
// (no signal), with status 1 and the reason on the error stream.
TEST(RifdumpProgram, WhatIsNoChunkFileEndsWithItsReason)
{
    auto folder = TempFolder() / "damaged";
    fs::create_directories(folder);
    ASSERT_EQ(mkfifo((folder / "fifo.rif").c_str(), 0600), 0);
    fs::create_symlink("/dev/zero", folder / "zeros.rif");
    fs::create_directory(folder / "folder.rif");
    // Sparse files: only their sizes matter, nothing is written.
    std::ofstream(folder / "two_gigabytes.rif").close();
    fs::resize_file(folder / "two_gigabytes.rif", uint64_t{2} << 30);
    std::ofstream(folder / "zeros_below_the_limit.rif").close();
    fs::resize_file(folder / "zeros_below_the_limit.rif", uint64_t{256} << 20);
    std::ofstream(folder / "sixty_four_gigabytes.rif").close();
    fs::resize_file(folder / "sixty_four_gigabytes.rif", uint64_t{64} << 30);
    auto header = ReadBytes(FixturePath("sequences.rif"));
    header.resize(12);
    WriteBytes(folder / "header_claims_more.rif", header);
    fs::resize_file(folder / "header_claims_more.rif", uint64_t{256} << 20);

    struct Case {
        const char* name;
        const char* reason;
    };
    const Case cases[] = {
        {"missing.rif", "no such file"},
        {"folder.rif", "not a regular file"},
        {"fifo.rif", "not a regular file"},
        {"zeros.rif", "not a regular file"},
        {"two_gigabytes.rif", "too large (2147483648 bytes, at most 536870912)"},
        {"sixty_four_gigabytes.rif", "too large (68719476736 bytes, at most 536870912)"},
        // Below the limit, the first bytes refuse the file before the rest is read.
        {"zeros_below_the_limit.rif", "not a chunk file"},
        {"header_claims_more.rif", "differs from the file's length 268435456"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path errors = folder / "errors.txt";
        const std::string command = "cd '" + folder.string() + "' && exec timeout -s KILL 30 '" RIFDUMP_BINARY "' " +
                                    c.name + " 2>errors.txt";
        std::FILE* pipe = popen(command.c_str(), "r");
        ASSERT_NE(pipe, nullptr);
        std::string out;
        std::array<char, 256> buffer;
        size_t n;
        while ((n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0)
            out.append(buffer.data(), n);
        const int status = pclose(pipe);
        ASSERT_TRUE(WIFEXITED(status)) << "ended by a signal";
        EXPECT_EQ(WEXITSTATUS(status), 1);
        EXPECT_EQ(out, std::string("Failed to load ") + c.name + "\n");
        EXPECT_EQ(ReadText(errors).rfind(std::string(c.name) + ": ", 0), 0u) << ReadText(errors);
        EXPECT_NE(ReadText(errors).find(c.reason), std::string::npos) << ReadText(errors);
    }
}

} // namespace
