// Moving text between files and the line store. Nothing here talks to the
// user: every operation says what it came to and the caller reports it.
#pragma once

#include <cstddef>
#include <sys/types.h>

#include "state/state.h"
#include "store/identity.h"

enum class file_status {
    done,           // read to its end, or written
    missing,        // could not be opened; for a load, a new file
    unreadable,     // there, but could not be read (error says why)
    not_regular,    // a FIFO, a device, a socket: never read, never waited on
    directory,
    overflow,       // the file did not fit in memory
    stopped,        // the user stopped a long load
    no_room,        // the disk lacks room for the new contents (error says why)
    write_failed,
};

struct file_result {
    file_status status = file_status::done;
    int error = 0;              // the errno behind unreadable and no_room
    bool nul_bytes = false;     // the file held NUL bytes, dropped with what followed them
    bool crlf = false;          // every line read ended in CR LF
    file_identity identity;     // the file read or written, and its contents' hash
};

/*
 * Told as a long load or save goes on: the bytes done of the total, after
 * every block. A load stops (as one that ran out of room) when it returns
 * false. Set by the commands, which show it and look for ^C.
 */
typedef bool (*progress_hook)(size_t done, size_t total);
void set_progress_hook(progress_hook hook);
bool tell_progress(size_t done, size_t total);

/*
 * Inserts the file at pos, its first line joining the text before pos.
 * Opening a text keeps what could be read when the file does not fit (or
 * the user stops it), and which of its lines end in CR LF when they mix
 * with LF; a Get inserts the whole file or nothing, its lines ending as
 * the line they are put in.
 */
enum class load_mode { open, get };
file_result load_file(const char* path, byte* pos, load_mode mode);
// Opens size bytes of fd from start as a text, as a file of them would be
// (the recovery journal keeps a copy of a file so).
file_result load_region(int fd, off_t start, off_t size, byte* pos);
// Writes lo..hi, each line followed by its line end (CR LF or LF, as read).
// The old contents of the file survive any failure.
file_result write_range(const char* path, byte* lo, byte* hi);
// write_range over the whole text as it is written (see written_end). The
// caller tells the history when that was the text's own file.
file_result write_file(const char* path);
// Writes the whole text to fd as write_file would. Async-signal-safe:
// the emergency save uses it.
bool write_whole_text(int fd);

// Writes n bytes, retrying short writes and interrupted ones. A descriptor
// that would block is waited on for at most patience_ms at a time (for
// ever when negative). False when a write fails. Async-signal-safe.
bool write_fully(int fd, const void* p, size_t n, int patience_ms = -1);
// The temporary file a save is writing, or null: what a hang-up removes.
const char* unfinished_save();
