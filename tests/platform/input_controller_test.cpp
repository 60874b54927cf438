// Game controllers through a software controller: the axis scaling with its
// dead zone, the buttons, and a controller unplugged while in use.
#include "platform/input_controller.h"

#include <gtest/gtest.h>

namespace {

TEST(GameController, AxisScaling)
{
    struct Case {
        int raw;
        int32_t expected;
    };
    const Case cases[] = {
        {0, 0},           {16383, 0},       {-16383, 0},  // inside the dead zone (half the travel)
        {32767, 1000},    {-32767, -1000},  {-32768, -1000},  // full travel, the extra negative step clamped
        {24575, 500},     {-24575, -500},   // half-way through the outer half
        {16500, 7},       {-16500, -7},     // just past the dead zone: small, not a jump
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.raw);
        EXPECT_EQ(platform::ScaleControllerAxis(c.raw), c.expected);
    }
    // No dead zone: the whole travel spread over the range.
    EXPECT_EQ(platform::ScaleControllerAxis(16384, 1000, 0), 500);
    // A dead zone over the whole travel reads nothing, never a division by zero.
    EXPECT_EQ(platform::ScaleControllerAxis(32767, 1000, 10000), 0);
}

TEST(GameController, VirtualControllerReadsAndUnplugs)
{
    platform::VirtualController pad;
    ASSERT_TRUE(pad.IsAttached());
    auto list = platform::GameController::EnumerateAttached();
    ASSERT_EQ(list.size(), 1u);
    platform::GameController& c = *list[0];
    ASSERT_TRUE(c.Acquire());

    struct Case {
        const char* name;
        int x, y;
        int button;  // -1: none
        platform::ControllerState expected;
    };
    const Case cases[] = {
        {"centred", 0, 0, -1, {0, 0, 0}},
        {"right and up, full", 32767, -32768, -1, {1000, -1000, 0}},
        {"small push is dead", 12000, -9000, -1, {0, 0, 0}},
        {"half-way out, button 0", 24575, 24575, 0, {500, 500, 1u}},
        {"button 3", 0, 0, 3, {0, 0, 1u << 3}},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        pad.SetStick(k.x, k.y);
        for (int b = 0; b < 4; ++b)
            pad.SetButton(b, b == k.button);
        platform::ControllerState s;
        ASSERT_TRUE(c.Poll(s));
        EXPECT_EQ(s, k.expected);
    }

    // Unplugged while pushed and held: centred and released from then on.
    pad.SetStick(32767, 32767);
    pad.SetButton(1, true);
    platform::ControllerState s;
    ASSERT_TRUE(c.Poll(s));
    ASSERT_EQ(s.x, 1000);
    pad.Unplug();
    for (int i = 0; i < 2; ++i) {
        s = {123, 456, 0xFF};
        EXPECT_FALSE(c.Poll(s));
        EXPECT_EQ(s, platform::ControllerState{});
    }
    EXPECT_FALSE(c.Acquire());
    EXPECT_TRUE(platform::GameController::EnumerateAttached().empty());
}

TEST(GameController, AtMostTenAreKept)
{
    std::vector<std::unique_ptr<platform::VirtualController>> pads;
    for (int i = 0; i < 12; ++i) {
        pads.push_back(std::make_unique<platform::VirtualController>());
        ASSERT_TRUE(pads.back()->IsAttached());
    }
    EXPECT_EQ(platform::GameController::EnumerateAttached().size(), size_t(platform::kMaxControllers));
    EXPECT_EQ(platform::GameController::EnumerateAttached(3).size(), 3u);
}

} // namespace
