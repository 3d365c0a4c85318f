// The text window: vertical scrolling by block moves, page jumps, the
// horizontal view, the status at the right of row 2 and the colours.
#include <gtest/gtest.h>

#include "harness/editor.h"
#include "screen/render.h"
#include "screen/window.h"
#include "store/store.h"

static std::string numbered_lines(int n)
{
    std::string text;
    for (int i = 1; i <= n; i++)
        text += "line " + std::to_string(i) + "\n";
    return text;
}

static int count(const std::string& haystack, const std::string& needle)
{
    int n = 0;
    for (size_t p = haystack.find(needle); p != std::string::npos; p = haystack.find(needle, p + 1))
        n++;
    return n;
}

// Block moves of the whole window, rows 3 to 25: a deleted or inserted
// row 3, or a scroll within the region of those rows.
static int window_moves(const std::string& out)
{
    return count(out, "\x1b[3H\x1b[M") + count(out, "\x1b[3H\x1b[L") + count(out, "\x1b[3;25r");
}

class Window : public EditorTest {
protected:
    void expect_lines_from(int first)   // on rows 3 to 25
    {
        for (int r = 3; r <= 25; r++)
            EXPECT_EQ(screen().row(r), "line " + std::to_string(first + r - 3)) << screen().dump();
    }
    std::string status() { return screen().text(2, 60, 21); }
};

TEST_F(Window, AOneLineMoveOffTheWindowScrollsByOneBlockMove)
{
    open(numbered_lines(100));
    move_view(22, 0);
    EXPECT_EQ(cursor_row, 25);
    take_output();
    move_view(1, 0);
    std::string out = take_output();
    EXPECT_EQ(window_moves(out), 1) << "one block move of rows 3-25";
    EXPECT_EQ(count(out, "line "), 1) << "one row drawn";
    expect_lines_from(2);
    EXPECT_EQ(window_top, line_at(2));
    EXPECT_EQ(window_bottom, line_at(25));
    EXPECT_EQ(screen().cursor_row(), 25);
    EXPECT_EQ(status(), "  Line 24   Col 1    ");

    move_view(-22, 0);
    take_output();
    move_view(-1, 0);
    out = take_output();
    EXPECT_EQ(window_moves(out), 1);
    EXPECT_EQ(count(out, "line "), 1);
    expect_lines_from(1);
    EXPECT_EQ(cursor_row, 3);
}

TEST_F(Window, TheTextsEndsStopTheCursor)
{
    open(numbered_lines(10));
    move_view(9, 0);
    take_output();
    move_view(1, 0);
    EXPECT_EQ(cursor_row, 12);
    EXPECT_EQ(window_moves(take_output()), 0) << "nothing scrolls";
    EXPECT_EQ(status(), "  Line 10   Col 1    ");

    move_view(0, -23);
    EXPECT_EQ(cursor_row, 3);
    EXPECT_EQ(line_start, text_begin);
    EXPECT_EQ(screen().row(13), "");
    EXPECT_EQ(screen().bg(13, 40), colour::blue) << "rows below the text in the text colours";
    EXPECT_EQ(recount_window(), 13);
}

TEST_F(Window, PagesAreDrawnWholeOrScrolledWhenTheTextEndsSoon)
{
    open(numbered_lines(100));
    move_view(4, 0);
    take_output();
    move_view(0, 23);
    EXPECT_EQ(window_moves(take_output()), 0) << "a whole page is drawn, not scrolled";
    expect_lines_from(24);
    EXPECT_EQ(cursor_row, 7);
    EXPECT_EQ(status(), "  Line 28   Col 1    ");
    move_view(0, -23);
    expect_lines_from(1);
    EXPECT_EQ(cursor_row, 7);

    open(numbered_lines(28));
    take_output();
    move_view(0, 23);
    std::string out = take_output();
    EXPECT_EQ(window_moves(out), 5);
    EXPECT_EQ(count(out, "line "), 5);
    expect_lines_from(6);
    EXPECT_EQ(cursor_row, 21);
    EXPECT_EQ(status(), "  Line 24   Col 1    ");
}

TEST_F(Window, HugeMovesReachTheEndsOfTheText)
{
    open(numbered_lines(100));
    move_view(30000, 0);
    expect_lines_from(78);
    EXPECT_EQ(screen().cursor_row(), 25);
    EXPECT_EQ(status(), "  Line 100  Col 1    ");
    move_view(-30000, 0);
    expect_lines_from(1);
    EXPECT_EQ(cursor_row, 3);
    EXPECT_EQ(line_start, text_begin);
}

TEST_F(Window, TheViewJumps71ColumnsAtTheRightEdge)
{
    std::string text;
    for (int i = 0; i < 30; i++) {
        for (int c = 0; c < 200; c++)
            text += char('A' + (i + c) % 26);
        text += '\n';
    }
    open(text);
    goal_column = 77;
    refresh();
    EXPECT_EQ(cursor_col, 78);
    EXPECT_FALSE(view_shifted);
    EXPECT_EQ(screen().cursor_col(), 78);

    goal_column = 78;
    refresh();
    EXPECT_EQ(cursor_col, 8);
    EXPECT_EQ(view_start, line_start + 71);
    for (int r = 3; r <= 25; r++)
        EXPECT_EQ(screen().row(r), text.substr(size_t(r - 3) * 201 + 71, 78) + "»") << "row " << r;
    EXPECT_EQ(screen().cursor_col(), 8);
    EXPECT_EQ(status(), "  Line 1    Col 79   ");

    goal_column = 148;
    refresh();
    EXPECT_EQ(cursor_col, 78);
    goal_column = 149;
    refresh();
    EXPECT_EQ(cursor_col, 8);
    EXPECT_EQ(view_start, line_start + 142);

    move_view(1, 0);
    goal_column = 5;
    refresh();
    EXPECT_EQ(screen().row(4), text.substr(201, 78) + "»") << "back to the line's start";
}

TEST_F(Window, TheStatusShowsLineAndDisplayColumn)
{
    open(numbered_lines(11) + "\tab\n");
    move_view(11, 0);
    goal_column = 10;
    refresh();
    EXPECT_EQ(screen().row(2).substr(0, 2), "--");
    EXPECT_EQ(status(), "  Line 12   Col 11   ");
    EXPECT_EQ(show_status(), 12u);
    goal_column = 4;
    refresh();
    EXPECT_EQ(cursor, line_start) << "a tab covering column 4";
    EXPECT_EQ(status(), "  Line 12   Col 1    ");
    EXPECT_EQ(screen().cursor_row(), 14);
    EXPECT_EQ(screen().cursor_col(), 1);
}

TEST_F(Window, HeaderRowsAndTextRowsHaveTheirColours)
{
    open(numbered_lines(3));
    refresh();
    for (int col : {1, 5, 40, 60, 80}) {
        for (int row : {1, 2}) {
            EXPECT_EQ(screen().fg(row, col), colour::blue) << row << "," << col;
            EXPECT_EQ(screen().bg(row, col), colour::light_grey) << row << "," << col;
        }
        for (int row : {3, 5, 25}) {
            EXPECT_EQ(screen().fg(row, col), colour::bright_white) << row << "," << col;
            EXPECT_EQ(screen().bg(row, col), colour::blue) << row << "," << col;
        }
    }
}

// Line numbers of five digits and more move the status left, so that the
// column still shows whole at the end of row 2.
TEST_F(Window, ALongLineNumberMovesTheStatusLeft)
{
    open(numbered_lines(12345));
    move_view(30000, 0);
    EXPECT_EQ(screen().text(2, 59, 22), "  Line 12345 Col 1    ");
    EXPECT_EQ(screen().cursor_row(), 25);
}

// What set_view chooses, walked from the line's start on every call: the
// view a long line's kept measurements must give too.
static byte* view_walked_from_start(int goal, byte** cursor_out)
{
    byte* c = column_pointer(line_start, goal);
    int limit = screen_cols - 2, step = ((screen_cols * 7) >> 3) + 1;
    byte* s = line_start;
    while (display_width(s, c) >= limit && s < c) {
        byte* next = column_pointer(s, step);
        s = next > c ? c : next > s ? next : s + 1;
    }
    *cursor_out = c;
    return s;
}

TEST_F(Window, ALongLineMeasuredOnceGivesTheViewsOfAWalkFromItsStart)
{
    unsigned seed = 7;
    auto next = [&] { return (seed = seed * 1103515245 + 12345) >> 16; };
    const char* pieces[] = {"a", "\t", "\x01", "\xC3\xA9", "\xE6\x97\xA5", "\xCC\x81", "\xFF"};
    for (int cols : {80, 8})      // a scroll step wider and narrower than a tab
    for (bool utf8 : {false, true}) {
        use_character_set(utf8);
        std::string line;
        for (int i = 0; i < 3000; i++)
            line += pieces[next() % 7];
        open(line + "\n", cols, 25);
        tab_width = 8;
        for (int k = 0; k < 400; k++) {
            if (k % 100 == 50) {
                tab_width = 1 + int(next() % 9);
                show_controls = int(next() % 2);
            }
            if (k % 100 == 75) {    // the line changes under the measurements
                byte tab = '\t';
                overwrite_bytes(line_start + next() % 1000, &tab, 1);
            }
            int goal = int(next() % 4500);
            byte* want_cursor;
            byte* want_view = view_walked_from_start(goal, &want_cursor);
            set_view(goal);
            ASSERT_EQ(cursor, want_cursor) << "goal " << goal;
            ASSERT_EQ(view_start, want_view) << "goal " << goal;
            ASSERT_EQ(cursor_col, display_width(view_start, cursor) + 1);
            ASSERT_EQ(line_column(line_start, cursor), display_width(line_start, cursor));
        }
    }
    tab_width = 8;
    show_controls = 0;
}
