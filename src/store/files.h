// Moving text between files and the line store.
#pragma once

#include "state/state.h"

// 1: the file could not be opened; 0: read to its end; -1: a line did not fit.
int load_file(const char* path, byte* pos);
// 1: the file could not be opened or written; 0: written.
int write_range(const char* path, byte* lo, byte* hi);
// Writes n bytes, retrying short writes and interrupted ones; false when a
// write fails. Async-signal-safe.
bool write_fully(int fd, const byte* p, size_t n);
// write_range over the whole text; clears modified when it succeeds.
int write_file(const char* path);
