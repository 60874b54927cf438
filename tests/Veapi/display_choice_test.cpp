// The device code's choices, checked apart from any device.
#include <gtest/gtest.h>

#include "Veapi/ve3d.h"

namespace {

gfx::FormatDesc Z(uint32_t bits, uint32_t stencil)
{
    gfx::FormatDesc f;
    f.flags = gfx::kFmtZBuffer | (stencil ? gfx::kFmtStencil : 0u);
    f.bits = bits;
    f.stencilBits = stencil;
    return f;
}

TEST(DisplayChoice, DisplayDevice)
{
    const std::vector<DisplayDeviceRecord> devices = {
        {true, "desktop", "primary", false, true, 8 << 20},
        {false, "card a", "a", true, false, 16 << 20},
        {false, "card b", "b", true, false, 32 << 20},
        {false, "card c", "c", true, false, 32 << 20},
    };
    struct Case {
        const char* selection;
        bool windowed;
        int expected;
    };
    const Case cases[] = {
        {"DEFAULT", false, 2},   // most memory among 3-D devices; ties keep the earlier
        {"DEFAULT", true, -1},   // a window always uses the primary driver
        {"a", false, 1},         // by driver name
        {"a", true, 1},
        {"A", false, -1},        // names compare with case
        {"missing", false, -1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ChooseDisplayDevice(devices, c.selection, c.windowed), c.expected) << c.selection << c.windowed;
    const std::vector<DisplayDeviceRecord> flat = {{true, "desktop", "primary", false, true, 8 << 20}};
    EXPECT_EQ(ChooseDisplayDevice(flat, "DEFAULT", false), -1);
}

TEST(DisplayChoice, ZFormatPrefersStencilThenDepth)
{
    const std::vector<gfx::FormatDesc> withStencil = {Z(16, 0), Z(24, 0), Z(32, 0), Z(32, 8)};
    const std::vector<gfx::FormatDesc> plain = {Z(16, 0), Z(24, 0), Z(32, 0)};
    const std::vector<gfx::FormatDesc> twoStencils = {Z(16, 1), Z(32, 8), Z(32, 8)};
    struct Case {
        const std::vector<gfx::FormatDesc>* formats;
        int limit;
        int expected;
    };
    const Case cases[] = {
        {&withStencil, 32, 3}, {&withStencil, 24, 1},  // no stencil format within 24: deepest of all
        {&withStencil, 16, 0}, {&withStencil, 8, -1},
        {&plain, 32, 2},       {&plain, 31, 1},
        {&twoStencils, 32, 2}, // equal depths: the later one
        {&twoStencils, 24, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ChooseZFormat(*c.formats, c.limit), c.expected) << c.limit;
}

TEST(DisplayChoice, TextureFormatOrderAndKinds)
{
    const gfx::FormatDesc all[] = {gfx::Argb4444(), gfx::Argb1555(), gfx::Rgb565(), gfx::Argb8888(),
                                   gfx::Dxt(gfx::kDxt1), gfx::Dxt(gfx::kDxt3), gfx::Palette8()};
    struct Case {
        std::vector<gfx::FormatDesc> formats;
        bool prefer32;
        gfx::FormatDesc expected;
    };
    const Case cases[] = {
        {{all, all + 7}, false, gfx::Dxt(gfx::kDxt3)},
        {{all, all + 7}, true, gfx::Argb8888()},
        {{gfx::Rgb565(), gfx::Argb1555(), gfx::Argb4444()}, false, gfx::Argb4444()},
        {{gfx::Rgb565(), gfx::Argb1555(), gfx::Dxt(gfx::kDxt1)}, false, gfx::Dxt(gfx::kDxt1)},
        {{gfx::Rgb565(), gfx::Argb1555()}, true, gfx::Argb1555()},  // no 32-bit format to prefer
        {{gfx::Rgb565(), gfx::Palette8()}, false, gfx::Rgb565()},
        {{gfx::Palette8()}, false, gfx::Palette8()},
    };
    for (const Case& c : cases) {
        const TextureFormatChoice choice = ChooseTextureFormatsFrom(c.formats, c.prefer32);
        ASSERT_TRUE(choice.found);
        EXPECT_EQ(choice.defaultFormat, c.expected) << c.expected.bits << " " << c.expected.fourCC;
    }
    EXPECT_FALSE(ChooseTextureFormatsFrom({gfx::Argb8888()}, false).found);

    const TextureFormatChoice full = ChooseTextureFormatsFrom({all, all + 7}, false);
    EXPECT_TRUE(full.has32Bit);
    EXPECT_TRUE(full.hasDxt);
    const std::vector<std::pair<uint32_t, gfx::FormatDesc>> kinds = {
        {4, gfx::Argb4444()}, {1, gfx::Dxt(gfx::kDxt1)}, {1, gfx::Argb1555()}, {0, gfx::Rgb565()}, {256, gfx::Palette8()}};
    EXPECT_EQ(full.byKind, kinds);
    // 8-bit alpha has a home besides the compressed default; none is needed
    // when 32-bit is the default, and none exists without a 32-bit format.
    EXPECT_EQ(full.fullAlpha, gfx::Argb8888());
    EXPECT_FALSE(ChooseTextureFormatsFrom({all, all + 7}, true).fullAlpha);
    EXPECT_FALSE(ChooseTextureFormatsFrom({gfx::Rgb565(), gfx::Argb4444(), gfx::Dxt(gfx::kDxt3)}, false).fullAlpha);
}

TEST(DisplayChoice, TextureBudgetInSixtyFourBits)
{
    struct Case {
        uint64_t freeMemory, charge;
        uint32_t bits;
        uint64_t budget;
        uint32_t reduction;
    };
    const Case cases[] = {
        {1 << 20, 0, 16, 4096, 4},          // 1 MiB / 48 x 8 / 16 x 3/4 = 8191
        {64 << 20, 0, 16, 0x40000, 1},      // 524286 fits one quartering
        {256 << 20, 0, 4, 0x100000, 0},
        {0, 0, 16, 0, 11},                  // nothing free: quartered down to nothing
        {6ull << 30, 12032, 16, 0x100000, 0},  // gigabytes over the smallest divisor: no wrap
        {3ull << 30, 12033, 16, 3ull << 30, 3},  // heavy resident charge: free memory, level 3
    };
    for (const Case& c : cases) {
        const TextureDetail d = ChooseTextureDetailFrom(c.freeMemory, c.charge, c.bits);
        EXPECT_EQ(d.budget, c.budget) << c.freeMemory;
        EXPECT_EQ(d.reduction, c.reduction) << c.freeMemory;
    }
}

TEST(DisplayChoice, DevicesWithoutSpecularAndClampedSizes)
{
    struct Case {
        uint32_t vendor, device;
        bool disabled;
    };
    const Case cases[] = {{0x10D9, 5, true}, {0x1142, 5, true}, {0x121A, 5, true},
                          {0x121A, 6, false}, {0x10DE, 5, false}, {0, 0, false}};
    for (const Case& c : cases) {
        gfx::DeviceIdentifier id;
        id.vendorId = c.vendor;
        id.deviceId = c.device;
        EXPECT_EQ(SpecularDisabledFor(id), c.disabled) << std::hex << c.vendor;
    }
    EXPECT_EQ(ClampTo32(6ull << 30), 0xFFFFFFFFu);
    EXPECT_EQ(ClampTo32(12345), 12345u);
}

TEST(DisplayChoice, ColourPackingFromMasks)
{
    struct Case {
        uint32_t mask;
        ChannelPacking expected;
    };
    const Case cases[] = {{0xF800, {3, 11}}, {0x07E0, {2, 5}}, {0x001F, {3, 0}}, {0xFF0000, {0, 16}}, {0, {8, 0}}};
    for (const Case& c : cases)
        EXPECT_EQ(PackingFromMask(c.mask), c.expected) << std::hex << c.mask;
}

} // namespace
