#include "ui/repeat_text.h"

#include "app/app_time.h"
#include "console/command_script.h"
#include "console/command_table.h"
#include "console/readers.h"
#include "console/text_console.h"

#include <cmath>

namespace RepeatText {
namespace {

std::string g_text;
bool g_active = false;
int64_t g_next = 0;

int64_t Period() { return std::llround(double(kPeriodSeconds) * double(AppTime::TicksPerSecond())); }

} // namespace

void Set(const char* text)
{
    g_text.assign(text ? text : "");
    if (g_text.size() > kMaxLength)
        g_text.resize(kMaxLength);
    g_active = true;
    g_next = AppTime::RealNow() + Period();
}

void Tick()
{
    if (!g_active)
        return;
    const int64_t now = AppTime::RealNow();
    if (now < g_next)
        return;
    TextConsole::CommandHide();
    TextConsole::Print(g_text.c_str());
    g_next = now + Period();
}

void Stop() { g_active = false; }

void Command()
{
    const std::string text = TextConsole::ReadRestOfLine();
    if (text.empty())
        Stop();
    else
        Set(text.c_str());
}

void Install()
{
    CommandTable::Provide("REPTXT", Command);
    CommandScript::SetWaitForObserver({Tick, Stop});
}
bool Active() { return g_active; }
const std::string& Text() { return g_text; }

} // namespace RepeatText
