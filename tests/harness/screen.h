// A terminal emulator (libvterm) for the tests: bytes go in, cells come out.
// Rows and columns are 1-based, as on the editor's screen.
#pragma once

#include <string>
#include <string_view>

struct VTerm;
struct VTermScreen;

// The 16 ANSI colours as the palette index a cell reports; -1 for the
// terminal's default colour.
namespace colour {
constexpr int black = 0, red = 1, green = 2, yellow = 3, blue = 4, magenta = 5, cyan = 6,
              light_grey = 7, bright_white = 15, terminal_default = -1;
}

class Screen {
public:
    Screen(int rows, int cols);
    ~Screen();
    Screen(const Screen&) = delete;
    Screen& operator=(const Screen&) = delete;

    void feed(std::string_view bytes);
    void resize(int rows, int cols);
    int rows() const { return rows_; }
    int cols() const { return cols_; }

    std::string cell(int row, int col) const;           // the glyph as UTF-8; blank if empty
    int fg(int row, int col) const;
    int bg(int row, int col) const;
    std::string text(int row, int col, int count) const;    // count cells, blanks kept
    std::string row(int r) const;                       // trailing blanks removed
    bool contains(std::string_view s) const;            // in a row, blanks kept
    std::string dump() const;                           // every row, for failure messages

    int cursor_row() const;
    int cursor_col() const;
    bool cursor_visible() const { return cursor_visible_; }
    bool alternate_screen() const { return alt_screen_; }
    int bells() const { return bells_; }

private:
    int colour(int row, int col, bool foreground) const;

    int rows_, cols_;
    VTerm* vt_;
    VTermScreen* vs_;
    int bells_ = 0;
    bool alt_screen_ = false, cursor_visible_ = true;
    friend struct ScreenCallbacks;
};
