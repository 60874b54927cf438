// The sound banks of the sample data: the interface sounds "UI.dat" (fixed
// ids the game plays by number) and the level banks "robots.dat",
// "specials.dat" and "environ.dat", from generated tones and noise. A loose
// WAV file beside "environ.dat" shows the bank-folder lookup.
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "media/sound_bank.h"
#include "sample/generator.h"

namespace sample {
namespace {

namespace fs = std::filesystem;

constexpr int kRate = 22050;
constexpr double kPi = 3.14159265358979323846;

// A tone sliding from `from` to `to` Hz with a short fade at both ends;
// `noise` mixes in a fixed pseudo-random hiss (explosions, wind).
std::vector<uint8_t> Tone(double from, double to, double seconds, double noise, int bits)
{
    PcmSound pcm{1, bits, kRate, {}};
    const int frames = static_cast<int>(seconds * kRate);
    uint32_t seed = 0x2545F491;
    double phase = 0;
    for (int i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i) / frames;
        phase += 2 * kPi * (from + (to - from) * t) / kRate;
        seed = seed * 1664525u + 1013904223u;
        const double hiss = (static_cast<double>(seed >> 8) / (1 << 24)) * 2 - 1;
        const double fade = std::min({1.0, t * 20, (1 - t) * 20});
        const double v = fade * ((1 - noise) * std::sin(phase) + noise * hiss) * 0.7;
        if (bits == 8) {
            pcm.samples.push_back(static_cast<uint8_t>(std::lround(128 + 127 * v)));
        } else {
            const auto s = static_cast<int16_t>(std::lround(32767 * v));
            pcm.samples.push_back(static_cast<uint8_t>(s));
            pcm.samples.push_back(static_cast<uint8_t>(static_cast<uint16_t>(s) >> 8));
        }
    }
    return WritePcmWav(pcm);
}

struct SampleSound {
    const char* name;
    int32_t id; // 0 or less: minus the entry's index (the next free id)
    int32_t volume;
    double from, to, seconds, noise;
    int bits;
};

SoundBankSource Wave(const SampleSound& s)
{
    WaveDescriptor w;
    w.sound = s.id;
    w.volume = s.volume;
    w.data = Tone(s.from, s.to, s.seconds, s.noise, s.bits);
    return {s.name, false, WriteWaveChunk(w)};
}

bool Save(const fs::path& path, const std::vector<uint8_t>& bytes)
{
    std::error_code ec;
    fs::create_directories(path.parent_path(), ec);
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out) {
        std::fprintf(stderr, "sample_gen: cannot write %s\n", path.c_str());
        return false;
    }
    return true;
}

bool WriteBank(const fs::path& path, const std::vector<SampleSound>& waves, std::vector<SoundBankSource> metas = {})
{
    std::vector<SoundBankSource> entries;
    for (const auto& s : waves)
        entries.push_back(Wave(s));
    for (auto& m : metas)
        entries.push_back(std::move(m));
    return Save(path, WriteSoundBank(entries));
}

bool WriteSoundBanks(const Context& ctx)
{
    const fs::path dir = ctx.out / "sounds";
    // The interface plays these by number.
    const std::vector<SampleSound> ui = {
        {"click", 1, 80, 1200, 1200, 0.04, 0, 8},        {"wheel_open", 10, 90, 400, 900, 0.15, 0, 16},
        {"wheel_close", 11, 90, 900, 400, 0.15, 0, 16},   {"big_explosion", 14, 100, 80, 30, 0.9, 0.8, 16},
        {"no_ammo", 17, 90, 300, 200, 0.2, 0, 8},        {"choice", 20, 85, 660, 880, 0.08, 0, 16},
        {"leave_menu", 21, 85, 880, 440, 0.2, 0, 16},    {"wheel_segment", 22, 80, 700, 700, 0.05, 0, 8},
        {"upgrade_toggle", 29, 85, 500, 750, 0.12, 0, 16}, {"upgrade_open", 32, 85, 750, 500, 0.12, 0, 16},
        {"magazine_empty", 34, 90, 2000, 1500, 0.06, 0.3, 8}, {"alert", 36, 100, 880, 880, 0.3, 0, 16},
        {"calm", 37, 70, 440, 330, 0.3, 0, 16},
    };
    if (!WriteBank(dir / "UI.dat", ui))
        return false;

    // Level sounds take the next free ids; "robot_voice" picks one of the
    // three bleeps at random, "patrol" plays two steps then hums until stopped.
    const std::vector<SampleSound> robots = {
        {"footstep", 0, 70, 150, 90, 0.08, 0.5, 8},  {"shot", -1, 100, 1500, 200, 0.25, 0.6, 16},
        {"robot_hum", -2, 60, 110, 110, 1.0, 0.05, 16}, {"bleep_a", -3, 80, 900, 1100, 0.1, 0, 8},
        {"bleep_b", -4, 80, 1100, 800, 0.1, 0, 8},   {"bleep_c", -5, 80, 700, 1300, 0.1, 0, 8},
    };
    std::vector<SoundBankSource> robotMetas = {
        {"robot_voice", true, WriteMetaChunk({1, {{-3, 2}, {-4, 1}, {-5, 1}}})},
        {"patrol", true, WriteMetaChunk({0, {{0, 2}, {-2, -1}}})},
    };
    if (!WriteBank(dir / "robots.dat", robots, std::move(robotMetas)))
        return false;
    const std::vector<SampleSound> specials = {
        {"door", 0, 90, 200, 120, 0.6, 0.2, 16},
        {"lift", -1, 80, 90, 140, 1.5, 0.1, 16},
        {"pickup", -2, 90, 600, 1200, 0.15, 0, 8},
    };
    if (!WriteBank(dir / "specials.dat", specials))
        return false;
    const std::vector<SampleSound> environ = {
        {"wind", 0, 50, 200, 260, 3.0, 0.85, 16},
        {"machine", -1, 60, 55, 55, 2.0, 0.2, 16},
    };
    if (!WriteBank(dir / "environ.dat", environ))
        return false;
    return Save(dir / "environ" / "drip.wav", Tone(1800, 600, 0.12, 0, 8));
}

const StepRegistration kSoundBanks(40, "sound banks", WriteSoundBanks);

} // namespace
} // namespace sample
