/*
 * Each edit says which bytes stand in a range of the text now (its offset
 * and length) and which stood there before (gone). Undoing or redoing an
 * edit is the same swap: the range is given back its old bytes, and the
 * bytes it held become the ones to give back next time. An insertion keeps
 * no bytes until it is undone, so typing costs a few bytes a key, and the
 * keys of a step that touch the last edit's range grow that one edit.
 * Offsets count from text_begin, which stays valid however the text floats
 * in the store.
 */
#include "store/history.h"

#include <algorithm>
#include <deque>
#include <string>
#include <utility>
#include <vector>


namespace {

struct step {
    std::vector<edit> edits;
    size_t bytes = 0;           // what it costs to keep
};

const size_t edit_cost = sizeof(edit) + 16;

std::deque<step> steps;
size_t done;                    // steps in effect; those after them can be redone
long saved_at;                  // done when the text was written; -1: out of reach
size_t total;                   // bytes kept by all steps
bool step_open;                 // changes join the last step
step_kind open_kind = step_kind::other;
bool step_lost;                 // the open step outgrew the history: not kept
bool older_dropped;             // the oldest steps were dropped to save room
bool too_big;                   // a step was not kept (told once)
bool paused;                    // undo or redo at work, or a change recorded as a whole

size_t chosen_limit;            // a bound set by a test, or 0

size_t history_limit()
{
    return chosen_limit ? chosen_limit : std::max<size_t>(size_t(16) << 20, text_capacity);
}

size_t cost_of(const edit& e)
{
    return edit_cost + e.gone.size() + e.matches.size() * sizeof(size_t);
}

size_t offset_of(const byte* p)
{
    return size_t(p - text_begin);
}

std::string bytes_at(size_t from, size_t to)
{
    return from < to ? std::string(reinterpret_cast<const char*>(text_begin + from), to - from)
                     : std::string();
}

// Gives up the open step: it cannot be undone, nor anything before it.
void lose_open_step()
{
    steps.clear();
    done = 0;
    total = 0;
    saved_at = -1;
    step_lost = true;
    older_dropped = too_big = true;
}

// Drops the oldest steps while the history is over its limit.
void keep_within_limit()
{
    while (total > history_limit() && steps.size() > 1) {
        total -= steps.front().bytes;
        steps.pop_front();
        done--;
        saved_at = saved_at > 0 ? saved_at - 1 : -1;
        older_dropped = true;
    }
    if (total > history_limit())
        lose_open_step();
}

// The step that changes go into, started when none is open; a new step
// drops the steps that could have been redone.
step* recording_step(size_t coming)
{
    if (paused || step_lost || !text_begin)
        return nullptr;
    if (coming > history_limit()) {
        lose_open_step();
        return nullptr;
    }
    if (!step_open) {
        steps.resize(done);
        total = 0;
        for (const step& s : steps)
            total += s.bytes;
        if (saved_at > long(done))
            saved_at = -1;
        steps.emplace_back();
        done++;
        step_open = true;
    }
    return &steps.back();
}

// Adds e to the step, or grows the last edit when the change touches it.
// merge gives the last edit its new extent, or returns false.
template <typename Merge>
void add_edit(step* s, edit e, Merge merge)
{
    size_t before = 0;
    if (!s->edits.empty() && (before = cost_of(s->edits.back()), merge(s->edits.back()))) {
        size_t after = cost_of(s->edits.back());
        s->bytes += after - before;
        total += after - before;
    } else {
        s->bytes += cost_of(e);
        total += cost_of(e);
        s->edits.push_back(std::move(e));
    }
    keep_within_limit();
}

}  // namespace

static unsigned generation;

unsigned history_generation()
{
    return generation;
}

void clear_history()
{
    generation++;
    steps.clear();
    done = 0;
    saved_at = 0;
    total = 0;
    step_open = step_lost = older_dropped = too_big = false;
    open_kind = step_kind::other;
}

void close_step()
{
    if (macro_play || macro_repeats > 0)
        return;
    step_open = false;
    step_lost = false;
    open_kind = step_kind::other;
}

void continue_step(step_kind kind)
{
    if (kind == step_kind::other || kind != open_kind)
        close_step();
    if (!macro_play && macro_repeats == 0)
        open_kind = kind;
}

void record_insert(const byte* pos, size_t n)
{
    step* s = recording_step(0);
    if (!s || n == 0)
        return;
    size_t p = offset_of(pos);
    add_edit(s, edit{p, n, {}, {}}, [&](edit& e) {
        if (p < e.offset || p > e.offset + e.length)
            return false;
        e.length += n;
        return true;
    });
}

void record_remove(const byte* lo, const byte* hi)
{
    step* s = recording_step(size_t(hi - lo));
    if (!s || hi <= lo)
        return;
    size_t a = offset_of(lo), b = offset_of(hi);
    add_edit(s, edit{a, 0, bytes_at(a, b), {}}, [&](edit& e) {
        size_t end = e.offset + e.length;
        if (a > end || b < e.offset)
            return false;
        size_t inside = std::min(b, end) - std::max(a, e.offset);
        e.gone = bytes_at(a, std::min(b, e.offset)) + e.gone + bytes_at(std::max(a, end), b);
        e.offset = std::min(a, e.offset);
        e.length -= inside;
        return true;
    });
}

void record_overwrite(const byte* pos, size_t n)
{
    step* s = recording_step(n);
    if (!s || n == 0)
        return;
    size_t a = offset_of(pos), b = a + n;
    add_edit(s, edit{a, n, bytes_at(a, b), {}}, [&](edit& e) {
        size_t end = e.offset + e.length;
        if (a > end || b < e.offset)
            return false;
        e.gone = bytes_at(a, std::min(b, e.offset)) + e.gone + bytes_at(std::max(a, end), b);
        e.length = std::max(end, b) - std::min(a, e.offset);
        e.offset = std::min(a, e.offset);
        return true;
    });
}

void record_rewrite(const std::vector<size_t>& matches, size_t length, const std::string& gone)
{
    step* s = recording_step(matches.size() * sizeof(size_t));
    if (!s || matches.empty())
        return;
    add_edit(s, edit{matches.front(), length, gone, matches}, [](edit&) { return false; });
}

std::vector<edit>* step_to_undo()
{
    step_open = false;
    return done > 0 ? &steps[done - 1].edits : nullptr;
}

std::vector<edit>* step_to_redo()
{
    step_open = false;
    return done < steps.size() ? &steps[done].edits : nullptr;
}

bool older_steps_dropped()
{
    return older_dropped;
}

// The step's edits have been swapped: it costs what its bytes now are.
static void step_swapped(step& s)
{
    total -= s.bytes;
    s.bytes = 0;
    for (const edit& e : s.edits)
        s.bytes += cost_of(e);
    total += s.bytes;
}

void step_undone()
{
    step_swapped(steps[--done]);
}

void step_redone()
{
    step_swapped(steps[done++]);
}

void pause_recording(bool pause)
{
    paused = pause;
}

void note_text_saved()
{
    step_open = false;
    saved_at = long(done);
}

bool at_saved_text()
{
    return saved_at == long(done);
}

bool take_too_big_to_undo()
{
    return std::exchange(too_big, false);
}

size_t history_bytes()
{
    return total;
}

void set_history_limit(size_t bytes)
{
    chosen_limit = bytes;
}
