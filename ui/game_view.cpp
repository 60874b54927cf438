#include "ui/game_view.h"

#include "app/app_time.h"
#include "media/sound_system.h"
#include "objects/teams.h"
#include "objects/world_object.h"
#include "ui/selection.h"
#include "ui/ui_placeholders.h"

#include <algorithm>

namespace GameView {
namespace {

Hooks g_hooks;
Screens g_screens;
std::function<int64_t()> g_clock;
int64_t g_ticksPerSecond = 0;

template <typename F, typename R, typename... A>
R Ask(const F& f, R otherwise, A&&... args)
{
    return f ? f(std::forward<A>(args)...) : otherwise;
}

} // namespace

Hooks& GetHooks() { return g_hooks; }
Screens& GetScreens() { return g_screens; }

uint32_t Modifiers() { return Ask(g_hooks.modifiers, 0u); }
bool IsPaused() { return Ask(g_hooks.isPaused, false); }
int LocalTeam() { return g_hooks.localTeam ? g_hooks.localTeam() : ClientServices::Get().OwnSide(); }
bool IsNeutralTeam(int team) { return g_hooks.neutralTeam ? g_hooks.neutralTeam(team) : team == 0 || TeamTable::IsNeutral(team); }
void PlaySound(int sound)
{
    if (g_hooks.playSound) {
        g_hooks.playSound(sound);
        return;
    }
    if (SoundSystem* system = SoundSystem::Global())
        system->Play(sound, "");
}

bool WheelOpen() { return g_screens.wheelOpen ? g_screens.wheelOpen() : CommandWheel::IsOpen(); }
void ShowWheel(float x, float y, int64_t now)
{
    if (g_screens.wheelShow) {
        g_screens.wheelShow(x, y, now);
        return;
    }
    CommandWheel::SetCommandUnit(Selection::CommandUnit());
    CommandWheel::OpenAt(x, y, uint64_t(std::max<int64_t>(now, 0)));
}

bool ClickWheel(int x, int y, int64_t now, int& action, int& index)
{
    if (g_screens.wheelClick)
        return g_screens.wheelClick(x, y, now, action, index);
    Wheel* wheel = CommandWheel::Get();
    if (!wheel)
        return false;
    CommandWheel::ClearPendingAction();
    if (!(wheel->Click(uint64_t(std::max<int64_t>(now, 0))) & kClickCloseHolder))
        return false;
    action = CommandWheel::PendingAction();
    index = CommandWheel::PendingIndex();
    return true;
}

void CloseWheel(int64_t now)
{
    if (g_screens.wheelClose) {
        g_screens.wheelClose(now);
        return;
    }
    if (Wheel* wheel = CommandWheel::Get())
        wheel->Close(uint64_t(std::max<int64_t>(now, 0)), false);
}

int PendingWheelAction()
{
    return g_screens.pendingWheelAction ? g_screens.pendingWheelAction() : CommandWheel::PendingAction();
}

bool UpgradeOpen() { return g_screens.upgradeOpen ? g_screens.upgradeOpen() : UpgradeScreen::IsOpen(); }
bool ReconViewOn() { return g_screens.reconViewOn ? g_screens.reconViewOn() : !FreeCameraFlag; }
bool CutscenePlaying() { return Ask(g_screens.cutscenePlaying, false); }
void SetCutscenePlaying(bool on)
{
    if (g_screens.setCutscenePlaying)
        g_screens.setCutscenePlaying(on);
}

uint32_t CurrentOrderFlags() { return OrderFlags(Modifiers()); }

int64_t RealNow() { return g_clock ? g_clock() : AppTime::RealNow(); }
int64_t TicksPerSecond() { return g_clock ? g_ticksPerSecond : AppTime::TicksPerSecond(); }
void SetRealClock(std::function<int64_t()> now, int64_t ticksPerSecond)
{
    g_clock = std::move(now);
    g_ticksPerSecond = ticksPerSecond > 0 ? ticksPerSecond : 1;
}

} // namespace GameView
