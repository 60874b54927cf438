// Resource libraries ("tvres.dll" and its language variants): the string
// table resources are read straight out of the PE file, so a player's own
// library works. The writer beside the reader makes libraries of our own
// (the sample data's) in the same layout.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

class ResourceLibrary {
public:
    // A string-table library is far smaller; a larger file is refused unread.
    static constexpr uint64_t kMaxLibraryBytes = uint64_t{64} << 20;

    // Reads and checks the whole file; on failure `error` says where
    // (file, byte offset) and what was wrong.
    static std::optional<ResourceLibrary> Open(const std::filesystem::path& path, std::string* error);
    static std::optional<ResourceLibrary> FromBytes(const uint8_t* data, size_t size, std::string* error);

    // LoadString into a buffer of `bufferChars` characters: the text in the
    // Western code page (1252; characters it lacks become '?'), at most
    // bufferChars - 1 of them. Empty when the library has no text for `id`.
    std::string LoadString(uint32_t id, size_t bufferChars = 1024) const;
    bool HasString(uint32_t id) const;
    size_t StringCount() const { return strings_.size(); }

private:
    std::map<uint32_t, std::u16string> strings_; // only non-empty texts
};

// A PE file (32-bit DLL, one ".rsrc" section) holding `texts` (UTF-8) as
// string-table resources of `language`. Deterministic: no time stamp.
std::vector<uint8_t> BuildStringTableLibrary(const std::map<uint32_t, std::string>& texts,
                                             uint16_t language = 0x0409);
bool WriteStringTableLibrary(const std::filesystem::path& path,
                             const std::map<uint32_t, std::string>& texts, std::string* error);

// Text conversions used by the reader and the writer.
std::string Utf16ToWindows1252(std::u16string_view text);
std::u16string Utf8ToUtf16(std::string_view text);

} // namespace platform
