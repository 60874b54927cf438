#include "Veapi/bmp_reader.h"

#include <algorithm>
#include <cstring>

#include "Veapi/texture_loader.h"

namespace ve {

void BmpImageReader::ReadHeader(DataMedium* medium)
{
    medium_ = medium;
    medium->SkipBytes(10);
    uint32_t offset = 0;
    medium->ReadUInt32(offset);
    medium->ReadUInt32(headerSize_);
    bool longForm;
    if (headerSize_ == 12) {
        longForm = false;
    } else if (headerSize_ == 40 || headerSize_ == 64) {
        longForm = true;
    } else {
        TextureLoader::Fail(kTexUnknownFormat);
        return;
    }
    if (longForm) {
        uint32_t w = 0, h = 0;
        medium->ReadUInt32(w);
        medium->ReadUInt32(h);
        // Negative sizes (top-down rows, mirrored images) are not texture files.
        if (int32_t(w) < 0 || int32_t(h) < 0) {
            TextureLoader::Fail(kTexBadImage);
            return;
        }
        width_ = w;
        height_ = h;
    } else {
        uint16_t w = 0, h = 0;
        medium->ReadUInt16(w);
        medium->ReadUInt16(h);
        width_ = w;
        height_ = h;
    }
    uint16_t planes = 0;
    medium->ReadUInt16(planes);
    medium->ReadUInt16(bits_);
    if (planes != 1 || !(bits_ == 1 || bits_ == 2 || bits_ == 4 || bits_ == 8 || bits_ == 24)) {
        TextureLoader::Fail(kTexBadImage);
        return;
    }
    uint32_t used = 0;
    if (longForm) {
        uint32_t compression = 0;
        medium->ReadUInt32(compression);
        if (compression != 0) {
            TextureLoader::Fail(kTexUnknownFormat);
            return;
        }
        medium->SkipBytes(12);
        medium->ReadUInt32(used);
        medium->SkipBytes(int32_t(headerSize_ - 36));
    }
    // A 24-bit image has no palette, whatever its colours-used field says; the
    // colours it lists (an optimisation hint) are skipped with the gap.
    if (bits_ == 24)
        colours_ = 0;
    else
        colours_ = used ? used : 1u << bits_;
    // Rows stay in their stored blue-green-red order: the conversion reads
    // them so, and a surface of the same order takes them without a swap.
    blueFirst_ = bits_ == 24;
    mask_ = (1u << (bits_ < 24 ? bits_ : 0)) - 1;
    uint64_t paletteBytes = uint64_t(colours_) * (longForm ? 4 : 3);
    gap_ = int64_t(offset) - int64_t(headerSize_) - 14 - int64_t(paletteBytes);
    if (colours_ <= 256 && gap_ < 0) {
        TextureLoader::Fail(kTexBadImage);  // the pixels would overlap the palette
        return;
    }
    uint64_t rowBytes = (uint64_t(bits_) * width_ + 7) / 8;
    padding_ = uint32_t((4 - rowBytes % 4) % 4);
    if (!CheckSize())
        return;
    batch_ = nullptr;
    batchSize_ = 0;
    batchAt_ = 0;
    rowsLeft_ = height_;
    // Data that cannot hold the pixels ends early: said before any surface is made.
    int64_t left = medium->Size();
    uint64_t needed = paletteBytes + uint64_t(std::max<int64_t>(gap_, 0)) + (rowBytes + padding_) * height_;
    if (colours_ <= 256 && left >= 0 && uint64_t(left) < needed)
        medium->AddStatus(kMediumEndOfData);
}

void BmpImageReader::AllocateBuffers(bool keep, uint32_t entries)
{
    ImageReader::AllocateBuffers(keep, entries);
    if (colours_ > 256) {
        TextureLoader::Fail(kTexBadImage);
        medium_->SkipBytes(int32_t(std::min<int64_t>(gap_ > 0 ? gap_ : 0, INT32_MAX)));
        return;
    }
    bool longForm = headerSize_ >= 40;
    for (uint32_t i = 0; i < colours_; ++i) {
        uint8_t b = 0, g = 0, r = 0;
        medium_->ReadUInt8(b);
        medium_->ReadUInt8(g);
        medium_->ReadUInt8(r);
        palette_[3 * i] = r;
        palette_[3 * i + 1] = g;
        palette_[3 * i + 2] = b;
        if (longForm)
            medium_->SkipBytes(1);
    }
    while (gap_ > 0) {
        int32_t step = int32_t(std::min<int64_t>(gap_, INT32_MAX));
        medium_->SkipBytes(step);
        gap_ -= step;
    }
}

const uint8_t* BmpImageReader::NextStoredRow()
{
    if (medium_->Status())
        return nullptr;  // the load fails at its next check; reading on gains nothing
    const size_t stored = (size_t(bits_) * width_ + 7) / 8 + padding_;
    if (batchAt_ >= batchSize_) {
        // About a megabyte of rows per read. ReadHeader has already refused
        // data too short for the rows, so a short read here is a read error.
        if (rowsLeft_ == 0)
            return nullptr;
        const uint32_t rows = uint32_t(std::clamp<size_t>((1u << 20) / std::max<size_t>(stored, 1), 1, rowsLeft_));
        rowsLeft_ -= rows;
        // Taken where the medium holds them: a medium in memory lends its bytes.
        batchSize_ = stored * rows;
        batchAt_ = 0;
        batch_ = medium_->ReadInPlace(uint32_t(batchSize_));
        if (!batch_ || medium_->Status())
            return nullptr;
    }
    const uint8_t* in = batch_ + batchAt_;
    batchAt_ += stored;
    return in;
}

void BmpImageReader::ReadRow(void* buffer)
{
    auto* out = static_cast<uint8_t*>(buffer);
    const uint8_t* in = NextStoredRow();
    if (!in)
        return;
    if (bits_ >= 8) {
        std::memcpy(out, in, size_t(width_) * (bits_ / 8));  // 24 bits stay blue first, see ReadHeader
    } else {
        for (uint32_t x = 0; x < width_; ++x) {
            const uint32_t bit = x * bits_;
            out[x] = uint8_t((in[bit / 8] >> (8 - bits_ - bit % 8)) & mask_);
        }
    }
}

const void* BmpImageReader::ReadRowInPlace(void* buffer)
{
    // Rows of whole bytes are used as stored, unless the image is being kept
    // (its rows must land in their own buffers).
    if (bits_ < 8 || !rows_.empty()) {
        ReadRow(buffer);
        return buffer;
    }
    const uint8_t* in = NextStoredRow();
    return in ? in : buffer;
}

void RegisterBmpFormat() { TextureLoader::RegisterFormat("BM", 2, BmpImageReader::Create); }

} // namespace ve
