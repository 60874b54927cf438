// Sequence sounds reach the global sound system once the shell's hook is in,
// and their voices follow the object that played them.
#include <gtest/gtest.h>

#include "Veapi/model_support.h"
#include "app/shell/render_placeholders.h"
#include "media/recording_sound_system.h"

namespace {

using namespace modeltest;

constexpr int32_t kNormal = 0x10000;
constexpr int32_t kStep = 7;

class SequenceSounds : public ::testing::Test {
protected:
    void SetUp() override
    {
        SequencePlayer::SetTicksPerSecond(1000);
        auto owned = std::make_unique<RecordingSoundSystem>();
        sound_ = owned.get();
        SoundSystem::Install(std::move(owned));
        ASSERT_EQ(sound_->AddSound(kStep, "step"), kStep);
    }
    void TearDown() override
    {
        SoundSystem::Shutdown();
        SequencePlayer::SetSoundHook({});
        SequencePlayer::SetTicksPerSecond(0);
    }
    RecordingSoundSystem* sound_ = nullptr;  // owned by the global slot
};

TEST_F(SequenceSounds, PlayThroughTheSoundSystemAtTheObject)
{
    std::vector<std::unique_ptr<Sequence>> seq;
    seq.push_back(MakeSequence(0, 1000, {{0, {0, 0, 0}, 0}, {500, {1, 0, 0}, 0}}));
    seq[0]->sounds_ = {{300, kStep}};
    HierarchyRef model(MakeNode("walker", MakeSet(std::move(seq))));
    ObjectRef object(VeObject::FromHierarchy(model.h, false));
    object->placement_.SetPosition({3, 0, 4});
    RenderPlaceholders::InstallSequenceSounds();
    object->PlaySequence(0, &kNormal, 1, 0, nullptr, 0, true);

    object->UpdateSequences(200, DrawFlag::kSequencesGetObject);
    EXPECT_TRUE(sound_->starts.empty()) << "before the sound's time";
    object->UpdateSequences(400, DrawFlag::kSequencesGetObject);
    ASSERT_EQ(sound_->starts.size(), 1u);
    EXPECT_EQ(sound_->starts[0].sound, kStep);
    const Voice* voice = sound_->VoiceAt(sound_->starts[0].voice);
    ASSERT_TRUE(voice && voice->emitter);
    object->placement_.SetPosition({-1, 2, 5});
    EXPECT_EQ(voice->emitter->SoundPosition(), Vec3(-1, 2, 5));
}

} // namespace
