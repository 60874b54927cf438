#include "ui/front_end.h"

#include "Veapi/render_queue.h"
#include "Veapi/VertBuff.h"
#include "Veapi/ve3d.h"
#include "app/app_state.h"
#include "app/app_time.h"
#include "app/directories.h"
#include "app/display_mode.h"
#include "app/string_table.h"
#include "console/command_table.h"
#include "console/console_draw.h"
#include "console/text_console.h"
#include "effects/shadows.h"
#include "media/music_player.h"
#include "media/screen_quads.h"
#include "media/sound_system.h"
#include "objects/teams.h"
#include "platform/gfx.h"
#include "session/level_session.h"
#include "session/level_start.h"
#include "session/network.h"
#include "session/save_slots.h"
#include "session/saved_game.h"
#include "ui/front_end_models.h"
#include "ui/camera_controller.h"
#include "ui/key_config.h"
#include "ui/menu_screen.h"
#include "ui/mission_list.h"
#include "ui/scene_lighting.h"
#include "ui/screen_camera.h"
#include "ui/ui_placeholders.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <numbers>

namespace FrontEnd {
namespace {

constexpr float kRingCentreX = 0.25f, kRingCentreY = 0.5f;
constexpr float kRingInner = 0.18f, kRingOuter = 0.24f;
constexpr float kStepsPerTurn = 4096.0f;

struct Sector {
    float from, to;
    int button;
};
constexpr Sector kSectors[] = {
    {2621.44f, 3522.56f, kScrollUp},
    {573.44f, 1474.56f, kScrollDown},
    {1597.44f, 2498.56f, kBack},
};

constexpr uint32_t kMarkColour = 0xFFF20000u, kRowColour = 0xFF00E500u, kDisabledColour = 0xFF606060u;
constexpr uint32_t kFlashColours[10] = {0xFFFFFFFFu, 0xFFFFF0A0u, 0xFFFFE070u, 0xFFFFD040u, 0xFFFFC020u,
                                        0xFFFFB000u, 0xFFFFC020u, 0xFFFFD040u, 0xFFFFE070u, 0xFFFFF0A0u};
constexpr float kTitleScale = 0.9f, kTitleX = 0.15f, kTitleY = 0.25f;

constexpr uint32_t kShadowChoices[] = {7008, 7078, 7072, 7079, 7080};
constexpr uint32_t kTextureChoices[] = {7079, 7072, 7078, 7083};
constexpr uint32_t kDepthChoices[] = {7062, 7063, 7064};
constexpr uint32_t kMouseChoices[] = {7085, 7084};
constexpr uint32_t kSpeedChoices[] = {7071, 7072, 7073};

constexpr const char* kShadowWarning =
    "This option (including landscape shadows) is currently unoptimised. It should only be used on high end PCs "
    "with hardware T&L cards, such as NVidia's GeForce. Esp. not optimised for higher resolutions";
constexpr const char* kBackground = "bitmaps\\Main Menu 01.rim";
constexpr const char* kMusic = "sound\\music\\track1.bik";

// The menus' fixed tables live for the whole run; the shell's exit
// handlers reach them, so they sit at namespace scope.
std::array<ScreenState, kScreenCount> g_screens;
State g_state;
Services RealServices();
Services g_services = RealServices();
int64_t g_idleDeadline = 0;
std::vector<ModeRow> g_modeRows;
std::vector<std::string> g_devices;
std::string g_displayDevice = "DEFAULT";
std::unique_ptr<ScreenImage> g_background;
bool g_modelsLoaded = false;
bool g_built = false;

int64_t Now() { return AppTime::RealNow(); }
int64_t Ticks(double seconds) { return int64_t(seconds * double(AppTime::TicksPerSecond())); }

const char* Text(uint32_t id) { return StringTable::Global().Find(id); }

void Play(int sound)
{
    if (g_services.playSound)
        g_services.playSound(sound);
}

KeyConfig::DisplaySettings& Settings() { return KeyConfig::DisplaySettingsInUse(); }
// The settings record's words are shown and stepped by the option items.
int32_t* SettingWord(KeyConfig::DisplaySetting s) { return reinterpret_cast<int32_t*>(&Settings()[size_t(s)]); }

ScreenState& Current() { return g_screens[size_t(g_state.screen)]; }
int CurrentCount() { return Current().items.Count(); }

void ReleaseBackground()
{
    if (!g_background && !g_modelsLoaded)
        return;
    // Its tiles and the buttons may stand in this frame's render queue still.
    RenderQueue::Clear();
    g_background.reset();
    FrontEndModels::Release();
    g_modelsLoaded = false;
}

void EnterResources()
{
    ReleaseBackground();
    if (auto folder = app::DataDirectories::Global().Folder(app::kGraphicsDirectory)) {
        bool ok = false;
        auto image = std::make_unique<ScreenImage>(*folder, kBackground, ok);
        if (ok)
            g_background = std::move(image);
    }
    FrontEndModels::Load();
    g_modelsLoaded = true;
    MusicPlayer* music = MusicPlayer::Global();
    if (music && music->track != kMusic)
        MusicPlayer::Play(music, kMusic);
}

std::vector<ModeOffer> RealModes()
{
    std::vector<ModeOffer> offers;
    for (const gfx::DisplayMode& m : gfx::EnumerateDisplayModes())
        offers.push_back({m.width, m.height, m.depth});
    return offers;
}

std::vector<std::string> RealDevices()
{
    std::vector<std::string> names;
    for (const gfx::DisplayDevice& d : gfx::EnumerateDisplayDevices())
        names.push_back(d.description);
    return names;
}

bool ReopenDisplay(const std::string& device)
{
    Display::SelectionName() = device;
    Display::ReleaseDeviceObjects();
    Display::CloseDevice();
    Display::CloseDirectDraw();
    const DisplayModeSettings mode = App::CurrentMode();
    if (!Display::OpenDirectDraw(mode.flags & kModeWindowed))
        return false;
    if (App::SetDisplayMode(mode.width, mode.height, mode.depth, mode.flags) <= 0)
        return false;
    // The 3-D device was closed with the rest: without it nothing draws.
    if (!Display::OpenDevice())
        return false;
    Display::RestoreDeviceObjects();
    // The key file names the device the game now draws on.
    KeyConfig::DeviceInUse() = Display::DeviceId();
    return true;
}

void ApplyShadowMode()
{
    ShadowMode = Settings()[KeyConfig::kShadowMode];
    Shadows::ApplyMode();
    KeyConfig::CurrentOptions().shadowFlag = Shadows::LevelShadows() ? 1 : 0;
}

bool LoadSaved(const std::string& name)
{
    StartSession(false);
    if (LoadSavedGame(name.c_str()))
        return true;
    EndSession();
    return false;
}

std::vector<std::string> ListSaves()
{
    SavedGames::List("*.sav");
    return SavedGames::Entries();
}

Services RealServices()
{
    Services s;
    s.displayModes = RealModes;
    s.displayDevices = RealDevices;
    s.videoMemory = [] { return gfx::QueryVideoMemory(0x4000).total; };
    s.supportsDepth = [](int index) {
        const int bits = 16 + 8 * index;
        return std::ranges::any_of(gfx::EnumerateDisplayModes(), [bits](const gfx::DisplayMode& m) { return m.depth == bits; });
    };
    s.setMode = App::SetDisplayMode;
    s.reopenDisplay = ReopenDisplay;
    // The GL device offers it everywhere.
    s.deviceCapable = [] { return true; };
    s.applyShadowMode = ApplyShadowMode;
    s.shadowFlag = [] { return Shadows::LevelShadows(); };
    s.recompileMaterials = [] { RenderMaterial::CompileAll(); };
    s.reloadTextures = [] {
        Display::ReleaseDeviceObjects();
        Display::RestoreDeviceObjects();
    };
    s.playSound = [](int sound) {
        if (SoundSystem* system = SoundSystem::Global())
            system->Play(sound, "");
    };
    s.exitProgram = [](int code) { ExitProgram(code); };
    s.startMission = [] { Briefing::Enter(true); };
    s.loadSavedGame = LoadSaved;
    s.savedGames = ListSaves;
    s.enterResources = EnterResources;
    s.leaveResources = ReleaseBackground;
    s.writeKeyFile = KeyConfig::Write;
    s.lobbyLevelStart = [](std::string& level, std::string& companion) {
        if (!Network::IsActive() || !Client::ReceiveLevelStart())
            return false;
        level = LevelStart::Current().level;
        companion = LevelStart::Current().companion;
        return true;
    };
    return s;
}

// ---- Screens -----------------------------------------------------------------

void FillKeyBindings()
{
    MenuItemList& list = g_screens[kKeyBindings].items;
    list.Clear();
    for (int i = 0; i < KeyBindings::kCount; ++i)
        list.Append(MenuItem::MakeTextWithValue(MenuText::Owned(KeyBindings::Name(i)),
                                                MenuText::Owned(KeyName(KeyBindings::Key(i))), i,
                                                MenuItem::kTextWithValue));
}

void Reveal(ScreenState& screen, int64_t now)
{
    for (int32_t i = 0; i < screen.items.Count(); ++i)
        screen.items.At(i)->RestartReveal(now);
}

void QuietGlow(ScreenState& screen)
{
    for (int32_t i = 0; i < screen.items.Count(); ++i)
        screen.items.At(i)->glow = 0;
}

// The program ends from the menu: the background goes while the display is
// still open.
void ExitFromMenu(int code)
{
    ReleaseResources();
    g_services.exitProgram(code);
}

bool CanScrollDown(const ScreenState& s) { return s.items.Count() - s.scroll > ScreenState::kVisibleRows; }

// ---- Choosing ------------------------------------------------------------------

void ScrollUp()
{
    ScreenState& s = Current();
    if (s.scroll == 0) {
        g_state.highlight = kNothing;
        return;
    }
    --s.scroll;
    if (s.scroll == 0)
        g_state.highlight = kNothing;
    if (MenuItem* top = s.items.At(s.scroll))
        top->RestartReveal(Now());
}

void ScrollDown()
{
    ScreenState& s = Current();
    if (!CanScrollDown(s)) {
        g_state.highlight = kNothing;
        return;
    }
    ++s.scroll;
    if (!CanScrollDown(s))
        g_state.highlight = kNothing;
    if (MenuItem* bottom = s.items.At(s.scroll + ScreenState::kVisibleRows - 1))
        bottom->RestartReveal(Now());
}

void StartPlay()
{
    TeamTable::Build(3, 1, 0);
    Leave();
}

void ChooseMode(int index)
{
    if (index < 0 || size_t(index) >= g_modeRows.size())
        return;
    const ModeRow row = g_modeRows[size_t(index)];
    const DisplayModeSettings before = App::CurrentMode();
    const int bits = BitsFor(row, int(Settings()[KeyConfig::kColourDepthIndex]));
    const bool set = g_services.setMode && g_services.setMode(row.width, row.height, bits, before.flags) > 0;
    BuildDisplayModeList();
    if (!set)
        return; // the old mode stands; nothing to confirm
    g_state.revertWidth = before.width;
    g_state.revertHeight = before.height;
    g_state.revertDepth = before.depth;
    g_state.revertFlags = before.flags;
    if (g_services.applyShadowMode)
        g_services.applyShadowMode();
    GoToScreen(kConfirmMode, false);
    g_state.confirmDeadline = Now() + Ticks(kConfirmSeconds);
    ResetScreens();
}

void ReadDeviceCapability() { g_state.deviceCapable = !g_services.deviceCapable || g_services.deviceCapable(); }

void ChooseDevice(int index)
{
    if (index < 0 || size_t(index) >= g_devices.size())
        return;
    g_displayDevice = g_devices[size_t(index)].substr(0, 255);
    if (!g_services.reopenDisplay || !g_services.reopenDisplay(g_displayDevice)) {
        ExitFromMenu(kExitDeviceFailed);
        return;
    }
    ReadDeviceCapability();
    BuildDisplayModeList();
}

void ChooseSavedGame(int index)
{
    const MenuItem* item = Current().items.At(index);
    if (!item)
        return;
    const std::string name = std::string(item->text.View()) + ".sav";
    StartPlay();
    if (!g_services.loadSavedGame || !g_services.loadSavedGame(name))
        Enter();
}

void ListSavedGames()
{
    ScreenState& saves = g_screens[kSavedGames];
    saves.ClearItems();
    if (!g_services.savedGames)
        return;
    for (const std::string& file : g_services.savedGames())
        if (file.size() > 4)
            saves.items.AddOwnedText(file.substr(0, file.size() - 4));
    Reveal(saves, Now());
}

// Steps a word through 0 .. count - 1, whatever a damaged file left in it.
void Step(int32_t& value, int32_t count) { value = (value >= 0 && value < count - 1) ? value + 1 : 0; }

void ChooseGameOption(int index)
{
    KeyConfig::Options& o = KeyConfig::CurrentOptions();
    switch (index) {
    case 0: o.option6090 = o.option6090 ? 0 : 1; break;
    case 1: o.mouseButtons = o.mouseButtons ? 0 : 1; break;
    case 2: o.option281 = o.option281 ? 0 : 1; break;
    case 3: Step(o.option277, 3); Play(kSoundStep); break;
    default: break;
    }
    CameraController::TakeOptions(o);
}

void Switch(KeyConfig::DisplaySetting s)
{
    int32_t& w = *SettingWord(s);
    w = w ? 0 : 1;
}

void ChooseThreeDOption(int index)
{
    if (MenuItem* item = Current().items.At(index))
        item->Flash(Now());
    switch (index) {
    case 0:
        Switch(KeyConfig::kSwitch1);
        if (g_services.recompileMaterials)
            g_services.recompileMaterials();
        break;
    case 1:
        Switch(KeyConfig::kSwitch2);
        if (!g_state.deviceCapable)
            *SettingWord(KeyConfig::kSwitch2) = 0;
        if (g_services.recompileMaterials)
            g_services.recompileMaterials();
        break;
    case 2: Switch(KeyConfig::kSwitch3); break;
    case 3: Switch(KeyConfig::kSwitch4); break;
    case 4:
        Step(*SettingWord(KeyConfig::kShadowMode), 5);
        if (g_services.applyShadowMode)
            g_services.applyShadowMode();
        Play(kSoundStep);
        g_state.displayChangePending = true;
        if (g_services.shadowFlag && g_services.shadowFlag())
            TextConsole::Print(kShadowWarning);
        break;
    case 5:
        Step(*SettingWord(KeyConfig::kTextureSetting), 4);
        g_state.textureReloadPending = true;
        Play(kSoundStep);
        break;
    case 6: {
        int32_t& depth = *SettingWord(KeyConfig::kColourDepthIndex);
        // At most one round: index 0 (16 bits) stands when nothing else does.
        for (int tries = 0; tries < 3; ++tries) {
            Step(depth, 3);
            if (!g_services.supportsDepth || g_services.supportsDepth(depth))
                break;
        }
        g_state.displayChangePending = true;
        Play(kSoundChoose);
        break;
    }
    default: break;
    }
}

void ChooseItem(int index)
{
    switch (g_state.screen) {
    case kMain:
        if (index == 0)
            GoToScreen(kSinglePlayer, true);
        else if (index == 2)
            GoToScreen(kOptions, true);
        else if (index == 3)
            ExitFromMenu(kExitOnQuit);
        break; // item 1 opens no network screen
    case kOptions: {
        static constexpr int kTargets[] = {kDisplayModes, kDisplayDevices, kKeyBindings, kGameOptions, kThreeDOptions};
        if (index >= 0 && index < int(std::size(kTargets)))
            GoToScreen(kTargets[index], true);
        break;
    }
    case kDisplayModes: ChooseMode(index); break;
    case kDisplayDevices: ChooseDevice(index); break;
    case kKeyBindings:
        if (index >= 0 && index < KeyBindings::kCount)
            g_state.capturing = true;
        break;
    case kMissions:
        if (MissionList::MakeCurrent(index))
            GoToScreen(kStart, true);
        break;
    case kGameOptions: ChooseGameOption(index); break;
    case kSinglePlayer:
        if (MissionList::Count() == 1)
            index = 1;
        if (index == 0) {
            GoToScreen(kSavedGames, true);
            ListSavedGames();
        } else if (index == 1) {
            GoToScreen(kMissions, true);
        }
        break;
    case kSavedGames: ChooseSavedGame(index); break;
    case kStart:
        if (index != 0)
            break;
        g_state.difficulty = index;
        StartPlay();
        if (g_services.startMission)
            g_services.startMission();
        break;
    case kThreeDOptions: ChooseThreeDOption(index); break;
    case kConfirmMode: GoToScreen(kDisplayModes, false); break;
    default: break;
    }
}

void FillMissions()
{
    ScreenState& missions = g_screens[kMissions];
    missions.ClearItems();
    for (int i = 0; i < MissionList::Count(); ++i)
        missions.items.AddOwnedText(MissionList::At(i)->name);
}

// ---- Drawing ---------------------------------------------------------------------

uint32_t FlashColour(int64_t now)
{
    const int64_t step = now * 10 / std::max<int64_t>(1, AppTime::TicksPerSecond());
    return kFlashColours[size_t(step % 10)];
}

// The button's part of the menu model in its look; a glyph where the model
// lacks the part.
void DrawButton(const RingButtonDraw& b, int64_t now)
{
    static constexpr struct {
        int button;
        FrontEndModels::Button part;
        const char* glyph;
        float x, y;
    } kButtons[] = {{kScrollUp, FrontEndModels::kScrollUpButton, "^", 0.25f, 0.5f - 0.28f},
                    {kScrollDown, FrontEndModels::kScrollDownButton, "v", 0.25f, 0.5f + 0.25f},
                    {kBack, FrontEndModels::kBackButton, "<", 0.25f - 0.21f, 0.5f}};
    for (const auto& g : kButtons) {
        if (g.button != b.button)
            continue;
        const auto look = FrontEndModels::Look(b.look);
        if (FrontEndModels::HasButton(g.part)) {
            FrontEndModels::DrawButton(g.part, look);
            continue;
        }
        const uint32_t colour = look == FrontEndModels::kDisabled      ? kDisabledColour
                                : look == FrontEndModels::kHighlighted ? FlashColour(now)
                                                                        : kRowColour;
        Text::DrawSmall(g.glyph, g.x, g.y, colour);
    }
}

void Draw(int64_t now)
{
    if (g_background)
        g_background->Draw(ScreenCamera::Get());
    ScreenState& s = Current();
    if (const char* title = Text(s.titleId))
        Text::DrawSmallScaled(title, int(std::string_view(title).size()), kTitleX, kTitleY, kTitleScale, kRowColour);
    for (const RingButtonDraw& b : RingButtons(g_state.screen, s.items.Count(), s.scroll, g_state.highlight))
        DrawButton(b, now);
    for (int row = 1; row <= ScreenState::kVisibleRows; ++row) {
        const int index = s.scroll + row - 1;
        const MenuItem* item = s.items.At(index);
        if (!item)
            break;
        const uint32_t colour = index == g_state.highlight ? FlashColour(now) : item->marked ? kMarkColour : kRowColour;
        FrontEndModels::DrawRowBars(row, *item);
        item->Draw(row, colour);
    }
}

void HitTest()
{
    const ScreenState& s = Current();
    const int button = RingButtonAt(g_state.pointerX, g_state.pointerY, g_state.screen, s.items.Count(), s.scroll);
    if (button != kNothing) {
        g_state.highlight = button;
        return;
    }
    g_state.highlight = kNothing;
    const float y = g_state.pointerY + MenuItem::kRowStep * float(s.scroll);
    for (int i = s.scroll; i < s.scroll + ScreenState::kVisibleRows; ++i) {
        const MenuItem* item = s.items.At(i);
        if (!item)
            break;
        if (item->Rect().StrictlyContains(g_state.pointerX, y)) {
            g_state.highlight = i;
            return;
        }
    }
}

void RevertModeWhenLate(int64_t now)
{
    if (g_state.screen != kConfirmMode || now <= g_state.confirmDeadline)
        return;
    if (g_services.setMode)
        g_services.setMode(g_state.revertWidth, g_state.revertHeight, g_state.revertDepth, g_state.revertFlags);
    BuildDisplayModeList();
    if (g_services.applyShadowMode)
        g_services.applyShadowMode();
    GoToScreen(kDisplayModes, false);
}

void EndCapture() { g_state.capturing = false; }

void CaptureKey(uint32_t code)
{
    const int binding = g_state.highlight;
    MenuItem* item = Current().items.At(binding);
    EndCapture();
    if (!item || binding >= KeyBindings::kCount)
        return;
    for (int other = 0; other < KeyBindings::kCount; ++other) {
        if (other != binding && KeyBindings::Key(other) == code) {
            TextConsole::Print(Text(kTextDuplicateKey));
            return;
        }
    }
    if (!KeyBindings::SetKey(binding, code))
        return; // no key the file could keep
    item->valueText = MenuText::Owned(KeyName(code));
    item->Flash(Now());
}

void EnterText(uint32_t code, uint32_t flags)
{
    constexpr uint32_t kEscape = 1, kReturn = 28, kBackspace = 14, kClearModifier = 2;
    if (code == kEscape || code == kReturn) {
        Choose();
        return;
    }
    if (code == kBackspace) {
        if (flags & kClearModifier)
            g_state.edit.Clear();
        else
            g_state.edit.DeleteLast();
    } else {
        const std::string typed = KeyNames::ScanCodeName(code, false);
        if (typed.size() == 1)
            g_state.edit.Append(typed[0]);
    }
    if (MenuItem* item = Current().items.At(g_state.highlight))
        item->text = MenuText::Owned(g_state.edit.Text());
}

} // namespace

Services& GetServices() { return g_services; }
void ResetServices() { g_services = RealServices(); }
State& CurrentState() { return g_state; }
ScreenState& ScreenAt(int screen) { return g_screens[size_t(std::clamp(screen, 0, kScreenCount - 1))]; }
int64_t& IdleDeadline() { return g_idleDeadline; }
void ResetIdleTimer() { g_idleDeadline = Now() + kIdleSeconds * AppTime::TicksPerSecond(); }
bool IsCapturingKey() { return g_state.capturing; }
void SetPointer(float x, float y)
{
    // The first reading is where the pointer is, not a move.
    const bool known = g_state.pointerX >= 0 && g_state.pointerY >= 0;
    if (known && (x != g_state.pointerX || y != g_state.pointerY)) {
        g_state.followPointer = true;
        ResetIdleTimer();
    }
    g_state.pointerX = x;
    g_state.pointerY = y;
}

int RingButtonAt(float x, float y, int screen, int count, int scroll)
{
    const float dx = x - kRingCentreX, dy = y - kRingCentreY;
    const float radius = std::sqrt(dx * dx + 0.5625f * dy * dy);
    if (!(radius > kRingInner && radius < kRingOuter))
        return kNothing;
    float angle = std::atan2(0.75f * dy, dx) * kStepsPerTurn / (2.0f * std::numbers::pi_v<float>);
    if (angle < 0)
        angle += kStepsPerTurn;
    for (const Sector& s : kSectors) {
        if (!(angle > s.from && angle < s.to))
            continue;
        const bool shown = (s.button == kScrollUp && scroll != 0) ||
                           (s.button == kScrollDown && count - scroll >= 7) || (s.button == kBack && screen != kMain);
        return shown ? s.button : kNothing;
    }
    return kNothing;
}

std::vector<RingButtonDraw> RingButtons(int screen, int count, int scroll, int highlight)
{
    std::vector<RingButtonDraw> drawn;
    auto add = [&](int button, bool enabled) {
        drawn.push_back({button, int(FrontEndModels::LookFor(enabled, enabled && highlight == button))});
    };
    const bool up = scroll > 0, down = count - scroll > ScreenState::kVisibleRows;
    if (up || down) {
        add(kScrollUp, up);
        add(kScrollDown, down);
    }
    if (screen != kMain)
        add(kBack, true);
    return drawn;
}

std::vector<int> HighlightRing(int screen, int count, int scroll)
{
    std::vector<int> ring;
    if (scroll > 0)
        ring.push_back(kScrollUp);
    const int visible = std::clamp(count - scroll, 0, ScreenState::kVisibleRows);
    for (int i = scroll; i < scroll + visible; ++i)
        ring.push_back(i);
    if (count - scroll > ScreenState::kVisibleRows)
        ring.push_back(kScrollDown);
    if (screen != kMain)
        ring.push_back(kBack);
    return ring;
}

std::vector<ModeRow> UsableModes(const std::vector<ModeOffer>& offers, uint64_t videoMemory)
{
    std::vector<ModeRow> rows;
    for (const ModeOffer& m : offers) {
        if (m.width < 640 || m.height < 480 || uint64_t(m.width) * uint64_t(m.height) * 6 > videoMemory)
            continue;
        auto row = std::ranges::find_if(rows, [&](const ModeRow& r) { return r.width == m.width && r.height == m.height; });
        if (row == rows.end())
            row = rows.insert(rows.end(), ModeRow{m.width, m.height});
        row->offers24 = row->offers24 || m.depth == 24;
        row->offers32 = row->offers32 || m.depth == 32;
    }
    return rows;
}

int BitsFor(const ModeRow& row, int depthIndex)
{
    const int wanted = 16 + 8 * depthIndex;
    if (wanted >= 32 && row.offers32)
        return 32;
    if (wanted >= 24 && row.offers24)
        return 24;
    return 16;
}

std::string KeyName(uint32_t code)
{
    static constexpr struct {
        uint32_t code, textId;
    } kNamed[] = {{57, kTextSpace}, {200, 7000}, {208, 7001}, {203, 7002}, {205, 7003}, {15, 7004}, {14, 7005}};
    for (const auto& k : kNamed)
        if (k.code == code)
            if (const char* text = Text(k.textId); text && *text)
                return text;
    std::string typed = KeyNames::ScanCodeName(code, false);
    if (!typed.empty() && typed != " ")
        return typed;
    return "#" + std::to_string(code);
}

void BuildScreens()
{
    for (ScreenState& s : g_screens)
        s.ClearItems();
    g_screens[kMain].Init(228, 4, 251);
    g_screens[kOptions].Init(238, 5, 252);
    g_screens[kDisplayModes].Init(0, 0, 253);
    g_screens[kDisplayDevices].Init(0, 0, 254);
    g_screens[kKeyBindings].Init(0, 0, 256);
    g_screens[kMissions].Init(0, 0, 255);
    ScreenState& game = g_screens[kGameOptions];
    game.Init(0, 0, 257);
    KeyConfig::Options& o = KeyConfig::CurrentOptions();
    game.items.AddToggle(MenuText::Borrowed(Text(6090)), &o.option6090);
    game.items.AddChoice(MenuText::Borrowed(Text(290)), &o.mouseButtons, kMouseChoices);
    game.items.AddToggle(MenuText::Borrowed(Text(281)), &o.option281);
    game.items.AddChoice(MenuText::Borrowed(Text(277)), &o.option277, kSpeedChoices);
    g_screens[kSinglePlayer].Init(232, 2, 258);
    g_screens[kSavedGames].Init(0, 0, 280);
    g_screens[kStart].Init(244, 1, 243); // one item: the level starts
    static constexpr uint32_t kNetworkTitles[] = {259, 260, 261, 262, 255, 264, 208};
    for (size_t i = 0; i < std::size(kNetworkTitles); ++i)
        g_screens[10 + i].Init(0, 0, kNetworkTitles[i]);
    ScreenState& three = g_screens[kThreeDOptions];
    three.Init(0, 0, 265);
    three.items.AddToggle(MenuText::Borrowed(Text(247)), SettingWord(KeyConfig::kSwitch1));
    three.items.AddToggle(MenuText::Borrowed(Text(248)), SettingWord(KeyConfig::kSwitch2));
    three.items.AddToggle(MenuText::Borrowed(Text(249)), SettingWord(KeyConfig::kSwitch3));
    three.items.AddToggle(MenuText::Borrowed(Text(250)), SettingWord(KeyConfig::kSwitch4));
    three.items.AddChoice(MenuText::Borrowed(Text(6085)), SettingWord(KeyConfig::kShadowMode), kShadowChoices);
    three.items.AddChoice(MenuText::Borrowed(Text(6086)), SettingWord(KeyConfig::kTextureSetting), kTextureChoices);
    three.items.AddChoice(MenuText::Borrowed(Text(6087)), SettingWord(KeyConfig::kColourDepthIndex), kDepthChoices);
    g_screens[kConfirmMode].Init(276, 1, 275);
    CommandTable::Provide("ADD MISSION", MissionList::AddMissionCommand);
    CommandTable::Provide("NEXT LEVEL", MissionList::NextLevelCommand);
    MenuScreen::ResetLists(true);
    g_built = true;
}

void BuildDisplayModeList()
{
    g_screens[kDisplayModes].ClearItems();
    g_screens[kDisplayDevices].ClearItems();
    const uint64_t memory = g_services.videoMemory ? g_services.videoMemory() : 0;
    g_modeRows = UsableModes(g_services.displayModes ? g_services.displayModes() : std::vector<ModeOffer>{}, memory);
    const DisplayModeSettings& current = App::CurrentMode();
    for (const ModeRow& row : g_modeRows) {
        MenuItem& item = g_screens[kDisplayModes].items.AddOwnedText(std::to_string(row.width) + " x " +
                                                                      std::to_string(row.height));
        item.marked = row.width == current.width && row.height == current.height;
    }
    g_devices = g_services.displayDevices ? g_services.displayDevices() : std::vector<std::string>{};
    for (const std::string& name : g_devices)
        g_screens[kDisplayDevices].items.AddOwnedText(name);
}

void Enter()
{
    if (!g_built)
        BuildScreens();
    SetAppState(AppState::MainMenu);
    ResetIdleTimer();
    g_state.highlight = kNothing;
    g_state.capturing = false;
    ReadDeviceCapability();
    BuildDisplayModeList();
    if (g_state.playerName.empty())
        g_state.playerName = Text(kTextPlayerName);
    if (g_state.sessionName.empty())
        g_state.sessionName = Text(kTextSessionName);
    if (MissionList::Count() == 0) {
        MissionList::Add(Text(kTextFirstMission), "training_level.tvs", "training_level.tcs");
        MissionList::Add(Text(kTextSecondMission), "level05.tvs", "level05.tcs");
        MissionList::MakeCurrent(0);
    }
    FillMissions();
    FillKeyBindings();
    if (g_services.enterResources)
        g_services.enterResources();
    g_state.lastFrame = Now();
    g_state.framesShown = 0;
    const int old = g_state.screen;
    g_state.screen = kMain;
    g_state.previous = old;
    Reveal(g_screens[kMain], Now());
}

void Leave()
{
    if (g_services.leaveResources)
        g_services.leaveResources();
    // What comes next (a level, a demo) lights its own scene from nothing.
    SceneLighting::Clear();
    if (g_services.writeKeyFile)
        g_services.writeKeyFile();
    Play(kSoundLeave);
    if (g_state.displayChangePending) {
        g_state.displayChangePending = g_state.textureReloadPending = false;
        const DisplayModeSettings mode = App::CurrentMode();
        if (g_services.setMode)
            g_services.setMode(mode.width, mode.height, 16 + 8 * int(Settings()[KeyConfig::kColourDepthIndex]),
                               mode.flags);
        if (g_services.applyShadowMode)
            g_services.applyShadowMode();
    } else if (g_state.textureReloadPending) {
        g_state.textureReloadPending = false;
        if (g_services.reloadTextures)
            g_services.reloadTextures();
        // Materials hold the textures they were compiled with.
        if (g_services.recompileMaterials)
            g_services.recompileMaterials();
    }
    ResetScreens();
}

void ResetScreens()
{
    for (ScreenState& s : g_screens) {
        s.scroll = 0;
        s.cursor = 0;
        QuietGlow(s);
    }
}

void Frame()
{
    const int64_t now = Now();
    const float seconds = float(double(now - g_state.lastFrame) / double(AppTime::TicksPerSecond()));
    g_state.lastFrame = now;
    if (g_state.followPointer && !g_state.capturing)
        HitTest();
    ScreenState& s = Current();
    for (int32_t i = 0; i < s.items.Count(); ++i) {
        MenuItem* item = s.items.At(i);
        item->StepGlow(i == g_state.highlight, std::max(0.0f, seconds));
        if (i >= s.scroll && i < s.scroll + ScreenState::kVisibleRows)
            item->Reveal(now);
    }
    Draw(now);
    ++g_state.framesShown;
    RevertModeWhenLate(now);
}

void CheckLobbyStart()
{
    if (CurrentAppState() != AppState::MainMenu || g_state.screen != kLobby || !g_services.lobbyLevelStart)
        return;
    std::string level, companion;
    if (!g_services.lobbyLevelStart(level, companion) || level.empty())
        return;
    Session::Names() = {level, companion};
    // The sides came with the level start; the key file is written and the
    // menu left as for a mission.
    Leave();
    if (g_services.startMission)
        g_services.startMission();
}

void ReleaseResources()
{
    if (g_services.leaveResources)
        g_services.leaveResources();
}

void Shutdown()
{
    // At exit the display is closed already: an image still held (the
    // shell releases it before the window closes) is left to the system.
    (void)g_background.release();
    for (ScreenState& s : g_screens)
        s.ClearItems();
    MenuScreen::ResetLists(false);
    MissionList::Clear();
    g_built = false;
}

void Choose()
{
    ResetIdleTimer();
    const int choice = g_state.highlight;
    if (choice == kNothing)
        return;
    Play(kSoundChoose);
    switch (choice) {
    case kScrollUp: ScrollUp(); return;
    case kScrollDown: ScrollDown(); return;
    case kBack: GoToScreen(Current().backTarget, false); return;
    default: ChooseItem(choice); return;
    }
}

void GoToScreen(int screen, bool remember)
{
    if (screen < 0 || screen >= kScreenCount)
        return;
    ScreenState& old = Current();
    old.scroll = 0;
    QuietGlow(old);
    g_state.highlight = kNothing;
    g_state.capturing = false;
    g_state.previous = g_state.screen;
    ScreenState& next = g_screens[size_t(screen)];
    next.scroll = 0;
    Reveal(next, Now());
    if (remember)
        next.backTarget = g_state.screen;
    g_state.screen = screen;
}

void HighlightPrevious()
{
    g_state.followPointer = false;
    ResetIdleTimer();
    const std::vector<int> ring = HighlightRing(g_state.screen, CurrentCount(), Current().scroll);
    if (ring.empty()) {
        g_state.highlight = kNothing;
        return;
    }
    const auto at = std::ranges::find(ring, g_state.highlight);
    g_state.highlight = at == ring.end() ? ring.back() : at == ring.begin() ? ring.back() : *(at - 1);
}

void HighlightNext()
{
    g_state.followPointer = false;
    ResetIdleTimer();
    const std::vector<int> ring = HighlightRing(g_state.screen, CurrentCount(), Current().scroll);
    if (ring.empty()) {
        g_state.highlight = kNothing;
        return;
    }
    const auto at = std::ranges::find(ring, g_state.highlight);
    g_state.highlight = at == ring.end() || at + 1 == ring.end() ? ring.front() : *(at + 1);
}

void OnUpKey()
{
    if (Current().scroll != 0) {
        g_state.highlight = kScrollUp;
        Choose();
    } else {
        HighlightPrevious();
    }
}

void OnDownKey()
{
    if (CanScrollDown(Current())) {
        g_state.highlight = kScrollDown;
        Choose();
    } else {
        HighlightNext();
    }
}

void OnKey(uint32_t scanCode, uint32_t flags)
{
    if (!g_state.capturing)
        return;
    if (g_state.screen == kKeyBindings)
        CaptureKey(scanCode);
    else
        EnterText(scanCode, flags);
}

void OnEscape()
{
    const int s = g_state.screen;
    if (g_state.capturing && (s == 12 || s == 13 || s == 15)) {
        OnKey(1, 0);
        return;
    }
    Play(kSoundChoose);
    if (s == kMain) {
        ExitFromMenu(kExitOnEscape);
        return;
    }
    GoToScreen(kMain, false);
}

} // namespace FrontEnd
