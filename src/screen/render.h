// How a line of bytes becomes a row of cells.
#pragma once

#include "state/state.h"

char* render_char(char* out, byte b, int* counter);
int draw_line(const byte* p, int col0);
// The columns byte b takes when it starts at display column column.
int char_width(byte b, int column);
int display_width(const byte* from, const byte* to);
byte* column_pointer(byte* p, int target);
