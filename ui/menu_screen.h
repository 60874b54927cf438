// The base of every screen shown over the game view: menus, plates, the
// upgrade screen's hot spots, map and object screens. This holds the fields
// and the virtual operations they share; the in-game menu, save and load
// screens add their drawing and running on top.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/ref_counted.h"

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

    // The save and load keys; false while those screens are not built.
    static bool OnSaveKey();
    static bool OnLoadKey();

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
};
