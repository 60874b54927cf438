// Sample data step: the capture-the-flag flag every side shares,
// rifs/objects/tf_flag.rif: a hierarchy "tf_flag" of a pole carrying a cloth.
#include "sample/generator.h"

#include "chunk/chunk_file.h"
#include "chunk/environment_chunks.h"
#include "chunk/hierarchy_chunks.h"
#include "sample/shape_helpers.h"

#include <cstdio>

namespace {

using namespace trevok;

bool WriteTeamFlag(const sample::Context& ctx)
{
    const auto dir = ctx.out / "rifs" / "objects";
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    RegisterModelChunkFamilies();
    auto file = ChunkFile::CreateEmpty();
    ChunkFile* root = file.get();
    auto* env = new EnvironmentChunk(root);
    new FileNameChunk(env, "tf_flag.rif");
    // Millimetres up from the foot of the pole (stored y-down).
    sample::AddPart(root, "flag_pole", sample::Box(25, 900, 25), 0, 0, 0);
    sample::AddPart(root, "flag_cloth", sample::Box(300, 150, 10), 325, 1500, 0);
    auto* model = new HierarchyChunk(root);
    new HierarchyNameChunk(model, "tf_flag");
    const int32_t lo[3] = {-25, -1800, -25}, hi[3] = {625, 0, 25};
    new HierarchyBoundsChunk(model, lo, hi);
    HierarchyChunk* pole = sample::AddNode(model, "flag_pole");
    sample::AddNode(pole, "flag_cloth");
    if (!file->Save(dir / "tf_flag.rif")) {
        std::fprintf(stderr, "sample_gen: cannot write %s\n", (dir / "tf_flag.rif").c_str());
        return false;
    }
    return true;
}

const sample::StepRegistration kTeamFlag(24, "team flag", WriteTeamFlag);

} // namespace
