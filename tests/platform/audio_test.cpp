// The audio layer's loopback device: what it accepts, what it mixes, and
// where a stopped source's play position stands.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

#include "platform/audio.h"

namespace {

using platform::audio::Device;

std::vector<uint8_t> Square16(int frames)
{
    std::vector<uint8_t> out;
    for (int i = 0; i < frames; ++i) {
        const int16_t v = (i / 20) % 2 ? 12000 : -12000;
        out.push_back(static_cast<uint8_t>(v));
        out.push_back(static_cast<uint8_t>(static_cast<uint16_t>(v) >> 8));
    }
    return out;
}

double Energy(const std::vector<int16_t>& samples)
{
    double sum = 0;
    for (int16_t s : samples)
        sum += std::abs(s);
    return sum;
}

TEST(AudioLayer, BuffersTakeOnlyPlayableFormats)
{
    auto device = Device::OpenLoopback(22050);
    ASSERT_TRUE(device);
    const std::vector<uint8_t> bytes(64, 128);
    const struct {
        int channels, bits, rate;
        size_t size;
        bool made;
    } rows[] = {{1, 8, 22050, 64, true}, {2, 16, 44100, 64, true}, {1, 16, 11025, 63, true},
                {3, 16, 22050, 64, false}, {1, 24, 22050, 64, false}, {1, 16, 0, 64, false},
                {2, 16, 22050, 3, false}};
    for (const auto& r : rows) {
        auto buffer = device->MakeBuffer({r.channels, r.bits, r.rate}, std::span(bytes.data(), r.size));
        EXPECT_EQ(buffer != nullptr, r.made) << r.channels << " channels, " << r.bits << " bits, rate " << r.rate
                                             << ", " << r.size << " bytes";
    }
}

TEST(AudioLayer, ASourceMixesUntilItsBufferEndsAndResumesWhereItStopped)
{
    auto device = Device::OpenLoopback(22050);
    ASSERT_TRUE(device);
    // Dither only: below one step per sample.
    EXPECT_LT(Energy(device->Render(512)), 1024.0) << "silence before anything plays";
    auto buffer = device->MakeBuffer({1, 16, 22050}, Square16(22050));
    ASSERT_TRUE(buffer);
    auto source = device->MakeSource(*buffer);
    ASSERT_TRUE(source);
    source->SetPositioned(false);
    ASSERT_TRUE(source->Play());
    EXPECT_GT(Energy(device->Render(2205)), 2205.0 * 1000);
    const uint32_t position = source->ByteOffset(); // a stopped source is back at 0
    source->Stop();
    EXPECT_NEAR(position, 2 * 2205, 2 * 64) << "a tenth of a second of 16-bit mono";

    auto resumed = device->MakeSource(*buffer);
    ASSERT_TRUE(resumed->SetByteOffset(position));
    ASSERT_TRUE(resumed->Play());
    device->Render(22050 - 2205 + 1024);
    EXPECT_FALSE(resumed->IsPlaying()) << "the rest of the buffer, not all of it again";
}

} // namespace
