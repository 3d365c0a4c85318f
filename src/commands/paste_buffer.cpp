#include "commands/paste_buffer.h"

#include "commands/file_io.h"
#include "commands/delete.h"
#include "commands/shared_keys.h"
#include "commands/search.h"
#include "prompts/menu.h"
#include "prompts/message.h"
#include "prompts/input.h"
#include "prompts/read_key.h"
#include "screen/console.h"
#include "screen/render.h"
#include "screen/window.h"
#include "store/files.h"
#include "store/store.h"

// A selection's start follows the byte it was put on as the text changes.
static const bool selection_kept = (keep_position(&selection_start, position_kind::follows_byte), true);

int buffer_range(byte* a, byte* b)
{
    byte* lo = a < b ? a : b;
    byte* hi = a < b ? b : a;
    if (hi - lo >= paste_size) {
        show_message("can't buffer");
        place_cursor();
        return 0;
    }
    paste_end = copy_bytes(lo, hi, paste_buffer);
    copy_to_clipboard(paste_buffer, size_t(paste_end - paste_buffer));
    return 1;
}

/*
 * Lets the user move the cursor, with the shared keys and searches, to
 * the other end of a range that starts where the cursor is now. Returns
 * the key that ended it: the command's letter in some form, or ESC. The
 * start is kept in selection_start, which the store moves with the text.
 */
static int select_range(const char* menu, int letter, bool clear_message)
{
    selection_start = cursor;
    show_menu_line(menu);
    if (clear_message)
        clear_message_line();
    place_cursor();
    for (;;) {
        int key = read_key();
        if (key == key_paste) {
            refuse_paste();
            continue;
        }
        int low = key & 0xFF;
        if (fold_case(low) == letter || low == key_escape)
            return key;
        if (low == 'F' || low == 'f' || low == '-') {
            prompt_find(low == '-' ? -1 : 1);
            last_search = low;
            place_cursor();
        } else {
            handle_special_key(key);
        }
    }
}

// Ends a selection: the start is no longer followed.
static byte* take_selection_start()
{
    byte* start = selection_start;
    selection_start = nullptr;
    return start;
}

void buffer_command()
{
    int key = select_range("BUFFER: <curs> Find -find  B", 'B', true);
    byte* start = take_selection_start();
    if (key != key_escape)
        buffer_range(start, cursor);
    show_menu_segment();
}

void delete_command()
{
    int key = select_range("DELETE: <curs> Find -find  D", 'D', false);
    byte* start = take_selection_start();
    if ((key == 'D' || key == 'd') && (!delete_to_buffer || buffer_range(start, cursor)))
        delete_range(start, cursor);
    show_menu_segment();
}

void put_command()
{
    int key = select_range("PUT: <curs> Find -find  P", 'P', true);
    byte* start = take_selection_start();
    if (key != key_escape) {
        byte* lo = start < cursor ? start : cursor;
        byte* hi = start < cursor ? cursor : start;
        const char* name = prompt_string("--> file: ");
        put_range(name, lo, hi);
    }
    show_menu_segment();
}

bool copy_command()
{
    if (paste_end == paste_buffer)
        return true;
    if (!insert_bytes(cursor, paste_buffer, size_t(paste_end - paste_buffer))) {
        show_message("-->too many chars, can't copy%c", key_bell);
        return false;
    }
    goal_column = display_width(line_start, cursor);    // the cursor stays on the copy
    redraw_window(line_start, cursor_row);
    return true;
}

void get_command()
{
    const char* name = prompt_string("--> get from: ");
    load_with_progress(name, cursor, load_mode::get);
    goal_column = display_width(line_start, cursor);    // on the first byte read
    redraw_window(line_start, cursor_row);
}
