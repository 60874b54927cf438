// Shared by the saved-state targets: byte 0 picks the class, then comes its
// image (zero-filled when short) and its state block. A read must refuse what
// it cannot take; an object that took it must fix up, save, and load again
// into a fresh object of its class with nothing left over.
#pragma once

#include "platform/byte_cursor.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

// Returns the object made for the input, taken or refused, for the caller to
// free; the copy made for the second load goes to `done`.
template <class Make, class FixUp, class Done>
auto LoadSaveAndLoadAgain(const uint8_t* data, size_t size, Make make, FixUp fixUp, Done done)
{
    auto* object = make(data[0]);
    const std::span<const uint8_t> rest(data + 1, size - 1);
    std::vector<uint8_t> image(object->SizeInBytes(), 0);
    const size_t imageBytes = std::min(rest.size(), image.size());
    std::copy_n(rest.begin(), imageBytes, image.begin());
    trevok::ByteReader in(rest.subspan(imageBytes));
    if (!object->LoadState(in, image))
        return object;
    fixUp(*object);
    std::vector<uint8_t> again(object->SizeInBytes(), 0);
    object->WriteImage(again);
    std::vector<uint8_t> state;
    trevok::ByteWriter out(state);
    if (!object->SaveState(out))
        std::abort();
    auto* copy = make(data[0]);
    trevok::ByteReader back(state);
    if (!copy->LoadState(back, again) || back.Remaining() != 0)
        std::abort();
    done(*copy);
    return object;
}
