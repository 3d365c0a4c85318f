// The keys a test can press, as an xterm sends them, and the values the
// editor makes of them.
#pragma once

#include "state/key_codes.h"

enum class Key { Up, Down, Left, Right, Home, End, PageUp, PageDown, Insert, Delete, F1, Esc };

inline const char* key_bytes(Key k)
{
    switch (k) {
    case Key::Up: return "\x1b[A";
    case Key::Down: return "\x1b[B";
    case Key::Right: return "\x1b[C";
    case Key::Left: return "\x1b[D";
    case Key::Home: return "\x1b[H";
    case Key::End: return "\x1b[F";
    case Key::PageUp: return "\x1b[5~";
    case Key::PageDown: return "\x1b[6~";
    case Key::Insert: return "\x1b[2~";
    case Key::Delete: return "\x1b[3~";
    case Key::F1: return "\x1bOP";
    case Key::Esc: return "\x1b";
    }
    return "";
}

// The scan code the editor reads after extended_prefix for k (0 for Esc).
inline int scan_code(Key k)
{
    switch (k) {
    case Key::Up: return scan_up;
    case Key::Down: return scan_down;
    case Key::Left: return scan_left;
    case Key::Right: return scan_right;
    case Key::Home: return scan_home;
    case Key::End: return scan_end;
    case Key::PageUp: return scan_page_up;
    case Key::PageDown: return scan_page_down;
    case Key::Insert: return scan_insert;
    case Key::Delete: return scan_delete;
    case Key::F1: return scan_f1;
    case Key::Esc: return 0;
    }
    return 0;
}
