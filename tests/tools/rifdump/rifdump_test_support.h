// Helpers of the dump tool's tests: fixture paths, files in a per-process folder, the
// hand-made chunk bytes of support/chunk_bytes.h, and a run of the report into a string.
#pragma once

#include "support/chunk_bytes.h"
#include "tools/rifdump/chunk_report.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <unistd.h>

namespace rifdumptest {

using chunkbytes::Bytes;
using chunkbytes::MakeChunk;
using chunkbytes::PlainFile;
using chunkbytes::ReadBytes;
using chunkbytes::WriteBytes;

inline std::filesystem::path FixturePath(const std::string& name)
{
    return chunkbytes::FixturePath("rifdump", name);
}

inline std::string ReadText(const std::filesystem::path& p)
{
    auto b = ReadBytes(p);
    return std::string(b.begin(), b.end());
}

// One folder per test process, removed when the process ends.
inline std::filesystem::path TempFolder()
{
    struct Folder {
        std::filesystem::path path_ =
            std::filesystem::temp_directory_path() / ("rifdump_tests_" + std::to_string(::getpid()));
        ~Folder()
        {
            std::error_code ignored;
            std::filesystem::permissions(path_ / "program" / "model.rif", std::filesystem::perms::owner_write,
                                         std::filesystem::perm_options::add, ignored);
            std::filesystem::remove_all(path_, ignored);
        }
    };
    static Folder folder;
    std::filesystem::create_directories(folder.path_);
    return folder.path_;
}

struct RunResult {
    int status_ = -1;
    std::string out_;
    std::string errors_;
};

inline RunResult RunReport(const std::vector<std::string>& args)
{
    std::vector<const char*> argv;
    for (const auto& a : args)
        argv.push_back(a.c_str());
    argv.push_back(nullptr);
    char* outText = nullptr;
    size_t outSize = 0;
    char* errText = nullptr;
    size_t errSize = 0;
    std::FILE* out = open_memstream(&outText, &outSize);
    std::FILE* err = open_memstream(&errText, &errSize);
    RunResult r;
    r.status_ = trevok::rifdump::RunChunkDump(static_cast<int>(args.size()), argv.data(), out, err);
    std::fclose(out);
    std::fclose(err);
    r.out_.assign(outText, outSize);
    r.errors_.assign(errText, errSize);
    std::free(outText);
    std::free(errText);
    return r;
}

} // namespace rifdumptest
