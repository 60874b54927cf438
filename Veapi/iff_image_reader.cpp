#include "Veapi/iff_image_reader.h"

#include <algorithm>
#include <array>
#include <bit>
#include <climits>
#include <cstring>

#include "Veapi/texture_loader.h"
#include "platform/gfx_surface.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

namespace ve {

void IlbmBmhd::Transfer(IffArchive& ar)
{
    ar.Transfer16(width);
    ar.Transfer16(height);
    ar.Transfer16(x);
    ar.Transfer16(y);
    ar.Transfer8(planes);
    ar.Transfer8(masking);
    ar.Transfer8(compression);
    ar.Transfer8(pad);
    ar.Transfer16(transparent);
    ar.Transfer8(xAspect);
    ar.Transfer8(yAspect);
    ar.Transfer16(pageWidth);
    ar.Transfer16(pageHeight);
}

void IlbmCmap::Transfer(IffArchive& ar)
{
    if (ar.Reading()) {
        int64_t n = ar.Remaining() / 3;
        rgb.assign(size_t(std::max<int64_t>(n, 0)) * 3, 0);
    }
    if (!rgb.empty())
        ar.TransferBytes(rgb.data(), uint32_t(rgb.size()));
}

void IlbmAlph::Transfer(IffArchive& ar)
{
    ar.Transfer16(width);
    ar.Transfer16(height);
    ar.Transfer8(planes);
    ar.Transfer8(compression);
    TransferRows(ar);
}

void IlbmGrab::Transfer(IffArchive& ar)
{
    ar.Transfer16(x);
    ar.Transfer16(y);
}

void IlbmTran::Transfer(IffArchive& ar)
{
    ar.Transfer8(enabled);
    ar.Transfer16(value1);
    ar.Transfer16(value2);
    ar.Transfer8(red);
    ar.Transfer8(green);
    ar.Transfer8(blue);
}

void IlbmS3tc::Transfer(IffArchive& ar)
{
    ar.Transfer32(word);
    ar.Transfer32(fourCC);
    ar.Transfer16(value1);
    ar.Transfer16(value2);
    ar.Transfer16(value3);
    ar.Transfer16(width);
    ar.Transfer16(height);
    if (!ar.Reading())
        dataSize = uint32_t(data.size());
    ar.Transfer32(dataSize);
    if (ar.Reading()) {
        // The block count is checked against the chunk before it is allocated.
        if (ar.Error() || int64_t(dataSize) > ar.Remaining()) {
            ar.SetError();
            return;
        }
        data.assign(dataSize, 0);
    }
    if (!data.empty())
        ar.TransferBytes(data.data(), uint32_t(data.size()));
}

void MipmCont::Transfer(IffArchive& ar)
{
    ar.Transfer8(value1);
    ar.Transfer8(value2);
}

namespace {

void EncodeByteRun1(const uint8_t* b, size_t n, std::vector<uint8_t>& out)
{
    size_t i = 0;
    while (i < n) {
        size_t run = 1;
        while (i + run < n && run < 128 && b[i + run] == b[i])
            ++run;
        if (run >= 2) {
            out.push_back(uint8_t(1 - int(run)));
            out.push_back(b[i]);
            i += run;
            continue;
        }
        size_t j = i;
        while (j < n && j - i < 128) {
            if (j + 2 < n && b[j] == b[j + 1] && b[j] == b[j + 2])
                break;
            ++j;
        }
        out.push_back(uint8_t(j - i - 1));
        out.insert(out.end(), b + i, b + j);
        i = j;
    }
}

} // namespace

void IlbmBody::TransferRows(IffArchive& ar)
{
    if (ar.Reading()) {
        uint32_t count = 0;
        lent_ = ar.LendRest(count);
        lentSize_ = count;
        if (lent_) {
            data.clear();
            return;
        }
    } else {
        OwnBytes();
    }
    ar.TransferRest(data);
}

void IlbmBody::OwnBytes()
{
    if (!lent_)
        return;
    data.assign(lent_, lent_ + lentSize_);
    lent_ = nullptr;
    lentSize_ = 0;
}

void IlbmBody::Encode(const std::vector<uint32_t>& values, uint32_t width, uint32_t height,
                      uint32_t planes, bool compress)
{
    lent_ = nullptr;
    lentSize_ = 0;
    data.clear();
    uint32_t rowBytes = (width + 7) / 8;
    std::vector<uint8_t> row(size_t(rowBytes) * planes);
    for (uint32_t y = 0; y < height; ++y) {
        std::fill(row.begin(), row.end(), 0);
        for (uint32_t p = 0; p < planes; ++p)
            for (uint32_t x = 0; x < width; ++x)
                if ((values[size_t(y) * width + x] >> p) & 1)
                    row[size_t(p) * rowBytes + x / 8] |= uint8_t(0x80 >> (x % 8));
        if (compress)
            EncodeByteRun1(row.data(), row.size(), data);
        else
            data.insert(data.end(), row.begin(), row.end());
    }
}

// ---- PlaneDecoder

bool PlaneDecoder::DecodeRow(uint32_t rowBytes, uint8_t* out)
{
    const size_t need = size_t(rowBytes) * planes_;
    if (!compressed_) {
        if (pos_ + need > size_)
            return false;
        if (out)
            std::memcpy(out, data_ + pos_, need);
        pos_ += need;
        return true;
    }
    // The run state carries from plane to plane but starts afresh at each row.
    // A run is at most kRunSlack bytes and `out` has that much room past the
    // row, so runs are written in whole 64-byte steps; what lands past a run
    // is written over by the next, or lies past the row. Locals, so the stores
    // need not be assumed to change the decoder's position.
    const uint8_t* const data = data_;
    const size_t size = size_;
    size_t pos = pos_, done = 0;
    bool whole = true;
    while (done < need) {
        if (pos >= size) {
            whole = false;
            break;
        }
        const uint8_t n = data[pos++];
        if (n < 128) {
            const size_t count = size_t(n) + 1;
            if (pos + count > size) {
                whole = false;
                break;
            }
            if (out && size - pos >= kRunSlack) {
                std::memcpy(out + done, data + pos, 64);
                if (count > 64)
                    std::memcpy(out + done + 64, data + pos + 64, 64);
            } else if (out) {
                std::memcpy(out + done, data + pos, std::min(count, need - done));
            }
            pos += count;
            done += std::min(count, need - done);
        } else if (n > 128) {
            const size_t count = 257 - size_t(n);
            if (pos >= size) {
                whole = false;
                break;
            }
            const uint8_t b = data[pos++];
            if (out) {
                std::memset(out + done, b, 64);
                if (count > 64)
                    std::memset(out + done + 64, b, 64);
            }
            done += std::min(count, need - done);
        }
    }
    pos_ = pos;
    return whole;
}

void PlaneDecoder::Start(const uint8_t* data, size_t size, uint32_t width, uint32_t height, uint32_t planes,
                         bool compressed)
{
    data_ = data;
    size_ = data ? size : 0;
    width_ = width;
    height_ = height;
    planes_ = planes;
    compressed_ = compressed;
    uint32_t byteRow = (width + 7) / 8, wordRow = ((width + 15) / 16) * 2;
    rowBytes_ = byteRow;
    if (wordRow != byteRow) {
        auto fits = [&](uint32_t rowBytes, bool& exact) {
            pos_ = 0;
            for (uint32_t y = 0; y < height_; ++y)
                if (!DecodeRow(rowBytes, nullptr))
                    return false;
            exact = pos_ == size_;
            return true;
        };
        bool byteExact = false, wordExact = false;
        bool byteFits = fits(byteRow, byteExact);
        bool wordFits = !(byteFits && byteExact) && fits(wordRow, wordExact);
        if (!(byteFits && byteExact) && wordFits && (wordExact || !byteFits))
            rowBytes_ = wordRow;
    }
    pos_ = 0;
    row_.assign(compressed_ ? size_t(rowBytes_) * planes_ + kRunSlack : 0, 0);
    values_.assign(width_, 0);
}

namespace {

// A plane byte spread over eight byte lanes, its first (highest) bit in lane 0,
// so eight pixels take one bit of a plane in one step.
constexpr auto kPlaneSpread = [] {
    std::array<uint64_t, 256> t{};
    for (uint32_t b = 0; b < 256; ++b)
        for (uint32_t i = 0; i < 8; ++i)
            if ((b >> (7 - i)) & 1)
                t[b] |= uint64_t{1} << (8 * i);
    return t;
}();

#if defined(__x86_64__) || defined(__i386__)
// Sixteen bytes of each of eight planes into eight vectors of two 64-bit
// lanes, one lane per eight pixels, byte p of a lane from plane p. The
// loops of register arrays here and below are unrolled: rolled, g++ keeps the
// arrays on the stack and each step waits on its own stores.
inline __attribute__((always_inline)) void InterleavePlanes(const __m128i plane[8], __m128i lanes[8])
{
    __m128i pairs[8], quads[8];
#pragma GCC unroll 4
    for (int k = 0; k < 4; ++k) {
        pairs[2 * k] = _mm_unpacklo_epi8(plane[2 * k], plane[2 * k + 1]);
        pairs[2 * k + 1] = _mm_unpackhi_epi8(plane[2 * k], plane[2 * k + 1]);
    }
#pragma GCC unroll 2
    for (int h = 0; h < 2; ++h)
#pragma GCC unroll 2
        for (int k = 0; k < 2; ++k) {
            quads[4 * h + 2 * k] = _mm_unpacklo_epi16(pairs[4 * k + h], pairs[4 * k + h + 2]);
            quads[4 * h + 2 * k + 1] = _mm_unpackhi_epi16(pairs[4 * k + h], pairs[4 * k + h + 2]);
        }
#pragma GCC unroll 4
    for (int q = 0; q < 4; ++q) {
        const int h = q / 2, k = q % 2;
        lanes[2 * q] = _mm_unpacklo_epi32(quads[4 * h + k], quads[4 * h + k + 2]);
        lanes[2 * q + 1] = _mm_unpackhi_epi32(quads[4 * h + k], quads[4 * h + k + 2]);
    }
}

// Byte indices 128 pixels a step where the processor has the affine byte
// transform: it transposes a lane's 8 x 8 bits in one instruction. Returns
// the pixels done, a multiple of 128.
__attribute__((target("gfni,sse4.1"))) uint32_t SpreadPlanesAffine(const uint8_t* first, size_t stride,
                                                                 uint32_t count, uint32_t width, uint8_t* indices)
{
    // Byte j picks bit 7 - j, the bit of a plane byte that belongs to pixel j.
    const __m128i pick = _mm_set1_epi64x(0x0102040810204080LL);
    uint32_t x = 0;
    for (; x + 128 <= width; x += 128) {
        // Plane p goes to byte 7 - p of each lane, so the transform puts it in bit p.
        __m128i plane[8];
#pragma GCC unroll 8
        for (uint32_t p = 0; p < 8; ++p)
            plane[7 - p] = p < count ? _mm_loadu_si128(reinterpret_cast<const __m128i*>(first + p * stride + x / 8))
                                     : _mm_setzero_si128();
        __m128i lanes[8];
        InterleavePlanes(plane, lanes);
#pragma GCC unroll 8
        for (int k = 0; k < 8; ++k)
            _mm_storeu_si128(reinterpret_cast<__m128i*>(indices + x + 16 * uint32_t(k)),
                             _mm_gf2p8affine_epi64_epi8(pick, lanes[k], 0));
    }
    return x;
}

// The same 512 pixels a step where the processor has 64-byte registers and
// byte permutes: each 128-bit lane interleaves as above, and the plane bytes
// are first permuted so that lane L of result k holds pixels 64k + 16L on,
// which makes every result 64 pixels in order. Returns the pixels done, a
// multiple of 512.
__attribute__((target("gfni,avx512f,avx512bw,avx512vbmi"))) uint32_t SpreadPlanesAffineWide(const uint8_t* first,
                                                                                           size_t stride,
                                                                                           uint32_t count,
                                                                                           uint32_t width,
                                                                                           uint8_t* indices)
{
    alignas(64) static constexpr auto kGather = [] {
        std::array<uint8_t, 64> order{};
        for (uint32_t lane = 0; lane < 4; ++lane)
            for (uint32_t b = 0; b < 16; ++b)
                order[16 * lane + b] = uint8_t(8 * (b / 2) + 2 * lane + b % 2);
        return order;
    }();
    const __m512i gather = _mm512_load_si512(kGather.data());
    const __m512i pick = _mm512_set1_epi64(0x0102040810204080LL);
    uint32_t x = 0;
    for (; x + 512 <= width; x += 512) {
        __m512i plane[8];
#pragma GCC unroll 8
        for (uint32_t p = 0; p < 8; ++p)
            plane[7 - p] = p < count ? _mm512_maskz_permutexvar_epi8(
                                           ~__mmask64{0}, gather, _mm512_loadu_si512(first + p * stride + x / 8))
                                     : _mm512_setzero_si512();
        __m512i pairs[8], quads[8];
#pragma GCC unroll 4
        for (int k = 0; k < 4; ++k) {
            pairs[2 * k] = _mm512_unpacklo_epi8(plane[2 * k], plane[2 * k + 1]);
            pairs[2 * k + 1] = _mm512_unpackhi_epi8(plane[2 * k], plane[2 * k + 1]);
        }
#pragma GCC unroll 2
        for (int h = 0; h < 2; ++h)
#pragma GCC unroll 2
            for (int k = 0; k < 2; ++k) {
                quads[4 * h + 2 * k] = _mm512_unpacklo_epi16(pairs[4 * k + h], pairs[4 * k + h + 2]);
                quads[4 * h + 2 * k + 1] = _mm512_unpackhi_epi16(pairs[4 * k + h], pairs[4 * k + h + 2]);
            }
#pragma GCC unroll 4
        for (int q = 0; q < 4; ++q) {
            const int h = q / 2, k = q % 2;
            // The masked forms: gcc 12 warns of an unset operand in the plain ones.
            const __m512i lo = _mm512_maskz_unpacklo_epi32(__mmask16(0xFFFF), quads[4 * h + k], quads[4 * h + k + 2]);
            const __m512i hi = _mm512_maskz_unpackhi_epi32(__mmask16(0xFFFF), quads[4 * h + k], quads[4 * h + k + 2]);
            _mm512_storeu_si512(indices + x + 64 * uint32_t(2 * q), _mm512_gf2p8affine_epi64_epi8(pick, lo, 0));
            _mm512_storeu_si512(indices + x + 64 * uint32_t(2 * q + 1), _mm512_gf2p8affine_epi64_epi8(pick, hi, 0));
        }
    }
    return x;
}

const bool kHasAffineWide = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("gfni") && __builtin_cpu_supports("avx512f") &&
           __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512vbmi");
}();

const bool kHasAffine = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("gfni") && __builtin_cpu_supports("sse4.1");
}();

// What a plane spread writes: the values of the first eight planes, further
// planes' bits into those values, or one byte index a pixel.
enum class SpreadInto { kFirstValues, kMoreValues, kIndices };

// Sixteen pixels a step: each plane's two bytes go to eight lanes apiece, a
// lane keeps its pixel's bit as the plane's bit of the pixel byte; the bytes
// are stored as indices or widen into the values. Returns the pixels done, a
// multiple of 16.
template <SpreadInto kInto>
__attribute__((target("ssse3"))) uint32_t SpreadPlanesShuffled(const uint8_t* first, size_t stride, uint32_t count,
                                                               uint32_t width, uint32_t base, void* out)
{
    auto* const values = static_cast<uint32_t*>(out);
    const __m128i toLanes = _mm_setr_epi8(0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 1, 1, 1, 1);
    const __m128i laneBit = _mm_setr_epi8(-128, 64, 32, 16, 8, 4, 2, 1, -128, 64, 32, 16, 8, 4, 2, 1);
    const __m128i zero = _mm_setzero_si128();
    const __m128i shift = _mm_cvtsi32_si128(int(base));
    // The first eight planes start the values; later ones add to them.
    auto put = [&](__m128i* to, __m128i words) {
        if constexpr (kInto == SpreadInto::kFirstValues)
            _mm_storeu_si128(to, words);
        else
            _mm_storeu_si128(to, _mm_or_si128(_mm_loadu_si128(to), _mm_sll_epi32(words, shift)));
    };
    auto store = [&](uint32_t at, __m128i pixels) {
        if constexpr (kInto == SpreadInto::kIndices) {
            _mm_storeu_si128(reinterpret_cast<__m128i*>(static_cast<uint8_t*>(out) + at), pixels);
            return;
        }
        const __m128i low = _mm_unpacklo_epi8(pixels, zero), high = _mm_unpackhi_epi8(pixels, zero);
        auto* to = reinterpret_cast<__m128i*>(values + at);
        put(to, _mm_unpacklo_epi16(low, zero));
        put(to + 1, _mm_unpackhi_epi16(low, zero));
        put(to + 2, _mm_unpacklo_epi16(high, zero));
        put(to + 3, _mm_unpackhi_epi16(high, zero));
    };
    uint32_t x = 0;
    // 128 pixels a step: sixteen bytes of each plane interleave into one
    // 64-bit lane per eight pixels (byte p from plane p), then each lane's
    // 8 x 8 bits transpose, and a byte reversal puts the first pixel first.
    const __m128i reverse = _mm_setr_epi8(7, 6, 5, 4, 3, 2, 1, 0, 15, 14, 13, 12, 11, 10, 9, 8);
    for (; x + 128 <= width; x += 128) {
        __m128i plane[8];
#pragma GCC unroll 8
        for (uint32_t p = 0; p < 8; ++p)
            plane[p] = p < count ? _mm_loadu_si128(reinterpret_cast<const __m128i*>(first + p * stride + x / 8)) : zero;
        __m128i lanes[8];
        InterleavePlanes(plane, lanes);
#pragma GCC unroll 8
        for (int k = 0; k < 8; ++k) {
            __m128i v = lanes[k];
            __m128i t = _mm_and_si128(_mm_xor_si128(v, _mm_srli_epi64(v, 7)), _mm_set1_epi64x(0x00AA00AA00AA00AALL));
            v = _mm_xor_si128(v, _mm_xor_si128(t, _mm_slli_epi64(t, 7)));
            t = _mm_and_si128(_mm_xor_si128(v, _mm_srli_epi64(v, 14)), _mm_set1_epi64x(0x0000CCCC0000CCCCLL));
            v = _mm_xor_si128(v, _mm_xor_si128(t, _mm_slli_epi64(t, 14)));
            t = _mm_and_si128(_mm_xor_si128(v, _mm_srli_epi64(v, 28)), _mm_set1_epi64x(0x00000000F0F0F0F0LL));
            v = _mm_xor_si128(v, _mm_xor_si128(t, _mm_slli_epi64(t, 28)));
            store(x + 16 * uint32_t(k), _mm_shuffle_epi8(v, reverse));
        }
    }
    for (; x + 16 <= width; x += 16) {
        __m128i pixels = zero, planeBit = _mm_set1_epi8(1);
        const uint8_t* at = first + x / 8;
        for (uint32_t p = 0; p < count; ++p, at += stride) {
            uint16_t two;
            std::memcpy(&two, at, 2);
            const __m128i lanes = _mm_shuffle_epi8(_mm_cvtsi32_si128(two), toLanes);
            const __m128i set = _mm_cmpeq_epi8(_mm_and_si128(lanes, laneBit), laneBit);
            pixels = _mm_or_si128(pixels, _mm_and_si128(set, planeBit));
            planeBit = _mm_add_epi8(planeBit, planeBit);
        }
        store(x, pixels);
    }
    return x;
}

// Eight palette entries a step, indices above 255 reading the last entry.
// Returns the pixels done, a multiple of eight.
__attribute__((target("avx2"))) uint32_t LookUpGathered(uint8_t* out, const uint32_t* indices, uint32_t count,
                                                        const uint32_t* palette)
{
    const __m256i last = _mm256_set1_epi32(255);
    uint32_t i = 0;
    for (; i + 8 <= count; i += 8) {
        const __m256i at = _mm256_min_epu32(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(indices + i)), last);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 4 * size_t(i)),
                            _mm256_i32gather_epi32(reinterpret_cast<const int*>(palette), at, 4));
    }
    return i;
}

// Sixty-four byte indices a step through byte permutes: each of an entry's
// four bytes is looked up in its own 256-byte table (two permutes of 128
// bytes, the index's top bit choosing), then the four bytes interleave into
// words. The indices are first reordered so that the in-lane interleaves put
// the words in pixel order. Returns the pixels done, a multiple of 64.
__attribute__((target("avx512f,avx512bw,avx512vbmi"))) uint32_t LookUpIndicesPermuted(uint8_t* out,
                                                                                      const uint8_t* indices,
                                                                                      uint32_t count,
                                                                                      const uint8_t* bytePlanes)
{
    alignas(64) static constexpr auto kOrder = [] {
        std::array<uint8_t, 64> order{};
        for (uint32_t k = 0; k < 4; ++k)
            for (uint32_t m = 0; m < 4; ++m)
                for (uint32_t j = 0; j < 4; ++j)
                    order[16 * k + 4 * m + j] = uint8_t(16 * m + 4 * k + j);
        return order;
    }();
    const __m512i order = _mm512_load_si512(kOrder.data());
    __m512i table[4][4];
#pragma GCC unroll 4
    for (int c = 0; c < 4; ++c)
#pragma GCC unroll 4
        for (int q = 0; q < 4; ++q)
            table[c][q] = _mm512_loadu_si512(bytePlanes + 256 * c + 64 * q);
    uint32_t i = 0;
    for (; i + 64 <= count; i += 64) {
        const __m512i at = _mm512_maskz_permutexvar_epi8(~__mmask64{0}, order, _mm512_loadu_si512(indices + i));
        const __mmask64 high = _mm512_movepi8_mask(at);
        __m512i b[4];
#pragma GCC unroll 4
        for (int c = 0; c < 4; ++c)
            b[c] = _mm512_mask_blend_epi8(high, _mm512_permutex2var_epi8(table[c][0], at, table[c][1]),
                                          _mm512_permutex2var_epi8(table[c][2], at, table[c][3]));
        const __m512i lo01 = _mm512_unpacklo_epi8(b[0], b[1]), hi01 = _mm512_unpackhi_epi8(b[0], b[1]);
        const __m512i lo23 = _mm512_unpacklo_epi8(b[2], b[3]), hi23 = _mm512_unpackhi_epi8(b[2], b[3]);
        auto* to = out + 4 * size_t(i);
        _mm512_storeu_si512(to, _mm512_unpacklo_epi16(lo01, lo23));
        _mm512_storeu_si512(to + 64, _mm512_unpackhi_epi16(lo01, lo23));
        _mm512_storeu_si512(to + 128, _mm512_unpacklo_epi16(hi01, hi23));
        _mm512_storeu_si512(to + 192, _mm512_unpackhi_epi16(hi01, hi23));
    }
    return i;
}

const bool kHasBytePermute = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
           __builtin_cpu_supports("avx512vbmi");
}();

#endif

} // namespace

namespace {

// Eight byte indices a step, two entries a 64-bit store (the surface row's
// byte order is the host's, little-endian here). Returns the pixels done, a
// multiple of eight.
uint32_t LookUpIndicesPaired(uint8_t* out, const uint8_t* indices, uint32_t count, const uint32_t* palette)
{
    uint32_t i = 0;
    for (; i + 8 <= count; i += 8) {
        uint64_t eight;
        std::memcpy(&eight, indices + i, 8);
#pragma GCC unroll 4
        for (uint32_t k = 0; k < 4; ++k) {
            const uint64_t pair = palette[(eight >> (16 * k)) & 255] |
                                  uint64_t(palette[(eight >> (16 * k + 8)) & 255]) << 32;
            std::memcpy(out + 4 * size_t(i) + 8 * k, &pair, 8);
        }
    }
    return i;
}

} // namespace

const uint8_t* PlaneDecoder::ReadPlaneRow()
{
    if (!data_)
        return nullptr;
    // Plain rows are read where they are stored.
    const uint8_t* const planeRow = compressed_ ? row_.data() : data_ + pos_;
    if (!DecodeRow(rowBytes_, compressed_ ? row_.data() : nullptr))
        return nullptr;
    return planeRow;
}

bool PlaneDecoder::NextIndexRow()
{
    const uint8_t* const planeRow = ReadPlaneRow();
    if (!planeRow)
        return false;
    const uint32_t planes = std::min(planes_, 8u);
    const uint32_t width = width_;
    indices_.resize(width);
    uint8_t* const indices = indices_.data();
    uint32_t done = 0;
#if defined(__x86_64__) || defined(__i386__)
    if (kHasAffineWide && planes > 0)
        done = SpreadPlanesAffineWide(planeRow, rowBytes_, planes, width, indices);
    if (kHasAffine && planes > 0 && width - done >= 128)
        done += SpreadPlanesAffine(planeRow + done / 8, rowBytes_, planes, width - done, indices + done);
    if (ProcessorHasByteShuffle() && planes > 0 && width - done >= 16)
        done += SpreadPlanesShuffled<SpreadInto::kIndices>(planeRow + done / 8, rowBytes_, planes, width - done, 0,
                                                           indices + done);
#endif
    if (done == width)
        return true;
    const size_t groups = (size_t(width) + 7) / 8;
    lanes_.resize(groups);
    uint64_t* const lanes = lanes_.data();
    const size_t from = done / 8;
    std::fill(lanes + from, lanes + groups, 0);
    for (uint32_t p = 0; p < planes; ++p) {
        const uint8_t* plane = planeRow + size_t(p) * rowBytes_;
        for (size_t g = from; g < groups; ++g)
            lanes[g] |= kPlaneSpread[plane[g]] << p;
    }
    for (uint32_t x = done; x < width; ++x)
        indices[x] = uint8_t(lanes[x / 8] >> (8 * (x % 8)));
    return true;
}

bool PlaneDecoder::NextRow()
{
    const uint8_t* const planeRow = ReadPlaneRow();
    if (!planeRow)
        return false;
    const uint32_t planes = std::min(planes_, 32u);
    const uint32_t width = width_;
    const size_t groups = (size_t(width) + 7) / 8;
    lanes_.resize(groups);
    // Locals, not members, in the loops: the stores could otherwise alias the
    // members, which keeps the compiler from vectorising them.
    uint64_t* const lanes = lanes_.data();
    uint32_t* const values = values_.data();
    // Eight planes at a time, plane by plane over the row: each 64-bit lane
    // word then holds eight pixels' bits of those planes, a byte per pixel.
    for (uint32_t base = 0; base < planes; base += 8) {
        // Where the processor has a byte shuffle, whole steps of 16 pixels go
        // through it; the lanes below take the rest.
        uint32_t done = 0;
#if defined(__x86_64__) || defined(__i386__)
        if (ProcessorHasByteShuffle())
            done = (base == 0 ? SpreadPlanesShuffled<SpreadInto::kFirstValues>
                              : SpreadPlanesShuffled<SpreadInto::kMoreValues>)(
                planeRow + size_t(base) * rowBytes_, rowBytes_, std::min(planes - base, 8u), width, base, values);
#endif
        const size_t from = done / 8;
        std::fill(lanes + from, lanes + groups, 0);
        for (uint32_t p = base; p < planes && p < base + 8; ++p) {
            const uint8_t* plane = planeRow + size_t(p) * rowBytes_;
            const uint32_t shift = p - base;
            for (size_t g = from; g < groups; ++g)
                lanes[g] |= kPlaneSpread[plane[g]] << shift;
        }
        // Lane byte i is pixel i: the lane words read as bytes on a little-endian host.
        if constexpr (std::endian::native == std::endian::little) {
            const auto* bytes = reinterpret_cast<const uint8_t*>(lanes);
            if (base == 0)
                for (uint32_t x = done; x < width; ++x)
                    values[x] = bytes[x];
            else
                for (uint32_t x = done; x < width; ++x)
                    values[x] |= uint32_t(bytes[x]) << base;
        } else {
            for (uint32_t x = done; x < width; ++x) {
                const uint32_t v = uint32_t(lanes[x / 8] >> (8 * (x % 8))) & 0xFF;
                values[x] = base == 0 ? v : values[x] | v << base;
            }
        }
    }
    if (planes == 0)
        std::fill(values_.begin(), values_.end(), 0);
    return true;
}

void PlaneDecoder::Free()
{
    row_ = {};
    values_ = {};
    data_ = nullptr;
}

// ---- IffImageReader

void IffImageReader::Collect(IffContainer* container, std::vector<Image>& out, bool s3tc,
                             const std::vector<IffContainer*>& skip)
{
    for (IffChunk* child : container->Children()) {
        if (child->Hidden())
            continue;
        if (IffContainer* c = child->AsContainer()) {
            if (c->Id() != kIffProp && std::find(skip.begin(), skip.end(), c) == skip.end())
                Collect(c, out, s3tc, skip);
            continue;
        }
        if (container->Id() != kIffForm || container->FormType() != kIffIlbm)
            continue;
        if (child->Id() != (s3tc ? kIffS3tc : kIffBody))
            continue;
        Image image;
        image.data = child;
        image.bmhd = dynamic_cast<IlbmBmhd*>(child->FindProperty(kIffBmhd));
        image.cmap = dynamic_cast<IlbmCmap*>(child->FindProperty(kIffCmap));
        image.alph = dynamic_cast<IlbmAlph*>(child->FindProperty(kIffAlph));
        image.tran = dynamic_cast<IlbmTran*>(child->FindProperty(kIffTran));
        if (!image.bmhd)
            continue;
        // A picture needs its palette, unless its planes hold the colours themselves.
        if (!s3tc && !image.cmap && image.bmhd->planes != 24 && image.bmhd->planes != 32)
            continue;
        out.push_back(image);
    }
}

void IffImageReader::ReadHeader(DataMedium* medium)
{
    candidates_.clear();
    levels_.clear();
    chosen_ = nullptr;
    // The medium lives until the load is done; a kept image owns its rows.
    bool read = document_.Read(medium, true);
    IffContainer* root = document_.Root();
    if (!read || !root || root->Children().empty()) {
        uint32_t status = document_.MediumStatus();
        if (status & kMediumIoError)
            TextureLoader::FailOs(kTexReadFailed, document_.MediumOsError());
        else
            TextureLoader::Fail(kTexBadImage);
        return;
    }

    // The mip-map chain: the first "MIPM" form that holds "CONT".
    std::vector<IffContainer*> levelLists;
    IffContainer* mipm = nullptr;
    auto findMipm = [&](auto& self, IffContainer* c) -> IffContainer* {
        if (c->Id() == kIffForm && c->FormType() == kIffMipm && c->FindChild(kIffCont))
            return c;
        for (IffChunk* child : c->Children())
            if (IffContainer* cc = child->AsContainer())
                if (IffContainer* found = self(self, cc))
                    return found;
        return nullptr;
    };
    mipm = findMipm(findMipm, root);
    if (mipm)
        for (IffChunk* child : mipm->Children())
            if (IffContainer* c = child->AsContainer())
                if (c->Id() == kIffList && c->FormType() == kIffIlbm)
                    levelLists.push_back(c);

    // Candidates are the pictures outside the level lists.
    auto collectTop = [&](bool s3tc) {
        std::vector<Image> out;
        Collect(root, out, s3tc, levelLists);
        return out;
    };
    candidates_ = collectTop(false);
    s3tc_ = false;
    if (candidates_.empty()) {
        candidates_ = collectTop(true);
        if (!candidates_.empty()) {
            s3tc_ = true;
            fourCC_ = static_cast<IlbmS3tc*>(candidates_[0].data)->fourCC;
        }
    }
    largestColours_ = 0;
    smallestColours_ = UINT32_MAX;
    if (!s3tc_)
        for (const Image& im : candidates_) {
            uint32_t n = im.cmap ? im.cmap->Count() : 0;
            largestColours_ = std::max(largestColours_, n);
            smallestColours_ = std::min(smallestColours_, n);
        }
    if (s3tc_)
        alphaBits_ = fourCC_ == gfx::kFourCCDxt1 ? 0 : 8;
    else
        alphaBits_ = (!candidates_.empty() && candidates_[0].alph) ? candidates_[0].alph->planes : 0;
    for (IffContainer* list : levelLists) {
        std::vector<Image> level;
        Collect(list, level, s3tc_, {});
        levels_.push_back(std::move(level));
    }
}

bool IffImageReader::WantsColourKey(bool flag)
{
    if (candidates_.empty() || !candidates_[0].bmhd)
        return flag;
    return candidates_[0].bmhd->masking == 2;
}

void IffImageReader::SelectLevel(uint32_t level, uint32_t entries)
{
    if (level >= levels_.size()) {
        TextureLoader::Fail(kTexBadImage);
        return;
    }
    Prepare(levels_[level], entries);
}

void IffImageReader::Prepare(const std::vector<Image>& list, uint32_t entries)
{
    FreeDecoders();
    packedOwn_ = nullptr; // the palette is about to change
    chosen_ = nullptr;
    hasAlpha_ = false;
    keyValue_ = 0;
    if (list.empty()) {
        TextureLoader::Fail(kTexBadImage);
        return;
    }
    PixelFormat& sf = TextureLoader::SurfaceFormat();
    if (s3tc_) {
        const Image& im = list[0];
        auto* s = static_cast<IlbmS3tc*>(im.data);
        width_ = im.bmhd->width;
        height_ = im.bmhd->height;
        colours_ = 0;
        uint32_t blockBytes = s->fourCC == gfx::kFourCCDxt1 ? 8 : s->fourCC == gfx::kFourCCDxt3 ? 16 : 0;
        // The blocks must cover the picture: every block row the loader copies
        // lies inside the chunk's data.
        if (!blockBytes || s->fourCC != fourCC_ || s->height == 0 || s->width == 0 ||
            width_ > s->width || height_ > s->height) {
            TextureLoader::Fail(kTexBadImage);
            return;
        }
        bytesPerBlockRow_ = uint32_t(uint64_t(s->dataSize) * 4 / s->height);
        bitsPerColumn_ = uint32_t(uint64_t(bytesPerBlockRow_) * 8 / s->width);
        uint64_t blockRows = (uint64_t(height_) + 3) / 4;
        if (bitsPerColumn_ != blockBytes * 2 || uint64_t(bytesPerBlockRow_) * blockRows > s->data.size() ||
            uint64_t((width_ + 3) / 4) * blockBytes > bytesPerBlockRow_) {
            TextureLoader::Fail(kTexBadImage);
            return;
        }
        if (im.tran && im.tran->enabled) {
            keyValue_ = sf.Pack(im.tran->red, im.tran->green, im.tran->blue);
            sf.flags |= PixelFormat::kTransparent;
        }
        chosen_ = &im;
        CheckSize();
        return;
    }

    const Image* pick = nullptr;
    for (const Image& im : list) {
        uint32_t n = im.cmap ? im.cmap->Count() : 0;
        if (entries != 0 && (n == 0 || n > entries))
            continue;
        if (!pick || n > (pick->cmap ? pick->cmap->Count() : 0))
            pick = &im;
    }
    if (!pick) {
        TextureLoader::Fail(kTexPaletteMismatch);
        return;
    }
    const IlbmBmhd& h = *pick->bmhd;
    trueColour_ = pick->cmap == nullptr;
    colours_ = trueColour_ ? 0 : pick->cmap->Count();
    width_ = h.width;
    height_ = h.height;
    bool planesOk = trueColour_ ? (h.planes == 24 || h.planes == 32) : (h.planes >= 1 && h.planes <= 8);
    if (!planesOk || (h.masking != 0 && h.masking != 2) || (trueColour_ && h.masking != 0)) {
        TextureLoader::Fail(kTexBadImage);
        return;
    }
    if (!CheckSize())
        return;
    palette_.assign(size_t(std::max<uint32_t>(colours_, 256)) * 3, 0);
    if (!trueColour_)
        std::copy(pick->cmap->rgb.begin(), pick->cmap->rgb.begin() + std::min<size_t>(pick->cmap->rgb.size(), palette_.size()),
                  palette_.begin());
    const auto* body = static_cast<IlbmBody*>(pick->data);
    body_.Start(body->Bytes(), body->Size(), width_, height_, h.planes, h.compression != 0);
    if (pick->alph) {
        const IlbmAlph& a = *pick->alph;
        if (a.width != width_ || a.height != height_ || a.planes == 0 || a.planes > 8) {
            TextureLoader::Fail(kTexBadImage);
            return;
        }
        alpha_.Start(a.Bytes(), a.Size(), width_, height_, a.planes, a.compression != 0);
        hasAlpha_ = true;
    }
    masking_ = h.masking;
    if (masking_ == 2) {
        transparentIndex_ = h.transparent;
        if (sf.Palettised()) {
            keyValue_ = transparentIndex_;
        } else {
            const uint8_t* c = palette_.data() + 3 * std::min<uint32_t>(transparentIndex_, 255);
            keyValue_ = sf.Pack(c[0], c[1], c[2]);
        }
    }
    chosen_ = pick;
}

void IffImageReader::FreeDecoders()
{
    body_.Free();
    alpha_.Free();
}

void* IffImageReader::RowBuffer(uint32_t row)
{
    if (!chosen_) {
        TextureLoader::Fail(kTexBadImage);
        return nullptr;
    }
    if (s3tc_) {
        auto* s = static_cast<IlbmS3tc*>(chosen_->data);
        return s->data.data() + size_t(row / 4) * bytesPerBlockRow_;
    }
    rowIsIndices_ = RowsAreIndices();
    if (!(rowIsIndices_ ? body_.NextIndexRow() : body_.NextRow())) {
        TextureLoader::Fail(kTexBadImage);
        return nullptr;
    }
    return rowIsIndices_ ? static_cast<void*>(body_.Indices()) : static_cast<void*>(body_.Values());
}

bool IffImageReader::RowsAreIndices() const
{
    const PixelFormat& f = TextureLoader::SurfaceFormat();
    return !f.Palettised() && masking_ != 2 && !hasAlpha_ && !trueColour_ && f.bits == 32 && chosen_ &&
           chosen_->bmhd->planes <= 8 && std::endian::native == std::endian::little;
}

void IffImageReader::PackPalette(const uint8_t* palette)
{
    const PixelFormat& f = TextureLoader::SurfaceFormat();
    // Field by field: an array built for the compare is stored and read back
    // at once, which stalls every row.
    const auto& was = packedFormat_;
    if (packedReady_ && was[0] == f.redPos && was[1] == f.redLoss && was[2] == f.greenPos &&
        was[3] == f.greenLoss && was[4] == f.bluePos && was[5] == f.blueLoss && was[6] == f.desc.alphaMask &&
        ((palette == packedOwn_ && palette) || std::memcmp(packedFrom_.data(), palette, 768) == 0))
        return;
    const std::array<uint32_t, 7> format = {f.redPos,  f.redLoss,  f.greenPos,      f.greenLoss,
                                            f.bluePos, f.blueLoss, f.desc.alphaMask};
    for (uint32_t index = 0; index < 256; ++index) {
        const uint8_t* c = palette + 3 * index;
        const uint32_t v = (f.Pack(c[0], c[1], c[2]) & ~f.desc.alphaMask) | f.desc.alphaMask;
        packedPalette_[index] = v;
        for (uint32_t k = 0; k < 4; ++k)
            packedBytes_[256 * k + index] = uint8_t(v >> (8 * k));
    }
    std::memcpy(packedFrom_.data(), palette, 768);
    packedOwn_ = palette == palette_.data() ? palette : nullptr;
    packedFormat_ = format;
    packedReady_ = true;
}

void* IffImageReader::AlphaRowBuffer(uint32_t)
{
    if (s3tc_ || !hasAlpha_)
        return nullptr;
    if (!alpha_.NextRow()) {
        TextureLoader::Fail(kTexBadImage);
        return nullptr;
    }
    return alpha_.Values();
}

// Moves a colour that packs to the key by one step of the channel that costs least.
uint32_t IffImageReader::Nudge(uint32_t packed, uint8_t r, uint8_t g, uint8_t b) const
{
    const PixelFormat& f = TextureLoader::SurfaceFormat();
    constexpr int kNo = INT_MAX;
    auto costs = [](int v, uint32_t loss, int& down, int& up) {
        int s = 1 << loss;
        down = v >= s ? (v % s) + (s + 1) / 2 : kNo;
        up = v < 256 - s ? 3 * s / 2 - (v % s) : kNo;
    };
    int rd, ru, gd, gu, bd, bu;
    costs(r, f.redLoss, rd, ru);
    costs(g, f.greenLoss, gd, gu);
    costs(b, f.blueLoss, bd, bu);
    int nr = r, ng = g, nb = b;
    if (bu <= std::min({bd, rd, ru, gd, gu}) && bu != kNo)
        nb = b + (1 << f.blueLoss);
    else if (bd <= std::min({bu, rd, ru, gd, gu}) && bd != kNo)
        nb = b - (1 << f.blueLoss);
    else if (ru <= std::min({rd, gd, gu}) && ru != kNo)
        nr = r + (1 << f.redLoss);
    else if (std::min(gd, gu) < rd && std::min(gd, gu) != kNo)
        ng = gd < gu ? g - (1 << f.greenLoss) : g + (1 << f.greenLoss);
    else if (rd != kNo)
        nr = r - (1 << f.redLoss);
    else
        return packed;
    return f.Pack(uint8_t(nr), uint8_t(ng), uint8_t(nb)) & ~f.desc.alphaMask;
}

void IffImageReader::ConvertRow(uint8_t* destination, uint32_t surfaceWidth, const void* row,
                                const void* alpha, uint32_t left, uint32_t count, const uint8_t* palette)
{
    if (s3tc_) {
        // Whole blocks: a picture whose width is not a multiple of 4 still ends
        // in a complete block.
        uint32_t columns = (count + 3) & ~3u;
        std::memcpy(destination, static_cast<const uint8_t*>(row) + size_t(left) * bitsPerColumn_ / 8,
                    size_t(columns) * bitsPerColumn_ / 8);
        return;
    }
    const PixelFormat& f = TextureLoader::SurfaceFormat();
    if (rowIsIndices_) {
        // Byte indices straight into the surface row, its padding column
        // repeating the last pixel.
        PackPalette(palette);
        if (count == 0)
            return;
        const uint8_t* indices = static_cast<const uint8_t*>(row) + left;
        uint32_t i = 0;
#if defined(__x86_64__) || defined(__i386__)
        if (kHasBytePermute)
            i = LookUpIndicesPermuted(destination, indices, count, packedBytes_.data());
#endif
        // Two entries a store: faster than eight-lane gathers where measured.
        i += LookUpIndicesPaired(destination + 4 * size_t(i), indices + i, count - i, packedPalette_);
        for (; i < count; ++i)
            std::memcpy(destination + 4 * size_t(i), &packedPalette_[indices[i]], 4);
        if (count < surfaceWidth)
            std::memcpy(destination + 4 * size_t(count), destination + 4 * size_t(count - 1), 4);
        return;
    }
    const auto* values = static_cast<const uint32_t*>(row);
    const auto* alphas = static_cast<const uint32_t*>(alpha);
    // The common case, chosen once per row: palette indices, no key, no alpha
    // planes; the palette is packed once per row.
    if (!f.Palettised() && masking_ != 2 && !alphas && !trueColour_) {
        PackPalette(palette);
        if (f.bits == 32 && count > 0 && std::endian::native == std::endian::little) {
            // Straight into the surface row, its padding column repeating the last pixel.
            uint32_t v = 0;
            uint32_t i = 0;
#if defined(__x86_64__) || defined(__i386__)
            if (ProcessorHasGather())
                i = LookUpGathered(destination, values + left, count, packedPalette_);
#endif
            for (; i < count; ++i) {
                v = packedPalette_[std::min<uint32_t>(values[left + i], 255)];
                std::memcpy(destination + 4 * size_t(i), &v, 4);
            }
            if (count < surfaceWidth)
                std::memcpy(destination + 4 * size_t(count), destination + 4 * size_t(count - 1), 4);
            return;
        }
        packedRow_.resize(count);
        for (uint32_t i = 0; i < count; ++i)
            packedRow_[i] = packedPalette_[std::min<uint32_t>(values[left + i], 255)];
        StorePixels(destination, f.bits, packedRow_.data(), count, surfaceWidth);
        return;
    }
    auto value = [&](uint32_t i) -> uint32_t {
        uint32_t v = values[left + i];
        if (f.Palettised())
            return v;
        if (masking_ == 2 && v == transparentIndex_)
            return keyValue_;
        uint8_t r, g, b;
        if (trueColour_) {
            r = uint8_t(v);
            g = uint8_t(v >> 8);
            b = uint8_t(v >> 16);
        } else {
            const uint8_t* c = palette + 3 * std::min<uint32_t>(v, 255);
            r = c[0];
            g = c[1];
            b = c[2];
        }
        uint32_t rgb = f.Pack(r, g, b) & ~f.desc.alphaMask;
        uint32_t a = alphas ? ((std::min<uint32_t>(alphas[left + i], 255) >> f.alphaLoss) << f.alphaPos) &
                                  f.desc.alphaMask
                            : f.desc.alphaMask;
        uint32_t packed = rgb | a;
        if (masking_ == 2 && packed == keyValue_)
            packed = Nudge(packed, r, g, b) | a;
        return packed;
    };
    for (uint32_t i = 0; i < count; ++i)
        StorePixel(destination, f.bits, i, value(i));
    if (count > 0 && count < surfaceWidth)
        StorePixel(destination, f.bits, count, value(count - 1));
}

ImageReader* IffImageReader::MakeKeptImage()
{
    // Rows lent by the load's medium are copied before it goes, and the
    // decoders started on them start again on the copies at the next level.
    document_.OwnBytes();
    AddRef();
    return this;
}

void RegisterIffImageFormat()
{
    static bool chunksRegistered = false;
    if (!chunksRegistered) {
        chunksRegistered = true;
        IffRegistry::Register([](IffId) -> IffChunk* { return new IlbmBmhd; }, kIffIlbm, kIffBmhd);
        IffRegistry::Register([](IffId) -> IffChunk* { return new IlbmCmap; }, kIffIlbm, kIffCmap);
        IffRegistry::Register([](IffId) -> IffChunk* { return new IlbmBody; }, kIffIlbm, kIffBody);
        IffRegistry::Register([](IffId) -> IffChunk* { return new IlbmGrab; }, kIffIlbm, kIffGrab);
        IffRegistry::Register([](IffId) -> IffChunk* { return new IlbmTran; }, kIffIlbm, kIffTran);
        IffRegistry::Register([](IffId) -> IffChunk* { return new IlbmAlph; }, kIffIlbm, kIffAlph);
        IffRegistry::Register([](IffId) -> IffChunk* { return new IlbmS3tc; }, kIffIlbm, kIffS3tc);
        IffRegistry::Register([](IffId) -> IffChunk* { return new MipmCont; }, kIffMipm, kIffCont);
        IffRegistry::Register([](IffId) -> IffChunk* { return new MipmFlag; }, kIffMipm, kIffFlag);
    }
    TextureLoader::RegisterFormat("FORM", 4, IffImageReader::Create);
    TextureLoader::RegisterFormat("LIST", 4, IffImageReader::Create);
    TextureLoader::RegisterFormat("CAT ", 4, IffImageReader::Create);
}

} // namespace ve
