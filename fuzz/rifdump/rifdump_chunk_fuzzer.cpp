// Loads arbitrary bytes with the dump tool's own chunk types registered and
// prints the report; a load that succeeds must write an image that loads
// again to the same image.
#include "chunk/chunk_file.h"
#include "tools/rifdump/chunk_report.h"
#include "tools/rifdump/tool_chunks.h"

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstdio>
#include <span>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const bool registered = (trevok::rifdump::RegisterRifdumpChunks(), true);
    (void)registered;
    std::span<const uint8_t> bytes(data, size);
    auto file = trevok::ChunkFile::FromFileImage(bytes, "fuzz.rif");
    if (file->ErrorCode() != trevok::kChunkOk)
        return 0;

    // The report reads its file by name.
    static const std::string path = "/tmp/rifdump_fuzz_" + std::to_string(::getpid()) + ".rif";
    static std::FILE* sink = std::fopen("/dev/null", "w");
    if (std::FILE* f = std::fopen(path.c_str(), "wb")) {
        std::fwrite(data, 1, size, f);
        std::fclose(f);
        const char* argv[] = {"rifdump", path.c_str()};
        trevok::rifdump::RunChunkDump(2, argv, sink, sink);
        std::remove(path.c_str());
    }

    auto image = file->PlainImage();
    auto again = trevok::ChunkFile::FromFileImage(image);
    if (again->ErrorCode() != trevok::kChunkOk || again->PlainImage() != image)
        std::abort();
    return 0;
}
