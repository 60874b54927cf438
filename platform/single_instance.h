// Refuses a second running copy of the program: an advisory lock on a file
// named after the instance under $XDG_RUNTIME_DIR (else /tmp), held until the
// process ends, so a crashed copy never leaves a stale lock behind.
#pragma once

#include <filesystem>
#include <string_view>

namespace platform {

class SingleInstance {
public:
    SingleInstance() = default;
    ~SingleInstance();
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    enum class Result { Acquired, AlreadyRunning, Unavailable };

    // Unavailable means the lock file could not be made (no writable folder);
    // the caller decides whether to run anyway.
    Result Acquire(std::string_view name);
    void Release();

    static std::filesystem::path LockPath(std::string_view name);

private:
    int fd_ = -1;
};

} // namespace platform
