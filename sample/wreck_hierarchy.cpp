// Sample destructible model: a body with two parts, each with a sub-part,
// and "dum exhaust" dummies on the body and on the first part, so that a
// break-up throws every piece and the pieces with a dummy trail smoke.
// Written under rifs/ as hierarchy "Wreck".
#include "sample/generator.h"

#include "chunk/chunk_file.h"
#include "chunk/hierarchy_chunks.h"
#include "chunk/object_chunks.h"
#include "chunk/shape_chunks.h"
#include "sample/shape_helpers.h"

namespace {

using namespace trevok;
using sample::AddNode;
using sample::AddPart;
using sample::Box;

std::unique_ptr<ChunkFile> BuildWreck()
{
    auto file = sample::NewModelFile("wreck_hierarchy.rif");
    ChunkFile* root = file.get();

    AddPart(root, "wreck_body", Box(600, 300, 400), 0, 0, 0);
    AddPart(root, "wreck_turret", Box(250, 150, 250), 0, 600, 0);
    AddPart(root, "wreck_gun", Box(40, 40, 400), 0, 650, 500);
    AddPart(root, "wreck_wheel", Box(100, 200, 200), 650, 0, 0);
    AddPart(root, "wreck_hub", Box(60, 60, 60), 760, 200, 0);
    // The dummy's shape is a speck: it marks where smoke leaves the piece.
    AddPart(root, "dum exhaust", Box(1, 1, 1), -600, 300, 0);

    auto* model = new HierarchyChunk(root);
    new HierarchyNameChunk(model, "Wreck");
    const int32_t lo[3] = {-750, -900, -400}, hi[3] = {750, 0, 900};
    new HierarchyBoundsChunk(model, lo, hi);
    HierarchyChunk* body = AddNode(model, "wreck_body");
    HierarchyChunk* turret = AddNode(body, "wreck_turret");
    AddNode(turret, "wreck_gun");
    AddNode(turret, "dum exhaust");
    AddNode(AddNode(body, "wreck_wheel"), "wreck_hub");
    AddNode(body, "dum exhaust");
    return file;
}

bool WriteWreck(const sample::Context& ctx)
{
    return sample::SaveModelFile(ctx, "wreck_hierarchy.rif", *BuildWreck());
}

const sample::StepRegistration kWreck(21, "destructible wreck", WriteWreck);

} // namespace
