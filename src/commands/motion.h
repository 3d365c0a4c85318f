// The special keys: cursor and page keys, Home and End, Delete,
// Backspace, ^A, ^Y, F1, and the Insert key as a signal.
#pragma once

#include "state/state.h"

int handle_special_key(int key);
void move_cursor_chars(long n);
void move_chars(long n);
void delete_chars(long n);
void delete_range(byte* a, byte* b);
void show_match(long d);
