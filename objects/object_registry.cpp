#include "objects/object_registry.h"

#include "objects/game_object.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace {
// At namespace scope, not function-local: the server thread's end (an exit
// handler) still releases objects through them.
ObjectRegistry g_registry;
SideLists g_sideLists;
LockedRandom g_serverRandom(ServerRandom::kStartWords);
} // namespace

ObjectRegistry& ObjectRegistry::Global() { return g_registry; }

void ObjectRegistry::Insert(GameObject& object)
{
    Node*& head = buckets_[object.GetId() & kMask];
    head = new Node{&object, head};
    ++count_;
}

void ObjectRegistry::Erase(GameObject& object)
{
    for (Node** link = &buckets_[object.GetId() & kMask]; *link; link = &(*link)->next) {
        if ((*link)->object == &object) {
            Node* gone = *link;
            *link = gone->next;
            delete gone;
            --count_;
            return;
        }
    }
}

GameObject* ObjectRegistry::Find(uint32_t id) const
{
    for (const Node* node = buckets_[id & kMask]; node; node = node->next) {
        if (node->object->GetId() == id)
            return node->object;
    }
    return nullptr;
}

void ObjectRegistry::Rekey(GameObject& object, uint32_t id)
{
    Erase(object);
    object.id_ = id;
    Insert(object);
}

std::vector<GameObject*> ObjectRegistry::Snapshot() const
{
    std::vector<GameObject*> out;
    out.reserve(count_);
    for (const Node* head : buckets_) {
        for (const Node* node = head; node; node = node->next)
            out.push_back(node->object);
    }
    return out;
}

ObjectRegistry::PassScope::PassScope() { ++Global().passDepth_; }

ObjectRegistry::PassScope::~PassScope()
{
    ObjectRegistry& registry = Global();
    if (--registry.passDepth_ > 0)
        return;
    // A release may remove further objects (a destructor's own work); those
    // go at once, as no pass runs any more.
    std::vector<GameObject*> removed;
    removed.swap(registry.removedInPass_);
    for (GameObject* object : removed)
        object->Release();
}

void ObjectRegistry::DropRemoved(GameObject& object)
{
    if (passDepth_ > 0)
        removedInPass_.push_back(&object);
    else
        object.Release();
}

void ObjectRegistry::ActivateAll()
{
    for (GameObject* object : Snapshot())
        object->Activate(0, 0.0f);
}

void ObjectRegistry::ReleaseAll()
{
    for (GameObject* object : Snapshot()) {
        object->ReleaseLinks();
        object->Release();
    }
}

SideLists& SideLists::Global() { return g_sideLists; }

bool SideLists::Add(GameObject& object)
{
    const int32_t side = object.Side();
    if (side < 0 || side >= kSides || object.listed_)
        return false;
    lists_[static_cast<size_t>(side)].push_back(&object);
    object.listed_ = true;
    return true;
}

void SideLists::Remove(GameObject& object)
{
    if (!object.listed_)
        return;
    // The object may have changed side since it was filed: look everywhere.
    for (auto& list : lists_)
        list.erase(std::remove(list.begin(), list.end(), &object), list.end());
    object.listed_ = false;
}

const std::vector<GameObject*>& SideLists::Side(int32_t side) const
{
    static const std::vector<GameObject*> kNone;
    return side < 0 || side >= kSides ? kNone : lists_[static_cast<size_t>(side)];
}

void SideLists::Clear()
{
    for (auto& list : lists_) {
        for (GameObject* object : list)
            object->listed_ = false;
        list.clear();
    }
}

namespace {
int32_t g_eventNumber = 0;
int32_t g_planBudget = 1;
int32_t g_levelPlanBudget = 1;
} // namespace

int32_t ServerCounters::NextEventNumber() { return g_eventNumber++; }
int32_t ServerCounters::PeekEventNumber() { return g_eventNumber; }
void ServerCounters::ResetEventNumber() { g_eventNumber = 0; }
int32_t& ServerCounters::PlanBudget() { return g_planBudget; }
int32_t& ServerCounters::LevelPlanBudget() { return g_levelPlanBudget; }

LockedRandom::LockedRandom(const uint32_t (&state)[ParticleRandom::kDegree]) : generator_(state, 3, 0)
{
    std::copy(std::begin(state), std::end(state), start_);
}

uint32_t LockedRandom::Next()
{
    LockGuard guard(lock_, true);
    return generator_.Next();
}

float LockedRandom::NextFraction()
{
    const uint32_t mantissa = (Next() >> 1) & 0x7FFFFF;
    return std::bit_cast<float>(0x3F800000u | mantissa) - 1.0f;
}

void LockedRandom::Reset()
{
    LockGuard guard(lock_, true);
    generator_ = ParticleRandom(start_, 3, 0);
}

ParticleRandom LockedRandom::Snapshot()
{
    LockGuard guard(lock_, true);
    return generator_;
}

void LockedRandom::Restore(const ParticleRandom& state)
{
    LockGuard guard(lock_, true);
    generator_ = state;
}

namespace ServerRandom {
const uint32_t kStartWords[ParticleRandom::kDegree] = {
    0x03F0A9B4, 0x1BBF8475, 0x96B343B3, 0x7D22528D, 0xF9915475, 0x95387CCA, 0xC21D7F90, 0x05C125B1,
    0xDACB9E73, 0xCB3F4727, 0x6C15C659, 0xFA7B481A, 0xA88E8DCC, 0x640ABFB9, 0x10231B07, 0x69D91F12,
    0x523504DD, 0xBA66EEC0, 0x49CB520B, 0x69484ADC, 0x6EF9E4C4, 0x231B5114, 0x988622E5, 0xED361BA3,
    0xF379031E, 0x5AD75C38, 0x42286387, 0xEF087EB0, 0x429A4A7E, 0xDCBCBABA, 0x52C6235C};

LockedRandom& Get() { return g_serverRandom; }
} // namespace ServerRandom
