/*
 * Each step keeps the ranges of the text it changed, as the text now
 * stands, ascending and apart, each with the bytes it held before the
 * step. A new change of the step that touches ranges merges with them into
 * one; others move with the text. An insertion keeps no bytes, so typing
 * costs nothing a key but the range growing. Offsets count from
 * text_begin, which stays valid however the text floats in the store.
 * Memory that cannot be had never ends the editor: the step is dropped
 * and row 2 says so.
 */
#include "store/history.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <new>
#include <utility>

namespace {

struct step {
    step_record record;
    size_t bytes = 0;           // what it costs to keep
};

std::deque<step> steps;
size_t done;                    // steps in effect; those after them can be redone
long saved_at;                  // done when the text was written; -1: out of reach
size_t total;                   // bytes kept by all steps
bool step_open;                 // changes join the last step
bool joined;                    // a macro replay: nothing closes the step
step_kind open_kind = step_kind::other;
bool step_lost;                 // the open step outgrew the history: not kept
bool older_dropped;             // the oldest steps were dropped to save room
bool too_big;                   // a step was not kept (told once)

size_t chosen_limit;            // a bound set by a test, or 0

// The larger of 16 MiB and the text (and the little a step's bookkeeping
// takes, so that removing the whole text can be undone).
size_t history_limit()
{
    size_t text = text_begin ? size_t(text_end - text_begin) : 0;
    return chosen_limit ? chosen_limit : std::max<size_t>(size_t(16) << 20, text + (1 << 20));
}

void note_modified()
{
    modified = saved_at != long(done);
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
step* recording_step(size_t coming, bool placeholder)
{
    if (step_lost || !text_begin)
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
        steps.back().record.pieces.emplace_back();     // piece 0: nothing
        steps.back().record.placeholder_before = placeholder;
        done++;
        step_open = true;
    }
    return &steps.back();
}

size_t cost_of_piece(const piece& p)
{
    return sizeof(piece) + p.bytes.size() + p.crlf.size() * sizeof(uint32_t);
}

// The bytes [from, to) of the old text, out of the removed ones (which
// started at a) and their line ends, appended to p.
void append_gone(piece& p, const byte* gone, const std::vector<uint32_t>* crlf, size_t a, size_t from,
                 size_t to)
{
    if (from >= to)
        return;
    if (crlf)
        for (uint32_t c : *crlf)
            if (a + c >= from && a + c < to)
                p.crlf.push_back(uint32_t(p.bytes.size() + a + c - from));
    p.bytes.append(reinterpret_cast<const char*>(gone) + (from - a), to - from);
}

}  // namespace

uint32_t add_piece(step_record& r, const uint32_t* last, const byte* bytes, size_t n,
                   const std::vector<uint32_t>* crlf, long* cost)
{
    if (n == 0)
        return 0;
    if (last && (!crlf || crlf->empty())) {
        piece& before = r.pieces[*last];
        if (before.crlf.empty() && before.bytes.size() == n && std::memcmp(before.bytes.data(), bytes, n) == 0) {
            before.shared = true;
            return *last;
        }
    }
    piece p;
    append_gone(p, bytes, crlf, 0, 0, n);
    *cost += long(cost_of_piece(p));
    r.pieces.push_back(std::move(p));
    return uint32_t(r.pieces.size() - 1);
}

namespace {

void append_piece(piece& p, const piece& q)
{
    for (uint32_t c : q.crlf)
        p.crlf.push_back(uint32_t(p.bytes.size() + c));
    p.bytes += q.bytes;
}

/*
 * The ranges i..j-1, which overlap or touch [a, b), become one with it:
 * before, it held their pieces and the removed bytes between them. The
 * first range's piece is given the merged bytes when no other holds it.
 */
changed_range merge_ranges(step_record& r, size_t i, size_t j, size_t a, const byte* gone, size_t n,
                           size_t inserted, const std::vector<uint32_t>* crlf, long* cost)
{
    auto& ranges = r.ranges;
    size_t b = a + n;
    size_t lo = std::min(a, ranges[i].offset);
    size_t hi = std::max(b, ranges[j - 1].offset + ranges[j - 1].length);
    piece p;
    size_t at = lo;
    for (size_t k = i; k < j; k++) {
        append_gone(p, gone, crlf, a, at, ranges[k].offset);
        append_piece(p, r.pieces[ranges[k].before]);
        at = ranges[k].offset + ranges[k].length;
    }
    append_gone(p, gone, crlf, a, at, hi);
    uint32_t reuse = 0;
    for (size_t k = i; k < j; k++) {
        uint32_t old = ranges[k].before;
        if (old == 0 || r.pieces[old].shared)
            continue;
        *cost -= long(cost_of_piece(r.pieces[old]));
        r.pieces[old] = piece();
        if (!reuse)
            reuse = old;
        else
            *cost += long(cost_of_piece(r.pieces[old]));
    }
    changed_range merged{lo, hi - lo - n + inserted, 0};
    if (!p.bytes.empty() || !p.crlf.empty()) {
        *cost += long(cost_of_piece(p));
        if (reuse) {
            r.pieces[reuse] = std::move(p);
            merged.before = reuse;
        } else {
            r.pieces.push_back(std::move(p));
            merged.before = uint32_t(r.pieces.size() - 1);
        }
    } else if (reuse) {
        *cost += long(cost_of_piece(r.pieces[reuse]));     // an empty slot is still kept
    }
    return merged;
}

/*
 * Merges a change into the step: [a, a + n) gives way to inserted bytes.
 * The ranges that overlap or touch it become one with it; those after it
 * move. Returns how much more the step costs to keep.
 */
long merge(step_record& r, size_t a, const byte* gone, size_t n, size_t inserted,
           const std::vector<uint32_t>* crlf)
{
    auto& ranges = r.ranges;
    size_t capacity = ranges.capacity();
    bool after_all = ranges.empty() || a > ranges.back().offset + ranges.back().length;
    size_t i = after_all ? ranges.size()
                         : size_t(std::lower_bound(ranges.begin(), ranges.end(), a,
                                                   [](const changed_range& c, size_t v) {
                                                       return c.offset + c.length < v;
                                                   }) -
                                  ranges.begin());
    size_t j = i;
    while (j < ranges.size() && ranges[j].offset <= a + n)
        j++;
    long cost = 0;
    if (i == j) {
        uint32_t before = add_piece(r, i > 0 ? &ranges[i - 1].before : nullptr, gone, n, crlf, &cost);
        ranges.insert(ranges.begin() + long(i), changed_range{a, inserted, before});
    } else {
        changed_range merged = merge_ranges(r, i, j, a, gone, n, inserted, crlf, &cost);
        ranges.erase(ranges.begin() + long(i) + 1, ranges.begin() + long(j));
        ranges[i] = merged;
    }
    long delta = long(inserted) - long(n);
    for (size_t k = i + 1; k < ranges.size(); k++)
        ranges[k].offset += size_t(delta);
    return cost + long((ranges.capacity() - capacity) * sizeof(changed_range));
}

}  // namespace

size_t cost_of_step(const step_record& r)
{
    size_t bytes = r.ranges.capacity() * sizeof(changed_range);
    for (const piece& p : r.pieces)
        bytes += cost_of_piece(p);
    return bytes;
}

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
    note_modified();
}

void close_step()
{
    if (joined)
        return;
    step_open = false;
    step_lost = false;
    open_kind = step_kind::other;
}

void join_steps(bool join)
{
    joined = join;
}

void continue_step(step_kind kind)
{
    if (kind == step_kind::other || kind != open_kind)
        close_step();
    if (!joined)
        open_kind = kind;
}

/*
 * Typing: an insertion into the range the open step typed last only makes
 * that range longer (no range comes after the last one).
 */
static bool grows_last_range(size_t offset, size_t n, size_t inserted)
{
    if (n != 0 || !step_open || step_lost || steps.empty())
        return false;
    std::vector<changed_range>& ranges = steps.back().record.ranges;
    if (ranges.empty() || offset < ranges.back().offset || offset > ranges.back().offset + ranges.back().length)
        return false;
    ranges.back().length += inserted;
    return true;
}

void record_change(size_t offset, const byte* gone, size_t n, size_t inserted, const std::vector<uint32_t>* crlf,
                   bool placeholder)
{
    if (grows_last_range(offset, n, inserted))
        return;
    try {
        step* s = recording_step(n, placeholder);
        if (s) {
            long more = merge(s->record, offset, gone, n, inserted, crlf);
            s->bytes += size_t(more);
            total += size_t(more);
            keep_within_limit();
        } else {
            saved_at = -1;      // a change not kept: the text differs from any saved one
        }
    } catch (const std::bad_alloc&) {
        lose_open_step();
    }
    note_modified();
}

// Whether a batch's changes lie apart from each other and after all the
// step's ranges: each then only adds a range.
// A batch (a Replace): each change merges in order, after room for a
// range each is made at once; the step is kept within bounds at the end.
void record_changes(const std::vector<text_change>& cs, const std::vector<long>& shift, const byte* old_begin,
                    bool placeholder)
{
    size_t coming = 0;
    for (const text_change& c : cs)
        coming += c.removed;
    try {
        step* s = recording_step(coming, placeholder);
        if (!s) {
            saved_at = cs.empty() ? saved_at : -1;
            return note_modified();
        }
        auto& ranges = s->record.ranges;
        size_t capacity = ranges.capacity();
        ranges.reserve(ranges.size() + cs.size());
        long more = long((ranges.capacity() - capacity) * sizeof(changed_range));
        for (size_t i = 0; i < cs.size(); i++) {
            const text_change& c = cs[i];
            more += merge(s->record, c.offset + size_t(shift[i]), old_begin + c.offset, c.removed, c.length, nullptr);
        }
        s->bytes += size_t(more);
        total += size_t(more);
        keep_within_limit();
    } catch (const std::bad_alloc&) {
        lose_open_step();
    }
    note_modified();
}

void record_placeholder_after(bool placeholder)
{
    if (step_open && !steps.empty())
        steps.back().record.placeholder_after = placeholder;
}

step_record* step_to_undo()
{
    step_open = false;
    return done > 0 ? &steps[done - 1].record : nullptr;
}

step_record* step_to_redo()
{
    step_open = false;
    return done < steps.size() ? &steps[done].record : nullptr;
}

bool older_steps_dropped()
{
    return older_dropped;
}

// The step has been swapped: it costs what its pieces now are.
static void step_swapped(step& s)
{
    total -= s.bytes;
    s.bytes = cost_of_step(s.record);
    total += s.bytes;
}

void step_undone()
{
    step_swapped(steps[--done]);
    note_modified();
}

void step_redone()
{
    step_swapped(steps[done++]);
    note_modified();
}

void note_text_saved()
{
    step_open = false;
    saved_at = long(done);
    note_modified();
}

void note_text_unsaved()
{
    saved_at = -1;
    note_modified();
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
