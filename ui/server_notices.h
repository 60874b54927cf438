// The interface's part of the server's messages: the defeat screen, the
// scripted camera move, the selection the console's TRACK, BOARD and
// PLAYER SELECT change, the texts of a squad member's pick-up, the panel of
// each squad member the server hands to this machine, and the map and
// object screens its worn gadgets hold open. The
// interface's start-up installs them into the client's hooks.
#pragma once

#include <cstdint>

class MenuScreen;
class WorldObject;

namespace ServerNotices {
void Install();
// The panel (a message plate) of a unit assigned to this machine; null when
// it has none.
MenuScreen* UnitPanelOf(const WorldObject& unit);
// The screen a gadget worn by the unit holds open; null when none.
MenuScreen* ItemScreenOf(const WorldObject& unit, int32_t itemId);
// Level stop: every unit panel and item screen goes with its unit.
void ReleaseUnitPanels();
} // namespace ServerNotices
