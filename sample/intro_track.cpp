// Sample data step: the training level's opening camera track "intro" in
// rifs/training_level.rif, which the level script's "camera track"
// definition names: the camera glides past the start while a robot loaded
// from "units\robot.rif" walks on the spot (its sequence 1).
#include "sample/generator.h"

#include "chunk/chunk_file.h"
#include "chunk/cutscene_chunks.h"
#include "chunk/environment_chunks.h"

#include <cstdio>
#include <memory>

namespace {

using namespace trevok;

constexpr int32_t kCameraUser = 1; // the user's fourth word: it is the camera
constexpr int32_t kRobotTarget = 1;
constexpr int32_t kWalk = 1;

void AddIntro(ParentChunk* special)
{
    auto* scene = new CutsceneChunk(special, "intro", 0, 0, 0);

    auto* camera = new CutsceneUserChunk(scene);
    camera->GetData()->name_ = "camera";
    camera->GetData()->words_[3] = kCameraUser;
    auto* path = new CutscenePointsChunk(new CutsceneTrackChunk(camera, "glide"));
    path->points_ = {{0, -3000, -4000, 1000}, {4000, -3000, -4000, 1000}, {8000, -3000, -4000, 0}};

    auto* robot = new CutsceneUserChunk(scene);
    robot->GetData()->name_ = "robot.rif";
    robot->GetData()->words_[0] = kRobotTarget;
    auto* stand = new CutsceneTrackChunk(robot, "stand");
    (new CutscenePointsChunk(stand))->points_ = {{4000, 0, 4000, 0}};
    auto* cues = new CutsceneEventChunk(stand, "cues");
    auto walk = std::make_unique<CutsceneWordsEvent>(2);
    walk->value_ = kRobotTarget;
    walk->words_[1] = kWalk;
    walk->words_[3] = 1; // looping
    cues->events_.push_back(std::move(walk));
}

bool WriteIntroTrack(const sample::Context& ctx)
{
    const auto path = ctx.out / "rifs" / "training_level.rif";
    auto file = ChunkFile::Open(path);
    if (!file || file->ErrorCode() != kChunkOk) {
        std::fprintf(stderr, "sample_gen: cannot read %s\n", path.c_str());
        return false;
    }
    auto* env = file->FindChildAs<ParentChunk>(chunk_id::kEnvironment);
    if (!env)
        env = new EnvironmentChunk(file.get());
    auto* special = env->FindChildAs<ParentChunk>(chunk_id::kSpecialObjects);
    if (!special)
        special = new ParentChunk(env, chunk_id::kSpecialObjects);
    AddIntro(special);
    if (!file->Save(path)) {
        std::fprintf(stderr, "sample_gen: cannot write %s\n", path.c_str());
        return false;
    }
    return true;
}

const sample::StepRegistration kIntroTrack(48, "the training level's camera track", WriteIntroTrack);

} // namespace
