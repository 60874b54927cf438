// The command files the server hands the game thread (level triggers,
// destroyed objects, track objects): one is queued for the console per frame.
#pragma once


// Pops one name from CommandFileQueue and queues its lines. A name that is
// not one NUL-terminated text, or not a bare name in the scripts folder, is
// refused with a message; one not found is reported.
void RunQueuedCommandFile();
