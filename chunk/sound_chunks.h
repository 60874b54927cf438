// Sound chunks: placed sounds of a level (SOUNDOB2) with their extra data
// (SOUNDEXD holding a SOUNDNAM and alternative locations) and the indexed sounds
// of an environment (INDSOUND) that animation frames start by index.
#pragma once

#include "chunk/chunk.h"
#include "chunk/md5.h"

#include <optional>
#include <string>
#include <vector>

namespace trevok {

class AlternativeLocationsChunk;
class SoundExtraChunk;

class SoundObjectChunk : public DataChunk {
public:
    SoundObjectChunk(ParentChunk* parent, const ChunkBytes& bytes);
    SoundObjectChunk(ParentChunk* parent, const int32_t point[3], std::string name);

    NameDigest ComputeNameDigest() const { return NameDigest::Of(name_); }
    // The first SOUNDEXD beside this chunk whose SOUNDNAM is this sound's name.
    SoundExtraChunk* FindExtra() const;
    SoundExtraChunk* GetOrCreateExtra();
    AlternativeLocationsChunk* FindAlternativeLocations() const;
    AlternativeLocationsChunk* GetOrCreateAlternativeLocations();

    int32_t point_[3] = {};
    int32_t values_[7] = {};
    std::string name_;
    std::optional<std::string> second_; // an empty second text reads as none

protected:
    size_t PayloadSize() const override;
    void WritePayload(ByteWriter& out) const override;

private:
    // Set when a file stored an empty second text in the shorter of the two sizes,
    // so it is written back in the size it came in.
    bool emptySecondTight_ = false;
};

class SoundNameChunk : public DataChunk {
public:
    SoundNameChunk(ParentChunk* parent, const ChunkBytes& bytes);
    SoundNameChunk(ParentChunk* parent, std::string name);
    std::string name_;

protected:
    size_t PayloadSize() const override { return ByteReader::PaddedLength(name_.size()); }
    void WritePayload(ByteWriter& out) const override { out.PaddedString(name_); }
};

class SoundExtraChunk : public ParentChunk {
public:
    SoundExtraChunk(ParentChunk* parent, const ChunkBytes& bytes) : ParentChunk(parent, bytes) {}
    SoundExtraChunk(ParentChunk* parent, const SoundObjectChunk& sound);

    SoundNameChunk* GetName() const;
    // The first SOUNDOB2 beside this chunk named by its SOUNDNAM; none without one.
    SoundObjectChunk* FindSound() const;
};

inline constexpr int kIndexedSoundValues = 5;

// INDSOUND: a sound of the environment by index. The sequence builder reads the
// first four values after the name as two settings in thousandths, a volume and a
// pitch in 128ths; the rest are kept as they are.
class IndexedSoundChunk : public DataChunk {
public:
    IndexedSoundChunk(ParentChunk* parent, const ChunkBytes& bytes);
    IndexedSoundChunk(ParentChunk* parent, int32_t index, std::string name);

    int32_t index_ = 0;
    std::string name_;
    int32_t values_[kIndexedSoundValues] = {};
    std::vector<int32_t> extra_;

protected:
    size_t PayloadSize() const override
    {
        return 4 + ByteReader::PaddedLength(name_.size()) + 4 * kIndexedSoundValues + 4 + 4 * extra_.size();
    }
    void WritePayload(ByteWriter& out) const override;
};

void RegisterSoundChunks();

} // namespace trevok
