// The compiler's two name tables, alive for one compile: macros of the
// preprocessor and definition symbols. Names compare with letter case, so
// "Rifle" and "rifle" are two names.
#pragma once

#include "script/definition.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace script {

// Sum of the ASCII-upper-cased characters, as a signed 32-bit integer.
std::int32_t NameHashUpper(std::string_view name);

template <typename Value>
class NameTable {
public:
    static constexpr int kInitialBuckets = 64;

    NameTable() = default;

    // The newest entry of that exact name (case-sensitive), or null. Valid
    // until the next Insert.
    Value* Find(std::string_view name)
    {
        if (!MayHold(name))
            return nullptr;
        const std::uint32_t at = Lookup(name, Fingerprint(name));
        return !index_.empty() && index_[at] < kDeleted ? &entries_[index_[at]].value : nullptr;
    }

    // Does not look for an existing entry: callers look up first. A second
    // entry of a name hides the first until it is removed.
    void Insert(std::string name, Value value)
    {
        if (2 * (used_ + 1) > index_.size())
            Rehash(index_.empty() ? 2 * kInitialBuckets : 2 * index_.size());
        const std::size_t fp = Fingerprint(name);
        const std::uint32_t at = Lookup(name, fp);
        const auto newest = static_cast<std::uint32_t>(entries_.size());
        const std::uint32_t older = index_[at] < kDeleted ? index_[at] : kEmpty;
        if (index_[at] == kEmpty)
            ++used_;
        lengths_ |= LengthBit(name.size());
        if (!name.empty()) {
            const auto c = static_cast<unsigned char>(name[0]);
            firsts_[c >> 6] |= std::uint64_t{1} << (c & 63);
        }
        entries_.push_back(Entry{fp, std::move(name), std::move(value), older});
        index_[at] = newest;
        ++count_;
    }

    void Remove(std::string_view name)
    {
        if (index_.empty())
            return;
        const std::uint32_t at = Lookup(name, Fingerprint(name));
        if (index_[at] >= kDeleted)
            return;
        Entry& e = entries_[index_[at]];
        index_[at] = e.older != kEmpty ? e.older : kDeleted;
        e.value = Value{};
        --count_;
    }

    void Clear()
    {
        entries_.clear();
        index_.clear();
        used_ = 0;
        count_ = 0;
        lengths_ = 0;
        firsts_[0] = firsts_[1] = firsts_[2] = firsts_[3] = 0;
    }

    int Count() const { return static_cast<int>(count_); }
    // The bucket a name falls in under the tables' case-blind hash (64 buckets).
    static int Bucket(std::string_view name)
    {
        return static_cast<int>(static_cast<std::uint32_t>(NameHashUpper(name)) & (kInitialBuckets - 1));
    }

private:
    static constexpr std::uint32_t kEmpty = 0xFFFFFFFFu;
    static constexpr std::uint32_t kDeleted = 0xFFFFFFFEu;

    struct Entry {
        std::size_t fingerprint;  // exact-name hash, to skip most string compares
        std::string name;
        Value value;
        std::uint32_t older;  // the entry of the same name this one hides, or kEmpty
    };

    static std::size_t Fingerprint(std::string_view name) { return std::hash<std::string_view>{}(name); }

    // Most names the preprocessor asks about are not macros: a name whose
    // length or first character no entry ever had is refused before hashing.
    static std::uint64_t LengthBit(std::size_t length) { return std::uint64_t{1} << (length < 63 ? length : 63); }
    bool MayHold(std::string_view name) const
    {
        if (!(lengths_ & LengthBit(name.size())))
            return false;
        if (name.empty())
            return true;
        const auto c = static_cast<unsigned char>(name[0]);
        return (firsts_[c >> 6] >> (c & 63)) & 1u;
    }

    // The index slot holding the name's newest entry, else the first free slot
    // its probe met (a removed name's slot first, else the empty one ending it).
    std::uint32_t Lookup(std::string_view name, std::size_t fp) const
    {
        if (index_.empty())
            return 0;
        const std::size_t mask = index_.size() - 1;
        std::size_t free = kEmpty;
        for (std::size_t i = fp & mask;; i = (i + 1) & mask) {
            const std::uint32_t e = index_[i];
            if (e == kEmpty)
                return static_cast<std::uint32_t>(free != kEmpty ? free : i);
            if (e == kDeleted) {
                if (free == kEmpty)
                    free = i;
            } else if (entries_[e].fingerprint == fp && entries_[e].name == name) {
                return static_cast<std::uint32_t>(i);
            }
        }
    }

    // Open addressing over the newest entry of each name; at most half full
    // (removed names' slots count until the next rehash).
    void Rehash(std::size_t size)
    {
        std::vector<std::uint32_t> fresh(size, kEmpty);
        used_ = 0;
        for (const std::uint32_t e : index_) {
            if (e >= kDeleted)
                continue;
            std::size_t i = entries_[e].fingerprint & (size - 1);
            while (fresh[i] != kEmpty)
                i = (i + 1) & (size - 1);
            fresh[i] = e;
            ++used_;
        }
        index_ = std::move(fresh);
    }

    std::vector<Entry> entries_;        // in insertion order; removed ones stay until Clear
    std::vector<std::uint32_t> index_;  // power-of-two size: entry numbers, kEmpty or kDeleted
    std::size_t used_ = 0;              // index slots not kEmpty
    std::size_t count_ = 0;
    std::uint64_t lengths_ = 0;         // bit n: some entry had length n (63: any longer)
    std::uint64_t firsts_[4] = {};      // the first characters entries had
};

// A macro body: the directive's tokens as written, strings with their quotes.
using MacroTable = NameTable<std::vector<std::string>>;
using SymbolTable = NameTable<DefinitionRef>;

} // namespace script
