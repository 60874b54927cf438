#include "script/directory_list.h"

#include "app/directories.h"
#include "app/log_file.h"

#include <cstdio>

namespace script {

bool ReadDirectoryList(const std::filesystem::path& listFile, const CompileOptions& options)
{
    CompileResult result = CompileScriptFile(listFile, kDirectoryListMode, options);
    if (!result.list)
        return false;
    result.list->BuildAll();
    result.list->Release();
    return true;
}

bool LoadDataDirectories(const std::filesystem::path& start, const CompileOptions& options)
{
    // Nothing else shows a message this early: each goes to standard error
    // and the log file, then to the caller's sink.
    CompileOptions reporting = options;
    reporting.sink = [&options](const ScriptMessage& message) {
        const std::string line = FormatMessage(message);
        std::fprintf(stderr, "%s\n", line.c_str());
        LogFile::WriteLine(line.c_str());
        if (options.sink)
            options.sink(message);
    };
    return app::DataDirectories::Global().Load(start, app::kDirectoryListFile,
                                               [&](const std::filesystem::path& file) {
                                                   return ReadDirectoryList(file, reporting);
                                               });
}

} // namespace script
