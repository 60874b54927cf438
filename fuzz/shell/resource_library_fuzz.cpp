// Any bytes given as a resource library: refused with a message or read,
// and every text it yields can be loaded.
#include "platform/resources.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string error;
    auto library = platform::ResourceLibrary::FromBytes(data, size, &error);
    if (!library) {
        if (error.empty())
            __builtin_trap();
        return 0;
    }
    for (uint32_t id = 0; id < 65536; id += 7)
        (void)library->LoadString(id);
    return 0;
}
