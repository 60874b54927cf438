#include "console/demo_commands.h"

#include "app/app_state.h"
#include "app/demo.h"
#include "console/command_files.h"
#include "console/text_console.h"
#include "platform/data_path.h"

#include <fstream>
#include <system_error>

namespace {

bool StartsPlayback()
{
    const AppState s = CurrentAppState();
    return s == AppState::Playing || s == AppState::LevelStarted;
}

bool LoadPath(const std::filesystem::path& path)
{
    std::string error;
    Demo::Buffers& buffers = Demo::Global();
    if (!Demo::LoadInto(buffers, path, error)) {
        TextConsole::PrintFailure("Demo not loaded: " + error);
        return false;
    }
    if (StartsPlayback()) {
        buffers.playbackPosition = 0;
        SetAppState(AppState::Playback);
    }
    return true;
}

} // namespace

void Command_Playback()
{
    if (StartsPlayback()) {
        Demo::Global().playbackPosition = 0;
        SetAppState(AppState::Playback);
    }
}

void Command_Record()
{
    if (!StartsPlayback())
        return;
    SetAppState(AppState::Recording);
    if (TextConsole::IsOpen())
        TextConsole::Toggle();
}

void Command_SaveDemo()
{
    const std::string name = TextConsole::ReadRestOfLine();
    const auto path = CommandFiles::Create(CommandFiles::DemoFolder(), name, "SAVE");
    if (!path)
        return;
    const Demo::Buffers& buffers = Demo::Global();
    Demo::File file;
    file.levelScript = buffers.levelScript;
    file.commandFile = buffers.commandFile;
    const uint32_t n = buffers.count < Demo::kCapacity ? buffers.count : Demo::kCapacity;
    file.events.assign(buffers.events.begin(), buffers.events.begin() + n);
    file.times.assign(buffers.times.begin(), buffers.times.begin() + n);
    const std::vector<uint8_t> bytes = Demo::Serialize(file);
    // Written beside the target and renamed over it, so a failed write never
    // leaves a truncated demo where a good one was.
    std::filesystem::path temp = *path;
    temp += ".tmp";
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    out.close();
    std::error_code ec;
    if (!out || (std::filesystem::rename(temp, *path, ec), ec)) {
        std::filesystem::remove(temp, ec);
        TextConsole::PrintFailure("SAVE: the demo could not be written: " + name);
    }
}

void Command_LoadDemo()
{
    const std::string name = TextConsole::ReadRestOfLine();
    if (const auto path = CommandFiles::Open(CommandFiles::DemoFolder(), name, "LOAD"))
        LoadPath(*path);
}

namespace Demo {

bool LoadFile(const char* name)
{
    std::filesystem::path path = name ? name : "";
    if (path.is_relative()) {
        if (const auto folder = CommandFiles::DemoFolder())
            if (auto found = platform::ResolveDataPath(*folder, name ? name : ""))
                path = *found;
    }
    return LoadPath(path);
}

} // namespace Demo
