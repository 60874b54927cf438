// A benchmark input in the temporary folder, named per process so parallel
// runs keep their inputs apart, and removed when the program ends so runs
// leave no files behind.
#pragma once

#include <filesystem>
#include <string>
#include <system_error>

#include <unistd.h>

class BenchTempFile {
public:
    // `stem` + "-" + the process id + `extension`; nothing is made yet.
    BenchTempFile(const std::string& stem, const std::string& extension)
        : path_(std::filesystem::temp_directory_path() / (stem + "-" + std::to_string(getpid()) + extension))
    {
    }
    BenchTempFile(const BenchTempFile&) = delete;
    BenchTempFile& operator=(const BenchTempFile&) = delete;
    ~BenchTempFile()
    {
        std::error_code ec;
        std::filesystem::remove(path_, ec);
    }
    const std::filesystem::path& Path() const { return path_; }

private:
    std::filesystem::path path_;
};
