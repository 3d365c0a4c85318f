// The editor's shared state: every variable that more than one subsystem
// reads or writes, declared once. Positions are addresses in the line store.
#pragma once

#include <csignal>
#include <cstddef>
#include <cstdint>
#include <string>
#include <sys/types.h>

#include "state/key_codes.h"

typedef unsigned char byte;

// ---- line store -------------------------------------------------------
extern byte* store_block;          // the one block: text_capacity + 2 bytes
extern byte* text_begin;           // first byte of the first line
extern byte* text_end;             // one past the NUL of the last line
extern uint32_t text_capacity;     // bytes the text may occupy
extern int modified;               // changed since opened or last written
extern int text_crlf;              // every line read ended in CR LF: written so again
extern byte* selection_start;      // start of a range being selected, or null
extern volatile sig_atomic_t store_busy;       // changes of the text under way
extern volatile sig_atomic_t deferred_signal;  // a signal that waits for them to end
extern void (*end_deferred)(int sig);          // ends the run for that signal

// ---- cursor and window ------------------------------------------------
// The screen's bands: the menu line, the message line, then the text
// window from first_text_row to screen_rows.
const int menu_row = 1;
const int message_row = 2;
const int first_text_row = 3;
extern byte* cursor;               // byte under the cursor (may be a NUL)
extern byte* line_start;           // start of the cursor's line
extern byte* window_top;           // start of the line on the first text row
extern byte* window_bottom;        // first line below the window, or text_end
extern byte* view_start;           // first shown byte of the cursor's line
extern int goal_column;            // wanted display column in the cursor's line
extern int cursor_row;             // screen row of the cursor, first_text_row..screen_rows
extern int cursor_col;             // screen column of the cursor
extern int view_shifted;           // the last set_view changed view_start
extern int redraw_pending;         // redraw the whole window at the next refresh

// ---- console ------------------------------------------------------------
extern int console_cols, console_rows;  // the terminal's size, read once
extern int screen_cols, screen_rows;    // copies made at every file open
extern volatile sig_atomic_t terminal_resized;  // SIGWINCH came: read the size again
extern int current_attr;           // attribute for the next output
extern int header_attr;            // rows 1 and 2: blue on light grey
extern int text_attr;              // text window: bright white on blue

// ---- rendering and editing settings (reset at every file open) ---------
extern int tab_width;              // 1..9
extern int show_controls;          // control bytes as caret pairs
extern int utf8_text;              // the locale is UTF-8: characters of several bytes
extern int grapheme_width_mode;    // the terminal draws a cluster as one (mode 2027): its own width
extern int auto_indent;            // a line split copies the indentation
extern int delete_to_buffer;       // Delete also fills the paste buffer

// ---- session ------------------------------------------------------------
extern int view_only;              // read-only run (two arguments)
extern volatile pid_t help_viewer; // the help viewer while it runs, ended with the editor
extern std::string file_name;      // the file being edited, whole path
extern std::string start_name;     // the file named at start-up
extern const char default_name[];  // 0x15 "noname" 0x15

// ---- command loop ---------------------------------------------------------
extern int repeat_count;           // count of the current command, >= 1
extern int32_t count_entry;        // digits typed so far, 0 for none
extern int query_flag;             // "?" typed before the command
extern int last_search;            // letter of the last search, 0 for none

// ---- keyboard macros ----------------------------------------------------------
const int macro_size = 200;
extern byte macro_y[macro_size], macro_z[macro_size];
extern byte* macro_record;         // where the next recorded key goes, or null
extern byte* macro_limit;          // register start + 198
extern byte* macro_play;           // next key to replay, or null
extern byte* macro_current;        // register chosen for replay
extern int macro_repeats;          // replays still to start

// ---- shared keys --------------------------------------------------------------
extern int last_key, prev_key;     // the last two shared keys handled
extern int mode_key;               // 22 when the Insert key was seen
extern int lines_moved;            // lines crossed by move_chars

// ---- paste buffer -------------------------------------------------------------
const int paste_size = 32768;
extern byte paste_buffer[paste_size];
extern byte* paste_end;            // one past the contents

// ---- search -------------------------------------------------------------------
const int search_size = 300;
extern char find_text[search_size];
extern char replace_from[search_size];
extern char replace_to[search_size];
extern int lines_crossed;          // line ends passed by the last search

// ---- menu and message line ------------------------------------------------------
extern const char* menu_text;      // the full menu or the view menu
extern const char* menu_pos;       // start of the current segment
extern const char* menu_cut;       // end of the current segment
extern const char* menu_end;       // end of the whole menu text
extern char menu_line[1024];       // text last shown on row 1
extern char message_text[200];     // show_message formats here
extern char status_text[200];      // print_formatted formats here
const int name_size = 4096;        // a file name typed at a prompt, with its NUL
const int value_size = 64;         // a search string typed at a prompt, with its NUL
extern char input_line[name_size]; // prompt input

// Puts the state that lasts from one text to the next (macros, search
// strings, the Home/End press count, the count) back as a process starts
// with it: for the test harness and the fuzz target, which run many
// sessions in one process.
void reset_run_state();
