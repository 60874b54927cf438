// Reads arbitrary bytes as wave and meta-wave chunks. What reads must write
// back to a chunk that reads to the same values.
#include <cstdint>
#include <cstdlib>
#include <span>

#include "media/sound_bank.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::span<const uint8_t> bytes(data, size);
    if (auto wave = ReadWaveChunk(bytes)) {
        auto again = ReadWaveChunk(WriteWaveChunk(*wave));
        if (!again || again->data != wave->data || again->sound != wave->sound || again->volume != wave->volume)
            std::abort();
    }
    if (auto meta = ReadMetaChunk(bytes)) {
        auto again = ReadMetaChunk(WriteMetaChunk(*meta));
        if (!again || again->pairs.size() != meta->pairs.size() || again->flags != meta->flags)
            std::abort();
    }
    return 0;
}
