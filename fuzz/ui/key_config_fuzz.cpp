// Any bytes as the key file given to KeyConfig::Read: every binding ends on a
// key, every value taken lies in its range, and what is then written reads
// back to the same state.
#include "ui/key_config.h"

#include "app/directories.h"
#include "app/display_mode.h"

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

const fs::path& Root()
{
    static const fs::path root = [] {
        fs::path r = fs::temp_directory_path() / ("ui-key-config-fuzz-" + std::to_string(getpid()));
        fs::create_directories(r / "scripts");
        auto& dirs = app::DataDirectories::Global();
        dirs.SetStartDirectory(r);
        dirs.SetPath(app::kScriptsDirectory, "scripts");
        return r;
    }();
    return root;
}

KeyConfig::Contents ReadState(KeyConfig::DisplaySettings& settings)
{
    settings = KeyConfig::kDefaultDisplaySettings;
    KeyBindings::Init();
    KeyConfig::CurrentOptions() = {};
    KeyConfig::Modes() = {};
    App::CurrentMode() = {640, 480, 16, kModeWindowed};
    const uint32_t device = KeyConfig::Read(settings);
    return KeyConfig::Gather(settings, device);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const fs::path file = Root() / "scripts" / KeyConfig::kFileName;
    if (FILE* f = std::fopen(file.c_str(), "wb")) {
        std::fwrite(data, 1, size, f);
        std::fclose(f);
    }
    KeyConfig::DisplaySettings settings;
    const KeyConfig::Contents first = ReadState(settings);
    for (uint32_t key : first.keys)
        if (key < KeyBindings::kLowestKeyCode || key > KeyBindings::kHighestKeyCode)
            __builtin_trap();
    if (settings[KeyConfig::kShadowMode] > 4 || settings[KeyConfig::kColourDepthIndex] > 2 ||
        settings[KeyConfig::kTextureSetting] > 3 || App::CurrentMode().width < 320 || App::CurrentMode().height < 200)
        __builtin_trap();

    KeyConfig::DisplaySettingsInUse() = settings;
    KeyConfig::DeviceInUse() = uint32_t(first.values[8]);
    if (!KeyConfig::Write())
        __builtin_trap();
    const KeyConfig::Contents written = KeyConfig::Gather(settings, KeyConfig::DeviceInUse());
    KeyConfig::DisplaySettings again;
    const KeyConfig::Contents second = ReadState(again);
    if (second.keys != written.keys || second.values != written.values)
        __builtin_trap();
    return 0;
}
