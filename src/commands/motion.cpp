#include "commands/motion.h"

#include <climits>

#include "commands/search.h"
#include "prompts/prompts.h"
#include "screen/console.h"
#include "screen/render.h"
#include "screen/window.h"
#include "session/keys.h"
#include "session/session.h"
#include "store/store.h"

const int home_code = 2, end_code = 5;
const int line_end_column = INT_MAX;    // a goal column past the end of any line

// More lines than the text holds: a move by it reaches the text's end.
static long all_lines()
{
    return long(text_end - text_begin) + screen_rows;
}

// Home (^B) and End (^E): the line's start or end, then the window's top
// or bottom row, then the text's first or last line. Returns the code to
// remember, 0 after a third press so that a fourth is a first again.
static int home_or_end(int code)
{
    bool home = code == home_code;
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
static void delete_lines(long n)
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

// Page keys move by windowfuls; counts are held where the arithmetic is safe.
static long pages(long n)
{
    long rows = screen_rows > 3 ? screen_rows - 2 : 1;
    return n > LONG_MAX / 4 / rows ? LONG_MAX / 4 : n * rows;
}

static int handle_extended(int code)
{
    long n = repeat_count;
    if (view_only && (code == 59 || code == 82 || code == 83))
        code = 27;
    switch (code) {
    case 59: show_help(); break;
    case 71: code = home_or_end(home_code); break;
    case 72: move_view(-n, 0); break;
    case 73: move_view(0, -pages(n)); break;
    case 75: move_cursor_chars(-n); break;
    case 77: move_cursor_chars(n); break;
    case 79: code = home_or_end(end_code); break;
    case 80: move_view(n, 0); break;
    case 81: move_view(0, pages(n)); break;
    case 82: mode_key = 22; return 22;
    case 83: delete_chars(n); break;
    default: break;
    }
    place_cursor();
    prev_key = last_key;
    last_key = code;
    return 0;
}

/*
 * Acts on a special key. Returns 0 when it was handled, 22 for the Insert
 * key, and the key itself when it is not special.
 */
int handle_special_key(int key)
{
    mode_key = 0;
    if (key == extended_prefix)
        return handle_extended(read_key());
    long n = repeat_count;
    switch (key) {
    case 1: again_command(last_search, n); break;
    case 2: key = home_or_end(home_code); break;
    case 5: key = home_or_end(end_code); break;
    case 8: delete_chars(-n); break;
    case 25: delete_lines(n); break;
    default: return key;
    }
    place_cursor();
    prev_key = last_key;
    last_key = key;
    return 0;
}

void move_cursor_chars(long n)
{
    move_chars(n);
    move_view(lines_moved, 0);
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
            p++;
        } else if (p + 1 == text_end) {
            break;
        } else {
            s = ++p;
            lines++;
        }
    }
    for (; n < 0; n++) {
        if (p > s) {
            p--;
        } else if (s == text_begin) {
            break;
        } else {
            p = s - 1;
            s = line_start_of(p);
            lines--;
        }
    }
    lines_moved = lines;
    goal_column = display_width(s, p);
}

void delete_chars(long n)
{
    byte* p = cursor;
    if (n > 0) {
        long room = text_end - 1 - p;       // the last NUL always stays
        p += n < room ? n : room;
    } else if (n < 0) {
        long room = p - text_begin;
        p -= -n < room ? -n : room;
    }
    delete_range(cursor, p);
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
        if (!view_shifted)
            redraw_from_cursor();
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

/*
 * Brings the line d lines from the cursor's row into the window after a
 * search moved the cursor there: within the window nothing scrolls,
 * otherwise the line comes to row 10.
 */
void show_match(long d)
{
    goal_column = display_width(line_start_of(cursor), cursor);
    long t = cursor_row + d;
    if (t >= 3 && t <= screen_rows)
        move_view(d, 0);
    else
        move_view(10 - cursor_row, t - 10);
}
