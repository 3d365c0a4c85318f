/*
 * Undoing or redoing a step is one swap, made in one pass over the text:
 * every range the step changed is given back the piece it held before,
 * and the bytes it held become the piece to give back next time.
 */
#include "store/undo.h"

#include <algorithm>
#include <new>

#include "store/history.h"
#include "store/store.h"

namespace {

// The bytes a range holds now, as a piece (shared with the piece last
// made, at last, when they are the same, as the matches of a Replace are).
uint32_t piece_now(step_record& now, const changed_range& r, const uint32_t* last)
{
    std::vector<uint32_t> crlf = crlf_ends_in(r.offset, r.offset + r.length);
    long cost = 0;      // counted when the step is handed back
    return add_piece(now, last, text_begin + r.offset, r.length, &crlf, &cost);
}

/*
 * The pieces the step's ranges hold now, and the batch of changes that
 * gives each range its old piece back. The room for the swapped step's
 * ranges is had here too, but they are written after the swap, once the
 * batch is gone: a large step never holds both at once. False when the
 * memory cannot be had; nothing has changed then.
 */
bool prepare_swap(step_record& r, step_record& swapped, std::vector<uint32_t>& now,
                  std::vector<text_change>& batch)
{
    try {
        swapped.pieces.emplace_back();
        swapped.ranges.reserve(r.ranges.size());
        now.reserve(r.ranges.size());
        batch.reserve(r.ranges.size());
        for (const changed_range& c : r.ranges) {
            const piece& old = r.pieces[c.before];
            now.push_back(piece_now(swapped, c, now.empty() ? nullptr : &now.back()));
            batch.push_back({c.offset, c.length, reinterpret_cast<const byte*>(old.bytes.data()),
                             old.bytes.size(), &old.crlf});
        }
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

// The swapped step's ranges, where the swap has put them (in the room
// prepare_swap made).
void place_ranges(const step_record& r, step_record& swapped, const std::vector<uint32_t>& now)
{
    long shift = 0;
    for (size_t i = 0; i < r.ranges.size(); i++) {
        const changed_range& c = r.ranges[i];
        size_t old_length = r.pieces[c.before].bytes.size();
        swapped.ranges.push_back({size_t(long(c.offset) + shift), old_length, now[i]});
        shift += long(old_length) - long(c.length);
    }
}

// Swaps the step; *where is the first offset it touches.
bool swap_step(step_record& r, bool undoing, size_t* where)
{
    step_record swapped;
    std::vector<uint32_t> now;
    {
        std::vector<text_change> batch;
        if (!prepare_swap(r, swapped, now, batch) || !apply_changes(batch, false))
            return false;
    }
    place_ranges(r, swapped, now);
    swapped.placeholder_before = r.placeholder_before;
    swapped.placeholder_after = r.placeholder_after;
    set_placeholder_line(undoing ? r.placeholder_before : r.placeholder_after);
    *where = swapped.ranges.empty() ? 0 : swapped.ranges.front().offset;
    r = std::move(swapped);
    return true;
}

}  // namespace

undo_result undo_step(size_t* where)
{
    step_record* r = step_to_undo();
    if (!r)
        return older_steps_dropped() ? undo_result::no_older_kept : undo_result::nothing;
    if (!swap_step(*r, true, where))
        return undo_result::no_memory;
    step_undone();
    return undo_result::done;
}

undo_result redo_step(size_t* where)
{
    step_record* r = step_to_redo();
    if (!r)
        return undo_result::nothing;
    if (!swap_step(*r, false, where))
        return undo_result::no_memory;
    step_redone();
    return undo_result::done;
}
