#include "session/level_session.h"
#include "session/client.h"
#include "session/client_apply.h"

#include "Veapi/object_preview.h"
#include "Veapi/particles.h"
#include "Veapi/render_queue.h"
#include "Veapi/texture_manager.h"
#include "Veapi/ve3d.h"
#include "app/app_state.h"
#include "app/app_time.h"
#include "app/clock.h"
#include "app/display_mode.h"
#include "app/directories.h"
#include "objects/ai.h"
#include "objects/level_triggers.h"
#include "objects/object_registry.h"
#include "objects/role_table.h"
#include "objects/shape_cache.h"
#include "objects/server_link.h"
#include "objects/teams.h"
#include "objects/world_object.h"
#include "media/cd_player.h"
#include "media/cutscene.h"
#include "media/music_player.h"
#include "media/sound_system.h"
#include "platform/data_path.h"
#include "script/records.h"
#include "session/doors.h"
#include "session/game_state.h"
#include "session/item_snapshot.h"
#include "session/level_start.h"
#include "session/network.h"
#include "session/saved_game.h"
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
std::string g_loadingHint;
float g_loadingProgress = 0;
uint32_t g_hintIndex = 0;
bool g_previewSuspended = false;  // by this load, until it ends either way
float g_levelStartTime = 0;
uint64_t g_levelStartRealTime = 0;

constexpr int32_t kFogCells = 256;
constexpr uint32_t kFirstHint = 1001;
constexpr uint32_t kSinglePlaySides = 3;
constexpr int32_t kSinglePlayOwnSide = 1;
// The level's sound banks: loaded while the definitions build (their sounds
// stay as level sounds), released by name after.
constexpr const char* kLevelBanks[] = {"robots.dat", "specials.dat", "environ.dat"};
// The sound system's level value: whether a level is loaded.
constexpr int32_t kSoundLevelLoaded = 1, kSoundNoLevel = 0;
// The clock's rate is measured again over at least 14 s (70 ms units).
constexpr int kLevelCalibration = 200;

void ReleaseUnusedTextures()
{
    while (TextureManager::ReleaseUnused()) {
    }
}

void Call(const std::function<void()>& hook)
{
    if (hook)
        hook();
}

// The next hint of the string table; back to the first past the last.
void NextHint()
{
    g_loadingHint.clear();
    if (!g_hooks.text)
        return;
    for (int tries = 0; tries < 2 && g_loadingHint.empty(); ++tries) {
        g_loadingHint = g_hooks.text(kFirstHint + g_hintIndex);
        if (g_loadingHint.empty())
            g_hintIndex = 0;
        else
            ++g_hintIndex;
    }
}

void SuspendPreview(bool suspend)
{
    if (suspend == g_previewSuspended)
        return;
    g_previewSuspended = suspend;
    if (suspend)
        ObjectPreview::Suspend();
    else
        ObjectPreview::Resume();
}

void LoadingImage(bool open)
{
    if (g_hooks.loadingImage)
        g_hooks.loadingImage(open);
}

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
// load that failed half-way. What the client, the interface and the effects
// hold of the level goes before the objects and shapes they point into.
void ReleaseLevel()
{
    if (CdPlayer* cd = CdPlayer::Global())
        cd->Stop();
    ObjectTrackers::Clear();
    // A pausing screen parks the server; it must run on to end the level.
    Call(g_hooks.releasePause);
    if (Server::IsRunning())
        Server::EndLevel();
    WorldObjectTable::DestroyAll();
    FogOfWar::DestroyGlobal();
    RenderQueue::Clear();
    Call(g_hooks.interfaceStopped);
    AiPlayerSlots::Clear();
    Call(g_hooks.effectsStopped);
    Particles::Reset();
    {
        GameState::Hold hold;
        // The server's release hook empties these too; without a server
        // thread nothing else would.
        LevelTriggers::Clear();
        RemoteDeviceTable::Clear();
        ObjectRegistry::Global().ReleaseAll();
        SideLists::Global().Clear();
        Server::ResetObjectTables();
        if (Level* level = Level::Current())
            level->Lights().Clear();
        delete Level::Current();
        Level::Current() = nullptr;
    }
    OnLevelStop();
    RoleTable::Global().Clear();
    Doors::Clear();
    script::RecordTables::Global().Clear();
    script::RecordTables::Global().SetServices(nullptr);
    trevok::CutScene::ClearAll();
    if (SoundSystem* sound = SoundSystem::Global()) {
        EnvironmentalSounds::Clear(sound);
        sound->FreeLevelSounds();
        sound->SetLevelValue(kSoundNoLevel);
    }
    ReleaseUnusedTextures();
    Call(g_hooks.levelStopped);
}

bool Fail(std::string error)
{
    g_lastError = std::move(error);
    Print(g_lastError);
    LoadingImage(false);
    SuspendPreview(false);
    if (SoundSystem* sound = SoundSystem::Global())
        for (const char* bank : kLevelBanks)
            sound->UnloadSoundBank(bank);
    ReleaseLevel();
    g_levelLoaded = false;
    return false;
}

// The sides no player holds think in the AI pass. Alone, no level-start
// message builds the sides: each level starts with the player's side 1
// against the level's side 2, and the neutral side 0.
void GiveAiTheirSides()
{
    GameState::Hold hold;
    if (!Network::IsActive())
        TeamTable::Build(kSinglePlaySides, kSinglePlayOwnSide, 0);
    AiPlayerSlots::Clear();
    for (uint32_t side = 0; side < TeamTable::Count(); ++side) {
        const TeamRecord* team = TeamTable::Find(int32_t(side));
        if (team->inPlay && !team->squadSide && !team->neutral)
            AiPlayerSlots::Add(int32_t(side));
    }
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
float& LevelStartTime() { return g_levelStartTime; }
uint64_t LevelStartRealTime() { return g_levelStartRealTime; }
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
const std::string& Hint() { return g_loadingHint; }

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
    // The music keeps up while the level loads on the game thread.
    MusicPlayer::RaisePriority(MusicPlayer::Global());
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
    Call(g_hooks.resumePaused);
    const bool stopped = StopLevel();
    // Even with no level, a parked server must not be stopped under a hold.
    Call(g_hooks.releasePause);
    // A networked game's connection ends with it: left open, the next game
    // played alone would still count as networked.
    if (Network::IsActive())
        Network::Shutdown();
    if (Server::IsRunning())
        Server::Stop();
    Client::Stop();
    if (g_hooks.removeCommands)
        g_hooks.removeCommands();
    g_sessionStarted = false;
    EndOfGameRequest = 0;
    return stopped;
}

namespace {

// The level's files and everything the definitions make; false through Fail.
bool BuildLevel(bool runCompanion, std::filesystem::path& script)
{
    LoadingScreen::Show(Session::kTextLevel);
    const app::DataDirectories& directories = app::DataDirectories::Global();
    if (g_dataRoot.empty())
        g_dataRoot = directories.StartDirectory();
    const char* scripts = directories.Path(app::kScriptsDirectory);
    const std::filesystem::path scriptsRoot = g_dataRoot / (scripts ? scripts : "");
    // Names may come from another machine: found only inside the scripts folder.
    const auto scriptFile = platform::ResolveDataPath(scriptsRoot, g_names.script);
    script = scriptFile ? *scriptFile : scriptsRoot / g_names.script;
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
        WorldObjectTable::ResetIds();
        RemoteDeviceTable::Clear();
        auto services = std::make_unique<Server::ServerLevelServices>();
        // Every machine builds the level's objects from the map: the server's
        // where it runs here, the replicas where the client does.
        services->clientRunning = Client::IsRunning();
        services->serverRunning = Server::IsRunning();
        // A saved game brings back the map's objects itself.
        services->restoringSavedGame = LevelStateBlock::Live().levelPhase == LevelStateBlock::kPhaseLoading;
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
    // The definitions hold what they took of the model files.
    ChunkFileCache::FreeAll();
    // The level glows white until its companion sets an ambient colour.
    Level::Current()->Lights().SetEmissive(Colour{});
    if (g_hooks.setVariable)
        for (const auto& [name, value] : built->variables)
            g_hooks.setVariable(name, value);
    if (g_hooks.cameraLimits)
        g_hooks.cameraLimits(built->camera);
    if (SoundSystem* sound = SoundSystem::Global())
        EnvironmentalSounds::Restart(*sound);
    return true;
}

} // namespace

bool LoadLevel(bool runCompanion)
{
    if (g_levelLoaded)
        StopLevel();
    g_lastError.clear();
    NextHint();
    LoadingImage(true);
    Display::ClearAllBuffers();
    SuspendPreview(true);
    // A triple-buffered display keeps them.
    if (!(Display::Flags() & kModeTripleBuffer))
        ReleaseUnusedTextures();

    LoadingScreen::Show(Session::kTextPreparing);
    ObjectTrackers::Clear();
    Call(g_hooks.interfaceLoading);
    LoadingScreen::SetProgress(50);
    GiveAiTheirSides();

    LoadingScreen::Show(Session::kTextSounds);
    SoundSystem* sound = SoundSystem::Global();
    if (sound)
        sound->SetLevelValue(kSoundLevelLoaded);
    int percent = 0;
    for (const char* bank : kLevelBanks) {
        if (sound)
            sound->LoadSoundBank(bank);
        LoadingScreen::SetProgress(percent += 33);
    }

    FogOfWar::CreateGlobal(kFogCells);

    std::filesystem::path script;
    if (!BuildLevel(runCompanion, script))
        return false;

    // The shadows' cache lies beside the script; built only where the
    // shadow mode draws the level's own shadows.
    if (g_hooks.levelScript && g_hooks.levelScript(script) && g_hooks.buildStaticShadows) {
        LoadingScreen::Show(Session::kTextShadows);
        g_hooks.buildStaticShadows();
    }

    LoadingScreen::Show(Session::kTextTextures);
    LoadingImage(false);
    TextureManager::LoadPending([](float done) { LoadingScreen::SetProgress(int(done * 100.0f)); });
    LoadingScreen::SetProgress(100);

    // The level's draw maps its shape onto the fog once it has the area.
    if (FogOfWar* fog = FogOfWar::Global()) {
        const Level* level = Level::Current();
        fog->SetWorldArea(level->minimum_.x, level->minimum_.z, level->maximum_.x, level->maximum_.z);
    }
    if (sound)
        for (const char* bank : kLevelBanks)
            sound->UnloadSoundBank(bank);
    // The load itself spans the measurement; a load soon after start-up
    // keeps the rate it has rather than waiting for the span.
    Clock::CalibrateGlobalIfDue(kLevelCalibration);
    g_levelStartTime = 0;

    if (!Handshake())
        return Fail(script.string() + ": the level start with the other players failed");
    if (Server::IsRunning())
        Server::BeginLevel();
    Call(g_hooks.cameraStarted);

    g_levelStartRealTime = RealTime.Now64();
    Call(g_hooks.effectsStarted);
    SuspendPreview(false);
    if (runCompanion && g_hooks.runQueued)
        g_hooks.runQueued();
    Server::SetDefeatNoticed(false);
    TeamFlags::Setup(ServerLink::Get().Now());
    if (Network::IsActive()) {
        Server::SetDefeatNoticed(true);  // no defeat check in multiplayer
        if (!Client::IsRunning())
            Print(g_hooks.text ? g_hooks.text(Session::kTextNoClient) : std::string());
    }

    if (sound) {
        sound->UpdateListener();
        // The companion's environmental sounds start from the listener's place.
        EnvironmentalSounds::Restart(*sound);
    }
    // A saved game being restored brings its own squad's items.
    if (LevelStateBlock::Live().levelPhase != LevelStateBlock::kPhaseLoading) {
        GameState::Hold hold;
        InventorySnapshot::Global().Restore();
    }
    AlertTable::Clear();
    // The music player is kept: the in-game music switch only starts a track
    // after a battle, so a player freed here would leave the level silent.
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
