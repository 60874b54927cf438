// The fifteen definition kinds. Most only declare their keys; the map keeps
// its use clauses, the particle generator its life clause, and the directory
// row stores its path in the data-directory table when built.
#pragma once

#include "script/definition.h"

#include <map>
#include <string>
#include <vector>

namespace script {

class DirectoryDefinition : public ScriptDefinition {
public:
    DirectoryDefinition();
    bool SuitsFileMode(int mode) const override;
    void Build() override;
};

// One placement of a role at the level's dummy objects of a name.
struct ObjectAssignment {
    std::string object;
    std::optional<std::string> variable;
    DefinitionRef role;
    int team = 0;
    bool inherited = false;
};

class MapDefinition : public ScriptDefinition {
public:
    MapDefinition();
    bool ValidateReferences() const override;
    void CopyFrom(const ScriptDefinition& parent, ScriptCompiler& sc) override;
    void SetValue(const ValueItem& item, ScriptCompiler& sc) override;
    void ForEachReference(const std::function<void(ScriptDefinition&)>& visit) const override;
    void DropReferences() override;
    // Hands a complete map to the game's level build; only the first map
    // since the record tables were cleared builds.
    void Build() override;
    // Assignments in the order they were made (inherited ones first).
    std::vector<const ObjectAssignment*> Assignments() const;
    const ObjectAssignment* FindAssignment(const std::string& object) const;

private:
    void Assign(ObjectAssignment assignment, ScriptCompiler* sc);
    std::vector<ObjectAssignment> assignments_;   // removed entries have no role
    std::map<std::string, std::size_t> byName_;  // upper-cased object name -> index
};

class ParticleGeneratorDefinition : public ScriptDefinition {
public:
    ParticleGeneratorDefinition();
    bool IsComplete() const override;
    void CopyFrom(const ScriptDefinition& parent, ScriptCompiler& sc) override;
    void SetValue(const ValueItem& item, ScriptCompiler& sc) override;
    bool LifeGiven() const { return lifeGiven_; }
    const LifeClause& Life() const { return life_; }

private:
    LifeClause life_;
    bool lifeGiven_ = false;
    bool lifeSetHere_ = false;
};

} // namespace script
