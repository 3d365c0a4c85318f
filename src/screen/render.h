// How a line of bytes becomes a row of cells.
#pragma once

#include "state/state.h"

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
byte* column_pointer(byte* p, int target);
