// How a line of bytes becomes a row of cells.
#pragma once

#include <cstdint>
#include <cstring>

#include "state/state.h"

/*
 * How many of the most bytes at p, taken eight at a time, are printable
 * ASCII that the byte after them cannot join into a cluster: each takes
 * one column. The bytes p[0..readable) may be read (readable >= most);
 * the byte at p[readable] counts as no part of them.
 */
inline long plain_prefix(const byte* p, long most, long readable)
{
    constexpr uint64_t ones = 0x0101010101010101, highs = ones * 0x80;
    long n = 0;
    for (uint64_t x; n + 8 <= most; n += 8) {
        std::memcpy(&x, p + n, 8);
        if ((((x - ones * 0x20) | x) & highs) || (n + 8 < readable && p[n + 8] >= 0xC2))
            break;
    }
    return n;
}

char* render_char(char* out, byte b, int* counter);
// The character of len bytes at p (render_char for one byte). A character
// that goes out as itself is copied whole; one that does not shows the
// glyph of each of its bytes.
char* render_char(char* out, const byte* p, int len, int* counter);
int draw_line(const byte* p, int col0);
// The columns byte b takes when it starts at display column column.
int char_width(byte b, int column);
// The columns the character of len bytes at p takes at display column column.
int char_width(const byte* p, int len, int column);
int display_width(const byte* from, const byte* to);
// The display column after the bytes from..to drawn from column (the
// column of from in its line).
int column_after(const byte* from, const byte* to, int column);
byte* column_pointer(byte* p, int target);
// column_pointer from p, a character that starts at display column k.
byte* column_pointer_from(byte* p, int k, int target);
