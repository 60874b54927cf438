// Helpers of the dump tool's tests: fixture paths, files in a per-process folder, a
// little-endian byte builder of the tests' own, and a run of the report into a string.
#pragma once

#include "tools/rifdump/chunk_report.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include <unistd.h>

namespace rifdumptest {

inline std::filesystem::path FixturePath(const std::string& name)
{
    const char* root = std::getenv("TREVOK_FIXTURES");
    std::filesystem::path base = root ? root : TREVOK_SOURCE_FIXTURES;
    return base / "rifdump" / name;
}

inline std::vector<uint8_t> ReadBytes(const std::filesystem::path& p)
{
    std::ifstream in(p, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

inline std::string ReadText(const std::filesystem::path& p)
{
    auto b = ReadBytes(p);
    return std::string(b.begin(), b.end());
}

inline void WriteBytes(const std::filesystem::path& p, const std::vector<uint8_t>& b)
{
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
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

struct Bytes {
    std::vector<uint8_t> b;
    Bytes& U32(uint32_t v)
    {
        for (int i = 0; i < 4; ++i)
            b.push_back(static_cast<uint8_t>(v >> (8 * i)));
        return *this;
    }
    Bytes& Raw(std::string_view s)
    {
        b.insert(b.end(), s.begin(), s.end());
        return *this;
    }
    Bytes& Add(const std::vector<uint8_t>& more)
    {
        b.insert(b.end(), more.begin(), more.end());
        return *this;
    }
    Bytes& Zeros(size_t n)
    {
        b.insert(b.end(), n, uint8_t{0});
        return *this;
    }
};

inline std::vector<uint8_t> MakeChunk(std::string_view id, const std::vector<uint8_t>& payload = {})
{
    Bytes c;
    for (size_t i = 0; i < 8; ++i)
        c.b.push_back(i < id.size() ? static_cast<uint8_t>(id[i]) : 0);
    c.U32(static_cast<uint32_t>(12 + payload.size())).Add(payload);
    return c.b;
}

inline std::vector<uint8_t> PlainFile(const std::vector<std::vector<uint8_t>>& chunks)
{
    Bytes body;
    for (const auto& c : chunks)
        body.Add(c);
    Bytes file;
    file.Raw("VQNINFF2").U32(static_cast<uint32_t>(12 + body.b.size())).Add(body.b);
    return file.b;
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
