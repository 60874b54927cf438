// What the console does with the server's messages once its session hooks
// are in: a spoken text becomes a server screen text that outlives its
// message, and TRACK and BOARD block the player's controls.
#include "console_fixture.h"

#include "console/developer_commands.h"
#include "console/screen_message.h"
#include "console/session_commands.h"
#include "objects/world_object.h"
#include "platform/byte_cursor.h"
#include "script/records.h"
#include "session/client_apply.h"
#include "session/client_hooks.h"
#include "session/level_session.h"

#include <algorithm>
#include <string>
#include <vector>

namespace {

class ServerTextsTest : public console_test::ConsoleTest {
protected:
    void SetUp() override
    {
        ConsoleTest::SetUp();
        ClientHooks::Get() = ClientHooks{};
        SessionCommands::Install();
        role_.aiType = 10;
        WorldObjectTable::DestroyAll();
        speaker_ = WorldObject::CreateFromMessage(1, &role_, {0, 0, 0}, Quaternion::Identity(), kSpeaker);
        ScreenMessages::Clear();
        PlayerControlsOff = false;
    }
    void TearDown() override
    {
        ScreenMessages::Clear();
        WorldObjectTable::DestroyAll();
        WorldObjectTable::RemovedHook() = nullptr;
        ClientHooks::Get() = ClientHooks{};
        Session::Hooks() = SessionHooks{};
        PlayerControlsOff = false;
        ConsoleTest::TearDown();
    }
    static constexpr uint32_t kSpeaker = 40;
    script::Role role_;
    WorldObject* speaker_ = nullptr;
};

TEST_F(ServerTextsTest, ASpokenTextIsAServerTextThatOutlivesItsMessage)
{
    ASSERT_NE(speaker_, nullptr);
    std::vector<uint8_t> block(8);
    StoreU32(block.data(), 112);
    StoreU32(block.data() + 4, kSpeaker);
    for (char c : std::string("Follow me"))
        block.push_back(static_cast<uint8_t>(c));
    block.push_back(0);
    ASSERT_EQ(Client::ApplyServerMessage(block), Client::Applied::kApplied);
    std::fill(block.begin(), block.end(), uint8_t{'X'});
    ASSERT_EQ(ScreenMessages::All().size(), 1u);
    const ScreenMessage& shown = *ScreenMessages::All().front();
    EXPECT_EQ(shown.text, "Follow me");
    EXPECT_EQ(shown.kind, 0);
    EXPECT_FLOAT_EQ(shown.right - shown.left, 0.4f);
}

TEST_F(ServerTextsTest, TrackAndBoardBlockThePlayersControls)
{
    for (uint32_t type : {113u, 114u}) {
        PlayerControlsOff = false;
        uint8_t block[8];
        StoreU32(block, type);
        StoreU32(block + 4, kSpeaker);
        EXPECT_EQ(Client::ApplyServerMessage(std::span<const uint8_t>(block, sizeof block)), Client::Applied::kApplied);
        EXPECT_TRUE(PlayerControlsOff) << type;
    }
}

} // namespace
