#include "chunk/light_chunks.h"

#include "chunk/chunk_ids.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace trevok {

ShortName MakeShortName(std::string_view name)
{
    ShortName s{};
    std::memcpy(s.data(), name.data(), std::min<size_t>(name.size(), 8));
    return s;
}

std::string ShortNameText(const ShortName& name)
{
    size_t n = 0;
    while (n < 8 && name[n])
        ++n;
    return std::string(name.data(), n);
}

LightSetChunk::LightSetChunk(ParentChunk* parent, std::string_view name) : ParentChunk(parent, chunk_id::kLightSet)
{
    new LightSetHeaderChunk(this, name, 0);
}

LightSetHeaderChunk::LightSetHeaderChunk(ParentChunk* parent, std::string_view name, int32_t value)
    : DataChunk(parent, chunk_id::kLightSetHeader), name_(MakeShortName(name)), value_(value)
{
}

LightSetHeaderChunk::LightSetHeaderChunk(ParentChunk* parent, const ChunkBytes& bytes)
    : DataChunk(parent, bytes.Identifier())
{
    ByteReader r(bytes.Payload());
    r.Bytes(name_.data(), 8);
    value_ = r.I32();
    FinishRead(r, bytes);
}

void LightSetHeaderChunk::WritePayload(ByteWriter& out) const
{
    out.Bytes(name_.data(), 8);
    out.I32(value_);
}

WordsChunk* NewStandardLightChunk(ParentChunk* parent, const std::array<uint32_t, kStandardLightWords>& words)
{
    return new WordsChunk(parent, chunk_id::kStandardLight, std::vector<uint32_t>(words.begin(), words.end()));
}

WordsChunk* NewAmbienceChunk(ParentChunk* parent, int32_t ambience)
{
    return new WordsChunk(parent, chunk_id::kAmbience, {static_cast<uint32_t>(ambience)});
}

VertexIntensityChunk::VertexIntensityChunk(ParentChunk* parent, std::string_view name, int32_t value,
                                           std::vector<int32_t> intensities)
    : DataChunk(parent, chunk_id::kVertexIntensity), name_(MakeShortName(name)), value_(value),
      intensities_(std::move(intensities))
{
}

VertexIntensityChunk::VertexIntensityChunk(ParentChunk* parent, const ChunkBytes& bytes)
    : DataChunk(parent, bytes.Identifier())
{
    ByteReader r(bytes.Payload());
    r.Bytes(name_.data(), 8);
    value_ = r.I32();
    int32_t n = r.I32();
    if (CheckCount(r, n, 4)) {
        intensities_.resize(static_cast<size_t>(n));
        for (auto& v : intensities_)
            v = r.I32();
    }
    FinishRead(r, bytes);
}

void VertexIntensityChunk::WritePayload(ByteWriter& out) const
{
    out.Bytes(name_.data(), 8);
    out.I32(value_);
    out.I32(static_cast<int32_t>(intensities_.size()));
    for (auto v : intensities_)
        out.I32(v);
}

int32_t LightScale::Map(int32_t v, float scale, int32_t threshold, int32_t offset)
{
    if (v < threshold)
        return v;
    double scaled = (static_cast<double>(v) + offset - threshold) * static_cast<double>(scale);
    // Keep the truncation inside the int32 range for any scale a file holds.
    if (!(scaled == scaled))
        scaled = 0;
    scaled = std::clamp(scaled, -2147483648.0, 2147483647.0);
    int64_t r = static_cast<int64_t>(threshold) + static_cast<int64_t>(scaled);
    if (r >= 255)
        return 255;
    if (r <= threshold)
        return threshold;
    return static_cast<int32_t>(r);
}

namespace {

// Thresholds and offsets are stored as floats and held as integers.
int32_t FloatToInt(float f)
{
    if (!(f == f))
        return 0;
    if (f >= 2147483520.0f)
        return 2147483647;
    if (f <= -2147483648.0f)
        return -2147483647 - 1;
    return static_cast<int32_t>(f);
}

} // namespace

LightScaleChunk::LightScaleChunk(ParentChunk* parent, int32_t mode) : DataChunk(parent, chunk_id::kLightScale)
{
    scale_.mode_ = mode;
}

LightScaleChunk::LightScaleChunk(ParentChunk* parent, const ChunkBytes& bytes) : DataChunk(parent, bytes.Identifier())
{
    ByteReader r(bytes.Payload());
    scale_.mode_ = r.I32();
    scale_.scaleA_ = r.F32();
    scale_.thresholdA_ = FloatToInt(r.F32());
    scale_.offsetA_ = FloatToInt(r.F32());
    scale_.scaleB_ = r.F32();
    scale_.thresholdB_ = FloatToInt(r.F32());
    scale_.offsetB_ = FloatToInt(r.F32());
    for (auto& v : scale_.values_)
        v = r.I32();
    r.Skip(4);
    FinishRead(r, bytes);
}

void LightScaleChunk::WritePayload(ByteWriter& out) const
{
    out.I32(scale_.mode_);
    out.F32(scale_.scaleA_);
    out.F32(static_cast<float>(scale_.thresholdA_));
    out.F32(static_cast<float>(scale_.offsetA_));
    out.F32(scale_.scaleB_);
    out.F32(static_cast<float>(scale_.thresholdB_));
    out.F32(static_cast<float>(scale_.offsetB_));
    for (auto v : scale_.values_)
        out.I32(v);
    out.U32(0);
}

ObjectLightsChunk::ObjectLightsChunk(ParentChunk* parent) : DataChunk(parent, chunk_id::kObjectLights) {}

ObjectLightsChunk::ObjectLightsChunk(ParentChunk* parent, const ChunkBytes& bytes)
    : DataChunk(parent, bytes.Identifier())
{
    ByteReader r(bytes.Payload());
    for (auto& w : words_)
        w = r.U32();
    int32_t n = r.I32();
    if (CheckCount(r, n, 4)) {
        lights_.resize(static_cast<size_t>(n));
        for (auto& v : lights_)
            v = r.I32();
    }
    FinishRead(r, bytes);
}

void ObjectLightsChunk::WritePayload(ByteWriter& out) const
{
    for (auto w : words_)
        out.U32(w);
    out.I32(static_cast<int32_t>(lights_.size()));
    for (auto v : lights_)
        out.I32(v);
}

DummyVector DummyVector::Of(float x, float y, float z)
{
    return {{std::bit_cast<uint32_t>(x), std::bit_cast<uint32_t>(y), std::bit_cast<uint32_t>(z)}};
}

DummyObjectDataChunk::DummyObjectDataChunk(ParentChunk* parent) : DataChunk(parent, chunk_id::kDummyObjectData) {}

DummyObjectDataChunk::DummyObjectDataChunk(ParentChunk* parent, const ChunkBytes& bytes)
    : DataChunk(parent, bytes.Identifier())
{
    ByteReader r(bytes.Payload());
    for (DummyVector* v : {&position_, &first_, &second_})
        for (auto& w : v->words_)
            w = r.U32();
    for (auto& w : orientation_)
        w = r.U32();
    name_ = r.PaddedString();
    FinishRead(r, bytes);
}

void DummyObjectDataChunk::WritePayload(ByteWriter& out) const
{
    for (const DummyVector* v : {&position_, &first_, &second_})
        for (auto w : v->words_)
            out.U32(w);
    for (auto w : orientation_)
        out.U32(w);
    out.PaddedString(name_);
}

DummyObjectTextChunk::DummyObjectTextChunk(ParentChunk* parent, std::string text)
    : DataChunk(parent, chunk_id::kDummyObjectText), text_(std::move(text))
{
}

DummyObjectTextChunk::DummyObjectTextChunk(ParentChunk* parent, const ChunkBytes& bytes)
    : DataChunk(parent, bytes.Identifier())
{
    ByteReader r(bytes.Payload());
    text_ = r.PaddedString();
    FinishRead(r, bytes);
}

DummyObjectChunk::DummyObjectChunk(ParentChunk* parent, std::string_view name, const DummyVector& position,
                                   const DummyVector& first, const DummyVector& second, const uint32_t orientation[4])
    : ParentChunk(parent, chunk_id::kDummyObject)
{
    auto* data = new DummyObjectDataChunk(this);
    data->name_ = std::string(name);
    data->position_ = position;
    data->first_ = first;
    data->second_ = second;
    std::memcpy(data->orientation_, orientation, sizeof data->orientation_);
}

DummyObjectDataChunk* DummyObjectChunk::GetData() const
{
    return FindChildAs<DummyObjectDataChunk>(chunk_id::kDummyObjectData);
}

const std::string* DummyObjectChunk::GetText() const
{
    auto* t = FindChildAs<DummyObjectTextChunk>(chunk_id::kDummyObjectText);
    return t ? &t->text_ : nullptr;
}

void DummyObjectChunk::SetText(const std::string* text)
{
    auto* t = FindChildAs<DummyObjectTextChunk>(chunk_id::kDummyObjectText);
    if (!text || text->empty()) {
        delete t;
        return;
    }
    if (t)
        t->text_ = *text;
    else
        new DummyObjectTextChunk(this, *text);
}

void RegisterLightChunks()
{
    auto& reg = ChunkRegistry::Instance();
    reg.Register(chunk_id::kLightSet, "", BuildChunk<LightSetChunk>);
    reg.Register(chunk_id::kLightSetHeader, "", BuildChunk<LightSetHeaderChunk>);
    reg.Register(chunk_id::kStandardLight, "", BuildWordsChunk<kStandardLightWords>);
    reg.Register(chunk_id::kVertexIntensity, "", BuildChunk<VertexIntensityChunk>);
    reg.Register(chunk_id::kAmbience, "", BuildWordsChunk<1>);
    reg.Register(chunk_id::kLightScale, "", BuildChunk<LightScaleChunk>);
    reg.Register(chunk_id::kObjectLights, "", BuildChunk<ObjectLightsChunk>);
    reg.Register(chunk_id::kDummyObject, "", BuildChunk<DummyObjectChunk>);
    reg.Register(chunk_id::kDummyObjectData, "", BuildChunk<DummyObjectDataChunk>);
    reg.Register(chunk_id::kDummyObjectText, "", BuildChunk<DummyObjectTextChunk>);
}

} // namespace trevok
