// The cursor and page keys, Home and End, Delete, Backspace and ^Y in the
// command loop, seen on the screen: the rows, the status and the cursor.
// A count of ^Y that runs past the last line is kept as cases in
// tests/cases/.
#include <gtest/gtest.h>

#include "harness/session.h"
#include "screen/window.h"

using Motion = SessionTest;

TEST_F(Motion, ArrowsMoveAndStopAtTheEndsOfTheText)
{
    open(numbered_lines(300));
    keys(down + down + down + right + right);
    expect_at(4, 3, 6);
    keys(up + left);
    expect_at(3, 2, 5);
    keys(left + left);                  // from the line's start into the end of the one above
    expect_at(2, 7, 4);
    keys(right + "25" + down);
    expect_at(28, 1, 25);
    expect_rows(3, 25, 6);
    EXPECT_EQ(screen().bells(), 0);

    open("ab\n\nxyz\n");
    keys(left + up);
    expect_at(1, 1, 3);
    keys(right + right + "3" + right);  // end of "ab", the empty line, after "x"
    expect_at(3, 2, 5);
    keys(right + right + right + down + del + "9" + del + right);
    expect_at(3, 4, 5);                 // nothing goes past the last line's end
    keys("J" + home + "\b" + left + up);
    expect_at(1, 1, 3);
    EXPECT_TRUE(keys("&y"));
    EXPECT_EQ(read_file("t.txt"), "ab\n\nxyz\n");
}

TEST_F(Motion, PageKeysMoveByWindowfuls)
{
    open(numbered_lines(300));
    keys(down + down + page_down);
    expect_at(26, 1, 5);
    expect_rows(3, 25, 24);
    keys("2" + page_down);              // 2 x 23 lines
    expect_at(72, 1, 5);
    expect_rows(3, 25, 70);
    keys(page_up);
    expect_at(49, 1, 5);
    keys("9" + page_up);                // the text begins too soon: the cursor moves
    expect_at(1, 1, 3);
    keys("99" + page_down);
    expect_at(300, 1, 25);
    expect_rows(3, 25, 278);
}

TEST_F(Motion, EndOnceTwiceThreeTimes)
{
    open(numbered_lines(300));
    keys("8" + down + end);
    expect_at(9, 7, 11);
    keys(down);                         // Down keeps the cursor at the line's end
    expect_at(10, 8, 12);
    keys(up + end + end);               // Up came between: a first press, then a second
    expect_at(23, 8, 25);
    keys(end + end + end);
    expect_at(300, 9, 25);
    expect_rows(3, 25, 278);
}

TEST_F(Motion, HomeOnceTwiceThreeTimesAndControlKeys)
{
    open(numbered_lines(300));
    keys("40" + down + right + right + home);
    expect_at(41, 1, 25);
    keys(home + up + home);             // Up came between: a first press again
    expect_at(40, 1, 24);
    keys(home + "@" + home);            // a command letter keeps the count going
    expect_at(19, 1, 3);
    keys("\x05\x05");                   // ^E twice: end of the line, bottom row
    expect_at(41, 8, 25);
    keys("\x02" + home + "\x02");       // ^B and Home count as one key
    expect_at(1, 1, 3);
    expect_rows(3, 25, 1);
    keys(home + home + home + "30J" + home + home);  // a fourth press is a first again
    expect_at(8, 1, 3);
}

TEST_F(Motion, BackspaceAndDeleteJoinLines)
{
    open(numbered_lines(300));
    keys(down + "\b");                  // no lines above the window: the line moves up
    EXPECT_EQ(row(3), "line 1line 2");
    expect_at(1, 7, 3);
    expect_rows(4, 25, 3);
    keys(down + home + "3\b");          // the line end and two characters
    EXPECT_EQ(row(3), "line 1lineline 3");
    expect_at(1, 11, 3);
    expect_rows(4, 25, 4);

    open(numbered_lines(300));
    keys(page_down + "6" + down + "\b");  // line 30 joins line 29 on its own row
    EXPECT_EQ(row(9), "line 29line 30");
    expect_at(29, 8, 9);
    expect_rows(3, 8, 23);
    expect_rows(10, 25, 31);
    keys(end + del);
    EXPECT_EQ(row(9), "line 29line 30line 31");
    expect_at(29, 15, 9);
    expect_rows(10, 25, 32);
    keys(home + "5" + del);
    EXPECT_EQ(row(9), "29line 30line 31");
    expect_at(29, 1, 9);
}

TEST_F(Motion, ControlYDeletesLines)
{
    open(numbered_lines(300));
    keys("9" + down + right + "\x19");  // the line below comes up to the cursor's row
    expect_at(10, 1, 12);
    expect_rows(3, 11, 1);
    expect_rows(12, 25, 11);
    keys("3\x19");
    expect_rows(12, 25, 14);
    keys(end + end + end + "\x19");     // the last line: the cursor ends above it
    expect_at(295, 9, 25);
    expect_rows(3, 25, 277);
}

// A terminal too short for a text row (or of one cell) still pages and
// moves without a fault; what it cannot show is left out.
TEST_F(Motion, PageKeysWorkOnTerminalsWithoutATextRow)
{
    for (auto [cols, rows] : {std::pair{80, 2}, {20, 1}, {1, 1}, {5, 3}}) {
        open(numbered_lines(50), cols, rows);
        keys(page_down + page_down + "3" + page_down + page_up + down + end + end + end);
        EXPECT_EQ(show_status(), 50u) << cols << "x" << rows;
        keys(home + home + home + page_up + up);
        EXPECT_EQ(show_status(), 1u) << cols << "x" << rows;
    }
}

// Long lines and long texts: End reaches the end of any line, and the
// third press of Home or End the first or last line of any text.
TEST_F(Motion, EndAndTheThirdPressReachTheEndsOfAnyLineAndText)
{
    open(std::string(40000, 'x') + "\n" + numbered_lines(70000));
    keys(end);
    EXPECT_NE(row(2).find("Line 1    Col 40001"), std::string::npos) << row(2);
    keys(end + end + end);
    EXPECT_EQ(show_status(), 70001u);
    EXPECT_EQ(row(25), "line 70000");
    keys(home + home + home);
    expect_at(1, 1, 3);
}
