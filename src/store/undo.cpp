/*
 * Undoing or redoing an edit is one swap: its range is given back the
 * bytes it held before, and the bytes it held become the ones to give
 * back next time. A step is undone last edit first, redone first first.
 */
#include "store/undo.h"

#include <algorithm>

#include "store/history.h"
#include "store/store.h"

// A Replace of many matches: the strings at the matches trade places with
// the ones they replaced, in one pass.
static void swap_matches(edit& e)
{
    std::string now(reinterpret_cast<const char*>(text_begin) + e.matches.front(), e.length);
    e.matches = rewrite_at(e.matches, e.length, e.gone);
    e.offset = e.matches.front();
    e.length = e.gone.size();
    e.gone = std::move(now);
}

static bool swap_edit(edit& e)
{
    keep_line_number_below(text_begin + e.offset);  // what comes back may hold line ends
    if (!e.matches.empty()) {
        swap_matches(e);
        return true;
    }
    size_t n = e.gone.size();
    std::string now(reinterpret_cast<const char*>(text_begin) + e.offset, e.length);
    byte* pos = text_begin + e.offset;
    if (n > e.length) {
        byte* after = open_room(pos + e.length, long(n - e.length));
        if (!after)
            return false;
        pos = after - n;
    } else if (n < e.length) {
        remove_range(pos + n, pos + e.length);
    }
    std::copy(e.gone.begin(), e.gone.end(), pos);
    e.length = n;
    e.gone = std::move(now);
    return true;
}

// Swaps the edits, last first when undoing; *where is the lowest offset
// they touch.
static bool swap_edits(std::vector<edit>& edits, bool backwards, size_t* where)
{
    change_scope change;
    pause_recording(true);
    size_t lowest = size_t(-1), n = edits.size();
    bool ok = true;
    for (size_t i = 0; i < n && ok; i++) {
        edit& e = edits[backwards ? n - 1 - i : i];
        ok = swap_edit(e);
        lowest = std::min(lowest, e.offset);
    }
    pause_recording(false);
    *where = lowest;
    return ok;
}

undo_result undo_step(size_t* where)
{
    std::vector<edit>* edits = step_to_undo();
    if (!edits)
        return older_steps_dropped() ? undo_result::no_older_kept : undo_result::nothing;
    if (!swap_edits(*edits, true, where))
        return undo_result::nothing;
    step_undone();
    return undo_result::done;
}

undo_result redo_step(size_t* where)
{
    std::vector<edit>* edits = step_to_redo();
    if (!edits || !swap_edits(*edits, false, where))
        return undo_result::nothing;
    step_redone();
    return undo_result::done;
}
