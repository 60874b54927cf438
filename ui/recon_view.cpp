#include "ui/recon_view.h"

#include <algorithm>
#include <cmath>

namespace ReconView {
namespace {
bool g_active = false;
float g_heading = 0, g_pitch = 0;
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

void Toggle(bool on) { g_active = on; }
void Update() {}
} // namespace ReconView
