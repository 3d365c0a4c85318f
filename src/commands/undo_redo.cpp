#include "commands/undo_redo.h"

#include <algorithm>

#include "prompts/message.h"
#include "prompts/read_key.h"
#include "screen/console.h"
#include "screen/window.h"
#include "store/history.h"
#include "store/store.h"
#include "store/undo.h"

/*
 * Puts the cursor on the change at offset where, with the window placed
 * as after a find: it stays when the line is in it (the window keeping
 * its first line, by number), else the line comes to row 10. The whole
 * window is drawn again.
 */
static void show_change(size_t where, unsigned top_line)
{
    long moved;
    window_top = lines_forward(text_begin, long(top_line) - 1, &moved);
    if (window_top == text_end)
        window_top = lines_back(text_end, 1, &moved);
    line_start = view_start = window_top;
    cursor_row = first_text_row;
    recount_window();
    size_t last = size_t(text_end - text_begin) - 1;    // the last line's end
    cursor = text_begin + std::min(where, last);
    long d = long(line_number_of(line_start_of(cursor))) - long(line_number_of(window_top));
    redraw_pending = 1;
    show_match(d);
}

// Takes up to n steps back (or forward); says so when there were none left.
static void take_steps(long n, bool back)
{
    unsigned top_line = line_number_of(window_top);
    size_t where = 0;
    long taken = 0;
    undo_result r = undo_result::done;
    while (taken < n && !(taken > 0 && repetition_interrupted()) &&
           (r = back ? undo_step(&where) : redo_step(&where)) == undo_result::done)
        taken++;
    if (taken > 0)
        show_change(where, top_line);
    if (r == undo_result::no_memory)
        show_message("--> no memory to %s%c", back ? "undo" : "redo", key_bell);
    else if (r == undo_result::nothing)
        show_message(back ? "--> nothing to undo%c" : "--> nothing to redo%c", key_bell);
    else if (r == undo_result::no_older_kept)
        show_message("--> no older changes kept%c", key_bell);
    if (r != undo_result::done)
        place_cursor();
}

void undo_command(long n)
{
    take_steps(n, true);
}

void redo_command(long n)
{
    take_steps(n, false);
}
