// What the server's notices leave on a replica for the interface to show:
// the AI state with its deadline, the alert mark and slot, the defogging
// flag and whether this machine controls it. Game thread only.
#pragma once

#include <cstdint>

struct ReplicaMarks {
    int32_t aiState = 0;
    uint64_t aiStateUntil = 0;     // client game ticks; 0: no deadline
    int64_t alertMarkUntil = 0;    // real-time ticks
    int32_t alertSlot = -1;        // -1: none
    bool defogging = false;
    bool controlledHere = false;
};
