// Music, CD tracks, the intro video and the subtitle file: short generated
// tones and colour fades in formats FFmpeg recognises by their content.
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "sample/generator.h"
#include "sample/media_writer.h"

namespace sample {
namespace {

namespace fs = std::filesystem;

// Seconds of a chord at `base` Hz, fading in and out so loops do not click.
void WriteTune(const fs::path& path, double base, double seconds)
{
    const int rate = 22050;
    const auto frames = uint32_t(seconds * rate);
    test_media::WriteWave(path, rate, 2, frames, [=](uint32_t f, int c) {
        const double t = double(f) / rate;
        const double envelope = std::min(1.0, std::min(t, seconds - t) * 4);
        const double v = std::sin(2 * M_PI * base * t) + 0.5 * std::sin(2 * M_PI * base * (c ? 1.5 : 1.25) * t);
        return int16_t(6000 * envelope * v);
    });
}

bool WriteMediaFiles(const Context& ctx)
{
    std::error_code ec;
    for (const char* dir : {"sound/music", "cd", "fmvs", "tools inifile"})
        fs::create_directories(ctx.out / dir, ec);
    if (ec) {
        std::fprintf(stderr, "sample_gen: media folders: %s\n", ec.message().c_str());
        return false;
    }
    WriteTune(ctx.out / "sound/music/track1.bik", 220, 4);
    WriteTune(ctx.out / "sound/music/battle01.bik", 330, 3);
    WriteTune(ctx.out / "cd/track01.wav", 262, 2);
    WriteTune(ctx.out / "cd/track02.wav", 294, 2);
    // The staging file's looped playlist runs tracks 2 and 3.
    WriteTune(ctx.out / "cd/track03.wav", 330, 2);
    std::vector<test_media::Yuv> frames;
    for (int i = 0; i < 50; ++i)
        frames.push_back({uint8_t(16 + i * 4), uint8_t(128 + i), uint8_t(128 - i)});
    test_media::WriteY4m(ctx.out / "fmvs/dz.bik", 160, 120, frames);
    std::ofstream subtitles(ctx.out / "tools inifile/script_english.txt", std::ios::binary);
    subtitles << "Scene\tLine\tText\r\n"
                 "intro\r\n"
                 "\t1\tSquad, this is command. Hold the ridge.\r\n"
                 "\t2\tMovement on the far side\x85 stay sharp.\r\n"
                 "\t3\tThat\x92s the signal. Go.\r\n";
    return bool(subtitles);
}

const StepRegistration kMediaFiles(45, "music, CD tracks, video and subtitles", WriteMediaFiles);

} // namespace
} // namespace sample
