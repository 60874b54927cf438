#include "console/session_commands.h"

#include "app/clock.h"
#include "console/command_script.h"
#include "console/command_table.h"
#include "console/developer_commands.h"
#include "console/loading_screen.h"
#include "console/named_values.h"
#include "console/readers.h"
#include "console/screen_message.h"
#include "console/text_console.h"
#include "console/wait_for.h"
#include "objects/teams.h"
#include "objects/world_object.h"
#include "session/client_hooks.h"
#include "session/game_speed.h"
#include "session/level_session.h"
#include "session/server_thread.h"
#include "world/fog_of_war.h"
#include "world/level.h"

#include <cstdio>

namespace SessionCommands {
namespace {

struct SessionRow {
    const char* name;
    int level;
    const char* help;
    CommandHandler handler;
};
constexpr SessionRow kRows[] = {
    {"GAMESPEED", 3, "Sets or prints the current relative game speed (zero is 'active pause')", GameSpeed},
    {"FOG", 1, "Enables or disables fog", Fog},
    {"FOGCOLOUR", 3,
     "Sets or prints the fog colour. Takes four parameters which are red, green blue and alpha, respectively, and "
     "should be between 0.0 and 1.0",
     FogColour},
    {"FOGVALUE", 3, "Sets or prints the level of fog in the discovered areas", FogValue},
    {"FOGTRANSITION", 3,
     "Sets or prints the fog transition distance (in metres) between fully fogged and fully defogged",
     FogTransition},
    {"FOGUPDATE", 3, "Sets or prints the fog update rate (in complete updates per second)", FogUpdate},
};

// "<lead><value with two decimals>".
void PrintValue(const char* lead, float value)
{
    char text[96];
    std::snprintf(text, sizeof text, "%s%.2f", lead, static_cast<double>(value));
    TextConsole::Print(text);
}

} // namespace

void Install()
{
    SessionHooks& hooks = Session::Hooks();
    hooks.registerCommands = [] {
        for (const SessionRow& row : kRows)
            CommandTable::Global().Register(row.name, row.help, row.handler, row.level);
    };
    hooks.removeCommands = [] {
        for (const SessionRow& row : kRows)
            CommandTable::Global().Remove(row.name, row.handler);
    };
    hooks.queueLine = [](const char* line) { CommandScript::QueueLine(line); };
    hooks.queueFile = [](const std::filesystem::path& file) {
        return CommandScript::QueueFile(file, {LineSource::LevelFile, file.filename().string(), 0});
    };
    // Runs until a wait holds: a wait in the companion file never freezes the load.
    hooks.runQueued = [] { CommandScript::RunAll(); };
    hooks.levelStopped = [] {
        WaitFor::Reset();
        PlayerControlsOff = false;
        TextConsole::Reset();
    };
    hooks.print = [](const std::string& text) { TextConsole::Print(text.c_str()); };
    hooks.setVariable = [](const std::string& name, float value) { NamedValueList::Global().Set(name, value); };
    hooks.text = [](uint32_t id) { return std::string(TextConsole::Text(id)); };
    LoadingScreenView::Install();
    WorldObjectTable::RemovedHook() = WaitFor::NotifyObjectRemoved;
    // A unit's spoken text is a server text (kind 0); the game view places
    // it over the unit, and without one it stands at the screen's centre.
    ClientHooks& client = ClientHooks::Get();
    if (!client.speak) {
        client.speak = [](WorldObject&, std::string text, float width) {
            ScreenMessage::Create(0.5f, 0.5f, text, 0, width);
        };
    }
    client.controlsOff = [] { PlayerControlsOff = true; };
    client.flagNotice = [](uint32_t textId) { ScreenMessage::Create(0.5f, 0.5f, TextConsole::Text(textId), 1, 1.0f); };
    // Objectives reached, counted down or listed by key appear as screen texts.
    Objectives::SetShow([](const std::string& text, float x, float y, int kind, float width) {
        ScreenMessage::Create(x, y, text, kind, width);
    });
}

void GameSpeed()
{
    if (!Server::IsRunning())
        return;
    const float speed = TextConsole::ReadFloat(-1.0f);
    if (speed >= 0.0f) {
        GameSpeed::Set(speed);
        Server::ClientClock().SetSpeed(speed);
        PrintValue("Game speed set to ", speed);
    } else {
        PrintValue("Game speed is ", GameSpeed::Get());
    }
}

void Fog()
{
    const int on = TextConsole::ReadInt(1);
    if (Level* level = Level::Current())
        level->SetFogEnabled(on != 0);
}

void FogColour()
{
    FogOfWar* fog = FogOfWar::Global();
    if (!fog)
        return;
    const float red = TextConsole::ReadFloat(0), green = TextConsole::ReadFloat(0), blue = TextConsole::ReadFloat(0);
    Colour colour{};
    colour.Set(red, green, blue, TextConsole::ReadFloat(1.0f));
    fog->SetColour(colour);
}

void FogValue()
{
    const float value = TextConsole::ReadFloat(-1.0f);
    FogOfWar* fog = FogOfWar::Global();
    if (!fog)
        return;
    if (value >= 0.0f && value <= 1.0f)
        fog->discoveryValue_ = value;
    else
        PrintValue("Fog of discovery value is ", fog->discoveryValue_);
}

void FogTransition()
{
    const float value = TextConsole::ReadFloat(-1.0f);
    FogOfWar* fog = FogOfWar::Global();
    if (!fog)
        return;
    if (value >= 0.0f) {
        fog->transitionDistance_ = value;
        fog->transitionReciprocal_ = value > 0.0f ? 1.0f / value : 0.0f;
    } else {
        PrintValue("Fog transition distance is ", fog->transitionDistance_);
    }
}

void FogUpdate()
{
    const float value = TextConsole::ReadFloat(-1.0f);
    FogOfWar* fog = FogOfWar::Global();
    if (!fog)
        return;
    if (value > 0.0f)
        fog->updateRate_ = value;
    else
        PrintValue("Fog update rate is ", fog->updateRate_);
}

} // namespace SessionCommands
