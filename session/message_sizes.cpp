#include "session/message_sizes.h"

#include "session/game_message.h"

#include <algorithm>

namespace MessageSizes {
namespace {

constexpr Direction kUp = Direction::kToServer;
constexpr Direction kDown = Direction::kToClient;
constexpr Delivery kYes = Delivery::kGuaranteed;
constexpr Delivery kNo = Delivery::kUnreliable;

constexpr Row Exact(Direction d, uint32_t type, uint32_t size, Delivery delivery)
{
    return Row{type, d, Rule::kExact, size, 0, 0, delivery};
}
constexpr Row Words(Direction d, uint32_t type, uint32_t size, uint32_t countAt, Delivery delivery)
{
    return Row{type, d, Rule::kWordList, size, countAt, 0, delivery};
}
constexpr Row Texts(Direction d, uint32_t type, uint32_t from, uint8_t texts, Delivery delivery)
{
    return Row{type, d, Rule::kTexts, from, 0, texts, delivery};
}
constexpr Row Unread(Direction d, uint32_t type)
{
    return Row{type, d, Rule::kAnyLength, 4, 0, 0, Delivery::kEither};
}

constexpr Row kRows[] = {
    // Requests.
    Exact(kUp, 1, 4, kYes),
    Exact(kUp, 4, 8, kYes),
    Words(kUp, 5, 20, 16, kNo),
    Exact(kUp, 6, 12, kYes),
    Exact(kUp, 7, 24, kNo),
    Exact(kUp, 8, 16, kNo),
    Exact(kUp, 9, 24, kNo),
    Exact(kUp, 10, 16, kNo),
    Exact(kUp, 11, 16, kNo),
    Exact(kUp, 12, 16, kYes),
    Exact(kUp, 13, 16, kYes),
    Exact(kUp, 14, 12, kYes),
    Exact(kUp, 15, 12, kYes),
    Exact(kUp, 16, 12, kYes),
    Exact(kUp, 17, 12, kYes),
    Exact(kUp, 18, 12, kYes),
    Exact(kUp, 19, 12, kYes),
    Exact(kUp, 20, 20, kYes),
    Exact(kUp, 21, 20, kYes),
    Exact(kUp, 22, 12, kYes),
    Exact(kUp, 23, 12, kYes),
    Exact(kUp, 24, 12, kYes),
    Exact(kUp, 25, 8, kYes),
    Exact(kUp, 26, 24, kNo),
    Exact(kUp, 27, 16, kNo),
    Exact(kUp, 28, 24, kNo),
    Exact(kUp, 29, 16, kNo),
    Words(kUp, 30, 20, 16, kNo),
    Exact(kUp, 31, 8, kYes),
    Exact(kUp, 32, 8, kNo),
    Exact(kUp, 33, 8, kNo),
    Exact(kUp, 34, 8, kNo),
    Exact(kUp, 35, 8, kNo),
    Exact(kUp, 36, 24, kNo),
    Unread(kUp, 37),
    Unread(kUp, 38),
    Unread(kUp, 39),
    Unread(kUp, 40),
    Unread(kUp, 41),
    Exact(kUp, 42, 56, kNo),
    Exact(kUp, 43, 56, kNo),

    // Server messages.
    Texts(kDown, 0, 16, 2, kYes), // game type, sides, own side, level, companion
    Exact(kDown, 2, 4, kYes),
    Exact(kDown, 3, 8, kYes),
    Exact(kDown, 27, 16, kNo),
    Exact(kDown, 38, 12, kNo),
    Exact(kDown, 39, 12, kNo),
    Exact(kDown, 40, 80, kNo),
    Exact(kDown, 41, 24, kNo),
    Exact(kDown, 42, 56, kNo),
    Exact(kDown, 43, 56, kNo),
    Exact(kDown, 44, 12, kNo),
    Exact(kDown, 45, 24, kNo),
    Exact(kDown, 46, 16, kNo),
    Exact(kDown, 47, 12, kNo),
    Exact(kDown, 48, 8, kNo),
    Exact(kDown, 49, 60, kNo),
    Exact(kDown, 50, 28, kNo),
    Exact(kDown, 51, 56, kYes),
    Exact(kDown, 52, 8, kYes),
    Exact(kDown, 53, 8, kYes),
    Exact(kDown, 54, 9, kNo),
    Exact(kDown, 55, 9, kNo),
    Exact(kDown, 56, 16, kNo),
    Exact(kDown, 57, 12, kYes),
    Exact(kDown, 58, 16, kNo),
    Exact(kDown, 59, 12, kYes),
    Exact(kDown, 60, 12, kYes),
    Exact(kDown, 61, 12, kYes),
    Exact(kDown, 62, 12, kYes),
    Exact(kDown, 63, 60, kYes),
    Exact(kDown, 64, 8, kNo),
    Exact(kDown, 65, 8, kNo),
    Exact(kDown, 66, 8, kNo),
    Exact(kDown, 67, 44, kYes),
    Exact(kDown, 68, 8, kNo),
    Exact(kDown, 69, 8, kNo),
    Texts(kDown, 70, 4, 1, kYes),
    Exact(kDown, 71, 16, kNo),
    Exact(kDown, 74, 12, Delivery::kEither),
    Exact(kDown, 75, 16, kNo),
    Exact(kDown, 76, 40, Delivery::kEither),
    Exact(kDown, 77, 12, kYes),
    Exact(kDown, 81, 20, kYes),
    Exact(kDown, 82, 20, kYes),
    Exact(kDown, 83, 16, kYes),
    Exact(kDown, 84, 16, kYes),
    Exact(kDown, 85, 12, kYes),
    Exact(kDown, 86, 12, kYes),
    Exact(kDown, 87, 12, kYes),
    Exact(kDown, 88, 12, kNo),
    Exact(kDown, 89, 16, kYes),
    Exact(kDown, 90, 12, kYes),
    Exact(kDown, 91, 12, kYes),
    Exact(kDown, 92, 8, kYes),
    Exact(kDown, 93, 8, kYes),
    Exact(kDown, 94, 8, kNo),
    Exact(kDown, 95, 4, kYes),
    Exact(kDown, 96, 12, kYes),
    Exact(kDown, 97, 8, kYes),
    Exact(kDown, 98, 12, kYes),
    Exact(kDown, 99, 16, kNo),
    Exact(kDown, 100, 8, kYes),
    // The sender fills 259 bytes; a shorter block with its NUL reads the same.
    Texts(kDown, 101, 4, 1, kYes),
    Exact(kDown, 102, 73, kYes),
    Exact(kDown, 103, 56, kNo),
    Exact(kDown, 104, 12, kYes),
    Exact(kDown, 105, 12, kYes),
    Words(kDown, 106, 12, 8, kYes),
    Words(kDown, 107, 12, 8, kYes),
    Exact(kDown, 108, 8, kYes),
    Exact(kDown, 109, 8, kYes),
    Exact(kDown, 110, 8, kYes),
    Exact(kDown, 111, 8, kNo),
    Texts(kDown, 112, 8, 1, kNo),
    Exact(kDown, 113, 8, kYes),
    Exact(kDown, 114, 8, kYes),
    Exact(kDown, 115, 24, kNo),
    Exact(kDown, 116, 8, kYes),
    Exact(kDown, 117, 8, kYes),
    Exact(kDown, 118, 12, kNo),
    Exact(kDown, 119, 12, kNo),
    Exact(kDown, 120, 8, kYes),
    Exact(kDown, 121, 8, kYes),
    Exact(kDown, 122, 8, kYes),
    Exact(kDown, 123, 8, kNo),
    Exact(kDown, 124, 8, kNo),
    Exact(kDown, 125, 40, kNo),
    Exact(kDown, 126, 68, kNo),
    Exact(kDown, 127, 28, kNo),
    Exact(kDown, 128, 8, kYes),
    Exact(kDown, 129, 8, kNo),
    Row{130, kDown, Rule::kPairList, 12, 8, 0, kNo},
    Texts(kDown, 131, 36, 1, kNo),
    Exact(kDown, 132, 8, kYes),
};

bool ListFits(const Row& row, std::span<const uint8_t> block, uint32_t itemSize)
{
    if (block.size() < row.size)
        return false;
    const uint32_t count = LoadU32(block.data() + row.countAt);
    // Divided, not multiplied, so a huge count cannot wrap past the check.
    return count <= (block.size() - row.size) / itemSize;
}

bool TextsFit(const Row& row, std::span<const uint8_t> block)
{
    if (block.size() <= row.size)
        return false;
    const uint8_t* at = block.data() + row.size;
    const uint8_t* const end = block.data() + block.size();
    for (uint8_t i = 0; i < row.texts; ++i) {
        const uint8_t* nul = std::find(at, end, uint8_t{0});
        if (nul == end)
            return false;
        at = nul + 1;
    }
    return true;
}

} // namespace

const Row* Find(Direction direction, uint32_t type)
{
    for (const Row& row : kRows) {
        if (row.type == type && row.direction == direction)
            return &row;
    }
    return nullptr;
}

bool Fits(Direction direction, std::span<const uint8_t> block)
{
    if (block.size() < 4)
        return false;
    const Row* row = Find(direction, LoadU32(block.data()));
    if (!row)
        return false;
    switch (row->rule) {
    case Rule::kExact: return block.size() == row->size;
    case Rule::kWordList: return ListFits(*row, block, 4);
    case Rule::kPairList: return ListFits(*row, block, 8);
    case Rule::kTexts: return TextsFit(*row, block);
    case Rule::kAnyLength: return true;
    }
    return false;
}

bool IsGuaranteed(Direction direction, uint32_t type)
{
    const Row* row = Find(direction, type);
    return row && row->delivery == Delivery::kGuaranteed;
}

} // namespace MessageSizes
