#include "objects/body_part.h"

#include "Veapi/hierarchy.h"
#include "Veapi/ve_object.h"
#include "script/records.h"
#include "world/map_build.h"

#include <string>
#include <strings.h>

namespace {

// Slots 2 to 12 carry modules, shields and armour; their parts are named
// as the models' body parts are.
constexpr const char* kNames[BodyPart::kSlots] = {
    "Upper Arm Right", "Upper Arm Left", "Head",           "Torso",          "Back",           "Lower Arm Right",
    "Lower Arm Left",  "Pelvis",         "Upper Leg Right", "Upper Leg Left", "Lower Leg Right", "Lower Leg Left",
    "Neck",
};

bool HasPart(VeObject& carrier, const std::string& name)
{
    Vec3 ignored;
    return carrier.FindPartPosition(ignored, name, 0);
}

// The node carrying `name`; an unnamed node (a model's root often is) never
// stands in for it.
ShapeInstance* NamedNode(ShapeInstance& node, const std::string& name)
{
    if (!node.name_.empty() && strcasecmp(node.name_.c_str(), name.c_str()) == 0)
        return &node;
    for (ShapeInstance* child : node.children_) {
        if (ShapeInstance* found = NamedNode(*child, name))
            return found;
    }
    return nullptr;
}

// The node of `ref`'s tree named `name` put in place of the carrier's.
bool ApplyNode(VeObject& carrier, const script::ShapeRef& ref, const std::string& name)
{
    Hierarchy* tree = RoleHierarchy(ref);
    Hierarchy* node = tree ? tree->FindNode(name) : nullptr;
    if (!node)
        return false;
    carrier.SetPartHierarchy(node, 0);
    return true;
}

} // namespace

namespace BodyPart {

const char* Name(int32_t slot) { return slot >= 0 && slot < kSlots ? kNames[slot] : nullptr; }

const script::ShapeRef& ItemLook(const script::Role& role)
{
    if (role.inventory && (role.inventory->shape.shape || role.inventory->shape.hierarchy))
        return role.inventory->shape;
    return role.shape;
}

bool Attach(VeObject& carrier, const script::ShapeRef& look, int32_t slot)
{
    const char* name = Name(slot);
    if (!name || !HasPart(carrier, name))
        return false;
    if (ApplyNode(carrier, look, name))
        return true;
    ShapeInstance* part = carrier.Root() ? NamedNode(*carrier.Root(), name) : nullptr;
    if (!look.shape || !part || !part->SetPartShape(static_cast<VeShape*>(look.shape.get()), name))
        return false;
    carrier.SetPartHierarchy(nullptr, 0);  // changes nothing; the object takes the new textures
    return true;
}

bool Restore(VeObject& carrier, const script::ShapeRef& own, int32_t slot)
{
    const char* name = Name(slot);
    return name && HasPart(carrier, name) && ApplyNode(carrier, own, name);
}

} // namespace BodyPart
