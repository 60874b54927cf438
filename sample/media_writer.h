// Small media files, written by the sample generator and the tests, in
// formats FFmpeg recognises by their content whatever the file is called:
// 16-bit PCM wave files and YUV4MPEG2 movies of solid-colour frames.
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

} // namespace test_media
