// A terminal emulator for the tests: bytes go in, cells come out.
#pragma once

#include <string>
#include <string_view>

struct VTerm;
struct VTermScreen;

// The 16 ANSI colours, as the palette index a cell reports.
namespace colour {
constexpr int black = 0, red = 1, green = 2, yellow = 3, blue = 4, magenta = 5, cyan = 6,
              light_grey = 7, dark_grey = 8, bright_white = 15;
constexpr int terminal_default = -1;   // no colour was set
}

class Screen {
public:
    Screen(int rows, int cols);
    ~Screen();
    Screen(const Screen&) = delete;
    Screen& operator=(const Screen&) = delete;

    void feed(std::string_view bytes);

    int rows() const { return rows_; }
    int cols() const { return cols_; }

    // All positions are 1-based. An empty cell reads as a blank.
    std::string cell(int row, int col) const;
    int fg(int row, int col) const;    // palette index 0-15, or colour::terminal_default
    int bg(int row, int col) const;
    // The row's glyphs as UTF-8, trailing blanks removed.
    std::string row(int r) const;
    // count cells of a row from col on, as UTF-8, blanks kept.
    std::string text(int row, int col, int count) const;
    bool contains(std::string_view s) const;

    int cursor_row() const;
    int cursor_col() const;
    bool cursor_visible() const { return cursor_visible_; }
    bool alternate_screen() const { return alt_screen_; }
    int bells() const { return bells_; }

    // Every row, for failure messages.
    std::string dump() const;

private:
    int colour_of(int row, int col, bool foreground) const;

    int rows_, cols_;
    VTerm* vt_;
    VTermScreen* vs_;
    int bells_ = 0;
    bool alt_screen_ = false;
    bool cursor_visible_ = true;

    friend struct ScreenCallbacks;
};
