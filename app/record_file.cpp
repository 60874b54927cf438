#include "app/record_file.h"

#include "platform/byte_cursor.h"
#include "platform/os.h"

namespace RecordFile {

bool ReadWholeFile(std::vector<Record>& records, const std::filesystem::path& name, std::string* error)
{
    std::string why;
    const auto bytes = platform::ReadWholeFile(name, kMaxFileBytes, &why);
    auto fail = [&](const std::string& what) {
        if (error)
            *error = name.string() + ": " + what;
        return false;
    };
    if (!bytes) {
        if (error)
            *error = why;
        return false;
    }
    trevok::ByteReader r(*bytes);
    const uint32_t count = r.U32();
    if (!r.Ok())
        return fail("shorter than its record count");
    const size_t recordBytes = r.Remaining();
    if (recordBytes % kRecordSize != 0 || recordBytes / kRecordSize != count)
        return fail("holds " + std::to_string(recordBytes) + " bytes of records, not " + std::to_string(count) +
                    " x 60");
    std::vector<Record> read(count);
    for (Record& record : read)
        r.Bytes(record.data(), kRecordSize);
    records = std::move(read);
    return true;
}

bool WriteWholeFile(const std::vector<Record>& records, const std::filesystem::path& name)
{
    if (4 + records.size() * kRecordSize > kMaxFileBytes)
        return false;
    std::vector<uint8_t> bytes;
    bytes.reserve(4 + records.size() * kRecordSize);
    trevok::ByteWriter w(bytes);
    w.U32(static_cast<uint32_t>(records.size()));
    for (const Record& record : records)
        w.Bytes(record.data(), kRecordSize);
    return platform::WriteWholeFile(name, bytes.data(), bytes.size());
}

} // namespace RecordFile
