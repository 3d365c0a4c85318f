#include "commands/search.h"

#include <cstring>

#include "prompts/prompts.h"
#include "screen/console.h"
#include "screen/render.h"
#include "screen/window.h"
#include "store/store.h"

static byte cancel_marker;
byte* const find_cancelled = &cancel_marker;

/*
 * The position just after the first match at or after the cursor, or
 * null. The string holds no NUL, so a match never spans a line end, and
 * the whole rest of the text can be searched at once.
 */
byte* search_forward(const char* s)
{
    size_t len = strlen(s);
    lines_crossed = 0;
    byte* m = static_cast<byte*>(memmem(cursor, size_t(text_end - cursor), s, len));
    if (!m)
        return nullptr;
    lines_crossed = int(count_nuls(cursor, m));
    return m + len;
}

// The start of the last match of s that ends at or before p and starts at
// or after from, or null.
static byte* last_match(byte* from, byte* p, const char* s, size_t len)
{
    if (len == 0)
        return *p == 0 ? p : nullptr;
    for (byte* e = p; e - from >= long(len); e--)
        if (memcmp(e - len, s, len) == 0)
            return e - len;
    return nullptr;
}

/*
 * The start of the first match that ends at or before the cursor, going
 * backwards line by line, or null.
 */
byte* search_backward(const char* s)
{
    size_t len = strlen(s);
    lines_crossed = 0;
    for (byte* p = cursor;;) {
        byte* start = line_start_of(p);
        byte* m = last_match(start, p, s, len);
        if (m)
            return m;
        if (start == text_begin)
            return nullptr;
        p = start - 1;
        lines_crossed--;
    }
}

byte* find_repeat(long n, const char* s)
{
    long sum = 0;
    byte* found = nullptr;
    long times = n < 0 ? -n : n;
    for (long i = 0; i < times && !(i > 0 && repetition_interrupted()); i++) {
        byte* r = n > 0 ? search_forward(s) : search_backward(s);
        if (!r) {
            found = nullptr;
            put_string(" can't find");
            macro_play = nullptr;
            macro_repeats = 0;
            break;
        }
        found = cursor = r;
        sum += lines_crossed;
    }
    show_match(sum);
    return found;
}

byte* prompt_find(long n)
{
    if (!prompt_with_default("find: ", find_text))
        return find_cancelled;
    return find_repeat(n, find_text);
}

byte* prompt_reverse_find(long n)
{
    if (!prompt_with_default("reverse find: ", find_text))
        return find_cancelled;
    return find_repeat(-n, find_text);
}

static int draw_text(const char* s, int col0)
{
    return draw_line(reinterpret_cast<const byte*>(s), col0);
}

void again_command(int letter, long n)
{
    if (letter == '-') {
        n = -n;
        letter = 'F';
    }
    if (letter == 'F' || letter == 'f') {
        show_message(n > 0 ? "find \"" : "reverse find \"");
        draw_text(find_text, 0);
        put_string("\"");
        find_repeat(n, find_text);
        place_cursor();
    } else if (letter == 'R' || letter == 'r') {
        show_message("rep. \"");
        int e = draw_text(replace_from, 8);
        put_string("\" by \"");
        draw_text(replace_to, e + 5);
        put_string("\"");
        place_cursor();
        replace_repeat(n, query_flag || letter == 'R', replace_from, replace_to);
    }
}

// Asks at a match; returns 'Y', 'N' or 'Q'.
static int ask_replace()
{
    clear_message_line();
    put_string("replace [Y|N|Q]?");
    place_cursor();
    for (;;) {
        int key = read_key() & 0x5F;
        if (key == 'Y' || key == 'N' || key == 'Q')
            return key;
    }
}

// Puts to in place of the match of from that ends at q. Returns false
// when there is no room for it.
static bool replace_at(byte* q, size_t from_len, const char* to)
{
    size_t to_len = strlen(to);
    long d = long(to_len) - long(from_len);
    change_scope change;
    byte* r = q - from_len;
    if (d > 0) {
        byte* after = open_room(r, d);
        if (!after) {
            show_message("-->too many chars, can't replace%c", key_bell);
            place_cursor();
            return false;
        }
        r = after - d;
    }
    if (d < 0)
        remove_range(r, r - d);
    memcpy(r, to, to_len);
    cursor = r + to_len;
    modified = 1;
    return true;
}

// Redraws the row of the cursor's line after a replacement made while asking.
static void redraw_cursor_row()
{
    recount_window();
    set_view(display_width(line_start, cursor));
    goto_xy(1, cursor_row);
    draw_line(view_start, 0);
    place_cursor();
}

// The end of the next match of from, or null with the message that says so.
static byte* next_match(const char* from)
{
    byte* q = search_forward(from);
    if (!q) {
        show_message("can't find \"");
        draw_text(from, 0);
        put_string("\"");
    }
    return q;
}

/*
 * Replaces the next n matches without asking: each changed line that is
 * in the window is redrawn as it changes, and the window moves once, at
 * the end, to the last replacement.
 */
static void replace_without_asking(long n, const char* from, const char* to)
{
    size_t from_len = strlen(from);
    long sum = 0;
    for (long i = 0; i < n && !(i > 0 && repetition_interrupted()); i++) {
        byte* q = next_match(from);
        if (!q)
            break;
        sum += lines_crossed;
        cursor = q;
        if (!replace_at(q, from_len, to))
            break;
        if (cursor_row + sum <= screen_rows) {
            goto_xy(1, int(cursor_row + sum));
            draw_line(line_start_of(cursor), 0);
        }
    }
    recount_window();
    redraw_pending = 1;
    show_match(sum);
}

// Replaces the next n matches, asking at each: Y replaces, N skips, Q stops.
static void replace_asking(long n, const char* from, const char* to)
{
    size_t from_len = strlen(from);
    bool failed = false;
    for (long i = 0; i < n && !failed; i++) {
        byte* q = i > 0 && repetition_interrupted() ? nullptr : next_match(from);
        if (!q) {
            failed = true;
            break;
        }
        cursor = q;
        show_match(lines_crossed);
        int answer = ask_replace();
        if (answer == 'Q')
            break;
        if (answer == 'Y') {
            failed = !replace_at(q, from_len, to);
            if (!failed)
                redraw_cursor_row();
        }
    }
    if (!failed)
        clear_message_line();
    place_cursor();
}

void replace_repeat(long n, int ask, const char* from, const char* to)
{
    if (ask)
        replace_asking(n, from, to);
    else
        replace_without_asking(n, from, to);
}

void prompt_replace(long n, int ask)
{
    if (prompt_with_default(" replace:", replace_from) && prompt_with_default(" with:", replace_to))
        replace_repeat(n, ask, replace_from, replace_to);
}
