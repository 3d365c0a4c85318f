#include "screen/render.h"

#include <algorithm>
#include <bit>
#include <cstring>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "screen/console.h"
#include "screen/utf8.h"

const byte continuation_mark = 175;
const byte substitute_glyph = 176;

// The two glyphs drawing adds, as bytes that cannot join a byte of the
// text into a character: in a UTF-8 locale, the characters themselves.
static char* put_special(char* out, byte glyph)
{
    if (!utf8_text) {
        *out++ = char(glyph);
        return out;
    }
    const char* as_utf8 = glyph == continuation_mark ? "\xc2\xbb" : "\xe2\x96\x91";
    size_t n = strlen(as_utf8);
    memcpy(out, as_utf8, n);
    return out + n;
}

// Columns taken by a byte other than a tab.
static int byte_width(byte b)
{
    return show_controls && b < 0x20 ? 2 : 1;
}

int char_width(byte b, int column)
{
    return b == '\t' ? tab_width - column % tab_width : byte_width(b);
}

int char_width(const byte* p, int len, int column)
{
    return len == 1 ? char_width(*p, column) : character_cells(p, len);
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
        out = put_special(out, substitute_glyph);
        ++*counter;
    } else {
        *out++ = char(b);
        ++*counter;
    }
    *out = 0;
    return out;
}

char* render_char(char* out, const byte* p, int len, int* counter)
{
    if (len == 1)
        return render_char(out, *p, counter);
    if (int w = glyph_width(p, len)) {
        memcpy(out, p, size_t(len));
        out += len;
        *counter += w;
    } else {                    // the bytes' glyphs: one cell each
        for (int i = 0; i < len; i++)
            *out++ = char(p[i]);
        *counter += len;
    }
    *out = 0;
    return out;
}

// How many of the first n bytes at p are printable ASCII, a cell each;
// the line's NUL ends them.
static int printable_prefix(const byte* p, int n)
{
    n = int(strnlen(reinterpret_cast<const char*>(p), size_t(n)));
    int k = 0;
#ifdef __SSE2__
    const __m128i below = _mm_set1_epi8(0x1F), above = _mm_set1_epi8(0x7F);
    for (; k + 16 <= n; k += 16) {
        __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + k));
        // as signed bytes, printable ASCII is above 0x1F and below 0x7F
        unsigned ok = unsigned(_mm_movemask_epi8(_mm_and_si128(_mm_cmpgt_epi8(x, below), _mm_cmplt_epi8(x, above))));
        if (ok != 0xFFFF)
            return k + std::countr_zero(~ok);
    }
#endif
    while (k < n && byte(p[k] - 0x20) < 0x5F)
        k++;
    return k;
}

/*
 * Draws the line from p at the console cursor, counting columns from col0,
 * with the continuation mark in column screen_cols - 1 when the rendering
 * reaches it, then blanks the rest of the row. A character is drawn whole
 * or not at all: one of several cells that would cross the text's right
 * edge leaves blanks there. Only cells inside the row are rendered, so no
 * start column and no window width can overflow the buffer.
 */
int draw_line(const byte* p, int col0)
{
    char render_buffer[1012 + max_character_bytes + 16];
    int limit = screen_cols - 2;
    int room = 1012;            // bytes the buffer takes before it goes out
    int counter = col0;
    char* out = render_buffer;
    bool substituted = false;   // the last character went out as other bytes
    auto put_rendered = [&] {
        *out = 0;
        put_string(render_buffer);
        out = render_buffer;
    };
    while (*p && counter < limit) {
        // the common bytes, printable ASCII, go to the console as they are
        int k = printable_prefix(p, limit - counter);
        if (k > 0 && utf8_text && p[k] >= 0xC2)
            k--;                // the last may start a cluster
        if (k > 0) {
            if (out > render_buffer)
                put_rendered();
            put_ascii(reinterpret_cast<const char*>(p), k);
            p += k;
            counter += k;
            substituted = false;
            continue;
        }
        int len = character_length(p);
        // the console finds the characters in what it is given again: a
        // combining mark after the cells of a tab or a control byte must
        // not join them
        if (out - render_buffer >= room || (*p >= 0x80 && substituted))
            put_rendered();
        int w = len > 1 ? glyph_width(p, len) : 0;
        if (w > 1 && counter + w > limit) {
            while (counter < limit) {   // a wide character is not cut at the edge
                *out++ = ' ';
                counter++;
            }
            break;
        }
        out = render_char(out, p, len, &counter);
        substituted = *p < 0x20;
        p += len;
    }
    if (counter >= limit && col0 < limit) {
        // the mark takes the place of the cell in column screen_cols - 1;
        // the cells past it are the last character's, still in the buffer
        int over = counter - limit;
        out -= over;
        out = put_special(out, continuation_mark);
    }
    put_rendered();
    clear_to_eol();
    return counter;
}

int column_after(const byte* from, const byte* to, int column)
{
    int n = column;
    while (from < to) {
        long run = plain_prefix(from, to - from, to - from);
        n += int(run);
        from += run;
        if (from == to)
            break;
        if (!utf8_text || (*from < 0x80 && (from + 1 == to || from[1] < 0xC2))) {
            n += char_width(*from++, n);
        } else {
            int len = character_length(from, to);
            n += char_width(from, len, n);
            from += len;
        }
    }
    return n;
}

int display_width(const byte* from, const byte* to)
{
    return column_after(from, to, 0);
}

byte* column_pointer_from(byte* p, int k, int target)
{
    while (*p) {
        if (k >= target)
            return p;
        if (p < text_end) {
            long run = plain_prefix(p, std::min<long>(target - k, text_end - p), text_end - p);
            k += int(run);
            p += run;
            if (run > 0)
                continue;
        }
        if (*p == '\t') {
            k++;
            if (k % tab_width == 0)
                p++;
        } else if (!utf8_text || (*p < 0x80 && p[1] < 0xC2)) {
            k += byte_width(*p);
            p++;
        } else {
            int len = character_length(p);
            k += len == 1 ? byte_width(*p) : character_cells(p, len);
            p += len;
        }
    }
    return p;
}

/*
 * The first character whose first column is at or after target, except
 * that a tab whose blanks cover target is itself the result; a target in
 * the second cell of a caret pair or of a wide character gives the
 * character after it.
 */
byte* column_pointer(byte* p, int target)
{
    return column_pointer_from(p, 0, target);
}
