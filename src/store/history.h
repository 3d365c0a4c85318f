// The history of the text: every change, so that it can be undone and
// redone. A step is what one command did (a whole macro replay is one).
// It keeps the ranges of the text that the step changed, as the text now
// stands, each with the bytes it held before: undoing gives every range
// its old bytes back in one pass over the text, however many the step's
// changes were. The store records its changes here as it makes them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "state/state.h"
#include "store/text_change.h"

// Bytes a range held, and which of the NULs among them ended in CR LF
// (offsets in bytes; only in a text of mixed line ends).
struct piece {
    std::string bytes;
    std::vector<uint32_t> crlf;
    bool shared = false;        // more than one range holds it
};

// A range of the text as the step left it: where it starts and how many
// bytes it holds now, and the piece it held before.
struct changed_range {
    size_t offset;
    size_t length;
    uint32_t before;            // index into the step's pieces
};

// A step: its ranges ascending and apart (neither overlapping nor
// touching), and the pieces they held.
struct step_record {
    std::vector<changed_range> ranges;
    std::vector<piece> pieces;
    bool placeholder_before = false;    // the empty text's placeholder line, before and after
    bool placeholder_after = false;
};

// The piece of step r for the n bytes at bytes (crlf: which of their NULs
// end in CR LF): the one at index *last when it holds just those (the
// matches of a Replace share one), else a new one, whose size *cost grows
// by. Returns its index; 0, the empty piece, for no bytes.
uint32_t add_piece(step_record& r, const uint32_t* last, const byte* bytes, size_t n,
                   const std::vector<uint32_t>* crlf, long* cost);

// A text was opened: no step before it can be undone, and it is unmodified.
void clear_history();
// How many times the history was cleared: tells a test whether the text
// it saw opened is still the one the history starts from.
unsigned history_generation();
// The change that comes next starts a new step, unless steps are joined.
void close_step();
// While joined (a macro being replayed), nothing closes a step: the whole
// replay is one. The code that runs the replay says when it starts and ends.
void join_steps(bool joined);
// Typing and deleting in insert mode: consecutive keys of one kind are one
// step; a key of another kind starts a new one.
enum class step_kind { other, typing, deleting };
void continue_step(step_kind kind);

/*
 * Called by the store before a change: the removed bytes at offset (the
 * n at gone, and which of their NULs end in CR LF) give way to inserted
 * bytes. placeholder is whether the empty text's placeholder line stands
 * before the change.
 */
void record_change(size_t offset, const byte* gone, size_t n, size_t inserted,
                   const std::vector<uint32_t>* crlf, bool placeholder);
// A batch of changes to a text with no line ends in CR LF, before it is
// made: change i lies at its offset plus shift[i] as the history counts,
// and its removed bytes are at old_begin plus its offset.
void record_changes(const std::vector<text_change>& cs, const std::vector<long>& shift, const byte* old_begin,
                    bool placeholder);
// After the change: the placeholder as it now stands.
void record_placeholder_after(bool placeholder);

// The step that undo would take back (that redo would make again), or
// null. The caller makes the swap and hands the step back as it now is.
step_record* step_to_undo();
step_record* step_to_redo();
void step_undone();
void step_redone();
// Whether steps were dropped from the oldest end to keep within bounds.
bool older_steps_dropped();

// The text as it stands was written to its own file: undoing back to here
// is unmodified. modified is kept here, from the history alone.
void note_text_saved();
// The text as it stands differs from its file (a recovered text).
void note_text_unsaved();
bool at_saved_text();
// True once when a step was too large to keep (row 2 then says so).
bool take_too_big_to_undo();
// What the history holds now, in bytes.
size_t history_bytes();
// The most it may hold: the larger of 16 MiB and the text, unless a test
// sets a bound of its own (0 puts the usual one back).
void set_history_limit(size_t bytes);
// What a range costs to keep, for the bound.
size_t cost_of_step(const step_record& s);
