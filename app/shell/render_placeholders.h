// The 3-D engine calls the shell makes. The display device is the real one
// (nothing happens while it is not open, as on a headless run); cameras,
// light sets and screenshots are placeholders until
// their parts of the engine land.
#pragma once

#include <cstdint>

namespace platform {
class Window;
}

namespace RenderPlaceholders {

// False: no usable device (always without a screen to draw on).
bool DisplayStartup(platform::Window* window, uint32_t displayFlags);
// The configured mode, with its fall-backs; only on an open display.
bool SetInitialMode(int width, int height, int depth, uint32_t displayFlags);
void OnResize(int width, int height);
void RestoreDisplayMode();  // back to the desktop mode, on WM_CLOSE
void RestoreDeviceObjects();
void ReleaseDeviceObjects();
void UpdateTextureLoadFlags();

void BeginFramePrologue();  // main camera current, clear, restore lost surfaces
void FollowMainCameraFocus();
void PlaceMainCamera();
void BeginScene();
void EndFrame();            // presents; paces the loop like a vertical sync
void Shutdown();            // closes the display device, before the window goes

void ParticlesStartup();
void ParticlesUpdate(int64_t gameTicks);
void ParticlesShutdown();
void CreateGlobalLightSets();
void DestroyGlobalLightSets();
void SetDefaultLighting();
void SetPreviewScreenPosition(int x, int y);
void SaveScreenshot();

} // namespace RenderPlaceholders
