// The audio layer: one output device with its mixing context, sample buffers,
// playing sources, the listener and an environmental reverb, all over OpenAL
// Soft. The sound system's device variants are its only callers. A loopback
// device renders into memory instead of a sound card (headless mode: the
// mixing is the same), so tests can measure what was played.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace platform::audio {

struct DeviceInfo {
    std::string name;        // "" = the default device
    int monoSources = 0;     // how many sources the device mixes at once
    bool hasReverb = false;  // the environmental reverb is usable
    bool hasA3d = false;     // never on this layer: no 3-D audio hardware of that kind exists here
};

// The output devices; empty when no backend can open one.
std::vector<DeviceInfo> ListDevices();

struct PcmFormat {
    int channels = 1;      // 1 or 2
    int bitsPerSample = 16; // 8 (unsigned) or 16 (signed)
    int rate = 22050;
};

class Device;

// Sample data shared by any number of sources.
class Buffer {
public:
    ~Buffer();
    Buffer(const Buffer&) = delete;
    Buffer& operator=(const Buffer&) = delete;
    const PcmFormat& Format() const { return format_; }
    uint32_t Bytes() const { return bytes_; }

private:
    friend class Device;
    friend class Source;
    Buffer() = default;
    unsigned id_ = 0;
    const Device* device_ = nullptr;
    PcmFormat format_;
    uint32_t bytes_ = 0;
};

// One playing voice over a buffer.
class Source {
public:
    ~Source();
    Source(const Source&) = delete;
    Source& operator=(const Source&) = delete;

    void SetGain(float gain);
    void SetPitch(float factor); // 1 = the buffer's own rate
    void SetLooping(bool on);
    // Placed in the world (false: heard as if at the listener, no panning).
    void SetPositioned(bool on);
    void SetPosition(float x, float y, float z);
    void SetReverbSend(bool on);
    bool Play();
    void Stop();
    bool IsPlaying() const;
    // Read position in bytes of the buffer while playing; 0 once stopped.
    uint32_t ByteOffset() const;
    bool SetByteOffset(uint32_t offset);

private:
    friend class Device;
    Source() = default;
    unsigned id_ = 0;
    const Device* device_ = nullptr;
};

struct ReverbSettings {
    int environment = 0;
    float volume = 0.0f;     // 0..1 wet level
    float decayTime = 1.49f; // seconds
    float damping = 0.5f;    // 0..2 ratio of high- to low-frequency decay
};

class Device {
public:
    // The named device of the system ("" default); null when it does not open.
    static std::unique_ptr<Device> Open(const std::string& name);
    // A device mixing into memory at `rate` frames per second, stereo 16-bit.
    static std::unique_ptr<Device> OpenLoopback(int rate);
    ~Device();
    Device(const Device&) = delete;
    Device& operator=(const Device&) = delete;

    const DeviceInfo& Info() const { return info_; }
    bool IsLoopback() const { return loopback_; }

    // Null when the format is not 8/16-bit mono/stereo or the data is empty.
    std::unique_ptr<Buffer> MakeBuffer(const PcmFormat& format, std::span<const uint8_t> samples);
    std::unique_ptr<Source> MakeSource(const Buffer& buffer);

    void SetListener(const float position[3], const float front[3], const float top[3]);

    // Reverb on the sends of sources that enable it; false without EFX.
    bool SetReverb(const ReverbSettings& settings);
    bool ReverbActive() const { return effect_ != 0; }

    // Loopback only: mixes `frames` stereo frames (interleaved, 16-bit).
    std::vector<int16_t> Render(int frames);
    int Rate() const { return rate_; }

    void MakeCurrent() const;

private:
    friend class Source;
    Device() = default;
    void* device_ = nullptr;  // ALCdevice
    void* context_ = nullptr; // ALCcontext
    bool loopback_ = false;
    int rate_ = 0;
    unsigned slot_ = 0;
    unsigned effect_ = 0;
    DeviceInfo info_;
};

} // namespace platform::audio
