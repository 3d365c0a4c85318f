// Find, Again and an asking Replace in a terminal, on a long file. The
// other behaviour of find, reverse find, Again and Replace is kept as cases
// in tests/cases/.
#include <gtest/gtest.h>

#include "harness/pty.h"

// 3000 numbered lines with "needle" on lines 5, 40 and 2500.
static std::string long_text()
{
    std::string text;
    for (int i = 1; i <= 3000; i++) {
        if (i == 5)
            text += "a needle here\n";
        else if (i == 40)
            text += "needle again\n";
        else if (i == 2500)
            text += "the needle end\n";
        else
            text += "line " + std::to_string(i) + "\n";
    }
    return text;
}

TEST(SearchInATerminal, FindAgainAndAskingReplaceOnALongFile)
{
    PtyEditor pym(25, 80);
    pym.create_file("long.txt", long_text());
    pym.start({"long.txt"});
    const Screen& s = pym.screen();
    pym.press(Key::Esc);
    pym.send("Fneedle\r");
    ASSERT_TRUE(pym.shows(2, "  Line 5    Col 9    ", 60)) << s.dump();
    pym.send("A");
    ASSERT_TRUE(pym.shows(2, "  Line 40   Col 7    ", 60)) << s.dump();
    EXPECT_EQ(s.row(10), "needle again");
    pym.send("-\rA");
    ASSERT_TRUE(pym.shows(2, "  Line 5    Col 3    ", 60)) << s.dump();
    EXPECT_EQ(s.cursor_row(), 7);

    // the match at the cursor is skipped, the next replaced, the last left
    pym.send("?9Rneedle\rpin\r");
    ASSERT_TRUE(pym.shows(2, "--replace [Y|N|Q]?")) << s.dump();
    EXPECT_EQ(s.cursor_row(), 7);
    pym.send("n");
    ASSERT_TRUE(pym.shows(10, "needle again")) << s.dump();
    pym.send("Y");
    ASSERT_TRUE(pym.shows(10, "the needle end")) << s.dump();
    EXPECT_EQ(s.row(2), "--replace [Y|N|Q]?");
    pym.send("q&");
    ASSERT_TRUE(pym.shows(2, "--Update & Exit ?")) << s.dump();
    pym.send("y");
    EXPECT_EQ(pym.wait_exit(), 0);
    std::string expected = long_text();
    expected.replace(expected.find("needle again"), 6, "pin");
    EXPECT_EQ(pym.read_file("long.txt"), expected);
}
