// The built editor ended from outside: a closed terminal, SIGHUP, SIGTERM,
// SIGQUIT and a crash. What was typed must reach NAME.save, the file
// itself must stay as it was, and the terminal must be handed back.
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <set>
#include <sys/resource.h>

#include "harness/pty.h"

namespace {

const std::string original = "alpha\n\tbeta\n";
// After the keys of type_into(): letters, a tab, a literal ^C, a byte
// above 127 and a line split, as Update writes them.
const std::string typed = "Hi\t\x03\xe9\nnewalpha\n\tbeta\n";
const std::string leave_alternate_screen = "\x1b[?1049l";

std::set<std::string> files_in(const PtyEditor& pym)
{
    std::set<std::string> names;
    for (const auto& e : std::filesystem::recursive_directory_iterator(pym.dir()))
        if (e.is_regular_file())
            names.insert(std::filesystem::relative(e.path(), pym.dir()).string());
    return names;
}

// Starts the editor on name (holding the original text) and types into
// it, waiting until the editor has shown the last key.
void type_into(PtyEditor& pym, const std::string& name)
{
    pym.create_file(name, original);
    pym.start({name});
    pym.send("Hi\t\x11\x03\xe9\rnew");
    ASSERT_TRUE(pym.wait_until([](const Screen& s) {
        return s.row(4) == "newalpha" && s.text(2, 60, 21) == "  Line 2    Col 4    ";
    })) << pym.screen().dump();
}

// The echo and line editing a shell needs, and CR read as a newline.
void expect_terminal_sane(const PtyEditor& pym)
{
    struct termios now = pym.terminal_settings(), was = pym.initial_settings();
    EXPECT_EQ(now.c_lflag & (ECHO | ICANON), was.c_lflag & (ECHO | ICANON));
    EXPECT_EQ(now.c_iflag & ICRNL, was.c_iflag & ICRNL);
    EXPECT_FALSE(pym.screen().alternate_screen());
    // after leaving the alternate screen, at most the line naming the saved file
    size_t left = pym.output().rfind(leave_alternate_screen);
    ASSERT_NE(left, std::string::npos);
    std::string after = pym.output().substr(left + leave_alternate_screen.size());
    EXPECT_TRUE(after.empty() || (after.rfind("pym: the text is saved in ", 0) == 0 &&
                                  after.find('\n') == after.size() - 1))
        << after;
}

}  // namespace

TEST(HangUp, ClosingTheTerminalSavesTheTypedTextBesideTheFile)
{
    PtyEditor pym;
    type_into(pym, "notes.txt");
    pym.hang_up();
    EXPECT_NE(pym.wait_exit(), -1) << "the editor is gone";
    EXPECT_EQ(pym.read_file("notes.txt.save"), typed);
    EXPECT_EQ(pym.read_file("notes.txt"), original);
    EXPECT_EQ(pym.read_file("pym.l"), "notes.txt 2 4\n");
}

class EndingSignal : public ::testing::TestWithParam<int> {};

TEST_P(EndingSignal, SavesTheTextWritesTheSessionAndRestoresTheTerminal)
{
    PtyEditor pym;
    type_into(pym, "notes.txt");
    ASSERT_EQ(pym.terminal_settings().c_lflag & ECHO, 0u) << "the editor reads without echo";
    pym.signal(GetParam());
    EXPECT_EQ(pym.wait_exit(), 128 + GetParam());
    EXPECT_EQ(pym.read_file("notes.txt.save"), typed);
    EXPECT_EQ(pym.read_file("notes.txt"), original);
    EXPECT_EQ(pym.read_file("pym.l"), "notes.txt 2 4\n");
    expect_terminal_sane(pym);
}

// Help runs the editor again as a viewer and waits for it: the signal
// still ends this run, and the viewer goes with the terminal's owner.
TEST_P(EndingSignal, EndsTheRunWhileHelpIsShown)
{
    PtyEditor pym;
    pym.create_file("pym.hlp", "the help text\n");
    type_into(pym, "notes.txt");
    pym.press(Key::F1);
    ASSERT_TRUE(pym.wait_until([](const Screen& s) { return s.row(3) == "the help text"; }))
        << pym.screen().dump();
    pym.signal(GetParam());
    EXPECT_EQ(pym.wait_exit(2000), 128 + GetParam());
    EXPECT_EQ(pym.read_file("notes.txt.save"), typed);
}

INSTANTIATE_TEST_SUITE_P(HangUp, EndingSignal, ::testing::Values(SIGHUP, SIGTERM, SIGQUIT),
                         [](const auto& info) { return std::string(sigabbrev_np(info.param)); });

// A name that is taken is never written, not even through a link to the
// file itself.
TEST(HangUp, AnExistingSaveFileIsKeptAndTheNextNumberUsed)
{
    PtyEditor pym;
    std::filesystem::create_symlink("notes.txt", pym.dir() + "/notes.txt.save");
    type_into(pym, "notes.txt");
    pym.signal(SIGTERM);
    EXPECT_EQ(pym.wait_exit(), 128 + SIGTERM);
    EXPECT_EQ(pym.read_file("notes.txt"), original);
    EXPECT_EQ(pym.read_file("notes.txt.save.1"), typed);
}

TEST(HangUp, TheTextOpenedByInitIsSavedBesideItsOwnFile)
{
    PtyEditor pym;
    pym.create_file("notes.txt", original);
    pym.start({"notes.txt"});
    pym.press(Key::Esc);
    pym.send("QI");
    ASSERT_TRUE(pym.wait_until([](const Screen& s) { return s.contains("file:"); }));
    pym.send("other.txt\rxyz");
    ASSERT_TRUE(pym.wait_until([](const Screen& s) { return s.row(3) == "xyz"; }));
    pym.signal(SIGQUIT);
    EXPECT_EQ(pym.wait_exit(), 128 + SIGQUIT);
    EXPECT_EQ(pym.read_file("other.txt.save"), "xyz\n\n");
    EXPECT_EQ(files_in(pym), (std::set<std::string>{"notes.txt", "other.txt.save", "pym.l"}));
}

TEST(HangUp, TheSaveGoesIntoTheDirectoryOfTheFile)
{
    PtyEditor pym;
    std::filesystem::create_directory(pym.dir() + "/sub");
    type_into(pym, "sub/notes.txt");
    pym.signal(SIGHUP);
    EXPECT_EQ(pym.wait_exit(), 128 + SIGHUP);
    EXPECT_EQ(pym.read_file("sub/notes.txt.save"), typed);
    EXPECT_EQ(files_in(pym), (std::set<std::string>{"pym.l", "sub/notes.txt", "sub/notes.txt.save"}));
}

TEST(HangUp, TheDefaultNameSavesToPymSave)
{
    PtyEditor pym;
    pym.start({});
    pym.send("abc");
    ASSERT_TRUE(pym.wait_until([](const Screen& s) { return s.row(3) == "abc"; }));
    pym.signal(SIGTERM);
    EXPECT_EQ(pym.wait_exit(), 128 + SIGTERM);
    EXPECT_EQ(pym.read_file("pym.save"), "abc\n\n") << "a new text has two lines";
    EXPECT_EQ(files_in(pym), (std::set<std::string>{"pym.l", "pym.save"}));
}

TEST(HangUp, AnUnmodifiedTextLeavesNoSaveFile)
{
    PtyEditor pym;
    pym.create_file("notes.txt", original);
    pym.start({"notes.txt"});
    pym.press(Key::Down);
    pym.press(Key::End);
    ASSERT_TRUE(pym.wait_until([](const Screen& s) { return s.text(2, 60, 21) == "  Line 2    Col 13   "; }));
    pym.hang_up();
    EXPECT_NE(pym.wait_exit(), -1);
    EXPECT_EQ(files_in(pym), (std::set<std::string>{"notes.txt", "pym.l"}));
    EXPECT_EQ(pym.read_file("pym.l"), "notes.txt 2 6\n") << "the column counts bytes";
}

TEST(HangUp, ATextAlreadyUpdatedLeavesNoSaveFile)
{
    PtyEditor pym;
    type_into(pym, "notes.txt");
    pym.press(Key::Esc);
    pym.send("QU");
    // the message line is cleared once the write is over
    ASSERT_TRUE(pym.wait_until([](const Screen& s) { return s.row(2) == "--"; })) << pym.screen().dump();
    ASSERT_EQ(pym.read_file("notes.txt"), typed);
    pym.signal(SIGTERM);
    EXPECT_EQ(pym.wait_exit(), 128 + SIGTERM);
    EXPECT_EQ(files_in(pym), (std::set<std::string>{"notes.txt", "pym.l"}));
}

class CrashSignal : public ::testing::TestWithParam<int> {};

// A fault cannot be caused from outside without a bug to trigger, so the
// crash signals are delivered with kill(): the handler runs just as it
// would for a fault. No core file is wanted from it.
TEST_P(CrashSignal, SavesTheTextAndRestoresTheTerminal)
{
    struct rlimit no_core = {0, 0};
    ASSERT_EQ(setrlimit(RLIMIT_CORE, &no_core), 0);
    PtyEditor pym;
    type_into(pym, "notes.txt");
    pym.signal(GetParam());
    EXPECT_EQ(pym.wait_exit(), 128 + GetParam()) << "the run ends by the signal itself";
    EXPECT_EQ(pym.read_file("notes.txt.save"), typed);
    EXPECT_EQ(pym.read_file("notes.txt"), original);
    expect_terminal_sane(pym);
}

INSTANTIATE_TEST_SUITE_P(HangUp, CrashSignal, ::testing::Values(SIGSEGV, SIGBUS, SIGABRT, SIGFPE),
                         [](const auto& info) { return std::string(sigabbrev_np(info.param)); });
