// The line store: the whole text in one block, each line a NUL-terminated
// byte string, lines back to back. Positions are addresses in the block.
// The text changes only through the operations here (and the loader of
// files.h, which belongs to the store): an insertion of bytes at a
// position, a removal of a range, an overwrite in place, or a batch of
// such changes made in one pass.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "state/state.h"
#include "store/text_change.h"

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

// ---- the block ------------------------------------------------------------

/*
 * Reserves address space for a text of up to bytes bytes, without memory
 * behind it: pages are taken as the text grows into them, so the block's
 * addresses never move and every position stays valid. False when the
 * space cannot be had. text_capacity, the figure the load messages show,
 * is the caller's.
 */
bool allocate_store(size_t bytes);
// Gives the block back (for tests, which make many).
void release_store();
// What to reserve on this machine: its memory, or within an address-space
// limit (ulimit -v) a share of what the limit leaves, so that the rest of
// the editor (the undo history, a paste) still finds memory.
size_t store_size_for_machine();
// Bytes the text may still grow by, at most: the reservation not yet used.
size_t store_room();

/*
 * Says that the bytes in [lo, hi) are about to be written in one sweep (a
 * file read in), so the system makes their pages in one call rather than
 * one page fault each; false when they cannot be had.
 */
bool expect_bulk_write(byte* lo, byte* hi);
// Makes the bytes in [lo, hi) of the block writable; false when the
// memory cannot be had.
bool make_writable(byte* lo, byte* hi);
// Gives the memory of every page of the block back (a new text comes).
void give_back_memory();

// The text floats in the block, between these two ends.
byte* store_bottom();
byte* store_top();
// Empties the text, placed to leave room on both sides of expected bytes;
// the memory of the text before is given back.
void empty_text(size_t expected);
// A text that holds nothing becomes two empty lines, the second of them a
// placeholder: it is not written to the file (see written_end).
void fill_empty_text();
// Moves the whole text to start at begin, with every position kept into it.
bool slide_text_to(byte* begin);

// ---- positions that move with the text ------------------------------------

/*
 * The store moves these positions with the bytes they point at, whatever
 * changes: the window's, the cursor's, a selection's start. A position
 * where bytes are inserted stays before them, unless it follows its byte.
 * A position inside a removed range goes to the range's start, but a
 * line's start keeps to the line that follows the range.
 */
enum class position_kind { stays_before, follows_byte, line_start };
void keep_position(byte** p, position_kind kind = position_kind::stays_before);
// Moves every kept position that lies in [lo, hi] by delta (for the loader).
void shift_positions(byte* lo, byte* hi, long delta);
// The kept positions after an insertion at pos (the text before pos moved
// by before, the text from pos on by after), and after a removal of [lo,
// hi) (the text after it down by d, q where the line after hi's begins).
void move_for_insertion(byte* pos, long before, long after);
void move_for_removal(byte* lo, byte* hi, byte* q, long d);
// For the store: every kept position, and what it follows.
struct kept_position {
    byte** at;
    position_kind kind;
};
const std::vector<kept_position>& kept_positions();

// ---- reading --------------------------------------------------------------

void move_bytes(byte* dst, const byte* src, size_t count);
byte* copy_bytes(const byte* src, const byte* end, byte* dst);
byte* line_start_of(byte* p);
byte* next_line(byte* p);
byte* prev_line(byte* p);

// ---- changing -------------------------------------------------------------

// Opens n bytes of room at pos and returns the new place of the byte that
// was at pos (the room is the n bytes before it), or null when the text
// cannot grow. The room holds old bytes: the store's own callers fill it.
byte* open_room(byte* pos, long n);
// Inserts the n bytes at src before pos: the new place of the byte that was
// at pos, or null when there is no room (nothing changes then). The line
// ends among them end as the line they are put in (CR LF or LF).
byte* insert_bytes(byte* pos, const byte* src, size_t n);
void remove_range(byte* a, byte* b);
// Writes n bytes from src over the text at pos.
void overwrite_bytes(byte* pos, const byte* src, size_t n);

// The loader's n bytes at offset are in: recorded, their line ends as the
// line they were put in.
void note_loaded(size_t offset, size_t n);

/*
 * Makes the changes (ascending, not overlapping, offsets in the text as it
 * stands) in one pass over the text, or none of them when there is no room
 * (false). Recorded in the history unless record is false (undo and redo
 * record themselves). Kept positions inside a changed range go to its start.
 */
bool apply_changes(const std::vector<text_change>& changes, bool record = true);

// ---- line ends ------------------------------------------------------------

// Whether the last line is the placeholder of an empty text; a line typed
// on, or text moved onto, is real. The undo history restores it.
bool placeholder_line();
void set_placeholder_line(bool on);
// Where what is written of the text ends: before the placeholder (and a
// lone empty line before it), else text_end.
byte* written_end();

/*
 * In a text whose lines end both in CR LF and in LF, which ones end in
 * CR LF: the offsets of their NULs, ascending. Empty for every other text
 * (text_crlf tells the all-CR LF one).
 */
const std::vector<size_t>& crlf_line_ends();
void set_crlf_line_ends(std::vector<size_t> ends);
// The entries of crlf_line_ends in [from, to), as offsets from from.
std::vector<uint32_t> crlf_ends_in(size_t from, size_t to);
// Whether the line whose NUL is at offset ends in CR LF.
bool line_ends_in_crlf(size_t nul_offset);

// ---- counting -------------------------------------------------------------

// The NUL bytes (line ends) between from and to.
unsigned long count_nuls(const byte* from, const byte* to);
// The first place in [p, end) where the len bytes at s stand, or null.
byte* find_bytes(byte* p, byte* end, const char* s, size_t len);
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

// Whether the remembered line number is wrong. For tests.
bool numbered_line_is_wrong();

// The first layout rule the text breaks (the zero bytes before it, its
// bounds, its last NUL), or null when it keeps them all. For tests.
const char* broken_store_rule();
