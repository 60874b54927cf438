// Typed definition objects: what a definition script compiles into. Each kind
// declares the key slots it accepts (type, range, default, accepted kinds);
// the parser hands values over through SetValue, which checks them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/ref_counted.h"

namespace script {

class ScriptCompiler;
class ScriptDefinition;
class DefinitionGroup;

inline constexpr int kKeyCount = 108;
inline constexpr int kUseClauseKey = 8;
inline constexpr int kLifeClauseKey = 60;

enum class DefinitionKind : int {
    kDirectory = 0,
    kHierarchy,
    kShape,
    kRole,
    kMap,
    kLight,
    kAmmo,
    kAmmoInfo,
    kCameraTrack,
    kCharacter,
    kProjectile,
    kPGenerator,
    kDestructibility,
    kFragData,
    kFragScript,
};
inline constexpr int kKindCount = 15;

// The kind word as the language spells it ("ammo info").
const char* KindWord(DefinitionKind kind);

// Intrusive reference to a definition: the symbol table, result lists, other
// definitions' reference slots and use clauses each hold one.
class DefinitionRef : public RefPtr<ScriptDefinition> {
public:
    DefinitionRef() = default;
    explicit DefinitionRef(ScriptDefinition* adopt) : RefPtr(RefPtr::Adopt(adopt)) {}  // takes over one count
    static DefinitionRef Share(ScriptDefinition* p)  // adds one count
    {
        DefinitionRef shared;
        static_cast<RefPtr&>(shared) = RefPtr(p);
        return shared;
    }
    ScriptDefinition* get() const { return Get(); }
    void reset() { Reset(); }
    void swap(DefinitionRef& o) noexcept { std::swap(static_cast<RefPtr&>(*this), static_cast<RefPtr&>(o)); }
};

enum class SlotType : int { kUndeclared = 0, kBool = 1, kInt = 2, kReal = 3, kReference = 4, kString = 5 };

struct UseTarget {
    std::string object;
    std::optional<std::string> variable;  // console variable that receives the object id
};

struct UseClause {
    DefinitionRef role;
    int team = 0;
    std::vector<UseTarget> targets;
};

enum class LifeMode : int { kInfinite = 0, kTimed = 1, kParticleCount = 2 };

struct LifeClause {
    LifeMode mode = LifeMode::kInfinite;
    std::int64_t count = 0;  // clock ticks when timed, else particles
};

// One value from a definition body, as the key word's value form made it.
struct ValueItem {
    enum class Form { kBool, kInt, kReal, kString, kReference, kUse, kLife };
    int key = 0;
    Form form = Form::kBool;
    bool boolean = false;
    std::int32_t integer = 0;
    double real = 0;
    std::optional<std::string> text;  // kString; nullopt is "none"
    DefinitionRef reference;          // kReference; empty is "none"
    UseClause use;
    LifeClause life;
};

struct Slot {
    SlotType type = SlotType::kUndeclared;
    bool boolean = false;
    std::int32_t integer = 0;
    double real = 0;
    DefinitionRef reference;
    std::optional<std::string> text;
    std::int32_t minInt = 0, maxInt = 0;
    double minReal = 0, maxReal = 0;
    bool mayBeNone = false;
    std::uint16_t accepted = 0;  // one bit per kind a reference slot takes
    bool Accepts(DefinitionKind k) const { return (accepted >> static_cast<int>(k)) & 1u; }
    bool hasValue = false;
    bool given = false;
    bool setHere = false;
    const char* displayName = nullptr;
};

// Shared through DefinitionRef. A release that leaves references may free a
// closed group's cycles as well.
class ScriptDefinition : public RefCounted {
public:
    explicit ScriptDefinition(DefinitionKind kind);
    ~ScriptDefinition() override;
    ScriptDefinition(const ScriptDefinition&) = delete;
    ScriptDefinition& operator=(const ScriptDefinition&) = delete;

    void Release();

    DefinitionKind Kind() const { return kind_; }
    // Where the definition's body starts, for the builds' warnings; an empty
    // file when it was made another way.
    void SetSource(std::string file, unsigned line)
    {
        sourceFile_ = std::move(file);
        sourceLine_ = line;
    }
    const std::string& SourceFile() const { return sourceFile_; }
    unsigned SourceLine() const { return sourceLine_; }
    bool Anonymous() const { return anonymous_; }
    void SetAnonymous() { anonymous_ = true; }
    bool Defined() const { return defined_; }

    virtual bool IsComplete() const;
    virtual bool ValidateReferences() const;
    virtual bool SuitsFileMode(int mode) const;
    virtual void CopyFrom(const ScriptDefinition& parent, ScriptCompiler& sc);
    virtual void SetValue(const ValueItem& item, ScriptCompiler& sc);
    virtual void Finish() {}
    // Builds the kind's runtime record; kinds without one do nothing.
    virtual void Build() {}

    // Every definition this one holds a reference on (slots, use clauses).
    virtual void ForEachReference(const std::function<void(ScriptDefinition&)>& visit) const;
    // Drops those references; used to free definitions that only hold each other.
    virtual void DropReferences();

    void JoinGroup(std::shared_ptr<DefinitionGroup> group);
    DefinitionGroup* Group() const { return group_.get(); }
    // Definitions alive in the process, for leak checks.
    static long LiveCount();

    void ApplyDefaults(ScriptCompiler& sc);

    // Accessors for builds and tests by key number; a key the kind does not
    // declare reads as an undeclared, empty slot.
    const Slot& GetSlot(int key) const
    {
        return key >= 0 && key < kKeyCount && slotOf_[key] != kNoSlot ? slots_[slotOf_[key]] : kUndeclaredSlot;
    }
    bool BoolValue(int key) const { return GetSlot(key).boolean; }
    std::int32_t IntValue(int key) const { return GetSlot(key).integer; }
    double RealValue(int key) const { return GetSlot(key).real; }
    ScriptDefinition* ReferenceValue(int key) const { return GetSlot(key).reference.get(); }
    const char* FieldText(int key) const { return GetSlot(key).text ? GetSlot(key).text->c_str() : nullptr; }

protected:
    void DeclareBool(const char* name, int key, bool hasDefault, bool value);
    void DeclareInt(const char* name, int key, std::int32_t min, std::int32_t max, bool hasDefault, std::int32_t value);
    void DeclareReal(const char* name, int key, double min, double max, bool hasDefault, double value);
    void DeclareReference(const char* name, int key, DefinitionKind accepted, bool mayBeNone, bool hasDefault);
    void DeclareString(const char* name, int key, bool mayBeNone, bool hasDefault, const char* value);

private:
    static constexpr std::uint8_t kNoSlot = 0xFF;
    static_assert(kKeyCount < kNoSlot);
    static const Slot kUndeclaredSlot;
    // The slot of a key, made when the kind first declares it.
    Slot& Declare(int key, SlotType type, const char* name);

    bool anonymous_ = false;
    std::string sourceFile_;
    unsigned sourceLine_ = 0;
    bool defined_ = false;
    DefinitionKind kind_;
    // Only the slots the kind declares are stored (a dozen of 108 keys), and
    // the reference slots are listed so reference walks skip the others.
    std::vector<Slot> slots_;
    std::uint8_t slotOf_[kKeyCount];  // key -> index in slots_, or kNoSlot
    std::vector<std::uint8_t> referenceSlots_;
    std::shared_ptr<DefinitionGroup> group_;
    std::size_t groupIndex_ = 0;
    friend class DefinitionGroup;
};

// The definitions one compile made. Definitions declared before they are
// defined can refer to each other in a ring, which reference counts alone
// never free; the group finds rings that nothing outside holds and breaks them.
class DefinitionGroup {
public:
    void Add(ScriptDefinition& d);
    void Forget(ScriptDefinition& d);
    void CollectCycles();
    std::size_t Size() const { return members_.size(); }
    // After its list is gone, any release may leave a ring unheld (a runtime
    // record dropping the last outside reference), so each one collects.
    void Close() { closed_ = true; }
    bool Closed() const { return closed_; }

private:
    std::vector<ScriptDefinition*> members_;  // alive members; each knows its index
    bool closed_ = false;
    bool collecting_ = false;
};

// Creates a fresh object of a kind with its keys declared (count 1).
DefinitionRef CreateDefinition(DefinitionKind kind);

} // namespace script
