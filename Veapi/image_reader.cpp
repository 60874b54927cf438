#include "Veapi/image_reader.h"

#include <algorithm>
#include <bit>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

#include "Veapi/texture_loader.h"

namespace ve {

void ImageReader::CheckPalette(uint32_t entries)
{
    if (entries != 0 && (colours_ == 0 || colours_ > entries))
        TextureLoader::Fail(kTexPaletteMismatch);
}

bool ImageReader::CheckSize()
{
    if (width_ > kMaxImageSide || height_ > kMaxImageSide ||
        uint64_t(width_) * height_ > kMaxImagePixels) {
        TextureLoader::Fail(kTexBadImage);
        return false;
    }
    return true;
}

void ImageReader::AllocateBuffers(bool keep, uint32_t)
{
    // Room for every index a row can hold: indices past the colour count read
    // black. Rows hold byte indices, so no more than 256 entries are ever used.
    if (colours_)
        palette_.assign(256 * 3, 0);
    size_t stride = size_t(width_) * PixelBytes();
    if (keep) {
        block_.assign(stride * height_, 0);
        rows_.resize(height_);
        for (uint32_t y = 0; y < height_; ++y)
            rows_[y] = block_.data() + stride * y;
    } else {
        rowBuffer_.assign(stride, 0);
    }
}

void* ImageReader::RowBuffer(uint32_t row)
{
    if (!rows_.empty())
        return row < rows_.size() ? rows_[row] : nullptr;
    return rowBuffer_.data();
}

ImageReader* ImageReader::MakeKeptImage()
{
    return new KeptImage(width_, height_, colours_, flags_, levelsToDrop_, largest_, colourKey_,
                         std::move(palette_), std::move(rows_), std::move(block_), blueFirst_);
}

KeptImage::KeptImage(uint32_t width, uint32_t height, uint32_t colours, uint32_t flags,
                     uint32_t levelsToDrop, uint32_t largest, bool colourKey,
                     std::vector<uint8_t> palette, std::vector<uint8_t*> rows, std::vector<uint8_t> block,
                     bool blueFirst)
{
    blueFirst_ = blueFirst;
    width_ = width;
    height_ = height;
    colours_ = colours;
    flags_ = flags;
    levelsToDrop_ = levelsToDrop;
    largest_ = largest;
    colourKey_ = colourKey;
    palette_ = std::move(palette);
    rows_ = std::move(rows);
    block_ = std::move(block);
}

uint32_t NonZeroReplacement(const PixelFormat& f, uint8_t r, uint8_t g, uint8_t b)
{
    int dr = (1 << f.redLoss) - r, dg = (1 << f.greenLoss) - g, db = (1 << f.blueLoss) - b;
    if (db <= dr && db <= dg)
        return 1u << f.bluePos;
    if (dg < dr)
        return 1u << f.greenPos;
    return 1u << f.redPos;
}

void StorePixel(uint8_t* row, uint32_t bits, uint32_t index, uint32_t value)
{
    switch (bits) {
    case 1:
    case 2:
    case 4: {
        uint32_t bit = index * bits;
        uint32_t shift = bit % 8;
        uint8_t mask = uint8_t(((1u << bits) - 1) << shift);
        uint8_t& byte = row[bit / 8];
        byte = uint8_t((byte & ~mask) | ((value << shift) & mask));
        break;
    }
    case 8:
        row[index] = uint8_t(value);
        break;
    case 16:
        row[2 * index] = uint8_t(value);
        row[2 * index + 1] = uint8_t(value >> 8);
        break;
    case 24:
        row[3 * index] = uint8_t(value);
        row[3 * index + 1] = uint8_t(value >> 8);
        row[3 * index + 2] = uint8_t(value >> 16);
        break;
    case 32:
        row[4 * index] = uint8_t(value);
        row[4 * index + 1] = uint8_t(value >> 8);
        row[4 * index + 2] = uint8_t(value >> 16);
        row[4 * index + 3] = uint8_t(value >> 24);
        break;
    default:
        break;
    }
}

void StorePixels(uint8_t* row, uint32_t bits, const uint32_t* values, uint32_t count, uint32_t surfaceWidth)
{
    if (bits == 32 && std::endian::native == std::endian::little) {
        std::memcpy(row, values, 4 * size_t(count));
    } else {
        for (uint32_t i = 0; i < count; ++i)
            StorePixel(row, bits, i, values[i]);
    }
    if (count > 0 && count < surfaceWidth)
        StorePixel(row, bits, count, values[count - 1]);
}

namespace {

// Three-byte pixels to four-byte words on a little-endian host, `alpha` in the
// fourth byte. Reads no byte past pixel `count`'s last; returns how many
// pixels it wrote (the caller finishes the rest).
uint32_t SpreadRgbWordsPortable(uint8_t* out, const uint8_t* in, uint32_t count, uint32_t alpha)
{
    uint32_t i = 0;
    // Four pixels from three words.
    for (; i + 4 <= count; i += 4, in += 12) {
        uint32_t w[3];
        std::memcpy(w, in, 12);
        const uint32_t o[4] = {(w[0] & 0xFFFFFF) | alpha, ((w[0] >> 24 | w[1] << 8) & 0xFFFFFF) | alpha,
                               ((w[1] >> 16 | w[2] << 16) & 0xFFFFFF) | alpha, (w[2] >> 8) | alpha};
        std::memcpy(out + 4 * size_t(i), o, 16);
    }
    return i;
}

#if defined(__x86_64__) || defined(__i386__)
// Four pixels a step through one byte shuffle. A step loads 16 bytes, so it
// runs while six pixels remain, which keeps the load inside the pixels.
__attribute__((target("ssse3"))) uint32_t SpreadRgbWordsShuffled(uint8_t* out, const uint8_t* in, uint32_t count,
                                                                 uint32_t alpha)
{
    const __m128i order = _mm_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1);
    const __m128i fourth = _mm_set1_epi32(int(alpha));
    uint32_t i = 0;
    for (; i + 6 <= count; i += 4, in += 12) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 4 * size_t(i)),
                         _mm_or_si128(_mm_shuffle_epi8(v, order), fourth));
    }
    return i + SpreadRgbWordsPortable(out + 4 * size_t(i), in, count - i, alpha);
}

#endif

uint32_t SpreadRgbWords(uint8_t* out, const uint8_t* in, uint32_t count, uint32_t alpha)
{
#if defined(__x86_64__) || defined(__i386__)
    if (ProcessorHasByteShuffle())
        return SpreadRgbWordsShuffled(out, in, count, alpha);
#endif
    return SpreadRgbWordsPortable(out, in, count, alpha);
}

#if defined(__x86_64__) || defined(__i386__)
const bool kHasByteShuffle = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("ssse3") != 0;
}();
const bool kHasGather = __builtin_cpu_supports("avx2") != 0;
#else
const bool kHasByteShuffle = false;
const bool kHasGather = false;
#endif

} // namespace

bool ProcessorHasByteShuffle() { return kHasByteShuffle; }
bool ProcessorHasGather() { return kHasGather; }

bool ImageReader::ConvertRgbTo32(uint8_t* destination, uint32_t surfaceWidth, const uint8_t* row,
                                 uint32_t left, uint32_t count) const
{
    const PixelFormat& f = TextureLoader::SurfaceFormat();
    if (f.bits != 32 || colourKey_ || f.redLoss || f.greenLoss || f.blueLoss || count == 0)
        return false;
    const uint8_t* c = row + 3 * size_t(left);
    const uint32_t alpha = f.desc.alphaMask;
    auto store = [&](uint32_t i, uint32_t v) { std::memcpy(destination + 4 * size_t(i), &v, 4); };
    const uint32_t first = blueFirst_ ? f.bluePos : f.redPos, last = blueFirst_ ? f.redPos : f.bluePos;
    if (std::endian::native == std::endian::little && first == 0 && f.greenPos == 8 && last == 16) {
        // The stored byte order is the surface's: each pixel gains a fourth
        // byte. The last pixel is read bytewise, not past the row.
        const uint32_t done = SpreadRgbWords(destination, c, count - 1, alpha);
        c += 3 * size_t(done);
        for (uint32_t i = done; i + 1 < count; ++i, c += 3)
            store(i, (uint32_t(c[0]) | uint32_t(c[1]) << 8 | uint32_t(c[2]) << 16) | alpha);
    } else {
        for (uint32_t i = 0; i + 1 < count; ++i, c += 3)
            store(i, (uint32_t(c[0]) << first) | (uint32_t(c[1]) << f.greenPos) | (uint32_t(c[2]) << last) | alpha);
    }
    const uint32_t v =
        (uint32_t(c[0]) << first) | (uint32_t(c[1]) << f.greenPos) | (uint32_t(c[2]) << last) | alpha;
    store(count - 1, v);
    // The surface's filtering edge repeats the last pixel, as StorePixels does.
    if (count < surfaceWidth)
        store(count, v);
    return true;
}

void ImageReader::ConvertRow(uint8_t* destination, uint32_t surfaceWidth, const void* row, const void*,
                             uint32_t left, uint32_t count, const uint8_t* palette)
{
    const PixelFormat& f = TextureLoader::SurfaceFormat();
    const auto* src = static_cast<const uint8_t*>(row);
    if (!colours_ && ConvertRgbTo32(destination, surfaceWidth, src, left, count))
        return;
    // Channel offsets within a stored RGB pixel.
    const uint32_t ri = blueFirst_ ? 2 : 0, bi = blueFirst_ ? 0 : 2;
    auto pack = [&](const uint8_t* c) -> uint32_t {
        uint32_t v = f.Pack(c[ri], c[1], c[bi]);
        return (colourKey_ && v == 0) ? NonZeroReplacement(f, c[ri], c[1], c[bi]) : v;
    };
    packedRow_.resize(count);
    uint32_t* out = packedRow_.data();
    // The conversion is chosen once per row; a palette is packed once per row.
    if (colours_ && f.Palettised()) {
        for (uint32_t i = 0; i < count; ++i)
            out[i] = src[left + i];
    } else if (colours_) {
        for (uint32_t index = 0; index < 256; ++index) {
            const uint8_t* c = palette + 3 * index;
            const uint32_t v = f.Pack(c[0], c[1], c[2]);
            packedPalette_[index] = !colourKey_ ? v : index == 0 ? 0 : v ? v : NonZeroReplacement(f, c[0], c[1], c[2]);
        }
        for (uint32_t i = 0; i < count; ++i)
            out[i] = packedPalette_[src[left + i]];
    } else if (colourKey_) {
        const uint8_t* c = src + 3 * size_t(left);
        for (uint32_t i = 0; i < count; ++i, c += 3)
            out[i] = (c[0] == 0 && c[1] == 0 && c[2] == 0) ? 0 : pack(c);
    } else {
        const uint8_t* c = src + 3 * size_t(left);
        for (uint32_t i = 0; i < count; ++i, c += 3)
            out[i] = f.Pack(c[ri], c[1], c[bi]);
    }
    StorePixels(destination, f.bits, out, count, surfaceWidth);
}

} // namespace ve
