// Keys written as a user reads them, for behaviour cases kept as data:
// characters stand for themselves, and
//   <Esc> <Enter> <Tab> <BS> <Space> <lt> (a "<")
//   <Up> <Down> <Left> <Right> <Home> <End> <PgUp> <PgDn> <Ins> <Del> <F1>
//   <C-a> ... <C-z> (control keys), <C-@> ... ; <x7f> (any byte in hex)
//   <Paste> ... </Paste>   what lies between is pasted (bracketed)
//   <Resize 40x10>         the terminal takes that size
// A line end in the notation is no key (keys may be spread over lines);
// type <C-j> for a LF. An <Esc> is pressed alone, with the pause that
// tells it from the start of a key sequence.
#pragma once

#include <string>
#include <vector>

struct KeyPiece {
    std::string bytes;          // what the terminal sends
    bool lone_escape = false;   // an ESC followed by a pause
    int cols = 0, rows = 0;     // a resize to this size, after the bytes
};

// The pieces the notation stands for; throws std::invalid_argument with
// the name of a key it does not know.
std::vector<KeyPiece> parse_key_notation(const std::string& notation);
