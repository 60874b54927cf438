#include "ui/hud.h"

#include "console/console_draw.h"
#include "console/text_console.h"
#include "objects/world_object.h"
#include "ui/client_objects.h"
#include "ui/hud_view.h"
#include "ui/mouse.h"
#include "ui/recon_view.h"
#include "ui/wheel.h"
#include "Veapi/camera.h"
#include "Veapi/font.h"
#include "Veapi/hit_probe.h"
#include "Veapi/screen_draw.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>

namespace Hud {
namespace {

constexpr float kStepsPerRadian = 651.8986f; // 4096 / 2 pi
constexpr float kTargetCone = 170.0f;
constexpr float kDefaultLineHeight = 0.03f;

PauseBanner g_banner;
std::map<uint32_t, VisionSweep> g_sweeps;
SweepDrawer g_sweepDrawer = nullptr;
bool g_wheelProbe = false; // the hit probe is on for the open wheel
void* g_sweepContext = nullptr;

float Wrap2048(float steps)
{
    float d = std::fmod(steps + 2048.0f, 4096.0f);
    if (d < 0)
        d += 4096.0f;
    return d - 2048.0f;
}

std::string Rounded(float value) { return std::to_string(std::lround(std::isfinite(value) ? value : 0.0f)); }

float LineHeight(ConsoleFonts::Which which = ConsoleFonts::kSmall)
{
    const Font* font = ConsoleFonts::Get(which);
    return font ? font->LineHeight() : kDefaultLineHeight;
}

} // namespace

std::string CountdownText(int number, float seconds)
{
    // Clamped so the float-to-int conversions stay defined and positive.
    const double t = std::isnan(seconds) ? 0.0 : std::clamp(double(seconds), 0.0, 1.0e6);
    const int whole = int(std::floor(t));
    const int hundredths = std::min(99, int(std::floor((t - whole) * 100.0)));
    char text[48];
    std::snprintf(text, sizeof text, "%02d - %02d : %02d", number, whole, hundredths);
    return text;
}

uint32_t CountdownColour(float seconds)
{
    const float share = std::isnan(seconds) ? 0.0f : std::clamp(seconds / 10.0f, 0.0f, 1.0f);
    const auto red = uint32_t((1.0f - share) * 255.0f);
    const auto green = uint32_t(share * 255.0f);
    return 0xFF000000u | (red << 16) | (green << 8);
}

std::vector<Line> CountdownLines(std::span<WorldObject* const> objects, int team, float lineHeight)
{
    std::vector<Line> lines;
    float y = 1.0f - lineHeight;
    int number = 1;
    const auto now = static_cast<float>(HudView::Current().GameSeconds());
    for (WorldObject* object : objects) {
        if (!object || object->Side() != team || !object->IsAlive() || !ClientObjects::IsTimed(*object))
            continue;
        if (!(y > 0.5f) || lineHeight <= 0)
            break;
        const float t = ClientObjects::RemainingSeconds(*object, now);
        lines.push_back({CountdownText(number, t), 0.01f, y, CountdownColour(t)});
        y -= lineHeight;
        ++number;
    }
    return lines;
}

bool PauseBanner::Update(int64_t now, int64_t ticksPerSecond)
{
    if (now > nextSwitch_) {
        visible_ = !visible_;
        nextSwitch_ = now + ticksPerSecond;
    }
    return visible_;
}

std::optional<std::string> OrderText(const UnitOrder& order)
{
    const auto name = [](const char* text) { return std::string(text ? text : ""); };
    switch (order.kind) {
    case 0:
        return order.targetName ? "Attack Target " + name(order.targetName) : std::string("Attack Target");
    case 1:
        return std::string("Attack Location");
    case 2:
        return "Move to Waypoint [" + std::to_string(order.waypoint) + "]";
    case 3:
        return std::nullopt;
    case 4:
        return std::string("Crouch");
    case 5:
        return "Equip " + name(order.itemName);
    case 6:
        return "Give " + name(order.itemName) + " to " + name(order.receiverName);
    case 7:
        if (order.itemKind == 4)
            return "Change Weapon to " + name(order.itemName);
        if (order.itemKind == 6)
            return "Change Ammo to " + name(order.itemName);
        return "Use " + name(order.itemName);
    case 8:
        return "Drop " + name(order.itemName);
    case 9:
        return "Unequip " + name(order.itemName);
    case 10:
        return "Change Ammo to " + name(order.itemName);
    default:
        return "Do " + std::to_string(order.kind) + " - THIS IS A BUG, TELL ME!";
    }
}

std::vector<Line> OrderListLines(std::span<WorldObject* const> selected, uint32_t modifiers, float lineHeight)
{
    std::vector<Line> lines;
    if (!(modifiers & kModifierCtrl) || selected.empty())
        return lines;
    if (selected.size() > 1) {
        lines.push_back({kOneCharacterOnly, 0.01f, lineHeight, kListGreen});
        return lines;
    }
    float y = lineHeight;
    for (const UnitOrder& order : ClientObjects::OrdersOf(*selected[0])) {
        if (auto text = OrderText(order)) {
            lines.push_back({std::move(*text), 0.01f, y, kWhite});
            y += lineHeight;
        }
    }
    return lines;
}

WorldObject* ChooseTarget(const WorldObject& viewer, float heading, float pitch, std::span<WorldObject* const> objects)
{
    const Vec3 from = viewer.Position();
    WorldObject* best = nullptr;
    float bestDistance = 0;
    for (WorldObject* object : objects) {
        if (!object || object == &viewer || object->Side() == 0 || !ClientObjects::IsActive(*object) ||
            !object->IsAlive() || object->Side() == viewer.Side())
            continue;
        const Vec3 to = object->Position();
        const float dx = to.x - from.x, dy = to.y - from.y, dz = to.z - from.z;
        const float flat = std::sqrt(dx * dx + dz * dz);
        // y grows downwards: looking up is a positive elevation.
        const float bearing = std::atan2(dx, dz) * kStepsPerRadian;
        const float elevation = std::atan2(-dy, flat) * kStepsPerRadian;
        if (std::fabs(Wrap2048(bearing - heading)) > kTargetCone || std::fabs(Wrap2048(elevation - pitch)) > kTargetCone)
            continue;
        const float distance = dx * dx + dy * dy + dz * dz;
        if (!best || distance < bestDistance) {
            best = object;
            bestDistance = distance;
        }
    }
    return best;
}

std::vector<std::string> TargetPanel(const WorldObject& target)
{
    std::vector<std::string> lines;
    if (const char* role = ClientObjects::RoleName(target))
        lines.push_back(std::string("Enemy ID: ") + role);
    if (ClientObjects::HasWeapon(target)) {
        const char* weapon = ClientObjects::WeaponName(target);
        lines.push_back(std::string("Weapons: ") + (weapon ? weapon : ""));
    }
    lines.push_back(std::string("Shield Unit: ") + (target.GetShield() > 0 ? "Detected" : "N/A"));
    lines.push_back("Armour Rating: " + FormatFloat(float(target.GetArmour())));
    // No record or message gives an object a communication unit or a salvage
    // record: no "Comm Unit" line, and every target has no salvage.
    lines.push_back("Salvage: N/A");
    return lines;
}

std::vector<std::string> ViewerPanel(const WorldObject& viewer, float heading, float pitch)
{
    const auto angle = [](float steps) {
        return FormatFloat(float(std::lround(std::isfinite(steps) ? steps : 0.0f)) * 360.0f / 4096.0f) + "'";
    };
    const Vec3 p = viewer.Position();
    const char* role = ClientObjects::RoleName(viewer);
    return {role ? role : "", angle(heading), angle(pitch),
            "(" + Rounded(p.x) + "," + Rounded(p.y) + "," + Rounded(p.z) + ")"};
}

void VisionSweep::Start(float limit, double time)
{
    limit_ = limit;
    angle_ = -limit;
    state_ = 0;
    last_ = time;
    active_ = limit > 0;
}

int VisionSweep::Step(double now, SweepBeam (&beams)[2])
{
    if (!active_)
        return 0;
    int count = 0;
    const double dt = now - last_;
    last_ = now;
    const auto turnBack = [&](float at, float excess) {
        const double late = double(excess) / kStepsPerSecond;
        beams[count++] = {at, dt - late, now - late};
    };
    if (state_ == 0) {
        angle_ += float(dt * kStepsPerSecond);
        if (angle_ > limit_) {
            const float excess = angle_ - limit_;
            if (excess >= limit_) {
                active_ = false;
                return count;
            }
            turnBack(limit_, excess);
            state_ = 1;
            angle_ = limit_ - excess;
        }
    } else {
        angle_ -= float(dt * kStepsPerSecond);
        if (angle_ <= -limit_) {
            turnBack(-limit_, -limit_ - angle_);
            active_ = false;
        }
    }
    if (active_)
        beams[count++] = {angle_, dt, now};
    return count;
}

void SetSweepDrawer(SweepDrawer drawer, void* context)
{
    g_sweepDrawer = drawer;
    g_sweepContext = context;
}

void StartVisionSweep(const WorldObject& object, float limit, double time)
{
    VisionSweep& sweep = g_sweeps[object.GetId()];
    sweep.Start(limit, time);
    if (!sweep.Active())
        g_sweeps.erase(object.GetId());
}

bool IsSweeping(uint32_t objectId) { return g_sweeps.count(objectId) != 0; }

int StepVisionSweeps(double now)
{
    std::map<uint32_t, WorldObject*> live;
    for (WorldObject* object : HudView::Current().Objects())
        if (object && g_sweeps.count(object->GetId()))
            live[object->GetId()] = object;
    int beams = 0;
    for (auto it = g_sweeps.begin(); it != g_sweeps.end();) {
        const auto found = live.find(it->first);
        if (found == live.end()) {
            it = g_sweeps.erase(it); // the object is gone: its sweep ends
            continue;
        }
        SweepBeam out[2];
        const int n = it->second.Step(now, out);
        for (int i = 0; i < n; ++i)
            if (g_sweepDrawer)
                g_sweepDrawer(*found->second, out[i], g_sweepContext);
        beams += n;
        it = it->second.Active() ? std::next(it) : g_sweeps.erase(it);
    }
    return beams;
}

ConeColour VisionConeColour(int alertState, bool hasConeFlag)
{
    if (!hasConeFlag)
        return {0.7f, 0.1f, 0.6f, 1.0f};
    switch (alertState) {
    case 0:
        return {0.1f, 1.0f, 0.1f, 0.4f};
    case 3:
        return {1.0f, 0.1f, 0.1f, 0.4f};
    default:
        // Suspicious or searching: between calm and alarmed.
        return {1.0f, 0.8f, 0.1f, 0.4f};
    }
}

std::vector<Line> WaypointLabels(std::span<const UnitOrder> orders, Projector project, void* context)
{
    std::vector<Line> lines;
    for (const UnitOrder& order : orders) {
        float x = 0, y = 0;
        if (order.kind != 2 || !project || !project(order.point, x, y, context))
            continue;
        lines.push_back({"[" + std::to_string(order.waypoint) + "]", x, y, kWhite});
    }
    return lines;
}

std::vector<Line> BuildFrame(int64_t now, float lineHeight, float panelLineHeight)
{
    HudView& view = HudView::Current();
    std::vector<Line> lines;
    if (view.IsPaused() && g_banner.Update(now, view.TicksPerSecond()))
        lines.push_back({kPauseText, 0.03f, 1.0f - 1.5f * lineHeight, kWhite});
    const std::span<WorldObject* const> selected = view.Selected();
    if (!selected.empty() && selected[0]) {
        if (ReconView::IsActive()) {
            const WorldObject& lead = *selected[0];
            std::vector<std::string> panel = ViewerPanel(lead, ReconView::Heading(), ReconView::Pitch());
            if (WorldObject* target = ChooseTarget(lead, ReconView::Heading(), ReconView::Pitch(), view.Objects())) {
                std::vector<std::string> more = TargetPanel(*target);
                panel.insert(panel.end(), more.begin(), more.end());
            }
            float y = 0.125f + 0.03f;
            for (std::string& text : panel) {
                lines.push_back({std::move(text), 0.125f + 0.03f, y, kGreen, true});
                y += panelLineHeight;
            }
        }
        std::vector<Line> orders = OrderListLines(selected, view.Modifiers(), lineHeight);
        lines.insert(lines.end(), orders.begin(), orders.end());
    }
    std::vector<Line> countdowns = CountdownLines(view.Objects(), view.LocalTeam(), lineHeight);
    lines.insert(lines.end(), countdowns.begin(), countdowns.end());
    return lines;
}

namespace {

void DrawReconBrackets(const WorldObject& lead)
{
    HudView& view = HudView::Current();
    const int w = int(view.ScreenWidth()), h = int(view.ScreenHeight());
    const int bx = w / 8, by = h / 8;
    Colour green;
    green.SetBytes(0, 199, 0, 255);
    ScreenDraw::Begin();
    const auto corner = [&](int x, int y, int sx, int sy) {
        ScreenDraw::Line(x, y, green, x + sx * bx, y, green);
        ScreenDraw::Line(x, y, green, x, y + sy * by, green);
    };
    corner(bx, by, 1, 1);
    corner(w - bx, by, -1, 1);
    corner(bx, h - by, 1, -1);
    corner(w - bx, h - by, -1, -1);
    // The lead unit's bar beside the bottom-right bracket.
    const int length = w / 4 - w / 16, thick = std::max(2, h / 80);
    const int x0 = w - bx - length, y0 = h - by + thick;
    const float fill = std::clamp(lead.GetHealthFraction(), 0.0f, 1.0f);
    ScreenDraw::Line(x0, y0, green, x0 + length, y0, green);
    ScreenDraw::Line(x0, y0 + thick, green, x0 + length, y0 + thick, green);
    const int filled = x0 + int(float(length) * fill);
    if (filled > x0) {
        ScreenDraw::Triangle(x0, y0, green, filled, y0, green, filled, y0 + thick, green);
        ScreenDraw::Triangle(x0, y0, green, filled, y0 + thick, green, x0, y0 + thick, green);
    }
    // Corner marks of the centre square.
    const int half = w / 32, mark = std::max(2, w / 128), cx = w / 2, cy = h / 2;
    corner(cx - half, cy - half, 1, 1);
    ScreenDraw::Line(cx + half, cy - half, green, cx + half - mark, cy - half, green);
    ScreenDraw::Line(cx + half, cy - half, green, cx + half, cy - half + mark, green);
    ScreenDraw::Line(cx - half, cy + half, green, cx - half + mark, cy + half, green);
    ScreenDraw::Line(cx - half, cy + half, green, cx - half, cy + half - mark, green);
    ScreenDraw::Line(cx + half, cy + half, green, cx + half - mark, cy + half, green);
    ScreenDraw::Line(cx + half, cy + half, green, cx + half, cy + half - mark, green);
    ScreenDraw::Flush();
}

// The box of the selection drag, in the pointer's pixels.
void DrawSelectionBox()
{
    const MouseAction::Box& box = MouseAction::SelectionBox();
    if (!box.shown)
        return;
    Colour green;
    green.SetBytes(0, 199, 0, 255);
    ScreenDraw::Begin();
    ScreenDraw::Line(box.left, box.top, green, box.right, box.top, green);
    ScreenDraw::Line(box.right, box.top, green, box.right, box.bottom, green);
    ScreenDraw::Line(box.right, box.bottom, green, box.left, box.bottom, green);
    ScreenDraw::Line(box.left, box.bottom, green, box.left, box.top, green);
    ScreenDraw::Flush();
}

// A world point through the main camera: pixels and the viewport depth;
// false behind the eye.
bool ProjectPixels(const Vec3& world, Vec3& screen)
{
    return MainCamera::Get().Project(world, screen) && std::isfinite(screen.x) && std::isfinite(screen.y) &&
           std::isfinite(screen.z);
}

// The same as screen fractions, for the waypoint labels.
bool ProjectFractions(const Vec3& world, float& x, float& y, void*)
{
    HudView& view = HudView::Current();
    Vec3 screen;
    if (!ProjectPixels(world, screen) || !(view.ScreenWidth() > 0) || !(view.ScreenHeight() > 0))
        return false;
    x = screen.x / view.ScreenWidth();
    y = screen.y / view.ScreenHeight();
    return true;
}

// The lone selected character's route while the order list shows: a line
// from the character to its first waypoint and on from each waypoint to
// the next, and "[n]" at each waypoint. Ends that do not project (behind
// the eye) leave their line out.
void DrawWaypoints(const WorldObject& unit, uint32_t modifiers)
{
    if (!(modifiers & kModifierCtrl))
        return;
    const std::vector<UnitOrder> orders = ClientObjects::OrdersOf(unit);
    Colour white;
    white.SetBytes(255, 255, 255, 255);
    ScreenDraw::Begin();
    Vec3 from = unit.Position();
    for (const UnitOrder& order : orders) {
        if (order.kind != 2)
            continue;
        Vec3 a, b;
        if (ProjectPixels(from, a) && ProjectPixels(order.point, b))
            ScreenDraw::ClipLine(white, white, a.x, a.y, a.z, 1.0f, b.x, b.y, b.z, 1.0f);
        from = order.point;
    }
    ScreenDraw::Flush();
    for (const Line& label : WaypointLabels(orders, ProjectFractions, nullptr))
        Text::DrawSmall(label.text, label.x, label.y, label.colour);
}

void DrawLines(const std::vector<Line>& lines)
{
    for (const Line& line : lines)
        if (line.panelFont)
            Text::DrawSmall2(line.text, line.x, line.y, line.colour);
        else
            Text::DrawSmall(line.text, line.x, line.y, line.colour);
}

} // namespace

void DrawUnitInfoAndOrders()
{
    HudView& view = HudView::Current();
    // The command wheel, while it opens, shows or closes; its parts are
    // tested against the default probe (the frame's pointer update put it
    // at the pointer).
    if (Wheel* wheel = CommandWheel::Get(); wheel && CommandWheel::IsOpen()) {
        HitProbe::Default().Reset();
        HitProbe::Enabled() = g_wheelProbe = true;
        wheel->Refresh();
        wheel->Draw(uint64_t(std::max<int64_t>(view.RealNow(), 0)));
    } else if (g_wheelProbe) {
        HitProbe::Enabled() = g_wheelProbe = false;
    }
    DrawSelectionBox();
    const std::span<WorldObject* const> selected = view.Selected();
    if (ReconView::IsActive() && !selected.empty() && selected[0])
        DrawReconBrackets(*selected[0]);
    if (selected.size() == 1 && selected[0])
        DrawWaypoints(*selected[0], view.Modifiers());
    if (!ReconView::IsActive())
        StepVisionSweeps(view.GameSeconds());
    DrawLines(BuildFrame(view.RealNow(), LineHeight(), LineHeight(ConsoleFonts::kSmall2)));
}

void DrawActivePauseBanner(int64_t now)
{
    HudView& view = HudView::Current();
    if (view.IsPaused() && g_banner.Update(now, view.TicksPerSecond()))
        Text::DrawSmall(kPauseText, 0.03f, 1.0f - 1.5f * LineHeight(), kWhite);
}

void DrawCountdowns(int team) { DrawLines(CountdownLines(HudView::Current().Objects(), team, LineHeight())); }

void Reset()
{
    g_banner = PauseBanner();
    g_sweeps.clear();
}

} // namespace Hud
