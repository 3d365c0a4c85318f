#include "screen/render.h"

#include "screen/console.h"

const byte continuation_mark = 175;
const byte substitute_glyph = 176;

// Columns taken by a byte other than a tab.
static int byte_width(byte b)
{
    return show_controls && b < 0x20 ? 2 : 1;
}

int char_width(byte b, int column)
{
    return b == '\t' ? tab_width - column % tab_width : byte_width(b);
}

/*
 * Writes the cells that show b at out, then a NUL; advances the counter by
 * their number and returns where the next cells go.
 */
char* render_char(char* out, byte b, int* counter)
{
    if (b == '\t') {
        do {
            *out++ = ' ';
            ++*counter;
        } while (*counter % tab_width != 0);
    } else if (b < 0x20 && show_controls) {
        *out++ = '^';
        *out++ = char(b + 0x40);
        *counter += 2;
    } else if (b == 0 || (b >= 0x07 && b <= 0x0D)) {
        *out++ = char(substitute_glyph);
        ++*counter;
    } else {
        *out++ = char(b);
        ++*counter;
    }
    *out = 0;
    return out;
}

/*
 * Draws the line from p at the console cursor, counting columns from col0,
 * with the continuation mark in column screen_cols - 1 when the rendering
 * reaches it, then blanks the rest of the row. Only cells inside the row
 * are rendered, so no start column and no window width can overflow the
 * buffer.
 */
int draw_line(const byte* p, int col0)
{
    char render_buffer[1012 + 16];
    int limit = screen_cols - 2;
    int room = int(sizeof render_buffer) - 16;     // cells we can hold
    int counter = col0;
    char* out = render_buffer;
    *out = 0;
    while (*p && counter < limit) {
        if (out - render_buffer >= room) {
            put_string(render_buffer);
            out = render_buffer;
        }
        out = render_char(out, *p++, &counter);
    }
    if (counter >= limit && col0 < limit) {
        // the mark takes the place of the cell in column screen_cols - 1
        int over = counter - limit;
        out -= over;
        *out++ = char(continuation_mark);
        *out = 0;
    }
    put_string(render_buffer);
    clear_to_eol();
    return counter;
}

int display_width(const byte* from, const byte* to)
{
    int n = 0;
    for (; from < to; from++)
        n += char_width(*from, n);
    return n;
}

byte* column_pointer(byte* p, int target)
{
    int k = 0;
    while (*p) {
        if (k >= target)
            return p;
        if (*p == '\t') {
            k++;
            if (k % tab_width == 0)
                p++;
        } else {
            k += byte_width(*p);
            p++;
        }
    }
    return p;
}
