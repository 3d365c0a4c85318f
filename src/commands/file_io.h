// Loads and writes as the user sees them: what they came to, said on row
// 2, and the question before a text replaces its file with only part of it.
#pragma once

#include "state/state.h"
#include "store/files.h"

// Loads path at pos (with the progress of a long load on row 2, and ^C
// to stop it) and shows what it came to.
file_result load_with_progress(const char* path, byte* pos, load_mode mode);
// Shows what a load of path came to.
void report_load(const char* path, const file_result& r);
// Shows what a write to path came to; true when it was written.
bool report_write(const char* path, const file_result& r);
// Writes lo..hi to path and says how it went; true when written.
bool put_range(const char* path, byte* lo, byte* hi);
// Writes the whole text to path, asking first when it would replace the
// file it was opened from with only part of it. True when written.
bool save_text(const char* path);
// Remembers which file the text was opened from and whether it lacks part of it.
void note_opened_file(const char* path, const file_result& r);
