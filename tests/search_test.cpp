// Find, reverse find, Again and Replace as a user drives them: keys typed
// at the command loop, results read from the screen and the text.
#include <gtest/gtest.h>

#include "harness/session.h"
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

using Search = SessionTest;

TEST_F(Search, FindLeavesTheCursorAfterAMatchInTheWindowWithoutScrolling)
{
    session(long_text(), "Fneedle\r");
    EXPECT_EQ(message(), "--find: \"needle\"");
    EXPECT_EQ(screen().row(3), "line 1");
    expect_cursor(7, 9);
    EXPECT_EQ(screen().text(2, 60, 21), "  Line 5    Col 9    ");
}

TEST_F(Search, AMatchBelowTheWindowComesToRow10AndAgainRepeatsForward)
{
    session(long_text(), "Fneedle\rA");
    EXPECT_EQ(message(), "--find \"needle\"");
    EXPECT_EQ(screen().row(10), "needle again");
    EXPECT_EQ(screen().row(3), "line 33");
    expect_cursor(10, 7);

    session(long_text(), "Fneedle\r2A");
    EXPECT_EQ(screen().row(10), "the needle end");
    EXPECT_EQ(screen().row(3), "line 2493");
    expect_cursor(10, 11);
}

TEST_F(Search, ReverseFindStartsWithTheMatchEndingAtTheCursorAndAgainGoesOnBackward)
{
    std::string to_end = "Fneedle\r2A";
    session(long_text(), to_end + "-\r");
    EXPECT_EQ(message(), "--reverse find: \"needle\"");
    EXPECT_EQ(screen().row(10), "the needle end");
    expect_cursor(10, 5);

    session(long_text(), to_end + "-\rA");
    EXPECT_EQ(message(), "--reverse find \"needle\"");
    EXPECT_EQ(screen().row(10), "needle again");
    expect_cursor(10, 1);

    // a cancelled prompt still sets the direction of Again
    session(long_text(), "Fneedle\r-\x1b" "A");
    EXPECT_EQ(message(), "--reverse find \"needle\"");
    expect_cursor(7, 3);

    // the window stops at the first line instead of putting line 5 on row 10
    session(long_text(), to_end + "-\r2A");
    EXPECT_EQ(screen().row(3), "line 1");
    expect_cursor(7, 3);

    // across empty lines to the line that matches
    session("xx ab\n\n\ncd\n", down + down + down + "-ab\r");
    expect_cursor(3, 4);
}

TEST_F(Search, ACountBeyondTheMatchesStopsAfterTheLastOneAndSaysCantFind)
{
    session(long_text(), "Fneedle\r3F\r");
    EXPECT_EQ(message(), "--find: \"needle\" can't find");
    EXPECT_EQ(screen().row(10), "the needle end");
    expect_cursor(10, 11);
}

TEST_F(Search, ReplaceWithACountReplacesEveryMatchAndNamesTheStringItCannotFind)
{
    session(long_text(), "100Rneedle\rpin\r");
    EXPECT_EQ(message(), "--can't find \"needle\"");
    EXPECT_EQ(screen().row(10), "the pin end");
    expect_cursor(10, 8);

    press(Key::Esc);
    type("&y");
    EXPECT_TRUE(run(command_loop));
    std::string expected = long_text();
    for (size_t p; (p = expected.find("needle")) != std::string::npos;)
        expected.replace(p, 6, "pin");
    EXPECT_EQ(read_file("t.txt"), expected);
}

TEST_F(Search, AskingReplaceTakesYesNoAndQuitInEitherCaseAndIgnoresOtherKeys)
{
    session("a1 a2 a3 a4 a5\n", "?9Ra\rb\r\x1b");
    EXPECT_EQ(message(), "--replace [Y|N|Q]?");
    EXPECT_EQ(text_lines()[0], "a1 a2 a3 a4 a5") << "ESC answers nothing";
    expect_cursor(3, 2);

    session("a1 a2 a3 a4 a5\n", "?9Ra\rb\r\x1byNYnxy");
    EXPECT_EQ(text_lines()[0], "b1 a2 b3 a4 b5");
    EXPECT_EQ(screen().row(3), "b1 a2 b3 a4 b5");
    EXPECT_EQ(message(), "--can't find \"a\"");
    expect_cursor(3, 14);

    session("a1 a2 a3 a4 a5\n", "?9Ra\rb\ryq");
    EXPECT_EQ(text_lines()[0], "b1 a2 a3 a4 a5");
    EXPECT_EQ(message(), "--") << "Q takes the question away";
    expect_cursor(3, 5);
}

TEST_F(Search, AgainRepeatsAReplaceAndAsksOnlyWhenTheReplaceOrAgainWasGivenAQuestionMark)
{
    session("a a a a a\n", "Ra\rb\rA");
    EXPECT_EQ(screen().row(3), "b b a a a");
    EXPECT_EQ(message(), "--rep. \"a\" by \"b\"");

    session("a a a a a\n", "Ra\rb\ri\x01");     // ^A in insert mode is Again too
    EXPECT_EQ(text_lines()[0], "b b a a a");

    // the second string's tabs are counted from one column short of where it stands
    session("a\tb a\tb\n", "Ra\tb\r\tx\rA");
    EXPECT_EQ(text_lines()[0], "\tx \tx");
    EXPECT_EQ(message(), "--rep. \"a       b\" by \"  x\"");

    session("a a a a a\n", "Ra\rb\r?A");
    EXPECT_EQ(message(), "--replace [Y|N|Q]?");
    EXPECT_EQ(text_lines()[0], "b a a a a");

    session("a a a a a\n", "?Ra\rb\ryA");
    EXPECT_EQ(message(), "--replace [Y|N|Q]?");
    EXPECT_EQ(text_lines()[0], "b a a a a");
}

TEST_F(Search, ReplacingALetterByTwoOfItReplacesEachMatchOnce)
{
    session("a-a\na\n", "2Ra\raa\r");
    EXPECT_EQ(text_lines(), (std::vector<std::string>{"aa-aa", "a"}));
    EXPECT_EQ(screen().row(3), "aa-aa");
    expect_cursor(3, 6);
}

TEST_F(Search, ALongerReplacementThanTheStoreHasRoomForIsRefusedWithABell)
{
    session("ab ab\n", "2Rab\rabc\r", 7);   // room for one more byte
    EXPECT_EQ(text_lines()[0], "abc ab");
    EXPECT_EQ(message(), "---->too many chars, can't replace");
    EXPECT_EQ(screen().bells(), 1);
    expect_cursor(3, 7);

    session("ab ab\n", "Rab\rcd\rRab\rc\r", 6);   // no room at all
    EXPECT_EQ(text_lines()[0], "cd c") << "an equal and a shorter replacement";
    EXPECT_EQ(screen().bells(), 0);
}

TEST_F(Search, AMacroReplayedWithACountStopsAtTheFirstFailedFind)
{
    // the macro finds "cat" and then replaces the next " x"
    session("cat 1 x\ndog x\ncat 2 x\ncat 3 x\ntail x\n", "MYFcat\rR x\r y\rM999Y");
    EXPECT_EQ(text_lines(),
              (std::vector<std::string>{"cat 1 y", "dog x", "cat 2 y", "cat 3 y", "tail x"}));
    EXPECT_EQ(message(), "--find: \"cat\" can't find");
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
