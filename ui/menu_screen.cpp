#include "ui/menu_screen.h"

#include "ui/hud_view.h"

#include <algorithm>

namespace {
std::vector<MenuScreen*> g_screens;
MenuScreen* g_current = nullptr;
bool g_objectScreensHidden = false;
} // namespace

MenuScreen::MenuScreen(int kind, float parameter)
    : animationStart_(HudView::Current().RealNow()), parameter_(parameter), kind_(kind)
{
    g_screens.push_back(this);
}

MenuScreen::~MenuScreen()
{
    g_screens.erase(std::remove(g_screens.begin(), g_screens.end(), this), g_screens.end());
    if (g_current == this)
        g_current = nullptr;
}

void MenuScreen::Activate()
{
    g_current = this;
    active_ = true;
}

void MenuScreen::SetPosition(float x, float y)
{
    left_ = std::clamp(x, 0.0f, 1.0f);
    top_ = std::clamp(y, 0.0f, 1.0f);
}

bool MenuScreen::IsObjectScreenVisible() const
{
    if (kind_ < kMap || kind_ > kParticleTester)
        return false;
    return !(hideable_ && g_objectScreensHidden);
}

const std::vector<MenuScreen*>& MenuScreen::All() { return g_screens; }
MenuScreen* MenuScreen::Current() { return g_current; }
void MenuScreen::SetObjectScreensHidden(bool hidden) { g_objectScreensHidden = hidden; }
