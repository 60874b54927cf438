// One frame of the sound system with 200 voices, 100 of them following moving
// emitters: the per-frame update alone, and with the mixing of that frame.
#include <benchmark/benchmark.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <memory>

#include "app/directories.h"
#include "media/device_sound_system.h"

namespace fs = std::filesystem;

namespace {

constexpr int kSounds = 30; // at most eight voices play one sound
constexpr int kVoices = 200;
constexpr int kEmitters = 100;
constexpr int kRate = 44100;

class Walker final : public SoundEmitter {
public:
    Vec3 SoundPosition() const override { return at; }
    Vec3 at{0, 0, 0};
};

std::vector<uint8_t> Tone(int i)
{
    PcmSound pcm{1, 16, 22050, {}};
    for (int n = 0; n < 22050 * 10; ++n) {
        const auto v = static_cast<int16_t>(8000 * std::sin(n * (0.02 + 0.003 * i)));
        pcm.samples.push_back(static_cast<uint8_t>(v));
        pcm.samples.push_back(static_cast<uint8_t>(static_cast<uint16_t>(v) >> 8));
    }
    return WritePcmWav(pcm);
}

struct Scene {
    fs::path root = fs::temp_directory_path() / "trevok_sound_bench";
    std::unique_ptr<DirectSoundSystem> sound;
    std::vector<Walker*> walkers;

    Scene()
    {
        fs::create_directories(root / "sounds");
        std::vector<SoundBankSource> entries;
        for (int i = 0; i < kSounds; ++i) {
            WaveDescriptor w;
            w.sound = 300 + i;
            w.data = Tone(i);
            entries.push_back({"tone" + std::to_string(i), false, WriteWaveChunk(w)});
        }
        const auto bank = WriteSoundBank(entries);
        std::ofstream(root / "sounds" / "bench.dat", std::ios::binary)
            .write(reinterpret_cast<const char*>(bank.data()), static_cast<std::streamsize>(bank.size()));
        auto& dirs = app::DataDirectories::Global();
        dirs.SetStartDirectory(root);
        dirs.SetPath(app::kSoundsDirectory, "sounds");
        SoundDevice device;
        device.loopbackRate = kRate;
        sound = std::make_unique<DirectSoundSystem>(device);
        sound->LoadSoundFile("bench.dat");
        sound->SetRefreshInterval(0); // every frame, the worst case
        for (int i = 0; i < kVoices; ++i) {
            const int32_t id = 300 + i % kSounds;
            if (i < kEmitters) {
                auto* w = new Walker();
                w->at = {static_cast<float>(i % 10) * 4 - 20, 0, static_cast<float>(i / 10) * 4};
                walkers.push_back(w);
                sound->Play(id, "t", {static_cast<SoundEmitter*>(w)});
            } else {
                const Vec3 at{static_cast<float>(i % 20) - 10, 0, static_cast<float>(i % 7) * 5};
                sound->Play(id, "d", {&at});
            }
        }
    }
    ~Scene()
    {
        sound.reset();
        for (auto* w : walkers)
            w->Release();
        fs::remove_all(root);
    }
    int Playing() const
    {
        int n = 0;
        for (int32_t i = 1; i < sound->VoiceCount(); ++i)
            n += sound->VoiceAt(i)->Active();
        return n;
    }
    void Frame(int frame)
    {
        for (size_t i = 0; i < walkers.size(); ++i)
            walkers[i]->at.x += std::sin(static_cast<float>(frame + static_cast<int>(i)) * 0.05f) * 0.1f;
        ListenerPlacement listener;
        listener.position = {std::sin(frame * 0.01f) * 5, 0, 10};
        sound->Update(listener);
    }
};

void UpdatePerFrame(benchmark::State& state)
{
    Scene scene;
    int frame = 0;
    for (auto _ : state)
        scene.Frame(frame++);
    state.counters["voices"] = scene.Playing();
}
BENCHMARK(UpdatePerFrame);

void UpdateAndMixPerFrame(benchmark::State& state)
{
    Scene scene;
    auto* device = scene.sound->Device();
    int frame = 0;
    for (auto _ : state) {
        scene.Frame(frame++);
        benchmark::DoNotOptimize(device->Render(kRate / 60));
    }
    state.counters["voices"] = scene.Playing();
}
// 500 frames stay within the ten-second tones, so all 200 voices mix throughout.
BENCHMARK(UpdateAndMixPerFrame)->Iterations(500);

} // namespace
