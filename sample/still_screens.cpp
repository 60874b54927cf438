// The four start-up still screens: the maker's logo, the brand splash, the
// title and the training reminder, each a 256x192 picture in a colour of its
// own with a lighter band across the middle, so a screenshot shows which.
#include <fstream>
#include <string>

#include "sample/generator.h"

namespace sample {
namespace {

namespace fs = std::filesystem;

bool WriteStill(const fs::path& path, uint8_t r, uint8_t g, uint8_t b)
{
    std::error_code ec;
    fs::create_directories(path.parent_path(), ec);
    std::ofstream out(path, std::ios::binary);
    constexpr int kWidth = 256, kHeight = 192;
    out << "P6\n" << kWidth << ' ' << kHeight << "\n255\n";
    for (int y = 0; y < kHeight; ++y) {
        const bool band = y >= kHeight * 3 / 8 && y < kHeight * 5 / 8;
        for (int x = 0; x < kWidth; ++x) {
            const uint8_t px[3] = {band ? uint8_t(255) : r, band ? uint8_t(255) : g, band ? uint8_t(255) : b};
            out.write(reinterpret_cast<const char*>(px), 3);
        }
    }
    return bool(out);
}

bool WriteStillScreens(const Context& ctx)
{
    const fs::path g = ctx.out / "graphics" / "bitmaps";
    return WriteStill(g / "VQNLOGO.rim", 200, 40, 40) && WriteStill(g / "Orbix splash screen.rim", 40, 160, 40) &&
           WriteStill(g / "Title.rim", 40, 60, 200) && WriteStill(g / "please train.rim", 200, 160, 20);
}

const StepRegistration kStillScreens(33, "still screens", WriteStillScreens);

} // namespace
} // namespace sample
