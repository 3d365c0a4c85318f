#include "commands/delete.h"

#include "prompts/read_key.h"
#include "screen/console.h"
#include "screen/render.h"
#include "screen/utf8.h"
#include "screen/window.h"
#include "store/store.h"

/*
 * Removes the bytes between a and b, one of which is the cursor, and
 * brings the window up to date: lines above come down to fill the rows
 * above the cursor, lines below come up under it.
 */
void delete_range(byte* a, byte* b)
{
    if (a == b)
        return;
    byte* lo = a < b ? a : b;
    byte* hi = a < b ? b : a;
    byte* lo_line = line_start_of(lo);
    byte* hi_line = line_start_of(hi);
    if (lo_line < line_start) {
        int k = repaint_above(cursor_row - 1, lo_line);
        if (k != 0) {
            cursor_row -= k;
            repaint_below(cursor_row + 1, next_line(hi_line));
        }
    }
    if (hi_line > line_start)
        repaint_below(cursor_row + 1, next_line(hi_line));
    remove_range(lo, hi);
    if (lo_line == hi_line) {
        goal_column = display_width(line_start, lo);
        refresh();
        if (cursor != lo) {     // the characters on either side joined into one
            goto_xy(1, cursor_row);
            draw_line(view_start, 0);
        } else if (!view_shifted) {
            redraw_from_cursor();
        }
    } else {
        line_start = view_start = lo_line;
        if (cursor_row == first_text_row)
            window_top = lo_line;
        set_view(display_width(lo_line, lo));
        redraw_pending = 1;
        refresh();
    }
    place_cursor();
    recount_window();
}

/*
 * Walks n characters from the cursor (a line end counting as one), never
 * past the text's last NUL nor before its start.
 */
static byte* characters_away(long n)
{
    byte* p = cursor;
    if (!utf8_text) {           // every byte a character: one step
        if (n > 0) {
            long room = text_end - 1 - p;   // the last NUL always stays
            return p + (n < room ? n : room);
        }
        long room = p - text_begin;
        return p - (-n < room ? -n : room);
    }
    for (; n > 0 && p + 1 < text_end; n--)
        p += *p ? character_length(p) : 1;
    for (; n < 0 && p > text_begin; n++)
        p = const_cast<byte*>(previous_character(text_begin, p));
    return p;
}

void delete_chars(long n)
{
    if (n != 0)
        delete_range(cursor, characters_away(n));
}

// ^Y: removes n lines, going upwards once the last line is reached.
void delete_lines(long n)
{
    for (long i = 0; i < n && !(i > 0 && repetition_interrupted()); i++) {
        byte* q = line_start_of(cursor);
        byte* p = next_line(cursor);
        if (p == text_end) {
            p = text_end - 1;
            if (q != text_begin)
                q--;
        }
        delete_range(q, p);
    }
}
