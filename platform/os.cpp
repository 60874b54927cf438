#include "platform/os.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>
#include <cstdio>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace fs = std::filesystem;

bool FileExists(const fs::path& path)
{
    std::error_code ec;
    return fs::is_regular_file(path, ec);
}

bool DirectoryExists(const fs::path& path)
{
    std::error_code ec;
    return fs::is_directory(path, ec);
}

std::optional<uint64_t> FileSize(const fs::path& path)
{
    std::error_code ec;
    const auto size = fs::file_size(path, ec);
    if (ec)
        return std::nullopt;
    return static_cast<uint64_t>(size);
}

std::optional<int64_t> FileModificationTime(const fs::path& path)
{
    struct stat st {};
    if (stat(path.c_str(), &st) != 0)
        return std::nullopt;
    return static_cast<int64_t>(st.st_mtime);
}

namespace {

// Reads up to `count` bytes at the descriptor's position; fewer only at the end.
bool ReadFully(int fd, uint8_t* to, size_t count, size_t& got)
{
    got = 0;
    while (got < count) {
        const ssize_t n = read(fd, to + got, count - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        if (n == 0)
            break;
        got += static_cast<size_t>(n);
    }
    return true;
}

std::string TooLarge(uint64_t size, uint64_t maxBytes)
{
    return "too large (" + std::to_string(size) + " bytes, at most " + std::to_string(maxBytes) + ")";
}

} // namespace

namespace {

// Why a whole-file read failed: "<file>: <why>" in `error` (when given), the
// code in errno.
struct ReadFailure {
    const fs::path& path;
    std::string* error;
    void operator()(const std::string& why, int code = 0) const
    {
        const int saved = code ? code : errno;
        if (error)
            *error = path.string() + ": " + why;
        errno = saved;
    }
};

// A file opened for one of the whole-file reads: a regular file of at most
// `maxBytes`, never waited on. Closed with the object.
class FileToRead {
public:
    FileToRead(const fs::path& path, uint64_t maxBytes, const ReadFailure& fail)
    {
        // Non-blocking, so that opening a FIFO returns at once; it is refused below.
        fd_ = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
        struct stat st {};
        if (fd_ < 0)
            fail(errno == ENOENT || errno == ENOTDIR ? "no such file" : std::strerror(errno));
        else if (fstat(fd_, &st) != 0)
            fail(std::strerror(errno));
        else if (!S_ISREG(st.st_mode))
            fail("not a regular file", S_ISDIR(st.st_mode) ? EISDIR : EINVAL);
        else if (static_cast<uint64_t>(st.st_size) > maxBytes)
            fail(TooLarge(static_cast<uint64_t>(st.st_size), maxBytes), EFBIG);
        else {
            size_ = static_cast<uint64_t>(st.st_size);
            ok_ = true;
        }
    }
    ~FileToRead()
    {
        if (fd_ >= 0)
            close(fd_);
    }
    FileToRead(const FileToRead&) = delete;
    FileToRead& operator=(const FileToRead&) = delete;

    bool Ok() const { return ok_; }
    int Fd() const { return fd_; }
    uint64_t Size() const { return size_; }

private:
    int fd_ = -1;
    uint64_t size_ = 0;
    bool ok_ = false;
};

template <class Bytes>
std::optional<Bytes> ReadWholeFileAs(const fs::path& path, uint64_t maxBytes, std::string* error, size_t headBytes,
                                     const FileHeadCheck& checkHead)
{
    const ReadFailure failure{path, error};
    auto fail = [&](const std::string& why, int code = 0) -> std::optional<Bytes> {
        failure(why, code);
        return std::nullopt;
    };
    const FileToRead file(path, maxBytes, failure);
    if (!file.Ok())
        return std::nullopt;
    const int fd = file.Fd();
    const uint64_t size = file.Size();

    Bytes bytes;
    try {
        bytes.resize(static_cast<size_t>(size));
        size_t got = 0;
        const size_t head = std::min(headBytes, bytes.size());
        if (!ReadFully(fd, bytes.data(), head, got))
            return fail(std::strerror(errno));
        if (checkHead) {
            const std::string why = checkHead(std::span<const uint8_t>(bytes.data(), got), size);
            if (!why.empty())
                return fail(why, EINVAL);
        }
        size_t rest = 0;
        if (!ReadFully(fd, bytes.data() + got, bytes.size() - got, rest))
            return fail(std::strerror(errno));
        bytes.resize(got + rest); // the file shrank while it was read
        // A file that grew, or one whose size the system does not know
        // beforehand, is read on up to the limit.
        uint8_t chunk[65536];
        for (;;) {
            size_t more = 0;
            if (!ReadFully(fd, chunk, sizeof chunk, more))
                return fail(std::strerror(errno));
            if (more == 0)
                break;
            if (bytes.size() + more > maxBytes)
                return fail(TooLarge(bytes.size() + more, maxBytes), EFBIG);
            bytes.insert(bytes.end(), chunk, chunk + more);
        }
    } catch (const std::bad_alloc&) {
        return fail("not enough memory to read " + std::to_string(size) + " bytes", ENOMEM);
    }
    return bytes;
}

} // namespace

std::optional<std::vector<uint8_t>> ReadWholeFile(const fs::path& path, uint64_t maxBytes, std::string* error,
                                                  size_t headBytes, const FileHeadCheck& checkHead)
{
    return ReadWholeFileAs<std::vector<uint8_t>>(path, maxBytes, error, headBytes, checkHead);
}

std::optional<UnfilledBytes> ReadWholeFileUnfilled(const fs::path& path, uint64_t maxBytes, std::string* error)
{
    return ReadWholeFileAs<UnfilledBytes>(path, maxBytes, error, 0, {});
}

std::optional<UnfilledImage> ReadWholeFileImage(const fs::path& path, uint64_t maxBytes, std::string* error,
                                                size_t headBytes, const FileHeadCheck& checkHead)
{
    return ReadWholeFileAs<UnfilledImage>(path, maxBytes, error, headBytes, checkHead);
}

bool ReadFileInto(const fs::path& path, uint64_t maxBytes, size_t headBytes, const FileRestPlace& place,
                  std::string* error)
{
    const ReadFailure fail{path, error};
    const FileToRead file(path, maxBytes, fail);
    if (!file.Ok())
        return false;
    try {
        std::vector<uint8_t> head(static_cast<size_t>(std::min<uint64_t>(headBytes, file.Size())));
        size_t got = 0;
        if (!ReadFully(file.Fd(), head.data(), head.size(), got)) {
            fail(std::strerror(errno));
            return false;
        }
        head.resize(got);
        std::string why;
        const std::span<uint8_t> rest = place(head, file.Size(), why);
        if (!why.empty()) {
            fail(why, EINVAL);
            return false;
        }
        // The rest must fill the storage and end with it: anything else means
        // the file changed after its size was taken.
        size_t read = 0;
        uint8_t probe = 0;
        size_t past = 0;
        if (!ReadFully(file.Fd(), rest.data(), rest.size(), read) || !ReadFully(file.Fd(), &probe, 1, past)) {
            fail(std::strerror(errno));
            return false;
        }
        if (read != rest.size() || past != 0) {
            fail("changed size while it was read", EIO);
            return false;
        }
    } catch (const std::bad_alloc&) {
        fail("not enough memory to read " + std::to_string(file.Size()) + " bytes", ENOMEM);
        return false;
    }
    return true;
}

bool WriteWholeFile(const fs::path& path, const void* bytes, size_t size)
{
    fs::path temporary = path;
    temporary += ".tmp";
    temporary += std::to_string(getpid());
    FILE* file = std::fopen(temporary.c_str(), "wb");
    if (!file)
        return false;
    bool ok = size == 0 || std::fwrite(bytes, 1, size, file) == size;
    ok = std::fflush(file) == 0 && ok;
    ok = fsync(fileno(file)) == 0 && ok;
    ok = std::fclose(file) == 0 && ok;
    if (ok && std::rename(temporary.c_str(), path.c_str()) == 0) {
        // The rename itself lasts only once the folder's entry is on disk.
        fs::path folder = path.parent_path();
        if (folder.empty())
            folder = ".";
        const int dir = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (dir >= 0) {
            fsync(dir);
            close(dir);
        }
        return true;
    }
    std::remove(temporary.c_str());
    return false;
}

bool RemoveFile(const fs::path& path)
{
    return std::remove(path.c_str()) == 0;
}

bool RenameFile(const fs::path& from, const fs::path& to)
{
    return std::rename(from.c_str(), to.c_str()) == 0;
}

namespace {

char Lower(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

} // namespace

bool MatchWildcard(std::string_view pattern, std::string_view name)
{
    if (pattern == "*.*")
        return true;
    // Iterative matcher with one back-track point: linear in practice and
    // free of the exponential cost of naive recursion on many '*'.
    size_t p = 0;
    size_t n = 0;
    size_t starP = std::string_view::npos;
    size_t starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && (pattern[p] == '?' || Lower(pattern[p]) == Lower(name[n]))) {
            ++p;
            ++n;
        } else if (p < pattern.size() && pattern[p] == '*') {
            starP = p++;
            starN = n;
        } else if (starP != std::string_view::npos) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*')
        ++p;
    return p == pattern.size();
}

std::vector<DirectoryEntry> FindFiles(const fs::path& directory, std::string_view pattern)
{
    std::vector<DirectoryEntry> entries;
    std::error_code ec;
    fs::directory_iterator it(directory, ec);
    if (ec)
        return entries;
    for (; it != fs::directory_iterator(); it.increment(ec)) {
        if (ec)
            break;
        std::string name = it->path().filename().string();
        if (!MatchWildcard(pattern, name))
            continue;
        DirectoryEntry entry;
        entry.name = std::move(name);
        std::error_code typeError;
        entry.isDirectory = it->is_directory(typeError);
        if (!entry.isDirectory) {
            std::error_code sizeError;
            const auto size = it->file_size(sizeError);
            entry.size = sizeError ? 0 : static_cast<uint64_t>(size);
        }
        entries.push_back(std::move(entry));
    }
    std::sort(entries.begin(), entries.end(),
              [](const DirectoryEntry& a, const DirectoryEntry& b) { return a.name < b.name; });
    return entries;
}

} // namespace platform
