// Menu rows of the front end and the in-game screens: the item record with
// its own or borrowed texts, the list that owns the items, where rows lie on
// the screen, how their texts type themselves out, and what a row draws.
// The screens build their lists once and refill the dynamic ones.
#pragma once

#include "app/list.h"

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

// A row text: the string table's (never freed or changed by the menus) or a
// copy the item owns.
class MenuText {
public:
    MenuText() = default;
    static MenuText Borrowed(const char* text);
    static MenuText Owned(std::string text);

    std::string_view View() const { return borrowed_ ? std::string_view(borrowed_) : std::string_view(owned_); }
    bool IsBorrowed() const { return borrowed_ != nullptr; }
    // The string table's own pointer for a borrowed text, else null.
    const char* BorrowedPointer() const { return borrowed_; }

private:
    const char* borrowed_ = nullptr;
    std::string owned_;
};

// Screen fractions, y downwards.
struct MenuRect {
    float left = 0, top = 0, right = 0, bottom = 0;
    bool operator==(const MenuRect&) const = default;
    bool StrictlyContains(float x, float y) const { return x > left && x < right && y > top && y < bottom; }
};

namespace MenuReveal {
// A source of 31 random bits; start-up installs the program's shared
// generator, tests a seeded one. Null restores the built-in one.
using RandomSource = uint32_t (*)();
void SetRandomSource(RandomSource source);
// Uniform in [-1, 1).
float NextSigned();
} // namespace MenuReveal

// The three pieces that frame a row's revealed text (left cap, stretched
// middle, right cap): positions and scales for the front end's row objects.
struct RowPiece {
    float x = 0, y = 0, depth = 0;
    float scaleX = 0, scaleY = 0;
    bool operator==(const RowPiece&) const = default;
};

struct MenuItem {
    enum Kind : int32_t { kText = 0, kTextWithValue = 1, kOnOff = 2, kChoice = 3 };
    static constexpr float kRowsTop = 0.3f, kRowStep = 0.05f, kTextLeft = 0.15f, kValueRight = 0.9f;
    static constexpr float kPieceDepth = 5.0f;
    static constexpr float kMaxGlow = 0.5f, kBarLevelPerGlow = 1.333f;
    static constexpr uint32_t kOnTextId = 7007, kOffTextId = 7008;

    int32_t* value = nullptr;             // what an on/off item shows
    MenuText valueText;                   // a key name, an address
    int32_t* choiceValue = nullptr;       // the index a choice item shows
    std::span<const uint32_t> choices;    // string ids by choice value
    bool marked = false;                  // drawn in the mark colour
    MenuText text;
    MenuRect rect;
    Kind kind = kText;
    int32_t id = 0;                       // index in its list; what choosing it passes
    float glow = 0;                       // 0 to kMaxGlow
    float revealRate = 0, secondRate = 0; // characters per clock tick
    int32_t textShown = 0, valueShown = 0;
    int64_t textRevealStart = 0, valueRevealStart = 0;

    static MenuItem MakeText(MenuText text, int32_t id);
    static MenuItem MakeTextWithValue(MenuText text, MenuText valueText, int32_t id, Kind kind);

    // The row of this item's id: kinds 0 and 1 the whole row, the others the
    // bounds of their text.
    void Layout();
    const MenuRect& Rect() const { return rect; }
    static float RowTop(int32_t row) { return kRowsTop + kRowStep * float(row + 1); }

    // The text types itself out again from `now` (clock ticks) at a new rate.
    void RestartReveal(int64_t now);
    // Only the value types itself out again (after the value changed).
    void Flash(int64_t now);
    // Brings the characters shown up to `now`.
    void Reveal(int64_t now);
    bool IsTextComplete() const { return textShown >= int32_t(text.View().size()); }

    // The value part as the row shows it (empty for plain rows and for a
    // choice value outside its texts).
    std::string_view ValueText() const;
    std::string_view ShownText() const { return text.View().substr(0, size_t(textShown)); }
    std::string_view ShownValue() const;

    // The highlight's glow moves towards kMaxGlow (highlighted) or 0 by the
    // frame's seconds; the row bar's colour and alpha follow it.
    void StepGlow(bool highlighted, float seconds);
    float BarLevel() const { return kBarLevelPerGlow * glow; }

    // Draws the text (and the value once the text is complete) on screen
    // row `row`, 1 to 6, in `colour`.
    void Draw(int row, uint32_t colour) const;
    std::array<RowPiece, 3> Pieces(int row) const;
};

// The items of one screen, in order, each with the id it was given.
class MenuItemList {
public:
    int32_t Count() const { return items_.Count(); }
    // Null outside the list.
    MenuItem* At(int32_t index);
    const MenuItem* At(int32_t index) const;

    MenuItem& AddText(const char* tableText);
    MenuItem& AddOwnedText(std::string text);
    MenuItem& AddToggle(MenuText text, int32_t* value);
    MenuItem& AddChoice(MenuText text, int32_t* value, std::span<const uint32_t> choiceIds);
    // A prepared item keeps its id; later ids follow it.
    MenuItem& Append(MenuItem item);

    void Clear();
    void RemoveFirst();

private:
    MenuItem& Add(MenuItem item);

    List<MenuItem> items_;
    int32_t nextId_ = 0;
};

// One screen: its title, items, cursor, scroll and where "back" leads.
struct ScreenState {
    MenuItemList items;
    int32_t cursor = 0;     // index of the item the cursor is on
    int32_t scroll = 0;     // first visible item
    int32_t backTarget = 0; // screen number
    uint32_t titleId = 0;
    static constexpr int32_t kVisibleRows = 6;

    // `count` borrowed items with the string table's texts first ..
    // first + count - 1 (none when first is 0).
    void Init(uint32_t firstId, int32_t count, uint32_t title);
    // The cursor item takes `text` (the old one is released unless it is the
    // string table's) and is laid out again.
    void SetCursorText(std::string text);
    void ClearItems();
};

// The text being typed into a row: at most kLongest characters.
class EditBuffer {
public:
    static constexpr size_t kLongest = 249;
    // False (and nothing changes) when the buffer is full.
    bool Append(char c);
    void DeleteLast();
    void Clear() { text_.clear(); }
    void Set(std::string_view text) { text_ = std::string(text.substr(0, kLongest)); }
    const std::string& Text() const { return text_; }

private:
    std::string text_;
};
