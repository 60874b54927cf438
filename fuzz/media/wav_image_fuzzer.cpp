// Decodes arbitrary bytes as a WAV image. A decoded sound must be playable:
// one or two channels, 8 or 16 bits, a positive rate, and PCM that writes
// back to an image decoding to the same samples.
#include <cstdint>
#include <cstdlib>
#include <span>

#include "media/sound_bank.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    auto pcm = DecodeWav(std::span<const uint8_t>(data, size));
    if (!pcm)
        return 0;
    if (pcm->channels < 1 || pcm->channels > 2 || (pcm->bitsPerSample != 8 && pcm->bitsPerSample != 16) ||
        pcm->rate <= 0)
        std::abort();
    auto again = DecodeWav(WritePcmWav(*pcm));
    if (!again || again->samples != pcm->samples)
        std::abort();
    return 0;
}
