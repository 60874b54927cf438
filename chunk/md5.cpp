#include "chunk/md5.h"

#include <algorithm>
#include <cstring>

namespace trevok {
namespace {

constexpr uint32_t kSine[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391};

constexpr int kShift[64] = {7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22,
                            5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20,
                            4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23,
                            6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21};

uint32_t Rotl(uint32_t x, int c) { return (x << c) | (x >> (32 - c)); }

} // namespace

Md5::Md5() : state_{0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476} {}

void Md5::Transform(std::array<uint32_t, 4>& state, const uint8_t* block)
{
    uint32_t m[16];
    for (int i = 0; i < 16; ++i)
        m[i] = static_cast<uint32_t>(block[4 * i]) | static_cast<uint32_t>(block[4 * i + 1]) << 8 |
               static_cast<uint32_t>(block[4 * i + 2]) << 16 | static_cast<uint32_t>(block[4 * i + 3]) << 24;
    uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
    for (int i = 0; i < 64; ++i) {
        uint32_t f;
        int g;
        if (i < 16) {
            f = (b & c) | (~b & d);
            g = i;
        } else if (i < 32) {
            f = (d & b) | (~d & c);
            g = (5 * i + 1) % 16;
        } else if (i < 48) {
            f = b ^ c ^ d;
            g = (3 * i + 5) % 16;
        } else {
            f = c ^ (b | ~d);
            g = (7 * i) % 16;
        }
        uint32_t t = d;
        d = c;
        c = b;
        b = b + Rotl(a + f + kSine[i] + m[g], kShift[i]);
        a = t;
    }
    state[0] += a;
    state[1] += b;
    state[2] += c;
    state[3] += d;
}

void Md5::Update(std::span<const uint8_t> bytes)
{
    size_t used = static_cast<size_t>(length_ % 64);
    length_ += bytes.size();
    size_t i = 0;
    if (used) {
        size_t n = std::min(bytes.size(), 64 - used);
        std::memcpy(buffer_.data() + used, bytes.data(), n);
        i = n;
        if (used + n < 64)
            return;
        Transform(state_, buffer_.data());
    }
    for (; i + 64 <= bytes.size(); i += 64)
        Transform(state_, bytes.data() + i);
    if (i < bytes.size())
        std::memcpy(buffer_.data(), bytes.data() + i, bytes.size() - i);
}

Md5Value Md5::Finish()
{
    uint64_t bits = length_ * 8;
    uint8_t pad[72] = {0x80};
    size_t used = static_cast<size_t>(length_ % 64);
    size_t padLen = used < 56 ? 56 - used : 120 - used;
    Update({pad, padLen});
    uint8_t len[8];
    for (int i = 0; i < 8; ++i)
        len[i] = static_cast<uint8_t>(bits >> (8 * i));
    Update({len, 8});
    Md5Value out;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            out[4 * i + j] = static_cast<uint8_t>(state_[i] >> (8 * j));
    return out;
}

Md5Value Md5::Digest(std::span<const uint8_t> bytes)
{
    Md5 md5;
    md5.Update(bytes);
    return md5.Finish();
}

Md5Value Md5::Digest(std::string_view text)
{
    return Digest({reinterpret_cast<const uint8_t*>(text.data()), text.size()});
}

std::optional<Md5Value> Md5::DigestStream(std::FILE* stream)
{
    Md5 md5;
    uint8_t block[64];
    for (;;) {
        size_t n = std::fread(block, 1, sizeof block, stream);
        if (n)
            md5.Update({block, n});
        if (n < sizeof block)
            break;
    }
    if (std::ferror(stream))
        return std::nullopt;
    return md5.Finish();
}

NameDigest NameDigest::Of(std::string_view text)
{
    Md5Value d = Md5::Digest(text);
    d[7] = 0;
    NameDigest n;
    for (int w = 0; w < 2; ++w)
        for (int j = 0; j < 4; ++j)
            n.words_[w] |= static_cast<uint32_t>(d[4 * w + j]) << (8 * j);
    return n;
}

} // namespace trevok
