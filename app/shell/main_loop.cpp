#include "app/shell/application.h"

#include "app/app_state.h"
#include "app/app_time.h"
#include "app/demo.h"
#include "app/display_mode.h"
#include "app/directories.h"
#include "app/main_camera.h"
#include "app/string_table.h"
#include "app/shell/input.h"
#include "app/shell/render_placeholders.h"
#include "app/shell/trace.h"
#include "console/command_file_queue.h"
#include "console/console.h"
#include "effects/ballistic_objects.h"
#include "effects/effect_list.h"
#include "effects/frame_pass.h"
#include "effects/particle_presets.h"
#include "console/developer_commands.h"
#include "console/text_console.h"
#include "media/cutscene.h"
#include "media/media_placeholders.h"
#include "media/sound_system.h"
#include "objects/objects_placeholders.h"
#include "objects/orders.h"
#include "platform/data_path.h"
#include "platform/window.h"
#include "session/server_objects.h"
#include "session/session_placeholders.h"
#include "ui/camera_controller.h"
#include "ui/ui_placeholders.h"
#include "world/fog_of_war.h"
#include "world/level.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <limits>
#include <string>
#include <thread>

namespace MainLoop {
namespace {

// The console, and a trace line when it comes to rest open for typing or
// fully in: until then typed keys miss it, and a press in its part of the
// screen closes it instead of reaching what is below. Timed lines showing
// with the console not open are neither.
enum class ConsoleRest { Neither, Open, In };
ConsoleRest g_consoleRest = ConsoleRest::In;
void DrawConsole()
{
    const float before = TextConsole::Get().slidePosition;
    TextConsole::Draw(AppTime::RealNow());
    const float after = TextConsole::Get().slidePosition;
    ConsoleRest rest = ConsoleRest::Neither;
    if (after == before)
        rest = TextConsole::IsOpen() ? ConsoleRest::Open : after <= -1.0f ? ConsoleRest::In : ConsoleRest::Neither;
    if (rest != g_consoleRest && rest != ConsoleRest::Neither)
        Trace(rest == ConsoleRest::Open ? "text console: open" : "text console: closed");
    g_consoleRest = rest;
}

constexpr int kMaxDemoFiles = 10; // "tvdemo0.dem" .. "tvdemo9.dem"
int64_t g_lastGameTime = 0;
// Frames the briefing has drawn since it began; players from outside wait
// for the first before they look at it.
uint32_t g_briefingFrames = 0;

// Demos live in the data root.
std::filesystem::path StartDirectory()
{
    const auto& root = Application::DataRoot();
    return root.empty() ? std::filesystem::path(".") : root;
}

void Prologue()
{
    RenderPlaceholders::BeginFramePrologue();
    RenderPlaceholders::FollowMainCameraFocus();
    if (SoundSystem* sound = SoundSystem::Global())
        sound->UpdateListener();
    if (VolumeFader* fader = VolumeFader::Global())
        VolumeFader::Update(fader);
}

void StartScreenFrame()
{
    Prologue();
    const AppState state = CurrentAppState();
    switch (state) {
    case AppState::Logo: LogoScreen::Draw(); break;
    case AppState::Splash: SplashScreen::Draw(); break;
    case AppState::Title: TitleScreen::Draw(); break;
    case AppState::PleaseTrain: TrainingReminder::Draw(); break;
    default: break;
    }
    if (AppTime::RealNow() > Screens::Deadline())
        Input::AdvanceStartScreen();
    EndFrame();
}

// Attract mode: a random recorded demo plays after the menu's idle time.
void AttractMode()
{
    const int count = CountDemoFiles();
    if (count == 0) {
        // Nothing to play: wait another idle period rather than searching
        // the disk every frame.
        FrontEnd::ResetIdleTimer();
        return;
    }
    const int pick = static_cast<int>(SharedRandom::Next() % static_cast<uint32_t>(count));
    const std::string name = "tvdemo" + std::to_string(pick) + ".dem";
    const auto path = platform::ResolveDataPath(StartDirectory(), name);
    if (!path || !Demo::LoadFile(path->c_str())) {
        FrontEnd::ResetIdleTimer();
        return;
    }
    // The demo leaves the menu as play does: the key file is written there.
    FrontEnd::Leave();
    StartSession(true);
    Command_Playback();
}

void MainMenuFrame()
{
    Prologue();
    DrawConsole();
    const DisplayModeSettings& mode = App::CurrentMode();
    FrontEnd::SetPointer(float(Input::CursorX()) / float(std::max(1, mode.width)),
                         float(Input::CursorY()) / float(std::max(1, mode.height)));
    FrontEnd::Frame();
    EndFrame();
    // Players from outside wait for this before their first key.
    if (FrontEnd::CurrentState().framesShown == 1)
        Trace("menu: ready");
    FrontEnd::CheckLobbyStart();
    if (CurrentAppState() == AppState::MainMenu && AppTime::RealNow() > FrontEnd::IdleDeadline())
        AttractMode();
}

void InGameFrame()
{
    Prologue();
    if (Server::IsRunning())
        RunQueuedCommandFile();
    // The console's switches, read by the server pass.
    ServerFlags::GodMode() = DeveloperFlags::godMode;
    ServerFlags::UnlimitedAmmo() = DeveloperFlags::infiniteAmmo;
    ServerFlags::Paused() = Game::IsPaused();
    // A scripted camera sequence holds the units: the server stops them and runs no AI.
    Server::SetUnitsHeld(CameraController::Get().scriptMode);
    ServerFlags::CutScenePlaying() = trevok::CutScene::Current() != nullptr;
    // The server's refusals (equip, use) are printed here, on the game thread.
    for (int32_t id : ServerOutbox::Global().TakeTexts()) {
        const char* text = id >= 0 ? StringTable::Global().Find(static_cast<uint32_t>(id)) : nullptr;
        TextConsole::Print(text ? text : std::to_string(id).c_str());
    }
    // The sounds and bursts the server's objects set off (decoys, devices).
    for (const ServerCue& cue : ServerOutbox::Global().TakeCues()) {
        if (SoundSystem* sound = SoundSystem::Global(); sound && cue.sound != 0)
            sound->Play(cue.sound, "d", {&cue.at});
        if (cue.explosion)
            ParticleEffects::SpawnExplosion(cue.at);
    }
    if (FreeCameraFlag) {
        CameraController::UpdateEdgeScroll(Input::CursorX(), Input::CursorY());
        CameraController::Update();
    } else {
        ReconView::Update();
    }
    RenderPlaceholders::PlaceMainCamera();
    const int64_t now = AppTime::GameNow();
    RenderPlaceholders::ParticlesUpdate(now - g_lastGameTime);
    g_lastGameTime = now;
    if (Client::IsRunning()) {
        Client::ReceiveServerMessages();
        if (FogOfWar* fog = FogOfWar::Global())
            FogOfWar::Update(fog);
    }
    RenderPlaceholders::BeginScene();
    PointerRecord::Current().Set(Input::CursorX(), Input::CursorY());
    PlayerInput::UpdateFrame();
    BallisticObjects::UpdateAll(now);
    bool hudDue = false;
    if (!UpgradeScreen::IsOpen() || CommandWheel::IsOpen()) {
        Effects::UpdateAndDrawAll(now);
        if (Level* level = Level::Current())
            Level::Draw(level);
        if (Client::IsRunning())
            WorldObjectTable::UpdateLights();
        InterfaceLayer::BeginFrame();
        hudDue = true;
    } else {
        InterfaceLayer::BeginFrame();
        UpgradeScreen::UpdateAndDraw();
    }
    const bool consoleDue = (WidescreenBorderFlags & 3u) != 3u;
    if (consoleDue)
        InterfaceLayer::DrawOverlays(AppTime::RealNow());
    if (hudDue)
        Hud::DrawUnitInfoAndOrders();
    MenuScreen::SetPointer(float(Input::CursorX()) / float(std::max(1, App::CurrentMode().width)),
                           float(Input::CursorY()) / float(std::max(1, App::CurrentMode().height)));
    MenuScreen::DrawAll(AppTime::RealNow());
    InterfaceLayer::Draw();
    if (consoleDue) {
        DrawConsole();
        if (StatusWindowFlag)
            StatusWindow::Draw();
    }
    EndFrame(Effects::FramePass());
    GameCursor::Update();

    const int64_t gameNow = AppTime::GameNow();
    if (gameNow > Music().nextCheck) {
        Music().nextCheck = gameNow + static_cast<int64_t>(0.5 * double(AppTime::TicksPerSecond()));
        if (!Game::MusicEnabled())
            return; // the end-of-game check waits for the next frame too
        UpdateMusic(gameNow, Game::IsBattleUnderway());
    }
    if (EndOfGameRequest == 1) {
        EndSession();
        Briefing::ScriptName() = "gameover.brf";
        Briefing::GameOver() = true;
        Briefing::Enter(true);
    } else if (EndOfGameRequest == 2) {
        EndSession();
        StartSession(true);
    }
}

} // namespace

MusicSwitch& Music()
{
    static MusicSwitch music;
    return music;
}

void UpdateMusic(int64_t gameNow, bool battle)
{
    MusicSwitch& m = Music();
    if (!MusicPlayer::Global())
        MusicPlayer::Create();
    if (battle) {
        if (!m.battleMusic)
            MusicPlayer::Play(MusicPlayer::Global(), "sound\\music\\battle01.bik");
        m.battleMusic = true;
        m.battleUnderway = true;
        return;
    }
    if (m.battleMusic && m.battleUnderway) {
        m.battleUnderway = false;
        m.battleEnd = gameNow + 5 * AppTime::TicksPerSecond();
    }
    if (gameNow > m.battleEnd) {
        MusicPlayer::Play(MusicPlayer::Global(), "sound\\music\\track1.bik");
        m.battleEnd = INT64_MAX;
        m.battleMusic = false;
    }
}

int CountDemoFiles()
{
    int count = 0;
    while (count < kMaxDemoFiles) {
        const std::string name = "tvdemo" + std::to_string(count) + ".dem";
        if (!platform::ResolveDataPath(StartDirectory(), name))
            break;
        ++count;
    }
    return count;
}

FrameRecords& FrameState()
{
    static FrameRecords records;
    return records;
}

void EndFrame(void (*overlay)())
{
    FrameRecords& frame = FrameState();
    frame.lightCount = 0;
    if (Level* level = Level::Current())
        Level::CopyGlobalLightValues(level);
    frame.rendererReference = {};
    frame.lightDistances.fill(std::numeric_limits<float>::max());
    RenderPlaceholders::EndFrame(overlay);
    if (CommandScript::IsPending())
        CommandScript::Step();
}

void Frame()
{
    if (CurrentAppState() != AppState::Briefing)
        g_briefingFrames = 0;
    switch (CurrentAppState()) {
    case AppState::Title:
    case AppState::Splash:
    case AppState::PleaseTrain:
    case AppState::Logo:
        StartScreenFrame();
        break;
    case AppState::Playing:
    case AppState::Recording:
    case AppState::Playback:
        InGameFrame();
        break;
    case AppState::MainMenu:
        MainMenuFrame();
        break;
    case AppState::HighScores:
        Prologue();
        DrawConsole();
        HiscoreScreen::Draw();
        if (AppTime::RealNow() > FrontEnd::IdleDeadline()) {
            HiscoreScreen::Leave();
            FrontEnd::Enter();
        }
        EndFrame();
        break;
    case AppState::Video:
        RenderPlaceholders::BeginFramePrologue();
        RenderPlaceholders::PlaceMainCamera();
        if (SoundSystem* sound = SoundSystem::Global())
            sound->UpdateListener();
        if (VolumeFader* fader = VolumeFader::Global())
            VolumeFader::Update(fader);
        if (!IntroVideo::Update()) {
            IntroVideo::Stop();
            TitleScreen::Enter();
        }
        EndFrame();
        break;
    case AppState::Briefing:
        Prologue();
        DrawConsole();
        Briefing::Draw();
        EndFrame();
        if (++g_briefingFrames == 1)
            Trace("briefing: shown");
        break;
    case AppState::LevelStarted:
        Trace("level: %s %s", Session::Names().script.c_str(), Session::IsLevelLoaded() ? "loaded" : "not loaded");
        SetAppState(AppState::Playing); // no frame in this pass
        break;
    default:
        break;
    }
}

bool Pass(int& exitCode)
{
    // Input: the recording, or the devices.
    if (CurrentAppState() == AppState::Playback) {
        Demo::Buffers& demo = Demo::Global();
        const float t = AppTime::GameSeconds();
        while (demo.playbackPosition < demo.count && demo.times[demo.playbackPosition] < t) {
            const InputEvent e = demo.events[demo.playbackPosition++];
            if (e.message == kMsgMouseMove) {
                Input::CursorX() = static_cast<int>(e.lparam & 0xFFFF);
                Input::CursorY() = static_cast<int>(e.lparam >> 16);
                RenderPlaceholders::SetPreviewScreenPosition(Input::CursorX(), Input::CursorY());
            }
            Input::Dispatch(e);
            if (CurrentAppState() != AppState::Playback)
                break; // the replayed input left the level
        }
        if (demo.playbackPosition >= demo.count && CurrentAppState() == AppState::Playback)
            SetAppState(AppState::Playing);
    } else {
        Input::ReadKeyboard();
        Input::ReadMouse();
    }
    // One window message, and no frame in this pass.
    if (platform::PeekMessage()) {
        platform::Message message;
        if (!platform::GetMessage(message)) {
            exitCode = static_cast<int>(static_cast<int64_t>(message.wparam));
            return false;
        }
        platform::DispatchMessage(message);
        return true;
    }
    // A held click whose time is up.
    Input::PreFilter(nullptr);
    // Inactive: rest instead of drawing (a short sleep, not a spin).
    if (!Application::IsActive()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        return true;
    }
    // The state's frame.
    Frame();
    return true;
}

int Run()
{
    int code = 0;
    while (Pass(code)) {
    }
    return code;
}

} // namespace MainLoop
