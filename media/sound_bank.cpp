#include "media/sound_bank.h"

#include <algorithm>
#include <cstring>

#include "platform/byte_cursor.h"

using trevok::ByteReader;
using trevok::ByteWriter;

namespace {

constexpr char kWaveChunk[] = "WAVCHUNK";
constexpr char kMetaChunk[] = "METAWVCK";
constexpr char kBankMagic[] = "FILECHNK";
constexpr uint32_t kBankHeader = 20;

bool Tag(ByteReader& r, const char* tag, size_t n)
{
    auto s = r.Take(n);
    return s.size() == n && std::memcmp(s.data(), tag, n) == 0;
}

void SetError(std::string* error, const std::string& text)
{
    if (error)
        *error = text;
}

} // namespace

std::optional<WaveDescriptor> ReadWaveChunk(std::span<const uint8_t> bytes)
{
    ByteReader r(bytes);
    if (!Tag(r, kWaveChunk, 8))
        return std::nullopt;
    r.U32(); // chunk size
    const uint32_t version = r.U32();
    if (version > 3)
        return std::nullopt;
    WaveDescriptor w;
    w.sound = r.I32();
    w.volume = r.I32();
    w.pitch = r.F32();
    if (version >= 2)
        w.word = r.I32();
    if (version >= 3) {
        w.inner = r.F32();
        w.outer = r.F32();
    }
    const uint32_t length = r.U32();
    auto data = r.Take(length);
    if (!r.Ok() || length == 0)
        return std::nullopt;
    w.data.assign(data.begin(), data.end());
    return w;
}

std::vector<uint8_t> WriteWaveChunk(const WaveDescriptor& wave)
{
    std::vector<uint8_t> out;
    ByteWriter w(out);
    w.Bytes(kWaveChunk, 8);
    w.U32(static_cast<uint32_t>((48 + wave.data.size() + 3) & ~size_t{3}));
    w.U32(3);
    w.I32(wave.sound);
    w.I32(wave.volume);
    w.F32(wave.pitch);
    w.I32(wave.word);
    w.F32(wave.inner);
    w.F32(wave.outer);
    w.U32(static_cast<uint32_t>(wave.data.size()));
    w.Bytes(wave.data.data(), wave.data.size());
    w.PadTo4();
    return out;
}

std::optional<MetaDescriptor> ReadMetaChunk(std::span<const uint8_t> bytes)
{
    ByteReader r(bytes);
    if (!Tag(r, kMetaChunk, 8))
        return std::nullopt;
    r.U32();
    if (r.U32() > 1)
        return std::nullopt;
    const uint32_t count = r.U32();
    MetaDescriptor m;
    m.flags = r.U32();
    // The count comes from the file: never reserve more than the bytes hold.
    if (count == 0 || count > r.Remaining() / 8)
        return std::nullopt;
    m.pairs.resize(count);
    for (auto& p : m.pairs) {
        p.sound = r.I32();
        p.value = r.I32();
    }
    if (!r.Ok())
        return std::nullopt;
    return m;
}

std::vector<uint8_t> WriteMetaChunk(const MetaDescriptor& meta)
{
    std::vector<uint8_t> out;
    ByteWriter w(out);
    w.Bytes(kMetaChunk, 8);
    w.U32(static_cast<uint32_t>(40 + 8 * meta.pairs.size()));
    w.U32(1);
    w.U32(static_cast<uint32_t>(meta.pairs.size()));
    w.U32(meta.flags);
    for (const auto& p : meta.pairs) {
        w.I32(p.sound);
        w.I32(p.value);
    }
    return out;
}

std::optional<SoundBankFile> ReadSoundBank(std::span<const uint8_t> bytes, std::string* error)
{
    ByteReader r(bytes);
    if (!Tag(r, kBankMagic, 8)) {
        SetError(error, "not a sound bank (no FILECHNK at offset 0)");
        return std::nullopt;
    }
    const uint32_t total = r.U32();
    SoundBankFile bank;
    bank.version = r.U32();
    const uint32_t count = r.U32();
    if (!r.Ok() || total < kBankHeader - 4 || total > bytes.size()) {
        SetError(error, "file shorter than its stated size " + std::to_string(total));
        return std::nullopt;
    }
    const auto image = bytes.first(total);
    // Each entry takes at least 12 bytes: a count beyond that is damage.
    if (count > (total - std::min(total, kBankHeader)) / 12) {
        SetError(error, "entry count " + std::to_string(count) + " does not fit the file");
        return std::nullopt;
    }
    ByteReader e(image);
    e.Seek(kBankHeader);
    bank.entries.resize(count);
    for (uint32_t i = 0; i < count; ++i) {
        auto& entry = bank.entries[i];
        const size_t at = e.Position();
        const uint32_t length = e.U32();
        if (length == 0 || length % 4 != 0 || !e.Has(length)) {
            SetError(error, "entry " + std::to_string(i) + " at offset " + std::to_string(at) +
                                ": bad name length " + std::to_string(length));
            return std::nullopt;
        }
        entry.name = e.FixedString(length);
        entry.unread = e.U32();
        entry.meta = bank.version >= 2 ? e.U32() : 0;
        entry.offset = e.U32();
        if (!e.Ok() || entry.offset >= total) {
            SetError(error, "entry " + std::to_string(i) + " at offset " + std::to_string(at) +
                                ": data outside the file");
            return std::nullopt;
        }
        entry.data = image.subspan(entry.offset);
    }
    return bank;
}

std::vector<uint8_t> WriteSoundBank(const std::vector<SoundBankSource>& entries, uint32_t version)
{
    std::vector<uint8_t> out;
    ByteWriter w(out);
    w.Bytes(kBankMagic, 8);
    w.U32(0); // patched
    w.U32(version);
    w.U32(static_cast<uint32_t>(entries.size()));
    std::vector<size_t> offsetFields;
    for (const auto& e : entries) {
        w.U32(static_cast<uint32_t>(ByteReader::PaddedLength(e.name.size())));
        w.PaddedString(e.name);
        w.U32(0);
        if (version >= 2)
            w.U32(e.meta ? 1 : 0);
        offsetFields.push_back(w.Position());
        w.U32(0);
    }
    for (size_t i = 0; i < entries.size(); ++i) {
        w.PatchU32(offsetFields[i], static_cast<uint32_t>(w.Position()));
        w.Bytes(entries[i].chunk.data(), entries[i].chunk.size());
    }
    w.PatchU32(8, static_cast<uint32_t>(out.size()));
    return out;
}

const SoundBankEntry* SoundBank::Find(const std::string& name) const
{
    for (const auto& e : file.entries)
        if (e.name == name)
            return &e;
    return nullptr;
}

std::string BankDirectory(const std::string& path)
{
    const size_t slash = path.find_last_of("/\\");
    const size_t dot = path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return path;
    return path.substr(0, dot);
}

namespace {

constexpr uint16_t kPcm = 1, kImaAdpcm = 0x11;

const int kImaSteps[89] = {7,     8,     9,     10,    11,    12,    13,    14,    16,    17,    19,    21,    23,
                           25,    28,    31,    34,    37,    41,    45,    50,    55,    60,    66,    73,    80,
                           88,    97,    107,   118,   130,   143,   157,   173,   190,   209,   230,   253,   279,
                           307,   337,   371,   408,   449,   494,   544,   598,   658,   724,   796,   876,   963,
                           1060,  1166,  1282,  1411,  1552,  1707,  1878,  2066,  2272,  2499,  2749,  3024,  3327,
                           3660,  4026,  4428,  4871,  5358,  5894,  6484,  7132,  7845,  8630,  9493,  10442, 11487,
                           12635, 13899, 15289, 16818, 18500, 20350, 22385, 24623, 27086, 29794, 32767};
const int kImaIndexStep[8] = {-1, -1, -1, -1, 2, 4, 6, 8};

struct ImaChannel {
    int predictor = 0;
    int index = 0;
    int16_t Next(int nibble)
    {
        const int step = kImaSteps[index];
        int diff = step >> 3;
        if (nibble & 1)
            diff += step >> 2;
        if (nibble & 2)
            diff += step >> 1;
        if (nibble & 4)
            diff += step;
        predictor += (nibble & 8) ? -diff : diff;
        predictor = std::clamp(predictor, -32768, 32767);
        index = std::clamp(index + kImaIndexStep[nibble & 7], 0, 88);
        return static_cast<int16_t>(predictor);
    }
};

void PutSample(std::vector<uint8_t>& out, size_t at, int16_t v)
{
    out[at] = static_cast<uint8_t>(v);
    out[at + 1] = static_cast<uint8_t>(static_cast<uint16_t>(v) >> 8);
}

// Blocks of a 4-byte header per channel, then groups of 4 bytes per channel
// holding 8 samples each; the header's sample is the block's first.
bool DecodeIma(std::span<const uint8_t> data, int channels, int blockAlign, int samplesPerBlock,
               std::vector<uint8_t>& out)
{
    if (blockAlign < 4 * channels || samplesPerBlock < 1)
        return false;
    const size_t expected = static_cast<size_t>((blockAlign - 4 * channels) * 8 / (4 * channels) + 1);
    if (static_cast<size_t>(samplesPerBlock) > expected)
        return false;
    for (size_t at = 0; at + static_cast<size_t>(4 * channels) <= data.size(); at += static_cast<size_t>(blockAlign)) {
        const auto block = data.subspan(at, std::min(static_cast<size_t>(blockAlign), data.size() - at));
        ByteReader r(block);
        std::vector<ImaChannel> state(static_cast<size_t>(channels));
        const size_t base = out.size();
        // A short last block yields as many samples as its bytes hold.
        const size_t groups = (block.size() - static_cast<size_t>(4 * channels)) / static_cast<size_t>(4 * channels);
        const size_t frames = std::min(static_cast<size_t>(samplesPerBlock), 1 + groups * 8);
        out.resize(base + frames * static_cast<size_t>(channels) * 2);
        for (int c = 0; c < channels; ++c) {
            state[static_cast<size_t>(c)].predictor = static_cast<int16_t>(r.U16());
            state[static_cast<size_t>(c)].index = std::clamp<int>(r.U8(), 0, 88);
            r.U8();
            PutSample(out, base + static_cast<size_t>(c) * 2, static_cast<int16_t>(state[static_cast<size_t>(c)].predictor));
        }
        for (size_t g = 0; g < groups; ++g)
            for (int c = 0; c < channels; ++c)
                for (int b = 0; b < 4; ++b) {
                    const uint8_t byte = r.U8();
                    for (int half = 0; half < 2; ++half) {
                        const size_t frame = 1 + g * 8 + static_cast<size_t>(b * 2 + half);
                        const int16_t v = state[static_cast<size_t>(c)].Next(half ? byte >> 4 : byte & 15);
                        if (frame < frames)
                            PutSample(out, base + (frame * static_cast<size_t>(channels) + static_cast<size_t>(c)) * 2, v);
                    }
                }
    }
    return true;
}

} // namespace

std::optional<PcmSound> DecodeWav(std::span<const uint8_t> image, std::string* error)
{
    ByteReader r(image);
    if (!Tag(r, "RIFF", 4) || (r.U32(), !Tag(r, "WAVE", 4)) || !Tag(r, "fmt ", 4)) {
        SetError(error, "not a WAV image (RIFF, WAVE and fmt expected at 0, 8 and 12)");
        return std::nullopt;
    }
    const uint32_t formatLength = r.U32();
    auto format = r.Take(formatLength);
    if (!r.Ok() || formatLength < 16) {
        SetError(error, "format chunk too short");
        return std::nullopt;
    }
    if (formatLength & 1)
        r.Skip(1);
    ByteReader f(format);
    const uint16_t tag = f.U16();
    PcmSound pcm;
    pcm.channels = f.U16();
    pcm.rate = static_cast<int>(f.U32());
    f.U32(); // bytes per second
    const uint16_t blockAlign = f.U16();
    const uint16_t bits = f.U16();
    uint16_t samplesPerBlock = 0;
    if (formatLength >= 20) {
        f.U16();
        samplesPerBlock = f.U16();
    }
    // Chunks other than "data" after the format (a "fact" chunk) are skipped.
    std::span<const uint8_t> data;
    while (r.Ok() && !r.AtEnd()) {
        auto id = r.Take(4);
        const uint32_t length = r.U32();
        if (!r.Ok())
            break;
        if (std::memcmp(id.data(), "data", 4) == 0) {
            data = image.subspan(r.Position(), std::min<size_t>(length, r.Remaining()));
            break;
        }
        r.Skip(length + (length & 1));
    }
    if (data.empty()) {
        SetError(error, "no data chunk");
        return std::nullopt;
    }
    if (pcm.channels < 1 || pcm.channels > 2 || pcm.rate <= 0 || pcm.rate > 192000) {
        SetError(error, "unsupported channel count or rate");
        return std::nullopt;
    }
    if (tag == kPcm && (bits == 8 || bits == 16)) {
        pcm.bitsPerSample = bits;
        pcm.samples.assign(data.begin(), data.end());
        return pcm;
    }
    if (tag == kImaAdpcm && bits == 4) {
        pcm.bitsPerSample = 16;
        if (DecodeIma(data, pcm.channels, blockAlign, samplesPerBlock, pcm.samples) && !pcm.samples.empty())
            return pcm;
        SetError(error, "damaged IMA ADPCM block layout");
        return std::nullopt;
    }
    SetError(error, "format " + std::to_string(tag) + " with " + std::to_string(bits) +
                        "-bit samples (PCM of 8 or 16 bits, or IMA ADPCM expected)");
    return std::nullopt;
}

std::vector<uint8_t> WritePcmWav(const PcmSound& sound)
{
    std::vector<uint8_t> out;
    ByteWriter w(out);
    const uint32_t blockAlign = static_cast<uint32_t>(sound.channels * sound.bitsPerSample / 8);
    w.Bytes("RIFF", 4);
    w.U32(static_cast<uint32_t>(36 + sound.samples.size()));
    w.Bytes("WAVE", 4);
    w.Bytes("fmt ", 4);
    w.U32(16);
    w.U16(kPcm);
    w.U16(static_cast<uint16_t>(sound.channels));
    w.U32(static_cast<uint32_t>(sound.rate));
    w.U32(static_cast<uint32_t>(sound.rate) * blockAlign);
    w.U16(static_cast<uint16_t>(blockAlign));
    w.U16(static_cast<uint16_t>(sound.bitsPerSample));
    w.Bytes("data", 4);
    w.U32(static_cast<uint32_t>(sound.samples.size()));
    w.Bytes(sound.samples.data(), sound.samples.size());
    return out;
}
