// The block of little-endian 32-bit words that crosses between the game
// thread (client) and the server thread, with a writer and a bounds-checked
// reader. A message has no length field: its size travels beside it.
#pragma once

#include "platform/byte_cursor.h"

#include <cstdint>
#include <memory>
#include <string_view>

// Message numbers used by the transport and the server thread itself.
namespace MessageType {
inline constexpr uint32_t kAssignObject = 3;   // {3, object id}
inline constexpr uint32_t kPlayerReady = 1;    // request while waiting for players
inline constexpr uint32_t kSpeedAnswer = 4;    // request {4, sequence}
inline constexpr uint32_t kFirstLevelRequest = 4;
inline constexpr uint32_t kLastLevelRequest = 43;
inline constexpr uint32_t kRunCommandFile = 70; // {70, name, NUL}
inline constexpr uint32_t kDefeat = 95;        // {95}
inline constexpr uint32_t kSlowDown = 96;      // {96, speed, sequence}
inline constexpr uint32_t kSpeedUp = 97;       // {97, speed}
inline constexpr uint32_t kText = 101;         // {101, char[255]}
} // namespace MessageType

// An owned copy of one message. The type is the first word; a block shorter
// than one word has none.
class GameMessage {
public:
    static constexpr uint32_t kNoType = 0xFFFFFFFFu;

    GameMessage() = default;
    GameMessage(const void* data, uint32_t size); // copies `size` bytes
    GameMessage(std::unique_ptr<uint8_t[]> data, uint32_t size); // takes the block

    const uint8_t* Data() const { return data_.get(); }
    uint32_t Size() const { return size_; }
    bool IsEmpty() const { return data_ == nullptr; }

    uint32_t Type() const;
    // Word `index` (0 is the type); false when the block ends before it.
    bool ReadWord(uint32_t index, uint32_t& out) const;
    bool ReadFloat(uint32_t index, float& out) const;

private:
    std::unique_ptr<uint8_t[]> data_;
    uint32_t size_ = 0;
};

// Builds a message word by word in a fixed buffer; a write past the end is
// refused and marks the writer failed, so a short buffer never overflows.
class MessageWriter {
public:
    MessageWriter(uint8_t* buffer, uint32_t capacity) : writer_(std::span<uint8_t>(buffer, capacity)) {}

    void PutU32(uint32_t value);
    void PutFloat(float value);
    // `text` NUL-terminated in a field of `fieldSize` bytes, cut to fit and
    // padded with zeros.
    void PutText(std::string_view text, uint32_t fieldSize);

    uint32_t Size() const { return static_cast<uint32_t>(writer_.Position()); }
    bool Ok() const { return writer_.Ok(); }

private:
    trevok::ByteWriter writer_;
};

void StoreU32(uint8_t* at, uint32_t value);
uint32_t LoadU32(const uint8_t* at);
