// The compressed chunk-file form: a canonical Huffman code over the 256 byte
// values and an end symbol, code lengths at most 11 bits. Every save compresses;
// every load of a "VQNCRIF1" file expands.
#pragma once

#include "chunk/chunk_ids.h"
#include "platform/unfilled_bytes.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

namespace trevok {

inline constexpr size_t kCompressedHeaderSize = 316;
inline constexpr int kMaxCodeLength = 11;

class HuffmanCoder {
public:
    // The whole compressed image: header, code table and bit stream.
    static std::vector<uint8_t> Compress(std::span<const uint8_t> data);

    // Expands a compressed image into `out` (exactly its stored expanded length).
    // The header, code table and stream are checked; a damaged image gives false
    // and, when asked, a line saying what was wrong.
    static bool Decompress(std::span<const uint8_t> image, std::vector<uint8_t>& out,
                           std::string* error = nullptr);
    // The same into a buffer whose growth is not zero-filled first (every byte is written).
    static bool Decompress(std::span<const uint8_t> image, platform::UnfilledImage& out,
                           std::string* error = nullptr);

    // Code-length histogram (index 1..11) that Compress would use for these byte counts.
    static void CodeLengthHistogram(const uint32_t counts[256], int32_t histogram[kMaxCodeLength + 1]);
};

// Compresses everything from `offset` to the end of `file` in place: the
// first `offset` bytes stay, the compressed image follows. The file is
// rewritten whole through a temporary file, so on any failure (unreadable
// file, offset past its end, no room) it is left as it was and false returned.
bool CompressFileTail(const std::filesystem::path& file, size_t offset);

} // namespace trevok
