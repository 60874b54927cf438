// Inside the platform layer: the window's event pump hands every keyboard
// and mouse event to the input devices before translating it to a message.
#pragma once

union SDL_Event;

namespace platform::detail {

void FeedInputEvent(const SDL_Event& event, int windowLeft, int windowTop);
void InputFocusLost();
bool VideoReady();      // SDL video is up (events come from a real window)
void EnsureEventsReady(); // SDL's event queue exists (headless too)

} // namespace platform::detail
