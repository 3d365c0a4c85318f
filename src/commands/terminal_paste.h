// A paste from the terminal, put into the text at the cursor.
#pragma once

#include <string>

// Inserts the pasted bytes at the cursor, with CR, LF and CR LF as line
// breaks and every other byte as itself: no auto-indent, no command, one
// change (and one step of the history). The cursor ends after it. The
// bytes are turned into the text's lines in place.
void insert_paste(std::string& bytes);
