#include "session/session_placeholders.h"


uint32_t EndOfGameRequest = 0;

namespace SessionObservers {
namespace {
std::function<void()> g_started, g_ending;
}
void Set(std::function<void()> started, std::function<void()> ending)
{
    g_started = std::move(started);
    g_ending = std::move(ending);
}
void Started()
{
    if (g_started)
        g_started();
}
void Ending()
{
    if (g_ending)
        g_ending();
}
} // namespace SessionObservers


namespace SaveScreen {
bool HasNameRecord() { return false; }
bool HasListRecord() { return false; }
} // namespace SaveScreen
