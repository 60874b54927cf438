// The loader operations of the sound system: banks, sounds found by name,
// variants, and freeing at level end. Bank paths lie in the sounds directory.
#include <algorithm>
#include <fstream>
#include <iterator>

#include "app/directories.h"
#include "app/hash_table.h"
#include "media/sound_system.h"

namespace {

std::optional<std::vector<uint8_t>> ReadSoundsFile(const std::string& dataPath)
{
    auto path = app::DataDirectories::Global().Resolve(app::kSoundsDirectory, dataPath);
    if (!path)
        return std::nullopt;
    std::ifstream in(*path, std::ios::binary);
    if (!in)
        return std::nullopt;
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

} // namespace

int32_t SoundSystem::LoadSoundBank(const std::string& path)
{
    if (state_ != kActive)
        return 0;
    for (const auto& bank : banks_)
        if (CompareName(bank->path, path))
            return 0;
    auto bytes = ReadSoundsFile(path);
    if (!bytes)
        return -1;
    auto bank = std::make_unique<SoundBank>();
    bank->image = std::move(*bytes);
    auto file = ReadSoundBank(bank->image);
    if (!file)
        return -1;
    bank->file = std::move(*file);
    bank->ids.assign(bank->file.entries.size(), 0);
    bank->path = path;
    bank->directory = BankDirectory(path);
    banks_.push_back(std::move(bank));
    return 0;
}

void SoundSystem::UnloadSoundBank(const std::string& path)
{
    if (state_ != kActive)
        return;
    for (auto it = banks_.begin(); it != banks_.end(); ++it)
        if (CompareName((*it)->path, path)) {
            banks_.erase(it);
            bankCursor_ = 0;
            return;
        }
}

void SoundSystem::LoadSoundFile(const std::string& path)
{
    if (state_ != kActive || LoadSoundBank(path) != 0)
        return;
    auto it = std::find_if(banks_.begin(), banks_.end(), [&](const auto& b) { return CompareName(b->path, path); });
    if (it == banks_.end())
        return;
    SoundBank& bank = **it;
    std::vector<int32_t> metas;
    for (const auto& entry : bank.file.entries) {
        const int32_t found = FindSound(entry.name);
        if (found > 0) {
            Record(found).flags &= ~SoundRecord::kLevel;
        } else if (found < 0) {
            metas_[static_cast<size_t>(-found)].flags &= ~MetaSound::kLevel;
            metas.push_back(-found);
        }
    }
    // Pairs naming an entry of this bank take the id that entry was given.
    for (int32_t index : metas)
        for (auto& pair : metas_[static_cast<size_t>(index)].entries)
            if (pair.sound <= 0) {
                const size_t entry = static_cast<size_t>(-static_cast<int64_t>(pair.sound));
                pair.sound = entry < bank.ids.size() && bank.ids[entry] > 0 ? bank.ids[entry] : kNoSound;
            }
    UnloadSoundBank(path);
}

int32_t SoundSystem::FindSound(const std::string& name)
{
    if (state_ != kActive || name.empty())
        return 0;
    if (SoundRecord* s = soundNames_.Find(name))
        return static_cast<int32_t>(s - sounds_.data());
    if (MetaSound* m = metaNames_.Find(name))
        return -static_cast<int32_t>(m - metas_.data());
    if (banks_.empty())
        return 0;
    // Every bank once, from the cursor round to it.
    std::vector<SoundBank*> order;
    for (auto& b : banks_)
        order.push_back(b.get());
    const size_t start = bankCursor_ % order.size();
    for (size_t n = 0; n < order.size(); ++n) {
        SoundBank& bank = *order[(start + n) % order.size()];
        if (const SoundBankEntry* entry = bank.Find(name))
            return entry->meta ? LoadMetaEntry(bank, *entry, SoundRecord::kLevel)
                               : LoadWaveEntry(bank, *entry, SoundRecord::kLevel);
        if (int32_t id = LoadLooseFile(bank, name, SoundRecord::kLevel); id != 0)
            return id;
    }
    return 0;
}

int32_t SoundSystem::LoadLooseFile(const SoundBank& bank, const std::string& name, uint32_t loadFlags)
{
    auto bytes = ReadSoundsFile(bank.directory + "\\" + name);
    if (!bytes || bytes->empty())
        return 0;
    WaveDescriptor wave;
    wave.data = std::move(*bytes);
    wave.loadFlags = loadFlags;
    const int32_t id = ClaimSoundId();
    if (id == 0 || !NewSound(name, id, wave))
        return 0;
    return id;
}

// Makes sound `id` from a wave; false (and the record cleared) when the
// device refuses the data.
bool SoundSystem::NewSound(const std::string& name, int32_t id, WaveDescriptor& wave)
{
    SoundRecord& record = Record(id);
    if (record.Loaded())
        FreeSoundRecord(id); // a fixed id loaded again replaces the old sound
    record.name = name;
    if (CreateSound(record, wave)) {
        soundNames_.Add(&record);
        return true;
    }
    record.flags = 0;
    ReleaseSound(record);
    record.name.clear();
    return false;
}

int32_t SoundSystem::LoadWaveEntry(SoundBank& bank, const SoundBankEntry& entry, uint32_t loadFlags)
{
    auto wave = ReadWaveChunk(entry.data);
    if (!wave) {
        // An entry without data names a loose file in the bank's folder.
        auto bytes = ReadSoundsFile(bank.directory + "\\" + entry.name);
        if (!bytes || bytes->empty())
            return 0;
        wave = WaveDescriptor{};
        wave->data = std::move(*bytes);
    }
    wave->loadFlags |= loadFlags;
    int32_t id = wave->sound;
    if (id >= static_cast<int32_t>(sounds_.size()))
        return 0;
    if (id <= 0) {
        id = ClaimSoundId();
        if (id == 0)
            return 0;
        // The chunk's own (non-positive) id names the entry whose slot
        // records the new id; a slot outside the bank is ignored.
        const size_t slot = static_cast<size_t>(-static_cast<int64_t>(wave->sound));
        if (slot < bank.ids.size())
            bank.ids[slot] = id;
    }
    NewSound(entry.name, id, *wave);
    return id;
}

int32_t SoundSystem::LoadMetaEntry(SoundBank& bank, const SoundBankEntry& entry, uint32_t loadFlags)
{
    auto meta = ReadMetaChunk(entry.data);
    if (!meta)
        return 0;
    // Pairs naming a wave entry of this bank load it now, so a level
    // meta-sound plays without the bank being made permanent; an index
    // outside the bank, or one naming a meta entry, gives no sound.
    for (auto& pair : meta->pairs) {
        if (pair.sound > 0)
            continue;
        const size_t index = static_cast<size_t>(-static_cast<int64_t>(pair.sound));
        pair.sound = kNoSound;
        if (index >= bank.file.entries.size() || bank.file.entries[index].meta)
            continue;
        const SoundBankEntry& target = bank.file.entries[index];
        if (SoundRecord* known = soundNames_.Find(target.name))
            pair.sound = static_cast<int32_t>(known - sounds_.data());
        else if (const int32_t id = LoadWaveEntry(bank, target, loadFlags); id > 0)
            pair.sound = id;
        if (pair.sound != kNoSound)
            bank.ids[index] = pair.sound;
    }
    return NewMetaSound(entry.name, std::move(*meta), loadFlags);
}

int32_t SoundSystem::NewMetaSound(const std::string& name, MetaDescriptor meta, uint32_t loadFlags)
{
    const int32_t index = nextMetaId_;
    if (index <= 0 || index >= kMetaCount || meta.pairs.empty())
        return 0;
    do
        ++nextMetaId_;
    while (nextMetaId_ < kMetaCount && (metas_[static_cast<size_t>(nextMetaId_)].flags & MetaSound::kBuilt));
    MetaSound& m = metas_[static_cast<size_t>(index)];
    m.name = name;
    m.entries = std::move(meta.pairs);
    m.flags = meta.flags | loadFlags | MetaSound::kBuilt;
    m.kind = (meta.flags & 1) ? 0 : 1;
    m.total = 0;
    for (const auto& p : m.entries)
        m.total += std::max(p.value, 0);
    metaNames_.Add(&m);
    return -index;
}

int32_t SoundSystem::GetSoundVariant(int32_t sound, int32_t volume, float pitch, float inner, float outer)
{
    if (state_ != kActive || !ValidSound(sound) || !Record(sound).Loaded())
        return 0;
    const auto same = [&](const SoundRecord& r) {
        return r.volume == volume && r.variantPitch == pitch && r.inner == inner && r.outer == outer;
    };
    const SoundRecord& original = Record(sound);
    if (same(original))
        return sound;
    for (int32_t id = static_cast<int32_t>(sounds_.size()) - 1; id >= 0; --id) {
        const SoundRecord& r = sounds_[static_cast<size_t>(id)];
        if (r.Loaded() && r.name == original.name && same(r))
            return id;
    }
    const int32_t copy = DuplicateSound(sound, SoundRecord::kLevel);
    if (copy <= 0)
        return sound;
    SoundRecord& dup = Record(copy);
    dup.volume = std::clamp(volume, 0, 100);
    if (pitch != dup.variantPitch)
        SetSoundPitch(dup, pitch - dup.variantPitch);
    // The asked values are kept, so the same request finds this copy again.
    dup.variantPitch = pitch;
    dup.inner = inner;
    dup.outer = outer;
    return copy;
}

void SoundSystem::FreeSoundRecord(int32_t id)
{
    SoundRecord& r = Record(id);
    // No voice outlives its sound, and no saved voice comes back for it.
    for (size_t i = 1; i < voices_.size(); ++i)
        if (voices_[i].Active() && voices_[i].sound == id)
            FreeVoiceByIndex(static_cast<int32_t>(i));
    for (auto it = suspended_.begin(); it != suspended_.end();)
        it = it->sound == id ? suspended_.erase(it) : std::next(it);
    soundNames_.Remove(&r);
    ReleaseSound(r);
    r = SoundRecord{};
}

void SoundSystem::FreeMetaRecord(int32_t index)
{
    MetaSound& m = metas_[static_cast<size_t>(index)];
    metaNames_.Remove(&m);
    m = MetaSound{};
}

void SoundSystem::FreeLevelSounds()
{
    if (state_ != kActive)
        return;
    int32_t lowest = -1;
    for (int32_t id = static_cast<int32_t>(sounds_.size()) - 1; id >= 0; --id) {
        const uint32_t f = sounds_[static_cast<size_t>(id)].flags;
        if ((f & SoundRecord::kLoaded) && (f & SoundRecord::kLevel)) {
            FreeSoundRecord(id);
            if (id >= kFirstFreeId)
                lowest = id;
        }
    }
    if (lowest > 0)
        nextSoundId_ = std::min(nextSoundId_, lowest);
    // Level meta-sounds go too (built ones carry bit 0, not the loaded bit).
    int32_t lowestMeta = -1;
    for (int32_t i = kMetaCount - 1; i > 0; --i) {
        const uint32_t f = metas_[static_cast<size_t>(i)].flags;
        if ((f & MetaSound::kBuilt) && (f & MetaSound::kLevel)) {
            FreeMetaRecord(i);
            lowestMeta = i;
        }
    }
    if (lowestMeta > 0)
        nextMetaId_ = std::min(nextMetaId_, lowestMeta);
}

void SoundSystem::FreeAllSounds()
{
    if (state_ != kActive)
        return;
    for (int32_t id = static_cast<int32_t>(sounds_.size()) - 1; id >= 0; --id)
        if (sounds_[static_cast<size_t>(id)].Loaded())
            FreeSoundRecord(id);
    nextSoundId_ = kFirstFreeId;
    for (int32_t i = kMetaCount - 1; i > 0; --i)
        if (metas_[static_cast<size_t>(i)].flags & MetaSound::kBuilt)
            FreeMetaRecord(i);
    nextMetaId_ = 1;
}
