// The key decoder: the one place that reads the terminal.
#pragma once

#include <string>

// Waits for one key: a character byte, or 0 followed (on the next call) by
// the scan code of an extended key; or key_paste for a bracketed paste,
// whose bytes pasted_bytes() then holds, or key_resize when the terminal's
// size changed. A paste whose end has not come for a second gives
// key_paste_stalled once; the next call reads on in it, and from then on
// the Esc key ends it. The terminal's answers to the questions of the
// set-up are taken here too: key_redraw when one of them changed how the
// screen is drawn, key_focus_in when the terminal's window has the focus
// again.
int get_console_key();
const std::string& pasted_bytes();
// The same bytes, for the one who takes them and may change them in place.
std::string& paste_to_take();
// The last paste was too large for memory: none of it was kept.
bool paste_too_large();

// True while the bytes of a paste are held here and not yet handed on
// (until the key after it is asked for). A signal that ends the run then
// waits in deferred_signal: the paste ends where the signal met it and is
// handed on, and the run ends once it is in the text, or at the next key.
// Async-signal-safe.
bool holding_paste();

// Looks at the input without waiting (at most every few milliseconds):
// true when a ^C was typed, which is then dropped; other keys typed are
// kept, in order, for after. Long repetitions ask it as they go.
bool interrupt_typed();

// For tests and the fuzz driver: take bytes from a function instead of the
// terminal. It returns a byte, -1 when none came within timeout_ms (a
// negative timeout waits), -2 at the end of the input, or -3 when the
// terminal was resized (the test has set console_cols and console_rows).
typedef int (*byte_source)(int timeout_ms);
void set_input_source(byte_source source);

// Work done once the user has paused for a second (while due says so):
// the recovery journal goes to the disk then. A timer tells the pause: its
// SIGALRM (a timer's, not one sent) is passed to note_idle_timer, which is
// async-signal-safe.
void set_idle_work(bool (*due)(), void (*work)());
void note_idle_timer();

// What happens when the input ends (the terminal went away).
typedef void (*end_handler)();
void set_input_end_handler(end_handler handler);
