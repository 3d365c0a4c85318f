#include "commands/insert.h"

#include <algorithm>
#include <string>

#include "commands/file_io.h"
#include "commands/motion.h"
#include "commands/terminal_paste.h"
#include "commands/shared_keys.h"
#include "prompts/menu.h"
#include "prompts/message.h"
#include "prompts/read_key.h"
#include "screen/console.h"
#include "screen/keyboard.h"
#include "screen/render.h"
#include "screen/utf8.h"
#include "screen/window.h"
#include "store/history.h"
#include "store/store.h"

static const char* mode_menu(int insert)
{
    return insert ? "INSERT: <curs> Ins - exchange" : "EXCHANGE: <curs> Ins - insert";
}

// The bytes still to come of a character of several bytes being typed:
// they go in after its first, overwriting nothing.
static int bytes_due;
// In exchange mode, where such a character being typed starts. What it
// overwrites is known when it is whole: a combining mark joins the
// character before it and overwrites nothing.
static byte* exchange_lead;
static const bool exchange_lead_kept = (keep_position(&exchange_lead), true);

/*
 * A byte that may join the bytes around it into a character (UTF-8
 * text): the cursor goes after the character it is part of, and its row
 * is drawn again from the view, as the character before may have changed.
 */
static void after_multibyte(byte* typed)
{
    byte* next = typed + 1;
    const byte* start = character_start(line_start, next);
    if (start != next)
        next = const_cast<byte*>(start) + character_length(start);
    goal_column = line_column(line_start, next);
    refresh();
    goto_xy(1, cursor_row);
    draw_line(view_start, 0);
    place_cursor();
}

// Shows a byte just entered at the cursor and moves the cursor past it.
static void show_character(byte b)
{
    if (utf8_text && (b >= 0x80 || cursor[1] >= 0x80 || (cursor > line_start && cursor[-1] >= 0x80))) {
        after_multibyte(cursor);
    } else {
        redraw_from_cursor();
        move_cursor_chars(1);
    }
    recount_window();
}

// Exchange mode overwrites a whole character: all but one of its bytes go.
static void take_character_under_cursor()
{
    int len = character_length(cursor);
    if (len > 1)
        remove_range(cursor + 1, cursor + len);
}

// A character of several bytes typed whole in exchange mode: the one
// after it goes, unless it joined the character before.
static void exchange_typed_character()
{
    byte* lead = exchange_lead;
    exchange_lead = nullptr;
    byte* next = lead + lead_length(*lead);
    if (*next == 0 || character_start(line_start, lead) < lead)
        return;
    remove_range(next, next + character_length(next));
    after_multibyte(next - 1);
}

// The end of the blanks and tabs that start the cursor's line.
static byte* indentation_end()
{
    byte* p = line_start;
    while (*p == ' ' || *p == '\t')
        p++;
    return p;
}

/*
 * The line has been ended at the cursor, the rest become a new line below
 * after a copy of the line's indentation (w columns): the rows follow.
 */
static void split_line(int w)
{
    redraw_from_cursor();
    redraw_pending = 1;
    cursor++;
    if (cursor_row < screen_rows - 1) {
        cursor_row++;
        scroll_down(cursor_row, screen_rows);
    } else if (cursor_row == screen_rows - 1) {
        cursor_row = screen_rows;
    } else {
        scroll_up(first_text_row, screen_rows);
        window_top = next_line(window_top);
    }
    line_start = view_start = cursor;
    show_status();
    goal_column = w;
    refresh();
    place_cursor();
    recount_window();
}

static void refuse_typing()
{
    show_message("-->too many chars, can't insert%c", key_bell);
    place_cursor();
}

/*
 * Enters a typed key: a line split, or a character, which in exchange
 * mode overwrites the one under the cursor (but is appended at a line's
 * end). A split copies the line's indentation when auto_indent is on.
 */
static void type_key(int key, bool split, int insert)
{
    change_scope change;    // the text is whole again before a hang-up may save it
    continue_step(step_kind::typing);
    bool continuing = utf8_text && bytes_due > 0 && key >= 0x80 && key <= 0xBF;
    bytes_due = continuing ? bytes_due - 1 : utf8_text ? std::max(lead_length(byte(key)) - 1, 0) : 0;
    bool leading = !insert && !split && !continuing && bytes_due > 0;
    if (!continuing)
        exchange_lead = leading && *cursor != 0 ? cursor : nullptr;
    byte b = byte(key);
    if (split) {
        byte* indent_end = auto_indent ? indentation_end() : line_start;
        std::string bytes(1, '\0');
        bytes.append(line_start, indent_end);
        int w = display_width(line_start, indent_end);
        if (!insert_bytes(cursor, reinterpret_cast<const byte*>(bytes.data()), bytes.size()))
            return refuse_typing();
        split_line(w);
        close_step();           // a line split ends a step of typing
    } else if (insert || *cursor == 0 || continuing || leading) {
        if (!insert_bytes(cursor, &b, 1)) {
            exchange_lead = nullptr;
            return refuse_typing();
        }
        show_character(b);
        if (exchange_lead && bytes_due == 0)
            exchange_typed_character();
    } else {
        take_character_under_cursor();
        overwrite_bytes(cursor, &b, 1);
        show_character(b);
    }
}

static void show_mode(int insert)
{
    show_menu_line(mode_menu(insert));
    place_cursor();
}

void insert_mode(int insert)
{
    bytes_due = 0;
    show_status();
    repeat_count = 1;
    last_key = 0;
    show_mode(insert);
    for (;;) {
        int key = read_key_with_notices();
        if (key == key_escape) {
            close_step();
            show_menu_segment();
            return;
        }
        if (handle_special_key(key) == 0) {
            bytes_due = 0;
            continue;
        }
        last_key = 0;
        if (mode_key || key == key_ctrl_v) {
            close_step();
            insert = !insert;
            show_mode(insert);
        } else if (key == key_paste) {
            insert_paste(paste_to_take());   // inserted, also in exchange mode
        } else if (key == key_ctrl_q) {
            key = read_key();
            if (key == key_paste)
                insert_paste(paste_to_take());
            else if (key != key_none)       // the end of a macro is no character
                type_key(key, false, insert);
        } else {
            type_key(key, key == key_enter, insert);
        }
        say_pending_notices();
    }
}
