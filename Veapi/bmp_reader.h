// Reader of Windows bitmap files ("BM"): 1, 2, 4, 8 bits with a palette or 24
// bits, uncompressed, rows stored bottom-up.
#pragma once

#include "Veapi/image_reader.h"

#include <memory>
#include <vector>

namespace ve {

class BmpImageReader : public ImageReader {
public:
    void ReadHeader(DataMedium* medium) override;
    void AllocateBuffers(bool keep, uint32_t entries) override;
    bool IsBottomUp() override { return true; }
    void ReadRow(void* buffer) override;
    const void* ReadRowInPlace(void* buffer) override;

    static ImageReader* Create() { return new BmpImageReader; }

private:
    // The next stored row within the batch read; null when reading failed.
    const uint8_t* NextStoredRow();
    DataMedium* medium_ = nullptr;
    int64_t gap_ = 0;
    uint32_t headerSize_ = 0;
    uint16_t bits_ = 0;
    uint32_t padding_ = 0;
    uint32_t mask_ = 0;
    // Stored rows read a batch at a time, so a row costs no read of its own;
    // the medium's bytes, valid until it is next read.
    const uint8_t* batch_ = nullptr;
    size_t batchSize_ = 0;
    size_t batchAt_ = 0;
    uint32_t rowsLeft_ = 0; // rows not yet read into a batch
};

void RegisterBmpFormat();

} // namespace ve
