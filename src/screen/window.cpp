#include "screen/window.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "screen/console.h"
#include "screen/render.h"
#include "screen/utf8.h"
#include "store/append.h"
#include "store/store.h"

// The window's positions move with the text they point at.
static const bool window_positions_kept = [] {
    for (byte** p : {&cursor, &line_start, &view_start})
        keep_position(p);
    keep_position(&window_top, position_kind::line_start);
    keep_position(&window_bottom, position_kind::line_start);
    return true;
}();

void take_console_size()
{
    screen_cols = console_cols;
    screen_rows = console_rows < first_text_row ? first_text_row : console_rows;
}

// The jump of a horizontal scroll: seven eighths of the width, plus one.
static int scroll_step()
{
    return ((screen_cols * 7) >> 3) + 1;
}

// The display width of the bytes from s to cursor, counted only up to
// limit: enough to tell whether the cursor fits in the window from s.
static int width_up_to(const byte* s, int limit)
{
    int n = 0;
    while (s < cursor && n < limit) {
        long run = plain_prefix(s, std::min<long>(cursor - s, limit - n), cursor - s);
        n += int(run);
        s += run;
        if (run > 0)
            continue;
        int len = character_length(s);
        n += char_width(s, len, n);
        s += len;
    }
    return n;
}

/*
 * A long line is measured once. The starts of the horizontal views of a
 * line (the line's start, then each a scroll step on from the one before,
 * as set_view walks them) are kept with their display columns until the
 * text, the line or a width changes, so that a move along the line costs
 * the distance moved, not a walk from the line's start on every key. The
 * starts are found as far as they are needed.
 */
namespace {
struct view_starts {
    const byte* line = nullptr;
    unsigned long changes = 0;
    int cols = 0, tabs = 0, controls = 0;
    bool utf8 = false, clusters_own_width = false;
    std::vector<byte*> at;
    std::vector<int> column;
    size_t hint = 0;            // where the last view was found

    bool current(const byte* l) const
    {
        return line == l && changes == text_changes && cols == screen_cols &&
               tabs == tab_width && controls == show_controls && utf8 == utf8_text &&
               clusters_own_width == bool(grapheme_width_mode);
    }
    void begin(byte* l)
    {
        line = l;
        changes = text_changes;
        cols = screen_cols;
        tabs = tab_width;
        controls = show_controls;
        utf8 = utf8_text;
        clusters_own_width = grapheme_width_mode;
        at.assign(1, l);
        column.assign(1, 0);
        hint = 0;
    }
    // One more start; false at the line's end.
    bool extend()
    {
        byte* s = at.back();
        if (*s == 0)
            return false;
        byte* next = column_pointer(s, scroll_step());
        if (next <= s)
            next = s + 1;
        column.push_back(column_after(s, next, column.back()));
        at.push_back(next);
        return true;
    }
    // The last start at or before p.
    size_t last_at_or_before(const byte* p)
    {
        while (at.back() <= p && extend()) {
        }
        size_t i = at.size() - 1;
        while (i > 0 && at[i] > p)
            i--;
        return i;
    }
    // The last start at or before display column goal.
    size_t last_before_column(int goal)
    {
        while (column.back() <= goal && extend()) {
        }
        size_t i = at.size() - 1;
        while (i > 0 && column[i] > goal)
            i--;
        return i;
    }
};
view_starts starts;

view_starts& starts_of(byte* line)
{
    if (!starts.current(line))
        starts.begin(line);
    return starts;
}

// Whether set_view walks on from start i: the cursor does not fit in the
// window that starts there.
bool walks_on(view_starts& v, size_t i, int limit)
{
    return v.at[i] < cursor && width_up_to(v.at[i], limit) >= limit;
}
}  // namespace

int line_column(byte* line, const byte* p)
{
    view_starts& v = starts_of(line);
    size_t i = v.last_at_or_before(p);
    return column_after(v.at[i], p, v.column[i]);
}

/*
 * The view start for the cursor: the first start it fits from. When a
 * scroll step is wider than any tab, the cursor's distance shrinks from one
 * start to the next, so the starts it walks past form a prefix and the
 * search goes on from the one found last; on a narrower screen it walks
 * from the line's start.
 */
static byte* view_for_cursor(view_starts& v, int limit)
{
    size_t i = scroll_step() > 9 ? std::min(v.hint, v.at.size() - 1) : 0;
    while (i > 0 && !walks_on(v, i - 1, limit))
        i--;
    while (walks_on(v, i, limit)) {
        if (i + 1 == v.at.size())
            v.extend();
        i++;
    }
    v.hint = i;
    return v.at[i] > cursor ? cursor : v.at[i];
}

/*
 * Puts the cursor at display column goal of its line and chooses the
 * horizontal view, as if searching from the line's start, so the view
 * depends only on the line and the cursor. Returns whether it moved.
 */
int set_view(int goal)
{
    goal_column = goal;
    int limit = screen_cols - 2;
    view_starts& v = starts_of(line_start);
    size_t i = v.last_before_column(goal);
    cursor = column_pointer_from(v.at[i], v.column[i], goal);
    byte* s = view_for_cursor(v, limit);
    int w = width_up_to(s, limit);
    view_shifted = s != view_start;
    view_start = s;
    cursor_col = w + 1;
    return view_shifted;
}

void refresh()
{
    if (redraw_pending || set_view(goal_column)) {
        redraw_window(window_top, first_text_row);
        redraw_pending = 0;
    }
    show_status();
    place_cursor();
}

// Draws line p from its display column offset: the cells of a character
// that the left edge cuts show as blanks.
static void draw_shifted(byte* p, int offset)
{
    if (offset == 0) {
        draw_line(p, 0);
        return;
    }
    byte* from = column_pointer(p, offset);
    const byte* cut = from > p ? previous_character(p, from) : from;
    int blanks = utf8_text && from - cut > 1 ? display_width(p, from) - offset : 0;
    for (int i = 0; i < blanks; i++)
        put_string(" ");
    draw_line(from, blanks > 0 ? blanks : 0);
}

/*
 * Draws the lines from p down to the bottom of the window, each shifted
 * by the cursor line's horizontal offset, and blanks the rows below them.
 */
void redraw_window(byte* p, int row)
{
    if (row <= first_text_row) {
        row = first_text_row;
        window_top = p;
    }
    set_view(goal_column);
    int offset = line_column(line_start, view_start);
    for (; row <= screen_rows && p < text_end; row++) {
        goto_xy(1, row);
        draw_shifted(p, offset);
        p = next_line(p);
    }
    for (; row <= screen_rows; row++)
        clear_row(row);
    window_bottom = p;
}

// Draws line p on the row the console cursor is in, from its start, or
// from its view when it is the cursor's line.
static void draw_incoming(byte* p)
{
    if (p == line_start) {
        set_view(goal_column);
        draw_line(view_start, 0);
    } else {
        draw_line(p, 0);
    }
}

static void scroll_forward(byte* top, byte* bottom)
{
    if (top >= window_bottom) {
        redraw_window(top, first_text_row);
        return;
    }
    window_top = top;
    for (byte* p = window_bottom; p < bottom; p = next_line(p)) {
        scroll_up(first_text_row, screen_rows);
        draw_incoming(p);
    }
    window_bottom = bottom;
}

static void scroll_back(byte* top, byte* bottom)
{
    if (bottom <= window_top) {
        redraw_window(top, first_text_row);
        return;
    }
    window_bottom = bottom;
    for (byte* p = window_top; p > top;) {
        p = prev_line(p);
        scroll_down(first_text_row, screen_rows);
        draw_incoming(p);
    }
    window_top = top;
}

// The window's range after a scroll of ds lines, as far as the text
// allows: moved is how many lines it moved (negative upwards).
struct window_range {
    byte* top;
    byte* bottom;
    long moved;
};

static window_range scrolled_range(long ds)
{
    window_range w = {window_top, window_bottom, 0};
    if (ds > 0) {
        w.bottom = lines_forward(window_bottom, ds, &w.moved);
        w.top = w.bottom;       // the new top never lies before the old one
        for (int i = 0; i < screen_rows - 2 && w.top > window_top; i++)
            w.top = prev_line(w.top);
    } else if (ds < 0) {
        w.top = lines_back(window_top, -ds, &w.moved);
        w.moved = -w.moved;
        w.bottom = w.top;
        for (int i = 0; i < screen_rows - 2 && w.bottom < window_bottom; i++)
            w.bottom = next_line(w.bottom);
    }
    return w;
}

// The line k rows down from the range's top, or its last line when the
// text ends sooner; *row is the screen row it stands on.
static byte* line_at_row(const window_range& w, long k, int* row)
{
    byte* t = w.top;
    *row = first_text_row;
    for (long i = 0; i < k; i++) {
        byte* q = next_line(t);
        if (q >= w.bottom)
            break;
        t = q;
        ++*row;
    }
    return t;
}

/*
 * Moves the cursor dr rows and scrolls the window ds lines (positive
 * towards the end of the text). A cursor move past the window's edge
 * becomes a scroll; a scroll the text has no lines for moves the cursor.
 */
void move_view(long dr, long ds)
{
    if (dr == 0 && ds == 0) {
        refresh();
        return;
    }
    long r = cursor_row + dr;
    if (r < first_text_row) {
        ds += r - first_text_row;
        r = first_text_row;
    } else if (r > screen_rows) {
        ds += r - screen_rows;
        r = screen_rows;
    }
    window_range w = scrolled_range(ds);
    long k = std::clamp(r - first_text_row + ds - w.moved, 0L, long(screen_rows - first_text_row));
    int row;
    byte* t = line_at_row(w, k, &row);
    if (t != line_start) {
        if (line_start >= w.top && line_start < w.bottom)
            mark_redraw_if_shifted();
        line_start = view_start = t;
    }
    cursor_row = row;
    if (w.moved > 0)
        scroll_forward(w.top, w.bottom);
    else if (w.moved < 0)
        scroll_back(w.top, w.bottom);
    refresh();
}

void mark_redraw_if_shifted()
{
    if (view_start != line_start)
        redraw_pending = 1;
}

int recount_window()
{
    window_bottom = window_top;
    int steps = 0;
    for (; steps < screen_rows - 2 && window_bottom < text_end; steps++)
        window_bottom = next_line(window_bottom);
    return screen_rows - 2 - steps;
}

void redraw_from_cursor()
{
    draw_line(cursor, cursor_col - 1);
}

/*
 * The cursor's line and column at the right end of row 2: 21 cells from
 * column screen_cols - 20, or more and further left when the numbers are
 * long, so that the column always shows whole.
 */
static unsigned statuses_drawn;

unsigned status_count()
{
    return statuses_drawn;
}

void fit_window()
{
    long above;
    int row = cursor_row > screen_rows ? screen_rows : cursor_row;
    window_top = lines_back(line_start, row - first_text_row, &above);
    cursor_row = first_text_row + int(above);
    view_start = line_start;
    recount_window();
}

// n in at least width characters, blanks after it; returns the end.
static char* padded_number(char* p, unsigned long n, int width)
{
    char* end = decimal_digits(p, n);
    while (end - p < width)
        *end++ = ' ';
    return end;
}

unsigned show_status()
{
    statuses_drawn++;
    unsigned n = line_number_of(line_start);
    int col = line_column(line_start, cursor) + 1;
    char text[48] = "  Line ";
    char* end = padded_number(text + 7, n, 4);
    memcpy(end, " Col ", 5);
    end = padded_number(end + 5, unsigned(col), 5);
    *end = 0;
    int width = int(end - text);
    goto_xy(screen_cols - (width > 21 ? width : 21) + 1, message_row);
    put_string(text);
    return n;
}

/*
 * Before a range that starts in line s above the cursor's line is
 * removed: fills the text rows down to row a with the lines above s and
 * returns how many rows the cursor's line must move up because the text
 * begins too soon.
 */
int repaint_above(int a, byte* s)
{
    if (a < first_text_row)
        return 0;
    int n = a;
    byte* p = s;
    for (;;) {
        if (p == text_begin)
            break;
        p = prev_line(p);
        if (p < window_top) {
            if (a <= first_text_row)
                goto_xy(1, first_text_row);
            else
                scroll_down(first_text_row, a);
            draw_line(p, 0);
        }
        if (--n < first_text_row)
            break;
    }
    window_top = p;
    return n - 2;
}

/*
 * Before a range that ends below the cursor's line is removed: pulls the
 * lines from p on up into the rows from a down.
 */
void repaint_below(int a, byte* p)
{
    if (a > screen_rows)
        return;
    int last = screen_rows - recount_window();
    for (int i = a; i <= last; i++) {
        if (p >= window_bottom) {
            if (a < screen_rows)
                scroll_up(a, screen_rows);
            else
                clear_row(screen_rows);
            if (p < text_end)
                draw_line(p, 0);
        }
        if (p < text_end)
            p = next_line(p);
    }
    if (p > window_bottom)
        window_bottom = p;
}

/*
 * Brings the line d lines from the cursor's row into the window after a
 * search moved the cursor there: within the window nothing scrolls,
 * otherwise the line comes to row 10.
 */
void show_match(long d)
{
    goal_column = line_column(line_start_of(cursor), cursor);
    long t = cursor_row + d;
    if (t >= first_text_row && t <= screen_rows)
        move_view(d, 0);
    else
        move_view(10 - cursor_row, t - 10);
}

static bool is_line_start(const byte* p)
{
    return p == text_begin || p[-1] == 0;
}

const char* broken_window_rule()
{
    if (!is_line_start(line_start) || line_start > cursor || cursor >= text_end)
        return "the cursor in the text";
    if (memchr(line_start, 0, size_t(cursor - line_start)))
        return "the cursor in its line";
    if (view_start < line_start || view_start > cursor)
        return "view_start in the cursor's line";
    if (!is_line_start(window_top) || window_top > line_start)
        return "window_top at or above the cursor's line";
    if (!(line_start < window_bottom || window_bottom == text_end))
        return "the cursor's line above window_bottom";
    if (cursor_row < first_text_row || cursor_row > screen_rows)
        return "cursor_row in the window";
    if (first_text_row + long(count_nuls(window_top, line_start)) != cursor_row)
        return "cursor_row the row of the cursor's line";
    return nullptr;
}

// The console's cursor goes where the text cursor stands on the screen.
void place_cursor()
{
    goto_xy(cursor_col, cursor_row);
}

void place_cursor_at(int col, int row)
{
    cursor_col = col;
    cursor_row = row;
    goto_xy(col, row);
}
