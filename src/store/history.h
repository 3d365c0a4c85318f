// The history of the text: every change, so that it can be undone and
// redone. A step is what one command did; each step is a list of edits,
// each edit a range of the text and the bytes that stood there before.
// The store's primitives record their changes here as they make them.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "state/state.h"

// A range of the text: the bytes it holds now, and those it held before.
struct edit {
    size_t offset;              // where the range starts, from text_begin
    size_t length;              // the bytes it holds now
    std::string gone;           // the bytes it held before
    // For a Replace of many matches at once: where each match now starts;
    // each holds length bytes now and held gone before.
    std::vector<size_t> matches;
};

// A text was opened: no step before it can be undone.
void clear_history();
// How many times the history was cleared: tells a test whether the text
// it saw opened is still the one the history starts from.
unsigned history_generation();
// The change that comes next starts a new step. While a macro is replayed
// nothing closes a step: the whole replay is one.
void close_step();
// Typing and deleting in insert mode: consecutive keys of one kind are one
// step; a key of another kind starts a new one.
enum class step_kind { other, typing, deleting };
void continue_step(step_kind kind);

// Called by the primitives before (remove, overwrite) or after (insert)
// they change the bytes at pos.
void record_insert(const byte* pos, size_t n);
void record_remove(const byte* lo, const byte* hi);
void record_overwrite(const byte* pos, size_t n);
// Every match at the offsets now holds length bytes where it held gone.
void record_rewrite(const std::vector<size_t>& matches, size_t length, const std::string& gone);

// While paused nothing is recorded: for undo and redo, and for a change
// recorded as a whole with record_rewrite after the primitives made it.
void pause_recording(bool paused);

// The edits of the step that undo would take back (that redo would make
// again), or null; undo (redo) swaps them last first (first first) and
// then says it did.
std::vector<edit>* step_to_undo();
std::vector<edit>* step_to_redo();
void step_undone();
void step_redone();
// Whether steps were dropped from the oldest end to keep within bounds.
bool older_steps_dropped();

// The text as it stands was written: undoing back to here is unmodified.
void note_text_saved();
bool at_saved_text();
// True once when a step was too large to keep (row 2 then says so).
bool take_too_big_to_undo();
// What the history holds now, in bytes.
size_t history_bytes();
// The most it may hold: the larger of 16 MiB and the store's capacity,
// unless a test sets a bound of its own (0 puts the usual one back).
void set_history_limit(size_t bytes);
