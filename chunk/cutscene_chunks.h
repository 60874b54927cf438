// Cut-scene chunks: a CUTSHEAD under a level's special objects names a
// cut-scene and lists its users (the models acting in it), each with its data,
// hierarchy name, sound settings, positions and camera or motion tracks of
// points, a field of view and timed events. The environment loader finds a
// cut-scene by name; the cut-scene player reads it through these accessors.
#pragma once

#include "chunk/chunk.h"
#include "chunk/chunk_ids.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace trevok {

// A record of a name between two runs of 32-bit words, the shape most
// cut-scene data chunks share; floats among the words are kept bit for bit.
struct CutsceneRecordLayout {
    size_t before = 0;  // words ahead of the name
    bool named = false;
    size_t after = 0;   // words after the name
};

class CutsceneRecordChunk : public DataChunk {
public:
    CutsceneRecordChunk(ParentChunk* parent, const ChunkBytes& bytes, CutsceneRecordLayout layout);
    CutsceneRecordChunk(ParentChunk* parent, const char* identifier, CutsceneRecordLayout layout,
                        std::vector<int32_t> words, std::string name = {});

    int32_t Word(size_t i) const { return i < words_.size() ? words_[i] : 0; }
    float FloatWord(size_t i) const;
    const CutsceneRecordLayout& Layout() const { return layout_; }

    std::vector<int32_t> words_;  // the words before the name, then those after
    std::string name_;

protected:
    size_t PayloadSize() const override;
    void WritePayload(ByteWriter& out) const override;

private:
    CutsceneRecordLayout layout_;
};

// CUTSCDAT: a, b, c, the cut-scene's name, d, e, f, g.
class CutsceneDataChunk : public CutsceneRecordChunk {
public:
    static constexpr CutsceneRecordLayout kLayout{3, true, 4};
    CutsceneDataChunk(ParentChunk* parent, const ChunkBytes& bytes) : CutsceneRecordChunk(parent, bytes, kLayout) {}
    explicit CutsceneDataChunk(ParentChunk* parent);
    // f and g are the first two words of the digest of "Cutscene:" + name.
    CutsceneDataChunk(ParentChunk* parent, std::string name, int32_t a, int32_t b, int32_t c);
};

// CTUSRDAT: the user's name, then twelve words.
class CutsceneUserDataChunk : public CutsceneRecordChunk {
public:
    static constexpr CutsceneRecordLayout kLayout{0, true, 12};
    CutsceneUserDataChunk(ParentChunk* parent, const ChunkBytes& bytes) : CutsceneRecordChunk(parent, bytes, kLayout) {}
    explicit CutsceneUserDataChunk(ParentChunk* parent);
};

// CTUSRHIE: the name of the user's hierarchy, then three words.
class CutsceneUserHierarchyChunk : public CutsceneRecordChunk {
public:
    static constexpr CutsceneRecordLayout kLayout{0, true, 3};
    CutsceneUserHierarchyChunk(ParentChunk* parent, const ChunkBytes& bytes)
        : CutsceneRecordChunk(parent, bytes, kLayout)
    {
    }
    CutsceneUserHierarchyChunk(ParentChunk* parent, std::string name);
};

// CTUSNDPR: six words of sound settings.
class CutsceneUserSoundChunk : public CutsceneRecordChunk {
public:
    static constexpr CutsceneRecordLayout kLayout{6, false, 0};
    CutsceneUserSoundChunk(ParentChunk* parent, const ChunkBytes& bytes) : CutsceneRecordChunk(parent, bytes, kLayout) {}
    explicit CutsceneUserSoundChunk(ParentChunk* parent);
};

// CUTTRNAM: the track's name, then two words.
class CutsceneTrackNameChunk : public CutsceneRecordChunk {
public:
    static constexpr CutsceneRecordLayout kLayout{0, true, 2};
    CutsceneTrackNameChunk(ParentChunk* parent, const ChunkBytes& bytes) : CutsceneRecordChunk(parent, bytes, kLayout) {}
    CutsceneTrackNameChunk(ParentChunk* parent, std::string name);
};

// CUTTRFOV: the field of view in degrees (a float), then two words.
class CutsceneFovChunk : public CutsceneRecordChunk {
public:
    static constexpr CutsceneRecordLayout kLayout{3, false, 0};
    CutsceneFovChunk(ParentChunk* parent, const ChunkBytes& bytes) : CutsceneRecordChunk(parent, bytes, kLayout) {}
    explicit CutsceneFovChunk(ParentChunk* parent);
    float FieldOfView() const { return FloatWord(0); }
};

// CTUSSPPO: records of nine words, then three words.
class CutsceneUserPositionsChunk : public DataChunk {
public:
    static constexpr size_t kRecordWords = 9;
    CutsceneUserPositionsChunk(ParentChunk* parent, const ChunkBytes& bytes);
    explicit CutsceneUserPositionsChunk(ParentChunk* parent);
    std::vector<std::array<int32_t, kRecordWords>> records_;
    int32_t trailing_[3] = {};

protected:
    size_t PayloadSize() const override { return 4 + 4 * kRecordWords * records_.size() + 12; }
    void WritePayload(ByteWriter& out) const override;
};

// CUTPOINT: points of four integers, then twelve words (the 9th and 10th flags).
class CutscenePointsChunk : public DataChunk {
public:
    CutscenePointsChunk(ParentChunk* parent, const ChunkBytes& bytes);
    explicit CutscenePointsChunk(ParentChunk* parent);
    std::vector<std::array<int32_t, 4>> points_;
    int32_t trailing_[12] = {};
    bool Flag(size_t i) const { return i < 12 && trailing_[i] != 0; }

protected:
    size_t PayloadSize() const override { return 4 + 16 * points_.size() + 48; }
    void WritePayload(ByteWriter& out) const override;
};

inline constexpr size_t kCutsceneEventHeaderSize = 24;

// One timed event of a track. The six header words lead every record; the
// stored size is worked out again when written.
class CutsceneEvent {
public:
    explicit CutsceneEvent(int32_t type) : type_(type) {}
    virtual ~CutsceneEvent() = default;
    virtual size_t Size() const = 0;
    virtual void Write(ByteWriter& out) const;

    int32_t type_ = 0;
    int32_t time_ = 0;        // milliseconds
    int32_t value_ = -1;
    int32_t secondTime_ = 0;  // milliseconds; used instead of time_ when not 0
    int32_t secondValue_ = 0;
};

// Types 1 to 4 and 6 to 9: a fixed number of words after the header.
class CutsceneWordsEvent : public CutsceneEvent {
public:
    // A fresh record of the type with its defaults; 0 words for a type of another shape.
    explicit CutsceneWordsEvent(int32_t type);
    static size_t WordCount(int32_t type);
    size_t Size() const override { return kCutsceneEventHeaderSize + 4 * words_.size(); }
    void Write(ByteWriter& out) const override;
    float FloatWord(size_t i) const;
    std::vector<int32_t> words_;
};

// Type 5: a name, then ten words.
class CutsceneNamedEvent : public CutsceneEvent {
public:
    static constexpr int32_t kType = 5;
    static constexpr size_t kWords = 10;
    CutsceneNamedEvent() : CutsceneEvent(kType) {}
    size_t Size() const override;
    void Write(ByteWriter& out) const override;
    std::string name_;
    int32_t words_[kWords] = {};
};

// Type 10: a float held as an integer (cut toward zero), then three words.
class CutsceneRoundedEvent : public CutsceneEvent {
public:
    static constexpr int32_t kType = 10;
    CutsceneRoundedEvent();
    size_t Size() const override { return kCutsceneEventHeaderSize + 16; }
    void Write(ByteWriter& out) const override;
    int32_t rounded_ = 0;
    int32_t words_[3] = {};
};

// Any other type, or a known type whose stored size disagrees with its
// layout: the bytes after the header, written back unchanged.
class CutsceneRawEvent : public CutsceneEvent {
public:
    explicit CutsceneRawEvent(int32_t type) : CutsceneEvent(type) {}
    size_t Size() const override { return kCutsceneEventHeaderSize + bytes_.size(); }
    void Write(ByteWriter& out) const override;
    std::vector<uint8_t> bytes_;
};

// CUTEVENT: three words (the first the start time as a float), the event
// list's name, a count and the event records.
class CutsceneEventChunk : public DataChunk {
public:
    CutsceneEventChunk(ParentChunk* parent, const ChunkBytes& bytes);
    CutsceneEventChunk(ParentChunk* parent, std::string name);
    float StartTime() const;

    int32_t words_[3] = {};
    std::string name_;
    std::vector<std::unique_ptr<CutsceneEvent>> events_;

protected:
    size_t PayloadSize() const override;
    void WritePayload(ByteWriter& out) const override;
};

// CUTTRACK: a named track of points, field of view and events.
class CutsceneTrackChunk : public ParentChunk {
public:
    CutsceneTrackChunk(ParentChunk* parent, const ChunkBytes& bytes) : ParentChunk(parent, bytes) {}
    CutsceneTrackChunk(ParentChunk* parent, std::string name);
    CutscenePointsChunk* GetPoints() const;
    CutsceneFovChunk* GetFieldOfView() const;
    // The track's name, or none.
    const std::string* GetName() const;
    void GetEvents(std::vector<CutsceneEventChunk*>& list) const;
};

// CUTSCUSR: one model acting in the cut-scene.
class CutsceneUserChunk : public ParentChunk {
public:
    CutsceneUserChunk(ParentChunk* parent, const ChunkBytes& bytes) : ParentChunk(parent, bytes) {}
    explicit CutsceneUserChunk(ParentChunk* parent);
    CutsceneUserDataChunk* GetData() const;
    // The hierarchy's name, or none.
    const std::string* GetHierarchyName() const;
    CutsceneUserSoundChunk* GetSoundProperties() const;
    CutsceneUserPositionsChunk* GetPositions() const;
    void GetTracks(std::vector<CutsceneTrackChunk*>& list) const;
};

// CUTSHEAD: one cut-scene.
class CutsceneChunk : public ParentChunk {
public:
    CutsceneChunk(ParentChunk* parent, const ChunkBytes& bytes) : ParentChunk(parent, bytes) {}
    CutsceneChunk(ParentChunk* parent, std::string name, int32_t a, int32_t b, int32_t c);
    CutsceneDataChunk* GetData() const;
    void GetUsers(std::vector<CutsceneUserChunk*>& list) const;
};

void RegisterCutsceneChunks();

} // namespace trevok
