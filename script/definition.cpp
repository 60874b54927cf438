#include "script/definition.h"

#include "script/compiler_internal.h"

#include <algorithm>
#include <atomic>
#include <cfloat>
#include <climits>
#include <cstring>

namespace script {

namespace {

const char* const kKindWords[kKindCount] = {
    "directory", "hierarchy", "shape", "role", "map", "light", "ammo", "ammo info",
    "camera track", "character", "projectile", "pgenerator", "destructibility", "frag data", "frag script",
};

bool FormMatches(SlotType type, ValueItem::Form form)
{
    switch (type) {
    case SlotType::kBool: return form == ValueItem::Form::kBool;
    case SlotType::kInt: return form == ValueItem::Form::kInt;
    case SlotType::kReal: return form == ValueItem::Form::kReal;
    case SlotType::kReference: return form == ValueItem::Form::kReference;
    case SlotType::kString: return form == ValueItem::Form::kString;
    case SlotType::kUndeclared: return false;
    }
    return false;
}

} // namespace

const char* KindWord(DefinitionKind kind)
{
    const int i = static_cast<int>(kind);
    return i >= 0 && i < kKindCount ? kKindWords[i] : "?";
}

namespace {
long liveDefinitions = 0;  // game thread only, like the compiler
}

const Slot ScriptDefinition::kUndeclaredSlot{};

ScriptDefinition::ScriptDefinition(DefinitionKind kind) : kind_(kind)
{
    std::fill(std::begin(slotOf_), std::end(slotOf_), kNoSlot);
    ++liveDefinitions;
}

Slot& ScriptDefinition::Declare(int key, SlotType type, const char* name)
{
    // Room for as many slots as the kind declared last time, in one allocation.
    static std::atomic<std::uint8_t> declaredByKind[kKindCount] = {};
    std::atomic<std::uint8_t>& declared = declaredByKind[static_cast<int>(kind_)];
    std::uint8_t& at = slotOf_[key];
    if (at == kNoSlot) {
        if (slots_.empty())
            slots_.reserve(declared.load(std::memory_order_relaxed));
        at = static_cast<std::uint8_t>(slots_.size());
        slots_.emplace_back();
        if (slots_.size() > declared.load(std::memory_order_relaxed))
            declared.store(static_cast<std::uint8_t>(slots_.size()), std::memory_order_relaxed);
    }
    Slot& s = slots_[at];
    if (type == SlotType::kReference && s.type != SlotType::kReference)
        referenceSlots_.push_back(at);
    s.type = type;
    s.displayName = name;
    return s;
}

ScriptDefinition::~ScriptDefinition()
{
    if (group_)
        group_->Forget(*this);
    --liveDefinitions;
}

long ScriptDefinition::LiveCount()
{
    return liveDefinitions;
}

void ScriptDefinition::JoinGroup(std::shared_ptr<DefinitionGroup> group)
{
    group_ = std::move(group);
    if (group_)
        group_->Add(*this);
}

void ScriptDefinition::ForEachReference(const std::function<void(ScriptDefinition&)>& visit) const
{
    for (std::uint8_t at : referenceSlots_)
        if (const Slot& s = slots_[at]; s.reference)
            visit(*s.reference);
}

void ScriptDefinition::DropReferences()
{
    for (std::uint8_t at : referenceSlots_)
        slots_[at].reference.reset();
}

void DefinitionGroup::Add(ScriptDefinition& d)
{
    d.groupIndex_ = members_.size();
    members_.push_back(&d);
}

void DefinitionGroup::Forget(ScriptDefinition& d)
{
    const std::size_t i = d.groupIndex_;
    if (i >= members_.size() || members_[i] != &d)
        return;
    members_[i] = members_.back();
    members_[i]->groupIndex_ = i;
    members_.pop_back();
}

void DefinitionGroup::CollectCycles()
{
    if (collecting_)
        return;
    collecting_ = true;
    // A member is held from outside when it has more references than the
    // group's own members give it; whatever such members reach stays.
    std::vector<int> internal(members_.size(), 0);
    for (ScriptDefinition* d : members_)
        d->ForEachReference([&](ScriptDefinition& target) {
            if (target.group_.get() == this)
                ++internal[target.groupIndex_];
        });
    std::vector<char> kept(members_.size(), 0);
    std::vector<ScriptDefinition*> pending;
    for (std::size_t i = 0; i < members_.size(); ++i) {
        if (members_[i]->RefCount() > internal[i]) {
            kept[i] = 1;
            pending.push_back(members_[i]);
        }
    }
    while (!pending.empty()) {
        ScriptDefinition* d = pending.back();
        pending.pop_back();
        d->ForEachReference([&](ScriptDefinition& target) {
            if (target.group_.get() == this && !kept[target.groupIndex_]) {
                kept[target.groupIndex_] = 1;
                pending.push_back(&target);
            }
        });
    }
    std::vector<DefinitionRef> garbage;
    for (std::size_t i = 0; i < members_.size(); ++i)
        if (!kept[i])
            garbage.push_back(DefinitionRef::Share(members_[i]));
    for (DefinitionRef& d : garbage)
        d->DropReferences();
    // Keep the group alive while its last members go.
    const std::shared_ptr<DefinitionGroup> self = garbage.empty() ? nullptr : garbage.front()->group_;
    garbage.clear();  // the last references go here
    collecting_ = false;
}

void ScriptDefinition::Release()
{
    if (RefCounted::Release() > 0 && group_ && group_->Closed())
        group_->CollectCycles();
}

bool ScriptDefinition::IsComplete() const
{
    for (const Slot& s : slots_)
        if (s.type != SlotType::kUndeclared && !s.hasValue)
            return false;
    return true;
}

bool ScriptDefinition::ValidateReferences() const
{
    if (!IsComplete())
        return false;
    for (std::uint8_t at : referenceSlots_)
        if (const Slot& s = slots_[at]; s.reference && !s.reference->IsComplete())
            return false;
    return true;
}

bool ScriptDefinition::SuitsFileMode(int mode) const
{
    return (mode & kLevelScriptMode) != 0;
}

void ScriptDefinition::CopyFrom(const ScriptDefinition& parent, ScriptCompiler&)
{
    // A parent is of the same kind, so it declares the same keys.
    for (int k = 0; k < kKeyCount; ++k) {
        if (slotOf_[k] == kNoSlot)
            continue;
        Slot& to = slots_[slotOf_[k]];
        const Slot& from = parent.GetSlot(k);
        to.boolean = from.boolean;
        to.integer = from.integer;
        to.real = from.real;
        to.reference = from.reference;
        to.text = from.text;
        to.hasValue = from.hasValue;
        to.given = from.given;
    }
}

void ScriptDefinition::SetValue(const ValueItem& item, ScriptCompiler& sc)
{
    if (item.key < 0 || item.key >= kKeyCount) {
        sc.Error("invalid data type");
        return;
    }
    if (slotOf_[item.key] == kNoSlot) {
        sc.Error("invalid data type");
        return;
    }
    Slot& s = slots_[slotOf_[item.key]];
    if (s.type == SlotType::kUndeclared) {
        sc.Error("invalid data type");
        return;
    }
    if (s.setHere) {
        sc.Error("value for '%s' is defined more than once", s.displayName);
        return;
    }
    if (!FormMatches(s.type, item.form)) {
        // "identifier" followed by a number reaches the string slot 65 here.
        sc.Error("invalid data type");
        return;
    }
    switch (s.type) {
    case SlotType::kBool:
        s.boolean = item.boolean;
        break;
    case SlotType::kInt:
        if (item.integer < s.minInt) {
            sc.Error("value for '%s' cannot be less than %d", s.displayName, s.minInt);
            return;
        }
        if (item.integer > s.maxInt) {
            sc.Error("value for '%s' cannot be more than %d", s.displayName, s.maxInt);
            return;
        }
        s.integer = item.integer;
        break;
    case SlotType::kReal:
        if (item.real < s.minReal) {
            sc.Error("value for '%s' cannot be less than %f", s.displayName, s.minReal);
            return;
        }
        if (item.real > s.maxReal) {
            sc.Error("value for '%s' cannot be more than %f", s.displayName, s.maxReal);
            return;
        }
        s.real = item.real;
        break;
    case SlotType::kReference:
        if (!item.reference) {
            if (!s.mayBeNone) {
                sc.Error("value for '%s' cannot be none", s.displayName);
                return;
            }
            s.reference.reset();
        } else {
            if (!s.Accepts(item.reference->Kind())) {
                sc.Error("value for '%s' is not a suitable type", s.displayName);
                return;
            }
            s.reference = item.reference;
        }
        break;
    case SlotType::kString:
        if (!item.text && !s.mayBeNone) {
            sc.Error("value for '%s' cannot be none", s.displayName);
            return;
        }
        s.text = item.text;
        break;
    case SlotType::kUndeclared:
        return;
    }
    s.hasValue = true;
    s.given = true;
    s.setHere = true;
}

void ScriptDefinition::ApplyDefaults(ScriptCompiler& sc)
{
    defined_ = true;
    // In key order, as the warnings have always come. A kind declares a dozen
    // of the keys: eight keys at a time are skipped while none is declared.
    for (int first = 0; first < kKeyCount; first += 8) {
        const int end = std::min(first + 8, kKeyCount);
        if (end - first == 8) {
            std::uint64_t eight;
            std::memcpy(&eight, slotOf_ + first, 8);
            if (eight == ~std::uint64_t{0})
                continue;
        }
        for (int k = first; k < end; ++k)
            if (slotOf_[k] != kNoSlot)
                if (const Slot& s = slots_[slotOf_[k]]; s.type != SlotType::kUndeclared && s.hasValue && !s.given)
                    sc.DefaultAssumed(s.displayName);
    }
    Finish();
}

void ScriptDefinition::DeclareBool(const char* name, int key, bool hasDefault, bool value)
{
    Slot& s = Declare(key, SlotType::kBool, name);
    s.hasValue = hasDefault;
    s.boolean = value;
}

void ScriptDefinition::DeclareInt(const char* name, int key, std::int32_t min, std::int32_t max, bool hasDefault,
                                  std::int32_t value)
{
    Slot& s = Declare(key, SlotType::kInt, name);
    s.minInt = min;
    s.maxInt = max;
    s.hasValue = hasDefault;
    s.integer = value;
}

void ScriptDefinition::DeclareReal(const char* name, int key, double min, double max, bool hasDefault, double value)
{
    Slot& s = Declare(key, SlotType::kReal, name);
    s.minReal = min;
    s.maxReal = max;
    s.hasValue = hasDefault;
    s.real = value;
}

void ScriptDefinition::DeclareReference(const char* name, int key, DefinitionKind accepted, bool mayBeNone,
                                        bool hasDefault)
{
    Slot& s = Declare(key, SlotType::kReference, name);
    s.mayBeNone = mayBeNone;
    s.hasValue = hasDefault;
    s.accepted = static_cast<std::uint16_t>(s.accepted | (1u << static_cast<int>(accepted)));
}

void ScriptDefinition::DeclareString(const char* name, int key, bool mayBeNone, bool hasDefault, const char* value)
{
    Slot& s = Declare(key, SlotType::kString, name);
    s.mayBeNone = mayBeNone;
    s.hasValue = hasDefault;
    if (value)
        s.text = value;
}

} // namespace script
