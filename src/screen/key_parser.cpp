/*
 * Turns the bytes a terminal sends into key values. A CSI or SS3 sequence
 * is read by the ECMA-48 grammar, so that one this editor does not know is
 * taken whole; the tables below say which sequences are keys.
 */
#include "screen/key_parser.h"

#include <iterator>

#include "state/key_codes.h"

namespace {

// Keys whose sequence ends in a letter: CSI or SS3, with no number or with
// a Shift modifier (ESC [ 1 ; 2 A). F1-F4 come as SS3, as CSI only shifted.
const struct {
    char final;
    int scan;
} letter_keys[] = {
    {'A', scan_up}, {'B', scan_down}, {'C', scan_right}, {'D', scan_left},
    {'H', scan_home}, {'F', scan_end},
    {'P', scan_f1}, {'Q', scan_f1 + 1}, {'R', scan_f1 + 2}, {'S', scan_f1 + 3},
};

// Keys sent as CSI number ~.
const struct {
    int number;
    int scan;
} tilde_keys[] = {
    {1, scan_home}, {7, scan_home}, {4, scan_end}, {8, scan_end},
    {5, scan_page_up}, {6, scan_page_down}, {2, scan_insert}, {3, scan_delete},
    {11, scan_f1}, {12, scan_f1 + 1}, {13, scan_f1 + 2}, {14, scan_f1 + 3}, {15, scan_f1 + 4},
    {17, scan_f1 + 5}, {18, scan_f1 + 6}, {19, scan_f1 + 7}, {20, scan_f1 + 8}, {21, scan_f1 + 9},
    {23, scan_f11}, {24, scan_f12},
};

const int paste_start_number = 200;    // ESC [ 200 ~

// Modifier bits: the number a terminal sends is one more than their sum.
// Under the kitty keyboard protocol Caps Lock and Num Lock may be among
// them; Super, Hyper and Meta make keys that have no byte without it.
const int mod_shift = 1, mod_alt = 2, mod_ctrl = 4;
const int mod_others = 8 | 16 | 32, mod_locks = 64 | 128;

// The keypad's keys under the kitty keyboard protocol, from KP_0 (57399):
// the characters, Enter among them, then the keys that move.
const int keypad_first = 57399;
const char keypad_characters[] = "0123456789./*-+\r=,";
const int keypad_moves[] = {
    scan_left, scan_right, scan_up, scan_down, scan_page_up, scan_page_down,
    scan_home, scan_end, scan_insert, scan_delete,
};
const int keypad_moves_first = keypad_first + int(sizeof keypad_characters) - 1;

bool is_parameter(unsigned char b) { return b >= 0x30 && b <= 0x3F; }
bool is_intermediate(unsigned char b) { return b >= 0x20 && b <= 0x2F; }
bool is_final(unsigned char b) { return b >= 0x40 && b <= 0x7E; }

size_t take(parsed_key* out, key_kind kind, int value, size_t used)
{
    out->kind = kind;
    out->value = value;
    return used;
}

// One parameter byte into q; first says it is the first of them.
void add_parameter_byte(key_sequence& q, unsigned char b, bool first)
{
    if (first && b >= '<') {
        q.private_marker = char(b);
    } else if (b == ':' || b >= '<') {
        q.irregular = true;
    } else if (b == ';') {
        q.param_count = (q.param_count ? q.param_count : 1) + 1;
    } else {
        if (q.param_count == 0)
            q.param_count = 1;
        if (q.param_count <= key_sequence::max_params) {
            int& n = q.params[q.param_count - 1];
            if (n < 10000)
                n = n * 10 + (b - '0');
        }
    }
}

bool is_plain(const key_sequence& q)
{
    return !q.private_marker && !q.irregular && q.intermediate_count == 0;
}

// The modifier bits of a key's sequence; the lock keys count for nothing.
int modifiers(const key_sequence& q)
{
    return q.param_count < 2 || q.params[1] == 0 ? 0 : (q.params[1] - 1) & ~mod_locks;
}

// No modifier, or Shift alone: other modifiers make other keys. Only the
// kitty keyboard protocol sends the lock keys among them.
bool unmodified_or_shifted(const key_sequence& q, bool kitty)
{
    if (kitty)
        return (modifiers(q) & ~mod_shift) == 0;
    return q.param_count < 2 || q.params[1] <= 1 + mod_shift;
}

int letter_key(const key_sequence& q, bool kitty)
{
    bool csi = q.introducer == '[';
    if (csi && q.final >= 'P' && q.final <= 'S' && q.param_count < 2 && !kitty)
        return 0;               // CSI P..S unshifted is F1-F4 only under the protocol
    for (const auto& k : letter_keys)
        if (k.final == q.final)
            return k.scan;
    return 0;
}

int tilde_key(const key_sequence& q)
{
    if (q.introducer != '[')
        return 0;
    for (const auto& k : tilde_keys)
        if (k.number == q.params[0])
            return k.scan;
    return 0;
}

/*
 * What Ctrl turns a character key into without the protocol: the letters
 * and a few others a control byte, the rest themselves (the table of the
 * kitty keyboard protocol's legacy mapping).
 */
int control_byte(int c)
{
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 1;
    switch (c) {
    case ' ': case '2': case '@': return 0;
    case '3': case '[': return 27;
    case '4': case '\\': return 28;
    case '5': case ']': return 29;
    case '6': case '^': case '~': return 30;
    case '7': case '/': case '_': return 31;
    case '8': case '?': return key_delete_byte;
    default: return c;
    }
}

/*
 * The byte a key with these modifiers (Alt aside) gives without the
 * protocol, or -1 when it gives none: a NUL, Shift+Tab's ESC [ Z, a Ctrl
 * with Shift (a sequence of its own there too), and a shifted key other
 * than a letter, whose character depends on the keyboard's layout.
 */
int byte_without_protocol(int code, int mods)
{
    bool ctrl = mods & mod_ctrl, shift = mods & mod_shift;
    if (code == key_escape || code == key_enter)
        return code;
    if (code == key_delete_byte)
        return key_backspace;
    if (code == key_tab)
        return shift ? -1 : key_tab;
    if (code < 0x20 || code > 0x7E || (ctrl && shift))
        return -1;
    if (ctrl) {
        int b = control_byte(code);
        return b == 0 ? -1 : b == key_delete_byte ? key_backspace : b;
    }
    if (shift)
        return code >= 'a' && code <= 'z' ? code - 'a' + 'A' : code == ' ' ? code : -1;
    return code;
}

/*
 * A key the kitty keyboard protocol sends as ESC [ code ; modifiers u: Esc
 * itself, and keys with Ctrl or Alt. Each gives what it gives without the
 * protocol (Alt: the Esc key, then the key), or is no key.
 */
size_t kitty_key(const key_sequence& q, size_t used, parsed_key* out)
{
    int mods = modifiers(q), code = q.params[0];
    if (mods & mod_others)
        return take(out, key_kind::none, 0, used);
    if (code >= keypad_moves_first && code < keypad_moves_first + int(std::size(keypad_moves))) {
        bool plain = (mods & ~mod_shift) == 0;
        int scan = keypad_moves[code - keypad_moves_first];
        return take(out, plain ? key_kind::extended : key_kind::none, scan, used);
    }
    if (code >= keypad_first && code < keypad_moves_first)
        code = keypad_characters[code - keypad_first];
    int b = byte_without_protocol(code, mods & ~mod_alt);
    if (b < 0)
        return take(out, key_kind::none, 0, used);
    out->after_escape = (mods & mod_alt) != 0;
    return take(out, key_kind::byte, b, used);
}

// The terminal's answers to the questions of the set-up.
bool is_keyboard_flags(const key_sequence& q)
{
    return q.private_marker == '?' && q.final == 'u' && q.param_count == 1 &&
           q.intermediate_count == 0 && !q.irregular;
}

bool is_mode_report(const key_sequence& q)
{
    return q.private_marker == '?' && q.final == 'y' && q.param_count == 2 &&
           q.intermediate_count == 1 && q.intermediates[0] == '$' && !q.irregular;
}

/*
 * The key a whole sequence stands for. Anything not named here (other
 * modifiers, unknown keys, a terminal's replies) is no key; a new key or
 * reply is a row of the tables above or a case here.
 */
size_t key_of_sequence(const key_sequence& q, size_t used, bool kitty, parsed_key* out)
{
    bool csi = q.introducer == '[';
    if (csi && is_keyboard_flags(q))
        return take(out, key_kind::keyboard_flags, q.params[0], used);
    if (csi && is_mode_report(q))
        return take(out, key_kind::mode_report, q.params[0], used);
    if (!is_plain(q))
        return take(out, key_kind::none, 0, used);
    if (csi && q.final == 'I' && q.param_count == 0)
        return take(out, key_kind::focus_in, 0, used);
    if (csi && q.final == '~' && q.param_count < 2 && q.params[0] == paste_start_number)
        return take(out, key_kind::paste_start, 0, used);
    if (csi && q.final == 'u' && kitty)
        return kitty_key(q, used, out);
    if (!unmodified_or_shifted(q, kitty))
        return take(out, key_kind::none, 0, used);
    int scan = q.final == '~' ? tilde_key(q) : letter_key(q, kitty);
    return take(out, scan ? key_kind::extended : key_kind::none, scan, used);
}

// The Linux console's F1-F5: ESC [ [ A..E. Any other byte after ESC [ [
// ends it as no key and is a key of its own.
size_t linux_console_key(const unsigned char* buf, size_t len, bool paused, parsed_key* out)
{
    if (len < 4)
        return paused ? take(out, key_kind::none, 0, len) : 0;
    if (buf[3] >= 'A' && buf[3] <= 'E')
        return take(out, key_kind::extended, scan_f1 + buf[3] - 'A', 4);
    return take(out, key_kind::none, 0, 3);
}

/*
 * ESC [ or ESC O and what follows, by the grammar. A byte that fits none
 * of its parts cuts the sequence short: the sequence is no key, and that
 * byte starts the next one.
 */
size_t parse_sequence(const unsigned char* buf, size_t len, bool paused, bool kitty, parsed_key* out)
{
    key_sequence& q = out->sequence;
    q.introducer = char(buf[1]);
    if (q.introducer == '[' && len > 2 && buf[2] == '[')
        return linux_console_key(buf, len, paused, out);
    size_t i = 2;
    for (; i < len && is_parameter(buf[i]); i++)
        add_parameter_byte(q, buf[i], i == 2);
    for (; i < len && is_intermediate(buf[i]); i++, q.intermediate_count++)
        if (q.intermediate_count < 2)
            q.intermediates[q.intermediate_count] = char(buf[i]);
    if (i == len)
        return paused ? take(out, key_kind::none, 0, len) : 0;
    if (!is_final(buf[i]))
        return take(out, key_kind::none, 0, i);
    q.final = char(buf[i]);
    return key_of_sequence(q, i + 1, kitty, out);
}

}  // namespace

size_t parse_key(const unsigned char* buf, size_t len, bool input_paused, parsed_key* out,
                 bool kitty_keys)
{
    *out = parsed_key();
    if (len == 0)
        return 0;
    unsigned char b = buf[0];
    if (b == key_delete_byte)
        return take(out, key_kind::byte, key_backspace, 1);
    if (b == 0)                 // ^@ is no key, and never the prefix of one
        return take(out, key_kind::none, 0, 1);
    if (b != key_escape)        // 0xE0 too: on a terminal it is text
        return take(out, key_kind::byte, b, 1);
    if (len == 1)
        return input_paused ? take(out, key_kind::byte, key_escape, 1) : 0;
    if (buf[1] == '[' || buf[1] == 'O')
        return parse_sequence(buf, len, input_paused, kitty_keys, out);
    return take(out, key_kind::byte, key_escape, 1);     // Alt+key: Esc, then the key
}
