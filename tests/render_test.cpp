// How lines come out on the screen: clipping and the continuation mark,
// tabs, control bytes, and starts and widths at the edges.
#include <cstdlib>
#include <gtest/gtest.h>

#include "harness/editor.h"
#include "screen/console.h"
#include "screen/render.h"
#include "screen/utf8.h"
#include "screen/window.h"

class Rendering : public EditorTest {
protected:
    void SetUp() override
    {
        EditorTest::SetUp();
        open("");
    }
};

TEST_F(Rendering, LongLinesEndWithTheContinuationMarkInColumn79)
{
    std::string l77(77, 'a'), l78(78, 'b'), l79 = std::string(78, 'c') + "Z";
    show_lines({l77, l78, l79, std::string(300, 'd')});
    Screen& s = screen();
    EXPECT_EQ(s.row(3), l77);
    EXPECT_EQ(s.row(4), l78 + "»");
    EXPECT_EQ(s.row(5), std::string(78, 'c') + "»") << "the 79th byte is hidden";
    EXPECT_EQ(s.row(6), std::string(78, 'd') + "»");
    for (int r = 3; r <= 6; r++)
        EXPECT_EQ(s.cell(r, 80), " ") << "row " << r;
    EXPECT_EQ(s.fg(4, 79), colour::bright_white);
    EXPECT_EQ(s.bg(4, 80), colour::blue);
}

TEST_F(Rendering, ATabCrossingTheEdgeIsCutByTheMark)
{
    std::string line = std::string(75, 'x') + "\tmore";
    show_lines({line});
    EXPECT_EQ(screen().row(3), std::string(75, 'x') + "   »");
    EXPECT_FALSE(screen().contains("more"));
    goto_xy(1, 3);
    EXPECT_EQ(draw_line(text_begin, 0), 80);
}

TEST_F(Rendering, TabsRunToTheNextTabStop)
{
    show_lines({"a\tb", "\tc", "12345678\td", "ab\t\te"});
    Screen& s = screen();
    EXPECT_EQ(s.row(3), "a       b");
    EXPECT_EQ(s.row(4), "        c");
    EXPECT_EQ(s.row(5), "12345678        d");
    EXPECT_EQ(s.row(6), "ab              e");

    tab_width = 3;
    redraw_window(window_top, 3);
    EXPECT_EQ(screen().row(3), "a  b");
    tab_width = 1;
    redraw_window(window_top, 3);
    EXPECT_EQ(screen().row(6), "ab  e");

    tab_width = 8;
    byte* line = line_at(4);
    EXPECT_EQ(display_width(line, line + 4), 16);
    EXPECT_EQ(display_width(line, line), 0);
    EXPECT_EQ(column_pointer(line, 0), line);
    EXPECT_EQ(column_pointer(line, 7), line + 2) << "a tab covering the column";
    EXPECT_EQ(column_pointer(line, 8), line + 3);
    EXPECT_EQ(column_pointer(line, 16), line + 4);
    EXPECT_EQ(column_pointer(line, 99), line + 5) << "the line's NUL";
}

TEST_F(Rendering, ControlBytesShowAsGlyphsOrCaretPairs)
{
    show_lines({"\x01\x06\x07\x08\x0a\x0b\x0c\x0d\x0e\x1b\x1f|\x7f\x80\xaf\xb0\xe1\xff|"});
    EXPECT_EQ(screen().row(3), "☺♠░░░░░░♫←▼|⌂Ç»░ß\u00a0|");
    EXPECT_EQ(screen().bells(), 0) << "a BEL in the text is only a glyph";

    show_controls = 1;
    redraw_window(window_top, 3);
    EXPECT_EQ(screen().row(3), "^A^F^G^H^J^K^L^M^N^[^_|⌂Ç»░ß\u00a0|");
    byte* line = text_begin;
    EXPECT_EQ(display_width(line, line + 12), 23);
    EXPECT_EQ(display_width(line + 12, line + 18), 6) << "bytes from 0x7F take one column";
    EXPECT_EQ(column_pointer(line, 1), line + 1) << "the second cell of a pair";
    EXPECT_EQ(column_pointer(line, 22), line + 11);

    char out[8];
    int counter = 0;
    EXPECT_EQ(render_char(out, 0, &counter), out + 2);
    EXPECT_EQ(std::string(out), "^@");
    show_controls = 0;
    counter = 0;
    EXPECT_EQ(render_char(out, 0, &counter), out + 1);
    EXPECT_EQ(std::string(out), "\xb0");
    EXPECT_EQ(counter, 1);
}

TEST_F(Rendering, ContinuedLinesKeepTheirColumnsWhenDrawnFromTheCursor)
{
    show_lines({"abc", std::string(100, 'y')});
    goto_xy(6, 3);
    EXPECT_EQ(draw_line(text_begin, 5), 8);
    EXPECT_EQ(screen().row(3), "abc  abc");
    goto_xy(11, 4);
    draw_line(line_at(2), 10);
    EXPECT_EQ(screen().text(4, 70, 11), std::string(9, 'y') + "» ");
}

TEST_F(Rendering, StartColumnsPastTheTextAreaDrawNothing)
{
    show_lines({"first", "second"});
    for (int col0 : {78, 79, 80, 500, 5000}) {
        goto_xy(79, 3);
        EXPECT_EQ(draw_line(line_at(2), col0), col0);
    }
    EXPECT_EQ(screen().row(3), "first");
    EXPECT_EQ(screen().row(4), "second");
}

TEST_F(Rendering, WindowsWiderThanTheRenderBufferDrawWholeRows)
{
    open("", 1300, 5);
    std::string wide;
    for (int i = 0; i < 1400; i++)
        wide += char('a' + i % 26);
    std::string tabs(200, '\t');
    show_lines({wide, tabs + "end"});
    Screen& s = screen();
    EXPECT_EQ(s.row(3), wide.substr(0, 1298) + "»");
    EXPECT_EQ(s.cell(3, 1300), " ");

    tab_width = 9;
    redraw_window(window_top, 3);
    EXPECT_EQ(screen().row(4), std::string(1298, ' ') + "»");
    goto_xy(1, 4);
    EXPECT_EQ(draw_line(line_at(2), 0), 1305);
}

// Rows drawn over rows that share some of their cells: what already shows
// is skipped, in runs of every length and across the console's blocks of
// 64 cells, and the terminal must still show exactly the new rows.
TEST_F(Rendering, RowsDrawnOverOtherRowsShowExactlyTheNewText)
{
    open("", 200, 6);
    std::srand(7);
    for (int round = 0; round < 400; round++) {
        int row = 3 + round % 4, length = std::rand() % 198, col = 1 + round % 5 / 4;
        std::string line;
        for (int i = 0; i < length; i++)
            line += "ab "[std::rand() % (round % 3 + 1)];
        goto_xy(col, row);      // now and then from the second cell
        draw_line(reinterpret_cast<const byte*>(line.c_str()), 0);
        ASSERT_EQ(screen().text(row, col, 198), line + std::string(198 - line.size(), ' '))
            << "round " << round;
    }
}

TEST_F(Rendering, ABandScrolledAboveTheLastRowMovesOnlyItsOwnRows)
{
    show_lines({"one", "two", "three", "four", "five", "six"});
    scroll_up(3, 6);
    Screen& s = screen();
    EXPECT_EQ(s.row(3), "two");
    EXPECT_EQ(s.row(5), "four");
    EXPECT_EQ(s.row(6), "") << "the row coming in at the band's foot is blank";
    EXPECT_EQ(s.row(7), "five") << "the row below the band stays";
    scroll_down(3, 5);          // rows 3..5 move down, over row 6
    EXPECT_EQ(screen().row(3), "");
    EXPECT_EQ(screen().row(4), "two");
    EXPECT_EQ(screen().row(6), "four");
    EXPECT_EQ(screen().row(7), "five");
}

// Grapheme clusters drawn in a UTF-8 text take the cells the terminal
// gives them, and the pieces that are no cluster of their own (a mark
// after a tab or a control byte's glyph, a byte that is no character) the
// glyphs of their bytes: whatever follows lands where the terminal puts it.
TEST_F(Rendering, ClustersAndPlainRunsTakeTheCellsTheTerminalGivesThem)
{
    use_character_set(true);
    const char* pieces[] = {
        "a", "\t", "\x01", "\x07", "\xC3\xA9", "\xE6\x97\xA5", "\xCC\x81", "\xE2\x80\x8D",
        "\xEF\xB8\x8F", "\xF0\x9F\x91\xA8", "\xF0\x9F\x87\xAB", "\xF0\x9F\x8F\xBB", "\xE2\x9D\xA4",
        "\xFF", "\x80", "\xE6\x97", "abcdefg", "0123456789",
    };
    std::srand(5);
    for (int round = 0; round < 300; round++) {
        std::string line;
        for (int i = 0; i < 12; i++)
            line += pieces[std::rand() % int(sizeof pieces / sizeof *pieces)];
        show_controls = round % 2;
        show_lines({line + "|"});
        const byte* p = text_begin;
        int w = display_width(p, p + line.size());
        if (w >= 78)
            continue;
        for (const byte* c = p; c < p + line.size(); c += character_length(c))
            ASSERT_EQ(column_pointer(const_cast<byte*>(p), display_width(p, c)), c)
                << "round " << round << " " << testing::PrintToString(line);
        ASSERT_EQ(screen().cell(3, w + 1), "|") << "round " << round << " " << testing::PrintToString(line)
                                                << "\n" << screen().dump();
    }
    show_controls = 0;
}

// Rows of clusters drawn over one another: cells that already show the
// same are skipped, a wide cluster written over in part is drawn again
// whole, and the terminal shows exactly the new rows.
TEST_F(Rendering, RowsOfClustersDrawnOverOtherRowsShowExactlyTheNewText)
{
    use_character_set(true);
    open("", 120, 6);
    const std::string pieces[] = {
        "a", "b", " ", "\xC3\xA9", "e\xCC\x81", "\xE6\x97\xA5",
        "\xF0\x9F\x91\xA8\xE2\x80\x8D\xF0\x9F\x91\xA9\xE2\x80\x8D\xF0\x9F\x91\xA7",
        "\xF0\x9F\x87\xAB\xF0\x9F\x87\xB7", "\xE2\x9D\xA4\xEF\xB8\x8F", "\xF0\x9F\x91\x8D\xF0\x9F\x8F\xBF",
    };
    std::srand(9);
    for (int round = 0; round < 400; round++) {
        int row = 3 + round % 3;
        std::string line;
        for (int i = 0, n = std::rand() % 30; i < n; i++)
            line += pieces[std::rand() % (round % 4 == 0 ? 3 : 10)];
        goto_xy(1, row);
        draw_line(reinterpret_cast<const byte*>(line.c_str()), 0);
        const byte* p = reinterpret_cast<const byte*>(line.c_str());
        int w = display_width(p, p + line.size());
        ASSERT_EQ(screen().text(row, 1, 118), line + std::string(size_t(118 - w), ' '))
            << "round " << round << "\n" << screen().dump();
    }
}
