// The developer tools' file and font choosers and the modal pair around any
// dialog of the desktop: input waiting for the game is dropped before and
// after, and the device's objects are given up while a file dialog is open.
// No part of the game calls these; tools and the console may.
#pragma once

#include <filesystem>
#include <string>

enum class FileDialogKind { Dll, FontRectangles, FontFile, SavedGame, SavedMap };

namespace DeveloperDialogs {

// False when a dialog is already open.
bool BeginModalDialog();
void EndModalDialog();
bool InModalDialog();

// True with `chosen` set when a file was chosen; a cancelled, failed or
// missing chooser gives false and an empty path.
bool FileDialog(FileDialogKind kind, bool save, std::filesystem::path& chosen,
                const std::filesystem::path& folder = {});
// `font` in: the font to start from; out: the one chosen (unchanged on false).
bool ChooseFontDialog(std::string& font);

} // namespace DeveloperDialogs
