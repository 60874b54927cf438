#include "session/game_message.h"

#include "session/direct_play.h"

#include <bit>
#include <cstring>

void StoreU32(uint8_t* at, uint32_t value)
{
    trevok::ByteWriter(std::span<uint8_t>(at, 4)).U32(value);
}

uint32_t LoadU32(const uint8_t* at)
{
    return trevok::ByteReader(std::span<const uint8_t>(at, 4)).U32();
}

GameMessage::GameMessage(const void* data, uint32_t size) : size_(size)
{
    data_ = std::make_unique<uint8_t[]>(size == 0 ? 1 : size);
    if (size != 0)
        std::memcpy(data_.get(), data, size);
}

GameMessage::GameMessage(std::unique_ptr<uint8_t[]> data, uint32_t size)
    : data_(std::move(data)), size_(data_ ? size : 0)
{
}

uint32_t GameMessage::Type() const
{
    uint32_t type = kNoType;
    return ReadWord(0, type) ? type : kNoType;
}

bool GameMessage::ReadWord(uint32_t index, uint32_t& out) const
{
    if (!data_)
        return false;
    trevok::ByteReader r = trevok::ByteReader(std::span<const uint8_t>(data_.get(), size_)).At(4 * size_t{index});
    out = r.U32();
    return r.Ok();
}

bool GameMessage::ReadFloat(uint32_t index, float& out) const
{
    uint32_t bits = 0;
    if (!ReadWord(index, bits))
        return false;
    out = std::bit_cast<float>(bits);
    return true;
}

void MessageWriter::PutU32(uint32_t value)
{
    writer_.U32(value);
}

void MessageWriter::PutFloat(float value)
{
    writer_.F32(value);
}

void MessageWriter::PutText(std::string_view text, uint32_t fieldSize)
{
    if (fieldSize == 0)
        return;
    // The whole field or nothing; the text keeps room for its NUL.
    if (!writer_.Fits(fieldSize)) {
        writer_.Fail();
        return;
    }
    writer_.FixedString(text.substr(0, fieldSize - 1), fieldSize);
}

