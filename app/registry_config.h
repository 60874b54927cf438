// The configuration values kept in the registry key
// "Software\Velquarin\Trevok\Configuration": ids 1 to 4 per user, every other
// id machine-wide. Nothing is cached: each call reads or writes the store.
#pragma once

#include <cstdint>
#include <string>

namespace Registry {

inline constexpr const char* kKey = "Software\\Velquarin\\Trevok\\Configuration";
inline constexpr uint32_t kMissingNumber = 0x7FFFFFFF;

enum : uint32_t { kPath = 0, kNewUser = 1, kMpSession = 2, kMpIpAddr = 3, kMpGameType = 4 };

std::string ValueName(uint32_t id); // "Path", ..., else "Unnamed%08x"
bool IsPerUser(uint32_t id);

// The text (at most 2048 bytes) in a buffer the next call overwrites; null
// when missing, of another type or empty.
const char* GetString(uint32_t id);
// A null text is written as the empty one. False when it could not be stored.
bool SetString(uint32_t id, const char* text);
// The whole 32-bit value; kMissingNumber when missing or of another type.
uint32_t GetDword(uint32_t id);
bool SetDword(uint32_t id, uint32_t value);

} // namespace Registry
