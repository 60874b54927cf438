// The desktop's own file and font choosers for the developer tools, run as a
// child process: zenity for files (yad when only it is installed), yad for
// fonts. The child's standard output is the answer; anything short of a clean
// exit with one whole line is "no answer", so a cancelled, failed or killed
// dialog never hands back part of a path. With neither program installed the
// dialogs answer Unavailable at once.
#pragma once

#include <filesystem>
#include <string>

namespace platform {

enum class DialogResult { Chosen, Cancelled, Unavailable };

struct FileDialogRequest {
    std::string title;
    std::string filterName; // "Saved games (GAM)"
    std::string pattern;    // "*.GAM"; matched without regard to case
    std::string defaultName;
    std::filesystem::path folder; // where it opens; empty: the current one
    bool save = false;            // open dialogs answer only existing files
};

DialogResult ShowFileDialog(const FileDialogRequest& request, std::filesystem::path& chosen);
// `font` in: the font to start from ("Sans 12"); out: the font chosen.
DialogResult ShowFontDialog(const std::string& title, std::string& font);

// Which of the two programs can be started (searched along PATH).
bool DialogProgramAvailable(const char* name);

} // namespace platform
