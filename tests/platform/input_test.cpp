// Keyboard and mouse devices: DirectInput scan codes for the keys the game
// uses, buffered records that never lose input beyond a read's limit, and
// the wheel reported once per notch.
#include "platform/input.h"

#include <gtest/gtest.h>

#include <vector>

using namespace platform;

namespace {

struct KeyCase {
    int hidUsage; // the SDL scan code is the USB HID usage
    uint8_t dik;
    const char* name;
};

// Every key that the game's fixed keys, default bindings, key names and
// console use.
constexpr KeyCase kGameKeys[] = {
    {41, 1, "Escape"},     {30, 2, "1"},        {31, 3, "2"},           {32, 4, "3"},
    {33, 5, "4"},          {34, 6, "5"},        {35, 7, "6"},           {36, 8, "7"},
    {37, 9, "8"},          {38, 10, "9"},       {39, 11, "0"},          {45, 12, "minus"},
    {46, 13, "equals"},    {42, 14, "Backspace"}, {43, 15, "Tab"},      {20, 16, "Q"},
    {26, 17, "W"},         {8, 18, "E"},        {21, 19, "R"},          {23, 20, "T"},
    {28, 21, "Y"},         {24, 22, "U"},       {12, 23, "I"},          {18, 24, "O"},
    {19, 25, "P"},         {47, 26, "["},       {48, 27, "]"},          {40, 28, "Enter"},
    {224, 29, "left Ctrl"}, {4, 30, "A"},       {22, 31, "S"},          {7, 32, "D"},
    {9, 33, "F"},          {10, 34, "G"},       {11, 35, "H"},          {13, 36, "J"},
    {14, 37, "K"},         {15, 38, "L"},       {51, 39, "semicolon"},  {52, 40, "apostrophe"},
    {53, 41, "grave (console)"}, {225, 42, "left Shift"}, {49, 43, "backslash"}, {29, 44, "Z"},
    {27, 45, "X"},         {6, 46, "C"},        {25, 47, "V"},          {5, 48, "B"},
    {17, 49, "N"},         {16, 50, "M"},       {54, 51, "comma"},      {55, 52, "period"},
    {56, 53, "slash"},     {229, 54, "right Shift"}, {44, 57, "Space"}, {58, 59, "F1"},
    {59, 60, "F2"},        {60, 61, "F3"},      {61, 62, "F4"},         {62, 63, "F5"},
    {63, 64, "F6"},        {64, 65, "F7"},      {65, 66, "F8"},         {66, 67, "F9"},
    {67, 68, "F10"},       {86, 74, "keypad minus"}, {100, 86, "102nd key"}, {68, 87, "F11"},
    {69, 88, "F12"},       {228, 157, "right Ctrl"}, {70, 183, "Print Screen"}, {72, 197, "Pause"},
    {74, 199, "Home"},     {82, 200, "Up"},     {75, 201, "Page Up"},   {80, 203, "Left"},
    {79, 205, "Right"},    {77, 207, "End"},    {81, 208, "Down"},      {78, 209, "Page Down"},
    {73, 210, "Insert"},   {76, 211, "Delete"}, {88, 156, "keypad Enter"}, {226, 56, "left Alt"},
    {230, 184, "right Alt"},
};

TEST(ScanCodes, GameKeysHaveTheirDirectInputCodes)
{
    for (const KeyCase& k : kGameKeys) {
        EXPECT_EQ(DirectInputScanCode(k.hidUsage), k.dik) << k.name;
        EXPECT_EQ(DirectInputScanCode(SdlScancodeOf(k.dik)), k.dik) << k.name << " back and forth";
    }
}

TEST(ScanCodes, EveryCodeMapsBackToItself)
{
    int known = 0;
    for (int dik = 1; dik < 256; ++dik) {
        const int sdl = SdlScancodeOf(static_cast<uint8_t>(dik));
        if (!sdl)
            continue;
        ++known;
        EXPECT_EQ(DirectInputScanCode(sdl), dik) << dik;
    }
    EXPECT_GE(known, 100);
    EXPECT_EQ(DirectInputScanCode(-1), 0);
    EXPECT_EQ(DirectInputScanCode(100000), 0);
    EXPECT_EQ(DirectInputScanCode(0), 0);
}

std::vector<DeviceRecord> ReadAll(InputDevice& device, uint32_t room)
{
    std::vector<DeviceRecord> records(room);
    uint32_t count = room;
    EXPECT_EQ(device.GetData(records.data(), count), DeviceResult::Ok);
    records.resize(count);
    return records;
}

TEST(InputDevices, KeysArriveInOrderAndNoneIsLostPastTheBuffer)
{
    auto keyboard = InputDevice::Create(InputDevice::Kind::Keyboard, nullptr, 32, false);
    ASSERT_TRUE(keyboard->Acquire());
    for (int i = 0; i < 20; ++i) {
        SimulateKey(30, true);  // A
        SimulateKey(30, false);
    }
    const auto first = ReadAll(*keyboard, 64);
    ASSERT_EQ(first.size(), 32u) << "a read returns at most the buffer size";
    const auto second = ReadAll(*keyboard, 64);
    ASSERT_EQ(second.size(), 8u) << "the rest waits for the next read";
    for (size_t i = 0; i < first.size(); ++i) {
        EXPECT_EQ(first[i].offset, 30u);
        EXPECT_EQ(first[i].data, i % 2 == 0 ? kKeyPressed : 0u);
    }
    EXPECT_LT(first[0].sequence, first[1].sequence);
    EXPECT_TRUE(ReadAll(*keyboard, 64).empty());
}

TEST(InputDevices, UnacquiredDevicesGetNothing)
{
    auto keyboard = InputDevice::Create(InputDevice::Kind::Keyboard, nullptr, 32, false);
    SimulateKey(57, true);
    DeviceRecord r[4];
    uint32_t count = 4;
    EXPECT_EQ(keyboard->GetData(r, count), DeviceResult::NotAcquired);
    EXPECT_EQ(count, 0u);
    keyboard->Acquire();
    EXPECT_TRUE(ReadAll(*keyboard, 4).empty()) << "input from before acquiring is not kept";
}

TEST(InputDevices, MouseMovesButtonsAndOneRecordPerWheelNotch)
{
    auto mouse = InputDevice::Create(InputDevice::Kind::Mouse, nullptr, 30, false);
    mouse->Acquire();
    SimulateMouseMotion(0, 0);
    ReadAll(*mouse, 30);
    SimulateMouseMotion(10, 4);
    SimulateMouseButton(0, true);
    SimulateMouseButton(1, true);
    SimulateWheel(1);
    SimulateWheel(-2);
    const auto records = ReadAll(*mouse, 30);
    ASSERT_EQ(records.size(), 6u);
    EXPECT_EQ(records[0].offset, kMouseAxisX);
    EXPECT_EQ(static_cast<int32_t>(records[0].data), 10);
    EXPECT_EQ(records[1].offset, kMouseAxisY);
    EXPECT_EQ(static_cast<int32_t>(records[1].data), 4);
    EXPECT_EQ(records[0].sequence, records[1].sequence) << "one motion, one sequence number";
    EXPECT_EQ(records[2].offset, kMouseButton0);
    EXPECT_EQ(records[2].data, kKeyPressed);
    EXPECT_EQ(records[3].offset, kMouseButton1);
    EXPECT_EQ(records[4].offset, kMouseAxisZ);
    EXPECT_EQ(static_cast<int32_t>(records[4].data), kWheelDelta);
    EXPECT_EQ(records[5].offset, kMouseAxisZ);
    EXPECT_EQ(static_cast<int32_t>(records[5].data), -2 * kWheelDelta);
    const MouseDeviceState state = mouse->GetMouseState();
    EXPECT_EQ(state.z, -kWheelDelta);
    EXPECT_EQ(state.buttons[0], kKeyPressed);
    int x = 0, y = 0;
    ASSERT_TRUE(GetCursorPos(x, y));
    EXPECT_EQ(x, 10);
    EXPECT_EQ(y, 4);
}

} // namespace
