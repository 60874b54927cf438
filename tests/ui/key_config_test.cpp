// The key file: written byte for byte as an independent writer lays it out,
// read back unchanged, and hand-built damaged files that change only what
// they soundly hold. A failed write leaves the old file in place.
#include "ui/key_config.h"

#include "app/directories.h"
#include "app/display_mode.h"
#include "app/string_table.h"
#include "console/text_console.h"
#include "support/string_texts.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <unistd.h>

namespace KeyConfig {
namespace {

namespace fs = std::filesystem;
using namespace KeyBindings;

const std::map<uint32_t, std::string> kNames = {
    {6020, "Turn Left"},     {6021, "Turn Right"},    {6022, "Move Forward"},    {6023, "Move Back"},
    {6024, "Camera Up"},     {6025, "Camera Down"},   {6026, "Next Unit"},       {6027, "Previous Unit"},
    {6028, "Lock Camera"},   {6029, "Pause"},         {6031, "Next Squad Member"}, {6033, "Update Frame"},
    {6034, "Resolve Alerts"}, {6035, "Crouch"},       {6036, "Upgrade Screen"},  {3046, "Item 1"},
    {3048, "Item 2"},        {3047, "Item 3"},        {6037, "Item 4"},          {6038, "Ready Weapon"},
};

// The file's values in order, as a fresh game holds them.
constexpr std::array<int32_t, kValueCount> kDefaultValues = {0, 0,   14,  1, 0,   0,   0, 0,   0, 0,   0, 0,
                                                             0, 32,  0,   2, 0,   640, 480, 1, 640, 480, 0};

void LoadNames(const std::map<uint32_t, std::string>& names)
{
    LoadGlobalStringTable(names);
    KeyBindings::Init();
}

std::vector<uint8_t> ReadBytes(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

class KeyFile : public ::testing::Test {
protected:
    void SetUp() override
    {
        root_ = fs::temp_directory_path() / ("trevok_keys_" + std::to_string(::getpid()));
        fs::remove_all(root_);
        fs::create_directories(root_ / "Scripts");
        auto& dirs = app::DataDirectories::Global();
        dirs.Clear();
        dirs.SetStartDirectory(root_);
        dirs.SetPath(app::kScriptsDirectory, "scripts");
        LoadNames(kNames);
        CurrentOptions() = {};
        Modes() = {};
        DisplaySettingsInUse() = kDefaultDisplaySettings;
        DeviceInUse() = 0;
        TextConsole::SetTimedLineLimit(TextConsole::kMaxLines);
        App::CurrentMode() = {640, 480, 16, kModeWindowed};
    }
    void TearDown() override
    {
        app::DataDirectories::Global().Clear();
        app::DataDirectories::Global().SetStartDirectory({});
        StringTable::Global().Free();
        KeyBindings::Init();
        fs::remove_all(root_);
    }
    fs::path KeyFilePath() const { return root_ / "Scripts" / kFileName; }
    void PutFixture(const std::string& name)
    {
        fs::copy_file(fs::path(std::getenv("TREVOK_FIXTURES")) / "ui" / "keys" / name, KeyFilePath(),
                      fs::copy_options::overwrite_existing);
    }
    std::array<uint32_t, kCount> Keys() const
    {
        std::array<uint32_t, kCount> keys{};
        for (int i = 0; i < kCount; ++i)
            keys[size_t(i)] = Key(i);
        return keys;
    }
    static std::array<uint32_t, kCount> DefaultKeys()
    {
        std::array<uint32_t, kCount> keys{};
        for (int i = 0; i < kCount; ++i)
            keys[size_t(i)] = DefaultKey(i);
        return keys;
    }
    // Reads the file as start-up does and returns every value it would write.
    std::pair<uint32_t, Contents> ReadAsStartUp(DisplaySettings& settings)
    {
        settings = kDefaultDisplaySettings;
        const uint32_t device = Read(settings);
        return {device, Gather(settings, device)};
    }

    fs::path root_;
};

// The independent writer: names, codes and values in, the file's bytes out.
std::vector<uint8_t> PythonKeyFile(const fs::path& folder, const Contents& c)
{
    std::ostringstream args;
    for (int i = 0; i < kCount; ++i)
        args << " '" << Name(i) << "' " << c.keys[size_t(i)];
    std::ostringstream vals;
    for (int32_t v : c.values)
        vals << v << ",";
    const fs::path script = folder / "writer.py", out = folder / "python.cfg";
    std::ofstream(script) << R"PY(import struct, sys
args = sys.argv[2:]
text = b''.join(a.encode('latin-1') + b'\r\n' for a in args)
values = [int(v) for v in sys.argv[1].split(',') if v]
raw = b''.join(struct.pack('<i', v) for v in values)
open(')PY" << out.string()
                          << R"PY(', 'wb').write(text + b'data\r\n' + raw.replace(b'\n', b'\r\n'))
)PY";
    const std::string command = "python3 " + script.string() + " " + vals.str() + args.str();
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    return ReadBytes(out);
}

TEST_F(KeyFile, WrittenAsTheLayoutSaysByteForByte)
{
    // Values whose bytes hold 0x0A, 0x0D before 0x0A, and 0x1A.
    SetKey(kCrouch, 10);
    SetKey(kPause, 13);
    CurrentOptions().reserved = 0x0A0D0D0A;
    CurrentOptions().option277 = 2;
    DisplaySettingsInUse()[kHiddenValue] = 0x1A0A;
    DeviceInUse() = 0x1A0A0D0Au;
    App::CurrentMode() = {1024, 768, 32, kModeWindowed};
    ASSERT_TRUE(Write());
    const std::vector<uint8_t> written = ReadBytes(KeyFilePath());
    Contents expected = Gather(DisplaySettingsInUse(), DeviceInUse());
    EXPECT_EQ(expected.values[17], 1024) << "the mode in use is remembered as the windowed one";
    EXPECT_EQ(written, PythonKeyFile(root_, expected));
}

TEST_F(KeyFile, WhatIsWrittenIsReadBack)
{
    const std::array<uint32_t, kCount> keys = {16, 17, 18, 10, 11, 12, 13, 14, 15, 20,
                                               21, 22, 23, 24, 25, 26, 30, 31, 32, 33};
    for (int i = 0; i < kCount; ++i)
        SetKey(i, keys[size_t(i)]);
    CurrentOptions() = {1, 2, 0, 1, 0x0A0A0A0A, 1, 1};
    TextConsole::SetTimedLineLimit(7); // the console's own limit is what is kept
    DisplaySettingsInUse() = {1, 1, 1, 1, 1, 0x0A, 0x1A, 3, 4, 1};
    DeviceInUse() = 0x0D0A0D0Au;
    App::CurrentMode() = {800, 600, 24, 0};
    ASSERT_TRUE(Write());
    const Contents before = Gather(DisplaySettingsInUse(), DeviceInUse());
    EXPECT_EQ(before.values[2], 7);
    TextConsole::SetTimedLineLimit(TextConsole::kMaxLines);

    KeyBindings::Init();
    CurrentOptions() = {};
    Modes() = {};
    DisplaySettings settings;
    const auto [device, after] = ReadAsStartUp(settings);
    EXPECT_EQ(device, 0x0D0A0D0Au);
    EXPECT_EQ(Keys(), keys);
    EXPECT_EQ(after.values, before.values);
    EXPECT_EQ(settings, DisplaySettingsInUse()) << "the record the display layer takes over";
    EXPECT_EQ(App::CurrentMode(), (DisplayModeSettings{800, 600, 24, 0})) << "full screen: the full-screen pair";
}

TEST_F(KeyFile, StartModeFollowsTheWindowQuestion)
{
    Modes() = {1024, 768, kModeWindowed, 800, 600, 0};
    DisplaySettingsInUse()[kColourDepthIndex] = 1;
    App::CurrentMode() = {1024, 768, 32, kModeWindowed};
    ASSERT_TRUE(Write());
    struct Case {
        uint32_t askedFlags;
        DisplayModeSettings start;
    };
    for (const Case& c : {Case{kModeWindowed, {1024, 768, 24, kModeWindowed}}, Case{0, {800, 600, 24, 0}}}) {
        App::CurrentMode() = {640, 480, 16, c.askedFlags};
        DisplaySettings settings;
        ReadAsStartUp(settings);
        EXPECT_EQ(App::CurrentMode(), c.start) << "asked flags " << c.askedFlags;
    }
}

TEST_F(KeyFile, MissingFileLeavesEverythingAtItsDefault)
{
    SetKey(kLeft, 99);
    KeyBindings::Init();
    DisplaySettings settings;
    const auto [device, contents] = ReadAsStartUp(settings);
    EXPECT_EQ(device, 0u);
    EXPECT_EQ(Keys(), DefaultKeys());
    EXPECT_EQ(contents.values, kDefaultValues);
    EXPECT_EQ(App::CurrentMode(), (DisplayModeSettings{640, 480, 16, kModeWindowed}));
}

struct FixtureCase {
    const char* file;
    std::map<Binding, uint32_t> keys;             // bindings away from their defaults
    std::map<int, int32_t> values;                // values (0-based, file order) away from the defaults
    uint32_t device;
    std::vector<std::string> messages;            // fragments of what standard error says
};

void PrintTo(const FixtureCase& c, std::ostream* os) { *os << c.file; }

class KeyFileFixtures : public KeyFile, public ::testing::WithParamInterface<FixtureCase> {};

TEST_P(KeyFileFixtures, ChangeOnlyWhatTheyHoldSoundly)
{
    const FixtureCase& c = GetParam();
    PutFixture(c.file);
    DisplaySettings settings;
    ::testing::internal::CaptureStderr();
    const auto [device, contents] = ReadAsStartUp(settings);
    const std::string err = ::testing::internal::GetCapturedStderr();

    std::array<uint32_t, kCount> keys = DefaultKeys();
    for (const auto& [b, code] : c.keys)
        keys[size_t(b)] = code;
    EXPECT_EQ(Keys(), keys);
    std::array<int32_t, kValueCount> values = kDefaultValues;
    for (const auto& [i, v] : c.values)
        values[size_t(i)] = v;
    values[8] = int32_t(c.device);
    EXPECT_EQ(contents.values, values);
    EXPECT_EQ(device, c.device);
    for (const std::string& m : c.messages)
        EXPECT_NE(err.find(m), std::string::npos) << "missing \"" << m << "\" in:\n" << err;
    if (c.messages.empty())
        EXPECT_EQ(err, "");
    else
        EXPECT_NE(err.find(kFileName), std::string::npos) << "messages name the file";
}

INSTANTIATE_TEST_SUITE_P(
    HandBuilt, KeyFileFixtures,
    ::testing::Values(
        FixtureCase{"no_data.cfg", {{kLeft, 30}, {kCrouch, 99}}, {}, 0, {}},
        FixtureCase{"upper_case_data.cfg",
                    {{kPause, 25}},
                    {{0, 1}, {1, 2}, {2, 5}, {3, 3}, {4, 1}, {5, 77}, {6, 1}, {7, 1}, {9, 1}, {10, 1}, {12, 2},
                     {13, 24}, {14, 5}, {15, 1}, {16, 1}, {17, 800}, {18, 600}, {20, 1024}, {21, 768}},
                    0x12345678,
                    {}},
        FixtureCase{"short_values.cfg", {}, {{0, 1}, {1, 2}}, 0, {"ends after 2 of 23 values"}},
        FixtureCase{"foreign_names.cfg", {{kRight, 41}}, {}, 0, {}},
        FixtureCase{"values_with_line_bytes.cfg",
                    {{kCrouch, 50}},
                    {{5, 0x1A0A1A0A}, {13, 0x1A}, {17, 0x0A0A}, {18, 0x1A0A}},
                    0x0A0D0D0A,
                    {}},
        FixtureCase{"long_line.cfg", {{kCrouch, 61}}, {}, 0, {"line 1 is longer than 251 characters"}},
        FixtureCase{"out_of_range.cfg",
                    {{kCrouch, 47}},
                    {{0, 1}},
                    0,
                    {"line 2: \"999\" is no key code", "line 4: \"abc\"", "line 6: \"-5\"",
                     "value 2 (option 277)", "value 3 (console line limit)", "value 4 (shadow mode)",
                     "value 8 (mouse buttons)", "value 13 (texture setting)", "value 16 (colour depth index)",
                     "value 18 (windowed width)", "value 20 (windowed display flags)",
                     "value 21 (full-screen width)", "value 22 (full-screen height)",
                     "value 23 (full-screen display flags)"}}),
    [](const auto& p) {
        std::string name = p.param.file;
        name = name.substr(0, name.find('.'));
        std::erase(name, '_');
        return name;
    });

TEST_F(KeyFile, NoDataLineLeavesTheStartModeAlone)
{
    PutFixture("no_data.cfg");
    App::CurrentMode() = {640, 480, 16, 0};
    DisplaySettings settings;
    ReadAsStartUp(settings);
    EXPECT_EQ(settings, kDefaultDisplaySettings);
    EXPECT_EQ(App::CurrentMode(), (DisplayModeSettings{640, 480, 16, 0}));
}

TEST_F(KeyFile, BindingsSharingANameBothTakeItsCode)
{
    std::map<uint32_t, std::string> names = kNames;
    names[6024] = names[6025] = "Camera";
    LoadNames(names);
    std::ofstream(KeyFilePath(), std::ios::binary) << "Camera\r\n48\r\n\r\n77\r\n";
    DisplaySettings settings;
    ReadAsStartUp(settings);
    EXPECT_EQ(Key(kZoomOut), 48u);
    EXPECT_EQ(Key(kZoomIn), 48u);
    EXPECT_EQ(Key(kLeft), DefaultKey(kLeft)) << "an empty line names no binding";
}

TEST_F(KeyFile, FailedWriteKeepsTheOldFileAndSaysSo)
{
    const std::string old = "Crouch\r\n50\r\n";
    std::ofstream(KeyFilePath(), std::ios::binary) << old;
    // The temporary file's place is taken, so nothing can be written.
    fs::path temporary = KeyFilePath();
    temporary += ".tmp" + std::to_string(::getpid());
    fs::create_directory(temporary);
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(Write());
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("the old file is kept"), std::string::npos) << err;
    EXPECT_NE(err.find(kFileName), std::string::npos) << err;
    const std::vector<uint8_t> after = ReadBytes(KeyFilePath());
    EXPECT_EQ(std::string(after.begin(), after.end()), old);

    app::DataDirectories::Global().SetPath(app::kScriptsDirectory, nullptr);
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(Write()) << "no scripts folder";
    EXPECT_NE(::testing::internal::GetCapturedStderr().find("no scripts folder"), std::string::npos);
}

TEST(KeyBindingTable, DefaultsAndBoundsCheckedLookUps)
{
    KeyBindings::Init();
    const std::array<uint32_t, kCount> defaults = {203, 205, 200, 208, 45, 44, 27, 26, 57, 197,
                                                   15,  28,  32,  46,  22, 25, 19, 20, 24, 33};
    for (int i = 0; i < kCount; ++i)
        EXPECT_EQ(Key(i), defaults[size_t(i)]) << i;
    struct Case {
        int binding;
        uint32_t code;
        bool taken;
    };
    for (const Case& c : {Case{-1, 30, false}, Case{kCount, 30, false}, Case{kLeft, 0, false},
                          Case{kLeft, 256, false}, Case{kLeft, 255, true}, Case{kReadyWeapon, 1, true}}) {
        const uint32_t before = Key(c.binding);
        EXPECT_EQ(SetKey(c.binding, c.code), c.taken) << c.binding << " " << c.code;
        EXPECT_EQ(Key(c.binding), c.taken ? c.code : before) << c.binding << " " << c.code;
    }
    EXPECT_EQ(Key(kCount), 0u);
    EXPECT_EQ(Name(-1), "");
    EXPECT_EQ(DefaultKey(kCount), 0u);
}

} // namespace
} // namespace KeyConfig
