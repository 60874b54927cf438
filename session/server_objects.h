// The server's object factories and its simulation pass: objects are made
// from roles (by the level's map build, by spawns), removed by id or by side,
// and advanced once per pass (Server::Tick). Install wires these and the AI
// pass into the server thread's hooks and the objects' link to the session.
#pragma once

#include "app/maths.h"
#include "world/map_build.h"

#include <cstdint>

class GameObject;
namespace script {
struct Role;
}

namespace Server {

// The simulation pass: every object's MoveAndHit, then every Update, over a
// held snapshot; objects made meanwhile first move next pass, removed ones
// are freed at its end.
void Tick(uint64_t now, float seconds);
// While the camera controller holds the units (script mode), walkers and
// aimers are stopped each pass and no AI runs.
void SetUnitsHeld(bool held);
bool UnitsHeld();
// The held step or the AI pass, then the tick: one server pass.
void RunObjectPass(uint64_t now, float seconds);

// A new object of the class its role's AI type picks, with the next id;
// neither typed, listed, activated nor announced. Null when none was made.
GameObject* CreateObject(int32_t side, script::Role* role, const Vec3& position, const Quaternion& orientation);
// A level object of the map build: typed at time 0 and listed. Its id, or -1.
int32_t CreateLevelObject(int32_t side, script::Role* role, const Vec3& position, const Quaternion& orientation);
// Under the hand-over: made, typed at the server time, listed, announced
// (message 67) and activated. Its id, or 0 when none was made.
uint32_t SpawnObject(int32_t side, script::Role* role, const Vec3& position, const Quaternion& orientation);
// Under the hand-over: the object's removal with notice; false for no such id.
bool DeleteObject(uint32_t id);
// Under the hand-over: every object of the side goes; for the own side no
// defeat follows.
void DeleteTeam(int32_t side, int32_t ownSide);

// The map build's level objects become server objects and, where the
// client runs, their replicas; ids run alike in both trees.
class ServerLevelServices : public LevelServices {
public:
    int32_t CreateServerObject(const Placement& p) override;
    // The replica by the role's class under the client's next id; -1 for a
    // role without a client class.
    int32_t CreateClientObject(const Placement& p) override;
    // Links the level's polygons from the navigation cache beside the script
    // (rebuilt and rewritten when it is missing or stale).
    void LoadNavigation() override;

private:
    int32_t lastServerId_ = -1;
};

// Level load and stop of the server's tables: ids (from 1 again), the
// event number, the noise list, the device table and the player slots. The
// level's end runs it after releasing every object.
void ResetObjectTables();

// One check of the level triggers (every fourth server pass).
void CheckTriggers();

// The defeat check's question: does the own side still have a live object
// in its side list?
bool OwnSideHasLiveObject();

// Installs the server hooks (activate, release, AI pass, tick) and the
// objects' link to this session (messages, spawns, command files,
// hand-over, clock).
void InstallObjectHooks();

} // namespace Server
