#include "platform/audio_stream.h"

#include <AL/al.h>

namespace platform::audio {

std::unique_ptr<Stream> Stream::Open(const Device& device, const PcmFormat& format)
{
    if (format.bitsPerSample != 16 || (format.channels != 1 && format.channels != 2) || format.rate <= 0)
        return nullptr;
    device.MakeCurrent();
    std::unique_ptr<Stream> stream(new Stream());
    stream->device_ = &device;
    stream->format_ = format;
    alGetError();
    alGenSources(1, &stream->source_);
    if (alGetError() != AL_NO_ERROR)
        return nullptr;
    alGenBuffers(kBuffers, stream->buffers_);
    if (alGetError() != AL_NO_ERROR) {
        alDeleteSources(1, &stream->source_);
        return nullptr;
    }
    alSourcei(stream->source_, AL_SOURCE_RELATIVE, AL_TRUE);
    alSource3f(stream->source_, AL_POSITION, 0, 0, 0);
    for (int i = 0; i < kBuffers; ++i)
        stream->free_[stream->freeCount_++] = i;
    return stream;
}

Stream::~Stream()
{
    device_->MakeCurrent();
    alSourceStop(source_);
    alSourcei(source_, AL_BUFFER, 0);
    alDeleteSources(1, &source_);
    alDeleteBuffers(kBuffers, buffers_);
}

void Stream::Reclaim()
{
    ALint done = 0;
    alGetSourcei(source_, AL_BUFFERS_PROCESSED, &done);
    while (done-- > 0) {
        ALuint id = 0;
        alSourceUnqueueBuffers(source_, 1, &id);
        for (int i = 0; i < kBuffers; ++i)
            if (buffers_[i] == id)
                free_[freeCount_++] = i;
    }
}

bool Stream::HasRoom()
{
    device_->MakeCurrent();
    Reclaim();
    return freeCount_ > 0;
}

bool Stream::Push(std::span<const int16_t> samples)
{
    if (samples.empty())
        return true;
    if (!HasRoom())
        return false;
    const ALuint id = buffers_[free_[--freeCount_]];
    const ALenum layout = format_.channels == 2 ? AL_FORMAT_STEREO16 : AL_FORMAT_MONO16;
    alBufferData(id, layout, samples.data(), ALsizei(samples.size_bytes()), format_.rate);
    alSourceQueueBuffers(source_, 1, &id);
    ALint state = 0;
    alGetSourcei(source_, AL_SOURCE_STATE, &state);
    // a stream that ran dry stops by itself; start it again
    if (!paused_ && state != AL_PLAYING)
        alSourcePlay(source_);
    return true;
}

void Stream::SetPaused(bool paused)
{
    device_->MakeCurrent();
    paused_ = paused;
    if (paused)
        alSourcePause(source_);
    else
        alSourcePlay(source_);
}

void Stream::SetGain(float gain)
{
    device_->MakeCurrent();
    alSourcef(source_, AL_GAIN, gain);
}

} // namespace platform::audio
