#include "app/shell/startup_options.h"

namespace {

// A path that opens with a quote runs to the matching quote, possibly over
// several arguments (joined with blanks).
std::string TakePath(const std::vector<std::string>& args, size_t& i, std::string first)
{
    if (first.empty() || (first[0] != '"' && first[0] != '\''))
        return first;
    const char quote = first[0];
    std::string path = first.substr(1);
    for (;;) {
        const size_t close = path.find(quote);
        if (close != std::string::npos)
            return path.substr(0, close);
        if (i + 1 >= args.size())
            return path; // no closing quote: the rest of the line
        path += ' ';
        path += args[++i];
    }
}

} // namespace

StartupOptions ParseStartupOptions(const std::vector<std::string>& args)
{
    StartupOptions options;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (!options.commandLine.empty())
            options.commandLine += ' ';
        options.commandLine += a;
        if (a == "-s") {
            options.askWindow = true;
        } else if (a == "-r") {
            options.referenceDevice = true;
        } else if (a == "-n") {
            options.silentSound = true;
        } else if (a == "-w") {
            if (i + 1 < args.size()) {
                ++i;
                options.commandLine += ' ' + args[i];
                options.workingDirectory = TakePath(args, i, args[i]);
            } else {
                options.workingDirectory = std::string();
            }
        } else if (a.rfind("-w", 0) == 0) {
            options.workingDirectory = TakePath(args, i, a.substr(2));
        } else {
            options.ignored.push_back(a);
        }
    }
    return options;
}
