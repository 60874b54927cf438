#include "script/directory_list.h"

#include "app/directories.h"

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
    return app::DataDirectories::Global().Load(start, app::kDirectoryListFile,
                                               [&](const std::filesystem::path& file) {
                                                   return ReadDirectoryList(file, options);
                                               });
}

} // namespace script
