// A test-only lockstep server: requests, the AI pass, the tick and the drain
// of server messages run in one thread on an injected clock (1,000,000
// ticks a second, 50 ms passes). Every message travels as bytes through the
// session's queues; after each pass the harness checks invariants and takes
// an xxHash-64 checksum of the objects by id and of the drained messages.
// Scenarios are small text files (see LoadScenario).
#pragma once

#include "objects/game_object.h"

#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace script {
struct Role;
}
namespace navtest {
struct GridLevel;
}

// Back to the plain server the harness and the fixtures expect: the actor
// classes, their request rows and projectile maker that a session start or
// an actor test installed are taken out again.
void UninstallActorClasses();

// XXH64 of `bytes` with `seed`.
uint64_t XxHash64(std::span<const uint8_t> bytes, uint64_t seed);

class Lockstep {
public:
    static constexpr uint64_t kTicksPerSecond = 1000000;
    static constexpr uint64_t kPassTicks = 50000;  // 50 ms

    // Resets the generators (those below too), counters and tables;
    // installs the link.
    Lockstep();
    // Resets of further generators a scenario draws from (the sound
    // system's is there from the start); each runs as a harness is made.
    static std::vector<std::function<void()>>& GeneratorResets();
    ~Lockstep();
    Lockstep(const Lockstep&) = delete;
    Lockstep& operator=(const Lockstep&) = delete;

    // Reads a scenario; false with `error` as "file:line: what" on bad input.
    bool LoadScenario(const std::filesystem::path& file, std::string& error);
    // Runs the loaded steps; each "passes" step runs that many passes.
    void Run();
    // One pass: requests drained, AI, tick, messages drained, invariants, checksum.
    void Pass();

    // A request as its bytes, delivered at the start of the next pass.
    void Request(std::span<const uint8_t> bytes);
    // Extra checks after each pass (the path search adds its own); a
    // non-empty text is a broken invariant.
    std::vector<std::function<std::string()>> invariants;
    // The client half: each pass's drained messages, and each level object
    // a "spawn" step made (the level makes its replica too).
    std::function<void(std::span<const std::vector<uint8_t>> drained, uint64_t now, float seconds)> onDrained;
    std::function<void(GameObject& object)> onLevelObject;
    // The server's request handling; unset: requests are drained unread.
    std::function<void(std::span<const uint8_t> request)> onRequest;

    std::deque<script::Role>& Roles() { return roles_; }
    const std::vector<uint64_t>& Checksums() const { return checksums_; }
    const std::vector<std::string>& Broken() const { return broken_; }
    const std::vector<std::vector<uint8_t>>& Messages() const { return messages_; }
    uint64_t Now() const { return now_; }
    // A world restored from a save goes on from its saved time.
    void SetNow(uint64_t ticks) { now_ = ticks; }
    // The objects alone, by id whatever the registry's order.
    uint64_t StateChecksum() const;

private:
    struct Step {
        std::string verb;
        std::vector<std::string> words;
        int line = 0;
    };
    void RunStep(const Step& step);
    uint64_t Checksum(std::span<const std::vector<uint8_t>> drained) const;
    static void WriteState(std::vector<uint8_t>& bytes);
    void CheckInvariants();
    script::Role* RoleNamed(const std::string& name);

    uint64_t now_ = 0;
    std::vector<uint64_t> checksums_;
    std::vector<std::string> broken_;
    std::vector<std::vector<uint8_t>> messages_;
    std::deque<script::Role> roles_;
    std::map<std::string, script::Role*> roleNames_;
    std::vector<Step> steps_;
    std::unique_ptr<navtest::GridLevel> floor_;  // the "floor" step's level, current while the run lasts
};
