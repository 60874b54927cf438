// A streamed voice on the audio layer: a source fed with a few buffers in
// turn, for music and movie sound that is decoded while it plays. Used from
// one thread at a time (the music thread owns its stream).
#pragma once

#include "platform/audio.h"

#include <cstdint>
#include <memory>
#include <span>

namespace platform::audio {

class Stream {
public:
    static constexpr int kBuffers = 4;

    // 16-bit PCM of `format` on `device`; null when the format is not
    // 16-bit mono or stereo or the device gives no source.
    static std::unique_ptr<Stream> Open(const Device& device, const PcmFormat& format);
    ~Stream();
    Stream(const Stream&) = delete;
    Stream& operator=(const Stream&) = delete;

    // Whether Push would take more data now (a buffer has been played).
    bool HasRoom();
    // Queues the samples and keeps the voice playing; false when every
    // buffer is still waiting to be heard.
    bool Push(std::span<const int16_t> samples);
    void SetPaused(bool paused);
    void SetGain(float gain);

private:
    Stream() = default;
    void Reclaim();
    const Device* device_ = nullptr;
    PcmFormat format_;
    unsigned source_ = 0;
    unsigned buffers_[kBuffers] = {};
    int free_[kBuffers] = {};
    int freeCount_ = 0;
    bool paused_ = false;
};

} // namespace platform::audio
