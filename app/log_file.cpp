#include "app/log_file.h"

#include <cstdarg>
#include <cstdio>
#include <unistd.h>

namespace {

std::string g_path;
bool g_started = false;

std::string g_folder;

void Start()
{
    char cwd[241] = {};
    const std::string dir = !g_folder.empty() ? g_folder : getcwd(cwd, sizeof cwd) ? cwd : ".";
    g_path = LogFile::BuildPath(LogFile::kName, dir);
    std::remove(g_path.c_str());
    g_started = true;
}

void Append(const char* text)
{
    if (!g_started)
        Start();
    // A log that cannot be opened loses the line and nothing else.
    if (FILE* f = std::fopen(g_path.c_str(), "a+")) {
        std::fprintf(f, "%s\n", text);
        std::fclose(f);
    }
}

} // namespace

std::string LogFile::BuildPath(const std::string& name, const std::string& currentDir)
{
    if (!name.empty() && (name[0] == '\\' || name[0] == '/' || (name.size() > 1 && name[1] == ':')))
        return name;
    return currentDir + "/" + name;
}

void LogFile::Write(const char* format, ...)
{
    char text[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    Append(text);
}

void LogFile::WriteLine(const char* text)
{
    Append(text);
}

void LogFile::Reset()
{
    Start();
}

void LogFile::SetFolder(const std::string& folder)
{
    g_folder = folder;
    g_started = false;
}

std::string LogFile::Path()
{
    return g_started ? g_path : std::string();
}
