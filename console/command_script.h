// Command files (level companion files, BATCH files, the briefing's) queued
// line by line and run one line a frame, held back by the wait commands.
#pragma once

#include "console/line_source.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace CommandScript {

inline constexpr int kMaxLinesPerFile = 10000;
inline constexpr int kMaxBatchDepth = 16;
inline constexpr float kMaxWaitSeconds = 3600.0f;

// Queues every line of `path` (pieces of at most 249 characters; a trailing
// newline, and a CR before it, removed). False when it cannot be opened.
bool QueueFile(const std::filesystem::path& path, LineOrigin origin);
void QueueLine(const char* text, const LineOrigin& origin = {});
// Runs at most one line; false when a wait held it back or nothing is queued.
bool Step();
// Runs lines until the queue is empty or a wait holds (never spins).
void RunAll();
bool IsPending();
size_t Count();
// The texts of the lines still waiting, in queue order.
std::vector<std::string> QueuedLines();
// A left click or the space bar; true when it ended a click wait.
bool NotifyClick();
// Frees the queue and clears every wait.
void Clear();
bool IsWaiting();

// Set while a saved game is being restored: waits and BATCH are ignored.
extern bool RestoringSavedGame;

// Told on each step a 'wait for' condition holds the script (the training
// level's repeating line ticks) and when it is met (the line stops).
struct WaitForObserver {
    void (*waiting)() = nullptr;
    void (*met)() = nullptr;
};
void SetWaitForObserver(WaitForObserver observer);

void CommandWait();
void CommandRealWait();
void CommandRealWaitOrClick();
void CommandWaitFor();
void CommandGetWaitFor();
void CommandCheckWaitFor();
void CommandCancelWaitFor();
void CommandBatch();

} // namespace CommandScript
