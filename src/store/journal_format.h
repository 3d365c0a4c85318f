// How a journal file is laid out: a header page, the base, the records.
// Shared by the journal's writer and its reader.
#pragma once

#include <cstddef>
#include <cstdint>

inline constexpr char journal_magic[8] = {'P', 'Y', 'M', 'J', 'O', 'U', 'R', '1'};
inline constexpr size_t header_size = 4096;
inline constexpr size_t window_size = 1 << 20;         // the log's mapped end, reserved ahead
inline constexpr size_t largest_mapped_record = 64 << 10;

inline constexpr uint32_t no_base = 0, file_copy = 1, text_copy = 2;    // what the base is
inline constexpr uint32_t all_crlf = 1, placeholder_flag = 2;          // the flags of the base and the records

struct header {
    char magic[8];
    uint64_t pid;
    char host[256];
    char file[3072];
    int64_t last_change;        // seconds since 1970
    uint64_t last_offset;       // where the last change was
    uint32_t base;              // no_base, file_copy, text_copy
    uint32_t flags;             // of the base: all_crlf, placeholder_flag
    uint64_t base_length;       // the base's bytes
    uint64_t base_crlf;         // a text copy: its lines ending in CR LF, 8 bytes each after it
    uint64_t log_start;         // the first record
    uint64_t log_end;           // past the last whole record
};
static_assert(sizeof(header) <= header_size, "the header fits its page");

/*
 * A record: its head, then payload bytes; the check covers both. A change
 * (insert, remove, overwrite at offset) carries its new bytes. A batch of
 * changes that all put the same bytes in place of as many others (a
 * Replace) carries those bytes once and the distances between the
 * changes; any other batch (an undo) carries a part for each change, then
 * their bytes, then the line ends listed for them.
 */
struct record {
    uint32_t kind;              // journal_op, 'S' a batch of the same, 'B' any batch, 'P' the placeholder
    uint32_t flags;             // placeholder_flag as the record leaves it
    uint64_t length;            // of the whole record, a multiple of 8
    uint64_t payload;           // bytes after the head
    uint64_t offset;            // of the change, or of a batch's first
    uint64_t removed;           // bytes removed (each, in a batch of the same)
    uint64_t count;             // a batch's changes; 'S': the bytes put in each
    uint64_t check;
};

struct batch_part {
    uint64_t offset, removed, length;
    uint32_t crlf_count;        // its NULs ending in CR LF, listed after the bytes
    uint32_t explicit_crlf;     // 1: as listed; 0: as the line they are put in
};


// A record's check: the head (with its check field 0) and then the payload,
// eight bytes a step, the same however the bytes come in pieces. Cheap,
// for it is made on every key.
class record_check {
public:
    void add(const void* data, size_t n)
    {
        const unsigned char* p = static_cast<const unsigned char*>(data);
        for (; n > 0 && filled; p++, n--)
            take(*p);
        for (; n >= 8; p += 8, n -= 8) {
            uint64_t w;
            __builtin_memcpy(&w, p, 8);
            mix(w);
        }
        for (; n > 0; p++, n--)
            take(*p);
    }
    uint64_t value() const
    {
        uint64_t v = filled ? (h ^ word) * 0x100000001B3ULL : h;
        return v ^ (v >> 31);
    }

private:
    void mix(uint64_t w) { h = (h ^ w) * 0x100000001B3ULL + (h >> 29); }
    void take(unsigned char b)
    {
        word |= uint64_t(b) << (8 * filled);
        if (++filled == 8) {
            mix(word);
            word = 0;
            filled = 0;
        }
    }
    uint64_t h = 0xCBF29CE484222325ULL;
    uint64_t word = 0;
    unsigned filled = 0;
};
