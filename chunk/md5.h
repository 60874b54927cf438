// MD5 digests (RFC 1321) and the 8-byte name digests that identify objects,
// sounds and cut-scenes by name.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <span>
#include <string_view>

namespace trevok {

using Md5Value = std::array<uint8_t, 16>;

class Md5 {
public:
    Md5();
    void Update(std::span<const uint8_t> bytes);
    Md5Value Finish();

    static Md5Value Digest(std::span<const uint8_t> bytes);
    static Md5Value Digest(std::string_view text);
    // Everything read from the stream to its end; none when the stream reports an error.
    static std::optional<Md5Value> DigestStream(std::FILE* stream);
    // One 64-byte block into the state.
    static void Transform(std::array<uint32_t, 4>& state, const uint8_t* block);

private:
    std::array<uint32_t, 4> state_;
    uint64_t length_ = 0;
    std::array<uint8_t, 64> buffer_{};
};

// The first seven digest bytes and a zero byte, held as two little-endian words.
struct NameDigest {
    uint32_t words_[2] = {0, 0};
    bool operator==(const NameDigest&) const = default;
    static NameDigest Of(std::string_view text);
};

} // namespace trevok
