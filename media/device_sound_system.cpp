#include "media/device_sound_system.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

// Environment properties.

EnvironmentProperties::EnvironmentProperties(platform::audio::Device* device)
{
    // Supported only where the reverb really takes settings.
    if (device && device->Info().hasReverb && device->SetReverb({}))
        device_ = device;
}

void EnvironmentProperties::Apply()
{
    if (device_)
        device_->SetReverb({record_.environment, record_.volume, record_.decayTime, record_.damping});
}

void EnvironmentProperties::SetEnvironment(int32_t environment)
{
    record_.environment = environment;
    Apply();
}
void EnvironmentProperties::SetVolume(float volume)
{
    record_.volume = volume;
    Apply();
}
void EnvironmentProperties::SetDecayTime(float seconds)
{
    record_.decayTime = seconds;
    Apply();
}
void EnvironmentProperties::SetDamping(float damping)
{
    record_.damping = damping;
    Apply();
}
void EnvironmentProperties::SetAll(const Record& record)
{
    record_ = record;
    Apply();
}
void EnvironmentProperties::SetAll(int32_t environment, float volume, float decayTime, float damping)
{
    SetAll(Record{environment, volume, decayTime, damping});
}

// The shared device work.

DeviceSoundSystem::DeviceSoundSystem(std::unique_ptr<platform::audio::Device> device)
    : SoundSystem(kSoundCount, device ? device->Info().monoSources : 0), device_(std::move(device))
{
}

DeviceSoundSystem::~DeviceSoundSystem() { DropDeviceObjects(); }

std::unique_ptr<platform::audio::Device> DeviceSoundSystem::OpenDevice(const SoundDevice& device)
{
    return device.loopbackRate > 0 ? platform::audio::Device::OpenLoopback(device.loopbackRate)
                                   : platform::audio::Device::Open(device.name);
}

void DeviceSoundSystem::Activate()
{
    if (!device_)
        return;
    const float origin[3] = {0, 0, 0}, front[3] = {0, 0, 1}, top[3] = {0, -1, 0};
    device_->SetListener(origin, front, top);
    state_ = kActive;
}

bool DeviceSoundSystem::IsVoiceFinished(Voice& voice)
{
    if (!voice.Active())
        return false;
    return !voice.source || !voice.source->IsPlaying();
}

bool DeviceSoundSystem::SetVoiceLevel(Voice& voice, int32_t level)
{
    voice.level = level;
    if (!voice.source)
        return false;
    voice.source->SetGain(Gain(level));
    return true;
}

void DeviceSoundSystem::ReleaseSound(SoundRecord& sound) { sound.buffer.reset(); }

int32_t DeviceSoundSystem::ApplyVoicePitch(Voice& voice)
{
    if (!voice.source)
        return -2;
    voice.source->SetPitch(VoicePitch(voice));
    voice.octaves = 0.0f;
    return 0;
}

void DeviceSoundSystem::SetSoundPitch(SoundRecord& sound, float semitones)
{
    if (semitones != 0.0f)
        PitchSound(sound, semitones);
}

int32_t DeviceSoundSystem::DuplicateSound(int32_t sound, uint32_t flags)
{
    if (!ValidSound(sound) || !Record(sound).Loaded())
        return 0;
    const int32_t id = ClaimSoundId();
    if (id == 0)
        return 0;
    const SoundRecord& from = Record(sound);
    SoundRecord& to = Record(id);
    to = SoundRecord{};
    to.name = from.name;
    to.buffer = from.buffer;
    to.frequency = from.frequency;
    to.pitchFactor = from.pitchFactor;
    to.volume = from.volume;
    to.variantPitch = from.variantPitch;
    to.inner = from.inner;
    to.outer = from.outer;
    to.word = from.word;
    to.flags = flags | SoundRecord::kLoaded;
    return id;
}

bool DeviceSoundSystem::CreateSound(SoundRecord& sound, const WaveDescriptor& wave)
{
    std::string error;
    auto pcm = DecodeWav(wave.data, &error);
    if (!pcm) {
        std::fprintf(stderr, "sound \"%s\": %s\n", sound.name.c_str(), error.c_str());
        return false;
    }
    auto buffer = device_->MakeBuffer({pcm->channels, pcm->bitsPerSample, pcm->rate}, pcm->samples);
    if (!buffer)
        return false;
    sound.buffer = std::move(buffer);
    FillSoundFromWave(sound, wave);
    sound.frequency = pcm->rate;
    sound.pitchFactor = 1.0f;
    SetSoundPitch(sound, wave.pitch);
    return true;
}

int32_t DeviceSoundSystem::Begin(Voice& voice, const uint32_t* position)
{
    const SoundRecord& sound = Record(voice.sound);
    if (state_ != kActive || !sound.buffer) {
        FreeVoice(voice);
        return -2;
    }
    voice.data = sound.buffer;
    voice.source = device_->MakeSource(*voice.data);
    if (!voice.source) {
        FreeVoice(voice);
        return -2;
    }
    auto& source = *voice.source;
    source.SetPitch(VoicePitch(voice));
    voice.octaves = 0.0f;
    source.SetGain(Gain(voice.volume));
    source.SetReverbSend(reverbSends_);
    if (voice.Positioned()) {
        const Vec3 p = VoicePoint(voice);
        source.SetPositioned(true);
        source.SetPosition(p.x, p.y, p.z);
        SetVoiceLevel(voice, DistanceLevel(p, voice.volume, voice.innerSquared, voice.outer));
    } else {
        source.SetPositioned(false);
    }
    source.SetLooping(voice.flags & Voice::kLoop);
    if (position && !source.SetByteOffset(*position)) {
        FreeVoice(voice);
        return -2;
    }
    if (!source.Play()) {
        FreeVoice(voice);
        return -2;
    }
    if (voice.handle)
        *voice.handle = voice.index;
    return voice.index;
}

int32_t DeviceSoundSystem::StartVoice(Voice& voice) { return Begin(voice, nullptr); }

int32_t DeviceSoundSystem::StartVoiceAt(Voice& voice, uint32_t position) { return Begin(voice, &position); }

uint32_t DeviceSoundSystem::StopVoice(Voice& voice)
{
    if (!voice.source)
        return 0;
    // Read before stopping: a stopped source reports the start again.
    const uint32_t position = voice.source->ByteOffset();
    voice.source->Stop();
    voice.source.reset();
    voice.data.reset();
    return position;
}

void DeviceSoundSystem::FreeVoice(Voice& voice)
{
    voice.source.reset();
    voice.data.reset();
    ReleaseVoice(voice);
}

int32_t DeviceSoundSystem::RestartVoice(int32_t sequence)
{
    for (int32_t i = 1; i < VoiceCount(); ++i) {
        const Voice* v = VoiceAt(i);
        if (!v->Active() || !(v->flags & Voice::kSequenced) || v->sequence != sequence)
            continue;
        Voice& voice = const_cast<Voice&>(*v);
        voice.source->Stop();
        if (voice.source->Play())
            return voice.index;
        FreeVoice(voice);
        return -2;
    }
    return 0;
}

void DeviceSoundSystem::PlaceVoice(Voice& voice, const Vec3& position)
{
    if (voice.source && voice.Positioned())
        voice.source->SetPosition(position.x, position.y, position.z);
}

void DeviceSoundSystem::PlaceListener(const ListenerPlacement& listener)
{
    const float p[3] = {listener.position.x, listener.position.y, listener.position.z};
    const float f[3] = {listener.front.x, listener.front.y, listener.front.z};
    const float t[3] = {listener.top.x, listener.top.y, listener.top.z};
    device_->SetListener(p, f, t);
}

// DirectSound variant.

const std::array<int32_t, 101>& DirectSoundSystem::VolumeTable()
{
    static const std::array<int32_t, 101> table = [] {
        std::array<int32_t, 101> t{};
        t[0] = -10000;
        for (int i = 1; i <= 100; ++i)
            t[static_cast<size_t>(i)] = static_cast<int32_t>(std::floor(3321.928 * std::log10(i * 0.01)));
        return t;
    }();
    return table;
}

DirectSoundSystem::DirectSoundSystem(const SoundDevice& device) : DeviceSoundSystem(OpenDevice(device))
{
    if (!device_)
        return;
    environment_ = std::make_unique<EnvironmentProperties>(device_.get());
    if (environment_->IsSupported()) {
        savedEnvironment_ = environment_->GetAll();
        environment_->SetAll(19, 0.097f, 2.767f, 0.224f);
        reverbSends_ = true;
    } else {
        environment_.reset();
    }
    Activate();
}

DirectSoundSystem::~DirectSoundSystem()
{
    StopAllVoices();
    FreeAllSounds();
}

float DirectSoundSystem::Gain(int32_t level) const
{
    const int32_t hundredths = VolumeTable()[static_cast<size_t>(std::clamp(level, 0, 100))];
    return level <= 0 ? 0.0f : static_cast<float>(std::pow(10.0, hundredths / 2000.0));
}

void DirectSoundSystem::PitchSound(SoundRecord& sound, float semitones)
{
    sound.frequency = static_cast<int32_t>(
        std::lround(sound.frequency * std::pow(2.0, static_cast<double>(semitones) * 0.083333336)));
}

float DirectSoundSystem::VoicePitch(const Voice& voice) const
{
    const SoundRecord* sound = Sound(voice.sound);
    if (!sound || !sound->buffer)
        return 1.0f;
    const double rate = sound->buffer->Format().rate;
    double frequency = sound->frequency;
    if (voice.octaves != 0.0f)
        frequency = std::trunc(frequency * std::pow(2.0, static_cast<double>(voice.octaves)));
    return static_cast<float>(frequency / rate);
}

// A3D variant.

const std::array<float, 101>& A3dSoundSystem::GainTable()
{
    static const std::array<float, 101> table = [] {
        std::array<float, 101> t{};
        for (int i = 0; i <= 100; ++i)
            t[static_cast<size_t>(i)] = static_cast<float>(std::pow(i * 0.01, 0.6));
        return t;
    }();
    return table;
}

A3dSoundSystem::A3dSoundSystem(const SoundDevice& device) : DeviceSoundSystem(OpenDevice(device)) { Activate(); }

A3dSoundSystem::~A3dSoundSystem()
{
    StopAllVoices();
    FreeAllSounds();
}

float A3dSoundSystem::Gain(int32_t level) const { return GainTable()[static_cast<size_t>(std::clamp(level, 0, 100))]; }

void A3dSoundSystem::PitchSound(SoundRecord& sound, float semitones)
{
    sound.pitchFactor = static_cast<float>(std::pow(2.0, static_cast<double>(semitones) * 0.083333336));
}

// The voice's octaves set the factor outright, not on top of the sound's.
float A3dSoundSystem::VoicePitch(const Voice& voice) const
{
    if (voice.octaves != 0.0f)
        return static_cast<float>(std::pow(2.0, static_cast<double>(voice.octaves)));
    const SoundRecord* sound = Sound(voice.sound);
    return sound ? sound->pitchFactor : 1.0f;
}

bool A3dRegister()
{
    // Debugger output only; nothing the player sees.
    static bool reported = false;
    if (!reported)
        std::fputs("IA3dUtil: Failed to load the A3D.DLL for registration.\n", stderr);
    reported = true;
    return false;
}

// The factory.

std::vector<SoundDevice> SoundSystem::ListDevices()
{
    std::vector<SoundDevice> list;
    for (const auto& info : platform::audio::ListDevices()) {
        SoundDevice d;
        d.name = info.name;
        d.mixingBuffers = info.monoSources;
        d.capabilities = static_cast<uint8_t>((info.hasReverb ? SoundDevice::kEnvironment : 0) |
                                              (info.hasA3d ? SoundDevice::kA3d : 0));
        list.push_back(d);
    }
    return list;
}

SoundSystem* SoundSystem::Create(bool noSound)
{
    // "-n" needs no device probe at all.
    return noSound ? new SilentSoundSystem() : Create(false, ListDevices());
}

SoundSystem* SoundSystem::Create(bool noSound, const std::vector<SoundDevice>& devices)
{
    A3dRegister();
    if (noSound || devices.empty())
        return new SilentSoundSystem();
    uint8_t all = 0;
    for (const auto& d : devices)
        all |= d.capabilities;
    const SoundDevice* chosen = &devices.front();
    for (uint8_t bit : {SoundDevice::kA3d, SoundDevice::kEnvironment}) {
        if (!(all & bit))
            continue;
        for (const auto& d : devices)
            if (d.capabilities & bit)
                chosen = &d;
        break;
    }
    SoundSystem* system = (chosen->capabilities & SoundDevice::kA3d)
                              ? static_cast<SoundSystem*>(new A3dSoundSystem(*chosen))
                              : new DirectSoundSystem(*chosen);
    if (system->State() != kActive) {
        delete system;
        system = new SilentSoundSystem();
    }
    return system;
}
