// The program's switches: "-s" asks whether to run in a window, "-r" sets
// the top bit of the display flags, "-n" silences the sound, "-w DIR" starts
// in DIR. Switches are whole arguments, so a path holding "-n" is a path.
#pragma once

#include <optional>
#include <string>
#include <vector>

struct StartupOptions {
    bool askWindow = false;
    bool referenceDevice = false;
    bool silentSound = false;
    std::optional<std::string> workingDirectory; // "" when "-w" ends the line
    std::string commandLine;                     // the arguments joined, for the record
    std::vector<std::string> ignored;            // arguments that are no switch
};

// `args` excludes the program name. "-w" takes the next argument; a path
// given with its own quotes (as a Windows shortcut would write it) may span
// several arguments up to the matching quote. "-wDIR" works too.
StartupOptions ParseStartupOptions(const std::vector<std::string>& args);
