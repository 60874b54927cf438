// Sample data step: the game cursor's model, "user interface/game_cursor.rif"
// under rifs/: nine hierarchies named after the cursor shapes, each a small
// untextured arrow with three sequences (0 idle, 1 hover, 2 a one-shot).
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
#include <string>

namespace {

using namespace trevok;

constexpr const char* kShapes[] = {"unselected", "standard", "attack", "attack ground", "pick up",
                                   "activate",   "drop",     "pass",   "cameralock"};
constexpr int32_t kUntextured = 1;

// An arrow head pointing down the y axis (y grows downward), millimetres;
// each shape a little larger so they differ on screen.
ShapeData Arrow(int32_t size)
{
    ShapeData d;
    d.points_ = {{0, size, 0}, {-size / 2, 0, -size / 2}, {size / 2, 0, -size / 2}, {0, 0, size / 2}};
    d.polygons_ = {sample::Polygon(kUntextured, {0, 2, 1}, 0, 0), sample::Polygon(kUntextured, {0, 3, 2}, 0, 0),
                   sample::Polygon(kUntextured, {0, 1, 3}, 0, 0), sample::Polygon(kUntextured, {1, 2, 3}, 0, 0)};
    sample::Finish(d);
    return d;
}

void AddSequence(SequenceListChunk* list, int32_t index, const char* name, float turn)
{
    auto* seq = new SequenceChunk(list);
    new SequenceHeaderChunk(seq, index, index, name);
    const int32_t position[3] = {0, 0, 0};
    const float still[4] = {0, 0, 0, 1};
    const float turned[4] = {0, std::sin(turn / 2), 0, std::cos(turn / 2)};
    new SequenceFrameChunk(seq, still, position, 0, 0, 0);
    new SequenceFrameChunk(seq, turned, position, 0x8000, 1, 0);
    new SequenceTimeChunk(seq, 600);
}

std::unique_ptr<ChunkFile> BuildCursor()
{
    RegisterModelChunkFamilies();
    auto file = ChunkFile::CreateEmpty();
    ChunkFile* root = file.get();
    auto* env = new EnvironmentChunk(root);
    new FileNameChunk(env, "game_cursor.rif");
    int32_t size = 300;
    for (const char* name : kShapes) {
        const std::string part = std::string("cursor ") + name;
        auto* shape = new ShapeChunk(root, Arrow(size));
        shape->SetName(part);
        ObjectHeader h;
        h.name_ = part;
        h.orientation_[3] = 1;
        auto* object = new ObjectChunk(root, h);
        object->LinkShape(shape);

        auto* model = new HierarchyChunk(root);
        new HierarchyNameChunk(model, name);
        auto* node = new HierarchyChunk(model);
        new HierarchyDataChunk(node, part);
        auto* moves = new SequenceListChunk(node);
        AddSequence(moves, 0, "idle", 0.0f);
        AddSequence(moves, 1, "hover", 0.5f);
        AddSequence(moves, 2, "once", 3.1f);
        size += 20;
    }
    return file;
}

bool WriteCursor(const sample::Context& ctx)
{
    const auto dir = ctx.out / "rifs" / "user interface";
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    if (!BuildCursor()->Save(dir / "game_cursor.rif")) {
        std::fprintf(stderr, "sample_gen: cannot write %s\n", (dir / "game_cursor.rif").c_str());
        return false;
    }
    return true;
}

const sample::StepRegistration kCursor(22, "game cursor", WriteCursor);

} // namespace
