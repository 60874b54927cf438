// WAV images decode to the samples sox decodes them to; what cannot play is
// refused with the reason.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "media/sound_bank.h"
#include "support/chunk_bytes.h"

namespace fs = std::filesystem;

namespace {

bool HaveSox() { return std::system("sox --version >/dev/null 2>&1") == 0; }

struct Encoding {
    const char* what;
    const char* soxArgs;   // how sox writes the image
    const char* rawArgs;   // the samples sox decodes it to
    int bits;              // our decoded sample size
};

class WavAgainstSox : public testing::TestWithParam<Encoding> {};

TEST_P(WavAgainstSox, DecodedSamplesEqualSoxs)
{
    if (!HaveSox())
        GTEST_SKIP() << "sox not installed";
    const Encoding& e = GetParam();
    const fs::path dir = fs::temp_directory_path() / ("trevok_wav_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    for (int channels : {1, 2}) {
        const fs::path image = dir / "image.wav", raw = dir / "samples.raw";
        const std::string make = "sox -n -r 11025 -c " + std::to_string(channels) + " " + e.soxArgs + " " +
                                 image.string() + " synth 0.25 sine 440 sine 1200 vol 0.8";
        ASSERT_EQ(std::system(make.c_str()), 0) << make;
        const std::string decode = "sox " + image.string() + " -t raw " + e.rawArgs + " " + raw.string();
        ASSERT_EQ(std::system(decode.c_str()), 0) << decode;
        std::string error;
        auto pcm = DecodeWav(chunkbytes::ReadBytes(image), &error);
        ASSERT_TRUE(pcm) << e.what << ": " << error;
        EXPECT_EQ(pcm->channels, channels);
        EXPECT_EQ(pcm->rate, 11025);
        EXPECT_EQ(pcm->bitsPerSample, e.bits);
        const auto expected = chunkbytes::ReadBytes(raw);
        ASSERT_EQ(pcm->samples.size(), expected.size()) << e.what << ", " << channels << " channels";
        EXPECT_TRUE(pcm->samples == expected) << e.what << ", " << channels << " channels";
    }
    fs::remove_all(dir);
}

INSTANTIATE_TEST_SUITE_P(Encodings, WavAgainstSox,
                         testing::Values(Encoding{"8-bit", "-b 8 -e unsigned", "-b 8 -e unsigned", 8},
                                         Encoding{"16-bit", "-b 16 -e signed", "-b 16 -e signed", 16},
                                         Encoding{"IMA ADPCM", "-e ima-adpcm", "-b 16 -e signed", 16}),
                         [](const auto& param) {
                             std::string n = param.param.what;
                             for (char& c : n)
                                 if (!std::isalnum(static_cast<unsigned char>(c)))
                                     c = '_';
                             return n;
                         });

// A PCM header by hand: format tag, channels, rate, bits.
std::vector<uint8_t> Header(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t bits, uint32_t dataBytes)
{
    chunkbytes::Bytes b;
    b.Raw("RIFF").U32(36 + dataBytes).Raw("WAVE").Raw("fmt ").U32(16);
    b.b.push_back(static_cast<uint8_t>(tag));
    b.b.push_back(static_cast<uint8_t>(tag >> 8));
    b.b.push_back(static_cast<uint8_t>(channels));
    b.b.push_back(0);
    b.U32(rate).U32(rate * channels * bits / 8);
    b.b.push_back(static_cast<uint8_t>(channels * bits / 8));
    b.b.push_back(0);
    b.b.push_back(static_cast<uint8_t>(bits));
    b.b.push_back(0);
    b.Raw("data").U32(dataBytes).Zeros(dataBytes);
    return b.b;
}

TEST(WavImage, WhatCannotPlayIsRefusedWithTheReason)
{
    auto noData = Header(1, 1, 22050, 16, 4);
    noData.resize(noData.size() - 12);
    const struct {
        const char* what;
        std::vector<uint8_t> image;
        const char* fragment;
    } rows[] = {
        {"the hand-built 8-bit tone plays", chunkbytes::ReadBytes(chunkbytes::FixturePath("media", "tone_8bit.wav")), nullptr},
        {"24-bit PCM", Header(1, 1, 22050, 24, 6), "24-bit"},
        {"float samples", Header(3, 1, 22050, 32, 8), "format 3"},
        {"three channels", Header(1, 3, 22050, 16, 6), "channel"},
        {"rate 0", Header(1, 1, 0, 16, 2), "rate"},
        {"no data chunk", noData, "no data"},
        {"not RIFF", {'R', 'I', 'F', 'X', 0, 0, 0, 0, 'W', 'A', 'V', 'E'}, "not a WAV"},
        {"IMA ADPCM with a block too small", Header(0x11, 1, 22050, 4, 16), "IMA"},
    };
    for (const auto& r : rows) {
        std::string error;
        auto pcm = DecodeWav(r.image, &error);
        if (!r.fragment) {
            EXPECT_TRUE(pcm) << r.what << ": " << error;
            continue;
        }
        EXPECT_FALSE(pcm) << r.what;
        EXPECT_NE(error.find(r.fragment), std::string::npos) << r.what << ": " << error;
    }
}

} // namespace
