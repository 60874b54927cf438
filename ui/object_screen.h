// The screens a worn gadget holds open (kinds 10 to 13): a square quad five
// times the requested size that stays wholly on the screen. The map screens
// show the level's map on it; the others show a render target of their own.
#pragma once

#include "ui/backdrop_target.h"
#include "ui/menu_screen.h"

class ObjectScreen : public MenuScreen {
public:
    // Translucent black: the game view shows through.
    static constexpr uint32_t kBackground = 0x80000000u;

    // `size` is the requested size: the quad's side is five times it, at
    // most the screen and never less than nothing.
    ObjectScreen(int kind, float size);

    void Draw(int64_t now) override;
    void SetPosition(float x, float y) override;
    bool IsTransient() const override { return false; }

    // The background target; null before the first draw with a device.
    TextureEntry* Background() const { return background_.Entry(); }

protected:
    ~ObjectScreen() override = default;

private:
    BackdropTarget background_;
};
