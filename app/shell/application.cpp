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
#include "app/fatal.h"
#include "app/processor.h"
#include "app/string_table.h"
#include "console/console.h"
#include "effects/effects_placeholders.h"
#include "media/media_placeholders.h"
#include "objects/objects_placeholders.h"
#include "platform/data_path.h"
#include "platform/input.h"
#include "platform/message_box.h"
#include "platform/resources.h"
#include "platform/single_instance.h"
#include "platform/window.h"
#include "script/directory_list.h"
#include "session/session_placeholders.h"
#include "ui/ui_placeholders.h"

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <memory>
#include <system_error>

namespace Application {
namespace {

// Held until the process ends: the lock is the instance's claim.
platform::SingleInstance g_instance;
std::unique_ptr<platform::Window> g_window;
bool g_active = false;
uint32_t g_displayFlags = 0;
std::string g_commandLine;
// The device layer's ten-word settings record (its defaults).
uint32_t g_deviceSettings[10] = {0, 0, 0, 0, 1, 32, 0, 0, 1, 2};
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

void RunShutdown() { Shutdown(); }
void RunPostClose() { PostClose(); }

bool LoadStrings()
{
    std::string error;
    std::optional<platform::ResourceLibrary> library;
    if (auto path = platform::ResolveDataPath(".", kResourceLibrary))
        library = platform::ResourceLibrary::Open(*path, &error);
    else
        error = std::string(kResourceLibrary) + ": not found in " + std::filesystem::current_path().string();
    if (!library) {
        platform::ShowMessageBox(kResourceMissing, "", platform::MessageBoxButtons::Ok);
        std::fprintf(stderr, "%s\n", error.c_str());
        return false;
    }
    const int count = StringTable::Global().Load(*library, StringTable::kFirstId, StringTable::kLastId);
    Trace("string table: %d texts", count);
    return true;
}

} // namespace

platform::Window* MainWindow() { return g_window.get(); }
bool IsActive() { return g_active; }
void SetActive(bool active) { g_active = active; }
uint32_t& DisplayFlags() { return g_displayFlags; }
const std::string& CommandLineCopy() { return g_commandLine; }

int Main(const std::vector<std::string>& args)
{
    // 1. Switches; "-w" changes the folder before anything is read.
    g_displayFlags = 0;
    const StartupOptions options = ParseStartupOptions(args);
    if (options.referenceDevice)
        g_displayFlags |= Screen::kReferenceDevice;
    if (options.workingDirectory) {
        std::error_code ec;
        std::filesystem::current_path(*options.workingDirectory, ec);
        if (ec)
            std::fprintf(stderr, "trevok: cannot change to \"%s\": %s\n", options.workingDirectory->c_str(),
                         ec.message().c_str());
    }
    std::error_code cwdError;
    Trace("start directory: %s", std::filesystem::current_path(cwdError).c_str());

    // 2. One instance per user.
    switch (g_instance.Acquire(kInstanceName)) {
    case platform::SingleInstance::Result::AlreadyRunning:
        platform::ShowMessageBox(kAlreadyRunning, "Trevok", platform::MessageBoxButtons::Ok,
                                 platform::MessageBoxIcon::Error);
        return 0;
    case platform::SingleInstance::Result::Unavailable:
        std::fprintf(stderr, "trevok: no lock file for the single-instance check; going on\n");
        break;
    case platform::SingleInstance::Result::Acquired:
        break;
    }
    AddAppStateObserver(TraceState);
    SharedRandom::Seed(static_cast<uint32_t>(std::time(nullptr)));

    // 3. The processor record.
    IdentifyCpu(g_processor);
    Trace("processor: %s", g_processor.name.c_str());

    // 4. The directory list; the start directory is the data root. A
    // missing list leaves the directories unset (the compiler says why).
    {
        std::error_code ec;
        const auto start = std::filesystem::current_path(ec);
        const bool listed = script::LoadDataDirectories(start);
        Trace("directory list: %s", listed ? "read" : "not read");
    }

    // 6. The string table.
    if (!LoadStrings())
        return 0;

    // 8. "-s" asks for a window; without a display the answer is No.
    if (options.askWindow) {
        const auto answer = platform::ShowMessageBox(
            "Run in a window? This may not work on some cards! \n(Default is full screen.)",
            "Development only mode requester.00.02.03.0119 Built on Aug 22 2000",
            platform::MessageBoxButtons::YesNo, platform::MessageBoxIcon::Question, false);
        if (answer == platform::MessageBoxAnswer::Yes)
            g_displayFlags |= Screen::kWindowed;
    }

    // 9. Key bindings and the key file.
    KeyBindings::Init();
    Screen::Mode& mode = Screen::CurrentMode();
    mode.width = 640;
    mode.height = 480;
    KeyConfig::Read(g_deviceSettings, 0);
    g_commandLine = options.commandLine;

    // 10. The window (title string 7039; 7049 names its class).
    mode.flags = g_displayFlags;
    platform::InstallCloseSignals();
    platform::WindowDesc desc;
    desc.title = StringTable::Global().Find(StringTable::kWindowTitle);
    desc.fullScreen = (g_displayFlags & Screen::kWindowed) == 0;
    desc.width = mode.width;
    desc.height = mode.height;
    desc.openGl = true;
    g_window = platform::Window::Create(desc, WindowProc);
    Trace("window: %s \"%s\" class \"%s\"%s", desc.fullScreen ? "full screen" : "framed", desc.title.c_str(),
          StringTable::Global().Find(StringTable::kWindowClass), g_window->IsHeadless() ? " (headless)" : "");

    // 11. The display device.
    const bool displayStarted = RenderPlaceholders::DisplayStartup(g_window.get(), g_displayFlags);
    Trace("display: %s", displayStarted ? "started" : "none");
    if (!displayStarted)
        platform::ShowMessageBox(
            "Trevok is not currently configured \nto work on this video card. \nNVIDIA GEFORCE recommended.",
            "TREVOK", platform::MessageBoxButtons::Ok, platform::MessageBoxIcon::Information);

    // 12. Registered first, so it runs last.
    std::atexit(RunShutdown);

    // 13-17. Display mode, sound, lights, viewports, music.
    RenderPlaceholders::SetInitialMode(mode.width, mode.height, mode.depth, g_displayFlags);
    SoundSystem::Global() = SoundSystem::Create(options.silentSound);
    Trace("sound: %s", options.silentSound ? "silent (asked)" : "started");
    SoundSystem::LoadSoundFile(SoundSystem::Global(), "UI.dat");
    RenderPlaceholders::CreateGlobalLightSets();
    HudViewports::SetUp();
    MusicPlayer::Global() = new MusicPlayer();
    MusicPlayer::Clear(MusicPlayer::Global());
    MusicPlayer::Play(MusicPlayer::Global(), "sound\\music\\track1.bik");

    // 18. The screen rectangle.
    {
        int left = 0, top = 0, width = 0, height = 0;
        g_window->ClientRect(left, top, width, height);
        Screen::OnClientArea(left, top, width, height);
        if (g_displayFlags & Screen::kWindowed)
            RenderPlaceholders::OnResize(width, height);
        else
            RenderPlaceholders::OnResize(mode.width, mode.height);
    }

    // 19. Registered last, so the window closes before anything is freed.
    std::atexit(RunPostClose);

    // 20-25. Clocks, cursor, particles, effects, input, console, menus, light.
    AppTime::StartRealTime();
    GameCursor::Load();
    g_window->ShowSystemCursor(false);
    RenderPlaceholders::ParticlesStartup();
    Effects::Startup();
    Input::Startup(g_window.get(), false);
    {
        int x = 320, y = 240;
        if (!platform::GetCursorPos(x, y)) {
            x = 320;
            y = 240;
        }
        Input::ReadMouseState(x, y);
        RenderPlaceholders::SetPreviewScreenPosition(Input::CursorX(), Input::CursorY());
    }
    TextConsole::Create();
    FrontEnd::BuildScreens();
    RenderPlaceholders::SetDefaultLighting();

    // 26. The first screen, once more at 640 x 480 x 16 if need be.
    if (!LogoScreen::Enter()) {
        mode.width = 640;
        mode.height = 480;
        mode.depth = 16;
        if (!LogoScreen::Enter())
            FatalExit(kExitNoFirstScreen);
    }

    // 27.
    return MainLoop::Run();
}

void PostClose()
{
    Trace("exit: close the window");
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
    FrontEnd::Shutdown();
    Trace("exit: particles, effects, cursor and lights");
    RenderPlaceholders::ParticlesShutdown();
    Effects::Shutdown();
    GameCursor::Release();
    RenderPlaceholders::DestroyGlobalLightSets();
    Trace("exit: shapes");
    ShapeCache::FreeAll();
    Trace("exit: music, sound and CD");
    if (MusicPlayer* player = MusicPlayer::Global()) {
        MusicPlayer::Close(player);
        delete player;
        MusicPlayer::Global() = nullptr;
    }
    delete SoundSystem::Global();
    SoundSystem::Global() = nullptr;
    delete CdPlayer::Global();
    CdPlayer::Global() = nullptr;
    Trace("exit: input and string table");
    Input::Shutdown();
    StringTable::Global().Free();
    RenderPlaceholders::Shutdown();
    g_window.reset();
    platform::CloseWindowSystem();
    RemoveAppStateObserver(TraceState);
}

} // namespace Application
