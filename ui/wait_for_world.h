// What a level script's 'wait for' conditions read of the running game: the
// camera controller, the interface screens and wheels, the selection, and the
// client's objects and squad by id. Installed once where the interface starts.
#pragma once

#include "console/wait_for.h"

class GameWaitForWorld : public WaitForWorld {
public:
    bool CameraLocked() const override;
    float CameraHeading() const override;
    float CameraElevation() const override;
    float Zoom() const override;
    Vec3 CameraFocus() const override;
    bool NormalView() const override;
    int32_t StandingOrdersState() const override;
    bool CommandWheelExists() const override;
    bool CommandWheelShown() const override;
    bool UpgradeScreenOpen() const override;
    bool Paused() const override;
    std::vector<uint32_t> Squad() const override;
    bool Exists(uint32_t id) const override;
    Vec3 Position(uint32_t id) const override;
    bool Moving(uint32_t id) const override;
    bool Attacking(uint32_t id) const override;
    uint32_t Target(uint32_t id) const override;
    bool Selected(uint32_t id) const override;
    bool Collected(uint32_t id) const override;
    bool Hides(uint32_t id) const override;
    bool CurrentWeapon(uint32_t id, int32_t& type, int32_t& ammo) const override;
    bool InventoryEmpty(uint32_t id) const override;
    bool HoldsItem(uint32_t id, int32_t kind, int32_t subtype) const override;
    int32_t FindRole(const std::string& name) const override;
    std::vector<uint32_t> ObjectsOfRole(const std::string& name) const override;
    int32_t PlayerFormation() const override;
};

namespace GameView {
// Hands the game's world to the 'wait for' conditions.
void InstallWaitForWorld();
} // namespace GameView
