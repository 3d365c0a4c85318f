// Buffer, Delete, Copy, Put and Get: the longest range the paste buffer
// takes, a Put that leaves the text unmodified, and a whole session in a
// terminal. The other behaviour of the range commands is kept as cases in
// tests/cases/.
#include <gtest/gtest.h>

#include "harness/session.h"
#include "harness/pty.h"

using Paste = SessionTest;

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

TEST_F(Paste, PutLeavesTheTextUnmodified)
{
    session("one two\nthree\nfour five\n", right + right + right + right + "P" + down + down + "pout.txt\r");
    EXPECT_EQ(read_file("out.txt"), "two\nthree\nfour\n");
    EXPECT_FALSE(modified);
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

// ---- a paste whose end marker does not come (a terminal or a link that
// stalls): a second later row 2 says so, a lone ESC ends it there, and
// every other byte is still the paste ------------------------------------

namespace {

const std::string paste_start = "\x1b[200~";
const std::string stall_message = "----> paste not ended: ESC ends it";

bool shows_stall(PtyEditor& pym)
{
    return pym.shows(2, stall_message);
}

// Leaves the insert mode a run starts in, for the command loop.
void start_in_command_loop(PtyEditor& pym, const std::string& text)
{
    pym.create_file("notes.txt", text);
    pym.start({"notes.txt"});
    pym.press(Key::Esc);
    pym.settle();
}

std::optional<std::string> updated_file(PtyEditor& pym)
{
    pym.send("&");
    if (!pym.shows(2, "--Update & Exit ?"))
        return std::nullopt;
    pym.send("y");
    if (pym.wait_exit() != 0)
        return std::nullopt;
    return pym.read_file("notes.txt");
}

}  // namespace

TEST(StalledPaste, RowTwoSaysSoAndALoneEscEndsItWithWhatArrived)
{
    PtyEditor pym;
    start_in_command_loop(pym, "first\n");
    const Screen& s = pym.screen();
    const std::string row_2 = s.text(2, 1, 50);
    pym.send(paste_start + "one\rtwo");
    ASSERT_TRUE(shows_stall(pym)) << s.dump();
    EXPECT_EQ(s.row(3), "first") << "nothing is inserted yet";
    pym.press(Key::Esc);
    ASSERT_TRUE(pym.shows(4, "twofirst")) << s.dump();
    EXPECT_EQ(s.row(3), "one");
    EXPECT_EQ(s.text(2, 1, 50), row_2) << "row 2 shows what it showed before the stall";
    EXPECT_EQ(updated_file(pym), "one\ntwofirst\n");
}

TEST(StalledPaste, KeysTypedAfterTheStallAreTextNotCommands)
{
    PtyEditor pym;
    start_in_command_loop(pym, "first\n");
    pym.send(paste_start + "ab");
    ASSERT_TRUE(shows_stall(pym)) << pym.screen().dump();
    // Quit and Exit, an ESC with a byte right after it, a cursor key
    pym.send(std::string("QE\x1b&y") + key_bytes(Key::Up) + "\r");
    pym.press(Key::Esc);
    ASSERT_TRUE(pym.shows(2, "  Line 2    Col 1", 60)) << pym.screen().dump();
    EXPECT_EQ(updated_file(pym), "abQE\x1b&y\x1b[A\nfirst\n");
}

// Row 2 holds the prompt again, with what was typed and the paste's first
// line, and Enter finds it.
TEST(StalledPaste, APromptComesBackWhenItEnds)
{
    PtyEditor pym;
    start_in_command_loop(pym, "one two three\n");
    pym.send("Ft");
    ASSERT_TRUE(pym.shows(2, "--find: \"t")) << pym.screen().dump();
    pym.send(paste_start + "wo\rthree");
    ASSERT_TRUE(shows_stall(pym)) << pym.screen().dump();
    pym.press(Key::Esc);
    ASSERT_TRUE(pym.shows(2, "--find: \"two ")) << pym.screen().dump();
    pym.send("\r");
    ASSERT_TRUE(pym.shows(2, "  Line 1    Col 8", 60)) << pym.screen().dump();
}
