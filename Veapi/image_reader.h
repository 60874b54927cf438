// The base of the image readers the texture loader runs: one reader per image
// format parses the header, gives size, palette and colour counts, delivers
// pixel rows and converts each row into the surface format the loader chose.
// Rows hold one byte per pixel (a palette index) when there is a palette,
// else three bytes per pixel: R, G, B, or B, G, R for a reader that says so
// (a file stored that way then needs no swap before its conversion).
#pragma once

#include "platform/ref_counted.h"

#include <cstdint>
#include <vector>

#include "Veapi/data_medium.h"

namespace ve {

struct PixelFormat;

// Largest image a reader accepts: far above any texture a device takes, low
// enough that a forged header cannot ask for gigabytes.
constexpr uint32_t kMaxImageSide = 16384;
constexpr uint64_t kMaxImagePixels = uint64_t(1) << 25;

// True where the processor shuffles bytes within a 16-byte register: row
// conversions then take a path built for it.
bool ProcessorHasByteShuffle();
// True where it loads eight 32-bit table entries by eight indices at once.
bool ProcessorHasGather();

class ImageReader : public RefCounted {
public:
    ImageReader() = default;
    ImageReader(const ImageReader&) = delete;
    ImageReader& operator=(const ImageReader&) = delete;
    virtual ~ImageReader() = default;

    virtual uint32_t PaletteSize() { return colours_; }
    virtual uint32_t ColourCount() { return colours_; }
    virtual bool WantsColourKey(bool flag) { return flag; }
    virtual uint32_t AlphaBits() { return 0; }
    virtual void CheckPalette(uint32_t entries);
    virtual uint32_t LevelCount() { return 0; }
    virtual uint32_t PaletteColourCount() { return colours_; }
    // The palette (R, G, B per colour) of the current image.
    virtual const uint8_t* ReadPalette() { return palette_.data(); }
    virtual bool IsBottomUp() { return false; }
    virtual void* RowBuffer(uint32_t row);
    virtual void* AlphaRowBuffer(uint32_t) { return nullptr; }
    virtual void ReadRow(void* buffer) = 0;
    // Reads the next row and says where it lies: `buffer`, filled as ReadRow
    // fills it, or the reader's own bytes when it can hand those over unchanged
    // (they stay valid until the next read).
    virtual const void* ReadRowInPlace(void* buffer)
    {
        ReadRow(buffer);
        return buffer;
    }
    virtual void ReadAlphaRow(void*) {}
    virtual void ConvertRow(uint8_t* destination, uint32_t surfaceWidth, const void* row,
                            const void* alpha, uint32_t left, uint32_t count, const uint8_t* palette);
    virtual void SelectLevel(uint32_t, uint32_t) {}
    virtual uint32_t ColourKey() { return 0; }
    virtual void FinishReload(bool) {}
    virtual bool IsCompressed() { return false; }
    virtual uint32_t CompressedFourCC() { return 0; }
    virtual void ReadHeader(DataMedium* medium) = 0;
    virtual void AllocateBuffers(bool keep, uint32_t entries);
    virtual void Finish(bool) {}
    // Moves the decoded image into a reader that loads it again without its file.
    virtual ImageReader* MakeKeptImage();

    uint32_t Width() const { return width_; }
    uint32_t Height() const { return height_; }
    uint32_t Flags() const { return flags_; }
    uint32_t LevelsToDrop() const { return levelsToDrop_; }
    uint32_t LargestDimension() const { return largest_; }
    bool ColourKeyDecision() const { return colourKey_; }
    void SetRequest(uint32_t levelsToDrop, uint32_t largest, uint32_t flags)
    {
        levelsToDrop_ = levelsToDrop;
        largest_ = largest;
        flags_ = flags;
    }
    void SetColourKeyDecision(bool key) { colourKey_ = key; }

protected:
    // Bytes per pixel of a delivered row: 1 with a palette, 3 for RGB.
    uint32_t PixelBytes() const { return colours_ ? 1 : 3; }
    // Converts an RGB row straight into a 32-bit surface row: the per-pixel
    // pack without the colour key. False when the format needs the general path.
    bool ConvertRgbTo32(uint8_t* destination, uint32_t surfaceWidth, const uint8_t* row, uint32_t left,
                        uint32_t count) const;
    // Refuses (error 8) a size no texture can have.
    bool CheckSize();

    uint32_t width_ = 0;
    uint32_t height_ = 0;
    uint32_t colours_ = 0;
    uint32_t flags_ = 0;
    uint32_t levelsToDrop_ = 0;
    uint32_t largest_ = 0x1000000;
    bool colourKey_ = false;
    bool blueFirst_ = false; // RGB rows are stored B, G, R
    std::vector<uint8_t> palette_;
    std::vector<uint8_t*> rows_;  // row table over block_ when the whole image is kept
    std::vector<uint8_t> block_;
    std::vector<uint8_t> rowBuffer_;
    std::vector<uint32_t> packedRow_; // one converted row before it is stored
    uint32_t packedPalette_[256] = {};
};

// An image kept from an earlier load, read again without its file. Rows are
// top-down and already in memory.
class KeptImage : public ImageReader {
public:
    KeptImage(uint32_t width, uint32_t height, uint32_t colours, uint32_t flags, uint32_t levelsToDrop,
              uint32_t largest, bool colourKey, std::vector<uint8_t> palette,
              std::vector<uint8_t*> rows, std::vector<uint8_t> block, bool blueFirst = false);
    void ReadRow(void*) override {}
    void ReadHeader(DataMedium*) override {}
};

// Shared packing of a colour into a surface format, with the colour-key rule.
// The smallest non-zero value for a colour that packs to 0, the key.
uint32_t NonZeroReplacement(const PixelFormat& format, uint8_t r, uint8_t g, uint8_t b);
// Stores pixel `index` of a row: 1, 2, 4 bits packed first pixel lowest, else whole bytes.
void StorePixel(uint8_t* row, uint32_t bits, uint32_t index, uint32_t value);
// Stores `count` packed pixels, then repeats the last one once when the
// surface is wider (its filtering edge), as the per-pixel conversion does.
void StorePixels(uint8_t* row, uint32_t bits, const uint32_t* values, uint32_t count, uint32_t surfaceWidth);

} // namespace ve
