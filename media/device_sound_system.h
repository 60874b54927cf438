// The two sound-system variants that make sound: DirectSoundSystem (volumes in
// hundredths of a decibel, pitch as a buffer frequency, the environmental
// reverb) and A3dSoundSystem (a power-law gain table, pitch as a factor, no
// environment). Both run on the platform audio layer; the shared device work
// lives in DeviceSoundSystem.
#pragma once

#include <array>
#include <memory>

#include "media/sound_system.h"
#include "platform/audio.h"

// The environmental-audio listener properties: an environment number, wet
// volume, decay time and damping, carried by the device's reverb.
class EnvironmentProperties {
public:
    struct Record {
        int32_t environment = 0;
        float volume = 0.0f;
        float decayTime = 1.49f;
        float damping = 0.5f;
    };
    static constexpr float kFailed = -1.0e30f;

    explicit EnvironmentProperties(platform::audio::Device* device);
    bool IsSupported() const { return device_ != nullptr; }
    void SetEnvironment(int32_t environment);
    void SetVolume(float volume);
    void SetDecayTime(float seconds);
    void SetDamping(float damping);
    void SetAll(const Record& record);
    void SetAll(int32_t environment, float volume, float decayTime, float damping);
    int32_t GetEnvironment() const { return device_ ? record_.environment : 0; }
    float GetVolume() const { return device_ ? record_.volume : kFailed; }
    float GetDecayTime() const { return device_ ? record_.decayTime : kFailed; }
    float GetDamping() const { return device_ ? record_.damping : kFailed; }
    Record GetAll() const { return record_; }

private:
    void Apply();
    platform::audio::Device* device_ = nullptr;
    Record record_;
};

class DeviceSoundSystem : public SoundSystem {
public:
    ~DeviceSoundSystem() override;
    platform::audio::Device* Device() { return device_.get(); }

protected:
    DeviceSoundSystem(std::unique_ptr<platform::audio::Device> device);
    static std::unique_ptr<platform::audio::Device> OpenDevice(const SoundDevice& device);
    // Finishes construction: state 0 when the device opened.
    void Activate();

    virtual float Gain(int32_t level) const = 0;
    // The buffer pitch of a sound after its own pitch, and of a voice after its octaves.
    virtual void PitchSound(SoundRecord& sound, float semitones) = 0;
    virtual float VoicePitch(const Voice& voice) const = 0;

    bool IsVoiceFinished(Voice& voice) override;
    bool SetVoiceLevel(Voice& voice, int32_t level) override;
    void ReleaseSound(SoundRecord& sound) override;
    int32_t ApplyVoicePitch(Voice& voice) override;
    void SetSoundPitch(SoundRecord& sound, float semitones) override;
    int32_t DuplicateSound(int32_t sound, uint32_t flags) override;
    bool CreateSound(SoundRecord& sound, const WaveDescriptor& wave) override;
    int32_t StartVoice(Voice& voice) override;
    int32_t StartVoiceAt(Voice& voice, uint32_t position) override;
    uint32_t StopVoice(Voice& voice) override;
    void FreeVoice(Voice& voice) override;
    int32_t RestartVoice(int32_t sequence) override;
    void PlaceVoice(Voice& voice, const Vec3& position) override;
    void PlaceListener(const ListenerPlacement& listener) override;

    std::unique_ptr<platform::audio::Device> device_;
    bool reverbSends_ = false;

private:
    int32_t Begin(Voice& voice, const uint32_t* position);
};

class DirectSoundSystem final : public DeviceSoundSystem {
public:
    explicit DirectSoundSystem(const SoundDevice& device);
    ~DirectSoundSystem() override;
    const char* VariantName() const override { return "DirectSound"; }
    platform::audio::Device* OutputDevice() override { return device_.get(); }
    const EnvironmentProperties* Environment() const { return environment_.get(); }

    // Hundredths of a decibel for volume 0..100: ten decibels per halving.
    static const std::array<int32_t, 101>& VolumeTable();

protected:
    float Gain(int32_t level) const override;
    void PitchSound(SoundRecord& sound, float semitones) override;
    float VoicePitch(const Voice& voice) const override;

private:
    std::unique_ptr<EnvironmentProperties> environment_;
    EnvironmentProperties::Record savedEnvironment_;
};

class A3dSoundSystem final : public DeviceSoundSystem {
public:
    explicit A3dSoundSystem(const SoundDevice& device);
    ~A3dSoundSystem() override;
    const char* VariantName() const override { return "A3D"; }

    // Gain for volume 0..100: (volume / 100) ^ 0.6.
    static const std::array<float, 101>& GainTable();

protected:
    float Gain(int32_t level) const override;
    void PitchSound(SoundRecord& sound, float semitones) override;
    float VoicePitch(const Voice& voice) const override;
};

// Registers the 3-D audio components; there are none to register on this
// platform, so it reports the first failure and the game goes on.
bool A3dRegister();
