#include "commands/motion.h"

#include <climits>

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
        move_view(home ? first_text_row - cursor_row : screen_rows - cursor_row, 0);
    } else {
        move_view(home ? -all_lines() : all_lines(), 0);
        code = 0;
    }
    return code;
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
