// The once-a-frame pass after the scene: the late effect list, then the
// overlays, then a flush of what they queued. It runs as the display's
// overlay callback during play. The shadows own the real pass; until they
// are wired in, the stand-in here does the effects' part of it. The shadow
// entry points the effects call go through a table whose entries do nothing
// until the shadows fill it in.
#pragma once

#include <cstdint>

class EffectObject;

struct ShadowHookTable {
    void (*startup)() = [] {};
    void (*shutdown)() = [] {};
    void (*removeCaster)(EffectObject* object) = [](EffectObject*) {};
    // The frame pass the display calls; null: the stand-in.
    void (*framePass)() = nullptr;
};
ShadowHookTable& ShadowHooks();

namespace Effects {
// Updates and queues the late list with the current game time.
void DrawLateList();
void DrawLateList(int64_t now);
// The scanner and the multiplying overlay quad (nothing without a scanner).
void DrawOverlays();
// The frame pass to hand to the display's end of frame.
void (*FramePass())();
// The upgrade screen's item lists, drawn after the overlays and before the
// flush; the interface installs the drawing (null: nothing to draw).
void SetItemListsHook(void (*draw)());
void DrawItemLists();
// Suppresses the overlays (the normal-view flag of the shadows' pass).
// The interface installs where the flag lives; until then SetNormalView
// holds it here.
void SetNormalView(bool on);
void SetNormalViewSource(bool (*source)());
bool NormalView();
// Points the shadow entry points above at the shadow code and hands the
// shadow passes the late list and the overlays; Startup runs it first.
void InstallShadows();
} // namespace Effects

namespace FramePassStandIn {
// Late list, overlays (unless the normal view is on), the upgrade screen's
// item lists, render-queue flush.
void Run();
void Install();
void Uninstall();
bool Installed();
} // namespace FramePassStandIn
