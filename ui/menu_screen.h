// The base of every screen shown over the game view: menus, plates, the
// upgrade screen's hot spots, map and object screens. This holds the fields
// and the virtual operations they share; the in-game menu, save and load
// screens add their drawing and running on top.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/ref_counted.h"
#include "ui/menu_items.h"

// One row of a menu screen's item list; on the save and load screens it also
// keeps what the file's head says.
struct MenuSlotRow {
    std::string text;
    float x = 0, y = 0; // screen fractions of the row's top-left corner
    uint32_t levelStart = 0;
    std::string commandFile;
    std::string scriptName;        // the level's definitions script
    std::optional<int64_t> savedAt; // the file's time, seconds since 1970
    MenuItem shown;     // the text as it types itself out
};

// The item list of one menu slot: its title, rows, the highlighted id and
// the scroll.
struct MenuSlotList {
    uint32_t title = 0; // string id, set when the front end builds its screens
    std::vector<MenuSlotRow> rows;
    int highlight = 256;
    int scroll = 0;
};

class MenuScreen : public RefCounted {
public:
    enum Kind {
        kInGameMenu = 0, kSaveScreen = 1, kLoadScreen = 2, kEndOfMission = 3, kMessagePlate = 5,
        kUpgradePanel = 6, kPlatesBack = 7, kPlatesOn = 8, kUpgradePanel2 = 9, kMap = 10, kMap2 = 11,
        kObjectScreen = 12, kObjectScreen2 = 13, kParticleTester = 14, kFirstUpgradeButton = 16,
    };

    MenuScreen(int kind, float parameter);

    virtual void Activate();
    virtual void Draw(int64_t /*now*/) {}
    virtual void SetPosition(float x, float y);
    virtual void Run() {}
    virtual bool IsShown() const { return shown_; }
    virtual float Parameter() const { return parameter_; }
    virtual bool IsObjectScreenVisible() const;
    virtual bool IsMap() const { return kind_ == kMap || kind_ == kMap2; }
    virtual void* IsUpgradePanel() const { return nullptr; }
    virtual float Left() const { return left_; }
    virtual float Top() const { return top_; }
    // Screens that close on their own (menus) against lasting ones.
    virtual bool IsTransient() const { return true; }

    int Kind() const { return kind_; }
    bool Active() const { return active_; }

    // Every screen alive, in creation order (drawn each frame).
    static const std::vector<MenuScreen*>& All();
    static MenuScreen* Current();
    static void SetObjectScreensHidden(bool hidden);

    // Highlight ids besides rows: none, and the save and load screens' buttons.
    enum Choice { kNone = 256, kBack = 257, kScrollUp = 258, kScrollDown = 259, kLoad = 260, kSave = 261, kDelete = 262 };
    static constexpr size_t kNameFieldLength = 19;

    // The save and load keys: true when the screen opened.
    static bool OnSaveKey();
    static bool OnLoadKey();

    // The four menu slots (in-game menu, save, load, end of mission).
    static void OpenInGameMenu();
    static void OpenSaveScreen();
    static void OpenLoadScreen();
    static void OpenFromServer();
    static void Finish(int kind);
    // The level stops under an open screen: the server thread the screen
    // parked is let go (the speed still comes back when the screen closes).
    static void ReleaseGameHold();
    static bool AnyOpen();
    static bool IsInGameMenuOpen();
    static bool IsEndOfMissionScreenOpen();
    static MenuScreen* Slot(int kind); // null when empty
    // A save or load screen that is open and not closing: typed keys go to
    // its name, the game's keys wait for it to go.
    static bool TakesTypedName();
    static MenuSlotList& List(int slot);
    // Empties the four slot lists and gives them their titles (the front
    // end's build at start-up); with `titled` false they lose them too (exit).
    static void ResetLists(bool titled);
    static int CurrentList();
    static void DrawAll(int64_t now);
    static void ReleaseAll();
    // The pointer in screen fractions and whether it moved since the last frame.
    static void SetPointer(float x, float y);
    static float PointerX();
    static float PointerY();
    // The id under (u, v) in a save or load screen's own coordinates.
    static int HitTestSaveScreen(float u, float v, size_t rowCount);
    // The detail lines of a saved game's row: its level after label 7069,
    // then when it was saved (local time) after label 7070.
    static std::array<std::string, 2> SaveDetails(const MenuSlotRow& row);
    // The save and load screens' name field.
    static std::string& NameField();
    // Gives the game view's Escape its menu (open, close, is open).
    static void InstallHooks();

    void BeginClose();
    bool Closing() const { return closing_; }
    bool OpenComplete() const { return openComplete_; }
    float Opacity() const { return opacity_; }
    // The quad in screen fractions, set by the last Draw.
    float QuadWidth() const { return width_; }
    float QuadHeight() const { return height_; }

protected:
    ~MenuScreen() override;

    bool closing_ = false;
    int64_t animationStart_ = 0;
    bool shown_ = true, active_ = false;
    bool hideable_ = false, kindFlag2_ = false;
    float left_ = 0, top_ = 0, layout_ = 0.3f;
    float parameter_;
    int kind_;
    float firstRow_ = 0.05f, lastRow_ = 0.95f;
    bool openComplete_ = false;
    float opacity_ = 0, width_ = 0, height_ = 0;
};
