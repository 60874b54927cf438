// Light sets, per-vertex intensities, ambience, light scaling, per-object light
// lists, and dummy objects (named marker points with a direction frame and text).
#pragma once

#include "chunk/chunk.h"
#include "chunk/object_chunks.h"

#include <array>
#include <string>
#include <vector>

namespace trevok {

// An 8-byte name field: NUL-padded, no terminator when all 8 are used.
using ShortName = std::array<char, 8>;
ShortName MakeShortName(std::string_view name);
std::string ShortNameText(const ShortName& name);

class LightSetChunk : public ParentChunk {
public:
    LightSetChunk(ParentChunk* parent, const ChunkBytes& bytes) : ParentChunk(parent, bytes) {}
    LightSetChunk(ParentChunk* parent, std::string_view name);
};

class LightSetHeaderChunk : public DataChunk {
public:
    LightSetHeaderChunk(ParentChunk* parent, const ChunkBytes& bytes);
    LightSetHeaderChunk(ParentChunk* parent, std::string_view name, int32_t value = 0);
    ShortName name_{};
    int32_t value_ = 0;

protected:
    size_t PayloadSize() const override { return 12; }
    void WritePayload(ByteWriter& out) const override;
};

// STDLIGHT: 21 words (4 values, a block of 9, then 8), kept bit for bit.
inline constexpr size_t kStandardLightWords = 21;
WordsChunk* NewStandardLightChunk(ParentChunk* parent, const std::array<uint32_t, kStandardLightWords>& words);
WordsChunk* NewAmbienceChunk(ParentChunk* parent, int32_t ambience);

class VertexIntensityChunk : public DataChunk {
public:
    VertexIntensityChunk(ParentChunk* parent, const ChunkBytes& bytes);
    VertexIntensityChunk(ParentChunk* parent, std::string_view name, int32_t value, std::vector<int32_t> intensities);
    ShortName name_{};
    int32_t value_ = 0;
    std::vector<int32_t> intensities_;

protected:
    size_t PayloadSize() const override { return 16 + 4 * intensities_.size(); }
    void WritePayload(ByteWriter& out) const override;
};

// Maps light levels 0..255 through a threshold, an offset and a scale.
struct LightScale {
    int32_t mode_ = 0;
    float scaleA_ = 1.0f;
    int32_t thresholdA_ = 0;
    int32_t offsetA_ = 0;
    float scaleB_ = 1.0f;
    int32_t thresholdB_ = 0;
    int32_t offsetB_ = 0;
    int32_t values_[3] = {};

    int32_t ScaleA(int32_t v) const { return Map(v, scaleA_, thresholdA_, offsetA_); }
    int32_t ScaleB(int32_t v) const { return Map(v, scaleB_, thresholdB_, offsetB_); }
    static int32_t Map(int32_t v, float scale, int32_t threshold, int32_t offset);
};

class LightScaleChunk : public DataChunk {
public:
    LightScaleChunk(ParentChunk* parent, const ChunkBytes& bytes);
    LightScaleChunk(ParentChunk* parent, int32_t mode);
    LightScale scale_;

protected:
    size_t PayloadSize() const override { return 44; }
    void WritePayload(ByteWriter& out) const override;
};

class ObjectLightsChunk : public DataChunk {
public:
    ObjectLightsChunk(ParentChunk* parent, const ChunkBytes& bytes);
    explicit ObjectLightsChunk(ParentChunk* parent);
    std::array<uint32_t, 15> words_{};
    std::vector<int32_t> lights_;

protected:
    size_t PayloadSize() const override { return 64 + 4 * lights_.size(); }
    void WritePayload(ByteWriter& out) const override;
};

struct DummyVector {
    uint32_t words_[3] = {}; // 32-bit values kept bit for bit
    static DummyVector Of(float x, float y, float z);
};

class DummyObjectDataChunk : public DataChunk {
public:
    DummyObjectDataChunk(ParentChunk* parent, const ChunkBytes& bytes);
    explicit DummyObjectDataChunk(ParentChunk* parent);
    DummyVector position_;
    DummyVector first_;
    DummyVector second_;
    uint32_t orientation_[4] = {};
    std::string name_;

protected:
    size_t PayloadSize() const override { return 52 + ByteReader::PaddedLength(name_.size()); }
    void WritePayload(ByteWriter& out) const override;
};

class DummyObjectTextChunk : public DataChunk {
public:
    DummyObjectTextChunk(ParentChunk* parent, const ChunkBytes& bytes);
    DummyObjectTextChunk(ParentChunk* parent, std::string text);
    std::string text_;

protected:
    size_t PayloadSize() const override { return ByteReader::PaddedLength(text_.size()); }
    void WritePayload(ByteWriter& out) const override { out.PaddedString(text_); }
};

class DummyObjectChunk : public ParentChunk {
public:
    DummyObjectChunk(ParentChunk* parent, const ChunkBytes& bytes) : ParentChunk(parent, bytes) {}
    DummyObjectChunk(ParentChunk* parent, std::string_view name, const DummyVector& position,
                     const DummyVector& first, const DummyVector& second, const uint32_t orientation[4]);
    DummyObjectDataChunk* GetData() const;
    // The text, or none.
    const std::string* GetText() const;
    void SetText(const std::string* text);
};

void RegisterLightChunks();

} // namespace trevok
