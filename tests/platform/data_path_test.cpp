#include "platform/data_path.h"

#include <gtest/gtest.h>

#include <fstream>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

class DataPathTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        root_ = fs::temp_directory_path() / ("data_path_" + std::to_string(::getpid()) + "_" +
                                             ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(root_);
        fs::create_directories(root_ / "User Interface");
        fs::create_directories(root_ / "bitmaps");
        Touch(root_ / "User Interface" / "CommWheel01.RIF");
        Touch(root_ / "bitmaps" / "particles.rim");
        Touch(root_ / "bitmaps" / "Twin.rim");
        Touch(root_ / "bitmaps" / "twin.rim");
        fs::create_directories(root_.parent_path() / "outside");
        platform::ClearDataPathCache();
    }
    void TearDown() override { fs::remove_all(root_); }

    static void Touch(const fs::path& p) { std::ofstream(p) << "x"; }

    fs::path root_;
};

TEST_F(DataPathTest, ResolvesAnySpellingToTheFileOnDisk)
{
    struct Case {
        const char* data;
        const char* expected; // relative to root; nullptr when nothing may match
    } cases[] = {
        {"user interface/commwheel01.rif", "User Interface/CommWheel01.RIF"},
        {"User Interface\\CommWheel01.RIF", "User Interface/CommWheel01.RIF"},
        {"BITMAPS\\PARTICLES.RIM", "bitmaps/particles.rim"},
        {"bitmaps\\\\.\\particles.rim", "bitmaps/particles.rim"},
        {"bitmaps", "bitmaps"},
        {"twin.rim", nullptr},
        {"bitmaps\\twin.rim", "bitmaps/twin.rim"},   // exact spelling wins
        {"bitmaps\\TWIN.rim", "bitmaps/Twin.rim"},   // else first in byte order
        {"bitmaps\\missing.rim", nullptr},
        {"", nullptr},
        {"..\\outside", nullptr},
        {"bitmaps/../../outside", nullptr},
        {"/etc/passwd", nullptr},
        {"\\etc\\passwd", nullptr},
        {"c:\\bitmaps\\particles.rim", nullptr},
    };
    for (const Case& c : cases) {
        auto got = platform::ResolveDataPath(root_, c.data);
        if (c.expected == nullptr) {
            EXPECT_FALSE(got.has_value()) << c.data;
        } else {
            ASSERT_TRUE(got.has_value()) << c.data;
            EXPECT_EQ(*got, root_ / c.expected) << c.data;
        }
    }
}

TEST_F(DataPathTest, SeesFilesMadeAfterTheFolderWasListed)
{
    ASSERT_TRUE(platform::ResolveDataPath(root_, "bitmaps\\particles.rim"));
    Touch(root_ / "bitmaps" / "Late.RIM");
    auto got = platform::ResolveDataPath(root_, "bitmaps\\late.rim");
    ASSERT_TRUE(got.has_value());
    EXPECT_EQ(*got, root_ / "bitmaps" / "Late.RIM");
}

TEST_F(DataPathTest, WritePathKeepsExistingSpellingOrTakesTheGivenOne)
{
    EXPECT_EQ(platform::ResolveDataPathForWrite(root_, "BITMAPS\\particles.RIM"),
              root_ / "bitmaps" / "particles.rim");
    EXPECT_EQ(platform::ResolveDataPathForWrite(root_, "Bitmaps\\New.sav"), root_ / "bitmaps" / "New.sav");
    EXPECT_FALSE(platform::ResolveDataPathForWrite(root_, "nofolder\\x.sav"));
    EXPECT_FALSE(platform::ResolveDataPathForWrite(root_, "..\\x.sav"));
}

} // namespace
