// Level triggers on a small server world: one player side (1), one enemy
// side (2), units placed by hand, a check run by hand.
#include "objects/level_triggers.h"

#include "server_fixture.h"
#include "world/collision_polygon.h"

#include <map>
#include <vector>

namespace {

std::vector<LevelTrigger*> Listed()
{
    std::vector<LevelTrigger*> out;
    for (List<LevelTrigger*>::Iterator it(LevelTriggers::All()); !it.AtEnd(); it.Next())
        out.push_back(*it.Get());
    return out;
}

TEST(LevelTriggers, FreedRecordsLeaveTheList)
{
    LevelTriggers::Clear();
    struct Case {
        const char* name;
        int freed; // index of the record freed by hand
        std::vector<int> left;
    };
    const Case cases[] = {{"first", 0, {1, 2}}, {"middle", 1, {0, 2}}, {"last", 2, {0, 1}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LevelTrigger* made[3];
        for (LevelTrigger*& r : made) {
            r = LevelTriggers::Add();
            r->names_ = {"squad leader", "medic"};
            r->script_ = "ambush.tvs";
            r->radiusSquared_ = 25.0f;
        }
        ASSERT_NE(LevelTriggers::All().At(1), nullptr); // positional access builds the index
        delete made[c.freed];
        std::vector<LevelTrigger*> expected;
        for (int i : c.left)
            expected.push_back(made[i]);
        EXPECT_EQ(Listed(), expected);
        EXPECT_EQ(LevelTriggers::All().Count(), 2);
        EXPECT_EQ(*LevelTriggers::All().At(1), expected[1]) << "the index was rebuilt";
        LevelTriggers::Clear();
        EXPECT_TRUE(LevelTriggers::All().IsEmpty());
    }
}

// A unit as the triggers see it: whether it counts, and what doors and
// tracks were asked of it.
class TriggerUnit : public GameObject {
public:
    using GameObject::GameObject;
    bool CountsForTriggers() const override { return counts && IsAlive(); }
    void SetDoorState(bool open) override { doorStates.push_back(open); }
    void StartTrack() override { ++tracks; }
    CollisionPolygon* MovementPolygon() const override { return polygon; }
    void TakeMovementPolygon(CollisionPolygon* p, const Vec3&) override { polygon = p; }

    bool counts = true;
    std::vector<bool> doorStates;
    int tracks = 0;
    CollisionPolygon* polygon = nullptr;
};

class Triggers : public ServerWorld {
protected:
    void SetUp() override
    {
        ServerWorld::SetUp();
        LevelTriggers::Clear();
        TeamTable::Build(3, 1, 0); // 0 neutral, 1 the player, 2 the enemy
        TriggerHooks hooks;
        hooks.namedValue = [this](const std::string& name, float& value) {
            auto it = named.find(name);
            if (it == named.end())
                return false;
            value = it->second;
            return true;
        };
        hooks.launch = [this](std::string_view role, const Vec3&, const Vec3&, int32_t referenced, int32_t side) {
            launches.push_back({std::string(role), referenced, side});
            return true;
        };
        hooks.polygonAt = [](const Vec3&) -> CollisionPolygon* { return nullptr; };
        LevelTriggers::SetHooks(std::move(hooks));
    }
    void TearDown() override
    {
        LevelTriggers::Clear();
        LevelTriggers::SetHooks({});
        ServerWorld::TearDown();
    }

    TriggerUnit* Unit(int32_t side, Vec3 at, const char* name = nullptr)
    {
        auto* u = new TriggerUnit(side, &NewRole(), at, Quaternion::Identity(), 0,
                                  ObjectRegistry::Global().TakeNextId());
        SideLists::Global().Add(*u);
        if (name)
            named[name] = float(u->GetId());
        return u;
    }

    LevelTrigger* Trigger(TriggerKind kind, Vec3 p0, float radius, std::vector<std::string> names = {},
                          const char* script = "fired.tcs", Vec3 p1 = {0, 0, 0})
    {
        const Vec3 positions[4] = {p0, p1, {}, {}};
        return LevelTriggers::Add(uint32_t(kind), positions, radius, names, script);
    }

    struct Launch {
        std::string role;
        int32_t referenced, side;
    };
    std::map<std::string, float> named;
    std::vector<Launch> launches;
};

// One row per kind and boundary: units placed, one trigger, one check.
struct KindCase {
    const char* name;
    TriggerKind kind;
    float radius;
    std::vector<std::pair<int32_t, Vec3>> units; // side, position; named "u0", "u1", ...
    std::vector<std::string> names;
    bool fires;
};

TEST_F(Triggers, KindsFireAsTheirRulesSay)
{
    const Vec3 o{0, 0, 0};
    const KindCase cases[] = {
        {"LOCATION strictly inside", TriggerKind::Location, 5, {{1, {4.9f, 0, 0}}}, {}, true},
        {"LOCATION on the edge", TriggerKind::Location, 5, {{1, {5, 0, 0}}}, {}, false},
        {"LOCATION radius 0 on the point", TriggerKind::Location, 0, {{1, o}}, {}, false},
        {"LOCATION enemy only", TriggerKind::Location, 5, {{2, o}}, {}, false},
        {"LOCATION_ALL on the edge", TriggerKind::LocationAll, 5, {{1, {5, 0, 0}}, {1, o}}, {}, true},
        {"LOCATION_ALL radius 0 on the point", TriggerKind::LocationAll, 0, {{1, o}}, {}, true},
        {"LOCATION_ALL one outside", TriggerKind::LocationAll, 5, {{1, o}, {1, {9, 0, 0}}}, {}, false},
        {"LOCATION_ALL no player unit", TriggerKind::LocationAll, 5, {{2, o}}, {}, false},
        {"DEATH of a live unit", TriggerKind::Death, 1, {{2, {50, 0, 0}}}, {"u0"}, false},
        {"DEATH empty names", TriggerKind::Death, 1, {}, {}, false},
        {"DEATH of a missing name", TriggerKind::Death, 1, {}, {"nobody"}, false},
        {"ESCORT inside at the edge", TriggerKind::Escort, 5, {{2, {0, 0, 5}}}, {"u0"}, true},
        {"ESCORT one outside", TriggerKind::Escort, 5, {{2, o}, {2, {0, 0, 6}}}, {"u0", "u1"}, false},
        {"ESCORT empty names", TriggerKind::Escort, 5, {}, {}, false},
        {"PROXIMITY player near the named", TriggerKind::Proximity, 3, {{2, {20, 0, 0}}, {1, {21, 0, 0}}}, {"u0"},
         true},
        {"PROXIMITY no names", TriggerKind::Proximity, 3, {{1, o}}, {}, false},
        {"FOUR_DOORS player on one point only", TriggerKind::FourDoors, 2, {{1, {30, 0, 0}}}, {}, false},
    };
    for (const KindCase& c : cases) {
        SCOPED_TRACE(c.name);
        named.clear();
        commandFiles.clear();
        std::vector<TriggerUnit*> made;
        for (size_t i = 0; i < c.units.size(); ++i)
            made.push_back(Unit(c.units[i].first, c.units[i].second, ("u" + std::to_string(i)).c_str()));
        Trigger(c.kind, o, c.radius, c.names);
        LevelTriggers::Check();
        EXPECT_EQ(commandFiles.size(), c.fires ? 1u : 0u);
        EXPECT_EQ(LevelTriggers::All().Count(), c.fires ? 0 : 1);
        LevelTriggers::Clear();
        for (TriggerUnit* u : made)
            u->Remove(true);
    }
}

TEST_F(Triggers, DeathFiresOnceTheNamedObjectIsGone)
{
    TriggerUnit* target = Unit(2, {0, 0, 0}, "boss");
    Trigger(TriggerKind::Death, {}, 0, {"boss"}, "");
    LevelTriggers::Check();
    EXPECT_EQ(LevelTriggers::All().Count(), 1);
    target->Remove(true);
    LevelTriggers::Check();
    EXPECT_TRUE(LevelTriggers::All().IsEmpty()) << "a trigger without script is deleted silently";
    EXPECT_TRUE(commandFiles.empty());
}

TEST_F(Triggers, TimeFiresOnlyOnceTheClockIsLater)
{
    now = 1000;
    Trigger(TriggerKind::Time, {}, 2.0f); // 2 s at 1e6 ticks a second
    EXPECT_EQ((*LevelTriggers::All().At(0))->value_, 2001000);
    const struct {
        uint64_t at;
        bool left;
    } steps[] = {{2000999, true}, {2001000, true}, {2001001, false}};
    for (const auto& s : steps) {
        now = s.at;
        LevelTriggers::Check();
        EXPECT_EQ(!LevelTriggers::All().IsEmpty(), s.left) << s.at;
    }
}

TEST_F(Triggers, HugeSecondsSaturateInsteadOfWrapping)
{
    EXPECT_EQ(LevelTriggers::TimeAfter(5, 1e30f, 1000000), INT64_MAX);
    EXPECT_EQ(LevelTriggers::TimeAfter(5, -1e30f, 1000000), INT64_MIN);
    EXPECT_EQ(LevelTriggers::TimeAfter(5, 3.0f, 10), 35);
}

TEST_F(Triggers, AFireReevaluatesTheTriggersBeforeIt)
{
    // INSTANTDEATH takes one unit per side per check; the LOCATION behind it
    // fires, the walk restarts, and a second player unit goes in the same check.
    for (int i = 0; i < 3; ++i)
        Unit(1, {float(i) * 0.1f, 0, 0});
    Unit(2, {0, 0, 0});
    Trigger(TriggerKind::InstantDeath, {0, 0, 0}, 5);
    Trigger(TriggerKind::Location, {0, 0, 0}, 5);
    LevelTriggers::Check();
    EXPECT_EQ(SideLists::Global().Side(1).size(), 1u);
    EXPECT_EQ(SideLists::Global().Side(2).size(), 0u) << "every side loses one, the enemy's only one";
    EXPECT_EQ(LevelTriggers::All().Count(), 1) << "INSTANTDEATH stays";
    LevelTriggers::Check();
    EXPECT_EQ(SideLists::Global().Side(1).size(), 0u);
}

TEST_F(Triggers, DoorTriggersFollowTheUnitsWithoutHysteresis)
{
    TriggerUnit* door = Unit(0, {100, 0, 0}, "door");
    TriggerUnit* walker = Unit(1, {50, 0, 0});
    const Vec3 a{0, 0, 0}, b{10, 0, 0};
    struct Step {
        Vec3 at;
        bool doors, doorsEither;
    };
    const Step steps[] = {{{50, 0, 0}, false, false}, {a, false, true}, {{5, 0, 0}, true, true},
                          {b, false, true}, {{50, 0, 0}, false, false}};
    Trigger(TriggerKind::Doors, a, 6, {"door"}, "", b);
    for (const Step& s : steps) {
        walker->SetPositionQuiet(s.at);
        door->doorStates.clear();
        LevelTriggers::Check();
        ASSERT_EQ(door->doorStates.size(), 1u);
        EXPECT_EQ(door->doorStates[0], s.doors) << s.at.x;
    }
    LevelTriggers::Clear();
    Trigger(TriggerKind::DoorsEither, a, 6, {"door"}, "", b);
    for (const Step& s : steps) {
        walker->SetPositionQuiet(s.at);
        door->doorStates.clear();
        LevelTriggers::Check();
        ASSERT_EQ(door->doorStates.size(), 1u);
        EXPECT_EQ(door->doorStates[0], s.doorsEither) << s.at.x;
    }
    EXPECT_EQ(LevelTriggers::All().Count(), 1) << "door triggers never fire";
}

TEST_F(Triggers, DoorOnceRunsItsTracksAndGoesWithoutItsScript)
{
    TriggerUnit* lift = Unit(0, {100, 0, 0}, "lift");
    Unit(1, {1, 0, 0});
    Trigger(TriggerKind::DoorOnce, {0, 0, 0}, 2, {"lift", "missing", "lift"}, "never.tcs");
    LevelTriggers::Check();
    EXPECT_EQ(lift->tracks, 1) << "the first unresolved name ends the walk";
    EXPECT_TRUE(LevelTriggers::All().IsEmpty());
    EXPECT_TRUE(commandFiles.empty());
}

TEST_F(Triggers, FourDoorsFiresAtOnceWithNoPlayerSide)
{
    TeamTable::Build(3, 1, 4); // game type 4 makes side 2 a squad side too
    TeamTable::Find(1)->squadSide = false;
    TeamTable::Find(2)->squadSide = false;
    Trigger(TriggerKind::FourDoors, {0, 0, 0}, 2);
    LevelTriggers::Check();
    EXPECT_TRUE(LevelTriggers::All().IsEmpty());
}

TEST_F(Triggers, FourDoorsCountsOnlyTheFirstPlayerSide)
{
    TeamTable::Build(3, 1, 4); // sides 1 and 2 are both player sides
    const Vec3 points[4] = {{0, 0, 0}, {10, 0, 0}, {20, 0, 0}, {30, 0, 0}};
    for (int i = 0; i < 3; ++i)
        Unit(1, points[i]);
    Unit(2, points[3]);
    LevelTriggers::Add(uint32_t(TriggerKind::FourDoors), points, 1, {}, "four.tcs");
    LevelTriggers::Check();
    EXPECT_EQ(LevelTriggers::All().Count(), 1);
    Unit(1, points[3]);
    LevelTriggers::Check();
    EXPECT_TRUE(LevelTriggers::All().IsEmpty());
}

TEST_F(Triggers, ShotLaunchesAtMostOncePerSecondAfterItsDelay)
{
    now = 0;
    const Vec3 from{0, -10, 0}, target{0, 0, 0};
    LevelTrigger* t = Trigger(TriggerKind::Shot, from, 3, {}, "turret shell", target);
    EXPECT_EQ(t->value_, 3000000) << "the first shot waits the radius in seconds";
    TriggerUnit* a = Unit(2, {1, 0, 0});
    Unit(2, {0, 0, 1});
    const struct {
        uint64_t at;
        size_t launched;
    } steps[] = {{2999999, 0}, {3000001, 1}, {3500000, 1}, {4000001, 1}, {4000002, 2}};
    for (const auto& s : steps) {
        now = s.at;
        LevelTriggers::Check();
        EXPECT_EQ(launches.size(), s.launched) << s.at;
    }
    ASSERT_FALSE(launches.empty());
    EXPECT_EQ(launches[0].role, "turret shell");
    EXPECT_EQ(launches[0].referenced, int32_t(a->GetId()));
    EXPECT_EQ(launches[0].side, 0) << "(side 2 + 1) modulo 3 sides";
    EXPECT_EQ(LevelTriggers::All().Count(), 1);
    EXPECT_TRUE(LevelTriggers::RemoveShot(target));
    EXPECT_FALSE(LevelTriggers::RemoveShot(target));
}

TEST_F(Triggers, LightUpAnnouncesEachUnitOnceAndFiresWhenAllAreLit)
{
    Unit(1, {0, 0, 0});
    TriggerUnit* far = Unit(1, {10, 0, 0});
    Trigger(TriggerKind::LightUp, {0, 0, 0}, 1, {}, "lit.tcs");
    LevelTriggers::Check();
    LevelTriggers::Check();
    EXPECT_EQ(Sent(TriggerMessage::kLitUp).size(), 1u);
    EXPECT_EQ(LevelTriggers::All().Count(), 1);
    far->SetPositionQuiet({0, 0, 0.5f});
    LevelTriggers::Check();
    EXPECT_EQ(Sent(TriggerMessage::kLitUp).size(), 2u);
    EXPECT_EQ(commandFiles, std::vector<std::string>{"lit.tcs"});
}

TEST_F(Triggers, LightUpWithoutPlayerUnitsNeverFires)
{
    Trigger(TriggerKind::LightUp, {0, 0, 0}, 1, {}, "lit.tcs");
    LevelTriggers::Check();
    EXPECT_EQ(LevelTriggers::All().Count(), 1);
}

TEST_F(Triggers, DefogSendsOneMessagePerPlayerSide)
{
    TeamTable::Build(3, 1, 4);
    Unit(1, {0, 0, 0});
    Unit(1, {0, 0, 0.1f});
    Unit(2, {0.1f, 0, 0});
    const Vec3 positions[4] = {{0, 0, 0}, {7, 8, 9}, {12, 12, 12}, {}};
    LevelTriggers::Add(uint32_t(TriggerKind::Defog), positions, 2, {}, "");
    LevelTriggers::Check();
    const auto messages = Sent(TriggerMessage::kDefog);
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0].bytes.size(), 24u);
    EXPECT_EQ(messages[0].Float(1), 7.0f);
    EXPECT_EQ(messages[0].Float(4), 12.0f);
    EXPECT_EQ(messages[0].Word(5), 0u);
    EXPECT_TRUE(LevelTriggers::All().IsEmpty());
}

TEST_F(Triggers, DisplaceMovesEveryUnitInsideOntoThePolygonCentre)
{
    CollisionTriangle ground;
    ground.SetCentre(40, 1, 40);
    ground.flags_ = 0x40;
    LevelTriggers::Hooks().polygonAt = [&](const Vec3&) -> CollisionPolygon* { return &ground; };
    CollisionTriangle old;
    old.flags_ = 0x41;
    TriggerUnit* a = Unit(1, {0, 0, 0});
    a->polygon = &old;
    TriggerUnit* b = Unit(2, {1, 0, 0});
    TriggerUnit* outside = Unit(2, {9, 0, 0});
    Trigger(TriggerKind::InstantDisplace, {0, 0, 0}, 3, {}, "", {40, 0, 40});
    LevelTriggers::Check();
    for (TriggerUnit* u : {a, b})
        EXPECT_EQ(u->Position().x, 40.0f);
    EXPECT_EQ(outside->Position().x, 9.0f);
    EXPECT_EQ(old.flags_, 0x01u) << "the old polygon loses its occupied bit";
    EXPECT_EQ(a->polygon, &ground);
    EXPECT_EQ(b->polygon, nullptr) << "no movement polygon: the state stays as it was";
    const auto messages = Sent(TriggerMessage::kDisplaced);
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0].bytes.size(), 40u);
    EXPECT_TRUE(messages[0].guaranteed);
    EXPECT_EQ(messages[0].Word(1), a->GetId());
    EXPECT_EQ(messages[0].Float(3), 40.0f);
    EXPECT_EQ(messages[0].Float(9), 1.0f) << "orientation w";
}

TEST_F(Triggers, DisplaceWithoutAPolygonMovesNothing)
{
    TriggerUnit* a = Unit(1, {0, 0, 0});
    Trigger(TriggerKind::InstantDisplace, {0, 0, 0}, 3, {}, "", {40, 0, 40});
    LevelTriggers::Check();
    EXPECT_EQ(a->Position().x, 0.0f);
    EXPECT_TRUE(Sent(TriggerMessage::kDisplaced).empty());
}

TEST_F(Triggers, UnitsThatDoNotCountAreIgnored)
{
    TriggerUnit* dead = Unit(1, {0, 0, 0});
    dead->counts = false;
    Trigger(TriggerKind::Location, {0, 0, 0}, 5);
    LevelTriggers::Check();
    EXPECT_EQ(LevelTriggers::All().Count(), 1);
}

TEST_F(Triggers, KindOutOfRangeAddsNothing)
{
    const Vec3 positions[4] = {};
    EXPECT_EQ(LevelTriggers::Add(15, positions, 1, {}, ""), nullptr);
    EXPECT_TRUE(LevelTriggers::All().IsEmpty());
    LevelTrigger* t = Trigger(TriggerKind::Location, {}, 5);
    EXPECT_EQ(t->value_, 5);
    EXPECT_EQ(t->radiusSquared_, 25.0f);
}

} // namespace
