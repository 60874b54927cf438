// Radial menus: a WheelWidget is one segment drawn from a part of the wheel
// model, a Wheel fans its segments out about a centre with an opening and
// closing animation, and the CommandWheel (one per session) holds the main
// segments with the standing-orders and ammunition sub-wheels. Angles are in
// 4096 steps a turn; times are 64-bit ticks of the real-time clock.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/ref_counted.h"

// The drawable part behind a segment; the wheel only places and draws it.
class WheelShape {
public:
    enum Material { kNormal, kPressed, kDisabled, kHighlighted };
    virtual ~WheelShape() = default;
    virtual void Place(float x, float y, float depth) = 0;
    // Rotation about the view axis by `angle`, times the part's own turn.
    virtual void SetAngle(float angle) = 0;
    virtual void Draw(Material material, const void* pickIdentity) = 0;
};
// Makes the shape of a named part of a model file; null when the file or
// the part is missing.
using WheelShapeFactory = std::function<std::unique_ptr<WheelShape>(const std::string& file, const std::string& part)>;

// What a wheel plays, draws and measures outside itself.
struct WheelServices {
    std::function<void(int sound)> playSound;
    // Width of the text in screen fractions at the label's scale.
    std::function<float(const std::string& text)> measure;
    std::function<void(const std::string& text, int characters, float x, float y)> drawLabel;
    float lineHeight = 0.03f;
    int64_t ticksPerSecond = 1000;
};
WheelServices& WheelEnvironment();

// Click result bits.
inline constexpr int kClickTaken = 1, kClickCloseHolder = 4, kClickOpenMe = 8;

class WorldObject;
class Wheel;

class WheelWidget : public RefCounted {
public:
    static constexpr float kDefaultWidth = 682.667f;
    static constexpr float kNarrowWidth = 341.0f;
    static constexpr float kRevealRate = 25.0f; // characters a second

    WheelWidget();
    void SetShape(std::unique_ptr<WheelShape> shape);
    bool HasShape() const { return shape_ != nullptr; }

    virtual void SetHovered() { hovered_ = true; }
    virtual void Draw(uint64_t now);
    virtual int Press(uint64_t now);
    virtual void Refresh() {}
    virtual void SetPlacement(float x, float y);
    virtual int Click(uint64_t now);
    virtual void Close(uint64_t now, bool fast);
    virtual int Phase(uint64_t now) const;
    virtual void Open(uint64_t /*now*/) {}
    virtual bool IsStandingOrders() const { return false; }

    void SetAngle(float angle);
    float Angle() const { return angle_; }
    float Width() const { return width_; }
    void SetWidth(float width) { width_ = width; }
    void SetEnabled(bool enabled) { enabled_ = enabled; }
    bool Enabled() const { return enabled_; }
    void SetVisualState(int state) { visualState_ = state; }
    int VisualState() const { return visualState_; }
    void SetLabel(std::string label) { label_ = std::move(label); }
    void SetLabelsAllowed(bool allowed) { noLabel_ = !allowed; }
    void ClearHovered() { hovered_ = false; }
    bool Hovered() const { return hovered_; }
    void SetDepth(float depth);
    float Depth() const { return depth_; }
    int Id() const { return id_; }
    void SetId(int id) { id_ = id; }
    void SetParent(Wheel* parent) { parent_ = parent; }
    // 0..1 of the press animation at `now`.
    float PressLevel(uint64_t now) const;
    // Characters of the label the last Draw showed; -1 when none.
    int LabelShown() const { return labelShown_; }
    float PlacementX() const { return x_; }
    float PlacementY() const { return y_; }

protected:
    ~WheelWidget() override = default;
    Wheel* parent_ = nullptr;

private:
    void DrawLabel(uint64_t now);

    std::unique_ptr<WheelShape> shape_;
    bool hovered_ = false, hoveredLast_ = false;
    float width_ = kDefaultWidth, angle_ = 0;
    float x_ = 0.5f, y_ = 0.375f, depth_ = 0.5f;
    bool enabled_ = true;
    int visualState_ = 1;
    uint64_t pressTime_ = 0;
    bool pressed_ = false;
    uint64_t labelStart_ = 0;
    std::string label_;
    bool noLabel_ = false;
    int id_ = 0;
    int labelShown_ = -1;
};

class Wheel : public WheelWidget {
public:
    enum State { kClosed, kOpen, kOpening, kClosing };

    Wheel();
    void Add(WheelWidget* child); // takes a reference of its own
    void RemoveAll();
    int ChildCount() const { return int(children_.size()); }
    WheelWidget* Child(int i) const { return children_[size_t(i)].Get(); }

    void SetHovered() override { WheelWidget::SetHovered(); }
    void Draw(uint64_t now) override;
    int Press(uint64_t now) override;
    void Refresh() override;
    void SetPlacement(float x, float y) override;
    int Click(uint64_t now) override;
    void Close(uint64_t now, bool fast) override;
    int Phase(uint64_t now) const override;
    void Open(uint64_t now) override;
    virtual void SelectChild(WheelWidget* child);

    void SetAnchors(float anchorFraction, float secondAnchorFraction);
    void Arrange();
    // The fan's spread at `now`, 0 closed to 1 open; moves the state on
    // when an opening or closing has run its time.
    float Spread(uint64_t now);
    State GetState() const { return state_; }
    float TotalWidth() const { return totalWidth_; }
    uint64_t OpeningTime() const { return openingTime_; }
    uint64_t ClosingTime() const { return closingTime_; }
    uint64_t FastClosingTime() const { return fastClosingTime_; }

protected:
    ~Wheel() override;
    void RotateToFront(WheelWidget* child);
    std::vector<RefPtr<WheelWidget>> children_;
    float anchorFraction_ = 0, secondAnchorFraction_ = 0;
    WheelWidget* anchorChild_ = nullptr;
    WheelWidget* secondAnchorChild_ = nullptr;

private:
    uint64_t ClosingDuration() const { return closingFast_ ? fastClosingTime_ : closingTime_; }
    // Centre of child i from the first child's centre.
    float Offset(size_t i) const;

    State state_ = kClosed;
    uint64_t transitionStart_ = 0;
    float totalWidth_ = 0;
    uint64_t openingTime_, closingTime_, fastClosingTime_;
    std::vector<WheelWidget*> depthOrder_;
    RefPtr<WheelWidget> clicked_;
    int clickResult_ = 0;
    bool closingFast_ = false;
};

// The pending wheel action the mouse action map completes.
namespace WheelAction {
enum Kind { kAttackLocation, kUpgradeScreen, kLoadAmmunition, kStandingOrder, kNone };
}

// A segment that acts when clicked; `act` returns the result bits to add.
class ActionSegment : public WheelWidget {
public:
    explicit ActionSegment(std::function<int(uint64_t now)> act) : act_(std::move(act)) {}
    int Click(uint64_t now) override;

private:
    std::function<int(uint64_t)> act_;
};

namespace CommandWheel {
// Once per session: the main segments and the two sub-wheels, their shapes
// from `factory` (null: segments without shapes).
void Build(const WheelShapeFactory& factory);
void Release();
Wheel* Get();
bool IsOpen();
// Opens on the screen point (fractions).
void OpenAt(float x, float y, uint64_t now);
// The unit under the pointer when the wheel opened; null: the selection.
void SetCommandUnit(WorldObject* unit);
int PendingAction();
int PendingIndex();
void ClearPendingAction();
// The string ids of the labels, by segment.
inline constexpr int kMainLabels[6] = {13008, 13007, 13003, 13006, 13005, 13004};
inline constexpr int kStandingLabels[7] = {13035, 13034, 13033, 13029, 13030, 13031, 13032};
} // namespace CommandWheel

class Camera;

namespace CommandWheel {
inline constexpr const char* kModelFile = "User Interface/CommWheel01.RIF";
// Segment shapes made from parts of model files (the wheel model's, and the
// ammunition records' own), drawn with `camera`
// (the interface camera; nothing is drawn while it is null) and the
// interface light sets as materials.
WheelShapeFactory ModelShapes(Camera** camera);
} // namespace CommandWheel
