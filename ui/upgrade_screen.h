// The upgrade screen: one squad character's weapons, ammunition and modules
// in three rows of three slots, with row arrows, a scrolling description
// box and one page per character. Its layout is a model file whose named
// parts carry hot spots; the mouse action map opens and closes it and the
// main loop draws it instead of the level while it is open.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/maths.h"
#include "ui/menu_screen.h"
#include "ui/sprite_batch.h"

class VeObject;

// The hot spot of one reacting part: a screen rectangle in pixels.
class UpgradeHotSpot : public MenuScreen {
public:
    struct Rect {
        float x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    };
    explicit UpgradeHotSpot(int kind, void* owner = nullptr) : MenuScreen(kind, 0), owner_(owner) {}
    void SetPosition(float, float) override {}
    bool IsTransient() const override { return false; }
    void* IsUpgradePanel() const override { return owner_; }

    Rect rect;

private:
    void* owner_;
};

namespace UpgradeScreen {
inline constexpr const char* kModelFile = "user interface/custom screen 02.rif";
inline constexpr int kSlotKind = 15, kPageKind = 33, kInfoKind = 34;
inline constexpr int kVisibleLines = 3;
inline constexpr float kRevealRate = 25.0f; // characters a second
inline constexpr const char* kPassPrompt = "Click on a character to pass the item.";

struct PartSpec {
    const char* name;
    bool hot;
    int kind; // 0: decoration without a hot spot
};
inline constexpr PartSpec kParts[] = {
    {"background", false, 0}, {"weapon", true, 16},       {"ammo", true, 17},        {"module", true, 18},
    {"arrow1", true, 19},     {"arrow2", true, 20},       {"arrow3", true, 21},      {"ammo up", true, 24},
    {"ammo down", true, 25},  {"weapon up", true, 22},    {"weapon down", true, 23}, {"module up", true, 26},
    {"module down", true, 27}, {"up button", true, 28},   {"down button", true, 29}, {"exit", false, 30},
    {"drop", false, 31},      {"pass", false, 32},        {"text", false, 0},        {"trevok", true, 33},
    {"vell", true, 33},       {"tovan", true, 33},        {"sokra", true, 33},       {"dulvaine", true, 33},
    {"info", true, 34},       {"w1", true, 15},           {"w2", true, 15},          {"w3", true, 15},
    {"a1", true, 15},         {"a2", true, 15},           {"a3", true, 15},          {"m1", true, 15},
    {"m2", true, 15},         {"m3", true, 15},
};

struct Part {
    std::string name;
    bool hot = false;
    UpgradeHotSpot* hotSpot = nullptr; // owned; null for decoration
    VeObject* object = nullptr;        // owned; null when the model lacks the part
};
// Where the parts sit in front of the screen camera, from their model place.
inline constexpr float kPlaceX = 0.5f, kPlaceY = 0.5f, kPlaceZ = 2.0f;

// Projects a world point to pixels; false when it cannot be seen.
using Projection = std::function<bool(const Vec3& world, float& x, float& y)>;
// The pixel rectangle of a projected bounding box (corners in any order).
UpgradeHotSpot::Rect ProjectBox(const Vec3& minimum, const Vec3& maximum, const Projection& project);
// The character model's largest growth scale; a model of no (or no finite)
// extent keeps the upper bound.
float MaxGrowthScale(float largestExtent);
// The ammunition colour group of a weapon type and its swatch in the
// marker atlas.
int AmmoColourGroup(int weaponType);
TextureRect AmmoSwatch(int group);
// "count/capacity" for weapons and stacks, the count for modules, nothing
// for item kinds the screen does not know (say, from an old saved game).
std::optional<std::string> SlotCountText(int itemKind, int count, int capacity);

// What the description box shows: the picked item's description, the pass
// prompt in pass mode with more than one squad character, or the shown
// character's description while the pointer rests on its page; null for
// nothing.
const char* DescriptionFor(const char* pickedItemDescription, bool passMode, int squadCharacters,
                           const char* hoveredPageDescription);
// The text-box buttons blink: lit when the box can scroll that way during
// the even whole seconds since the screen opened.
bool ScrollButtonLit(bool canScroll, double secondsOpen);
// Until a description has been shown the character's page and the "info"
// part alternate, 0.3 phases a second; true while "info" shows.
bool InfoPageShown(double secondsOpen, bool descriptionShown);
// One frame of the panel's growth toward its maximum.
float GrowthStep(float scale, int64_t elapsedTicks, float growthRate, float maximum);

// The description box.
void SetText(const char* text); // null clears
// Counts the lines the box wraps a text into; the default measures with the
// small font when it is loaded and counts newlines otherwise.
void SetLineCounter(std::function<int(std::string_view)> counter);
int TextLines();
int FirstLine();
bool CanScrollUp();
bool CanScrollDown();
void ScrollUp();
void ScrollDown();
// Characters shown `seconds` after the text was set.
int RevealedCharacters(double seconds);

// The screen camera's projection the hot spots are measured with; without
// one they keep empty rectangles.
void SetProjection(Projection projection);
void Build();
void Release();
const std::vector<Part>& Parts();
// The slot hot spot of row (0 weapons, 1 ammunition, 2 modules) and position.
UpgradeHotSpot* Slot(int row, int position);
bool IsOpen();
void Toggle();
void Close();
void UpdateAndDraw();
} // namespace UpgradeScreen

namespace Hud {
// The two panel quads scaled to (1, 0.1 x level, 1); nothing before Build.
void DrawPanelPulse(float level);
} // namespace Hud

namespace SkyBackdrop {
inline constexpr const char* kFile = "levels\\level01.rif";
// The part "sky" of the first level, once; false when it does not load.
bool Load();
void Release();
VeObject* Object();
// The sky object placed around the main camera; nothing when absent.
void Draw();
} // namespace SkyBackdrop
