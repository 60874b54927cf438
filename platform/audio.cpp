#include "platform/audio.h"

#include <AL/al.h>
#include <AL/alc.h>
#include <AL/alext.h>
#include <AL/efx.h>

#include <algorithm>
#include <cstring>

namespace platform::audio {
namespace {

// EFX entry points, resolved once a context exists.
struct Efx {
    LPALGENEFFECTS genEffects = nullptr;
    LPALDELETEEFFECTS deleteEffects = nullptr;
    LPALEFFECTI effecti = nullptr;
    LPALEFFECTF effectf = nullptr;
    LPALGENAUXILIARYEFFECTSLOTS genSlots = nullptr;
    LPALDELETEAUXILIARYEFFECTSLOTS deleteSlots = nullptr;
    LPALAUXILIARYEFFECTSLOTI sloti = nullptr;

    bool Load()
    {
        if (genEffects)
            return true;
        genEffects = reinterpret_cast<LPALGENEFFECTS>(alGetProcAddress("alGenEffects"));
        deleteEffects = reinterpret_cast<LPALDELETEEFFECTS>(alGetProcAddress("alDeleteEffects"));
        effecti = reinterpret_cast<LPALEFFECTI>(alGetProcAddress("alEffecti"));
        effectf = reinterpret_cast<LPALEFFECTF>(alGetProcAddress("alEffectf"));
        genSlots = reinterpret_cast<LPALGENAUXILIARYEFFECTSLOTS>(alGetProcAddress("alGenAuxiliaryEffectSlots"));
        deleteSlots =
            reinterpret_cast<LPALDELETEAUXILIARYEFFECTSLOTS>(alGetProcAddress("alDeleteAuxiliaryEffectSlots"));
        sloti = reinterpret_cast<LPALAUXILIARYEFFECTSLOTI>(alGetProcAddress("alAuxiliaryEffectSloti"));
        if (!genEffects || !deleteEffects || !effecti || !effectf || !genSlots || !deleteSlots || !sloti) {
            genEffects = nullptr;
            return false;
        }
        return true;
    }
};

Efx g_efx;
const Device* g_current = nullptr; // whose context is current; game thread only

ALenum AlFormat(const PcmFormat& f)
{
    if (f.channels == 1 && f.bitsPerSample == 8)
        return AL_FORMAT_MONO8;
    if (f.channels == 1 && f.bitsPerSample == 16)
        return AL_FORMAT_MONO16;
    if (f.channels == 2 && f.bitsPerSample == 8)
        return AL_FORMAT_STEREO8;
    if (f.channels == 2 && f.bitsPerSample == 16)
        return AL_FORMAT_STEREO16;
    return AL_NONE;
}

DeviceInfo Describe(ALCdevice* device, const std::string& name)
{
    DeviceInfo info;
    info.name = name;
    ALCint mono = 0;
    alcGetIntegerv(device, ALC_MONO_SOURCES, 1, &mono);
    info.monoSources = mono;
    info.hasReverb = alcIsExtensionPresent(device, ALC_EXT_EFX_NAME) == ALC_TRUE;
    return info;
}

} // namespace

std::vector<DeviceInfo> ListDevices()
{
    std::vector<DeviceInfo> list;
    // Only devices that really open count: with no backend configured the
    // default device fails, and the caller then falls back to silence.
    if (auto device = Device::Open(""))
        list.push_back(device->Info());
    return list;
}

Buffer::~Buffer()
{
    if (!id_)
        return;
    device_->MakeCurrent();
    alDeleteBuffers(1, &id_);
}

Source::~Source()
{
    if (!id_)
        return;
    device_->MakeCurrent();
    alSourceStop(id_);
    alDeleteSources(1, &id_);
}

void Source::SetGain(float gain)
{
    device_->MakeCurrent();
    alSourcef(id_, AL_GAIN, std::max(gain, 0.0f));
}

void Source::SetPitch(float factor)
{
    device_->MakeCurrent();
    alSourcef(id_, AL_PITCH, factor > 0.0f ? factor : 1.0f);
}

void Source::SetLooping(bool on)
{
    device_->MakeCurrent();
    alSourcei(id_, AL_LOOPING, on ? AL_TRUE : AL_FALSE);
}

void Source::SetPositioned(bool on)
{
    device_->MakeCurrent();
    alSourcei(id_, AL_SOURCE_RELATIVE, on ? AL_FALSE : AL_TRUE);
    if (!on)
        alSource3f(id_, AL_POSITION, 0.0f, 0.0f, 0.0f);
}

void Source::SetPosition(float x, float y, float z)
{
    device_->MakeCurrent();
    alSource3f(id_, AL_POSITION, x, y, z);
}

void Source::SetReverbSend(bool on)
{
    device_->MakeCurrent();
    alSource3i(id_, AL_AUXILIARY_SEND_FILTER, on ? static_cast<ALint>(device_->slot_) : AL_EFFECTSLOT_NULL, 0,
               AL_FILTER_NULL);
}

bool Source::Play()
{
    device_->MakeCurrent();
    alGetError();
    alSourcePlay(id_);
    return alGetError() == AL_NO_ERROR;
}

void Source::Stop()
{
    device_->MakeCurrent();
    alSourceStop(id_);
}

bool Source::IsPlaying() const
{
    device_->MakeCurrent();
    ALint state = AL_STOPPED;
    alGetSourcei(id_, AL_SOURCE_STATE, &state);
    return state == AL_PLAYING;
}

uint32_t Source::ByteOffset() const
{
    device_->MakeCurrent();
    ALint offset = 0;
    alGetSourcei(id_, AL_BYTE_OFFSET, &offset);
    return offset > 0 ? static_cast<uint32_t>(offset) : 0;
}

bool Source::SetByteOffset(uint32_t offset)
{
    device_->MakeCurrent();
    alGetError();
    alSourcei(id_, AL_BYTE_OFFSET, static_cast<ALint>(offset));
    return alGetError() == AL_NO_ERROR;
}

std::unique_ptr<Device> Device::Open(const std::string& name)
{
    ALCdevice* device = alcOpenDevice(name.empty() ? nullptr : name.c_str());
    if (!device)
        return nullptr;
    ALCcontext* context = alcCreateContext(device, nullptr);
    if (!context) {
        alcCloseDevice(device);
        return nullptr;
    }
    std::unique_ptr<Device> d(new Device());
    d->device_ = device;
    d->context_ = context;
    ALCint rate = 0;
    alcGetIntegerv(device, ALC_FREQUENCY, 1, &rate);
    d->rate_ = rate;
    d->info_ = Describe(device, name);
    d->MakeCurrent();
    // The engine attenuates by distance itself.
    alDistanceModel(AL_NONE);
    return d;
}

std::unique_ptr<Device> Device::OpenLoopback(int rate)
{
    auto openLoopback = reinterpret_cast<LPALCLOOPBACKOPENDEVICESOFT>(alcGetProcAddress(nullptr, "alcLoopbackOpenDeviceSOFT"));
    if (!openLoopback)
        return nullptr;
    ALCdevice* device = openLoopback(nullptr);
    if (!device)
        return nullptr;
    const ALCint attributes[] = {ALC_FORMAT_CHANNELS_SOFT, ALC_STEREO_SOFT, ALC_FORMAT_TYPE_SOFT, ALC_SHORT_SOFT,
                                 ALC_FREQUENCY, rate, ALC_HRTF_SOFT, ALC_FALSE, 0};
    ALCcontext* context = alcCreateContext(device, attributes);
    if (!context) {
        alcCloseDevice(device);
        return nullptr;
    }
    std::unique_ptr<Device> d(new Device());
    d->device_ = device;
    d->context_ = context;
    d->loopback_ = true;
    d->rate_ = rate;
    d->info_ = Describe(device, "");
    d->MakeCurrent();
    alDistanceModel(AL_NONE);
    return d;
}

Device::~Device()
{
    MakeCurrent();
    if (slot_)
        g_efx.deleteSlots(1, &slot_);
    if (effect_)
        g_efx.deleteEffects(1, &effect_);
    alcMakeContextCurrent(nullptr);
    g_current = nullptr;
    alcDestroyContext(static_cast<ALCcontext*>(context_));
    alcCloseDevice(static_cast<ALCdevice*>(device_));
}

void Device::MakeCurrent() const
{
    if (g_current == this)
        return;
    alcMakeContextCurrent(static_cast<ALCcontext*>(context_));
    g_current = this;
}

std::unique_ptr<Buffer> Device::MakeBuffer(const PcmFormat& format, std::span<const uint8_t> samples)
{
    const ALenum alFormat = AlFormat(format);
    const size_t frame = static_cast<size_t>(format.channels * format.bitsPerSample / 8);
    if (alFormat == AL_NONE || format.rate <= 0 || samples.size() < frame)
        return nullptr;
    MakeCurrent();
    std::unique_ptr<Buffer> buffer(new Buffer());
    buffer->device_ = this;
    alGetError();
    alGenBuffers(1, &buffer->id_);
    if (alGetError() != AL_NO_ERROR)
        return nullptr;
    // OpenAL refuses a partial last frame.
    const size_t bytes = samples.size() - samples.size() % frame;
    alBufferData(buffer->id_, alFormat, samples.data(), static_cast<ALsizei>(bytes), format.rate);
    if (alGetError() != AL_NO_ERROR)
        return nullptr;
    buffer->format_ = format;
    buffer->bytes_ = static_cast<uint32_t>(bytes);
    return buffer;
}

std::unique_ptr<Source> Device::MakeSource(const Buffer& buffer)
{
    MakeCurrent();
    std::unique_ptr<Source> source(new Source());
    source->device_ = this;
    alGetError();
    alGenSources(1, &source->id_);
    if (alGetError() != AL_NO_ERROR) {
        source->id_ = 0;
        return nullptr;
    }
    alSourcei(source->id_, AL_BUFFER, static_cast<ALint>(buffer.id_));
    alSourcef(source->id_, AL_ROLLOFF_FACTOR, 0.0f);
    if (alGetError() != AL_NO_ERROR)
        return nullptr;
    return source;
}

void Device::SetListener(const float position[3], const float front[3], const float top[3])
{
    MakeCurrent();
    alListener3f(AL_POSITION, position[0], position[1], position[2]);
    const float orientation[6] = {front[0], front[1], front[2], top[0], top[1], top[2]};
    alListenerfv(AL_ORIENTATION, orientation);
}

bool Device::SetReverb(const ReverbSettings& s)
{
    MakeCurrent();
    if (!info_.hasReverb || !g_efx.Load())
        return false;
    alGetError();
    if (!effect_) {
        g_efx.genEffects(1, &effect_);
        g_efx.genSlots(1, &slot_);
        if (alGetError() != AL_NO_ERROR) {
            effect_ = slot_ = 0;
            return false;
        }
        g_efx.effecti(effect_, AL_EFFECT_TYPE, AL_EFFECT_REVERB);
    }
    g_efx.effectf(effect_, AL_REVERB_GAIN, std::clamp(s.volume, 0.0f, 1.0f));
    g_efx.effectf(effect_, AL_REVERB_DECAY_TIME, std::clamp(s.decayTime, 0.1f, 20.0f));
    g_efx.effectf(effect_, AL_REVERB_DECAY_HFRATIO, std::clamp(s.damping, 0.1f, 2.0f));
    g_efx.sloti(slot_, AL_EFFECTSLOT_EFFECT, static_cast<ALint>(effect_));
    return alGetError() == AL_NO_ERROR;
}

std::vector<int16_t> Device::Render(int frames)
{
    std::vector<int16_t> out;
    if (!loopback_ || frames <= 0)
        return out;
    auto render = reinterpret_cast<LPALCRENDERSAMPLESSOFT>(alcGetProcAddress(nullptr, "alcRenderSamplesSOFT"));
    if (!render)
        return out;
    out.resize(static_cast<size_t>(frames) * 2);
    render(static_cast<ALCdevice*>(device_), out.data(), frames);
    return out;
}

} // namespace platform::audio
