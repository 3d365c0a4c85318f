// Start-up, the session file, opening a text, help and the whole redraw.
#pragma once

int pym_main(int argc, char** argv);
void run_session(const char* name, long line, long column);
void open_text(const char* path);
void show_help();
void redraw_all();
void command_loop();

// Writes the session file "pym.l": the start-up name, line and column.
void write_session_file();
// The end of a run that nobody asked for (the terminal went away, a
// signal): saves a modified text beside its file, then leaves.
void end_run_abruptly(int code);
