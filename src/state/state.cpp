#include "state/state.h"

#include <cstring>

byte* store_block;
byte* text_begin;
byte* text_end;
uint32_t text_capacity;
int modified;
int text_crlf;
byte* selection_start;
volatile sig_atomic_t store_busy;
volatile sig_atomic_t deferred_signal;
void (*end_deferred)(int sig);

byte* cursor;
byte* line_start;
byte* window_top;
byte* window_bottom;
byte* view_start;
int goal_column;
int cursor_row = first_text_row;
int cursor_col = 1;
int view_shifted;
int redraw_pending;

int console_cols = 80, console_rows = 25;
int screen_cols = 80, screen_rows = 25;
volatile sig_atomic_t terminal_resized;
int current_attr = -1;
int header_attr = 0x71;
int text_attr = 0x1F;

int tab_width = 8;
int show_controls;
int utf8_text;
int grapheme_width_mode;
int auto_indent = 1;
int delete_to_buffer = 1;

int view_only;
volatile pid_t help_viewer;
std::string file_name;
std::string start_name;
const char default_name[] = "\x15noname\x15";

int repeat_count = 1;
int32_t count_entry;
int query_flag;
int last_search;

byte macro_y[macro_size], macro_z[macro_size];
byte* macro_record;
byte* macro_limit;
byte* macro_play;
byte* macro_current;
int macro_repeats;

int last_key, prev_key;
int mode_key;
int lines_moved;

byte paste_buffer[paste_size];
byte* paste_end = paste_buffer;

char find_text[search_size];
char replace_from[search_size];
char replace_to[search_size];
int lines_crossed;

const char* menu_text;
const char* menu_pos;
const char* menu_cut;
const char* menu_end;
char menu_line[1024];
char message_text[200];
char status_text[200];
char input_line[name_size];

void reset_run_state()
{
    std::memset(macro_y, 0, sizeof macro_y);
    std::memset(macro_z, 0, sizeof macro_z);
    macro_record = macro_limit = macro_play = macro_current = nullptr;
    macro_repeats = 0;
    find_text[0] = replace_from[0] = replace_to[0] = 0;
    last_search = last_key = prev_key = mode_key = 0;
    repeat_count = 1;
    count_entry = 0;
    query_flag = 0;
    redraw_pending = 0;
    selection_start = nullptr;
    deferred_signal = 0;
}
