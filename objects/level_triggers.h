// Level triggers: an area (four positions and a squared radius), a time and
// the names of the units it watches, with the script it starts. The trigger
// commands add them; the level-trigger list owns every record until the level
// stops or the program ends.
#pragma once

#include "app/list.h"
#include "app/maths.h"

#include <cstdint>
#include <string>

class TriggerRecord {
public:
    uint32_t kind_ = 0;
    Vec3 positions_[4] = {};
    uint32_t time_ = 0;
    float radiusSquared_ = 0.0f;
    List<std::string> names_;
    std::string scriptName_;

    TriggerRecord(const TriggerRecord&) = delete;
    TriggerRecord& operator=(const TriggerRecord&) = delete;
    // Leaves the level-trigger list (its first entry for this record).
    ~TriggerRecord();

private:
    TriggerRecord() = default;
    friend TriggerRecord* AddLevelTrigger();
};

namespace LevelTriggers {
// The records in the order they were added.
List<TriggerRecord*>& All();
// A new, empty record at the end of the list; it is the list's to free.
TriggerRecord* Add();
// Frees every record, in list order; the list is empty afterwards.
void Clear();
} // namespace LevelTriggers
