// Moving the cursor: what the cursor and page keys, Home and End do.
#pragma once

#include "state/state.h"

// Home (key_ctrl_b) or End (key_ctrl_e), by the press count in last_key
// and prev_key; returns the code to remember.
int home_or_end(int code);
void move_cursor_chars(long n);
// Moves the cursor n bytes on (a line end counting as one), as the
// session file counts its column; within a character it goes after it.
void move_cursor_bytes(long n);
void move_chars(long n);
