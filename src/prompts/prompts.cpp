#include "prompts/prompts.h"

#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "screen/console.h"
#include "screen/keyboard.h"
#include "screen/render.h"
#include "keys/keys.h"
#include "state/state.h"

const char full_menu[] =
    "<space> <curs> Again Buffer Copy Delete eXchange Find -find Get Insert Jump"
    " Macro Put Quit Replace Set Y Z & @  <F1>=Help";
const char view_menu[] = "<curs> Again Find Jump Put Quit @";

int read_key()
{
    int key = take_key();
    if (register_filled) {
        register_filled = false;
        show_message("macro too big. rec finished.");
        place_cursor();
    }
    return key;
}

// Makes text the menu and its first segment the current one.
void reset_menu(const char* text)
{
    menu_text = text;
    menu_end = text + strlen(text);
    menu_pos = menu_cut = menu_end;
    advance_menu();
}

/*
 * Makes the next segment current: the one starting at the blank where the
 * current one was cut, or the first. A segment is cut at the last blank
 * that keeps it within the screen's width.
 */
void advance_menu()
{
    menu_pos = menu_cut < menu_end ? menu_cut : menu_text;
    if (menu_pos + screen_cols < menu_end) {
        const char* p = menu_pos + screen_cols;
        while (p > menu_pos && *p != ' ')
            p--;
        menu_cut = p > menu_pos ? p : menu_pos + screen_cols;
    } else {
        menu_cut = menu_end;
    }
}

void show_menu_line(const char* text)
{
    if (text)
        snprintf(menu_line, sizeof menu_line, "%s", text);
    clear_row(1);
    put_string(menu_line);
}

void show_menu_segment()
{
    char segment[sizeof menu_line];
    snprintf(segment, sizeof segment, "%.*s", int(menu_cut - menu_pos), menu_pos);
    show_menu_line(segment);
}

void clear_message_line()
{
    goto_xy(1, 2);
    put_string("--");
    clear_to_eol();
}

void show_message(const char* format, ...)
{
    clear_message_line();
    va_list args;
    va_start(args, format);
    vsnprintf(message_text, sizeof message_text, format, args);
    va_end(args);
    put_string(message_text);
}

void print_formatted(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    vsnprintf(status_text, sizeof status_text, format, args);
    va_end(args);
    put_string(status_text);
}

// Echoes one typed byte, advancing the echo's column counter.
static void echo_byte(byte b, int* w)
{
    char cells[16];
    render_char(cells, b, w);
    put_string(cells);
}

// Erases the echo back to the width of the bytes from out to p.
static void erase_echo(const char* out, const char* p, int* w)
{
    int t = display_width(reinterpret_cast<const byte*>(out), reinterpret_cast<const byte*>(p));
    for (; *w > t; --*w)
        put_string("\b \b");
}

// Takes a typed byte into the input at *p, or rings the bell when the
// input is full: the prompt stays open until Enter or ESC.
static void take_byte(char* out, char** p, int size, byte b, int* w)
{
    if (*p - out >= size - 1) {
        put_string("\a");
        return;
    }
    *(*p)++ = char(b);
    echo_byte(b, w);
}

/*
 * Reads a line of at most size - 1 bytes into out, echoing it at the
 * console cursor, until Enter. Returns the end of the text, or null after
 * ESC.
 */
char* read_input(char* out, int size)
{
    char* p = out;
    int w = 0;
    for (int key = read_key(); key != key_enter; key = read_key()) {
        if (p == out)
            clear_to_eol();
        if (key == key_backspace || key == key_delete_byte) {
            if (p > out)
                erase_echo(out, --p, &w);
        } else if (key == key_ctrl_q) {
            take_byte(out, &p, size, byte(read_key() & 0x3F), &w);
        } else if (key == key_tab || key >= 32) {
            take_byte(out, &p, size, byte(key), &w);
        } else if (key == key_escape) {
            return nullptr;
        }
    }
    *p = 0;
    return p;
}

char* prompt_string(const char* prompt)
{
    show_message("%s", prompt);
    if (!read_input(input_line, name_size))
        input_line[0] = 0;
    return input_line;
}

/*
 * Shows the label and the value in quotes and reads a new value over it.
 * An empty answer keeps the value; ESC keeps it and returns 0. The row is
 * kept within the screen: the old value is clipped at its right edge.
 */
int prompt_with_default(const char* label, char* value)
{
    clear_message_line();
    int w = draw_line(reinterpret_cast<const byte*>(label), 0);
    put_string("\"");
    draw_line(reinterpret_cast<const byte*>(value), 0);
    put_string("\"");
    goto_xy(w + 4, 2);
    char* r = read_input(input_line, value_size);
    if (!r)
        return 0;
    if (r == input_line) {      // the old value again, drawn as it was shown
        int col = 0;
        for (const char* q = value; *q; q++)
            echo_byte(byte(*q), &col);
        put_string("\"");
        return 1;
    }
    memcpy(value, input_line, size_t(r - input_line) + 1);
    put_string("\"");
    return 1;
}

int ask_yes_no(const char* format, const char* value)
{
    show_message(format, value);
    if (screen_cols > 35)
        put_string("(y/n) ");
    int key;
    do
        key = toupper(read_key());
    while (key != 'Y' && key != 'N');
    print_formatted("%c", key);
    return key == 'Y';
}

bool repetition_interrupted()
{
    if (!interrupt_typed())
        return false;
    macro_play = nullptr;
    macro_repeats = 0;
    show_message("--> interrupted%c", key_bell);
    place_cursor();
    return true;
}
