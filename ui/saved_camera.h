// The camera's part of a full saved game: its three angles, its focus and
// its distance, put back at once without easing.
#pragma once

namespace SavedCamera {
void Install();
} // namespace SavedCamera
