// The player's selection of units and the orders the game view gives them.
// One set on the game thread, keyed by object id in 64 chains; every member,
// the command unit and the view unit hold one reference on their unit. The
// mouse handlers, the keys, the wheel, the HUD, server messages and console
// commands read and change it.
#pragma once

#include "app/maths.h"

#include <cstdint>
#include <vector>

class WorldObject;

namespace Selection {

bool Contains(const WorldObject* unit);
int Count();
// Members in bucket order (the order requests list them).
std::vector<WorldObject*> Members();
WorldObject* First();

void Add(WorldObject* unit);
void Remove(WorldObject* unit);
void Toggle(WorldObject* unit);
void RemoveAll();
void Clear();
WorldObject* SelectAllSquad();
WorldObject* SelectOnly(int n);
WorldObject* SelectNext();
WorldObject* SelectPrevious();
// The Tab key: the next (or previous) member, with the camera's focus on it.
WorldObject* SelectNextSquadMember(bool previous);

void ClearOrders();
void ToggleCrouch(uint32_t orderFlags);
void UndoLastOrder();
void OrderAttackTarget(WorldObject& target, uint32_t orderFlags);
void OrderAttackLocation(const Vec3& point, uint32_t orderFlags);
void OrderMove(const Vec3& point, uint32_t targetId, uint32_t orderFlags);
void SetViewUnit(WorldObject* unit);
WorldObject* ViewUnit();
void HandleEscape();

// The unit the command wheel was opened for, with the point clicked.
void SetCommandUnit(WorldObject* unit, const Vec3* point);
void ReleaseCommandUnit();
WorldObject* CommandUnit();
bool CommandPoint(Vec3& out);

// Quick-weapon mode: set once the keys switched the selection to its quick
// weapon. Ending it restores the weapons unless told otherwise.
void SetQuickWeaponMode(bool on);
bool QuickWeaponMode();
void EndQuickWeapon(bool restoreWeapons = true);

// The view heading (4096ths of a turn) and pitch the recon view and the HUD read.
float ViewHeading();
float ViewPitch();

} // namespace Selection
