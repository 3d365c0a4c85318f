// What a run of bytes from the terminal starts with: a key, the start of a
// paste, nothing, or "not yet whole". No reads, clocks or state: the key
// reader (keyboard.cpp) owns the buffer, the waits and the paste.
#pragma once

#include <cstddef>

// A CSI (ESC [) or SS3 (ESC O) sequence by the ECMA-48 grammar: parameter
// bytes 0x30-0x3F, intermediate bytes 0x20-0x2F, a final byte 0x40-0x7E.
struct key_sequence {
    static const int max_params = 8;
    char introducer = 0;        // '[' or 'O'; 0 when the bytes were none
    char private_marker = 0;    // '<', '=', '>' or '?' first among the parameters
    int param_count = 0;        // the numbers: one more than the ';', 0 for none
    int params[max_params] = {};    // the first of them, 0 where one is empty
    char intermediates[2] = {}; // the first two
    int intermediate_count = 0;
    bool irregular = false;     // a ':' or a marker amid the numbers
    char final = 0;             // 0 when the sequence was cut short
};

enum class key_kind {
    none,           // taken, no key: a NUL, a sequence cut short, unknown, a
                    // reply nothing acts on (device attributes, focus out)
    byte,           // a character key: value is the byte
    extended,       // value is the scan code to hand on after the prefix 0
    paste_start,    // ESC [ 200 ~: what follows up to ESC [ 201 ~ is a paste
    keyboard_flags, // ESC [ ? flags u: the terminal has the kitty keyboard
                    // protocol (the answer to ESC [ ? u); value is the flags
    mode_report,    // ESC [ ? mode ; setting $ y (DECRPM): value is the mode,
                    // sequence.params[1] the setting (1 set, 2 reset: known)
    focus_in,       // ESC [ I: the terminal's window has the focus again
};

struct parsed_key {
    key_kind kind = key_kind::none;
    int value = 0;
    bool after_escape = false;  // an Alt key: the Esc key comes first, as
                                // without the keyboard protocol
    key_sequence sequence;      // the sequence the bytes were, if any
};

/*
 * Parses the key at the start of buf. Returns how many bytes it takes, or
 * 0 when they are the start of a sequence that is not yet whole (or len
 * is 0). Once the reader has waited in vain for more (input_paused), the
 * bytes there are decide: a lone ESC is the Esc key, and a sequence cut
 * short is taken whole as no key. With kitty_keys (the terminal was told
 * to disambiguate keys by the kitty keyboard protocol) the keys it then
 * sends as ESC [ code ; modifiers u, and F1-F4 as ESC [ P..S, give what
 * they give without the protocol.
 */
size_t parse_key(const unsigned char* buf, size_t len, bool input_paused, parsed_key* out,
                 bool kitty_keys);
