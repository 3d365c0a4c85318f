#include "commands/pasting.h"

#include "prompts/message.h"
#include "screen/console.h"
#include "screen/render.h"
#include "screen/window.h"
#include "store/history.h"
#include "store/store.h"

// The paste as the store holds text: line breaks become NULs, and a NUL,
// which cannot be text, is left out.
static std::string as_lines(const std::string& bytes)
{
    std::string lines;
    lines.reserve(bytes.size());
    for (size_t i = 0; i < bytes.size(); i++) {
        char c = bytes[i];
        if (c == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n')
            continue;           // CR LF is one break: the LF makes it
        if (c == '\r' || c == '\n')
            lines.push_back('\0');
        else if (c != '\0')
            lines.push_back(c);
    }
    return lines;
}

/*
 * One move of the store opens room for the whole paste; the window then
 * follows the cursor: to its row when the end stays in the window, else
 * to the last row, and is drawn once.
 */
void insert_paste(const std::string& bytes)
{
    std::string lines = as_lines(bytes);
    if (lines.empty())
        return;
    close_step();
    change_scope change;
    byte* after = open_room(cursor, long(lines.size()));
    if (!after) {
        show_message("-->too many chars, can't insert%c", key_bell);
        place_cursor();
        return;
    }
    std::copy(lines.begin(), lines.end(), after - lines.size());
    close_step();
    long breaks = long(count_nuls(after - lines.size(), after));
    cursor = after;
    if (breaks > 0) {
        line_start = view_start = line_start_of(cursor);
        if (cursor_row + breaks <= screen_rows) {
            cursor_row += int(breaks);
        } else {
            long above;
            window_top = lines_back(line_start, screen_rows - 3, &above);
            cursor_row = 3 + int(above);
        }
    }
    goal_column = display_width(line_start, cursor);
    redraw_pending = 1;
    recount_window();
    refresh();
}
