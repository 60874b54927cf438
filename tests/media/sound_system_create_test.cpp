// Which sound-system variant start-up gets, and that it always gets one.
#include <gtest/gtest.h>

#include <memory>

#include "media/device_sound_system.h"

namespace {

SoundDevice Loopback(uint8_t capabilities)
{
    SoundDevice d;
    d.loopbackRate = 22050;
    d.capabilities = capabilities;
    return d;
}

SoundDevice Unopenable(uint8_t capabilities)
{
    SoundDevice d;
    d.name = "no such output device";
    d.capabilities = capabilities;
    return d;
}

TEST(SoundSystemCreate, TheVariantFollowsTheDevicesAndFallsBackToSilence)
{
    const struct {
        const char* what;
        bool noSound;
        std::vector<SoundDevice> devices;
        const char* variant;
    } rows[] = {
        {"-n", true, {Loopback(SoundDevice::kA3d)}, "silent"},
        {"no device at all", false, {}, "silent"},
        {"the layer reports A3D", false, {Loopback(SoundDevice::kA3d)}, "A3D"},
        {"a plain device", false, {Loopback(0)}, "DirectSound"},
        {"an environment device", false, {Loopback(SoundDevice::kEnvironment)}, "DirectSound"},
        {"A3D wins over the environment", false, {Loopback(SoundDevice::kEnvironment), Loopback(SoundDevice::kA3d)}, "A3D"},
        {"the last environment device is chosen", false, {Loopback(SoundDevice::kEnvironment), Unopenable(SoundDevice::kEnvironment)}, "silent"},
        {"without capabilities the first device", false, {Loopback(0), Unopenable(0)}, "DirectSound"},
        {"a device that does not open", false, {Unopenable(0)}, "silent"},
        {"an A3D device that does not open", false, {Unopenable(SoundDevice::kA3d)}, "silent"},
    };
    for (const auto& r : rows) {
        std::unique_ptr<SoundSystem> system(SoundSystem::Create(r.noSound, r.devices));
        ASSERT_TRUE(system) << r.what;
        EXPECT_STREQ(system->VariantName(), r.variant) << r.what;
        const bool silent = std::string(r.variant) == "silent";
        EXPECT_EQ(system->State(), silent ? SoundSystem::kInactive : SoundSystem::kActive) << r.what;
        // Whatever was made takes the start-up calls.
        system->LoadSoundFile("UI.dat");
        system->Update(ListenerPlacement{});
        EXPECT_EQ(system->Play(1, ""), silent ? -1 : 0) << r.what;
    }
}

TEST(SoundSystemCreate, OnlyTheDirectSoundVariantLendsItsOutput)
{
    std::unique_ptr<SoundSystem> direct(SoundSystem::Create(false, {Loopback(0)}));
    std::unique_ptr<SoundSystem> a3d(SoundSystem::Create(false, {Loopback(SoundDevice::kA3d)}));
    std::unique_ptr<SoundSystem> silent(SoundSystem::Create(true));
    EXPECT_NE(direct->OutputDevice(), nullptr);
    EXPECT_EQ(a3d->OutputDevice(), nullptr);
    EXPECT_EQ(silent->OutputDevice(), nullptr);
}

TEST(SoundSystemTables, VolumeAndGainTablesHoldTheirAnchors)
{
    const auto& db = DirectSoundSystem::VolumeTable();
    EXPECT_EQ(db[0], -10000);
    EXPECT_EQ(db[100], 0);
    EXPECT_NEAR(db[50], -1000, 1);
    EXPECT_NEAR(db[1], -6644, 1);
    const auto& gain = A3dSoundSystem::GainTable();
    EXPECT_EQ(gain[0], 0.0f);
    EXPECT_EQ(gain[100], 1.0f);
    EXPECT_NEAR(gain[50], 0.66f, 0.005f);
}

} // namespace

namespace {

TEST(EnvironmentPropertiesTest, SettingsReadBackOnlyWhereTheReverbWorks)
{
    EnvironmentProperties none(nullptr);
    EXPECT_FALSE(none.IsSupported());
    none.SetVolume(0.5f);
    EXPECT_EQ(none.GetVolume(), EnvironmentProperties::kFailed);
    EXPECT_EQ(none.GetEnvironment(), 0);

    SoundDevice loopback;
    loopback.loopbackRate = 22050;
    std::unique_ptr<SoundSystem> system(SoundSystem::Create(false, {loopback}));
    auto* direct = dynamic_cast<DirectSoundSystem*>(system.get());
    ASSERT_TRUE(direct);
    const EnvironmentProperties* env = direct->Environment();
    if (!env)
        GTEST_SKIP() << "no reverb on this OpenAL build";
    // The game's default environment, set at start-up.
    EXPECT_EQ(env->GetEnvironment(), 19);
    EXPECT_FLOAT_EQ(env->GetVolume(), 0.097f);
    EXPECT_FLOAT_EQ(env->GetDecayTime(), 2.767f);
    EXPECT_FLOAT_EQ(env->GetDamping(), 0.224f);
}

} // namespace
