// Whole frames checked against small reference pictures. The software
// rasteriser rounds edges and blends its own way from one Mesa release to
// the next, so a frame is first shrunk to cells (the mean of each block of
// pixels) and compared cell by cell with a tolerance, and a few cells may
// differ. The shrunk frame is always written beside the build
// ("<build>/ui_screens/<name>.ppm") for review; with TREVOK_UPDATE_GOLDENS
// set, it becomes the reference under tests/fixtures/ui/golden/.
#pragma once

#include <gtest/gtest.h>

#include "../effects/review_screens.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>
#include <string>
#include <system_error>
#include <vector>

namespace uitest {

// The screen as it is now, kept whole as "<build>/ui_screens/<name>.bmp"
// for a person to look at; nothing when the build folder is not known.
inline void KeepFrame(const std::string& name)
{
    if (const char* build = std::getenv("TREVOK_BUILD_DIR")) {
        const std::filesystem::path review = std::filesystem::path(build) / "ui_screens";
        std::error_code ec;
        std::filesystem::create_directories(review, ec);
        effecttest::KeepForReview(review, name);
    }
}

// Rows of 0xRRGGBB cells, top row first.
struct SmallFrame {
    int width = 0, height = 0;
    std::vector<uint32_t> cells;
    uint32_t At(int x, int y) const { return cells[size_t(y) * size_t(width) + size_t(x)]; }
};

// The mean colour of each `block` x `block` square of the area (x0, y0,
// width, height) of a picture read through `pixel`.
inline SmallFrame Shrink(const std::function<uint32_t(int, int)>& pixel, int x0, int y0, int width, int height,
                         int block)
{
    SmallFrame out;
    if (block <= 0 || width < block || height < block)
        return out;
    out.width = width / block;
    out.height = height / block;
    for (int cy = 0; cy < out.height; ++cy)
        for (int cx = 0; cx < out.width; ++cx) {
            uint32_t sum[3] = {};
            for (int y = 0; y < block; ++y)
                for (int x = 0; x < block; ++x) {
                    const uint32_t p = pixel(x0 + cx * block + x, y0 + cy * block + y);
                    sum[0] += (p >> 16) & 0xFF;
                    sum[1] += (p >> 8) & 0xFF;
                    sum[2] += p & 0xFF;
                }
            const uint32_t n = uint32_t(block * block);
            out.cells.push_back((sum[0] + n / 2) / n << 16 | (sum[1] + n / 2) / n << 8 | (sum[2] + n / 2) / n);
        }
    return out;
}

// Binary PPM (P6, maximum 255).
inline bool WritePpm(const std::filesystem::path& path, const SmallFrame& frame)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << "P6\n" << frame.width << ' ' << frame.height << "\n255\n";
    for (uint32_t c : frame.cells) {
        const char rgb[3] = {char((c >> 16) & 0xFF), char((c >> 8) & 0xFF), char(c & 0xFF)};
        out.write(rgb, 3);
    }
    return bool(out);
}

inline std::optional<SmallFrame> ReadPpm(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::string magic;
    SmallFrame frame;
    int max = 0;
    if (!(in >> magic >> frame.width >> frame.height >> max) || magic != "P6" || max != 255 || frame.width <= 0 ||
        frame.height <= 0 || frame.width > 4096 || frame.height > 4096)
        return std::nullopt;
    in.get();
    for (int i = 0; i < frame.width * frame.height; ++i) {
        unsigned char rgb[3];
        if (!in.read(reinterpret_cast<char*>(rgb), 3))
            return std::nullopt;
        frame.cells.push_back(uint32_t(rgb[0]) << 16 | uint32_t(rgb[1]) << 8 | rgb[2]);
    }
    return frame;
}

inline int ChannelDifference(uint32_t a, uint32_t b)
{
    int worst = 0;
    for (int shift : {16, 8, 0})
        worst = std::max(worst, std::abs(int((a >> shift) & 0xFF) - int((b >> shift) & 0xFF)));
    return worst;
}

// How far two frames of one size are apart: the cells whose worst channel
// differs by more than `tolerance`, and the first of them.
struct FrameDifference {
    int cells = 0;
    int firstX = -1, firstY = -1;
    uint32_t expected = 0, actual = 0;
};
inline FrameDifference Compare(const SmallFrame& expected, const SmallFrame& actual, int tolerance)
{
    FrameDifference d;
    for (int y = 0; y < expected.height; ++y)
        for (int x = 0; x < expected.width; ++x)
            if (ChannelDifference(expected.At(x, y), actual.At(x, y)) > tolerance && d.cells++ == 0) {
                d.firstX = x;
                d.firstY = y;
                d.expected = expected.At(x, y);
                d.actual = actual.At(x, y);
            }
    return d;
}

// The frame against "tests/fixtures/ui/golden/<name>.ppm": at most
// `allowedCells` cells may differ by more than `tolerance` in a channel.
inline ::testing::AssertionResult MatchesGolden(const SmallFrame& actual, const std::string& name, int tolerance,
                                                int allowedCells)
{
    if (actual.cells.empty())
        return ::testing::AssertionFailure() << name << ": no frame was read";
    if (const char* build = std::getenv("TREVOK_BUILD_DIR")) {
        const std::filesystem::path review = std::filesystem::path(build) / "ui_screens";
        std::error_code ec;
        std::filesystem::create_directories(review, ec);
        WritePpm(review / (name + ".ppm"), actual);
    }
    const char* fixtures = std::getenv("TREVOK_FIXTURES");
    if (!fixtures)
        return ::testing::AssertionFailure() << "TREVOK_FIXTURES is not set";
    const std::filesystem::path golden = std::filesystem::path(fixtures) / "ui" / "golden" / (name + ".ppm");
    if (std::getenv("TREVOK_UPDATE_GOLDENS")) {
        std::error_code ec;
        std::filesystem::create_directories(golden.parent_path(), ec);
        if (!WritePpm(golden, actual))
            return ::testing::AssertionFailure() << "cannot write " << golden;
        return ::testing::AssertionSuccess() << "wrote " << golden;
    }
    const std::optional<SmallFrame> expected = ReadPpm(golden);
    if (!expected)
        return ::testing::AssertionFailure() << "no reference picture " << golden
                                             << " (run with TREVOK_UPDATE_GOLDENS=1 to make it)";
    if (expected->width != actual.width || expected->height != actual.height)
        return ::testing::AssertionFailure() << name << ": the frame is " << actual.width << " x " << actual.height
                                             << " cells, the reference " << expected->width << " x "
                                             << expected->height;
    const FrameDifference d = Compare(*expected, actual, tolerance);
    if (d.cells > allowedCells) {
        char colours[64];
        std::snprintf(colours, sizeof colours, "%06X, the frame %06X", unsigned(d.expected), unsigned(d.actual));
        return ::testing::AssertionFailure() << name << ": " << d.cells << " cells differ (at most " << allowedCells
                                             << " may); the first at cell (" << d.firstX << ", " << d.firstY
                                             << "): the reference " << colours;
    }
    return ::testing::AssertionSuccess();
}

} // namespace uitest
