// The command loop as a user meets it: counts on row 2, the menu and its
// paging, "@", macros, prompt input, the yes/no question, view mode and
// the help viewer. Jump and a recording cut off at its longest are kept as
// cases in tests/cases/.
#include <gtest/gtest.h>

#include <filesystem>

#include "harness/pty.h"
#include "harness/session.h"

static const char menu1[] =
    "<space> <curs> Again Buffer Copy Delete eXchange Find -find Get Insert Jump";
static const char menu2[] = " Macro Put Quit Replace Set Y Z & @  <F1>=Help";
static const char view_menu_row[] = "<curs> Again Find Jump Put Quit @";

using Commands = SessionTest;

TEST_F(Commands, ACountShowsOnRowTwoRepeatsTheCommandAndOverflowsTo32767)
{
    open(numbered_lines(300));
    keys("5");
    EXPECT_EQ(row(2), "----> 5");
    keys("5" + down);
    EXPECT_EQ(screen().text(2, 1, 59), padded("--", 59)) << "the count is wiped when the command starts";
    expect_at(6, 1, 8);

    keys("0" + down);                   // 0 is no count, and stays on row 2
    EXPECT_EQ(row(2), "----> 0" + std::string(52, ' ') + status(7, 1).substr(0, 17));
    keys("?");
    EXPECT_EQ(row(2), "----> ?");

    keys("4294967306");                 // wraps to a positive value: kept
    EXPECT_EQ(row(2), "----> 10");
    keys("2147483648");
    EXPECT_EQ(row(2), "----> 32767");
    keys("21474836485");                // further digits go on from 32767
    EXPECT_EQ(row(2), "----> 327675");
    keys("2147483648" + down);
    EXPECT_EQ(screen().text(2, 60, 21), status(300, 1));
}

TEST_F(Commands, TheBlankPagesTheMenuAndEscShowsItAgain)
{
    open("x\n");
    keys("");
    EXPECT_EQ(screen().text(1, 1, 80), padded(menu1, 80));
    keys(" ");
    EXPECT_EQ(screen().text(1, 1, 80), padded(menu2, 80));
    keys("  ");
    EXPECT_EQ(row(1), menu2) << "the first again, then the second";
    press(Key::Esc);
    type("i");                          // insert mode's menu, then ESC
    press(Key::Esc);
    EXPECT_FALSE(run(command_loop));
    EXPECT_EQ(row(1), menu2);
    EXPECT_EQ(screen().bells(), 0);

    open("x\n", 60);
    keys(" ");
    EXPECT_EQ(screen().text(1, 1, 60), padded(" Get Insert Jump Macro Put Quit Replace Set Y Z & @ ", 60));
    keys(" ");
    EXPECT_EQ(row(1), " <F1>=Help");
}

TEST_F(Commands, KeysWithoutACommandRingTheBell)
{
    open("x\n");
    keys("\x1bOQ\x10" "7");               // F2 and ^P 7: extended keys without action
    EXPECT_EQ(screen().bells(), 0);
    keys("eK\t");
    EXPECT_EQ(screen().bells(), 3);
    keys("\x10R");                       // ^P R is the Insert key
    EXPECT_EQ(row(1), "INSERT: <curs> Ins - exchange");
}

TEST_F(Commands, LongMessagesAreCutAtTheRowsEnd)
{
    std::string name(250, 'n');
    open("line 1\n", 80, 25, 0x100000, name);
    EXPECT_EQ(row(2), ("----> reading '" + name).substr(0, 80));
    EXPECT_EQ(row(3), "line 1");
}

TEST_F(Commands, AtRedrawsTheWholeScreen)
{
    open(numbered_lines(300));
    keys("3" + down + " ?");
    EXPECT_EQ(row(2), "----> ?");
    // Something else writes on the terminal; "@" puts the editor's screen back.
    screen().feed("\x1b[1;1H\x1b[2KGARBAGE\x1b[9;1H\x1b[2K\x1b[3;5Hxx");
    keys("@");
    EXPECT_EQ(row(1), menu2);
    EXPECT_EQ(screen().text(2, 1, 59), padded("--", 59));
    expect_at(4, 1, 6);
    expect_rows(3, 25, 1);
}

TEST_F(Commands, AMacroRecordsKeysAndACountReplaysIt)
{
    open(numbered_lines(300));
    keys("M");
    EXPECT_EQ(row(2), "--record macro Y or Z ?");
    press(Key::Esc);
    type("My");
    press(Key::Insert);                 // extended keys are recorded too
    type("ab");
    press(Key::Esc);
    type(down + key_bytes(Key::Home) + "M");
    EXPECT_FALSE(run(command_loop));
    EXPECT_EQ(row(2).substr(0, 26), "--finished macro recording");
    EXPECT_EQ(row(3), "abline 1");
    keys("3Y");
    for (int r = 4; r <= 6; r++)
        EXPECT_EQ(row(r), "abline " + std::to_string(r - 2));
    EXPECT_EQ(row(7), "line 5");
    EXPECT_EQ(screen().text(2, 60, 21), status(5, 1));
    EXPECT_EQ(screen().bells(), 0);

    keys("MyMy");                       // an empty recording: Y does nothing
    EXPECT_EQ(row(2), "--finished macro recording");
    EXPECT_EQ(row(7), "line 5");
    EXPECT_EQ(screen().cursor_row(), 7);
    EXPECT_EQ(screen().cursor_col(), 1);
}

// A register that starts a recording and ends it again, both from the
// replay: the replace question let the keys M, z, M into it unused.
TEST_F(Commands, AReplayedMacroCommandStaysInsideTheRegister)
{
    open("xq\n");
    keys("My?rq\rq\rMzMYM");
    EXPECT_EQ(row(2).substr(0, 26), "--finished macro recording");
    keys("y");
    EXPECT_EQ(row(2).substr(0, 26), "--finished macro recording");
    keys("3z");                         // Z was left empty: nothing to replay
    EXPECT_EQ(row(3), "xq");
    EXPECT_EQ(row(1), menu1);
}

TEST_F(Commands, PromptInputEchoesAndErases)
{
    open("plain\ntab\there\nctl\x01key\n");
    keys("f\tx\b\b");                   // Backspace after a tab erases its columns
    EXPECT_EQ(row(2), "--find: \"");
    EXPECT_EQ(screen().cursor_col(), 10);
    keys("fab\t");
    EXPECT_EQ(screen().cursor_col(), 18);
    keys("fab\t\b");
    EXPECT_EQ(screen().cursor_col(), 12);
    EXPECT_EQ(row(2), "--find: \"ab");

    keys("f\x11" "A\r");                // ^Q takes the next key as a control byte
    EXPECT_EQ(screen().text(2, 60, 21), status(3, 5));
    keys("f\r");                        // Enter alone keeps the value
    EXPECT_EQ(row(2).substr(0, 13), "--find: \"\xe2\x98\xba\"");
    std::string long_text;
    for (int i = 0; i < 63; i++)
        long_text += char('a' + i % 26);
    int bells = screen().bells();
    keys("f" + long_text + "i\r");     // a 64th key rings and is dropped; Enter ends
    EXPECT_EQ(screen().bells(), bells + 1);
    keys("f");
    EXPECT_EQ(row(2), "--find: \"" + long_text + "\"");
    EXPECT_EQ(row(1), menu1) << "no key became a command";
}

// Rows never wrap: text beyond either edge is dropped, a value's control
// bytes are drawn as glyphs, and erasing a clipped echo erases what it should.
TEST_F(Commands, TextStaysOnItsRowOnNarrowScreensAndWithControlBytes)
{
    open("line 1\nline 2\n", 15, 10);
    keys("\x1b[B");                    // the status starts left of column 1
    EXPECT_EQ(row(1), "<space> <curs>");
    EXPECT_EQ(row(3), "line 1");
    EXPECT_EQ(screen().text(2, 1, 15), " 2    Col 1    ") << "the status's first six cells dropped";

    open("abc\n", 40, 10);
    keys("fa\x11J\x11Hb\r" "f\r");     // a find value holding LF and BS bytes
    EXPECT_EQ(screen().text(2, 1, 19), "--find: \"a\u2591\u2591" "b\" can'");
    EXPECT_EQ(row(3), "abc");
    keys("f" + std::string(42, 'x') + std::string(8, '\b'));
    EXPECT_EQ(row(2), "--find: \"" + std::string(31, 'x'));
}

TEST_F(Commands, AskYesNoTakesOnlyYOrN)
{
    open("text\n");
    EXPECT_FALSE(keys("&xq\x1bn"));
    EXPECT_EQ(row(2).substr(0, 25), "--Update & Exit ? (y/n) N");
    EXPECT_TRUE(keys("\x19qe\x1bxy"));   // Quit, Exit: the changes are dropped
    EXPECT_EQ(row(2).substr(0, 34), "----> ignore the changes ? (y/n) Y");
    EXPECT_EQ(read_file("t.txt"), "text\n");
    EXPECT_TRUE(keys("\x19&y"));
    EXPECT_EQ(read_file("t.txt"), "\n");

    open("text\n", 35);
    EXPECT_FALSE(keys("&"));
    EXPECT_EQ(row(2), "--Update & Exit ?");
}

TEST(ViewMode, ShowsTheViewMenuBlocksEditingAndQEnds)
{
    PtyEditor pym(25, 80);
    pym.create_file("notes.txt", numbered_lines(100));
    pym.start({"notes.txt", "x"});
    const Screen& s = pym.screen();
    EXPECT_EQ(s.row(1), view_menu_row);
    EXPECT_EQ(s.row(3), "line 1");
    pym.send("3");
    pym.press(Key::Down);
    ASSERT_TRUE(pym.wait_until([](const Screen& s) { return s.text(2, 60, 21) == status(4, 1); }));
    pym.press(Key::Delete);
    pym.press(Key::Insert);
    pym.send("ixd\b\x19hHmyzZ&-<?e");  // only e, no command, rings the bell
    ASSERT_TRUE(pym.wait_until([](const Screen& s) { return s.bells() > 0; }));
    pym.settle();
    EXPECT_EQ(s.bells(), 1);
    EXPECT_EQ(s.row(1), view_menu_row);
    EXPECT_EQ(s.text(2, 1, 59), padded("--", 59)) << "not even the ? shows";
    EXPECT_EQ(s.text(2, 60, 21), status(4, 1));
    for (int r = 3; r <= 25; r++)
        EXPECT_EQ(s.row(r), "line " + std::to_string(r - 2));
    pym.send("q");
    EXPECT_EQ(pym.wait_exit(), 0);
    EXPECT_EQ(pym.read_file("notes.txt"), numbered_lines(100));
    EXPECT_EQ(pym.read_file("pym.l"), "notes.txt 4 1\n");
}

TEST(Help, F1ShowsTheHelpInViewModeAndTheScreenComesBack)
{
    PtyEditor pym(25, 80);
    pym.create_file("notes.txt", numbered_lines(300));
    std::filesystem::path help = std::filesystem::path(__FILE__).parent_path().parent_path() / "pym.hlp";
    std::filesystem::copy_file(help, std::filesystem::path(pym.dir()) / "pym.hlp");
    std::string first_line = pym.read_file("pym.hlp").value_or("");
    first_line.resize(first_line.find('\n'));
    pym.start({"notes.txt"});
    pym.press(Key::Esc);
    pym.send("30");
    pym.press(Key::Down);
    pym.send(" ");
    pym.press(Key::F1);
    const Screen& s = pym.screen();
    ASSERT_TRUE(pym.wait_until([](const Screen& s) { return s.row(1) == view_menu_row; }))
        << s.dump();
    EXPECT_EQ(s.row(3), first_line);
    pym.press(Key::PageDown);           // the viewer reads the keys
    ASSERT_TRUE(pym.wait_until([&](const Screen& s) { return s.row(3) != first_line; }));
    pym.send("q");
    ASSERT_TRUE(pym.wait_until([](const Screen& s) { return s.row(1) == menu2; })) << s.dump();
    pym.settle();
    for (int r = 3; r <= 25; r++)
        EXPECT_EQ(s.row(r), "line " + std::to_string(r + 6)) << "row " << r;
    EXPECT_EQ(s.text(2, 1, 59), padded("--", 59));
    EXPECT_EQ(s.text(2, 60, 21), status(31, 1));
    EXPECT_EQ(s.cursor_row(), 25);
    EXPECT_EQ(s.cursor_col(), 1);
    EXPECT_EQ(s.fg(3, 1), colour::bright_white);
    pym.send(std::string("\x05") + "qe");  // still editing: ^E, then Quit, Exit
    EXPECT_EQ(pym.wait_exit(), 0);
    EXPECT_EQ(pym.read_file("pym.l"), "notes.txt 31 8\n");
}

// ^C stops a long repetition (a macro replayed a huge number of times,
// ^Y with a huge count); the keys typed after it are kept.
TEST_F(Commands, CtrlCStopsALongRepetitionAndKeepsTheKeysAfterIt)
{
    open("abc\n");
    press(Key::Esc);
    type("myiZ");
    press(Key::Esc);
    type("m999999999y");
    type("\x03" "iQ");
    run(command_loop);
    EXPECT_EQ(message().substr(0, 17), "----> interrupted");
    EXPECT_GE(screen().bells(), 1);
    std::string line = text_lines()[0];
    EXPECT_LT(line.size(), 999999999u);
    EXPECT_NE(line.find('Q'), std::string::npos) << "the i and Q typed after ^C ran";
    EXPECT_EQ(macro_repeats, 0);

    open(numbered_lines(200000));
    keys("99999999\x19\x03" "iQ");
    EXPECT_EQ(message().substr(0, 17), "----> interrupted");
    EXPECT_GT(text_lines().size(), 1000u) << "stopped long before the text's end";
    EXPECT_EQ(text_lines()[0].substr(0, 1), "Q");
}

// A name longer than the 63 characters of a search string is taken whole
// by the file-name prompts: nothing of it runs as commands.
TEST_F(Commands, FileNamePromptsTakeLongNames)
{
    open("abc\n");
    std::string name(70, 'n');
    keys("QW" + name + "\r");
    EXPECT_EQ(read_file(name), "abc\n");
    EXPECT_EQ(row(1), "QUIT: Exit Update Write Init") << "still in the Quit menu";
    EXPECT_FALSE(std::filesystem::exists(name.substr(0, 63)));
}
