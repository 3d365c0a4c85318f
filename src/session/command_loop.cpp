// The command loop: a count and "?", then a command key, which runs its
// row of the command table; view mode blocks keys here as they are read.
#include <cstdint>
#include <new>

#include "commands/file_io.h"
#include "commands/shared_keys.h"
#include "keys/keys.h"
#include "prompts/message.h"
#include "prompts/read_key.h"
#include "screen/console.h"
#include "screen/window.h"
#include "session/command_table.h"
#include "session/session.h"
#include "store/history.h"
#include "store/journal.h"

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
        int key = read_key_with_notices();
        if (view_only && blocked_key(key))
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

static void bell()
{
    put_string("\a");
}

/*
 * Runs the command of key's row. A key without a command goes to the
 * shared keys, and rings the bell when it is none of theirs either.
 * Returns what the command returns: 0, end_of_run or the next key.
 */
static int dispatch(int key)
{
    const command* c = command_of(key);
    if (!c || !c->run) {
        if (handle_special_key(key) != 0)
            bell();
        return 0;
    }
    if (view_only && c->in_view == in_view_mode::bell) {
        bell();
        return 0;
    }
    return c->run(key);
}

/*
 * A command that finds no memory for what it needs (beyond the text, the
 * history and a paste, which say so themselves) ends with a message, not
 * the editor: the text is whole at any point where memory is asked for.
 */
static int dispatch_within_memory(int key)
{
    try {
        return dispatch(key);
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
    for (;;) {
        count_entry = 0;
        close_step();           // each command is a step of the history
        int next = dispatch_within_memory(key);
        if (take_too_big_to_undo()) {
            show_message("--> change too big to undo");
            place_cursor();
        }
        say_pending_notices();
        if (next == end_of_run)
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
