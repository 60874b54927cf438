#include "effects/frame_pass.h"

#include "Veapi/render_queue.h"
#include "effects/effect_list.h"
#include "effects/effect_object.h"
#include "effects/effect_shapes.h"
#include "effects/replica_shadows.h"
#include "effects/shadows.h"

namespace {
ShadowHookTable g_shadowHooks;
bool g_installed = false;
bool g_normalView = false;
bool (*g_normalViewSource)() = nullptr;
void (*g_itemLists)() = nullptr;
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

void SetItemListsHook(void (*draw)()) { g_itemLists = draw; }
void DrawItemLists()
{
    if (g_itemLists)
        g_itemLists();
}

void SetNormalView(bool on) { g_normalView = on; }
void SetNormalViewSource(bool (*source)()) { g_normalViewSource = source; }
bool NormalView() { return g_normalViewSource ? g_normalViewSource() : g_normalView; }

void InstallShadows()
{
    g_shadowHooks.startup = [] { Shadows::Startup(); };
    g_shadowHooks.shutdown = [] {
        ReplicaShadows::Clear();
        Shadows::Shutdown();
    };
    ReplicaShadows::Install();
    // The client objects that cast shadows are effect objects as well.
    g_shadowHooks.removeCaster = [](EffectObject* object) {
        if (auto* caster = dynamic_cast<ShadowCaster*>(object))
            Shadows::RemoveCaster(caster);
    };
    // The mode decides the pass each frame.
    g_shadowHooks.framePass = [] { Shadows::FramePass()(); };
    Shadows::FrameHooks hooks;
    hooks.drawLateList = [](int64_t now) { DrawLateList(now); };
    hooks.drawOverlays = [] { DrawOverlays(); };
    hooks.normalView = [] { return NormalView(); };
    hooks.drawUpgradeItems = [] { DrawItemLists(); };
    Shadows::SetFrameHooks(hooks);
}

} // namespace Effects

namespace FramePassStandIn {

void Run()
{
    Effects::DrawLateList();
    if (!Effects::NormalView())
        Effects::DrawOverlays();
    Effects::DrawItemLists();
    RenderQueue::Flush();
}

void Install() { g_installed = true; }
void Uninstall() { g_installed = false; }
bool Installed() { return g_installed; }

} // namespace FramePassStandIn
