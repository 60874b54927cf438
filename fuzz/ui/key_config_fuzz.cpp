// Any bytes as the key file given to KeyConfig::Read: every binding ends on a
// key, every value taken lies in its range, and what is then written reads
// back to the same state.
#include "ui/key_config.h"

#include "app/directories.h"
#include "app/display_mode.h"
#include "app/string_table.h"
#include "platform/resources.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;

// The bindings' names as the seeds spell them: without them no line of a
// file names a binding and the name matching is never reached.
void LoadBindingNames()
{
    const std::map<uint32_t, std::string> names = {
        {6020, "Turn Left"},      {6021, "Turn Right"},     {6022, "Move Forward"},      {6023, "Move Back"},
        {6024, "Camera Up"},      {6025, "Camera Down"},    {6026, "Next Unit"},         {6027, "Previous Unit"},
        {6028, "Lock Camera"},    {6029, "Pause"},          {6031, "Next Squad Member"}, {6033, "Update Frame"},
        {6034, "Resolve Alerts"}, {6035, "Crouch"},         {6036, "Upgrade Screen"},    {3046, "Item 1"},
        {3048, "Item 2"},         {3047, "Item 3"},         {6037, "Item 4"},            {6038, "Ready Weapon"}};
    const std::vector<uint8_t> bytes = platform::BuildStringTableLibrary(names);
    if (const auto library = platform::ResourceLibrary::FromBytes(bytes.data(), bytes.size(), nullptr))
        StringTable::Global().Load(*library, StringTable::kFirstId, StringTable::kLastId);
}

const fs::path& Root()
{
    static const fs::path root = [] {
        LoadBindingNames();
        fs::path r = fs::temp_directory_path() / ("ui-key-config-fuzz-" + std::to_string(getpid()));
        fs::create_directories(r / "scripts");
        // Nothing is left behind in the temporary folder.
        std::atexit([] {
            std::error_code ignored;
            fs::remove_all(fs::temp_directory_path() / ("ui-key-config-fuzz-" + std::to_string(getpid())), ignored);
        });
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
