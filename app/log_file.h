// The append-only log file "LOGFILE.TXT": each run starts a fresh one in the
// folder it was given (else the one current at its first line). The device layer writes its
// validation failures here.
#pragma once

#include <string>

class LogFile {
public:
    static constexpr const char* kName = "LOGFILE.TXT";

    // Formats (at most 1023 characters kept) and appends the text and a newline.
    static void Write(const char* format, ...) __attribute__((format(printf, 1, 2)));
    static void WriteLine(const char* text);
    // Builds the path and deletes the file: the next line starts a new log.
    static void Reset();
    // The folder the log is kept in from its next start (the game's data
    // root); empty: the folder current at the first line.
    static void SetFolder(const std::string& folder);
    // The full path, empty before the first line of the run.
    static std::string Path();

    // The path for a stored name and a current folder.
    static std::string BuildPath(const std::string& name, const std::string& currentDir);
};
