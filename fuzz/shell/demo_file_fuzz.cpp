// Any bytes given as a demo file: refused with a message, or read and
// written back to the same bytes.
#include "app/demo.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Demo::File file;
    std::string error;
    if (!Demo::Parse(data, size, file, error)) {
        if (error.empty())
            __builtin_trap();
        return 0;
    }
    if (file.events.size() > Demo::kCapacity || file.events.size() != file.times.size())
        __builtin_trap();
    const auto again = Demo::Serialize(file);
    if (again.size() != size || std::memcmp(again.data(), data, size) != 0)
        __builtin_trap();
    return 0;
}
