// The system registry the configuration code expects, kept as a small text
// file ($XDG_CONFIG_HOME/trevok/registry.txt, default ~/.config): values by
// hive, key and name, typed as string, 32-bit number or binary. Every call
// reads the file; every change rewrites it atomically. A damaged line is
// skipped with a warning (file and line) and the damaged file is kept
// beside as "registry.txt.damaged" before it is first rewritten.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

enum class RegistryHive { LocalMachine, CurrentUser };
enum class RegistryType { String, Dword, Binary };

struct RegistryValue {
    RegistryType type = RegistryType::String;
    std::string text;           // String
    uint32_t number = 0;        // Dword
    std::vector<uint8_t> bytes; // Binary
};

// Where the values live; follows XDG_CONFIG_HOME at every call.
std::filesystem::path RegistryFilePath();

std::optional<RegistryValue> RegistryGet(RegistryHive hive, std::string_view key, std::string_view name);
// False when the file cannot be written (the old file is then unchanged).
bool RegistrySet(RegistryHive hive, std::string_view key, std::string_view name, const RegistryValue& value);

} // namespace platform
