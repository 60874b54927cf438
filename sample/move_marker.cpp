// Sample data step: the move marker, "user interface/movement_indicator2.rif"
// in the graphics folder: a hierarchy "waypoint" of a small flat arrow head
// on a post, which the game shows where a move order ends.
#include "sample/generator.h"

#include "app/directories.h"
#include "chunk/chunk_file.h"
#include "chunk/environment_chunks.h"
#include "chunk/hierarchy_chunks.h"
#include "sample/shape_helpers.h"

#include <cstdio>

namespace {

using namespace trevok;

bool WriteMoveMarker(const sample::Context& ctx)
{
    const auto graphics = app::DataDirectories::Global().Folder(app::kGraphicsDirectory);
    if (!graphics) {
        std::fprintf(stderr, "sample_gen: no graphics folder for the move marker\n");
        return false;
    }
    const auto dir = *graphics / "user interface";
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    RegisterModelChunkFamilies();
    auto file = ChunkFile::CreateEmpty();
    ChunkFile* root = file.get();
    auto* env = new EnvironmentChunk(root);
    new FileNameChunk(env, "movement_indicator2.rif");
    // Millimetres up from the ground (stored y-down): a post and a plate on top.
    sample::AddPart(root, "marker_post", sample::Box(4, 30, 4), 0, 0, 0);
    sample::AddPart(root, "marker_plate", sample::Box(20, 2, 20), 0, 30, 0);
    auto* model = new HierarchyChunk(root);
    new HierarchyNameChunk(model, "waypoint");
    const int32_t lo[3] = {-20, -34, -20}, hi[3] = {20, 0, 20};
    new HierarchyBoundsChunk(model, lo, hi);
    HierarchyChunk* post = sample::AddNode(model, "marker_post");
    sample::AddNode(post, "marker_plate");
    if (!file->Save(dir / "movement_indicator2.rif")) {
        std::fprintf(stderr, "sample_gen: cannot write %s\n", (dir / "movement_indicator2.rif").c_str());
        return false;
    }
    (void)ctx;
    return true;
}

const sample::StepRegistration kMoveMarker(24, "move marker", WriteMoveMarker);

} // namespace
