// What a file on disk is: which file (device and inode), how long, when it
// last changed, and a hash of its contents. Noted when the text is loaded
// from it or written to it, so that a save can tell whether another
// program has changed, replaced or deleted it since.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <sys/types.h>

#include "state/state.h"

// A hash of bytes that arrive in pieces of any size; the same bytes give
// the same value however they were cut. Four lanes, eight bytes a step:
// it keeps up with a load at memory speed.
class content_hash {
public:
    void add(const byte* p, size_t n);
    uint64_t value() const;

private:
    void mix(const byte* block);
    uint64_t lane[4] = {0x9E3779B97F4A7C15ULL, 0xC2B2AE3D27D4EB4FULL, 0x165667B19E3779F9ULL,
                        0x27D4EB2F165667C5ULL};
    byte staged[32];
    size_t staged_length = 0;
    uint64_t total = 0;
};

struct file_identity {
    bool exists = false;
    bool symlink = false;       // the name is a symbolic link
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    struct timespec modified = {0, 0};
    uint64_t hash = 0;          // of the contents; 0 when not known
    bool hashed = false;
};

// The identity of the file at path now; with hash, its contents are read
// (a regular file only, through no link).
file_identity identify_file(const char* path, bool with_hash);
// Whether the two name the same file, unchanged: same file, size and time.
bool same_file_unchanged(const file_identity& a, const file_identity& b);
// The hash of nothing: what a new text's file holds.
uint64_t empty_hash();
