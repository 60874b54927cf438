#include "ui/player_input.h"

#include "ui/game_cursor.h"
#include "ui/mouse.h"

namespace PlayerInput {
namespace {
// At namespace scope: read by the frame, cleared at the level's end. The
// object is not held: it is valid for the frame that found it.
PickResult g_under;
} // namespace

void UpdateFrame()
{
    int x = 0, y = 0;
    Mouse::LastPoint(x, y);
    // What the last frame's probe found, then the probe aimed for this one.
    g_under = Picking::At(x, y);
    Picking::AimProbe(x, y);
    GameCursor::Update();
}

const PickResult& UnderPointer() { return g_under; }
void Clear() { g_under = {}; }

} // namespace PlayerInput
