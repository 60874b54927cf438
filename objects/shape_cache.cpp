#include "objects/shape_cache.h"

#include "Veapi/hierarchy.h"
#include "Veapi/ve_shape.h"
#include "app/directories.h"
#include "chunk/loaders/hierarchy_loader.h"

#include <cctype>
#include <utility>

namespace {

uint32_t SumOf(std::string_view text, int (*fold)(int))
{
    uint32_t sum = 0;
    for (char c : text)
        sum += uint32_t(fold(static_cast<unsigned char>(c)));
    return sum;
}

// A chained table of 64 buckets; new entries go to the head of their chain.
template <typename Entry>
struct ChainedTable {
    std::array<std::forward_list<Entry>, kCacheBuckets> buckets;
    size_t count = 0;

    template <typename Match>
    Entry* Find(uint32_t hash, Match match)
    {
        for (Entry& e : buckets[hash])
            if (match(e))
                return &e;
        return nullptr;
    }
    Entry& Insert(uint32_t hash, Entry entry)
    {
        ++count;
        buckets[hash].push_front(std::move(entry));
        return buckets[hash].front();
    }
    template <typename Each>
    void Clear(Each each)
    {
        for (auto& chain : buckets) {
            for (Entry& e : chain)
                each(e);
            chain.clear();
        }
        count = 0;
    }
};

struct ShapeEntry {
    NamePairKey key;
    VeShape* shape = nullptr;  // the cache holds one hold reference
};

struct HierarchyEntry {
    NamePairKey key;
    Hierarchy* tree = nullptr;  // the cache holds one hold reference
};

// At namespace scope: the shell's exit handlers free them, also when the
// program ends through exit(), after which function-local statics made
// later than the handlers' registration would already be gone.
ChainedTable<ChunkFileCacheEntry> g_files;
ChainedTable<ShapeEntry> g_shapes;
ChainedTable<HierarchyEntry> g_hierarchies;

ChainedTable<ChunkFileCacheEntry>& Files() { return g_files; }

// Shapes and hierarchies stay until the program ends; the holds are given
// back by ShapeCache::FreeAll, which the shell calls at exit.
ChainedTable<ShapeEntry>& Shapes() { return g_shapes; }
ChainedTable<HierarchyEntry>& Hierarchies() { return g_hierarchies; }

ChunkFileCache::FolderSource& Folder()
{
    static ChunkFileCache::FolderSource source = [] {
        return app::DataDirectories::Global().Folder(app::kRifsDirectory);
    };
    return source;
}

template <typename Entry>
Entry* FindPair(ChainedTable<Entry>& table, std::string_view file, std::string_view name)
{
    return table.Find(NamePairKey::Hash(file, name),
                      [&](const Entry& e) { return e.key.Matches(file, name); });
}

} // namespace

uint32_t FileNameHash(std::string_view file)
{
    return SumOf(file, std::tolower) & (kCacheBuckets - 1);
}

uint32_t NamePairKey::Hash(std::string_view file, std::string_view name)
{
    return (SumOf(file, std::tolower) ^ SumOf(name, std::toupper)) & (kCacheBuckets - 1);
}

bool NamePairKey::Matches(std::string_view otherFile, std::string_view otherName) const
{
    return trevok::SameNameIgnoringCase(file, otherFile) && trevok::SameNameIgnoringCase(name, otherName);
}

trevok::EnvironmentRecord* ChunkFileCacheEntry::Load()
{
    if (!record) {
        const auto folder = Folder() ? Folder()() : std::nullopt;
        if (folder)
            record = trevok::LoadEnvironmentFile(*folder, file);
    }
    return record.get();
}

namespace ChunkFileCache {

void SetFolderSource(FolderSource source)
{
    Folder() = std::move(source);
}

ChunkFileCacheEntry* Find(std::string_view file)
{
    return Files().Find(FileNameHash(file),
                        [&](const ChunkFileCacheEntry& e) { return trevok::SameNameIgnoringCase(e.file, file); });
}

ChunkFileCacheEntry& Insert(std::string_view file)
{
    return Files().Insert(FileNameHash(file), ChunkFileCacheEntry{std::string(file), nullptr});
}

trevok::EnvironmentRecord* Get(std::string_view file)
{
    ChunkFileCacheEntry* entry = Find(file);
    return (entry ? *entry : Insert(file)).Load();
}

void FreeAll()
{
    Files().Clear([](ChunkFileCacheEntry& e) { trevok::FreeEnvironmentRecord(e.record); });
}

void ListHierarchies(std::string_view file, std::vector<const std::string*>& list)
{
    list.clear();
    if (trevok::EnvironmentRecord* record = Get(file))
        trevok::FindHierarchyChunks(*record, list);
}

size_t Count()
{
    return Files().count;
}

} // namespace ChunkFileCache

namespace ShapeCache {

VeShape* Get(std::string_view file, std::string_view object)
{
    if (ShapeEntry* hit = FindPair(Shapes(), file, object)) {
        hit->shape->AddRef();
        return hit->shape;
    }
    trevok::EnvironmentRecord* record = ChunkFileCache::Get(file);
    if (!record)
        return nullptr;
    VeShape* shape = trevok::LoadObjectFromChunks(*record, object, nullptr, nullptr, 1);
    if (!shape)
        return nullptr;
    shape->Hold();
    Shapes().Insert(NamePairKey::Hash(file, object), ShapeEntry{{std::string(file), std::string(object)}, shape});
    return shape;
}

void FreeAll()
{
    Hierarchies().Clear([](HierarchyEntry& e) { e.tree->ReleaseHold(); });
    Shapes().Clear([](ShapeEntry& e) { e.shape->ReleaseHold(); });
}

size_t Count()
{
    return Shapes().count;
}

} // namespace ShapeCache

namespace HierarchyCache {

Hierarchy* Get(std::string_view file, std::string_view hierarchy)
{
    if (HierarchyEntry* hit = FindPair(Hierarchies(), file, hierarchy)) {
        hit->tree->AddRef();
        return hit->tree;
    }
    trevok::EnvironmentRecord* record = ChunkFileCache::Get(file);
    if (!record)
        return nullptr;
    HierarchyPtr tree = trevok::LoadHierarchyFromChunks(hierarchy, *record);
    if (!tree)
        return nullptr;
    tree->AddHold();
    Hierarchy* raw = tree.release();
    Hierarchies().Insert(NamePairKey::Hash(file, hierarchy),
                         HierarchyEntry{{std::string(file), std::string(hierarchy)}, raw});
    return raw;
}

size_t Count()
{
    return Hierarchies().count;
}

} // namespace HierarchyCache

