// The text window: which lines are shown, where the cursor stands, the
// vertical and horizontal scrolling and the status at the right of row 2.
#pragma once

#include "state/state.h"

// The window takes the console's size. It keeps one text row even on a
// terminal too short to show it (the console clips what lies below).
void take_console_size();
// The console's cursor to the text cursor (cursor_col, cursor_row); the
// second sets them first.
void place_cursor();
void place_cursor_at(int col, int row);
int set_view(int goal);
// The display column of p in the line that starts at line; a long line is
// measured once, not on every call.
int line_column(byte* line, const byte* p);
void refresh();
void redraw_window(byte* p, int row);
void move_view(long dr, long ds);
void mark_redraw_if_shifted();
int recount_window();
void redraw_from_cursor();
unsigned show_status();
// How many times the status has been drawn: row 2 keeps its place among
// the messages drawn there.
unsigned status_count();
// After the window's size changed: the cursor keeps its row when it still
// fits (else the last row), with the window above it filled from its line.
void fit_window();
int repaint_above(int a, byte* s);
void repaint_below(int a, byte* p);
// After a search put the cursor d lines from the line at cursor_row:
// brings its line into the window (on row 10 when it was outside).
void show_match(long d);

// The first rule the cursor and the window break (the cursor in its line,
// the view in it, the window around it, cursor_row its row), or null.
// For tests.
const char* broken_window_rule();
