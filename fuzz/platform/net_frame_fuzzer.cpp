// Bytes from another machine through the network layer's own framing: the
// first byte picks the reader (a frame, a search query or answer, a
// level-start message). Whatever a reader accepts must write back to exactly
// the bytes it came from, so nothing is silently cut or invented.
#include "platform/net_frame.h"
#include "session/level_start.h"

#include <algorithm>
#include <cstdlib>
#include <span>
#include <vector>

namespace {

void CheckSame(const std::vector<uint8_t>& written, std::span<const uint8_t> input)
{
    if (written.size() != input.size() || !std::equal(written.begin(), written.end(), input.begin()))
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const std::span<const uint8_t> input(data + 1, size - 1);
    switch (data[0] % 4) {
    case 0:
        if (auto frame = platform::ParseFrame(input))
            CheckSame(platform::WriteFrame(*frame), input);
        break;
    case 1:
        if (auto query = platform::ParseSessionQuery(input))
            CheckSame(platform::WriteSessionQuery(*query), input);
        break;
    case 2:
        if (auto answer = platform::ParseSessionAnswer(input))
            CheckSame(platform::WriteSessionAnswer(*answer), input);
        break;
    default:
        if (auto values = LevelStart::ParseLevelStart(input))
            CheckSame(LevelStart::WriteLevelStart(*values), input);
        break;
    }
    return 0;
}
