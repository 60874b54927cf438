#include "console/text_console.h"

#include "app/app_time.h"
#include "app/input_event.h"
#include "app/string_table.h"
#include "console/command_script.h"
#include "console/console_draw.h"
#include "console/console_texts.h"
#include "console/named_values.h"
#include "console/screen_message.h"
#include "Veapi/font.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <strings.h>

namespace TextConsole {
namespace {

Clocks g_clocks;

// The small font's rows take this much of the screen each; the console
// area ends where the target offset puts it.
void RecomputeTarget(State& s) { s.slideTarget = float(s.lineCount) * s.rowHeight - 1.0f; }

void PushOutput(State& s, const std::string& text, uint32_t colour)
{
    s.lines.push_back({text, RealNow(), colour});
    while (s.lines.size() > s.outputCap)
        s.lines.erase(s.lines.begin());
    s.recall = s.lines.size();
}

void MovePending(State& s)
{
    for (int i = 0; i < s.lineCount && !s.pending.empty(); ++i) {
        PushOutput(s, s.pending.front().text, s.pending.front().colour);
        s.pending.erase(s.pending.begin());
    }
}

void ClampEdit(State& s)
{
    if (s.edit.size() > kLineSize - 1)
        s.edit.resize(kLineSize - 1);
    s.cursor = std::min(s.cursor, s.edit.size());
}

void Complete(State& s)
{
    const ConsoleCommand* best = nullptr;
    CommandTable::Global().ForEach([&](const ConsoleCommand& c) {
        if (c.name.size() < s.edit.size() || c.name.empty())
            return;
        if (strncasecmp(c.name.c_str(), s.edit.c_str(), s.edit.size()) != 0)
            return;
        if (!best || c.name.size() < best->name.size())
            best = &c;
    });
    if (best)
        s.edit += best->name.substr(s.edit.size());
    s.cursor = s.edit.size();
}

void Recall(State& s, int step)
{
    if (s.lines.empty())
        return;
    const size_t n = s.lines.size();
    s.recall = step < 0 ? (s.recall == 0 || s.recall > n ? n - 1 : s.recall - 1) : (s.recall + 1 >= n ? 0 : s.recall + 1);
    s.edit = s.lines[s.recall].text;
    s.cursor = s.edit.size();
}

uint32_t PackColour(float r, float g, float b)
{
    auto c = [](float v) {
        v = std::isnan(v) ? 0.0f : std::clamp(v, 0.0f, 1.0f);
        return uint32_t(v * 255.0f);
    };
    return 0xff000000u | c(r) << 16 | c(g) << 8 | c(b);
}


// Rows of the console that show output lines: the open console keeps its
// bottom row for the edit line.
int OutputRows(const State& s) { return s.lineCount - (s.displayMode == 0 ? 1 : 0); }

int LineRows(const std::string& text) { return std::max(1, WrapRows(text, kWrapWidth)); }

// The oldest output line still on screen, counting wrapped rows from the
// newest line back; lines.size() when none fits.
size_t OldestOnScreen(const State& s)
{
    int rows = OutputRows(s);
    size_t i = s.lines.size();
    while (i > 0) {
        const int r = LineRows(s.lines[i - 1].text);
        if (r > rows)
            break;
        rows -= r;
        --i;
    }
    return i;
}

// True when the lines from `oldest` on leave no room for `more` rows.
bool FillsConsole(const State& s, size_t oldest, int more)
{
    int rows = more;
    for (size_t i = oldest; i < s.lines.size(); ++i)
        rows += LineRows(s.lines[i].text);
    return rows > OutputRows(s);
}

// Moves the cursor one wrapped row up or down to the place nearest its pen
// position; false when the edit line is one row.
bool MoveCursorRow(State& s, int step)
{
    if (s.widths.empty() || WrapRows(s.edit, kWrapWidth) < 2)
        return false;
    struct Stop {
        size_t index;
        int line;
        int64_t pen;
    };
    std::vector<Stop> stops;
    WalkText(s.widths, s.edit, int32_t(kWrapWidth * float(s.screenWidth)), false,
             [&](const PlacedChar& c) { stops.push_back({c.index, c.line, c.pen}); });
    if (stops.empty())
        return false;
    // Each row also ends with a stop after its last character.
    const size_t placed = stops.size();
    for (size_t i = 0; i < placed; ++i)
        if (i + 1 == placed || stops[i + 1].line != stops[i].line)
            stops.push_back({stops[i].index + 1, stops[i].line,
                             stops[i].pen + GlyphAdvance(s.widths, s.edit[stops[i].index])});
    std::stable_sort(stops.begin(), stops.end(), [](const Stop& a, const Stop& b) { return a.index < b.index; });
    const Stop here = *std::find_if(stops.begin(), stops.end(), [&](const Stop& p) { return p.index >= s.cursor; });
    const int target = here.line + step;
    const Stop* best = nullptr;
    for (const Stop& p : stops)
        if (p.line == target && (!best || std::llabs(p.pen - here.pen) < std::llabs(best->pen - here.pen)))
            best = &p;
    s.cursor = best ? best->index : (step < 0 ? 0 : s.edit.size());
    return true;
}

} // namespace

void SetClocks(const Clocks& clocks) { g_clocks = clocks; }
int64_t RealNow() { return g_clocks.realNow ? g_clocks.realNow() : AppTime::RealNow(); }
int64_t GameNow() { return g_clocks.gameNow ? g_clocks.gameNow() : AppTime::GameNow(); }
int64_t TicksPerSecond() { return g_clocks.ticksPerSecond ? g_clocks.ticksPerSecond() : AppTime::TicksPerSecond(); }

void SetMetrics(std::span<const int32_t> widths, int32_t screenWidth, float rowHeight)
{
    State& s = Get();
    s.widths.assign(widths.begin(), widths.end());
    s.screenWidth = std::max(screenWidth, 1);
    if (rowHeight > 0.0f)
        s.rowHeight = rowHeight;
    RecomputeTarget(s);
}

int WrapRows(std::string_view text, float width)
{
    const State& s = Get();
    if (s.widths.empty())
        return CountTextLines({}, text, 0, true);
    return CountTextLines(s.widths, text, int32_t(width * float(s.screenWidth)), false);
}

int32_t TextWidth(std::string_view text)
{
    const State& s = Get();
    int64_t sum = 0;
    for (char ch : text)
        sum += s.widths.empty() ? 0 : GlyphAdvance(s.widths, ch);
    return int32_t(std::min<int64_t>(sum, INT32_MAX));
}

Bounds TextBounds(std::string_view text, float x, float y)
{
    const State& s = Get();
    return {x, y, x + float(TextWidth(text)) / float(s.screenWidth), y + s.rowHeight};
}

namespace {
// At namespace scope, made before main: it outlives the exit handlers that
// start-up registers, which still shut the console down.
State g_state;
} // namespace

State& Get()
{
    return g_state;
}

const char* Text(uint32_t id)
{
    const char* text = StringTable::Global().Find(id);
    if (text && text[0])
        return text;
    const auto& own = ConsoleTexts();
    const auto it = own.find(id);
    return it != own.end() ? it->second : "";
}

void Create()
{
    Get() = State{};
    RecomputeTarget(Get());
    ConsoleOutputEnabled = true;
    AccessLevel = 3;
    CommandTable::Global().Clear();
    NamedValueList::Global().Clear();
    CommandTable::RegisterAll();
}

void Shutdown()
{
    Reset();
    ConsoleFonts::Unload();
    ConsoleBackdrop::Release();
    Get().lines.clear();
    CommandTable::Global().Clear();
    NamedValueList::Global().Clear();
}

void Reset()
{
    State& s = Get();
    if (s.displayMode != 3)
        s.displayMode = 1;
    s.slidePosition = -1.0f;
    s.pending.clear();
    CommandScript::Clear();
    ScreenMessages::Clear();
}

bool IsOpen() { return Get().displayMode == 0; }

void Toggle()
{
    State& s = Get();
    if (s.displayMode == 3)
        return;
    if (s.displayMode == 0) {
        s.displayMode = 1;
        s.pending.clear();
        return;
    }
    s.displayMode = 0;
    s.cursor = 0;
    if (s.slidePosition == -1.0f) {
        s.lineCount = 1;
        RecomputeTarget(s);
    }
}

bool CloseOnClick(float pointerFraction)
{
    State& s = Get();
    if (s.displayMode == 3 || !(pointerFraction < s.slidePosition + 1.0f))
        return false;
    s.displayMode = 1;
    return true;
}

void SetTimedLineLimit(int limit) { Get().timedLineLimit = std::clamp(limit, 1, kMaxLines); }

namespace {
void (*g_printObserver)(const char*) = nullptr;
} // namespace

void SetPrintObserver(void (*observer)(const char* text)) { g_printObserver = observer; }

void Print(const char* text)
{
    if (!ConsoleOutputEnabled)
        return;
    if (g_printObserver)
        g_printObserver(text ? text : "");
    State& s = Get();
    const std::string line = text ? text : "";
    const int limit = s.displayMode == 2 ? std::min(kMaxLines, s.timedLineLimit) : kMaxLines;
    const int64_t now = RealNow();
    // Lines already held back keep their order in the open console.
    const bool behindPending = s.displayMode == 0 && !s.pending.empty();
    if (behindPending || s.lineCount >= limit) {
        // The oldest line on screen has not been readable for 2 seconds yet:
        // hold the new one back instead of scrolling it away.
        const size_t oldest = OldestOnScreen(s);
        const bool fresh = oldest < s.lines.size() && now - s.lines[oldest].time < 2 * TicksPerSecond();
        if (behindPending || (fresh && FillsConsole(s, oldest, LineRows(line)))) {
            if (s.pending.size() < s.pendingCap) {
                s.pending.push_back({line, now, s.textColour});
                return;
            }
            // The open console never scrolls unread lines away: the oldest
            // held-back line makes room instead.
            if (s.displayMode == 0) {
                s.pending.erase(s.pending.begin());
                s.pending.push_back({line, now, s.textColour});
                return;
            }
        }
    }
    PushOutput(s, line, s.textColour);
    s.hideAt = now + kHideSeconds * TicksPerSecond();
    if (s.displayMode == 1) {
        const bool fromRest = s.slidePosition == -1.0f;
        Toggle();
        s.displayMode = 2;
        if (fromRest)
            return;
    }
    if (s.displayMode == 2) {
        const int most = std::min(kMaxLines, s.timedLineLimit);
        s.lineCount = std::min(most, s.lineCount + std::max(1, WrapRows(line, kWrapWidth)));
        RecomputeTarget(s);
    }
}

void PrintFailure(const std::string& text)
{
    const LineOrigin& origin = CurrentOrigin();
    if (origin.source == LineSource::Typed) {
        Print(text.c_str());
        return;
    }
    const std::string line = text + " (" + origin.Describe() + ")";
    Print(line.c_str());
}

void Draw(int64_t realTime)
{
    State& s = Get();
    if (s.displayMode == 3)
        return;
    if (s.displayMode == 2 && realTime > s.hideAt)
        s.displayMode = 1;
    const float target = s.displayMode == 1 ? -1.0f : s.slideTarget;
    if (s.instant)
        s.slidePosition = target;
    else if (s.slidePosition < target)
        s.slidePosition = std::min(target, s.slidePosition + 0.09f);
    else
        s.slidePosition = std::max(target, s.slidePosition - 0.09f);
    DrawFrame();
}

std::vector<DrawRow> Rows()
{
    const State& s = Get();
    std::vector<DrawRow> rows;
    if (s.displayMode == 3 || s.slidePosition <= -1.0f)
        return rows;
    // Upward rows keep their last wrapped line at y.
    float y = s.slidePosition + 1.0f - s.rowHeight;
    if (s.displayMode == 0) {
        if (s.pending.empty()) {
            const int n = LineRows(s.edit);
            rows.push_back({s.edit, kRowX, y, 68, s.cursorColour, int(s.cursor), n});
            y -= float(n) * s.rowHeight;
        } else {
            rows.push_back({Text(6065), kRowX, y, 64, s.textColour, -1, 1});
            y -= s.rowHeight;
        }
    }
    for (auto it = s.lines.rbegin(); it != s.lines.rend(); ++it) {
        const int n = LineRows(it->text);
        if (y - float(n - 1) * s.rowHeight < -1e-4f)
            break;
        rows.push_back({it->text, kRowX, y, 64, it->colour, -1, n});
        y -= float(n) * s.rowHeight;
    }
    return rows;
}

void HandleKey(const InputEvent& event)
{
    if (event.message != kMsgKeyDown)
        return;
    State& s = Get();
    if (!s.pending.empty()) {
        MovePending(s);
        return;
    }
    const uint32_t key = event.scanCode;
    switch (key) {
    case 1:
        if (!s.edit.empty()) {
            s.savedEdit = s.edit;
            s.edit.clear();
        } else {
            s.edit = s.savedEdit;
        }
        s.cursor = s.edit.size();
        break;
    case 14:
        if (s.cursor > 0)
            s.edit.erase(--s.cursor, 1);
        break;
    case 15: Complete(s); break;
    case 28: {
        const std::string line = s.edit;
        PushOutput(s, line, s.typedColour);
        const int before = s.lineCount;
        s.edit.clear();
        s.cursor = 0;
        ExecuteAtFullAccess(line.c_str(), {LineSource::Typed, {}, 0});
        if (s.lineCount == before && s.lineCount < kMaxLines) {
            ++s.lineCount;
            RecomputeTarget(s);
        }
        break;
    }
    case 41: Toggle(); break;
    case 199: s.cursor = 0; break;
    case 207: s.cursor = s.edit.size(); break;
    case 203: if (s.cursor > 0) --s.cursor; break;
    case 205: if (s.cursor < s.edit.size()) ++s.cursor; break;
    case 211: if (s.cursor < s.edit.size()) s.edit.erase(s.cursor, 1); break;
    case 200:
        if (s.cursor == 0 || !MoveCursorRow(s, -1))
            Recall(s, -1);
        break;
    case 208:
        if (s.cursor >= s.edit.size() || !MoveCursorRow(s, +1))
            Recall(s, +1);
        break;
    default: {
        const std::string text = KeyNames::ScanCodeName(key, (event.flags & kFlagShift) != 0);
        s.edit.insert(std::min(s.cursor, s.edit.size()), text);
        s.cursor += text.size();
        break;
    }
    }
    ClampEdit(s);
}

void CommandLines()
{
    State& s = Get();
    const int n = ReadInt(s.lineCount);
    if (n <= 0)
        Print(Text(6047));
    else if (n > kMaxLines)
        Print(Text(6048));
    else {
        s.lineCount = n;
        RecomputeTarget(s);
    }
}

void CommandInstant()
{
    State& s = Get();
    switch (ReadOnOff()) {
    case 1: s.instant = true; Print(Text(6066)); break;
    case 0: s.instant = false; Print(Text(6067)); break;
    default: {
        const std::string text = std::string(Text(6063)) + Text(s.instant ? 7007 : 7008);
        Print(text.c_str());
    }
    }
}

namespace {
void SetCap(size_t& cap, int most, uint32_t setMessage, uint32_t showMessage, uint32_t tooBig)
{
    const int n = ReadInt(0);
    if (n <= 0) {
        const std::string text = Text(showMessage) + std::to_string(cap);
        Print(text.c_str());
    } else if (n > most) {
        Print(Text(tooBig));
    } else {
        cap = size_t(n);
        Print(Text(setMessage));
    }
}
} // namespace

void CommandPendingCap() { SetCap(Get().pendingCap, 200, 6061, 6060, 6041); }

void CommandOutputCap()
{
    State& s = Get();
    SetCap(s.outputCap, 100, 6064, 6062, 6042);
    while (s.lines.size() > s.outputCap)
        s.lines.erase(s.lines.begin());
}

void CommandClear() { Get().lines.clear(); }

void CommandText()
{
    if (NextIsNumber()) {
        const int n = ReadInt(0);
        // Out-of-range numbers print nothing rather than a wrapped id.
        if (n >= 0 && n <= 1000000)
            Print(Text(3000u + uint32_t(n)));
        return;
    }
    // The rest after the one separating character, printed as it is.
    const char* line = LineBuffer();
    Print(line[0] ? line + 1 : line);
    SetLine("");
}

void CommandTextColour()
{
    const float r = ReadFloat(0), g = ReadFloat(0), b = ReadFloat(0);
    Get().textColour = PackColour(r, g, b);
}

void CommandCursorColour()
{
    const float r = ReadFloat(0), g = ReadFloat(0), b = ReadFloat(0);
    Get().cursorColour = PackColour(r, g, b);
}

void CommandHide()
{
    State& s = Get();
    s.lines.clear();
    if (s.displayMode == 0)
        Toggle();
    else if (s.displayMode != 3)
        s.displayMode = 1;
}

void CommandBind()
{
    State& s = Get();
    const std::string key = ReadWord();
    std::string command = ReadRestOfLine();
    const uint32_t code = key.size() == 1 ? KeyNames::CharToScanCode(key[0]) : 0;
    if (code == 0) {
        Print(Text(6051));
        return;
    }
    if (command.empty()) {
        Print(Text(6052));
        return;
    }
    if (command.size() > kLineSize - 1)
        command.resize(kLineSize - 1);
    auto it = std::find_if(s.macros.begin(), s.macros.end(), [&](const KeyMacro& m) { return m.key == code; });
    if (it != s.macros.end()) {
        it->line = command;
    } else if (s.macros.size() >= kMaxBindings) {
        Print(Text(6050));
        return;
    } else {
        s.macros.push_back({code, command});
    }
    const std::string text = Text(7014) + key + Text(7016) + command;
    Print(text.c_str());
}

} // namespace TextConsole

std::string FormatFloat(float value)
{
    if (std::isnan(value))
        return "NaN";
    if (std::isinf(value))
        return value < 0 ? "-inf" : "inf";
    const double v = std::fabs(double(value));
    const double whole = std::floor(v);
    const long long tenThousandths = static_cast<long long>(std::floor((v - whole) * 10000.0));
    char buffer[64];
    int n = std::snprintf(buffer, sizeof buffer, "%.0f", whole);
    if (tenThousandths != 0) {
        char frac[8];
        std::snprintf(frac, sizeof frac, "%04lld", tenThousandths);
        int len = 4;
        while (len > 0 && frac[len - 1] == '0')
            --len;
        n += std::snprintf(buffer + n, sizeof buffer - size_t(n), ".%.*s", len, frac);
    }
    std::string text(buffer, size_t(n));
    if (value < 0 && text != "0")
        text.insert(text.begin(), '-');
    return text;
}

namespace KeyNames {
namespace {
struct KeyText {
    uint32_t scan;
    uint32_t plain, shifted; // string ids; 0 when the key has one text
    char ownPlain, ownShifted;
};
constexpr KeyText kKeys[] = {
    {2, 55, 54, '1', '!'}, {3, 57, 56, '2', '@'}, {4, 59, 58, '3', '#'}, {5, 61, 60, '4', '$'},
    {6, 63, 62, '5', '%'}, {7, 65, 64, '6', '^'}, {8, 67, 66, '7', '&'}, {9, 69, 68, '8', '*'},
    {10, 71, 70, '9', '('}, {11, 73, 72, '0', ')'}, {12, 82, 0, '-', 0}, {13, 85, 84, '=', '+'},
    {16, 34, 33, 'q', 'Q'}, {17, 46, 45, 'w', 'W'}, {18, 10, 9, 'e', 'E'}, {19, 36, 35, 'r', 'R'},
    {20, 40, 39, 't', 'T'}, {21, 50, 49, 'y', 'Y'}, {22, 42, 41, 'u', 'U'}, {23, 18, 17, 'i', 'I'},
    {24, 30, 29, 'o', 'O'}, {25, 32, 31, 'p', 'P'}, {26, 87, 0, '[', 0}, {27, 88, 0, ']', 0},
    {30, 2, 1, 'a', 'A'}, {31, 38, 37, 's', 'S'}, {32, 8, 7, 'd', 'D'}, {33, 12, 11, 'f', 'F'},
    {34, 14, 13, 'g', 'G'}, {35, 16, 15, 'h', 'H'}, {36, 20, 19, 'j', 'J'}, {37, 22, 21, 'k', 'K'},
    {38, 24, 23, 'l', 'L'}, {39, 79, 78, ';', ':'}, {40, 86, 0, '\'', 0}, {44, 52, 51, 'z', 'Z'},
    {45, 48, 47, 'x', 'X'}, {46, 6, 5, 'c', 'C'}, {47, 44, 43, 'v', 'V'}, {48, 4, 3, 'b', 'B'},
    {49, 28, 27, 'n', 'N'}, {50, 26, 25, 'm', 'M'}, {51, 77, 76, ',', '<'}, {52, 75, 74, '.', '>'},
    {53, 81, 80, '/', '?'}, {57, 53, 0, ' ', 0}, {74, 83, 0, '-', 0},
};
} // namespace

std::string ScanCodeName(uint32_t scanCode, bool shift)
{
    for (const KeyText& k : kKeys) {
        if (k.scan != scanCode)
            continue;
        const bool useShifted = shift && k.shifted != 0;
        const char* text = StringTable::Global().Find(useShifted ? k.shifted : k.plain);
        if (text && text[0])
            return text;
        return std::string(1, useShifted ? k.ownShifted : k.ownPlain);
    }
    return {};
}

uint32_t CharToScanCode(char c)
{
    if (c >= '1' && c <= '9')
        return uint32_t(c - '1' + 2);
    if (c == '0')
        return 11;
    if (c >= 'a' && c <= 'z')
        c = char(c - 'a' + 'A');
    if (c < 'A' || c > 'Z')
        return 0;
    for (const KeyText& k : kKeys)
        if (k.ownShifted == c)
            return k.scan;
    return 0;
}

} // namespace KeyNames
