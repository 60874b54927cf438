// The drop-down console: output and pending lines, the edit line with
// completion and recall, key bindings, and TextConsole::Print, through which
// every part of the program writes a line to the player.
#pragma once

#include "console/command_table.h"
#include "console/readers.h"

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

struct InputEvent;

namespace TextConsole {

inline constexpr int kMaxLines = 14;
inline constexpr size_t kMaxBindings = 30;
inline constexpr int64_t kHideSeconds = 14;

// The clocks the console and the scripts read; tests put fake ones in.
struct Clocks {
    int64_t (*realNow)() = nullptr;
    int64_t (*gameNow)() = nullptr;
    int64_t (*ticksPerSecond)() = nullptr;
};
void SetClocks(const Clocks& clocks); // null members fall back to AppTime
int64_t RealNow();
int64_t GameNow();
int64_t TicksPerSecond();

struct KeyMacro {
    uint32_t key = 0;
    std::string line;
};

struct OutputLine {
    std::string text;
    int64_t time = 0;
    uint32_t colour = 0;
};

struct State {
    int displayMode = 1;          // 0 open, 1 closed, 2 timed, 3 disabled
    float slidePosition = -1.0f;  // -1 while fully in
    float slideTarget = -1.0f;
    int lineCount = 1;
    int timedLineLimit = kMaxLines;
    uint32_t consoleKey = 41;     // the key left of 1, with Shift
    std::vector<KeyMacro> macros; // the key bindings
    std::vector<OutputLine> lines;
    std::vector<OutputLine> pending;
    size_t outputCap = 20;
    size_t pendingCap = 20;
    size_t recall = 0;            // position in the output list for Up/Down
    std::string edit;
    std::string savedEdit;
    size_t cursor = 0;
    int64_t hideAt = 0;
    bool instant = false;
    uint32_t textColour = 0xffb2b2ccu;
    uint32_t typedColour = 0xff595966u;
    uint32_t cursorColour = 0xffe5e5e5u;
    float rowHeight = 1.0f / 30.0f; // the small font's line height, in screen fractions
    // The small font's character widths and the screen width in pixels, for
    // wrapping; without widths every text is one row per newline.
    std::vector<int32_t> widths;
    int32_t screenWidth = 640;
};

inline constexpr float kRowX = 0.07f;
inline constexpr float kWrapWidth = 0.9f; // of the screen, for console rows

// Wrapping measures: the small font's widths, the screen width in pixels
// and the small font's line height in screen fractions.
void SetMetrics(std::span<const int32_t> widths, int32_t screenWidth, float rowHeight);
// Rows `text` wraps to in `width` (a screen fraction); 0 for empty text.
int WrapRows(std::string_view text, float width);
// Sum of the small font's character widths in pixels (0 for empty text).
int32_t TextWidth(std::string_view text);
struct Bounds {
    float left = 0, top = 0, right = 0, bottom = 0;
};
// The rectangle the text takes from x, y (screen fractions) on one line.
Bounds TextBounds(std::string_view text, float x, float y);

State& Get();
// Starts the console: fresh state, the command table filled.
void Create();
void Shutdown();
// A level or the briefing ended: closed, no waits, no queued lines.
void Reset();
bool IsOpen();
void Toggle();
// `pointerFraction`: pointer y / screen height.
bool CloseOnClick(float pointerFraction);
void Draw(int64_t realTime);
void HandleKey(const InputEvent& event);
// Sees every line Print takes while output is on (the shell's trace); null
// for none.
void SetPrintObserver(void (*observer)(const char* text));
// One row of the console as the renderer draws it (screen fractions).
struct DrawRow {
    std::string text;
    float x = 0, y = 0;
    uint32_t flags = 0;
    uint32_t colour = 0;
    int cursor = -1; // the edit line's cursor position
    int rows = 1;    // wrapped rows, drawn upward from y
};
// The rows of the console now, from the bottom upward: in the open console
// the edit line (or the "more" notice while lines are pending), then the
// output lines from the newest until one no longer fits above the top.
std::vector<DrawRow> Rows();

// Draws the open console and the screen messages through the fonts, when
// they are loaded; called by Draw.
void DrawFrame();

// Prints `text` as it is (never formatted).
void Print(const char* text);
// Prints a failure with the origin of the line that caused it.
void PrintFailure(const std::string& text);
// The timed console shows at most this many lines (1 to 14).
void SetTimedLineLimit(int limit);

// The string table's text for `id`, or the program's own English text.
const char* Text(uint32_t id);

// Console commands of the console itself.
void CommandLines();
void CommandInstant();
void CommandPendingCap();
void CommandClear();
void CommandOutputCap();
void CommandText();
void CommandTextColour();
void CommandCursorColour();
void CommandHide();
void CommandBind();

} // namespace TextConsole

// "-", the integer part and up to four decimals without trailing zeros.
std::string FormatFloat(float value);

namespace KeyNames {
// What the key types (empty for keys without text).
std::string ScanCodeName(uint32_t scanCode, bool shift);
uint32_t CharToScanCode(char c);
} // namespace KeyNames
