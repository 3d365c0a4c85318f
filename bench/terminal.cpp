#include "terminal.h"

#include <cstdio>
#include <stdexcept>
#include <vterm.h>

Terminal::Terminal(int rows, int cols) : rows_(rows), cols_(cols)
{
    vt_ = vterm_new(rows, cols);
    vterm_set_utf8(vt_, 1);
    vs_ = vterm_obtain_screen(vt_);
    vterm_screen_enable_altscreen(vs_, 1);
    vterm_screen_reset(vs_, 1);
}

Terminal::~Terminal()
{
    vterm_free(vt_);
}

void Terminal::feed(std::string_view bytes)
{
    vterm_input_write(vt_, bytes.data(), bytes.size());
}

std::string Terminal::take_replies()
{
    std::string out(vterm_output_get_buffer_current(vt_), '\0');
    out.resize(vterm_output_read(vt_, out.data(), out.size()));
    return out;
}

static VTermKey named_key(std::string_view name)
{
    if (name == "down") return VTERM_KEY_DOWN;
    if (name == "up") return VTERM_KEY_UP;
    if (name == "left") return VTERM_KEY_LEFT;
    if (name == "right") return VTERM_KEY_RIGHT;
    if (name == "home") return VTERM_KEY_HOME;
    if (name == "end") return VTERM_KEY_END;
    if (name == "pgdn") return VTERM_KEY_PAGEDOWN;
    if (name == "pgup") return VTERM_KEY_PAGEUP;
    if (name == "esc") return VTERM_KEY_ESCAPE;
    if (name == "cr") return VTERM_KEY_ENTER;
    if (name == "tab") return VTERM_KEY_TAB;
    throw std::invalid_argument("unknown key <" + std::string(name) + ">");
}

std::string Terminal::key_bytes(std::string_view token)
{
    if (token.size() == 1)
        return std::string(token);
    if (token.size() < 3 || token.front() != '<' || token.back() != '>')
        throw std::invalid_argument("bad key token " + std::string(token));
    std::string_view name = token.substr(1, token.size() - 2);
    if (name.size() == 2 && name[0] == '^')
        return std::string(1, char(name[1] & 0x1F));
    if (name.size() == 3 && name.substr(0, 2) == "M-")
        return std::string("\x1b") + name[2];
    // whatever the screen had queued is sent already: only the key comes out
    take_replies();
    vterm_keyboard_key(vt_, named_key(name), VTERM_MOD_NONE);
    return take_replies();
}

std::string Terminal::paste_bytes(std::string_view text, bool& bracketed)
{
    // libvterm keeps the mode and writes the brackets only when it is on
    take_replies();
    vterm_keyboard_start_paste(vt_);
    std::string start = take_replies();
    bracketed = !start.empty();
    std::string out = start;
    if (bracketed) {
        out += text;
    } else {
        out.reserve(text.size());
        for (char c : text)
            out += c == '\n' ? '\r' : c;
    }
    vterm_keyboard_end_paste(vt_);
    out += take_replies();
    return out;
}

std::string Terminal::row(int r) const
{
    std::string s;
    for (int c = 0; c < cols_; c++) {
        VTermScreenCell cell;
        if (!vterm_screen_get_cell(vs_, VTermPos{r - 1, c}, &cell) || cell.chars[0] == 0) {
            s += ' ';
            continue;
        }
        if (cell.chars[0] == uint32_t(-1))
            continue;
        for (int i = 0; i < VTERM_MAX_CHARS_PER_CELL && cell.chars[i]; i++) {
            uint32_t ch = cell.chars[i];
            if (ch < 0x80) {
                s += char(ch);
            } else if (ch < 0x800) {
                s += char(0xC0 | ch >> 6);
                s += char(0x80 | (ch & 0x3F));
            } else if (ch < 0x10000) {
                s += char(0xE0 | ch >> 12);
                s += char(0x80 | (ch >> 6 & 0x3F));
                s += char(0x80 | (ch & 0x3F));
            } else {
                s += char(0xF0 | ch >> 18);
                s += char(0x80 | (ch >> 12 & 0x3F));
                s += char(0x80 | (ch >> 6 & 0x3F));
                s += char(0x80 | (ch & 0x3F));
            }
        }
    }
    s.erase(s.find_last_not_of(' ') + 1);
    return s;
}

std::string Terminal::dump() const
{
    std::string s;
    for (int r = 1; r <= rows_; r++) {
        char label[16];
        snprintf(label, sizeof label, "%2d|", r);
        s += label;
        s += row(r);
        s += '\n';
    }
    return s;
}
