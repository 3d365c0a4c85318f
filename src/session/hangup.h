// Ending a run that nobody asked to end, without losing what was typed.
#pragma once

void install_hangup_handlers();
// Writes a modified text where it can: NAME.save (or NAME.save.N) beside
// its file, else pym.save in the current directory, in $HOME, in $TMPDIR
// or /tmp. Uses only async-signal-safe calls. Returns the name of the file
// that holds the text, "" when the text needed no saving, or null when no
// file could be made.
const char* emergency_save();
// The end of a run that nobody asked for (the terminal went away, a
// signal): saves a modified text, writes the session file, hands the
// terminal back, names the saved file on it, and leaves with code.
void end_run_abruptly(int code);
// The handler of every signal that ends the run: at once, or when the
// change of the text under way is over.
void ending_signal(int sig);
// For the fuzz target: called instead of leaving the process, after which
// end_run_abruptly returns.
extern void (*instead_of_exit)(int code);
