#include "ui/recon_view.h"

#include "objects/objects_placeholders.h"
#include "ui/hud_view.h"
#include "ui/selection.h"
#include "ui/unit_keys.h"
#include "ui/upgrade_screen.h"

#include <algorithm>
#include <cmath>

namespace ReconView {
namespace {
constexpr int kCursorRecon = 5;
bool g_active = false;
float g_heading = 0, g_pitch = 0;
UiUnit* g_controlled = nullptr;

UiUnit* Lead()
{
    const auto selected = HudView::Current().Selected();
    return selected.empty() ? nullptr : selected[0];
}

bool StillExists(const UiUnit* unit)
{
    for (UiUnit* object : HudView::Current().Objects())
        if (object == unit)
            return true;
    for (UiUnit* object : HudView::Current().Selected())
        if (object == unit)
            return true;
    return false;
}
} // namespace

bool IsActive() { return g_active; }
float Heading() { return g_heading; }
float Pitch() { return g_pitch; }

void SetAngles(float heading, float pitch)
{
    g_heading = heading;
    g_pitch = pitch;
}

void Turn(float dx, float dy, float sensitivity)
{
    if (!std::isfinite(dx) || !std::isfinite(dy))
        return;
    g_pitch = std::clamp(g_pitch + dy * sensitivity, kPitchDown, kPitchUp);
    g_heading = std::fmod(g_heading + dx, 4096.0f);
    if (g_heading < 0)
        g_heading += 4096.0f;
}

void Toggle(bool on)
{
    HudView& view = HudView::Current();
    if (on) {
        UiUnit* lead = Lead();
        if (!lead || g_active)
            return;
        Selection::EndQuickWeapon();
        view.SetCursorMode(kCursorRecon);
        g_controlled = lead;
        lead->SetDirectControl(true);
        SetAngles(0, 0);
        Turn(2 * lead->HeadingSteps(), 0, 0);
        g_active = true;
        return;
    }
    if (!g_active)
        return;
    if (g_controlled && StillExists(g_controlled))
        g_controlled->ReleaseControl();
    g_controlled = nullptr;
    view.SetCursorMode(0);
    g_active = false;
}

void Update()
{
    if (!g_active)
        return;
    HudView& view = HudView::Current();
    UiUnit* lead = Lead();
    if (!lead) {
        Toggle(false);
        return;
    }
    lead->SetDirectControl(true);
    float dx = 0, dy = 0;
    view.PointerMotion(dx, dy);
    Turn(dx, dy, view.PitchSensitivity());
    lead->TurnTo(g_heading);
    SkyBackdrop::Draw();
}
} // namespace ReconView
