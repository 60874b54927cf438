#include "Veapi/pnm_reader.h"

#include "Veapi/texture_loader.h"

namespace ve {
namespace {

bool IsSpace(uint8_t c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }

constexpr uint32_t kMaxNumberLength = 511;

} // namespace

// Whitespace and '#' comments first; a number runs to the next whitespace.
// Short data leaves the medium's end-of-data bit set and stops the header.
bool PnmImageReader::ReadNumber(int64_t& value, uint8_t& terminator)
{
    uint8_t c = 0;
    for (;;) {
        if (!medium_->ReadUInt8(c))
            return false;
        if (c == '#') {
            do {
                if (!medium_->ReadUInt8(c))
                    return false;
            } while (c != '\n');
        } else if (!IsSpace(c)) {
            break;
        }
    }
    bool negative = false;
    uint32_t length = 0;
    int64_t v = 0;
    bool digits = false, bad = false;
    for (;;) {
        if (++length > kMaxNumberLength) {
            TextureLoader::Fail(kTexBadImage);
            return false;
        }
        if (length == 1 && (c == '-' || c == '+'))
            negative = c == '-';
        else if (c >= '0' && c <= '9') {
            digits = true;
            if (v < (int64_t(1) << 40))
                v = v * 10 + (c - '0');
        } else
            bad = true;
        if (!medium_->ReadUInt8(c))
            return false;
        if (IsSpace(c))
            break;
    }
    if (bad || !digits) {
        TextureLoader::Fail(kTexBadImage);
        return false;
    }
    value = negative ? -v : v;
    terminator = c;
    return true;
}

void PnmImageReader::ReadHeader(DataMedium* medium)
{
    medium_ = medium;
    medium->SkipBytes(2);
    int wanted = kind_ == '4' ? 2 : 3;
    int64_t values[3] = {0, 0, 1};
    uint8_t terminator = 0;
    for (int i = 0; i < wanted; ++i)
        if (!ReadNumber(values[i], terminator))
            return;
    if (terminator != '\n') {
        TextureLoader::Fail(kTexBadImage);
        return;
    }
    if (values[0] < 0 || values[1] < 0 || values[0] > kMaxImageSide || values[1] > kMaxImageSide) {
        TextureLoader::Fail(kTexBadImage);
        return;
    }
    width_ = uint32_t(values[0]);
    height_ = uint32_t(values[1]);
    if (kind_ != '4') {
        if (values[2] > 255) {
            TextureLoader::Fail(kTexUnknownFormat);
            return;
        }
        if (values[2] <= 0) {
            TextureLoader::Fail(kTexBadImage);  // every sample would divide by it
            return;
        }
        maximum_ = uint32_t(values[2]);
    }
    colours_ = kind_ == '6' ? 0 : kind_ == '5' ? maximum_ + 1 : 2;
    if (!CheckSize())
        return;
    // Data that cannot hold the samples ends early: said before any surface is made.
    uint64_t row = kind_ == '6' ? uint64_t(width_) * 3 : kind_ == '5' ? width_ : (uint64_t(width_) + 7) / 8;
    int64_t left = medium->Size();
    if (left >= 0 && uint64_t(left) < row * height_)
        medium->AddStatus(kMediumEndOfData);
}

void PnmImageReader::AllocateBuffers(bool keep, uint32_t entries)
{
    ImageReader::AllocateBuffers(keep, entries);
    if (kind_ == '5') {
        for (uint32_t i = 0; i < colours_; ++i) {
            auto grey = uint8_t((127 + i * (65280 / maximum_)) / 256);
            palette_[3 * i] = palette_[3 * i + 1] = palette_[3 * i + 2] = grey;
        }
    } else if (kind_ == '4') {
        palette_[3] = palette_[4] = palette_[5] = 255;
    }
}

void PnmImageReader::ReadRow(void* buffer)
{
    auto* out = static_cast<uint8_t*>(buffer);
    if (medium_->Status())
        return;  // the load fails at its next check; reading on gains nothing
    switch (kind_) {
    case '6':
        for (uint32_t i = 0; i < width_ * 3; ++i) {
            uint8_t s = 0;
            medium_->ReadUInt8(s);
            // Samples above the maximum are held at full scale.
            out[i] = maximum_ == 255 ? s : uint8_t(std::min<uint32_t>(s * 255u / maximum_, 255));
        }
        break;
    case '5':
        medium_->Flush();
        medium_->Read(out, width_);
        break;
    default: {
        uint8_t byte = 0;
        for (uint32_t x = 0; x < width_; ++x) {
            if (x % 8 == 0) {
                byte = 0;
                medium_->ReadUInt8(byte);
                byte = uint8_t(~byte);
            }
            out[x] = (byte >> (7 - x % 8)) & 1;
        }
        break;
    }
    }
}

void RegisterPnmFormats()
{
    TextureLoader::RegisterFormat("P6", 2, [] { return static_cast<ImageReader*>(new PnmImageReader('6')); });
    TextureLoader::RegisterFormat("P5", 2, [] { return static_cast<ImageReader*>(new PnmImageReader('5')); });
    TextureLoader::RegisterFormat("P4", 2, [] { return static_cast<ImageReader*>(new PnmImageReader('4')); });
}

} // namespace ve
