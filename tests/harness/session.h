// The command loop run in the test process on typed keys, and what a user
// then sees: the rows, the message, the line and column status, the cursor.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

#include "harness/editor.h"
#include "session/session.h"

// "line 1" to "line n", each with its LF.
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

class SessionTest : public EditorTest {
protected:
    // Runs the command loop on these keys, after the ESC that leaves the
    // insert mode every run starts in (which also restarts the press count
    // of Home and End). An ESC in keys that starts no key sequence is
    // pressed alone. True when the loop ended.
    bool keys(std::string_view k)
    {
        press(Key::Esc);
        size_t from = 0;
        for (size_t i = 0; i < k.size(); i++) {
            bool alone = i + 1 == k.size() || (k[i + 1] != '[' && k[i + 1] != 'O');
            if (k[i] == '\x1b' && alone) {
                type(k.substr(from, i - from));
                press(Key::Esc);
                from = i + 1;
            }
        }
        type(k.substr(from));
        return run(command_loop);
    }
    // Opens contents in an 80x25 window and runs the command loop on keys.
    bool session(const std::string& contents, std::string_view k, uint32_t capacity = 0x100000)
    {
        open(contents, 80, 25, capacity);
        return keys(k);
    }

    std::string row(int r) { return screen().row(r); }
    // Row 2 without the status at its right end, trailing blanks removed.
    std::string message()
    {
        std::string m = screen().text(2, 1, 58);
        return m.erase(m.find_last_not_of(' ') + 1);
    }
    void expect_cursor(int row, int col)
    {
        EXPECT_EQ(screen().cursor_row(), row) << screen().dump();
        EXPECT_EQ(screen().cursor_col(), col) << screen().dump();
    }
    // The cursor on this line and column, on this screen row.
    void expect_at(int line, int col, int row)
    {
        Screen& s = screen();
        EXPECT_EQ(s.text(2, 60, 21), status(line, col)) << s.dump();
        expect_cursor(row, col);
    }
    // Rows from..to show "line first" and the lines after it.
    void expect_rows(int from, int to, int first)
    {
        for (int r = from; r <= to; r++)
            EXPECT_EQ(row(r), "line " + std::to_string(first + r - from)) << "row " << r;
    }
};
