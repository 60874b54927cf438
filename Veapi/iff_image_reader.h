// Reader of the engine's own texture files: IFF documents with "ILBM" pictures
// (palettised or 24-bit planes, optional alpha planes, ByteRun1 rows), S3TC
// block images, and "MIPM" forms holding a mip-map chain. The whole document is
// read first; levels, palettes and rows are then served from its chunks.
#pragma once

#include <algorithm>
#include <array>
#include <vector>

#include "Veapi/iff.h"
#include "Veapi/image_reader.h"

namespace ve {

constexpr IffId kIffIlbm = MakeIffId("ILBM");
constexpr IffId kIffMipm = MakeIffId("MIPM");
constexpr IffId kIffBmhd = MakeIffId("BMHD");
constexpr IffId kIffCmap = MakeIffId("CMAP");
constexpr IffId kIffBody = MakeIffId("BODY");
constexpr IffId kIffGrab = MakeIffId("GRAB");
constexpr IffId kIffTran = MakeIffId("TRAN");
constexpr IffId kIffAlph = MakeIffId("ALPH");
constexpr IffId kIffS3tc = MakeIffId("S3TC");
constexpr IffId kIffCont = MakeIffId("CONT");
constexpr IffId kIffFlag = MakeIffId("FLAG");

class IlbmBmhd : public IffChunk {
public:
    IlbmBmhd() : IffChunk(kIffBmhd) {}
    void Transfer(IffArchive& ar) override;
    uint16_t width = 0, height = 0;
    int16_t x = 0, y = 0;
    uint8_t planes = 0, masking = 0, compression = 0, pad = 0;
    uint16_t transparent = 0;
    uint8_t xAspect = 1, yAspect = 1;
    int16_t pageWidth = 0, pageHeight = 0;
};

class IlbmCmap : public IffChunk {
public:
    IlbmCmap() : IffChunk(kIffCmap) {}
    void Transfer(IffArchive& ar) override;
    uint32_t Count() const { return uint32_t(rgb.size() / 3); }
    std::vector<uint8_t> rgb;
};

// The plane rows of a picture (BODY) or of its alpha (ALPH, after its header).
// Read from a document that lends, the rows stay where they lie in the
// medium's memory until OwnBytes copies them into `data`.
class IlbmBody : public IffChunk {
public:
    explicit IlbmBody(IffId id = kIffBody) : IffChunk(id) {}
    void Transfer(IffArchive& ar) override { TransferRows(ar); }
    void OwnBytes() override;
    // Packs 32-bit pixel values into plane rows, ByteRun1-coded when asked.
    void Encode(const std::vector<uint32_t>& values, uint32_t width, uint32_t height, uint32_t planes,
                bool compress);
    // The rows: lent, or else `data`.
    const uint8_t* Bytes() const { return lent_ ? lent_ : data.data(); }
    size_t Size() const { return lent_ ? lentSize_ : data.size(); }
    std::vector<uint8_t> data;

protected:
    void TransferRows(IffArchive& ar);

private:
    const uint8_t* lent_ = nullptr;
    size_t lentSize_ = 0;
};

class IlbmAlph : public IlbmBody {
public:
    IlbmAlph() : IlbmBody(kIffAlph) {}
    void Transfer(IffArchive& ar) override;
    uint16_t width = 0, height = 0;
    uint8_t planes = 0, compression = 0;
};

class IlbmGrab : public IffChunk {
public:
    IlbmGrab() : IffChunk(kIffGrab) {}
    void Transfer(IffArchive& ar) override;
    int16_t x = 0, y = 0;
};

class IlbmTran : public IffChunk {
public:
    IlbmTran() : IffChunk(kIffTran) {}
    void Transfer(IffArchive& ar) override;
    uint8_t enabled = 0;
    uint16_t value1 = 0, value2 = 0;
    uint8_t red = 0, green = 0, blue = 0;
};

class IlbmS3tc : public IffChunk {
public:
    IlbmS3tc() : IffChunk(kIffS3tc) {}
    void Transfer(IffArchive& ar) override;
    uint32_t word = 0;
    uint32_t fourCC = 0;  // as the graphics layer numbers it ("DXT1": 'D' lowest)
    uint16_t value1 = 0, value2 = 0, value3 = 0;
    uint16_t width = 0, height = 0;
    uint32_t dataSize = 0;
    std::vector<uint8_t> data;
};

class MipmCont : public IffChunk {
public:
    MipmCont() : IffChunk(kIffCont) {}
    void Transfer(IffArchive& ar) override;
    uint8_t value1 = 0, value2 = 0;
};

class MipmFlag : public IffChunk {
public:
    MipmFlag() : IffChunk(kIffFlag) {}
    void Transfer(IffArchive& ar) override { ar.Transfer32(flags); }
    uint32_t flags = 0;
};

// Decodes plane rows into one 32-bit value per pixel.
class PlaneDecoder {
public:
    // Rows are byte-aligned in our files; standard ILBM writers pad each plane
    // row to 16 bits. The layout whose rows use the chunk exactly is taken.
    void Start(const uint8_t* data, size_t size, uint32_t width, uint32_t height, uint32_t planes,
               bool compressed);
    void Start(const std::vector<uint8_t>& data, size_t offset, uint32_t width, uint32_t height, uint32_t planes,
               bool compressed)
    {
        const size_t at = std::min(offset, data.size());
        Start(data.data() + at, data.size() - at, width, height, planes, compressed);
    }
    // False when the data ends before the row does.
    bool NextRow();
    const uint32_t* Values() const { return values_.data(); }
    uint32_t* Values() { return values_.data(); }
    // The next row as one byte a pixel, in place of NextRow for pictures of
    // at most eight planes (later planes are left out).
    bool NextIndexRow();
    const uint8_t* Indices() const { return indices_.data(); }
    uint8_t* Indices() { return indices_.data(); }
    void Free();

private:
    // The longest ByteRun1 run, and the room a decoded row has past its end.
    static constexpr size_t kRunSlack = 128;
    bool DecodeRow(uint32_t rowBytes, uint8_t* out);
    // The next row's planes, one after the other; null when the data ends first.
    const uint8_t* ReadPlaneRow();
    const uint8_t* data_ = nullptr;
    size_t size_ = 0, pos_ = 0;
    uint32_t width_ = 0, height_ = 0, planes_ = 0, rowBytes_ = 0;
    bool compressed_ = false;
    std::vector<uint8_t> row_;
    std::vector<uint32_t> values_;
    std::vector<uint8_t> indices_;
    std::vector<uint64_t> lanes_; // eight pixels' bits of up to eight planes each
};

class IffImageReader : public ImageReader {
public:
    uint32_t PaletteSize() override { return largestColours_; }
    uint32_t ColourCount() override { return smallestColours_ == UINT32_MAX ? 0 : smallestColours_; }
    bool WantsColourKey(bool flag) override;
    uint32_t AlphaBits() override { return alphaBits_; }
    void CheckPalette(uint32_t entries) override { Prepare(candidates_, entries); }
    uint32_t LevelCount() override { return uint32_t(levels_.size()); }
    void* RowBuffer(uint32_t row) override;
    void* AlphaRowBuffer(uint32_t row) override;
    void ReadRow(void*) override {}
    void ConvertRow(uint8_t* destination, uint32_t surfaceWidth, const void* row, const void* alpha,
                    uint32_t left, uint32_t count, const uint8_t* palette) override;
    void SelectLevel(uint32_t level, uint32_t entries) override;
    uint32_t ColourKey() override { return keyValue_; }
    void Finish(bool) override { FreeDecoders(); }
    void FinishReload(bool) override { FreeDecoders(); }
    bool IsCompressed() override { return s3tc_; }
    uint32_t CompressedFourCC() override { return fourCC_; }
    void ReadHeader(DataMedium* medium) override;
    void AllocateBuffers(bool, uint32_t entries) override { Prepare(candidates_, entries); }
    ImageReader* MakeKeptImage() override;

    // During a load its picture rows may still lie in the load's medium.
    IffDocument& Document() { return document_; }
    static ImageReader* Create() { return new IffImageReader; }

    struct Image {
        IffChunk* data = nullptr;  // "BODY" or "S3TC"
        IlbmBmhd* bmhd = nullptr;
        IlbmCmap* cmap = nullptr;  // none for a 24- or 32-plane picture
        IlbmAlph* alph = nullptr;
        IlbmTran* tran = nullptr;
    };

private:
    // Pictures of "ILBM" forms at or below `container`, passing over `skip`.
    void Collect(IffContainer* container, std::vector<Image>& out, bool s3tc,
                 const std::vector<IffContainer*>& skip);
    void Prepare(const std::vector<Image>& list, uint32_t entries);
    void FreeDecoders();
    uint32_t Nudge(uint32_t packed, uint8_t r, uint8_t g, uint8_t b) const;
    // Whether rows go to the surface as palette entries alone (no key, no
    // alpha planes, 32-bit pixels), so the decoder can hand over byte indices.
    bool RowsAreIndices() const;
    void PackPalette(const uint8_t* palette);

    IffDocument document_;
    std::vector<Image> candidates_;
    std::vector<std::vector<Image>> levels_;
    uint32_t largestColours_ = 0;
    uint32_t smallestColours_ = UINT32_MAX;
    uint32_t alphaBits_ = 0;
    bool s3tc_ = false;
    uint32_t fourCC_ = 0;
    const Image* chosen_ = nullptr;
    bool trueColour_ = false;
    uint32_t bytesPerBlockRow_ = 0;
    uint32_t bitsPerColumn_ = 0;
    uint8_t masking_ = 0;
    uint32_t transparentIndex_ = 0;
    uint32_t keyValue_ = 0;
    PlaneDecoder body_;
    PlaneDecoder alpha_;
    bool hasAlpha_ = false;
    // What the packed palette was made from: rows share one palette and format,
    // so it is packed again only when either changes.
    std::array<uint8_t, 768> packedFrom_{};
    std::array<uint32_t, 7> packedFormat_{};
    bool packedReady_ = false;
    // The reader's own palette when that is what was packed: only Prepare
    // changes it, so rows given it need no compare.
    const uint8_t* packedOwn_ = nullptr;
    // Byte k of every packed entry, 256 apiece, for lookups by byte permutes.
    alignas(64) std::array<uint8_t, 1024> packedBytes_{};
    bool rowIsIndices_ = false;  // what RowBuffer last handed out
};

void RegisterIffImageFormat();

} // namespace ve
