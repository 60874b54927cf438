#include "session/save_slots.h"

#include "app/app_state.h"
#include "app/input_event.h"
#include "platform/os.h"
#include "session/saved_game.h"
#include "session/session_placeholders.h"

#include <cctype>
#include <cstdlib>

namespace fs = std::filesystem;

namespace SavedGames {
namespace {
std::vector<std::string> g_entries;

int Add(std::string_view pattern)
{
    int found = 0;
    for (const platform::DirectoryEntry& entry : platform::FindFiles(Directory(), pattern)) {
        if (entry.isDirectory)
            continue;
        g_entries.push_back(entry.name);
        ++found;
    }
    return found == 0 ? 0 : found + 1;
}
} // namespace

fs::path Directory()
{
    const char* data = std::getenv("XDG_DATA_HOME");
    if (data && *data == '/')
        return fs::path(data) / "trevok" / "saves";
    const char* home = std::getenv("HOME");
    return fs::path(home && *home ? home : "/tmp") / ".local" / "share" / "trevok" / "saves";
}

fs::path PathOf(std::string_view name)
{
    if (name.empty() || name == "." || name == ".." || name.find_first_of("/\\") != std::string_view::npos ||
        name.find('\0') != std::string_view::npos)
        return {};
    return Directory() / std::string(name);
}

int List(std::string_view pattern)
{
    g_entries.clear();
    return Add(pattern);
}

int ListMore(std::string_view pattern) { return Add(pattern); }

const std::vector<std::string>& Entries() { return g_entries; }
} // namespace SavedGames

bool EndsWithNoCase(std::string_view text, std::string_view suffix)
{
    if (text.size() < suffix.size())
        return false;
    auto tail = text.substr(text.size() - suffix.size());
    for (size_t i = 0; i < suffix.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(tail[i])) != std::tolower(static_cast<unsigned char>(suffix[i])))
            return false;
    }
    return true;
}

void AppendExtension(std::string& name, std::string_view extension, size_t limit)
{
    if (EndsWithNoCase(name, extension))
        return;
    size_t room = limit > extension.size() ? limit - extension.size() : 0;
    if (name.size() > room)
        name.resize(room);
    name += extension;
}

namespace {
// DirectInput scan codes of the keys the field handles itself.
enum ScanCode : uint32_t {
    kEscape = 1,
    kBackspace = 14,
    kTab = 15,
    kReturn = 28,
    kConsoleKey = 41,
    kHome = 199,
    kUp = 200,
    kLeft = 203,
    kRight = 205,
    kEnd = 207,
    kDown = 208,
    kDelete = 211,
};

bool Typeable(char c)
{
    auto u = static_cast<unsigned char>(c);
    return u >= 0x20 && u != 0x7f && c != '/' && c != '\\';
}
} // namespace

SaveNameField::Action SaveNameField::OnKey(uint32_t scanCode, std::string_view keyText)
{
    Action action = Action::None;
    switch (scanCode) {
    case kEscape:
        action = Action::OpenMenu;
        break;
    case kBackspace:
        if (cursor_ > 0)
            text_.erase(--cursor_, 1);
        break;
    case kTab:
    case kConsoleKey:
    case kUp:
    case kDown:
        break;
    case kReturn:
        if (!text_.empty()) {
            cursor_ = 0;
            action = Action::Confirm;
        }
        break;
    case kHome:
        cursor_ = 0;
        break;
    case kLeft:
        if (cursor_ > 0)
            --cursor_;
        break;
    case kRight:
        if (cursor_ < text_.size())
            ++cursor_;
        break;
    case kEnd:
        cursor_ = text_.size();
        break;
    case kDelete:
        if (cursor_ < text_.size())
            text_.erase(cursor_, 1);
        break;
    default:
        for (char c : keyText) {
            if (Typeable(c))
                text_.insert(cursor_++, 1, c);
        }
        break;
    }
    if (text_.size() > kMaxTyped)
        text_.resize(kMaxTyped);
    if (cursor_ > text_.size())
        cursor_ = text_.size();
    return action;
}

std::string SaveNameField::FileName() const
{
    std::string name = text_;
    if (!EndsWithNoCase(name, ".sav") && name.size() > kCutBeforeExtension)
        name.resize(kCutBeforeExtension);
    AppendExtension(name, ".sav", kMaxWithExtension);
    return name;
}

void SaveNameField::Set(std::string text)
{
    text_ = std::move(text);
    cursor_ = text_.size();
    OnKey(0, {});
}

namespace SaveScreen {
namespace {
SaveNameField g_name;
bool g_saveMode = false, g_loadMode = false;
Hooks g_hooks;

void Call(const std::function<void()>& hook)
{
    if (hook)
        hook();
}
} // namespace

SaveNameField& Name() { return g_name; }

void SetMode(bool save, bool load)
{
    g_saveMode = save;
    g_loadMode = load;
}

Hooks& GetHooks() { return g_hooks; }

void OnKey(const InputEvent& event)
{
    if (event.message != kMsgKeyDown)
        return;
    std::string text = g_hooks.keyText ? g_hooks.keyText(event.scanCode, event.flags) : std::string();
    switch (g_name.OnKey(event.scanCode, text)) {
    case SaveNameField::Action::OpenMenu:
        Call(g_hooks.openInGameMenu);
        return;
    case SaveNameField::Action::Confirm:
        if (g_saveMode)
            Save();
        else if (g_loadMode)
            Load();
        break;
    case SaveNameField::Action::None:
        if (event.scanCode != kReturn)
            return;
        break;
    }
    Call(g_hooks.resetMouseMode);
}

bool Save()
{
    std::string file = g_name.FileName();
    bool ok = SaveGame(file.c_str(), 1);
    if (!ok && g_hooks.show)
        g_hooks.show("Could not save the game \"" + file + "\"");
    g_name.Clear();
    Call(g_hooks.beginClose);
    return ok;
}

bool Load()
{
    std::string file = g_name.FileName();
    Call(g_hooks.beginClose);
    g_name.Clear();
    std::string error;
    // The whole file is checked before the running session is touched.
    auto bytes = SavedGame::ReadSave(file, &error);
    SavedGame::File checked;
    if (!bytes || !SavedGame::Parse(*bytes, checked, &error)) {
        if (g_hooks.show)
            g_hooks.show(file + ": " + error);
        return false;
    }
    EndSession();
    StartSession(false);
    if (!SavedGame::Load(*bytes, &error)) {
        // The session has ended; the player is told why.
        if (g_hooks.show)
            g_hooks.show(file + ": " + error);
        return false;
    }
    if (CurrentAppState() != AppState::Briefing)
        SetAppState(AppState::LevelStarted);
    return true;
}

void Delete()
{
    fs::path path = SavedGames::PathOf(g_name.FileName());
    if (!path.empty())
        platform::RemoveFile(path);
    g_name.Clear();
    Call(g_hooks.beginClose);
}
} // namespace SaveScreen
