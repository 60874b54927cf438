// Placeholders for the 3-D engine calls the shell makes (display device,
// cameras, particles, light sets, the object preview, screenshots) until
// that subsystem lands: they keep the frame pacing and nothing else.
#pragma once

#include <cstdint>

namespace RenderPlaceholders {

bool DisplayStartup();      // false: no usable device
bool SetInitialMode();
void RestoreDisplayMode();  // back to the desktop mode, on WM_CLOSE
void RestoreDeviceObjects();
void ReleaseDeviceObjects();
void UpdateTextureLoadFlags();

void BeginFramePrologue();  // main camera current, clear, restore lost surfaces
void FollowMainCameraFocus();
void PlaceMainCamera();
void BeginScene();
void EndFrame();            // presents; paces the loop like a vertical sync

void ParticlesStartup();
void ParticlesUpdate(int64_t gameTicks);
void ParticlesShutdown();
void CreateGlobalLightSets();
void DestroyGlobalLightSets();
void SetDefaultLighting();
void SetPreviewScreenPosition(int x, int y);
void SaveScreenshot();

} // namespace RenderPlaceholders
