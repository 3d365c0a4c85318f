#include "commands/motion.h"

#include <climits>

#include "prompts/read_key.h"
#include "screen/console.h"
#include "screen/render.h"
#include "screen/utf8.h"
#include "screen/window.h"
#include "store/store.h"

const int line_end_column = INT_MAX;    // a goal column past the end of any line

// More lines than the text holds: a move by it reaches the text's end.
static long all_lines()
{
    return long(text_end - text_begin) + screen_rows;
}

// Home (code ^B) and End (code ^E): the line's start or end, then the
// window's top or bottom row, then the text's first or last line. Returns
// the code to remember, 0 after a third press so that a fourth is a first
// again.
int home_or_end(int code)
{
    bool home = code == key_ctrl_b;
    if (last_key != code) {
        goal_column = home ? 0 : line_end_column;
        refresh();
    } else if (prev_key != code) {
        move_view(home ? 3 - cursor_row : screen_rows - cursor_row, 0);
    } else {
        move_view(home ? -all_lines() : all_lines(), 0);
        code = 0;
    }
    return code;
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

void move_cursor_chars(long n)
{
    move_chars(n);
    move_view(lines_moved, 0);
}

void move_cursor_bytes(long n)
{
    byte* p = cursor;
    byte* s = line_start;
    long lines = 0;
    for (; n > 0 && !(*p == 0 && p + 1 == text_end); n--) {
        if (*p++ == 0) {
            s = p;
            lines++;
        }
    }
    goal_column = line_column(s, p);
    move_view(lines, 0);
}

/*
 * Walks n characters from the cursor, a line end counting as one, and
 * leaves the lines crossed in lines_moved and the column reached in
 * goal_column.
 */
void move_chars(long n)
{
    byte* p = cursor;
    byte* s = line_start;
    int lines = 0;
    for (; n > 0; n--) {
        if (*p) {
            p += character_length(p);
        } else if (p + 1 == text_end) {
            break;
        } else {
            s = ++p;
            lines++;
        }
    }
    for (; n < 0; n++) {
        if (p > s) {
            p = const_cast<byte*>(previous_character(s, p));
        } else if (s == text_begin) {
            break;
        } else {
            p = s - 1;
            s = line_start_of(p);
            lines--;
        }
    }
    lines_moved = lines;
    goal_column = line_column(s, p);
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
        if (cursor_row == 3)
            window_top = lo_line;
        set_view(display_width(lo_line, lo));
        redraw_pending = 1;
        refresh();
    }
    place_cursor();
    recount_window();
}
