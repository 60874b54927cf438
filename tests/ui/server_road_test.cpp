// A ground click's move order crosses the request road to the server
// thread, which receives it as the request the click sent.
#include "ui_fixture.h"

#include "platform/thread.h"
#include "session/server_thread.h"
#include "world/level_fixture.h"

#include <mutex>

namespace {

using uitest::GameViewTest;

class ServerRoad : public GameViewTest {
protected:
    void TearDown() override
    {
        Server::Stop();
        Server::SetHooks({});
        Level::Current() = nullptr;
        GameViewTest::TearDown();
    }
    std::mutex mutex_;
    std::vector<std::vector<uint8_t>> received_; // guarded by mutex_
};

TEST_F(ServerRoad, AGroundClickSendsAMoveTheServerReceives)
{
    CollisionSource source;
    leveltest::AddFloor(source, 0, 0, 0, 4, 2.0f);
    auto level = leveltest::MakeLevel(source);
    Level::Current() = level.get();

    ServerHooks hooks;
    hooks.request = [this](const GameMessage& m, uint32_t) {
        std::lock_guard hold(mutex_);
        received_.emplace_back(m.Data(), m.Data() + m.Size());
    };
    Server::SetHooks(std::move(hooks));
    ASSERT_TRUE(Server::Start(nullptr));
    Server::BeginLevel();

    Selection::Add(trevok_);
    Selection::Add(vell_);
    pick_.hasGround = true;
    pick_.ground = {3, 0, 5};
    Mouse::OnLeftDown(200, 200, 0);
    Mouse::OnLeftUp(200, 200, 0);

    const CollisionPolygon* polygon = level->FindPolygonAt(pick_.ground);
    ASSERT_NE(polygon, nullptr);
    std::vector<uint8_t> move;
    for (int i = 0; i < 20000 && move.empty(); ++i) { // at most about twenty seconds
        Server::Wake();
        platform::SleepMilliseconds(1);
        std::lock_guard hold(mutex_);
        if (!received_.empty())
            move = received_.front();
    }
    ASSERT_EQ(move.size(), 20u + 4 * 2);
    auto word = [&](size_t i) {
        return uint32_t(move[4 * i]) | uint32_t(move[4 * i + 1]) << 8 | uint32_t(move[4 * i + 2]) << 16 |
               uint32_t(move[4 * i + 3]) << 24;
    };
    EXPECT_EQ(word(0), 5u);
    EXPECT_EQ(word(2), polygon->tableIndex_);
    EXPECT_EQ(word(3), 0xFFFFFFFFu);
    EXPECT_EQ(word(4), 2u);
    EXPECT_EQ(view_.sounds, std::vector<int>{1});
}

} // namespace
