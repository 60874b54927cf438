// The size table: every row kept exactly and broken one byte either way, list
// counts that run past the block, texts whose NUL lies outside it, and the
// requests refused before a hook sees them.
#include "session/message_sizes.h"

#include "session/game_message.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using MessageSizes::Direction;

std::vector<uint8_t> Block(uint32_t type, size_t size)
{
    std::vector<uint8_t> bytes(size, 'a');
    if (size >= 4)
        StoreU32(bytes.data(), type);
    return bytes;
}

struct ExactCase {
    Direction direction;
    uint32_t type;
    uint32_t size;
};

// Sizes written from the protocol's layouts, not read back from the table.
const ExactCase kExact[] = {
    {Direction::kToServer, 1, 4},   {Direction::kToServer, 4, 8},   {Direction::kToServer, 6, 12},
    {Direction::kToServer, 7, 24},  {Direction::kToServer, 8, 16},  {Direction::kToServer, 9, 24},
    {Direction::kToServer, 10, 16}, {Direction::kToServer, 11, 16}, {Direction::kToServer, 12, 16},
    {Direction::kToServer, 13, 16}, {Direction::kToServer, 14, 12}, {Direction::kToServer, 15, 12},
    {Direction::kToServer, 16, 12}, {Direction::kToServer, 17, 12}, {Direction::kToServer, 18, 12},
    {Direction::kToServer, 19, 12}, {Direction::kToServer, 20, 20}, {Direction::kToServer, 21, 20},
    {Direction::kToServer, 22, 12}, {Direction::kToServer, 23, 12}, {Direction::kToServer, 24, 12},
    {Direction::kToServer, 25, 8},  {Direction::kToServer, 26, 24}, {Direction::kToServer, 27, 16},
    {Direction::kToServer, 28, 24}, {Direction::kToServer, 29, 16}, {Direction::kToServer, 31, 8},
    {Direction::kToServer, 32, 8},  {Direction::kToServer, 33, 8},  {Direction::kToServer, 34, 8},
    {Direction::kToServer, 35, 8},  {Direction::kToServer, 36, 24}, {Direction::kToServer, 42, 56},
    {Direction::kToServer, 43, 56}, {Direction::kToClient, 2, 4},   {Direction::kToClient, 3, 8},
    {Direction::kToClient, 40, 80}, {Direction::kToClient, 41, 24}, {Direction::kToClient, 49, 60},
    {Direction::kToClient, 50, 28}, {Direction::kToClient, 54, 9},  {Direction::kToClient, 63, 60},
    {Direction::kToClient, 67, 44}, {Direction::kToClient, 76, 40}, {Direction::kToClient, 102, 73},
    {Direction::kToClient, 103, 56}, {Direction::kToClient, 115, 24}, {Direction::kToClient, 126, 68},
};

TEST(MessageSizes, ExactRowsRefuseOneByteEitherWay)
{
    for (const ExactCase& c : kExact) {
        SCOPED_TRACE(testing::Message() << "type " << c.type);
        EXPECT_TRUE(MessageSizes::Fits(c.direction, Block(c.type, c.size)));
        EXPECT_FALSE(MessageSizes::Fits(c.direction, Block(c.type, c.size - 1)));
        EXPECT_FALSE(MessageSizes::Fits(c.direction, Block(c.type, c.size + 1)));
    }
}

struct ListCase {
    Direction direction;
    uint32_t type;
    uint32_t head;    // bytes before the items
    uint32_t countAt; // offset of n
    uint32_t item;    // bytes per item
};

const ListCase kLists[] = {
    {Direction::kToServer, 5, 20, 16, 4},
    {Direction::kToServer, 30, 20, 16, 4},
    {Direction::kToClient, 106, 12, 8, 4},
    {Direction::kToClient, 107, 12, 8, 4},
    {Direction::kToClient, 130, 12, 8, 8},
};

TEST(MessageSizes, ListCountsStayInsideTheBlock)
{
    for (const ListCase& c : kLists) {
        SCOPED_TRACE(testing::Message() << "type " << c.type);
        for (uint32_t n : {0u, 1u, 3u}) {
            auto block = Block(c.type, c.head + c.item * n);
            StoreU32(block.data() + c.countAt, n);
            EXPECT_TRUE(MessageSizes::Fits(c.direction, block));
            StoreU32(block.data() + c.countAt, n + 1); // one item more than sent
            EXPECT_FALSE(MessageSizes::Fits(c.direction, block));
            StoreU32(block.data() + c.countAt, 0x40000000u); // n * item wraps to 0
            EXPECT_FALSE(MessageSizes::Fits(c.direction, block));
        }
        EXPECT_FALSE(MessageSizes::Fits(c.direction, Block(c.type, c.head - 1)));
    }
}

struct TextCase {
    uint32_t type;
    uint32_t from;
    uint32_t texts;
};

const TextCase kTexts[] = {{0, 16, 2}, {70, 4, 1}, {101, 4, 1}, {112, 8, 1}, {131, 36, 1}};

TEST(MessageSizes, TextsEndInsideTheBlock)
{
    for (const TextCase& c : kTexts) {
        SCOPED_TRACE(testing::Message() << "type " << c.type);
        auto block = Block(c.type, c.from + 3 * c.texts);
        for (uint32_t i = 0; i < c.texts; ++i)
            block[c.from + 3 * i + 2] = 0;
        EXPECT_TRUE(MessageSizes::Fits(Direction::kToClient, block));
        block.back() = 'x'; // the last NUL gone: the text runs off the end
        EXPECT_FALSE(MessageSizes::Fits(Direction::kToClient, block));
        EXPECT_FALSE(MessageSizes::Fits(Direction::kToClient, Block(c.type, c.from)));
    }
}

TEST(MessageSizes, TypesADirectionNeverCarriesAreRefused)
{
    EXPECT_FALSE(MessageSizes::Fits(Direction::kToServer, Block(0, 4)));
    EXPECT_FALSE(MessageSizes::Fits(Direction::kToServer, Block(2, 4)));
    EXPECT_FALSE(MessageSizes::Fits(Direction::kToServer, Block(3, 8)));
    EXPECT_FALSE(MessageSizes::Fits(Direction::kToServer, Block(44, 12)));
    EXPECT_FALSE(MessageSizes::Fits(Direction::kToClient, Block(5, 20)));
    EXPECT_FALSE(MessageSizes::Fits(Direction::kToClient, Block(72, 12)));
    EXPECT_FALSE(MessageSizes::Fits(Direction::kToServer, Block(1, 3)));
    // Requests 37 to 41 are freed unread, whatever their length.
    EXPECT_TRUE(MessageSizes::Fits(Direction::kToServer, Block(38, 4)));
    EXPECT_TRUE(MessageSizes::Fits(Direction::kToServer, Block(41, 99)));
}

TEST(MessageSizes, GuaranteedFlagFollowsTheSender)
{
    EXPECT_TRUE(MessageSizes::IsGuaranteed(Direction::kToServer, 4));
    EXPECT_FALSE(MessageSizes::IsGuaranteed(Direction::kToServer, 5));
    EXPECT_TRUE(MessageSizes::IsGuaranteed(Direction::kToClient, 67));
    EXPECT_FALSE(MessageSizes::IsGuaranteed(Direction::kToClient, 41));
    EXPECT_FALSE(MessageSizes::IsGuaranteed(Direction::kToClient, 76)); // either, by its sender
    EXPECT_FALSE(MessageSizes::IsGuaranteed(Direction::kToServer, 99));
}

} // namespace
