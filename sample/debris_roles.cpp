// A definition script of roles that break apart when destroyed: the sample
// wreck (a body with parts, sub-parts and exhaust dummies) as the shape of
// one role that explodes and one that splatters, so the debris of both
// destruction types can be seen flying.
#include "sample/generator.h"

#include <string>

namespace sample {
namespace {

std::string WreckRole(const std::string& name, const std::string& identifier, const std::string& destruction)
{
    return "role " + name + " { character none shape wreck_model light none projectile none identifier \"" +
           identifier + "\" alpha fogging no per vertex fogging no destructibility " + destruction + " ai 5 }\n";
}

bool WriteDebrisRoles(const Context& ctx)
{
    std::string s =
        "// Roles whose objects break up into debris\n"
        "hierarchy wreck_model { name \"Wreck\" file \"wreck_hierarchy.rif\" }\n"
        "destructibility breaks_apart { type explode }\n"
        "destructibility scatters { type splatter }\n";
    s += WreckRole("wreck", "Wreck", "breaks_apart");
    s += WreckRole("wreck_scattering", "Scattering wreck", "scatters");
    return WriteTextFile(ctx, std::filesystem::path("scripts") / "debris_roles.tvs", s);
}

const StepRegistration kDebrisRoles(48, "debris roles", WriteDebrisRoles);

} // namespace
} // namespace sample
