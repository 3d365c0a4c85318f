#include "harness/screen.h"

#include <vterm.h>

struct ScreenCallbacks {
    static int bell(void* user)
    {
        static_cast<Screen*>(user)->bells_++;
        return 1;
    }
    static int set_property(VTermProp prop, VTermValue* value, void* user)
    {
        Screen* s = static_cast<Screen*>(user);
        if (prop == VTERM_PROP_ALTSCREEN)
            s->alt_screen_ = value->boolean;
        else if (prop == VTERM_PROP_CURSORVISIBLE)
            s->cursor_visible_ = value->boolean;
        return 1;
    }
};

static const VTermScreenCallbacks callbacks = {
    nullptr, nullptr, nullptr, ScreenCallbacks::set_property, ScreenCallbacks::bell,
    nullptr, nullptr, nullptr,
};

Screen::Screen(int rows, int cols) : rows_(rows), cols_(cols), vt_(vterm_new(rows, cols))
{
    vterm_set_utf8(vt_, 1);
    vs_ = vterm_obtain_screen(vt_);
    vterm_screen_enable_altscreen(vs_, 1);
    vterm_screen_set_callbacks(vs_, &callbacks, this);
    vterm_screen_reset(vs_, 1);
}

Screen::~Screen()
{
    vterm_free(vt_);
}

void Screen::resize(int rows, int cols)
{
    rows_ = rows;
    cols_ = cols;
    vterm_set_size(vt_, rows, cols);
}

void Screen::feed(std::string_view bytes)
{
    vterm_input_write(vt_, bytes.data(), bytes.size());
    vterm_screen_flush_damage(vs_);
}

std::string Screen::cell(int row, int col) const
{
    VTermScreenCell c;
    if (row < 1 || row > rows_ || col < 1 || col > cols_ ||
        !vterm_screen_get_cell(vs_, VTermPos{row - 1, col - 1}, &c) || c.chars[0] == uint32_t(-1))
        return "";
    if (c.chars[0] == 0)
        return " ";
    std::string s;
    for (int i = 0; i < VTERM_MAX_CHARS_PER_CELL && c.chars[i]; i++) {
        uint32_t u = c.chars[i];
        if (u < 0x80) {
            s += char(u);
            continue;
        }
        int extra = u < 0x800 ? 1 : u < 0x10000 ? 2 : 3;
        s += char((0xFF00 >> (extra + 1)) | (u >> (6 * extra)));
        while (extra--)
            s += char(0x80 | ((u >> (6 * extra)) & 0x3F));
    }
    return s;
}

int Screen::colour(int row, int col, bool foreground) const
{
    VTermScreenCell c;
    if (!vterm_screen_get_cell(vs_, VTermPos{row - 1, col - 1}, &c))
        return -2;
    VTermColor k = foreground ? c.fg : c.bg;
    if (foreground ? VTERM_COLOR_IS_DEFAULT_FG(&k) : VTERM_COLOR_IS_DEFAULT_BG(&k))
        return colour::terminal_default;
    if (VTERM_COLOR_IS_INDEXED(&k))
        return k.indexed.idx;
    for (int i = 0; i < 16; i++) {      // an RGB colour: find it in the palette
        VTermColor p;
        vterm_color_indexed(&p, uint8_t(i));
        vterm_screen_convert_color_to_rgb(vs_, &p);
        if (p.rgb.red == k.rgb.red && p.rgb.green == k.rgb.green && p.rgb.blue == k.rgb.blue)
            return i;
    }
    return -2;
}

int Screen::fg(int row, int col) const { return colour(row, col, true); }
int Screen::bg(int row, int col) const { return colour(row, col, false); }

std::string Screen::text(int row, int col, int count) const
{
    std::string s;
    for (int c = col; c < col + count && c <= cols_; c++)
        s += cell(row, c);
    return s;
}

std::string Screen::row(int r) const
{
    std::string s = text(r, 1, cols_);
    return s.erase(s.find_last_not_of(' ') + 1);
}

bool Screen::contains(std::string_view s) const
{
    for (int r = 1; r <= rows_; r++)
        if (text(r, 1, cols_).find(s) != std::string::npos)
            return true;
    return false;
}

std::string Screen::dump() const
{
    std::string s;
    for (int r = 1; r <= rows_; r++)
        s += std::to_string(r) + "|" + row(r) + "\n";
    return s;
}

int Screen::cursor_row() const
{
    VTermPos pos;
    vterm_state_get_cursorpos(vterm_obtain_state(vt_), &pos);
    return pos.row + 1;
}

int Screen::cursor_col() const
{
    VTermPos pos;
    vterm_state_get_cursorpos(vterm_obtain_state(vt_), &pos);
    return pos.col + 1;
}
