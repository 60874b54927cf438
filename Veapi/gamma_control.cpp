#include "Veapi/gamma_control.h"

#include "Veapi/texture_loader.h"

namespace ve {
namespace {

struct GammaState {
    gfx::SurfaceFactory* display = nullptr;
    gfx::GammaRamp ramp;
};

GammaState& State()
{
    static GammaState state;
    return state;
}

} // namespace

bool GammaControl::Open(gfx::Surface* primary)
{
    Close();
    gfx::SurfaceFactory* display = TextureLoader::Display();
    if (!primary || !display || !display->HasPrimaryGamma())
        return false;
    State().display = display;
    return true;
}

const gfx::GammaRamp* GammaControl::GetRamp()
{
    GammaState& st = State();
    if (!st.display)
        return nullptr;
    if (int result = st.display->GetGammaRamp(st.ramp)) {
        TextureLoader::NoteGfxResult(result);
        return nullptr;
    }
    return &st.ramp;
}

// The floating-point mode is left alone throughout the engine, so nothing is
// restored after the call.
bool GammaControl::SetRamp(const gfx::GammaRamp& ramp)
{
    GammaState& st = State();
    if (!st.display)
        return false;
    if (int result = st.display->SetGammaRamp(ramp)) {
        TextureLoader::NoteGfxResult(result);
        return false;
    }
    return true;
}

void GammaControl::Close() { State().display = nullptr; }

} // namespace ve
