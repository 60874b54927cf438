// The interface's part of the server's messages: the defeat screen, the
// scripted camera move, the selection the console's TRACK, BOARD and
// PLAYER SELECT change, and the texts of a squad member's pick-up. The
// interface's start-up installs them into the client's hooks.
#pragma once

namespace ServerNotices {
void Install();
} // namespace ServerNotices
