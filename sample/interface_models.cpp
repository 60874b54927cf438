// Sample model files of the interface: the upgrade screen's 34 named parts
// and its eight slot dummies, the command wheel's 13 segments and the sky
// backdrop, each a flat plate of its own size, written under rifs/ where the
// screens look for them.
#include "sample/generator.h"
#include "sample/shape_helpers.h"

#include "chunk/chunk_file.h"
#include "chunk/object_chunks.h"
#include "chunk/shape_chunks.h"

#include <cstdio>
#include <utility>
#include <vector>

namespace {

using namespace trevok;

// A plate facing the viewer, w x h millimetres, its top-left corner at (x, y):
// the layout lies in the shapes, so the bounds alone place each part. The
// screen camera's y grows downwards, which turns the winding that faces it.
ShapeData Plate(int32_t x, int32_t y, int32_t w, int32_t h, bool screen = false)
{
    ShapeData d;
    d.points_ = {{x, y, 0}, {x + w, y, 0}, {x + w, y + h, 0}, {x, y + h, 0}};
    d.uvSets_ = {sample::Quad()};
    d.textureNames_ = {"plates.bmp"};
    if (screen)
        d.polygons_.push_back(sample::Polygon(20, {0, 3, 2, 1}, 0, 0));
    else
        d.polygons_.push_back(sample::Polygon(20, {0, 1, 2, 3}, 0, 0));
    sample::Finish(d);
    return d;
}

struct PartPlace {
    const char* name;
    int32_t x, y, w, h;
};

// Laid out on a 1000 x 750 board: rows of slots, arrows, buttons and pages.
// The screen puts the layout's origin half a screen right and down, so the
// board is centred on it (kBoardX, kBoardY) and fills the screen's width.
constexpr int32_t kBoardX = 500, kBoardY = 375;
const PartPlace kUpgradeParts[] = {
    {"background", 0, 0, 1000, 750}, {"weapon", 40, 60, 120, 30},      {"ammo", 40, 240, 120, 30},
    {"module", 40, 420, 120, 30},    {"arrow1", 10, 60, 25, 30},       {"arrow2", 10, 240, 25, 30},
    {"arrow3", 10, 420, 25, 30},     {"ammo up", 560, 260, 30, 30},    {"ammo down", 560, 330, 30, 30},
    {"weapon up", 560, 80, 30, 30},  {"weapon down", 560, 150, 30, 30}, {"module up", 560, 440, 30, 30},
    {"module down", 560, 510, 30, 30}, {"up button", 860, 590, 30, 30}, {"down button", 860, 660, 30, 30},
    {"exit", 900, 20, 80, 40},       {"drop", 900, 80, 80, 40},        {"pass", 900, 140, 80, 40},
    {"text", 100, 580, 700, 130},    {"trevok", 650, 60, 200, 40},     {"vell", 650, 110, 200, 40},
    {"tovan", 650, 160, 200, 40},    {"sokra", 650, 210, 200, 40},     {"dulvaine", 650, 260, 200, 40},
    {"info", 650, 310, 200, 40},     {"w1", 170, 90, 120, 110},        {"w2", 300, 90, 120, 110},
    {"w3", 430, 90, 120, 110},       {"a1", 170, 270, 120, 110},       {"a2", 300, 270, 120, 110},
    {"a3", 430, 270, 120, 110},      {"m1", 170, 450, 120, 110},       {"m2", 300, 450, 120, 110},
    {"m3", 430, 450, 120, 110},
    // Dummies at the middle of eight slots (slot = row + 3 x column); the
    // ninth takes its place from the others.
    {"slota", 229, 144, 2, 2},       {"slotb", 229, 324, 2, 2},       {"slotc", 229, 504, 2, 2},
    {"slotd", 359, 144, 2, 2},       {"slote", 359, 324, 2, 2},       {"slotf", 359, 504, 2, 2},
    {"slotg", 489, 144, 2, 2},       {"sloth", 489, 324, 2, 2},
};

// The wheel's segments: flat pieces of a ring about the model's origin,
// pointing up (the wheel turns each one about its centre to its place) and
// facing the interface camera, which looks along +z with y growing down. The
// main segments take a sixth of the turn, the standing orders a twelfth
// on an outer ring, so an open sub-wheel shows beside the main one.
using sample::RingPiece;
constexpr RingPiece kMain = {40, 110, 20, 58}, kOuter = {120, 170, 28, 41};
const char* const kWheelMain[] = {"main a", "main b", "main c", "main d", "main e", "main f"};
const char* const kWheelOuter[] = {"st orders ld", "st orders lc", "st orders lb", "st orders la",
                                   "st orders ra", "st orders rb", "st orders rc"};

// Named parts, each an object holding its shape at the model's origin.
std::unique_ptr<ChunkFile> BuildShapes(const std::vector<std::pair<const char*, ShapeData>>& parts)
{
    auto file = ChunkFile::CreateEmpty();
    int32_t id = 1;
    for (const auto& [name, data] : parts) {
        auto* shape = new ShapeChunk(file.get(), data);
        shape->SetName(name);
        shape->GetHeader()->shapeId_ = id++;
        ObjectHeader h;
        h.name_ = name;
        h.position_[0] = h.position_[1] = h.position_[2] = 0;
        h.orientation_[0] = h.orientation_[1] = h.orientation_[2] = 0;
        h.orientation_[3] = 1;
        auto* object = new ObjectChunk(file.get(), h);
        object->LinkShape(shape);
    }
    return file;
}

// `origin`: the layout's point that becomes the model's origin; `screen`:
// plates for the screen camera.
std::unique_ptr<ChunkFile> BuildParts(const PartPlace* parts, size_t count, int32_t originX = 0, int32_t originY = 0,
                                      bool screen = false)
{
    std::vector<std::pair<const char*, ShapeData>> shapes;
    for (size_t i = 0; i < count; ++i)
        shapes.emplace_back(parts[i].name, Plate(parts[i].x - originX, parts[i].y - originY, parts[i].w,
                                                 parts[i].h, screen));
    return BuildShapes(shapes);
}

std::unique_ptr<ChunkFile> BuildWheel()
{
    std::vector<std::pair<const char*, ShapeData>> shapes;
    for (const char* name : kWheelMain)
        shapes.emplace_back(name, sample::RingSegment(kMain));
    for (const char* name : kWheelOuter)
        shapes.emplace_back(name, sample::RingSegment(kOuter));
    return BuildShapes(shapes);
}

// The sky backdrop: a large plate far behind everything, part "sky".
const PartPlace kSkyParts[] = {{"sky", -500000, -500000, 1000000, 1000000}};

bool WriteInterfaceModels(const sample::Context& ctx)
{
    const auto levels = ctx.out / "rifs" / "levels";
    std::error_code made;
    std::filesystem::create_directories(levels, made);
    if (!BuildParts(kSkyParts, std::size(kSkyParts))->Save(levels / "level01.rif")) {
        std::fprintf(stderr, "sample_gen: cannot write %s\n", (levels / "level01.rif").c_str());
        return false;
    }
    const auto dir = ctx.out / "rifs" / "user interface";
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    const auto upgrade = dir / "custom screen 02.rif", wheel = dir / "CommWheel01.RIF";
    if (!BuildParts(kUpgradeParts, std::size(kUpgradeParts), kBoardX, kBoardY, true)->Save(upgrade) ||
        !BuildWheel()->Save(wheel)) {
        std::fprintf(stderr, "sample_gen: cannot write %s\n", dir.c_str());
        return false;
    }
    return true;
}

const sample::StepRegistration kInterfaceModels(22, "interface models", WriteInterfaceModels);

} // namespace
