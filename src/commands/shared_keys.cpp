/*
 * The keys every key loop hands on: the cursor and page keys, Home and
 * End, Delete, Backspace, ^A (Again), ^Y, F1 (Help), and the Insert key as
 * a signal. The command loop, insert mode and the selections share them.
 */
#include "commands/shared_keys.h"

#include <climits>

#include "commands/delete.h"
#include "commands/help.h"
#include "commands/motion.h"
#include "commands/search.h"
#include "prompts/read_key.h"
#include "screen/console.h"
#include "screen/window.h"
#include "store/history.h"

// Page keys move by windowfuls; counts are held where the arithmetic is safe.
static long pages(long n)
{
    long rows = screen_rows > 3 ? screen_rows - 2 : 1;
    return n > LONG_MAX / 4 / rows ? LONG_MAX / 4 : n * rows;
}

static int handle_extended(int code)
{
    long n = repeat_count;
    continue_step(code == scan_delete ? step_kind::deleting : step_kind::other);
    // view mode refuses Help, Ins and Del in every key loop; the command
    // keys it refuses are those of the command table
    if (view_only && (code == scan_f1 || code == scan_insert || code == scan_delete))
        code = key_escape;
    switch (code) {
    case scan_f1: show_help(); break;
    case scan_home: code = home_or_end(key_ctrl_b); break;
    case scan_up: move_view(-n, 0); break;
    case scan_page_up: move_view(0, -pages(n)); break;
    case scan_left: move_cursor_chars(-n); break;
    case scan_right: move_cursor_chars(n); break;
    case scan_end: code = home_or_end(key_ctrl_e); break;
    case scan_down: move_view(n, 0); break;
    case scan_page_down: move_view(0, pages(n)); break;
    case scan_insert: mode_key = key_ctrl_v; return key_ctrl_v;
    case scan_delete: delete_chars(n); break;
    default: break;
    }
    place_cursor();
    prev_key = last_key;
    last_key = code;
    return 0;
}

/*
 * Acts on a shared key. Returns 0 when it was handled, key_ctrl_v for the
 * Insert key, and the key itself when it is not one of them.
 */
int handle_special_key(int key)
{
    mode_key = 0;
    if (key == extended_prefix)
        return handle_extended(read_key());
    long n = repeat_count;
    if (key == key_ctrl_a || key == key_ctrl_b || key == key_ctrl_e || key == key_ctrl_y)
        continue_step(step_kind::other);
    else if (key == key_backspace)
        continue_step(step_kind::deleting);
    if (view_only && (key == key_backspace || key == key_ctrl_y))
        return 0;               // view mode changes nothing, also in a selection
    switch (key) {
    case key_ctrl_a: again_command(last_search, n); break;
    case key_ctrl_b: key = home_or_end(key_ctrl_b); break;
    case key_ctrl_e: key = home_or_end(key_ctrl_e); break;
    case key_backspace: delete_chars(-n); break;
    case key_ctrl_y: delete_lines(n); break;
    default: return key;
    }
    place_cursor();
    prev_key = last_key;
    last_key = key;
    return 0;
}

