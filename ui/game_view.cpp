#include "ui/game_view.h"

#include "app/app_time.h"
#include "media/sound_system.h"
#include "ui/ui_placeholders.h"

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
int LocalTeam() { return Ask(g_hooks.localTeam, 1); }
bool IsNeutralTeam(int team) { return g_hooks.neutralTeam ? g_hooks.neutralTeam(team) : team == 0; }
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
