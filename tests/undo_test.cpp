// Undo (U) and redo (^R) as a user meets them: where the cursor and the
// window go, what modified and the Quit menu say, the messages, the
// history's bound. What each kind of step gives back is in the cases.
#include <gtest/gtest.h>

#include <algorithm>

#include "harness/pty.h"
#include "harness/session.h"
#include "store/history.h"

class Undo : public SessionTest {
protected:
    void TearDown() override
    {
        set_history_limit(0);
        SessionTest::TearDown();
    }
    std::string text() { return std::string(text_begin, text_end); }
};

TEST_F(Undo, TheCursorGoesToTheChangeWithTheWindowPlacedAsAfterAFind)
{
    open(numbered_lines(300));
    keys("4" + down + "iX\x1b" + down + down + down + "U");     // in the window
    expect_at(5, 1, 7);
    expect_rows(3, 25, 1);
    EXPECT_EQ(row(7), "line 5");

    keys("49J" + std::string("iY\x1b") + "200J" + "U");       // off the window: row 10
    expect_at(49, 1, 10);
    expect_rows(3, 25, 42);
    keys("200J\x12");                   // redo puts it back, and the cursor on it
    expect_at(49, 1, 10);
    EXPECT_EQ(row(10), "Yline 49");
}

TEST_F(Undo, ModifiedIsClearExactlyAtTheTextLastWritten)
{
    open("abc\n");
    keys("iX\x1bQU\x1b" "iY\x1b");
    EXPECT_TRUE(modified);
    keys("U");
    EXPECT_FALSE(modified) << "back at the text written";
    keys("Q");
    EXPECT_EQ(message(), "----> 't.txt'  5") << "no * in the Quit menu";
    keys("\x1bU");
    EXPECT_TRUE(modified);
    keys("Q");
    EXPECT_EQ(message(), "----> 't.txt' * 4");
    keys("\x1b\x12");
    EXPECT_FALSE(modified);
    keys("\x12");
    EXPECT_TRUE(modified);
    EXPECT_EQ(text_lines()[0], "XYabc");
}

TEST_F(Undo, SaysWhenThereIsNothingToUndoOrRedo)
{
    open("abc\n");
    keys("U");
    EXPECT_EQ(message(), "----> nothing to undo");
    EXPECT_EQ(screen().bells(), 1);
    keys("\x12");
    EXPECT_EQ(message(), "----> nothing to redo");
    EXPECT_EQ(screen().bells(), 2);
    keys("iZ\x1b" "5U");                // a count larger than the history
    EXPECT_EQ(text_lines()[0], "abc");
    EXPECT_EQ(message(), "----> nothing to undo");
}

TEST_F(Undo, ANewChangeDropsWhatCouldHaveBeenRedone)
{
    open("abc\n");
    keys("ia\x1bU" "ib\x1b\x12");
    EXPECT_EQ(message(), "----> nothing to redo");
    EXPECT_EQ(text_lines()[0], "babc");
    keys("U");
    EXPECT_EQ(text_lines()[0], "abc");
}

TEST_F(Undo, GetIsOneStep)
{
    open("one\ntwo\n");
    create_file("other.txt", "o1\no2\n");
    keys(down + "Gother.txt\rU");
    EXPECT_EQ(text_lines(), (std::vector<std::string>{"one", "two"}));
    keys("\x12");
    EXPECT_EQ(text_lines(), (std::vector<std::string>{"one", "o1", "o2", "two"}));
}

// The history keeps what it may: the oldest steps go first, and a step
// larger than the bound is not kept at all.
TEST_F(Undo, TheHistoryDropsItsOldestStepsToStayWithinItsBound)
{
    std::string line(99, 'x');
    std::string text;
    for (int i = 0; i < 40; i++)
        text += line + "\n";
    open(text);
    set_history_limit(1200);
    keys("5\x19" "5\x19" "5\x19");      // 500 bytes each: the first goes
    keys("UU");
    EXPECT_EQ(text_lines().size(), 35u);
    keys("U");
    EXPECT_EQ(message(), "----> no older changes kept");
    EXPECT_EQ(text_lines().size(), 35u);

    keys("15\x19");
    EXPECT_EQ(message(), "----> change too big to undo");
    keys("U");
    EXPECT_EQ(message(), "----> no older changes kept");
    EXPECT_EQ(text_lines().size(), 20u);
}

TEST_F(Undo, TypingCostsAFewBytesOfHistoryPerCharacter)
{
    open("\n");
    std::string typed;
    for (int i = 0; i < 100; i++)
        typed += std::string(60, char('a' + i % 26)) + "\r";
    press(Key::Esc);
    type("i" + typed);
    run(command_loop);
    EXPECT_LT(history_bytes(), 4 * typed.size()) << "not a copy of each line";
    keys("999U");
    EXPECT_EQ(text(), std::string(1, '\0')) << "one LF: one empty line";
}

TEST_F(Undo, EveryReplacementOfAWholeTextIsOneStep)
{
    std::string text, replaced;
    for (int i = 0; i < 7000; i++) {
        text += "some words alpha and more " + std::to_string(i) + "\n";
        replaced += "some words omega and more " + std::to_string(i) + "\n";
    }
    open(text, 80, 25, 0x400000);
    std::string opened = this->text();
    keys("99999Ralpha\romega\r");
    EXPECT_EQ(read_file("t.txt"), text);
    keys("&y");
    EXPECT_EQ(read_file("t.txt"), replaced);
    keys("U");
    EXPECT_EQ(this->text(), opened);
    expect_at(1, 12, 3);
    keys("\x12");
    EXPECT_EQ(read_file("t.txt"), replaced);
    EXPECT_FALSE(modified) << "redone to the text written";
}

TEST_F(Undo, AReplaceOfMatchesSideBySideIsUndoneAndRedoneExactly)
{
    open("aaaaaaa aa\nbaab\n");
    std::string opened = text();
    keys("99999Raa\rxyz\r");
    std::string replaced = text();
    EXPECT_EQ(replaced, std::string("xyzxyzxyza xyz\0bxyzb\0", 21));
    keys("U");
    EXPECT_EQ(text(), opened);
    keys("\x12");
    EXPECT_EQ(text(), replaced);
    keys("99999Rxyz\r\r");     // the matches removed: the ranges touch
    keys("U");
    EXPECT_EQ(text(), replaced);
}

TEST(UndoInViewMode, UAndCtrlRRingTheBellAlone)
{
    PtyEditor pym(25, 80);
    pym.create_file("v.txt", "view me\n");
    pym.start({"v.txt", "r"});
    pym.send("U\x12");
    EXPECT_TRUE(pym.wait_until([](const Screen& s) { return s.bells() == 2; }));
    EXPECT_EQ(pym.screen().row(2).substr(0, 2), "--");
    EXPECT_EQ(pym.screen().row(2).find("undo"), std::string::npos);
    pym.send("Q");
    EXPECT_EQ(pym.wait_exit(), 0);
}
