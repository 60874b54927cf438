#include "effects/frame_pass.h"

#include "Veapi/render_queue.h"
#include "effects/effect_list.h"
#include "effects/effect_shapes.h"

namespace {
ShadowHookTable g_shadowHooks;
bool g_installed = false;
bool g_normalView = false;
} // namespace

ShadowHookTable& ShadowHooks() { return g_shadowHooks; }

namespace Effects {

void DrawLateList(int64_t now) { UpdateAndDrawAll(now, LateList()); }
void DrawLateList() { DrawLateList(Now()); }

void (*FramePass())()
{
    if (g_shadowHooks.framePass)
        return g_shadowHooks.framePass;
    return g_installed ? &FramePassStandIn::Run : nullptr;
}

void SetNormalView(bool on) { g_normalView = on; }

} // namespace Effects

namespace FramePassStandIn {

void Run()
{
    Effects::DrawLateList();
    if (!g_normalView)
        Effects::DrawOverlays();
    RenderQueue::Flush();
}

void Install() { g_installed = true; }
void Uninstall() { g_installed = false; }
bool Installed() { return g_installed; }

} // namespace FramePassStandIn
