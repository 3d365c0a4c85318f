#include "terminal.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <utility>
#include <vterm.h>

Terminal::Terminal(int rows, int cols, bool kitty_keyboard)
    : rows_(rows), cols_(cols), kitty_(kitty_keyboard)
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
    if (kitty_)
        feed_kitty(bytes);
    else
        vterm_input_write(vt_, bytes.data(), bytes.size());
}

void Terminal::take_vterm_replies()
{
    std::string out(vterm_output_get_buffer_current(vt_), '\0');
    out.resize(vterm_output_read(vt_, out.data(), out.size()));
    replies_ += out;
}

std::string Terminal::take_replies()
{
    take_vterm_replies();
    return std::exchange(replies_, std::string());
}

/*
 * libvterm knows nothing of the kitty keyboard protocol (it does not even
 * hand ESC [ < u to a fallback): its sequences are picked out of the bytes
 * here, and each reply goes after the replies to what came before it.
 */
void Terminal::feed_kitty(std::string_view bytes)
{
    std::string seen = unfinished_ + std::string(bytes);
    size_t fed = unfinished_.size();    // already given to libvterm
    unfinished_.clear();
    for (size_t at = 0; (at = seen.find("\x1b[", at)) != std::string::npos; at++) {
        size_t end = at + 2;
        while (end < seen.size() && strchr("0123456789;<=>?", seen[end]) && seen[end])
            end++;
        if (end == seen.size()) {
            if (end - at < 16)
                unfinished_ = seen.substr(at);
            break;
        }
        if (seen[end] != 'u')
            continue;
        vterm_input_write(vt_, seen.data() + fed, end + 1 - fed);
        fed = end + 1;
        kitty_sequence(std::string_view(seen).substr(at + 2, end - at - 2));
    }
    vterm_input_write(vt_, seen.data() + fed, seen.size() - fed);
}

void Terminal::kitty_sequence(std::string_view params)
{
    if (params.empty())
        return;
    int n = atoi(std::string(params.substr(1)).c_str());
    if (params == "?") {
        take_vterm_replies();
        replies_ += "\x1b[?" + std::to_string(kitty_flags_.empty() ? 0 : kitty_flags_.back()) + "u";
    } else if (params[0] == '>') {
        kitty_flags_.push_back(n);
    } else if (params[0] == '<') {
        for (int i = 0; i < std::max(n, 1) && !kitty_flags_.empty(); i++)
            kitty_flags_.pop_back();
    }
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
    if (name == "esc" && !kitty_flags_.empty() && (kitty_flags_.back() & 1))
        return "\x1b[27u";     // "disambiguate escape codes"
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
