#include "ui/move_marker.h"

#include "app/directories.h"
#include "objects/world_object.h"

namespace MoveMarker {

bool LoadFrom(const std::filesystem::path& folder) { return WorldObjectTable::LoadMoveMarkerModel(folder); }

bool Load()
{
    const auto folder = app::DataDirectories::Global().Folder(app::kGraphicsDirectory);
    if (!folder) {
        Release();
        return false;
    }
    return LoadFrom(*folder);
}

void Release() { WorldObjectTable::SetMoveMarkerModel(nullptr); }

Hierarchy* Get() { return WorldObjectTable::MoveMarkerModel(); }

} // namespace MoveMarker
