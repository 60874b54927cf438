// Reads arbitrary bytes as an IFF document; what is read must write back and
// read again to the same bytes.
#include <cstdlib>

#include "Veapi/iff.h"
#include "Veapi/iff_image_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > (1u << 20))
        return 0;
    ve::RegisterIffImageFormat();
    ve::MemoryMedium in(data, uint32_t(size));
    ve::IffDocument doc;
    if (!doc.Read(&in))
        return 0;
    ve::BufferMedium first;
    if (!doc.Write(&first))
        std::abort();
    ve::MemoryMedium again(first.Bytes().data(), uint32_t(first.Bytes().size()));
    // The copy lends its rows from `first`, which outlives it.
    ve::IffDocument copy;
    if (!copy.Read(&again, true))
        std::abort();
    ve::BufferMedium second;
    if (!copy.Write(&second) || second.Bytes() != first.Bytes())
        std::abort();
    return 0;
}
