// Sample characters for the footprint and projected shadows: "Walker" with
// both foot dummies ("LFPrint", "RFPrint"), "Hopper" with the left one only
// (so it leaves one print), and "Walker Shadow", the plain box a character
// record names as its shadow hierarchy. Written under rifs/ in one file.
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

void AddModel(ChunkFile* root, const char* name, const int32_t (&lo)[3], const int32_t (&hi)[3],
              std::initializer_list<const char*> parts)
{
    auto* model = new HierarchyChunk(root);
    new HierarchyNameChunk(model, name);
    new HierarchyBoundsChunk(model, lo, hi);
    auto it = parts.begin();
    HierarchyChunk* body = AddNode(model, *it);
    for (++it; it != parts.end(); ++it)
        AddNode(body, *it);
}

std::unique_ptr<ChunkFile> BuildFootprintModels()
{
    auto file = sample::NewModelFile("footprint_models.rif");
    ChunkFile* root = file.get();

    AddPart(root, "walker_body", Box(300, 900, 200), 0, 0, 0);
    AddPart(root, "hopper_body", Box(250, 600, 250), 0, 0, 0);
    AddPart(root, "walker_shadow_body", Box(300, 900, 200), 0, 0, 0);
    // The foot dummies are specks at the soles, a foot either side.
    AddPart(root, "LFPrint", Box(1, 1, 1), -150, 0, 0);
    AddPart(root, "RFPrint", Box(1, 1, 1), 150, 0, 0);

    const int32_t lo[3] = {-300, -1800, -250}, hi[3] = {300, 0, 250};
    AddModel(root, "Walker", lo, hi, {"walker_body", "LFPrint", "RFPrint"});
    AddModel(root, "Hopper", lo, hi, {"hopper_body", "LFPrint"});
    AddModel(root, "Walker Shadow", lo, hi, {"walker_shadow_body"});
    return file;
}

bool WriteFootprintModels(const sample::Context& ctx)
{
    return sample::SaveModelFile(ctx, "footprint_models.rif", *BuildFootprintModels());
}

const sample::StepRegistration kFootprintModels(22, "footprint characters and their shadow", WriteFootprintModels);

} // namespace
