// Moving text between files and the line store. Nothing here talks to the
// user: every operation says what it came to and the caller reports it.
#pragma once

#include "state/state.h"

enum class file_status {
    done,           // read to its end, or written
    missing,        // could not be opened; for a load, a new file
    unreadable,     // there, but could not be read (error says why)
    not_regular,    // a FIFO, a device, a socket: never read, never waited on
    directory,
    overflow,       // a line did not fit in the store
    no_room,        // the disk lacks room for the new contents (error says why)
    write_failed,
};

struct file_result {
    file_status status = file_status::done;
    int error = 0;              // the errno behind unreadable and no_room
    bool nul_bytes = false;     // the file held NUL bytes, dropped with what followed them
    bool crlf = false;          // every line read ended in CR LF
};

// Inserts the file at pos, its first line joining the text before pos.
file_result load_file(const char* path, byte* pos);
// Writes lo..hi, each line followed by a line end (CR LF when text_crlf).
// The old contents of the file survive any failure.
file_result write_range(const char* path, byte* lo, byte* hi);
// write_range over the whole text; clears modified when it succeeds.
file_result write_file(const char* path);

// Writes n bytes, retrying short writes and interrupted ones. A descriptor
// that would block is waited on for at most patience_ms at a time (for
// ever when negative). False when a write fails. Async-signal-safe.
bool write_fully(int fd, const void* p, size_t n, int patience_ms = -1);
// The temporary file a save is writing, or null: what a hang-up removes.
const char* unfinished_save();
