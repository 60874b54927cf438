// Any block checked against the size table: a block the table lets through
// holds every word and text its row promises, so a handler reading by the
// row never leaves it.
#include "session/game_message.h"
#include "session/message_sizes.h"

#include <algorithm>
#include <cstdlib>
#include <span>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    for (MessageSizes::Direction direction : {MessageSizes::Direction::kToServer, MessageSizes::Direction::kToClient}) {
        const std::span<const uint8_t> block(data, size);
        if (!MessageSizes::Fits(direction, block))
            continue;
        const MessageSizes::Row* row = MessageSizes::Find(direction, LoadU32(data));
        if (!row || size < row->size)
            std::abort();
        switch (row->rule) {
        case MessageSizes::Rule::kWordList:
        case MessageSizes::Rule::kPairList: {
            const uint64_t item = row->rule == MessageSizes::Rule::kWordList ? 4 : 8;
            if (row->size + item * LoadU32(data + row->countAt) > size)
                std::abort();
            break;
        }
        case MessageSizes::Rule::kTexts:
            if (std::count(data + row->size, data + size, uint8_t{0}) < row->texts)
                std::abort();
            break;
        default:
            break;
        }
    }
    return 0;
}
