// Loads and writes as the user sees them: what they came to, said on row
// 2, and the question before a text replaces its file with only part of it.
#pragma once

#include "state/state.h"
#include "store/files.h"

// Loads path at pos (with the progress of a long load on row 2, and ^C
// to stop it) and shows what it came to.
file_result load_with_progress(const char* path, byte* pos, load_mode mode);
// How long a load or save runs before it shows its progress (for tests).
void set_progress_delay(long ms);
// Shows what a load of path came to.
void report_load(const char* path, const file_result& r);
// Shows what a write to path came to; true when it was written.
bool report_write(const char* path, const file_result& r);
// Writes lo..hi to path (asking first when the file exists) and says how
// it went; true when written.
bool put_range(const char* path, byte* lo, byte* hi);
/*
 * Writes the whole text to path. To the text's own file (Update, "&"), it
 * asks first when another program has changed the file since, or when the
 * text holds only part of it; the text is then unmodified. Another
 * existing file is replaced only when the user says so, and the text
 * stays modified. True when written.
 */
bool save_text(const char* path);
// Remembers the file the text was opened from, as it is, and whether the
// text lacks part of it.
void note_opened_file(const char* path, const file_result& r);
// Remembers the text's own file as it is now (a recovered text's).
void note_file_as_it_is(const char* path);
const file_identity& opened_file();
// Whether another program has changed the text's own file since it was
// read or written (regaining the focus asks this).
bool file_changed_on_disk();
// Coming back to the editor's window: whether another program has
// changed the text's file meanwhile is looked at, and said at once when
// the command loop or insert mode waits (read_key_with_notices), else at
// their next key: never over a prompt or a question.
void look_at_file_on_disk();
int read_key_with_notices();
// Says on row 2 what came up meanwhile: the text's file changed on disk,
// or why there is no recovery journal (once).
void say_pending_notices();
