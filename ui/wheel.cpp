#include "ui/wheel.h"

#include "app/string_table.h"
#include "console/console.h"
#include "console/console_draw.h"
#include "console/text_console.h"
#include "Veapi/font.h"
#include "ui/hud_view.h"
#include "ui/ui_placeholders.h"

#include <algorithm>
#include <cmath>

namespace {

// Labels go through the small font at half size in the screen messages'
// colour; the width is measured with the same font.
WheelServices DefaultServices()
{
    WheelServices s;
    s.measure = [](const std::string& text) {
        const Font* font = ConsoleFonts::Get(ConsoleFonts::kSmall);
        if (!font)
            return 0.0f;
        int32_t pixels = 0;
        for (unsigned char c : text)
            if (c < font->Widths().size())
                pixels += font->Widths()[c];
        return 0.5f * float(pixels) / std::max(1.0f, HudView::Current().ScreenWidth());
    };
    s.drawLabel = [](const std::string& text, int characters, float x, float y) {
        Text::DrawSmallScaled(text, characters, x, y, 0.5f, TextConsole::Get().textColour);
    };
    return s;
}

WheelServices g_services = DefaultServices();

int64_t Elapsed(uint64_t now, uint64_t start) { return int64_t(now - start); } // wrap-safe

} // namespace

WheelServices& WheelEnvironment() { return g_services; }

WheelWidget::WheelWidget() = default;

void WheelWidget::SetShape(std::unique_ptr<WheelShape> shape)
{
    shape_ = std::move(shape);
    if (shape_) {
        shape_->Place(x_, y_, depth_);
        shape_->SetAngle(angle_);
    }
}

void WheelWidget::SetAngle(float angle)
{
    angle_ = angle;
    if (shape_)
        shape_->SetAngle(angle);
}

void WheelWidget::SetDepth(float depth)
{
    depth_ = depth;
    if (shape_)
        shape_->Place(x_, y_, depth_);
}

void WheelWidget::SetPlacement(float x, float y)
{
    x_ = x;
    y_ = y;
    if (shape_)
        shape_->Place(x_, y_, depth_);
}

float WheelWidget::PressLevel(uint64_t now) const
{
    if (!pressed_)
        return 0;
    const uint64_t rise = uint64_t(g_services.ticksPerSecond / 4), fall = rise;
    const int64_t t = Elapsed(now, pressTime_);
    if (t < 0 || rise == 0)
        return 0;
    if (uint64_t(t) <= rise)
        return float(t) / float(rise);
    if (uint64_t(t) < rise + fall)
        return float(rise + fall - uint64_t(t)) / float(fall);
    return 0;
}

void WheelWidget::DrawLabel(uint64_t now)
{
    labelShown_ = -1;
    if (hovered_ && hoveredLast_ && !noLabel_ && !label_.empty()) {
        const WheelServices& env = g_services;
        const float width = env.measure ? env.measure(label_) : 0.0f;
        const Wheel* holder = CommandWheel::Get();
        const float cx = holder ? holder->PlacementX() : x_, cy = holder ? holder->PlacementY() : y_;
        const float x = std::max(0.025f, std::min(cx - width / 2, 0.975f - width));
        float y = cy * 4.0f / 3.0f - env.lineHeight;
        y += y > 0.82f ? -0.17f : 0.18f;
        const double seconds = double(std::max<int64_t>(0, Elapsed(now, labelStart_))) /
                               double(std::max<int64_t>(1, env.ticksPerSecond));
        labelShown_ = int(std::min<double>(double(label_.size()), std::floor(seconds * kRevealRate)));
        if (env.drawLabel)
            env.drawLabel(label_, labelShown_, x, y);
    }
    if (!hoveredLast_)
        labelStart_ = now;
    hoveredLast_ = hovered_;
}

void WheelWidget::Draw(uint64_t now)
{
    if (!shape_) {
        hovered_ = false;
        return;
    }
    DrawLabel(now);
    const float level = PressLevel(now);
    if (level == 0)
        pressed_ = false;
    hovered_ = false;
    WheelShape::Material material = level >= 0.5f ? WheelShape::kPressed : WheelShape::kNormal;
    if (visualState_ == 0)
        material = WheelShape::kDisabled;
    else if (visualState_ == 2)
        material = WheelShape::kHighlighted;
    shape_->Draw(material, this);
}

int WheelWidget::Press(uint64_t now)
{
    if (enabled_) {
        pressTime_ = now;
        pressed_ = true;
    }
    return 0;
}

int WheelWidget::Click(uint64_t now)
{
    if (!hovered_ || !enabled_)
        return 0;
    return Press(now) | kClickTaken;
}

void WheelWidget::Close(uint64_t, bool)
{
    if (g_services.playSound)
        g_services.playSound(11);
}

int WheelWidget::Phase(uint64_t) const { return 3; }

Wheel::Wheel()
    : openingTime_(uint64_t(g_services.ticksPerSecond * 5 / 16)),
      closingTime_(uint64_t(g_services.ticksPerSecond * 7 / 16)),
      fastClosingTime_(uint64_t(g_services.ticksPerSecond * 3 / 16))
{
}

Wheel::~Wheel() = default;

void Wheel::Add(WheelWidget* child)
{
    if (!child)
        return;
    children_.emplace_back(child);
    child->SetParent(this);
    Arrange();
}

void Wheel::RemoveAll()
{
    anchorChild_ = secondAnchorChild_ = nullptr;
    clicked_.Reset();
    depthOrder_.clear();
    children_.clear();
    Arrange();
}

void Wheel::SetAnchors(float anchorFraction, float secondAnchorFraction)
{
    anchorChild_ = secondAnchorChild_ = nullptr;
    anchorFraction_ = anchorFraction;
    secondAnchorFraction_ = secondAnchorFraction;
    Arrange();
}

float Wheel::Offset(size_t i) const
{
    float offset = 0;
    for (size_t j = 0; j < i; ++j)
        offset += (children_[j]->Width() + children_[j + 1]->Width()) / 2;
    return offset;
}

void Wheel::Arrange()
{
    const size_t n = children_.size();
    totalWidth_ = 0;
    for (const auto& child : children_)
        totalWidth_ += child->Width();
    if (n > 0)
        totalWidth_ -= (children_.front()->Width() + children_.back()->Width()) / 2;
    // With 0 or 1 children the fan has no width: every fraction is 0.
    std::vector<float> fraction(n, 0.0f);
    for (size_t i = 0; i < n; ++i) {
        fraction[i] = totalWidth_ > 0 ? Offset(i) / totalWidth_ : 0.0f;
        if (children_[i].Get() == anchorChild_)
            anchorFraction_ = fraction[i];
        if (children_[i].Get() == secondAnchorChild_)
            secondAnchorFraction_ = fraction[i];
    }
    std::vector<size_t> order(n);
    for (size_t i = 0; i < n; ++i)
        order[i] = i;
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
        return std::fabs(fraction[a] - anchorFraction_) < std::fabs(fraction[b] - anchorFraction_);
    });
    const float step = n > 1 ? 1.0f / (5.0f * float(n - 1)) : 0.0f;
    depthOrder_.clear();
    for (size_t k = 0; k < n; ++k) {
        children_[order[k]]->SetDepth(0.4f + step * float(k));
        depthOrder_.push_back(children_[order[k]].Get());
    }
}

void Wheel::RotateToFront(WheelWidget* child)
{
    auto at = std::find_if(children_.begin(), children_.end(), [&](const auto& c) { return c.Get() == child; });
    if (at != children_.end())
        std::rotate(children_.begin(), at, children_.end());
}

void Wheel::SelectChild(WheelWidget* child)
{
    RotateToFront(child);
    anchorChild_ = child;
    secondAnchorChild_ = child;
    Arrange();
}

float Wheel::Spread(uint64_t now)
{
    switch (state_) {
    case kOpen:
        return 1;
    case kOpening: {
        const float c = openingTime_ ? float(Elapsed(now, transitionStart_)) / float(openingTime_) : 2.0f;
        if (c > 1) {
            state_ = kOpen;
            return 1;
        }
        return std::max(c, 0.0f);
    }
    case kClosing: {
        const uint64_t duration = ClosingDuration();
        const float c = duration ? 1.0f - float(Elapsed(now, transitionStart_)) / float(duration) : -1.0f;
        if (c < 0) {
            state_ = kClosed;
            return 0;
        }
        return std::min(c, 1.0f);
    }
    default:
        return 0;
    }
}

void Wheel::Draw(uint64_t now)
{
    const bool labels = Phase(now) == 2;
    for (const auto& child : children_)
        child->SetLabelsAllowed(labels);
    WheelWidget::Draw(now);
    if (clicked_) {
        bool othersMoving = false;
        for (const auto& child : children_)
            if (child.Get() != clicked_.Get()) {
                const int phase = child->Phase(now);
                othersMoving = othersMoving || phase == 1 || phase == 2;
            }
        if (!othersMoving) {
            RefPtr<WheelWidget> clicked = std::move(clicked_);
            const int result = clickResult_;
            clickResult_ = 0;
            if (result & kClickCloseHolder)
                Close(now, false);
            if (result & kClickOpenMe)
                clicked->Open(now);
        }
    }
    const float c = Spread(now);
    for (size_t i = 0; i < children_.size(); ++i)
        children_[i]->SetAngle(Angle() + (anchorFraction_ - secondAnchorFraction_) * totalWidth_ +
                               c * (Offset(i) - anchorFraction_ * totalWidth_));
    for (WheelWidget* child : depthOrder_)
        child->Draw(now);
}

int Wheel::Press(uint64_t now)
{
    if (state_ == kOpen || state_ == kOpening) {
        Close(now, false);
        WheelWidget::Press(now);
        return 0;
    }
    WheelWidget::Press(now);
    return kClickOpenMe;
}

void Wheel::Refresh()
{
    if (state_ == kClosed)
        return;
    for (const auto& child : children_)
        child->Refresh();
}

void Wheel::SetPlacement(float x, float y)
{
    WheelWidget::SetPlacement(x, y);
    for (const auto& child : children_)
        child->SetPlacement(x, y);
}

int Wheel::Click(uint64_t now)
{
    if (state_ != kClosed) {
        // Copied: selecting a child reorders the list.
        const std::vector<RefPtr<WheelWidget>> children = children_;
        for (const auto& child : children) {
            const int result = child->Click(now);
            if (!(result & kClickTaken))
                continue;
            clicked_ = child;
            clickResult_ = result;
            SelectChild(child.Get());
            for (const auto& other : children)
                if (other.Get() != child.Get())
                    other->Close(now, true);
            return result & (kClickTaken | kClickCloseHolder);
        }
    }
    return WheelWidget::Click(now);
}

void Wheel::Close(uint64_t now, bool fast)
{
    for (const auto& child : children_)
        child->Close(now, fast);
    const float c = Spread(now);
    if (state_ == kClosed)
        return;
    if (state_ == kClosing && fast == closingFast_)
        return;
    // From the current spread, at the new speed.
    closingFast_ = fast;
    transitionStart_ = now - uint64_t(std::llround(double(1.0f - c) * double(ClosingDuration())));
    state_ = kClosing;
}

int Wheel::Phase(uint64_t now) const
{
    switch (state_) {
    case kClosed:
        return 0;
    case kClosing:
        return Elapsed(now, transitionStart_) < int64_t(ClosingDuration()) ? 1 : 0;
    default:
        return 2;
    }
}

void Wheel::Open(uint64_t now)
{
    const float c = Spread(now);
    if (state_ == kOpen || state_ == kOpening)
        return;
    // A closing wheel opens on from its current spread.
    transitionStart_ = now - uint64_t(std::llround(double(c) * double(openingTime_)));
    state_ = kOpening;
    if (g_services.playSound)
        g_services.playSound(22);
    for (const auto& child : children_)
        child->ClearHovered();
}

int ActionSegment::Click(uint64_t now)
{
    const int result = WheelWidget::Click(now);
    if ((result & kClickTaken) && act_)
        return result | act_(now);
    return result;
}
