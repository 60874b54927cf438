#include "app/shell/application.h"

#include "app/app_state.h"
#include "app/app_time.h"
#include "app/shell/input.h"
#include "app/shell/render_placeholders.h"
#include "app/shell/screen.h"
#include "app/shell/startup_options.h"
#include "app/shell/trace.h"
#include "app/shell/window_proc.h"
#include "app/directories.h"
#include "app/display_mode.h"
#include "app/fatal.h"
#include "app/log_file.h"
#include "app/processor.h"
#include "app/string_table.h"
#include "console/console.h"
#include "console/console_draw.h"
#include "console/saved_console.h"
#include "effects/effect_commands.h"
#include "effects/effect_list.h"
#include "effects/saved_fences.h"
#include "effects/saved_lighting.h"
#include "effects/saved_shadows.h"
#include "effects/shadows.h"
#include "media/media_placeholders.h"
#include "objects/objects_placeholders.h"
#include "objects/role_changes.h"
#include "objects/role_table.h"
#include "objects/shape_cache.h"
#include "platform/data_path.h"
#include "platform/input.h"
#include "platform/message_box.h"
#include "platform/resources.h"
#include "platform/single_instance.h"
#include "platform/window.h"
#include "script/directory_list.h"
#include "session/game_state.h"
#include "session/saved_game.h"
#include "session/server_thread.h"
#include "session/session_placeholders.h"
#include "ui/camera_commands.h"
#include "ui/script_commands.h"
#include "ui/saved_camera.h"
#include "ui/camera_track.h"
#include "ui/particle_tester.h"
#include "ui/game_view.h"
#include "ui/hud_view.h"
#include "ui/key_config.h"
#include "ui/menu_items.h"
#include "ui/ui_placeholders.h"
#include "world/fog_of_war.h"
#include "world/level.h"

#include <climits>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <memory>
#include <string_view>
#include <system_error>

namespace Application {
namespace {

// What the interface reads of the shell: the pause key, the modifier word
// and the display mode. The client objects and the selection come with the
// client when it runs.
struct ShellView : HudView {
    bool IsPaused() override { return Game::IsPaused(); }
    uint32_t Modifiers() override { return Input::ModifierWord(); }
    float ScreenWidth() override { return float(App::CurrentMode().width); }
    float ScreenHeight() override { return float(App::CurrentMode().height); }
    void PointerMotion(float& dx, float& dy) override { Input::TakePointerMotion(dx, dy); }
};
ShellView g_shellView;

// Held until the process ends: the lock is the instance's claim.
platform::SingleInstance g_instance;
std::unique_ptr<platform::Window> g_window;
bool g_active = false;
std::string g_commandLine;
std::filesystem::path g_dataRoot;
std::vector<std::string> g_texts;
bool g_multiByte = false;
ProcessorRecord g_processor;

const char* StateName(AppState s)
{
    static const char* const kNames[] = {"none", "title", "splash", "please-train", "logo", "playing",
                                         "recording", "playback", "main-menu", "high-scores", "video",
                                         "briefing", "level-started"};
    const auto i = static_cast<uint32_t>(s);
    return i < 13 ? kNames[i] : "unknown";
}

void TraceState(AppState from, AppState to)
{
    Trace("state %u (%s) -> %u (%s)", static_cast<unsigned>(from), StateName(from), static_cast<unsigned>(to),
          StateName(to));
}

// The shell's exit handlers, run in reverse order of registration. Each gets
// its own entry in the run-time's list at the moment it is added, so it still
// runs before the destructors of everything made up to then.
std::vector<void (*)()>& ExitHandlers()
{
    static std::vector<void (*)()> handlers;
    return handlers;
}

void RunLastExitHandler()
{
    auto& handlers = ExitHandlers();
    if (handlers.empty())
        return;
    void (*handler)() = handlers.back();
    handlers.pop_back();
    handler();
}

void CloseWindow()
{
    Trace("exit: window");
    g_window.reset();
    platform::CloseWindowSystem();
}

// The switches; the data root is the folder after "-w", else the one the
// program started in. The process's working folder is left alone.
StartupOptions ReadSwitches(const std::vector<std::string>& args)
{
    StartupOptions options = ParseStartupOptions(args);
    App::ResetDisplayMode();
    if (options.referenceDevice)
        App::CurrentMode().flags |= kModeReference;
    std::error_code ec;
    g_dataRoot = std::filesystem::current_path(ec);
    if (options.workingDirectory) {
        const std::filesystem::path asked(*options.workingDirectory);
        if (!asked.empty() && std::filesystem::is_directory(asked, ec))
            g_dataRoot = std::filesystem::absolute(asked, ec).lexically_normal();
        else
            std::fprintf(stderr, "trevok: no folder \"%s\" to take the data from; using the current one\n",
                         asked.c_str());
    }
    std::string root = g_dataRoot.string();
    if (root.size() > 1 && root.back() == '/')
        root.pop_back();
    g_dataRoot = root;
    LogFile::SetFolder(root);
    g_commandLine = options.commandLine;
    Trace("start directory: %s", root.c_str());
    return options;
}

bool ClaimSingleInstance()
{
    switch (g_instance.Acquire(kInstanceName)) {
    case platform::SingleInstance::Result::AlreadyRunning:
        platform::ShowMessageBox(kAlreadyRunning, "Trevok", platform::MessageBoxButtons::Ok,
                                 platform::MessageBoxIcon::Error);
        return false;
    case platform::SingleInstance::Result::Unavailable:
        std::fprintf(stderr, "trevok: no lock file for the single-instance check; going on\n");
        break;
    case platform::SingleInstance::Result::Acquired:
        break;
    }
    Trace("single instance: claimed");
    return true;
}

bool LoadStrings()
{
    std::string error;
    std::optional<platform::ResourceLibrary> library;
    if (auto path = platform::ResolveDataPath(g_dataRoot, kResourceLibrary))
        library = platform::ResourceLibrary::Open(*path, &error);
    else
        error = std::string(kResourceLibrary) + ": not found in " + g_dataRoot.string();
    if (!library) {
        platform::ShowMessageBox(kResourceMissing, "", platform::MessageBoxButtons::Ok);
        std::fprintf(stderr, "%s\n", error.c_str());
        LogFile::WriteLine(error.c_str());
        return false;
    }
    const int count = StringTable::Global().Load(*library, StringTable::kFirstId, StringTable::kLastId);
    Trace("string table: %d texts", count);
    return true;
}

// The processor record, the directory list and the string table. False when
// the resource library is missing.
bool ReadDataDirectories()
{
    IdentifyCpu(g_processor);
    Trace("processor: %s", g_processor.name.c_str());
    // A missing list leaves the directories unset (the compiler says why).
    // The compiler's messages reach standard error and the log file.
    const bool listed = script::LoadDataDirectories(g_dataRoot);
    Trace("directory list: %s", listed ? "read" : "not read");
    // Texts of the data are bytes of the system's code page.
    g_multiByte = MB_CUR_MAX >= 2;
    Trace("code page: %s", g_multiByte ? "multi-byte" : "single-byte");
    return LoadStrings();
}

// The window question, the key bindings and key file, and the window.
uint32_t CreateMainWindow(const StartupOptions& options, DeviceSettings& keyFileSettings)
{
    DisplayModeSettings& mode = App::CurrentMode();
    Trace("window class: \"%s\", icon %d", StringTable::Global().Find(StringTable::kWindowClass), kProgramIconId);
    // "-s" asks for a window; without a display the answer is No.
    if (options.askWindow) {
        const auto answer = platform::ShowMessageBox(
            "Run in a window? This may not work on some cards! \n(Default is full screen.)",
            "Development only mode requester.00.02.03.0119 Built on Aug 22 2000",
            platform::MessageBoxButtons::YesNo, platform::MessageBoxIcon::Question, false);
        if (answer == platform::MessageBoxAnswer::Yes)
            mode.flags |= kModeWindowed;
    }
    Trace("window question: %s", options.askWindow ? "asked" : "not asked");
    KeyBindings::Init();
    mode.width = 640;
    mode.height = 480;
    keyFileSettings = kDefaultDeviceSettings;
    const uint32_t keyFileDevice = KeyConfig::Read(keyFileSettings);
    Trace("key file: device %08x", keyFileDevice);

    platform::InstallCloseSignals();
    platform::WindowDesc desc;
    desc.title = StringTable::Global().Find(StringTable::kWindowTitle);
    desc.fullScreen = (mode.flags & kModeWindowed) == 0;
    desc.width = mode.width;
    desc.height = mode.height;
    desc.openGl = true;
    g_window = platform::Window::Create(desc, WindowProc);
    const std::vector<uint32_t> icon = ProgramIcon();
    g_window->SetIcon(icon.data(), kProgramIconSize, kProgramIconSize);
    AddExitHandler(CloseWindow);
    Trace("window: %s \"%s\" class \"%s\"%s", desc.fullScreen ? "full screen" : "framed", desc.title.c_str(),
          StringTable::Global().Find(StringTable::kWindowClass), g_window->IsHeadless() ? " (headless)" : "");
    return keyFileDevice;
}

// The display device, and the mode the key file asks for when it was written
// for this device.
void StartDisplay(uint32_t keyFileDevice, const DeviceSettings& keyFileSettings)
{
    const bool started = RenderPlaceholders::DisplayStartup(g_window.get(), AddExitHandler);
    Trace("display: %s", started ? "started" : "none");
    if (!started)
        platform::ShowMessageBox(
            "Trevok is not currently configured \nto work on this video card. \nNVIDIA GEFORCE recommended.",
            "TREVOK", platform::MessageBoxButtons::Ok, platform::MessageBoxIcon::Information);
    const StartMode chosen =
        ChooseStartMode(keyFileDevice, RenderPlaceholders::DisplayDevice(), keyFileSettings, App::CurrentMode());
    App::CurrentMode() = chosen.mode;
    App::PreferredVariant() = chosen.settings[kSettingPreferredVariant] != 0;
    App::DeviceRetries() = static_cast<int>(chosen.settings[kSettingDeviceRetries]);
    // The key file is written back with what the game now runs on.
    KeyConfig::DeviceInUse() = RenderPlaceholders::DisplayDevice();
    KeyConfig::DisplaySettingsInUse() = chosen.settings;
    Trace("display mode: %dx%dx%d from the %s", chosen.mode.width, chosen.mode.height, chosen.mode.depth,
          chosen.fromKeyFile ? "key file" : "defaults");
}

// What a mode change asks of the subsystems built on the display.
void InstallModeChangeHooks()
{
    DisplayModeHooks& h = App::ModeHooks();
    h.releaseAnimatedTextures = [] { AnimatedTextures::ReleaseAll(); };
    h.restoreAnimatedTextures = [] { AnimatedTextures::RestoreAll(); };
    h.restoreFogOfWar = [] { FogOfWar::Restore(FogOfWar::Global()); };
    h.resetParticles = [] { RenderPlaceholders::ParticlesReset(); };
    h.resizeWindow = [](int width, int height) { return g_window && g_window->SetClientSize(width, height); };
}

void RunShutdown() { Shutdown(); }
void RunPostClose() { PostClose(); }

// Everything from the display mode to the default lighting, in the order the
// later steps rely on.
// The console with its fonts; without them it still runs every command and
// only its drawing is missing, which the log says.
void StartConsole()
{
    EffectCommands::Install();
    CameraCommands::Install();
    ScriptCommands::Install();
    TextConsole::SetPrintObserver([](const char* text) { Trace("console: %s", text); });
    CameraCommands::togglePause = Game::TogglePause;
    HudView::Install(&g_shellView);
    StatusWindow::Setup();
    auto& dirs = app::DataDirectories::Global();
    const auto fonts = dirs.Folder(app::kFontsDirectory), graphics = dirs.Folder(app::kGraphicsDirectory);
    if (!fonts || !graphics) {
        TextConsole::Create();
        Trace("console fonts: not loaded: the fonts or graphics directory is missing");
        return;
    }
    std::string error;
    if (TextConsole::Init(*fonts, *graphics, error))
        Trace("console fonts: loaded");
    else
        Trace("console fonts: not loaded: %s", error.c_str());
}

// Role fields that change in play are changed by the game thread only while
// the server thread is parked.
bool HandOverHeld() { return !Server::IsRunning() || Server::OnServerThread() || GameState::Depth() > 0; }

// The game view's input reads the shell's modifier word and pause, and keeps
// the pointer in the window while edge scrolling is on.
void InstallGameViewHooks()
{
    GameView::Hooks& hooks = GameView::GetHooks();
    hooks.modifiers = [] { return Input::ModifierWord(); };
    hooks.isPaused = [] { return Game::IsPaused(); };
    hooks.confinePointer = [](bool on) {
        if (g_window && !(App::CurrentMode().flags & kModeWindowed))
            g_window->SetGrab(on);
    };
    hooks.showSystemCursor = [](bool show) {
        if (g_window)
            g_window->ShowSystemCursor(show);
    };
    hooks.relativePointer = [](bool on) {
        if (g_window)
            g_window->SetRelativePointer(on);
    };
    // Each session builds the mouse map with the key file's camera-button
    // swap, as the front end may have changed it.
    GameView::InstallSessionHooks([] { return KeyConfig::CurrentOptions().mouseButtons != 0; });
    MenuScreen::InstallHooks();
    CameraTrack::Install();
    ParticleTester::Install();
}

void StartSubsystems(const StartupOptions& options)
{
    DisplayModeSettings& mode = App::CurrentMode();
    RoleTable::Install();
    RoleChanges::SetHandOverCheck(HandOverHeld);
    AddExitHandler(RunShutdown);
    Trace("exit handler: shut-down");
    InstallModeChangeHooks();
    RenderPlaceholders::SetInitialMode();
    // Each subsystem gives its part of a full saved game.
    SavedGame::InstallLevelSections();
    SavedConsole::Install();
    SavedCamera::Install();
    SavedFences::Install();
    SavedLighting::Install();
    SavedShadows::Install();

    SoundSystem::Install(std::unique_ptr<SoundSystem>(SoundSystem::Create(options.silentSound)));
    // The interface bank is looked up in the sounds folder of the data root.
    const std::string soundFile = DataFile(app::kSoundsDirectory, "UI.dat").string();
    Trace("sound: %s; %s", SoundSystem::Global()->VariantName(), soundFile.c_str());
    SoundSystem::Global()->LoadSoundFile("UI.dat");

    const int lightSets = RenderPlaceholders::CreateGlobalLightSets();
    Trace("light sets: the handed-in set and %d renderer sets", lightSets);
    HudViewports::SetUp();
    Trace("hud viewports: set up");
    MusicPlayer::Create();
    MusicPlayer::Play(MusicPlayer::Global(), "sound\\music\\track1.bik");
    Trace("music: started");
    Trace("cd: %d tracks", CdPlayer::Create()->Device().trackCount);

    int left = 0, top = 0, width = 0, height = 0;
    g_window->ClientRect(left, top, width, height);
    Screen::OnClientArea(left, top, width, height);
    if (mode.flags & kModeWindowed)
        RenderPlaceholders::OnResize(width, height);
    else
        RenderPlaceholders::OnResize(mode.width, mode.height);
    Trace("screen rectangle: %d, %d, %dx%d", left, top, width, height);
    // Registered last, so the window closes before anything is freed.
    AddExitHandler(RunPostClose);
    Trace("exit handler: close the window");

    AppTime::StartRealTime();
    Trace("clocks: real time from 0");
    GameCursor::Load();
    g_window->ShowSystemCursor(false);
    InstallGameViewHooks();
    Trace("cursor: loaded, system cursor hidden");
    Trace("graphics directory: %s", DataFolder(app::kGraphicsDirectory).c_str());
    RenderPlaceholders::ParticlesStartup();
    // The key file's shadow mode was read before any device existed; the
    // effects' start-up applies it to the device.
    ShadowMode = KeyConfig::DisplaySettingsInUse()[KeyConfig::kShadowMode];
    Effects::Startup();
    KeyConfig::CurrentOptions().shadowFlag = Shadows::LevelShadows() ? 1 : 0;
    Trace("particles and effects: started, shadow mode %u", static_cast<unsigned>(ShadowMode));
    Input::Startup(g_window.get(), false);
    Session::Hooks().cancelPressed = Input::PollCancelKey;
    Session::Hooks().resumePaused = Game::ResumeIfPaused;
    int x = 320, y = 240;
    if (!platform::GetCursorPos(x, y)) {
        x = 320;
        y = 240;
    }
    Input::ReadMouseState(x, y);
    RenderPlaceholders::SetPreviewScreenPosition(Input::CursorX(), Input::CursorY());
    Trace("input: started");
    StartConsole();
    TextConsole::SetTimedLineLimit(KeyConfig::CurrentOptions().consoleLineLimit);
    MenuReveal::SetRandomSource(SharedRandom::Next);
    FrontEnd::BuildScreens();
    Trace("console and menus: built");
    RenderPlaceholders::SetDefaultLighting();
    Trace("default lighting: emissive grey 0.75, light towards (-0.57735, -0.57735, -0.57735)");
}

} // namespace

void ShowFirstScreen(bool (*enter)())
{
    if (enter())
        return;
    Trace("first screen: falling back to 640x480x16");
    App::PreferredVariant() = false;
    App::SetDisplayMode(640, 480, 16, App::CurrentMode().flags);
    if (!enter())
        FatalExit(kExitNoFirstScreen);
}

StartMode ChooseStartMode(uint32_t keyFileDevice, uint32_t displayDevice, const DeviceSettings& keyFileSettings,
                          const DisplayModeSettings& asked)
{
    if (keyFileDevice != displayDevice)
        return {{640, 480, 16, asked.flags}, kDefaultDeviceSettings, false};
    return {asked, keyFileSettings, true};
}

void AddExitHandler(void (*handler)())
{
    ExitHandlers().push_back(handler); // the list is made before its first entry, so it outlives them
    if (std::atexit(RunLastExitHandler) != 0) {
        ExitHandlers().pop_back();
        std::fprintf(stderr, "trevok: no room for another exit handler\n");
    }
}

const std::filesystem::path& DataRoot() { return g_dataRoot; }

std::filesystem::path DataFolder(int directory)
{
    const auto folder = app::DataDirectories::Global().Folder(directory);
    return folder ? *folder : g_dataRoot;
}

std::filesystem::path DataFile(int directory, std::string_view name)
{
    if (auto found = app::DataDirectories::Global().Resolve(directory, name))
        return *found;
    return DataFolder(directory) / std::string(name);
}

std::vector<std::string>& GlobalTexts() { return g_texts; }

platform::Window* MainWindow() { return g_window.get(); }
bool IsActive() { return g_active; }
void SetActive(bool active) { g_active = active; }
const std::string& CommandLineCopy() { return g_commandLine; }
bool MultiByteCodePage() { return g_multiByte; }

int Main(const std::vector<std::string>& args)
{
    const StartupOptions options = ReadSwitches(args);
    if (!ClaimSingleInstance())
        return 0;
    AddAppStateObserver(TraceState);
    SharedRandom::Seed(static_cast<uint32_t>(std::time(nullptr)));
    if (!ReadDataDirectories())
        return 0;
    DeviceSettings keyFileSettings{};
    const uint32_t keyFileDevice = CreateMainWindow(options, keyFileSettings);
    StartDisplay(keyFileDevice, keyFileSettings);
    StartSubsystems(options);
    ShowFirstScreen(LogoScreen::Enter);
    const int code = MainLoop::Run();
    // The handlers run here, while every subsystem's state still exists; the
    // run-time's entries then find the list empty. State made after a handler
    // was added would otherwise be destroyed before it runs.
    while (!ExitHandlers().empty())
        RunLastExitHandler();
    return code;
}

void PostClose()
{
    Trace("exit: close the window");
    FrontEnd::ReleaseResources(); // its image needs the display
    if (g_window && !g_window->IsDestroyed())
        g_window->Send(platform::kWmClose);
}

void Shutdown()
{
    const AppState state = CurrentAppState();
    Trace("exit: leave state %u", static_cast<unsigned>(state));
    switch (state) {
    case AppState::Title: TitleScreen::Leave(); break;
    case AppState::Splash: SplashScreen::Leave(); break;
    case AppState::PleaseTrain: TrainingReminder::Leave(); break;
    case AppState::Logo: LogoScreen::Leave(); break;
    case AppState::MainMenu: KeyConfig::Write(); break;
    case AppState::HighScores: HiscoreScreen::Leave(); break;
    case AppState::Video: IntroVideo::Stop(); break;
    case AppState::Briefing:
        Briefing::Leave(false);
        EndSession();
        break;
    default: EndSession(); break;
    }
    Trace("exit: console and menus");
    TextConsole::Shutdown();
    InGameScreens::Shutdown();
    StatusWindow::Release();
    HudView::Install(nullptr);
    FrontEnd::Shutdown();
    Trace("exit: particles, effects, cursor and lights");
    RenderPlaceholders::ParticlesShutdown();
    Effects::Shutdown();
    GameCursor::Release();
    RenderPlaceholders::DestroyGlobalLightSets();
    Trace("exit: shapes");
    ShapeCache::FreeAll();
    Trace("exit: music, sound and CD");
    // both play on the sound system's device, so they go first
    MusicPlayer::Destroy();
    CdPlayer::Destroy();
    SoundSystem::Shutdown();
    Trace("exit: input and string table");
    Input::Shutdown();
    g_texts.clear();
    g_texts.shrink_to_fit();
    StringTable::Global().Free();
    RemoveAppStateObserver(TraceState);
}

} // namespace Application
