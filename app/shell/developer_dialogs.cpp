#include "app/shell/developer_dialogs.h"

#include "app/shell/render_placeholders.h"
#include "app/shell/trace.h"
#include "platform/dialog.h"
#include "platform/window.h"

namespace DeveloperDialogs {
namespace {

bool g_modal = false;

struct KindText {
    const char* filterName;
    const char* pattern;
    const char* saveTitle;
    const char* openTitle;
};

KindText TextOf(FileDialogKind kind)
{
    switch (kind) {
    case FileDialogKind::Dll: return {"DLLs", "*.DLL", "", ""};
    case FileDialogKind::FontRectangles: return {"Font rect info (FRC)", "*.FRC", "Choose FRC to ", "Choose FRC to "};
    case FileDialogKind::FontFile:
        return {"LOGFONT Font File (LGF)", "FONT.LGF", "Choose Font File.", "Choose Font File."};
    case FileDialogKind::SavedGame: return {"Saved games (GAM)", "*.GAM", "Save game", "Load saved game"};
    case FileDialogKind::SavedMap: return {"Saved maps (MAP)", "*.MAP", "Save map", "Load saved map"};
    }
    return {"", "", "", ""};
}

// Key, character and mouse messages meant for the game, not the dialog.
void DropPendingInput()
{
    platform::RemoveMessages(platform::kWmKeyDown, platform::kWmKeyDown + 8);
    platform::RemoveMessages(platform::kWmMouseMove, platform::kWmMouseMove + 9);
}

} // namespace

bool BeginModalDialog()
{
    if (g_modal)
        return false;
    DropPendingInput();
    // The desktop draws its dialog over whatever the screen shows; the GL
    // layer always shows its front buffer, so there is no buffer to switch.
    RenderPlaceholders::FindVisibleBuffer();
    g_modal = true;
    return true;
}

void EndModalDialog()
{
    g_modal = false;
    DropPendingInput();
}

bool InModalDialog() { return g_modal; }

bool FileDialog(FileDialogKind kind, bool save, std::filesystem::path& chosen, const std::filesystem::path& folder)
{
    chosen.clear();
    const KindText text = TextOf(kind);
    platform::FileDialogRequest request;
    request.title = save ? text.saveTitle : text.openTitle;
    request.filterName = text.filterName;
    request.pattern = text.pattern;
    request.folder = folder;
    request.save = save;
    const bool began = BeginModalDialog();
    RenderPlaceholders::ReleaseDeviceObjects();
    const platform::DialogResult result = platform::ShowFileDialog(request, chosen);
    RenderPlaceholders::RestoreDeviceObjects();
    if (began)
        EndModalDialog();
    if (result == platform::DialogResult::Unavailable)
        Trace("file dialog: neither zenity nor yad is installed");
    if (result != platform::DialogResult::Chosen) {
        chosen.clear();
        return false;
    }
    return true;
}

bool ChooseFontDialog(std::string& font)
{
    const bool began = BeginModalDialog();
    std::string answer = font;
    const platform::DialogResult result = platform::ShowFontDialog("", answer);
    if (began)
        EndModalDialog();
    if (result == platform::DialogResult::Unavailable)
        Trace("font dialog: yad is not installed");
    if (result != platform::DialogResult::Chosen)
        return false;
    font = answer;
    return true;
}

} // namespace DeveloperDialogs
