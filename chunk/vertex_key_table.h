// Finds vertices already made while a shape is built: a chained hash table keyed
// by nine floats (position, normal, colour word, texture coordinates), of which
// the seventh takes no part in the comparison.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

namespace trevok {

struct VertexKey {
    float values_[9] = {};
};

class VertexKeyTable {
public:
    // 2^bucketExponent buckets.
    explicit VertexKeyTable(int bucketExponent);
    ~VertexKeyTable();
    VertexKeyTable(const VertexKeyTable&) = delete;
    VertexKeyTable& operator=(const VertexKeyTable&) = delete;

    // The stored element whose key equals this one, or none.
    const VertexKey* Find(const VertexKey& key) const;
    // Stores an element (not owned; it must outlive the table).
    void Insert(const VertexKey* element);
    size_t Count() const { return count_; }

    static bool Equal(const VertexKey& a, const VertexKey& b);
    static uint32_t Hash(const VertexKey& key);

private:
    struct Entry {
        const VertexKey* element;
        std::unique_ptr<Entry> next;
    };
    std::vector<std::unique_ptr<Entry>> buckets_;
    uint32_t mask_;
    size_t count_ = 0;
};

} // namespace trevok
