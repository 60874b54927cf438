#include "app/record_file.h"

#include "platform/os.h"

#include <cstring>

namespace RecordFile {

bool ReadWholeFile(std::vector<Record>& records, const std::filesystem::path& name, std::string* error)
{
    const auto bytes = platform::ReadWholeFile(name);
    auto fail = [&](const std::string& why) {
        if (error)
            *error = name.string() + ": " + why;
        return false;
    };
    if (!bytes)
        return fail("cannot be read");
    if (bytes->size() < 4)
        return fail("shorter than its record count");
    const uint32_t count = uint32_t((*bytes)[0]) | uint32_t((*bytes)[1]) << 8 | uint32_t((*bytes)[2]) << 16 |
                           uint32_t((*bytes)[3]) << 24;
    const size_t recordBytes = bytes->size() - 4;
    if (recordBytes % kRecordSize != 0 || recordBytes / kRecordSize != count)
        return fail("holds " + std::to_string(recordBytes) + " bytes of records, not " + std::to_string(count) +
                    " x 60");
    std::vector<Record> read(count);
    for (uint32_t i = 0; i < count; ++i)
        std::memcpy(read[i].data(), bytes->data() + 4 + size_t(i) * kRecordSize, kRecordSize);
    records = std::move(read);
    return true;
}

bool WriteWholeFile(const std::vector<Record>& records, const std::filesystem::path& name)
{
    if (records.size() > UINT32_MAX)
        return false;
    std::vector<uint8_t> bytes(4 + records.size() * kRecordSize);
    const auto count = static_cast<uint32_t>(records.size());
    for (int i = 0; i < 4; ++i)
        bytes[size_t(i)] = uint8_t(count >> (8 * i));
    for (size_t i = 0; i < records.size(); ++i)
        std::memcpy(bytes.data() + 4 + i * kRecordSize, records[i].data(), kRecordSize);
    return platform::WriteWholeFile(name, bytes.data(), bytes.size());
}

} // namespace RecordFile
