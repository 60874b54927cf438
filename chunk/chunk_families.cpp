#include "chunk/chunk_families.h"

#include "chunk/chunk_file.h"
#include "chunk/cutscene_chunks.h"
#include "chunk/environment_chunks.h"
#include "chunk/hierarchy_chunks.h"
#include "chunk/light_chunks.h"
#include "chunk/object_chunks.h"
#include "chunk/shape_chunks.h"

#include <mutex>

namespace trevok {

void EnsureChunkFamiliesRegistered()
{
    // An explicit list rather than static initialisers: the linker drops unreferenced
    // objects of a static library, and with them their registrations.
    static std::once_flag once;
    std::call_once(once, [] {
        RegisterFileChunks();
        RegisterObjectChunks();
        RegisterLightChunks();
        RegisterEnvironmentChunks();
        RegisterShapeChunks();
        RegisterCutsceneChunks();
        // Sounds, shape extras, bitmap names, hierarchies and sequences.
        RegisterModelChunkFamilies();
    });
}

} // namespace trevok
