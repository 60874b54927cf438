// The saved-game files the save and load screens list, the name field they
// share, and the slot actions save, load and delete. Saves live in the
// user's data folder ($XDG_DATA_HOME/trevok/saves, else
// ~/.local/share/trevok/saves); ".sav" is matched ignoring case.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

struct InputEvent;

namespace SavedGames {
// Follows XDG_DATA_HOME and HOME at every call; created on the first save.
std::filesystem::path Directory();
// Where a save of this name lives; empty for a name holding a separator,
// "." or "..", so a name never leaves the folder.
std::filesystem::path PathOf(std::string_view name);
// Empties the list, then adds the matching files by name. 0 when nothing
// matches, else the number of files plus one.
int List(std::string_view pattern);
// Adds the matches to the list as it stands (same result rule).
int ListMore(std::string_view pattern);
const std::vector<std::string>& Entries();
} // namespace SavedGames

bool EndsWithNoCase(std::string_view text, std::string_view suffix);
// Appends `extension` unless the name already ends with it (any case); a
// name too long for `limit` is cut first so that both fit.
void AppendExtension(std::string& name, std::string_view extension, size_t limit);

// The typed name: at most 19 characters, a cursor from 0 to its length.
class SaveNameField {
public:
    static constexpr size_t kMaxTyped = 19;
    static constexpr size_t kMaxWithExtension = 20;
    static constexpr size_t kCutBeforeExtension = 16;

    enum class Action { None, OpenMenu, Confirm };

    // `keyText` is what the key types with the modifiers held (empty: none).
    // Separators and control characters are never inserted.
    Action OnKey(uint32_t scanCode, std::string_view keyText);

    // The name with ".sav" (20 characters at most).
    std::string FileName() const;
    void Clear()
    {
        text_.clear();
        cursor_ = 0;
    }
    void Set(std::string text);
    const std::string& Text() const { return text_; }
    size_t Cursor() const { return cursor_; }

private:
    std::string text_;
    size_t cursor_ = 0;
};

namespace SaveScreen {
SaveNameField& Name();
// Return saves in save mode and loads in load mode.
void SetMode(bool save, bool load);

// Filled by the interface: the key's text, the menu and mouse actions, and
// showing a message (a failed save is shown).
struct Hooks {
    std::function<std::string(uint32_t scanCode, uint32_t modifiers)> keyText;
    std::function<void()> openInGameMenu;
    std::function<void()> beginClose;
    std::function<void()> resetMouseMode;
    std::function<void(const std::string&)> show;
};
Hooks& GetHooks();

// False when the save could not be written (shown through the hooks).
bool Save();
// Checks the file whole before the running session stops; false (session
// untouched) when it is missing or damaged.
bool Load();
void Delete();
} // namespace SaveScreen
