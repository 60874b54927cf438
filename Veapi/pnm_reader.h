// Readers of the binary portable any-map forms: "P6" colour, "P5" grey and
// "P4" bitmap, with samples of at most 8 bits.
#pragma once

#include "Veapi/image_reader.h"

namespace ve {

class PnmImageReader : public ImageReader {
public:
    explicit PnmImageReader(char kind) : kind_(kind) {}
    void ReadHeader(DataMedium* medium) override;
    void AllocateBuffers(bool keep, uint32_t entries) override;
    void ReadRow(void* buffer) override;

private:
    bool ReadNumber(int64_t& value, uint8_t& terminator);

    char kind_;
    DataMedium* medium_ = nullptr;
    uint32_t maximum_ = 1;
};

void RegisterPnmFormats();

} // namespace ve
