// A definition script of roles for the client replicas: every role flag the
// drawing reads (alpha and per-vertex fogging, destination selectable, hit
// test ignore, frag control), every kind the server's messages address
// (tracks, pick-ups, drifters, wanderers, chains and their segments,
// hatchers, escorts, deployers and footprints), and shots whose "limit"
// bits pick their trail, beam and electric effects.
#include "sample/generator.h"

#include <cstdio>
#include <fstream>
#include <string>

namespace sample {
namespace {

std::string Role(const std::string& name, const std::string& character, int ai, const std::string& flags)
{
    return "role " + name + " { character " + character + " light none projectile none identifier \"" + name +
           "\" destructibility none ai " + std::to_string(ai) + " " + flags + " }\n";
}

bool WriteClientRoles(const Context& ctx)
{
    std::string s =
        "// Roles of the client replicas\n"
        "character walker { walking speed 1.5 turning speed 2 strength 20 aim 90 sight angle 45 sight range 10 "
        "hearing range 6 aggression 0.5 }\n"
        "character gunner : walker { weapon 3 }\n";
    const char* kPlain = "alpha fogging no per vertex fogging no";
    s += Role("fog_alpha", "none", 5, "alpha fogging yes per vertex fogging no");
    s += Role("fog_vertex", "none", 5, "alpha fogging no per vertex fogging yes");
    s += Role("selectable", "none", 5, std::string(kPlain) + " destination selectable yes");
    s += Role("ghost", "none", 5, std::string(kPlain) + " hit test ignore yes");
    s += Role("fixed", "none", 5, std::string(kPlain) + " frag control yes");
    s += Role("drifter", "none", 9, kPlain);
    s += Role("wanderer", "walker", 11, kPlain);
    s += Role("deployer", "gunner", 16, kPlain);
    s += Role("track", "none", 8, kPlain);
    s += Role("prize", "none", 10, kPlain);
    s += Role("chain", "gunner", 12, kPlain);
    s += Role("segment", "gunner", 13, kPlain);
    s += Role("hatcher", "walker", 14, kPlain);
    s += Role("escort", "walker", 17, kPlain);
    s += Role("shot_electric", "none", 1, std::string(kPlain) + " limit 2");
    s += Role("shot_trail", "none", 1, std::string(kPlain) + " limit 8");
    s += Role("shot_beam", "none", 1, std::string(kPlain) + " limit 32");

    const auto path = ctx.out / "scripts" / "client_roles.tvs";
    std::filesystem::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << s;
    if (!out) {
        std::fprintf(stderr, "sample_gen: cannot write %s\n", path.c_str());
        return false;
    }
    return true;
}

const StepRegistration kClientRoles(46, "client roles", WriteClientRoles);

} // namespace
} // namespace sample
