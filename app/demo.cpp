#include "app/demo.h"

#include <bit>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>

namespace Demo {
namespace {

class Reader {
public:
    Reader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    size_t Offset() const { return at_; }
    bool U32(uint32_t& v)
    {
        if (size_ - at_ < 4)
            return false;
        v = uint32_t(data_[at_]) | uint32_t(data_[at_ + 1]) << 8 | uint32_t(data_[at_ + 2]) << 16 |
            uint32_t(data_[at_ + 3]) << 24;
        at_ += 4;
        return true;
    }
    bool Bytes(size_t n, const uint8_t*& p)
    {
        if (size_ - at_ < n)
            return false;
        p = data_ + at_;
        at_ += n;
        return true;
    }

private:
    const uint8_t* data_;
    size_t size_;
    size_t at_ = 0;
};

void PutU32(std::vector<uint8_t>& out, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(uint8_t(v >> (8 * i)));
}

bool Fail(std::string& error, size_t offset, const char* what)
{
    char buf[128];
    std::snprintf(buf, sizeof buf, "byte %zu: %s", offset, what);
    error = buf;
    return false;
}

bool ReadName(Reader& r, std::string& out, std::string& error)
{
    const size_t at = r.Offset();
    uint32_t length = 0;
    if (!r.U32(length))
        return Fail(error, at, "file ends inside a name length");
    if (length == 0)
        return Fail(error, at, "name length is 0 (a name keeps its terminating NUL)");
    const uint8_t* p = nullptr;
    if (!r.Bytes(length, p))
        return Fail(error, at + 4, "file ends inside a name");
    if (length > kMaxNameBytes)
        return Fail(error, at, "name longer than 260 bytes");
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
    Reader r(data, size);
    File file;
    if (!ReadName(r, file.levelScript, error) || !ReadName(r, file.commandFile, error))
        return false;
    const size_t countAt = r.Offset();
    uint32_t count = 0;
    if (!r.U32(count))
        return Fail(error, countAt, "file ends before the event count");
    if (count > kCapacity)
        return Fail(error, countAt, "more events than a demo holds (20000)");
    const size_t expected = r.Offset() + size_t(count) * 28;
    if (size < expected)
        return Fail(error, size, "file ends before all events and times");
    if (size > expected)
        return Fail(error, expected, "unexpected bytes after the event times");
    file.events.resize(count);
    for (InputEvent& e : file.events) {
        uint32_t w[6];
        for (uint32_t& v : w)
            r.U32(v);
        e = {w[0], w[1], w[2], static_cast<int32_t>(w[3]), w[4], w[5]};
    }
    file.times.resize(count);
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t bits = 0;
        r.U32(bits);
        const float t = std::bit_cast<float>(bits);
        if (!(t == t)) // NaN would stall or rush the replay
            return Fail(error, r.Offset() - 4, "event time is not a number");
        file.times[i] = t;
    }
    out = std::move(file);
    return true;
}

std::vector<uint8_t> Serialize(const File& file)
{
    std::vector<uint8_t> out;
    for (const std::string* name : {&file.levelScript, &file.commandFile}) {
        PutU32(out, uint32_t(name->size() + 1));
        out.insert(out.end(), name->begin(), name->end());
        out.push_back(0);
    }
    PutU32(out, uint32_t(file.events.size()));
    for (const InputEvent& e : file.events) {
        for (uint32_t v : {e.message, e.wparam, e.lparam, static_cast<uint32_t>(e.wheelDelta), e.scanCode, e.flags})
            PutU32(out, v);
    }
    for (float t : file.times)
        PutU32(out, std::bit_cast<uint32_t>(t));
    return out;
}

bool LoadInto(Buffers& buffers, const std::filesystem::path& path, std::string& error)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = path.string() + ": cannot be opened";
        return false;
    }
    const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    File file;
    std::string why;
    if (!Parse(bytes.data(), bytes.size(), file, why)) {
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
