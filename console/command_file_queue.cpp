#include "console/command_file_queue.h"

#include "console/command_files.h"
#include "console/command_script.h"
#include "console/text_console.h"
#include "session/message_queue.h"

#include <cstring>
#include <string>

void RunQueuedCommandFile()
{
    const GameMessage message = CommandFileQueue.Pop();
    if (message.IsEmpty())
        return;
    const char* text = reinterpret_cast<const char*>(message.Data());
    const size_t length = strnlen(text, message.Size());
    if (length == 0 || length + 1 != message.Size()) {
        TextConsole::PrintFailure("command file: the queued name is not one text");
        return;
    }
    const std::string name(text, length);
    // Bare names in the scripts folder; the working folder never changes.
    if (name.find_first_of("/\\") != std::string::npos) {
        TextConsole::PrintFailure("command file: not a name in the scripts folder: " + name);
        return;
    }
    const auto path = CommandFiles::Open(CommandFiles::ScriptsFolder(), name, "command file");
    if (!path)
        return;
    LineOrigin origin;
    origin.source = LineSource::LevelFile;
    origin.file = name;
    CommandScript::QueueFile(*path, origin);
}
