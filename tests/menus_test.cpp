// Leaving and saving: the Quit menu, the Set menu, "&", failed writes and
// texts that hold only part of their file.
#include <gtest/gtest.h>

#include "commands/menus.h"
#include "harness/editor.h"
#include "harness/pty.h"
#include "session/session.h"

using Screen_test = std::function<bool(const Screen&)>;

static Screen_test row_is(int r, std::string text)
{
    return [r, text](const Screen& s) { return s.row(r) == text; };
}

// Sends keys and waits until the screen shows what they lead to.
static void expect_after(PtyEditor& pym, std::string_view keys, const Screen_test& ready)
{
    pym.send(keys);
    EXPECT_TRUE(pym.wait_until(ready)) << "after " << keys << "\n" << pym.screen().dump();
}

static void escape_then(PtyEditor& pym, std::string_view keys, const Screen_test& ready)
{
    pym.press(Key::Esc);
    expect_after(pym, keys, ready);
}

const char quit_menu_line[] = "QUIT: Exit Update Write Init";

TEST(QuitMenu, AChangedTextAsksBeforeItIsDropped)
{
    PtyEditor pym;
    pym.create_file("keep.txt", "original\n");
    pym.start({"keep.txt"});
    escape_then(pym, "Q", row_is(2, "----> 'keep.txt'  9"));
    escape_then(pym, "", row_is(1, " Macro Put Quit Replace Set Y Z & @  <F1>=Help"));

    expect_after(pym, "iX", row_is(3, "Xoriginal"));
    escape_then(pym, "Q", row_is(2, "----> 'keep.txt' * 10"));
    expect_after(pym, "E", row_is(2, "----> ignore the changes ? (y/n)"));
    expect_after(pym, "N", row_is(2, "----> ignore the changes ? (y/n) N"));
    EXPECT_EQ(pym.screen().row(1), quit_menu_line);
    pym.send("EY");
    EXPECT_EQ(pym.wait_exit(), 0);
    EXPECT_EQ(pym.read_file("keep.txt"), "original\n");
}

TEST(QuitMenu, WriteSavesACopyAndUpdateStillWritesTheOldName)
{
    PtyEditor pym;
    pym.create_file("a.txt", "one\n");
    pym.start({"a.txt"});
    expect_after(pym, "new ", row_is(3, "new one"));
    escape_then(pym, "QWb.txt\r", row_is(2, "--"));
    EXPECT_EQ(pym.read_file("b.txt"), "new one\n");
    EXPECT_EQ(pym.read_file("a.txt"), "one\n");
    // The name is kept, and the text still differs from its own file.
    escape_then(pym, "Q", row_is(2, "----> 'a.txt' * 8"));

    escape_then(pym, "i2", row_is(3, "new 2one"));
    escape_then(pym, "QU", row_is(2, "--"));
    pym.send("E");
    EXPECT_EQ(pym.wait_exit(), 0);
    EXPECT_EQ(pym.read_file("a.txt"), "new 2one\n");
    EXPECT_EQ(pym.read_file("b.txt"), "new one\n");
}

TEST(QuitMenu, InitOpensAnotherFileWithFreshSettingsAndAnEmptyBuffer)
{
    PtyEditor pym;
    pym.create_file("a.txt", "\talpha\n");
    pym.create_file("b.txt", "\tbeta\n");
    pym.start({"a.txt"});
    escape_then(pym, "S4", row_is(3, "    alpha"));
    pym.send("B");
    pym.press(Key::Right, 3);
    expect_after(pym, "BC", row_is(3, "    al  alpha"));

    expect_after(pym, "QI", row_is(2, "----> ignore the changes ? (y/n)"));
    expect_after(pym, "Yb.txt\r", row_is(1, "INSERT: <curs> Ins - exchange"));
    EXPECT_EQ(pym.screen().row(3), "        beta");
    escape_then(pym, "CS", row_is(1, "SET: ^Q 1..9(Tabs=8) Del_buf Indent"));
    EXPECT_EQ(pym.screen().row(3), "        beta") << "Copy finds the buffer empty";
    escape_then(pym, "Q", row_is(2, "----> 'b.txt'  6"));
    pym.send("E");
    EXPECT_EQ(pym.wait_exit(), 0);
    EXPECT_EQ(pym.read_file("pym.l"), "a.txt 1 1\n");
    EXPECT_EQ(pym.read_file("a.txt"), "\talpha\n");
}

TEST(QuitMenu, AFailedWriteSaysSoAndLeavesTheTextModified)
{
    PtyEditor pym;
    pym.create_file("f.txt", "text\n");
    pym.start({"f.txt"});
    pym.send("more ");
    int bells = pym.screen().bells();
    escape_then(pym, "QW/dev/full\r", row_is(2, "----> '/dev/full' exists. Overwrite ? (y/n)"));
    expect_after(pym, "y", row_is(2, "----> can't write '/dev/full'"));
    EXPECT_EQ(pym.screen().bells(), bells + 1);
    EXPECT_EQ(pym.screen().row(1), quit_menu_line);
    escape_then(pym, "Q", row_is(2, "----> 'f.txt' * 10"));
    expect_after(pym, "E", row_is(2, "----> ignore the changes ? (y/n)"));
    pym.send("Y");
    EXPECT_EQ(pym.wait_exit(), 0);
    EXPECT_EQ(pym.read_file("f.txt"), "text\n");
}

TEST(SetMenu, TabWidthAndControlDisplayRedrawTheTextAndABadNameRings)
{
    PtyEditor pym;
    pym.create_file("s.txt", "\tx\x03y\n");
    pym.start({"s.txt"});
    EXPECT_EQ(pym.screen().row(3), "        x\u2665y");
    escape_then(pym, "S", row_is(1, "SET: ^Q 1..9(Tabs=8) Del_buf Indent"));
    expect_after(pym, "5", row_is(3, "     x\u2665y"));
    EXPECT_EQ(pym.screen().row(1), "<space> <curs> Again Buffer Copy Delete eXchange Find -find Get Insert Jump");
    expect_after(pym, "S", row_is(1, "SET: ^Q 1..9(Tabs=5) Del_buf Indent"));
    expect_after(pym, "\x11", row_is(3, "     x^Cy"));

    int bells = pym.screen().bells();
    expect_after(pym, "S0", row_is(2, "----> bad set name"));
    EXPECT_EQ(pym.screen().bells(), bells + 1);
    expect_after(pym, "S", row_is(1, "SET: ^Q 1..9(Tabs=5) Del_buf Indent"));
    EXPECT_EQ(pym.screen().row(3), "     x^Cy");
}

// ---- in the test process --------------------------------------------------

static void quit_run() { quit_menu(); }

class Saving : public EditorTest {};

TEST_F(Saving, APartlyLoadedTextAsksBeforeReplacingItsOwnFile)
{
    const std::string whole = "first line\nsecond line\nthird line\n";
    open(whole, 80, 25, 24);
    ASSERT_NE(screen().row(2).find("--> buffer overflow (24)"), std::string::npos) << screen().dump();

    for (const char* keys : {"UN", "W./t.txt\rN"}) {
        type(keys);
        run(quit_run);
        EXPECT_EQ(screen().row(2), "----> text is incomplete. Overwrite ? (y/n) N") << keys;
        EXPECT_EQ(read_file("t.txt"), whole) << keys;
    }
    type("Wcopy.txt\r");
    run(quit_run);
    EXPECT_EQ(read_file("copy.txt"), "first line\nsecond line\n") << "another file is written at once";

    press(Key::Esc);
    type("&yn");
    EXPECT_FALSE(run(command_loop)) << "the run goes on";
    EXPECT_EQ(read_file("t.txt"), whole);
    press(Key::Esc);        // every run of the loop starts in insert mode
    type("&yy");
    EXPECT_TRUE(run(command_loop));
    EXPECT_EQ(read_file("t.txt"), "first line\nsecond line\n");
}

// A NUL byte cannot be kept in a line: the text lacks what followed it,
// and writing it over its own file asks first.
TEST_F(Saving, AFileWithNulBytesSaysSoAndAsksBeforeItIsReplaced)
{
    const std::string whole("kept\0lost\nnext\n", 15);
    open(whole);
    EXPECT_EQ(screen().text(2, 1, 50), "----> 't.txt' holds NUL bytes that cannot be kept ");
    EXPECT_EQ(screen().bells(), 1);
    type("UN");
    run(quit_run);
    EXPECT_EQ(screen().row(2), "----> text is incomplete. Overwrite ? (y/n) N");
    EXPECT_EQ(read_file("t.txt"), whole);
}

TEST_F(Saving, UpdateAndExitEndsTheRunOnlyAfterAWriteThatWorked)
{
    open("abc\n");
    file_name = "/dev/full";
    type("x");
    press(Key::Esc);
    type("&yy");                // a file other than the one read: asked about first
    EXPECT_FALSE(run(command_loop));
    EXPECT_EQ(screen().row(2), "----> can't write '/dev/full'");
    EXPECT_TRUE(modified);

    file_name = "t.txt";
    press(Key::Esc);
    type("&y");
    EXPECT_TRUE(run(command_loop));
    EXPECT_EQ(read_file("t.txt"), "xabc\n");
    EXPECT_FALSE(modified);
}
