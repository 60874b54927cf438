// A world the lockstep harness runs, saved part way and loaded into a fresh
// world: its state checksum equals the saved world's, and the passes after
// the load give the states the uninterrupted run gave, pass by pass. The
// random generators belong to the process, not to the save: the fresh world
// draws on from where the saved one stood.
#include "lockstep_harness.h"
#include "objects/actor.h"
#include "objects/ai.h"
#include "objects/object_registry.h"
#include "objects/path_mover.h"
#include "objects/projectile.h"
#include "objects/server_classes.h"
#include "session/actor_requests.h"
#include "session/game_message.h"
#include "session/projectile_launch.h"
#include "session/request_table.h"
#include "session/save_slots.h"
#include "session/saved_game.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include <unistd.h>

namespace SavedGame::test {
namespace {

namespace fs = std::filesystem;

struct Case {
    const char* name;
    // Floor and roles (each filed, so the save finds it by id): what a
    // fresh world has before the load.
    std::string world;
    std::string prelude;  // spawns, requests and passes up to the save
    int after;            // passes compared after the load
    bool firesAfter;      // the loaded world launches shots of its own
    float ridersEndAt = 0;  // non-zero: where every lift rider stands at the end (y)
    // Non-zero: placements after the load are compared within this, and
    // the rest of each object's state exactly, instead of the checksums.
    float tolerance = 0;
};

// What the state checksum covers, one object's.
struct ObjectState {
    uint32_t id = 0;
    int32_t side = 0, hitPoints = 0, aiState = 0;
    uint32_t flags = 0;
    uint64_t nextThink = 0;
    float placement[7] = {};
};
using WorldState = std::vector<ObjectState>;

WorldState States()
{
    WorldState states;
    for (GameObject* o : ObjectRegistry::Global().Snapshot()) {
        const Vec3& p = o->Position();
        const Quaternion& q = o->Orientation();
        states.push_back({o->GetId(), o->Side(), o->HitPoints(), o->aiState_, o->flags_, o->nextThink_,
                          {p.x, p.y, p.z, q.x, q.y, q.z, q.w}});
    }
    std::sort(states.begin(), states.end(), [](const auto& a, const auto& b) { return a.id < b.id; });
    return states;
}

void ExpectNearly(const std::vector<WorldState>& got, const std::vector<WorldState>& want, float tolerance)
{
    ASSERT_EQ(got.size(), want.size());
    for (size_t pass = 0; pass < got.size(); ++pass) {
        ASSERT_EQ(got[pass].size(), want[pass].size()) << "pass " << pass;
        for (size_t i = 0; i < got[pass].size(); ++i) {
            const ObjectState& a = got[pass][i];
            const ObjectState& b = want[pass][i];
            SCOPED_TRACE("pass " + std::to_string(pass) + ", object " + std::to_string(b.id));
            EXPECT_EQ(std::tie(a.id, a.side, a.hitPoints, a.aiState, a.flags, a.nextThink),
                      std::tie(b.id, b.side, b.hitPoints, b.aiState, b.flags, b.nextThink));
            for (size_t k = 0; k < 7; ++k)
                EXPECT_NEAR(a.placement[k], b.placement[k], tolerance) << "placement word " << k;
        }
    }
}

class SavedLockstep : public ::testing::TestWithParam<Case> {
protected:
    void SetUp() override
    {
        char name[] = "/tmp/trevok-lockstep-XXXXXX";
        dir_ = mkdtemp(name);
        if (const char* old = std::getenv("XDG_DATA_HOME"))
            saved_ = old;
        setenv("XDG_DATA_HOME", dir_.c_str(), 1);
        Server::InstallActorRequests();
        GetHooks() = {};
        // The level's objects go; the harness's floor stays, as a level
        // loaded again would be.
        GetHooks().stopLevel = [] {
            ObjectRegistry::Global().ReleaseAll();
            SideLists::Global().Clear();
        };
    }
    void TearDown() override
    {
        GetHooks() = {};
        UninstallActorClasses();
        if (saved_)
            setenv("XDG_DATA_HOME", saved_->c_str(), 1);
        else
            unsetenv("XDG_DATA_HOME");
        fs::remove_all(dir_);
    }

    // Loads `text` as a scenario and runs it.
    void Run(Lockstep& run, const std::string& text)
    {
        const fs::path file = dir_ / "scenario.scn";
        std::ofstream(file) << text;
        std::string error;
        ASSERT_TRUE(run.LoadScenario(file, error)) << error;
        run.onRequest = [](std::span<const uint8_t> bytes) {
            RequestTable::Apply(GameMessage(bytes.data(), static_cast<uint32_t>(bytes.size())), 0);
        };
        run.Run();
    }
    // Each actor's id, whether it is hidden and whose look it borrows,
    // which the state checksum does not cover.
    static std::vector<std::tuple<uint32_t, bool, int32_t>> Disguises()
    {
        std::vector<std::tuple<uint32_t, bool, int32_t>> looks;
        for (GameObject* object : ObjectRegistry::Global().Snapshot()) {
            if (const auto* actor = dynamic_cast<const Actor*>(object))
                looks.emplace_back(actor->GetId(), actor->IsHidden(), actor->CloakOwner());
        }
        std::sort(looks.begin(), looks.end());
        return looks;
    }

    // Each lift's riders by id, which the state checksum does not cover.
    static std::vector<std::vector<uint32_t>> LiftRiders()
    {
        std::vector<std::vector<uint32_t>> lifts;
        for (GameObject* object : ObjectRegistry::Global().Snapshot()) {
            if (const auto* lift = dynamic_cast<const Kind8Object*>(object)) {
                std::vector<uint32_t> ids{lift->GetId()};
                for (const GameObjectRef& rider : lift->Riders())
                    ids.push_back(rider->GetId());
                lifts.push_back(std::move(ids));
            }
        }
        std::sort(lifts.begin(), lifts.end());
        return lifts;
    }

    // The state after each pass; `shots` gathers the shots made meanwhile.
    static std::vector<uint64_t> Continue(Lockstep& run, int passes, std::set<uint32_t>* shots = nullptr,
                                          std::vector<WorldState>* worlds = nullptr)
    {
        const uint32_t firstNew = ObjectRegistry::Global().PeekNextId();
        std::vector<uint64_t> states;
        for (int i = 0; i < passes; ++i) {
            run.Pass();
            states.push_back(run.StateChecksum());
            if (worlds)
                worlds->push_back(States());
            for (GameObject* object : ObjectRegistry::Global().Snapshot()) {
                if (shots && dynamic_cast<Projectile*>(object) && object->GetId() >= firstNew)
                    shots->insert(object->GetId());
            }
        }
        return states;
    }

    fs::path dir_;
    std::optional<std::string> saved_;
};

TEST_P(SavedLockstep, ALoadedWorldRunsOnAsTheSavedOneDid)
{
    const Case& c = GetParam();
    uint64_t savedState = 0, savedNow = 0;
    std::vector<std::tuple<uint32_t, bool, int32_t>> savedLooks, laterLooks;
    std::vector<std::vector<uint32_t>> savedRiders;
    std::vector<uint64_t> uninterrupted;
    std::vector<WorldState> uninterruptedWorlds, loadedWorlds;
    std::optional<ParticleRandom> serverDraws, aiDraws;
    {
        Lockstep run;
        Run(run, c.world + c.prelude);
        ASSERT_TRUE(run.Broken().empty()) << run.Broken().front();
        savedState = run.StateChecksum();
        savedNow = run.Now();
        savedLooks = Disguises();
        savedRiders = LiftRiders();
        GetHooks().gameSeconds = [&run] { return float(double(run.Now()) / Lockstep::kTicksPerSecond); };
        ASSERT_TRUE(SaveGame("lockstep.sav", 1));
        serverDraws = ServerRandom::Get().Snapshot();
        aiDraws = AiRandom::Get().Snapshot();
        uninterrupted = Continue(run, c.after, nullptr, &uninterruptedWorlds);
        laterLooks = Disguises();
        GetHooks().gameSeconds = nullptr;
    }
    Lockstep fresh;
    Run(fresh, c.world);
    fresh.SetNow(savedNow);
    std::string error;
    auto bytes = ReadSave("lockstep.sav", &error);
    ASSERT_TRUE(bytes) << error;
    ASSERT_TRUE(Load(*bytes, &error)) << error;
    ServerRandom::Get().Restore(*serverDraws);
    AiRandom::Get().Restore(*aiDraws);
    EXPECT_EQ(fresh.StateChecksum(), savedState);
    EXPECT_EQ(Disguises(), savedLooks);
    EXPECT_EQ(LiftRiders(), savedRiders);
    std::set<uint32_t> shots;
    const std::vector<uint64_t> loaded = Continue(fresh, c.after, &shots, &loadedWorlds);
    if (c.tolerance > 0)
        ExpectNearly(loadedWorlds, uninterruptedWorlds, c.tolerance);
    else
        EXPECT_EQ(loaded, uninterrupted);
    EXPECT_EQ(Disguises(), laterLooks);
    if (c.firesAfter) {
        EXPECT_FALSE(shots.empty()) << "no shot after the load";
    }
    if (c.ridersEndAt != 0) {
        ASSERT_FALSE(savedRiders.empty());
        EXPECT_EQ(savedRiders.front().size(), 3u) << "the lift and its two riders";
        size_t riders = 0;
        for (GameObject* object : ObjectRegistry::Global().Snapshot()) {
            if (object->IsActor() && object->MovesOnLifts()) {
                ++riders;
                EXPECT_NEAR(object->Position().y, c.ridersEndAt, 1e-3f) << "rider " << object->GetId();
            }
        }
        EXPECT_GT(riders, 0u);
    }
    EXPECT_TRUE(fresh.Broken().empty()) << fresh.Broken().front();
}

const std::string kFloor = "floor 20 20\n";
const std::string kSoldier = "role soldier strength 60 walk 2 turn 1024 canturn sight 30 size 1.8 0.5 named\n";

INSTANTIATE_TEST_SUITE_P(
    Worlds, SavedLockstep,
    ::testing::Values(
        // Saved standing: nothing pending.
        Case{"standing", kFloor + kSoldier, "spawn soldier 1 2.5 0 2.5\nspawn soldier 1 6.5 0 2.5\npasses 4\n", 20,
             false},
        // Saved mid-walk, with a queued waypoint still to come.
        Case{"walking", kFloor + kSoldier,
             "spawn soldier 1 2.5 0 2.5\npasses 2\nrequest 5 0.5 212 4294967295 1 1\npasses 10\n"
             "request 30 0.0 303 4294967295 1 1\npasses 10\n",
             20, false},
        // Saved while a squad member fires at will on two enemies.
        Case{"firing", "floor 30 30\nrole bullet shot 12 20 named\n"
                       "role soldier strength 60 walk 2 turn 2048 canturn sight 30 size 1.8 0.5 aim 8 "
                       "elevation 512 weapon 0 fires bullet 40 named\nrole grunt strength 30 size 1.8 0.5 named\n",
             "spawn soldier 1 5.5 0 5.5\nspawn grunt 2 5.5 0 15.5\nspawn grunt 2 20.5 0 25.5\npasses 2\n"
             "request 24 1 4\npasses 15\n",
             20, true},
        // Saved while the enemy team thinks: a guard sweeps its sight beam
        // and turns its aim after a squad member walking by, and a wanderer
        // draws its steps at its own times.
        Case{"watched",
             "floor 30 30\nrole bullet shot 12 20 named\n" + kSoldier +
                 "role guard strength 60 walk 1 turn 1024 canturn size 1.8 0.5 sight 20 sightangle 1024 aim 8 "
                 "elevation 512 weapon 0 "
                 "fires bullet 40 alertable aggression 0.9 named\n"
                 "role wanderer strength 10 size 1.8 0.5 ai 1 named\nslot 2\n",
             "spawn guard 2 15.5 0 2.5\nspawn wanderer 2 10.5 0 20.5\nspawn soldier 1 2.5 0 8.5\npasses 3\n"
             "request 5 0.5 267 4294967295 1 3\npasses 4\n"
             "request 30 0.0 447 4294967295 1 3\npasses 12\n",
             30, false},
        // Saved mid-fight on the enemy's side: a guard
        // that saw a squad member standing in its sight fires at it, before
        // and after the load. The guard is deaf: the noises of the fight
        // are not part of a save.
        Case{"guardFiring",
             "floor 30 30\nrole bullet shot 5 25 named\n" + kSoldier +
                 "role guard strength 60 turn 1024 canturn size 1.8 0.5 sight 20 sightangle 1024 aim 8 "
                 "elevation 512 weapon 0 fires bullet 40 alertable aggression 0.9 hearing 0 named\nslot 2\n",
             "spawn guard 2 10.5 0 4.5\nspawn soldier 1 10.5 0 14.5\npasses 42\n",
             30, true},
        // Saved disguised: a squad member wearing a cloak where no enemy
        // sees it borrows the look of the enemy built most like it, and
        // walks on in the disguise after the load.
        Case{"disguised", "floor 30 30\n" + kSoldier + "role grunt strength 30 size 1.8 0.5 named\n",
             "spawn soldier 1 2.5 0 2.5\nspawn grunt 2 25.5 0 25.5\npasses 2\nitem 1 7 4 900 1 0\n"
             "request 12 1 900 0\npasses 2\nrequest 5 0.5 212 4294967295 1 1\npasses 6\n",
             20, false},
        // Saved while a lift climbs its curve (a tenth of it a second): it
        // goes on from where it was, to the end and no further.
        Case{"lift", kFloor + kSoldier + "role lift strength 1 ai 8 named\n",
             "spawn lift 0 5.5 0 5.5\nspawn soldier 1 2.5 0 2.5\npasses 2\n"
             "track 1 5.5 0 5.5 5.5 1 6.5 5.5 2 7.5 5.5 3 8.5\npasses 40\n",
             200, false},
        // Saved while a lift carries two riders up 3 m: they go on with it
        // to the top after the load. The platform's collision mesh is made
        // again at the lift's saved place rather than moved there step by
        // step, so heights on it may differ in the last bit: placements are
        // compared within a micrometre.
        Case{"liftRiders",
             kFloor + kSoldier + "role passenger strength 60 walk 2 turn 1024 canturn sight 30 size 1.8 0.5 rides named\n"
                 "role lift strength 1 ai 8 platform 2 2 named\n",
             "spawn lift 0 5.5 0 5.5\nspawn passenger 1 5.1 -0.1 5.1\nspawn passenger 1 5.9 -0.1 5.9\n"
             "spawn soldier 1 5.9 -0.1 5.1\npasses 2\n"
             "track 1 5.5 0 5.5 5.5 -1 5.5 5.5 -2 5.5 5.5 -3 5.5\npasses 40\n",
             200, false, -3.1f, 1e-6f}),
    [](const ::testing::TestParamInfo<Case>& row) { return std::string(row.param.name); });

} // namespace
} // namespace SavedGame::test
