// A fixture for driving the editor with command keys: a text is opened,
// the command loop runs over the keys, and the screen and text are read.
#pragma once

#include <string>
#include <string_view>

#include "harness/editor.h"
#include "session/session.h"

inline const std::string up = key_bytes(Key::Up), down = key_bytes(Key::Down),
                         left = key_bytes(Key::Left), right = key_bytes(Key::Right),
                         home = key_bytes(Key::Home), end = key_bytes(Key::End);

// Row 2 without the status at its right end.
inline std::string message(const Screen& s)
{
    std::string m = s.text(2, 1, 58);
    m.erase(m.find_last_not_of(' ') + 1);
    return m;
}

class CommandSession : public EditorTest {
protected:
    // Opens contents and runs the command loop over the keys. The search
    // strings start empty, as in a fresh run.
    void session(const std::string& contents, std::string_view keys, uint32_t capacity = 0x100000)
    {
        find_text[0] = replace_from[0] = replace_to[0] = 0;
        open(contents, 80, 25, capacity);
        more(keys);
    }

    // Runs the command loop again on the same text; the ESC first leaves the
    // insert mode it starts in. An ESC that starts no key sequence in keys
    // is pressed alone.
    void more(std::string_view keys)
    {
        press(Key::Esc);
        size_t from = 0;
        for (size_t i = 0; i < keys.size(); i++) {
            bool alone = i + 1 == keys.size() || (keys[i + 1] != '[' && keys[i + 1] != 'O');
            if (keys[i] == '\x1b' && alone) {
                type(keys.substr(from, i - from));
                press(Key::Esc);
                from = i + 1;
            }
        }
        type(keys.substr(from));
        run(command_loop);
    }

    void expect_cursor(int row, int col)
    {
        EXPECT_EQ(screen().cursor_row(), row) << screen().dump();
        EXPECT_EQ(screen().cursor_col(), col) << screen().dump();
    }
};
