// A developer utility kept for tools: a file of fixed 60-byte records
// preceded by their u32 count, read and written whole.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace RecordFile {

inline constexpr size_t kRecordSize = 60;
using Record = std::array<uint8_t, kRecordSize>;
// A larger file is refused unread, and never written.
inline constexpr uint64_t kMaxFileBytes = uint64_t{64} << 20;

// False (with `error` naming the file and the fault) when the file cannot
// be read or its count does not match its length; `records` is then left
// as it was.
bool ReadWholeFile(std::vector<Record>& records, const std::filesystem::path& name, std::string* error = nullptr);
bool WriteWholeFile(const std::vector<Record>& records, const std::filesystem::path& name);

} // namespace RecordFile
