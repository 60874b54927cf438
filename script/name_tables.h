// The compiler's two name tables, alive for one compile: macros of the
// preprocessor and definition symbols. The hash ignores letter case, the
// comparison does not, so "Rifle" and "rifle" share a bucket but are two names.
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

    struct Entry {
        std::size_t fingerprint;  // exact-name hash, to skip most string compares
        std::string name;
        Value value;
    };

    NameTable() : buckets_(kInitialBuckets) {}

    // The newest entry of that exact name (case-sensitive), or null.
    Value* Find(std::string_view name)
    {
        const std::size_t fp = Fingerprint(name);
        auto& chain = buckets_[BucketOf(name, buckets_.size())];
        for (auto it = chain.rbegin(); it != chain.rend(); ++it)
            if (it->fingerprint == fp && it->name == name)
                return &it->value;
        return nullptr;
    }

    // Does not look for an existing entry: callers look up first.
    void Insert(std::string name, Value value)
    {
        // Grows with the number of names; the bucket stays NameHashUpper's.
        if (count_ >= 8 * buckets_.size())
            Grow();
        const std::size_t fp = Fingerprint(name);
        auto& chain = buckets_[BucketOf(name, buckets_.size())];
        chain.push_back(Entry{fp, std::move(name), std::move(value)});
        ++count_;
    }

    void Remove(std::string_view name)
    {
        auto& chain = buckets_[BucketOf(name, buckets_.size())];
        for (auto it = chain.end(); it != chain.begin();) {
            --it;
            if (it->name == name) {
                chain.erase(it);
                --count_;
                return;
            }
        }
    }

    void Clear()
    {
        buckets_.assign(kInitialBuckets, {});
        count_ = 0;
    }

    int Count() const { return static_cast<int>(count_); }
    // The bucket a name falls in while the table has its first 64 buckets.
    static int Bucket(std::string_view name) { return static_cast<int>(BucketOf(name, kInitialBuckets)); }

private:
    static std::size_t BucketOf(std::string_view name, std::size_t buckets)
    {
        return static_cast<std::uint32_t>(NameHashUpper(name)) & (buckets - 1);
    }
    static std::size_t Fingerprint(std::string_view name) { return std::hash<std::string_view>{}(name); }

    void Grow()
    {
        std::vector<std::vector<Entry>> bigger(buckets_.size() * 2);
        for (auto& chain : buckets_)
            for (auto& e : chain)
                bigger[BucketOf(e.name, bigger.size())].push_back(std::move(e));
        buckets_ = std::move(bigger);
    }

    std::vector<std::vector<Entry>> buckets_;  // power-of-two count
    std::size_t count_ = 0;
};

// A macro body: the directive's tokens as written, strings with their quotes.
using MacroTable = NameTable<std::vector<std::string>>;
using SymbolTable = NameTable<DefinitionRef>;

} // namespace script
