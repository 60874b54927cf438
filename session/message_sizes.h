// The one table of message sizes for both directions: every block a peer or
// the local queue hands over is checked against its row before anything
// reads a word of it. The senders also take their guaranteed flag from here.
#pragma once

#include <cstdint>
#include <span>

namespace MessageSizes {

enum class Direction : uint8_t { kToServer, kToClient };

enum class Rule : uint8_t {
    kExact,     // `size` bytes exactly
    kWordList,  // at least `size` bytes; a count at `countAt` of 4-byte items after `size`
    kPairList,  // the same with 8-byte items
    kTexts,     // at least `size` bytes; `texts` NUL-terminated texts from `size` on, inside the block
    kAnyLength, // read by nobody: any block holding its type
};

enum class Delivery : uint8_t { kUnreliable, kGuaranteed, kEither };

struct Row {
    uint32_t type;
    Direction direction;
    Rule rule;
    uint32_t size;
    uint32_t countAt; // lists only: byte offset of the item count
    uint8_t texts;    // texts only
    Delivery delivery;
};

// The row of a type in a direction; null for a type that direction never carries.
const Row* Find(Direction direction, uint32_t type);

// True when `block` has a type the direction carries and keeps its row.
bool Fits(Direction direction, std::span<const uint8_t> block);

// The flag a sender passes; false for a type without a row.
bool IsGuaranteed(Direction direction, uint32_t type);

} // namespace MessageSizes
