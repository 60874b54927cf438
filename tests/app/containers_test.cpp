#include "app/hash_table.h"
#include "app/list.h"
#include "app/ref_counted.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

namespace {

template <typename T>
std::vector<T> Contents(const List<T>& list)
{
    std::vector<T> out;
    for (const T& v : list)
        out.push_back(v);
    return out;
}

// Counts live payloads so leaks and double destruction show.
struct Tracked {
    static inline int live = 0;
    int value;
    explicit Tracked(int v) : value(v) { ++live; }
    Tracked(const Tracked& o) : value(o.value) { ++live; }
    ~Tracked() { --live; }
    bool operator==(const Tracked& o) const { return value == o.value; }
};

TEST(List, PushPopAndEmptyCornerCases)
{
    List<int> list;
    list.PopBack();
    list.PopFront();
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(list.At(0), nullptr);
    list.PushBack(2);
    list.PushBack(3);
    list.PushFront(1);
    EXPECT_EQ(Contents(list), (std::vector<int>{1, 2, 3}));
    list.PopFront();
    list.PopBack();
    EXPECT_EQ(Contents(list), (std::vector<int>{2}));
    EXPECT_EQ(list.Count(), 1);
    EXPECT_TRUE(list.Remove(2));
    EXPECT_FALSE(list.Remove(2));
    EXPECT_TRUE(list.IsEmpty());
}

TEST(List, PositionalAccessRebuildsItsIndexAfterEveryChange)
{
    List<int> list;
    for (int i = 0; i < 5; ++i)
        list.PushBack(i * 10);
    ASSERT_NE(list.At(4), nullptr);
    EXPECT_TRUE(list.IsIndexValid());
    EXPECT_EQ(*list.At(2), 20);
    EXPECT_EQ(list.At(5), nullptr) << "position = count yields nothing";
    EXPECT_EQ(list.At(-1), nullptr);

    list.PushBack(50);
    EXPECT_FALSE(list.IsIndexValid());
    EXPECT_EQ(*list.At(5), 50);
    list.PopFront();
    EXPECT_EQ(*list.At(0), 10) << "a stale index would still say 0";
    list.RemoveNode(list.First()->next);
    EXPECT_EQ(*list.At(1), 30);
    EXPECT_EQ(list.At(4), nullptr);
}

struct EraseCase {
    const char* name;
    std::vector<int> input;
    int removeMultiplesOf;
    std::vector<int> expected;
};

TEST(List, EraseWhileIterating)
{
    const EraseCase cases[] = {
        {"none", {1, 3, 5}, 2, {1, 3, 5}},
        {"all", {2, 4, 6}, 2, {}},
        {"first and last", {3, 1, 2, 6}, 3, {1, 2}},
        {"neighbours", {1, 6, 9, 12, 4}, 3, {1, 4}},
        {"empty", {}, 2, {}},
    };
    for (const EraseCase& c : cases) {
        SCOPED_TRACE(c.name);
        Tracked::live = 0;
        {
            List<Tracked> list;
            for (int v : c.input)
                list.PushBack(v);
            ASSERT_NE(list.At(0) == nullptr, !c.input.empty());
            for (List<Tracked>::Iterator it(list); !it.AtEnd();) {
                if (it.Get()->value % c.removeMultiplesOf == 0)
                    it.Erase();
                else
                    it.Next();
            }
            std::vector<int> left;
            for (const Tracked& t : list)
                left.push_back(t.value);
            EXPECT_EQ(left, c.expected);
            EXPECT_EQ(list.Count(), static_cast<int32_t>(c.expected.size()));
            EXPECT_EQ(Tracked::live, static_cast<int>(c.expected.size()));
            if (!c.expected.empty()) {
                EXPECT_EQ(list.At(static_cast<int32_t>(c.expected.size()) - 1)->value, c.expected.back());
            }
        }
        EXPECT_EQ(Tracked::live, 0) << "the list destroys what it holds";
    }
}

TEST(List, IteratorPeeksAndStopsAtTheEnd)
{
    List<int> list;
    list.PushBack(7);
    list.PushBack(8);
    List<int>::Iterator it(list);
    EXPECT_EQ(*it.PeekNext(), 8);
    it.Next();
    EXPECT_EQ(it.PeekNext(), nullptr);
    it.NextUnlessEnd();
    EXPECT_TRUE(it.AtEnd());
    it.NextUnlessEnd();
    EXPECT_TRUE(it.AtEnd());
    EXPECT_EQ(it.Get(), nullptr);
    it.Erase(); // nothing at the end
    EXPECT_EQ(list.Count(), 2);
}

TEST(List, CyclicIteratorAlternatesWithoutEnd)
{
    List<int> list;
    list.PushBack(1);
    list.PushBack(2);
    List<int>::CyclicIterator it(list);
    std::vector<int> seen;
    for (int i = 0; i < 7; ++i) {
        seen.push_back(*it.Get());
        it.Next();
    }
    EXPECT_EQ(seen, (std::vector<int>{1, 2, 1, 2, 1, 2, 1}));
}

TEST(List, CopyFromKeepsOrderAndPointerPayloadsAreNotDeleted)
{
    int a = 1, b = 2;
    List<int*> source;
    source.PushBack(&a);
    source.PushBack(&b);
    List<int*> copy(&b);
    copy.CopyFrom(source);
    EXPECT_EQ(Contents(copy), (std::vector<int*>{&a, &b}));
    copy.Clear();
    EXPECT_EQ(a + b, 3);
}

struct Object {
    uint32_t id;
    std::string name;
    uint32_t HashKey() const { return id; }
    std::string_view Name() const { return name; }
};

TEST(HashTable, InsertUniqueFindAndRemove)
{
    HashTable<Object> table(6);
    EXPECT_EQ(table.BucketCount(), 64);
    Object a{5, "a"}, b{69, "b"}; // the same bucket (69 & 63 == 5)
    table.Insert(&a);
    table.Insert(&a);
    EXPECT_EQ(table.Count(), 2) << "Insert does not look for duplicates";
    table.Clear();
    EXPECT_TRUE(table.InsertUnique(&a));
    EXPECT_FALSE(table.InsertUnique(&a));
    EXPECT_TRUE(table.InsertUnique(&b));
    EXPECT_EQ(table.Count(), 2);
    EXPECT_EQ(table.FindByKey(69), &b);
    EXPECT_EQ(table.FindByKey(5), &a);
    EXPECT_EQ(table.FindByKey(133), nullptr);
    ASSERT_NE(table.Find(&a), nullptr);
    EXPECT_TRUE(table.Remove(&a));
    EXPECT_FALSE(table.Remove(&a));
    EXPECT_EQ(table.Find(&a), nullptr);
    EXPECT_EQ(table.FindByKey(69), &b);
    int inBucket = 0;
    for (HashTable<Object>::BucketIterator it(table, 5); it.Get(); it.Next())
        ++inBucket;
    EXPECT_EQ(inBucket, 1);
}

TEST(HashTable, RemovalWhileIterating)
{
    struct Case {
        const char* name;
        bool byErase; // Iterator::Erase, else the table's Remove on the current element
        uint32_t removeMultiplesOf;
    };
    for (const Case c : {Case{"erase", true, 2}, Case{"remove current", false, 3}, Case{"everything", true, 1}}) {
        SCOPED_TRACE(c.name);
        std::vector<std::unique_ptr<Object>> objects;
        HashTable<Object> table(3); // 8 buckets: long chains
        for (uint32_t id = 0; id < 50; ++id) {
            objects.push_back(std::make_unique<Object>(Object{id, ""}));
            table.Insert(objects.back().get());
        }
        std::vector<uint32_t> visited;
        for (HashTable<Object>::Iterator it(table); !it.AtEnd();) {
            Object* o = it.Get();
            visited.push_back(o->id);
            if (o->id % c.removeMultiplesOf == 0) {
                if (c.byErase) {
                    it.Erase();
                } else {
                    it.Next();
                    table.Remove(o);
                }
            } else {
                it.Next();
            }
        }
        std::sort(visited.begin(), visited.end());
        ASSERT_EQ(visited.size(), 50u) << "every element visited exactly once";
        for (uint32_t id = 0; id < 50; ++id)
            EXPECT_EQ(visited[id], id);
        int left = 0;
        for (HashTable<Object>::Iterator it(table); !it.AtEnd(); it.Next()) {
            EXPECT_NE(it.Get()->id % c.removeMultiplesOf, 0u);
            ++left;
        }
        EXPECT_EQ(left, table.Count());
        EXPECT_EQ(table.Count(), static_cast<int32_t>(50 - (49 / c.removeMultiplesOf + 1)));
    }
}

TEST(HashTable, CopyFromTakesTheBucketCount)
{
    Object a{1, ""}, b{2, ""};
    HashTable<Object> source(4);
    source.Insert(&a);
    source.Insert(&b);
    HashTable<Object> copy(6);
    copy.CopyFrom(source);
    EXPECT_EQ(copy.BucketCount(), 16);
    EXPECT_EQ(copy.Count(), 2);
    EXPECT_EQ(copy.FindByKey(2), &b);
}

// A chain far longer than any table holds: freeing it must not recurse
// once per node (the leak checker of the sanitizer build sees the rest).
TEST(HashTable, FreeChainTakesLongChainsAndNull)
{
    using Table = HashTable<Object>;
    Table::FreeChain(nullptr);
    Object o{1, ""};
    Table::ChainNode* head = nullptr;
    for (int i = 0; i < 1000000; ++i)
        head = new Table::ChainNode{&o, head};
    Table::FreeChain(head);
}

TEST(NameHashTable, FindsNamesInAnyLetterCase)
{
    Object tex{0, "Bitmaps\\Particles.RIM"}, font{0, "font1"}, other{0, "1tnof"}; // same sum as font1
    NameHashTable<Object> table;
    table.Insert(&tex);
    table.Insert(&font);
    table.Insert(&other);
    EXPECT_EQ(table.Find("bitmaps\\particles.rim"), &tex);
    EXPECT_EQ(table.Find("BITMAPS\\PARTICLES.RIM"), &tex);
    EXPECT_EQ(table.Find("FONT1"), &font);
    EXPECT_EQ(table.Find("1TNOF"), &other);
    EXPECT_EQ(table.Find("font2"), nullptr);
    EXPECT_EQ(table.Find("font"), nullptr);
    Object key{0, "Font1"};
    ASSERT_NE(table.FindNode(&key), nullptr);
    EXPECT_EQ(table.FindNode(&key)->element, &font);
}

TEST(NameHashes, SumLetterCaseFoldedBytes)
{
    EXPECT_EQ(HashName("AbC"), 'a' + 'b' + 'c');
    EXPECT_EQ(NameHashUpper("AbC"), 'A' + 'B' + 'C');
    EXPECT_EQ(HashName("\xE9"), -23) << "bytes above 127 count as signed";
    EXPECT_TRUE(CompareName("Door_01", "DOOR_01"));
    EXPECT_FALSE(CompareName("Door_01", "Door_1"));
}

struct Counted : RefCounted {
    static inline int destroyed = 0;
    ~Counted() override { ++destroyed; }
};

TEST(RefCounted, LastReleaseDestroys)
{
    Counted::destroyed = 0;
    auto* object = new Counted;
    EXPECT_EQ(object->RefCount(), 1);
    object->AddRef();
    EXPECT_EQ(object->Release(), 1);
    EXPECT_EQ(Counted::destroyed, 0);
    EXPECT_EQ(object->Release(), 0);
    EXPECT_EQ(Counted::destroyed, 1);

    {
        RefPtr<Counted> holder = RefPtr<Counted>::Adopt(new Counted);
        RefPtr<Counted> second = holder;
        EXPECT_EQ(holder->RefCount(), 2);
        second = RefPtr<Counted>::Adopt(new Counted); // releases the old reference first
        EXPECT_EQ(holder->RefCount(), 1);
        EXPECT_EQ(Counted::destroyed, 1);
    }
    EXPECT_EQ(Counted::destroyed, 3);
}

TEST(RefCounted, CountHelpers)
{
    struct Case {
        int32_t from, to, expected;
        bool destroyed;
    };
    const Case cases[] = {{1, 4, 4, false}, {4, 2, 2, false}, {3, 3, 3, false}, {2, 0, 0, true}, {1, -5, 0, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.from << " -> " << c.to);
        Counted::destroyed = 0;
        auto* object = new Counted;
        for (int i = 1; i < c.from; ++i)
            object->AddRef();
        EXPECT_EQ(ComRefCount(object), c.from);
        EXPECT_EQ(ComSetRefCount(object, c.to), c.expected);
        EXPECT_EQ(Counted::destroyed, c.destroyed ? 1 : 0);
        if (!c.destroyed) {
            EXPECT_EQ(ComRefCount(object), c.expected);
            ComSetRefCount(object, 0);
            EXPECT_EQ(Counted::destroyed, 1);
        }
    }
    EXPECT_EQ(ComRefCount(static_cast<Counted*>(nullptr)), 0);
}

} // namespace
