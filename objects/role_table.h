// The level's registry of roles, keyed by id (messages and saved games name a
// role by its id) and searched by name and by weapon. The record tables own
// the roles; the table only files them. Ids count from 0 in filing order and
// restart with each level.
#pragma once

#include "script/records.h"

#include <array>
#include <cstdint>
#include <forward_list>
#include <string_view>

class RoleTable : public script::RoleFiler {
public:
    static constexpr uint32_t kBuckets = 64;

    static RoleTable& Global();
    // Makes the global table the one every new role is filed in.
    static void Install();

    // Gives the role the next id and files it at the head of its chain.
    void File(script::Role& role) override;
    // The level's roles are going: empty, ids from 0 again.
    void ForgetAll() override;
    // First match in bucket order, then chain order; nameless roles never match.
    script::Role* FindByName(std::string_view name) const;
    script::Role* FindById(int32_t id) const;
    // A role whose character carries `weapon` and rates 6 (key) or 4 (weapon role).
    script::Role* FindByKey(int32_t weapon) const { return FindByWeaponRating(weapon, 6); }
    script::Role* FindWeaponRole(int32_t weapon) const { return FindByWeaponRating(weapon, 4); }
    // Empties the table (level stop); the ids restart at 0 with the next level.
    void Clear();
    void ResetIds() { nextId_ = 0; }
    size_t Count() const { return count_; }

private:
    script::Role* FindByWeaponRating(int32_t weapon, int32_t rating) const;

    std::array<std::forward_list<script::Role*>, kBuckets> buckets_{};
    size_t count_ = 0;
    int32_t nextId_ = 0;
};
