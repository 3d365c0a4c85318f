// Row 1, the menu line, and row 2, the message line: the menu and its
// paging, messages, line input, remembered values and yes/no questions.
#pragma once

// The next key for every key loop of the editor, from the key source; says
// on row 2 when a recording ended because its register was full.
int read_key();

extern const char full_menu[];
extern const char view_menu[];

void reset_menu(const char* text);
void advance_menu();
void show_menu_line(const char* text);    // null shows menu_line again
void show_menu_segment();                 // the current segment of the menu
void clear_message_line();
void show_message(const char* format, ...) __attribute__((format(printf, 1, 2)));
void print_formatted(const char* format, ...) __attribute__((format(printf, 1, 2)));
char* read_input(char* out, int size);
char* prompt_string(const char* prompt);
int prompt_with_default(const char* label, char* value);
int ask_yes_no(const char* format, const char* value);
// Asked as a long repetition goes on: true when the user typed ^C to
// stop it, which is then said on row 2 with the bell; a macro being
// replayed stops too.
bool repetition_interrupted();
