#include "app/shell/render_placeholders.h"

#include "Veapi/VertBuff.h"
#include "Veapi/camera.h"
#include "Veapi/font.h"
#include "Veapi/hit_probe.h"
#include "Veapi/light_set.h"
#include "Veapi/object_preview.h"
#include "Veapi/particles.h"
#include "Veapi/screenshot.h"
#include "Veapi/sequence_player.h"
#include "Veapi/texture_manager.h"
#include "Veapi/ve3d.h"
#include "Veapi/ve_object.h"
#include "app/display_mode.h"
#include "app/fatal.h"
#include "media/sound_system.h"
#include "platform/message_box.h"
#include "platform/window.h"

#include <algorithm>
#include <chrono>
#include <thread>

namespace RenderPlaceholders {
namespace {
bool g_started = false;

// The cursor object is queued at the start of the display's end of frame and
// text queued anywhere during the frame is drawn at its end. A new screen
// size rescales the cursor and the particle groups (dropping the emitters).
void InstallOverlayHooks()
{
    DisplayHooks& hooks = Display::Hooks();
    hooks.flushText = [] { Font::FlushAll(); };
    hooks.previewFrame = [] { ObjectPreview::QueueDraw(); };
    hooks.screenChanged = [scene = hooks.screenChanged] {
        if (scene)
            scene();
        ObjectPreview::UpdateScale();
        if (Particles::Started())
            Particles::Reset();
    };
}
// A sequence's sound follows the object that plays it, which stays alive as
// long as a voice needs its position.
class ObjectSoundEmitter final : public SoundEmitter {
public:
    explicit ObjectSoundEmitter(VeObject* object) : object_(object) { object_->AddRef(); }
    Vec3 SoundPosition() const override { return object_->placement_.Position(); }

private:
    ~ObjectSoundEmitter() override { object_->Release(); }
    VeObject* object_;
};

void PlaySequenceSound(int32_t soundId, VeObject* object)
{
    SoundSystem* sound = SoundSystem::Global();
    if (!sound || soundId <= 0)
        return;
    if (!object) {
        sound->Play(soundId, "");
        return;
    }
    auto emitter = RefPtr<SoundEmitter>::Adopt(new ObjectSoundEmitter(object));
    sound->Play(soundId, "t", {emitter.Get()});
}
} // namespace

void InstallSequenceSounds()
{
    SequencePlayer::SetSoundHook(PlaySequenceSound);
}

bool DisplayStartup(platform::Window* window, void (*addExitHandler)(void (*)()))
{
    InstallSequenceSounds();
    if (!window || window->IsHeadless())
        return false;
    Display::SetExitRegistrar(addExitHandler);
    // Cameras, materials, vertex buffers and probes answer the display's
    // hooks from its first mode on.
    static const bool hooked = (InstallSceneHooks(), InstallOverlayHooks(), true);
    (void)hooked;
    ObjectPreview::SetObjectFactory(ObjectPreview::MakeObject);
    ObjectPreview::Startup();
    g_started = Display::Startup(window->NativeHandle());
    return g_started;
}

bool SetInitialMode()
{
    if (!g_started)
        return false;
    DisplayModeHooks& hooks = App::ModeHooks();
    hooks.showError = [](const char* text) {
        platform::ShowMessageBox(text, "Error", platform::MessageBoxButtons::Ok, platform::MessageBoxIcon::Error);
    };
    hooks.exitProgram = [](int code) { FatalExit(code); };
    return Display::SetInitialMode();
}

void OnResize(int width, int height)
{
    if (g_started)
        Display::OnResize(width, height);
}

void RestoreDisplayMode() { Display::RestoreDisplayMode(); }
void RestoreDeviceObjects() { Display::RestoreDeviceObjects(); }
void ReleaseDeviceObjects() { Display::ReleaseDeviceObjects(); }
int FindVisibleBuffer() { return g_started ? Display::FindGdiBuffer() : 0; }
void UpdateTextureLoadFlags() { TextureManager::UpdateLoadFlags(); }

uint32_t DisplayDevice() { return g_started ? Display::DeviceId() : 0; }

void BeginFramePrologue()
{
    if (Display::DeviceReady())
        MainCamera::Get().SetCurrent();
    Display::Clear();
    Display::RestoreLostSurfaces();
}

void FollowMainCameraFocus()
{
    if (Display::DeviceReady())
        MainCamera::Get().FollowFocus();
}

void PlaceMainCamera()
{
    if (Display::DeviceReady())
        MainCamera::Get().Place();
}
void BeginScene() { Display::BeginScene(); }

void EndFrame(void (*overlay)())
{
    Display::EndFrame(nullptr, overlay);
    // Presenting does not wait for the screen here: keep to about 100 frames
    // a second so a software renderer leaves the processor to others.
    std::this_thread::sleep_for(std::chrono::milliseconds(Display::DeviceReady() ? 5 : 10));
}

void Shutdown()
{
    ObjectPreview::Shutdown();
    if (g_started)
        Display::Shutdown();
    g_started = false;
}

void ParticlesStartup()
{
    if (!Display::Device())
        return;
    Particles::Startup();
    Display::Hooks().drawParticles = [] { Particles::Draw(); };
}

void ParticlesUpdate(int64_t gameTicks)
{
    // A stopped or rewound game clock moves nothing.
    if (gameTicks > 0)
        Particles::Update(uint32_t(std::min<int64_t>(gameTicks, 0xFFFFFFFF)));
}

void ParticlesShutdown()
{
    Display::Hooks().drawParticles = nullptr;
    Particles::Shutdown();
}
namespace {
// The handed-in set carries the default lights; the sixteen others belong to
// the renderer's groups.
RefPtr<LightSet> g_renderLightSets[kRendererLightSets];
} // namespace

int CreateGlobalLightSets()
{
    LightSet::CreateGlobals(new LightSet);
    for (auto& set : g_renderLightSets)
        set = RefPtr<LightSet>::Adopt(new LightSet);
    HitProbe::CreateGlobals();
    return kRendererLightSets;
}

LightSet* DefaultLightSet() { return LightSet::Global(kHandedInLightSet); }

LightSet* RendererLightSet(int index)
{
    return index >= 0 && index < kRendererLightSets ? g_renderLightSets[index].Get() : nullptr;
}

void DestroyGlobalLightSets()
{
    HitProbe::DestroyGlobals();
    LightSet::DestroyGlobals();
    for (auto& set : g_renderLightSets)
        set = {};
}

void SetDefaultLighting()
{
    LightSet* set = DefaultLightSet();
    if (!set)
        return;
    Colour grey;
    grey.Set(0.75f, 0.75f, 0.75f, 1.0f);
    set->SetEmissive(grey);
    const Colour white;
    set->AddDirectionalLight(white, white, Vec3{-0.57735f, -0.57735f, -0.57735f});
}
void SetPreviewScreenPosition(int x, int y) { ObjectPreview::SetScreenPosition(x, y); }
std::filesystem::path SaveScreenshot(const std::filesystem::path& folder)
{
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    return Screenshot::Save(folder);
}

void ParticlesReset()
{
    if (Particles::Started())
        Particles::Reset();
}

} // namespace RenderPlaceholders
