// The two screen toggles that change the cursor mode: the upgrade screen
// (opened for the command unit or the first selected character) and the
// in-game menu. The screens themselves answer through GameView::Screens.
#pragma once

namespace ScreenToggles {

inline constexpr int kUpgradeOpenSound = 32, kUpgradeCloseSound = 29;

void ToggleUpgradeScreen();
void CloseUpgradeScreen();
void ToggleInGameMenu();

} // namespace ScreenToggles
