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
    redraw_window(window_top, first_text_row);
    redraw_menu_line();
    redraw_message_line();
    if (!on_message_line)
        place_cursor();
}

// A paste whose end has not come is said on row 2, over what the row
// shows, until the paste ends; the cursor stays where the loop waits.
static bool paste_stall_shown;

static void show_paste_stall()
{
    int col = console_column(), row = console_row();
    show_passing_message("--> paste not ended: ESC ends it");
    goto_xy(col, row);
}

static void take_back_paste_stall()
{
    int col = console_column(), row = console_row();
    redraw_message_line();
    goto_xy(col, row);
}

// What the user's coming back to the editor's window does: set at
// start-up (the text's file is looked at, and a change said on row 2).
static void (*focus_work)();

void set_focus_work(void (*work)())
{
    focus_work = work;
}

static void on_focus_regained()
{
    if (focus_work)
        focus_work();
}

int read_key()
{
    for (;;) {
        int key = take_key();
        if (key == key_focus_in) {
            on_focus_regained();
            continue;
        }
        if (key == key_redraw)      // characters changed width: the cursor keeps its own
            goal_column = line_column(line_start, cursor);
        if (key == key_resize || key == key_redraw) {
            redraw_at_new_size();
            if (paste_stall_shown)
                show_paste_stall();
            continue;
        }
        if (key == key_paste_stalled) {
            paste_stall_shown = true;
            show_paste_stall();
            continue;
        }
        if (key == key_paste && paste_stall_shown) {
            paste_stall_shown = false;
            take_back_paste_stall();
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
