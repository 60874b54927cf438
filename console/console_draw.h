// The console's fonts and the text-drawing helpers that the HUD, menus and
// loading screen share. Positions are screen fractions; every helper queues
// its text on a font, drawn when the frame ends.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

class Font;
class LightSet;
class VeObject;

namespace ConsoleFonts {
enum Which { kSmall, kLarge, kSmall2, kCount };
// The font files as the fonts directory holds them (any case).
inline constexpr const char* kFiles[kCount] = {"small font.fnt", "large font.fnt", "small font 2.fnt"};
// All three or none; false with the failing file's reason.
bool Load(const std::filesystem::path& fontsDir, const std::filesystem::path& graphicsDir, std::string& error);
// Null until loaded.
Font* Get(Which which);
void Unload();
} // namespace ConsoleFonts

// The translucent black quad behind the console, queued on the render queue
// each frame the console shows.
namespace ConsoleBackdrop {
inline constexpr float kAlpha = 0.66f;
void Create();
void Release();
// Null while there is none.
const VeObject* Object();
const LightSet* Lights();
} // namespace ConsoleBackdrop

namespace TextConsole {
// Run once by Init after the fonts load: the status window's panel and the
// interface light sets, which live above the console.
void SetStatusWindowSetup(void (*setup)());
// Once at start-up: the three fonts from `fontsDir` (textures inside
// `graphicsDir`), the wrapping measures and the command table. A font that
// does not load leaves the console running headless; false with the reason.
bool Init(const std::filesystem::path& fontsDir, const std::filesystem::path& graphicsDir, std::string& error);
// One console row at x, y + slide offset; the number of wrapped rows.
int DrawLine(std::string_view text, float x, float y, uint32_t flags, uint32_t colour, int cursor);
} // namespace TextConsole

namespace Text {
void DrawSmall(std::string_view text, float x, float y, uint32_t colour, uint32_t flags = 0);
void DrawSmall2(std::string_view text, float x, float y, uint32_t colour, uint32_t flags = 0);
void DrawSmallClipped(std::string_view text, int count, float x, float y, uint32_t colour, bool centred);
void DrawSmallScaled(std::string_view text, int count, float x, float y, float scale, uint32_t colour);
void DrawSmallOrLarge(std::string_view text, bool large, float x, float y, uint32_t colour, uint32_t flags = 0);
void DrawClipped(std::string_view text, int count, bool large, float x, float y, uint32_t colour);
// Ends at x.
void DrawRightAligned(std::string_view text, float x, float y, uint32_t colour);
// The loading-screen line.
void DrawLoadingText(std::string_view text, uint32_t colour);
void DrawSmallReduced(std::string_view text, float x, float y, uint32_t colour);
// `count` characters wrapped in the box from (0.1, 0.775), width 0.9.
void DrawWrappedBox(std::string_view text, int count, uint32_t colour);
} // namespace Text
