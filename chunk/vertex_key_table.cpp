#include "chunk/vertex_key_table.h"

#include <bit>

namespace trevok {
namespace {

constexpr int kCompared[] = {0, 1, 2, 3, 4, 5, 7, 8};

} // namespace

VertexKeyTable::VertexKeyTable(int bucketExponent)
    : buckets_(size_t{1} << bucketExponent), mask_(static_cast<uint32_t>((size_t{1} << bucketExponent) - 1))
{
}

VertexKeyTable::~VertexKeyTable()
{
    // Chains are freed one entry at a time: a long chain must not recurse.
    for (auto& head : buckets_)
        while (head)
            head = std::move(head->next);
}

bool VertexKeyTable::Equal(const VertexKey& a, const VertexKey& b)
{
    for (int i : kCompared)
        if (!(a.values_[i] == b.values_[i]))
            return false;
    return true;
}

uint32_t VertexKeyTable::Hash(const VertexKey& key)
{
    uint32_t h = 0;
    for (int i : kCompared) {
        // -0 and +0 compare equal, so they must hash alike.
        float v = key.values_[i] == 0.0f ? 0.0f : key.values_[i];
        h ^= std::bit_cast<uint32_t>(v);
    }
    return h ^ h >> 4 ^ h >> 9 ^ h >> 15 ^ h >> 22;
}

const VertexKey* VertexKeyTable::Find(const VertexKey& key) const
{
    for (const Entry* e = buckets_[Hash(key) & mask_].get(); e; e = e->next.get())
        if (Equal(*e->element, key))
            return e->element;
    return nullptr;
}

void VertexKeyTable::Insert(const VertexKey* element)
{
    auto& head = buckets_[Hash(*element) & mask_];
    head = std::make_unique<Entry>(Entry{element, std::move(head)});
    ++count_;
}

} // namespace trevok
