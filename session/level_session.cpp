#include "session/level_session.h"
#include "session/client_apply.h"

#include "Veapi/particles.h"
#include "Veapi/render_queue.h"
#include "app/app_state.h"
#include "app/app_time.h"
#include "app/directories.h"
#include "objects/ai.h"
#include "objects/level_triggers.h"
#include "objects/object_registry.h"
#include "objects/role_table.h"
#include "objects/server_link.h"
#include "objects/teams.h"
#include "platform/data_path.h"
#include "script/records.h"
#include "session/doors.h"
#include "session/game_state.h"
#include "session/level_start.h"
#include "session/server_objects.h"
#include "session/server_thread.h"
#include "session/session_placeholders.h"
#include "world/fog_of_war.h"
#include "world/level.h"
#include "world/map_build.h"

#include <algorithm>

namespace {

// Namespace scope: the shell's exit handlers end the session after every
// function-local static may be gone.
SessionHooks g_hooks;
Session::LevelNames g_names;
std::filesystem::path g_dataRoot;
std::string g_lastError;
bool g_sessionStarted = false;
bool g_levelLoaded = false;
std::string g_loadingText;
float g_loadingProgress = 0;

constexpr int32_t kFogCells = 256;

void Print(const std::string& text)
{
    if (g_hooks.print)
        g_hooks.print(text);
}

void DrawLoading()
{
    if (g_hooks.drawLoading)
        g_hooks.drawLoading(g_loadingText, g_loadingProgress);
}

// The level's objects, tables and geometry go; used by StopLevel and by a
// load that failed half-way.
void ReleaseLevel()
{
    ObjectTrackers::Clear();
    if (Server::IsRunning())
        Server::EndLevel();
    {
        GameState::Hold hold;
        // The server's release hook empties these too; without a server
        // thread nothing else would.
        LevelTriggers::Clear();
        ObjectRegistry::Global().ReleaseAll();
        SideLists::Global().Clear();
        Server::ResetObjectTables();
        delete Level::Current();
        Level::Current() = nullptr;
    }
    FogOfWar::DestroyGlobal();
    RenderQueue::Clear();
    Particles::Reset();
    OnLevelStop();
    RoleTable::Global().Clear();
    Doors::Clear();
    script::RecordTables::Global().Clear();
    script::RecordTables::Global().SetServices(nullptr);
    if (g_hooks.levelStopped)
        g_hooks.levelStopped();
}

bool Fail(std::string error)
{
    g_lastError = std::move(error);
    Print(g_lastError);
    ReleaseLevel();
    g_levelLoaded = false;
    return false;
}

bool Handshake()
{
    return Client::SendReady() && Server::WaitForPlayers() && Client::WaitForStart();
}

} // namespace

namespace Session {
void SetHooks(SessionHooks hooks) { g_hooks = std::move(hooks); }
SessionHooks& Hooks() { return g_hooks; }
LevelNames& Names() { return g_names; }
std::filesystem::path& DataRoot() { return g_dataRoot; }
bool IsStarted() { return g_sessionStarted; }
bool IsLevelLoaded() { return g_levelLoaded; }
const std::string& LastError() { return g_lastError; }
} // namespace Session

namespace LoadingScreen {

void Show(uint32_t textId)
{
    g_loadingText = g_hooks.text ? g_hooks.text(textId) : std::to_string(textId);
    g_loadingProgress = 0;
    DrawLoading();
}

void SetProgress(int percent)
{
    g_loadingProgress = std::clamp(percent, 0, 100) * 0.01f;
    DrawLoading();
}

const std::string& Text() { return g_loadingText; }
float Progress() { return g_loadingProgress; }

Bar Layout(int width, int height, float progress)
{
    progress = std::clamp(progress, 0.0f, 1.0f);
    Bar bar;
    const int margin = width * 19 / 72;
    bar.left = margin;
    bar.right = width - margin - 2;
    bar.top = static_cast<int>(static_cast<float>(height) * 0.95f);
    bar.height = height * 4 / 225 + 1;
    bar.fillRight = bar.left + static_cast<int>(static_cast<float>(width - 2 * margin - 1) * progress);
    bar.endRed = static_cast<uint8_t>(25 + static_cast<int>(210.0f * progress));
    return bar;
}

} // namespace LoadingScreen

bool StartSession(bool loadLevel)
{
    if (!g_sessionStarted) {
        if (!Network::IsActive() && !Server::IsRunning()) {
            // Hooks change only while no server thread reads them.
            Server::InstallObjectHooks();
            Client::InstallObjectServices(true, -1);
            Server::Start(nullptr);
        }
        Client::Start();
        if (g_hooks.registerCommands)
            g_hooks.registerCommands();
        g_sessionStarted = true;
    }
    AppTime::SetGameTime(0);
    SetAppState(AppState::LevelStarted);
    SessionObservers::Started();
    // No level named (the shell's demo and restart paths before the menus
    // store one): the session runs without a level, as before.
    if (!loadLevel || g_names.script.empty())
        return true;
    if (LoadLevel(true))
        return true;
    EndSession();
    return false;
}

bool EndSession()
{
    if (!g_sessionStarted)
        return true;
    SessionObservers::Ending();
    const bool stopped = StopLevel();
    if (Server::IsRunning())
        Server::Stop();
    Client::Stop();
    if (g_hooks.removeCommands)
        g_hooks.removeCommands();
    g_sessionStarted = false;
    EndOfGameRequest = 0;
    return stopped;
}

bool LoadLevel(bool runCompanion)
{
    if (g_levelLoaded)
        StopLevel();
    g_lastError.clear();
    LoadingScreen::Show(Session::kTextPreparing);
    ObjectTrackers::Clear();
    LoadingScreen::SetProgress(50);

    LoadingScreen::Show(Session::kTextSounds);
    for (int percent : {33, 66, 99})
        LoadingScreen::SetProgress(percent);

    FogOfWar::CreateGlobal(kFogCells);

    LoadingScreen::Show(Session::kTextLevel);
    const app::DataDirectories& directories = app::DataDirectories::Global();
    if (g_dataRoot.empty())
        g_dataRoot = directories.StartDirectory();
    const char* scripts = directories.Path(app::kScriptsDirectory);
    const std::filesystem::path scriptsRoot = g_dataRoot / (scripts ? scripts : "");
    // Names may come from another machine: found only inside the scripts folder.
    const auto scriptFile = platform::ResolveDataPath(scriptsRoot, g_names.script);
    const std::filesystem::path script = scriptFile ? *scriptFile : scriptsRoot / g_names.script;
    if (g_hooks.queueLine)
        g_hooks.queueLine("version");
    // A missing companion leaves the level without its script, not unloaded.
    if (runCompanion && !g_names.companion.empty() && g_hooks.queueFile) {
        const auto companion = platform::ResolveDataPath(scriptsRoot, g_names.companion);
        if (!companion || !g_hooks.queueFile(*companion))
            Print(g_names.companion + ": the level's command file could not be opened");
    }
    g_levelLoaded = true;
    if (!scriptFile)
        return Fail(script.string() + ": no such level script in the scripts folder");
    LevelServices* built = nullptr;
    {
        GameState::Hold hold;
        ObjectRegistry::Global().ResetIds();
        RoleTable::Global().ResetIds();
        auto services = std::make_unique<Server::ServerLevelServices>();
        services->clientRunning = false;  // the client's replicas come from the server's messages
        services->serverRunning = Server::IsRunning();
        LevelServices* raw = services.get();
        built = BuildLevelScript(g_dataRoot, script, std::move(services));
        if (!built) {
            std::string error = script.string() + ": the level script did not compile";
            for (const std::string& warning : raw->warnings)
                error += "\n" + warning;
            return Fail(std::move(error));
        }
    }
    if (!Level::Current())
        return Fail(script.string() + ": the level script made no level");
    if (g_hooks.cameraLimits)
        g_hooks.cameraLimits(built->camera);

    LoadingScreen::Show(Session::kTextTextures);
    LoadingScreen::SetProgress(100);

    if (!Handshake())
        return Fail(script.string() + ": the level start with the other players failed");
    if (Server::IsRunning())
        Server::BeginLevel();

    if (runCompanion && g_hooks.runQueued)
        g_hooks.runQueued();
    Server::SetDefeatNoticed(false);
    TeamFlags::Setup(ServerLink::Get().Now());
    if (Network::IsActive()) {
        Server::SetDefeatNoticed(true);  // no defeat check in multiplayer
        if (!Client::IsRunning())
            Print(g_hooks.text ? g_hooks.text(Session::kTextNoClient) : std::string());
    }
    return true;
}

bool StopLevel()
{
    if (!g_levelLoaded)
        return true;
    ReleaseLevel();
    g_levelLoaded = false;
    return true;
}
