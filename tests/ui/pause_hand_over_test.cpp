// The in-game menu's pause against a running server thread: while a menu
// screen is open the server makes no pass, moving between the menu and the
// save screen keeps it held, and saved-game heads are read beside a running
// server without leaving it held. Waits are on pass counts, never on time.
#include "ui/menu_screen.h"

#include "app/app_time.h"
#include "platform/data_path.h"
#include "platform/thread.h"
#include "session/game_state.h"
#include "session/message_queue.h"
#include "session/server_thread.h"
#include "ui/hud_view.h"
#include "ui/saved_game_header.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

namespace {

namespace fs = std::filesystem;

struct StepView : HudView {
    int64_t now = 0;
    int64_t RealNow() override { return now; }
    int64_t TicksPerSecond() override { return 1000; }
};

template <typename Predicate> void WakeUntil(Predicate done)
{
    while (!done()) {
        Server::Wake();
        platform::YieldThread();
    }
}

class PauseHandOver : public ::testing::Test {
protected:
    void SetUp() override
    {
        char name[] = "/tmp/trevok-pause-XXXXXX";
        home_ = mkdtemp(name);
        fs::create_directories(home_ / "trevok");
        fs::copy(fs::path(TREVOK_FIXTURES_DIR) / "ui" / "saves", home_ / "trevok" / "saves");
        if (const char* old = std::getenv("XDG_DATA_HOME"))
            savedHome_ = old;
        setenv("XDG_DATA_HOME", home_.c_str(), 1);
        platform::ClearDataPathCache();
        HudView::Install(&view_);
        AppTime::SetGameSpeed(1.0f);
    }
    void TearDown() override
    {
        MenuScreen::ReleaseAll();
        Server::Stop();
        ClientToServerQueue.Clear();
        ServerToClientQueue.Clear();
        HudView::Install(nullptr);
        if (savedHome_)
            setenv("XDG_DATA_HOME", savedHome_->c_str(), 1);
        else
            unsetenv("XDG_DATA_HOME");
        fs::remove_all(home_);
        AppTime::SetGameSpeed(1.0f);
    }
    void Settle()
    {
        for (int i = 0; i < 4; ++i) {
            view_.now += 600;
            MenuScreen::DrawAll(view_.now);
        }
    }
    // The server's pass count after some wakes: unchanged while it is held.
    static bool Passes()
    {
        const uint64_t before = Server::PassCount();
        for (int i = 0; i < 20; ++i) {
            Server::Wake();
            platform::YieldThread();
        }
        return Server::PassCount() != before;
    }

    StepView view_;
    fs::path home_;
    std::optional<std::string> savedHome_;
};

TEST_F(PauseHandOver, AnOpenMenuHoldsTheServerUntilTheLastScreenCloses)
{
    ASSERT_TRUE(Server::Start(nullptr));
    Server::BeginLevel();
    const uint64_t start = Server::PassCount();
    WakeUntil([start] { return Server::PassCount() > start; });

    MenuScreen::OpenInGameMenu();
    EXPECT_EQ(GameState::Depth(), 1);
    EXPECT_FALSE(Passes());
    Settle();
    MenuScreen::OpenSaveScreen(); // reads every head while the server is held
    Settle();
    ASSERT_NE(MenuScreen::Slot(MenuScreen::kSaveScreen), nullptr);
    EXPECT_FALSE(MenuScreen::List(MenuScreen::kSaveScreen).rows.empty());
    EXPECT_EQ(GameState::Depth(), 1) << "one hold across both screens";
    EXPECT_FALSE(Passes());
    MenuScreen::Slot(MenuScreen::kSaveScreen)->BeginClose();
    Settle();
    EXPECT_FALSE(MenuScreen::AnyOpen());
    EXPECT_EQ(GameState::Depth(), 0);
    const uint64_t resumed = Server::PassCount();
    WakeUntil([resumed] { return Server::PassCount() > resumed; });

    // Heads read beside the running server hold it only while reading.
    for (int i = 0; i < 50; ++i) {
        ASSERT_TRUE(SavedGame::ReadHeader(i % 2 ? "full.sav" : "levelstart.sav"));
        Server::Wake();
    }
    EXPECT_EQ(GameState::Depth(), 0);
    EXPECT_FLOAT_EQ(AppTime::GameSpeed(), 1.0f);
    const uint64_t after = Server::PassCount();
    WakeUntil([after] { return Server::PassCount() > after; });
}

} // namespace
