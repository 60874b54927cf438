// The 3-D engine calls the shell makes. The display device is the real one
// (nothing happens while it is not open, as on a headless run); cameras,
// light sets and screenshots are placeholders until
// their parts of the engine land.
#pragma once

#include <cstdint>
#include <filesystem>

class LightSet;

namespace platform {
class Window;
}

namespace RenderPlaceholders {

// Sequence sounds play through the global sound system at their object's
// place; display start-up installs this, headless or not.
void InstallSequenceSounds();
// False: no usable device (always without a screen to draw on).
// The display's shut-down goes on the caller's exit-handler list.
bool DisplayStartup(platform::Window* window, void (*addExitHandler)(void (*)()));
// The identifier of the display device found (0 without one), as the key
// file stores it.
uint32_t DisplayDevice();
// The mode of App::CurrentMode(), with its fall-backs; only on an open display.
bool SetInitialMode();
void OnResize(int width, int height);
void RestoreDisplayMode();  // back to the desktop mode, on WM_CLOSE
void RestoreDeviceObjects();
void ReleaseDeviceObjects();
// The buffer the desktop shows (0 the primary), before a system dialog.
int FindVisibleBuffer();
void UpdateTextureLoadFlags();

void BeginFramePrologue();  // main camera current, clear, restore lost surfaces
void FollowMainCameraFocus();
void PlaceMainCamera();
void BeginScene();
void EndFrame(void (*overlay)() = nullptr);            // presents; paces the loop like a vertical sync
void Shutdown();            // closes the display device, before the window goes

void ParticlesStartup();
void ParticlesUpdate(int64_t gameTicks);
void ParticlesShutdown();
void ParticlesReset(); // a mode change: particles start afresh
// The global light sets (one handed in, with the default lights) and the
// renderer's sixteen; returns how many renderer sets were made.
inline constexpr int kRendererLightSets = 16;
inline constexpr int kHandedInLightSet = 2;
int CreateGlobalLightSets();
void DestroyGlobalLightSets();
LightSet* DefaultLightSet();
LightSet* RendererLightSet(int index);
// Emissive grey 0.75 and one white light from above and behind.
void SetDefaultLighting();
void SetPreviewScreenPosition(int x, int y);
// The path written into `folder` (made when missing), empty when none.
std::filesystem::path SaveScreenshot(const std::filesystem::path& folder);

} // namespace RenderPlaceholders
