// A sound system over a recording fake device: it keeps a log of the voices
// started, stopped and placed, lets a test say which voices have finished
// and what play position a stopped voice had reached.
#pragma once

#include <set>
#include <string>
#include <vector>

#include "media/sound_bank.h"
#include "media/sound_system.h"

class RecordingSoundSystem final : public SoundSystem {
public:
    explicit RecordingSoundSystem(int32_t voiceCount = 16, bool active = true)
        : SoundSystem(kSoundCount, voiceCount)
    {
        state_ = active ? kActive : kInactive;
        SetRefreshInterval(0);
    }
    ~RecordingSoundSystem() override { StopAllVoices(); }
    const char* VariantName() const override { return "recording"; }
    // What streamed audio (music, movie sound) is routed through; none by default.
    platform::audio::Device* output = nullptr;
    platform::audio::Device* OutputDevice() override { return output; }

    // A loaded sound at a fixed id (0 or less: the next free one).
    int32_t AddSound(int32_t id, const std::string& name, int32_t volume = 100, uint32_t flags = 0)
    {
        if (id <= 0)
            id = ClaimSoundId();
        WaveDescriptor wave;
        wave.volume = volume;
        wave.loadFlags = flags;
        wave.data = {1};
        return NewSound(name, id, wave) ? id : 0;
    }
    // Minus the meta index.
    int32_t AddMeta(const std::string& name, bool random, std::vector<MetaPair> pairs, uint32_t flags = 0)
    {
        return NewMetaSound(name, MetaDescriptor{random ? 1u : 0u, std::move(pairs)}, flags);
    }

    struct Start {
        int32_t voice, sound, position;
        bool loop;
        bool operator==(const Start&) const = default;
    };
    std::vector<Start> starts;
    std::set<int32_t> finished;      // voices the device reports as stopped
    uint32_t stopPosition = 0;       // what StopVoice reads
    bool failStarts = false;
    bool refuseWaves = false;        // CreateSound fails, as for a bad WAV image

protected:
    bool IsVoiceFinished(Voice& voice) override { return voice.Active() && finished.erase(voice.index) > 0; }
    bool SetVoiceLevel(Voice& voice, int32_t level) override
    {
        voice.level = level;
        return true;
    }
    void ReleaseSound(SoundRecord&) override {}
    int32_t ApplyVoicePitch(Voice& voice) override
    {
        voice.octaves = 0;
        return 0;
    }
    void SetSoundPitch(SoundRecord&, float) override {}
    int32_t DuplicateSound(int32_t sound, uint32_t flags) override
    {
        const int32_t id = ClaimSoundId();
        if (id == 0)
            return 0;
        SoundRecord copy = *Sound(sound);
        copy.flags = flags | SoundRecord::kLoaded;
        copy.playing = 0;
        Record(id) = copy;
        return id;
    }
    bool CreateSound(SoundRecord& sound, const WaveDescriptor& wave) override
    {
        // A real device refuses what it cannot decode; a one-byte stand-in passes.
        if (refuseWaves || wave.data.empty() || (wave.data.size() > 1 && !DecodeWav(wave.data)))
            return false;
        FillSoundFromWave(sound, wave);
        return true;
    }
    int32_t StartVoice(Voice& voice) override { return Begin(voice, -1); }
    int32_t StartVoiceAt(Voice& voice, uint32_t position) override
    {
        return Begin(voice, static_cast<int32_t>(position));
    }
    uint32_t StopVoice(Voice&) override { return stopPosition; }
    int32_t RestartVoice(int32_t) override { return 0; }
    void PlaceVoice(Voice&, const Vec3&) override {}
    void PlaceListener(const ListenerPlacement&) override {}

private:
    int32_t Begin(Voice& voice, int32_t position)
    {
        if (failStarts) {
            FreeVoice(voice);
            return -2;
        }
        starts.push_back({voice.index, voice.sound, position, (voice.flags & Voice::kLoop) != 0});
        if (voice.handle)
            *voice.handle = voice.index;
        return voice.index;
    }
};
