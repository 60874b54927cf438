#include "console/command_script.h"

#include "console/command_files.h"
#include "console/text_console.h"
#include "console/wait_for.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <deque>

namespace CommandScript {

bool RestoringSavedGame = false;

namespace {

struct QueuedLine {
    std::string text;
    LineOrigin origin;
};

std::deque<QueuedLine> g_queue;
int64_t g_gameDeadline = 0;
int64_t g_realDeadline = 0;
bool g_clickWait = false;
bool g_clicked = false;
WaitForObserver g_waitObserver;

int64_t Deadline(int64_t now)
{
    float seconds = TextConsole::ReadFloat(1.0f);
    if (std::isnan(seconds) || seconds < 0.0f)
        seconds = 0.0f;
    seconds = std::fmin(seconds, kMaxWaitSeconds);
    const int64_t deadline = now + std::llround(double(seconds) * double(TextConsole::TicksPerSecond()));
    return deadline == 0 ? 1 : deadline; // 0 means "no wait"
}

// Whether a wait still holds; clears the ones that ended.
bool Held()
{
    if (RestoringSavedGame)
        return false;
    if (g_gameDeadline != 0) {
        if (TextConsole::GameNow() < g_gameDeadline)
            return true;
        g_gameDeadline = 0;
    }
    if (g_realDeadline != 0) {
        if (TextConsole::RealNow() >= g_realDeadline || (g_clickWait && g_clicked)) {
            g_realDeadline = 0;
            g_clickWait = g_clicked = false;
        } else {
            return true;
        }
    }
    if (WaitFor::IsSet()) {
        const bool met = WaitFor::IsSatisfied();
        if (auto told = met ? g_waitObserver.met : g_waitObserver.waiting)
            told();
        return !met;
    }
    return false;
}

} // namespace

void SetWaitForObserver(WaitForObserver observer) { g_waitObserver = observer; }

bool QueueFile(const std::filesystem::path& path, LineOrigin origin)
{
    FILE* file = std::fopen(path.c_str(), "r");
    if (!file)
        return false;
    if (origin.file.empty())
        origin.file = path.filename().string();
    char piece[250];
    int line = 1;
    int queued = 0;
    while (std::fgets(piece, sizeof piece, file)) {
        size_t n = std::strlen(piece);
        const bool ends = n > 0 && piece[n - 1] == '\n';
        if (ends)
            piece[--n] = '\0';
        if (ends && n > 0 && piece[n - 1] == '\r')
            piece[--n] = '\0';
        if (queued == kMaxLinesPerFile) {
            origin.line = line;
            TextConsole::OriginScope scope(origin);
            TextConsole::PrintFailure("Command file too long: the rest is not run.");
            break;
        }
        origin.line = line;
        g_queue.push_back({piece, origin});
        ++queued;
        if (ends)
            ++line;
    }
    return std::fclose(file) == 0;
}

void QueueLine(const char* text, const LineOrigin& origin) { g_queue.push_back({text ? text : "", origin}); }

std::vector<std::string> QueuedLines()
{
    std::vector<std::string> lines;
    for (const QueuedLine& line : g_queue)
        lines.push_back(line.text);
    return lines;
}

bool Step()
{
    if (g_queue.empty() || Held())
        return false;
    const QueuedLine line = g_queue.front();
    g_queue.pop_front();
    char saved[TextConsole::kLineSize];
    std::memcpy(saved, TextConsole::LineBuffer(), sizeof saved);
    {
        TextConsole::OriginScope scope(line.origin);
        TextConsole::SetLine(line.text.c_str());
        TextConsole::Execute();
    }
    std::memcpy(TextConsole::LineBuffer(), saved, sizeof saved);
    return true;
}

void RunAll()
{
    while (Step()) {
    }
}

bool IsPending() { return !g_queue.empty(); }
size_t Count() { return g_queue.size(); }
bool IsWaiting() { return g_gameDeadline != 0 || g_realDeadline != 0 || WaitFor::IsSet(); }

bool NotifyClick()
{
    if (!g_clickWait || g_clicked)
        return false;
    g_clicked = true;
    return true;
}

void Clear()
{
    g_queue.clear();
    g_gameDeadline = g_realDeadline = 0;
    g_clickWait = g_clicked = false;
}

void CommandWait()
{
    g_gameDeadline = Deadline(TextConsole::GameNow());
    g_clickWait = false;
}

void CommandRealWait()
{
    g_realDeadline = Deadline(TextConsole::RealNow());
    g_clickWait = false;
}

void CommandRealWaitOrClick()
{
    g_realDeadline = Deadline(TextConsole::RealNow());
    g_clickWait = true;
    g_clicked = false;
}

void CommandWaitFor()
{
    const std::string text = TextConsole::ReadRestOfLine();
    if (!text.empty() && !WaitFor::Parse(text) && !WaitFor::IsSet())
        TextConsole::PrintFailure("WAIT FOR: no such condition, or what it names is missing: " + text);
}

void CommandGetWaitFor()
{
    if (!WaitFor::IsSet()) {
        TextConsole::Print("No 'wait for' trigger set.");
        return;
    }
    std::string text = WaitFor::AppendText();
    if (text.size() > 238)
        text.resize(238);
    TextConsole::Print(("Waiting for " + text).c_str());
}

void CommandCheckWaitFor()
{
    if (!WaitFor::IsSet())
        TextConsole::Print("No 'wait for' trigger set.");
    else if (WaitFor::IsSatisfied())
        TextConsole::Print("'Wait for' trigger was satisfied. (Removed.)");
    else
        TextConsole::Print("'Wait for' trigger was not satisfied.");
}

void CommandCancelWaitFor()
{
    if (WaitFor::Cancel())
        TextConsole::Print("'Wait for' trigger removed.");
    else
        TextConsole::Print("No 'wait for' trigger set or error while attempting to remove it.");
}

void CommandBatch()
{
    if (RestoringSavedGame) {
        TextConsole::SetLine("");
        return;
    }
    const std::string name = TextConsole::ReadRestOfLine();
    const LineOrigin& from = TextConsole::CurrentOrigin();
    if (from.depth >= kMaxBatchDepth) {
        TextConsole::PrintFailure("BATCH: files nest too deep (a file that runs itself?): " + name);
        return;
    }
    const auto path = CommandFiles::Open(CommandFiles::ScriptsFolder(), name, "BATCH");
    if (!path)
        return;
    LineOrigin origin{LineSource::BatchFile, name, 0, from.depth + 1};
    // Lines of a briefing or a saved game keep saying so.
    if (from.source == LineSource::Briefing || from.source == LineSource::SavedGame ||
        from.source == LineSource::HostFile || from.source == LineSource::Demo)
        origin.source = from.source;
    if (!QueueFile(*path, origin))
        TextConsole::PrintFailure(std::string(TextConsole::Text(6055)) + name);
}

} // namespace CommandScript
