// Any bytes as a demo file given to Demo::LoadFile: either every field is
// taken, or the buffers stay exactly as they were.
#include "app/demo.h"
#include "console/console.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const std::string path = "/tmp/console-demo-fuzz-" + std::to_string(getpid()) + ".dem";
    if (FILE* f = std::fopen(path.c_str(), "wb")) {
        std::fwrite(data, 1, size, f);
        std::fclose(f);
    }
    Demo::Buffers& b = Demo::Global();
    b.count = 1;
    b.levelScript = "before";
    b.times[0] = 42.0f;
    const bool loaded = Demo::LoadFile(path.c_str());
    if (!loaded && (b.count != 1 || b.levelScript != "before" || b.times[0] != 42.0f))
        __builtin_trap();
    if (loaded && (b.count > Demo::kCapacity || size != 12 + b.levelScript.size() + 1 + b.commandFile.size() + 1 +
                                                          28 * size_t(b.count)))
        __builtin_trap();
    return 0;
}
