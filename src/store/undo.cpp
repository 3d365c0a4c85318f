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

// The bytes a range holds now, as a piece (shared with the range before
// when they are the same, as the matches of a Replace are).
uint32_t piece_now(step_record& now, const changed_range& r)
{
    piece p;
    p.bytes.assign(reinterpret_cast<const char*>(text_begin) + r.offset, r.length);
    p.crlf = crlf_ends_in(r.offset, r.offset + r.length);
    if (p.bytes.empty() && p.crlf.empty())
        return 0;
    if (!now.ranges.empty() && p.crlf.empty()) {
        piece& before = now.pieces[now.ranges.back().before];
        if (before.crlf.empty() && before.bytes == p.bytes) {
            before.shared = true;
            return now.ranges.back().before;
        }
    }
    now.pieces.push_back(std::move(p));
    return uint32_t(now.pieces.size() - 1);
}

/*
 * The step as it will stand after the swap, and the batch of changes that
 * makes it: each range gets its old piece back. False when the memory for
 * the pieces cannot be had; nothing has changed then.
 */
bool prepare_swap(step_record& r, step_record& swapped, std::vector<text_change>& batch)
{
    try {
        swapped.pieces.emplace_back();
        swapped.ranges.reserve(r.ranges.size());
        batch.reserve(r.ranges.size());
        long shift = 0;
        for (const changed_range& c : r.ranges) {
            const piece& old = r.pieces[c.before];
            uint32_t now = piece_now(swapped, c);
            swapped.ranges.push_back({size_t(long(c.offset) + shift), old.bytes.size(), now});
            batch.push_back({c.offset, c.length, reinterpret_cast<const byte*>(old.bytes.data()),
                             old.bytes.size(), &old.crlf});
            shift += long(old.bytes.size()) - long(c.length);
        }
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

// Swaps the step; *where is the first offset it touches.
bool swap_step(step_record& r, bool undoing, size_t* where)
{
    step_record swapped;
    std::vector<text_change> batch;
    if (!prepare_swap(r, swapped, batch) || !apply_changes(batch, false))
        return false;
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
