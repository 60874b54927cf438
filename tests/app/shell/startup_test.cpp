// Start-up's own decisions: which display mode the key file gets, and the
// light sets with the default lighting that every start leaves behind.
#include "Veapi/light_set.h"
#include "app/shell/application.h"
#include "app/shell/render_placeholders.h"

#include <gtest/gtest.h>

#include <set>

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
