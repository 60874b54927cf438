// Animation-sequence chunks of a hierarchy part (key frames of rotation and
// position, length, model speed and heading, flags, sounds at frames) and the
// building of the Sequence records in clock ticks that the sequence player steps
// through. The hierarchy loader builds one SequenceSet per part.
#pragma once

#include "app/maths.h"
#include "chunk/chunk.h"
#include "chunk/chunk_ids.h"

#include <array>
#include <memory>
#include <string>
#include <vector>

namespace trevok {

class HierarchyBoundsChunk;
class IndexedSoundChunk;
class SequenceHeaderChunk;
class SequenceFrameChunk;

inline constexpr int kSequenceSlots = 128; // sequence indexes 0 to 127
inline constexpr int32_t kFixedOne = 0x10000;

// Frame flag word.
inline constexpr uint32_t kFrameFreeFlagsMask = 0xFFFF;
inline constexpr int kFrameSoundShift = 24;
inline constexpr uint32_t kFrameSoundMask = 0x7F;
inline constexpr uint32_t kFrameReference = 0x80000000u;

// Sequence flags word of OBASEQFL.
inline constexpr int32_t kSequenceUpperBody = 1;
inline constexpr int32_t kSequenceLowerBody = 2;

// OBANSEQS: the sequences of one part.
class SequenceChunk;
class SequenceListChunk : public ParentChunk {
public:
    explicit SequenceListChunk(ParentChunk* parent) : ParentChunk(parent, chunk_id::kSequenceList) {}
    SequenceListChunk(ParentChunk* parent, const ChunkBytes& bytes) : ParentChunk(parent, bytes) {}

    void GetSequences(std::vector<SequenceChunk*>& list) const;
    // The first sequence whose header has that number and index, or none.
    SequenceChunk* FindSequence(int32_t number, int32_t index) const;
};

// OBANSEQC: one sequence: header, key frames, optional time, speed, flags and box.
class SequenceChunk : public ParentChunk {
public:
    explicit SequenceChunk(ParentChunk* parent) : ParentChunk(parent, chunk_id::kSequence) {}
    SequenceChunk(ParentChunk* parent, const ChunkBytes& bytes) : ParentChunk(parent, bytes) {}
    // A one-frame sequence named and numbered like `source`, holding the given pose;
    // its frame is a reference frame when any frame of the source is one.
    SequenceChunk(ParentChunk* parent, const SequenceChunk& source, const float rotation[4],
                  const int32_t position[3]);

    SequenceHeaderChunk* GetHeader() const;
    HierarchyBoundsChunk* GetBounds() const;
    void GetFrames(std::vector<SequenceFrameChunk*>& list) const;
    int32_t GetTime() const;  // milliseconds, 0 without OBASEQTM
    int32_t GetSpeed() const; // thousandths of a world unit per second, 0 without OBASEQSP
    int32_t GetFlags() const; // 0 without OBASEQFL
    void SetFlags(int32_t flags);
    // The heading as a unit vector in the ground plane; false and (0, 0, 1) without OBASEQSP.
    bool GetDirection(Vec3& out) const;
};

// OBASEQHD.
class SequenceHeaderChunk : public DataChunk {
public:
    SequenceHeaderChunk(ParentChunk* parent, const ChunkBytes& bytes);
    SequenceHeaderChunk(ParentChunk* parent, int32_t number, int32_t index, std::string name);

    int32_t first_ = kFixedOne;
    int32_t number_ = -1;
    int32_t index_ = -1;
    std::vector<int32_t> values_;
    std::string name_;

protected:
    size_t PayloadSize() const override;
    void WritePayload(ByteWriter& out) const override;
};

// OBASEQFR: one key frame of the part.
class SequenceFrameChunk : public DataChunk {
public:
    SequenceFrameChunk(ParentChunk* parent, const ChunkBytes& bytes);
    SequenceFrameChunk(ParentChunk* parent, const float rotation[4], const int32_t position[3], int32_t time,
                       int32_t frameNumber, uint32_t flags);

    // Sound index 0..127 into bits 24-30; other values change nothing.
    void SetSound(int32_t n);
    int32_t Sound() const { return static_cast<int32_t>((flags_ >> kFrameSoundShift) & kFrameSoundMask); }
    bool IsReference() const { return (flags_ & kFrameReference) != 0; }

    float rotation_[4] = {0, 0, 0, 1}; // x, y, z, w
    int32_t position_[3] = {};
    int32_t time_ = 0; // 16.16 fraction of the sequence's length
    int32_t frameNumber_ = 0;
    uint32_t flags_ = 0;
    std::vector<int32_t> values_;

protected:
    size_t PayloadSize() const override { return 44 + 4 * values_.size(); }
    void WritePayload(ByteWriter& out) const override;
};

// OBASEQTM, OBASEQSP, OBASEQFL: small records of 32-bit values.
class SequenceTimeChunk : public DataChunk {
public:
    SequenceTimeChunk(ParentChunk* parent, const ChunkBytes& bytes);
    SequenceTimeChunk(ParentChunk* parent, int32_t milliseconds);
    int32_t milliseconds_ = 0;

protected:
    size_t PayloadSize() const override { return 4; }
    void WritePayload(ByteWriter& out) const override { out.I32(milliseconds_); }
};

class SequenceSpeedChunk : public DataChunk {
public:
    SequenceSpeedChunk(ParentChunk* parent, const ChunkBytes& bytes);
    SequenceSpeedChunk(ParentChunk* parent, int32_t speed, int32_t heading, int32_t value);
    int32_t speed_ = 0;   // thousandths of a world unit per second
    int32_t heading_ = 0; // degrees
    int32_t value_ = 0;

protected:
    size_t PayloadSize() const override { return 12; }
    void WritePayload(ByteWriter& out) const override;
};

class SequenceFlagsChunk : public DataChunk {
public:
    SequenceFlagsChunk(ParentChunk* parent, const ChunkBytes& bytes);
    SequenceFlagsChunk(ParentChunk* parent, int32_t flags);
    int32_t flags_ = 0;

protected:
    size_t PayloadSize() const override { return 4; }
    void WritePayload(ByteWriter& out) const override { out.I32(flags_); }
};

// OBANALLS: per-sequence records the game keeps but does not read.
struct AllSequencesRecord {
    int32_t values_[3] = {};
    std::vector<std::array<int32_t, 9>> entries_;
    bool operator==(const AllSequencesRecord&) const = default;
};

class AllSequencesChunk : public DataChunk {
public:
    AllSequencesChunk(ParentChunk* parent, const ChunkBytes& bytes);
    explicit AllSequencesChunk(ParentChunk* parent) : DataChunk(parent, chunk_id::kAllSequences) {}
    std::vector<AllSequencesRecord> records_;

protected:
    size_t PayloadSize() const override;
    void WritePayload(ByteWriter& out) const override;
};

void RegisterSequenceChunks();

// ---------------------------------------------------------------------------
// Sequence records in clock ticks.

// The rotations a key blends between, the second sign-corrected towards the first;
// the player sets its interpolation up from them.
struct SequenceBlend {
    Quaternion from_{0, 0, 0, 1};
    Quaternion to_{0, 0, 0, 1};
};

struct SequenceKey {
    int32_t time_ = 0; // ticks from the start of the sequence
    int32_t span_ = 0; // ticks to the next key (the last: to the end)
    Vec3 position_{0, 0, 0};
    Quaternion rotation_{0, 0, 0, 1};
    int32_t flags_ = 0; // kKeyRotates | kKeyMoves | kKeyReference
    int32_t ordinal_ = 0;
    SequenceBlend blend_;
};

inline constexpr int32_t kKeyRotates = 1;
inline constexpr int32_t kKeyMoves = 2;
inline constexpr int32_t kKeyReference = 4;

struct SequenceSound {
    uint32_t time_ = 0; // ticks
    int32_t soundId_ = 0;
    bool operator==(const SequenceSound&) const = default;
};

inline constexpr int32_t kSequenceBaseFlags = 3;
inline constexpr int32_t kSequenceHasReference = 4;

struct Sequence {
    std::vector<SequenceKey> keys_;     // in frame-number order
    std::vector<SequenceSound> sounds_; // in time order; empty when no frame starts a sound
    int32_t flags_ = kSequenceBaseFlags;
    int32_t index_ = 0;
    int32_t length_ = 0; // ticks
    bool hasBounds_ = false;
    Vec3 minimum_{0, 0, 0};
    Vec3 maximum_{0, 0, 0};
};

// Entry i is the sequence with index i, or none.
struct SequenceSet {
    std::vector<std::unique_ptr<Sequence>> entries_;
    int32_t reserved_ = 0;
};

// The sound services a sequence needs; the sound system provides them.
class SequenceSoundSystem {
public:
    virtual ~SequenceSoundSystem() = default;
    // The sound's index in the loaded bank, 0 when it is not available.
    virtual int32_t LoadSoundChunks(const std::string& name) = 0;
    virtual int32_t MakeVariant(int32_t soundId, int32_t volume, float pitch, float inner, float outer) = 0;
};

// Shared by all parts of one hierarchy, so a sequence index has one length and one
// motion for the whole model; cleared before each hierarchy.
struct SequenceTables {
    std::array<int32_t, kSequenceSlots> length_{};
    std::array<float, kSequenceSlots> ticksPerFraction_{};
    std::array<float, kSequenceSlots> speed_{};
    std::array<Vec3, kSequenceSlots> direction_{};
    void Clear() { *this = SequenceTables{}; }
};

struct SequenceBuildContext {
    float scale_ = 0.001f;       // file units to world units
    int32_t ticksPerSecond_ = 0; // the global clock's integer rate
    std::array<const IndexedSoundChunk*, kSequenceSlots> sounds_{}; // the file's sounds by index
    SequenceSoundSystem* soundSystem_ = nullptr;                   // none: sounds get id 0
    SequenceTables* tables_ = nullptr;
};

// None when the list holds no sequence that builds.
std::unique_ptr<SequenceSet> BuildSequenceSet(const SequenceListChunk& list, SequenceBuildContext& context);
// None for a sequence without frames or header, or with an index outside 0 to 127.
std::unique_ptr<Sequence> BuildSequence(const SequenceChunk& chunk, SequenceBuildContext& context);
SequenceKey BuildSequenceKey(const SequenceFrameChunk& frame, SequenceBuildContext& context,
                             std::vector<SequenceSound>& sounds, float ticksPerFraction);

} // namespace trevok
