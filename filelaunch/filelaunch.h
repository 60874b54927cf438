/* libfilelaunch: opens a document with the program the desktop associates
   with its type and returns once that program has ended. Always returns 0. */
#ifndef TREVOK_FILELAUNCH_FILELAUNCH_H
#define TREVOK_FILELAUNCH_FILELAUNCH_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

int32_t open_document(const char* path);

#ifdef __cplusplus
}
#endif

#endif
