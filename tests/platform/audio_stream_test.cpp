// Streamed voices: queued blocks are heard in order, the stream refuses more
// than it can hold until blocks have played, and a stream that ran dry starts
// again when fed.
#include <gtest/gtest.h>

#include "platform/audio_stream.h"

#include <cstdlib>
#include <vector>

namespace {

// The loudest sample, skipping the first `skip` (the mixer's filter tail).
int Peak(const std::vector<int16_t>& mixed, size_t skip = 0)
{
    int peak = 0;
    for (size_t i = skip; i < mixed.size(); ++i) {
        const int16_t s = mixed[i];
        peak = std::max(peak, std::abs(int(s)));
    }
    return peak;
}

TEST(AudioStream, BlocksPlayInTurnAndFreeTheirPlace)
{
    auto device = platform::audio::Device::OpenLoopback(8000);
    if (!device)
        GTEST_SKIP() << "no loopback audio device";
    auto stream = platform::audio::Stream::Open(*device, {1, 16, 8000});
    ASSERT_NE(stream, nullptr);
    const std::vector<int16_t> loud(800, 12000), quiet(800, 0);
    // a square-ish block: alternate signs so the mixer passes it as sound
    std::vector<int16_t> tone(loud);
    for (size_t i = 0; i < tone.size(); i += 2)
        tone[i] = -tone[i];
    for (int i = 0; i < platform::audio::Stream::kBuffers; ++i)
        ASSERT_TRUE(stream->Push(i == 0 ? tone : quiet)) << i;
    EXPECT_FALSE(stream->HasRoom());
    EXPECT_FALSE(stream->Push(tone));
    EXPECT_GT(Peak(device->Render(800)), 2000); // the first block is the tone
    EXPECT_TRUE(stream->HasRoom());
    EXPECT_LT(Peak(device->Render(800), 400), 100); // then silence
    device->Render(3000);                        // run dry
    ASSERT_TRUE(stream->Push(tone));
    EXPECT_GT(Peak(device->Render(800)), 2000);
}

TEST(AudioStream, RefusesFormatsItCannotStream)
{
    auto device = platform::audio::Device::OpenLoopback(8000);
    if (!device)
        GTEST_SKIP() << "no loopback audio device";
    EXPECT_EQ(platform::audio::Stream::Open(*device, {1, 8, 8000}), nullptr);
    EXPECT_EQ(platform::audio::Stream::Open(*device, {3, 16, 8000}), nullptr);
    EXPECT_EQ(platform::audio::Stream::Open(*device, {2, 16, 0}), nullptr);
}

} // namespace
