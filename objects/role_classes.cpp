#include "objects/role_classes.h"

ClientClass ClientClassFor(const script::Role& role)
{
    switch (role.aiType) {
    case 0: return ClientClass::kUnit;
    case 2: return ClientClass::kMovingObject;
    case 5: case 8: case 9: case 10: case 11: case 14: case 17: return ClientClass::kTypedObject;
    case 12: case 13: case 16: return ClientClass::kTypedUnit;
    default: break;
    }
    if (role.character)
        return role.character->weapon != kNoWeapon ? ClientClass::kUnit : ClientClass::kMovingObject;
    return role.projectile ? ClientClass::kNone : ClientClass::kWorldObject;
}
