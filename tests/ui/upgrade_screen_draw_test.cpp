// The upgrade screen on a real display. Without a projection handed in, the
// parts' hot spots are measured through the screen camera the parts are
// drawn with, so the running game's panel answers the mouse where it shows.
// The whole screen as the player sees it is checked by regions: each part's
// hot spot against the colour class its state asks for, with wide margins
// (the software rasteriser rounds edges its own way); the frame is also
// kept as a BMP for review.
#include "ui/upgrade_screen.h"

#include "Veapi/display_fixture.h"
#include "Veapi/render_queue.h"
#include "effects/effect_shapes.h"
#include "effects/frame_pass.h"
#include "fake_view.h"
#include "golden_frame.h"
#include "objects/inventory.h"
#include "objects/shape_cache.h"
#include "tests/objects/server_fixture.h"
#include "ui/mouse.h"
#include "Veapi/camera.h"
#include "ui/screen_camera.h"
#include "ui/status_window.h"
#include "Veapi/VertBuff.h"
#include "Veapi/ve_shape.h"

#include <algorithm>
#include <map>
#include <vector>

#include <cstdlib>
#include <filesystem>
#include <optional>

namespace ui_test {
namespace {

using displaytest::DisplayTest;

TEST_F(DisplayTest, HotSpotsAreMeasuredThroughTheScreenCamera)
{
    Start(640, 480, 32);
    FakeView view;
    const char* data = std::getenv("TREVOK_SAMPLE_DATA");
    ASSERT_NE(data, nullptr);
    const std::filesystem::path rifs = std::filesystem::path(data) / "rifs";
    ChunkFileCache::SetFolderSource([rifs] { return std::optional<std::filesystem::path>(rifs); });
    UpgradeScreen::SetProjection({});
    UpgradeScreen::Build();
    ChunkFileCache::SetFolderSource({});
    // The screen camera spans the screen with one unit each way; the parts
    // stand (0.5, 0.5) from the layout's origin, which the sample puts at
    // the middle of its 1 x 0.75 board (w1: 170-290 by 90-200 millimetres
    // from the board's corner).
    const struct {
        const char* part;
        float x0, y0, x1, y1; // layout metres
    } rows[] = {
        {"w1", -0.33f, -0.285f, -0.21f, -0.175f},
        {"exit", 0.4f, -0.355f, 0.48f, -0.315f},
        {"down button", 0.36f, 0.285f, 0.39f, 0.315f},
    };
    for (const auto& r : rows) {
        const UpgradeScreen::Part* found = nullptr;
        for (const auto& part : UpgradeScreen::Parts())
            if (part.name == r.part)
                found = &part;
        ASSERT_TRUE(found && found->hotSpot) << r.part;
        const UpgradeHotSpot::Rect& got = found->hotSpot->rect;
        EXPECT_NEAR(got.x0, (r.x0 + UpgradeScreen::kPlaceX) * 640, 1.0f) << r.part;
        EXPECT_NEAR(got.y0, (r.y0 + UpgradeScreen::kPlaceY) * 480, 1.0f) << r.part;
        EXPECT_NEAR(got.x1, (r.x1 + UpgradeScreen::kPlaceX) * 640, 1.0f) << r.part;
        EXPECT_NEAR(got.y1, (r.y1 + UpgradeScreen::kPlaceY) * 480, 1.0f) << r.part;
    }
    UpgradeScreen::Release();
    ShapeCache::FreeAll();
    ChunkFileCache::FreeAll();
}

// The recon view's scanner image is made with the interface at level load
// and goes with it at level stop, so the overlays have it during play and
// no level leaves it behind.
TEST_F(DisplayTest, TheScannerLivesFromTheInterfaceBuildToItsRelease)
{
    Start(320, 240, 32);
    const char* data = std::getenv("TREVOK_SAMPLE_DATA");
    ASSERT_NE(data, nullptr);
    TextureManager::SetGraphicsDirectory(std::filesystem::path(data) / "graphics");
    ASSERT_EQ(Hud::Scanner(), nullptr);
    UpgradeScreen::Build();
    EXPECT_NE(Hud::Scanner(), nullptr);
    UpgradeScreen::Release();
    EXPECT_EQ(Hud::Scanner(), nullptr);
    TextureManager::SetGraphicsDirectory({});
    ShapeCache::FreeAll();
    ChunkFileCache::FreeAll();
}

// The sheet the item models take their ammunition colours from is loaded
// with the interface and held until its release, so item models made as
// the rows scroll find it.
TEST_F(DisplayTest, TheAmmunitionColourSheetIsHeldFromTheInterfaceBuildToItsRelease)
{
    Start(320, 240, 32);
    const char* data = std::getenv("TREVOK_SAMPLE_DATA");
    ASSERT_NE(data, nullptr);
    TextureManager::SetGraphicsDirectory(std::filesystem::path(data) / "graphics");
    EXPECT_EQ(UpgradeScreen::AmmoColours(), nullptr);
    UpgradeScreen::Build();
    TextureEntry* sheet = UpgradeScreen::AmmoColours();
    ASSERT_NE(sheet, nullptr);
    EXPECT_NE(sheet->Surface(), nullptr) << "loaded from the sample's graphics";
    EXPECT_EQ(sheet->Width(), 96u);
    const int32_t held = sheet->UseCount();
    UpgradeScreen::Build(); // a second level's build holds it once
    EXPECT_EQ(UpgradeScreen::AmmoColours(), sheet);
    EXPECT_EQ(sheet->UseCount(), held);
    UpgradeScreen::Release();
    EXPECT_EQ(UpgradeScreen::AmmoColours(), nullptr);
    EXPECT_EQ(sheet->UseCount(), held - 1);
    TextureManager::SetGraphicsDirectory({});
    ShapeCache::FreeAll();
    ChunkFileCache::FreeAll();
}

// What a region of the frame shows.
enum class Look { kNothing, kNormal, kLit, kDisabled, kMarker, kCount };

const char* Name(Look look)
{
    static const char* const kNames[] = {"nothing", "normal", "lit", "disabled", "marker"};
    return look < Look::kCount ? kNames[int(look)] : "?";
}

// The interface light sets over untextured plates: normal is a bright
// green, lit red, disabled a darker green; the markers are white.
Look Classify(uint32_t rgb)
{
    const int r = int((rgb >> 16) & 0xFF), g = int((rgb >> 8) & 0xFF), b = int(rgb & 0xFF);
    if (r > 200 && g > 200 && b > 200)
        return Look::kMarker;
    if (r > 2 * g && r > 120)
        return Look::kLit;
    if (g > 2 * r && g > 2 * b && g > 40)
        return g > 170 ? Look::kNormal : Look::kDisabled;
    return Look::kNothing;
}

class UpgradeScreenDraw : public DisplayTest {
protected:
    static constexpr int kWidth = 320, kHeight = 240;

    void SetUp() override
    {
        DisplayTest::SetUp();
        Start(kWidth, kHeight, 32);
        const char* data = std::getenv("TREVOK_SAMPLE_DATA");
        ASSERT_NE(data, nullptr);
        const std::filesystem::path rifs = std::filesystem::path(data) / "rifs";
        ChunkFileCache::SetFolderSource([rifs] { return std::optional<std::filesystem::path>(rifs); });
        StatusWindow::Setup();
        UpgradeScreen::SetProjection({});
        UpgradeScreen::Build();
        ChunkFileCache::SetFolderSource({});
        UpgradeScreen::InstallHooks();
        script::Role& body = world_.NewRole("trevok");
        GiveBoxModel(body, {0});
        body.limit = 4;
        unit_ = world_.Make<Unit>(1, 1, body);
        // Four weapons, so the weapon row can page down; the first one shown
        // is one the role may not use.
        for (int32_t id = 1; id <= 4; ++id)
            ReplicaWorld::Carry(*unit_, ItemKind::kWeapon, 3, id).roleLimit = id == 4 ? 4 : 0;
        UpgradeScreen::Open(*unit_);
    }
    void TearDown() override
    {
        Effects::SetItemListsHook(nullptr);
        MouseMode::Set(0);
        UpgradeScreen::Release();
        StatusWindow::Release();
        RenderQueue::Clear();
        ShapeCache::FreeAll();
        ChunkFileCache::FreeAll();
        DisplayTest::TearDown();
    }

    // One frame as the main loop draws it while the screen is open: the
    // panel, then the effects' pass after the scene.
    void Frame(int64_t ms)
    {
        view_.now += ms;
        ASSERT_TRUE(Display::BeginScene());
        Display::ClearColour() = 0xFF000000;
        Display::Clear();
        UpgradeScreen::UpdateAndDraw();
        Display::EndFrame(nullptr, FramePassStandIn::Run);
    }

    // The class most pixels of the rectangle (shrunk by `inset`) show.
    Look RegionOf(const UpgradeHotSpot::Rect& r, float inset)
    {
        int counts[int(Look::kCount)] = {};
        for (int y = int(r.y0 + inset); y < int(r.y1 - inset); ++y)
            for (int x = int(r.x0 + inset); x < int(r.x1 - inset); ++x)
                if (x >= 0 && y >= 0 && x < kWidth && y < kHeight)
                    ++counts[int(Classify(ScreenPixel(x, y)))];
        int best = 0;
        for (int i = 1; i < int(Look::kCount); ++i)
            if (counts[i] > counts[best])
                best = i;
        return Look(best);
    }
    Look Region(const char* part)
    {
        for (const auto& p : UpgradeScreen::Parts())
            if (p.name == part && p.hotSpot)
                return RegionOf(p.hotSpot->rect, 1);
        ADD_FAILURE() << "no part " << part;
        return Look::kNothing;
    }

    FakeView view_;
    ReplicaWorld world_;
    Unit* unit_ = nullptr;
};

TEST_F(UpgradeScreenDraw, PartsAndMarkersByRegion)
{
    // The panel grows to full size within a second.
    for (int i = 0; i < 12; ++i)
        Frame(100);
    uitest::KeepFrame("upgrade_screen");
    const struct {
        const char* part;
        Look look;
    } rows[] = {
        {"weapon down", Look::kLit},      // more weapons below
        {"weapon up", Look::kDisabled},   // the row is at its start
        {"ammo up", Look::kDisabled},     // no stacks
        {"ammo down", Look::kDisabled},
        {"module down", Look::kDisabled}, // no modules
        {"a1", Look::kNormal},            // an empty slot is drawn plainly
        {"exit", Look::kNormal},
    };
    for (const auto& r : rows)
        EXPECT_STREQ(Name(Region(r.part)), Name(r.look)) << r.part;
    // Nothing beyond the board, which fills the screen's width.
    EXPECT_STREQ(Name(RegionOf({250, 0, 320, 20}, 0)), Name(Look::kNothing));
    // The cannot-use marker on w1's top right corner, 20 x 22 pixels at
    // (x1 - 23, y0 + 1), over the slot.
    const UpgradeHotSpot* w1 = UpgradeScreen::Slot(0, 0);
    ASSERT_NE(w1, nullptr);
    const UpgradeHotSpot::Rect marker{w1->rect.x1 - 23, w1->rect.y0 + 1, w1->rect.x1 - 3, w1->rect.y0 + 23};
    EXPECT_STREQ(Name(RegionOf(marker, 3)), Name(Look::kMarker));
    EXPECT_STREQ(Name(RegionOf({w1->rect.x0, w1->rect.y0 + 12, w1->rect.x1 - 24, w1->rect.y1}, 2)),
                 Name(Look::kNormal))
        << "the rest of w1";
}

// The slot items as the player sees them, over box models: the item the
// role may not use (the first weapon shown) is drawn in the darker
// disabled light, the others in the normal one; picking the disabled one
// shows it see-through, blended with the panel behind it.
TEST_F(UpgradeScreenDraw, SlotItemsShowTheDisabledLookAndThePickedItemSeeThrough)
{
    // The engine's default materials, as the game's device has them.
    DefaultMaterial::CreateAll();
    script::Role& look = world_.NewRole("cell box", 10);
    PrimitiveDesc box;
    box.kind = 6;
    look.shape.shape = std::shared_ptr<void>(VeShape::FromPrimitive(box), [](void* p) {
        static_cast<VeShape*>(p)->Release();
    });
    look.shape.hasBox = true;
    look.shape.maximum = {1, 1, 1};
    look.inventory.emplace();
    look.inventory->shape = look.shape;
    for (int32_t id = 1; id <= 4; ++id)
        unit_->GetInventory()->FindById(id)->inventoryLook = &look.inventory->shape;
    // The green of each shown weapon, by item id: the median over points
    // of its box, leaving out the white markers drawn over it. The screen
    // camera spans the screen with one unit each way, square to the view.
    const auto greens = [&] {
        std::map<int32_t, int> out;
        for (const auto& item : UpgradeScreen::ShownItems()) {
            if (item.row != 0)
                continue;
            std::vector<int> seen;
            for (float u = 0.2f; u < 0.9f; u += 0.15f)
                for (float v = 0.2f; v < 0.9f; v += 0.15f) {
                    const Vec3 p = item.object->placement_.ScaledMatrix().TransformPoint({u, v, 0.5f});
                    const int x = int(p.x * kWidth), y = int(p.y * kHeight);
                    if (x < 0 || y < 0 || x >= kWidth || y >= kHeight || Classify(ScreenPixel(x, y)) == Look::kMarker)
                        continue;
                    seen.push_back(int((ScreenPixel(x, y) >> 8) & 0xFF));
                }
            if (!seen.empty()) {
                std::nth_element(seen.begin(), seen.begin() + ptrdiff_t(seen.size() / 2), seen.end());
                out[item.itemId] = seen[seen.size() / 2];
            }
        }
        return out;
    };
    for (int i = 0; i < 12; ++i)
        Frame(100);
    std::map<int32_t, int> plain = greens();
    ASSERT_EQ(plain.size(), 3u);
    EXPECT_LT(plain[4], plain[3] - 60) << "disabled against normal";
    EXPECT_NEAR(plain[3], plain[2], 8);
    UpgradeScreen::SetPicked(4);
    Frame(100);
    uitest::KeepFrame("upgrade_screen_picked");
    std::map<int32_t, int> picked = greens();
    ASSERT_EQ(picked.size(), 3u);
    EXPECT_GT(std::abs(picked[4] - plain[4]), 20) << "see-through: no longer its own solid colour";
    EXPECT_NEAR(picked[3], plain[3], 8);
    RenderQueue::Clear();
    DefaultMaterial::DestroyAll();
}

} // namespace
} // namespace ui_test
