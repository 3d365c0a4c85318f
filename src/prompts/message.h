// Row 2, the message line: "--" and a message, a prompt or a question,
// with the position status at its right end. What it shows since it was
// last cleared is kept as the steps that drew it, so that a resized
// terminal gets the row drawn again as it would be drawn at its new width.
#pragma once

#include "state/state.h"

void clear_message_line();
void show_message(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Formatted text at the console cursor (on row 2), without clearing.
void print_formatted(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Text at the console cursor, on row 2.
void add_to_message(const char* text);
// Shown only on a screen at least min_cols wide ("(y/n) ").
void add_to_message_if_wide(const char* text, int min_cols);
// A string drawn as a line is (clipped at the screen's edge), counting
// columns from col0; returns the column after it, as draw_line does.
int draw_in_message(const byte* s, int col0);
// The console cursor to the column after the first string drawn, plus gap.
void move_after_label(int gap);

// The echo of a prompt's input: a new input, one byte echoed, the last n
// columns erased, the rest of the row blanked from the cursor.
void start_echo();
void echo_byte(byte b);
// A whole character of len bytes echoed at once.
void echo_character(const byte* p, int len);
void erase_echo(int columns);
int echo_width();               // the columns echoed so far
void clear_after_echo();

// Row 2 drawn again from the steps kept, at the screen's width now.
void redraw_message_line();
// A message over row 2 for a while, not kept: redraw_message_line() puts
// back what the row showed (a prompt with what was typed so far).
void show_passing_message(const char* text);
