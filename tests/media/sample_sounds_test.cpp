// The sample data's sound banks load and play on a real (loopback) device.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>

#include "app/directories.h"
#include "media/device_sound_system.h"

namespace fs = std::filesystem;

namespace {

class SampleSounds : public testing::Test {
protected:
    void SetUp() override
    {
        const fs::path root = std::getenv("TREVOK_SAMPLE_DATA");
        if (!fs::exists(root / "sounds" / "UI.dat"))
            GTEST_SKIP() << "sample data not generated";
        auto& dirs = app::DataDirectories::Global();
        dirs.Clear();
        dirs.SetStartDirectory(root);
        dirs.SetPath(app::kSoundsDirectory, "sounds");
        SoundDevice device;
        device.loopbackRate = 22050;
        sound_ = std::make_unique<DirectSoundSystem>(device);
        ASSERT_EQ(sound_->State(), SoundSystem::kActive);
    }
    void TearDown() override
    {
        sound_.reset();
        app::DataDirectories::Global().Clear();
        app::DataDirectories::Global().SetStartDirectory({});
    }
    std::unique_ptr<DirectSoundSystem> sound_;
};

TEST_F(SampleSounds, InterfaceSoundsArePermanentAtTheirNumbers)
{
    sound_->LoadSoundFile("UI.dat");
    for (int32_t id : {1, 10, 11, 14, 17, 20, 21, 22, 29, 32, 34, 36, 37}) {
        const SoundRecord* s = sound_->Sound(id);
        ASSERT_TRUE(s && s->Loaded()) << id;
        EXPECT_FALSE(s->flags & SoundRecord::kLevel) << id;
        const int32_t voice = sound_->Play(id, "");
        EXPECT_GT(voice, 0) << id;
        sound_->FreeVoiceByIndex(voice);
    }
    sound_->FreeLevelSounds();
    EXPECT_TRUE(sound_->Sound(1)->Loaded());
}

TEST_F(SampleSounds, LevelBanksGiveSoundsByNameUntilTheLevelEnds)
{
    for (const char* bank : {"robots.dat", "specials.dat", "environ.dat"})
        ASSERT_EQ(sound_->LoadSoundBank(bank), 0) << bank;
    std::vector<int32_t> ids;
    for (const char* name : {"footstep", "shot", "robot_hum", "door", "lift", "pickup", "wind", "machine", "drip.wav"}) {
        const int32_t id = sound_->LoadSoundChunks(name);
        ASSERT_GT(id, 0) << name;
        EXPECT_TRUE(sound_->Sound(id)->flags & SoundRecord::kLevel) << name;
        ids.push_back(id);
    }
    const int32_t voice = sound_->FindSound("robot_voice");
    ASSERT_LT(voice, 0);
    int32_t handle = 0, sequence = 0;
    EXPECT_GT(sound_->Play(-voice, "me", {&handle}), 0);
    const int32_t patrol = sound_->FindSound("patrol");
    ASSERT_LT(patrol, 0);
    EXPECT_GT(sound_->Play(-patrol, "mex", {&handle, &sequence}), 0);
    for (const char* bank : {"robots.dat", "specials.dat", "environ.dat"})
        sound_->UnloadSoundBank(bank);
    EXPECT_EQ(sound_->BankCount(), 0u);
    EXPECT_EQ(sound_->FindSound("shot"), ids[1]) << "the sounds made stay after the banks go";

    sound_->FreeLevelSounds();
    for (int32_t id : ids)
        EXPECT_FALSE(sound_->Sound(id)->Loaded()) << id;
    EXPECT_EQ(sound_->FindSound("robot_voice"), 0);
    EXPECT_EQ(sound_->NextSoundId(), SoundSystem::kFirstFreeId);
}

} // namespace
