// Start-up and the frame of a run: the command line, the store, the first
// text, the command loop, and the session file at the end.
#pragma once

int pym_main(int argc, char** argv);
void run_session(const char* name, long line, long column);
void command_loop();
