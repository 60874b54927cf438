#include "platform/cpu.h"
#include "platform/os.h"
#include "platform/time.h"

#include <algorithm>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include <sys/stat.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

class TempFolder {
public:
    TempFolder()
    {
        path_ = fs::temp_directory_path() / ("trevok-os-" + std::to_string(::getpid()) + "-" +
                                             testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(path_);
        fs::create_directories(path_);
    }
    ~TempFolder() { fs::remove_all(path_); }
    const fs::path& Path() const { return path_; }
    void Write(const std::string& name, const std::string& text) const
    {
        std::ofstream(path_ / name, std::ios::binary) << text;
    }

private:
    fs::path path_;
};

TEST(MatchWildcard, WindowsRules)
{
    struct Case {
        const char* pattern;
        const char* name;
        bool match;
    };
    const Case cases[] = {
        {"*", "anything", true},          {"*.*", "no_dot", true},
        {"*.rif", "Level05.RIF", true},   {"*.rif", "level05.rif.bak", false},
        {"tvdemo?.dem", "TVDEMO3.dem", true}, {"tvdemo?.dem", "tvdemo12.dem", false},
        {"a*b*c", "aXXbYYc", true},       {"a*b*c", "aXXbYY", false},
        {"", "", true},                   {"", "x", false},
        {"*a*a*a*a*a*b", "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa", false},
        {"?", "", false},                 {"**", "", true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(platform::MatchWildcard(c.pattern, c.name), c.match) << c.pattern << " vs " << c.name;
}

TEST(FindFiles, ListsMatchingEntriesInNameOrder)
{
    TempFolder folder;
    folder.Write("tvdemo2.dem", "22");
    folder.Write("TVDEMO1.DEM", "1");
    folder.Write("notes.txt", "");
    fs::create_directory(folder.Path() / "saves.dem");
    const auto all = platform::FindFiles(folder.Path());
    ASSERT_EQ(all.size(), 4u);
    const auto demos = platform::FindFiles(folder.Path(), "tvdemo?.dem");
    ASSERT_EQ(demos.size(), 2u);
    EXPECT_EQ(demos[0].name, "TVDEMO1.DEM");
    EXPECT_EQ(demos[1].name, "tvdemo2.dem");
    EXPECT_EQ(demos[1].size, 2u);
    const auto dems = platform::FindFiles(folder.Path(), "*.dem");
    ASSERT_EQ(dems.size(), 3u);
    EXPECT_TRUE(dems[1].isDirectory);
    EXPECT_TRUE(platform::FindFiles(folder.Path() / "missing").empty());
}

TEST(Files, WholeFileWriteIsAtomicAndReadsBack)
{
    TempFolder folder;
    const fs::path file = folder.Path() / "quicksave.sav";
    const std::string first = "first version";
    ASSERT_TRUE(platform::WriteWholeFile(file, first.data(), first.size()));
    const std::string second(100000, 'x');
    ASSERT_TRUE(platform::WriteWholeFile(file, second.data(), second.size()));
    auto bytes = platform::ReadWholeFile(file, 1 << 20);
    ASSERT_TRUE(bytes.has_value());
    EXPECT_EQ(std::string(bytes->begin(), bytes->end()), second);
    EXPECT_EQ(platform::FileSize(file), second.size());
    EXPECT_TRUE(platform::FileModificationTime(file).has_value());
    EXPECT_EQ(platform::FindFiles(folder.Path()).size(), 1u) << "no temporary file is left behind";

    EXPECT_FALSE(platform::WriteWholeFile(folder.Path() / "no-such-folder" / "x.sav", "x", 1));
    EXPECT_FALSE(platform::ReadWholeFile(folder.Path() / "absent", 1 << 20).has_value());
    EXPECT_FALSE(platform::FileSize(folder.Path() / "absent").has_value());

    ASSERT_TRUE(platform::WriteWholeFile(folder.Path() / "empty", nullptr, 0));
    EXPECT_TRUE(platform::ReadWholeFile(folder.Path() / "empty", 1 << 20)->empty());

    EXPECT_TRUE(platform::RenameFile(file, folder.Path() / "renamed.sav"));
    EXPECT_FALSE(platform::FileExists(file));
    EXPECT_TRUE(platform::FileExists(folder.Path() / "renamed.sav"));
    EXPECT_TRUE(platform::RemoveFile(folder.Path() / "renamed.sav"));
    EXPECT_FALSE(platform::RemoveFile(folder.Path() / "renamed.sav"));
    EXPECT_TRUE(platform::DirectoryExists(folder.Path()));
    EXPECT_FALSE(platform::FileExists(folder.Path()));
}

// What a damaged data folder can hold where a file is expected: each is
// refused at once, without blocking or reading it, with the file's name.
TEST(Files, WholeFileReadRefusesWhatIsNotAPlausibleFile)
{
    TempFolder folder;
    const fs::path root = folder.Path();
    folder.Write("small", "0123456789");
    fs::create_directory(root / "folder");
    ASSERT_EQ(mkfifo((root / "fifo").c_str(), 0600), 0);
    fs::create_symlink("/dev/zero", root / "zeros");
    // Sparse, so the test writes nothing: only its size matters.
    std::ofstream(root / "huge", std::ios::binary).close();
    fs::resize_file(root / "huge", uint64_t{64} << 30);
    folder.Write("bad head", "XXXX and the rest");

    const platform::FileHeadCheck wantsAbcd = [](std::span<const uint8_t> head, uint64_t) {
        return std::string(head.begin(), head.end()) == "ABCD" ? std::string() : "does not start with ABCD";
    };
    struct Case {
        const char* name;
        uint64_t maxBytes;
        const char* error; // empty: read
    };
    const Case cases[] = {
        {"small", 10, ""},
        {"small", 9, "too large (10 bytes, at most 9)"},
        {"absent", 100, "no such file"},
        {"small/below a file", 100, "no such file"},
        {"folder", 100, "not a regular file"},
        {"fifo", 100, "not a regular file"},
        {"zeros", 100, "not a regular file"},
        {"huge", uint64_t{1} << 31, "too large (68719476736 bytes, at most 2147483648)"},
        {"bad head", 100, "does not start with ABCD"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string error;
        const auto bytes = platform::ReadWholeFile(root / c.name, c.maxBytes, &error,
                                                   std::string_view(c.name) == "bad head" ? 4 : 0,
                                                   std::string_view(c.name) == "bad head" ? wantsAbcd : nullptr);
        if (*c.error == 0) {
            ASSERT_TRUE(bytes.has_value()) << error;
            EXPECT_EQ(std::string(bytes->begin(), bytes->end()), "0123456789");
        } else {
            EXPECT_FALSE(bytes.has_value());
            EXPECT_EQ(error, (root / c.name).string() + ": " + c.error);
        }
        // The read into the caller's storage refuses and reads the same.
        std::string intoError;
        std::string into;
        const bool intoRead = platform::ReadFileInto(
            root / c.name, c.maxBytes, 4,
            [&](std::span<const uint8_t> head, uint64_t size, std::string& why) -> std::span<uint8_t> {
                why = wantsAbcd(head, size);
                if (std::string_view(c.name) != "bad head")
                    why.clear();
                into.assign(head.begin(), head.end());
                into.resize(size);
                return std::span(reinterpret_cast<uint8_t*>(into.data()), size).subspan(head.size());
            },
            &intoError);
        EXPECT_EQ(intoRead, bytes.has_value());
        EXPECT_EQ(intoError, error);
        if (intoRead) {
            EXPECT_EQ(into, "0123456789");
        }
        // The read that skips the zero fill refuses and reads the same.
        if (std::string_view(c.name) == "bad head")
            continue;
        std::string unfilledError;
        const auto unfilled = platform::ReadWholeFileUnfilled(root / c.name, c.maxBytes, &unfilledError);
        EXPECT_EQ(unfilled.has_value(), bytes.has_value());
        EXPECT_EQ(unfilledError, error);
        if (unfilled && bytes) {
            EXPECT_TRUE(std::equal(unfilled->begin(), unfilled->end(), bytes->begin(), bytes->end()));
        }
    }
    // A head that passes lets the whole file through.
    folder.Write("good head", "ABCD and the rest");
    const auto good = platform::ReadWholeFile(root / "good head", 100, nullptr, 4, wantsAbcd);
    ASSERT_TRUE(good.has_value());
    EXPECT_EQ(good->size(), 17u);
}

// The storage a reader gives must take the rest of the file exactly: a file
// that ends before it or runs past it changed after its size was taken.
TEST(Files, ReadIntoStorageWantsTheRestExactly)
{
    TempFolder folder;
    folder.Write("file", "0123456789");
    folder.Write("short", "01");
    struct Case {
        const char* name;
        long extra; // storage beyond the rest's size
        const char* error;
        const char* head; // what the reader was shown
    };
    const Case cases[] = {
        {"file", 0, "", "0123"},
        {"file", -1, "changed size while it was read", "0123"},
        {"file", 1, "changed size while it was read", "0123"},
        {"short", 0, "", "01"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " " + std::to_string(c.extra));
        std::string error, head;
        std::vector<uint8_t> rest;
        const bool read = platform::ReadFileInto(
            folder.Path() / c.name, 100, 4,
            [&](std::span<const uint8_t> h, uint64_t size, std::string&) -> std::span<uint8_t> {
                head.assign(h.begin(), h.end());
                rest.assign(size_t(long(size - h.size()) + c.extra), 0);
                return rest;
            },
            &error);
        EXPECT_EQ(head, c.head);
        if (*c.error == 0) {
            EXPECT_TRUE(read) << error;
            EXPECT_EQ(head + std::string(rest.begin(), rest.end()), std::string(c.name) == "file" ? "0123456789" : "01");
        } else {
            EXPECT_FALSE(read);
            EXPECT_EQ(error, (folder.Path() / c.name).string() + ": " + c.error);
        }
    }
}

TEST(Cpu, IdentificationAndCycleCounter)
{
#if defined(__x86_64__)
    EXPECT_TRUE(platform::HasCpuid());
    const std::string vendor = platform::CpuVendor();
    EXPECT_EQ(vendor.size(), 12u);
    const auto leaf0 = platform::Cpuid(0);
    EXPECT_GE(leaf0.eax, 1u);
    const auto leaf1 = platform::Cpuid(1);
    EXPECT_NE(leaf1.edx & (1u << 4), 0u) << "every x86-64 processor has a time-stamp counter";
    const auto beyond = platform::Cpuid(leaf0.eax + 1);
    EXPECT_EQ(beyond.eax | beyond.ebx | beyond.ecx | beyond.edx, 0u);
#endif
    const uint64_t a = platform::ReadCycleCounter();
    const uint64_t b = platform::ReadCycleCounter();
    EXPECT_GE(b, a);
}

TEST(Time, ClocksMoveForwardTogether)
{
    const uint64_t n0 = platform::MonotonicNanoseconds();
    const uint32_t m0 = platform::TimeMilliseconds();
    const uint64_t n1 = platform::MonotonicNanoseconds();
    EXPECT_GE(n1, n0);
    // Both read the same clock, so the millisecond reading lies between.
    EXPECT_LE(static_cast<uint32_t>(n0 / 1000000), m0);
    EXPECT_LE(m0, static_cast<uint32_t>(n1 / 1000000));
}

} // namespace
