// The display's gamma ramp, for the brightness setting: opened on the primary
// surface when the display offers one, read, set and closed.
#pragma once

#include "platform/gfx_surface.h"

namespace ve {

class GammaControl {
public:
    // False when there is no display or it offers no gamma ramp.
    static bool Open(gfx::Surface* primary);
    // The current ramp, or null on failure (the result is kept as the loader's
    // last graphics result).
    static const gfx::GammaRamp* GetRamp();
    static bool SetRamp(const gfx::GammaRamp& ramp);
    static void Close();
};

} // namespace ve
