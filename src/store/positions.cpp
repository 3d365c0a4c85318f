/*
 * The positions kept into the text, which move with the bytes they point
 * at whatever changes: the store tells them how.
 */
#include "store/store.h"

#include <vector>

static std::vector<kept_position>& kept()
{
    static std::vector<kept_position> positions;
    return positions;
}

const std::vector<kept_position>& kept_positions()
{
    return kept();
}

void keep_position(byte** p, position_kind kind)
{
    kept().push_back({p, kind});
}

void shift_positions(byte* lo, byte* hi, long delta)
{
    for (const kept_position& k : kept())
        if (*k.at && *k.at >= lo && *k.at <= hi)
            *k.at += delta;
}

// Where a position goes when n bytes are inserted at pos, the text before
// pos moving by before and the text from pos on by after (in addresses).
void move_for_insertion(byte* pos, long before, long after)
{
    if (before == 0) {          // the usual case: only what follows moves
        for (const kept_position& k : kept()) {
            byte* p = *k.at;
            if ((p > pos && p <= text_end) || (p == pos && k.kind == position_kind::follows_byte))
                *k.at = p + after;
        }
        return;
    }
    for (const kept_position& k : kept()) {
        byte* p = *k.at;
        if (!p || p < text_begin || p > text_end)
            continue;
        bool stays_before = p < pos || (p == pos && k.kind != position_kind::follows_byte);
        *k.at = p + (stays_before ? before : after);
    }
}

/*
 * Where a position goes when [lo, hi) is removed and the text after it
 * comes down by d (q is where the line after hi's now starts). One inside
 * the range goes to its start; a line's start (the window's) keeps its
 * line: one that started inside the range, or in the line it ends in,
 * stands where that line's rest now begins.
 */
void move_for_removal(byte* lo, byte* hi, byte* q, long d)
{
    for (const kept_position& k : kept()) {
        byte* p = *k.at;
        if (!p || p <= lo || p > text_end)
            continue;
        if (k.kind == position_kind::line_start)
            *k.at = p > q ? p - d : p;
        else
            *k.at = p >= hi ? p - d : lo;
    }
}

