#include "session/game_message.h"

#include "session/direct_play.h"

#include <algorithm>
#include <cstring>

void StoreU32(uint8_t* at, uint32_t value)
{
    at[0] = static_cast<uint8_t>(value);
    at[1] = static_cast<uint8_t>(value >> 8);
    at[2] = static_cast<uint8_t>(value >> 16);
    at[3] = static_cast<uint8_t>(value >> 24);
}

uint32_t LoadU32(const uint8_t* at)
{
    return uint32_t(at[0]) | uint32_t(at[1]) << 8 | uint32_t(at[2]) << 16 | uint32_t(at[3]) << 24;
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
    if (!data_ || index >= size_ / 4)
        return false;
    out = LoadU32(data_.get() + 4 * static_cast<size_t>(index));
    return true;
}

bool GameMessage::ReadFloat(uint32_t index, float& out) const
{
    uint32_t bits = 0;
    if (!ReadWord(index, bits))
        return false;
    std::memcpy(&out, &bits, sizeof out);
    return true;
}

bool MessageWriter::Reserve(uint32_t bytes)
{
    if (!ok_ || capacity_ - size_ < bytes) {
        ok_ = false;
        return false;
    }
    return true;
}

void MessageWriter::PutU32(uint32_t value)
{
    if (!Reserve(4))
        return;
    StoreU32(buffer_ + size_, value);
    size_ += 4;
}

void MessageWriter::PutFloat(float value)
{
    uint32_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    PutU32(bits);
}

void MessageWriter::PutText(std::string_view text, uint32_t fieldSize)
{
    if (fieldSize == 0 || !Reserve(fieldSize))
        return;
    const size_t length = std::min<size_t>(text.size(), fieldSize - 1);
    std::memset(buffer_ + size_, 0, fieldSize);
    std::memcpy(buffer_ + size_, text.data(), length);
    size_ += fieldSize;
}

