// The key values the editor acts on, named once. A key is a byte; an
// extended key (cursor and page keys, Home, End, Ins, Del, the function
// keys) arrives as extended_prefix followed by its scan code.
#pragma once

// ---- character keys -----------------------------------------------------
const int key_none = 0;            // the end of a replayed macro
const int key_ctrl_a = 1;          // Again
const int key_ctrl_b = 2;          // Home
const int key_ctrl_c = 3;          // stops a long repetition
const int key_ctrl_e = 5;          // End
const int key_bell = 7;
const int key_backspace = 8;       // also ^H; the terminal's DEL (127) arrives as 8
const int key_tab = 9;
const int key_enter = 13;          // CR
const int extended_prefix = 16;    // stands before a scan code (also ^P)
const int key_ctrl_q = 17;         // take the next key literally
const int key_ctrl_r = 18;
const int key_ctrl_v = 22;         // Insert mode, and the Insert key's signal
const int key_ctrl_y = 25;         // delete lines
const int key_escape = 27;
const int key_delete_byte = 127;

// A key with the bits 0x20 and 0x80 cleared: what the questions and the
// range selections compare with an upper-case letter. The letter matches
// in either case, and so do the two bytes of the upper half that differ
// from those in bit 0x80 alone; ESC stays ESC.
constexpr int fold_case(int key)
{
    return key & 0x5F;
}

// ---- not bytes: what the key decoder hands on besides keys --------------
const int key_paste = 0x100;       // a bracketed paste: its bytes are pasted_bytes()
const int key_resize = 0x101;      // the terminal's size changed
const int key_paste_stalled = 0x102;   // a paste's end has not come for a second:
                                       // a lone ESC now ends it
const int key_redraw = 0x103;      // the screen is to be drawn again whole (the
                                   // terminal now draws clusters as one)
const int key_focus_in = 0x104;    // the terminal's window has the focus again

// ---- scan codes after extended_prefix: the PC keyboard's ---------------------
enum : int {
    scan_f1 = 59,                               // F2-F10 follow: 60-68
    scan_home = 71, scan_up, scan_page_up,      // 71-73
    scan_left = 75, scan_right = 77,
    scan_end = 79, scan_down, scan_page_down,   // 79-81
    scan_insert, scan_delete,                   // 82, 83
    scan_f11 = 133, scan_f12,                   // 133, 134
};
