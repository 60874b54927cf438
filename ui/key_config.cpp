#include "ui/key_config.h"

#include "app/directories.h"
#include "app/display_mode.h"
#include "app/string_table.h"
#include "console/text_console.h"
#include "platform/byte_cursor.h"
#include "platform/os.h"

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <limits>
#include <optional>
#include <string_view>

namespace KeyBindings {
namespace {

struct BindingDefault {
    uint32_t nameId;
    uint32_t code;
};

constexpr std::array<BindingDefault, kCount> kDefaults = {{
    {6020, 203}, {6021, 205}, {6022, 200}, {6023, 208}, {6024, 45}, {6025, 44}, {6026, 27},
    {6027, 26},  {6028, 57},  {6029, 197}, {6031, 15},  {6033, 28}, {6034, 32}, {6035, 46},
    {6036, 22},  {3046, 25},  {3048, 19},  {3047, 20},  {6037, 24}, {6038, 33},
}};

struct Table {
    std::array<uint32_t, kCount> keys{};
    std::array<std::string, kCount> names;
};
Table g_table;

bool InTable(int binding) { return binding >= 0 && binding < kCount; }

} // namespace

void Init()
{
    for (int i = 0; i < kCount; ++i) {
        g_table.keys[size_t(i)] = kDefaults[size_t(i)].code;
        g_table.names[size_t(i)] = StringTable::Global().Find(kDefaults[size_t(i)].nameId);
    }
}

uint32_t Key(int binding) { return InTable(binding) ? g_table.keys[size_t(binding)] : 0; }

bool SetKey(int binding, uint32_t code)
{
    if (!InTable(binding) || code < kLowestKeyCode || code > kHighestKeyCode)
        return false;
    g_table.keys[size_t(binding)] = code;
    return true;
}

uint32_t DefaultKey(int binding) { return InTable(binding) ? kDefaults[size_t(binding)].code : 0; }

const std::string& Name(int binding)
{
    static const std::string none;
    return InTable(binding) ? g_table.names[size_t(binding)] : none;
}

} // namespace KeyBindings

namespace KeyConfig {
namespace {

constexpr int32_t kAny = std::numeric_limits<int32_t>::min();
constexpr uint32_t kKnownModeFlags = kModeWindowed | kModeTripleBuffer | kModeReference;

// What a stored value may be; anything else keeps the value already there.
struct ValueRule {
    const char* what;
    int32_t low = kAny, high = std::numeric_limits<int32_t>::max();
    uint32_t requiredBits = 0, refusedBits = 0;

    bool Accepts(int32_t v) const
    {
        const uint32_t bits = uint32_t(v);
        return v >= low && v <= high && (bits & requiredBits) == requiredBits && (bits & refusedBits) == 0;
    }
};

constexpr int32_t kWidest = 16384;
constexpr ValueRule kOnOff(const char* what) { return {what, 0, 1}; }
constexpr ValueRule kWidth(const char* what) { return {what, 320, kWidest}; }
constexpr ValueRule kHeight(const char* what) { return {what, 200, kWidest}; }

const std::array<ValueRule, kValueCount> kRules = {{
    kOnOff("option 6090"),
    {"option 277", 0, 2},
    {"console line limit", 1, TextConsole::kMaxLines},
    {"shadow mode", 0, 4},
    kOnOff("shadow flag"),
    {"reserved value"},
    kOnOff("option 281"),
    kOnOff("mouse buttons"),
    {"display adapter identifier"},
    kOnOff("3-D switch 2"),
    kOnOff("3-D switch 1"),
    kOnOff("3-D switch 3"),
    {"texture setting", 0, 3},
    {"hidden display value"},
    {"second hidden display value"},
    {"colour depth index", 0, 2},
    kOnOff("3-D switch 4"),
    kWidth("windowed width"),
    kHeight("windowed height"),
    {"windowed display flags", kAny, std::numeric_limits<int32_t>::max(), kModeWindowed, ~kKnownModeFlags},
    kWidth("full-screen width"),
    kHeight("full-screen height"),
    {"full-screen display flags", kAny, std::numeric_limits<int32_t>::max(), 0, ~(kKnownModeFlags & ~kModeWindowed)},
}};
static_assert(Options{}.consoleLineLimit == TextConsole::kMaxLines);

// File positions of the values that are not simply kept in the options.
enum ValueIndex : int {
    kOption6090, kOption277, kConsoleLineLimit, kShadowModeValue, kShadowFlag, kReserved, kOption281,
    kMouseButtons, kDevice, kSwitch2Value, kSwitch1Value, kSwitch3Value, kTextureValue, kHiddenValue1,
    kHiddenValue2, kColourDepthValue, kSwitch4Value, kWindowedWidth, kWindowedHeight, kWindowedFlags,
    kFullScreenWidth, kFullScreenHeight, kFullScreenFlags
};

// Which settings-record entry each value 4 and 10 to 17 fills.
struct SettingSlot {
    ValueIndex value;
    DisplaySetting setting;
};
constexpr SettingSlot kSettingSlots[] = {
    {kShadowModeValue, kShadowMode},   {kSwitch2Value, kSwitch2},          {kSwitch1Value, kSwitch1},
    {kSwitch3Value, kSwitch3},         {kTextureValue, kTextureSetting},   {kHiddenValue1, kHiddenValue},
    {kHiddenValue2, kSecondHiddenValue}, {kColourDepthValue, kColourDepthIndex}, {kSwitch4Value, kSwitch4},
};

// The option and mode variables in file order, so gathering and taking
// over walk one table.
struct VariableSlot {
    ValueIndex value;
    int32_t Options::*option;
    int32_t RememberedModes::*mode;
};
constexpr VariableSlot kVariableSlots[] = {
    {kOption6090, &Options::option6090, nullptr},
    {kOption277, &Options::option277, nullptr},
    {kConsoleLineLimit, &Options::consoleLineLimit, nullptr},
    {kShadowFlag, &Options::shadowFlag, nullptr},
    {kReserved, &Options::reserved, nullptr},
    {kOption281, &Options::option281, nullptr},
    {kMouseButtons, &Options::mouseButtons, nullptr},
    {kWindowedWidth, nullptr, &RememberedModes::windowedWidth},
    {kWindowedHeight, nullptr, &RememberedModes::windowedHeight},
    {kWindowedFlags, nullptr, &RememberedModes::windowedFlags},
    {kFullScreenWidth, nullptr, &RememberedModes::fullScreenWidth},
    {kFullScreenHeight, nullptr, &RememberedModes::fullScreenHeight},
    {kFullScreenFlags, nullptr, &RememberedModes::fullScreenFlags},
};

Options g_options;
RememberedModes g_modes;
DisplaySettings g_settingsInUse = kDefaultDisplaySettings;
uint32_t g_deviceInUse = 0;

constexpr std::string_view kDataLine = "data";
constexpr uint8_t kCr = 0x0D, kLf = 0x0A;

bool IsDataLine(std::string_view line)
{
    if (line.size() != kDataLine.size())
        return false;
    for (size_t i = 0; i < line.size(); ++i)
        if ((line[i] | 0x20) != kDataLine[i])
            return false;
    return true;
}

// Splits the raw bytes into lines (LF or CR LF ends one) and takes the value
// part after a "data" line, turning each stored CR LF pair back into 0x0A.
// Every other byte, 0x1A included, is plain data.
class FileReader {
public:
    explicit FileReader(std::span<const uint8_t> bytes) : bytes_(bytes) {}

    bool AtEnd() const { return pos_ >= bytes_.size(); }
    int LineNumber() const { return line_; }

    std::string_view NextLine()
    {
        ++line_;
        const size_t start = pos_;
        while (pos_ < bytes_.size() && bytes_[pos_] != kLf)
            ++pos_;
        size_t end = pos_;
        if (pos_ < bytes_.size())
            ++pos_; // the LF
        if (end > start && bytes_[end - 1] == kCr)
            --end;
        return {reinterpret_cast<const char*>(bytes_.data()) + start, end - start};
    }

    // Up to `count` decoded bytes of the value part.
    std::vector<uint8_t> ValueBytes(size_t count)
    {
        std::vector<uint8_t> out;
        while (out.size() < count && pos_ < bytes_.size()) {
            if (bytes_[pos_] == kCr && pos_ + 1 < bytes_.size() && bytes_[pos_ + 1] == kLf)
                ++pos_;
            out.push_back(bytes_[pos_++]);
        }
        return out;
    }

    size_t Offset() const { return pos_; }

private:
    std::span<const uint8_t> bytes_;
    size_t pos_ = 0;
    int line_ = 0;
};

std::optional<uint32_t> ParseKeyCode(std::string_view text)
{
    uint32_t code = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), code);
    if (error != std::errc() || end != text.data() + text.size() || code < KeyBindings::kLowestKeyCode ||
        code > KeyBindings::kHighestKeyCode)
        return std::nullopt;
    return code;
}

std::string Shown(std::string_view line)
{
    constexpr size_t kShownLength = 40;
    std::string out(line.substr(0, kShownLength));
    for (char& c : out)
        if (static_cast<unsigned char>(c) < 0x20)
            c = '?';
    return line.size() > kShownLength ? out + "..." : out;
}

void DecodeValues(FileReader& reader, Contents& contents, std::vector<std::string>& messages)
{
    const size_t start = reader.Offset();
    const std::vector<uint8_t> bytes = reader.ValueBytes(size_t(kValueCount) * 4);
    trevok::ByteReader values(bytes);
    contents.hasValues = true;
    for (int i = 0; i < kValueCount; ++i) {
        if (!values.Has(4)) {
            messages.push_back("the value part after line " + std::to_string(reader.LineNumber()) + " ends after " +
                               std::to_string(i) + " of " + std::to_string(kValueCount) +
                               " values; the others keep their defaults");
            return;
        }
        const int32_t v = values.I32();
        const ValueRule& rule = kRules[size_t(i)];
        if (rule.Accepts(v))
            contents.values[size_t(i)] = v;
        else
            messages.push_back("value " + std::to_string(i + 1) + " (" + rule.what + ") near byte " +
                               std::to_string(start + size_t(i) * 4) + " is " + std::to_string(v) +
                               ", which it cannot be; the default stays");
    }
}

void TakeCode(std::string_view name, std::string_view codeLine, int codeLineNumber, Contents& contents,
              std::vector<std::string>& messages)
{
    if (name.empty())
        return; // no binding is nameless, even without a string table
    bool named = false;
    for (int i = 0; i < KeyBindings::kCount; ++i)
        named = named || KeyBindings::Name(i) == name;
    if (!named)
        return; // another language's name: skipped with its code
    const std::optional<uint32_t> code = ParseKeyCode(codeLine);
    if (!code) {
        messages.push_back("line " + std::to_string(codeLineNumber) + ": \"" + Shown(codeLine) +
                           "\" is no key code (" + std::to_string(KeyBindings::kLowestKeyCode) + " to " +
                           std::to_string(KeyBindings::kHighestKeyCode) + "); \"" + Shown(name) +
                           "\" keeps its key");
        return;
    }
    for (int i = 0; i < KeyBindings::kCount; ++i)
        if (KeyBindings::Name(i) == name)
            contents.keys[size_t(i)] = *code;
}

void PrintMessages(const std::string& file, const std::vector<std::string>& messages)
{
    for (const std::string& m : messages)
        std::fprintf(stderr, "%s: %s\n", file.c_str(), m.c_str());
}

// The remembered width, height and flags of one kind of mode.
struct ModeSlots {
    int32_t RememberedModes::*width;
    int32_t RememberedModes::*height;
    int32_t RememberedModes::*flags;
};
constexpr ModeSlots kWindowedSlots{&RememberedModes::windowedWidth, &RememberedModes::windowedHeight,
                                   &RememberedModes::windowedFlags};
constexpr ModeSlots kFullScreenSlots{&RememberedModes::fullScreenWidth, &RememberedModes::fullScreenHeight,
                                     &RememberedModes::fullScreenFlags};

const ModeSlots& SlotsOfKind(const DisplayModeSettings& mode)
{
    return (mode.flags & kModeWindowed) ? kWindowedSlots : kFullScreenSlots;
}

// The mode in use becomes the remembered mode of its kind.
void RememberCurrentMode()
{
    const DisplayModeSettings& mode = App::CurrentMode();
    const ModeSlots& slots = SlotsOfKind(mode);
    g_modes.*slots.width = mode.width;
    g_modes.*slots.height = mode.height;
    g_modes.*slots.flags = int32_t(mode.flags);
}

// The remembered mode of the kind asked for (windowed or not) becomes the
// start mode.
void ChooseStartMode(const DisplaySettings& settings)
{
    DisplayModeSettings& mode = App::CurrentMode();
    const ModeSlots& slots = SlotsOfKind(mode);
    mode.width = g_modes.*slots.width;
    mode.height = g_modes.*slots.height;
    mode.flags = uint32_t(g_modes.*slots.flags);
    mode.depth = 16 + 8 * int(settings[kColourDepthIndex]);
}

} // namespace

Options& CurrentOptions() { return g_options; }
RememberedModes& Modes() { return g_modes; }
DisplaySettings& DisplaySettingsInUse() { return g_settingsInUse; }
uint32_t& DeviceInUse() { return g_deviceInUse; }

Contents Gather(const DisplaySettings& settings, uint32_t device)
{
    Contents c;
    for (int i = 0; i < KeyBindings::kCount; ++i)
        c.keys[size_t(i)] = KeyBindings::Key(i);
    for (const VariableSlot& s : kVariableSlots)
        c.values[size_t(s.value)] = s.option ? g_options.*s.option : g_modes.*s.mode;
    for (const SettingSlot& s : kSettingSlots)
        c.values[size_t(s.value)] = int32_t(settings[size_t(s.setting)]);
    c.values[kDevice] = int32_t(device);
    return c;
}

std::vector<uint8_t> Encode(const Contents& contents)
{
    std::vector<uint8_t> out;
    const auto line = [&out](std::string_view text) {
        out.insert(out.end(), text.begin(), text.end());
        out.push_back(kCr);
        out.push_back(kLf);
    };
    for (int i = 0; i < KeyBindings::kCount; ++i) {
        line(KeyBindings::Name(i));
        line(std::to_string(contents.keys[size_t(i)]));
    }
    line(kDataLine);
    std::vector<uint8_t> values;
    trevok::ByteWriter writer(values);
    for (int32_t v : contents.values)
        writer.I32(v);
    // The values go through the same text stream as the lines, so a 0x0A byte
    // is stored as CR LF.
    for (uint8_t b : values) {
        if (b == kLf)
            out.push_back(kCr);
        out.push_back(b);
    }
    return out;
}

std::vector<std::string> Decode(std::span<const uint8_t> bytes, Contents& contents)
{
    std::vector<std::string> messages;
    FileReader reader(bytes);
    while (!reader.AtEnd()) {
        const std::string_view name = reader.NextLine();
        const int nameLine = reader.LineNumber();
        if (name.size() <= kLongestLine && IsDataLine(name)) {
            DecodeValues(reader, contents, messages);
            continue;
        }
        const bool last = reader.AtEnd();
        const std::string_view code = last ? std::string_view() : reader.NextLine();
        if (name.size() > kLongestLine) {
            messages.push_back("line " + std::to_string(nameLine) + " is longer than " +
                               std::to_string(kLongestLine) + " characters; skipped with the line after it");
            continue;
        }
        if (last) {
            if (!name.empty())
                messages.push_back("line " + std::to_string(nameLine) + ": \"" + Shown(name) +
                                   "\" has no key code line after it");
            break;
        }
        TakeCode(name, code, reader.LineNumber(), contents, messages);
    }
    return messages;
}

uint32_t Read(DisplaySettings& settings)
{
    const auto path = app::DataDirectories::Global().Resolve(app::kScriptsDirectory, kFileName);
    if (!path)
        return 0; // no file yet: every default stands
    std::string error;
    const auto bytes = platform::ReadWholeFile(*path, kLargestFile, &error);
    if (!bytes) {
        std::fprintf(stderr, "%s; the default keys and settings stand\n", error.c_str());
        return 0;
    }
    Contents contents = Gather(settings, 0);
    PrintMessages(path->string(), Decode(*bytes, contents));
    for (int i = 0; i < KeyBindings::kCount; ++i)
        KeyBindings::SetKey(i, contents.keys[size_t(i)]);
    if (!contents.hasValues)
        return 0;
    for (const VariableSlot& s : kVariableSlots)
        (s.option ? g_options.*s.option : g_modes.*s.mode) = contents.values[size_t(s.value)];
    for (const SettingSlot& s : kSettingSlots)
        settings[size_t(s.setting)] = uint32_t(contents.values[size_t(s.value)]);
    ChooseStartMode(settings);
    return uint32_t(contents.values[kDevice]);
}

bool Write()
{
    RememberCurrentMode();
    // The console keeps the live limit (its command changes it during play).
    g_options.consoleLineLimit = TextConsole::Get().timedLineLimit;
    const std::vector<uint8_t> bytes = Encode(Gather(g_settingsInUse, g_deviceInUse));
    const auto path = app::DataDirectories::Global().ResolveForWrite(app::kScriptsDirectory, kFileName);
    if (!path) {
        std::fprintf(stderr, "%s: no scripts folder to write it in; the keys and settings were not kept\n",
                     kFileName);
        return false;
    }
    if (!platform::WriteWholeFile(*path, bytes.data(), bytes.size())) {
        std::fprintf(stderr, "%s: could not be written (%s); the old file is kept\n", path->c_str(),
                     std::strerror(errno));
        return false;
    }
    return true;
}

} // namespace KeyConfig
