#include "ui/still_screens.h"

#include "Veapi/light_set.h"
#include "Veapi/render_queue.h"

#include "app/app_state.h"
#include "app/app_time.h"
#include "app/directories.h"
#include "media/screen_quads.h"
#include "platform/gfx.h"
#include "ui/screen_camera.h"

#include <memory>

namespace {

int64_t g_deadline = 0;
std::unique_ptr<ScreenImage> g_image; // shared by the still screens; the shell's exit leaves it

bool EnterScreen(AppState state, const char* image, int seconds)
{
    SetAppState(state);
    g_image.reset();
    bool ok = false;
    // Without a graphics folder nothing is looked up in whatever folder is current.
    if (auto folder = app::DataDirectories::Global().Folder(app::kGraphicsDirectory)) {
        auto loaded = std::make_unique<ScreenImage>(*folder, image, ok);
        if (ok)
            g_image = std::move(loaded);
    }
    // A game's dim lighting must not carry over onto the screens after it.
    if (LightSet* scene = LightSet::Global(0)) {
        Colour white;
        white.Set(1, 1, 1, 1);
        scene->SetEmissive(white);
    }
    g_deadline = AppTime::RealNow() + int64_t(seconds) * AppTime::TicksPerSecond();
    // Without a screen (a run with no display) there is nothing to show an
    // image on, so a missing one is no reason to stop.
    return ok || !gfx::IsOpen();
}

void DrawImage()
{
    if (g_image)
        g_image->Draw(ScreenCamera::Get());
}

// The image's tiles may stand in this frame's render queue still (the screen
// ends after its draw was queued): they leave the queue before the image goes.
void FreeImage()
{
    if (!g_image)
        return;
    RenderQueue::Clear();
    g_image.reset();
}

} // namespace

namespace Screens {
int64_t& Deadline() { return g_deadline; }
bool HasImage() { return g_image != nullptr; }
} // namespace Screens

namespace LogoScreen {
bool Enter() { return EnterScreen(AppState::Logo, "bitmaps\\VQNLOGO.rim", 5); }
void Draw() { DrawImage(); }
void Leave() { FreeImage(); }
} // namespace LogoScreen
namespace SplashScreen {
bool Enter() { return EnterScreen(AppState::Splash, "bitmaps\\Orbix splash screen.rim", 10); }
void Draw() { DrawImage(); }
void Leave() { FreeImage(); }
} // namespace SplashScreen
namespace TitleScreen {
bool Enter() { return EnterScreen(AppState::Title, "bitmaps\\Title.rim", 10); }
void Draw() { DrawImage(); }
void Leave() { FreeImage(); }
} // namespace TitleScreen
namespace TrainingReminder {
bool Enter() { return EnterScreen(AppState::PleaseTrain, "bitmaps\\please train.rim", 10); }
void Draw() { DrawImage(); }
void Leave() { FreeImage(); }
} // namespace TrainingReminder
