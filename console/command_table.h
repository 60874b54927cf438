// The one table of console commands and the dispatcher that runs every
// console line over it (typed, bound to a key, read from a command file or
// built by the program).
#pragma once

#include "console/line_source.h"

#include <array>
#include <cstddef>
#include <memory>
#include <string>

using CommandHandler = void (*)();

struct ConsoleCommand {
    std::string name;
    std::string help;
    CommandHandler handler = nullptr;
    int level = 0;
};

class CommandTable {
public:
    static constexpr size_t kBuckets = 64;

    static CommandTable& Global();

    // Adds at the head of the name's bucket; duplicates are not refused.
    int Register(const char* name, const char* help, CommandHandler handler, int level);
    // Removes the command with this name (any case) and handler.
    bool Remove(const char* name, CommandHandler handler);
    void Clear();
    int Count() const { return count_; }

    // The command the line starts with (longest name; the later of two
    // equal names), or null.
    const ConsoleCommand* Match(const char* line) const;
    // The command whose whole name equals `name` (any case), or null.
    const ConsoleCommand* FindExact(const char* name) const;

    // Visits every command bucket by bucket, each chain from its head.
    template <class F> void ForEach(F&& visit) const
    {
        for (const auto& head : buckets_)
            for (const Node* n = head.get(); n; n = n->next.get())
                visit(n->command);
    }

    static size_t BucketOf(char c);

    // Fills the table with the program's commands, then creates the named
    // values every script relies on.
    static void RegisterAll();

    // A higher layer's handler for a row the table lists: RegisterAll takes
    // it in place of the row's own, and a table already filled swaps it in,
    // keeping the row's place, help and level. Null forgets the name for
    // later fills.
    static void Provide(const char* name, CommandHandler handler);
    static CommandHandler Provided(const std::string& name);

private:
    struct Node {
        ConsoleCommand command;
        std::unique_ptr<Node> next;
    };
    std::array<std::unique_ptr<Node>, kBuckets> buckets_;
    int count_ = 0;
};

// A line runs a command only when the command's level is not above this.
extern int AccessLevel;
// The name of the command whose handler runs now (for shared handlers).
const std::string& CurrentCommandName();
// While off, TextConsole::Print prints nothing.
extern bool ConsoleOutputEnabled;

namespace TextConsole {
// Runs the line held in the shared line buffer (empties it as it goes).
void Execute();
// Copies `text` into the line buffer and runs it at the current level.
void ExecuteLine(const char* text, const LineOrigin& origin = {});
// The same at access level 3 (key bindings, program-built and typed lines).
void ExecuteAtFullAccess(const char* text, const LineOrigin& origin = {LineSource::Program, {}, 0});
} // namespace TextConsole

// Handlers of the control commands, for the table.
namespace ConsoleControl {
void At();
void If();
void IfCarrying();
void Echo();
void Help();
void ListCommands();
void Quit();
void Nothing();
} // namespace ConsoleControl
