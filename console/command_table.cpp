#include "console/command_table.h"

#include "app/app_state.h"
#include "console/named_values.h"
#include "console/readers.h"
#include "console/script_messages.h"
#include "console/text_console.h"
#include "objects/game_object.h"
#include "objects/inventory.h"
#include "objects/object_registry.h"
#include "objects/role_table.h"
#include "objects/teams.h"
#include "script/records.h"
#include "session/game_state.h"

#include <cstring>
#include <strings.h>
#include <vector>

int AccessLevel = 3;
bool ConsoleOutputEnabled = true;

namespace {
LineOrigin g_origin;
std::string g_commandName;
} // namespace

const std::string& CurrentCommandName() { return g_commandName; }

std::string LineOrigin::Describe() const
{
    static const char* const kNames[] = {"typed line", "key binding", "program line", "level file",
                                         "BATCH file", "briefing", "saved game", "host file", "demo"};
    std::string text = kNames[static_cast<int>(source)];
    if (!file.empty())
        text += " " + file;
    if (line > 0)
        text += ", line " + std::to_string(line);
    return text;
}

namespace TextConsole {

const LineOrigin& CurrentOrigin() { return g_origin; }

OriginScope::OriginScope(LineOrigin origin) : saved_(std::move(g_origin)) { g_origin = std::move(origin); }
OriginScope::~OriginScope() { g_origin = std::move(saved_); }

} // namespace TextConsole

namespace {
// At namespace scope, made before main: it outlives the exit handlers that
// start-up registers, which still clear it.
CommandTable g_commandTable;
} // namespace

CommandTable& CommandTable::Global()
{
    return g_commandTable;
}

size_t CommandTable::BucketOf(char c)
{
    unsigned char u = static_cast<unsigned char>(c);
    if (u >= 'a' && u <= 'z')
        u = static_cast<unsigned char>(u - 'a' + 'A');
    return u & 63u;
}

namespace {
std::vector<std::pair<std::string, CommandHandler>>& ProvidedHandlers()
{
    static std::vector<std::pair<std::string, CommandHandler>> handlers;
    return handlers;
}
} // namespace

void CommandTable::Provide(const char* name, CommandHandler handler)
{
    auto& handlers = ProvidedHandlers();
    std::erase_if(handlers, [&](const auto& entry) { return entry.first == name; });
    if (handler)
        handlers.emplace_back(name, handler);
    for (auto& head : Global().buckets_)
        for (Node* n = head.get(); n; n = n->next.get())
            if (n->command.name == name && handler)
                n->command.handler = handler;
}

CommandHandler CommandTable::Provided(const std::string& name)
{
    for (const auto& [provided, handler] : ProvidedHandlers())
        if (provided == name)
            return handler;
    return nullptr;
}

int CommandTable::Register(const char* name, const char* help, CommandHandler handler, int level)
{
    auto node = std::make_unique<Node>();
    node->command = {name ? name : "", help ? help : "", handler, level};
    auto& head = buckets_[BucketOf(node->command.name.empty() ? '\0' : node->command.name[0])];
    node->next = std::move(head);
    head = std::move(node);
    ++count_;
    return 1;
}

bool CommandTable::Remove(const char* name, CommandHandler handler)
{
    auto* link = &buckets_[BucketOf(name ? name[0] : '\0')];
    while (*link) {
        Node& n = **link;
        if (n.command.handler == handler && strcasecmp(n.command.name.c_str(), name ? name : "") == 0) {
            *link = std::move(n.next);
            --count_;
            return true;
        }
        link = &n.next;
    }
    return false;
}

void CommandTable::Clear()
{
    for (auto& head : buckets_)
        while (head)
            head = std::move(head->next); // unlinks one at a time: no deep recursion
    count_ = 0;
}

const ConsoleCommand* CommandTable::Match(const char* line) const
{
    if (!line || !line[0])
        return nullptr;
    const ConsoleCommand* best = nullptr;
    for (const Node* n = buckets_[BucketOf(line[0])].get(); n; n = n->next.get()) {
        const std::string& name = n->command.name;
        if (name.empty() || (best && name.size() <= best->name.size()))
            continue;
        if (strncasecmp(name.c_str(), line, name.size()) == 0)
            best = &n->command;
    }
    return best;
}

const ConsoleCommand* CommandTable::FindExact(const char* name) const
{
    if (!name || !name[0])
        return nullptr;
    for (const Node* n = buckets_[BucketOf(name[0])].get(); n; n = n->next.get())
        if (strcasecmp(n->command.name.c_str(), name) == 0)
            return &n->command;
    return nullptr;
}

namespace TextConsole {

void Execute()
{
    char* line = LineBuffer();
    if (!line[0])
        return;
    if (const ConsoleCommand* command = CommandTable::Global().Match(line)) {
        const CommandHandler handler = command->handler;
        const int level = command->level;
        ConsumeLine(command->name.size());
        if (level <= AccessLevel && handler) {
            const std::string saved = std::move(g_commandName);
            g_commandName = command->name;
            handler();
            g_commandName = saved;
        }
        return;
    }
    const std::string word = ReadWord();
    float value = 0.0f;
    if (!word.empty() && NamedValueList::Global().Get(word, value)) {
        const std::string text = word + " = " + FormatFloat(value);
        Print(text.c_str());
    } else {
        PrintFailure("Unrecognised command or token.");
    }
}

void ExecuteLine(const char* text, const LineOrigin& origin)
{
    OriginScope scope(origin);
    SetLine(text);
    Execute();
    SetLine("");
}

void ExecuteAtFullAccess(const char* text, const LineOrigin& origin)
{
    const int saved = AccessLevel;
    AccessLevel = 3;
    ExecuteLine(text, origin);
    AccessLevel = saved;
}

} // namespace TextConsole

namespace ConsoleControl {

using namespace TextConsole;

namespace {
// Whether a unit of a player's side carries an item made from the role.
bool AnySquadUnitCarries(int32_t roleId)
{
    for (int32_t side = 0; side < SideLists::kSides; ++side) {
        if (!TeamTable::IsSquadSide(side))
            continue;
        for (GameObject* unit : SideLists::Global().Side(side)) {
            const Inventory* inventory = unit->GetInventory();
            if (!inventory)
                continue;
            for (const CarriedItem& item : inventory->Items())
                if (item.roleId == roleId)
                    return true;
        }
    }
    return false;
}

// Runs what is left of the line after blanks, then empties the buffer.
void RunRest()
{
    RestOfLine();
    Execute();
    SetLine("");
}
} // namespace

void At()
{
    const bool saved = ConsoleOutputEnabled;
    ConsoleOutputEnabled = false;
    RunRest();
    ConsoleOutputEnabled = saved;
}

void If()
{
    switch (ReadComparison()) {
    case 1: RunRest(); break;
    case 0: SetLine(""); break;
    default: PrintFailure(Text(6046)); SetLine(""); break;
    }
}

void IfCarrying()
{
    if (!ScriptMessages::RunsServer()) {
        SetLine("");
        return;
    }
    GameState::Hold hold;
    const std::string name = ReadWord();
    const script::Role* role = name.empty() ? nullptr : RoleTable::Global().FindByName(name);
    if (role && AnySquadUnitCarries(role->id))
        RunRest();
    SetLine("");
}

void Echo()
{
    const std::string word = ReadWord();
    if (strcasecmp(word.c_str(), "ON") == 0 || strcasecmp(word.c_str(), "TRUE") == 0) {
        Print(Text(6069));
        ConsoleOutputEnabled = true;
    } else if (strcasecmp(word.c_str(), "OFF") == 0 || strcasecmp(word.c_str(), "FALSE") == 0) {
        ConsoleOutputEnabled = false;
    } else {
        const std::string text = std::string(Text(6068)) + Text(ConsoleOutputEnabled ? 7007 : 7008);
        Print(text.c_str());
    }
}

void Help()
{
    const std::string rest = ReadRestOfLine();
    const CommandTable& table = CommandTable::Global();
    if (rest.empty()) {
        ListCommands();
        return;
    }
    if (const ConsoleCommand* c = table.FindExact(rest.c_str()))
        Print(c->help.c_str());
    else
        Print(Text(6049));
}

void ListCommands()
{
    std::vector<std::string> names;
    CommandTable::Global().ForEach([&](const ConsoleCommand& c) {
        if (!c.name.empty())
            names.push_back(c.name);
    });
    for (const std::string& n : names)
        Print(n.c_str());
}

void Quit() { ExitProgram(1); }

void Nothing() { SetLine(""); }

} // namespace ConsoleControl
