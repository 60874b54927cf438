// Reads arbitrary bytes as a sound bank. Every entry of a bank that reads
// must lie inside the file, and its chunk must read without running past it.
#include <cstdint>
#include <cstdlib>
#include <span>

#include "media/sound_bank.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::span<const uint8_t> bytes(data, size);
    auto bank = ReadSoundBank(bytes);
    if (!bank)
        return 0;
    for (const auto& entry : bank->entries) {
        if (entry.data.data() < data || entry.data.data() + entry.data.size() > data + size)
            std::abort();
        if (entry.meta)
            ReadMetaChunk(entry.data);
        else if (auto wave = ReadWaveChunk(entry.data))
            DecodeWav(wave->data);
    }
    return 0;
}
