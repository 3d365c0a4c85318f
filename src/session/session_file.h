// The session file "pym.l": the start-up name, line and column of a run.
#pragma once

// Reads the name into start_name and the line and column from the first
// line; leaves them as they are when there is no usable session file.
void read_session_file(long* line, long* column);
// Writes the record for the cursor's line and column through a temporary
// file renamed over pym.l. Replaces only a regular file the user may
// write: never a symbolic link or a FIFO. Async-signal-safe: the hang-up
// path writes it too.
void write_session_record(unsigned long line, unsigned long column);
