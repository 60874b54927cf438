#include "app/registry_config.h"

#include "platform/registry.h"

#include <cstdio>
#include <cstring>

namespace Registry {
namespace {

constexpr size_t kMaxString = 2048;
char g_buffer[kMaxString];

platform::RegistryHive HiveOf(uint32_t id)
{
    return IsPerUser(id) ? platform::RegistryHive::CurrentUser : platform::RegistryHive::LocalMachine;
}

} // namespace

bool IsPerUser(uint32_t id) { return id >= 1 && id <= 4; }

std::string ValueName(uint32_t id)
{
    switch (id) {
    case kPath: return "Path";
    case kNewUser: return "New User";
    case kMpSession: return "MP Session";
    case kMpIpAddr: return "MP IP Addr";
    case kMpGameType: return "MP Game Type";
    default: {
        char buf[32];
        std::snprintf(buf, sizeof buf, "Unnamed%08x", id);
        return buf;
    }
    }
}

const char* GetString(uint32_t id)
{
    const auto value = platform::RegistryGet(HiveOf(id), kKey, ValueName(id));
    if (!value || value->type != platform::RegistryType::String || value->text.empty())
        return nullptr;
    // The stored size includes the terminator, so 2047 characters fit.
    const size_t n = value->text.size() < kMaxString - 1 ? value->text.size() : kMaxString - 1;
    std::memcpy(g_buffer, value->text.data(), n);
    g_buffer[n] = '\0';
    return g_buffer;
}

bool SetString(uint32_t id, const char* text)
{
    platform::RegistryValue value;
    value.type = platform::RegistryType::String;
    value.text = text ? text : "";
    return platform::RegistrySet(HiveOf(id), kKey, ValueName(id), value);
}

uint32_t GetDword(uint32_t id)
{
    const auto value = platform::RegistryGet(HiveOf(id), kKey, ValueName(id));
    if (!value || value->type != platform::RegistryType::Dword)
        return kMissingNumber;
    return value->number;
}

bool SetDword(uint32_t id, uint32_t value)
{
    platform::RegistryValue v;
    v.type = platform::RegistryType::Dword;
    v.number = value;
    return platform::RegistrySet(HiveOf(id), kKey, ValueName(id), v);
}

} // namespace Registry
