// Sample props, rifs/props.rif: the single-shape objects the level scripts'
// roles name. "lift" is a slab whose top carries a class bit, so a lift
// gathers the units standing on it; "cart" rides a track; "crate" is the
// training level's pick-up; the rest give every object kind of the second
// level something to draw. "laser cells" is the command wheel's segment for
// the training level's ammunition, a piece of the wheel's outer ring.
#include "sample/generator.h"
#include "sample/shape_helpers.h"

#include "chunk/chunk_file.h"
#include "chunk/shape_chunks.h"

#include <string_view>

namespace {

using namespace trevok;

constexpr int32_t kLiftClass = 0x4000;
constexpr size_t kBoxTop = 3;  // Box's face at y = -2 hy, facing up

struct Prop {
    const char* name;
    int32_t hx, hy, hz;  // half sizes, millimetres
};

// Fixed shape ids from 201 on, in this order: the same bytes on every build.
constexpr Prop kProps[] = {
    {"lift", 1500, 125, 1500}, {"cart", 600, 400, 900},   {"pebble", 300, 300, 300}, {"print", 400, 5, 600},
    {"beacon", 200, 1000, 200}, {"parcel", 350, 250, 350}, {"crate", 500, 500, 500},
};

bool WriteProps(const sample::Context& ctx)
{
    auto file = sample::NewModelFile("props.rif");
    int32_t id = 201;
    for (const Prop& p : kProps) {
        ShapeData shape = sample::Box(p.hx, p.hy, p.hz);
        if (std::string_view(p.name) == "lift")
            shape.polygons_[kBoxTop].flags_ = kLiftClass;
        ShapeChunk* made = sample::AddPart(file.get(), p.name, shape, 0, 0, 0);
        made->GetHeader()->shapeId_ = id++;
    }
    ShapeChunk* cells = sample::AddPart(file.get(), "laser cells", sample::RingSegment({120, 170, 28, 41}), 0, 0, 0);
    cells->GetHeader()->shapeId_ = id++;
    return sample::SaveModelFile(ctx, "props.rif", *file);
}

const sample::StepRegistration kPropsStep(22, "props", WriteProps);

} // namespace
