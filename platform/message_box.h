// Message boxes for start-up failures and questions. With a display the box
// is shown; without one the text goes to standard error and the default
// answer is taken, so a headless run never waits for a click.
#pragma once

#include <string_view>

namespace platform {

enum class MessageBoxButtons { Ok, YesNo };
enum class MessageBoxIcon { None, Error, Question, Information };
enum class MessageBoxAnswer { Ok, Yes, No };

// `defaultYes` picks the answer taken without a display (and the focused
// button with one). The text is always echoed to standard error as well.
MessageBoxAnswer ShowMessageBox(std::string_view text, std::string_view caption,
                                MessageBoxButtons buttons = MessageBoxButtons::Ok,
                                MessageBoxIcon icon = MessageBoxIcon::None,
                                bool defaultYes = false);

// True when a window system is reachable (DISPLAY or WAYLAND_DISPLAY set and
// SDL_VIDEODRIVER not one of the screenless drivers).
bool HasDisplay();

} // namespace platform
