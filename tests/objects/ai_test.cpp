// AI scheduling: the generators against the C library's, the type table,
// the pass, noises that wake listeners, and the remote-device table.
#include "tests/objects/server_fixture.h"
#include "objects/think_routines.h"

#include <cstdlib>

namespace {

using AiTest = ServerWorld;

int32_t CountingThink(GameObject& object, uint64_t)
{
    ++object.missCount_;  // a visible mark of each call
    return 0;
}

TEST(LockedRandomTest, GeneratorsEqualTheCLibraryAdditiveGenerator)
{
    struct Case {
        const char* name;
        LockedRandom* random;
        const uint32_t* words;
    };
    const Case cases[] = {{"server", &ServerRandom::Get(), ServerRandom::kStartWords},
                          {"AI", &AiRandom::Get(), AiRandom::kStartWords}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        c.random->Reset();
        // A 128-byte state is TYPE_3 (degree 31, separation 3): its type word
        // is 3 with the rear cursor at 0, the front at word 3.
        alignas(int32_t) static char buffer[128];
        random_data data{};
        ASSERT_EQ(initstate_r(1, buffer, sizeof buffer, &data), 0);
        ASSERT_EQ(data.rand_type, 3);
        for (int i = 0; i < 31; ++i)
            data.state[i] = static_cast<int32_t>(c.words[i]);
        data.rptr = data.state;
        data.fptr = data.state + 3;
        for (int i = 0; i < 100000; ++i) {
            int32_t expected = 0;
            ASSERT_EQ(random_r(&data, &expected), 0);
            ASSERT_EQ(static_cast<int32_t>(c.random->Next() >> 1), expected) << "draw " << i;
        }
        c.random->Reset();
    }
}

TEST_F(AiTest, TheTypeTableChoosesRoutinesAndActivity)
{
    Ai::SetRoutine(0, &CountingThink);
    Ai::SetRoutine(1, &CountingThink);
    struct Case {
        int32_t type;
        bool armed;
        enum { kNone, kIdle, kOwn, kType3 } routine;
        bool active;
    };
    const Case cases[] = {
        {0, true, Case::kOwn, true},   {0, false, Case::kNone, true}, {1, false, Case::kOwn, true},
        {4, true, Case::kNone, false}, {5, true, Case::kNone, false}, {11, true, Case::kNone, false},
        {6, true, Case::kIdle, false}, {13, true, Case::kIdle, false}, {16, true, Case::kIdle, true},
        {3, true, Case::kType3, true},
        {40, true, Case::kNone, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.type);
        script::Role& role = NewRole();
        role.aiType = c.type;
        role.character->weapon = c.armed ? 3 : 2147483647;
        role.character->aggression = 0.25f;
        GameObject* object = Make(&role, 2, {0, 0, 0});
        object->flags_ = 0xFF;
        Ai::SetType(*object, c.type, 777);
        EXPECT_EQ(object->nextThink_, 777u);
        EXPECT_EQ(object->aiState_, AiState::kInitial);
        EXPECT_EQ(object->aggression_, 0.25f);
        EXPECT_EQ(object->flags_, kObjectHasTrackers | kObjectExploded)
            << "no shape: flag 2 stays clear; the object's own bits are kept";
        EXPECT_EQ(object->active_, c.active);
        const ThinkRoutine expected = c.routine == Case::kOwn     ? &CountingThink
                                      : c.routine == Case::kIdle  ? &Ai::ThinkIdle
                                      : c.routine == Case::kType3 ? &Ai::ThinkType3
                                                                  : nullptr;
        EXPECT_EQ(object->think_, expected);
    }
    Ai::InstallRoutines();
}

TEST_F(AiTest, ThePassThinksForPlayerSlotsAndCpuControlledSquads)
{
    TeamTable::Build(4, 1, 0);
    script::Role& role = NewRole();
    script::Role& cpu = NewRole();
    cpu.character->alwaysCpuControlled = true;
    GameObject* listed = Make(&role, 2, {0, 0, 0});
    GameObject* unlisted = Make(&role, 2, {0, 0, 0});
    GameObject* squadCpu = Make(&cpu, 3, {0, 0, 0});
    GameObject* neutralCpu = Make(&cpu, 0, {0, 0, 0});
    GameObject* typeFour = Make(&role, 2, {0, 0, 0});
    for (GameObject* o : {listed, unlisted, squadCpu, neutralCpu})
        o->think_ = &CountingThink;
    SideLists::Global().Add(*listed);
    SideLists::Global().Add(*typeFour);
    AiPlayerSlots::Add(2);
    AiPass::Run(10);
    EXPECT_EQ(listed->missCount_, 1);
    EXPECT_EQ(unlisted->missCount_, 0);
    EXPECT_EQ(squadCpu->missCount_, 1);
    EXPECT_EQ(neutralCpu->missCount_, 0) << "side 0 is no squad";
    EXPECT_EQ(typeFour->missCount_, 0) << "no routine, never called";
}

class Attacker : public GameObject {
public:
    using GameObject::GameObject;
    bool IsAttacking() const override { return true; }
};

TEST_F(AiTest, ANoiseWakesListenersOfTeamTwoThatAreNotAttacking)
{
    script::Role& ear = NewRole();
    ear.character->hearingRangeSquared = 100.0f;
    struct Case {
        const char* name;
        int32_t side, aiType;
        Vec3 at;
        bool attacking, wakes;
    };
    const Case cases[] = {
        {"in hearing", 2, 0, {6, 0, 8}, false, true},      {"type 1 hears", 2, 1, {0, 0, 1}, false, true},
        {"out of hearing", 2, 0, {8, 0, 8}, false, false}, {"attacking", 2, 0, {1, 0, 0}, true, false},
        {"another team", 3, 0, {1, 0, 0}, false, false},   {"type 2", 2, 2, {1, 0, 0}, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EmptyTables();
        GameObject* listener = c.attacking ? new Attacker(c.side, &ear, c.at, Quaternion::Identity(), 0, 1)
                                           : Make(&ear, c.side, c.at);
        listener->aiType_ = c.aiType;
        listener->nextThink_ = 5000;
        SideLists::Global().Add(*listener);
        ObjectTrackers::Add(20, 3, {0, 0, 0}, {0, 0, 0}, 900, 42);
        EXPECT_EQ(listener->nextThink_, c.wakes ? 42u : 5000u);
    }
}

TEST_F(AiTest, FollowingNoisesGoWithTheirObjectAndAtLevelStop)
{
    static int deleted = 0;
    struct Gone : GameObject {
        using GameObject::GameObject;
        ~Gone() override { ++deleted; }
    };
    deleted = 0;
    script::Role& role = NewRole();
    GameObject* a = new Gone(1, &role, {0, 0, 0}, Quaternion::Identity(), 0, 1);
    GameObject* b = new Gone(1, &role, {0, 0, 0}, Quaternion::Identity(), 0, 2);
    ObjectTrackers::AddFollowing(*a);
    ObjectTrackers::AddFollowing(*b);
    ObjectTrackers::Add(25, 3, {0, 0, 0}, {0, 0, 0}, 100, 0);
    a->Remove(true);
    EXPECT_EQ(deleted, 1) << "its noise let go of it";
    EXPECT_EQ(ObjectTrackers::All().size(), 2u);
    b->SetPosition({4, 0, 4});
    ObjectTrackers::Sweep(50);
    EXPECT_EQ(ObjectTrackers::All()[0].first, (Vec3{4, 0, 4}));
    ObjectTrackers::Sweep(101);
    EXPECT_EQ(ObjectTrackers::All().size(), 1u) << "the plain noise expired";
    ObjectRegistry::Global().ReleaseAll();
    EXPECT_EQ(deleted, 1) << "the noise still holds it";
    ObjectTrackers::Clear();
    EXPECT_EQ(deleted, 2);
}

TEST_F(AiTest, RemoteDevicesFillTwelveSlotsAndAnswerTheirKeys)
{
    script::Role& mine = NewRole();
    mine.aiType = 2;
    mine.character->weapon = DeviceKind::kRemoteMine;
    static std::vector<uint32_t> detonated;
    detonated.clear();
    RemoteDeviceTable::SetDetonator([](GameObject& m, uint64_t) { detonated.push_back(m.GetId()); });
    for (int i = 0; i < 13; ++i) {
        GameObject* device = Make(&mine, 1, {0, 0, 0});
        Ai::SetType(*device, 2, 0);
        device->eventCallback_(*device, 0);
    }
    const auto slots = Sent(ObjectMessage::kDeviceSlot);
    ASSERT_EQ(slots.size(), 13u);
    EXPECT_EQ(static_cast<int32_t>(slots[11].Word(2)), 11);
    EXPECT_EQ(static_cast<int32_t>(slots[12].Word(2)), -1) << "the 13th gets no slot";
    AlertTable::Answer(0, 4);
    AlertTable::Answer(0, 4);
    EXPECT_EQ(detonated, std::vector<uint32_t>{5}) << "the slot empties";
    ObjectRegistry::Global().Find(7)->Remove(false);
    EXPECT_EQ(RemoteDeviceTable::At(6), nullptr) << "destruction empties its slot";
    ASSERT_NE(RemoteDeviceTable::At(0), nullptr);
    AlertTable::Clear();
    for (int32_t slot = 0; slot < RemoteDeviceTable::kSlots; ++slot)
        EXPECT_EQ(RemoteDeviceTable::At(slot), nullptr) << "a new level starts with no alerts: " << slot;
    EXPECT_EQ(detonated, std::vector<uint32_t>{5}) << "emptied, nothing set off";
    Ai::InstallRoutines();
}

TEST_F(AiTest, ADecoyStartsItsPulsesOnce)
{
    script::Role& decoy = NewRole();
    decoy.character->weapon = DeviceKind::kDecoy;
    for (int i = 0; i < 3; ++i) {
        GameObject* d = Make(&decoy, 1, {0, 0, 0});
        Ai::OnType2Event(*d, 0);
        EXPECT_EQ(d->alertEnd_, static_cast<uint64_t>(INT64_MAX)) << "waits for its key";
    }
    now = 2000000;
    AlertTable::Answer(0, 2);
    GameObject* third = ObjectRegistry::Global().Find(3);
    EXPECT_EQ(third->alertEnd_, 2000000u + 30u * 1000000u);
    EXPECT_EQ(third->nextThink_, 2000000u);
    third->alertEnd_ = 1;
    AlertTable::Answer(0, 2);
    EXPECT_EQ(third->alertEnd_, 1u) << "pressed again: nothing";
    EXPECT_EQ(static_cast<int32_t>(Sent(ObjectMessage::kDeviceSlot).back().Word(2)), -1);
}

} // namespace
