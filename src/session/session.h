// Start-up, the session file, opening a text, help and the whole redraw.
#pragma once

int pym_main(int argc, char** argv);
void run_session(const char* name, long line, long column);
void open_text(const char* path);
void show_help();
void redraw_all();
void command_loop();
