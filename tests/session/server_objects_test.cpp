// The server pass and the factories: what a pass sees of objects made and
// removed during it, spawns and their announcement, deletes by id and side,
// and the held-units step.
#include "session/server_objects.h"

#include "session/server_thread.h"
#include "tests/objects/server_fixture.h"

#include <functional>

namespace {

// Records its updates; an action may run inside its Update.
class Probe : public GameObject {
public:
    using GameObject::GameObject;
    void MoveAndHit(uint64_t, float) override { log->push_back("move " + std::to_string(GetId())); }
    void Update(uint64_t now, float seconds) override
    {
        GameObject::Update(now, seconds);
        log->push_back("update " + std::to_string(GetId()));
        if (onUpdate)
            onUpdate(*this);
    }
    void HoldStill(float) override { log->push_back("hold " + std::to_string(GetId())); }
    ~Probe() override { log->push_back("deleted " + std::to_string(GetId())); }

    std::vector<std::string>* log = nullptr;
    std::function<void(Probe&)> onUpdate;
};

class ServerPassTest : public ServerWorld {
public:
    Probe* MakeProbe(int32_t side = 1)
    {
        auto* p = new Probe(side, &role, {0, 0, 0}, Quaternion::Identity(), 0, ObjectRegistry::Global().TakeNextId());
        p->log = &log;
        return p;
    }

protected:
    void TearDown() override
    {
        Server::SetUnitsHeld(false);
        ServerWorld::TearDown();
    }

    script::Role& role = NewRole();
    std::vector<std::string> log;
};

TEST_F(ServerPassTest, WhatAPassSeesOfObjectsMadeAndRemovedDuringIt)
{
    struct Case {
        const char* name;
        std::function<void(ServerPassTest&, Probe&)> during;  // in object 1's first update
        std::vector<std::string> firstPass, secondPass;
    };
    const Case cases[] = {
        {"made in a pass is first updated in the next",
         [](ServerPassTest& t, Probe&) { t.MakeProbe(); },
         {"move 1", "update 1"},
         {"move 1", "move 2", "update 1", "update 2"}},
        {"removed in its own update lives to the end of the pass",
         [](ServerPassTest&, Probe& self) {
             self.Remove(true);
             self.SetPositionQuiet({1, 1, 1});  // still valid memory
         },
         {"move 1", "update 1", "deleted 1"},
         {}},
        {"removed twice in its update is removed once",
         [](ServerPassTest&, Probe& self) {
             self.Remove(true);
             self.Remove(true);
         },
         {"move 1", "update 1", "deleted 1"},
         {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EmptyTables();
        log.clear();
        Probe* first = MakeProbe();
        bool done = false;
        first->onUpdate = [&](Probe& self) {
            if (!std::exchange(done, true))
                c.during(*this, self);
        };
        Server::Tick(50000, 0.05f);
        EXPECT_EQ(log, c.firstPass);
        log.clear();
        Server::Tick(100000, 0.1f);
        EXPECT_EQ(log, c.secondPass);
    }
    EXPECT_EQ(Sent(ObjectMessage::kRemoved).size(), 2u);
}

TEST_F(ServerPassTest, ASpawnIsTypedListedAnnouncedAndActivated)
{
    role.aiType = 16;  // idle but active
    const uint32_t id = Server::SpawnObject(3, &role, {1, 2, 3}, Quaternion::Identity());
    ASSERT_NE(id, 0u);
    GameObject* object = ObjectRegistry::Global().Find(id);
    ASSERT_NE(object, nullptr);
    EXPECT_EQ(object->aiType_, 16);
    EXPECT_EQ(object->aiState_, AiState::kInitial);
    EXPECT_EQ(SideLists::Global().Side(3), std::vector<GameObject*>{object});
    const auto announced = Sent(ObjectMessage::kSpawned);
    ASSERT_EQ(announced.size(), 1u);
    EXPECT_EQ(announced[0].bytes.size(), 44u);
    EXPECT_TRUE(announced[0].guaranteed);
    EXPECT_EQ(announced[0].Word(1), id);
    EXPECT_EQ(announced[0].Word(2), static_cast<uint32_t>(role.id));
    EXPECT_EQ(announced[0].Word(3), 3u);
    EXPECT_EQ(announced[0].Float(6), 3.0f);
}

TEST_F(ServerPassTest, FactoriesRefuseWhatTheyCannotMake)
{
    EXPECT_EQ(Server::CreateLevelObject(1, nullptr, {0, 0, 0}, Quaternion::Identity()), -1);
    script::Role& bad = NewRole();
    bad.aiType = 101;
    EXPECT_EQ(Server::CreateObject(1, &bad, {0, 0, 0}, Quaternion::Identity()), nullptr);
    EXPECT_EQ(Server::SpawnObject(1, &bad, {0, 0, 0}, Quaternion::Identity()), 0u);
    role.aiType = 4;  // no routine, not active: not listed
    const int32_t id = Server::CreateLevelObject(2, &role, {0, 0, 0}, Quaternion::Identity());
    EXPECT_EQ(id, 1) << "ids start at 1 and refusals take none";
    EXPECT_TRUE(SideLists::Global().Side(2).empty());
}

TEST_F(ServerPassTest, DeletesByIdAndBySide)
{
    MakeProbe(1);
    MakeProbe(2);
    MakeProbe(2);
    EXPECT_FALSE(Server::DeleteObject(99));
    EXPECT_TRUE(Server::DeleteObject(1));
    EXPECT_FALSE(Server::DeleteObject(1));
    Server::DeleteTeam(2, 1);
    EXPECT_EQ(ObjectRegistry::Global().Count(), 0u);
    EXPECT_EQ(Sent(ObjectMessage::kRemoved).size(), 3u);
}

// The defeat check looks at the own side's list only, and only at the living.
TEST_F(ServerPassTest, OwnSideIsAliveWhileItsListHoldsALiveObject)
{
    TeamTable::Build(3, 1, 0);
    class Mortal : public Probe {
    public:
        using Probe::Probe;
        bool IsAlive() const override { return alive; }
        bool alive = true;
    };
    auto* own = new Mortal(1, &role, {0, 0, 0}, Quaternion::Identity(), 0, ObjectRegistry::Global().TakeNextId());
    own->log = &log;
    auto* enemy = MakeProbe(2);
    ASSERT_TRUE(SideLists::Global().Add(*enemy));
    EXPECT_FALSE(Server::OwnSideHasLiveObject()) << "only an enemy is listed";
    ASSERT_TRUE(SideLists::Global().Add(*own));
    EXPECT_TRUE(Server::OwnSideHasLiveObject());
    own->alive = false;
    EXPECT_FALSE(Server::OwnSideHasLiveObject()) << "a dead unit still listed counts for nothing";
    own->alive = true;
    SideLists::Global().Remove(*own);
    EXPECT_FALSE(Server::OwnSideHasLiveObject());
}

TEST_F(ServerPassTest, HeldUnitsHoldStillAndNoAiRuns)
{
    static int thinks = 0;
    thinks = 0;
    Probe* probe = MakeProbe(2);
    probe->think_ = [](GameObject&, uint64_t) {
        ++thinks;
        return 0;
    };
    SideLists::Global().Add(*probe);
    AiPlayerSlots::Add(2);
    Server::SetUnitsHeld(true);
    Server::RunObjectPass(50000, 0.05f);
    EXPECT_EQ(thinks, 0);
    EXPECT_EQ(log, (std::vector<std::string>{"hold 1", "move 1", "update 1"}));
    Server::SetUnitsHeld(false);
    log.clear();
    Server::RunObjectPass(100000, 0.1f);
    EXPECT_EQ(thinks, 1);
    EXPECT_EQ(log, (std::vector<std::string>{"move 1", "update 1"}));
}

} // namespace
