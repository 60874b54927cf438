// The main menu's background, "bitmaps\Main Menu 01.rim": a dark blue field
// with a lighter ring where the three buttons sit (centred at a quarter of
// the width, half the height), so a screenshot shows the menu is up.
#include "sample/generator.h"

#include <cmath>
#include <fstream>

namespace sample {
namespace {

namespace fs = std::filesystem;

bool WriteMenuBackground(const Context& ctx)
{
    const fs::path path = ctx.out / "graphics" / "bitmaps" / "Main Menu 01.rim";
    std::error_code ec;
    fs::create_directories(path.parent_path(), ec);
    std::ofstream out(path, std::ios::binary);
    constexpr int kWidth = 256, kHeight = 192;
    out << "P6\n" << kWidth << ' ' << kHeight << "\n255\n";
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            const float dx = float(x) / kWidth - 0.25f, dy = float(y) / kHeight - 0.5f;
            const float r = std::sqrt(dx * dx + 0.5625f * dy * dy);
            const bool ring = r > 0.18f && r < 0.24f;
            const uint8_t px[3] = {uint8_t(ring ? 60 : 10), uint8_t(ring ? 70 : 16), uint8_t(ring ? 140 : 48 + y / 4)};
            out.write(reinterpret_cast<const char*>(px), 3);
        }
    }
    return bool(out);
}

const StepRegistration kMenuArt(34, "menu art", WriteMenuBackground);

} // namespace
} // namespace sample
