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

class TextureEntry;
class VeObject;
class WorldObject;
struct UiElement;

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
// The ammunition colour group of a weapon type and its swatch in the
// marker atlas.
int AmmoColourGroup(int weaponType);
TextureRect AmmoSwatch(int group);
// "count/capacity" for weapons and stacks, the count for modules, nothing
// for item kinds the screen does not know (say, from an old saved game).
std::optional<std::string> SlotCountText(int itemKind, int count, int capacity);
// Where a slot's count text starts, in screen fractions.
void SlotTextPosition(const UpgradeHotSpot::Rect& slot, float screenWidth, float screenHeight, float& x, float& y);

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

// The projection the hot spots are measured with; null: the screen
// camera's (without a display the rectangles stay empty).
void SetProjection(Projection projection);
void Build();
void Release();
const std::vector<Part>& Parts();
// The slot hot spot of row (0 weapons, 1 ammunition, 2 modules) and position.
UpgradeHotSpot* Slot(int row, int position);
bool IsOpen();
void Toggle();
// Opens the panel on the character (the recon view goes off first).
void Open(WorldObject& character);
void Close();
void UpdateAndDraw();

// ---- the character model and the items on it ----
// Where the character model stands in the screen's space.
inline constexpr float kModelX = 0.25f, kModelY = 0.55f;
inline constexpr float kModelStartScale = 0.05f;
inline constexpr float kItemTurnSteps = 320.0f; // of 4096 a second
inline constexpr float kWeaponDrop = 0.03f, kModuleDrop = 0.01f;
// The panel opener: the unit's model and inventory panel are shown, the
// model growing from 0.05 toward its largest scale from now on. Null (or a
// unit without an inventory) clears.
void Show(WorldObject* unit);
WorldObject* ShownUnit();
VeObject* Model();
float ModelScale();
float ModelMaximumScale();
// Picks the shown inventory's item of that id (0, or an id it does not
// hold: none).
void SetPicked(int32_t itemId);
// A press on a row's up or down part (kinds 22 to 27) scrolls that row of
// the shown inventory by up to three items, sounded; false when the row
// could not move or the kind scrolls no row.
bool PressPart(int kind);
// The turn of the slot items `seconds` after opening, in steps of 4096.
float ItemTurn(double seconds);
struct ShownItem {
    int row = 0, position = 0; // -1, -1 for a copy on the character
    int32_t itemId = 0;
    VeObject* object = nullptr;
    bool disabled = false; // drawn with the disabled material
    float alpha = 1.0f;    // the picked item in its slot: kPickedAlpha
};
inline constexpr float kPickedAlpha = 0.6f;
// The sheet of ammunition colours on the item models, held from Build to
// Release.
inline constexpr const char* kAmmoColourTexture = "bitmaps\\ammocolours.RIM";
TextureEntry* AmmoColours();
// What the last UpdateAndDraw placed: the slot items and the picked item's
// copies at the model's mounting points.
const std::vector<ShownItem>& ShownItems();
// Dragging on the panel turns the model: its heading is the heading at the
// press minus 1200 x the horizontal drag as a fraction of the screen width,
// and stays where the drag ends. False when nothing is shown.
bool DragModel(int pressX, int x, int phase);

// ---- the mouse on the panel ----
// The part under a pixel while the screen is open, as an interface element
// of the part's kind (31 "drop" and 32 "pass" are the kinds the cursor
// knows as the drop element and the squad bar); null elsewhere.
UiElement* ElementAt(int x, int y);
// The part an element of ElementAt stands for; null for other elements.
const Part* PartOf(const UiElement& element);
// A click on a part (press flags: bit 1 Ctrl queues, bit 11 a double
// click): a slot picks or drops its item (a double click equips it), the
// arrows scroll, "exit" leaves, "drop" drops and "pass" waits for a
// character to pass the picked item to.
void ClickElement(const UiElement& element, uint32_t flags);
// Passes the picked item to another character who takes items (a portrait
// click or a drag onto it); false when nothing went.
bool GiveTo(WorldObject& character, uint32_t flags = 0);
bool PassMode();
// A drag from a slot's item carries it; any other drag turns the model.
// The carried item goes, at the release, onto an upper arm of the model
// (equipped there), to a character's portrait (passed), or off the panel
// or onto "drop" (dropped). False ends the drag.
bool Drag(int pressX, int pressY, int x, int y, int phase, uint32_t flags = 0);
bool CarriesItem();
// Where a release would put the carried item.
enum class DropTarget { kNone, kRightArm, kLeftArm, kCharacter, kPassMode, kDrop };
DropTarget TargetAt(int x, int y, WorldObject** character = nullptr);
// How near an arm part's projected point a release must be, in pixels.
inline constexpr float kArmReach = 24.0f;
// The game view's hooks (element lookup, clicks, drags, portraits).
void InstallHooks();

// ---- slot markers ----
inline constexpr const char* kMarkerTexture = "units\\alpha junk.rim";
inline constexpr TextureRect kCannotUseMarker{0.2764f, 0.3096f, 0.8252f, 0.8594f};
inline constexpr TextureRect kLoadedMarker{0.3174f, 0.3535f, 0.8252f, 0.8574f};
struct SlotMarker {
    SpriteRect screen; // pixels
    TextureRect texture;
};
// The markers of one slot's item, at the slot's top right corner: a role
// that may not use it, the stack loaded in the weapon, and the colour of a
// stack the current weapon takes (group -1: none).
std::vector<SlotMarker> MarkersFor(const UpgradeHotSpot::Rect& slot, bool mayUse, bool loaded, int swatchGroup);
// One row's markers, for the shown character's inventory, into the batch.
void DrawSlotMarkers(int row, SpriteBatch& batch);
// The three rows in one batch on the marker atlas (the late drawing pass).
void DrawItemLists();

// How each part is drawn this frame: its light set, or nothing.
enum class PartLook { kHidden, kNormal, kLit, kDisabled, kOutlined };
struct PanelState {
    bool fullPanel = false;                    // grown to its full size
    bool rowUp[3] = {}, rowDown[3] = {};       // a row can scroll that way
    bool boxUp = false, boxDown = false;       // the description box can
    double secondsOpen = 0;
    bool descriptionShown = false;             // one was shown since opening
    bool passMode = false;
    const char* shownCharacter = nullptr;      // its page's part name
    bool slotHoldsPicked = false;              // for the slot asked about
};
PartLook LookOf(const PartSpec& part, const PanelState& state);
float ModelHeading(); // steps of 4096
} // namespace UpgradeScreen

namespace Hud {
// The two panel quads are the letterbox bars of the camera's cut-scene
// easing: black bands across the top and (turned half a turn) the bottom of
// the screen, each 0.1 x level of its height. The level is clamped to 0..5,
// so the bands at most meet in the middle; none for a level of 0 or less.
struct PanelBand {
    float x0, y0, x1, y1; // screen fractions
};
std::vector<PanelBand> PanelPulseBands(float level);
// Draws the bands with the screen camera; nothing before Build.
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
