// Start-up, state and shut-down steps written to standard error when
// TREVOK_TRACE is set, for developers and the end-to-end tests.
#pragma once

void Trace(const char* format, ...) __attribute__((format(printf, 1, 2)));
