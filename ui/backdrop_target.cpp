#include "ui/backdrop_target.h"

#include "Veapi/screen_draw.h"
#include "Veapi/texture_manager.h"
#include "Veapi/ve3d.h"

#include <string>

namespace {
// Each target has an entry of its own: two screens must never draw into
// one texture. The leading space keeps the name off any file's.
int g_made = 0;
} // namespace

BackdropTarget::BackdropTarget() = default;

BackdropTarget::~BackdropTarget()
{
    if (entry_) {
        entry_->SetSurface(nullptr);
        TextureManager::Unuse(entry_);
    }
}

bool BackdropTarget::Fill(int w, int h, uint32_t colour)
{
    gfx::Device* dev = Display::Device();
    if (!dev || w <= 0 || h <= 0)
        return false;
    if (!entry_)
        entry_ = TextureManager::Find(" backdrop target " + std::to_string(++g_made)); // never loaded from a file
    const gfx::Texture* held = entry_->Surface();
    if (!held || held->IsLost() || held->Width() != uint32_t(w) || held->Height() != uint32_t(h))
        entry_->SetSurface(gfx::Texture::CreateRenderTarget(uint32_t(w), uint32_t(h)));
    gfx::Texture* target = entry_->Surface();
    if (!target)
        return false;
    gfx::Texture* previous = dev->GetRenderTarget();
    const gfx::Viewport viewport = dev->GetViewport();
    bool filled = dev->SetRenderTarget(target);
    filled = filled && dev->Clear({}, gfx::kClearTarget, colour, 1.0f, 0);
    dev->SetRenderTarget(previous);
    dev->SetViewport(viewport);
    return filled;
}

void BackdropTarget::Draw(int x0, int y0, int x1, int y1) const
{
    if (!entry_ || !entry_->Surface())
        return;
    Colour white;
    white.Set(1, 1, 1, 1);
    const float fx0 = float(x0), fy0 = float(y0), fx1 = float(x1), fy1 = float(y1);
    const float corners[4][4] = {{fx0, fy0, 0, 0}, {fx1, fy0, 1, 0}, {fx1, fy1, 1, 1}, {fx0, fy1, 0, 1}};
    ScreenVertex quad[4];
    for (int i = 0; i < 4; ++i) {
        quad[i].x = corners[i][0];
        quad[i].y = corners[i][1];
        quad[i].u = corners[i][2];
        quad[i].v = corners[i][3];
        quad[i].diffuse = white.Packed();
    }
    const ScreenVertex first[3] = {quad[0], quad[1], quad[2]}, second[3] = {quad[0], quad[2], quad[3]};
    ScreenDraw::Begin();
    ScreenDraw::SetMaterial(entry_);
    ScreenDraw::ClipPolygon(first);
    ScreenDraw::ClipPolygon(second);
    ScreenDraw::Flush();
}
