#include "platform/message_box.h"

#include <SDL.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace platform {

bool HasDisplay()
{
    const char* driver = std::getenv("SDL_VIDEODRIVER");
    if (driver && (std::strcmp(driver, "offscreen") == 0 || std::strcmp(driver, "dummy") == 0))
        return false;
    const char* x11 = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (x11 && *x11) || (wayland && *wayland);
}

MessageBoxAnswer ShowMessageBox(std::string_view text, std::string_view caption,
                                MessageBoxButtons buttons, MessageBoxIcon icon, bool defaultYes)
{
    const MessageBoxAnswer fallback = buttons == MessageBoxButtons::Ok
                                          ? MessageBoxAnswer::Ok
                                          : (defaultYes ? MessageBoxAnswer::Yes : MessageBoxAnswer::No);
    std::string captionText(caption);
    std::string bodyText(text);
    if (captionText.empty())
        std::fprintf(stderr, "%s\n", bodyText.c_str());
    else
        std::fprintf(stderr, "%s: %s\n", captionText.c_str(), bodyText.c_str());
    std::fflush(stderr);
    if (!HasDisplay())
        return fallback;

    Uint32 flags = 0;
    if (icon == MessageBoxIcon::Error)
        flags = SDL_MESSAGEBOX_ERROR;
    else if (icon == MessageBoxIcon::Information || icon == MessageBoxIcon::Question)
        flags = SDL_MESSAGEBOX_INFORMATION;

    SDL_MessageBoxButtonData buttonData[2] = {};
    int count = 0;
    if (buttons == MessageBoxButtons::Ok) {
        buttonData[0] = {SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT | SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT,
                         static_cast<int>(MessageBoxAnswer::Ok), "OK"};
        count = 1;
    } else {
        buttonData[0] = {defaultYes ? Uint32(SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT) : 0u,
                         static_cast<int>(MessageBoxAnswer::Yes), "Yes"};
        buttonData[1] = {defaultYes ? Uint32(SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT)
                                    : Uint32(SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT |
                                             SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT),
                         static_cast<int>(MessageBoxAnswer::No), "No"};
        count = 2;
    }
    SDL_MessageBoxData data = {};
    data.flags = flags;
    data.title = captionText.c_str();
    data.message = bodyText.c_str();
    data.numbuttons = count;
    data.buttons = buttonData;
    int pressed = -1;
    if (SDL_ShowMessageBox(&data, &pressed) != 0 || pressed < 0)
        return fallback;
    return static_cast<MessageBoxAnswer>(pressed);
}

} // namespace platform
