// Buffer, Delete, Copy, Put and Get as a user drives them: a range chosen
// with the cursor keys and searches, results read from the screen, the
// text and the files written.
#include <gtest/gtest.h>

#include "harness/session.h"
#include "harness/pty.h"

using Paste = SessionTest;

TEST_F(Paste, BufferTakesARangeChosenWithCursorKeysAndCopyInsertsItAtTheCursor)
{
    // "alpha", its line end and "be"; copied inside "gamma" it splits it
    session("alpha\nbeta\ngamma\n", "B" + right + right + down + "b" + down + "C");
    EXPECT_EQ(text_lines(), (std::vector<std::string>{"alpha", "beta", "gaalpha", "bemma"}));
    EXPECT_EQ(screen().row(6), "bemma");
    expect_cursor(5, 3);
    EXPECT_EQ(screen().row(1).substr(0, 27), "<space> <curs> Again Buffer");
}

TEST_F(Paste, ASearchInsideTheSelectionMovesItsEnd)
{
    session("one\ntwo three\n", "BFthr\rBC");
    EXPECT_EQ(text_lines(), (std::vector<std::string>{"one", "two throne", "two three"}));
    expect_cursor(4, 8);

    // "-" searches backward, under the prompt of a forward find
    session("one two three\n", end + "D-two\rD");
    EXPECT_EQ(text_lines()[0], "one ");
    EXPECT_EQ(message(), "--find: \"two\"");
}

TEST_F(Paste, CopyWithACountInsertsThatManyCopiesBeforeTheCursor)
{
    session("abc\n", "B" + right + right + "B3C");
    EXPECT_EQ(text_lines()[0], "ababababc");
    EXPECT_EQ(screen().row(3), "ababababc");
    expect_cursor(3, 3);

    // after End the cursor stays on the first byte copied, not at the end
    session("line 1\nline 2\nline 3\n", down + "B" + down + "B" + up + end + "2C");
    EXPECT_EQ(text_lines(), (std::vector<std::string>{"line 1", "line 2line 2", "line 2", "", "line 3"}));
    expect_cursor(4, 7);
    create_file("ins.txt", "X\n");
    keys(end + "Gins.txt\r");
    EXPECT_EQ(text_lines()[1], "line 2line 2X");
    expect_cursor(4, 13);
}

TEST_F(Paste, DeleteFillsThePasteBufferUnlessTheSettingIsOff)
{
    session("one two three\n", end + "D" + left + left + left + "\x1b" + "D" + left + left + "D" + home + "C");
    EXPECT_EQ(text_lines()[0], "thone two ree") << "ESC deletes nothing";
    expect_cursor(3, 1);

    // with the setting off, Delete leaves the buffered "abc" in place
    session("abc def\n", "B" + right + right + right + "BSDy" + end + "D" + left + left + left + "DC");
    EXPECT_EQ(text_lines()[0], "abc abc");
    expect_cursor(3, 5);
}

TEST_F(Paste, ARangeOf32768BytesCannotBeBufferedAnd32767Can)
{
    const std::string a(16383, 'a'), b(16383, 'b');
    const std::string text = a + "\n" + b + "\nx\n";
    // both long lines with the line end between them, then also the second line end
    session(text, "B" + down + end + "B" + home + up + "B" + down + end + right + "B");
    EXPECT_EQ(message(), "--can't buffer");
    EXPECT_EQ(screen().bells(), 0);
    keys("C");
    std::vector<std::string> lines = text_lines();
    ASSERT_EQ(lines.size(), 4u) << "the buffer holds one line end";
    EXPECT_TRUE(lines[2] == a && lines[3] == b + "x");

    // Delete refuses the same range, and takes it once it does not buffer it
    session(text, "B" + right + "B" + home + "D" + down + end + right + "D");
    EXPECT_EQ(message(), "--can't buffer");
    EXPECT_EQ(text_lines().size(), 3u);
    keys("SDyD" + up + up + "DC");
    EXPECT_EQ(text_lines(), (std::vector<std::string>{"ax"}));
}

TEST_F(Paste, PutWritesTheRangeFromTheMiddleOfOneLineToTheMiddleOfAnother)
{
    session("one two\nthree\nfour five\n", right + right + right + right + "P" + down + down + "pout.txt\r");
    EXPECT_EQ(read_file("out.txt"), "two\nthree\nfour\n");
    EXPECT_EQ(text_lines(), (std::vector<std::string>{"one two", "three", "four five"}));
    EXPECT_FALSE(modified);

    create_file("old.txt", "stuff\n");
    keys("PPold.txt\r");
    EXPECT_EQ(read_file("old.txt"), "") << "an empty range empties the file";
}

TEST_F(Paste, GetInsertsAFileAtTheCursor)
{
    create_file("ins.txt", "X1\nX2\n");
    session("abcd\n", right + right + "Gins.txt\r");
    EXPECT_EQ(text_lines(), (std::vector<std::string>{"abX1", "X2", "cd"}));
    EXPECT_EQ(message(), "----> reading 'ins.txt'");
    EXPECT_EQ(screen().row(5), "cd");
    expect_cursor(3, 3);

    keys("Gnone\r");
    EXPECT_EQ(message(), "----> can't open 'none'");
    EXPECT_EQ(text_lines().size(), 3u);
}

// The keys that delete stay active during a selection; the selection's
// start must follow the text they remove.
TEST_F(Paste, TheSelectionsStartFollowsTextDeletedDuringTheSelection)
{
    session("abc\ndef\n", down + end + "B\x08\x08" + up + "BC");
    EXPECT_EQ(text_lines(), (std::vector<std::string>{"abc", "dbc", "d"}));
    expect_cursor(3, 2);

    session("abc\ndef\nghi\n", down + down + end + "D" + up + "\x19" + "D");
    EXPECT_EQ(text_lines(), (std::vector<std::string>{"abc", ""}));

    // every line deleted under the start: the range is empty
    session("abc\ndef\n", down + end + "5B\x19" + "BC");
    EXPECT_EQ(text_lines(), (std::vector<std::string>{""}));
}

TEST(PasteInATerminal, BufferWithASearchThenPutCopyAndGet)
{
    PtyEditor pym(25, 80);
    pym.create_file("notes.txt", "first line\nsecond line\nthird line\nfourth line\n");
    pym.create_file("ins.txt", "INS\n");
    pym.start({"notes.txt"});
    const Screen& s = pym.screen();
    const std::string menu = "<space> <curs> Again";
    pym.press(Key::Esc);
    pym.press(Key::Right, 6);
    pym.send("B");
    ASSERT_TRUE(pym.shows(1, "BUFFER: <curs> Find -find  B ")) << s.dump();
    pym.send("Fthird\r");
    pym.press(Key::Left, 2);
    ASSERT_TRUE(pym.shows(2, "  Line 3    Col 4    ", 60)) << s.dump();
    pym.send("b");
    ASSERT_TRUE(pym.shows(1, menu)) << s.dump();

    // from the middle of the third line to the middle of the fourth
    pym.send("P");
    ASSERT_TRUE(pym.shows(1, "PUT: <curs> Find -find  P ")) << s.dump();
    pym.press(Key::Down);
    pym.send("p");
    ASSERT_TRUE(pym.shows(2, "----> file:")) << s.dump();
    pym.send("part.txt\r");
    ASSERT_TRUE(pym.shows(1, menu)) << s.dump();
    EXPECT_EQ(pym.read_file("part.txt"), "rd line\nfou\n");

    // "line", its line end, "second line", its line end and "thi"
    pym.send("C");
    ASSERT_TRUE(pym.shows(6, "fouline ")) << s.dump();
    EXPECT_EQ(s.row(8), "thirth line");
    EXPECT_EQ(s.cursor_row(), 6);
    EXPECT_EQ(s.cursor_col(), 4);
    pym.send("Gins.txt\r");
    ASSERT_TRUE(pym.shows(6, "fouINS ")) << s.dump();

    pym.send("&");
    ASSERT_TRUE(pym.shows(2, "--Update & Exit ?")) << s.dump();
    pym.send("y");
    EXPECT_EQ(pym.wait_exit(), 0);
    EXPECT_EQ(pym.read_file("notes.txt"),
              "first line\nsecond line\nthird line\nfouINS\nline\nsecond line\nthirth line\n");
}
