// The window's message queue as the main loop uses it: activation first,
// one pending mouse move, close leading to destroy and the quit code, and
// keys reaching both the queue and the keyboard device while the wheel
// reaches only the mouse.
#include "platform/input.h"
#include "platform/window.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

using namespace platform;

namespace {

std::vector<uint32_t> g_seen;
int g_quitCode = 0;

int64_t Procedure(Window& window, uint32_t message, uint64_t wparam, int64_t lparam)
{
    g_seen.push_back(message);
    if (message == kWmDestroy)
        PostQuitMessage(g_quitCode);
    return DefWindowProc(window, message, wparam, lparam);
}

class WindowQueue : public ::testing::Test {
protected:
    void SetUp() override
    {
        // No real window: the same queue, headless.
        const char* old = std::getenv("SDL_VIDEODRIVER");
        if (old)
            saved_ = old;
        setenv("SDL_VIDEODRIVER", "dummy", 1);
        g_seen.clear();
        window_ = Window::Create({"test", false, 320, 200, false}, Procedure);
        Drain();
    }
    void TearDown() override
    {
        window_.reset();
        if (saved_)
            setenv("SDL_VIDEODRIVER", saved_->c_str(), 1);
        else
            unsetenv("SDL_VIDEODRIVER");
    }
    // Takes every waiting message (not the quit).
    std::vector<Message> Drain()
    {
        std::vector<Message> got;
        while (PeekMessage()) {
            Message m;
            if (!GetMessage(m)) {
                got.push_back(m);
                break;
            }
            got.push_back(m);
        }
        return got;
    }

    std::unique_ptr<Window> window_;
    std::optional<std::string> saved_;
};

TEST_F(WindowQueue, NewWindowIsActivatedFirst)
{
    g_seen.clear();
    window_ = Window::Create({"again", false, 320, 200, false}, Procedure);
    ASSERT_TRUE(PeekMessage());
    Message m;
    ASSERT_TRUE(GetMessage(m));
    EXPECT_EQ(m.message, kWmActivateApp);
    EXPECT_EQ(m.wparam, 1u);
    EXPECT_TRUE(window_->IsHeadless());
}

// A windowed mode change sizes the client area and tells the procedure.
TEST_F(WindowQueue, ClientSizeFollowsAWindowedMode)
{
    ASSERT_TRUE(window_->SetClientSize(800, 600));
    int left = -1, top = -1, width = 0, height = 0;
    window_->ClientRect(left, top, width, height);
    EXPECT_EQ(width, 800);
    EXPECT_EQ(height, 600);
    const std::vector<Message> got = Drain();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].message, kWmSize);
    EXPECT_EQ(got[0].lparam, int64_t(800 | 600 << 16));
    EXPECT_FALSE(window_->SetClientSize(0, 600));
    EXPECT_TRUE(Drain().empty());
}

TEST_F(WindowQueue, CloseDestroysAndQuitsWithTheCode)
{
    g_quitCode = 7;
    window_->Post(kWmClose);
    Message m;
    ASSERT_TRUE(GetMessage(m));
    DispatchMessage(m);
    EXPECT_EQ(g_seen, (std::vector<uint32_t>{kWmClose, kWmDestroy}));
    EXPECT_TRUE(window_->IsDestroyed());
    ASSERT_FALSE(GetMessage(m));
    EXPECT_EQ(m.message, kWmQuit);
    EXPECT_EQ(static_cast<int>(m.wparam), 7);
}

TEST_F(WindowQueue, OnlyTheLatestOfConsecutiveMouseMovesWaits)
{
    window_->Post(kWmMouseMove, 0, 1);
    window_->Post(kWmMouseMove, 0, 2);
    window_->Post(kWmKeyDown, 0, 0);
    window_->Post(kWmMouseMove, 0, 3);
    window_->Post(kWmMouseMove, 0, 4);
    const auto got = Drain();
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[0].lparam, 2);
    EXPECT_EQ(got[1].message, kWmKeyDown);
    EXPECT_EQ(got[2].lparam, 4);
}

TEST_F(WindowQueue, WheelReachesTheMouseDeviceOnly)
{
    auto keyboard = InputDevice::Create(InputDevice::Kind::Keyboard, window_.get(), 32, false);
    auto mouse = InputDevice::Create(InputDevice::Kind::Mouse, window_.get(), 30, false);
    keyboard->Acquire();
    mouse->Acquire();
    SimulateKey(28, true);
    SimulateWheel(1);
    const auto messages = Drain();
    int keyDowns = 0, wheels = 0;
    for (const Message& m : messages) {
        keyDowns += m.message == kWmKeyDown;
        wheels += m.message == kWmMouseWheel;
    }
    EXPECT_EQ(keyDowns, 1);
    EXPECT_EQ(wheels, 0) << "the wheel must not arrive twice";
    DeviceRecord r[8];
    uint32_t count = 8;
    mouse->GetData(r, count);
    ASSERT_EQ(count, 1u);
    EXPECT_EQ(r[0].offset, kMouseAxisZ);
    count = 8;
    keyboard->GetData(r, count);
    ASSERT_EQ(count, 1u);
    EXPECT_EQ(r[0].offset, 28u);
}

} // namespace
