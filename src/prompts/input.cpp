#include "prompts/input.h"

#include <cctype>
#include <cstring>
#include <string>

#include "prompts/message.h"
#include "prompts/read_key.h"
#include "screen/console.h"
#include "screen/keyboard.h"
#include "screen/render.h"

// Erases the echo back to the width of the bytes from out to p.
static void erase_back_to(const char* out, const char* p)
{
    int t = display_width(reinterpret_cast<const byte*>(out), reinterpret_cast<const byte*>(p));
    if (echo_width() > t)
        erase_echo(echo_width() - t);
}

// Takes a typed byte into the input at *p; false, with nothing taken,
// when the input is full (the prompt stays open until Enter or ESC).
static bool take_byte(char* out, char** p, int size, byte b)
{
    if (*p - out >= size - 1)
        return false;
    *(*p)++ = char(b);
    echo_byte(b);
    return true;
}

// A paste at a prompt: its first line, as far as the input has room; one
// bell for what is left out. It does not press Enter.
static void take_paste(char* out, char** p, int size)
{
    const std::string& bytes = pasted_bytes();
    size_t line_end = bytes.find_first_of("\r\n");
    bool dropped = line_end != std::string::npos;
    for (size_t i = 0; i < std::min(line_end, bytes.size()); i++)
        if (bytes[i] != 0 && !take_byte(out, p, size, byte(bytes[i])))
            dropped = true;
    if (dropped)
        put_string("\a");
}

/*
 * Reads a line of at most size - 1 bytes into out, echoing it at the
 * console cursor, until Enter. Returns the end of the text, or null after
 * ESC.
 */
char* read_input(char* out, int size)
{
    char* p = out;
    start_echo();
    for (int key = read_key(); key != key_enter; key = read_key()) {
        if (p == out)
            clear_after_echo();
        if (key == key_backspace || key == key_delete_byte) {
            if (p > out)
                erase_back_to(out, --p);
        } else if (key == key_paste) {
            take_paste(out, &p, size);
        } else if (key == key_ctrl_q) {
            key = read_key();
            if (key == key_paste)
                take_paste(out, &p, size);
            else if (!take_byte(out, &p, size, byte(key & 0x3F)))
                put_string("\a");
        } else if (key == key_tab || (key >= 32 && key < 256)) {
            if (!take_byte(out, &p, size, byte(key)))
                put_string("\a");
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
    draw_in_message(reinterpret_cast<const byte*>(label), 0);
    add_to_message("\"");
    draw_in_message(reinterpret_cast<const byte*>(value), 0);
    add_to_message("\"");
    move_after_label(4);
    char* r = read_input(input_line, value_size);
    if (!r)
        return 0;
    if (r == input_line) {      // the old value again, drawn as it was shown
        start_echo();
        for (const char* q = value; *q; q++)
            echo_byte(byte(*q));
        add_to_message("\"");
        return 1;
    }
    memcpy(value, input_line, size_t(r - input_line) + 1);
    add_to_message("\"");
    return 1;
}

int ask_yes_no(const char* format, const char* value)
{
    show_message(format, value);
    add_to_message_if_wide("(y/n) ", 36);
    int key;
    do {
        key = read_key();
        if (key == key_paste)
            refuse_paste();
        key = key < 256 ? toupper(key) : key;
    } while (key != 'Y' && key != 'N');
    print_formatted("%c", key);
    return key == 'Y';
}
