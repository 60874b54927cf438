#include "ui/script_commands.h"

#include "Veapi/ve_object.h"
#include "app/app_state.h"
#include "console/command_script.h"
#include "console/command_table.h"
#include "console/developer_commands.h"
#include "console/readers.h"
#include "console/text_console.h"
#include "console/world_commands.h"
#include "objects/world_object.h"
#include "session/session_placeholders.h"
#include "ui/camera_controller.h"
#include "ui/mouse.h"
#include "ui/picking.h"
#include "ui/repeat_text.h"
#include "ui/selection.h"
#include "ui/status_window.h"
#include "ui/still_screens.h"

#include <cmath>
#include <string>

namespace ScriptCommands {
namespace {

int32_t ObjectUnderCursor()
{
    int x = 0, y = 0;
    Mouse::LastPoint(x, y);
    const WorldObject* unit = Picking::At(x, y).object;
    return unit ? int32_t(unit->GetId()) : -1;
}

int32_t SelectedUnit()
{
    Selection::SelectNext();
    const WorldObject* unit = Selection::SelectPrevious();
    return unit ? int32_t(unit->GetId()) : -1;
}

void Watch(int32_t id)
{
    if (id >= 0)
        StatusWindow::SetWatched(uint32_t(id));
    StatusWindow::SetMode(StatusWindow::kWatch);
}

// SET SCALE: the drawn object takes the scale on all three axes; nothing
// is sent. A scale that is not a finite number changes nothing.
void SetScale(int32_t id, float scale)
{
    WorldObject* object = WorldObjectTable::FindById(uint32_t(id));
    if (!object || !object->Shape() || !std::isfinite(scale))
        return;
    object->Shape()->placement_.SetScale({scale, scale, scale});
}

} // namespace

void Centre()
{
    if (!IsInGameState(CurrentAppState())) {
        TextConsole::Print(TextConsole::Text(6056));
        return;
    }
    const int32_t id = TextConsole::ReadInt(-1);
    if (id < 0) {
        TextConsole::Print(TextConsole::Text(6074));
        return;
    }
    if (!Client::IsRunning())
        return;
    const WorldObject* object = WorldObjectTable::FindById(uint32_t(id));
    if (!object) {
        TextConsole::Print(TextConsole::Text(6073));
        return;
    }
    const Vec3& at = object->Position();
    CameraController::SetFocus(at.x, at.y, at.z);
}

void Install()
{
    CommandTable::Provide("CENTRE", Centre);
    RepeatText::Install();
    auto& client = WorldCommands::Client();
    client.objectUnderCursor = ObjectUnderCursor;
    client.selectedUnit = SelectedUnit;
    client.watch = Watch;
    client.edgeScrolling = CameraController::SetEdgeScrollEnabled;
    client.setScale = SetScale;
    ConsoleHooks::showTitle = [] { TitleScreen::Enter(); };
}

} // namespace ScriptCommands
