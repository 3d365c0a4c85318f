// The built editor in a pseudo-terminal: the first screen, the usage line,
// and the terminal handed back at the end of a run.
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "harness/pty.h"

static std::string notes()
{
    std::string text = "first\tline\n" + std::string(100, 'w') + "\r\n";
    for (int i = 3; i <= 30; i++)
        text += "note " + std::to_string(i) + "\n";
    return text;
}

// The row's text from col on, blanks included.
static std::string from(const Screen& s, int row, int col)
{
    return s.text(row, col, s.cols() - col + 1);
}

static void expect_terminal_restored(const PtyEditor& pym)
{
    EXPECT_FALSE(pym.screen().alternate_screen());
    EXPECT_TRUE(pym.screen().cursor_visible());
    struct termios now = pym.terminal_settings(), was = pym.initial_settings();
    EXPECT_EQ(now.c_lflag, was.c_lflag);
    EXPECT_EQ(now.c_iflag, was.c_iflag);
    EXPECT_EQ(now.c_oflag, was.c_oflag);
}

TEST(Startup, ShowsTheFileAndHandsTheTerminalBackAtTheEnd)
{
    PtyEditor pym(25, 80);
    pym.create_file("notes.txt", notes());
    pym.start({"notes.txt"});
    const Screen& s = pym.screen();
    ASSERT_TRUE(s.alternate_screen());
    EXPECT_EQ(s.row(1), "INSERT: <curs> Ins - exchange") << s.dump();
    std::string loaded = "----> reading 'notes.txt' " + std::to_string(notes().size() - 1) +
                         "/1048576 chars";
    EXPECT_EQ(s.text(2, 1, 59), loaded + std::string(59 - loaded.size(), ' '));
    EXPECT_EQ(s.text(2, 60, 21), "  Line 1    Col 1    ");
    EXPECT_EQ(s.row(3), "first   line");
    EXPECT_EQ(from(s, 4, 1), std::string(78, 'w') + "» ");
    for (int r = 5; r <= 25; r++)
        EXPECT_EQ(s.row(r), "note " + std::to_string(r - 2));
    EXPECT_EQ(s.cursor_row(), 3);
    EXPECT_EQ(s.cursor_col(), 1);
    for (int col : {1, 70}) {
        EXPECT_EQ(s.fg(1, col), colour::blue);
        EXPECT_EQ(s.bg(2, col), colour::light_grey);
        EXPECT_EQ(s.fg(3, col), colour::bright_white);
        EXPECT_EQ(s.bg(25, col), colour::blue);
    }

    pym.press(Key::Esc);
    pym.send("Q");
    pym.settle();
    pym.send("E");
    EXPECT_EQ(pym.wait_exit(), 0);
    expect_terminal_restored(pym);
    EXPECT_EQ(pym.read_file("pym.l"), "notes.txt 1 1\n");
    EXPECT_EQ(pym.read_file("notes.txt"), notes()) << "an unchanged text is not written";
}

TEST(Startup, AMissingFileIsANewTextOfTwoEmptyLines)
{
    PtyEditor pym(25, 80);
    pym.start({"x"});
    const Screen& s = pym.screen();
    EXPECT_EQ(s.row(2).substr(0, 40), "----> can't open 'x' /new ! 1048576 free");
    for (int r = 3; r <= 25; r++)
        EXPECT_EQ(s.row(r), "");
    pym.press(Key::Down, 3);
    EXPECT_TRUE(pym.wait_until([](const Screen& s) { return s.row(2).find("Line 2") != std::string::npos; }));
    pym.settle();
    EXPECT_EQ(s.text(2, 60, 21), "  Line 2    Col 1    ") << "there is no third line";
    pym.press(Key::Esc);
    pym.send("qe");
    EXPECT_EQ(pym.wait_exit(), 0);
    EXPECT_EQ(pym.read_file("pym.l"), "x 2 1\n");
    EXPECT_FALSE(pym.read_file("x"));
}

TEST(Startup, ThreeArgumentsPrintTheUsageAndLeaveTheTerminalAlone)
{
    PtyEditor pym(25, 80);
    pym.start({"a", "b", "c"});
    EXPECT_EQ(pym.wait_exit(), 1);
    EXPECT_EQ(pym.screen().row(1), "USAGE: pym [ file | + ]");
    EXPECT_EQ(pym.output().find('\x1b'), std::string::npos) << "no control sequence was sent";
    expect_terminal_restored(pym);
    EXPECT_FALSE(pym.read_file("pym.l"));
}

// --help and --version answer on standard output, leave the terminal
// alone and end the run with 0; the summary fits a screen of 80x24.
TEST(Startup, HelpAndVersionAnswerOnStandardOutputAndEnd)
{
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"--help"}, {"--help", "a", "b", "c"}, {"--version"}}) {
        PtyEditor pym(25, 80);
        pym.start(args);
        EXPECT_EQ(pym.wait_exit(), 0) << args[0];
        std::string out = pym.output();
        EXPECT_EQ(out.find('\x1b'), std::string::npos) << "no control sequence was sent";
        expect_terminal_restored(pym);
        EXPECT_FALSE(pym.read_file("pym.l")) << "no text was opened";
        if (args[0] == "--version") {
            EXPECT_EQ(out, "pym " PYM_VERSION "\r\n");
            continue;
        }
        EXPECT_EQ(out.rfind("USAGE: pym [ file | + ]\r\n", 0), 0u) << out;
        for (const char* shown : {"pym -- FILE", "pym --version", "ESC", "Q E", "F1"})
            EXPECT_NE(out.find(shown), std::string::npos) << shown;
        int lines = 0;
        for (size_t start = 0, end; (end = out.find("\r\n", start)) != std::string::npos; start = end + 2) {
            EXPECT_LE(end - start, 79u) << out.substr(start, end - start);
            lines++;
        }
        EXPECT_LE(lines, 24);
    }
}

// "--" makes the next word a file name, even one like an option or "+";
// a second word after it still asks for view mode. Any other word that
// starts with "-" is a file name as before.
TEST(Startup, DoubleDashMakesTheNextWordAFileName)
{
    struct {
        std::vector<std::string> args;
        std::string file, row1;
    } runs[] = {
        {{"--", "--help"}, "--help", "INSERT: <curs> Ins - exchange"},
        {{"--", "+notes"}, "+notes", "INSERT: <curs> Ins - exchange"},
        {{"--", "-v", "x"}, "-v", "<curs> Again Find Jump Put Quit @"},
        {{"-x"}, "-x", "INSERT: <curs> Ins - exchange"},
    };
    for (const auto& run : runs) {
        PtyEditor pym(25, 80);
        pym.create_file(run.file, "the text of " + run.file + "\n");
        pym.create_file("pym.l", "other.txt 1 1\n");
        pym.start(run.args);
        EXPECT_EQ(pym.screen().row(1), run.row1) << run.file;
        EXPECT_EQ(pym.screen().row(3), "the text of " + run.file) << pym.screen().dump();
        pym.press(Key::Esc);
        pym.send(run.args.size() == 3 ? "q" : "qe");
        EXPECT_EQ(pym.wait_exit(), 0) << run.file;
        EXPECT_EQ(pym.read_file("pym.l"), run.file + " 1 1\n");
    }
    PtyEditor three(25, 80);
    three.start({"--", "a", "b", "c"});
    EXPECT_EQ(three.wait_exit(), 1);
    EXPECT_EQ(three.screen().row(1), "USAGE: pym [ file | + ]");
}

// A program run where no help file can be found (none in the current
// directory, none installed beside it: a copy of it in a bare folder)
// shows the help built into it, from a private copy that goes with the
// viewer.
TEST(Startup, HelpWithoutAHelpFileShowsTheTextBuiltIn)
{
    namespace fs = std::filesystem;
    PtyEditor pym(25, 80);
    fs::path bin = fs::path(pym.dir()) / "prefix/bin", tmp = fs::path(pym.dir()) / "tmp";
    fs::create_directories(bin);
    fs::create_directory(tmp);
    fs::copy_file(PtyEditor::built_editor(), bin / "pym");
    ASSERT_FALSE(fs::exists(fs::path(pym.dir()) / "prefix/share"));
    pym.use_program(bin / "pym");
    pym.set_environment("TMPDIR", tmp);
    pym.create_file("notes.txt", "a note\n");
    pym.start({"notes.txt"});

    std::ifstream source(PYM_HELP_FILE);
    std::vector<std::string> help;
    for (std::string line; std::getline(source, line);)
        help.push_back(line);
    ASSERT_GT(help.size(), 23u);
    pym.press(Key::Esc);
    pym.send("h");
    ASSERT_TRUE(pym.shows(3, help[0])) << pym.screen().dump();
    for (int row = 4; row <= 25; row++)
        EXPECT_EQ(pym.screen().row(row), help[size_t(row - 3)].substr(0, 79));
    EXPECT_NE(pym.screen().row(2).find("/pym.hlp"), std::string::npos) << pym.screen().row(2);
    std::vector<fs::path> copies;
    for (const auto& e : fs::recursive_directory_iterator(tmp))
        if (e.is_regular_file())
            copies.push_back(e.path());
    ASSERT_EQ(copies.size(), 1u);
    EXPECT_EQ(copies[0].filename(), "pym.hlp");
    EXPECT_EQ(fs::status(copies[0]).permissions(), fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(fs::status(copies[0].parent_path()).permissions(), fs::perms::owner_all);

    pym.send("q");
    ASSERT_TRUE(pym.shows(3, "a note")) << pym.screen().dump();
    EXPECT_TRUE(fs::is_empty(tmp)) << "the copy went with the viewer";
    pym.press(Key::Esc);
    pym.send("qe");
    EXPECT_EQ(pym.wait_exit(), 0);
}

TEST(Startup, UsesTheTerminalsSize)
{
    PtyEditor pym(30, 100);
    pym.create_file("notes.txt", notes());
    pym.start({"notes.txt"});
    const Screen& s = pym.screen();
    EXPECT_EQ(s.text(2, 80, 21), "  Line 1    Col 1    ");
    EXPECT_EQ(from(s, 4, 1), std::string(98, 'w') + "» ");
    EXPECT_EQ(s.row(30), "note 28");
    pym.signal(SIGTERM);
    EXPECT_EQ(pym.wait_exit(), 128 + SIGTERM);
    expect_terminal_restored(pym);
    EXPECT_EQ(pym.read_file("pym.l"), "notes.txt 1 1\n");
}

TEST(Startup, PlusResumesWhereTheSessionFileSays)
{
    PtyEditor pym(25, 80);
    pym.create_file("notes.txt", notes());
    pym.create_file("pym.l", "notes.txt 12 5\n");
    pym.start({"+"});
    EXPECT_EQ(pym.screen().text(2, 60, 21), "  Line 12   Col 5    ");
    EXPECT_EQ(pym.screen().cursor_row(), 14);
    EXPECT_EQ(pym.screen().cursor_col(), 5);
    pym.press(Key::Esc);
    pym.send("qe");
    EXPECT_EQ(pym.wait_exit(), 0);
    EXPECT_EQ(pym.read_file("pym.l"), "notes.txt 12 5\n");

    PtyEditor bare(25, 80);
    bare.create_file("notes.txt", notes());
    bare.create_file("pym.l", "notes.txt");
    bare.start({"+"});
    EXPECT_EQ(bare.screen().text(2, 60, 21), "  Line 1    Col 1    ");
    EXPECT_EQ(bare.screen().row(3), "first   line") << "no blank: the name alone";
}

// The session file counts the column in bytes: "+" finds the same place
// in a line of characters of several bytes (and of clusters).
TEST(Startup, PlusReturnsToTheSamePlaceInALineOfMultibyteCharacters)
{
    const std::string text = "日本語 e\xCC\x81 text\nsecond line\n";
    PtyEditor first(10, 40);
    first.use_locale("C.UTF-8");
    first.create_file("u.txt", text);
    first.start({"u.txt"});
    first.press(Key::Right, 5);     // three wide characters, a blank, e and its accent
    EXPECT_TRUE(first.wait_until([](const Screen& s) { return s.cursor_col() == 9; })) << first.screen().dump();
    first.press(Key::Esc);
    first.send("qe");
    EXPECT_EQ(first.wait_exit(), 0);
    std::optional<std::string> record = first.read_file("pym.l");
    ASSERT_TRUE(record);
    EXPECT_EQ(*record, "u.txt 1 14\n");

    PtyEditor again(10, 40);
    again.use_locale("C.UTF-8");
    again.create_file("u.txt", text);
    again.create_file("pym.l", *record);
    again.start({"+"});
    EXPECT_EQ(again.screen().text(2, 20, 21), "  Line 1    Col 9    ");
    EXPECT_EQ(again.screen().cursor_col(), 9);
    again.press(Key::Esc);
    again.send("qe");
    EXPECT_EQ(again.wait_exit(), 0);
    EXPECT_EQ(again.read_file("pym.l"), "u.txt 1 14\n");
}

// The record goes over the old one: a longer old file is cut after it, a
// shorter one grows to it.
TEST(Startup, TheSessionFileEndsHoldingTheNewRecordAlone)
{
    for (const char* old : {"a-much-longer-name.txt 123456 789\nsomething else\n", "x\n"}) {
        PtyEditor pym(25, 80);
        pym.create_file("notes.txt", notes());
        pym.create_file("pym.l", old);
        pym.start({"notes.txt"});
        pym.press(Key::Esc);
        pym.send("qe");
        EXPECT_EQ(pym.wait_exit(), 0);
        EXPECT_EQ(pym.read_file("pym.l"), "notes.txt 1 1\n") << "over " << old;
    }
}

TEST(Startup, AFileOverHalfAMegabyteGetsALargerStore)
{
    PtyEditor pym(25, 80);
    std::string big;
    for (int i = 0; i < 6000; i++)
        big += std::string(99, 'a' + i % 26) + "\n";
    pym.create_file("big.txt", big);
    pym.start({"big.txt"});
    EXPECT_EQ(pym.screen().row(2).substr(0, 44), "----> reading 'big.txt' 600000/2097152 chars");
}

// A FIFO never blocks the editor: not as the file, not as the session
// file read at the start with "+", nor as the one written at the end.
TEST(Startup, AFifoAsTheFileOrTheSessionFileDoesNotHang)
{
    PtyEditor pym(25, 80);
    ASSERT_EQ(mkfifo((pym.dir() + "/pipe").c_str(), 0600), 0);
    pym.start({"pipe"});
    EXPECT_EQ(pym.screen().row(2).substr(0, 34), "----> 'pipe' is not a regular file") << pym.screen().dump();
    pym.press(Key::Esc);
    pym.send("QU");
    EXPECT_TRUE(pym.wait_until([](const Screen& s) { return s.row(2).find("not a regular file") != std::string::npos; }));
    pym.send("E");
    EXPECT_EQ(pym.wait_exit(), 0);

    PtyEditor plus(25, 80);
    ASSERT_EQ(mkfifo((plus.dir() + "/pym.l").c_str(), 0600), 0);
    plus.start({"+"});
    EXPECT_EQ(plus.screen().row(1), "INSERT: <curs> Ins - exchange") << "the default name was opened";
    plus.press(Key::Esc);
    plus.send("qe");
    EXPECT_EQ(plus.wait_exit(), 0) << "the session file, a FIFO, was not waited on";
}

// Anyone who may write the directory could plant pym.l as a link to a
// file of the user's: the session file is never written through a link.
TEST(Startup, TheSessionFileIsNotWrittenThroughASymbolicLink)
{
    PtyEditor pym(25, 80);
    pym.create_file("victim", "precious\n");
    ASSERT_EQ(symlink("victim", (pym.dir() + "/pym.l").c_str()), 0);
    pym.start({"notes.txt"});
    pym.press(Key::Esc);
    pym.send("qe");
    EXPECT_EQ(pym.wait_exit(), 0);
    EXPECT_EQ(pym.read_file("victim"), "precious\n");
}

// The character set comes from the locale: UTF-8 text shows as its
// characters only where the locale says UTF-8, and in any other locale as
// the glyphs of its bytes, one cell each.
TEST(Startup, TheLocaleChoosesWhetherUtf8TextShowsAsCharacters)
{
    const std::string text = "café — 日本\n";
    struct { const char* locale; const char* row; int end_col; } runs[] = {
        {"C.UTF-8", "café — 日本", 12},
        {"C", "caf├⌐ ΓÇö µùÑµ£¼", 17},
    };
    for (const auto& run : runs) {
        PtyEditor pym(10, 40);
        pym.use_locale(run.locale);
        pym.create_file("u.txt", text);
        pym.start({"u.txt"});
        EXPECT_EQ(pym.screen().row(3), run.row) << run.locale;
        pym.press(Key::End);
        EXPECT_TRUE(pym.wait_until([&](const Screen& s) { return s.cursor_col() == run.end_col; }))
            << run.locale << "\n" << pym.screen().dump();
    }
}

// View mode reads and changes nothing: not even Backspace or ^Y typed in
// Put's selection, which reads its own keys.
TEST(Startup, ViewModeChangesNothingInASelectionEither)
{
    PtyEditor pym;
    pym.create_file("f.txt", "first\nsecond\n");
    pym.start({"f.txt", "x"});
    pym.send("P");
    pym.press(Key::Down);
    pym.send("\x08\x19");
    pym.press(Key::Esc);
    pym.settle(100);
    EXPECT_EQ(pym.screen().row(3), "first");
    EXPECT_EQ(pym.screen().row(4), "second");
    pym.signal(SIGTERM);
    EXPECT_EQ(pym.wait_exit(), 128 + SIGTERM);
    EXPECT_FALSE(pym.read_file("f.txt.save").has_value()) << "the text was changed";
}
