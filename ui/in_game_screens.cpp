// The four menu slots over the game view: the pausing in-game menu, the save
// and load screens and the end-of-mission screen.
#include "ui/menu_screen.h"

#include "Veapi/light_set.h"
#include "app/app_time.h"
#include "app/input_event.h"
#include "app/maths.h"
#include "app/string_table.h"
#include "console/console_draw.h"
#include "console/text_console.h"
#include "media/screen_quads.h"
#include "platform/os.h"
#include "session/game_state.h"
#include "session/save_slots.h"
#include "session/saved_game.h"
#include "session/session_placeholders.h"
#include "ui/game_view.h"
#include "ui/hud_view.h"
#include "ui/particle_tester.h"
#include "ui/saved_game_header.h"
#include "ui/screen_camera.h"
#include "ui/screen_toggles.h"
#include "ui/ui_placeholders.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <ctime>
#include <filesystem>

namespace {

constexpr int kSlotCount = 4;
constexpr float kOpenSeconds = 0.5f;
// The small font's cell, in pixels, for row placement and hit rectangles.
constexpr float kCharWidth = 8, kLineHeight = 16;

std::array<MenuScreen*, kSlotCount> g_slots{};
std::array<MenuSlotList, kSlotCount> g_lists{};
int g_currentList = 0;
float g_pointerX = 0, g_pointerY = 0;
bool g_pointerMoved = false;
std::string g_nameField;
// The pause the in-game menu took: the speed to give back and the hold.
bool g_speedRemembered = false, g_holdingGame = false;
float g_rememberedSpeed = 0;

float ScreenSize(float pixels) { return std::isfinite(pixels) && pixels >= 1 ? pixels : 1; }

struct Quad {
    float left, top, width, height;
};

Quad QuadFor(int kind)
{
    if (kind == MenuScreen::kInGameMenu || kind == MenuScreen::kEndOfMission)
        return {0.3f, 0.2f, 0.375f, 0.5f};
    HudView& view = HudView::Current();
    float w = 512 / ScreenSize(view.ScreenWidth()), h = 512 / ScreenSize(view.ScreenHeight());
    while (w > 1 || h > 1) {
        w *= 0.5f;
        h *= 0.5f;
    }
    return {(1 - w) / 2, (1 - h) / 2, w, h};
}

void ResetList(MenuSlotList& list)
{
    list.highlight = MenuScreen::kNone;
    list.scroll = 0;
}

void Pause()
{
    g_rememberedSpeed = AppTime::GameSpeed();
    g_speedRemembered = true;
    if (Network::IsActive())
        return;
    // The server thread reads the game clock on every pass: it is parked
    // before the clock changes.
    GameState::Enter();
    g_holdingGame = true;
    AppTime::SetGameSpeed(0);
}

void Resume()
{
    if (g_speedRemembered && !Network::IsActive())
        AppTime::SetGameSpeed(g_rememberedSpeed);
    g_speedRemembered = false;
    if (g_holdingGame) {
        g_holdingGame = false;
        GameState::Leave();
    }
}

void Restart()
{
    if (Network::IsActive())
        TextConsole::Print(StringTable::Global().Find(227));
    else
        EndOfGameRequest = 2;
}

bool EndsWithSav(const std::string& name)
{
    if (name.size() < 4)
        return false;
    std::string tail = name.substr(name.size() - 4);
    std::transform(tail.begin(), tail.end(), tail.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return tail == ".sav";
}

// The saved games in the saves folder, by name.
std::vector<std::string> ListSavedGames()
{
    SavedGames::List("*.sav");
    std::vector<std::string> names = SavedGames::Entries();
    std::sort(names.begin(), names.end());
    return names;
}

constexpr uint32_t kRowColour = 0xFFB2B2B2u, kHighlightColour = 0xFFFFFFFFu;

const char* BackgroundOf(int kind)
{
    return kind == MenuScreen::kSaveScreen || kind == MenuScreen::kLoadScreen ? "units\\save screen.rim"
                                                                              : "units\\main menu & in game menu 00.rim";
}

std::string ShownName(const std::string& name)
{
    return EndsWithSav(name) ? name.substr(0, name.size() - 4) : name;
}

class SlotScreen : public MenuScreen {
public:
    SlotScreen(int kind, float parameter) : MenuScreen(kind, parameter)
    {
        // Without its picture (no display, a missing file) the screen still works.
        bool ok = false;
        auto quad = std::make_unique<TextureQuad>(BackgroundOf(kind), ok);
        if (ok)
            background_ = std::move(quad);
    }

    void Draw(int64_t now) override
    {
        const Quad quad = QuadFor(kind_);
        left_ = quad.left;
        top_ = quad.top;
        width_ = quad.width;
        height_ = quad.height;
        const double t = double(now - animationStart_) / double(HudView::Current().TicksPerSecond());
        if (closing_) {
            opacity_ = float((kOpenSeconds - t) * 1.2);
            if (t > kOpenSeconds) {
                MenuScreen::Finish(kind_);
                Release(); // may end this screen
                return;
            }
            DrawBackground();
            return;
        }
        if (!openComplete_) {
            // The rows start typing once the screen is fully open.
            for (MenuSlotRow& row : g_lists[size_t(kind_)].rows)
                row.shown.RestartReveal(now);
            if (std::count_if(g_slots.begin(), g_slots.end(), [](auto* s) { return s != nullptr; }) == 1) {
                opacity_ = float(1.2 * t);
                if (t > kOpenSeconds) {
                    opacity_ = 0.6f;
                    openComplete_ = true;
                }
            }
            DrawBackground();
            return;
        }
        if (g_pointerMoved)
            UpdateHighlight();
        DrawBackground();
        DrawRows(now);
    }

    bool HasBackground() const { return background_ != nullptr; }

    void Run() override
    {
        if (!openComplete_ || closing_)
            return;
        MenuSlotList& list = g_lists[kind_];
        switch (kind_) {
        case kInGameMenu:
            switch (list.highlight) {
            case 0: ScreenToggles::ToggleInGameMenu(); break;
            case 1: MenuScreen::OpenSaveScreen(); break;
            case 2: MenuScreen::OpenLoadScreen(); break;
            case 3: Restart(); break;
            case 4: EndOfGameRequest = 1; break;
            default: break;
            }
            break;
        case kEndOfMission:
            switch (list.highlight) {
            case 0: MenuScreen::OpenSaveScreen(); break;
            case 1: Restart(); break;
            case 2: EndOfGameRequest = 1; break;
            default: break;
            }
            break;
        default:
            UpdateHighlight();
            RunSaveScreen(list);
            break;
        }
    }

private:
    // The quad's picture at its opacity, over whatever the frame holds.
    void DrawBackground()
    {
        if (!background_)
            return;
        Colour white;
        white.Set(1, 1, 1, std::clamp(opacity_, 0.0f, 1.0f));
        background_->Lights().SetEmissive(white);
        background_->SetZ(ScreenCamera::kQuadDepth);
        background_->SetRect(left_, top_, left_ + width_, top_ + height_);
        background_->Draw(ScreenCamera::Get());
    }

    // The part of the row's text typed out by now.
    static std::string_view Typed(MenuSlotRow& row, std::string_view text, int64_t now)
    {
        if (row.shown.text.View() != text)
            row.shown.text = MenuText::Owned(std::string(text));
        row.shown.Reveal(now);
        return row.shown.ShownText();
    }

    void DrawRows(int64_t now)
    {
        MenuSlotList& list = g_lists[size_t(kind_)];
        if (kind_ == kInGameMenu || kind_ == kEndOfMission) {
            const size_t visible = std::min<size_t>(list.rows.size(), 5);
            for (size_t i = 0; i < visible; ++i) {
                MenuSlotRow& row = list.rows[i];
                Text::DrawSmall(Typed(row, row.text, now), row.x, row.y,
                                int(i) == list.highlight ? kHighlightColour : kRowColour);
            }
            return;
        }
        // Save and load screens: six rows from the scroll, then the name field.
        const size_t first = std::min<size_t>(list.rows.size(), size_t(std::max(0, list.scroll)));
        const size_t last = std::min<size_t>(list.rows.size(), first + 6);
        for (size_t i = first; i < last; ++i) {
            const float y = top_ + (0.236f + 0.067f * float(i - first)) * height_;
            MenuSlotRow& row = list.rows[i];
            Text::DrawSmall(Typed(row, ShownName(row.text), now), left_ + 0.088f * width_, y,
                            int(i) == list.highlight ? kHighlightColour : kRowColour);
        }
        Text::DrawSmall(g_nameField, left_ + 0.088f * width_, top_ + 0.16f * height_, kHighlightColour);
        if (list.highlight >= 0 && size_t(list.highlight) < list.rows.size()) {
            const std::array<std::string, 2> details = SaveDetails(list.rows[size_t(list.highlight)]);
            Text::DrawSmall(details[0], left_ + 0.088f * width_, top_ + 0.92f * height_, kRowColour);
            Text::DrawSmall(details[1], left_ + 0.088f * width_, top_ + 0.987f * height_, kRowColour);
        }
    }

    std::unique_ptr<TextureQuad> background_;

    void UpdateHighlight()
    {
        MenuSlotList& list = g_lists[kind_];
        if (kind_ == kSaveScreen || kind_ == kLoadScreen) {
            const float u = (g_pointerX - left_) / width_, v = (g_pointerY - top_) / height_;
            int id = HitTestSaveScreen(u, v, list.rows.size() - std::min<size_t>(list.rows.size(), size_t(list.scroll)));
            list.highlight = id < kNone ? id + list.scroll : id;
            return;
        }
        HudView& view = HudView::Current();
        const float charW = kCharWidth / ScreenSize(view.ScreenWidth()), lineH = kLineHeight / ScreenSize(view.ScreenHeight());
        list.highlight = kNone;
        const size_t visible = std::min<size_t>(list.rows.size(), 5);
        for (size_t i = 0; i < visible; ++i) {
            const MenuSlotRow& row = list.rows[i];
            const float w = charW * float(row.text.size());
            if (g_pointerX >= row.x && g_pointerX < row.x + w && g_pointerY >= row.y && g_pointerY < row.y + lineH) {
                list.highlight = int(i);
                return;
            }
        }
    }

    void RunSaveScreen(MenuSlotList& list)
    {
        const int id = list.highlight;
        switch (id) {
        case kNone: return;
        case kBack: MenuScreen::OpenInGameMenu(); return;
        case kScrollUp:
        case kScrollDown: {
            const int last = std::max(0, int(list.rows.size()) - 1);
            list.scroll = std::clamp(list.scroll + (id == kScrollUp ? -1 : 1), 0, last);
            if (list.scroll == 0 || list.scroll == last)
                list.highlight = kNone;
            return;
        }
        // The buttons act as Return does on the typed name: one path checks
        // the file before the level stops, and shows a failed save.
        case kLoad:
            if (!g_nameField.empty()) {
                SaveScreen::Name().Set(g_nameField);
                if (!SaveScreen::Load())
                    HudView::Current().SetCursorMode(0);
            }
            return;
        case kSave:
            if (!g_nameField.empty()) {
                SaveScreen::Name().Set(g_nameField);
                SaveScreen::Save();
            }
            return;
        case kDelete:
            if (!g_nameField.empty()) {
                SaveScreen::Name().Set(g_nameField);
                SaveScreen::Delete();
            }
            return;
        default:
            if (id >= 0 && size_t(id) < list.rows.size()) {
                g_nameField = list.rows[size_t(id)].text.substr(0, kNameFieldLength);
                if (EndsWithSav(g_nameField))
                    g_nameField.resize(g_nameField.size() - 4);
            }
            return;
        }
    }
};

MenuScreen* Create(int kind)
{
    auto* screen = new SlotScreen(kind, 0);
    g_slots[size_t(kind)] = screen;
    g_currentList = kind;
    g_lists[size_t(kind)].rows.clear();
    ResetList(g_lists[size_t(kind)]);
    screen->Activate();
    return screen;
}

void AddCentredRows(int kind, std::initializer_list<uint32_t> texts)
{
    HudView& view = HudView::Current();
    const Quad quad = QuadFor(kind);
    const float charW = kCharWidth / ScreenSize(view.ScreenWidth()), lineH = kLineHeight / ScreenSize(view.ScreenHeight());
    float y = quad.top + 0.08f;
    for (uint32_t id : texts) {
        const char* found = StringTable::Global().Find(id);
        std::string text = found ? found : "";
        const float x = 0.5f - charW * float(text.size()) / 2;
        g_lists[size_t(kind)].rows.push_back({std::move(text), x, y, 0, {}, {}, {}, {}});
        y += lineH;
    }
}

bool OpenSaveOrLoad(int kind)
{
    if (GameView::UpgradeOpen() || g_slots[size_t(kind)])
        return false;
    std::vector<std::string> names = ListSavedGames();
    g_nameField.clear();
    const int other = kind == MenuScreen::kSaveScreen ? MenuScreen::kLoadScreen : MenuScreen::kSaveScreen;
    for (int closing : {int(MenuScreen::kInGameMenu), other})
        if (g_slots[size_t(closing)])
            g_slots[size_t(closing)]->BeginClose();
    Create(kind);
    // Typed keys go to the save screen's name field (the shell's input).
    SaveScreen::SetMode(kind == MenuScreen::kSaveScreen, kind == MenuScreen::kLoadScreen);
    SaveScreen::Name().Clear();
    const Quad quad = QuadFor(kind);
    MenuSlotList& list = g_lists[size_t(kind)];
    for (size_t n = 0; n < names.size(); ++n) {
        MenuSlotRow row{names[n], quad.left + 0.088f * quad.width,
                        quad.top + (0.236f + 0.067f * float(n)) * quad.height, 0, {}, {}, {}, {}};
        if (SavedGame::ReadHeader(names[n].c_str())) {
            row.levelStart = SavedGame::Last().levelStart;
            row.commandFile = SavedGame::Last().commandFile;
            row.scriptName = SavedGame::Last().scriptName;
        }
        const std::filesystem::path path = SavedGames::PathOf(names[n]);
        if (!path.empty())
            row.savedAt = platform::FileModificationTime(path);
        list.rows.push_back(std::move(row));
    }
    return true;
}

} // namespace

void MenuScreen::OpenInGameMenu()
{
    if (g_slots[kInGameMenu])
        return;
    for (int kind : {int(kSaveScreen), int(kLoadScreen)}) {
        if (g_slots[size_t(kind)]) {
            g_slots[size_t(kind)]->BeginClose();
            ResetList(g_lists[size_t(kind)]);
        }
    }
    if (!AnyOpen())
        Pause();
    Create(kInGameMenu);
    AddCentredRows(kInGameMenu, {7077, 7065, 7066, 7067, 7068});
}

void MenuScreen::OpenSaveScreen() { OpenSaveOrLoad(kSaveScreen); }
void MenuScreen::OpenLoadScreen() { OpenSaveOrLoad(kLoadScreen); }
bool MenuScreen::OnSaveKey() { return OpenSaveOrLoad(kSaveScreen); }
bool MenuScreen::OnLoadKey() { return OpenSaveOrLoad(kLoadScreen); }

void MenuScreen::OpenFromServer()
{
    if (g_slots[kEndOfMission])
        return;
    Create(kEndOfMission);
    AddCentredRows(kEndOfMission, {7065, 7067, 7068});
}

void MenuScreen::BeginClose()
{
    if (closing_)
        return;
    closing_ = true;
    animationStart_ = HudView::Current().RealNow();
    g_lists[size_t(g_currentList)].highlight = kNone;
}

void MenuScreen::Finish(int kind)
{
    if (kind < 0 || kind >= kSlotCount || !g_slots[size_t(kind)])
        return;
    g_slots[size_t(kind)] = nullptr;
    g_lists[size_t(kind)].rows.clear();
    ResetList(g_lists[size_t(kind)]);
    if (!AnyOpen())
        Resume();
}

void MenuScreen::ReleaseGameHold()
{
    if (g_holdingGame) {
        g_holdingGame = false;
        GameState::Leave();
    }
}

bool MenuScreen::AnyOpen()
{
    return std::any_of(g_slots.begin(), g_slots.end(), [](auto* s) { return s != nullptr; });
}
bool MenuScreen::IsInGameMenuOpen() { return g_slots[kInGameMenu] != nullptr; }
bool MenuScreen::IsEndOfMissionScreenOpen() { return g_slots[kEndOfMission] != nullptr; }

MenuScreen* MenuScreen::Slot(int kind)
{
    return kind >= 0 && kind < kSlotCount ? g_slots[size_t(kind)] : nullptr;
}
bool MenuScreen::TakesTypedName()
{
    return std::any_of(g_slots.begin() + kSaveScreen, g_slots.begin() + kLoadScreen + 1,
                       [](const MenuScreen* s) { return s && !s->Closing(); });
}

MenuSlotList& MenuScreen::List(int slot) { return g_lists[size_t(std::clamp(slot, 0, kSlotCount - 1))]; }

void MenuScreen::ResetLists(bool titled)
{
    static constexpr std::array<uint32_t, kSlotCount> kTitles{251, 7065, 7066, 231};
    for (size_t slot = 0; slot < g_lists.size(); ++slot) {
        g_lists[slot].rows.clear();
        ResetList(g_lists[slot]);
        g_lists[slot].title = titled ? kTitles[slot] : 0;
    }
}
int MenuScreen::CurrentList() { return g_currentList; }
std::string& MenuScreen::NameField() { return g_nameField; }

void MenuScreen::SetPointer(float x, float y)
{
    g_pointerMoved = x != g_pointerX || y != g_pointerY;
    g_pointerX = x;
    g_pointerY = y;
}

float MenuScreen::PointerX() { return g_pointerX; }
float MenuScreen::PointerY() { return g_pointerY; }

void MenuScreen::DrawAll(int64_t now)
{
    // A screen may end itself while drawing; hold each for the pass.
    std::vector<MenuScreen*> screens = All();
    for (MenuScreen* s : screens)
        s->AddRef();
    for (MenuScreen* s : screens)
        s->Draw(now);
    for (MenuScreen* s : screens)
        s->Release();
    g_pointerMoved = false;
}

void MenuScreen::ReleaseAll()
{
    for (int kind = 0; kind < kSlotCount; ++kind) {
        if (MenuScreen* screen = g_slots[size_t(kind)]) {
            Finish(kind);
            screen->Release();
        }
    }
    g_currentList = 0;
    g_nameField.clear();
}

std::array<std::string, 2> MenuScreen::SaveDetails(const MenuSlotRow& row)
{
    const auto label = [](uint32_t id) {
        const char* text = StringTable::Global().Find(id);
        return std::string(text ? text : "");
    };
    std::array<std::string, 2> lines{label(7069), label(7070)};
    if (!row.scriptName.empty())
        lines[0] += " " + row.scriptName;
    if (row.savedAt) {
        const std::time_t when = std::time_t(*row.savedAt);
        std::tm local{};
        char stamp[32];
        if (localtime_r(&when, &local) && std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M", &local) > 0)
            lines[1] += std::string(" ") + stamp;
    }
    return lines;
}

int MenuScreen::HitTestSaveScreen(float u, float v, size_t rowCount)
{
    if (!(u > 0.0625f && u < 0.9375f))
        return kNone;
    if (v > 0.046875f && v < 0.140625f) {
        if (u < 0.28125f)
            return kLoad;
        if (u < 0.5f)
            return kSave;
        if (u < 0.71875f)
            return kDelete;
        return kBack;
    }
    if (v > 0.236328125f && v < 0.904296875f) {
        const int row = int(((v - 0.236328125f) * 0.75f + 0.0235f) * 14.925373f);
        return size_t(row) < rowCount ? row : kNone;
    }
    return kNone;
}

void MenuScreen::InstallHooks()
{
    GameView::Screens& screens = GameView::GetScreens();
    screens.menuOpen = [] { return AnyOpen(); };
    screens.menuBeginClose = [] {
        for (MenuScreen* s : g_slots)
            if (s)
                s->BeginClose();
    };
    screens.openInGameMenu = [] { OpenInGameMenu(); };
    Session::Hooks().releasePause = ReleaseGameHold;
    // The typed name of the save and load screens: keys give their text,
    // a confirmed name closes the screen that took it.
    SaveScreen::Hooks& typing = SaveScreen::GetHooks();
    typing.keyText = [](uint32_t scanCode, uint32_t flags) {
        return KeyNames::ScanCodeName(scanCode, (flags & kFlagShift) != 0);
    };
    typing.openInGameMenu = [] { OpenInGameMenu(); };
    typing.beginClose = [] {
        for (int kind : {int(kSaveScreen), int(kLoadScreen)})
            if (g_slots[size_t(kind)])
                g_slots[size_t(kind)]->BeginClose();
    };
    typing.show = [](const std::string& text) { TextConsole::Print(text.c_str()); };
    // A level-start save opens its level's briefing.
    SavedGame::GetHooks().enterBriefing = [](int32_t flag) { Briefing::Enter(flag != 0); };
}

namespace InGameScreens {
void Shutdown()
{
    MenuScreen::ReleaseAll();
    ParticleTester::ReleaseCurrent();
}
} // namespace InGameScreens
