// The crouch key toggles crouching at once, or queues the toggle with Ctrl
// held, as the mouse orders queue; Shift and held buttons queue nothing.
#include "../../ui/ui_fixture.h"

#include "app/app_state.h"
#include "app/shell/input.h"
#include "ui/key_config.h"

namespace {

class CrouchKey : public uitest::GameViewTest {};

TEST_F(CrouchKey, CtrlQueuesTheToggle)
{
    KeyBindings::Init();
    SetAppState(AppState::Playing);
    Selection::Add(trevok_);
    struct Row {
        const char* name;
        uint32_t flags;
        uint32_t request;
    };
    const Row rows[] = {
        {"no modifier", 0, 25},
        {"Ctrl", kFlagCtrl, 31},
        {"Shift", kFlagShift, 25},
        {"left button held", kFlagLeftButton, 25},
        {"Ctrl and Shift", kFlagCtrl | kFlagShift, 31},
    };
    for (const Row& row : rows) {
        Drain();
        Game::OnKey(InputEvent{kMsgKeyDown, KeyBindings::Key(KeyBindings::kCrouch), 0, 0,
                               KeyBindings::Key(KeyBindings::kCrouch), row.flags});
        char expected[32];
        std::snprintf(expected, sizeof expected, " %02x000000%02x000000", row.request, 101);
        EXPECT_EQ(Drain(), expected) << row.name;
    }
    Selection::RemoveAll();
}

} // namespace
