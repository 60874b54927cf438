// The main menu's 3-D pieces: the three ring buttons made from the named
// parts of the menu model, each drawn in one of three looks, and the lit
// bars framing each visible row's text, whose brightness follows the row's
// glow. Without the model file the front end draws the buttons as glyphs.
#pragma once

#include "ui/menu_items.h"

#include <array>

namespace FrontEndModels {

inline constexpr const char* kModelFile = "User Interface/Main Menu.RIF";
inline constexpr const char* kTexture = "units\\alpha junk.rim";
// The parts of the scroll-up, scroll-down and back buttons.
inline constexpr const char* kButtonParts[3] = {"Scroll Up", "Scroll Down", "Go Up"};
// The ring's centre on the screen; the parts are drawn stretched in y so a
// circle in the model is the ring the pointer is tested against.
inline constexpr float kCentreX = 0.25f, kCentreY = 0.5f, kDepth = 5.0f;
inline constexpr float kScaleX = 1.0f, kScaleY = 1.333f, kScaleZ = 1.0f;

enum Look : int { kDisabled = 0, kNormal = 1, kHighlighted = 2 };
enum Button : int { kScrollUpButton = 0, kScrollDownButton = 1, kBackButton = 2 };

// A button that cannot act is disabled; otherwise the highlight decides.
Look LookFor(bool enabled, bool highlighted);
// The emissive colour of a look, red, green, blue, alpha.
std::array<float, 4> LookColour(Look look);
// The bar's colour and alpha, all four alike, for a row's glow.
float BarLevel(float glow);

// Loads the button parts and makes the looks and the row bars; parts the
// file lacks are left out (and drawn as glyphs). Safe to call again.
void Load();
void Release();
// True when the button's part was loaded.
bool HasButton(Button button);
// Queues a button for this frame's drawing.
void DrawButton(Button button, Look look);
// Rows that have a bar of their own.
inline constexpr int kBarRows = 12;
// Lights row `row`'s bar (1 to 12) by the glow of `item` and queues its three
// pieces round the revealed text; returns how many were queued (none before
// `Load` or outside the rows).
int DrawRowBars(int row, const MenuItem& item);

} // namespace FrontEndModels
