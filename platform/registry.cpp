#include "platform/registry.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <system_error>
#include <tuple>

#include <fcntl.h>
#include <unistd.h>

namespace platform {
namespace {

using ValueKey = std::tuple<int, std::string, std::string>; // hive, key, name

const char* HiveName(RegistryHive hive)
{
    return hive == RegistryHive::LocalMachine ? "HKEY_LOCAL_MACHINE" : "HKEY_CURRENT_USER";
}

std::string Quote(std::string_view text)
{
    std::string out = "\"";
    for (char c : text) {
        switch (c) {
        case '\\': out += "\\\\"; break;
        case '"': out += "\\\""; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        default: out += c; break;
        }
    }
    return out + "\"";
}

// Reads a quoted text at `pos`; pos ends after the closing quote.
bool Unquote(const std::string& line, size_t& pos, std::string& out)
{
    if (pos >= line.size() || line[pos] != '"')
        return false;
    out.clear();
    for (++pos; pos < line.size(); ++pos) {
        char c = line[pos];
        if (c == '"') {
            ++pos;
            return true;
        }
        if (c == '\\') {
            if (++pos >= line.size())
                return false;
            switch (line[pos]) {
            case '\\': out += '\\'; break;
            case '"': out += '"'; break;
            case 'n': out += '\n'; break;
            case 'r': out += '\r'; break;
            default: return false;
            }
        } else {
            out += c;
        }
    }
    return false;
}

struct Store {
    std::map<ValueKey, RegistryValue> values;
    bool damaged = false;
};

bool ParseValue(const std::string& rest, RegistryValue& v)
{
    if (!rest.empty() && rest[0] == '"') {
        size_t pos = 0;
        v.type = RegistryType::String;
        return Unquote(rest, pos, v.text) && pos == rest.size();
    }
    if (rest.rfind("dword:", 0) == 0) {
        const std::string digits = rest.substr(6);
        if (digits.size() != 8 || digits.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
            return false;
        v.type = RegistryType::Dword;
        v.number = static_cast<uint32_t>(std::strtoul(digits.c_str(), nullptr, 16));
        return true;
    }
    if (rest.rfind("hex:", 0) == 0) {
        v.type = RegistryType::Binary;
        v.bytes.clear();
        std::string body = rest.substr(4);
        if (body.empty())
            return true;
        std::stringstream ss(body);
        std::string part;
        while (std::getline(ss, part, ',')) {
            if (part.size() != 2 || part.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
                return false;
            v.bytes.push_back(static_cast<uint8_t>(std::strtoul(part.c_str(), nullptr, 16)));
        }
        return true;
    }
    return false;
}

Store Load(const std::filesystem::path& path)
{
    Store store;
    std::ifstream in(path);
    if (!in)
        return store;
    std::string line;
    int lineNumber = 0;
    bool haveSection = false;
    int hive = 0;
    std::string key;
    while (std::getline(in, line)) {
        ++lineNumber;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty() || line[0] == ';')
            continue;
        const char* problem = nullptr;
        if (line[0] == '[') {
            haveSection = false;
            const size_t slash = line.find('\\');
            if (line.back() != ']' || slash == std::string::npos) {
                problem = "bad key line";
            } else {
                const std::string hiveName = line.substr(1, slash - 1);
                if (hiveName == "HKEY_LOCAL_MACHINE")
                    hive = 0;
                else if (hiveName == "HKEY_CURRENT_USER")
                    hive = 1;
                else
                    problem = "unknown hive";
                if (!problem) {
                    key = line.substr(slash + 1, line.size() - slash - 2);
                    haveSection = true;
                }
            }
        } else if (!haveSection) {
            problem = "value outside a key";
        } else {
            size_t pos = 0;
            std::string name;
            RegistryValue value;
            if (!Unquote(line, pos, name) || pos >= line.size() || line[pos] != '=')
                problem = "bad value name";
            else if (!ParseValue(line.substr(pos + 1), value))
                problem = "bad value";
            else
                store.values[{hive, key, name}] = std::move(value);
        }
        if (problem) {
            std::fprintf(stderr, "%s:%d: %s; the line is ignored\n", path.c_str(), lineNumber, problem);
            store.damaged = true;
        }
    }
    return store;
}

std::string Format(const Store& store)
{
    std::string out = "; Trevok configuration, kept by the game.\n";
    std::string section;
    for (const auto& [k, v] : store.values) {
        const auto& [hive, key, name] = k;
        std::string head = std::string("[") + HiveName(hive ? RegistryHive::CurrentUser : RegistryHive::LocalMachine) +
                           "\\" + key + "]";
        if (head != section) {
            out += head + "\n";
            section = head;
        }
        out += Quote(name) + "=";
        char buf[16];
        switch (v.type) {
        case RegistryType::String: out += Quote(v.text); break;
        case RegistryType::Dword:
            std::snprintf(buf, sizeof buf, "dword:%08x", v.number);
            out += buf;
            break;
        case RegistryType::Binary:
            out += "hex:";
            for (size_t i = 0; i < v.bytes.size(); ++i) {
                std::snprintf(buf, sizeof buf, i ? ",%02x" : "%02x", v.bytes[i]);
                out += buf;
            }
            break;
        }
        out += "\n";
    }
    return out;
}

bool WriteAtomically(const std::filesystem::path& path, const std::string& text)
{
    std::error_code ec;
    std::filesystem::create_directories(path.parent_path(), ec);
    const std::string temp = path.string() + ".tmp";
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n <= 0) {
            ::close(fd);
            ::unlink(temp.c_str());
            return false;
        }
        done += static_cast<size_t>(n);
    }
    if (::fsync(fd) != 0 || ::close(fd) != 0 || std::rename(temp.c_str(), path.c_str()) != 0) {
        ::unlink(temp.c_str());
        return false;
    }
    return true;
}

} // namespace

std::filesystem::path RegistryFilePath()
{
    const char* config = std::getenv("XDG_CONFIG_HOME");
    std::filesystem::path base;
    if (config && *config) {
        base = config;
    } else {
        const char* home = std::getenv("HOME");
        base = std::filesystem::path(home && *home ? home : ".") / ".config";
    }
    return base / "trevok" / "registry.txt";
}

std::optional<RegistryValue> RegistryGet(RegistryHive hive, std::string_view key, std::string_view name)
{
    Store store = Load(RegistryFilePath());
    auto it = store.values.find({hive == RegistryHive::CurrentUser ? 1 : 0, std::string(key), std::string(name)});
    if (it == store.values.end())
        return std::nullopt;
    return it->second;
}

bool RegistrySet(RegistryHive hive, std::string_view key, std::string_view name, const RegistryValue& value)
{
    const std::filesystem::path path = RegistryFilePath();
    Store store = Load(path);
    if (store.damaged) {
        // Keep what the player had before the damaged lines are dropped.
        std::error_code ec;
        const std::filesystem::path keep = path.string() + ".damaged";
        if (!std::filesystem::exists(keep, ec))
            std::filesystem::copy_file(path, keep, ec);
    }
    store.values[{hive == RegistryHive::CurrentUser ? 1 : 0, std::string(key), std::string(name)}] = value;
    return WriteAtomically(path, Format(store));
}

} // namespace platform
