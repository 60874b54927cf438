#include "console/loading_screen.h"

#include "Veapi/camera.h"
#include "Veapi/render_queue.h"
#include "Veapi/ve3d.h"
#include "app/directories.h"
#include "console/console_draw.h"
#include "console/text_console.h"
#include "media/screen_quads.h"
#include "session/level_session.h"

#include <memory>

namespace LoadingScreenView {
namespace {

// The picture and the camera that maps its unit quad onto the whole screen
// (y down). Plain camera pointer, freed with the picture: the camera list it
// registers in may be gone before a namespace-scope owner would let go.
std::unique_ptr<ScreenImage> g_image;
Camera* g_camera = nullptr;
LoadingScreen::Bar g_bar;

// Just past the camera's near plane, as the console's backdrop.
constexpr float kPictureDepth = 0.01f;

void DrawBar()
{
    Colour left, right;
    left.SetBytes(g_bar.startRed, 0, 0, 255);
    right.SetBytes(g_bar.endRed, 0, 0, 255);
    DrawGradientQuad(g_bar.left, g_bar.top, g_bar.fillRight, g_bar.top + g_bar.height, left, right);
}

} // namespace

void Install()
{
    SessionHooks& hooks = Session::Hooks();
    hooks.drawLoading = [](const std::string& text, float progress) {
        DrawFrame(text, LoadingScreen::Hint(), progress);
    };
    hooks.loadingImage = [](bool open) {
        if (open)
            OpenBackground();
        else
            FreeBackground();
    };
}

void OpenBackground()
{
    FreeBackground();
    const auto folder = app::DataDirectories::Global().Folder(app::kGraphicsDirectory);
    if (!folder || !Display::Device())
        return;
    bool ok = false;
    auto image = std::make_unique<ScreenImage>(*folder, kBackground, ok);
    if (!ok)
        return;
    g_image = std::move(image);
    g_image->SetRect(0, 0, 1, 1);
    g_image->SetZ(kPictureDepth);
    g_camera = new Camera;
    g_camera->SetPerspective(false);
    g_camera->SetViewSize(1.0f, 1.0f);
    g_camera->SetPosition({0.5f, 0.5f, -1.0f});
}

void FreeBackground()
{
    if (g_image) {
        // Its tiles may stand in a queue not yet drawn.
        RenderQueue::Clear();
        g_image.reset();
    }
    delete g_camera;
    g_camera = nullptr;
}

bool HasBackground() { return g_image != nullptr; }

void DrawFrame(const std::string& text, const std::string& hint, float progress)
{
    if (!Display::Device() || !Display::DeviceReady())
        return;
    const uint32_t clear = Display::ClearColour();
    Display::ClearColour() = 0xFF000000u;
    Display::Clear();
    Display::ClearColour() = clear;
    Display::BeginScene();
    if (g_image)
        g_image->Draw(g_camera);
    const uint32_t colour = TextConsole::Get().textColour;
    Text::DrawLoadingText(text, colour);
    if (!hint.empty())
        Text::DrawSmallScaled(hint, int(hint.size()), kHintLeft, kHintTop, kHintScale, colour);
    g_bar = LoadingScreen::Layout(Display::Width(), Display::Height(), progress);
    Display::EndFrame(nullptr, DrawBar);
}

} // namespace LoadingScreenView
