// The definitions one compiled script yields, in the order their definitions
// end. The list holds one reference on each; its owner builds them once and
// then drops the list.
#pragma once

#include "script/definition.h"

#include <cstddef>
#include <functional>
#include <memory>
#include <vector>

namespace script {

class ScriptObjectList {
public:
    ScriptObjectList() = default;
    explicit ScriptObjectList(std::shared_ptr<DefinitionGroup> group) : group_(std::move(group)) {}
    ScriptObjectList(const ScriptObjectList&) = delete;
    ScriptObjectList& operator=(const ScriptObjectList&) = delete;
    ~ScriptObjectList() { Release(); }

    void Append(DefinitionRef definition) { items_.push_back(std::move(definition)); }
    std::size_t Count() const { return items_.size(); }
    ScriptDefinition& operator[](std::size_t i) const { return *items_[i]; }
    auto begin() const { return items_.begin(); }
    auto end() const { return items_.end(); }

    // Builds every definition in list order; after each build reports the
    // share built before it, as a percentage (0 after the first).
    void BuildAll(const std::function<void(int percent)>& progress = {}) const;

    // Drops the list's references (the destructor does the same); the
    // compile's definitions that nothing else holds are freed, rings included.
    void Release();

private:
    std::vector<DefinitionRef> items_;
    std::shared_ptr<DefinitionGroup> group_;
};

} // namespace script
