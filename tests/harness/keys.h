// The keys a test can press, as an xterm sends them.
#pragma once

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
