// Sample data step: the move marker's model, "user interface/movement_indicator2.rif"
// under rifs/: one hierarchy named "waypoint", a flat diamond on the ground
// with one looping sequence that turns it.
#include "sample/generator.h"

#include "chunk/chunk_file.h"
#include "chunk/environment_chunks.h"
#include "chunk/hierarchy_chunks.h"
#include "chunk/object_chunks.h"
#include "chunk/sequence_chunks.h"
#include "chunk/shape_chunks.h"
#include "sample/shape_helpers.h"

#include <cmath>
#include <cstdio>

namespace {

using namespace trevok;

constexpr int32_t kUntextured = 1;

// A diamond 600 mm across lying flat on the ground (millimetres).
ShapeData Diamond()
{
    ShapeData d;
    d.points_ = {{0, 0, -300}, {300, 0, 0}, {0, 0, 300}, {-300, 0, 0}};
    d.polygons_ = {sample::Polygon(kUntextured, {0, 1, 2, 3}, 0, 0)};
    sample::Finish(d);
    return d;
}

std::unique_ptr<ChunkFile> BuildMarker()
{
    RegisterModelChunkFamilies();
    auto file = ChunkFile::CreateEmpty();
    ChunkFile* root = file.get();
    auto* env = new EnvironmentChunk(root);
    new FileNameChunk(env, "movement_indicator2.rif");
    auto* shape = new ShapeChunk(root, Diamond());
    shape->SetName("marker");
    ObjectHeader h;
    h.name_ = "marker";
    h.orientation_[3] = 1;
    auto* object = new ObjectChunk(root, h);
    object->LinkShape(shape);

    auto* model = new HierarchyChunk(root);
    new HierarchyNameChunk(model, "waypoint");
    auto* node = new HierarchyChunk(model);
    new HierarchyDataChunk(node, "marker");
    auto* moves = new SequenceListChunk(node);
    auto* seq = new SequenceChunk(moves);
    new SequenceHeaderChunk(seq, 0, 0, "spin");
    const int32_t position[3] = {0, 0, 0};
    const float still[4] = {0, 0, 0, 1};
    const float half[4] = {0, std::sin(1.5f), 0, std::cos(1.5f)};
    new SequenceFrameChunk(seq, still, position, 0, 0, 0);
    new SequenceFrameChunk(seq, half, position, 0x8000, 1, 0);
    new SequenceTimeChunk(seq, 1000);
    return file;
}

bool WriteMarker(const sample::Context& ctx)
{
    const auto dir = ctx.out / "rifs" / "user interface";
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    const auto path = dir / "movement_indicator2.rif";
    if (!BuildMarker()->Save(path)) {
        std::fprintf(stderr, "sample_gen: cannot write %s\n", path.c_str());
        return false;
    }
    return true;
}

const sample::StepRegistration kMarker(23, "move marker", WriteMarker);

} // namespace
