// The line store: the whole text in one block, each line a NUL-terminated
// byte string, lines back to back. Positions are addresses in the block.
#pragma once

#include <string>
#include <vector>

#include "state/state.h"

/*
 * A change of the text in several steps is bracketed by these two (or a
 * change_scope): a signal that ends the run meanwhile waits for the end
 * of the outermost one, so that the emergency save sees a whole text.
 */
void begin_change();
void end_change();
// Counts the changes of the text (and each new text): what is measured in
// it stays true while this stays the same.
extern unsigned long text_changes;
struct change_scope {
    change_scope() { begin_change(); }
    ~change_scope() { end_change(); }
    change_scope(const change_scope&) = delete;
    change_scope& operator=(const change_scope&) = delete;
};
// Called after every block move; lets a test land a signal in mid-change.
extern void (*after_move)();

void move_bytes(byte* dst, const byte* src, size_t count);
byte* copy_bytes(const byte* src, const byte* end, byte* dst);
byte* line_start_of(byte* p);
byte* next_line(byte* p);
byte* prev_line(byte* p);
// The new place of the byte that was at pos: the room is the n bytes
// before it. Null when the text would outgrow the store.
byte* open_room(byte* pos, long n);
void remove_range(byte* a, byte* b);
// Writes n bytes from src over the text at pos: the third way the text
// changes, besides opening room and removing a range.
void overwrite_bytes(byte* pos, const byte* src, size_t n);
// Puts with in place of the old_length bytes at each offset (ascending,
// from text_begin, not overlapping) in one pass: the text after the last
// moves once, the text between them once. Returns where each replacement
// now starts.
std::vector<size_t> rewrite_at(const std::vector<size_t>& at, size_t old_length,
                               const std::string& with);

// Allocates the block of text_capacity + 2 bytes, or returns false.
bool allocate_store(uint32_t capacity);

/*
 * Says that the bytes in [lo, hi) are about to be written in one sweep (a
 * file read in), so the system makes their pages in one call rather than
 * one page fault each. They stay small pages: memory just given back by
 * this or another program is at hand in small pages, while a 2 MiB page
 * may first have to be gathered or, on a virtual machine, first be backed
 * by the host, which cost several times the whole read.
 */
void expect_bulk_write(byte* lo, byte* hi);

// The text floats in the block, between these two ends.
byte* store_bottom();
byte* store_top();
// Empties the text, placed to leave room on both sides of expected bytes.
void empty_text(size_t expected);
// Moves the whole text to start at begin, with every position kept into it.
void slide_text_to(byte* begin);
// Adds delta to every position kept into the text that lies in [lo, hi].
void shift_positions(byte* lo, byte* hi, long delta);

// The NUL bytes (line ends) between from and to.
unsigned long count_nuls(const byte* from, const byte* to);
// The start of the line n lines after (before) the line start p, or the
// text's end (start) when it comes first; *moved is how many were crossed.
byte* lines_forward(byte* p, long n, long* moved);
byte* lines_back(byte* p, long n, long* moved);

// The 1-based number of the line that starts at p. A remembered line and
// its number make this cost only the lines between it and p.
unsigned line_number_of(byte* p);
// Forgets the remembered line, for a text replaced as a whole.
void forget_line_numbers();
// Keeps the remembered line valid before the bytes from p on change.
void keep_line_number_below(byte* p);
// What a caller that counted the lines on its way knows: line is number n.
void note_line_number(byte* line, unsigned n);

// The first layout rule the text breaks (the zero bytes before it, its
// bounds, its last NUL), or null when it keeps them all. For tests.
const char* broken_store_rule();
