// A definition script of roles, ammunition and ammunition information: a
// role for every AI type the game uses, names that differ only in case, a
// role without a name and one without a character, characters rating 2, 4,
// 6 and 8, item roles, and "ammo" for every weapon its characters carry.
#include "sample/generator.h"

#include <cstdio>
#include <fstream>
#include <string>
#include <utility>

namespace sample {

bool WriteTextFile(const Context& ctx, const std::filesystem::path& relative, const std::string& text)
{
    const auto path = ctx.out / relative;
    std::filesystem::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    if (!out) {
        std::fprintf(stderr, "sample_gen: cannot write %s\n", path.c_str());
        return false;
    }
    return true;
}

std::string RoleDefinition(const std::string& name, const std::string& identifier, const std::string& character,
                           int ai, const std::string& extra)
{
    return "role " + name + " { character " + character + " light none projectile none identifier " + identifier +
           " alpha fogging no per vertex fogging no destructibility none ai " + std::to_string(ai) + extra +
           " }\n";
}

namespace {

std::string Role(const std::string& name, const std::string& identifier, const std::string& character, int ai,
                 const std::string& extra = "")
{
    return RoleDefinition(name, identifier, character, ai, extra);
}

std::string Ammo(int weapon, int ammo)
{
    const std::string name = "w" + std::to_string(weapon) + "a" + std::to_string(ammo);
    return "ammo " + name + " { name \"" + name + "\" file \"" + name + ".rif\" weapon type " +
           std::to_string(weapon) + " ammo type " + std::to_string(ammo) +
           " round time 0.5 reload time 2 life timer 30 magazine size 12 sound 4 firing speed 8 }\n";
}

bool WriteRoles(const Context& ctx)
{
    std::string s =
        "// Roles of the sample campaign\n"
        "character base { walking speed 1.5 turning speed 2 strength 3 aim 90 sight angle 45 sight range 10 "
        "hearing range 6 aggression 0.5 }\n"
        "character calm : base { aggression 0.4 weapon 3 }\n"
        "character keen : base { aggression 0.6 weapon 3 }\n"
        "character keyed : base { aggression 0.7 weapon 5 }\n"
        "character fierce : base { aggression 0.9 weapon 15 }\n"
        "shape crate { name \"Crate\" file \"models.rif\" }\n";
    s += Role("grunt", "\"Grunt\"", "calm", 0);
    s += Role("grunt_shout", "\"GRUNT\"", "keen", 0);
    s += Role("nameless", "none", "keen", 2);
    s += Role("keyholder", "\"Keyholder\"", "keyed", 12);
    s += Role("boss", "\"Boss\"", "fierce", 0);
    s += Role("barrel", "\"Barrel\"", "none", 5);
    for (const int ai : {1, 3, 4, 8, 9, 10, 11, 13, 14, 16, 17})
        s += Role("kind" + std::to_string(ai), "\"Kind " + std::to_string(ai) + "\"", "none", ai);
    s += Role("medkit", "\"Medkit\"", "none", 5, " inventory shape crate description 3001 pickup name 3002");
    s += Role("keycard", "\"Keycard\"", "none", 5, " description 3003");
    const std::pair<int, int> weaponAmmo[] = {{3, 2}, {5, 6}, {15, 16}, {0, 1}};
    for (const auto& [weapon, ammo] : weaponAmmo)
        s += Ammo(weapon, ammo);
    for (const int ammo : {1, 2, 16})
        s += "ammo info i" + std::to_string(ammo) + " { ammo type " + std::to_string(ammo) +
             " shape crate description 3004 ammo name 3005 max per slot 30 }\n";

    return WriteTextFile(ctx, std::filesystem::path("scripts") / "roles.tvs", s);
}

const StepRegistration kRoles(45, "roles", WriteRoles);

} // namespace
} // namespace sample
