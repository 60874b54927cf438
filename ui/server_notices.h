// The interface's part of the server's messages: the defeat screen, the
// scripted camera move, the selection the console's TRACK, BOARD and
// PLAYER SELECT change, the texts of a squad member's pick-up, and the
// panel of each squad member the server hands to this machine. The
// interface's start-up installs them into the client's hooks.
#pragma once

class MenuScreen;
class WorldObject;

namespace ServerNotices {
void Install();
// The panel (a message plate) of a unit assigned to this machine; null when
// it has none.
MenuScreen* UnitPanelOf(const WorldObject& unit);
// Level stop: every unit panel goes with its unit.
void ReleaseUnitPanels();
} // namespace ServerNotices
