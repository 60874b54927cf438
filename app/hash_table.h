// Chained hash tables of element pointers with a fixed power-of-two bucket
// count (64 is usual). HashTable keys an element by a number read from it
// (an object's id); NameHashTable by its name, ignoring letter case. The
// tables never own their elements and have no lock of their own.
#pragma once

#include <cassert>
#include <cstdint>
#include <string_view>
#include <vector>

// Sum of the ASCII lower-cased bytes of `name` (texture, font, shape tables).
inline int32_t HashName(std::string_view name)
{
    uint32_t sum = 0;
    for (char c : name) {
        auto b = static_cast<unsigned char>(c);
        if (b >= 'A' && b <= 'Z')
            b = static_cast<unsigned char>(b - 'A' + 'a');
        sum += static_cast<uint32_t>(static_cast<signed char>(b));
    }
    return static_cast<int32_t>(sum);
}

// Sum of the ASCII upper-cased bytes of `name` (script and sound tables).
inline int32_t NameHashUpper(std::string_view name)
{
    uint32_t sum = 0;
    for (char c : name) {
        auto b = static_cast<unsigned char>(c);
        if (b >= 'a' && b <= 'z')
            b = static_cast<unsigned char>(b - 'a' + 'A');
        sum += static_cast<uint32_t>(static_cast<signed char>(b));
    }
    return static_cast<int32_t>(sum);
}

// Equality of two names ignoring ASCII letter case.
inline bool CompareName(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i];
        char y = b[i];
        if (x >= 'A' && x <= 'Z')
            x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z')
            y = static_cast<char>(y - 'A' + 'a');
        if (x != y)
            return false;
    }
    return true;
}

// The key of an element by default: its HashKey() member.
template <typename T>
struct HashKeyMember {
    uint32_t operator()(const T* element) const { return static_cast<uint32_t>(element->HashKey()); }
};

template <typename T, typename KeyOf = HashKeyMember<T>>
class HashTable {
public:
    struct ChainNode {
        T* element;
        ChainNode* next;
    };

    // 1 << bitCount buckets.
    explicit HashTable(int bitCount = 6)
        : buckets_(static_cast<size_t>(1) << bitCount, nullptr), mask_((1u << bitCount) - 1)
    {
        assert(bitCount >= 0 && bitCount < 31);
    }
    ~HashTable() { Clear(); }
    HashTable(const HashTable&) = delete;
    HashTable& operator=(const HashTable&) = delete;

    // Empties this table and inserts every element of `other`; the bucket
    // count becomes other's.
    void CopyFrom(const HashTable& other)
    {
        if (&other == this)
            return;
        Clear();
        buckets_.assign(other.buckets_.size(), nullptr);
        mask_ = other.mask_;
        for (ChainNode* head : other.buckets_)
            for (ChainNode* n = head; n; n = n->next)
                Insert(n->element);
    }

    int32_t Count() const { return count_; }
    int32_t BucketCount() const { return static_cast<int32_t>(buckets_.size()); }
    uint32_t Mask() const { return mask_; }
    static uint32_t KeyOfElement(const T* element) { return KeyOf{}(element); }

    // At the head of its bucket; no duplicate check.
    void Insert(T* element)
    {
        ChainNode*& head = buckets_[KeyOf{}(element) & mask_];
        head = new ChainNode{element, head};
        ++count_;
    }

    // Inserts unless this very pointer is already in its bucket.
    bool InsertUnique(T* element)
    {
        if (Find(element))
            return false;
        Insert(element);
        return true;
    }

    // The chain node holding this pointer, or null.
    ChainNode* Find(const T* element) const
    {
        for (ChainNode* n = buckets_[KeyOf{}(element) & mask_]; n; n = n->next) {
            if (n->element == element)
                return n;
        }
        return nullptr;
    }

    // The first element (most recently inserted) whose key is `key`, or null.
    T* FindByKey(uint32_t key) const
    {
        for (ChainNode* n = buckets_[key & mask_]; n; n = n->next) {
            if (KeyOf{}(n->element) == key)
                return n->element;
        }
        return nullptr;
    }

    // Unlinks and frees the node holding this pointer; false when absent.
    bool Remove(const T* element)
    {
        for (ChainNode** link = &buckets_[KeyOf{}(element) & mask_]; *link; link = &(*link)->next) {
            if ((*link)->element == element) {
                ChainNode* gone = *link;
                *link = gone->next;
                delete gone;
                --count_;
                return true;
            }
        }
        return false;
    }

    void Clear()
    {
        for (ChainNode*& head : buckets_) {
            FreeChain(head);
            head = nullptr;
        }
        count_ = 0;
    }

    // Deletes a bucket chain from `first` on (null allowed). Iterative, so a
    // long chain cannot run the stack dry.
    static void FreeChain(ChainNode* first)
    {
        while (first) {
            ChainNode* gone = first;
            first = gone->next;
            delete gone;
        }
    }

    // Visits every element, bucket by bucket. The next position is found
    // before the current element is handed out, so the current element may be
    // removed (by Erase or by the table's Remove) without breaking the walk;
    // removing other elements while walking is not allowed.
    class Iterator {
    public:
        explicit Iterator(HashTable& table) : table_(&table) { Advance(0); }
        bool AtEnd() const { return current_ == nullptr; }
        T* Get() const { return current_ ? current_->element : nullptr; }
        void Next()
        {
            if (!current_)
                return;
            if (next_) {
                current_ = next_;
                next_ = current_->next;
            } else {
                Advance(bucket_ + 1);
            }
        }
        // Removes the current element and steps on.
        void Erase()
        {
            if (!current_)
                return;
            T* element = current_->element;
            Next();
            table_->Remove(element);
        }

    private:
        void Advance(size_t from)
        {
            current_ = next_ = nullptr;
            for (bucket_ = from; bucket_ < table_->buckets_.size(); ++bucket_) {
                if (ChainNode* head = table_->buckets_[bucket_]) {
                    current_ = head;
                    next_ = head->next;
                    return;
                }
            }
        }

        HashTable* table_;
        size_t bucket_ = 0;
        ChainNode* current_ = nullptr;
        ChainNode* next_ = nullptr;
    };

    // Walks the chain of `key`'s bucket; the caller compares keys.
    class BucketIterator {
    public:
        BucketIterator(const HashTable& table, uint32_t key) : node_(table.buckets_[key & table.mask_]) {}
        ChainNode* Get() const { return node_; }
        void Next()
        {
            if (node_)
                node_ = node_->next;
        }

    private:
        ChainNode* node_;
    };

private:
    std::vector<ChainNode*> buckets_;
    uint32_t mask_;
    int32_t count_ = 0;
};

// The name of an element by default: its Name() member.
template <typename T>
struct NameMember {
    std::string_view operator()(const T* element) const { return element->Name(); }
};

// Elements keyed by name: bucket = HashName (lower-cased sum) AND mask,
// names compared without regard to case.
template <typename T, typename NameOf = NameMember<T>>
class NameHashTable {
    struct NameKey {
        uint32_t operator()(const T* element) const { return static_cast<uint32_t>(HashName(NameOf{}(element))); }
    };
    using Table = HashTable<T, NameKey>;

public:
    using ChainNode = typename Table::ChainNode;
    using Iterator = typename Table::Iterator;

    explicit NameHashTable(int bitCount = 6) : table_(bitCount) {}

    void Insert(T* element) { table_.Insert(element); }
    bool Remove(const T* element) { return table_.Remove(element); }
    void Clear() { table_.Clear(); }
    int32_t Count() const { return table_.Count(); }
    HashTable<T, NameKey>& Elements() { return table_; }

    // The first element (most recently inserted) named `name` in any case.
    T* Find(std::string_view name) const
    {
        for (typename Table::BucketIterator it(table_, static_cast<uint32_t>(HashName(name))); it.Get(); it.Next()) {
            if (CompareName(NameOf{}(it.Get()->element), name))
                return it.Get()->element;
        }
        return nullptr;
    }

    // The chain node whose element has the same name as `key`'s.
    ChainNode* FindNode(const T* key) const
    {
        const std::string_view name = NameOf{}(key);
        for (typename Table::BucketIterator it(table_, static_cast<uint32_t>(HashName(name))); it.Get(); it.Next()) {
            if (CompareName(NameOf{}(it.Get()->element), name))
                return it.Get();
        }
        return nullptr;
    }

private:
    Table table_;
};
