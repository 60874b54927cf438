#include "tools/rifdump/body_fields.h"

#include <algorithm>
#include <cstring>

namespace trevok::rifdump {

size_t BodyField::StoredSize() const
{
    switch (kind_) {
    case Kind::U8:
        return 1;
    case Kind::U16:
        return 2;
    case Kind::U32:
        return 4;
    case Kind::Text:
        return text_.size() + 1;
    case Kind::PaddedText:
        return ByteReader::PaddedLength(text_.size());
    case Kind::FixedText:
        return value_;
    case Kind::Bytes:
        return bytes_.size();
    }
    return 0;
}

void BodyField::Write(ByteWriter& out) const
{
    switch (kind_) {
    case Kind::U8:
        out.U8(static_cast<uint8_t>(value_));
        break;
    case Kind::U16:
        out.U16(static_cast<uint16_t>(value_));
        break;
    case Kind::U32:
        out.U32(value_);
        break;
    case Kind::Text:
        out.CString(text_);
        break;
    case Kind::PaddedText:
        out.PaddedString(text_);
        break;
    case Kind::FixedText:
        out.FixedString(text_, value_);
        break;
    case Kind::Bytes:
        out.Bytes(bytes_);
        break;
    }
}

// ---------------------------------------------------------------------------

BodyField& BodyReader::Add(BodyField::Kind kind)
{
    fields_.emplace_back();
    fields_.back().kind_ = kind;
    return fields_.back();
}

uint32_t BodyReader::Word()
{
    uint32_t v = reader_.U32();
    Add(BodyField::Kind::U32).value_ = v;
    return v;
}

void BodyReader::Words(size_t n)
{
    if (!Fits(n, 4))
        return;
    for (size_t i = 0; i < n; ++i)
        Word();
}

void BodyReader::HalfWords(size_t n)
{
    for (size_t i = 0; i < n; ++i)
        Add(BodyField::Kind::U16).value_ = reader_.U16();
}

void BodyReader::Byte()
{
    Add(BodyField::Kind::U8).value_ = reader_.U8();
}

void BodyReader::Bytes(size_t n)
{
    auto s = reader_.Take(n);
    Add(BodyField::Kind::Bytes).bytes_.assign(s.begin(), s.end());
}

void BodyReader::Name()
{
    Add(BodyField::Kind::Text).text_ = reader_.CString();
}

void BodyReader::PaddedName()
{
    Add(BodyField::Kind::PaddedText).text_ = reader_.PaddedString();
}

void BodyReader::FixedName(size_t width)
{
    auto& f = Add(BodyField::Kind::FixedText);
    f.value_ = static_cast<uint32_t>(width);
    f.text_ = reader_.FixedString(width);
}

bool BodyReader::Fits(uint64_t count, uint64_t minimumSize)
{
    if (!reader_.Ok())
        return false;
    if (minimumSize != 0 && count > reader_.Remaining() / minimumSize) {
        reader_.Fail();
        return false;
    }
    return true;
}

void BodyReader::Records(uint64_t count, size_t words)
{
    if (!Fits(count, 4 * static_cast<uint64_t>(words)))
        return;
    for (uint64_t i = 0; i < count * words; ++i)
        Word();
}

void BodyReader::RecordBytes(uint64_t count, uint64_t size)
{
    // Checked without multiplying, so two huge stored values cannot wrap into a small product.
    if (size != 0 && !Fits(count, size))
        return;
    Bytes(static_cast<size_t>(count * size));
}

void BodyReader::SizedBlock(size_t minimum, const std::function<void(std::vector<uint8_t>&, uint32_t)>& upgrade)
{
    size_t start = reader_.Position();
    uint32_t stored = reader_.U32();
    if (!reader_.Ok() || stored < 4 || stored - 4 > reader_.Remaining()) {
        reader_.Fail();
        return;
    }
    reader_.Seek(start);
    auto block = reader_.Take(stored);
    auto& f = Add(BodyField::Kind::Bytes);
    f.bytes_.assign(std::max<size_t>(stored, minimum), 0);
    std::copy(block.begin(), block.end(), f.bytes_.begin());
    if (upgrade)
        upgrade(f.bytes_, stored);
    uint32_t size = static_cast<uint32_t>(f.bytes_.size());
    for (int i = 0; i < 4; ++i)
        f.bytes_[static_cast<size_t>(i)] = static_cast<uint8_t>(size >> (8 * i));
}

// ---------------------------------------------------------------------------

LayoutChunk::LayoutChunk(ParentChunk* parent, const ChunkBytes& bytes, const BodyLayout& layout)
    : DataChunk(parent, bytes.Identifier())
{
    ReadBody(bytes, layout);
}

void LayoutChunk::ReadBody(const ChunkBytes& bytes, const BodyLayout& layout)
{
    fields_.clear();
    BodyReader r(bytes.Payload(), fields_);
    layout(r);
    FinishRead(r.Raw(), bytes);
}

size_t LayoutChunk::PayloadSize() const
{
    size_t size = 0;
    for (const auto& f : fields_)
        size += f.StoredSize();
    return size;
}

void LayoutChunk::WritePayload(ByteWriter& out) const
{
    for (size_t i = 0; i < fields_.size(); ++i) {
        const auto& f = fields_[i];
        if (f.kind_ == BodyField::Kind::U32)
            out.U32(WordToWrite(i, f.value_));
        else
            f.Write(out);
    }
}

} // namespace trevok::rifdump
