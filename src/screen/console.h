// The console layer: the one place that writes to the terminal.
#pragma once

#include <cstddef>

void probe_console_size(int* cols, int* rows);
void goto_xy(int col, int row);
void put_string(const char* s);
// n bytes of printable ASCII (0x20-0x7E), a cell each: put_string without
// looking at each byte first, for the rows of text.
void put_ascii(const char* s, int n);
void clear_to_eol();
void clear_row(int row);
void scroll_up(int top, int bottom);
void scroll_down(int top, int last);
// Where the next output goes.
int console_row();
int console_column();

// Forgets what the terminal shows, so that the next output repaints it
// whole: for a screen something else may have written on.
void forget_screen();
// Sends what has been collected with one write(); called before the editor
// waits for a key, runs the help viewer or ends.
void flush_output();
// Raw mode and the alternate screen; done at the first output or key read.
// Each set-up also asks the terminal what it has (the kitty keyboard
// protocol, modes 2026 and 2027): the answers come among the keys, and
// the key reader hands them to the operations below. Nothing waits for
// them.
void setup_terminal();
// The terminal answered that it has the kitty keyboard protocol: turns on
// its "disambiguate escape codes" for this set-up, once, and every
// tear-down and hand-over turns it off again.
void use_keyboard_protocol();
// True while the terminal has been told to send keys that way.
bool keyboard_protocol_on();
// The terminal has synchronized output (mode 2026): each frame's one
// write is wrapped in its begin and end from now on.
void use_synchronized_output();
// Where the terminal draws a cluster of characters as one (it reported
// mode 2027): turns that on in the terminal, now and at every set-up, and
// off at tear-down, and gives a cluster its own width. What the terminal
// shows is forgotten; the caller draws the screen again.
void set_grapheme_width_mode(bool on);
// Hands the terminal back as the editor found it. Async-signal-safe; when
// the run ends abruptly it waits for neither a slow terminal nor its
// output to drain.
void restore_terminal(bool abrupt = false);
// For a stop from outside and the continue: hands the terminal back as
// restore_terminal does, then takes again what was held (raw mode, the
// alternate screen), with the cursor and colours unknown; the caller has
// the screen redrawn whole. Async-signal-safe.
void release_terminal();
void retake_terminal();
// The terminal's clipboard takes these n bytes (OSC 52, in the frame's
// one write), a NUL as a line end; inside tmux or screen in the form they
// pass on. Nothing when the output is no terminal, or n is 0 or over a
// MiB. The clipboard is never asked for.
void copy_to_clipboard(const unsigned char* p, size_t n);
// Writes a line straight to the untouched terminal (usage, no memory, the
// name of the emergency file at an abrupt end). A control byte in it shows
// as ^[ or \x9b, so that no name can drive the terminal; the CR or LF
// that ends it goes out as it is. Async-signal-safe.
void put_plain_line(const char* s, bool abrupt = false);

// For tests and the fuzz driver: send the output to a function instead of
// the terminal (as if it were one), or drop it.
typedef void (*output_sink)(const char* data, size_t len);
void set_output_sink(output_sink sink);
