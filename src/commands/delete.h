// Deleting: what Delete, Backspace and ^Y remove, and the range that the
// Delete command and each of them hand to delete_range.
#pragma once

#include "state/state.h"

// Removes the bytes between a and b, one of which is the cursor, and
// brings the window and the screen up to date.
void delete_range(byte* a, byte* b);
// n characters from the cursor: forward for Delete, back for Backspace.
void delete_chars(long n);
// ^Y: n lines, going upwards once the last line is reached.
void delete_lines(long n);
