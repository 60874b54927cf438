#include "objects/level_triggers.h"

TriggerRecord* AddLevelTrigger()
{
    auto* record = new TriggerRecord;
    LevelTriggers::All().PushBack(record);
    return record;
}

TriggerRecord::~TriggerRecord()
{
    names_.Clear();
    scriptName_.clear();
    List<TriggerRecord*>& all = LevelTriggers::All();
    for (List<TriggerRecord*>::Iterator it(all); !it.AtEnd(); it.Next()) {
        if (*it.Get() == this) {
            it.Erase();
            break;
        }
    }
}

namespace LevelTriggers {

List<TriggerRecord*>& All()
{
    // Never destroyed: records freed by late static destructors still find it.
    static auto* list = new List<TriggerRecord*>;
    return *list;
}

TriggerRecord* Add() { return AddLevelTrigger(); }

void Clear()
{
    List<TriggerRecord*>& all = All();
    while (TriggerRecord** first = all.At(0))
        delete *first; // its destructor takes it off the list
}

} // namespace LevelTriggers
