// Typing text: insert and exchange mode, line splits with and without
// auto-indent, literal keys, a full store, and whole typing sessions in a
// terminal saved with Update.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

#include "commands/insert.h"
#include "commands/menus.h"
#include "commands/motion.h"
#include "harness/editor.h"
#include "harness/pty.h"
#include "harness/session.h"
#include "screen/window.h"
#include "session/session.h"

using Lines = std::vector<std::string>;

static void insert_run() { insert_mode(1); }
static void exchange_run() { insert_mode(0); }

class InsertMode : public EditorTest {
protected:
    // Puts the cursor on byte at of the first line and presses Enter.
    void split_at(int at)
    {
        move_cursor_chars(at);
        type("\r");
        EXPECT_FALSE(run(insert_run)) << "the loop runs until ESC";
    }
    std::string status() { return screen().text(2, 60, 21); }
};

TEST_F(InsertMode, ExchangeOverwritesSplitsOnEnterAndAppendsAtTheLineEnd)
{
    open("abc\nnext\n");
    move_cursor_chars(1);
    type("xyz");
    run(exchange_run);
    EXPECT_EQ(text_lines(), (Lines{"axyz", "next"}));
    EXPECT_EQ(screen().row(1), "EXCHANGE: <curs> Ins - insert");
    EXPECT_EQ(screen().row(3), "axyz");
    EXPECT_EQ(screen().cursor_col(), 5);
    EXPECT_TRUE(modified);

    open("abc\n");
    move_cursor_chars(1);
    type("x\ryz");      // the c survives the split and is overwritten next
    run(exchange_run);
    EXPECT_EQ(text_lines(), (Lines{"ax", "yz"}));
    EXPECT_EQ(screen().row(4), "yz");
}

TEST_F(InsertMode, InsertKeyAndCtrlVSwitchTheSubModeWhichStartsAfreshEachRun)
{
    open("abc\n");
    type("1");
    press(Key::Insert);
    type("2");
    run(insert_run);
    EXPECT_EQ(text_lines(), (Lines{"12bc"}));
    EXPECT_EQ(screen().row(1), "EXCHANGE: <curs> Ins - insert");

    type("3\x16"
         "4");
    run(insert_run);
    EXPECT_EQ(text_lines(), (Lines{"1234c"}));
    EXPECT_EQ(screen().row(1), "EXCHANGE: <curs> Ins - insert");
    type("\x16");
    run(exchange_run);
    EXPECT_EQ(screen().row(1), "INSERT: <curs> Ins - exchange");
}

TEST_F(InsertMode, AutoIndentCopiesTheIndentationAndPutsTheCursorAfterIt)
{
    open("\t  foo bar\nnext\n");
    split_at(6);
    EXPECT_EQ(text_lines(), (Lines{"\t  foo", "\t   bar", "next"}));
    EXPECT_EQ(cursor, line_at(2) + 3);
    EXPECT_EQ(screen().row(3), "          foo");
    EXPECT_EQ(screen().row(4), "           bar");
    EXPECT_EQ(screen().row(5), "next") << "the rows below move down";
    EXPECT_EQ(screen().cursor_row(), 4);
    EXPECT_EQ(screen().cursor_col(), 11);
    EXPECT_EQ(status(), "  Line 2    Col 11   ");

    open("    x\n");
    split_at(0);
    EXPECT_EQ(text_lines(), (Lines{"", "        x"}));
    EXPECT_EQ(cursor, line_at(2) + 4);
    EXPECT_EQ(screen().cursor_col(), 5);
}

TEST_F(InsertMode, WithIndentTurnedOffTheNewLineStartsAtColumnOne)
{
    open("  ab\n");
    type("IY");
    run(set_menu);
    EXPECT_EQ(screen().row(2), "--Indent is on. Change ? (y/n) Y");
    split_at(3);
    EXPECT_EQ(text_lines(), (Lines{"  a", "b"}));
    EXPECT_EQ(cursor, line_at(2));
    EXPECT_EQ(screen().cursor_col(), 1);
}

TEST_F(InsertMode, ACountIsDroppedAndATypedKeyMakesHomeAFirstPressAgain)
{
    open(numbered_lines(40));
    move_view(5, 10);       // line 16 on row 8, line 11 on top
    press(Key::Esc);
    type("3i");
    press(Key::Home);
    type("x");
    press(Key::Home, 2);    // the line's start, then the top row
    press(Key::Right);
    run(command_loop);
    EXPECT_EQ(text_lines()[15], "xline 16");
    EXPECT_EQ(cursor, line_at(11) + 1) << "Right moved once";
    EXPECT_EQ(screen().cursor_row(), 3);
}

TEST_F(InsertMode, EnterOnTheLastRowsKeepsTheCursorOnTheLastRow)
{
    open(numbered_lines(40));
    move_view(21, 0);       // row 24, the row above the last
    type("\r");
    run(insert_run);
    EXPECT_EQ(cursor_row, 25);
    EXPECT_EQ(window_top, line_at(1)) << "nothing scrolls";
    EXPECT_EQ(screen().row(24), "");
    EXPECT_EQ(screen().row(25), "line 22");

    type("\r");             // now on the last row: the window moves up
    run(insert_run);
    EXPECT_EQ(cursor_row, 25);
    EXPECT_EQ(window_top, line_at(2));
    EXPECT_EQ(screen().row(3), "line 2");
    EXPECT_EQ(screen().row(23), "");
    EXPECT_EQ(screen().row(24), "");
    EXPECT_EQ(screen().row(25), "line 22");
    EXPECT_EQ(screen().cursor_row(), 25);
    EXPECT_EQ(status(), "  Line 24   Col 1    ");
}

TEST_F(InsertMode, CtrlQTakesTheNextKeyLiterallyAndControlKeysAreText)
{
    open("\n");
    // ^Q ESC, ^Q CR, ^Q ^Q, ^Q ^V, ^Q Up (the prefix, then its scan code
    // as a plain key), then Tab and ^C.
    type("\x11\x1b\x11\r\x11\x11\x11\x16\x11\x1b[A\t\x03");
    EXPECT_FALSE(run(insert_run)) << "the literal ESC does not end the loop";
    EXPECT_EQ(text_lines(), (Lines{"\x1b\r\x11\x16\x10H\t\x03"}));
}

TEST_F(InsertMode, AFullStoreRefusesInsertionsButNotOverwriting)
{
    open("abc\n", 80, 25, 4);
    int bells = screen().bells();
    type("x\r");
    run(insert_run);
    EXPECT_EQ(text_lines(), (Lines{"abc"}));
    EXPECT_FALSE(modified);
    EXPECT_EQ(screen().row(2).substr(0, 33), "---->too many chars, can't insert");
    EXPECT_EQ(screen().bells(), bells + 2) << "one bell per key";

    press(Key::Insert);
    type("z");
    run(insert_run);
    EXPECT_EQ(text_lines(), (Lines{"zbc"}));
    EXPECT_EQ(screen().row(3), "zbc");
}

// ---- in a terminal ------------------------------------------------------

TEST(TypingSession, IndentedLinesWithCorrectionsAreSavedAsTyped)
{
    PtyEditor pym(25, 80);
    pym.start({"new.txt"});
    // Each Enter copies the line's indentation; Backspace takes one back.
    pym.send("int main()\r{\r\tif (x) {\r\treturnn\x7f 1;\r\x7f}\r\x7f}");
    pym.press(Key::Up, 5);
    pym.press(Key::Home);
    pym.press(Key::Right, 4);
    pym.press(Key::Insert);
    pym.send("demo");
    ASSERT_TRUE(pym.wait_until([](const Screen& s) { return s.row(3) == "int demo()"; }))
        << pym.screen().dump();
    const Screen& s = pym.screen();
    EXPECT_EQ(s.row(1), "EXCHANGE: <curs> Ins - insert");
    EXPECT_EQ(s.row(6), std::string(16, ' ') + "return 1;");
    EXPECT_EQ(s.row(7), std::string(8, ' ') + "}");

    pym.press(Key::Esc);
    pym.send("Q");
    ASSERT_TRUE(pym.wait_until([](const Screen& s) { return s.row(2) == "----> 'new.txt' * 41"; }))
        << s.dump();
    pym.send("U");
    ASSERT_TRUE(pym.wait_until([](const Screen& s) { return s.row(2) == "--"; })) << s.dump();
    pym.send("E");
    EXPECT_EQ(pym.wait_exit(), 0) << "a saved text leaves without a question";
    // The last empty line is the second line every new text has.
    EXPECT_EQ(pym.read_file("new.txt"), "int demo()\n{\n\tif (x) {\n\t\treturn 1;\n\t}\n}\n");
    EXPECT_EQ(pym.read_file("pym.l"), "new.txt 1 9\n");
}

// What the typed keys make of the text: the cursor always stands at the
// end of what was typed, and every Enter copies the line's indentation.
struct TypedText {
    std::string text;

    size_t line_begin() const { return text.rfind('\n') == std::string::npos ? 0 : text.rfind('\n') + 1; }
    void key(char k)
    {
        size_t b = line_begin();
        if (k == '\r')
            text += '\n' + text.substr(b, text.find_first_not_of(" \t", b) - b);
        else if (k != 0x7f)
            text += k;
        else if (!text.empty())
            text.pop_back();
    }
    // The status the editor shows for the cursor: line and display column.
    std::string status() const
    {
        unsigned column = 0;
        for (size_t i = line_begin(); i < text.size(); i++)
            column = text[i] == '\t' ? (column / 8 + 1) * 8 : column + 1;
        char buf[64];
        snprintf(buf, sizeof buf, "  Line %-4zu Col %-5u",
                 size_t(std::count(text.begin(), text.end(), '\n')) + 1, column + 1);
        return buf;
    }
};

TEST(TypingSession, ThousandsOfKeysAreSavedByteForByte)
{
    PtyEditor pym(25, 80);
    pym.start({"long.txt"});
    TypedText model;
    uint32_t seed = 12345;
    auto next = [&seed](uint32_t n) {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 16) % n;
    };
    const int chunk = 150;
    for (int sent = 0; sent < 3000; sent += chunk) {
        std::string keys;
        for (int i = 0; i < chunk; i++) {
            uint32_t r = next(100);
            char k = r < 70 ? char('a' + next(26)) : r < 80 ? ' ' : r < 85 ? '\t' : r < 93 ? '\r' : '\x7f';
            if (r < 20)
                k = char('A' + next(26));
            keys += k;
            model.key(k);
        }
        pym.send(keys);
        std::string want = model.status();
        ASSERT_TRUE(pym.wait_until([&](const Screen& s) { return s.text(2, 60, 21) == want; }))
            << "after " << sent + chunk << " keys, want" << want << "\n" << pym.screen().dump();
    }
    pym.press(Key::Esc);
    pym.send("QUE");
    EXPECT_EQ(pym.wait_exit(), 0) << pym.screen().dump();
    EXPECT_EQ(pym.read_file("long.txt"), model.text + "\n");
}
