#include "platform/single_instance.h"

#include <cerrno>
#include <cstdlib>
#include <string>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace platform {

std::filesystem::path SingleInstance::LockPath(std::string_view name)
{
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime && *runtime)
        return std::filesystem::path(runtime) / (std::string(name) + ".lock");
    // /tmp is shared between users: the uid keeps one user's lock from
    // refusing another's game.
    return std::filesystem::path("/tmp") / (std::string(name) + "-" + std::to_string(getuid()) + ".lock");
}

SingleInstance::Result SingleInstance::Acquire(std::string_view name)
{
    Release();
    const std::string path = LockPath(name).string();
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        return Result::Unavailable;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int err = errno;
        ::close(fd);
        return err == EWOULDBLOCK ? Result::AlreadyRunning : Result::Unavailable;
    }
    fd_ = fd;
    return Result::Acquired;
}

void SingleInstance::Release()
{
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

SingleInstance::~SingleInstance() { Release(); }

} // namespace platform
