// Small file-system services in the shape the engine's file code expects:
// whole-file reads and writes, attributes, time stamps and directory search
// with the Windows wildcard rules ('*', '?', letter case ignored).
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/unfilled_bytes.h"

namespace platform {

bool FileExists(const std::filesystem::path& path);      // a regular file
bool DirectoryExists(const std::filesystem::path& path); // a folder

// Size in bytes; empty when the file does not exist or cannot be read.
std::optional<uint64_t> FileSize(const std::filesystem::path& path);

// Modification time in seconds since 1970; empty when the file is missing.
// Caches store it to notice a changed source file.
std::optional<int64_t> FileModificationTime(const std::filesystem::path& path);

// Looks at the first bytes of a file before the rest is read: empty when
// they are acceptable, else what is wrong with them. `fileSize` is the size
// the whole read will have.
using FileHeadCheck = std::function<std::string(std::span<const uint8_t> head, uint64_t fileSize)>;

// The one whole-file read for data files. It refuses anything but a regular
// file (folders, devices and FIFOs are never read or waited on), refuses a
// file above `maxBytes` before reading it, and can check the first
// `headBytes` bytes before reading the rest. It never throws. On failure
// `error` (when given) reads "<file>: no such file", "<file>: not a regular
// file", "<file>: too large (N bytes, at most M)", the head check's reason,
// or the system's read error; errno then holds the system's code, or EISDIR
// (a folder), EINVAL (another kind of file, or a refused head) or EFBIG.
std::optional<std::vector<uint8_t>> ReadWholeFile(const std::filesystem::path& path, uint64_t maxBytes,
                                                  std::string* error = nullptr, size_t headBytes = 0,
                                                  const FileHeadCheck& checkHead = {});
// The same read into a buffer that skips the zero fill before the read.
std::optional<UnfilledBytes> ReadWholeFileUnfilled(const std::filesystem::path& path, uint64_t maxBytes,
                                                   std::string* error = nullptr);
// A whole-file image for a parser, read (with the head check) into an unfilled buffer.
std::optional<UnfilledImage> ReadWholeFileImage(const std::filesystem::path& path, uint64_t maxBytes,
                                                std::string* error = nullptr, size_t headBytes = 0,
                                                const FileHeadCheck& checkHead = {});

// Where the rest of a file goes once its head is read: storage the rest
// must fill exactly, or, with `why` set, the reason the file is refused.
using FileRestPlace =
    std::function<std::span<uint8_t>(std::span<const uint8_t> head, uint64_t fileSize, std::string& why)>;
// The whole-file read for records that go straight into their final storage:
// the first `headBytes` bytes (fewer in a shorter file) are read and shown to
// `place`, then the rest is read into the storage it gives. The same refusals
// and messages as ReadWholeFile, `place`'s reason when it refuses, and
// "<file>: changed size while it was read" (errno EIO) when the rest does not
// end where the storage ends. Never throws.
bool ReadFileInto(const std::filesystem::path& path, uint64_t maxBytes, size_t headBytes, const FileRestPlace& place,
                  std::string* error = nullptr);

// Writes `bytes` to a temporary file beside `path` and renames it over
// `path`, so a crash never leaves a half-written file. False on failure, in
// which case the old file is untouched.
bool WriteWholeFile(const std::filesystem::path& path, const void* bytes, size_t size);

bool RemoveFile(const std::filesystem::path& path);
bool RenameFile(const std::filesystem::path& from, const std::filesystem::path& to);

// True when `name` matches `pattern`: '*' any run of characters, '?' any one
// character, ASCII letters compared without regard to case. "*.*" matches
// every name, as on Windows, even one without a dot.
bool MatchWildcard(std::string_view pattern, std::string_view name);

struct DirectoryEntry {
    std::string name; // file name only
    bool isDirectory = false;
    uint64_t size = 0;
};

// The entries of `directory` whose names match `pattern`, sorted by name in
// byte order so that searches give the same order on every machine. "." and
// ".." are never listed. Empty when the folder cannot be read.
std::vector<DirectoryEntry> FindFiles(const std::filesystem::path& directory,
                                      std::string_view pattern = "*");

} // namespace platform
