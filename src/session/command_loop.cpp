#include <cstring>
#include <new>

#include "commands/file_io.h"
#include "commands/help.h"
#include "commands/insert.h"
#include "commands/macros.h"
#include "commands/menus.h"
#include "commands/pasting.h"
#include "commands/motion.h"
#include "commands/paste.h"
#include "commands/search.h"
#include "commands/shared_keys.h"
#include "commands/undo_redo.h"
#include "prompts/menu.h"
#include "prompts/message.h"
#include "prompts/input.h"
#include "prompts/read_key.h"
#include "screen/console.h"
#include "screen/keyboard.h"
#include "screen/window.h"
#include "keys/keys.h"
#include "session/session.h"
#include "store/history.h"
#include "store/journal.h"

// The keys view mode turns into ESC before anything else sees them.
static const char blocked_keys[] = "bcdghimrsxyzBCDGHIMRSXYZ&-<?\x16\x08\x19";

// Adds a typed digit to the count; a count that overflows to a negative
// value becomes 32767.
static void add_count_digit(int digit)
{
    uint32_t n = uint32_t(count_entry) * 10u + uint32_t(digit);
    count_entry = int32_t(n);
    if (count_entry < 0)
        count_entry = 32767;
    show_message("--> %1d", count_entry);
    place_cursor();
}

/*
 * Reads any number of digits and "?" and then the command key, which it
 * returns with repeat_count set.
 */
static int read_command_key()
{
    for (;;) {
        if (macro_repeats > 0 && !macro_play)
            repetition_interrupted();
        start_repetition();
        int key = read_key();
        if (view_only && key != 0 && key < 256 && strchr(blocked_keys, key))
            key = key_escape;
        if (key == '?') {
            query_flag = 1;
            show_message("--> ?");
            place_cursor();
        } else if (key >= '0' && key <= '9') {
            add_count_digit(key - '0');
        } else {
            if (count_entry == 0) {
                repeat_count = 1;
            } else {
                repeat_count = count_entry;
                clear_message_line();
                place_cursor();
            }
            return key;
        }
    }
}

static void jump_command()
{
    long line = show_status();
    move_view(long(repeat_count) - line, 0);
}

static void update_and_exit(bool* done)
{
    if (ask_yes_no("Update & Exit ? ", "") && save_text(file_name.c_str()) == 0 && !modified)
        *done = true;
}

static void bell()
{
    put_string("\a");
}

// Runs the command for key; sets *done when the run is to end. Returns
// a further command key to run at once (from the Quit menu), or 0.
static int dispatch(int key, bool* done)
{
    switch (key) {
    case key_enter:
        goal_column = 0;
        refresh();
        move_view(0, repeat_count);
        last_key = 0;
        break;
    case key_escape: show_menu_segment(); break;
    case ' ': advance_menu(); show_menu_segment(); break;
    case 'I': case 'i': case key_ctrl_v: insert_mode(1); break;
    case 'X': case 'x': insert_mode(0); break;
    case extended_prefix:
        handle_special_key(key);
        if (mode_key)
            insert_mode(1);
        break;
    case '&': update_and_exit(done); break;
    case '-': prompt_reverse_find(repeat_count); last_search = '-'; break;
    case 'F': case 'f': prompt_find(repeat_count); last_search = key; break;
    case 'A': case 'a': again_command(last_search, repeat_count); break;
    case 'R': case 'r':
        prompt_replace(repeat_count, query_flag);
        last_search = query_flag ? 'R' : 'r';
        break;
    case 'B': case 'b': buffer_command(); break;
    case 'C': case 'c':
        // once a copy is refused, so is every further one
        for (; repeat_count > 0; repeat_count--)
            if (!copy_command() || repetition_interrupted())
                repeat_count = 1;
        show_status();
        break;
    case 'D': case 'd': delete_command(); break;
    case 'G': case 'g': get_command(); break;
    case 'P': case 'p': put_command(); break;
    case 'H': case 'h': show_help(); break;
    case 'J': case 'j': jump_command(); break;
    case 'M': case 'm': macro_command(); break;
    case 'Y': case 'y': replay_command(macro_y); break;
    case 'Z': case 'z': replay_command(macro_z); break;
    case 'Q': case 'q':
        if (view_only) {
            *done = true;
            break;
        }
        key = quit_menu();
        if (key == 0)
            *done = true;
        return key;
    case 'S': case 's': set_menu(); break;
    case 'U': case 'u': view_only ? bell() : undo_command(repeat_count); break;
    case key_ctrl_r: view_only ? bell() : redo_command(repeat_count); break;
    case key_paste: view_only ? bell() : insert_paste(pasted_bytes()); break;
    case '@': redraw_all(); break;
    default:
        if (handle_special_key(key) != 0)
            bell();
        break;
    }
    return 0;
}

/*
 * A command that finds no memory for what it needs (beyond the text, the
 * history and a paste, which say so themselves) ends with a message, not
 * the editor: the text is whole at any point where memory is asked for.
 */
static int dispatch_within_memory(int key, bool* done)
{
    try {
        return dispatch(key, done);
    } catch (const std::bad_alloc&) {
        show_message("--> not enough memory%c", key_bell);
        place_cursor();
        return 0;
    }
}

/*
 * The main loop: a count and "?", then a command key, until the user ends
 * the run. An editing run starts in insert mode, a viewing run with the
 * menu.
 */
void command_loop()
{
    stop_replay();
    macro_current = nullptr;
    last_search = 0;
    int key = view_only ? ' ' : 'i';
    bool done = false;
    for (;;) {
        count_entry = 0;
        close_step();           // each command is a step of the history
        int next = dispatch_within_memory(key, &done);
        if (take_too_big_to_undo()) {
            show_message("--> change too big to undo");
            place_cursor();
        }
        say_journal_trouble();
        if (done)
            return;
        if (next) {
            key = next;
            continue;
        }
        place_cursor();
        query_flag = 0;
        key = read_command_key();
    }
}
