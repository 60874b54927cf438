// The main menu's background, "bitmaps\Main Menu 01.rim": a dark blue field
// with a lighter ring where the three buttons sit (centred at a quarter of
// the width, half the height), so a screenshot shows the menu is up. And the
// menu model, "User Interface/Main Menu.RIF": the three buttons as sectors
// of that ring, each a named part.
#include "sample/generator.h"
#include "sample/shape_helpers.h"

#include "chunk/chunk_file.h"

#include <cmath>
#include <cstdio>
#include <fstream>
#include <numbers>

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

// A ring sector in the model's plane, millimetres about the ring's centre:
// the front end stretches y by 4/3, so this circle lands on the screen's
// ring. Angles in 4096 steps a turn, y down as on the screen. Both windings,
// so it shows whichever way the camera faces it.
trevok::ShapeData Sector(float from, float to)
{
    constexpr int kSteps = 8;
    constexpr float kInner = 186, kOuter = 234, kMargin = 24; // inside the hit ring
    trevok::ShapeData d;
    for (int k = 0; k <= kSteps; ++k) {
        const float steps = from + kMargin + (to - from - 2 * kMargin) * float(k) / kSteps;
        const float a = steps * 2 * std::numbers::pi_v<float> / 4096;
        for (const float r : {kInner, kOuter})
            d.points_.push_back({int32_t(std::lround(r * std::cos(a))), int32_t(std::lround(r * std::sin(a))), 0});
    }
    d.uvSets_ = {Quad()};
    d.textureNames_ = {"plates.bmp"};
    for (int32_t k = 0; k < kSteps; ++k) {
        const int32_t i0 = 2 * k, o0 = i0 + 1, i1 = i0 + 2, o1 = i0 + 3;
        d.polygons_.push_back(Polygon(20, {i0, o0, o1, i1}, 0, 0));
        d.polygons_.push_back(Polygon(20, {i1, o1, o0, i0}, 0, 0));
    }
    Finish(d);
    return d;
}

bool WriteMenuModel(const Context& ctx)
{
    struct Part {
        const char* name;
        float from, to;
    };
    static constexpr Part kParts[] = {
        {"Scroll Up", 2621.44f, 3522.56f}, {"Scroll Down", 573.44f, 1474.56f}, {"Go Up", 1597.44f, 2498.56f}};
    auto file = NewModelFile("Main Menu.RIF");
    for (const Part& p : kParts)
        AddPart(file.get(), p.name, Sector(p.from, p.to), 0, 0, 0);
    std::error_code ec;
    fs::create_directories(ctx.out / "rifs" / "user interface", ec);
    return SaveModelFile(ctx, "user interface/Main Menu.RIF", *file);
}

const StepRegistration kMenuArt(34, "menu art", WriteMenuBackground);
const StepRegistration kMenuModel(34, "menu model", WriteMenuModel);

} // namespace
} // namespace sample
