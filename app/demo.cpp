#include "app/demo.h"

#include "platform/byte_cursor.h"
#include "platform/os.h"

#include <cstdio>
#include <cstring>
#include <fstream>

namespace Demo {
namespace {

bool Fail(std::string& error, size_t offset, const char* what)
{
    char buf[128];
    std::snprintf(buf, sizeof buf, "byte %zu: %s", offset, what);
    error = buf;
    return false;
}

bool ReadName(trevok::ByteReader& r, std::string& out, std::string& error)
{
    const size_t at = r.Position();
    const uint32_t length = r.U32();
    if (!r.Ok())
        return Fail(error, at, "file ends inside a name length");
    if (length == 0)
        return Fail(error, at, "name length is 0 (a name keeps its terminating NUL)");
    const auto name = r.Take(length);
    if (!r.Ok())
        return Fail(error, at + 4, "file ends inside a name");
    if (length > kMaxNameBytes)
        return Fail(error, at, "name longer than 260 bytes");
    const uint8_t* p = name.data();
    if (p[length - 1] != 0 || std::memchr(p, 0, length) != p + length - 1)
        return Fail(error, at + 4, "name is not NUL-terminated at its stored length");
    out.assign(reinterpret_cast<const char*>(p), length - 1);
    return true;
}

} // namespace

Buffers& Global()
{
    static Buffers buffers;
    return buffers;
}

bool Record(Buffers& buffers, const InputEvent& event, float gameSeconds)
{
    if (buffers.count >= kCapacity)
        return false;
    buffers.events[buffers.count] = event;
    buffers.times[buffers.count] = gameSeconds;
    ++buffers.count;
    return buffers.count < kCapacity;
}

bool Parse(const uint8_t* data, size_t size, File& out, std::string& error)
{
    trevok::ByteReader r(std::span<const uint8_t>(data, size));
    File file;
    if (!ReadName(r, file.levelScript, error) || !ReadName(r, file.commandFile, error))
        return false;
    const size_t countAt = r.Position();
    const uint32_t count = r.U32();
    if (!r.Ok())
        return Fail(error, countAt, "file ends before the event count");
    if (count > kCapacity)
        return Fail(error, countAt, "more events than a demo holds (20000)");
    const size_t expected = r.Position() + size_t(count) * 28;
    if (size < expected)
        return Fail(error, size, "file ends before all events and times");
    if (size > expected)
        return Fail(error, expected, "unexpected bytes after the event times");
    file.events.resize(count);
    for (InputEvent& e : file.events) {
        uint32_t w[6];
        for (uint32_t& v : w)
            v = r.U32();
        e = {w[0], w[1], w[2], static_cast<int32_t>(w[3]), w[4], w[5]};
    }
    file.times.resize(count);
    for (uint32_t i = 0; i < count; ++i) {
        const float t = r.F32();
        if (!(t == t)) // NaN would stall or rush the replay
            return Fail(error, r.Position() - 4, "event time is not a number");
        file.times[i] = t;
    }
    out = std::move(file);
    return true;
}

std::vector<uint8_t> Serialize(const File& file)
{
    std::vector<uint8_t> out;
    trevok::ByteWriter w(out);
    for (const std::string* name : {&file.levelScript, &file.commandFile}) {
        w.U32(uint32_t(name->size() + 1));
        w.CString(*name);
    }
    w.U32(uint32_t(file.events.size()));
    for (const InputEvent& e : file.events) {
        for (uint32_t v : {e.message, e.wparam, e.lparam, static_cast<uint32_t>(e.wheelDelta), e.scanCode, e.flags})
            w.U32(v);
    }
    for (float t : file.times)
        w.F32(t);
    return out;
}

bool LoadInto(Buffers& buffers, const std::filesystem::path& path, std::string& error)
{
    const auto bytes = platform::ReadWholeFile(path, kMaxFileBytes, &error);
    if (!bytes)
        return false;
    File file;
    std::string why;
    if (!Parse(bytes->data(), bytes->size(), file, why)) {
        error = path.string() + ": " + why;
        return false;
    }
    buffers.levelScript = std::move(file.levelScript);
    buffers.commandFile = std::move(file.commandFile);
    buffers.count = static_cast<uint32_t>(file.events.size());
    std::copy(file.events.begin(), file.events.end(), buffers.events.begin());
    std::copy(file.times.begin(), file.times.end(), buffers.times.begin());
    buffers.playbackPosition = 0;
    return true;
}

bool SaveFrom(const Buffers& buffers, const std::filesystem::path& path, std::string& error)
{
    File file;
    file.levelScript = buffers.levelScript;
    file.commandFile = buffers.commandFile;
    const uint32_t n = buffers.count < kCapacity ? buffers.count : kCapacity;
    file.events.assign(buffers.events.begin(), buffers.events.begin() + n);
    file.times.assign(buffers.times.begin(), buffers.times.begin() + n);
    const std::vector<uint8_t> bytes = Serialize(file);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
        error = path.string() + ": cannot be written";
        return false;
    }
    return true;
}

} // namespace Demo
