// A resized terminal: the screen shows what a start at the new size
// brought to the same state would show. And bracketed paste, turned on at
// the start and off at the end, in a real terminal.
#include <gtest/gtest.h>

#include "harness/key_notation.h"
#include "harness/pty.h"
#include "harness/session.h"

namespace {

struct Shown {
    std::string rows;
    int row, col;
};

std::string text_to_edit()
{
    return "first\n" + std::string(100, 'w') + "\n" + numbered_lines(60);
}

class Resize : public SessionTest {
protected:
    void type_keys(const std::string& notation)
    {
        for (const KeyPiece& piece : parse_key_notation(notation)) {
            type(piece.bytes);
            if (piece.lone_escape)
                pause();
        }
    }
    Shown shown()
    {
        Screen& s = screen();
        return {s.dump(), s.cursor_row(), s.cursor_col()};
    }
    // The keys at 80x25 and then a resize, against the keys at the new size.
    void expect_as_a_start_at(const std::string& keys_typed, int cols, int rows)
    {
        open(text_to_edit(), cols, rows);
        type_keys(keys_typed);
        run(command_loop);
        Shown fresh = shown();

        open(text_to_edit(), 80, 25);
        type_keys(keys_typed);
        resize(cols, rows);
        run(command_loop);
        Shown resized = shown();
        EXPECT_EQ(resized.rows, fresh.rows) << keys_typed << " at " << cols << "x" << rows;
        EXPECT_EQ(resized.row, fresh.row) << keys_typed;
        EXPECT_EQ(resized.col, fresh.col) << keys_typed;
    }
};

TEST_F(Resize, EveryKeyLoopRedrawsAsAStartAtTheNewSizeWould)
{
    const char* states[] = {
        "<Esc><Down><Down><Down><Right><Right>",    // the command loop
        "abc<Enter>de",                             // insert mode
        "<Esc>fine<Enter><Home>Fli",                // a find prompt, half typed
        "<Esc>B<Down><Down>",                       // the Buffer selection
        "<Esc>Q",                                   // the Quit menu
        "<Esc>S",                                   // the Set menu
        "<Esc><Down><Down>&",                       // a yes/no question
        "<Esc><Down><End>",                         // a line scrolled sideways
    };
    for (const char* keys_typed : states)
        for (auto [cols, rows] : {std::pair{40, 10}, {132, 43}})
            expect_as_a_start_at(keys_typed, cols, rows);
}

TEST_F(Resize, OneCellAndBackGivesAFullScreen)
{
    open(numbered_lines(60), 80, 25);
    type_keys("<Esc><Down><Down><Down>");
    resize(1, 1);
    resize(80, 25);
    run(command_loop);
    EXPECT_EQ(row(1), "<space> <curs> Again Buffer Copy Delete eXchange Find -find Get Insert Jump");
    EXPECT_EQ(screen().text(2, 60, 21), status(4, 1));
    expect_rows(3, 25, 4 - (screen().cursor_row() - 3));
    EXPECT_EQ(screen().cursor_col(), 1);
}

}  // namespace

TEST(ResizeInATerminal, SigwinchRedrawsAtOnceAndPasteIsBracketed)
{
    PtyEditor pym(25, 80);
    pym.create_file("notes.txt", numbered_lines(40));
    pym.start({"notes.txt"});
    EXPECT_NE(pym.output().find("\x1b[?2004h"), std::string::npos) << "bracketed paste turned on";
    pym.send("\x1b[200~one\rtwo\x1b[201~");
    ASSERT_TRUE(pym.shows(4, "twoline 1")) << pym.screen().dump();
    pym.resize(10, 40);
    ASSERT_TRUE(pym.shows(1, "INSERT: <curs> Ins - exchange")) << pym.screen().dump();
    ASSERT_TRUE(pym.shows(2, "  Line 2    Col 4", 20)) << pym.screen().dump();
    EXPECT_EQ(pym.screen().row(10), "line 7");
    pym.press(Key::Esc);
    pym.send("QE");
    ASSERT_TRUE(pym.shows(2, "----> ignore the changes ?"));
    pym.send("Y");
    EXPECT_EQ(pym.wait_exit(), 0);
    size_t off = pym.output().rfind("\x1b[?2004l");
    EXPECT_NE(off, std::string::npos) << "bracketed paste turned off";
    EXPECT_LT(off, pym.output().rfind("\x1b[?1049l"));
}
