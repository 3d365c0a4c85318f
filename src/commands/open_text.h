// Opening a text: the store emptied, the settings of a text reset, the
// file loaded and the window drawn from its first line.
#pragma once

void open_text(const char* path);
// Whether the text last opened was recovered from a journal: the cursor
// then stands where its last change was, whatever the session file says.
bool text_was_recovered();
