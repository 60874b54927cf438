#include "console/console_placeholders.h"

#include "app/app_state.h"
#include "app/demo.h"
#include "app/directories.h"
#include "platform/data_path.h"
#include "app/input_event.h"

#include <cstdio>

bool PlayerControlsOff = false;

namespace TextConsole {

State& Get()
{
    static State state;
    return state;
}

void Create() { Get() = State{}; }
bool IsOpen() { return Get().displayMode == 0; }
bool CloseOnClick() { return false; }
void Draw(int64_t) {}
void ExecuteAtFullAccess(const char*) {}
void HandleKey(const InputEvent&) {}

void Print(const char* text)
{
    Get().lines.emplace_back(text ? text : "");
    std::fprintf(stderr, "console: %s\n", text ? text : "");
}

void Shutdown() { Get().lines.clear(); }

void Toggle()
{
    State& s = Get();
    s.displayMode = s.displayMode == 0 ? 1 : 0;
}

} // namespace TextConsole

namespace CommandScript {
bool IsPending() { return false; }
bool NotifyClick() { return false; }
void Step() {}
} // namespace CommandScript

void Command_Playback()
{
    const AppState s = CurrentAppState();
    if (s == AppState::Playing || s == AppState::LevelStarted) {
        Demo::Global().playbackPosition = 0;
        SetAppState(AppState::Playback);
    }
}

namespace Demo {

bool LoadFile(const char* name)
{
    // A relative name is the start directory's (any letter case).
    std::filesystem::path path = name ? name : "";
    if (path.is_relative()) {
        const auto& start = app::DataDirectories::Global().StartDirectory();
        if (auto found = platform::ResolveDataPath(start.empty() ? std::filesystem::path(".") : start, name ? name : ""))
            path = *found;
    }
    std::string error;
    Buffers& buffers = Global();
    if (!LoadInto(buffers, path, error)) {
        const std::string message = "Demo not loaded: " + error;
        TextConsole::Print(message.c_str());
        return false;
    }
    const AppState s = CurrentAppState();
    if (s == AppState::Playing || s == AppState::LevelStarted) {
        buffers.playbackPosition = 0;
        SetAppState(AppState::Playback);
    }
    return true;
}

} // namespace Demo
