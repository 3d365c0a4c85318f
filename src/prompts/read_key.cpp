#include "prompts/read_key.h"

#include "keys/keys.h"
#include "prompts/menu.h"
#include "prompts/message.h"
#include "screen/console.h"
#include "screen/keyboard.h"
#include "screen/window.h"

void refuse_paste()
{
    put_string("\a");
}

void take_new_size()
{
    probe_console_size(&console_cols, &console_rows);
    forget_screen();
    take_console_size();
    fit_window();
}

/*
 * The whole screen at the terminal's new size, as a start at that size
 * brought to the same state would show it: the text window, row 1 and row
 * 2 drawn again, and the cursor back where the loop waits for a key (on
 * row 2 in a prompt or question, else on the text).
 */
static void redraw_at_new_size()
{
    bool on_message_line = console_row() == 2;
    take_new_size();
    redraw_window(window_top, 3);
    redraw_menu_line();
    redraw_message_line();
    if (!on_message_line)
        place_cursor();
}

int read_key()
{
    for (;;) {
        int key = take_key();
        if (key == key_resize) {
            redraw_at_new_size();
            continue;
        }
        if (register_filled) {
            register_filled = false;
            show_message("macro too big. rec finished.");
            place_cursor();
        }
        if (paste_not_recorded) {
            paste_not_recorded = false;
            show_message("--> the paste is not recorded in the macro");
            place_cursor();
        }
        return key;
    }
}

bool repetition_interrupted()
{
    if (!interrupt_typed())
        return false;
    stop_replay();
    show_message("--> interrupted%c", key_bell);
    place_cursor();
    return true;
}
