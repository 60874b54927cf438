// The script commands' road to the clients: a block the size table refuses
// never reaches the sink and is counted, so a command that builds one wrong
// shows up in tests and fuzzing instead of vanishing.
#include "console/script_messages.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

std::vector<std::vector<uint8_t>> g_sent;
bool Record(std::span<const uint8_t> block, bool)
{
    g_sent.emplace_back(block.begin(), block.end());
    return true;
}

struct Case {
    const char* name;
    uint32_t type;
    size_t words; // 4-byte words after the type
    bool fits;
};

// Sizes from the protocol's layouts: 76 is 40 bytes, 126 is 68.
const Case kCases[] = {
    {"exact", 76, 9, true},
    {"one word short", 76, 8, false},
    {"one word long", 76, 10, false},
    {"another exact row", 126, 16, true},
    {"a type no client reads", 9999, 4, false},
};

TEST(ScriptMessages, RefusedBlocksAreCountedAndNeverSent)
{
    ScriptMessages::SetSink(Record);
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        g_sent.clear();
        ScriptMessages::Builder message(c.type);
        for (size_t i = 0; i < c.words; ++i)
            message.U32(uint32_t(i));
        const uint64_t before = ScriptMessages::Refused();
        EXPECT_EQ(ScriptMessages::Send(message), c.fits);
        EXPECT_EQ(g_sent.size(), c.fits ? 1u : 0u);
        EXPECT_EQ(ScriptMessages::Refused() - before, c.fits ? 0u : 1u);
    }
    ScriptMessages::SetSink(nullptr);
}

} // namespace
