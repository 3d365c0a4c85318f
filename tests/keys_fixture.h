// Runs the command loop in the test process on typed keys and checks what
// a user sees: the rows, the line and column status, the cursor.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

#include "harness/editor.h"
#include "session/session.h"

inline std::string numbered_lines(int n)
{
    std::string text;
    for (int i = 1; i <= n; i++)
        text += "line " + std::to_string(i) + "\n";
    return text;
}

// The status at the right end of row 2.
inline std::string status(int line, int col)
{
    char s[40];
    snprintf(s, sizeof s, "  Line %-4d Col %-5d", line, col);
    return s;
}

inline std::string padded(const std::string& s, size_t n)
{
    return s + std::string(n - s.size(), ' ');
}

inline const std::string up = key_bytes(Key::Up), down = key_bytes(Key::Down),
                         left = key_bytes(Key::Left), right = key_bytes(Key::Right),
                         home = key_bytes(Key::Home), end = key_bytes(Key::End),
                         page_up = key_bytes(Key::PageUp), page_down = key_bytes(Key::PageDown),
                         del = key_bytes(Key::Delete);

class KeyTest : public EditorTest {
protected:
    // Runs the command loop on these keys, after the ESC that leaves the
    // insert mode every run starts in (which also restarts the press
    // count of Home and End). True when the loop ended.
    bool keys(std::string_view k)
    {
        press(Key::Esc);
        type(k);
        return run(command_loop);
    }
    std::string row(int r) { return screen().row(r); }
    // Row 2 up to the status, blanks included.
    std::string message() { return screen().text(2, 1, 59); }
    // The cursor on this line and column, on this screen row.
    void expect_at(int line, int col, int row)
    {
        Screen& s = screen();
        EXPECT_EQ(s.text(2, 60, 21), status(line, col)) << s.dump();
        EXPECT_EQ(s.cursor_row(), row);
        EXPECT_EQ(s.cursor_col(), col);
    }
    // Rows from..to show "line first" and the lines after it.
    void expect_rows(int from, int to, int first)
    {
        for (int r = from; r <= to; r++)
            EXPECT_EQ(row(r), "line " + std::to_string(first + r - from)) << "row " << r;
    }
};
