// The Quit and Set menus.
#pragma once

int quit_menu();
void set_menu();
