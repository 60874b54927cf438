// A definition script of the AI's roles: static emplacements with narrow and
// wide sight, patrolling guards with the alarm keys, devices of weapons 0
// to 3, homing bombs, a spawner that produces bugs, a noise-shy creature,
// the segmented creature, pick-ups kept or destroyed after collection, a
// footprint, a dormant guard, an escort, a lift and riders with and without
// "moves on lifts".
#include "sample/generator.h"

#include <string>

namespace sample {
namespace {

std::string Role(const std::string& name, const std::string& identifier, const std::string& character, int ai,
                 const std::string& extra = "")
{
    return RoleDefinition(name, "\"" + identifier + "\"", character, ai, extra);
}

bool WriteAiRoles(const Context& ctx)
{
    std::string s =
        "// Roles of the AI: what thinks, what goes off and what can be used\n"
        "character c_base { walking speed 1.5 turning speed 2 strength 40 aim 90 sight angle 45 sight range 20 "
        "hearing range 12 aggression 0.6 }\n"
        "character c_soldier : c_base { alert radius 25 alarm delay 0.5 target cycle time 2 weapon 3 }\n"
        "character c_turret : c_soldier { walking speed 0 strength 80 sight range 30 }\n"
        "character c_narrow : c_turret { sight angle 0 }\n"
        "character c_wide : c_turret { sight angle 89 }\n"
        "character c_mine : c_base { walking speed 0 strength 5 sight range 3 hearing range 8 weapon 0 }\n"
        "character c_remote : c_mine { weapon 1 }\n"
        "character c_timed : c_mine { weapon 2 }\n"
        "character c_decoy : c_mine { weapon 3 }\n"
        "character c_bomber : c_base { walking speed 2 turning speed 3 strength 10 sight range 12 alert radius 10 }\n"
        "character c_nest : c_base { walking speed 0 strength 60 sight range 10 generation limit 5 alertable yes "
        "aggression 0.8 }\n"
        "character c_critter : c_base { walking speed 1 turning speed 3 strength 5 hearing range 6 }\n"
        "character c_sleeper : c_soldier { walking speed 0 sight range 12 sight angle 60 }\n"
        "character c_walker : c_base { walking speed 1.2 strength 30 weapon 3 }\n"
        "character c_lift : c_base { walking speed 0 strength 1000 }\n";
    s += Role("narrow_turret", "Emplacement Narrow", "c_narrow", 0);
    s += Role("wide_turret", "Emplacement Wide", "c_wide", 0);
    s += Role("patrol_guard", "Patrol Guard", "c_soldier", 0);
    s += Role("proximity_mine", "Mine", "c_mine", 2, " limit 40");
    s += Role("remote_mine", "Remote Mine", "c_remote", 2, " limit 60");
    s += Role("timed_mine", "Timed Mine", "c_timed", 2, " limit 50");
    s += Role("decoy", "Decoy", "c_decoy", 2);
    s += Role("homing_bomb", "Homing Bomb", "c_bomber", 3, " limit 30");
    s += Role("lone_bomb", "Lone Bomb", "c_bomber", 15, " limit 30");
    s += Role("bug", "bug", "c_critter", 1);
    s += Role("nest", "Nest", "c_nest", 14, " produces \"bug\"");
    s += Role("critter", "Critter", "c_critter", 1);
    s += Role("centipede_body", "centibody", "c_critter", 13);
    s += Role("centihead", "Centihead", "c_walker", 12);
    s += Role("medkit_pickup", "Medkit Pickup", "none", 10, " destroy after collection yes");
    s += Role("ammo_crate", "Ammo Crate", "none", 10, " destroy after collection no");
    s += Role("door_switch", "Door Switch", "none", 10, " destroy after collection no");
    s += Role("footprint", "Footprint", "none", 5);
    s += Role("sleeper", "Sleeper", "c_sleeper", 16);
    s += Role("escortee", "Escortee", "c_walker", 17);
    s += Role("platform", "Platform", "c_lift", 8);
    s += Role("rider", "Rider", "c_walker", 0, " moves on lifts yes");
    s += Role("stayer", "Stayer", "c_walker", 0, " moves on lifts no");

    return WriteTextFile(ctx, std::filesystem::path("scripts") / "ai_roles.tvs", s);
}

const StepRegistration kAiRoles(45, "AI roles", WriteAiRoles);

} // namespace
} // namespace sample
