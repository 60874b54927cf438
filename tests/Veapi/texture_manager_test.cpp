// The named-texture table: look-up, use counts, recency, loading in one pass
// from the graphics folder only, and freeing under memory pressure.
#include <fstream>

#include "display_fixture.h"

namespace {

using displaytest::ColourLoader;
using displaytest::DisplayTest;
using displaytest::TempDir;

class TextureManagerTest : public DisplayTest {
protected:
    void SetUp() override
    {
        DisplayTest::SetUp();
        dir_ = std::make_unique<TempDir>();
        std::filesystem::create_directories(dir_->Path() / "graphics" / "Bitmaps");
        for (const char* name : {"ff0000.bmp", "00ff00.bmp", "0000ff.bmp", "Bitmaps/ffffff.bmp"})
            std::ofstream(dir_->Path() / "graphics" / name) << "x";
        std::ofstream(dir_->Path() / "123456.bmp") << "outside the graphics folder";
        TextureManager::SetGraphicsDirectory(dir_->Path() / "graphics");
        TextureManager::SetLoader(loader_.Loader());
        Start();
    }
    void TearDown() override
    {
        DisplayTest::TearDown();
        dir_.reset();
    }
    std::unique_ptr<TempDir> dir_;
    ColourLoader loader_;
};

TEST_F(TextureManagerTest, NamesDifferingInCaseAreOneEntry)
{
    const size_t before = TextureManager::Count();
    TextureEntry* a = TextureManager::Find("Bitmaps\\FFFFFF.bmp", 7);
    TextureEntry* b = TextureManager::Find("bitmaps\\ffffff.BMP");
    EXPECT_EQ(a, b);
    EXPECT_EQ(a->UseCount(), 2);
    EXPECT_EQ(a->Tag(), 7u);
    EXPECT_EQ(a->Name(), "Bitmaps\\FFFFFF.bmp");
    EXPECT_EQ(TextureManager::Count(), before + 1);
    EXPECT_EQ(TextureManager::Bucket("AB"), TextureManager::Bucket("ab"));
    EXPECT_EQ(TextureManager::Bucket("ab"), uint32_t('a' + 'b') & 63u);
}

TEST_F(TextureManagerTest, RecentRequestsComeFirst)
{
    TextureEntry* a = TextureManager::Find("ff0000.bmp");
    TextureEntry* b = TextureManager::Find("00ff00.bmp");
    EXPECT_EQ(TextureManager::InRecentOrder()[0], b);
    TextureManager::Find("FF0000.bmp");
    EXPECT_EQ(TextureManager::InRecentOrder()[0], a);
    EXPECT_EQ(TextureManager::InRecentOrder()[1], b);
}

TEST_F(TextureManagerTest, LoadPendingLoadsUsedEntriesFromTheGraphicsFolder)
{
    TextureEntry* used = TextureManager::Find("ff0000.bmp");
    TextureEntry* sub = TextureManager::Find("BITMAPS\\FFFFFF.BMP");
    TextureEntry* unused = TextureManager::Find("00ff00.bmp");
    unused->Unuse();
    TextureEntry* missing = TextureManager::Find("abcdef.bmp");
    std::vector<float> progress;
    TextureManager::LoadPending([&](float f) { progress.push_back(f); });
    ASSERT_NE(used->Surface(), nullptr);
    ASSERT_NE(sub->Surface(), nullptr);
    EXPECT_EQ(unused->Surface(), nullptr);
    EXPECT_EQ(missing->Surface(), nullptr);
    EXPECT_EQ(used->Width(), 8u);
    EXPECT_TRUE(used->Resident());
    EXPECT_EQ(TextureManager::ResidentCharge(), 2 * 256u);
    EXPECT_EQ(loader_.loads, 2);
    // Every entry reports its place, the null texture of the display included.
    ASSERT_EQ(progress.size(), TextureManager::Count());
    EXPECT_EQ(progress.front(), 0.0f);
    EXPECT_EQ(TextureManager::Progress(), 1.0f);
    // A second pass has nothing left to load.
    TextureManager::LoadPending();
    EXPECT_EQ(loader_.loads, 2);
}

TEST_F(TextureManagerTest, NamesFromDataStayInsideTheGraphicsFolder)
{
    const std::string outside = (dir_->Path() / "123456.bmp").string();
    const char* names[] = {"..\\123456.bmp", "../123456.bmp", "bitmaps\\..\\..\\123456.bmp", outside.c_str()};
    for (const char* name : names)
        TextureManager::Find(name);
    TextureManager::LoadPending();
    EXPECT_EQ(loader_.loads, 0);
    for (const char* name : names)
        EXPECT_EQ(TextureManager::Find(name)->Surface(), nullptr) << name;
}

TEST_F(TextureManagerTest, ReleaseUnusedFreesOneSurfaceLeastRecentFirst)
{
    TextureEntry* oldest = TextureManager::Find("ff0000.bmp");
    TextureEntry* kept = TextureManager::Find("00ff00.bmp");
    TextureEntry* newest = TextureManager::Find("0000ff.bmp");
    TextureManager::LoadPending();
    kept->SetKeep(true);
    oldest->Unuse();
    kept->Unuse();
    newest->Unuse();
    const size_t count = TextureManager::Count();

    ASSERT_TRUE(TextureManager::ReleaseUnused());
    EXPECT_EQ(TextureManager::Count(), count - 1);  // the oldest is gone with its entry
    EXPECT_NE(newest->Surface(), nullptr);
    EXPECT_NE(kept->Surface(), nullptr);

    ASSERT_TRUE(TextureManager::ReleaseUnused());
    EXPECT_EQ(kept->Surface(), nullptr);  // kept: only the surface goes
    EXPECT_FALSE(kept->HasImage());
    EXPECT_EQ(TextureManager::Count(), count - 1);
    EXPECT_NE(newest->Surface(), nullptr);

    ASSERT_TRUE(TextureManager::ReleaseUnused());
    EXPECT_FALSE(TextureManager::ReleaseUnused());
    EXPECT_EQ(TextureManager::ResidentCharge(), 0u);
}

TEST_F(TextureManagerTest, PurgeRemovesOnlyUnusedEntriesWithoutSurface)
{
    TextureEntry* loaded = TextureManager::Find("ff0000.bmp");
    TextureManager::LoadPending();
    loaded->Unuse();
    TextureManager::Find("never-loaded.bmp")->Unuse();
    TextureEntry* keep = TextureManager::Find("keep.bmp");
    keep->SetKeep(true);
    keep->Unuse();
    const size_t count = TextureManager::Count();
    TextureManager::PurgeUnused();
    EXPECT_EQ(TextureManager::Count(), count - 1);
    EXPECT_NE(loaded->Surface(), nullptr);
}

TEST_F(TextureManagerTest, ReleaseAllKeepsEntriesAndImages)
{
    TextureEntry* t = TextureManager::Find("ff0000.bmp");
    TextureManager::LoadPending();
    const size_t count = TextureManager::Count();
    TextureManager::ReleaseAll();
    EXPECT_EQ(t->Surface(), nullptr);
    EXPECT_EQ(t->Width(), 0u);
    EXPECT_TRUE(t->HasImage());
    EXPECT_FALSE(t->Resident());
    EXPECT_EQ(TextureManager::ResidentCharge(), 0u);
    EXPECT_EQ(TextureManager::Count(), count);
    TextureManager::RestoreAll();
    ASSERT_NE(t->Surface(), nullptr);
    EXPECT_EQ(loader_.rebuilds, 1);
    EXPECT_EQ(TextureManager::ResidentCharge(), 256u);
}

TEST_F(TextureManagerTest, LoadFlagsFollowSharedMemoryAndThePowerOfTwoOption)
{
    struct Case {
        bool shared, powerOfTwo, expected;
    };
    const Case cases[] = {{true, true, true}, {true, false, false}, {false, true, false}};
    for (const Case& c : cases) {
        if (c.shared)
            Display::Caps().flags |= kCapsSharedMemory;
        else
            Display::Caps().flags &= ~kCapsSharedMemory;
        Display::Options().roundToPowerOfTwo = c.powerOfTwo;
        TextureManager::UpdateLoadFlags();
        EXPECT_EQ((TextureManager::LoadOptions() & TextureManager::kRoundToPowerOfTwo) != 0, c.expected);
    }
}

} // namespace
