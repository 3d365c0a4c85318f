// Row 1, the menu line: the command menu shown a segment at a time, or
// the short menu of a mode or command.
#pragma once

extern const char full_menu[];
extern const char view_menu[];

void reset_menu(const char* text);
void advance_menu();
void show_menu_line(const char* text);    // null shows menu_line again
void show_menu_segment();                 // the current segment of the menu
// Row 1 shows text without it becoming menu_line (the Set menu's line).
void show_menu_text(const char* text);
// Row 1 again as it was, at the screen's width now: the command menu is
// paged afresh, its current segment the one holding the first word shown.
void redraw_menu_line();
