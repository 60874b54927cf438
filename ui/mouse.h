// The mouse of the game view: three button records follow each press from
// button-down to button-up, tell a click from a drag and call the handler
// the action map holds for the cursor mode and for what lay under the
// pointer at the press. The cursor mode also picks the cursor's shape.
#pragma once

#include "app/maths.h"
#include "ui/picking.h"

#include <cstdint>

class WorldObject;

// Where the pointer is and what is under it (a press's, or the current).
struct PointerState {
    int x = 0, y = 0;
    uint32_t flags = 0;
    WorldObject* object = nullptr;
    UiElement* element = nullptr;
    const Vec3* ground = nullptr; // null: the ray met no ground
};

class MouseButton;
using DragHandler = bool (*)(MouseButton& button, const PointerState& current, int phase);
using ClickHandler = void (*)(MouseButton& button);

class MouseButton {
public:
    static constexpr int kModes = 7, kRelations = 6, kCells = kModes * kRelations;
    static constexpr int kPhaseStart = 1, kPhaseEnd = 2, kPhaseCancel = 4;

    void SetClickHandler(uint32_t mask, ClickHandler handler);
    void SetDragHandler(uint32_t mask, DragHandler handler);
    void ClearHandlers();
    DragHandler DragAt(int relation, int mode) const { return drag_[relation * kModes + mode]; }
    ClickHandler ClickAt(int relation, int mode) const { return click_[relation * kModes + mode]; }

    void Press(int x, int y, uint32_t flags);
    void Move(int x, int y, uint32_t flags);
    void Release(int x, int y, uint32_t flags);
    // Ends the press without a handler; a drag is cancelled first when its
    // handler differs under `newMode`.
    void OnModeChange(int oldMode, int newMode);
    // Ends the press and drops its reference.
    void Drop();

    bool Held() const { return held_; }
    bool Dragging() const { return dragging_; }
    int Relation() const;
    const PointerState& PressState() const { return press_; }
    const PointerState& Current() const { return current_; }
    // The position of the previous drag call (the camera drags step from it).
    int lastX_ = 0, lastY_ = 0;

    static MouseButton& Left();
    static MouseButton& Middle();
    static MouseButton& Right();

private:
    void Refresh(int x, int y, uint32_t flags);
    bool PastThreshold(int x, int y) const;

    bool held_ = false, dragging_ = false;
    PointerState press_, current_;
    Vec3 pressGround_{0, 0, 0}, currentGround_{0, 0, 0};
    DragHandler drag_[kCells] = {};
    ClickHandler click_[kCells] = {};
};

namespace MouseMode {
inline constexpr int kStandard = 0, kWheel = 1, kAttack = 2, kUpgrade = 3, kMenu = 4, kRecon = 5, kCutscene = 6;
int Get();
void Set(int mode);
void Reset();
void EnterCutscene();
} // namespace MouseMode

namespace MouseActionMap {
// Fills the six tables; `swapped` exchanges the camera buttons.
void Build(bool swapped);
bool IsBuilt();
} // namespace MouseActionMap

namespace MouseAction {
bool DragSelectBox(MouseButton& b, const PointerState& s, int phase);
bool DragWidget(MouseButton& b, const PointerState& s, int phase);
bool RotateCamera(MouseButton& b, const PointerState& s, int phase);
bool PanCamera(MouseButton& b, const PointerState& s, int phase);
bool DragUpgradeScreen(MouseButton& b, const PointerState& s, int phase);
void MoveTo(MouseButton& b);
void AttackTarget(MouseButton& b);
void AttackLocation(MouseButton& b);
void SelectUnit(MouseButton& b);
void ClickWidget(MouseButton& b);
void OpenCommandWheel(MouseButton& b);
void OpenWheelForSingle(MouseButton& b);
void WheelClick(MouseButton& b);
void CloseCommandWheel(MouseButton& b);
void ConfirmAttack(MouseButton& b);
void CancelMode(MouseButton& b);
void LaunchProjectile(MouseButton& b);

// The selection box while a box drag shows it (pixels).
struct Box {
    int left = 0, top = 0, right = 0, bottom = 0;
    bool shown = false;
};
const Box& SelectionBox();
// The console's EPW switch.
bool& EpwEnabled();
} // namespace MouseAction

namespace Mouse {
void OnMove(int x, int y, uint32_t flags);
void OnLeftDown(int x, int y, uint32_t flags);
void OnLeftUp(int x, int y, uint32_t flags);
void OnLeftDoubleClick(int x, int y, uint32_t flags);
void OnRightDown(int x, int y, uint32_t flags);
void OnRightUp(int x, int y, uint32_t flags);
void OnMiddleDown(int x, int y, uint32_t flags);
void OnMiddleUp(int x, int y, uint32_t flags);
void OnWheel(int delta);
// Where the last pointer handler was told the pointer is (mode pixels).
void LastPoint(int& x, int& y);
// Level stop: every press is dropped with its reference.
void DropAll();
} // namespace Mouse
