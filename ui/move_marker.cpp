#include "ui/move_marker.h"

#include "Veapi/hierarchy.h"
#include "app/directories.h"
#include "chunk/loaders/environment_loader.h"
#include "chunk/loaders/hierarchy_loader.h"

namespace MoveMarker {
namespace {
HierarchyPtr g_marker;
} // namespace

bool LoadFrom(const std::filesystem::path& folder)
{
    Release();
    auto record = trevok::LoadEnvironmentFile(folder, kModelFile);
    if (!record)
        return false;
    g_marker = trevok::LoadHierarchyFromChunks(kHierarchy, *record);
    return g_marker != nullptr;
}

bool Load()
{
    const auto folder = app::DataDirectories::Global().Folder(app::kRifsDirectory);
    return folder && LoadFrom(*folder);
}

void Release() { g_marker.reset(); }

Hierarchy* Get() { return g_marker.get(); }

} // namespace MoveMarker
