#include "Veapi/image_reader.h"

#include <algorithm>

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
                         std::move(palette_), std::move(rows_), std::move(block_));
}

KeptImage::KeptImage(uint32_t width, uint32_t height, uint32_t colours, uint32_t flags,
                     uint32_t levelsToDrop, uint32_t largest, bool colourKey,
                     std::vector<uint8_t> palette, std::vector<uint8_t*> rows, std::vector<uint8_t> block)
{
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

void ImageReader::ConvertRow(uint8_t* destination, uint32_t surfaceWidth, const void* row, const void*,
                             uint32_t left, uint32_t count, const uint8_t* palette)
{
    const PixelFormat& f = TextureLoader::SurfaceFormat();
    const auto* src = static_cast<const uint8_t*>(row);
    auto value = [&](uint32_t i) -> uint32_t {
        if (colours_) {
            uint8_t index = src[left + i];
            if (f.Palettised())
                return index;
            if (colourKey_ && index == 0)
                return 0;
            const uint8_t* c = palette + 3 * index;
            uint32_t v = f.Pack(c[0], c[1], c[2]);
            return (colourKey_ && v == 0) ? NonZeroReplacement(f, c[0], c[1], c[2]) : v;
        }
        const uint8_t* c = src + 3 * size_t(left + i);
        if (colourKey_ && c[0] == 0 && c[1] == 0 && c[2] == 0)
            return 0;
        uint32_t v = f.Pack(c[0], c[1], c[2]);
        return (colourKey_ && v == 0) ? NonZeroReplacement(f, c[0], c[1], c[2]) : v;
    };
    for (uint32_t i = 0; i < count; ++i)
        StorePixel(destination, f.bits, i, value(i));
    if (count > 0 && count < surfaceWidth)
        StorePixel(destination, f.bits, count, value(count - 1));
}

} // namespace ve
