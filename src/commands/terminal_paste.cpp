#include "commands/terminal_paste.h"

#include <new>

#include "prompts/message.h"
#include "screen/keyboard.h"
#include "screen/console.h"
#include "screen/render.h"
#include "screen/window.h"
#include "store/history.h"
#include "store/store.h"

// The paste as the store holds text: line breaks become NULs, and a NUL,
// which cannot be text, is left out. Made in place.
static void turn_into_lines(std::string& bytes)
{
    size_t out = 0;
    for (size_t i = 0; i < bytes.size(); i++) {
        char c = bytes[i];
        if (c == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n')
            continue;           // CR LF is one break: the LF makes it
        if (c == '\r' || c == '\n')
            bytes[out++] = '\0';
        else if (c != '\0')
            bytes[out++] = c;
    }
    bytes.resize(out);
}

/*
 * One move of the store opens room for the whole paste; the window then
 * follows the cursor: to its row when the end stays in the window, else
 * to the last row, and is drawn once.
 */
void insert_paste(std::string& lines)
{
    if (paste_too_large()) {
        show_message("-->too many chars, can't insert%c", key_bell);
        place_cursor();
        return;
    }
    turn_into_lines(lines);
    if (lines.empty())
        return;
    close_step();
    change_scope change;
    byte* after = insert_bytes(cursor, reinterpret_cast<const byte*>(lines.data()), lines.size());
    if (!after) {
        show_message("-->too many chars, can't insert%c", key_bell);
        place_cursor();
        return;
    }
    close_step();
    long breaks = long(count_nuls(after - lines.size(), after));
    cursor = after;
    if (breaks > 0) {
        line_start = view_start = line_start_of(cursor);
        if (cursor_row + breaks <= screen_rows) {
            cursor_row += int(breaks);
        } else {
            long above;
            window_top = lines_back(line_start, screen_rows - first_text_row, &above);
            cursor_row = first_text_row + int(above);
        }
    }
    goal_column = display_width(line_start, cursor);
    redraw_pending = 1;
    recount_window();
    refresh();
}
