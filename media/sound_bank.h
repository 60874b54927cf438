// Sound bank files ("FILECHNK": named entries, each a wave or meta-wave
// chunk), the "WAVCHUNK" and "METAWVCK" chunk payloads and WAV images. One
// reader and one writer per format, next to each other; the sound system's
// loaders and the sample generator share them.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

struct MetaPair {
    int32_t sound = 0; // 0 or less: minus the index of an entry of the same bank
    int32_t value = 0; // weight (random) or repeat count (sequence; -1 until stopped)
};

struct WaveDescriptor {
    int32_t sound = 0;
    int32_t volume = 100;
    float pitch = 0.0f; // semitones
    int32_t word = 0;
    float inner = 5.0f;
    float outer = 50.0f;
    uint32_t loadFlags = 0;
    std::vector<uint8_t> data; // the WAV file image
};

struct MetaDescriptor {
    uint32_t flags = 0; // bit 0: random choice, else a sequence
    std::vector<MetaPair> pairs;
};

// Nothing when the bytes are not a wave chunk of version 0..3 with data.
std::optional<WaveDescriptor> ReadWaveChunk(std::span<const uint8_t> bytes);
// Always version 3.
std::vector<uint8_t> WriteWaveChunk(const WaveDescriptor& wave);
// Nothing when not a meta chunk of version 0..1 with at least one pair.
std::optional<MetaDescriptor> ReadMetaChunk(std::span<const uint8_t> bytes);
std::vector<uint8_t> WriteMetaChunk(const MetaDescriptor& meta);

struct SoundBankEntry {
    std::string name;
    uint32_t unread = 0;
    uint32_t meta = 0;
    uint32_t offset = 0; // from the start of the file
    std::span<const uint8_t> data; // from the offset to the image's end
};

struct SoundBankFile {
    uint32_t version = 2;
    std::vector<SoundBankEntry> entries;
};

// Nothing, with `error` set, for a short file, another magic, or an entry
// that runs past the end or points outside the file. Entry data views point
// into `bytes`.
std::optional<SoundBankFile> ReadSoundBank(std::span<const uint8_t> bytes, std::string* error = nullptr);

struct SoundBankSource {
    std::string name;
    bool meta = false;
    std::vector<uint8_t> chunk; // a wave or meta chunk
};
std::vector<uint8_t> WriteSoundBank(const std::vector<SoundBankSource>& entries, uint32_t version = 2);

// A loaded bank in the sound system's list.
struct SoundBank {
    std::string path;      // as passed in; compared ignoring case
    std::string directory; // where its loose WAV files lie: the path without its extension
    std::vector<uint8_t> image;
    SoundBankFile file;
    std::vector<int32_t> ids; // sound id made from each entry (0 until made)
    const SoundBankEntry* Find(const std::string& name) const;
};

// The path with the extension of its last component removed ("a.b\\UI.dat"
// gives "a.b\\UI").
std::string BankDirectory(const std::string& path);

// A WAV image decoded to PCM that a device can play.
struct PcmSound {
    int channels = 1;
    int bitsPerSample = 16;
    int rate = 22050;
    std::vector<uint8_t> samples;
};

// The accepted images: RIFF/WAVE, "fmt " first, the data chunk right after
// it; PCM of 8 or 16 bits, or IMA ADPCM (decoded to 16 bits). Nothing, with
// `error` set, for anything else.
std::optional<PcmSound> DecodeWav(std::span<const uint8_t> image, std::string* error = nullptr);
// A plain PCM image.
std::vector<uint8_t> WritePcmWav(const PcmSound& sound);
