#include "prompts/message.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <string>
#include <vector>

#include "screen/console.h"
#include "screen/render.h"
#include "screen/utf8.h"
#include "screen/window.h"

namespace {

enum class step { text, text_if_wide, draw, after_label, start_echo, echo, erase, clear };

// One thing drawn on row 2, and how many status lines had been drawn when
// it was (a status drawn between two steps is drawn there again).
struct drawn {
    step kind;
    std::string bytes;          // text, or the string drawn, or the byte echoed
    int value;                  // col0 of a draw, a gap, columns erased, a width
    unsigned statuses;
};

std::vector<drawn> steps;       // since the row was last cleared
unsigned statuses_at_clear;
int echo_columns;               // the echo's column counter
int label_end;                  // the column after the first string drawn

void keep(step kind, std::string bytes = {}, int value = 0)
{
    steps.push_back({kind, std::move(bytes), value, status_count()});
}

// Text without the bells it rang: drawn again, it rings none.
std::string without_bells(const char* s)
{
    std::string t(s);
    t.erase(std::remove(t.begin(), t.end(), char(key_bell)), t.end());
    return t;
}

void put_echo(const std::string& c)
{
    char cells[max_character_bytes + 16];
    render_char(cells, reinterpret_cast<const byte*>(c.data()), int(c.size()), &echo_columns);
    put_string(cells);
}

void put_erase(int columns)
{
    for (; columns > 0; columns--, echo_columns--)
        put_string("\b \b");
}

void draw_step(const drawn& d)
{
    switch (d.kind) {
    case step::text: put_string(d.bytes.c_str()); break;
    case step::text_if_wide:
        if (screen_cols >= d.value)
            put_string(d.bytes.c_str());
        break;
    case step::draw: {
        int w = draw_line(reinterpret_cast<const byte*>(d.bytes.c_str()), d.value);
        if (label_end < 0)
            label_end = w;
        break;
    }
    case step::after_label: goto_xy(label_end + d.value, message_row); break;
    case step::start_echo: echo_columns = 0; break;
    case step::echo: put_echo(d.bytes); break;
    case step::erase: put_erase(d.value); break;
    case step::clear: clear_to_eol(); break;
    }
}

// The dashes that start row 2, and the rest of it blank.
void draw_cleared_row()
{
    goto_xy(1, message_row);
    put_string("--");
    clear_to_eol();
    label_end = -1;
}

}  // namespace

void clear_message_line()
{
    steps.clear();
    statuses_at_clear = status_count();
    draw_cleared_row();
}

// Formats into buffer, writes it at the console cursor and keeps it.
static void put_formatted(char* buffer, size_t size, const char* format, va_list args)
{
    vsnprintf(buffer, size, format, args);
    put_string(buffer);
    keep(step::text, without_bells(buffer));
}

void show_message(const char* format, ...)
{
    clear_message_line();
    va_list args;
    va_start(args, format);
    put_formatted(message_text, sizeof message_text, format, args);
    va_end(args);
}

void print_formatted(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    put_formatted(status_text, sizeof status_text, format, args);
    va_end(args);
}

void add_to_message(const char* text)
{
    put_string(text);
    keep(step::text, without_bells(text));
}

void add_to_message_if_wide(const char* text, int min_cols)
{
    keep(step::text_if_wide, text, min_cols);
    draw_step(steps.back());
}

int draw_in_message(const byte* s, int col0)
{
    int w = draw_line(s, col0);
    if (label_end < 0)
        label_end = w;
    keep(step::draw, reinterpret_cast<const char*>(s), col0);
    return w;
}

void move_after_label(int gap)
{
    keep(step::after_label, {}, gap);
    draw_step(steps.back());
}

void start_echo()
{
    echo_columns = 0;
    keep(step::start_echo);
}

void echo_byte(byte b)
{
    echo_character(&b, 1);
}

void echo_character(const byte* p, int len)
{
    std::string c(reinterpret_cast<const char*>(p), size_t(len));
    put_echo(c);
    keep(step::echo, c);
}

void erase_echo(int columns)
{
    put_erase(columns);
    keep(step::erase, {}, columns);
}

int echo_width()
{
    return echo_columns;
}

void clear_after_echo()
{
    clear_to_eol();
    keep(step::clear);
}

/*
 * Draws every step again. A status drawn between two steps is drawn
 * between them again (it goes to the right end of the row, and the next
 * step goes on from where the cursor stood).
 */
void redraw_message_line()
{
    unsigned now = status_count(), seen = statuses_at_clear;
    draw_cleared_row();
    for (const drawn& d : steps) {
        if (d.statuses != seen) {
            int col = console_column();
            show_status();
            goto_xy(col, message_row);
            seen = d.statuses;
        }
        draw_step(d);
    }
    if (now != seen) {
        int col = console_column();
        show_status();
        goto_xy(col, message_row);
    }
}

void show_passing_message(const char* text)
{
    draw_cleared_row();
    put_string(text);
}
