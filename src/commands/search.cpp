#include "commands/search.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "keys/keys.h"
#include "prompts/message.h"
#include "prompts/input.h"
#include "prompts/read_key.h"
#include "screen/console.h"
#include "screen/render.h"
#include "screen/window.h"
#include "store/history.h"
#include "store/store.h"

static byte cancel_marker;
byte* const find_cancelled = &cancel_marker;

/*
 * Where the last search stopped. The end of a match (its start, going
 * backward) may lie inside a character, and the cursor then stands after
 * that character; while the cursor and the text stay as that search left
 * them, the next search goes on from the match, so that it finds no match
 * twice and skips none.
 */
static struct {
    byte* point = nullptr;
    byte* cursor = nullptr;
    unsigned long changes = 0;
} stopped;

static byte* search_start()
{
    if (stopped.point && cursor == stopped.cursor && text_changes == stopped.changes)
        return stopped.point;
    return cursor;
}

// After the window has shown a search that stopped at point.
static void note_stop(byte* point)
{
    stopped = {point, cursor, text_changes};
}

/*
 * The position just after the first match at or after the cursor, or
 * null. The string holds no NUL, so a match never spans a line end, and
 * the whole rest of the text can be searched at once.
 */
byte* search_forward(const char* s)
{
    size_t len = strlen(s);
    lines_crossed = 0;
    byte* m = find_bytes(cursor, text_end, s, len);
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
    cursor = search_start();
    unsigned first_line = line_number_of(line_start);
    for (long i = 0; i < times && !(i > 0 && repetition_interrupted()); i++) {
        byte* r = n > 0 ? search_forward(s) : search_backward(s);
        if (!r) {
            found = nullptr;
            add_to_message(" can't find");
            stop_replay();
            break;
        }
        found = cursor = r;
        sum += lines_crossed;
    }
    if (sum != 0)               // the lines were counted on the way: no second count
        note_line_number(line_start_of(cursor), unsigned(long(first_line) + sum));
    byte* point = cursor;
    show_match(sum);
    note_stop(point);
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
    return draw_in_message(reinterpret_cast<const byte*>(s), col0);
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
        add_to_message("\"");
        find_repeat(n, find_text);
        place_cursor();
    } else if (letter == 'R' || letter == 'r') {
        show_message("rep. \"");
        int e = draw_text(replace_from, 8);
        add_to_message("\" by \"");
        draw_text(replace_to, e + 5);
        add_to_message("\"");
        place_cursor();
        replace_repeat(n, query_flag || letter == 'R', replace_from, replace_to);
    }
}

// Asks at a match; returns 'Y', 'N' or 'Q'.
static int ask_replace()
{
    clear_message_line();
    add_to_message("replace [Y|N|Q]?");
    place_cursor();
    for (;;) {
        int key = read_key();
        if (key == key_paste)
            refuse_paste();
        key = fold_case(key);
        if (key == 'Y' || key == 'N' || key == 'Q')
            return key;
    }
}

// Puts to in place of the match of from that ends at q. Returns false
// when there is no room for it.
static bool replace_at(byte* q, size_t from_len, const char* to)
{
    size_t to_len = strlen(to);
    byte* r = q - from_len;
    size_t at = size_t(r - text_begin);
    if (!apply_changes({{at, from_len, reinterpret_cast<const byte*>(to), to_len}})) {
        show_message("-->too many chars, can't replace%c", key_bell);
        place_cursor();
        return false;
    }
    cursor = text_begin + at + to_len;
    return true;
}

// Redraws the row of the cursor's line after a replacement made while asking.
static void redraw_cursor_row()
{
    recount_window();
    set_view(line_column(line_start, cursor));
    goto_xy(1, cursor_row);
    draw_line(view_start, 0);
    place_cursor();
}

static void say_cant_find(const char* from)
{
    show_message("can't find \"");
    draw_text(from, 0);
    add_to_message("\"");
}

// The end of the next match of from, or null with the message that says so.
static byte* next_match(const char* from)
{
    byte* q = search_forward(from);
    if (!q)
        say_cant_find(from);
    return q;
}

// The matches a run without questions replaces, found before any is
// replaced: they follow one another without overlapping, as the search
// after each replacement starts behind it.
struct match_run {
    std::vector<byte*> starts;  // in the text as it stands
    byte* unreplaced = nullptr; // the end of a match there was no room for
    bool none_left = false;     // the search failed before n were found
};

static match_run find_matches(long n, const char* from, long growth)
{
    match_run run;
    size_t len = strlen(from);
    size_t room = store_room();
    for (byte* p = cursor; long(run.starts.size()) < n;) {
        byte* m = find_bytes(p, text_end, from, len);
        if (!m) {
            run.none_left = true;
            break;
        }
        if (growth > 0 && (run.starts.size() + 1) * size_t(growth) > room) {
            run.unreplaced = m + len;
            break;
        }
        run.starts.push_back(m);
        p = m + len;
    }
    return run;
}

/*
 * Puts to in place of every match of the run, in one pass over the text;
 * the history keeps the matches' string once. False when there is no
 * room after all.
 */
static bool replace_matches(std::vector<byte*>&& starts, size_t from_len, const char* to)
{
    size_t to_len = strlen(to);
    std::vector<text_change> batch;
    batch.reserve(starts.size());
    for (byte* m : starts)
        batch.push_back({size_t(m - text_begin), from_len, reinterpret_cast<const byte*>(to), to_len});
    std::vector<byte*>().swap(starts);     // its memory serves the change
    return apply_changes(batch);
}

/*
 * The empty string matches at the cursor, again after each replacement:
 * to goes in n times (as often as there is room) in one move. Returns
 * the offset where the cursor ends, after the last copy.
 */
static size_t repeat_at_cursor(long n, const char* to)
{
    size_t to_len = strlen(to), at = size_t(cursor - text_begin);
    if (to_len == 0)
        return at;
    size_t k = std::min(size_t(n), store_room() / to_len);
    if (k > 0) {
        std::string copies;
        for (size_t i = 0; i < k; i++)
            copies += to;
        byte* after = insert_bytes(cursor, reinterpret_cast<const byte*>(copies.data()), copies.size());
        if (after)
            at = size_t(after - text_begin);
        else
            k = 0;
    }
    if (k < size_t(n)) {
        show_message("-->too many chars, can't replace%c", key_bell);
        place_cursor();
    }
    return at;
}

/*
 * Replaces the next n matches without asking. The window moves once, at
 * the end, to the last replacement, and shows the whole changed text.
 */
static void replace_without_asking(long n, const char* from, const char* to)
{
    size_t from_len = strlen(from), to_len = strlen(to);
    cursor = search_start();
    size_t start = size_t(cursor - text_begin), ended = start;
    if (from_len == 0) {
        ended = repeat_at_cursor(n, to);
    } else {
        match_run run = find_matches(n, from, long(to_len) - long(from_len));
        size_t k = run.starts.size();
        size_t unreplaced = run.unreplaced ? size_t(run.unreplaced - text_begin) : 0;
        size_t first_end = k ? size_t(run.starts.front() - text_begin) + from_len : 0;
        size_t last_start = k ? size_t(run.starts.back() - text_begin) : 0;
        if (run.none_left)
            say_cant_find(from);
        if (k > 0 && !replace_matches(std::move(run.starts), from_len, to)) {    // no memory after all
            unreplaced = first_end;
            k = 0;
        }
        if (unreplaced) {
            ended = unreplaced + k * to_len - k * from_len;
            show_message("-->too many chars, can't replace%c", key_bell);
            place_cursor();
        } else if (k > 0) {
            ended = last_start + k * to_len - (k - 1) * from_len;
        }
    }
    long sum = long(count_nuls(text_begin + start, text_begin + ended));
    cursor = text_begin + ended;
    recount_window();
    redraw_pending = 1;
    show_match(sum);
    note_stop(text_begin + ended);
}

// Replaces the next n matches, asking at each: Y replaces, N skips, Q stops.
static void replace_asking(long n, const char* from, const char* to)
{
    size_t from_len = strlen(from);
    bool failed = false;
    byte* point = search_start();
    for (long i = 0; i < n && !failed; i++) {
        byte* shown = cursor;
        cursor = point;
        byte* q = i > 0 && repetition_interrupted() ? nullptr : next_match(from);
        if (!q) {
            cursor = shown;
            failed = true;
            break;
        }
        cursor = point = q;
        show_match(lines_crossed);
        int answer = ask_replace();
        if (answer == 'Q')
            break;
        if (answer == 'Y') {
            failed = !replace_at(q, from_len, to);
            if (!failed) {
                point = cursor;
                redraw_cursor_row();
            }
        }
    }
    if (!failed)
        clear_message_line();
    place_cursor();
    note_stop(point);
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
