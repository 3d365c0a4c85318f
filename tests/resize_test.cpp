// A resized terminal: the screen shows what a start at the new size
// brought to the same state would show. And bracketed paste, turned on at
// the start and off at the end, in a real terminal.
#include <gtest/gtest.h>

#include <set>

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
    // The keys at 80x25, a resize and keys_after, against all the keys at
    // the new size.
    void expect_as_a_start_at(const std::string& keys_typed, int cols, int rows,
                              const std::string& keys_after = "")
    {
        open(text_to_edit(), cols, rows);
        type_keys(keys_typed + keys_after);
        run(command_loop);
        Shown fresh = shown();

        open(text_to_edit(), 80, 25);
        type_keys(keys_typed);
        resize(cols, rows);
        type_keys(keys_after);
        run(command_loop);
        Shown resized = shown();
        std::string keys = keys_typed + " (resized) " + keys_after;
        EXPECT_EQ(resized.rows, fresh.rows) << keys << " at " << cols << "x" << rows;
        EXPECT_EQ(resized.row, fresh.row) << keys;
        EXPECT_EQ(resized.col, fresh.col) << keys;
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

// The command menu is paged for the new width while the Quit or Set menu
// holds row 1: the segment that comes back after it fits.
TEST_F(Resize, TheMenuComesBackPagedForTheNewWidthAfterTheQuitAndSetMenus)
{
    for (const char* keys_typed : {"<Esc>Q", "<Esc>S", "<Esc>QW"})
        for (auto [cols, rows] : {std::pair{40, 10}, {30, 12}, {132, 43}})
            expect_as_a_start_at(keys_typed, cols, rows, "<Esc><Esc>");
}

// From a later segment: ESC after the Quit or Set menu shows a segment of
// the new width's paging, the one that holds the word the old one began with.
TEST_F(Resize, ALaterSegmentComesBackAsOneOfTheNewWidth)
{
    std::set<std::string> segments;     // the menu's segments at 40 columns
    for (int spaces = 0; spaces < 6; spaces++) {
        open(text_to_edit(), 40, 10);
        type_keys("<Esc>" + std::string(size_t(spaces), ' '));
        run(command_loop);
        segments.insert(row(1));
    }
    for (const char* menu : {"Q", "S"}) {
        open(text_to_edit(), 80, 25);
        type_keys("<Esc> ");
        run(command_loop);
        std::string old_segment = row(1);
        std::string first_word = old_segment.substr(1, old_segment.find(' ', 1) - 1);
        type_keys(menu);
        resize(40, 10);
        type_keys("<Esc>");
        run(command_loop);
        EXPECT_TRUE(segments.count(row(1))) << menu << ": " << row(1);
        if (*menu == 'S') {    // ESC from the Quit menu goes on to the next segment
            EXPECT_NE(row(1).find(first_word), std::string::npos) << row(1);
        }
    }
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
