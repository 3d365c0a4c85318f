// The next key for every key loop of the editor. Besides the key source,
// it says on row 2 what a recording did not take and that a paste has not
// ended, and it answers a resize of the terminal by drawing the whole
// screen again at the new size, so that no loop has to know about it.
#pragma once

int read_key();
// A paste where none can go: dropped, with one bell.
void refuse_paste();
// The screen takes the terminal's size now (after a resize, or when the
// help viewer hands the terminal back): the window keeps the cursor's line
// and row as far as they fit, the menu is paged afresh. Nothing is drawn.
void take_new_size();
// Asked as a long repetition goes on: true when the user typed ^C to
// stop it, which is then said on row 2 with the bell; a macro being
// replayed stops too.
bool repetition_interrupted();
// What regaining the terminal's focus does (where the terminal reports it).
void set_focus_work(void (*work)());
