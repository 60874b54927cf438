// Small media files, written by the sample generator and the tests, in
// formats FFmpeg recognises by their content whatever the file is called:
// 16-bit PCM wave files, YUV4MPEG2 movies of solid-colour frames, and AVI
// movies of solid-colour frames with a sound track.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace test_media {

inline void PutU32(std::ofstream& out, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out.put(char((v >> (8 * i)) & 0xFF));
}

inline void PutU16(std::ofstream& out, uint16_t v)
{
    out.put(char(v & 0xFF));
    out.put(char(v >> 8));
}

// `frames` sample frames of `sample(frame, channel)`; frames 0 gives a file
// with a header and no sound.
inline void WriteWave(const std::filesystem::path& path, int rate, int channels, uint32_t frames,
                      const std::function<int16_t(uint32_t, int)>& sample)
{
    std::ofstream out(path, std::ios::binary);
    const uint32_t bytes = frames * uint32_t(channels) * 2;
    out.write("RIFF", 4);
    PutU32(out, 36 + bytes);
    out.write("WAVEfmt ", 8);
    PutU32(out, 16);
    PutU16(out, 1);
    PutU16(out, uint16_t(channels));
    PutU32(out, uint32_t(rate));
    PutU32(out, uint32_t(rate * channels * 2));
    PutU16(out, uint16_t(channels * 2));
    PutU16(out, 16);
    out.write("data", 4);
    PutU32(out, bytes);
    for (uint32_t f = 0; f < frames; ++f)
        for (int c = 0; c < channels; ++c)
            PutU16(out, uint16_t(sample(f, c)));
}

struct Yuv {
    uint8_t y, u, v;
};

// A 4:2:0 movie at 25 frames a second, one solid colour per frame.
inline void WriteY4m(const std::filesystem::path& path, int width, int height, const std::vector<Yuv>& frames)
{
    std::ofstream out(path, std::ios::binary);
    out << "YUV4MPEG2 W" << width << " H" << height << " F25:1 Ip A1:1 C420mpeg2\n";
    const size_t luma = size_t(width) * size_t(height);
    const size_t chroma = size_t((width + 1) / 2) * size_t((height + 1) / 2);
    for (const Yuv& c : frames) {
        out << "FRAME\n";
        out << std::string(luma, char(c.y)) << std::string(chroma, char(c.u)) << std::string(chroma, char(c.v));
    }
}

struct Rgb {
    uint8_t r, g, b;
};

// An uncompressed AVI at 25 frames a second: one solid 24-bit colour per
// frame, each frame followed by its 1/25 s of mono 16-bit sound at `rate`
// (`sample(frame)` over the whole track), with an index.
inline void WriteAvi(const std::filesystem::path& path, int width, int height, const std::vector<Rgb>& frames,
                     int rate, const std::function<int16_t(uint32_t)>& sample)
{
    const uint32_t rowBytes = (uint32_t(width) * 3 + 3) & ~3u;
    const uint32_t pictureBytes = rowBytes * uint32_t(height);
    const uint32_t soundFrames = uint32_t(rate / 25);
    const uint32_t soundBytes = soundFrames * 2;
    const auto count = uint32_t(frames.size());
    const uint32_t strl = 4 + (8 + 56) + (8 + 40);
    const uint32_t strlSound = 4 + (8 + 56) + (8 + 16);
    const uint32_t hdrl = 4 + (8 + 56) + (8 + strl) + (8 + strlSound);
    const uint32_t movi = 4 + count * ((8 + pictureBytes) + (8 + soundBytes));
    const uint32_t idx1 = count * 2 * 16;
    std::ofstream out(path, std::ios::binary);
    const auto tag = [&](const char* fourcc) { out.write(fourcc, 4); };
    tag("RIFF");
    PutU32(out, 4 + (8 + hdrl) + (8 + movi) + (8 + idx1));
    tag("AVI ");
    tag("LIST");
    PutU32(out, hdrl);
    tag("hdrl");
    tag("avih");
    PutU32(out, 56);
    for (uint32_t v : {40000u, (pictureBytes + soundBytes) * 25, 0u, 0x110u, count, 0u, 2u, pictureBytes,
                       uint32_t(width), uint32_t(height), 0u, 0u, 0u, 0u})
        PutU32(out, v);
    const auto streamHeader = [&](const char* type, uint32_t scale, uint32_t perSecond, uint32_t length,
                                  uint32_t buffer, uint32_t sampleSize, int w, int h) {
        tag("strh");
        PutU32(out, 56);
        tag(type);
        PutU32(out, 0);  // handler
        PutU32(out, 0);  // flags
        PutU16(out, 0);  // priority
        PutU16(out, 0);  // language
        for (uint32_t v : {0u, scale, perSecond, 0u, length, buffer, 0xFFFFFFFFu, sampleSize})
            PutU32(out, v);
        for (int v : {0, 0, w, h})
            PutU16(out, uint16_t(v));
    };
    tag("LIST");
    PutU32(out, strl);
    tag("strl");
    streamHeader("vids", 1, 25, count, pictureBytes, 0, width, height);
    tag("strf");
    PutU32(out, 40);
    for (uint32_t v : {40u, uint32_t(width), uint32_t(height)})
        PutU32(out, v);
    PutU16(out, 1);
    PutU16(out, 24);
    for (uint32_t v : {0u, pictureBytes, 0u, 0u, 0u, 0u})
        PutU32(out, v);
    tag("LIST");
    PutU32(out, strlSound);
    tag("strl");
    streamHeader("auds", 2, uint32_t(rate) * 2, count * soundFrames, soundBytes, 2, 0, 0);
    tag("strf");
    PutU32(out, 16);
    PutU16(out, 1);
    PutU16(out, 1);
    PutU32(out, uint32_t(rate));
    PutU32(out, uint32_t(rate) * 2);
    PutU16(out, 2);
    PutU16(out, 16);
    tag("LIST");
    PutU32(out, movi);
    tag("movi");
    for (uint32_t f = 0; f < count; ++f) {
        tag("00db");
        PutU32(out, pictureBytes);
        std::string row(rowBytes, '\0');
        for (int x = 0; x < width; ++x) {
            row[size_t(x) * 3] = char(frames[f].b);
            row[size_t(x) * 3 + 1] = char(frames[f].g);
            row[size_t(x) * 3 + 2] = char(frames[f].r);
        }
        for (int y = 0; y < height; ++y)
            out << row;
        tag("01wb");
        PutU32(out, soundBytes);
        for (uint32_t i = 0; i < soundFrames; ++i)
            PutU16(out, uint16_t(sample(f * soundFrames + i)));
    }
    tag("idx1");
    PutU32(out, idx1);
    uint32_t offset = 4;
    for (uint32_t f = 0; f < count; ++f) {
        tag("00db");
        PutU32(out, 0x10);
        PutU32(out, offset);
        PutU32(out, pictureBytes);
        offset += 8 + pictureBytes;
        tag("01wb");
        PutU32(out, 0x10);
        PutU32(out, offset);
        PutU32(out, soundBytes);
        offset += 8 + soundBytes;
    }
}

} // namespace test_media
