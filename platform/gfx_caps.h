// Device capabilities a test can lower to stand in for older hardware: the
// user clip planes (0, 1 or up to 6) and the texture stages, which decide the
// hardware level (2 with two or more stages, else 1). The device list reads
// them when it is built; the defaults are what the GL device offers.
#pragma once

#include <cstdint>

namespace gfx {

struct InjectedCaps {
    uint32_t userClipPlanes = 6;
    uint32_t textureStages = 8;
};
InjectedCaps& CurrentCaps();
void ResetCaps();

} // namespace gfx
