#include "media/sound_system.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <mutex>

#include "Veapi/camera.h"
#include "app/hash_table.h"
#include "platform/audio.h"
#include "platform/time.h"

template <typename T>
int SoundNameTable<T>::Bucket(const std::string& name)
{
    return NameHashUpper(name) & (kBuckets - 1);
}
template class SoundNameTable<SoundRecord>;
template class SoundNameTable<MetaSound>;

namespace {

// Fixed start so every run draws the same sequence; not all even.
constexpr std::array<uint32_t, 31> kRandomSeed = {
    0x9E3779B9, 0x7F4A7C15, 0xF39CC060, 0x5CEDC834, 0x2FE12A6D, 0x1B873593, 0xCC9E2D51, 0x85EBCA6B,
    0xC2B2AE35, 0x27D4EB2F, 0x165667B1, 0xD3A2646C, 0xFD7046C5, 0xB55A4F09, 0x68E31DA4, 0x3C6EF372,
    0xA54FF53A, 0x510E527F, 0x9B05688C, 0x1F83D9AB, 0x5BE0CD19, 0xCBBB9D5D, 0x629A292A, 0x9159015A,
    0x152FECD8, 0x67332667, 0x8EB44A87, 0xDB0C2E0D, 0x47B5481D, 0xAE5F9156, 0xCF6C85D3};

struct SoundRandom {
    std::mutex lock; // exclusive around each draw
    std::array<uint32_t, 31> table = kRandomSeed;
    int front = 3, rear = 0;
};

SoundRandom& Random()
{
    static SoundRandom r;
    return r;
}

// The value of letter `letter`, or nothing when the caller gave none of its kind.
struct ArgReader {
    const PlayArg* at;
    const PlayArg* end;
    bool ok = true;
    const PlayArg* Next(PlayArg::Kind kind)
    {
        if (at == end || at->kind != kind) {
            ok = false;
            return nullptr;
        }
        return at++;
    }
};

} // namespace

uint32_t SoundSystem::DrawRandom()
{
    auto& r = Random();
    std::lock_guard hold(r.lock);
    const uint32_t sum = r.table[static_cast<size_t>(r.front)] + r.table[static_cast<size_t>(r.rear)];
    r.table[static_cast<size_t>(r.front)] = sum;
    r.front = (r.front + 1) % 31;
    r.rear = (r.rear + 1) % 31;
    return sum;
}

void SoundSystem::ResetRandom()
{
    auto& r = Random();
    std::lock_guard hold(r.lock);
    r.table = kRandomSeed;
    r.front = 3;
    r.rear = 0;
}

namespace {
// At namespace scope, so that it outlives the exit handlers that shut it down.
std::unique_ptr<SoundSystem> g_global;
} // namespace

SoundSystem* SoundSystem::Global() { return g_global.get(); }
void SoundSystem::Install(std::unique_ptr<SoundSystem> system) { g_global = std::move(system); }
void SoundSystem::Shutdown() { g_global.reset(); }

SoundSystem::SoundSystem(int32_t soundCount, int32_t voiceCount)
    : sounds_(static_cast<size_t>(soundCount)), metas_(kMetaCount), voices_(static_cast<size_t>(std::max(16, voiceCount)))
{
    for (size_t i = voices_.size() - 1; i >= 1; --i) {
        voices_[i].index = static_cast<int32_t>(i);
        voices_[i].next = freeVoices_;
        freeVoices_ = &voices_[i];
    }
    for (size_t i = sequences_.size(); i-- > 0;) {
        sequences_[i].next = freeSequences_;
        freeSequences_ = &sequences_[i];
    }
}

SoundSystem::~SoundSystem() = default;

const SoundRecord* SoundSystem::Sound(int32_t id) const
{
    return ValidSound(id) ? &sounds_[static_cast<size_t>(id)] : nullptr;
}

const MetaSound* SoundSystem::Meta(int32_t index) const
{
    return index > 0 && index < kMetaCount ? &metas_[static_cast<size_t>(index)] : nullptr;
}

const Voice* SoundSystem::VoiceAt(int32_t index) const
{
    return index > 0 && index < VoiceCount() ? &voices_[static_cast<size_t>(index)] : nullptr;
}

int32_t SoundSystem::DistanceLevel(const Vec3& point, int32_t volume, float innerSquared, float outer) const
{
    const float d2 = (point - listener_.position).LengthSquared();
    if (d2 >= outer * outer)
        return 0;
    if (d2 <= innerSquared)
        return volume;
    return static_cast<int32_t>(std::floor(static_cast<float>(volume) * (1.0f - std::sqrt(d2) / outer)));
}

Vec3 SoundSystem::VoicePoint(const Voice& voice) const
{
    return voice.emitter ? voice.emitter->SoundPosition() : voice.position;
}

// Option letters, each value in order:
//   I f32 inner   R f32 outer   d point   e int* handle   f f32 octaves
//   l loop        m meta-sound (a name when the id is 0)   n flag only
//   r resumable   t emitter     v i32 volume   x int* sequence handle
int32_t SoundSystem::Play(int32_t sound, const char* options, std::initializer_list<PlayArg> values)
{
    if (state_ != kActive)
        return -1;
    if (sound < 0 || sound >= static_cast<int32_t>(sounds_.size()))
        return 0;

    ArgReader args{values.begin(), values.end()};
    bool hasInner = false, hasOuter = false, loop = false, meta = false, letterN = false, resumable = false,
         hasVolume = false;
    float inner = 0, outer = 0, octaves = 0;
    const Vec3* point = nullptr;
    int32_t* handle = nullptr;
    int32_t* sequenceHandle = nullptr;
    SoundEmitter* emitter = nullptr;
    int32_t volume = 0;
    bool hasPoint = false, hasEmitter = false;
    for (const char* c = options ? options : ""; *c && args.ok; ++c) {
        switch (*c) {
        case 'I':
            if (auto* a = args.Next(PlayArg::Kind::Float))
                inner = a->f, hasInner = true;
            break;
        case 'R':
            if (auto* a = args.Next(PlayArg::Kind::Float))
                outer = a->f, hasOuter = true;
            break;
        case 'd':
            if (auto* a = args.Next(PlayArg::Kind::Point))
                point = a->point, hasPoint = true;
            break;
        case 'e':
            if (auto* a = args.Next(PlayArg::Kind::IntPointer))
                handle = a->ip;
            break;
        case 'f':
            if (auto* a = args.Next(PlayArg::Kind::Float))
                octaves = a->f;
            break;
        case 'l': loop = true; break;
        case 'm':
            meta = true;
            if (sound == 0)
                if (auto* a = args.Next(PlayArg::Kind::Name)) {
                    const MetaSound* m = a->name ? metaNames_.Find(a->name) : nullptr;
                    sound = m ? static_cast<int32_t>(m - metas_.data()) : 0;
                }
            break;
        case 'n': letterN = true; break;
        case 'r': resumable = true; break;
        case 't':
            if (auto* a = args.Next(PlayArg::Kind::Emitter))
                emitter = a->emitter, hasEmitter = true;
            break;
        case 'v':
            if (auto* a = args.Next(PlayArg::Kind::Int))
                volume = std::clamp(a->i, 0, 100), hasVolume = true;
            break;
        case 'x':
            if (auto* a = args.Next(PlayArg::Kind::IntPointer))
                sequenceHandle = a->ip;
            break;
        default: break;
        }
    }
    if (!args.ok)
        return 0;
    if ((loop && !handle) || (loop && meta && !sequenceHandle) || (meta && !handle) || (loop && hasEmitter) ||
        (!loop && hasEmitter && hasPoint))
        return 0;
    if ((hasPoint && !point) || (hasEmitter && !emitter))
        return 0;

    // A meta index must name a built meta-sound; a plain sound must be loaded.
    if (meta) {
        if (sound <= 0 || sound >= kMetaCount || !(metas_[static_cast<size_t>(sound)].flags & MetaSound::kBuilt))
            return -1;
    } else if (!Record(sound).Loaded()) {
        return 0;
    }

    const SoundRecord& defaults = Record(meta ? 0 : sound);
    if (!hasVolume)
        volume = meta ? 100 : defaults.volume;
    if (!hasInner)
        inner = defaults.inner;
    if (!hasOuter)
        outer = defaults.outer;

    Voice probe;
    probe.position = point ? *point : Vec3{0, 0, 0};
    probe.emitter = RefPtr<SoundEmitter>(emitter);
    const bool positioned = hasEmitter || hasPoint;
    const int32_t level = positioned ? DistanceLevel(VoicePoint(probe), volume, inner * inner, outer)
                                     : static_cast<int32_t>((static_cast<int64_t>(volume) * 52428) >> 16);

    if (!meta && !loop && !MakeRoom(sound, level))
        return 0;
    Voice* voice = TakeVoice(level);
    if (!voice)
        return 0;

    voice->sound = sound;
    voice->volume = volume;
    voice->level = level;
    voice->octaves = octaves;
    voice->innerSquared = inner * inner;
    voice->outer = outer;
    voice->handle = handle;
    voice->sequenceHandle = sequenceHandle;
    voice->emitter = std::move(probe.emitter);
    voice->position = probe.position;
    voice->flags = (loop ? Voice::kLoop : 0) | (positioned ? 0 : Voice::kNoPosition) | (letterN ? Voice::kLetterN : 0) |
                   Voice::kActive | (resumable ? Voice::kResumable : 0) | (meta ? Voice::kMeta : 0);
    voice->meta = 0;
    voice->sequence = 0;
    if (meta) {
        voice->meta = sound;
        voice->sound = 0;
        if (!ResolveMeta(*voice)) {
            DiscardVoice(*voice);
            return -1;
        }
    }
    Record(voice->sound).playing++;
    return StartVoice(*voice);
}

bool SoundSystem::MakeRoom(int32_t sound, int32_t level)
{
    const SoundRecord& record = Record(sound);
    if (!record.Loaded())
        return false;
    if (record.playing < kMaxVoicesPerSound)
        return true;
    Voice* quietest = nullptr;
    for (size_t i = 1; i < voices_.size(); ++i) {
        Voice& v = voices_[i];
        if (v.Active() && v.sound == sound && v.level < level && (!quietest || v.level < quietest->level))
            quietest = &v;
    }
    if (!quietest)
        return false;
    FreeVoice(*quietest);
    return true;
}

Voice* SoundSystem::TakeVoice(int32_t level)
{
    if (!freeVoices_) {
        Voice* victim = nullptr;
        for (size_t i = voices_.size() - 1; i >= 1; --i) {
            Voice& v = voices_[i];
            if (v.Active() && (!victim || v.level < victim->level))
                victim = &v;
        }
        if (!victim || victim->level >= level)
            return nullptr;
        if (victim->flags & Voice::kResumable) {
            const uint32_t position = StopVoice(*victim);
            SuspendVoice(*victim, position);
            PushFree(*victim);
        } else {
            FreeVoice(*victim);
        }
    }
    Voice* voice = freeVoices_;
    if (voice)
        UnlinkFreeHead(*voice);
    return voice;
}

void SoundSystem::UnlinkFreeHead(Voice& voice)
{
    assert(freeVoices_ == &voice);
    freeVoices_ = voice.next;
    voice.next = nullptr;
}

// The saved copy keeps the sound's playing count and the emitter reference.
// The owner's handle is cleared: its voice index now belongs to another sound.
void SoundSystem::SuspendVoice(Voice& voice, uint32_t position)
{
    SuspendedVoice s;
    s.sound = voice.sound;
    s.index = voice.index;
    s.volume = voice.volume;
    s.level = voice.level;
    s.octaves = voice.octaves;
    s.innerSquared = voice.innerSquared;
    s.outer = voice.outer;
    s.handle = voice.handle;
    s.sequenceHandle = voice.sequenceHandle;
    s.emitter = std::move(voice.emitter);
    s.position = voice.position;
    s.flags = voice.flags & (Voice::kLoop | Voice::kNoPosition | Voice::kLetterN | Voice::kResumable | Voice::kMeta);
    s.meta = voice.meta;
    s.sequence = voice.sequence;
    s.playPosition = position;
    if (voice.handle)
        *voice.handle = 0;
    suspended_.push_back(std::move(s));
    voice.flags &= ~Voice::kActive;
    voice.handle = nullptr;
    voice.data.reset();
    voice.source.reset();
}

void SoundSystem::ForgetHandle(const int32_t* handle)
{
    for (auto it = suspended_.begin(); it != suspended_.end();) {
        if (it->handle == handle) {
            if (ValidSound(it->sound))
                Record(it->sound).playing--;
            it = suspended_.erase(it);
        } else {
            ++it;
        }
    }
}

void SoundSystem::ResumeSuspended()
{
    while (!suspended_.empty() && freeVoices_) {
        SuspendedVoice s = std::move(suspended_.front());
        suspended_.pop_front();
        // A sound freed meanwhile is not brought back.
        if (!ValidSound(s.sound) || !Record(s.sound).Loaded())
            continue;
        Voice& v = *freeVoices_;
        UnlinkFreeHead(v);
        v.sound = s.sound;
        v.volume = s.volume;
        v.level = s.level;
        v.octaves = s.octaves;
        v.innerSquared = s.innerSquared;
        v.outer = s.outer;
        v.handle = s.handle;
        v.sequenceHandle = s.sequenceHandle;
        v.emitter = std::move(s.emitter);
        v.position = s.position;
        v.flags = s.flags | Voice::kActive;
        v.meta = s.meta;
        v.sequence = s.sequence;
        StartVoiceAt(v, s.playPosition);
    }
}

bool SoundSystem::ResolveMeta(Voice& voice)
{
    const MetaSound& meta = metas_[static_cast<size_t>(voice.meta)];
    if (meta.entries.empty())
        return false;
    if (meta.kind == 0) {
        voice.flags &= ~Voice::kSequenced;
        const uint32_t f = (DrawRandom() >> 1) & 0xFFFF;
        int64_t e = static_cast<int64_t>(f) * meta.total;
        size_t i = 0;
        while (i + 1 < meta.entries.size() && e > static_cast<int64_t>(meta.entries[i].value) * 65536) {
            e -= static_cast<int64_t>(meta.entries[i].value) * 65536;
            ++i;
        }
        voice.sound = meta.entries[i].sound;
    } else {
        SoundSequence* seq = freeSequences_;
        if (!seq)
            return false;
        voice.flags |= Voice::kSequenced;
        const int32_t index = static_cast<int32_t>(seq - sequences_.data());
        voice.sequence = index;
        if (voice.sequenceHandle)
            *voice.sequenceHandle = index;
        seq->sound = 0;
        seq->volume = voice.volume;
        seq->innerSquared = voice.innerSquared;
        seq->outer = voice.outer;
        seq->position = voice.position;
        seq->handle = voice.handle;
        seq->sequenceHandle = voice.sequenceHandle;
        seq->meta = voice.meta;
        seq->emitter = voice.emitter;
        seq->flags = SoundSequence::kInUse | ((voice.flags & Voice::kLoop) ? SoundSequence::kLoop : 0);
        voice.flags &= ~Voice::kLoop;
        seq->voiceFlags = voice.flags;
        seq->entry = 0;
        seq->remaining = meta.entries[0].value;
        if (seq->remaining == -1) {
            seq->remaining = 1;
            voice.flags |= Voice::kLoop;
        }
        freeSequences_ = seq->next;
        seq->next = nullptr;
        voice.sound = meta.entries[0].sound;
        if (!ValidSound(voice.sound) || !Record(voice.sound).Loaded()) {
            EndSequence(*seq);
            voice.flags &= ~Voice::kSequenced;
            return false;
        }
    }
    return ValidSound(voice.sound) && Record(voice.sound).Loaded();
}

void SoundSystem::EndSequence(SoundSequence& seq)
{
    if (!(seq.flags & SoundSequence::kInUse))
        return;
    seq.emitter.Reset();
    if (seq.sequenceHandle)
        *seq.sequenceHandle = 0;
    seq.flags = 0;
    seq.next = freeSequences_;
    freeSequences_ = &seq;
}

// After a sequence's voice finished and was freed.
void SoundSystem::AdvanceSequence(Voice& finished)
{
    SoundSequence& seq = sequences_[static_cast<size_t>(finished.sequence)];
    if (!(seq.flags & SoundSequence::kInUse))
        return;
    const MetaSound& meta = metas_[static_cast<size_t>(seq.meta)];
    bool loop = false;
    int32_t sound = finished.sound;
    if (--seq.remaining <= 0) {
        if (++seq.entry >= static_cast<int32_t>(meta.entries.size())) {
            if (!(seq.flags & SoundSequence::kLoop) || meta.entries.empty()) {
                EndSequence(seq);
                return;
            }
            seq.entry = 0;
        }
        const MetaPair& entry = meta.entries[static_cast<size_t>(seq.entry)];
        seq.remaining = entry.value;
        if (seq.remaining == -1) {
            seq.remaining = 1;
            loop = true;
        }
        sound = entry.sound;
    }
    Voice* voice = freeVoices_;
    if (!voice || !ValidSound(sound) || !Record(sound).Loaded()) {
        EndSequence(seq);
        return;
    }
    UnlinkFreeHead(*voice);
    voice->sound = sound;
    voice->volume = seq.volume;
    voice->innerSquared = seq.innerSquared;
    voice->outer = seq.outer;
    voice->octaves = 0.0f;
    voice->position = seq.position;
    voice->handle = seq.handle;
    voice->sequenceHandle = seq.sequenceHandle;
    voice->emitter = seq.emitter;
    voice->flags = (seq.voiceFlags & ~Voice::kLoop) | Voice::kActive | Voice::kMeta | Voice::kSequenced |
                   (loop ? Voice::kLoop : 0);
    voice->meta = seq.meta;
    voice->sequence = static_cast<int32_t>(&seq - sequences_.data());
    voice->level = voice->Positioned()
                       ? DistanceLevel(VoicePoint(*voice), voice->volume, voice->innerSquared, voice->outer)
                       : static_cast<int32_t>((static_cast<int64_t>(voice->volume) * 52428) >> 16);
    Record(sound).playing++;
    StartVoice(*voice);
}

void SoundSystem::FreeVoiceByIndex(int32_t index)
{
    if (state_ != kActive || index <= 0 || index >= VoiceCount())
        return;
    Voice& voice = voices_[static_cast<size_t>(index)];
    if (!voice.Active())
        return;
    // A sequence whose voice is stopped by its owner ends with it; otherwise
    // its slot would never return to the free list.
    const bool sequenced = voice.flags & Voice::kSequenced;
    const int32_t sequence = voice.sequence;
    FreeVoice(voice);
    if (sequenced)
        EndSequence(sequences_[static_cast<size_t>(sequence)]);
}

void SoundSystem::FreeVoice(Voice& voice) { ReleaseVoice(voice); }

// A voice taken for a play that never started: back to the free list with
// nothing counted.
void SoundSystem::DiscardVoice(Voice& voice)
{
    voice.flags = 0;
    voice.emitter.Reset();
    voice.handle = nullptr;
    PushFree(voice);
}

void SoundSystem::PushFree(Voice& voice)
{
    voice.next = freeVoices_;
    freeVoices_ = &voice;
}

void SoundSystem::ReleaseVoice(Voice& voice)
{
    if (state_ != kActive || !voice.Active())
        return;
    voice.flags &= ~Voice::kActive;
    if (ValidSound(voice.sound))
        Record(voice.sound).playing--;
    voice.emitter.Reset();
    voice.data.reset();
    voice.source.reset();
    if (voice.handle)
        *voice.handle = 0;
    voice.handle = nullptr;
    PushFree(voice);
}

void SoundSystem::StopAllVoices()
{
    if (state_ != kActive)
        return;
    for (size_t i = 1; i < voices_.size(); ++i)
        FreeVoice(voices_[i]);
    for (auto& seq : sequences_)
        EndSequence(seq);
    for (auto& s : suspended_)
        if (ValidSound(s.sound))
            Record(s.sound).playing--;
    suspended_.clear();
}

void SoundSystem::DropDeviceObjects()
{
    for (auto& v : voices_) {
        v.source.reset();
        v.data.reset();
    }
    for (auto& s : sounds_)
        s.buffer.reset();
}

void SoundSystem::RefreshPositions()
{
    const uint64_t now = platform::MonotonicNanoseconds();
    if (refreshed_ && now - lastRefresh_ < refreshInterval_)
        return;
    refreshed_ = true;
    lastRefresh_ = now;
    for (size_t i = 1; i < voices_.size(); ++i) {
        Voice& v = voices_[i];
        if (!v.Active() || !v.Positioned())
            continue;
        // The voice's own volume, so "v" also holds for placed sounds.
        const Vec3 point = VoicePoint(v);
        SetVoiceLevel(v, DistanceLevel(point, v.volume, v.innerSquared, v.outer));
        if (v.emitter)
            PlaceVoice(v, point);
    }
}

void SoundSystem::Update(const ListenerPlacement& listener)
{
    if (state_ != kActive)
        return;
    for (size_t i = 1; i < voices_.size(); ++i) {
        Voice& v = voices_[i];
        if (!v.Active() || !IsVoiceFinished(v))
            continue;
        const bool sequenced = (v.flags & Voice::kMeta) && (v.flags & Voice::kSequenced);
        // A voice the device terminated was saved and stopped already: it
        // only goes back to the free list, once.
        if (v.Active())
            FreeVoice(v);
        else
            PushFree(v);
        if (sequenced)
            AdvanceSequence(v);
    }
    listener_ = listener;
    RefreshPositions();
    PlaceListener(listener);
    ResumeSuspended();
}

ListenerPlacement SoundSystem::ListenerAt(MainCamera& camera)
{
    ListenerPlacement placement;
    const Vec3 front = camera.GetViewDirection().Normalised();
    placement.position = camera.Position() + front * camera.distance_;
    placement.front = front;
    // The top is chosen so that the screen's right is the listener's right,
    // whichever way the world's y axis points.
    const gfx::Matrix& view = camera.View();
    const Vec3 right{view(0, 0), view(1, 0), view(2, 0)};
    const Vec3 top = right.Cross(front);
    placement.top = top.LengthSquared() > 0.0f ? top.Normalised() : Vec3{0, -1, 0};
    return placement;
}

void SoundSystem::UpdateListener()
{
    if (state_ == kActive)
        Update(ListenerAt(MainCamera::Get()));
}

int32_t SoundSystem::MakeVariant(int32_t sound, int32_t volume, float pitch, float inner, float outer)
{
    if (state_ != kActive)
        return 0;
    return GetSoundVariant(sound, volume, pitch, inner, outer);
}

void SoundSystem::FillSoundFromWave(SoundRecord& sound, const WaveDescriptor& wave)
{
    sound.volume = std::clamp(wave.volume, 0, 100);
    sound.variantPitch = 0.0f;
    sound.inner = wave.inner;
    sound.outer = wave.outer;
    sound.word = wave.word;
    sound.flags = wave.loadFlags | SoundRecord::kLoaded;
    sound.playing = 0;
}

int32_t SoundSystem::NextFreeSoundId(int32_t after) const
{
    int32_t id = after + 1;
    while (id < static_cast<int32_t>(sounds_.size()) && sounds_[static_cast<size_t>(id)].Loaded())
        ++id;
    return id;
}

int32_t SoundSystem::ClaimSoundId()
{
    int32_t id = nextSoundId_;
    while (id < static_cast<int32_t>(sounds_.size()) && sounds_[static_cast<size_t>(id)].Loaded())
        ++id; // a fixed id may have taken it since
    if (id >= static_cast<int32_t>(sounds_.size()))
        return 0;
    nextSoundId_ = NextFreeSoundId(id);
    return id;
}

// Environmental sounds.

namespace EnvironmentalSounds {

std::list<EnvironmentalSound>& List()
{
    static std::list<EnvironmentalSound> list;
    return list;
}

EnvironmentalSound& Append(int32_t sound)
{
    auto& e = List().emplace_back();
    e.sound = sound;
    return e;
}

void Restart(SoundSystem& system)
{
    for (auto& e : List()) {
        // A record still playing keeps one voice, not a second it could never stop.
        if (e.handle != 0)
            system.FreeVoiceByIndex(e.handle);
        system.ForgetHandle(&e.handle);
        system.Play(e.sound, "lefvIRdr", {&e.handle, e.octaves, e.volume, e.inner, e.outer, &e.position});
    }
}

void Clear(SoundSystem* system)
{
    for (auto& e : List()) {
        if (!system)
            continue;
        if (e.handle != 0)
            system->FreeVoiceByIndex(e.handle);
        // A saved voice must not write into the record after it is gone.
        system->ForgetHandle(&e.handle);
    }
    List().clear();
}

} // namespace EnvironmentalSounds
