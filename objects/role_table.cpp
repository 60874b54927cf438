#include "objects/role_table.h"

#include "chunk/loaders/environment_loader.h"

RoleTable& RoleTable::Global()
{
    static RoleTable table;
    return table;
}

void RoleTable::Install()
{
    script::RecordTables::Global().SetRoleFiler(&Global());
}

void RoleTable::ForgetAll()
{
    Clear();
    ResetIds();
}

void RoleTable::File(script::Role& role)
{
    role.id = nextId_++;
    buckets_[uint32_t(role.id) & (kBuckets - 1)].push_front(&role);
    ++count_;
}

script::Role* RoleTable::FindByName(std::string_view name) const
{
    for (const auto& chain : buckets_)
        for (script::Role* r : chain)
            if (!r->identifier.empty() && trevok::SameNameIgnoringCase(r->identifier, name))
                return r;
    return nullptr;
}

script::Role* RoleTable::FindById(int32_t id) const
{
    // Ids from messages and saves may be anything: the mask keeps the bucket
    // in range and the comparison rejects a stranger.
    for (script::Role* r : buckets_[uint32_t(id) & (kBuckets - 1)])
        if (r->id == id)
            return r;
    return nullptr;
}

script::Role* RoleTable::FindByWeaponRating(int32_t weapon, int32_t rating) const
{
    for (const auto& chain : buckets_)
        for (script::Role* r : chain)
            if (r->character && r->character->weapon == weapon && r->GetRating() == rating)
                return r;
    return nullptr;
}

void RoleTable::Clear()
{
    for (auto& chain : buckets_)
        chain.clear();
    count_ = 0;
}
