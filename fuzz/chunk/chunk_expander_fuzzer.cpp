// Expands arbitrary bytes as a compressed image, and compresses them: what the
// compressor makes must expand back to its input.
#include "chunk/huffman_coder.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <span>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::span<const uint8_t> bytes(data, size);
    std::vector<uint8_t> out;
    std::string why;
    if (trevok::HuffmanCoder::Decompress(bytes, out, &why)) {
        int32_t length;
        std::memcpy(&length, data + 12, 4);
        if (static_cast<size_t>(length) != out.size())
            std::abort();
    }
    auto image = trevok::HuffmanCoder::Compress(bytes);
    if (!trevok::HuffmanCoder::Decompress(image, out, &why) || out.size() != size ||
        (size && std::memcmp(out.data(), data, size) != 0))
        std::abort();
    return 0;
}
