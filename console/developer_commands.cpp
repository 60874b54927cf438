#include "console/developer_commands.h"

#include "app/app_state.h"
#include "app/clock.h"
#include "console/text_console.h"
#include "session/client.h"
#include "session/game_state.h"
#include "session/level_session.h"
#include "session/saved_game.h"
#include "session/session_placeholders.h"

#include <csignal>
#include <ctime>
#include <fstream>
#include <string>

bool PlayerControlsOff = false;

namespace DeveloperFlags {
bool godMode = false;
bool infiniteAmmo = false;
bool lowDetail = false;
uint32_t renderFlags = 0;
} // namespace DeveloperFlags

namespace ConsoleHooks {
void (*statusWindow)() = nullptr;
void (*showTitle)() = nullptr;
}

namespace DeveloperCommands {
namespace {

void Switch(bool& flag)
{
    switch (TextConsole::ReadOnOff()) {
    case 1: flag = true; break;
    case 0: flag = false; break;
    default: flag = !flag; break;
    }
}

// A debugger or tracer is attached when the kernel names a tracer pid.
bool UnderTracer()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("TracerPid:", 0) == 0)
            return std::stol(line.substr(10)) != 0;
    return false;
}

} // namespace

void God() { Switch(DeveloperFlags::godMode); }

void Wireframe()
{
    bool on = (DeveloperFlags::renderFlags & 0x200000u) != 0;
    Switch(on);
    DeveloperFlags::renderFlags = on ? DeveloperFlags::renderFlags | 0x200000u : DeveloperFlags::renderFlags & ~0x200000u;
}

void InfiniteAmmo() { DeveloperFlags::infiniteAmmo = !DeveloperFlags::infiniteAmmo; }
void SwitchDetail() { DeveloperFlags::lowDetail = !DeveloperFlags::lowDetail; }

void TimerInfo()
{
    const int64_t tps = TextConsole::TicksPerSecond();
    const int64_t real = TextConsole::RealNow();
    const int64_t game = TextConsole::GameNow();
    auto print = [](const char* label, const std::string& value) { TextConsole::Print((label + value).c_str()); };
    print("Real time, in secs: ", FormatFloat(float(double(real) / double(tps))));
    print("Real time, in ticks: ", std::to_string(real));
    if (Client::IsRunning()) {
        print("Game time, in secs: ", FormatFloat(float(double(game) / double(tps))));
        print("Game time, in ticks: ", std::to_string(game));
    }
    if (Server::IsRunning()) {
        const int64_t server = static_cast<int64_t>(Server::ServerClock().Now64());
        print("Server time, in secs: ", FormatFloat(float(double(server) / double(tps))));
        print("Server time, in ticks: ", std::to_string(server));
    }
}

void ResetTime()
{
    if (Network::IsActive()) {
        TextConsole::Print("This fudge does not currently work with DirectPlay.");
        return;
    }
    // Speed changes pass the hand-over, as every other one does.
    GameState::Hold hold;
    Timer& game = Server::ClientClock();
    Timer& server = Server::ServerClock();
    game.SetSpeed(0.0f);
    server.SetSpeed(0.0f);
    game.SetTicks(server.Now64());
    game.SetSpeed(1.0f);
    server.SetSpeed(1.0f);
}

void Version()
{
    const std::string text = std::string(TextConsole::Text(7033)) + "00.02.03.0119 Built on Aug 22 2000";
    TextConsole::Print(text.c_str());
}

void Date()
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    static const uint32_t kMonths[12] = {7020, 7021, 7022, 7023, 7024, 7025, 7026, 7028, 7027, 7029, 7030, 7031};
    const std::string text = std::string(TextConsole::Text(7019)) + std::to_string(local.tm_mday) +
                             TextConsole::Text(kMonths[local.tm_mon]);
    TextConsole::Print(text.c_str());
}

void TimeOfDay()
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char clock[16];
    std::strftime(clock, sizeof clock, "%H:%M:%S", &local);
    TextConsole::Print((std::string(TextConsole::Text(7038)) + clock).c_str());
}

void Assert()
{
    // Stops in an attached debugger; without one a trap would end the game.
    if (UnderTracer())
        std::raise(SIGTRAP);
    else
        TextConsole::Print("ASSERT: no debugger attached.");
}

void LeaveGame()
{
    if (!IsInGameState(CurrentAppState())) {
        TextConsole::Print(TextConsole::Text(6056));
        return;
    }
    EndSession();
    LevelStateBlock::Live().levelPhase = 1; // the game was left
    if (ConsoleHooks::showTitle)
        ConsoleHooks::showTitle();
}

void AddMission() { NotBuilt(); }

void StatusWindow()
{
    if (ConsoleHooks::statusWindow)
        ConsoleHooks::statusWindow();
    else
        NotBuilt();
}

void NotBuilt()
{
    TextConsole::SetLine("");
    const std::string text = CurrentCommandName() + ": this command is not built yet.";
    TextConsole::Print(text.c_str());
}

} // namespace DeveloperCommands
