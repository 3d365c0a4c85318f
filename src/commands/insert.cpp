#include "commands/insert.h"

#include "commands/motion.h"
#include "commands/pasting.h"
#include "commands/special_keys.h"
#include "prompts/menu.h"
#include "prompts/message.h"
#include "prompts/read_key.h"
#include "screen/console.h"
#include "screen/keyboard.h"
#include "screen/render.h"
#include "screen/window.h"
#include "store/history.h"
#include "store/store.h"

static const char* mode_menu(int insert)
{
    return insert ? "INSERT: <curs> Ins - exchange" : "EXCHANGE: <curs> Ins - insert";
}

// The byte goes into room opened for it, or over the one under the cursor.
static void enter_character(byte b, bool opened)
{
    if (opened)
        *cursor = b;
    else
        overwrite_bytes(cursor, &b, 1);
    modified = 1;
    redraw_from_cursor();
    move_cursor_chars(1);
    recount_window();
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
 * Ends the line at the cursor; the rest becomes a new line below, after a
 * copy of the line's indentation (indent bytes, w columns) when
 * auto_indent is on. The room for both has been opened at the cursor.
 */
static void split_line(long indent, int w)
{
    long room = 1 + indent;
    cursor[0] = 0;
    for (long i = 0; i < indent; i++) {
        byte* from = line_start + i;
        cursor[1 + i] = from < cursor ? *from : from[room];
    }
    redraw_from_cursor();
    redraw_pending = 1;
    cursor++;
    if (cursor_row < screen_rows - 1) {
        cursor_row++;
        scroll_down(cursor_row, screen_rows);
    } else if (cursor_row == screen_rows - 1) {
        cursor_row = screen_rows;
    } else {
        scroll_up(3, screen_rows);
        window_top = next_line(window_top);
    }
    line_start = view_start = cursor;
    show_status();
    goal_column = w;
    refresh();
    place_cursor();
    recount_window();
}

/*
 * Enters a typed key: a line split, or a character, which in exchange
 * mode overwrites the one under the cursor (but is appended at a line's
 * end). Both need room but the overwrite.
 */
static void type_key(int key, bool split, int insert)
{
    change_scope change;    // the room is filled before a hang-up may save the text
    continue_step(step_kind::typing);
    byte* indent_end = split && auto_indent ? indentation_end() : line_start;
    long indent = indent_end - line_start;
    int w = display_width(line_start, indent_end);
    bool opening = insert || split || *cursor == 0;
    if (opening && !open_room(cursor, 1 + indent)) {
        show_message("-->too many chars, can't insert%c", key_bell);
        place_cursor();
        return;
    }
    if (split) {
        split_line(indent, w);
        close_step();           // a line split ends a step of typing
    } else {
        enter_character(byte(key), opening);
    }
}

static void show_mode(int insert)
{
    show_menu_line(mode_menu(insert));
    place_cursor();
}

void insert_mode(int insert)
{
    show_status();
    repeat_count = 1;
    last_key = 0;
    show_mode(insert);
    for (;;) {
        int key = read_key();
        if (key == key_escape) {
            close_step();
            show_menu_segment();
            return;
        }
        if (handle_special_key(key) == 0)
            continue;
        last_key = 0;
        if (mode_key || key == key_ctrl_v) {
            close_step();
            insert = !insert;
            show_mode(insert);
        } else if (key == key_paste) {
            insert_paste(pasted_bytes());   // inserted, also in exchange mode
        } else if (key == key_ctrl_q) {
            key = read_key();
            if (key == key_paste)
                insert_paste(pasted_bytes());
            else if (key != key_none)       // the end of a macro is no character
                type_key(key, false, insert);
        } else {
            type_key(key, key == key_enter, insert);
        }
    }
}
