// The named-texture table: look-up, use counts, recency, loading in one pass
// from the graphics folder only, and freeing under memory pressure.
#include <fstream>

#include "Veapi/screenshot.h"
#include "app/directories.h"
#include "display_fixture.h"
#include "texture_support.h"

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

TEST_F(TextureManagerTest, TableSizeStandsOnlyUntilTheImageLoads)
{
    TextureEntry* t = TextureManager::Find("ff0000.bmp");
    t->SetSize(64, 32);
    EXPECT_EQ(t->Width(), 64u);
    EXPECT_EQ(t->Height(), 32u);
    TextureManager::LoadPending();
    ASSERT_NE(t->Surface(), nullptr);
    EXPECT_EQ(t->Width(), 8u);  // the image's own
    t->SetSize(64, 32);
    EXPECT_EQ(t->Width(), 8u) << "a loaded surface keeps its size";
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
    kept->RaiseKeep();
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
    keep->RaiseKeep();
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

namespace {

class ImageFileTextures : public displaytest::DisplayTest {};

// An 8 x 8 picture, left half red and right half blue, as a 24-bit BMP.
void WriteHalvesBmp(const std::filesystem::path& file)
{
    std::vector<uint8_t> pixels(8 * 8 * 4);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
            uint8_t* p = &pixels[size_t(y * 32 + x * 4)];
            p[0] = x < 4 ? 0 : 255;  // blue
            p[1] = 0;
            p[2] = x < 4 ? 255 : 0;  // red
        }
    const ColourPacking unused{};
    const auto bmp = EncodeScreenBmp(pixels.data(), 32, 8, 8, 32, unused);
    std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(bmp.data()), std::streamsize(bmp.size()));
}

TEST_F(ImageFileTextures, LoadDrawLoseAndRestore)
{
    TempDir dir;
    std::filesystem::create_directories(dir.Path() / "graphics" / "bitmaps");
    WriteHalvesBmp(dir.Path() / "graphics" / "bitmaps" / "halves.bmp");
    TextureManager::SetGraphicsDirectory(dir.Path() / "graphics");
    TextureManager::SetLoader(TextureManager::ImageFileLoader());
    Start(640, 480, 32);
    TextureEntry* t = TextureManager::Find("Bitmaps\\Halves.BMP");
    TextureManager::LoadPending();
    ASSERT_NE(t->Surface(), nullptr);
    EXPECT_EQ(t->Width(), 8u);
    EXPECT_TRUE(t->HasImage());

    auto draw = [&] {
        struct V {
            float x, y, z, rhw;
            uint32_t diffuse, specular;
            float u, v;
        };
        const V quad[] = {{0, 0, 0.5f, 1, 0xFFFFFFFF, 0, 0, 0}, {64, 0, 0.5f, 1, 0xFFFFFFFF, 0, 1, 0},
                          {64, 64, 0.5f, 1, 0xFFFFFFFF, 0, 1, 1}, {0, 64, 0.5f, 1, 0xFFFFFFFF, 0, 0, 1}};
        ASSERT_TRUE(Display::BeginScene());
        Display::Clear();
        ASSERT_TRUE(Display::SetStageTexture(t, 0));
        ASSERT_TRUE(Display::Device()->DrawPrimitive(gfx::Primitive::TriangleFan, gfx::kFvfTLVertex, quad, 4));
        Display::EndFrame(nullptr, nullptr);
    };
    draw();
    // Texels are filtered, so look well inside each half.
    EXPECT_EQ(ScreenPixel(8, 32) & 0xF8F8F8, 0xF80000u);
    EXPECT_EQ(ScreenPixel(56, 32) & 0xF8F8F8, 0x0000F8u);

    Display::ReleaseDeviceObjects();
    gfx::SimulateSurfaceLoss();
    Display::RestoreDeviceObjects();
    ASSERT_NE(t->Surface(), nullptr);
    draw();
    EXPECT_EQ(ScreenPixel(8, 32) & 0xF8F8F8, 0xF80000u);
    EXPECT_EQ(ScreenPixel(56, 32) & 0xF8F8F8, 0x0000F8u);
}

} // namespace

namespace {

TEST_F(ImageFileTextures, DefaultsToTheGraphicsDirectoryAndTheImageReaders)
{
    TempDir dir;
    std::filesystem::create_directories(dir.Path() / "Graphics" / "bitmaps");
    WriteHalvesBmp(dir.Path() / "Graphics" / "bitmaps" / "halves.bmp");
    app::DataDirectories& dirs = app::DataDirectories::Global();
    dirs.Clear();
    dirs.SetStartDirectory(dir.Path());
    dirs.SetPath(app::kGraphicsDirectory, "graphics");
    TextureManager::SetGraphicsDirectory({});
    Start(640, 480, 32);
    TextureEntry* t = TextureManager::Find("bitmaps\\halves.bmp");
    TextureManager::LoadPending();
    dirs.Clear();
    dirs.SetStartDirectory({});
    ASSERT_NE(t->Surface(), nullptr);
    EXPECT_EQ(t->Width(), 8u);
}

} // namespace

namespace {

TEST(TextureManagerUse, BindsEntriesOfTheTableOnly)
{
    TextureManager::Clear();
    TextureEntry* older = TextureManager::Find("older.bmp");
    TextureManager::Find("newer.bmp");
    TextureEntry stray;  // never entered in the table
    stray.Use();
    stray.Use();

    TextureManager::Use(older);
    EXPECT_EQ(older->UseCount(), 2);
    EXPECT_EQ(TextureManager::InRecentOrder().front(), older);  // moved to the front
    TextureManager::Use(&stray);
    EXPECT_EQ(stray.UseCount(), 0);

    const struct {
        int32_t start, after;
    } unuses[] = {{2, 1}, {1, 0}, {0, 0}};
    for (const auto& u : unuses) {
        ASSERT_EQ(older->UseCount(), u.start);
        TextureManager::Unuse(older);
        EXPECT_EQ(older->UseCount(), u.after);
    }
    TextureManager::Clear();
}

// What the loader reports of a texture's alpha is kept on its entry: the
// manager loads with a colour key, so a keyed texture is translucent.
TEST_F(ImageFileTextures, AlphaOfTheLoadedFormatMarksTheTextureTranslucent)
{
    struct Case {
        const char* fixture;
        bool translucent;
    };
    const Case cases[] = {
        {"bmp_24bit_3x2.bmp", true},
        {"bmp_8bit_4x2.bmp", true},
    };
    TempDir dir;
    std::filesystem::create_directories(dir.Path() / "graphics");
    for (const Case& c : cases)
        std::filesystem::copy_file(texture_test::Fixture(c.fixture), dir.Path() / "graphics" / c.fixture);
    TextureManager::SetGraphicsDirectory(dir.Path() / "graphics");
    TextureManager::SetLoader(TextureManager::ImageFileLoader());
    Start(640, 480, 32);
    std::vector<TextureEntry*> entries;
    for (const Case& c : cases)
        entries.push_back(TextureManager::Find(c.fixture));
    TextureManager::LoadPending();
    for (size_t i = 0; i < entries.size(); ++i) {
        ASSERT_NE(entries[i]->Surface(), nullptr) << cases[i].fixture;
        EXPECT_EQ(entries[i]->Options() != 0, cases[i].translucent) << cases[i].fixture;
    }
}

} // namespace
