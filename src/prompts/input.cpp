#include "prompts/input.h"

#include <cctype>
#include <cstring>
#include <string>

#include "prompts/message.h"
#include "prompts/read_key.h"
#include "screen/console.h"
#include "screen/keyboard.h"
#include "screen/render.h"
#include "screen/utf8.h"

// Erases the echo back to the width of the bytes from out to p.
static void erase_back_to(const char* out, const char* p)
{
    int t = display_width(reinterpret_cast<const byte*>(out), reinterpret_cast<const byte*>(p));
    if (echo_width() > t)
        erase_echo(echo_width() - t);
}

// Where the character that ends at end starts, in the input from out.
static char* last_character(char* out, char* end)
{
    auto b = [](const char* s) { return reinterpret_cast<const byte*>(s); };
    return out + (previous_character(b(out), b(end), b(end)) - b(out));
}

// Takes a character of len bytes into the input at *p; false, with nothing
// taken, when it does not fit whole (the prompt stays open until Enter or
// ESC). One that joins the character before it (a combining mark after a
// letter) shows that character echoed again whole.
static bool take_character(char* out, char** p, int size, const byte* c, int len)
{
    if (*p - out + len > size - 1)
        return false;
    char* at = *p;
    memcpy(at, c, size_t(len));
    *p += len;
    char* joined = at;
    if (utf8_text && (*c >= 0x80 || (at > out && byte(at[-1]) >= 0x80)))
        joined = last_character(out, *p);
    if (joined < at) {
        erase_back_to(out, joined);
        echo_character(reinterpret_cast<const byte*>(joined), int(*p - joined));
    } else if (len == 1) {
        echo_byte(*c);
    } else {
        echo_character(c, len);
    }
    return true;
}

static void take_or_refuse(char* out, char** p, int size, const byte* c, int len)
{
    if (!take_character(out, p, size, c, len))
        put_string("\a");
}

// A paste at a prompt: its first line, as far as the input has room; one
// bell for what is left out. It does not press Enter.
static void take_paste(char* out, char** p, int size)
{
    const std::string& text = pasted_bytes();
    const byte* s = reinterpret_cast<const byte*>(text.data());
    const byte* end = s + std::min(text.find_first_of("\r\n"), text.size());
    bool dropped = end != s + text.size();
    for (int len; s < end; s += len) {
        len = character_length(s, end);
        if (*s != 0 && !take_character(out, p, size, s, len))
            dropped = true;
    }
    if (dropped)
        put_string("\a");
}

/*
 * The bytes of a typed character arrive one key at a time. In a UTF-8
 * text they are held until the character is whole, so that it is echoed
 * and taken (or refused) at once; bytes that turn out not to make one are
 * taken one by one.
 */
struct held_character {
    byte bytes[4];
    int count = 0;

    void flush(char* out, char** p, int size)
    {
        for (int i = 0; i < count; i++)
            take_or_refuse(out, p, size, bytes + i, 1);
        count = 0;
    }

    void add(char* out, char** p, int size, byte b)
    {
        bool continues = count > 0 && b >= 0x80 && b <= 0xBF;
        if (!continues)
            flush(out, p, size);
        if (!continues && !(utf8_text && lead_length(b))) {
            take_or_refuse(out, p, size, &b, 1);
            return;
        }
        bytes[count++] = b;
        if (count < lead_length(bytes[0]))
            return;
        if (sequence_length(bytes, bytes + count) == count) {
            take_or_refuse(out, p, size, bytes, count);
            count = 0;
        } else {
            flush(out, p, size);
        }
    }
};

/*
 * Reads a line of at most size - 1 bytes into out, echoing it at the
 * console cursor, until Enter. Returns the end of the text, or null after
 * ESC.
 */
char* read_input(char* out, int size)
{
    char* p = out;
    held_character held;
    start_echo();
    for (int key = read_key(); key != key_enter; key = read_key()) {
        if (p == out && held.count == 0)
            clear_after_echo();
        bool text_byte = key == key_tab || (key >= 32 && key < 256);
        if (!text_byte)
            held.flush(out, &p, size);
        if (key == key_backspace || key == key_delete_byte) {
            if (p > out) {
                p = last_character(out, p);
                erase_back_to(out, p);
            }
        } else if (key == key_paste) {
            take_paste(out, &p, size);
        } else if (key == key_ctrl_q) {
            key = read_key();
            if (key == key_paste) {
                take_paste(out, &p, size);
            } else {
                byte b = byte(key & 0x3F);
                take_or_refuse(out, &p, size, &b, 1);
            }
        } else if (text_byte) {
            held.add(out, &p, size, byte(key));
        } else if (key == key_escape) {
            return nullptr;
        }
    }
    held.flush(out, &p, size);
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
