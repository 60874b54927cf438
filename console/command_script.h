// Command files (level companion files, BATCH files, the briefing's) queued
// line by line and run one line a frame, held back by the wait commands.
#pragma once

#include "console/line_source.h"

#include <cstdint>
#include <filesystem>
#include <string>

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
// A left click or the space bar; true when it ended a click wait.
bool NotifyClick();
// Frees the queue and clears every wait.
void Clear();
bool IsWaiting();

// Called by the stepper while a 'wait for' condition holds the script back,
// and once when the condition is met (the training level's repeating text
// lives above the console).
struct WaitHooks {
    void (*waiting)() = nullptr;
    void (*met)() = nullptr;
};
void SetWaitHooks(WaitHooks hooks);

// Set while a saved game is being restored: waits and BATCH are ignored.
extern bool RestoringSavedGame;

void CommandWait();
void CommandRealWait();
void CommandRealWaitOrClick();
void CommandWaitFor();
void CommandGetWaitFor();
void CommandCheckWaitFor();
void CommandCancelWaitFor();
void CommandBatch();

} // namespace CommandScript
