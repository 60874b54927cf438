// What the device variants really play, mixed by the audio layer's loopback
// device and measured with sox: volume, pitch, the side of a placed sound and
// the reverb tail of the environment.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>

#include "app/directories.h"
#include "media/device_sound_system.h"
#include "support/chunk_bytes.h"

namespace fs = std::filesystem;

namespace {

constexpr int kRate = 44100;
constexpr int32_t kTone = 300;  // 440 Hz, one second
constexpr int32_t kClick = 301; // 440 Hz, 50 ms

bool HaveSox() { return std::system("sox --version >/dev/null 2>&1") == 0; }

std::vector<uint8_t> Sine(double hz, double seconds, int rate)
{
    PcmSound pcm{1, 16, rate, {}};
    const int frames = static_cast<int>(seconds * rate);
    for (int i = 0; i < frames; ++i) {
        const auto v = static_cast<int16_t>(std::lround(20000.0 * std::sin(2 * M_PI * hz * i / rate)));
        pcm.samples.push_back(static_cast<uint8_t>(v));
        pcm.samples.push_back(static_cast<uint8_t>(static_cast<uint16_t>(v) >> 8));
    }
    return WritePcmWav(pcm);
}

class AudioOutput : public testing::Test {
protected:
    void SetUp() override
    {
        if (!HaveSox())
            GTEST_SKIP() << "sox not installed";
        root_ = fs::temp_directory_path() / ("trevok_audio_" + std::to_string(::getpid()));
        fs::create_directories(root_ / "sounds");
        WaveDescriptor tone, click;
        tone.sound = kTone;
        tone.data = Sine(440, 1.0, 22050);
        click.sound = kClick;
        click.data = Sine(440, 0.05, 22050);
        chunkbytes::WriteBytes(root_ / "sounds" / "test.dat",
                               WriteSoundBank({{"tone", false, WriteWaveChunk(tone)}, {"click", false, WriteWaveChunk(click)}}));
        auto& dirs = app::DataDirectories::Global();
        dirs.Clear();
        dirs.SetStartDirectory(root_);
        dirs.SetPath(app::kSoundsDirectory, "sounds");
    }
    void TearDown() override
    {
        system_.reset();
        app::DataDirectories::Global().Clear();
        app::DataDirectories::Global().SetStartDirectory({});
        fs::remove_all(root_);
    }

    template <typename Variant>
    Variant& Start()
    {
        SoundDevice device;
        device.loopbackRate = kRate;
        auto* v = new Variant(device);
        system_.reset(v);
        if (v->State() != SoundSystem::kActive)
            return *v;
        v->LoadSoundFile("test.dat");
        return *v;
    }

    // Mixes `seconds` of output into a WAV file and returns its path.
    fs::path Record(double seconds, const char* name)
    {
        auto* device = static_cast<DeviceSoundSystem*>(system_.get())->Device();
        PcmSound out{2, 16, kRate, {}};
        const auto frames = device->Render(static_cast<int>(seconds * kRate));
        for (int16_t s : frames) {
            out.samples.push_back(static_cast<uint8_t>(s));
            out.samples.push_back(static_cast<uint8_t>(static_cast<uint16_t>(s) >> 8));
        }
        const fs::path path = root_ / name;
        chunkbytes::WriteBytes(path, WritePcmWav(out));
        return path;
    }

    // One figure of sox's "stat" for the file after `effects`.
    static double Stat(const fs::path& file, const std::string& effects, const std::string& label)
    {
        const std::string command = "sox " + file.string() + " -n " + effects + " stat 2>&1";
        FILE* pipe = popen(command.c_str(), "r");
        if (!pipe)
            return NAN;
        char line[256];
        double value = NAN;
        while (std::fgets(line, sizeof line, pipe)) {
            std::string text(line);
            if (text.rfind(label, 0) == 0)
                value = std::atof(text.substr(text.find(':') + 1).c_str());
        }
        pclose(pipe);
        return value;
    }

    fs::path root_;
    std::unique_ptr<SoundSystem> system_;
};

TEST_F(AudioOutput, VolumeFollowsEachVariantsTable)
{
    struct Row {
        bool a3d;
        int32_t volume;
        double gain;
    } rows[] = {
        {false, 100, 1.0}, {false, 50, std::pow(10.0, -1000 / 2000.0)}, {false, 25, std::pow(10.0, -2000 / 2000.0)},
        {true, 100, 1.0},  {true, 50, std::pow(0.5, 0.6)},               {true, 25, std::pow(0.25, 0.6)},
    };
    double full = 0;
    for (const auto& r : rows) {
        SoundSystem& sound =
            r.a3d ? static_cast<SoundSystem&>(Start<A3dSoundSystem>()) : Start<DirectSoundSystem>();
        ASSERT_EQ(sound.State(), SoundSystem::kActive);
        ASSERT_GT(sound.Play(kTone, "v", {r.volume}), 0);
        const double rms = Stat(Record(0.5, "volume.wav"), "remix 1", "RMS     amplitude");
        if (r.volume == 100)
            full = rms;
        EXPECT_NEAR(rms / full, r.gain, 0.02 * r.gain) << (r.a3d ? "A3D" : "DirectSound") << " volume " << r.volume;
    }
}

TEST_F(AudioOutput, PitchShiftsTheFrequency)
{
    struct Row {
        const char* variant;
        float octaves;
        double hz;
    } rows[] = {{"DirectSound", 0.0f, 440}, {"DirectSound", 1.0f, 880}, {"A3D", -1.0f, 220}};
    for (const auto& r : rows) {
        SoundSystem& sound = std::string(r.variant) == "A3D" ? static_cast<SoundSystem&>(Start<A3dSoundSystem>())
                                                             : Start<DirectSoundSystem>();
        ASSERT_GT(sound.Play(kTone, "f", {r.octaves}), 0);
        const double hz = Stat(Record(0.5, "pitch.wav"), "remix 1", "Rough   frequency");
        EXPECT_NEAR(hz, r.hz, r.hz * 0.03) << r.variant << " " << r.octaves;
    }
}

TEST_F(AudioOutput, APlacedSoundIsHeardOnItsSide)
{
    auto& sound = Start<A3dSoundSystem>();
    ASSERT_EQ(sound.State(), SoundSystem::kActive);
    for (float x : {10.0f, -10.0f}) {
        const Vec3 at{x, 0, 0};
        const int32_t v = sound.Play(kTone, "d", {&at});
        ASSERT_GT(v, 0);
        const fs::path file = Record(0.3, "side.wav");
        const double left = Stat(file, "remix 1", "RMS     amplitude");
        const double right = Stat(file, "remix 2", "RMS     amplitude");
        sound.FreeVoiceByIndex(v);
        if (x > 0)
            EXPECT_GT(right, 2 * left) << "a sound at +x plays on the right";
        else
            EXPECT_GT(left, 2 * right) << "a sound at -x plays on the left";
    }
}

TEST_F(AudioOutput, TheEnvironmentLeavesAReverbTail)
{
    double tails[2] = {};
    int i = 0;
    for (bool environment : {true, false}) {
        SoundSystem& sound = environment ? static_cast<SoundSystem&>(Start<DirectSoundSystem>())
                                         : Start<A3dSoundSystem>();
        if (environment && !static_cast<DirectSoundSystem&>(sound).Environment())
            GTEST_SKIP() << "no reverb on this OpenAL build";
        ASSERT_GT(sound.Play(kClick, ""), 0);
        tails[i++] = Stat(Record(1.0, "tail.wav"), "trim 0.2", "RMS     amplitude");
    }
    EXPECT_GT(tails[0], 0.001) << "the click rings on after it ended";
    EXPECT_LT(tails[1], tails[0] / 10) << "without an environment the click just stops";
}

} // namespace
