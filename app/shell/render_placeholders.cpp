#include "app/shell/render_placeholders.h"

#include <chrono>
#include <thread>

namespace RenderPlaceholders {

bool DisplayStartup() { return true; }
bool SetInitialMode() { return true; }
void RestoreDisplayMode() {}
void RestoreDeviceObjects() {}
void ReleaseDeviceObjects() {}
void UpdateTextureLoadFlags() {}
void BeginFramePrologue() {}
void FollowMainCameraFocus() {}
void PlaceMainCamera() {}
void BeginScene() {}

void EndFrame()
{
    // No present to wait on yet: about 100 frames a second.
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

void ParticlesStartup() {}
void ParticlesUpdate(int64_t) {}
void ParticlesShutdown() {}
void CreateGlobalLightSets() {}
void DestroyGlobalLightSets() {}
void SetDefaultLighting() {}
void SetPreviewScreenPosition(int, int) {}
void SaveScreenshot() {}

} // namespace RenderPlaceholders
