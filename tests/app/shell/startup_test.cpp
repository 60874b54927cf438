// Start-up's own decisions: which display mode the key file gets, and the
// light sets with the default lighting that every start leaves behind.
#include "Veapi/light_set.h"
#include "app/fatal.h"
#include "app/shell/application.h"
#include "app/shell/render_placeholders.h"

#include <gtest/gtest.h>

#include <set>
#include <vector>

namespace {

TEST(StartMode, KeyFileCountsOnlyForTheDeviceItWasWrittenFor)
{
    DeviceSettings fromFile = kDefaultDeviceSettings;
    fromFile[kSettingPreferredVariant] = 1;
    fromFile[kSettingDeviceRetries] = 5;
    const DisplayModeSettings asked{640, 480, 32, kModeWindowed};
    struct Case {
        const char* name;
        uint32_t keyFileDevice, displayDevice;
        DisplayModeSettings mode;
        DeviceSettings settings;
        bool fromKeyFile;
    };
    const Case cases[] = {
        {"matching device takes the key file over", 0x10DE0020, 0x10DE0020, asked, fromFile, true},
        {"another device falls back to 640x480x16", 0x10DE0020, 0x12340001, {640, 480, 16, kModeWindowed},
         kDefaultDeviceSettings, false},
        {"no key file (no device stored) falls back too", 0, 0x10DE0020, {640, 480, 16, kModeWindowed},
         kDefaultDeviceSettings, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Application::StartMode m = Application::ChooseStartMode(c.keyFileDevice, c.displayDevice, fromFile, asked);
        EXPECT_EQ(m.mode, c.mode);
        EXPECT_EQ(m.settings, c.settings);
        EXPECT_EQ(m.fromKeyFile, c.fromKeyFile);
    }
}

int g_enterCalls = 0;
int g_failures = 0; // how many of the first calls fail
bool EnterFailing() { return ++g_enterCalls > g_failures; }
std::vector<DisplayModeSettings> g_modeRequests;

struct Exited {
    int code;
};
void ThrowExit(int code) { throw Exited{code}; }

TEST(FirstScreen, FallsBackOnceThenEnds)
{
    struct Case {
        const char* name;
        int failures;
        int calls;
        std::vector<DisplayModeSettings> requests;
        bool exits;
    };
    const Case cases[] = {
        {"shown at once", 0, 1, {}, false},
        {"shown after the fall-back", 1, 2, {{640, 480, 16, kModeWindowed}}, false},
        {"never shown", 2, 2, {{640, 480, 16, kModeWindowed}}, true},
    };
    SetFatalExitHandler(ThrowExit);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        App::ResetDisplayMode();
        App::ModeHooks() = {};
        App::ModeHooks().setMode = [](int w, int h, int d, uint32_t f) {
            g_modeRequests.push_back({w, h, d, f});
            return 1;
        };
        App::CurrentMode() = {1024, 768, 32, kModeWindowed};
        App::PreferredVariant() = true;
        g_modeRequests.clear();
        g_enterCalls = 0;
        g_failures = c.failures;
        int code = 0;
        try {
            Application::ShowFirstScreen(EnterFailing);
        } catch (const Exited& e) {
            code = e.code;
        }
        EXPECT_EQ(code, c.exits ? Application::kExitNoFirstScreen : 0);
        EXPECT_EQ(g_enterCalls, c.calls);
        EXPECT_EQ(g_modeRequests, c.requests);
        EXPECT_EQ(App::PreferredVariant(), c.failures == 0) << "cleared before the second try";
    }
    SetFatalExitHandler(nullptr);
    App::ModeHooks() = {};
    App::ResetDisplayMode();
}

TEST(StartLighting, DefaultLightAndSixteenRendererSets)
{
    ASSERT_EQ(RenderPlaceholders::CreateGlobalLightSets(), RenderPlaceholders::kRendererLightSets);
    RenderPlaceholders::SetDefaultLighting();

    LightSet* set = RenderPlaceholders::DefaultLightSet();
    ASSERT_NE(set, nullptr);
    EXPECT_EQ(set, LightSet::Global(RenderPlaceholders::kHandedInLightSet));
    const gfx::Material& material = set->Material();
    EXPECT_FLOAT_EQ(material.emissive.r, 0.75f);
    EXPECT_FLOAT_EQ(material.emissive.g, 0.75f);
    EXPECT_FLOAT_EQ(material.emissive.b, 0.75f);
    EXPECT_FLOAT_EQ(material.diffuse.a, 1.0f);
    ASSERT_EQ(set->LightCount(), 1);
    const gfx::Light& light = (*set->Lights().begin())->Description();
    EXPECT_EQ(light.type, gfx::LightType::Directional);
    EXPECT_FLOAT_EQ(light.direction.x, -0.57735f);
    EXPECT_FLOAT_EQ(light.direction.y, -0.57735f);
    EXPECT_FLOAT_EQ(light.direction.z, -0.57735f);

    // Sixteen distinct sets of their own, none of them a global one.
    std::set<LightSet*> seen;
    for (int i = 0; i < RenderPlaceholders::kRendererLightSets; ++i) {
        LightSet* s = RenderPlaceholders::RendererLightSet(i);
        ASSERT_NE(s, nullptr) << i;
        EXPECT_EQ(s->LightCount(), 0) << i;
        for (int g = 0; g < 4; ++g)
            EXPECT_NE(s, LightSet::Global(g)) << i;
        seen.insert(s);
    }
    EXPECT_EQ(seen.size(), size_t(RenderPlaceholders::kRendererLightSets));
    EXPECT_EQ(RenderPlaceholders::RendererLightSet(RenderPlaceholders::kRendererLightSets), nullptr);

    RenderPlaceholders::DestroyGlobalLightSets();
    EXPECT_EQ(RenderPlaceholders::DefaultLightSet(), nullptr);
    EXPECT_EQ(RenderPlaceholders::RendererLightSet(0), nullptr);
}

} // namespace
