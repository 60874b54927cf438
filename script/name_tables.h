// The compiler's two name tables, alive for one compile: macros of the
// preprocessor and definition symbols. The hash ignores letter case, the
// comparison does not, so "Rifle" and "rifle" share a bucket but are two names.
#pragma once

#include "script/definition.h"

#include <array>
#include <cstdint>
#include <forward_list>
#include <string>
#include <string_view>
#include <vector>

namespace script {

// Sum of the ASCII-upper-cased characters, as a signed 32-bit integer.
std::int32_t NameHashUpper(std::string_view name);

template <typename Value>
class NameTable {
public:
    static constexpr int kBuckets = 64;

    struct Entry {
        std::string name;
        Value value;
    };

    Value* Find(std::string_view name)
    {
        for (Entry& e : buckets_[Bucket(name)])
            if (e.name == name)
                return &e.value;
        return nullptr;
    }

    // Does not look for an existing entry: callers look up first.
    void Insert(std::string name, Value value)
    {
        auto& chain = buckets_[Bucket(name)];
        chain.push_front(Entry{std::move(name), std::move(value)});
        ++count_;
    }

    void Remove(std::string_view name)
    {
        auto& chain = buckets_[Bucket(name)];
        auto before = chain.before_begin();
        for (auto it = chain.begin(); it != chain.end(); before = it, ++it) {
            if (it->name == name) {
                chain.erase_after(before);
                --count_;
                return;
            }
        }
    }

    void Clear()
    {
        for (auto& chain : buckets_)
            chain.clear();
        count_ = 0;
    }

    int Count() const { return count_; }
    static int Bucket(std::string_view name) { return static_cast<int>(static_cast<std::uint32_t>(NameHashUpper(name)) & 63u); }

private:
    std::array<std::forward_list<Entry>, kBuckets> buckets_;
    int count_ = 0;
};

// A macro body: the directive's tokens as written, strings with their quotes.
using MacroTable = NameTable<std::vector<std::string>>;
using SymbolTable = NameTable<DefinitionRef>;

} // namespace script
