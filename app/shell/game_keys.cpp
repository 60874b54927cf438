// The game view's keys: fixed keys first, then the bindable ones, then the
// console key macros.
#include "app/shell/input.h"

#include "app/app_state.h"
#include "app/string_table.h"
#include "console/console.h"
#include "media/media_placeholders.h"
#include "objects/objects_placeholders.h"
#include "session/session_placeholders.h"
#include "ui/game_view.h"
#include "ui/key_config.h"
#include "ui/ui_placeholders.h"

namespace Game {
namespace {

bool g_paused = false;
float g_savedSpeed = 1.0f;
bool g_musicEnabled = true;

constexpr uint32_t kF1 = 59, kF4 = 62, kF5 = 63, kF6 = 64, kF9 = 67, kF10 = 68, kF11 = 87, kF12 = 88;

void SendUnitRequest(uint32_t type, const WorldObject* unit)
{
    const uint32_t words[2] = {type, unit->GetId()};
    Client::SendToServer(words, sizeof words, false);
}

// Keys that stop the edge scroll they started when released.
void KeyUp(uint32_t key)
{
    using namespace KeyBindings;
    if (key == Key(kRight) || key == Key(kLeft)) {
        const int value = key == Key(kRight) ? 1 : 0;
        CameraController::SetEdgeScroll(0, value, false);
        CameraController::SetEdgeScroll(4, value, false);
    } else if (key == Key(kUp) || key == Key(kDown)) {
        const int value = key == Key(kDown) ? 1 : 0;
        CameraController::SetEdgeScroll(1, value, false);
        CameraController::SetEdgeScroll(5, value, false);
    } else if (key == Key(kZoomOut) || key == Key(kZoomIn)) {
        CameraController::SetEdgeScroll(3, key == Key(kZoomIn) ? 1 : 0, false);
    } else if (key == 210 || key == 211) {
        CameraController::SetEdgeScroll(2, key == 210 ? 1 : 0, false);
    }
}

bool FixedKey(const InputEvent& e, bool shift, bool ctrl)
{
    const uint32_t key = e.scanCode;
    if (key == kKeyEscape) {
        Selection::HandleEscape();
    } else if (key >= 2 && key <= 10) {
        const WorldObject* unit = Selection::SelectOnly(static_cast<int>(key) - 1);
        const Unit* character = unit && unit->IsUnit() ? static_cast<const Unit*>(unit) : nullptr;
        if (g_paused) {
            if (unit)
                SendUnitRequest(35, unit);
            TogglePause();
        } else if (character && character->IsAlive() && character->TakesOrders() && character->FirstOrderKind() == 3) {
            SendUnitRequest(34, unit);
        }
    } else if (key == 30 && ctrl) {
        Selection::SelectAllSquad();
    } else if (key == 31) {
        Selection::ClearOrders();
    } else if ((key == 43 || key == 86) && ctrl) {
        Selection::UndoLastOrder();
    } else if (key == 50 && ctrl) {
        EndSession();
        TitleScreen::Enter();
    } else if (key >= kF1 && key <= kF10 && !ctrl) {
        AlertTable::Answer(key, static_cast<int>(key - kF1));
    } else if (key == kF1 && ctrl) {
        Objectives::Update();
    } else if (key == kF4 && ctrl) {
        if (MenuScreen::OnLoadKey())
            AlertTable::Answer(kF4, 3);
        else
            TextConsole::Print(StringTable::Global().Find(6088));
    } else if (key == kF5 && ctrl) {
        if (MenuScreen::OnSaveKey())
            AlertTable::Answer(kF5, 4);
        else
            TextConsole::Print(StringTable::Global().Find(6089));
    } else if (key == kF6 && ctrl) {
        if (SaveGame("quicksave.sav", 1))
            AlertTable::Answer(kF6, 5);
        else
            TextConsole::Print(StringTable::Global().Find(6088));
    } else if (key == kF9 && ctrl) {
        if (LoadSavedGame("quicksave.sav"))
            AlertTable::Answer(kF9, 8);
        else
            TextConsole::Print(StringTable::Global().Find(6089));
    } else if (key == kF11 && !ctrl) {
        MusicPlayer::Play(MusicPlayer::Global(), "sound\\music\\track1.bik");
        g_musicEnabled = true;
    } else if (key == kF12 && !ctrl) {
        MusicPlayer::Stop(MusicPlayer::Global());
        g_musicEnabled = false;
    } else if (key == 199 || key == 207) {
        CameraController::MoveRelative(key == 199 ? -0.95f : 0.95f, 0.0f);
    } else if (key == 201 || key == 209) {
        CameraController::MoveRelative(0.0f, key == 201 ? -0.7f : 0.7f);
    } else if (key == 210 || key == 211) {
        CameraController::SetEdgeScroll(2, key == 210 ? 1 : 0, true);
    } else if (key == 16 && shift) {
        ExitProgram(kExitOnShiftQ);
    } else {
        return false;
    }
    return true;
}

bool BoundKey(const InputEvent& e, bool shift)
{
    using namespace KeyBindings;
    const uint32_t key = e.scanCode;
    if (key == Key(kRight)) CameraController::SetEdgeScroll(shift ? 4 : 0, 1, true);
    else if (key == Key(kLeft)) CameraController::SetEdgeScroll(shift ? 4 : 0, 0, true);
    else if (key == Key(kUp)) CameraController::SetEdgeScroll(shift ? 5 : 1, 0, true);
    else if (key == Key(kDown)) CameraController::SetEdgeScroll(shift ? 5 : 1, 1, true);
    else if (key == Key(kZoomOut)) CameraController::SetEdgeScroll(3, 0, true);
    else if (key == Key(kZoomIn)) CameraController::SetEdgeScroll(3, 1, true);
    else if (key == Key(kItemO)) Selection::ItemHotkey(3);
    else if (key == Key(kReadyWeapon)) Selection::ReadyQuickWeapon();
    else if (key == Key(kSelectNext) || key == Key(kSelectPrevious)) {
        if (key == Key(kSelectNext))
            Selection::SelectNext();
        else
            Selection::SelectPrevious();
        if (CameraController::IsTracking())
            CameraController::LockOnSelection();
    } else if (key == Key(kNextSquadMember)) {
        if (!CommandScript::NotifyClick())
            Selection::SelectNextSquadMember(shift);
    } else if (key == Key(kCameraLock)) {
        if (CameraLockingEnabled) {
            if (CameraController::IsTracking())
                CameraController::StopTracking();
            else
                CameraController::LockOnSelection();
        }
    } else if (key == Key(kUpdateFrame)) PlayerInput::UpdateFrame();
    else if (key == Key(kResolveAlerts)) AlertTable::ResolveAll();
    else if (key == Key(kItemP)) Selection::ItemHotkey(0);
    else if (key == Key(kItemR)) Selection::ItemHotkey(1);
    else if (key == Key(kItemT)) Selection::ItemHotkey(2);
    else if (key == Key(kCrouch))
        // Ctrl queues the toggle, as it queues every other order.
        Selection::ToggleCrouch(GameView::OrderFlags(e.flags));
    else if (key == Key(kUpgradeScreen)) {
        if (!CommandWheel::IsOpen())
            UpgradeScreen::Toggle();
    } else if (key == Key(kPause)) TogglePause();
    else if (key == TextConsole::Get().consoleKey && shift) TextConsole::Toggle();
    else
        return false;
    return true;
}

} // namespace

bool& MusicEnabled() { return g_musicEnabled; }

void OnKey(const InputEvent& e)
{
    if (e.message == kMsgKeyUp) {
        KeyUp(e.scanCode);
        return;
    }
    if (e.message != kMsgKeyDown)
        return;
    const bool shift = (e.flags & kFlagShift) != 0;
    const bool ctrl = (e.flags & kFlagCtrl) != 0;
    if (FixedKey(e, shift, ctrl) || BoundKey(e, shift))
        return;
    Input::RunKeyMacrosFor(e.scanCode);
}

void TogglePause()
{
    if (g_paused || Network::IsActive()) {
        g_paused = false;
        GameSpeed::Set(g_savedSpeed);
    } else {
        g_paused = true;
        g_savedSpeed = GameSpeed::Get();
        GameSpeed::Set(0.0f);
    }
}

void ResumeIfPaused()
{
    if (g_paused) {
        g_paused = false;
        GameSpeed::Set(g_savedSpeed);
    }
}

bool IsPaused() { return g_paused; }

} // namespace Game
