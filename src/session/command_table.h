// The command loop's keys, one row a command: the keys that run it, its
// word in the command menu, what view mode does with it, and its function.
// A new command is a row in command_table.cpp and a function in commands/.
#pragma once

#include <span>

// What view mode does with a command's keys.
enum class in_view_mode : unsigned char {
    allowed,
    refused,            // the keys are blocked_keys: ESC once the loop reads them
    bell,               // the command rings the bell instead of running
};

// What a command's function returns: 0 to read the next command key,
// end_of_run to end the run, or the key to run next at once.
const int end_of_run = -1;

struct command {
    int keys[3];            // the keys that run it; 0 after the last
    const char* menu_word;  // its word in the full menu; "" for none
    in_view_mode in_view;
    int (*run)(int key);    // null: no command of its own, the key goes
                            // to the shared keys as any key without a row
};

// The row key runs, or null when it has none.
const command* command_of(int key);
// True when view mode turns key into ESC as the command loop reads it.
bool blocked_key(int key);
// Every row, in the order of the full menu's words.
std::span<const command> command_rows();
