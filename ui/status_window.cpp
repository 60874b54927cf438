#include "ui/status_window.h"

#include "console/console.h"
#include "console/console_draw.h"
#include "console/readers.h"
#include "console/text_console.h"
#include "objects/game_object.h"
#include "objects/object_registry.h"
#include "objects/world_object.h"
#include "script/records.h"
#include "session/game_state.h"
#include "session/server_thread.h"
#include "ui/client_objects.h"
#include "ui/hud_view.h"
#include "ui/ui_placeholders.h"
#include "Veapi/light_set.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <strings.h>

namespace {

struct LightColour {
    float r, g, b, a;
};
constexpr std::array<LightColour, InterfaceLights::kCount> kLightColours = {{
    {1, 1, 1, 0.6f},
    {0, 0.9f, 0, 0.8f},
    {0, 0.5f, 0, 0.5f},
    {0.1f, 0.1f, 0.9f, 0.25f},
    {0.1f, 0.9f, 0.1f, 0.25f},
    {0.9f, 0.1f, 0.1f, 0.25f},
}};

std::array<LightSet*, InterfaceLights::kCount> g_lights{};
StatusWindow::Mode g_mode = StatusWindow::kOff;
uint32_t g_watched = 0;
// The server object of the id, read while the server thread is parked. A
// decision time of 0 or "never" is none. Role names live in the role
// table, not in the object, so they stay readable after the hand-over.
bool ReadLiveServer(uint32_t id, StatusWindow::ServerReadout& out)
{
    if (!Server::IsRunning())
        return false;
    GameState::Hold hold;
    const GameObject* object = ObjectRegistry::Global().Find(id);
    if (!object)
        return false;
    out = {};
    out.alive = object->IsAlive();
    out.attacking = object->IsAttacking();
    if (const GameObject* target = object->GetTarget())
        if (const script::Role* role = target->GetRole(); role && !role->identifier.empty())
            out.targetRole = role->identifier.c_str();
    out.aiState = object->aiState_;
    out.fleeing = object->fleeing_;
    out.moving = object->IsMoving();
    const uint64_t decision = object->nextThink_;
    out.hasDecisionTime = decision != 0 && decision < uint64_t(INT64_MAX);
    if (out.hasDecisionTime)
        out.ticksToDecision = int64_t(decision) - int64_t(GameClock::Now());
    return true;
}

StatusWindow::ServerProbe g_probe = ReadLiveServer;

// A word matches a text only when the text exists: a missing string never
// stands for a mode.
bool Matches(const std::string& word, uint32_t id)
{
    const char* text = TextConsole::Text(id);
    return text && text[0] && strcasecmp(word.c_str(), text) == 0;
}

uint32_t ModeText(StatusWindow::Mode mode)
{
    return mode == StatusWindow::kWatch ? 7040 : mode == StatusWindow::kGeneral ? 7041 : 7008;
}

std::string Str(uint32_t id) { return TextConsole::Text(id); }

} // namespace

namespace InterfaceLights {
LightSet* Get(Which which) { return which >= 0 && which < kCount ? g_lights[size_t(which)] : nullptr; }
} // namespace InterfaceLights

namespace StatusWindow {

void SetServerProbe(ServerProbe probe) { g_probe = probe ? std::move(probe) : ReadLiveServer; }

void Setup()
{
    ConsoleHooks::statusWindow = Command;
    for (size_t i = 0; i < g_lights.size(); ++i) {
        if (!g_lights[i])
            g_lights[i] = new LightSet;
        Colour c;
        c.Set(kLightColours[i].r, kLightColours[i].g, kLightColours[i].b, kLightColours[i].a);
        g_lights[i]->SetEmissive(c);
    }
}

void Release()
{
    ConsoleHooks::statusWindow = nullptr;
    for (LightSet*& set : g_lights) {
        if (set)
            set->Release();
        set = nullptr;
    }
}

Mode CurrentMode() { return g_mode; }
void SetMode(Mode mode)
{
    g_mode = mode;
    StatusWindowFlag = mode != kOff;
}
void SetWatched(uint32_t id) { g_watched = id; }

void Command()
{
    const std::string word = TextConsole::ReadWord();
    if (Matches(word, 7008)) {
        SetMode(kOff);
        TextConsole::Print("Status window turned off.");
    } else if (Matches(word, 7040)) {
        SetMode(kWatch);
        TextConsole::Print("Status window set to WATCH mode.");
    } else if (Matches(word, 7041)) {
        SetMode(kGeneral);
        TextConsole::Print("Status window set to GENERAL mode.");
    } else {
        TextConsole::Print(("Status window mode is currently " + Str(ModeText(g_mode))).c_str());
    }
}

namespace {

void GeneralLines(std::vector<Hud::Line>& out, int64_t lastFrameTicks)
{
    const float x = kOriginX, y = kOriginY;
    HudView& view = HudView::Current();
    const uint32_t colour = Hud::kWhite;
    out.push_back({Str(7042), x, y, colour});
    out.push_back({"-", x + 0.01f, y + 0.03f, colour});
    out.push_back({"-", x + 0.23f, y + 0.03f, colour});
    out.push_back({"-", x + 0.43f, y + 0.03f, colour});
    out.push_back({Str(7043), x, y + 0.09f, colour});
    const int64_t rate = lastFrameTicks > 0 ? std::max<int64_t>(1, view.TicksPerSecond() / lastFrameTicks) : 1;
    out.push_back({std::to_string(rate), x + 0.41f, y + 0.09f, colour});
    const auto selected = view.Selected();
    if (selected.size() == 1 && selected[0]) {
        const WorldObject& unit = *selected[0];
        const char* role = ClientObjects::RoleName(unit);
        out.push_back({Str(7045) + (role ? role : Str(7048)), x, y + 0.15f, colour});
        out.push_back({Str(7046), x, y + 0.18f, colour});
        out.push_back({std::to_string(unit.Side()), x + 0.09f, y + 0.18f, colour});
        out.push_back({Str(7047), x + 0.2f, y + 0.18f, colour});
        out.push_back({std::to_string(unit.GetId()), x + 0.33f, y + 0.18f, colour});
    }
}

std::string StateLine(const ServerReadout& s)
{
    if (!s.alive)
        return "Dead";
    if (s.attacking)
        return s.targetRole ? std::string("Attacking ") + s.targetRole : std::string("Attacking ");
    switch (s.aiState) {
    case 8:
        return "Pathfinding";
    case 4:
        return "Aggravated";
    case 6:
        return "Heading For";
    default:
        return s.fleeing ? "Fleeing" : s.moving ? "Walking" : "Standing around aimlessly";
    }
}

void WatchLines(std::vector<Hud::Line>& out)
{
    const float x = kOriginX, y = kOriginY;
    const uint32_t colour = Hud::kWhite;
    WorldObject* watched = nullptr;
    for (WorldObject* object : HudView::Current().Objects())
        if (object && object->GetId() == g_watched)
            watched = object;
    if (!watched || !watched->GetRole())
        return;
    const char* role = ClientObjects::RoleName(*watched);
    out.push_back({Str(7044) + (role ? role : Str(7035)), x, y, colour});
    out.push_back({ClientObjects::IsCharacter(*watched) ? (ClientObjects::HasWeapon(*watched) ? "Armed" : "Unarmed")
                                                        : "No character",
                   x, y + 0.03f, colour});
    out.push_back({"Position", x, y + 0.06f, colour});
    const Vec3 p = watched->Position();
    out.push_back({FormatFloat(p.x), x + 0.01f, y + 0.09f, colour});
    out.push_back({FormatFloat(p.y), x + 0.14f, y + 0.09f, colour});
    out.push_back({FormatFloat(p.z), x + 0.27f, y + 0.09f, colour});
    if (const WorldObject* target = watched->GetTarget()) {
        const Vec3 t = target->Position();
        const float dx = t.x - p.x, dy = t.y - p.y, dz = t.z - p.z;
        out.push_back({"Distance squared from target", x, y + 0.15f, colour});
        out.push_back({FormatFloat(dx * dx + dy * dy + dz * dz), x + 0.41f, y + 0.15f, colour});
    }
    ServerReadout server;
    if (g_probe && g_probe(g_watched, server)) {
        if (server.hasDecisionTime) {
            out.push_back({"Time until next decision", x, y + 0.18f, colour});
            out.push_back({std::to_string(server.ticksToDecision), x + 0.41f, y + 0.18f, colour});
        }
        out.push_back({StateLine(server), x, y + 0.12f, colour});
    }
}

} // namespace

std::vector<Hud::Line> BuildLines(int64_t lastFrameTicks)
{
    std::vector<Hud::Line> lines;
    if (g_mode == kGeneral)
        GeneralLines(lines, lastFrameTicks);
    else if (g_mode == kWatch)
        WatchLines(lines);
    return lines;
}

void Draw()
{
    for (const Hud::Line& line : BuildLines(HudView::Current().LastFrameTicks()))
        Text::DrawSmall(line.text, line.x, line.y, line.colour);
}

} // namespace StatusWindow
