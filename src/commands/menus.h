// The Quit and Set menus.
#pragma once

int quit_menu();
void set_menu();
// Writes the whole text to path, asking first when it would replace the
// file it was loaded from with only part of it. 0 when written.
int save_text(const char* path);
