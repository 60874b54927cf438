// The server thread: owns the simulation from session start to end, drains
// the client requests, runs a pass after every wake-up and at least every
// 50 ms, and parks between two passes when the game thread takes the game
// state (GameState::Enter). The session layer starts and stops it.
#pragma once

#include "session/game_message.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

class DirectPlay;
class Timer;

// What the server pass calls on the simulation. Set before Server::Start or
// while the game thread holds the game state; the server thread calls them.
struct ServerHooks {
    std::function<void()> activateAll;                        // Server::BeginLevel
    std::function<void()> releaseAll;                         // level end and thread end
    std::function<void(uint64_t now)> think;                  // AI pass, server game time
    std::function<void(uint64_t now, float seconds)> tick;    // every object's per-tick update
    std::function<void()> everyFourthPass;                    // triggers and flags
    // True while the own side has a live object; unset: no defeat check.
    std::function<bool()> ownSideAlive;
    // Requests 4 to 43 other than the speed answer, with the sender's id.
    std::function<void(const GameMessage& request, uint32_t sender)> request;
    std::function<void(const char* text)> print;              // the own console
};

// A player of a DirectPlay session as the server keeps it.
struct NetworkPlayer {
    std::string name;
    uint32_t id = 0;
    bool gone = false;
    bool ready = false;
    bool acknowledged = false;
};

namespace Server {

void SetHooks(ServerHooks hooks);
// The clocks the server reads (server game time, client game time, real
// time); null restores ServerTime, GameTime and RealTime. Only while stopped.
void SetClocks(Timer* serverClock, Timer* clientClock, Timer* realClock);
Timer& ServerClock();
Timer& ClientClock();

// Starts the thread; `dp` null for the queue road. False when it runs
// already or could not be started.
bool Start(std::shared_ptr<DirectPlay> dp);
// Ends the thread and waits for it; also while the game thread holds the
// game state. Nothing when none runs.
void Stop();
bool IsRunning();
bool IsLevelRunning();
void Wake();

void BeginLevel();
void EndLevel();
// Request 1 marks players ready only while set (networked start).
void SetWaitingForPlayers(bool waiting);
// Set when the own side's defeat should not be announced.
void SetDefeatNoticed(bool noticed);

// Completed simulation passes of this session, and those begun; passes
// run one at a time, so pass n has begun once PassesBegun() >= n.
uint64_t PassCount();
uint64_t PassesBegun();

// Used by GameState::Enter/Leave only: parks the thread between passes and
// lets it go on. Both return at once when no server thread runs.
void Park();
void Unpark();
bool OnServerThread();

// Senders to every client; the queue road pushes on ServerToClientQueue.
bool SendToClients(const void* buffer, uint32_t size, bool guaranteed);
bool SendToPlayer(uint32_t index, const void* buffer, uint32_t size, bool guaranteed);
// Message 3 to the player controlling the object's side; `side` is the
// object's side as the object table knows it.
void AssignUnit(uint32_t objectId, uint32_t side);
void SetGameType(uint32_t gameType);
// True when a request from `sender` may act on an object of `side`: always
// alone and for the host's own requests; in a networked game only for the
// side the sender was given at level start.
bool SenderControlsSide(uint32_t sender, uint32_t side);
void BroadcastText(std::string_view text);
// The command file runs on the own game thread (CommandFileQueue) and, by
// message 70, on every client. False, and nothing queued or sent, for a name
// that is empty, holds a path separator ('/' or '\'), ".." or a NUL: a
// command file is a bare name in the scripts folder.
bool BroadcastCommandFile(std::string_view name);

// The player list: touched by the server thread, or by the game thread while
// it holds the game state or no server thread runs.
void AddPlayer(std::string name, uint32_t id);
void ClearPlayers();
NetworkPlayer* FindPlayer(uint32_t id);
uint32_t PlayerCount();
NetworkPlayer* PlayerAt(uint32_t index);
bool RefreshPlayers();
void RemovePlayer(uint32_t id);
bool HasDirectPlay();

} // namespace Server
