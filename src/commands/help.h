// Help, shown by this editor run again in view mode on the help file, and
// the whole redraw that brings the screen back afterwards (and on "@").
#pragma once

// Remembers where this editor's program is: the help runs it, and its
// help file is installed beside it. Called once at start-up.
void find_program(const char* argv0);
void show_help();
void redraw_all();
