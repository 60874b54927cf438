// The one global sound system: every sound effect of the game, placed in the
// world or not, looping ambient sounds, and meta-sounds (a random pick or a
// sequence). The base class keeps all device-independent bookkeeping (sound
// and meta-sound tables, voices, sequences, loaded banks, distance levels,
// voice stealing); the device variants own the sample buffers. Game thread
// only, except the random draw, which takes the system's lock.
#pragma once

#include <array>
#include <cstdint>
#include <initializer_list>
#include <list>
#include <memory>
#include <string>
#include <vector>

#include "app/maths.h"
#include "app/ref_counted.h"
#include "chunk/sequence_chunks.h"
#include "media/sound_bank.h"

namespace platform::audio {
class Buffer;
class Device;
class Source;
} // namespace platform::audio

class MainCamera;

// Something a voice follows; a voice holds one reference while it plays.
class SoundEmitter : public RefCounted {
public:
    virtual Vec3 SoundPosition() const = 0;

protected:
    ~SoundEmitter() override = default;
};

// Names keyed by the upper-case hash, matched exactly (letter case counts).
template <typename T>
class SoundNameTable {
public:
    static constexpr int kBuckets = 64;
    T* Find(const std::string& name) const
    {
        for (T* e : buckets_[Bucket(name)])
            if (e->name == name)
                return e;
        return nullptr;
    }
    void Add(T* e) { buckets_[Bucket(e->name)].push_back(e); }
    // By identity, so a duplicate of the same name never removes the original.
    void Remove(T* e)
    {
        auto& b = buckets_[Bucket(e->name)];
        for (auto it = b.begin(); it != b.end(); ++it)
            if (*it == e) {
                b.erase(it);
                return;
            }
    }
    template <typename F>
    void ForEach(F f) const
    {
        for (const auto& b : buckets_)
            for (T* e : b)
                f(e);
    }
    void Clear()
    {
        for (auto& b : buckets_)
            b.clear();
    }

private:
    static int Bucket(const std::string& name);
    std::array<std::vector<T*>, kBuckets> buckets_;
};

struct SoundRecord {
    static constexpr uint32_t kLoaded = 8, kLevel = 16;
    std::string name;
    int32_t playing = 0;
    std::shared_ptr<platform::audio::Buffer> buffer; // shared by duplicates and playing voices
    int32_t frequency = 0;                           // the buffer's playback rate after the sound's pitch
    float pitchFactor = 1.0f;
    int32_t volume = 100;
    uint32_t flags = 0;
    float variantPitch = 0.0f;
    float inner = 5.0f;
    float outer = 50.0f;
    int32_t word = 0; // carried from the wave chunk, unused by playback

    bool Loaded() const { return flags & kLoaded; }
};

struct MetaSound {
    static constexpr uint32_t kBuilt = 1, kLevel = 16;
    std::string name;
    uint32_t flags = 0;
    int32_t kind = 0; // 0 random choice, 1 sequence
    int32_t total = 0;
    std::vector<MetaPair> entries;
};

struct Voice {
    static constexpr uint32_t kLoop = 1, kNoPosition = 2, kLetterN = 4, kActive = 8, kResumable = 16, kMeta = 32,
                              kSequenced = 64;
    int32_t sound = 0;
    int32_t index = 0;
    int32_t volume = 0;
    int32_t level = 0;
    float octaves = 0.0f;
    float innerSquared = 0.0f;
    float outer = 0.0f;
    int32_t* handle = nullptr;
    int32_t* sequenceHandle = nullptr;
    RefPtr<SoundEmitter> emitter;
    Vec3 position{0, 0, 0};
    uint32_t flags = 0;
    int32_t meta = 0;
    int32_t sequence = 0;
    Voice* next = nullptr;
    std::shared_ptr<platform::audio::Buffer> data;
    std::unique_ptr<platform::audio::Source> source;

    bool Active() const { return flags & kActive; }
    bool Positioned() const { return !(flags & kNoPosition); }
};

struct SoundSequence {
    static constexpr uint32_t kInUse = 1, kLoop = 2;
    int32_t sound = 0; // the starting voice's settings that each entry reuses
    int32_t volume = 0;
    float innerSquared = 0.0f, outer = 0.0f;
    Vec3 position{0, 0, 0};
    uint32_t voiceFlags = 0;
    int32_t* handle = nullptr;
    int32_t meta = 0;
    int32_t remaining = 0;
    int32_t entry = 0;
    uint32_t flags = 0;
    RefPtr<SoundEmitter> emitter;
    int32_t* sequenceHandle = nullptr;
    SoundSequence* next = nullptr;
};

struct SuspendedVoice {
    int32_t sound = 0, index = 0, volume = 0, level = 0;
    float octaves = 0.0f, innerSquared = 0.0f, outer = 0.0f;
    int32_t* handle = nullptr;
    int32_t* sequenceHandle = nullptr;
    RefPtr<SoundEmitter> emitter;
    Vec3 position{0, 0, 0};
    uint32_t flags = 0;
    int32_t meta = 0, sequence = 0;
    uint32_t playPosition = 0;
};

// One value of a Play call, in the order of the option letters.
struct PlayArg {
    enum class Kind { Int, Float, IntPointer, Point, Emitter, Name };
    PlayArg(int32_t v) : kind(Kind::Int), i(v) {}
    PlayArg(float v) : kind(Kind::Float), f(v) {}
    PlayArg(double v) : kind(Kind::Float), f(static_cast<float>(v)) {}
    PlayArg(int32_t* p) : kind(Kind::IntPointer), ip(p) {}
    PlayArg(const Vec3* p) : kind(Kind::Point), point(p) {}
    PlayArg(SoundEmitter* e) : kind(Kind::Emitter), emitter(e) {}
    PlayArg(const char* s) : kind(Kind::Name), name(s) {}
    Kind kind;
    union {
        int32_t i;
        float f;
        int32_t* ip;
        const Vec3* point;
        SoundEmitter* emitter;
        const char* name;
    };
};

// Where the listener stands and looks.
struct ListenerPlacement {
    Vec3 position{0, 0, 0};
    Vec3 front{0, 0, 1};
    Vec3 top{0, -1, 0};
};

// One device the sound system could run on.
struct SoundDevice {
    static constexpr uint8_t kEnvironment = 1, kA3d = 2;
    std::string name;     // "" the default device
    int loopbackRate = 0; // not 0: a device mixing into memory (tests, headless)
    uint8_t capabilities = 0;
    int mixingBuffers = 0;
};

class SoundSystem : public trevok::SequenceSoundSystem {
public:
    static constexpr int32_t kActive = 0, kInactive = 2;
    static constexpr int32_t kSoundCount = 1024, kMetaCount = 100, kSequenceCount = 16, kMaxVoicesPerSound = 8;
    static constexpr int32_t kFirstFreeId = 256;
    // What a meta-sound pair holds when its bank entry gave no sound.
    static constexpr int32_t kNoSound = 0x7FFFFFFF;

    // Never null: the silent system when asked, or when no device works.
    static SoundSystem* Create(bool noSound);
    static SoundSystem* Create(bool noSound, const std::vector<SoundDevice>& devices);
    static std::vector<SoundDevice> ListDevices();
    // The one system, owned from Install to Shutdown (or the end of the
    // process); null outside that time.
    static SoundSystem* Global();
    static void Install(std::unique_ptr<SoundSystem> system);
    static void Shutdown();

    SoundSystem(int32_t soundCount, int32_t voiceCount);
    ~SoundSystem() override;
    SoundSystem(const SoundSystem&) = delete;
    SoundSystem& operator=(const SoundSystem&) = delete;

    int32_t State() const { return state_; }
    virtual const char* VariantName() const = 0;
    // The output that streamed audio (music, video) is routed through; null
    // when this variant has none to lend.
    virtual platform::audio::Device* OutputDevice() { return nullptr; }

    // A voice index (> 0), 0 refused, -1 inactive or no sound from a meta-sound,
    // -2 the device failed. One value per option letter that takes one, in the
    // letters' order and of the letter's kind (floats for I, R, f; ints for v);
    // a missing value or one of another kind refuses the play. The letters are
    // listed in sound_system.cpp.
    int32_t Play(int32_t sound, const char* options, std::initializer_list<PlayArg> values = {});
    void FreeVoiceByIndex(int32_t voice);
    void SetLevelValue(int32_t value) { levelValue_ = value; }
    int32_t LevelValue() const { return levelValue_; }

    // Banks and sounds.
    int32_t LoadSoundBank(const std::string& path);
    void UnloadSoundBank(const std::string& path);
    void LoadSoundFile(const std::string& path);
    int32_t FindSound(const std::string& name);
    int32_t GetSoundVariant(int32_t sound, int32_t volume, float pitch, float inner, float outer);
    void FreeLevelSounds();
    void FreeAllSounds();
    // Drops saved voices whose handle variable is about to go away.
    void ForgetHandle(const int32_t* handle);

    // Chunk loaders' names for the same operations.
    int32_t LoadSoundChunks(const std::string& name) override { return FindSound(name); }
    int32_t MakeVariant(int32_t sound, int32_t volume, float pitch, float inner, float outer) override;

    // Once per frame: places the listener at the main camera.
    void UpdateListener();
    // Where the camera puts the listener: at its focus, facing its view.
    static ListenerPlacement ListenerAt(MainCamera& camera);
    virtual void Update(const ListenerPlacement& listener);

    // Read access for callers and tests.
    const SoundRecord* Sound(int32_t id) const;
    const MetaSound* Meta(int32_t index) const;
    const Voice* VoiceAt(int32_t index) const;
    int32_t VoiceCount() const { return static_cast<int32_t>(voices_.size()); }
    size_t SuspendedCount() const { return suspended_.size(); }
    size_t BankCount() const { return banks_.size(); }
    const Vec3& ListenerPosition() const { return listener_.position; }
    int32_t NextSoundId() const { return nextSoundId_; }
    int32_t NextMetaId() const { return nextMetaId_; }
    // Tests refresh levels on every update.
    void SetRefreshInterval(uint64_t nanoseconds) { refreshInterval_ = nanoseconds; }
    int32_t DistanceLevel(const Vec3& point, int32_t volume, float innerSquared, float outer) const;

    // The generator of the random meta-sounds (exposed for tests).
    static uint32_t DrawRandom();
    static void ResetRandom();

protected:
    // Device operations.
    virtual bool IsVoiceFinished(Voice& voice) = 0;
    virtual bool SetVoiceLevel(Voice& voice, int32_t level) = 0;
    virtual void ReleaseSound(SoundRecord& sound) = 0;
    virtual int32_t ApplyVoicePitch(Voice& voice) = 0;
    virtual void SetSoundPitch(SoundRecord& sound, float semitones) = 0;
    virtual int32_t DuplicateSound(int32_t sound, uint32_t flags) = 0;
    virtual bool CreateSound(SoundRecord& sound, const WaveDescriptor& wave) = 0;
    virtual int32_t StartVoice(Voice& voice) = 0;
    virtual int32_t StartVoiceAt(Voice& voice, uint32_t position) = 0;
    virtual uint32_t StopVoice(Voice& voice) = 0;
    virtual void FreeVoice(Voice& voice);
    virtual int32_t RestartVoice(int32_t sequence) = 0;
    // Moves a voice's 3-D position (emitters); nothing for unplaced voices.
    virtual void PlaceVoice(Voice& voice, const Vec3& position) = 0;
    virtual void PlaceListener(const ListenerPlacement& listener) = 0;

    // Shared steps of the device variants.
    void FillSoundFromWave(SoundRecord& sound, const WaveDescriptor& wave);
    int32_t NextFreeSoundId(int32_t after) const;
    // The id the next unnumbered sound takes (0 when the table is full); the
    // counter moves on past loaded records.
    int32_t ClaimSoundId();
    // The common part of FreeVoice: bookkeeping only.
    void ReleaseVoice(Voice& voice);
    void UnlinkFreeHead(Voice& voice);
    void SuspendVoice(Voice& voice, uint32_t position);
    void StopAllVoices();
    // Lets go of every buffer and source before the device closes.
    void DropDeviceObjects();
    Vec3 VoicePoint(const Voice& voice) const;
    SoundRecord& Record(int32_t id) { return sounds_[static_cast<size_t>(id)]; }
    bool ValidSound(int32_t id) const { return id >= 0 && id < static_cast<int32_t>(sounds_.size()); }

    // Makes sound `id` from a wave and enters its name; false (the record
    // cleared) when the device refuses the data.
    bool NewSound(const std::string& name, int32_t id, WaveDescriptor& wave);
    // Builds the next free meta-sound; minus its index, or 0 when the table is full.
    int32_t NewMetaSound(const std::string& name, MetaDescriptor meta, uint32_t loadFlags);

    int32_t state_ = kInactive;
    ListenerPlacement listener_;

private:
    friend class SoundBankLoader;
    bool MakeRoom(int32_t sound, int32_t level);
    Voice* TakeVoice(int32_t level);
    bool ResolveMeta(Voice& voice);
    void AdvanceSequence(Voice& voice);
    void EndSequence(SoundSequence& sequence);
    void ResumeSuspended();
    void RefreshPositions();
    void FreeSoundRecord(int32_t id);
    void FreeMetaRecord(int32_t index);
    int32_t LoadWaveEntry(SoundBank& bank, const SoundBankEntry& entry, uint32_t loadFlags);
    int32_t LoadMetaEntry(SoundBank& bank, const SoundBankEntry& entry, uint32_t loadFlags);
    int32_t LoadLooseFile(const SoundBank& bank, const std::string& name, uint32_t loadFlags);

    int32_t levelValue_ = 0;
    std::list<std::unique_ptr<SoundBank>> banks_;
    size_t bankCursor_ = 0;
    std::vector<SoundRecord> sounds_;
    int32_t nextSoundId_ = kFirstFreeId;
    SoundNameTable<SoundRecord> soundNames_;
    std::vector<MetaSound> metas_;
    int32_t nextMetaId_ = 1;
    SoundNameTable<MetaSound> metaNames_;
    std::vector<Voice> voices_;
    Voice* freeVoices_ = nullptr;
    std::array<SoundSequence, kSequenceCount> sequences_{};
    SoundSequence* freeSequences_ = nullptr;
    std::list<SuspendedVoice> suspended_;
    void DiscardVoice(Voice& voice);
    void PushFree(Voice& voice);
    uint64_t lastRefresh_ = 0;
    uint64_t refreshInterval_ = 100'000'000; // levels and positions ten times a second
    bool refreshed_ = false;
};

// Does nothing: no sound card, or "-n".
class SilentSoundSystem final : public SoundSystem {
public:
    SilentSoundSystem() : SoundSystem(0, 16) {}
    const char* VariantName() const override { return "silent"; }
    void Update(const ListenerPlacement&) override {}

protected:
    bool IsVoiceFinished(Voice&) override { return false; }
    bool SetVoiceLevel(Voice&, int32_t) override { return false; }
    void ReleaseSound(SoundRecord&) override {}
    int32_t ApplyVoicePitch(Voice&) override { return 0; }
    void SetSoundPitch(SoundRecord&, float) override {}
    int32_t DuplicateSound(int32_t, uint32_t) override { return 0; }
    bool CreateSound(SoundRecord&, const WaveDescriptor&) override { return false; }
    int32_t StartVoice(Voice&) override { return 0; }
    int32_t StartVoiceAt(Voice&, uint32_t) override { return 0; }
    uint32_t StopVoice(Voice&) override { return 0; }
    void FreeVoice(Voice&) override {}
    int32_t RestartVoice(int32_t) override { return 0; }
    void PlaceVoice(Voice&, const Vec3&) override {}
    void PlaceListener(const ListenerPlacement&) override {}
};

// Looping ambient sounds started by the console and the map build; they play
// again after each level load and go at level stop.
struct EnvironmentalSound {
    int32_t sound = 0;
    int32_t handle = 0;
    float inner = 5.0f;
    float outer = 50.0f;
    int32_t volume = 100;
    float octaves = 0.0f;
    Vec3 position{0, 0, 0};
    Vec3 extra{0, 0, 0};
};

namespace EnvironmentalSounds {
std::list<EnvironmentalSound>& List();
EnvironmentalSound& Append(int32_t sound);
void Restart(SoundSystem& system);
void Clear(SoundSystem* system);
} // namespace EnvironmentalSounds
