#include "objects/server_classes.h"

#include "objects/kind_objects.h"
#include "objects/path_mover.h"
#include "objects/server_kinds.h"
#include "script/records.h"

#include <array>

namespace {
// The kind classes built here are the defaults; others register as they land.
std::array<ServerClasses::Maker, ServerClasses::kTypes> DefaultMakers()
{
    std::array<ServerClasses::Maker, ServerClasses::kTypes> makers{};
    makers[Kind8Object::kAiType] = &Kind8Object::Make;
    makers[Kind9Object::kAiType] = &Kind9Object::Make;
    makers[Kind11Object::kAiType] = &Kind11Object::Make;
    return makers;
}

template <class T>
GameObject* MakeKind(int32_t side, script::Role* role, const Vec3& position, const Quaternion& orientation,
                     uint32_t id)
{
    return new T(side, role, position, orientation, id);
}

// The kinds that carry more than a plain object's fields.
std::array<ServerClasses::Maker, ServerClasses::kTypes> WithKinds(std::array<ServerClasses::Maker, ServerClasses::kTypes> makers)
{
    makers[Kind5Object::kAiType] = &MakeKind<Kind5Object>;
    makers[Kind10Object::kAiType] = &MakeKind<Kind10Object>;
    makers[Kind12Actor::kAiType] = &MakeKind<Kind12Actor>;
    makers[Kind13Actor::kAiType] = &MakeKind<Kind13Actor>;
    makers[Kind14Actor::kAiType] = &MakeKind<Kind14Actor>;
    makers[Kind16Actor::kAiType] = &MakeKind<Kind16Actor>;
    makers[Kind17Actor::kAiType] = &MakeKind<Kind17Actor>;
    return makers;
}

std::array<ServerClasses::Maker, ServerClasses::kTypes> g_makers = WithKinds(DefaultMakers());
ServerClasses::Maker g_characterMaker = nullptr;
} // namespace

void ServerClasses::Set(int32_t aiType, Maker maker)
{
    if (aiType >= 0 && aiType < kTypes)
        g_makers[static_cast<size_t>(aiType)] = maker;
}

void ServerClasses::SetCharacterMaker(Maker maker) { g_characterMaker = maker; }

GameObject* ServerClasses::Make(int32_t side, script::Role* role, const Vec3& position, const Quaternion& orientation,
                                uint32_t id)
{
    if (!role || role->aiType < 0 || role->aiType >= kTypes)
        return nullptr;
    if (Maker maker = g_makers[static_cast<size_t>(role->aiType)])
        return maker(side, role, position, orientation, id);
    if (role->character && g_characterMaker)
        return g_characterMaker(side, role, position, orientation, id);
    return new GameObject(side, role, position, orientation, 0, id);
}
