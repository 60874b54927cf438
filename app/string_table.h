// Player-visible texts by numeric id, copied out of the resource library at
// start-up and read from any thread afterwards. A missing id gives the one
// shared empty string, never a failure.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

namespace platform {
class ResourceLibrary;
}

class StringTable {
public:
    // Ids start-up loads.
    static constexpr uint32_t kFirstId = 0;
    static constexpr uint32_t kLastId = 30002;
    // Ids the shell uses.
    static constexpr uint32_t kWindowTitle = 7039;
    static constexpr uint32_t kWindowClass = 7049;

    // One record per id from first to last (none when last < first); each
    // id with text gets its copy. Returns how many ids had text.
    int Load(const platform::ResourceLibrary& library, uint32_t first, uint32_t last);
    const char* Find(uint32_t id) const;
    // Frees every text; returns how many records there were.
    int Free();

    uint32_t RecordCount() const { return static_cast<uint32_t>(records_.size()); }
    bool IsLastRecord(uint32_t index) const { return index + 1 == records_.size(); }

    static StringTable& Global();
    static const char* Empty();

private:
    struct Record {
        uint32_t id = 0;
        std::unique_ptr<char[]> text; // null when the library has none
    };
    std::vector<Record> records_;
};
