// 'Wait for' conditions: a level script holds itself back until something
// happens in the game, named by an English phrase ("CAMERA TO BE ROTATED",
// "ACTOR "x" TO DIE", "ALL FRIENDLIES TO HAVE MOVED"). The command-script
// stepper tests the one installed condition before each queued line. Every
// answer about the game comes through WaitForWorld, which the interface
// installs; objects are kept by id, so one that goes meanwhile is only absent.
#pragma once

#include "app/maths.h"

#include <cstdint>
#include <string>
#include <vector>

// What the conditions read of the client: camera controller, interface
// modes, client objects and squad. Every answer defaults to "nothing".
class WaitForWorld {
public:
    virtual ~WaitForWorld() = default;

    // Camera controller; angles in 4096ths of a turn.
    virtual bool CameraLocked() const { return false; }
    virtual float CameraHeading() const { return 0; }
    virtual float CameraElevation() const { return 0; }
    virtual float Zoom() const { return 0; }
    virtual Vec3 CameraFocus() const { return {0, 0, 0}; }
    virtual bool NormalView() const { return true; }
    // Interface: the standing-orders wheel (-1: none), the command wheel,
    // the upgrade screen, the active pause.
    virtual int32_t StandingOrdersState() const { return -1; }
    virtual bool CommandWheelExists() const { return false; }
    virtual bool CommandWheelShown() const { return false; }
    virtual bool UpgradeScreenOpen() const { return false; }
    virtual bool Paused() const { return false; }
    // Client objects by id.
    virtual std::vector<uint32_t> Squad() const { return {}; }
    virtual bool Exists(uint32_t) const { return false; }
    virtual Vec3 Position(uint32_t) const { return {0, 0, 0}; }
    virtual bool Moving(uint32_t) const { return false; }
    virtual bool Attacking(uint32_t) const { return false; }
    virtual uint32_t Target(uint32_t) const { return 0; }  // 0: none
    virtual bool Selected(uint32_t) const { return false; }
    virtual bool Collected(uint32_t) const { return false; }
    virtual bool Hides(uint32_t) const { return false; }  // can hide and both hiding states
    // The current weapon's type and ammunition type; false without one.
    virtual bool CurrentWeapon(uint32_t, int32_t&, int32_t&) const { return false; }
    virtual bool InventoryEmpty(uint32_t) const { return true; }
    virtual bool HoldsItem(uint32_t, int32_t /*kind*/, int32_t /*subtype*/) const { return false; }
    // Roles: the id of the role so named (any case; -1: none) and the
    // objects whose role is named exactly so.
    virtual int32_t FindRole(const std::string&) const { return -1; }
    virtual std::vector<uint32_t> ObjectsOfRole(const std::string&) const { return {}; }
    // The formation order of the first player side (-1: none).
    virtual int32_t PlayerFormation() const { return -1; }
};

namespace WaitFor {

inline constexpr size_t kTextBytes = 250;
// 25 degrees in 4096ths of a turn.
inline constexpr float kTurnThreshold = 284.444f;

using Check = bool (*)();
using ParseStep = bool (*)(const char* rest);  // null: nothing follows
using FreeStep = bool (*)();

struct Condition {
    const char* phrase;
    Check check;
    ParseStep parse;
    FreeStep free;
    int flag;  // 1 inverts the check
};

// Null: the default world, where nothing happens.
void SetWorld(WaitForWorld* world);

// Installs the condition of `text`; refused while one is installed.
bool Parse(const std::string& text);
bool MatchPhrase(const Condition* table, size_t rows, const char* text);
bool IsSet();
bool IsSatisfied();
bool Cancel();
// The installed text; empty when none.
std::string AppendText();
void Reset();
void NotifyObjectRemoved(uint32_t id);

// The smallest turn between two headings, in 4096ths of a turn (0..2048).
float HeadingDifference(float a, float b);

} // namespace WaitFor
