// Help, shown by this editor run again in view mode on the help file, and
// the whole redraw that brings the screen back afterwards (and on "@").
#pragma once

// Remembers where this editor's program is: the help runs it, and its
// help file is installed beside it. Called once at start-up.
void find_program(const char* argv0);
// Runs the viewer on pym.hlp, found in the current directory or installed
// beside the program, else on a private copy of the help built in.
void show_help();
// Removes that copy, if there is one; async-signal-safe, for a run that
// ends while the viewer shows it.
void remove_help_copy();
void redraw_all();
