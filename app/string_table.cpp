#include "app/string_table.h"

#include "platform/resources.h"

#include <cstring>

namespace {
const char kEmpty[] = "";
} // namespace

const char* StringTable::Empty() { return kEmpty; }

StringTable& StringTable::Global()
{
    static StringTable table;
    return table;
}

int StringTable::Load(const platform::ResourceLibrary& library, uint32_t first, uint32_t last)
{
    Free();
    if (last < first)
        return 0;
    records_.resize(size_t(last - first) + 1);
    int withText = 0;
    for (uint32_t i = 0; i < records_.size(); ++i) {
        Record& r = records_[i];
        r.id = first + i;
        const std::string text = library.LoadString(r.id, 1024);
        if (text.empty())
            continue;
        r.text = std::make_unique<char[]>(text.size() + 1);
        std::memcpy(r.text.get(), text.c_str(), text.size() + 1);
        ++withText;
    }
    return withText;
}

const char* StringTable::Find(uint32_t id) const
{
    // Ids are dense from the first record, so the id's place is its index.
    if (records_.empty() || id < records_.front().id)
        return kEmpty;
    const size_t index = id - records_.front().id;
    if (index >= records_.size() || !records_[index].text)
        return kEmpty;
    return records_[index].text.get();
}

int StringTable::Free()
{
    const int count = static_cast<int>(records_.size());
    records_.clear();
    records_.shrink_to_fit();
    return count;
}
