// Loads arbitrary bytes as a chunk file (and as a run of top-level chunks). A load
// that succeeds must write an image that loads again to the same image.
#include "chunk/chunk_file.h"
#include "chunk/object_chunks.h"
#include "chunk/shape_chunks.h"

#include <cstdint>
#include <cstdlib>
#include <span>

namespace {

void Exercise(trevok::ChunkFile& file)
{
    std::vector<trevok::ObjectChunk*> objects;
    file.GetObjects(objects);
    for (auto* o : objects) {
        std::vector<trevok::ObjectChunk*> levels;
        o->GetLevelsOfDetail(levels);
        o->GetModuleArray();
    }
    std::vector<trevok::ShapeChunk*> shapes;
    file.GetShapes(shapes);
    for (auto* s : shapes) {
        trevok::ShapeData copy = s->Data();
        if (auto* merge = s->FindChildAs<trevok::MergeDataChunk>("SHPMRGDT"))
            copy.MergePolygons(merge->Records());
        s->Clone();
    }
    file.GetObjectByIndex(0);
    file.GetEnvironmentData();
}

void CheckStable(trevok::ChunkFile& file)
{
    if (file.ErrorCode() != trevok::kChunkOk)
        return;
    auto image = file.PlainImage();
    auto again = trevok::ChunkFile::FromFileImage(image);
    if (again->ErrorCode() != trevok::kChunkOk || again->PlainImage() != image)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::span<const uint8_t> bytes(data, size);
    auto file = trevok::ChunkFile::FromFileImage(bytes, "fuzz.rif");
    CheckStable(*file);
    Exercise(*file);
    // The same bytes as top-level chunks: reaches the chunk walk without a valid file header.
    auto chunks = trevok::ChunkFile::FromMemory(bytes);
    CheckStable(*chunks);
    Exercise(*chunks);
    return 0;
}
